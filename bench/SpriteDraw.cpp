// Sprite drawing against its baseline: one million sprites through
// Texture::DrawSpriteEx (upright and rotated) compared with sending the same
// number of prepared quads one by one through Graphics::RenderQuads, which is
// what every sprite call ends in. The difference is the cost of the sprite
// table lookup and the corner arithmetic. Offscreen context, 1 x 1 viewport.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <zyn/graphics/Graphics.h>
#include <zyn/graphics/Texture.h>
#include <zyn/platform/GLSurface.h>
#include <zyn/platform/OffscreenSurface.h>

using namespace Zyn;

namespace {

constexpr int kSprites = 1000000;

double g_BaselineRate = 0;
double g_UprightRate = 0;
double g_RotatedRate = 0;

// An offscreen frame and a 64 x 64 texture with a few sprites, for one benchmark.
class Scene {
public:
    bool Start() {
        m_pSurface.reset(CreateOffscreenSurface());
        AppSettings s;
        s.screenWidth = s.screenHeight = s.appWidth = s.appHeight = 1;
        s.windowed = true;
        if (!Graphics::Init(m_pSurface.get(), s)) return false;
        Graphics::BeginRendering();
        Graphics::SetScreenViewport(Rect<short>(0, 0, 1, 1));
        Graphics::SetRenderMode(RENDER_2D);
        Graphics::SetProjection2D(1, 1);
        m_pTexture = new Texture("bench");
        m_pTexture->AddRef();
        if (!m_pTexture->InitEmptyTexture(64, 64, false)) return false;
        for (int i = 0; i < 16; ++i) m_pTexture->RegisterSprite(i * 4, 0, i * 4 + 4, 8);
        return true;
    }
    ~Scene() {
        if (m_pTexture) m_pTexture->Release();
        Graphics::ShutDown();
    }
    void Wait() {
        Graphics::_FlushRender();
        // Reading the pixel back waits until GL has drawn everything.
        m_pSurface->ReadPixels(m_Pixel);
    }
    Texture* m_pTexture = nullptr;

private:
    std::unique_ptr<GLSurface> m_pSurface;
    std::vector<u8> m_Pixel;
};

void SetRate(benchmark::State& state) {
    state.counters["sprites_per_s"] =
        benchmark::Counter(double(state.iterations()) * kSprites, benchmark::Counter::kIsRate);
}

void BM_RenderQuads_OneByOne_Baseline(benchmark::State& state) {
    Scene scene;
    if (!scene.Start()) {
        state.SkipWithError("no offscreen GL context");
        return;
    }
    Graphics::SetTexture(scene.m_pTexture->GetTexHandle());
    // The same 2 x 2 squares that the sprite benchmarks below produce, so that GL
    // has the same pixels to fill in both.
    std::vector<BasicVertex> quads(64 * 4);
    for (int i = 0; i < 64; ++i) {
        const float f = float(i) * 0.01f;
        const float u = float(i & 15) / 16.0f, u2 = u + 1.0f / 16.0f;
        quads[i * 4 + 0] = {u, 0, Color(0xFFFFFFFF), f - 1, f - 1, 0};
        quads[i * 4 + 1] = {u2, 0, Color(0xFFFFFFFF), f + 1, f - 1, 0};
        quads[i * 4 + 2] = {u2, 0.125f, Color(0xFFFFFFFF), f + 1, f + 1, 0};
        quads[i * 4 + 3] = {u, 0.125f, Color(0xFFFFFFFF), f - 1, f + 1, 0};
    }
    for (auto _ : state) {
        for (int i = 0; i < kSprites; ++i) Graphics::RenderQuads(&quads[size_t(i & 63) * 4], 1);
        scene.Wait();
    }
    SetRate(state);
}

void DrawSprites(benchmark::State& state, bool rotated) {
    Scene scene;
    if (!scene.Start()) {
        state.SkipWithError("no offscreen GL context");
        return;
    }
    Texture* t = scene.m_pTexture;
    for (auto _ : state) {
        for (int i = 0; i < kSprites; ++i) {
            const float f = float(i & 63) * 0.01f;
            t->DrawSpriteEx(unsigned(i & 15) + 1, f, f, rotated ? f + 0.1f : 0.0f, 0.5f, 0.25f, 0.0f,
                            0xFFFFFFFF);
        }
        scene.Wait();
    }
    SetRate(state);
}

void BM_DrawSpriteEx_Upright(benchmark::State& state) { DrawSprites(state, false); }
void BM_DrawSpriteEx_Rotated(benchmark::State& state) { DrawSprites(state, true); }

// GL draws on its own threads: wall time is the honest measure.
BENCHMARK(BM_RenderQuads_OneByOne_Baseline)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DrawSpriteEx_Upright)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DrawSpriteEx_Rotated)->Unit(benchmark::kMillisecond)->UseRealTime();

class RateReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            auto it = r.counters.find("sprites_per_s");
            if (it == r.counters.end() || r.error_occurred) continue;
            const std::string name = r.benchmark_name();
            if (name.find("Baseline") != std::string::npos) g_BaselineRate = it->second.value;
            if (name.find("Upright") != std::string::npos) g_UprightRate = it->second.value;
            if (name.find("Rotated") != std::string::npos) g_RotatedRate = it->second.value;
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
    if (g_BaselineRate > 0) {
        std::printf("\nRenderQuads, one prepared quad a call: %8.1f M sprites/s\n", g_BaselineRate / 1e6);
        if (g_UprightRate > 0)
            std::printf(
                "DrawSpriteEx upright:                  %8.1f M sprites/s  = %.2f x baseline (goal >= "
                "0.50)\n",
                g_UprightRate / 1e6, g_UprightRate / g_BaselineRate);
        if (g_RotatedRate > 0)
            std::printf(
                "DrawSpriteEx rotated:                  %8.1f M sprites/s  = %.2f x baseline (goal >= "
                "0.50)\n",
                g_RotatedRate / 1e6, g_RotatedRate / g_BaselineRate);
    }
    return 0;
}
