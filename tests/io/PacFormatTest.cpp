#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <zyn/io/PacFormat.h>
#include <zyn/io/SimpleFile.h>

#include "io/IoTestUtil.h"

using namespace Zyn;
using namespace ZynTest;

namespace {

using Kind = PacProblemKind;

struct ScanCase {
    const char* label;
    Bytes bytes;
    std::vector<std::string> names;    // entries read whole, in directory order
    std::vector<PacProblem> problems;  // ScanPacDirectory, then CheckPacMembers
};

PacDirectoryScan ScanBytes(const Bytes& bytes) {
    TempDir dir;
    WriteBytes(dir / "p.pac", bytes);
    SimpleFile file;
    EXPECT_TRUE(file.Open((dir / "p.pac").c_str(), "rb"));
    PacDirectoryScan scan = ScanPacDirectory(file, bytes.size());
    CheckPacMembers(scan, bytes.size());
    return scan;
}

std::vector<ScanCase> ScanCases() {
    std::vector<ScanCase> cases;
    {
        RawPack p;
        p.U16(1);
        cases.push_back({"shorter than a count", p.Coded(), {}, {{Kind::kTooShort, 0, 0, 0, 2}}});
    }
    {
        RawPack p;
        p.U32(500).Entry("a", 0, 1);
        cases.push_back({"count beyond the file", p.Coded(), {}, {{Kind::kCountTooLarge, 0, 0, 0, 1}}});
    }
    {
        // Two entries fit by their fixed bytes, but the first one's long name
        // leaves no room for the second's name length.
        RawPack p;
        p.U32(2).Entry("abcdefghijk", 25, 0);
        cases.push_back({"entry missing", p.Coded(), {"abcdefghijk"}, {{Kind::kEntryMissing, 25, 1, 0, 0}}});
    }
    {
        RawPack p;
        p.U32(3).Entry("ab", 40, 2).U16(50).Str(std::string(20, 'n'));
        cases.push_back({"entry cut short",
                         p.Coded(),
                         {"ab"},
                         {{Kind::kEntryCutShort, 16, 1, 0, 50}, {Kind::kBeyondEnd, 4, 0, 0, 0}}});
    }
    {
        const std::string longName(130, 'L');
        const uint32_t data = 4 + 10 + 130 + 11;
        RawPack p;
        p.U32(2).Entry(longName, data, 1).Entry("b", data + 1, 1).Data(Bytes{1, 2});
        cases.push_back(
            {"long name kept by the scan", p.Coded(), {longName, "b"}, {{Kind::kNameTooLong, 4, 0, 0, 130}}});
    }
    {
        // Directory of 59 bytes; "c" starts inside it, "b" inside "a", the
        // second "a" repeats a name, "d" runs past the 66-byte file.
        RawPack p;
        p.U32(5)
            .Entry("a", 59, 4)
            .Entry("b", 61, 4)
            .Entry("a", 65, 1)
            .Entry("c", 10, 3)
            .Entry("d", 66, 100)
            .Data(Pattern(7, 3));
        cases.push_back({"members misplaced",
                         p.Coded(),
                         {"a", "b", "a", "c", "d"},
                         {{Kind::kDuplicateName, 26, 2, 0, 0},
                          {Kind::kOverlapsDirectory, 37, 3, 0, 0},
                          {Kind::kBeyondEnd, 48, 4, 0, 0},
                          {Kind::kOverlapsMember, 15, 1, 0, 0}}});
    }
    {
        // Empty members take no bytes, so they overlap nothing.
        RawPack p;
        p.U32(2).Entry("x", 26, 1).Entry("y", 26, 0).Data(Bytes{9});
        cases.push_back({"sound", p.Coded(), {"x", "y"}, {}});
    }
    return cases;
}

}  // namespace

TEST(PacFormat, ScanReportsEveryFaultWithItsEntryAndOffset) {
    for (const ScanCase& c : ScanCases()) {
        SCOPED_TRACE(c.label);
        const PacDirectoryScan scan = ScanBytes(c.bytes);
        std::vector<std::string> names;
        for (const PacDirectoryEntry& e : scan.entries) names.push_back(e.name);
        EXPECT_EQ(names, c.names);
        ASSERT_EQ(scan.problems.size(), c.problems.size());
        for (size_t i = 0; i < c.problems.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(int(scan.problems[i].kind), int(c.problems[i].kind));
            EXPECT_EQ(scan.problems[i].offset, c.problems[i].offset);
            EXPECT_EQ(scan.problems[i].entry, c.problems[i].entry);
            EXPECT_EQ(scan.problems[i].other, c.problems[i].other);
            EXPECT_EQ(scan.problems[i].value, c.problems[i].value);
        }
    }
}
