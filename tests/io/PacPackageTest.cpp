#include <gtest/gtest.h>

#include <unistd.h>

#include <list>
#include <memory>

#include <zyn/core/Root.h>
#include <zyn/io/FolderPackage.h>
#include <zyn/io/MemoryFile.h>
#include <zyn/io/PacMemPackage.h>
#include <zyn/io/PacPackage.h>

#include "io/IoTestUtil.h"
#include "support/LogCapture.h"

using namespace Zyn;
using namespace ZynTest;

namespace {

/// Runs the test body inside the temporary folder, so that relative member
/// names are the names stored.
class InDir {
public:
    explicit InDir(const std::string& dir) : m_Old(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~InDir() { std::filesystem::current_path(m_Old); }

private:
    std::filesystem::path m_Old;
};

Bytes ReadAll(File* f) {
    Bytes out;
    unsigned char buffer[7];
    // Small reads on purpose: members cross many read calls.
    while (unsigned int n = f->Read(buffer, sizeof buffer)) out.insert(out.end(), buffer, buffer + n);
    return out;
}

Bytes ReadMember(Package& p, const char* name) {
    std::unique_ptr<File> f(p.OpenFile(name));
    return f ? ReadAll(f.get()) : Bytes{0xEE};
}

/// Writes three members (a 300-byte text, a 5000-byte pattern, a 1-byte file) and packs them.
class PackFixture : public ::testing::Test {
protected:
    void SetUp() override {
        WriteBytes(m_Dir / "data/one.txt", Pattern(300, 1));
        WriteBytes(m_Dir / "data/two.bin", Pattern(5000, 2));
        WriteBytes(m_Dir / "data/three", Bytes{42});
        std::vector<PacPackage::Source> sources = {
            {"data\\one.txt", m_Dir / "data/one.txt"},
            {"two.bin", m_Dir / "data/two.bin"},
            {"Three", m_Dir / "data/three"},
        };
        ASSERT_TRUE(PacPackage::CreatePacPackage(sources, m_Pack.c_str()));
    }
    TempDir m_Dir;
    std::string m_Pack = m_Dir / "test.pac";
};

}  // namespace

TEST(PacWriter, WritesTheDocumentedLayoutEveryByteComplemented) {
    TempDir dir;
    InDir in(dir.Path());
    WriteBytes(dir / "a", Pattern(10, 3));
    WriteBytes(dir / "bb", Pattern(3, 4));
    std::list<std::string> files = {"a", "bb"};
    {
        ScopedLogCapture log;
        ASSERT_TRUE(PacPackage::CreatePacPackage(files, "out.pac"));
        EXPECT_TRUE(log->Contains(" I. Creating package out.pac with 2 resources"));
    }
    RawPack expected;
    expected.U32(2).Entry("a", 27, 10).Entry("bb", 37, 3);
    EXPECT_EQ(expected.Size(), 27u);
    expected.Data(Pattern(10, 3)).Data(Pattern(3, 4));
    const Bytes written = ReadBytes(dir / "out.pac");
    ASSERT_EQ(written.size(), 40u);
    EXPECT_EQ(written, expected.Coded());
    // Spot-check the complement against the plain bytes directly.
    EXPECT_EQ(written[0], 0xFD);
    EXPECT_EQ(written[4], 0xFE);
}

TEST(PacWriter, LeavesOutEmptyMissingAndOverlongFiles) {
    TempDir dir;
    WriteBytes(dir / "good", Pattern(5, 0));
    WriteBytes(dir / "empty", Bytes{});
    const std::string longName = dir / std::string(140, 'n');
    WriteBytes(longName, Pattern(5, 0));
    std::list<std::string> files = {dir / "empty", dir / "missing", longName, dir / "good"};
    ScopedLogCapture log;
    ASSERT_TRUE(PacPackage::CreatePacPackage(files, (dir / "p.pac").c_str()));
    EXPECT_TRUE(log->Contains("Could not add file: " + dir / "empty" + " to package"));
    EXPECT_TRUE(log->Contains("Could not add file: " + dir / "missing" + " to package"));
    EXPECT_TRUE(log->Contains("Could not add file: " + longName + " to package"));
    PacPackage* pack = new PacPackage((dir / "p.pac").c_str());
    pack->AddRef();
    EXPECT_EQ(pack->GetDirectory().size(), 1u);
    EXPECT_EQ(ReadMember(*pack, (dir / "good").c_str()), Pattern(5, 0));
    pack->Release();
}

TEST(PacWriter, FailsWithoutWritingWhenNothingIsAccessibleOrTheTargetCannotBeCreated) {
    TempDir dir;
    WriteBytes(dir / "empty", Bytes{});
    std::list<std::string> files = {dir / "empty", dir / "missing"};
    ScopedLogCapture log;
    EXPECT_FALSE(PacPackage::CreatePacPackage(files, (dir / "p.pac").c_str()));
    EXPECT_TRUE(
        log->Contains(" W. Failed to create package " + dir / "p.pac" + " because no files accessible"));
    EXPECT_FALSE(std::filesystem::exists(dir / "p.pac"));

    WriteBytes(dir / "good", Pattern(5, 0));
    std::list<std::string> good = {dir / "good"};
    EXPECT_FALSE(PacPackage::CreatePacPackage(good, (dir / "no/such/folder/p.pac").c_str()));
    EXPECT_TRUE(
        log->Contains(" W. Failed to create package - can't create file " + dir / "no/such/folder/p.pac"));
}

TEST(PacWriter, RefusesToWriteOverOneOfItsOwnFiles) {
    TempDir dir;
    WriteBytes(dir / "a", Pattern(10, 1));
    WriteBytes(dir / "b", Pattern(20, 2));
    std::list<std::string> files = {dir / "a", dir / "b"};
    ScopedLogCapture log;
    EXPECT_FALSE(PacPackage::CreatePacPackage(files, (dir / "b").c_str()));
    EXPECT_TRUE(
        log->Contains(" E. Failed to create package " + dir / "b" + " - it is one of the files to pack"));
    EXPECT_EQ(ReadBytes(dir / "b"), Pattern(20, 2));
}

TEST(PacWriter, CodedWritersComplementEveryByteInMemoryOrder) {
    TempDir dir;
    const std::string path = dir / "coded";
    {
        SimpleFile f;
        ASSERT_TRUE(f.Open(path.c_str(), "wb"));
        const unsigned char bytes[3] = {0x00, 0x0F, 0xFF};
        const uint16_t half = 0x1234;
        const uint32_t word = 0xA0B0C0D0;
        EXPECT_TRUE(WriteCoded(f, bytes, 3));
        EXPECT_TRUE(WriteCoded_u16(f, &half, 1));
        EXPECT_TRUE(WriteCoded_u32(f, &word, 1));
        const Bytes big = Pattern(40000, 9);  // more than one internal chunk
        EXPECT_TRUE(WriteCoded(f, big.data(), unsigned(big.size())));
    }
    const Bytes b = ReadBytes(path);
    ASSERT_EQ(b.size(), 9u + 40000u);
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 9), (Bytes{0xFF, 0xF0, 0x00, 0xCB, 0xED, 0x2F, 0x3F, 0x4F, 0x5F}));
    const Bytes big = Pattern(40000, 9);
    for (size_t i = 0; i < big.size(); ++i) ASSERT_EQ(b[9 + i], 255 - big[i]) << i;

    SimpleFile closed;
    EXPECT_FALSE(WriteCoded(closed, "x", 1));
}

TEST_F(PackFixture, PacPackageReadsMembersBack) {
    PacPackage* pack = new PacPackage(m_Pack.c_str());
    pack->AddRef();
    EXPECT_EQ(pack->GetName(), m_Pack);
    EXPECT_EQ(pack->GetDirectory().size(), 3u);
    EXPECT_EQ(ReadMember(*pack, "data\\one.txt"), Pattern(300, 1));
    EXPECT_EQ(ReadMember(*pack, "two.bin"), Pattern(5000, 2));
    EXPECT_EQ(ReadMember(*pack, "Three"), Bytes{42});
    // Packs neither fold case nor normalise separators.
    EXPECT_EQ(pack->OpenFile("data/one.txt"), nullptr);
    EXPECT_EQ(pack->OpenFile("three"), nullptr);
    EXPECT_EQ(pack->OpenFile(nullptr), nullptr);
    pack->Release();
}

// An update may replace or remove the pack while it is mounted: the members
// keep coming from the file whose directory was read.
TEST_F(PackFixture, PacPackageKeepsReadingThePackItMounted) {
    PacPackage* first = new PacPackage(m_Pack.c_str());
    first->AddRef();
    WriteBytes(m_Dir / "other", Pattern(7000, 5));
    std::vector<PacPackage::Source> other = {{"two.bin", m_Dir / "other"}};
    const std::string replacement = m_Dir / "replacement.pac";
    ASSERT_TRUE(PacPackage::CreatePacPackage(other, replacement.c_str()));
    ASSERT_EQ(std::rename(replacement.c_str(), m_Pack.c_str()), 0);
    EXPECT_EQ(ReadMember(*first, "two.bin"), Pattern(5000, 2));
    EXPECT_EQ(ReadMember(*first, "data\\one.txt"), Pattern(300, 1));
    first->Release();

    PacPackage* second = new PacPackage(m_Pack.c_str());
    second->AddRef();
    ASSERT_EQ(std::remove(m_Pack.c_str()), 0);
    EXPECT_EQ(ReadMember(*second, "two.bin"), Pattern(7000, 5));
    second->Release();
}

TEST_F(PackFixture, PacFileStaysInsideItsMember) {
    PacPackage* pack = new PacPackage(m_Pack.c_str());
    pack->AddRef();
    std::unique_ptr<File> f(pack->OpenFile("data\\one.txt"));
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->GetFileSize(), 300u);
    unsigned char buffer[400];
    EXPECT_EQ(f->Read(buffer, 100), 100u);
    EXPECT_EQ(f->Seek(0, 2), 100u);
    EXPECT_EQ(f->Seek(290, 0), 300u);
    EXPECT_EQ(f->Read(buffer, 400), 10u);
    EXPECT_EQ(buffer[0], Pattern(300, 1)[290]);
    EXPECT_TRUE(f->IsEnd());
    EXPECT_EQ(f->Read(buffer, 1), 0u);
    EXPECT_EQ(f->Seek(-5, 1), 300u);
    EXPECT_EQ(f->Read(buffer, 1), 1u);
    EXPECT_EQ(buffer[0], Pattern(300, 1)[295]);
    EXPECT_EQ(f->Seek(1, 7), 0u);
    EXPECT_EQ(f->Seek(0, 1), 296u);
    // Past the end and before the start the member reads nothing.
    f->Seek(1000, 0);
    EXPECT_EQ(f->Read(buffer, 1), 0u);
    f->Seek(-1, 0);
    EXPECT_EQ(f->Read(buffer, 1), 0u);
    EXPECT_EQ(f->Write(buffer, 1), 0u);
    f.reset();
    pack->Release();
}

TEST_F(PackFixture, PacFileServesTheTextOperations) {
    TempDir dir;
    WriteText(dir / "text", "first\rsecond\r\n  third");
    std::vector<PacPackage::Source> sources = {{"text", dir / "text"}};
    ASSERT_TRUE(PacPackage::CreatePacPackage(sources, (dir / "t.pac").c_str()));
    PacPackage* pack = new PacPackage((dir / "t.pac").c_str());
    pack->AddRef();
    std::unique_ptr<File> f(pack->OpenFile("text"));
    ASSERT_NE(f, nullptr);
    char line[32];
    EXPECT_EQ(f->ReadLine(line, sizeof line), 5u);
    EXPECT_STREQ(line, "first");
    EXPECT_EQ(f->ReadLine(line, sizeof line), 6u);
    EXPECT_STREQ(line, "second");
    EXPECT_EQ(f->SkipWhiteSpaces(), 2u);
    EXPECT_EQ(f->ReadLine(line, sizeof line), 5u);
    EXPECT_STREQ(line, "third");
    EXPECT_TRUE(f->IsEnd());
    f.reset();
    pack->Release();
}

TEST_F(PackFixture, PacMemPackageHoldsTheDataRegionInMemory) {
    ScopedLogCapture log;
    PacMemPackage* pack = new PacMemPackage(m_Pack.c_str());
    pack->AddRef();
    EXPECT_TRUE(pack->IsInMemory());
    EXPECT_TRUE(log->Contains(" I. Reading pac file into memory (5301 bytes): " + m_Pack));
    EXPECT_EQ(ReadMember(*pack, "data\\one.txt"), Pattern(300, 1));
    EXPECT_EQ(ReadMember(*pack, "two.bin"), Pattern(5000, 2));
    EXPECT_EQ(ReadMember(*pack, "Three"), Bytes{42});
    EXPECT_EQ(pack->OpenFile("two.BIN"), nullptr);
    // Streams share the package's buffer: writing must not reach it.
    std::unique_ptr<File> f(pack->OpenFile("Three"));
    EXPECT_EQ(f->Write("x", 1), 0u);
    f.reset();
    EXPECT_EQ(ReadMember(*pack, "Three"), Bytes{42});
    pack->Release();
}

TEST_F(PackFixture, MissingPackLeavesAnEmptyMarkedPackage) {
    ScopedLogCapture log;
    const std::string path = m_Dir / "absent.pac";
    PacPackage* pack = new PacPackage(path.c_str());
    PacMemPackage* mem = new PacMemPackage(path.c_str());
    pack->AddRef();
    mem->AddRef();
    EXPECT_EQ(pack->GetName(), path + " (!)");
    EXPECT_EQ(mem->GetName(), path + " (!)");
    EXPECT_EQ(log->Count(" W. PacPackage -> package definition file not found (" + path + ")"), 2);
    EXPECT_EQ(pack->OpenFile("two.bin"), nullptr);
    EXPECT_EQ(mem->OpenFile("two.bin"), nullptr);
    EXPECT_FALSE(mem->IsInMemory());
    pack->Release();
    mem->Release();
}

TEST_F(PackFixture, PacMemPackageOverATruncatedPackStreamsTheCompleteMembers) {
    // Cut the pack inside its last member ("Three" is the last, one byte).
    Bytes bytes = ReadBytes(m_Pack);
    bytes.resize(bytes.size() - 1 - 100);
    WriteBytes(m_Pack, bytes);
    ScopedLogCapture log;
    PacMemPackage* pack = new PacMemPackage(m_Pack.c_str());
    pack->AddRef();
    EXPECT_TRUE(log->Contains(" E. Could not read pac file into memory (too small size): " + m_Pack));
    EXPECT_TRUE(log->Contains("member Three (offset"));
    EXPECT_FALSE(pack->IsInMemory());
    EXPECT_EQ(ReadMember(*pack, "data\\one.txt"), Pattern(300, 1));
    EXPECT_EQ(pack->OpenFile("Three"), nullptr);
    // two.bin lost its last 100 bytes: it lies beyond the end and is left out too.
    EXPECT_EQ(pack->OpenFile("two.bin"), nullptr);
    // Streamed from the pack it mounted, whatever takes its place on disk.
    ASSERT_EQ(std::remove(m_Pack.c_str()), 0);
    EXPECT_EQ(ReadMember(*pack, "data\\one.txt"), Pattern(300, 1));
    pack->Release();
}

TEST_F(PackFixture, RepacksFromTheMountedPackages) {
    Root* root = Singleton<Root>::Get();
    PacPackage* pack = new PacPackage(m_Pack.c_str());
    root->InsertObject(pack, Root::kPackages, 0, nullptr);
    std::list<std::string> names = {"two.bin", "nowhere", "data\\one.txt"};
    const std::string repacked = m_Dir / "re.pac";
    {
        ScopedLogCapture log;
        EXPECT_TRUE(PacPackage::CreatePacPackageFromPacPackages(names, repacked.c_str()));
        EXPECT_TRUE(log->Contains("Could not add file: nowhere to package"));
    }
    root->RemoveObject(pack, Root::kPackages);

    RawPack expected;
    expected.U32(2).Entry("two.bin", 4 + 17 + 22, 5000).Entry("data\\one.txt", 4 + 17 + 22 + 5000, 300);
    expected.Data(Pattern(5000, 2)).Data(Pattern(300, 1));
    EXPECT_EQ(ReadBytes(repacked), expected.Coded());
}

namespace {

/// Serves "shrinking": 100 bytes when first opened, 60 afterwards.
class ShrinkingPackage : public Package {
public:
    ShrinkingPackage() : Package("shrinking") {}
    File* OpenFile(const char* name) override {
        if (std::string(name) != "shrinking") return nullptr;
        return new MemoryFile(static_cast<const unsigned char*>(m_Data), m_Opens++ == 0 ? 100u : 60u);
    }
    unsigned char m_Data[100] = {};
    int m_Opens = 0;
};

}  // namespace

TEST(PacWriter, AbandonsThePackWhenAMemberChangesBetweenPasses) {
    TempDir dir;
    Root* root = Singleton<Root>::Get();
    ShrinkingPackage* shrinking = new ShrinkingPackage;
    root->InsertObject(shrinking, Root::kPackages, 0, nullptr);
    std::list<std::string> names = {"shrinking"};
    const std::string path = dir / "p.pac";
    ScopedLogCapture log;
    EXPECT_FALSE(PacPackage::CreatePacPackageFromPacPackages(names, path.c_str()));
    root->RemoveObject(shrinking, Root::kPackages);
    EXPECT_TRUE(
        log->Contains(" E. Failed to create package " + path + " - shrinking could no longer be read"));
    EXPECT_FALSE(std::filesystem::exists(path));
}

namespace {

/// Every malformed pack is read by both pack packages the same way.
struct MalformedCase {
    const char* label;
    Bytes bytes;
    std::vector<std::pair<std::string, Bytes>> kept;
    std::vector<std::string> dropped;
    std::string logged;
};

std::vector<MalformedCase> MalformedCases() {
    std::vector<MalformedCase> cases;
    {
        RawPack p;
        p.U32(1000).Entry("a", 0, 4).Data(Pattern(30, 0));
        cases.push_back({"count beyond the file",
                         p.Coded(),
                         {},
                         {"a"},
                         "claims 1000 directory entries but can hold at most 4"});
    }
    {
        // The first entry is sound (it points at the count); the second is cut.
        RawPack p;
        p.U32(2).Entry("count", 0, 4).U16(100).Str(std::string(30, 'x'));
        RawPack plain;
        plain.U32(2);
        cases.push_back({"directory cut short",
                         p.Coded(),
                         {{"count", plain.Plain()}},
                         {"xy"},
                         "directory cut short after 1 of 2 entries"});
    }
    {
        const std::string longName(200, 'L');
        const uint32_t data = 4 + 10 + 200 + 10 + 2;
        RawPack p;
        p.U32(2).Entry(longName, data, 3).Entry("ok", data, 3).Data(Bytes{1, 2, 3});
        cases.push_back({"name over 128 bytes",
                         p.Coded(),
                         {{"ok", Bytes{1, 2, 3}}},
                         {longName},
                         "has a 200-byte name (at most 128); entry skipped"});
    }
    {
        const uint32_t data = 4 + 3 * 12;
        RawPack p;
        p.U32(3)
            .Entry("in", data, 2)
            .Entry("pa", data + 2, 50)
            .Entry("ov", 0xFFFFFFF0u, 0x20)
            .Data(Bytes{7, 8, 9});
        cases.push_back({"members past the end",
                         p.Coded(),
                         {{"in", Bytes{7, 8}}},
                         {"pa", "ov"},
                         "member pa (offset 42, 50 bytes) lies beyond the end of the file (43 bytes)"});
    }
    {
        const uint32_t data = 4 + 2 * 11;
        RawPack p;
        p.U32(2).Entry("d", data, 1).Entry("d", data + 1, 1).Data(Bytes{5, 6});
        cases.push_back({"duplicate names", p.Coded(), {{"d", Bytes{6}}}, {}, ""});
    }
    {
        RawPack p;
        p.U16(1);
        cases.push_back(
            {"shorter than a count", p.Coded(), {}, {""}, "is too short to hold a pack directory (2 bytes)"});
    }
    return cases;
}

template <class P>
void CheckMalformed(const MalformedCase& c, const std::string& path) {
    ScopedLogCapture log;
    P* pack = new P(path.c_str());
    pack->AddRef();
    EXPECT_EQ(pack->GetDirectory().size(), c.kept.size());
    for (const auto& member : c.kept)
        EXPECT_EQ(ReadMember(*pack, member.first.c_str()), member.second) << member.first;
    for (const std::string& name : c.dropped) EXPECT_EQ(pack->OpenFile(name.c_str()), nullptr) << name;
    if (!c.logged.empty()) {
        EXPECT_TRUE(log->Contains(" E. ")) << c.label;
        EXPECT_TRUE(log->Contains(c.logged)) << c.label;
    }
    pack->Release();
}

}  // namespace

TEST(PacReader, KeepsOnlySoundEntriesOfMalformedPacks) {
    for (const MalformedCase& c : MalformedCases()) {
        SCOPED_TRACE(c.label);
        TempDir dir;
        WriteBytes(dir / "bad.pac", c.bytes);
        CheckMalformed<PacPackage>(c, dir / "bad.pac");
        CheckMalformed<PacMemPackage>(c, dir / "bad.pac");
    }
}

namespace {

// PacFile serves reads below 16 KiB from a window and larger ones directly:
// the cases start and end on both sides of the window's edges.
const size_t kStreamedSize = 3 * 16384 + 123;

/// Bytes with no short period, so a read from a wrong offset cannot match.
Bytes Noise(size_t size) {
    Bytes b(size);
    uint32_t seed = 2463534242u;
    for (unsigned char& c : b) {
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        c = static_cast<unsigned char>(seed >> 24);
    }
    return b;
}

struct StreamedRead {
    unsigned int start;
    std::vector<unsigned int> sizes;  // read sizes, repeated until the member ends
};

// Keeps heap addresses out of the listed test names.
void PrintTo(const StreamedRead& c, std::ostream* os) { *os << "start " << c.start; }

class PacFileStreaming : public ::testing::TestWithParam<StreamedRead> {
protected:
    void SetUp() override {
        // A short member first, so the streamed one starts at an odd offset.
        WriteBytes(m_Dir / "lead", Bytes{1, 2, 3});
        WriteBytes(m_Dir / "big", Noise(kStreamedSize));
        std::vector<PacPackage::Source> sources = {{"lead", m_Dir / "lead"}, {"big", m_Dir / "big"}};
        ASSERT_TRUE(PacPackage::CreatePacPackage(sources, m_Pack.c_str()));
    }
    TempDir m_Dir;
    std::string m_Pack = m_Dir / "s.pac";
};

TEST_P(PacFileStreaming, ReadsEveryByteOnceWhateverTheReadSizes) {
    const StreamedRead& c = GetParam();
    const Bytes expected = Noise(kStreamedSize);
    PacPackage* pack = new PacPackage(m_Pack.c_str());
    pack->AddRef();
    std::unique_ptr<File> f(pack->OpenFile("big"));
    ASSERT_NE(f, nullptr);
    f->Seek(int(c.start), 0);
    Bytes got;
    std::vector<unsigned char> buffer(kStreamedSize + 10);
    for (size_t i = 0;; ++i) {
        const unsigned int size = c.sizes[i % c.sizes.size()];
        const unsigned int n = f->Read(buffer.data(), size);
        const size_t left = kStreamedSize - c.start - got.size();
        ASSERT_EQ(n, std::min<size_t>(size, left)) << "read " << i;
        if (n == 0) break;
        got.insert(got.end(), buffer.begin(), buffer.begin() + n);
    }
    EXPECT_TRUE(got == Bytes(expected.begin() + c.start, expected.end()));
    EXPECT_TRUE(f->IsEnd());
    // Going back re-reads the same bytes, from the window or from the pack.
    for (unsigned int back : {1u, 2u, 16385u, unsigned(kStreamedSize)}) {
        if (back > kStreamedSize - c.start) continue;
        f->Seek(-int(back), 1);
        ASSERT_EQ(f->Read(buffer.data(), 1), 1u);
        EXPECT_EQ(buffer[0], expected[kStreamedSize - back]) << "back " << back;
        f->Seek(0, 2);
    }
    f.reset();
    pack->Release();
}

INSTANTIATE_TEST_SUITE_P(
    AcrossTheWindow, PacFileStreaming,
    ::testing::Values(StreamedRead{0, {1}}, StreamedRead{0, {7}}, StreamedRead{16383, {2}},
                      StreamedRead{100, {16383}}, StreamedRead{100, {16384}}, StreamedRead{100, {16385}},
                      StreamedRead{16384, {16384}}, StreamedRead{1, {unsigned(kStreamedSize)}},
                      StreamedRead{kStreamedSize - 5, {100}}, StreamedRead{5, {3, 20000, 1, 16384, 9000}},
                      StreamedRead{0, {16000, 500, 16384}}),
    [](const ::testing::TestParamInfo<StreamedRead>& info) {
        std::string name = "From" + std::to_string(info.param.start) + "By";
        for (unsigned int size : info.param.sizes) name += "_" + std::to_string(size);
        return name;
    });

TEST_F(PacFileStreaming, ReadsStopWhereAPackCutAfterOpeningEnds) {
    const Bytes expected = Noise(kStreamedSize);
    PacPackage* pack = new PacPackage(m_Pack.c_str());
    pack->AddRef();
    const u32 offset = pack->GetDirectory().at("big").offset;
    std::unique_ptr<File> f(pack->OpenFile("big"));
    ASSERT_NE(f, nullptr);
    std::vector<unsigned char> buffer(kStreamedSize);
    ASSERT_EQ(f->Read(buffer.data(), 10), 10u);
    // Cut the pack 20000 bytes into the member, behind the window just read.
    std::filesystem::resize_file(m_Pack, offset + 20000);
    EXPECT_EQ(f->Read(buffer.data() + 10, unsigned(kStreamedSize)), 20000u - 10u);
    EXPECT_TRUE(Bytes(buffer.begin(), buffer.begin() + 20000) == Bytes(expected.begin(), expected.begin() + 20000));
    EXPECT_EQ(f->Read(buffer.data(), 1), 0u);
    EXPECT_EQ(f->Read(buffer.data(), 30000), 0u);
    f.reset();
    pack->Release();
}

}  // namespace
