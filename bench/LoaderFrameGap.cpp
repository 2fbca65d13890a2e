// Frame gaps while eight 2048 x 2048 JPEG 2000 textures load. The loader runs
// the texture tasks on its worker (decode and upload in the shared context)
// while the frame thread draws the progress bar at 60 Hz; the baseline loads
// the same textures on the frame thread, one task per frame, between the same
// frames. Both print the longest gap between two finished frames and the
// total load time; the goal is a longest gap near one frame period. The same
// frames drawn with nothing loading give the machine's own floor.
#include <benchmark/benchmark.h>

#include <GL/gl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <zyn/app/App.h>
#include <zyn/app/AppLoaderLayer.h>
#include <zyn/core/Root.h>
#include <zyn/graphics/Graphics.h>
#include <zyn/graphics/Texture.h>
#include <zyn/graphics/TextureManager.h>
#include <zyn/io/FolderPackage.h>
#include <zyn/platform/GLSurface.h>
#include <zyn/platform/OffscreenSurface.h>
#include <zyn/graphics/image/ImageDecode.h>
#include <zyn/resources/ResourceTask.h>

namespace {

const unsigned kSize = 2048;
const int kTextures = 8;
const float kRatio = 20.0f;
const std::chrono::microseconds kFramePeriod(16667);

typedef std::chrono::steady_clock Clock;

double Milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

unsigned Hash(unsigned x, unsigned y, unsigned seed) {
    unsigned h = x * 374761393u + y * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return h ^ (h >> 16);
}

// Stone-like texture, different for each seed; the same on every run.
std::vector<unsigned char> MakeTexture(unsigned seed) {
    std::vector<unsigned char> rgb(size_t(kSize) * kSize * 3);
    const double fx = 0.011 + 0.002 * seed;
    const double fy = 0.017 + 0.001 * seed;
    for (unsigned y = 0; y < kSize; ++y)
        for (unsigned x = 0; x < kSize; ++x) {
            const double wave = 60.0 * std::sin(x * fx) * std::cos(y * fy) + 30.0 * std::sin((x + y) * 0.05);
            const double vein = double(Hash(x / 16, y / 16, seed) & 63) - 32.0;
            const double grain = double(Hash(x, y, seed) & 15) - 8.0;
            const double v = 128.0 + wave + vein + grain;
            unsigned char* p = &rgb[(size_t(y) * kSize + x) * 3];
            p[0] = static_cast<unsigned char>(std::clamp(v + 12.0, 0.0, 255.0));
            p[1] = static_cast<unsigned char>(std::clamp(v, 0.0, 255.0));
            p[2] = static_cast<unsigned char>(std::clamp(v - 20.0 + seed * 4.0, 0.0, 255.0));
        }
    return rgb;
}

// The textures as files in a temporary folder, mounted as a package.
struct TextureFolder {
    std::string dir;
    std::vector<std::string> names;
    bool ok = false;

    TextureFolder() {
        char tmpl[] = "/tmp/zyn_bench_loader_XXXXXX";
        if (!mkdtemp(tmpl)) return;
        dir = tmpl;
        for (int i = 0; i < kTextures; ++i) {
            std::vector<unsigned char> file;
            const std::vector<unsigned char> rgb = MakeTexture(unsigned(i));
            if (!Zyn::EncodeJP2(rgb.data(), kSize, kSize, 3, kRatio, file)) return;
            const std::string name = "stone_" + std::to_string(i) + ".jp2";
            FILE* f = std::fopen((dir + "/" + name).c_str(), "wb");
            if (!f) return;
            const bool written = std::fwrite(file.data(), 1, file.size(), f) == file.size();
            if (std::fclose(f) != 0 || !written) return;
            names.push_back(name);
        }
        ok = true;
    }
    ~TextureFolder() {
        for (const std::string& name : names) std::remove((dir + "/" + name).c_str());
        if (!dir.empty()) rmdir(dir.c_str());
    }
};

TextureFolder& GetFolder() {
    static TextureFolder folder;
    return folder;
}

struct Run {
    double longestGapMs = 0.0;
    double totalMs = 0.0;
    int frames = 0;
    bool ok = true;
};

// One frame as the application draws it, finished as a swap would finish it.
// Frames start on the 60 Hz grid, or at once when the previous one was late.
void Frame(Zyn::App& app, Clock::time_point& due) {
    const Clock::time_point now = Clock::now();
    if (now < due) std::this_thread::sleep_until(due);
    due = std::max(due, now) + kFramePeriod;
    app.Update(float(kFramePeriod.count()) * 1e-6f);
    glFinish();
}

// Gives back every reference the loads took, so that the next run loads again.
bool DropTextures(const std::vector<std::string>& names) {
    bool allLoaded = true;
    for (const std::string& name : names) {
        Zyn::Object* t = Zyn::GetCreateTextureManager()->FindObject(name.c_str(), nullptr, -3);
        if (!t) {
            allLoaded = false;
            continue;
        }
        const Zyn::TexHandle handle = static_cast<Zyn::Texture*>(t)->GetTexHandle();
        allLoaded = allLoaded && handle.IsOk() && handle->width == kSize;
        while (t->Release() > 0) {
        }
    }
    return allLoaded;
}

// The loader's worker loads while the frame thread draws.
Run LoadOnWorker(const std::vector<std::string>& names) {
    Run run;
    Zyn::App app("loader bench");
    Zyn::AppLoaderLayer* layer = new Zyn::AppLoaderLayer("loader");
    app.InsertObject(layer, Zyn::App::kActiveLayers, 0, nullptr);
    for (const std::string& name : names)
        layer->AddTask(new Zyn::ResourceTask(name.c_str(), &Zyn::Texture::sm_Class, Zyn::RA_Load));
    Clock::time_point due = Clock::now();
    Frame(app, due);
    Clock::time_point last = Clock::now();
    const Clock::time_point start = last;
    run.ok = layer->StartThread();
    while (run.ok && layer->GetDoneCount() != layer->GetTaskCount()) {
        Frame(app, due);
        const Clock::time_point now = Clock::now();
        run.longestGapMs = std::max(run.longestGapMs, Milliseconds(now - last));
        last = now;
        ++run.frames;
    }
    run.totalMs = Milliseconds(Clock::now() - start);
    layer->WaitComplete();
    run.ok = run.ok && DropTextures(names);
    return run;
}

// Baseline: the same tasks on the frame thread, one between two frames.
Run LoadOnFrameThread(const std::vector<std::string>& names) {
    Run run;
    Zyn::App app("frame thread bench");
    Zyn::AppLoaderLayer* bar = new Zyn::AppLoaderLayer("bar");
    app.InsertObject(bar, Zyn::App::kActiveLayers, 0, nullptr);
    Clock::time_point due = Clock::now();
    Frame(app, due);
    Clock::time_point last = Clock::now();
    const Clock::time_point start = last;
    for (const std::string& name : names) {
        Zyn::ResourceTask task(name.c_str(), &Zyn::Texture::sm_Class, Zyn::RA_Load);
        run.ok = task.Execute() && run.ok;
        Frame(app, due);
        const Clock::time_point now = Clock::now();
        run.longestGapMs = std::max(run.longestGapMs, Milliseconds(now - last));
        last = now;
        ++run.frames;
    }
    run.totalMs = Milliseconds(Clock::now() - start);
    run.ok = run.ok && DropTextures(names);
    return run;
}

// The floor: the same frames with nothing loading, for as many frames as the
// worker run drew. What this shows is the machine's own scheduling noise.
Run IdleFrames(int frames) {
    Run run;
    Zyn::App app("idle bench");
    app.InsertObject(new Zyn::AppLoaderLayer("bar"), Zyn::App::kActiveLayers, 0, nullptr);
    Clock::time_point due = Clock::now();
    Frame(app, due);
    Clock::time_point last = Clock::now();
    for (int i = 0; i < frames; ++i) {
        Frame(app, due);
        const Clock::time_point now = Clock::now();
        run.longestGapMs = std::max(run.longestGapMs, Milliseconds(now - last));
        last = now;
        ++run.frames;
    }
    return run;
}

void BM_LoaderFrameGap(benchmark::State& state) {
    TextureFolder& folder = GetFolder();
    if (!folder.ok) {
        state.SkipWithError("could not write the test textures");
        return;
    }
    Zyn::Root* root = Zyn::Singleton<Zyn::Root>::Get();
    root->m_LogLevel = Zyn::kLogError;
    Zyn::AppSettings* settings = root->GetAppSettings();
    settings->screenWidth = 1024;
    settings->screenHeight = 768;
    settings->appWidth = 1024;
    settings->appHeight = 786;
    settings->windowed = true;
    std::unique_ptr<Zyn::GLSurface> surface(Zyn::CreateOffscreenSurface());
    if (!Zyn::Graphics::Init(surface.get(), *settings)) {
        state.SkipWithError("no offscreen GL context");
        return;
    }
    Zyn::FolderPackage* package = new Zyn::FolderPackage("bench textures", folder.dir.c_str());
    root->InsertObject(package, Zyn::Root::kPackages, 0, nullptr);

    Run worker;
    Run frameThread;
    Run idle;
    for (auto _ : state) {
        frameThread = LoadOnFrameThread(folder.names);
        worker = LoadOnWorker(folder.names);
        idle = IdleFrames(worker.frames);
        state.SetIterationTime(worker.totalMs / 1000.0);
        if (!worker.ok || !frameThread.ok) {
            state.SkipWithError("a texture did not load");
            break;
        }
    }
    root->RemoveObject(package, Zyn::Root::kPackages);
    Zyn::Graphics::ShutDown();
    surface.reset();

    state.counters["worker_longest_gap_ms"] = worker.longestGapMs;
    state.counters["worker_total_ms"] = worker.totalMs;
    state.counters["worker_frames"] = worker.frames;
    state.counters["baseline_longest_gap_ms"] = frameThread.longestGapMs;
    state.counters["baseline_total_ms"] = frameThread.totalMs;
    state.counters["gap_ratio"] = worker.longestGapMs / frameThread.longestGapMs;
    state.counters["idle_longest_gap_ms"] = idle.longestGapMs;
    state.SetLabel("8 x 2048^2 jp2; loader worker vs frame-thread loading; goal: gap near 16.7 ms");
}
BENCHMARK(BM_LoaderFrameGap)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
