// CPU spent by the frame pump when frames are asked for back to back, so that
// every request waits out the 1000-microsecond floor. Our pump sleeps the
// remainder; the baseline is the same wait spinning on usleep(0). Both run in
// the same process, one after the other, and print CPU microseconds per frame
// side by side; the goal is a small fraction of the baseline.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <ctime>
#include <unistd.h>

#include <zyn/core/Root.h>
#include <zyn/platform/Clock.h>
#include <zyn/platform/ZYN_ScreenSaver_ZYN.h>

namespace {

const int kFrames = 400;

double ThreadCpuMicroseconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e6 + double(t.tv_nsec) * 1e-3;
}

// The spinning wait: read the clock, yield with usleep(0) until 1000
// microseconds have passed.
double SpinningCpuPerFrame() {
    long t1 = Zyn::getTimeMicroseconds();
    const double start = ThreadCpuMicroseconds();
    for (int i = 0; i < kFrames; ++i) {
        long t2 = Zyn::getTimeMicroseconds();
        while (int32_t(uint32_t(t2) - uint32_t(t1)) <= 999) {
            usleep(0);
            t2 = Zyn::getTimeMicroseconds();
        }
        benchmark::DoNotOptimize(t2);
        t1 = t2;
    }
    return (ThreadCpuMicroseconds() - start) / kFrames;
}

void BM_FramePumpCpu(benchmark::State& state) {
    // Root stays inactive: each request is the wait plus an empty update.
    Zyn::Singleton<Zyn::Root>::Get();
    ZYN_ScreenSaver_ZYN view(nullptr);
    double ours = 0.0;
    double spinning = 0.0;
    for (auto _ : state) {
        view.AnimateOneFrame();
        const double start = ThreadCpuMicroseconds();
        for (int i = 0; i < kFrames; ++i) view.AnimateOneFrame();
        ours = (ThreadCpuMicroseconds() - start) / kFrames;
        spinning = SpinningCpuPerFrame();
    }
    state.counters["cpu_us_per_frame"] = ours;
    state.counters["baseline_spin_cpu_us_per_frame"] = spinning;
    state.SetLabel("sleeping pump vs usleep(0) spin, CPU us per frame");
}

BENCHMARK(BM_FramePumpCpu)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
