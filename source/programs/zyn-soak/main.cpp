// zyn-soak: plays the whole scene headless on a fixed step for a long
// stretch of timeline and reports, every simulated minute, the resident
// memory, the particle pool and the live objects. A development tool: the
// memory must stay flat once the first minute is over.
//
// Usage: zyn-soak [--minutes N] [--fps F] [--size WxH]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include <screensaver/ZynMain.h>
#include <zyn/core/Object.h>
#include <zyn/core/Root.h>
#include <zyn/platform/GLSurface.h>
#include <zyn/platform/HostDriver.h>
#include <zyn/platform/OffscreenSurface.h>
#include <zyn/particles/Particle.h>

using namespace Zyn;

namespace {

/// Resident set size in KiB from /proc/self/status; -1 when unknown.
long ResidentKiB() {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return -1;
    char line[256];
    long kib = -1;
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, "VmRSS:", 6) == 0) kib = std::strtol(line + 6, nullptr, 10);
    std::fclose(f);
    return kib;
}

int Usage() {
    std::fprintf(stderr, "usage: zyn-soak [--minutes N] [--fps F] [--size WxH]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int minutes = 10, fps = 30, width = 512, height = 393;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            Usage();
            return 0;
        }
        if (i + 1 >= argc) return Usage();
        const char* v = argv[++i];
        if (a == "--minutes") {
            minutes = std::atoi(v);
        } else if (a == "--fps") {
            fps = std::atoi(v);
        } else if (a == "--size") {
            if (std::sscanf(v, "%dx%d", &width, &height) != 2) return Usage();
        } else {
            return Usage();
        }
    }
    if (minutes < 1 || fps < 1 || fps > 1000 || width < 16 || height < 16) return Usage();

    // Run from the build tree, the generated pack is found there.
    setenv("ZYN_DATA_DIR", ZYN_SOAK_DATA_DIR, 0);
    RegisterZynMain();
    std::unique_ptr<GLSurface> surface(CreateOffscreenSurface());
    HostDriver driver;
    driver.UseFixedStep(1000000 / fps);
    if (!surface || !driver.Create(surface.get(), float(width), float(height), false)) {
        std::fprintf(stderr, "zyn-soak: the scene could not start\n");
        return 1;
    }
    Singleton<Root>::Get()->m_LogLevel = kLogWarning;
    driver.Start();
    std::printf("minute  rss_kib  pool_blocks  live_particles  live_objects\n");
    std::printf("%6d %8ld %12u %15u %13d\n", 0, ResidentKiB(), ParticleAllocator::GetBlockCount(),
                ParticleAllocator::GetLiveCount(), Object::GetLiveObjectCount());
    for (int m = 1; m <= minutes; ++m) {
        for (int f = 0; f < 60 * fps; ++f) driver.Frame();
        std::printf("%6d %8ld %12u %15u %13d\n", m, ResidentKiB(), ParticleAllocator::GetBlockCount(),
                    ParticleAllocator::GetLiveCount(), Object::GetLiveObjectCount());
        std::fflush(stdout);
    }
    driver.Stop();
    driver.Release();
    return 0;
}
