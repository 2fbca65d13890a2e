// JPEG 2000 decoding from memory on two threads against the library's own command-line
// decoder on the same file, in the same run. The image is a 2048 x 2048 RGB texture encoded
// lossy (ratio 20) by EncodeJP2 at start-up.

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <zyn/graphics/image/ImageDecode.h>

extern char** environ;

namespace {

const unsigned kSize = 2048;
const float kRatio = 20.0f;
const int kCliRuns = 5;

typedef std::chrono::steady_clock Clock;

double Milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

unsigned Hash(unsigned x, unsigned y) {
    unsigned h = x * 374761393u + y * 668265263u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return h ^ (h >> 16);
}

// Stone-like texture: broad waves, blocky veins and a little grain; the same on every run.
std::vector<unsigned char> MakeTexture() {
    std::vector<unsigned char> rgb(size_t(kSize) * kSize * 3);
    for (unsigned y = 0; y < kSize; ++y)
        for (unsigned x = 0; x < kSize; ++x) {
            const double wave =
                60.0 * std::sin(x * 0.013) * std::cos(y * 0.021) + 30.0 * std::sin((x + y) * 0.05);
            const double vein = double(Hash(x / 16, y / 16) & 63) - 32.0;
            const double grain = double(Hash(x, y) & 15) - 8.0;
            const double v = 128.0 + wave + vein + grain;
            unsigned char* p = &rgb[(size_t(y) * kSize + x) * 3];
            p[0] = static_cast<unsigned char>(std::clamp(v + 12.0, 0.0, 255.0));
            p[1] = static_cast<unsigned char>(std::clamp(v, 0.0, 255.0));
            p[2] = static_cast<unsigned char>(std::clamp(v - 20.0, 0.0, 255.0));
        }
    return rgb;
}

struct Fixture {
    std::vector<unsigned char> file;
    std::string dir;
    std::string input;
    std::string output;
    bool ok = false;

    Fixture() {
        const std::vector<unsigned char> rgb = MakeTexture();
        if (!Zyn::EncodeJP2(rgb.data(), kSize, kSize, 3, kRatio, file)) return;
        char tmpl[] = "/tmp/zyn_bench_image_XXXXXX";
        if (!mkdtemp(tmpl)) return;
        dir = tmpl;
        input = dir + "/texture.jp2";
        output = dir + "/texture.ppm";
        FILE* f = fopen(input.c_str(), "wb");
        if (!f) return;
        ok = fwrite(file.data(), 1, file.size(), f) == file.size();
        ok = fclose(f) == 0 && ok;
    }
    ~Fixture() {
        if (dir.empty()) return;
        remove(input.c_str());
        remove(output.c_str());
        rmdir(dir.c_str());
    }
};

Fixture& GetFixture() {
    static Fixture fixture;
    return fixture;
}

// Runs opj_decompress with two threads; wall time in ms, or a negative value on failure.
double RunCli(const Fixture& f) {
    const char* argv[] = {"opj_decompress", "-i", f.input.c_str(), "-o", f.output.c_str(),
                          "-threads",       "2",  nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const Clock::time_point start = Clock::now();
    pid_t pid = 0;
    const int err = posix_spawnp(&pid, argv[0], &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (err != 0) return -1.0;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1.0;
    return Milliseconds(Clock::now() - start);
}

// True when the command-line decoder's PPM holds exactly our pixels (its header carries a
// comment line, so only the pixel bytes at the end are compared).
bool SameAsCli(const Fixture& f, const unsigned char* pixels) {
    FILE* in = fopen(f.output.c_str(), "rb");
    if (!in) return false;
    const size_t bytes = size_t(kSize) * kSize * 3;
    std::vector<unsigned char> ppm(bytes + 256);
    const size_t n = fread(ppm.data(), 1, ppm.size(), in);
    fclose(in);
    return n > bytes && ppm[0] == 'P' && ppm[1] == '6' &&
           memcmp(ppm.data() + (n - bytes), pixels, bytes) == 0;
}

double Min(const std::vector<double>& v) { return v.empty() ? 0.0 : *std::min_element(v.begin(), v.end()); }

void BM_DecodeJP2_2048_RGB_TwoThreads(benchmark::State& state) {
    Fixture& f = GetFixture();
    if (!f.ok) {
        state.SkipWithError("could not encode the test texture");
        return;
    }

    // Baseline first, in the same run: the library's own decoder on the same file.
    std::vector<double> cli;
    for (int i = 0; i < kCliRuns; ++i) {
        const double ms = RunCli(f);
        if (ms < 0) {
            state.SkipWithError("opj_decompress failed (package libopenjp2-tools)");
            return;
        }
        cli.push_back(ms);
    }

    std::vector<double> ours;
    bool identical = true;
    for (auto _ : state) {
        unsigned w = 0, h = 0;
        int channels = 0;
        const Clock::time_point start = Clock::now();
        unsigned char* pixels =
            Zyn::DecodeImage(f.file.data(), f.file.size(), &w, &h, &channels, false, kSize);
        const double ms = Milliseconds(Clock::now() - start);
        state.SetIterationTime(ms / 1000.0);
        ours.push_back(ms);
        if (!pixels || w != kSize || h != kSize || channels != 3) {
            free(pixels);
            state.SkipWithError("decoding failed");
            return;
        }
        if (ours.size() == 1) identical = SameAsCli(f, pixels);
        benchmark::DoNotOptimize(pixels);
        free(pixels);
    }

    const double oursMs = Median(ours);
    const double cliMs = Median(cli);
    state.counters["zyn_ms"] = oursMs;
    state.counters["opj_decompress_ms"] = cliMs;
    state.counters["ratio"] = oursMs / cliMs;
    state.counters["zyn_min_ms"] = Min(ours);
    state.counters["opj_decompress_min_ms"] = Min(cli);
    state.counters["ratio_min"] = Min(ours) / Min(cli);
    state.counters["same_pixels"] = identical ? 1 : 0;
    state.counters["file_KiB"] = double(f.file.size()) / 1024.0;
    state.SetLabel("ms; ratio = zyn / opj_decompress, median and min (goal <= 1.0)");
}
BENCHMARK(BM_DecodeJP2_2048_RGB_TwoThreads)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(8);

}  // namespace

BENCHMARK_MAIN();
