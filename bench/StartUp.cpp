// Start-up of the screen saver, headless: from a fresh process to its first
// frame, against decoding the pack's images alone on one thread and on all
// cores, in the same run, and against making the GL context alone. The
// process is set up as the saver sets up its own (huge pages for large
// blocks, the lean rasteriser settings); the children inherit it.
#include <benchmark/benchmark.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <screensaver/ZynMain.h>
#include <zyn/core/Root.h>
#include <zyn/io/File.h>
#include <zyn/io/PacPackage.h>
#include <zyn/platform/GLSurface.h>
#include <zyn/platform/HostDriver.h>
#include <zyn/platform/OffscreenSurface.h>
#include <zyn/platform/ProcessSetup.h>
#include <zyn/platform/WindowSurface.h>
#include <zyn/graphics/image/ImageDecode.h>

using namespace Zyn;

namespace {

// Milliseconds per decode of the pack's images on one thread, from this run.
double g_OneThreadDecodeMs = 0.0;

const char* DataDir() {
    const char* d = std::getenv("ZYN_DATA_DIR");
    return d ? d : ZYN_BENCH_DATA_DIR;
}

// The child builds the whole scene and draws one frame, as the host does:
// the images are decoded while the context is made.
[[noreturn]] void StartAndDrawOneFrame() {
    PrefetchSceneImages(std::string(DataDir()) + "/" + kScenePackName);
    RegisterZynMain();
    std::unique_ptr<GLSurface> surface(CreateOffscreenSurface());
    HostDriver driver;
    if (!driver.Create(surface.get(), 1024, 786, false)) _exit(1);
    driver.Start();
    driver.Frame();
    _exit(0);
}

// The floor under any start-up: a fresh process that only makes its GL
// context (the driver loaded, its first framebuffer sized).
[[noreturn]] void MakeContextOnly() {
    std::unique_ptr<GLSurface> surface(CreateOffscreenSurface());
    _exit(surface && surface->CreateContext(1024, 786) ? 0 : 1);
}

// Milliseconds of a fresh child running `child`; the counter
// vs_decode_1_thread is their mean over the one-thread decode's.
template <void (*child)()>
void BM_Child(benchmark::State& state) {
    setenv("ZYN_DATA_DIR", DataDir(), 1);
    setenv("XDG_CONFIG_HOME", "/tmp/zyn-bench-prefs", 1);
    double total = 0.0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        const pid_t pid = fork();
        if (pid == 0) child();
        int status = 0;
        waitpid(pid, &status, 0);
        const auto t1 = std::chrono::steady_clock::now();
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) state.SkipWithError("the child failed");
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
        total += std::chrono::duration<double, std::milli>(t1 - t0).count();
    }
    if (g_OneThreadDecodeMs > 0 && state.iterations() > 0)
        state.counters["vs_decode_1_thread"] = total / double(state.iterations()) / g_OneThreadDecodeMs;
}

// What the texture loader decodes: each colour image as RGBA, each alpha
// image as it is; on range(0) threads, 0 for the default (the cores).
void BM_DecodePackImages(benchmark::State& state) {
    const int threads = int(state.range(0));
    const std::string pack = std::string(DataDir()) + "/RezAduva.pac";
    PacPackage* package = new PacPackage(pack.c_str());
    package->AddRef();
    struct Member {
        const char* name;
        bool forceRGBA;
    };
    const Member members[] = {{"temple\\temple.jp2", true}, {"temple\\temple.jp2_a", false},
                              {"misc\\trophies.jp2", true}, {"misc\\trophies.jp2_a", false},
                              {"gui\\gui_tex.jp2", true},   {"gui\\gui_tex.jp2_a", false}};
    std::vector<std::vector<unsigned char>> bytes;
    for (const Member& m : members) {
        File* f = package->OpenFile(m.name);
        if (!f) {
            state.SkipWithError("pack member missing");
            package->Release();
            return;
        }
        const unsigned size = f->GetFileSize();
        std::vector<unsigned char> b(size);
        f->Read(b.data(), size);
        delete f;
        bytes.push_back(std::move(b));
    }
    SetJpeg2000Threads(threads);
    const auto t0 = std::chrono::steady_clock::now();
    for (auto _ : state) {
        for (size_t i = 0; i < bytes.size(); ++i) {
            unsigned w = 0, h = 0;
            int channels = 0;
            unsigned char* px =
                DecodeImage(bytes[i].data(), bytes[i].size(), &w, &h, &channels, members[i].forceRGBA, 8192);
            benchmark::DoNotOptimize(px);
            std::free(px);
        }
    }
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    if (threads == 1 && state.iterations() > 0) g_OneThreadDecodeMs = ms / double(state.iterations());
    SetJpeg2000Threads(0);
    package->Release();
}

}  // namespace

BENCHMARK(BM_DecodePackImages)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Child<MakeContextOnly>)->Name("BM_GLContextOnly")->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(16);
BENCHMARK(BM_Child<StartAndDrawOneFrame>)
    ->Name("BM_StartUpToFirstFrame")
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(16);

int main(int argc, char** argv) {
    PreferHugePagesForLargeBlocks(argv);
    PreferLeanSoftwareRasterizer();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
