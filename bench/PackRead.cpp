// Reading every member of a 64 MB pack (64 members of 1 MB) through
// PacPackage (streamed, complemented as read) and PacMemPackage (decoded once
// at mount), against plain fread of the same bytes from an uncomplemented
// copy with the same layout. Each figure is printed beside the fread figure
// of the same run; the goal is a ratio of at least 0.9.
#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <zyn/core/Root.h>
#include <zyn/io/File.h>
#include <zyn/io/PacMemPackage.h>
#include <zyn/io/PacPackage.h>

namespace {

const int kMembers = 64;
const unsigned int kMemberSize = 1u << 20;
const double kTotalMB = double(kMembers) * kMemberSize / (1024.0 * 1024.0);

struct Setup {
    std::string dir;
    std::string pack;
    std::string plain;
    std::vector<std::string> names;
    std::vector<Zyn::PacPackage::file_entry> entries;  // offsets into both files
};

Setup g_Setup;
// The fread baseline's figures from its latest run: MB/s by the wall clock
// and CPU seconds per pass (kernel copy included).
double g_FreadMBs = 0.0;
double g_FreadCpuPerPass = 0.0;

double ThreadCpuSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

bool MakeData() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zyn-packread-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return false;
    g_Setup.dir = pattern;
    std::vector<Zyn::PacPackage::Source> sources;
    std::vector<unsigned char> bytes(kMemberSize);
    unsigned int seed = 12345;
    for (int m = 0; m < kMembers; ++m) {
        for (unsigned char& b : bytes) {
            seed = seed * 1103515245u + 12345u;
            b = static_cast<unsigned char>(seed >> 16);
        }
        char name[32];
        std::snprintf(name, sizeof name, "members\\m%02d.bin", m);
        const std::string path = g_Setup.dir + "/m" + std::to_string(m);
        FILE* f = std::fopen(path.c_str(), "wb");
        if (!f) return false;
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        sources.push_back({name, path});
        g_Setup.names.push_back(name);
    }
    g_Setup.pack = g_Setup.dir + "/bench.pac";
    if (!Zyn::PacPackage::CreatePacPackage(sources, g_Setup.pack.c_str())) return false;
    for (const auto& s : sources) std::remove(s.path.c_str());

    // The plain copy: the pack decoded, so members sit at the same offsets.
    g_Setup.plain = g_Setup.dir + "/plain.bin";
    FILE* in = std::fopen(g_Setup.pack.c_str(), "rb");
    FILE* out = std::fopen(g_Setup.plain.c_str(), "wb");
    if (!in || !out) return false;
    while (size_t n = std::fread(bytes.data(), 1, bytes.size(), in)) {
        for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<unsigned char>(~bytes[i]);
        std::fwrite(bytes.data(), 1, n, out);
    }
    std::fclose(in);
    std::fclose(out);

    Zyn::PacPackage* p = new Zyn::PacPackage(g_Setup.pack.c_str());
    p->AddRef();
    for (const std::string& n : g_Setup.names) g_Setup.entries.push_back(p->GetDirectory().at(n));
    p->Release();
    return true;
}

// The machine is shared: wall-clock figures carry other processes' load, so
// the ratio is also given by CPU time, which counts only this thread's work.
void Report(benchmark::State& state, double seconds, double cpuSeconds, bool isBaseline) {
    const double mbs = seconds > 0 ? kTotalMB * double(state.iterations()) / seconds : 0.0;
    const double cpuPerPass = cpuSeconds / double(state.iterations());
    if (isBaseline) {
        g_FreadMBs = mbs;
        g_FreadCpuPerPass = cpuPerPass;
    }
    state.counters["cpu_ratio_vs_fread"] = cpuPerPass > 0 ? g_FreadCpuPerPass / cpuPerPass : 0.0;
    state.SetBytesProcessed(int64_t(state.iterations()) * kMembers * kMemberSize);
    state.counters["MB/s"] = mbs;
    state.counters["fread_MB/s"] = g_FreadMBs;
    state.counters["ratio_vs_fread"] = g_FreadMBs > 0 ? mbs / g_FreadMBs : 0.0;
}

void BM_FreadPlainCopy(benchmark::State& state) {
    std::vector<unsigned char> buffer(kMemberSize);
    double seconds = 0;
    const double cpuStart = ThreadCpuSeconds();
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        FILE* f = std::fopen(g_Setup.plain.c_str(), "rb");
        for (const auto& e : g_Setup.entries) {
            std::fseek(f, long(e.offset), SEEK_SET);
            const size_t n = std::fread(buffer.data(), 1, e.size, f);
            benchmark::DoNotOptimize(n);
            benchmark::DoNotOptimize(buffer.data());
        }
        std::fclose(f);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    Report(state, seconds, ThreadCpuSeconds() - cpuStart, true);
}

template <class P>
void ReadAllMembers(benchmark::State& state) {
    P* pack = new P(g_Setup.pack.c_str());
    pack->AddRef();
    std::vector<unsigned char> buffer(kMemberSize);
    double seconds = 0;
    const double cpuStart = ThreadCpuSeconds();
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        for (const std::string& name : g_Setup.names) {
            std::unique_ptr<Zyn::File> f(pack->OpenFile(name.c_str()));
            const unsigned int n = f->Read(buffer.data(), kMemberSize);
            benchmark::DoNotOptimize(n);
            benchmark::DoNotOptimize(buffer.data());
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    Report(state, seconds, ThreadCpuSeconds() - cpuStart, false);
    pack->Release();
}

void BM_PacPackageRead(benchmark::State& state) { ReadAllMembers<Zyn::PacPackage>(state); }
void BM_PacMemPackageRead(benchmark::State& state) { ReadAllMembers<Zyn::PacMemPackage>(state); }

template <class P>
void Mount(benchmark::State& state) {
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        P* pack = new P(g_Setup.pack.c_str());
        pack->AddRef();
        benchmark::DoNotOptimize(pack);
        pack->Release();
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    state.counters["ms_per_mount"] = seconds * 1000.0 / double(state.iterations());
}

void BM_PacPackageMount(benchmark::State& state) { Mount<Zyn::PacPackage>(state); }
void BM_PacMemPackageMount(benchmark::State& state) {
    Mount<Zyn::PacMemPackage>(state);
    // Mounting reads and decodes the whole data region: compare it with fread too.
    const double ms = state.counters["ms_per_mount"];
    const double mbs = ms > 0 ? kTotalMB / (ms / 1000.0) : 0.0;
    state.counters["MB/s"] = mbs;
    state.counters["fread_MB/s"] = g_FreadMBs;
    state.counters["ratio_vs_fread"] = g_FreadMBs > 0 ? mbs / g_FreadMBs : 0.0;
}

// The baseline runs first so that every later figure has it to compare with.
BENCHMARK(BM_FreadPlainCopy)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PacPackageRead)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PacMemPackageRead)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PacPackageMount)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PacMemPackageMount)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    Zyn::Singleton<Zyn::Root>::Get()->m_LogLevel = Zyn::kLogWarning;
    benchmark::Initialize(&argc, argv);
    const bool made = MakeData();
    if (made)
        benchmark::RunSpecifiedBenchmarks();
    else
        std::fprintf(stderr, "PackRead: could not generate the test pack\n");
    std::error_code ec;
    if (!g_Setup.dir.empty()) std::filesystem::remove_all(g_Setup.dir, ec);
    benchmark::Shutdown();
    return made ? 0 : 1;
}
