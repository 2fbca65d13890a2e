// zynpac run end to end, as a child process, on packs and folders the tests
// make. Some runs change the child before zynpac starts: a file-size limit,
// a filter that hides openat2, a small tmpfs of its own.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <zyn/io/PacPackage.h>

#include "io/IoTestUtil.h"

using namespace ZynTest;
namespace fs = std::filesystem;

namespace {

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

struct Invocation {
    std::vector<std::string> args;
    std::string cwd;                // default: the test's folder
    std::string stdoutPath;         // standard output into this file instead of captured
    std::function<void()> inChild;  // runs in the child just before zynpac starts
};

/// Runs zynpac; standard error goes through a file in dir. A child that
/// ends by a signal gives status 128 + the signal.
Result Zynpac(const TempDir& dir, const Invocation& run) {
    std::vector<std::string> words = {ZYNPAC_PATH};
    words.insert(words.end(), run.args.begin(), run.args.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    const std::string cwd = run.cwd.empty() ? dir.Path() : run.cwd;
    const std::string errPath = dir / ".stderr";
    Result r;
    int out[2];
    if (pipe(out) != 0) return r;
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        close(out[0]);
        const int target = run.stdoutPath.empty() ? out[1] : open(run.stdoutPath.c_str(), O_WRONLY);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (target < 0 || err < 0 || dup2(target, 1) < 0 || dup2(err, 2) < 0 || chdir(cwd.c_str()) != 0)
            _exit(126);
        if (run.inChild) run.inChild();
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    char buffer[4096];
    ssize_t n;
    while ((n = read(out[0], buffer, sizeof buffer)) > 0) r.out.append(buffer, size_t(n));
    close(out[0]);
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return r;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    const Bytes err = ReadBytes(errPath);
    r.err.assign(err.begin(), err.end());
    return r;
}

/// Runs zynpac with the arguments, from the folder cwd.
Result Zynpac(const TempDir& dir, const std::vector<std::string>& args, const std::string& cwd = "") {
    return Zynpac(dir, Invocation{args, cwd, "", nullptr});
}

std::string AsText(const Bytes& b) { return std::string(b.begin(), b.end()); }

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

/// A pack holding the members in the order given.
Bytes PackOf(const std::vector<std::pair<std::string, Bytes>>& members) {
    uint32_t offset = 4;
    for (const auto& m : members) offset += 10 + uint32_t(m.first.size());
    RawPack p;
    p.U32(uint32_t(members.size()));
    for (const auto& m : members) {
        p.Entry(m.first, offset, uint32_t(m.second.size()));
        offset += uint32_t(m.second.size());
    }
    for (const auto& m : members) p.Data(m.second);
    return p.Coded();
}

/// Every path under root, links not followed, with what it is: "folder",
/// "link to TARGET", "special file" or the file's bytes.
std::map<std::string, std::string> Snapshot(const std::string& root) {
    std::map<std::string, std::string> shot;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string rel = it->path().lexically_relative(root).string();
        if (it->is_symlink())
            shot[rel] = "link to " + fs::read_symlink(it->path()).string();
        else if (it->is_directory())
            shot[rel] = "folder";
        else if (it->is_regular_file())
            shot[rel] = AsText(ReadBytes(it->path().string()));
        else
            shot[rel] = "special file";
    }
    return shot;
}

/// The temporary files a writer left anywhere under root.
std::vector<std::string> Leftovers(const std::string& root) {
    std::vector<std::string> found;
    for (const auto& entry : Snapshot(root)) {
        const std::string name = fs::path(entry.first).filename().string();
        if (name.find(".tmp-") != std::string::npos || name.rfind(".zynpac-", 0) == 0)
            found.push_back(entry.first);
    }
    return found;
}

/// The child may write at most `bytes` to a file; a write past that fails
/// with EFBIG instead of killing it.
std::function<void()> FileSizeLimit(rlim_t bytes) {
    return [bytes] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit = {bytes, bytes};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
    };
}

/// Exit status of a child that could not set itself up as the test needs.
const int kChildCannotSetUp = 77;

/// openat2 answers ENOSYS in the child, as on kernels that lack it.
void HideOpenat2() {
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_openat2, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program = {static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
        prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0)
        _exit(kChildCannotSetUp);
}

bool WriteSmallFile(const char* path, const std::string& text) {
    const int fd = open(path, O_WRONLY);
    const bool ok = fd >= 0 && write(fd, text.data(), text.size()) == ssize_t(text.size());
    if (fd >= 0) close(fd);
    return ok;
}

/// The child gets a user and mount namespace of its own with a 64 KiB tmpfs
/// on mountPoint; zynpac runs in a grandchild, after which the child writes
/// the paths left on the tmpfs, one a line, to listing.
std::function<void()> OnSmallTmpfs(const std::string& mountPoint, const std::string& listing) {
    return [mountPoint, listing] {
        const std::string uidMap = "0 " + std::to_string(getuid()) + " 1";
        const std::string gidMap = "0 " + std::to_string(getgid()) + " 1";
        if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0 || !WriteSmallFile("/proc/self/setgroups", "deny") ||
            !WriteSmallFile("/proc/self/uid_map", uidMap) || !WriteSmallFile("/proc/self/gid_map", gidMap) ||
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=64k") != 0)
            _exit(kChildCannotSetUp);
        const pid_t pid = fork();
        if (pid == 0) return;
        int status = 0;
        if (pid < 0 || waitpid(pid, &status, 0) != pid) _exit(126);
        std::string paths;
        for (const auto& entry : Snapshot(mountPoint)) paths += entry.first + "\n";
        WriteText(listing, paths);
        _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 126);
    };
}

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

namespace {

/// A folder "target" to unpack into, "outside" beside it with a file to
/// guard, and links planted in target before zynpac runs.
struct ConfinementCase {
    const char* label;
    std::function<void(const TempDir&)> plant;
    std::string member;  // "{outside}": the outside folder's absolute path without its leading '/'
    bool refused;        // else unpacked, with nothing outside touched
};

void Link(const std::string& target, const std::string& at) {
    fs::create_directories(fs::path(at).parent_path());
    fs::create_symlink(target, at);
}

std::vector<ConfinementCase> ConfinementCases() {
    const std::string deep = "a\\b\\c\\f.txt";
    return {
        {"link at depth 0", [](const TempDir& d) { Link("../outside", d / "target/a"); }, deep, true},
        {"link at depth 1", [](const TempDir& d) { Link("../../outside", d / "target/a/b"); }, deep, true},
        {"link at depth 2", [](const TempDir& d) { Link("../../../outside", d / "target/a/b/c"); }, deep,
         true},
        {"link at the file",
         [](const TempDir& d) { Link("../../../../outside/victim.txt", d / "target/a/b/c/f.txt"); }, deep,
         true},
        {"dangling link to a folder", [](const TempDir& d) { Link("../../outside/made", d / "target/a/b"); },
         deep, true},
        {"dangling link at the file",
         [](const TempDir& d) { Link("../../../../outside/made.txt", d / "target/a/b/c/f.txt"); }, deep,
         true},
        {"link to the root", [](const TempDir& d) { Link("/", d / "target/a"); }, "a\\{outside}\\made.txt",
         true},
        {"hard link to a file outside",
         [](const TempDir& d) { fs::create_hard_link(d / "outside/victim.txt", d / "target/f.txt"); },
         "f.txt", false},
    };
}

/// Runs every case with openat2 (false) or with the kernel hiding it (true).
class ZynpacConfinement : public ::testing::TestWithParam<bool> {};

std::string WithBackslashes(std::string s) {
    std::replace(s.begin(), s.end(), '/', '\\');
    return s;
}

}  // namespace

TEST_P(ZynpacConfinement, ExtractNeverWritesOutsideItsFolder) {
    const Bytes payload = Pattern(3000, 5);
    for (const ConfinementCase& c : ConfinementCases()) {
        SCOPED_TRACE(c.label);
        TempDir d;
        WriteText(d / "outside/victim.txt", "precious");
        fs::create_directories(d / "target");
        c.plant(d);
        std::string member = c.member;
        const size_t at = member.find("{outside}");
        if (at != std::string::npos) member.replace(at, 9, WithBackslashes((d / "outside").substr(1)));
        WriteBytes(d / "p.pac", PackOf({{member, payload}}));
        const auto before = Snapshot(d / "outside");

        Invocation run{{"extract", "-C", "target", "p.pac"}, "", "", nullptr};
        if (GetParam()) run.inChild = HideOpenat2;
        const Result r = Zynpac(d, run);
        if (r.status == kChildCannotSetUp) GTEST_SKIP() << "cannot install a system call filter";

        EXPECT_EQ(Snapshot(d / "outside"), before);
        EXPECT_EQ(Leftovers(d / "target"), std::vector<std::string>{});
        if (c.refused) {
            EXPECT_EQ(r.status, 1);
            EXPECT_NE(r.err.find("refusing to unpack \"" + member + "\": target/"), std::string::npos)
                << r.err;
            EXPECT_NE(r.err.find(" is a symbolic link"), std::string::npos) << r.err;
        } else {
            EXPECT_EQ(r.status, 0) << r.err;
            EXPECT_EQ(ReadBytes(d / ("target/" + member)), payload);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(OpenPaths, ZynpacConfinement, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "ComponentWalk" : "Openat2");
                         });

namespace {

/// A failing command: its message must carry the system's reason.
struct FailedWriteCase {
    const char* label;
    Invocation run;
    std::string message;
    std::vector<std::string> gone;                         // paths that must not exist afterwards
    std::vector<std::pair<std::string, Bytes>> unchanged;  // files that must hold these bytes afterwards
};

/// two.pac holds "ok.txt" and, after it, 200 KiB in "sub\big.bin";
/// big.src is 200 KiB and big.pac an old pack.
class ZynpacWriteFailure : public ZynpacFixture {
protected:
    void SetUp() override {
        ZynpacFixture::SetUp();
        WriteBytes(m_Dir / "two.pac", PackOf({{"ok.txt", Text("fine")}, {"sub\\big.bin", m_Big}}));
        WriteBytes(m_Dir / "big.src", m_Big);
        WriteBytes(m_Dir / "big.pac", m_OldPack);
    }
    void Check(const FailedWriteCase& c, const Result& r) {
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        for (const std::string& path : c.gone) EXPECT_FALSE(fs::exists(m_Dir / path)) << path;
        for (const auto& file : c.unchanged)
            EXPECT_EQ(ReadBytes(m_Dir / file.first), file.second) << file.first;
        EXPECT_EQ(Leftovers(m_Dir.Path()), std::vector<std::string>{});
    }
    const Bytes m_Big = Pattern(200 * 1024, 9);
    const Bytes m_OldPack = PackOf({{"old", Text("old pack")}});
};

}  // namespace

TEST_F(ZynpacWriteFailure, FailedWritesSayWhyAndLeaveNothingBehind) {
    const std::string tooLarge = std::strerror(EFBIG);
    const std::vector<FailedWriteCase> cases = {
        {"extract past a file-size limit",
         {{"extract", "-C", "target", "two.pac"}, "", "", FileSizeLimit(64 * 1024)},
         "cannot write target/sub/big.bin: " + tooLarge,
         {"target/sub"},
         {{"target/ok.txt", Text("fine")}}},
        {"create past a file-size limit",
         {{"create", "big.pac", "big.src"}, "", "", FileSizeLimit(64 * 1024)},
         "cannot write big.pac: " + tooLarge,
         {},
         {{"big.pac", m_OldPack}}},
        {"cat to a full device",
         {{"cat", "two.pac", "ok.txt"}, "", "/dev/full", nullptr},
         std::string("cannot write \"ok.txt\" to standard output: ") + std::strerror(ENOSPC),
         {},
         {}},
    };
    for (const FailedWriteCase& c : cases) {
        SCOPED_TRACE(c.label);
        Check(c, Zynpac(m_Dir, c.run));
    }
}

TEST_F(ZynpacWriteFailure, AFullDiskSaysSoAndLeavesNothing) {
    fs::create_directories(m_Dir / "disk");
    const std::string noSpace = std::strerror(ENOSPC);
    struct Case {
        FailedWriteCase failure;
        std::string left;  // what is on the tmpfs afterwards
    };
    const std::vector<Case> cases = {
        {{"extract",
          {{"extract", "-C", "disk", "two.pac"}, "", "", nullptr},
          "cannot write disk/sub/big.bin: " + noSpace,
          {},
          {}},
         "ok.txt\n"},
        {{"create",
          {{"create", "disk/x.pac", "big.src"}, "", "", nullptr},
          "cannot write disk/x.pac: " + noSpace,
          {},
          {}},
         ""},
    };
    for (Case c : cases) {
        SCOPED_TRACE(c.failure.label);
        c.failure.run.inChild = OnSmallTmpfs(m_Dir / "disk", m_Dir / "listing");
        const Result r = Zynpac(m_Dir, c.failure.run);
        if (r.status == kChildCannotSetUp) GTEST_SKIP() << "no user namespace to mount a small tmpfs in";
        Check(c.failure, r);
        EXPECT_EQ(AsText(ReadBytes(m_Dir / "listing")), c.left);
    }
}

TEST_F(ZynpacFixture, CreateNamesEveryFileItCannotStoreAndWritesNothing) {
    const std::string longL(130, 'L'), longM(129, 'M');
    WriteText(m_Dir / ("assets/long/" + longL), "l");
    WriteText(m_Dir / ("assets/long/" + longM), "m");
    ASSERT_EQ(mkfifo((m_Dir / "assets/pipe").c_str(), 0644), 0);
    WriteText(m_Dir / "outside/secret", "secret");
    Link("../outside/secret", m_Dir / "assets/leak");
    Link("missing", m_Dir / "assets/gone");
    const Bytes oldPack = PackOf({{"old", Text("old pack")}});
    WriteBytes(m_Dir / "x.pac", oldPack);

    Result r = Zynpac(m_Dir, {"create", "-C", "assets", "-r", "x.pac", "assets"});
    EXPECT_EQ(r.status, 1);
    for (const std::string& message :
         {"cannot store assets/long/" + longL + ": member name \"long\\" + longL +
              "\" is longer than 128 bytes",
          "cannot store assets/long/" + longM + ": member name",
          std::string("cannot store assets/pipe: it is a FIFO, not a regular file"),
          "cannot store assets/leak: it leads to " + fs::canonical(m_Dir / "outside/secret").string() +
              ", outside assets (use --follow",
          std::string("cannot store assets/gone: it is a symbolic link whose target is missing")})
        EXPECT_NE(r.err.find(message), std::string::npos) << message << "\n" << r.err;
    EXPECT_EQ(ReadBytes(m_Dir / "x.pac"), oldPack);

    // Names that extract would refuse are refused here, each one.
    const std::string absolute = m_Dir / "assets/a.txt";
    const std::string up = "../" + fs::path(m_Dir.Path()).filename().string() + "/assets/a.txt";
    r = Zynpac(m_Dir, {"create", "y.pac", absolute, up});
    EXPECT_EQ(r.status, 1);
    for (const std::string& name : {absolute, up})
        EXPECT_NE(
            r.err.find("cannot store " + name + ": member name \"" + name + "\" is absolute or has a \"..\""),
            std::string::npos)
            << r.err;
    EXPECT_FALSE(fs::exists(m_Dir / "y.pac"));
    EXPECT_EQ(Leftovers(m_Dir.Path()), std::vector<std::string>{});
}

TEST_F(ZynpacFixture, CreateStoresLinkTargetsOnlyInsideTheTree) {
    Link("a.txt", m_Dir / "assets/alias");
    Link("../a.txt", m_Dir / "assets/fx/up");
    Link("fx", m_Dir / "assets/folder-link");
    WriteText(m_Dir / "outside/secret", "secret");
    Link("../outside/secret", m_Dir / "assets/leak");

    Result r = Zynpac(m_Dir, {"create", "a.pac", "-r", "assets"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot store assets/leak: it leads to"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(m_Dir / "a.pac"));
    r = Zynpac(m_Dir, {"create", "b.pac", "-C", "assets", "assets/a.txt", "assets/leak"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot store assets/leak: it leads to"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(m_Dir / "b.pac"));

    // With --follow the link leading out is stored too; folders are named
    // with backslashes, as with -C.
    r = Zynpac(m_Dir, {"create", "c.pac", "--follow", "-r", "./assets/"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("warning: skipping ./assets/folder-link (links to folders are not followed)"),
              std::string::npos)
        << r.err;
    Zyn::Ref<Zyn::PacPackage> pack(new Zyn::PacPackage((m_Dir / "c.pac").c_str()));
    std::vector<std::string> names;
    for (const auto& m : pack->GetDirectory()) names.push_back(m.first);
    EXPECT_EQ(names,
              (std::vector<std::string>{"assets\\a.txt", "assets\\alias", "assets\\fx\\burst.zyn",
                                        "assets\\fx\\up", "assets\\leak", "assets\\temple\\temple.jp2"}));
    r = Zynpac(m_Dir, {"cat", "c.pac", "assets\\fx\\up"});
    EXPECT_EQ(r.out, "alpha");
    r = Zynpac(m_Dir, {"cat", "c.pac", "assets\\leak"});
    EXPECT_EQ(r.out, "secret");
}

TEST_F(ZynpacFixture, ErrorsNameTheUnreadableFileAndTheRealCause) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads files whatever their permissions";
    const std::string denied = std::strerror(EACCES);
    ASSERT_EQ(Zynpac(m_Dir, {"create", "p.pac", "assets/a.txt"}).status, 0);
    WriteText(m_Dir / "assets/locked/inside.txt", "x");
    chmod((m_Dir / "assets/a.txt").c_str(), 0);
    chmod((m_Dir / "assets/locked").c_str(), 0);
    chmod((m_Dir / "p.pac").c_str(), 0);

    Result r = Zynpac(m_Dir, {"create", "x.pac", "assets/a.txt", "assets/fx/burst.zyn"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot read assets/a.txt: " + denied), std::string::npos) << r.err;
    r = Zynpac(m_Dir, {"create", "-r", "x.pac", "assets"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot read folder assets/locked: " + denied), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(m_Dir / "x.pac"));
    for (const char* command : {"list", "verify"}) {
        r = Zynpac(m_Dir, {command, "p.pac"});
        EXPECT_EQ(r.status, 1) << command;
        EXPECT_NE(r.err.find("cannot open p.pac: " + denied), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("not found"), std::string::npos) << r.err;
    }
    chmod((m_Dir / "assets/locked").c_str(), 0755);
}

TEST_F(ZynpacFixture, ListEscapesControlCharactersInNames) {
    WriteBytes(m_Dir / "odd.pac", PackOf({{"e\x1b[31mred", Text("1")},
                                          {"bell\a", Text("2")},
                                          {"c1\xc2\x9bx", Text("3")},
                                          {"bad\xff", Text("4")},
                                          {"caf\xc3\xa9", Text("5")}}));
    Result r = Zynpac(m_Dir, {"list", "odd.pac"});
    EXPECT_EQ(r.status, 0);
    for (const char* shown :
         {"  e\\x1B[31mred\n", "  bell\\x07\n", "  c1\\xC2\\x9Bx\n", "  bad\\xFF\n", "  caf\xc3\xa9\n"})
        EXPECT_NE(r.out.find(shown), std::string::npos) << shown << "\n" << r.out;
    r = Zynpac(m_Dir, {"list", "--json", "odd.pac"});
    EXPECT_EQ(r.status, 0);
    for (const char* shown : {"\"e\\u001b[31mred\"", "\"bell\\u0007\"", "\"c1\\u009bx\""})
        EXPECT_NE(r.out.find(shown), std::string::npos) << shown << "\n" << r.out;
}
