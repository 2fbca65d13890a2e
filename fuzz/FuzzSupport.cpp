#include "FuzzSupport.h"

#include <dirent.h>
#include <ftw.h>
#include <sanitizer/common_interface_defs.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <zyn/core/Root.h>
#include <zyn/graphics/Font.h>
#include <zyn/graphics/FontManager.h>
#include <zyn/graphics/Graphics.h>
#include <zyn/graphics/GraphicsTexture.h>
#include <zyn/graphics/Texture.h>
#include <zyn/graphics/TextureManager.h>
#include <zyn/io/MemoryFile.h>
#include <zyn/platform/GLSurface.h>
#include <zyn/platform/OffscreenSurface.h>

namespace ZynFuzz {

namespace {

std::string g_TempDir;
bool g_bInited = false;

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
    ::remove(path);
    return 0;
}

void RemoveTempDir() {
    if (g_TempDir.empty()) return;
    nftw(g_TempDir.c_str(), &RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

}  // namespace

void Fail(const char* file, int line, const char* what) {
    char line_[1024];
    std::snprintf(line_, sizeof line_, "%s:%d: check failed: %s", file, line, what);
    std::fprintf(stderr, "%s\n", line_);
    std::fflush(stderr);
    // With -close_fd_mask=2 standard error is gone; the sanitizer's report
    // channel still reaches libFuzzer's output.
    __sanitizer_report_error_summary(line_);
    std::abort();
}

void Init() {
    if (g_bInited) return;
    g_bInited = true;
    Zyn::Root* root = Zyn::Singleton<Zyn::Root>::Get();
    root->LogSetOutputThreshold(-1, &Zyn::StdOutLogOutput::sm_Class);
    // Every line is formatted, debug traces included: a format that reads a
    // missing or unterminated argument is a finding too.
    root->m_LogLevel = Zyn::kLogDebug + 1;

    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/zyn-fuzz-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data())) {
        std::perror("zyn fuzz: mkdtemp");
        std::abort();
    }
    g_TempDir = buffer.data();
    std::atexit(&RemoveTempDir);
}

const std::string& TempDir() {
    Init();
    return g_TempDir;
}

bool InitGraphics() {
    static int state = 0;  // 0 not tried, 1 ready, 2 failed
    if (state) return state == 1;
    Init();
    // llvmpipe's LLVM leaves thread-local blocks that LeakSanitizer reports;
    // softpipe draws the same pixels without LLVM.
    setenv("GALLIUM_DRIVER", "softpipe", 0);
    // Owned for the life of the process: the renderer borrows it.
    Zyn::GLSurface* surface = Zyn::CreateOffscreenSurface();
    Zyn::AppSettings s;
    s.screenWidth = s.screenHeight = 64;
    s.appWidth = s.appHeight = 64;
    s.windowed = true;
    state = Zyn::Graphics::Init(surface, s) ? 1 : 2;
    if (state == 2) std::fprintf(stderr, "zyn fuzz: no offscreen GL context; GL paths are skipped\n");
    return state == 1;
}

bool BeginTinyFrame() {
    if (!InitGraphics() || !Zyn::Graphics::BeginRendering()) return false;
    Zyn::Graphics::SetScreenViewport(Zyn::Rect<short>(0, 0, 1, 1));
    Zyn::Graphics::SetRenderMode(Zyn::RENDER_2D);
    Zyn::Graphics::SetProjection2D(64, 64);
    Zyn::Graphics::ResetSceneTransform();
    Zyn::Graphics::SetClipping2D(nullptr);
    return true;
}

void EndTinyFrame() { Zyn::Graphics::EndRendering(); }

Zyn::File* MemPackage::OpenFile(const char* name) {
    if (!name) return nullptr;
    auto it = m_Files.find(name);
    if (it == m_Files.end()) return nullptr;
    return new Zyn::MemoryFile(static_cast<const unsigned char*>(it->second.data()), unsigned(it->second.size()));
}

void MemPackage::Set(const std::string& name, const uint8_t* data, size_t size) {
    m_Files[name] = Bytes(data, data + size);
}

MemPackage* Package() {
    static MemPackage* package = nullptr;
    if (!package) {
        Init();
        package = new MemPackage;
        // One reference of our own keeps it alive whatever the Root does at exit.
        package->AddRef();
        Zyn::Singleton<Zyn::Root>::Get()->InsertObject(package, Zyn::Root::kPackages, 0, nullptr);
    }
    return package;
}

void MountCompiledInPackage() {
    static bool mounted = false;
    if (mounted) return;
    mounted = true;
    Zyn::Singleton<Zyn::Root>::Get()->InsertObject(new Zyn::CppPackage("cppfontfile"), Zyn::Root::kPackages, 1,
                                                   nullptr);
}

namespace {

// What HoldSceneResources keeps; given back at exit before the managers go.
std::vector<Zyn::Object*> g_Held;

void ReleaseHeld() {
    for (Zyn::Object* o : g_Held) o->Release();
    g_Held.clear();
}

}  // namespace

void HoldSceneResources() {
    static bool held = false;
    if (held) return;
    held = true;
    MountCompiledInPackage();
    // Small stand-ins for the scene's sheets, under the names the effects
    // use: a mask is read back from its sheet on every load, and the real
    // sheets would make each input cost milliseconds.
    static const char* const kTextures[] = {"gui\\gui_tex.jp2", "temple\\temple.jp2", "misc\\trophies.jp2"};
    for (const char* name : kTextures) {
        Zyn::Texture* t = new Zyn::Texture(name);
        t->AddRef();
        g_Held.push_back(t);
        if (!t->InitEmptyTexture(64, 64, false)) continue;
        // Opaque and translucent cells, so that masks both emit and refuse.
        for (int i = 0; i < 16; ++i) {
            const unsigned x = unsigned(i % 4) * 16;
            const unsigned y = unsigned(i / 4) * 16;
            (void)Zyn::Graphics::FillRectTexture(t->GetTexHandle(), x + 2, y + 2, 12, 12,
                                                 Zyn::Color((i * 0x11u) << 24 | 0x00FFFFFFu));
        }
        for (int i = 0; i < 32; ++i) {
            const int x = (i % 8) * 8;
            const int y = (i / 8) * 16;
            t->RegisterSprite(x, y, x + 8, y + 16);
        }
        Zyn::GetCreateTextureManager()->InsertObject(t, 0, 0, nullptr);
    }
    if (Zyn::Font* font = Zyn::GetCreateFontManager()->GetResourceTyped("debugfont.zyn_fnt")) g_Held.push_back(font);
    // Registered after the managers were made, so it runs before they go.
    std::atexit(&ReleaseHeld);
}

std::vector<Bytes> Split(const uint8_t* data, size_t size, size_t parts) {
    static const unsigned char kSeparator[4] = {'Z', 'Y', 'N', '|'};
    std::vector<Bytes> out;
    size_t start = 0;
    size_t i = 0;
    while (out.size() + 1 < parts && i + sizeof kSeparator <= size) {
        if (std::memcmp(data + i, kSeparator, sizeof kSeparator) == 0) {
            out.emplace_back(data + start, data + i);
            i += sizeof kSeparator;
            start = i;
        } else {
            ++i;
        }
    }
    out.emplace_back(data + start, data + size);
    return out;
}

bool IsStreamContained(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (text.find("FileLogOutput") != std::string::npos) return false;
    return text.find('/') == std::string::npos || text.find("Package") == std::string::npos;
}

void EmptyFolder(const std::string& path) {
    DIR* dir = opendir(path.c_str());
    if (!dir) return;
    std::vector<std::string> names;
    while (struct dirent* e = readdir(dir)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
    }
    closedir(dir);
    for (const std::string& n : names) nftw((path + "/" + n).c_str(), &RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

}  // namespace ZynFuzz
