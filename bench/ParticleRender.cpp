// One instance update plus render of an effect with 20,000 live particles
// into the offscreen context: microseconds per frame and draw calls per frame.
#include <benchmark/benchmark.h>

#include <memory>

#include <GL/gl.h>

#include <zyn/core/Root.h>
#include <zyn/graphics/Graphics.h>
#include <zyn/graphics/Texture.h>
#include <zyn/platform/GLSurface.h>
#include <zyn/platform/OffscreenSurface.h>
#include <zyn/particles/ParticleEffect.h>
#include <zyn/particles/ParticleEffectInstance.h>
#include <zyn/particles/SprayEmitter.h>

using namespace Zyn;
namespace G = Zyn::Graphics;

namespace {

void BM_TwentyThousandParticles(benchmark::State& state) {
    std::unique_ptr<GLSurface> surface(CreateOffscreenSurface());
    AppSettings s;
    s.screenWidth = s.appWidth = 1024;
    s.screenHeight = s.appHeight = 786;
    if (!surface || !G::Init(surface.get(), s)) {
        state.SkipWithError("no offscreen GL context");
        return;
    }
    Texture* sprite = new Texture("bench_sprite");
    sprite->AddRef();
    if (!sprite->InitEmptyTexture(32, 32, false)) state.SkipWithError("no texture");

    // 20,000 particles per second living one second: 20,000 alive.
    ParticleEffect* effect = new ParticleEffect("bench");
    effect->AddRef();
    effect->SetEffectTime(1.f);
    effect->SetEffectLoops(-1);
    SprayEmitter* spray = new SprayEmitter("spray");
    spray->SetEmittRate(20000.f);
    spray->SetAngleMin(-180.f);
    spray->SetAngleMax(180.f);
    spray->SetSpeedMin(20.f);
    spray->SetSpeedMax(200.f);
    spray->SetPartLifeMin(1.f);
    spray->SetPartLifeMax(1.f);
    spray->SetTexture(sprite);
    spray->SetBlendMode(2);
    effect->InsertObject(spray, 0, 1, nullptr);
    ParticleEffectInstance* inst = new ParticleEffectInstance("inst", Point3D<float>(512, 393, 0));
    inst->AddRef();
    inst->SetEffect(effect);

    const float dt = 1.f / 60.f;
    for (int i = 0; i < 120; ++i) inst->Update(dt);  // reach the steady state
    unsigned draws = 0, frames = 0, live = 0;
    for (auto _ : state) {
        inst->Update(dt);
        G::BeginRendering();
        G::SetScreenViewport(Rect<short>(0, 0, 1024, 786));
        G::SetRenderMode(RENDER_2D);
        G::SetProjection2D(1024, 786);
        G::ResetSceneTransform();
        G::ResetDebugCounters();
        inst->Render(dt);
        G::EndRendering();
        glFinish();  // the software rasterizer works behind the call
        draws += G::GetDebugCounters().drawCalls;
        ++frames;
        live = inst->GetParticleCount();
    }
    state.counters["live_particles"] = live;
    state.counters["draw_calls_per_frame"] = frames ? double(draws) / frames : 0;
    state.counters["quads_per_draw"] = draws ? double(live) / (double(draws) / frames) : 0;
    inst->Release();
    effect->Release();
    sprite->Release();
    G::ShutDown();
}

}  // namespace

BENCHMARK(BM_TwentyThousandParticles)->Unit(benchmark::kMicrosecond)->MinTime(3.0);

BENCHMARK_MAIN();
