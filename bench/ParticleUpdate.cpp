// ParticleEmitter::UpdateParticles on 10,000 and 1,000,000 live particles of
// one emitter (four curves of four keys, gravity, no affectors), each frame
// paired with the baseline: a bare walk over the same 128-byte records doing
// only the gravity and position arithmetic, timed in the same iteration (thread CPU time).
// A third benchmark plays an instance in steady state (emission equal to
// deaths) and counts heap allocations per frame: operator new is replaced
// below, and the particle pool's own blocks are counted separately.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <new>

#include <zyn/core/Class.h>
#include <zyn/particles/ParticleEffect.h>
#include <zyn/particles/ParticleEffectInstance.h>
#include <zyn/particles/ParticleEmitter.h>

namespace {
std::atomic<uint64_t> g_NewCalls{0};
}  // namespace

// The replaced operators pair malloc with free by design; the compiler sees
// only the inlined new expressions and would call that a mismatch.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t n) {
    g_NewCalls.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return operator new(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

using namespace Zyn;

namespace {

constexpr float kDt = 1.0f / 60.0f;

// CPU time of this thread in seconds: the machine is shared, and wall time
// would count the time other processes take.
double ThreadSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Emits at the instance's position at a fixed rate, through the common frame.
class BenchEmitter : public ParticleEmitter {
public:
    BenchEmitter() : ParticleEmitter("bench") {}
    void EmittParticles(float from, float to, EmitterDesc& desc, ParticleEffectInstance*) override {
        const float start = from > m_fEmittStart ? from : m_fEmittStart;
        const float end = to < m_fEmittEnd ? to : m_fEmittEnd;
        if (end - start > 0.0f) desc.m_fAccumulator += (end - start) * m_fRate * ms_ParDetail;
        const u32 n = TakeEmitCount(desc);
        for (u32 i = 0; i < n; ++i) {
            Particle* p = GenerateParticle(end);
            if (!p) break;
            p->m_fVX = 30.0f;
            p->m_fVY = -60.0f;
            AddParticle(desc, p);
        }
        desc.m_fAccumulator -= float(n);
    }
    Object* DuplicateObject(const char*) override { return nullptr; }
    float m_fRate = 0.0f;
};

void Configure(ParticleEmitter& e, float life) {
    e.SetPartLifeMin(life);
    e.SetPartLifeMax(life);
    e.SetGravity(Point2D<float>(0.0f, 98.0f));
    e.SetSizeCurve({{0, 0.5f, 1.0f}, {0.2f, 1.5f, 2.0f}, {0.7f, 1.0f, 1.2f}, {1, 0.0f, 0.1f}});
    e.SetSpinCurve({{0, 0, 1}, {0.3f, 2, 3}, {0.6f, 1, 2}, {1, 0, 0}});
    e.SetAlphaCurve({{0, 0, 0}, {0.1f, 255, 255}, {0.8f, 200, 230}, {1, 0, 0}});
    e.SetColorCurve({{0, 255, 255, 200, 255, 100, 150},
                     {0.25f, 255, 255, 120, 160, 40, 80},
                     {0.6f, 200, 230, 60, 90, 10, 30},
                     {1, 80, 100, 20, 40, 0, 10}});
}

// One emitter holding n live particles that outlive the run: lives of 600 s,
// ages spread over the first half, so each particle sits on some segment of
// every curve and a few cross keys in any frame.
struct Field {
    explicit Field(u32 n) : emitter(new BenchEmitter) {
        emitter->AddRef();
        Configure(*emitter, 600.0f);
        desc.m_pEmitter = emitter;
        std::srand(1);
        for (u32 i = 0; i < n; ++i) {
            Particle* p = emitter->GenerateParticle(0.0f);
            if (!p) break;
            p->m_fX = float(i % 1024);
            p->m_fY = float(i / 1024 % 768);
            p->m_fVX = 10.0f;
            p->m_fVY = -50.0f;
            p->m_fAge = float(std::rand() % 300000) * 0.001f;
            // Filling is not one update: lift the per-update emission bound.
            if (ParticleEmitter::GetEmitRoom(desc) == 0) desc.m_EmittedThisUpdate = 0;
            emitter->AddParticle(desc, p);
        }
        // Brings every particle onto the curve segment of its age.
        emitter->UpdateParticles(kDt, desc, 0.0f, nullptr);
    }
    ~Field() {
        for (Particle* p = desc.m_pFirst; p;) {
            Particle* next = p->m_pNext;
            ParticleAllocator::Delete(p);
            p = next;
        }
        emitter->Release();
    }
    BenchEmitter* emitter;
    EmitterDesc desc;
};

// The baseline: the same records, the same walk, only gravity and motion.
__attribute__((noinline)) void BareLoop(EmitterDesc& desc, float dt, Point2D<float> g) {
    for (Particle* p = desc.m_pFirst; p; p = p->m_pNext) {
        p->m_fVX += dt * g.x;
        p->m_fVY += dt * g.y;
        p->m_fX += dt * p->m_fVX;
        p->m_fY += dt * p->m_fVY;
    }
}

void BM_UpdateParticles(benchmark::State& state) {
    const u32 n = u32(state.range(0));
    Field field(n);
    const Point2D<float> g = field.emitter->GetGravity();
    double update = 0, bare = 0;
    u32 live = 0;
    const uint64_t news = g_NewCalls.load();
    const u32 blocks = ParticleAllocator::GetBlockCount();
    float runningTime = 0;
    for (auto _ : state) {
        const double t0 = ThreadSeconds();
        live = field.emitter->UpdateParticles(kDt, field.desc, runningTime, nullptr);
        const double t1 = ThreadSeconds();
        BareLoop(field.desc, kDt, g);
        const double t2 = ThreadSeconds();
        benchmark::ClobberMemory();
        const double u = t1 - t0;
        update += u;
        bare += t2 - t1;
        state.SetIterationTime(u);
        runningTime += kDt;
    }
    // Read before the counters below, whose map allocates.
    const double allocs = double(g_NewCalls.load() - news);
    const double blocksAdded = double(ParticleAllocator::GetBlockCount() - blocks);
    const double frames = double(state.iterations());
    state.counters["live"] = live;
    state.counters["ns_per_particle"] = update * 1e9 / (frames * n);
    state.counters["baseline_ns_per_particle"] = bare * 1e9 / (frames * n);
    state.counters["ratio"] = update / bare;
    state.counters["allocs_per_frame"] = allocs / frames;
    state.counters["pool_blocks_added"] = blocksAdded;
}

// An instance playing an effect whose emission matches its deaths: 60,000
// particles a second living one second. Counts heap allocations per frame.
void BM_InstanceSteadyState(benchmark::State& state) {
    Ref<ParticleEffect> effect(new ParticleEffect("bench"));
    BenchEmitter* emitter = new BenchEmitter;
    emitter->m_fRate = 60000.0f;
    Configure(*emitter, 1.0f);
    effect->InsertObject(emitter, ParticleEffect::kEmitters, 1, nullptr);
    Ref<ParticleEffectInstance> instance(new ParticleEffectInstance("bench", Point3D<float>(512, 400, 0)));
    effect->InsertObject(instance.Get(), -1, 0, nullptr);
    std::srand(1);
    for (int i = 0; i < 180; ++i) instance->Update(kDt);  // three seconds: steady state

    const uint64_t news = g_NewCalls.load();
    const u32 blocks = ParticleAllocator::GetBlockCount();
    uint64_t particles = 0;
    double seconds = 0;
    for (auto _ : state) {
        const double t0 = ThreadSeconds();
        instance->Update(kDt);
        seconds += ThreadSeconds() - t0;
        particles += instance->GetParticleCount();
    }
    const double allocs = double(g_NewCalls.load() - news);
    const double blocksAdded = double(ParticleAllocator::GetBlockCount() - blocks);
    const double frames = double(state.iterations());
    state.counters["live"] = double(instance->GetParticleCount());
    state.counters["ns_per_particle"] = seconds * 1e9 / double(particles);
    state.counters["allocs_per_frame"] = allocs / frames;
    state.counters["pool_blocks_added"] = blocksAdded;
    effect->RemoveObject(instance.Get(), ParticleEffect::kActive);
}

BENCHMARK(BM_UpdateParticles)->Arg(10000)->Iterations(3000)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UpdateParticles)->Arg(1000000)->Iterations(60)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InstanceSteadyState)->Iterations(600)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
