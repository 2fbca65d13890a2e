// Saving and loading an object stream of 10,000 small objects (a root with
// 10,000 children of four fields each) through a VectorFile, against the
// baselines of writing and reading the same bytes by hand: the same File
// calls and, for loading, the same allocations and insertions, without the
// serializator's class lookups, ids and maps.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include <zyn/core/BasicSerializator.h>
#include <zyn/core/Root.h>
#include <zyn/io/VectorFile.h>

using namespace Zyn;

namespace BenchStream {

class Item : public Object {
    ZYN_DECLARE_CLASS(Item)
public:
    explicit Item(const char* name = "") : Object(name) {}
    ZYN_STATIC_CREATE(Item)
    bool Save(ObjectSerializator& s) override { return WriteFields(s.GetFile()); }
    bool Load(ObjectSerializator& s) override { return ReadFields(s.GetFile()); }
    bool WriteFields(File* f) {
        return f->Write32(&m_fX, 1) == 1 && f->Write32(&m_fY, 1) == 1 && f->Write32(&m_Color, 1) == 1 &&
               f->Write32(&m_Kind, 1) == 1;
    }
    bool ReadFields(File* f) {
        return f->Read32(&m_fX, 1) == 1 && f->Read32(&m_fY, 1) == 1 && f->Read32(&m_Color, 1) == 1 &&
               f->Read32(&m_Kind, 1) == 1;
    }
    float m_fX = 0, m_fY = 0;
    u32 m_Color = 0;
    s32 m_Kind = 0;
};

class Group : public DynGroupObject {
    ZYN_DECLARE_CLASS(Group)
public:
    explicit Group(const char* name = "") : DynGroupObject(name) {
        SetGroupCount(1);
        SetupGroup(0, &m_Items);
        m_Items.m_Flags = IDynGroup::kHoldRef | IDynGroup::kSave;
    }
    ~Group() override { ClearGroups(); }
    ZYN_STATIC_CREATE(Group)
    StdListDynGroup<Object> m_Items;
};

ZYN_IMPLEMENT_CLASS(Item, "BenchStreamItem", &Item::StaticCreate, nullptr, nullptr, Object)
ZYN_IMPLEMENT_CLASS(Group, "BenchStreamGroup", &Group::StaticCreate, nullptr, nullptr, DynGroupObject)

}  // namespace BenchStream

using namespace BenchStream;

namespace {

constexpr unsigned kObjects = 10000;

double g_RawWriteRate = 0, g_SaveRate = 0, g_RawReadRate = 0, g_LoadRate = 0;

Group* BuildHierarchy() {
    Group* root = new Group("effect");
    char name[32];
    for (unsigned i = 0; i < kObjects; ++i) {
        std::snprintf(name, sizeof name, "particle %u", i);
        Item* item = new Item(name);
        item->m_fX = float(i) * 0.5f;
        item->m_fY = float(i % 97);
        item->m_Color = 0xFF000000u | i;
        item->m_Kind = s32(i % 4);
        root->InsertObject(item, 0, 1, nullptr);
    }
    return root;
}

void SetRate(benchmark::State& state) {
    state.counters["objects_per_s"] =
        benchmark::Counter(double(state.iterations()) * kObjects, benchmark::Counter::kIsRate);
}

// The same bytes as SaveHierarchy writes, by hand.
void WriteRaw(File* f, Group* root) {
    u32 id = 1;
    f->WriteString(root->GetObjectClassName());
    f->Write32(&id, 1);
    f->WriteString(root->GetName());
    const u32 count = u32(root->m_Items.GetList().size());
    f->Write32(&count, 1);
    for (auto it = root->m_Items.GetList().rbegin(); it != root->m_Items.GetList().rend(); ++it) {
        Item* item = static_cast<Item*>(*it);
        const u32 entry[2] = {++id, 0};
        f->Write32(entry, 2);
        f->WriteString(item->GetObjectClassName());
        f->Write32(&id, 1);
        f->WriteString(item->GetName());
        item->WriteFields(f);
        const u32 none = 0;
        f->Write32(&none, 1);
    }
}

std::vector<unsigned char> SavedBytes() {
    static std::vector<unsigned char> bytes = [] {
        Group* root = BuildHierarchy();
        VectorFile file;
        BasicSerializator s(&file);
        s.SaveHierarchy(root);
        root->Release();
        return file.GetVector();
    }();
    return bytes;
}

void BM_RawWrite_Baseline(benchmark::State& state) {
    Group* root = BuildHierarchy();
    for (auto _ : state) {
        VectorFile file;
        WriteRaw(&file, root);
        benchmark::DoNotOptimize(file.GetVector().data());
    }
    root->Release();
    SetRate(state);
}

void BM_SaveHierarchy(benchmark::State& state) {
    Group* root = BuildHierarchy();
    size_t bytes = 0;
    for (auto _ : state) {
        VectorFile file;
        BasicSerializator s(&file);
        if (!s.SaveHierarchy(root)) state.SkipWithError("save failed");
        bytes = file.GetVector().size();
        benchmark::DoNotOptimize(file.GetVector().data());
    }
    root->Release();
    state.counters["stream_bytes"] = double(bytes);
    SetRate(state);
}

void BM_RawRead_Baseline(benchmark::State& state) {
    const std::vector<unsigned char> bytes = SavedBytes();
    std::string className, name;
    for (auto _ : state) {
        VectorFile file(bytes);
        u32 id = 0, count = 0;
        file.ReadString(className);
        file.Read32(&id, 1);
        file.ReadString(name);
        Group* root = new Group(name.c_str());
        file.Read32(&count, 1);
        for (u32 i = 0; i < count; ++i) {
            u32 entry[2];
            file.Read32(entry, 2);
            file.ReadString(className);
            file.Read32(&id, 1);
            file.ReadString(name);
            Item* item = new Item(name.c_str());
            item->ReadFields(&file);
            u32 none = 0;
            file.Read32(&none, 1);
            root->InsertObject(item, int(entry[1]), 0, nullptr);
        }
        // Freeing is part of neither figure.
        state.PauseTiming();
        root->Release();
        state.ResumeTiming();
    }
    SetRate(state);
}

void BM_LoadHierarchy(benchmark::State& state) {
    const std::vector<unsigned char> bytes = SavedBytes();
    for (auto _ : state) {
        VectorFile file(bytes);
        BasicSerializator s(&file);
        Object* root = s.LoadHierarchy();
        if (!root) {
            state.SkipWithError("load failed");
            break;
        }
        state.PauseTiming();
        root->Release();
        state.ResumeTiming();
    }
    SetRate(state);
}

BENCHMARK(BM_RawWrite_Baseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveHierarchy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawRead_Baseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadHierarchy)->Unit(benchmark::kMillisecond);

// Collects each run's rate so that the summary sets the figures side by side.
class RateReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            auto it = r.counters.find("objects_per_s");
            if (it == r.counters.end() || r.error_occurred) continue;
            const double rate = it->second.value;
            const std::string name = r.benchmark_name();
            if (name.find("RawWrite") != std::string::npos) g_RawWriteRate = rate;
            if (name.find("SaveHierarchy") != std::string::npos) g_SaveRate = rate;
            if (name.find("RawRead") != std::string::npos) g_RawReadRate = rate;
            if (name.find("LoadHierarchy") != std::string::npos) g_LoadRate = rate;
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace

int main(int argc, char** argv) {
    // Keep the informational lines of the framework out of the figures.
    Singleton<Root>::Get()->m_LogLevel = kLogWarning;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RateReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    if (g_RawWriteRate > 0 && g_SaveRate > 0)
        std::printf("\nsave: %8.2f M objects/s   raw-write baseline %8.2f M objects/s   = %.2f x baseline\n",
                    g_SaveRate / 1e6, g_RawWriteRate / 1e6, g_SaveRate / g_RawWriteRate);
    if (g_RawReadRate > 0 && g_LoadRate > 0)
        std::printf("load: %8.2f M objects/s   raw-read baseline  %8.2f M objects/s   = %.2f x baseline\n",
                    g_LoadRate / 1e6, g_RawReadRate / 1e6, g_LoadRate / g_RawReadRate);
    return 0;
}
