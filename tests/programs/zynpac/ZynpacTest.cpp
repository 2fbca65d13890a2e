#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

#include <zyn/io/PacPackage.h>

#include "io/IoTestUtil.h"

using namespace ZynTest;

namespace {

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

/// Runs zynpac with the arguments, from the folder cwd.
Result Zynpac(const TempDir& dir, const std::vector<std::string>& args, const std::string& cwd = "") {
    std::string command = "cd " + Quote(cwd.empty() ? dir.Path() : cwd) + " && " + Quote(ZYNPAC_PATH);
    for (const std::string& a : args) command += " " + Quote(a);
    command += " 2>" + Quote(dir / ".stderr");
    Result r;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return r;
    char buffer[4096];
    while (size_t n = std::fread(buffer, 1, sizeof buffer, p)) r.out.append(buffer, n);
    const int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const Bytes err = ReadBytes(dir / ".stderr");
    r.err.assign(err.begin(), err.end());
    return r;
}

std::string AsText(const Bytes& b) { return std::string(b.begin(), b.end()); }

/// A small asset tree: temple/temple.jp2, fx/burst.zyn, a.txt, and an empty file.
class ZynpacFixture : public ::testing::Test {
protected:
    void SetUp() override {
        WriteBytes(m_Dir / "assets/temple/temple.jp2", Pattern(700, 1));
        WriteBytes(m_Dir / "assets/fx/burst.zyn", Pattern(33, 2));
        WriteText(m_Dir / "assets/a.txt", "alpha");
        WriteBytes(m_Dir / "assets/empty", Bytes{});
    }
    TempDir m_Dir;
};

}  // namespace

TEST_F(ZynpacFixture, CreatesListsExtractsAndVerifiesAFolder) {
    Result r = Zynpac(m_Dir, {"create", "out.pac", "-C", "assets", "-r", "assets"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("skipping empty file assets/empty"), std::string::npos);

    // Sorted member names, backslash separators, the documented layout.
    RawPack expected;
    const uint32_t dir = 4 + (10 + 5) + (10 + 12) + (10 + 17);
    expected.U32(3)
        .Entry("a.txt", dir, 5)
        .Entry("fx\\burst.zyn", dir + 5, 33)
        .Entry("temple\\temple.jp2", dir + 38, 700);
    expected.Str("alpha").Data(Pattern(33, 2)).Data(Pattern(700, 1));
    EXPECT_EQ(ReadBytes(m_Dir / "out.pac"), expected.Coded());

    r = Zynpac(m_Dir, {"list", "out.pac"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "        68          5  a.txt\n"
              "        73         33  fx\\burst.zyn\n"
              "       106        700  temple\\temple.jp2\n");
    r = Zynpac(m_Dir, {"list", "--json", "out.pac"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "[\n  {\"name\": \"a.txt\", \"offset\": 68, \"size\": 5},\n"
              "  {\"name\": \"fx\\\\burst.zyn\", \"offset\": 73, \"size\": 33},\n"
              "  {\"name\": \"temple\\\\temple.jp2\", \"offset\": 106, \"size\": 700}\n]\n");

    r = Zynpac(m_Dir, {"extract", "out.pac", "-C", "unpacked"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadBytes(m_Dir / "unpacked/temple/temple.jp2"), Pattern(700, 1));
    EXPECT_EQ(ReadBytes(m_Dir / "unpacked/fx/burst.zyn"), Pattern(33, 2));
    EXPECT_EQ(AsText(ReadBytes(m_Dir / "unpacked/a.txt")), "alpha");

    r = Zynpac(m_Dir, {"extract", "--directory=one", "out.pac", "fx\\burst.zyn"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(m_Dir / "one/fx/burst.zyn"));
    EXPECT_FALSE(std::filesystem::exists(m_Dir / "one/a.txt"));

    r = Zynpac(m_Dir, {"cat", "out.pac", "a.txt"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "alpha");

    r = Zynpac(m_Dir, {"verify", "out.pac"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "out.pac: OK, 3 members\n");
}

TEST_F(ZynpacFixture, NamesMembersExactlyAsGivenAndIsDeterministic) {
    ASSERT_EQ(Zynpac(m_Dir, {"create", "one.pac", "assets/a.txt", "assets/fx/burst.zyn"}).status, 0);
    ASSERT_EQ(Zynpac(m_Dir, {"create", "two.pac", "assets/a.txt", "assets/fx/burst.zyn"}).status, 0);
    EXPECT_EQ(ReadBytes(m_Dir / "one.pac"), ReadBytes(m_Dir / "two.pac"));
    Result r = Zynpac(m_Dir, {"list", "one.pac"});
    EXPECT_NE(r.out.find("  assets/a.txt\n"), std::string::npos);
    EXPECT_NE(r.out.find("  assets/fx/burst.zyn\n"), std::string::npos);
    // What the tool wrote, the framework reads.
    Zyn::PacPackage* pack = new Zyn::PacPackage((m_Dir / "one.pac").c_str());
    pack->AddRef();
    EXPECT_EQ(pack->GetDirectory().count("assets/fx/burst.zyn"), 1u);
    pack->Release();
}

TEST_F(ZynpacFixture, RejectsBadInputWithClearMessages) {
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* message;
    };
    const std::vector<Case> cases = {
        {{}, 2, "no command given"},
        {{"frobnicate"}, 2, "unknown command frobnicate"},
        {{"create", "x.pac"}, 2, "create needs OUT.pac and at least one FILE"},
        {{"create", "--bogus", "x.pac", "assets/a.txt"}, 2, "unknown option --bogus"},
        {{"create", "x.pac", "-C"}, 2, "option -C needs a value"},
        {{"create", "x.pac", "assets"}, 1, "assets is a folder (use -r to add its files)"},
        {{"create", "x.pac", "missing.txt"}, 1, "cannot read missing.txt"},
        {{"create", "x.pac", "assets/empty"}, 1, "no file to pack"},
        {{"create", "x.pac", "-C", "assets/fx", "assets/a.txt"}, 1, "assets/a.txt is not inside assets/fx"},
        {{"create", "x.pac", "assets/a.txt", "assets/a.txt"}, 1, "duplicate member name \"assets/a.txt\""},
        {{"list", "missing.pac"}, 1, "cannot open missing.pac"},
        {{"cat", "x.pac"}, 2, "cat needs PACK and MEMBER"},
        {{"verify"}, 2, "verify needs exactly one PACK"},
    };
    for (const Case& c : cases) {
        Result r = Zynpac(m_Dir, c.args);
        std::string label;
        for (const std::string& a : c.args) label += a + " ";
        EXPECT_EQ(r.status, c.status) << label << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << label << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(m_Dir / "x.pac"));
    for (const char* command : {"create", "list", "extract", "cat", "verify"}) {
        Result r = Zynpac(m_Dir, {command, "--help"});
        EXPECT_EQ(r.status, 0) << command;
        EXPECT_EQ(r.out.rfind(std::string("Usage: zynpac ") + command, 0), 0u) << r.out;
    }
}

TEST_F(ZynpacFixture, FailedCreationLeavesTheOldPackAndNoTemporaryFile) {
    ASSERT_EQ(Zynpac(m_Dir, {"create", "out.pac", "assets/a.txt"}).status, 0);
    const Bytes before = ReadBytes(m_Dir / "out.pac");
    EXPECT_EQ(Zynpac(m_Dir, {"create", "out.pac", "assets/empty"}).status, 1);
    EXPECT_EQ(ReadBytes(m_Dir / "out.pac"), before);
    for (const auto& entry : std::filesystem::directory_iterator(m_Dir.Path()))
        EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos) << entry.path();
}

TEST_F(ZynpacFixture, ExtractRefusesNamesEscapingTheTargetFolder) {
    const std::vector<std::string> names = {"../evil", "/abs", "C:\\win", "a\\..\\..\\up", "ok\\fine"};
    RawPack p;
    uint32_t offset = 4;
    for (const std::string& n : names) offset += 10 + uint32_t(n.size());
    p.U32(uint32_t(names.size()));
    for (size_t i = 0; i < names.size(); ++i) p.Entry(names[i], offset + uint32_t(i), 1);
    for (size_t i = 0; i < names.size(); ++i) p.Str("x");
    WriteBytes(m_Dir / "evil.pac", p.Coded());
    std::filesystem::create_directories(m_Dir / "deep/target");
    Result r = Zynpac(m_Dir, {"extract", "-C", "target", "../evil.pac"}, m_Dir / "deep");
    EXPECT_EQ(r.status, 1);
    for (const char* n : {"../evil", "/abs", "C:\\\\win", "a\\\\..\\\\..\\\\up"})
        EXPECT_NE(r.err.find(std::string("refusing unsafe member name")), std::string::npos) << n;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 4) << r.err;
    EXPECT_TRUE(std::filesystem::exists(m_Dir / "deep/target/ok/fine"));
    EXPECT_FALSE(std::filesystem::exists(m_Dir / "deep/evil"));
    EXPECT_FALSE(std::filesystem::exists(m_Dir / "evil"));
    EXPECT_FALSE(std::filesystem::exists(m_Dir / "deep/up"));
}

TEST_F(ZynpacFixture, VerifyReportsEveryKindOfDamage) {
    struct Case {
        const char* label;
        Bytes bytes;
        std::vector<std::string> problems;
    };
    std::vector<Case> cases;
    {
        RawPack p;
        p.U32(500).Entry("a", 0, 1);
        cases.push_back(
            {"count", p.Coded(), {"directory claims 500 entries but the file can hold at most 1"}});
    }
    {
        RawPack p;
        p.U32(2).Entry("a", 40, 2).U16(50).Str(std::string(20, 'n'));
        cases.push_back({"cut",
                         p.Coded(),
                         {"directory cut short: entry 2 of 2 is incomplete",
                          "member \"a\" (offset 40, 2 bytes) lies beyond the end of the file (37 bytes)"}});
    }
    {
        RawPack p;
        p.U32(2).Entry("in", 29, 2).Entry("far", 31, 100).Data(Bytes{1, 2});
        cases.push_back(
            {"beyond",
             p.Coded(),
             {"member \"far\" (offset 31, 100 bytes) lies beyond the end of the file (31 bytes)"}});
    }
    {
        RawPack p;
        p.U32(3).Entry("a", 37, 4).Entry("b", 39, 4).Entry("c", 43, 1).Data(Pattern(7, 0));
        cases.push_back({"overlap", p.Coded(), {"members \"a\" and \"b\" overlap"}});
    }
    {
        RawPack p;
        p.U32(2).Entry("d", 26, 1).Entry("d", 27, 1).Data(Bytes{1, 2});
        cases.push_back({"duplicate", p.Coded(), {"duplicate member name \"d\" (entry 2)"}});
    }
    {
        RawPack p;
        p.U32(1).Entry("dir", 2, 10).Data(Bytes{1});
        cases.push_back(
            {"into directory", p.Coded(), {"member \"dir\" (offset 2) overlaps the directory (17 bytes)"}});
    }
    {
        const std::string longName(130, 'L');
        RawPack p;
        p.U32(1).Entry(longName, 144, 1).Data(Bytes{1});
        cases.push_back({"long name", p.Coded(), {"entry 1 has a 130-byte name (at most 128)"}});
    }
    {
        RawPack p;
        p.U32(2).Entry("x", 26, 5).Entry("y", 0xFFFFFFF0u, 0x20).Data(Pattern(5, 1));
        Bytes b = p.Coded();
        b.resize(b.size() - 1);
        cases.push_back({"several",
                         b,
                         {"member \"x\" (offset 26, 5 bytes) lies beyond the end of the file (30 bytes)",
                          "member \"y\" (offset 4294967280, 32 bytes) lies beyond the end"}});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        WriteBytes(m_Dir / "bad.pac", c.bytes);
        Result r = Zynpac(m_Dir, {"verify", "bad.pac"});
        EXPECT_EQ(r.status, 1) << r.out;
        for (const std::string& problem : c.problems)
            EXPECT_NE(r.out.find("bad.pac: " + problem), std::string::npos) << r.out;
        const std::string summary = std::to_string(c.problems.size()) + " problem";
        EXPECT_NE(r.out.find(summary), std::string::npos) << r.out;
        // The lenient reader's own lines stay out of verify's report.
        EXPECT_EQ(r.err, "");
    }
    // list and extract still serve the sound members of a damaged pack but say it is damaged.
    RawPack p;
    p.U32(2).Entry("in", 29, 2).Entry("far", 31, 100).Data(Bytes{1, 2});
    WriteBytes(m_Dir / "bad.pac", p.Coded());
    Result r = Zynpac(m_Dir, {"list", "bad.pac"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "        29          2  in\n");
    EXPECT_NE(r.err.find("bad.pac is damaged"), std::string::npos);
}
