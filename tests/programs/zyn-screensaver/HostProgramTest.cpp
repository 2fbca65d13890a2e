// zyn-screensaver run as a program: exit codes and messages, the missing
// pack, and the headless export with its byte-for-byte repeatability.
#include <gtest/gtest.h>

#include <algorithm>

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "programs/support/HostTestUtil.h"

using namespace HostTest;

namespace {

const std::string kProgram = ZYN_SCREENSAVER_EXE;
const std::string kPackFolder = ZYN_TEST_PACK_DIR;

bool HasPack() { return FileExists(kPackFolder + "/RezAduva.pac"); }

struct UsageCase {
    std::vector<std::string> args;
    const char* message;
};

class ProgramUsage : public ::testing::TestWithParam<UsageCase> {};

std::string CaseName(const ::testing::TestParamInfo<UsageCase>& info) {
    std::string name;
    for (const std::string& arg : info.param.args) {
        for (const char c : arg) {
            if (std::isalnum(static_cast<unsigned char>(c))) name += c;
        }
        name += '_';
    }
    return name + std::to_string(info.index);
}

std::vector<std::string> Args(std::vector<std::string> rest) {
    rest.insert(rest.begin(), kProgram);
    return rest;
}

// A run with the pack of the build tree, the way a user exports frames.
int Export(const TempDir& home, const std::string& out, std::string* stdoutText, std::string* stderrText,
           const std::string& data = kPackFolder) {
    return RunProgram(Args({"--headless", "--seconds", "1", "--frame-rate", "10", "--size", "160x100", "--out", out,
                            "--data", data}),
                      QuietEnvironment(home.Path()), home.Path(), stdoutText, stderrText);
}

}  // namespace

TEST_P(ProgramUsage, BadArgumentsExitWithTwoAndSayWhy) {
    TempDir home;
    std::string out, err;
    EXPECT_EQ(RunProgram(Args(GetParam().args), QuietEnvironment(home.Path()), home.Path(), &out, &err), 2);
    EXPECT_NE(err.find(GetParam().message), std::string::npos) << err;
    EXPECT_NE(err.find("--help"), std::string::npos) << "points to the help";
    EXPECT_TRUE(out.empty()) << out;
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, ProgramUsage,
    ::testing::Values(UsageCase{{"--bogus"}, "zyn-screensaver: unknown option '--bogus'"},
                      UsageCase{{"-window-id", "zz"}, "bad window id 'zz'"},
                      UsageCase{{"-delay"}, "-delay needs a value"},
                      UsageCase{{"--headless", "--size", "3x3", "--out", "o"}, "bad size"}),
    CaseName);

TEST(Program, HelpAndVersionGoToStdout) {
    TempDir home;
    std::string out, err;
    EXPECT_EQ(RunProgram(Args({"--help"}), QuietEnvironment(home.Path()), home.Path(), &out, &err), 0);
    EXPECT_NE(out.find("Usage: zyn-screensaver"), std::string::npos);
    EXPECT_NE(out.find("-window-id"), std::string::npos);
    EXPECT_TRUE(err.empty()) << err;
    EXPECT_EQ(RunProgram(Args({"--version"}), QuietEnvironment(home.Path()), home.Path(), &out, &err), 0);
    EXPECT_EQ(out.rfind("zyn-screensaver ", 0), 0u) << out;
}

TEST(Program, MissingPackIsNamedWithTheFolderSearched) {
    TempDir home;
    const std::string empty = home / "empty-data";
    ASSERT_EQ(mkdir(empty.c_str(), 0755), 0);
    std::string out, err;
    EXPECT_EQ(Export(home, home / "frames", &out, &err, empty), 1);
    EXPECT_NE(err.find("RezAduva.pac is missing from the data folder " + empty), std::string::npos) << err;
    EXPECT_FALSE(FileExists(home / "frames/contact.png"));

    // ZYN_DATA_DIR is searched the same way.
    std::map<std::string, std::string> env = QuietEnvironment(home.Path());
    env["ZYN_DATA_DIR"] = empty;
    EXPECT_EQ(RunProgram(Args({"--headless", "--out", home / "frames"}), env, home.Path(), &out, &err), 1);
    EXPECT_NE(err.find("missing from the data folder " + empty), std::string::npos) << err;
}

// Packs that cannot serve the scene, each refused before anything starts
// with one line saying why, and no frame written.
TEST(Program, UnusablePacksAreRefusedWithOneLine) {
    if (!HasPack()) GTEST_SKIP() << "no RezAduva.pac in " << kPackFolder;
    const std::vector<unsigned char> good = ReadFileBytes(kPackFolder + "/RezAduva.pac");
    ASSERT_GT(good.size(), 100000u);
    std::vector<unsigned char> random(50000);
    unsigned seed = 7;
    for (unsigned char& b : random) b = static_cast<unsigned char>((seed = seed * 1103515245u + 12345u) >> 16);
    struct Case {
        const char* name;
        std::vector<unsigned char> bytes;
        const char* says;
    };
    const Case cases[] = {
        {"empty", {}, "is not a usable pack"},
        {"random", random, "is not a usable pack"},
        {"truncated", std::vector<unsigned char>(good.begin(), good.begin() + good.size() / 2), "lacks the member"},
    };
    TempDir home;
    for (const Case& c : cases) {
        const std::string data = home / c.name;
        ASSERT_EQ(mkdir(data.c_str(), 0755), 0);
        FILE* f = fopen((data + "/RezAduva.pac").c_str(), "wb");
        ASSERT_TRUE(f);
        if (!c.bytes.empty()) {
            ASSERT_EQ(fwrite(c.bytes.data(), 1, c.bytes.size(), f), c.bytes.size());
        }
        fclose(f);
        std::string out, err;
        EXPECT_EQ(Export(home, home / (std::string(c.name) + "-frames"), &out, &err, data), 1) << c.name;
        EXPECT_NE(err.find(c.says), std::string::npos) << c.name << ": " << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << c.name << ": one line, not " << err;
        EXPECT_FALSE(FileExists(home / (std::string(c.name) + "-frames/frame-00000.png"))) << c.name;
    }
    // Unreadable: only a user without root's rights can see the refusal.
    if (geteuid() != 0) {
        const std::string data = home / "unreadable";
        ASSERT_EQ(mkdir(data.c_str(), 0755), 0);
        FILE* f = fopen((data + "/RezAduva.pac").c_str(), "wb");
        ASSERT_TRUE(f);
        fwrite(good.data(), 1, good.size(), f);
        fclose(f);
        ASSERT_EQ(chmod((data + "/RezAduva.pac").c_str(), 0), 0);
        std::string out, err;
        EXPECT_EQ(Export(home, home / "unreadable-frames", &out, &err, data), 1);
        EXPECT_NE(err.find("Permission denied"), std::string::npos) << err;
    }
}

TEST(Program, StandardErrorHoldsOnlyWarningsAndErrorsUnlessVerbose) {
    if (!HasPack()) GTEST_SKIP() << "no RezAduva.pac in " << kPackFolder;
    TempDir home;
    std::string out, quiet, verbose;
    // Seven seconds in, the trophy's first effect plays: the run ends with an
    // effect instance alive.
    const std::vector<std::string> run = {"--headless", "--seconds", "7", "--frame-rate", "2", "--size", "32x24",
                                          "--data",     kPackFolder, "--no-log"};
    std::vector<std::string> args = run;
    args.insert(args.end(), {"--out", home / "quiet"});
    ASSERT_EQ(RunProgram(Args(args), QuietEnvironment(home.Path()), home.Path(), &out, &quiet), 0) << quiet;
    // A daemon's session log gets nothing from a run where nothing is wrong:
    // no missing optional file, no resource still referenced at exit.
    EXPECT_EQ(quiet, "");
    args = run;
    args.insert(args.end(), {"--out", home / "verbose", "-verbose"});
    ASSERT_EQ(RunProgram(Args(args), QuietEnvironment(home.Path()), home.Path(), &out, &verbose), 0) << verbose;
    EXPECT_NE(verbose.find(" I. "), std::string::npos);
    EXPECT_EQ(verbose.find("still referenced"), std::string::npos) << verbose;
}

TEST(Program, UnwritableOutputFolderFailsCleanly) {
    if (!HasPack()) GTEST_SKIP() << "no RezAduva.pac in " << kPackFolder;
    TempDir home;
    const std::string file = home / "plain-file";
    FILE* f = fopen(file.c_str(), "w");
    ASSERT_TRUE(f);
    fclose(f);
    std::string out, err;
    EXPECT_EQ(Export(home, file + "/frames", &out, &err), 1);
    EXPECT_NE(err.find("cannot make the output folder"), std::string::npos) << err;
}

TEST(HeadlessExport, WritesFramesAndContactSheetIdenticallyEveryRun) {
    if (!HasPack()) GTEST_SKIP() << "no RezAduva.pac in " << kPackFolder;
    TempDir home;
    std::string out1, err1, out2, err2;
    ASSERT_EQ(Export(home, home / "run1", &out1, &err1), 0) << err1;
    ASSERT_EQ(Export(home, home / "run2", &out2, &err2), 0) << err2;
    EXPECT_NE(out1.find("Wrote 10 frames of 160x100 to " + home / "run1"), std::string::npos) << out1;
    EXPECT_NE(out1.find(home / "run1/contact.png"), std::string::npos) << out1;

    char name[32];
    for (int i = 0; i < 10; ++i) {
        snprintf(name, sizeof name, "frame-%05d.png", i);
        const std::vector<unsigned char> a = ReadFileBytes(home / "run1/" + name);
        const std::vector<unsigned char> b = ReadFileBytes(home / "run2/" + name);
        ASSERT_FALSE(a.empty()) << name;
        EXPECT_TRUE(a == b) << name << " differs between runs";
    }
    EXPECT_FALSE(FileExists(home / "run1/frame-00010.png")) << "one second at 10 fps is 10 frames";
    const std::vector<unsigned char> sheet1 = ReadFileBytes(home / "run1/contact.png");
    ASSERT_FALSE(sheet1.empty());
    EXPECT_TRUE(sheet1 == ReadFileBytes(home / "run2/contact.png"));

    int w = 0, h = 0;
    std::vector<unsigned char> rgba;
    ASSERT_TRUE(ReadPng(home / "run1/frame-00009.png", w, h, rgba));
    EXPECT_EQ(w, 160);
    EXPECT_EQ(h, 100);
    // A second into the scene the trophy is fading in: something is drawn.
    int lit = 0;
    for (size_t i = 0; i < rgba.size(); i += 4) lit += (rgba[i] | rgba[i + 1] | rgba[i + 2]) > 8;
    EXPECT_GT(lit, 20);
    // Ten tiles of the frames' shape, six to a row.
    ASSERT_TRUE(ReadPng(home / "run1/contact.png", w, h, rgba));
    EXPECT_EQ(w, 6 * 160);
    EXPECT_EQ(h, 2 * 100);
}

TEST(HeadlessExport, LogsIntoTheStateFolderNotTheDataFolder) {
    if (!HasPack()) GTEST_SKIP() << "no RezAduva.pac in " << kPackFolder;
    TempDir home;
    // A data folder of its own, so that anything written there shows.
    const std::string data = home / "data";
    ASSERT_EQ(mkdir(data.c_str(), 0755), 0);
    ASSERT_EQ(symlink((kPackFolder + "/RezAduva.pac").c_str(), (data + "/RezAduva.pac").c_str()), 0);
    std::string out, err;
    ASSERT_EQ(Export(home, home / "frames", &out, &err, data), 0) << err;
    const std::string log = ReadFileText(home / "state/zyn-screensaver/log.txt");
    EXPECT_NE(log.find("startAnimation"), std::string::npos);
    EXPECT_FALSE(FileExists(data + "/log.txt"));
}

TEST(HeadlessExport, StatsFileCountsTheFrames) {
    if (!HasPack()) GTEST_SKIP() << "no RezAduva.pac in " << kPackFolder;
    TempDir home;
    std::string out, err;
    ASSERT_EQ(RunProgram(Args({"--headless", "--seconds", "0.5", "--frame-rate", "8", "--size", "64x48", "--out",
                               home / "f", "--data", kPackFolder, "--stats", home / "stats.txt", "--no-log"}),
                         QuietEnvironment(home.Path()), home.Path(), &out, &err),
              0)
        << err;
    const std::string stats = ReadFileText(home / "stats.txt");
    EXPECT_EQ(stats.rfind("frames 4\n", 0), 0u) << stats;
    EXPECT_NE(stats.find("cpu_seconds "), std::string::npos) << stats;
    EXPECT_FALSE(FileExists(home / "state")) << "--no-log writes no log file";
}

namespace {

// Runs a short export with extra options; the frames land in `out`.
int ExportWith(const TempDir& home, const std::string& out, const std::string& seconds,
               const std::string& fps, std::vector<std::string> extra) {
    std::vector<std::string> args = {"--headless", "--seconds", seconds, "--frame-rate", fps, "--size",
                                     "160x123",    "--out",     out,     "--data", kPackFolder, "--no-log"};
    args.insert(args.end(), extra.begin(), extra.end());
    std::string text, err;
    const int status = RunProgram(Args(args), QuietEnvironment(home.Path()), home.Path(), &text, &err);
    if (status != 0) ADD_FAILURE() << err;
    return status;
}

}  // namespace

TEST(HeadlessExport, FrameRateSwitchDrawsTheTextInTheTopRightCorner) {
    if (!HasPack()) GTEST_SKIP() << "no RezAduva.pac in " << kPackFolder;
    TempDir home;
    ASSERT_EQ(ExportWith(home, home / "plain", "1.5", "10", {}), 0);
    ASSERT_EQ(ExportWith(home, home / "fps", "1.5", "10", {"-fps"}), 0);
    int w = 0, h = 0;
    std::vector<unsigned char> plain, shown;
    ASSERT_TRUE(ReadPng(home / "plain/frame-00014.png", w, h, plain));
    ASSERT_TRUE(ReadPng(home / "fps/frame-00014.png", w, h, shown));
    ASSERT_EQ(plain.size(), shown.size());
    // The text sits in the top right corner at its own pixel size, readable
    // in this small window too; everything else is the same scene, drawn
    // identically.
    int x0 = w, y0 = h, x1 = -1, y1 = -1;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const size_t i = (size_t(y) * size_t(w) + size_t(x)) * 4;
            if (std::memcmp(&plain[i], &shown[i], 3) == 0) continue;
            x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
        }
    }
    ASSERT_GE(x1, 0) << "no text drawn";
    EXPECT_GE(x1, w - 16) << "the text ends near the right edge";
    EXPECT_LE(y0, 16) << "the text starts near the top";
    EXPECT_GE(y1 - y0 + 1, 12) << "two lines of text, each a few pixels tall at least";
    EXPECT_GE(x0, w / 3) << "nothing else changed";
    EXPECT_LT(y1, h / 2) << "nothing else changed";
}

TEST(HeadlessExport, LowDetailThinsTheParticles) {
    if (!HasPack()) GTEST_SKIP() << "no RezAduva.pac in " << kPackFolder;
    TempDir home;
    ASSERT_EQ(ExportWith(home, home / "high", "4", "4", {"-detail", "high"}), 0);
    ASSERT_EQ(ExportWith(home, home / "low", "4", "4", {"-detail", "low"}), 0);
    // Before the first effect the two runs agree; once particles fly they
    // do not.
    EXPECT_TRUE(ReadFileBytes(home / "high/frame-00000.png") == ReadFileBytes(home / "low/frame-00000.png"));
    EXPECT_FALSE(ReadFileBytes(home / "high/frame-00015.png") == ReadFileBytes(home / "low/frame-00015.png"));
}
