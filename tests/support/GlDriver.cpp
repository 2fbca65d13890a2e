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
    const LoadedLibraries loaded = FindLoaded();
    if (loaded.sanitizer.empty() || loaded.driver.empty()) return std::string();
    // The sanitizer runtime must come first.
    return loaded.sanitizer + " " + loaded.driver;
}

}  // namespace ZynTest
