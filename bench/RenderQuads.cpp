// One million sprites through the renderer's quad batch, against memcpy of the
// same vertex bytes in the same 250-quad chunks (the baseline). Measured:
// the copy-and-convert step alone, and RenderQuads end to end with the GL
// flushes into an offscreen context with a 1 x 1 viewport.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include <zyn/graphics/Graphics.h>
#include <zyn/platform/GLSurface.h>
#include <zyn/platform/OffscreenSurface.h>

using namespace Zyn;

namespace {

constexpr unsigned kQuads = 1000000;
constexpr unsigned kChunkQuads = Graphics::kBatchVertices / 4;

// Rates of the last run of each benchmark, for the summary.
double g_MemcpyRate = 0;
double g_ConvertRate = 0;
double g_EndToEndRate = 0;

const std::vector<BasicVertex>& Sprites() {
    static std::vector<BasicVertex> v = [] {
        std::vector<BasicVertex> out(size_t(kQuads) * 4);
        for (unsigned q = 0; q < kQuads; ++q) {
            const Color c = 0xFF000000u | (q * 2654435761u >> 8);
            const float x = float(q % 7) * 0.1f, y = float(q % 5) * 0.1f;
            BasicVertex* p = &out[size_t(q) * 4];
            p[0] = {0, 0, c, x, y, 0};
            p[1] = {1, 0, c, x + 0.5f, y, 0};
            p[2] = {1, 1, c, x + 0.5f, y + 0.5f, 0};
            p[3] = {0, 1, c, x, y + 0.5f, 0};
        }
        return out;
    }();
    return v;
}

void SetRate(benchmark::State& state) {
    state.counters["quads_per_s"] =
        benchmark::Counter(double(state.iterations()) * kQuads, benchmark::Counter::kIsRate);
    state.SetBytesProcessed(int64_t(state.iterations()) * kQuads * 4 * int64_t(sizeof(BasicVertex)));
}

void BM_Memcpy_Baseline(benchmark::State& state) {
    const BasicVertex* src = Sprites().data();
    std::vector<BasicVertex> store(Graphics::kBatchVertices);
    for (auto _ : state) {
        for (unsigned q = 0; q < kQuads; q += kChunkQuads) {
            std::memcpy(store.data(), src + size_t(q) * 4, kChunkQuads * 4 * sizeof(BasicVertex));
            benchmark::DoNotOptimize(store.data());
            benchmark::ClobberMemory();
        }
    }
    SetRate(state);
}

void BM_CopyConvert(benchmark::State& state) {
    const BasicVertex* src = Sprites().data();
    std::vector<BasicVertex> store(Graphics::kBatchVertices);
    for (auto _ : state) {
        for (unsigned q = 0; q < kQuads; q += kChunkQuads) {
            Graphics::CopyConvertVertices(store.data(), src + size_t(q) * 4, kChunkQuads * 4);
            benchmark::DoNotOptimize(store.data());
            benchmark::ClobberMemory();
        }
    }
    SetRate(state);
}

void BM_RenderQuads_EndToEnd(benchmark::State& state) {
    std::unique_ptr<GLSurface> surface(CreateOffscreenSurface());
    AppSettings s;
    s.screenWidth = 1;
    s.screenHeight = 1;
    s.appWidth = 1;
    s.appHeight = 1;
    s.windowed = true;
    if (!Graphics::Init(surface.get(), s)) {
        state.SkipWithError("no offscreen GL context");
        return;
    }
    Graphics::BeginRendering();
    Graphics::SetScreenViewport(Rect<short>(0, 0, 1, 1));
    Graphics::SetRenderMode(RENDER_2D);
    Graphics::SetProjection2D(1, 1);
    std::vector<u8> pixel;
    Graphics::ResetDebugCounters();
    for (auto _ : state) {
        Graphics::RenderQuads(Sprites().data(), kQuads);
        Graphics::_FlushRender();
        // Reading the pixel back waits until GL has drawn everything.
        surface->ReadPixels(pixel);
    }
    const Graphics::DebugCounters c = Graphics::GetDebugCounters();
    state.counters["draws_per_frame"] = double(c.drawCalls) / double(state.iterations());
    SetRate(state);
    Graphics::ShutDown();
}

BENCHMARK(BM_Memcpy_Baseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyConvert)->Unit(benchmark::kMillisecond);
// GL draws on its own threads: wall time is the honest measure.
BENCHMARK(BM_RenderQuads_EndToEnd)->Unit(benchmark::kMillisecond)->UseRealTime();

// Collects each run's rate so that the summary sets the figures side by side.
class RateReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            auto it = r.counters.find("quads_per_s");
            if (it == r.counters.end() || r.error_occurred) continue;
            const double rate = it->second.value;
            const std::string name = r.benchmark_name();
            if (name.find("Memcpy") != std::string::npos) g_MemcpyRate = rate;
            if (name.find("CopyConvert") != std::string::npos) g_ConvertRate = rate;
            if (name.find("EndToEnd") != std::string::npos) g_EndToEndRate = rate;
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RateReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    if (g_MemcpyRate > 0) {
        std::printf("\nmemcpy baseline:          %8.1f M quads/s\n", g_MemcpyRate / 1e6);
        if (g_ConvertRate > 0)
            std::printf("copy-and-convert:         %8.1f M quads/s  = %.2f x memcpy (goal >= 0.50)\n",
                        g_ConvertRate / 1e6, g_ConvertRate / g_MemcpyRate);
        if (g_EndToEndRate > 0)
            std::printf("RenderQuads end to end:   %8.1f M quads/s  = %.2f x memcpy\n", g_EndToEndRate / 1e6,
                        g_EndToEndRate / g_MemcpyRate);
    }
    return 0;
}
