#include "GlDriver.h"

#include <dlfcn.h>
#include <link.h>

#include <cstring>

#include <X11/Xlib.h>
#include <GL/glx.h>

namespace ZynTest {

namespace {

struct LoadedLibraries {
    std::string sanitizer;
    std::string driver;
};

int Collect(dl_phdr_info* info, size_t, void* data) {
    LoadedLibraries* found = static_cast<LoadedLibraries*>(data);
    const char* name = info->dlpi_name;
    if (!name || !*name) return 0;
    if (std::strstr(name, "/libasan.so")) found->sanitizer = name;
    if (std::strstr(name, "_dri.so")) found->driver = name;
    return 0;
}

LoadedLibraries FindLoaded() {
    LoadedLibraries found;
    dl_iterate_phdr(Collect, &found);
    return found;
}

}  // namespace

void KeepGlDriverLoaded(const std::string& displayName) {
    Display* d = XOpenDisplay(displayName.c_str());
    if (!d) return;
    // Choosing a visual sets up the screen's GLX state, which loads the driver.
    int attribs[] = {GLX_RGBA, None};
    if (XVisualInfo* vi = glXChooseVisual(d, DefaultScreen(d), attribs)) XFree(vi);
    const LoadedLibraries loaded = FindLoaded();
    if (!loaded.driver.empty()) dlopen(loaded.driver.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
    XCloseDisplay(d);
}

std::string GlDriverPreload() {
#if defined(__SANITIZE_ADDRESS__)
    const bool sanitized = true;
#elif defined(__has_feature)
    const bool sanitized = __has_feature(address_sanitizer);
#else
    const bool sanitized = false;
#endif
    const LoadedLibraries loaded = FindLoaded();
    if (!sanitized || loaded.driver.empty()) return std::string();
    // A shared sanitizer runtime must come before everything else.
    return loaded.sanitizer.empty() ? loaded.driver : loaded.sanitizer + " " + loaded.driver;
}

}  // namespace ZynTest
