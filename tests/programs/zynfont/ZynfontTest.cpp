// zynfont end to end: the whole of Unicode at the largest size is refused in
// seconds and small memory, wide ranges take exactly the glyphs the face has,
// progress shows on a terminal only, and unreadable inputs name their cause.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <gtest/gtest.h>

#include "io/IoTestUtil.h"

using namespace ZynTest;

namespace {

const char* const kDejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
// A runaway is stopped here; a refused run takes a second or two.
const auto kDeadline = std::chrono::seconds(90);

struct RunResult {
    bool finished = false;  // false: stopped at the deadline
    int status = -1;
    long peakKilobytes = 0;
    std::string out;
    std::string err;
};

std::string ReadText(const std::string& path) {
    const Bytes b = ReadBytes(path);
    return std::string(b.begin(), b.end());
}

std::vector<char*> Argv(std::vector<std::string>& args) {
    args.insert(args.begin(), ZYNFONT_PATH);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    return argv;
}

// Runs zynfont in dir with stdout and stderr in files (no terminal), and
// reads the child's peak resident size from wait4.
RunResult RunZynfont(const TempDir& dir, std::vector<std::string> args) {
    std::vector<char*> argv = Argv(args);
    const std::string outPath = dir / ".stdout", errPath = dir / ".stderr";
    RunResult run;
    const pid_t pid = fork();
    if (pid == 0) {
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || err < 0 || chdir(dir.Path().c_str()) != 0) _exit(127);
        dup2(out, 1);
        dup2(err, 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (pid < 0) return run;
    const auto deadline = std::chrono::steady_clock::now() + kDeadline;
    int status = 0;
    struct rusage usage = {};
    for (;;) {
        const pid_t done = wait4(pid, &status, WNOHANG, &usage);
        if (done == pid) {
            run.finished = true;
            break;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            wait4(pid, &status, 0, &usage);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.peakKilobytes = usage.ru_maxrss;
    run.out = ReadText(outPath);
    run.err = ReadText(errPath);
    return run;
}

// Runs zynfont in dir on a pseudo-terminal; everything it wrote, in order.
std::string RunOnTerminal(const TempDir& dir, std::vector<std::string> args) {
    std::vector<char*> argv = Argv(args);
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid == 0) {
        if (chdir(dir.Path().c_str()) != 0) _exit(127);
        execv(argv[0], argv.data());
        _exit(127);
    }
    std::string text;
    if (pid < 0) return text;
    const auto deadline = std::chrono::steady_clock::now() + kDeadline;
    char buffer[4096];
    while (std::chrono::steady_clock::now() < deadline) {
        struct pollfd p = {master, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        const ssize_t n = read(master, buffer, sizeof buffer);
        // The terminal reads EIO once the child and its output are gone.
        if (n <= 0) break;
        text.append(buffer, size_t(n));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    close(master);
    return text;
}

// The codes of [first, last] that DejaVu Sans maps to a glyph, asked code by code.
long CountMappedCodes(unsigned first, unsigned last) {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    long count = -1;
    if (FT_Init_FreeType(&library) == 0 && FT_New_Face(library, kDejaVu, 0, &face) == 0) {
        count = 0;
        for (unsigned c = first; c <= last; ++c) count += FT_Get_Char_Index(face, c) != 0;
    }
    if (face) FT_Done_Face(face);
    if (library) FT_Done_FreeType(library);
    return count;
}

class ZynfontOnDejaVu : public ::testing::Test {
protected:
    void SetUp() override {
        if (access(kDejaVu, R_OK) != 0) GTEST_SKIP() << kDejaVu << " is missing (fonts-dejavu-core)";
        ASSERT_FALSE(m_Dir.Path().empty());
    }
    TempDir m_Dir;
};

}  // namespace

// Every code point at 1024 px needs gigabytes of glyph bitmaps; the tool
// once rendered them all for minutes before finding they do not fit.
TEST_F(ZynfontOnDejaVu, GlyphsThatCannotFitAreRefusedFastInBoundedMemory) {
    const struct {
        std::vector<std::string> extra;
        const char* message;
    } cases[] = {
        {{}, "the glyphs do not fit a 4096x4096 texture; take a smaller --size or fewer --ranges"},
        {{"-t", "4096x4096"}, "the glyphs do not fit 4096x4096; give a larger --texture-size or leave it out"},
    };
    for (const auto& k : cases) {
        std::vector<std::string> args = {"-s", "1024", "-r", "0x0-0x10FFFF", "-o", "out"};
        args.insert(args.end(), k.extra.begin(), k.extra.end());
        args.push_back(kDejaVu);
        const RunResult run = RunZynfont(m_Dir, args);
        ASSERT_TRUE(run.finished) << "still running after " << kDeadline.count() << " s";
        EXPECT_EQ(run.status, 1) << run.err;
        EXPECT_NE(run.err.find(k.message), std::string::npos) << run.err;
        EXPECT_NE(run.err.find(" glyphs at 1024 px need at least "), std::string::npos) << run.err;
        EXPECT_LT(run.peakKilobytes, 512L * 1024) << "peak resident size in KiB";
        EXPECT_FALSE(std::filesystem::exists(m_Dir / "out")) << "a refused run writes nothing";
    }
}

// The supplementary planes are a million codes of which the font has a few
// hundred: the glyph and missing counts must agree with FreeType's map.
TEST_F(ZynfontOnDejaVu, AWideRangeTakesExactlyTheCodesTheFontMaps) {
    const long mapped = CountMappedCodes(0x10000, 0x10FFFF);
    ASSERT_GT(mapped, 0);
    const RunResult run = RunZynfont(m_Dir, {"-s", "8", "-r", "0x10000-0x10FFFF,0x10000-0x10010", "-n", "wide", kDejaVu});
    ASSERT_TRUE(run.finished);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string expected = "wide.zyn_fnt: " + std::to_string(mapped) + " glyphs at 8 px in a ";
    EXPECT_NE(run.out.find(expected), std::string::npos) << run.out;
    const std::string missing = ", " + std::to_string(0x100000 - mapped) + " code points not in the font";
    EXPECT_NE(run.out.find(missing), std::string::npos) << run.out;
}

TEST_F(ZynfontOnDejaVu, ProgressShowsOnATerminalOnly) {
    const std::vector<std::string> args = {"-s", "12", "-r", "32-126", kDejaVu};
    const std::string terminal = RunOnTerminal(m_Dir, args);
    EXPECT_NE(terminal.find("\rzynfont: rasterising glyph 95 of 95 (100%)"), std::string::npos) << terminal;
    EXPECT_NE(terminal.find("DejaVuSans_12.zyn_fnt: 95 glyphs at 12 px"), std::string::npos) << terminal;

    const RunResult piped = RunZynfont(m_Dir, args);
    ASSERT_TRUE(piped.finished);
    EXPECT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(piped.err, "");
    EXPECT_EQ(piped.out.find('\r'), std::string::npos) << piped.out;
}

TEST_F(ZynfontOnDejaVu, UnreadableInputsNameTheirCause) {
    WriteBytes(m_Dir / "empty.ttf", Bytes());
    WriteBytes(m_Dir / "locked.ttf", ReadBytes(kDejaVu));
    ASSERT_EQ(chmod((m_Dir / "locked.ttf").c_str(), 0), 0);
    const struct {
        const char* file;
        const char* message;
    } cases[] = {
        {"no-such-font.ttf", "zynfont: no-such-font.ttf: No such file or directory"},
        {"no-such-folder/font.ttf", "zynfont: no-such-folder/font.ttf: No such file or directory"},
        {".", "zynfont: .: Is a directory"},
        {"empty.ttf", "cannot open empty.ttf as a TrueType or OpenType font"},
        {"locked.ttf", "zynfont: locked.ttf: Permission denied"},
    };
    for (const auto& k : cases) {
        // The superuser reads any file whatever its mode.
        if (std::string(k.file) == "locked.ttf" && geteuid() == 0) continue;
        const RunResult run = RunZynfont(m_Dir, {k.file});
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.status, 1) << k.file;
        EXPECT_NE(run.err.find(k.message), std::string::npos) << run.err;
        // A file the system cannot give is not blamed on its format.
        if (std::string(k.message).find("TrueType") == std::string::npos) {
            EXPECT_EQ(run.err.find("TrueType"), std::string::npos) << run.err;
        }
    }
}
