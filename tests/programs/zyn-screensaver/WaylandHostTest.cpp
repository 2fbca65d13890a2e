// zyn-screensaver as a Wayland screen saver, run as the real program against
// private compositors: on sway it covers every output at its pixel size (seen
// in grim screenshots, kept in /tmp/zyn-host-shots), ends on pointer motion and
// on SIGTERM, outlives an output taken away, and runs from swayidle as the
// README says; on weston, which has no layer-shell, it draws in a fullscreen
// window. Skipped where sway, grim, swayidle or weston are not installed.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <zyn/platform/GLSurface.h>
#include <zyn/platform/OffscreenSurface.h>

#include <linux/input-event-codes.h>

#include "platform/wayland/VirtualInput.h"
#include "programs/support/HostTestUtil.h"
#include "support/GlDriver.h"
#include "support/WaylandCompositor.h"

using namespace HostTest;
using ZynTest::WaylandCompositor;

namespace {

typedef std::chrono::steady_clock Clock;

const std::string kProgram = ZYN_SCREENSAVER_EXE;
const std::string kPackFolder = ZYN_TEST_PACK_DIR;
const int kStartMs = 60000;  // start-up decodes the art: slow under the sanitizers
// The saver must end by itself; how promptly is bench/stop-time.sh's figure
// on a Release build. Here the sanitizers' exit work and a busy machine set
// the pace, so the deadline only tells "ends" from "hangs".
const int kEndMs = 15000;
const char* const kShotFolder = "/tmp/zyn-host-shots";

bool Installed(const char* program) {
    return ZynTest::RunProgram({"sh", "-c", std::string("command -v ") + program}, {}, 10000) == 0;
}

struct Image {
    unsigned width = 0;
    unsigned height = 0;
    std::vector<unsigned char> rgba;
};

bool LoadImage(const std::string& path, Image& image) {
    int width = 0, height = 0;
    if (!ReadPng(path, width, height, image.rgba)) return false;
    image.width = unsigned(width);
    image.height = unsigned(height);
    return true;
}

// Of a 4 x 4 grid over the picture, the cells in which at least one pixel in
// a thousand is lit: the scene is dark stone with bright columns and light,
// so a drawing that fills the output lights cells everywhere, while one
// stuck in a corner, or none, lights few. Lit is brighter than sway's plain
// grey (64), which an uncovered output shows.
int LitCells(const Image& image) {
    if (image.width < 4 || image.height < 4) return 0;
    int cells = 0;
    for (unsigned cy = 0; cy < 4; ++cy) {
        for (unsigned cx = 0; cx < 4; ++cx) {
            const unsigned x0 = image.width * cx / 4, x1 = image.width * (cx + 1) / 4;
            const unsigned y0 = image.height * cy / 4, y1 = image.height * (cy + 1) / 4;
            long lit = 0;
            for (unsigned y = y0; y < y1; ++y) {
                for (unsigned x = x0; x < x1; ++x) {
                    const unsigned char* p = image.rgba.data() + (size_t(y) * image.width + x) * 4;
                    lit += p[0] > 96 || p[1] > 96 || p[2] > 96;
                }
            }
            cells += lit * 1000 >= long(x1 - x0) * long(y1 - y0);
        }
    }
    return cells;
}

// Pixels of the colour of the bottom right corner.
long SameAsCorner(const Image& image) {
    if (image.rgba.empty()) return 0;
    const unsigned char* corner = image.rgba.data() + image.rgba.size() - 4;
    long n = 0;
    for (size_t i = 0; i < image.rgba.size(); i += 4)
        n += image.rgba[i] == corner[0] && image.rgba[i + 1] == corner[1] && image.rgba[i + 2] == corner[2];
    return n;
}

long PixelsThatDiffer(const Image& a, const Image& b) {
    if (a.width != b.width || a.height != b.height) return -1;
    long n = 0;
    for (size_t i = 0; i < a.rgba.size(); i += 4)
        n += a.rgba[i] != b.rgba[i] || a.rgba[i + 1] != b.rgba[i + 1] || a.rgba[i + 2] != b.rgba[i + 2];
    return n;
}

long ElapsedMs(Clock::time_point since) {
    return long(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

// The saver against one compositor: started, shot, stopped.
class SaverOnWayland : public ::testing::Test {
protected:
    void TearDown() override {
        m_pSaver.reset();
        m_pInner.reset();
        m_pCompositor.reset();
    }

    bool StartSway() {
        if (!Installed("sway")) {
            m_Skip = "sway is not installed";
            return false;
        }
        if (!Installed("grim")) {
            m_Skip = "grim is not installed";
            return false;
        }
        m_pCompositor.reset(new WaylandCompositor);
        return m_pCompositor->Start(WaylandCompositor::Kind::kSway);
    }

    std::map<std::string, std::string> Environment(const WaylandCompositor& compositor) {
        std::map<std::string, std::string> env = QuietEnvironment(m_Home.Path());
        env["WAYLAND_DISPLAY"] = compositor.SocketPath();
        env["DISPLAY"] = "";
        env["XSCREENSAVER_WINDOW"] = "";
        // The saver keeps Mesa's driver loaded as this process does, so that
        // its leak report sees what the driver's globals hold.
        if (!m_pDriverHolder) {
            m_pDriverHolder.reset(Zyn::CreateOffscreenSurface());
            if (m_pDriverHolder) (void)m_pDriverHolder->CreateContext(16, 16);
        }
        const std::string preload = ZynTest::GlDriverPreload();
        if (!preload.empty()) env["LD_PRELOAD"] = preload;
        return env;
    }

    void StartSaver(const WaylandCompositor& compositor, std::vector<std::string> args) {
        args.insert(args.begin(), kProgram);
        args.insert(args.end(), {"--data", kPackFolder, "--stats", "stats.txt", "--log", "log.txt", "-verbose"});
        m_pSaver.reset(new Child);
        ASSERT_TRUE(m_pSaver->Start(args, Environment(compositor), m_Home.Path()));
        ASSERT_TRUE(m_pSaver->WaitForStderr("startAnimation", kStartMs)) << m_pSaver->Stderr();
    }

    // A grim screenshot of one output, also copied to the shot folder.
    bool Shoot(const WaylandCompositor& compositor, const std::string& output, const std::string& name,
               Image& image) {
        const std::string file = name + ".png";
        if (compositor.RunClient({"grim", "-o", output, file}, m_Home.Path()) != 0) return false;
        ZynTest::RunProgram({"mkdir", "-p", kShotFolder}, {}, 10000);
        ZynTest::RunProgram({"cp", m_Home / file, std::string(kShotFolder) + "/" + file}, {}, 10000);
        return LoadImage(m_Home / file, image);
    }

    // Shoots the output until the scene lights `cells` cells of its grid.
    bool WaitForScene(const WaylandCompositor& compositor, const std::string& output, const std::string& name,
                      Image& image, int cells = 12) {
        const Clock::time_point end = Clock::now() + std::chrono::milliseconds(kStartMs);
        while (Clock::now() < end) {
            if (m_pSaver->Wait(0)) return false;
            if (Shoot(compositor, output, name, image) && LitCells(image) >= cells) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        return false;
    }

    long Frames() { return StatsFrames(m_Home / "stats.txt"); }

    std::string m_Skip;
    TempDir m_Home;
    std::unique_ptr<Zyn::GLSurface> m_pDriverHolder;
    std::unique_ptr<WaylandCompositor> m_pCompositor;
    std::unique_ptr<WaylandCompositor> m_pInner;
    std::unique_ptr<Child> m_pSaver;
};

// HEADLESS-1: 1280x720 pixels at scale 2; HEADLESS-2: 800x600 at scale 1.
class SaverOnSway : public SaverOnWayland {
protected:
    void SetUp() override {
        if (!StartSway()) {
            if (!m_Skip.empty()) GTEST_SKIP() << m_Skip;
            FAIL() << m_pCompositor->Why();
        }
        if (!FileExists(kPackFolder + "/RezAduva.pac")) GTEST_SKIP() << "no RezAduva.pac in " << kPackFolder;
        ASSERT_TRUE(m_pCompositor->SwayMsg({"create_output"}));
        ASSERT_TRUE(m_pCompositor->SwayMsg({"output", "HEADLESS-2", "mode", "800x600"}));
        ASSERT_TRUE(m_pCompositor->SwayMsg({"output", "HEADLESS-1", "scale", "2"}));
        // A headless sway has no input devices: the seat gets virtual ones.
        ASSERT_TRUE(m_Input.Connect(m_pCompositor->SocketPath()));
    }

    ZynTest::VirtualInput m_Input;
};

}  // namespace

TEST_F(SaverOnSway, CoversEachOutputAtItsPixelSizeAndEndsOnPointerMotion) {
    ASSERT_NO_FATAL_FAILURE(StartSaver(*m_pCompositor, {"--wayland"}));
    Image big, small;
    ASSERT_TRUE(WaitForScene(*m_pCompositor, "HEADLESS-1", "sway-HEADLESS-1-scale2", big))
        << "lit cells " << LitCells(big) << "; " << m_pSaver->Stderr();
    ASSERT_TRUE(WaitForScene(*m_pCompositor, "HEADLESS-2", "sway-HEADLESS-2", small))
        << "lit cells " << LitCells(small) << "; " << m_pSaver->Stderr();
    // Scale 2: 640x360 in the layout, every one of the 1280x720 pixels drawn.
    EXPECT_EQ(big.width, 1280u);
    EXPECT_EQ(big.height, 720u);
    EXPECT_EQ(small.width, 800u);
    EXPECT_EQ(small.height, 600u);
    EXPECT_FALSE(m_pSaver->Wait(0)) << "the cover stays while nobody moves";

    const Clock::time_point moved = Clock::now();
    ASSERT_TRUE(m_pCompositor->SwayMsg({"seat", "-", "cursor", "move", "50", "50"}));
    ASSERT_TRUE(m_pSaver->Wait(kEndMs)) << "still running 15 s after the pointer moved";
    std::printf("[ figure ] exit after pointer motion: %ld ms\n", ElapsedMs(moved));
    EXPECT_EQ(m_pSaver->ExitStatus(), 0) << m_pSaver->Stderr();
    EXPECT_FALSE(ProcessGroupAlive(m_pSaver->Pid()));
    EXPECT_GT(Frames(), 0);
}

TEST_F(SaverOnSway, EndsOnAKeyAndOnSigterm) {
    Image shot;
    // One output only: the keyboard still reaches its overlay.
    ASSERT_NO_FATAL_FAILURE(StartSaver(*m_pCompositor, {"--wayland", "--output", "HEADLESS-2"}));
    ASSERT_TRUE(WaitForScene(*m_pCompositor, "HEADLESS-2", "sway-output-HEADLESS-2", shot)) << m_pSaver->Stderr();
    Image other;
    ASSERT_TRUE(Shoot(*m_pCompositor, "HEADLESS-1", "sway-output-HEADLESS-1-uncovered", other));
    EXPECT_GT(SameAsCorner(other) * 100, long(other.width) * other.height * 99)
        << "HEADLESS-1 was not to be covered: it shows more than the compositor's plain background";
    const Clock::time_point typed = Clock::now();
    m_Input.Key(KEY_A, true);
    m_Input.Key(KEY_A, false);
    ASSERT_TRUE(m_pSaver->Wait(kEndMs)) << "still running 15 s after a key";
    std::printf("[ figure ] exit after a key: %ld ms\n", ElapsedMs(typed));
    EXPECT_EQ(m_pSaver->ExitStatus(), 0) << m_pSaver->Stderr();

    ASSERT_NO_FATAL_FAILURE(StartSaver(*m_pCompositor, {"--wayland"}));
    ASSERT_TRUE(WaitForScene(*m_pCompositor, "HEADLESS-2", "sway-term-HEADLESS-2", shot)) << m_pSaver->Stderr();
    const Clock::time_point termed = Clock::now();
    ASSERT_TRUE(m_pSaver->Signal(SIGTERM));
    ASSERT_TRUE(m_pSaver->Wait(kEndMs)) << "still running 15 s after SIGTERM";
    std::printf("[ figure ] exit after SIGTERM: %ld ms\n", ElapsedMs(termed));
    EXPECT_EQ(m_pSaver->ExitStatus(), 0) << m_pSaver->Stderr();
    EXPECT_FALSE(ProcessGroupAlive(m_pSaver->Pid()));
}

TEST_F(SaverOnSway, RefusesAnUnknownOutputAndAMissingCompositor) {
    std::string out, err;
    std::map<std::string, std::string> env = Environment(*m_pCompositor);
    EXPECT_EQ(RunProgram({kProgram, "--wayland", "--output", "HDMI-A-9", "--data", kPackFolder, "--no-log"}, env,
                         m_Home.Path(), &out, &err),
              1);
    EXPECT_NE(err.find("zyn-screensaver: the compositor has no output named 'HDMI-A-9'"), std::string::npos)
        << err;

    env["WAYLAND_DISPLAY"] = m_Home / "no-such-socket";
    EXPECT_EQ(RunProgram({kProgram, "--data", kPackFolder, "--no-log"}, env, m_Home.Path(), &out, &err, 20000), 1)
        << "a Wayland session without -root gets the cover";
    EXPECT_NE(err.find("zyn-screensaver: cannot connect to the Wayland compositor '" + m_Home / "no-such-socket" +
                       "'"),
              std::string::npos)
        << err;
}

TEST_F(SaverOnSway, CompositorDeathEndsTheSaverCleanly) {
    ASSERT_NO_FATAL_FAILURE(StartSaver(*m_pCompositor, {"--wayland"}));
    Image shot;
    ASSERT_TRUE(WaitForScene(*m_pCompositor, "HEADLESS-2", "sway-death-HEADLESS-2", shot)) << m_pSaver->Stderr();
    m_pCompositor->Kill();
    ASSERT_TRUE(m_pSaver->Wait(kEndMs)) << "still running without its compositor";
    EXPECT_EQ(m_pSaver->ExitStatus(), 0) << m_pSaver->Stderr();
    EXPECT_NE(m_pSaver->Stderr().find("the compositor is gone; stopping"), std::string::npos) << m_pSaver->Stderr();
    EXPECT_FALSE(ProcessGroupAlive(m_pSaver->Pid()));
}

// The line the README gives: swayidle starts the saver once the seat has been
// idle a while, and a key ends it.
TEST_F(SaverOnSway, SwayidleStartsItAndAKeyEndsIt) {
    if (!Installed("swayidle")) GTEST_SKIP() << "swayidle is not installed";
    const std::string command = kProgram + " --wayland --data '" + kPackFolder + "' --stats '" + m_Home / "stats.txt" +
                                "' --no-log";
    m_pSaver.reset(new Child);
    ASSERT_TRUE(m_pSaver->Start({"/bin/sh", "-c", "exec swayidle -w timeout 1 \"$1\"", "sh", command},
                                Environment(*m_pCompositor), m_Home.Path()));
    // Started by swayidle, through a shell: found by its program and home.
    auto savers = [&]() {
        std::vector<pid_t> pids;
        char real[PATH_MAX];
        if (!realpath(kProgram.c_str(), real)) return pids;
        for (const auto& e : std::filesystem::directory_iterator("/proc")) {
            const std::string name = e.path().filename().string();
            if (name.find_first_not_of("0123456789") != std::string::npos) continue;
            std::error_code ec;
            if (std::filesystem::read_symlink(e.path() / "exe", ec).string() != real) continue;
            const std::string env = ReadFileText((e.path() / "environ").string());
            if (env.find(std::string("HOME=") + m_Home.Path() + '\0') != std::string::npos)
                pids.push_back(pid_t(std::stol(name)));
        }
        return pids;
    };
    Image shot;
    ASSERT_TRUE(WaitForScene(*m_pCompositor, "HEADLESS-2", "swayidle-HEADLESS-2", shot))
        << "swayidle did not start a saver that draws; " << m_pSaver->Stderr();
    ASSERT_EQ(savers().size(), 1u);

    m_Input.Key(KEY_A, true);
    m_Input.Key(KEY_A, false);
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(kEndMs);
    while (Clock::now() < end && !savers().empty()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(savers().empty()) << "the saver outlived a key press by 15 s";
    EXPECT_GT(Frames(), 0) << "the stats of a clean exit";
    EXPECT_FALSE(m_pSaver->Wait(0)) << "swayidle keeps watching: " << m_pSaver->Stderr();
}

// sway nested in sway: the inner one's outputs WL-1 and WL-2 are windows of
// the outer one, which can close them; a headless sway cannot take its own
// outputs away.
TEST_F(SaverOnWayland, OutputTakenAwayLeavesTheOtherDrawing) {
    if (!StartSway()) {
        if (!m_Skip.empty()) GTEST_SKIP() << m_Skip;
        FAIL() << m_pCompositor->Why();
    }
    if (!FileExists(kPackFolder + "/RezAduva.pac")) GTEST_SKIP() << "no RezAduva.pac in " << kPackFolder;
    m_pInner.reset(new WaylandCompositor);
    ASSERT_TRUE(m_pInner->StartNested(*m_pCompositor)) << m_pInner->Why();
    // The second output only once the first is up: asked for while the
    // first window is still being made, the nested sway can stall.
    std::string outputs;
    const Clock::time_point up = Clock::now() + std::chrono::seconds(15);
    while (Clock::now() < up && !(m_pInner->SwayMsg({"-t", "get_outputs"}, &outputs) &&
                                  outputs.find("WL-1") != std::string::npos))
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_NE(outputs.find("WL-1"), std::string::npos) << "the nested sway has no output";
    ASSERT_TRUE(m_pInner->SwayMsg({"create_output"}));
    ASSERT_NO_FATAL_FAILURE(StartSaver(*m_pInner, {"--wayland"}));
    Image before, after, later;
    ASSERT_TRUE(WaitForScene(*m_pInner, "WL-2", "nested-WL-2", before, 8)) << m_pSaver->Stderr();
    ASSERT_TRUE(WaitForScene(*m_pInner, "WL-1", "nested-WL-1-before", before, 8)) << m_pSaver->Stderr();

    ASSERT_TRUE(m_pCompositor->SwayMsg({"[title=\"wlroots - WL-2\"] kill"}));
    const Clock::time_point end = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < end && m_pInner->SwayMsg({"-t", "get_outputs"}, &outputs) &&
           outputs.find("WL-2") != std::string::npos)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_EQ(outputs.find("WL-2"), std::string::npos) << "the output stayed";

    // Still running, and the remaining output still changes from shot to shot.
    ASSERT_TRUE(WaitForScene(*m_pInner, "WL-1", "nested-WL-1-after", after, 8)) << m_pSaver->Stderr();
    const Clock::time_point moving = Clock::now() + std::chrono::seconds(20);
    long changed = 0;
    while (Clock::now() < moving && changed <= 1000) {
        ASSERT_TRUE(Shoot(*m_pInner, "WL-1", "nested-WL-1-later", later));
        changed = PixelsThatDiffer(after, later);
    }
    EXPECT_GT(changed, 1000) << "the remaining output stopped changing";
    EXPECT_FALSE(m_pSaver->Wait(0)) << m_pSaver->Stderr();
    ASSERT_TRUE(m_pSaver->Signal(SIGTERM));
    ASSERT_TRUE(m_pSaver->Wait(kEndMs));
    EXPECT_EQ(m_pSaver->ExitStatus(), 0) << m_pSaver->Stderr();
}

// weston offers no layer-shell: the cover is one fullscreen window, the size
// of the output. weston cannot take screenshots on its headless backend, so
// the size is what the program logs and the drawing its frame count.
TEST_F(SaverOnWayland, WithoutLayerShellAFullscreenWindowDraws) {
    if (!Installed("weston")) GTEST_SKIP() << "weston is not installed";
    if (!FileExists(kPackFolder + "/RezAduva.pac")) GTEST_SKIP() << "no RezAduva.pac in " << kPackFolder;
    m_pCompositor.reset(new WaylandCompositor);
    ASSERT_TRUE(m_pCompositor->Start(WaylandCompositor::Kind::kWeston, {"--width=800", "--height=600"}))
        << m_pCompositor->Why();
    ASSERT_NO_FATAL_FAILURE(StartSaver(*m_pCompositor, {}));
    const std::string log = m_pSaver->Stderr() + ReadFileText(m_Home / "log.txt");
    // Let it run two seconds of processor time: the frames are counted at exit.
    const Clock::time_point end = Clock::now() + std::chrono::seconds(30);
    const long startTicks = CpuTicks(m_pSaver->Pid());
    while (Clock::now() < end && CpuTicks(m_pSaver->Pid()) < startTicks + 200)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_NE(log.find("1 surface(s) by xdg-shell, drawing 800 x 600"), std::string::npos) << log;
    ASSERT_TRUE(m_pSaver->Signal(SIGTERM));
    ASSERT_TRUE(m_pSaver->Wait(kEndMs));
    EXPECT_EQ(m_pSaver->ExitStatus(), 0) << m_pSaver->Stderr();
    EXPECT_GT(Frames(), 5) << "the compositor asked for few frames or none";
}
