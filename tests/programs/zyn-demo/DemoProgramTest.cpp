// zyn-demo run as a child process: a headless run reaches every stage and
// its frames show what each screen should (the logos on their colours, the
// typed name in the field, the slide, the growing progress bar, the fade,
// moving particles); two runs write the same bytes; bad arguments give exit
// status 2; in a window on a private Xvfb server Escape and the window
// manager's close both end the program.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <zyn/io/PacPackage.h>

#include "DemoApp.h"
#include "DemoContent.h"
#include "DemoRun.h"
#include "HeadlessRecorder.h"
#include "programs/support/HostTestUtil.h"
#include "support/GlDriver.h"

// Xlib last: its macros would rewrite the framework's headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

namespace fs = std::filesystem;

namespace {

const int kW = 256;
const int kH = 192;
const int kFps = 8;
const int kFrames = 18 * kFps;  // the default length

struct Image {
    int w = 0, h = 0;
    std::vector<unsigned char> rgba;
    const unsigned char* At(int x, int y) const { return &rgba[(size_t(y) * size_t(w) + size_t(x)) * 4]; }
    // Mean of r, g and b over the rectangle [x1, x2) x [y1, y2).
    double Mean(int x1, int y1, int x2, int y2) const {
        double sum = 0.0;
        for (int y = y1; y < y2; ++y)
            for (int x = x1; x < x2; ++x) sum += double(At(x, y)[0]) + At(x, y)[1] + At(x, y)[2];
        return sum / (3.0 * double(x2 - x1) * double(y2 - y1));
    }
    // Grey to white pixels of the rectangle, every channel above the level:
    // white text on a dark ground, not the gold caret.
    int Whitish(int x1, int y1, int x2, int y2, int level) const {
        int n = 0;
        for (int y = y1; y < y2; ++y)
            for (int x = x1; x < x2; ++x) {
                const unsigned char* p = At(x, y);
                const int lo = std::min({p[0], p[1], p[2]}), hi = std::max({p[0], p[1], p[2]});
                n += lo > level && hi - lo < 40;
            }
        return n;
    }
};

double MeanDifference(const Image& a, const Image& b) {
    double sum = 0.0;
    for (size_t i = 0; i < a.rgba.size(); ++i) sum += std::abs(int(a.rgba[i]) - int(b.rgba[i]));
    return sum / double(a.rgba.size());
}

// Logical coordinates of the demo's 1024 x 768 screen in frame pixels.
int X(float logical) { return int(logical * float(kW) / float(Demo::kAppWidth)); }
int Y(float logical) { return int(logical * float(kH) / float(Demo::kAppHeight)); }

struct StageSpan {
    std::string name;
    int first = 0;
    int last = 0;  // inclusive
};

std::map<std::string, std::string> Environment(const HostTest::TempDir& home) {
    return HostTest::QuietEnvironment(home.Path());
}

int RunDemo(const HostTest::TempDir& dir, std::vector<std::string> args, std::string* out, std::string* err) {
    args.insert(args.begin(), ZYN_DEMO_EXE);
    return HostTest::RunProgram(args, Environment(dir), dir.Path(), out, err, 240000);
}

std::vector<std::string> HeadlessArgs(const std::string& out, int w = kW, int h = kH) {
    return {"--headless",
            "--out",
            out,
            "--fps",
            std::to_string(kFps),
            "--size",
            std::to_string(w) + "x" + std::to_string(h),
            "--data",
            ZYN_DEMO_DATA_DIR};
}

class HeadlessRun : public ::testing::Test {
protected:
    Image Frame(int k) {
        Image image;
        const std::string path = m_Dir / ("out/" + ZynTool::FrameFileName(k));
        EXPECT_TRUE(HostTest::ReadPng(path, image.w, image.h, image.rgba)) << path;
        return image;
    }
    std::vector<StageSpan> ReadStages(int frameCount) {
        std::istringstream in(HostTest::ReadFileText(m_Dir / "out/stages.txt"));
        std::vector<StageSpan> spans;
        std::string name;
        int first = 0;
        double seconds = 0.0;
        while (in >> name >> first >> seconds) {
            if (!spans.empty()) spans.back().last = first - 1;
            spans.push_back({name, first, frameCount - 1});
            EXPECT_NEAR(seconds, double(first + 1) / kFps, 1e-3) << name;
        }
        return spans;
    }

    HostTest::TempDir m_Dir;
};

}  // namespace

TEST_F(HeadlessRun, ReachesEveryStageAndShowsEachScreen) {
    std::string out, err;
    ASSERT_EQ(RunDemo(m_Dir, HeadlessArgs("out"), &out, &err), 0) << err;
    EXPECT_EQ(err, "");
    EXPECT_NE(out.find("Wrote 144 frames of 256x192"), std::string::npos) << out;
    EXPECT_TRUE(HostTest::FileExists(m_Dir / ("out/" + ZynTool::FrameFileName(kFrames - 1))));
    EXPECT_FALSE(HostTest::FileExists(m_Dir / ("out/" + ZynTool::FrameFileName(kFrames))));

    // One stage after the other, in the demo's order.
    const std::vector<StageSpan> spans = ReadStages(kFrames);
    ASSERT_EQ(spans.size(), size_t(Demo::DemoApp::kStageCount));
    for (int s = 0; s < Demo::DemoApp::kStageCount; ++s) {
        EXPECT_EQ(spans[size_t(s)].name, Demo::DemoApp::StageName(s));
        EXPECT_LE(spans[size_t(s)].first, spans[size_t(s)].last) << spans[size_t(s)].name;
    }
    EXPECT_EQ(spans[0].first, 0);
    const StageSpan &logos = spans[0], &widgets = spans[1], &slide = spans[2], &loading = spans[3],
                    &fade = spans[4], &playground = spans[5];

    // The contact sheet: a row of four tiles for each stage.
    Image sheet;
    ASSERT_TRUE(HostTest::ReadPng(m_Dir / "out/contact.png", sheet.w, sheet.h, sheet.rgba));
    EXPECT_EQ(sheet.w, 4 * kW);
    EXPECT_EQ(sheet.h, Demo::DemoApp::kStageCount * kH);

    // Each stage's middle frame looks unlike every other's.
    std::vector<Image> middles;
    for (const StageSpan& s : spans) middles.push_back(Frame((s.first + s.last) / 2));
    for (size_t a = 0; a < middles.size(); ++a)
        for (size_t b = a + 1; b < middles.size(); ++b)
            EXPECT_GT(MeanDifference(middles[a], middles[b]), 2.0) << spans[a].name << " / " << spans[b].name;

    // Every logo screen is shown on its own colour (the bottom left corner:
    // the frame-rate text sits at the top).
    for (const Demo::LogoScreen& screen : Demo::LogoScreens()) {
        bool shown = false;
        for (int k = logos.first; k <= logos.last && !shown; ++k) {
            const Image frame = Frame(k);
            const unsigned char* p = frame.At(1, kH - 2);
            shown = p[0] == screen.back[0] && p[1] == screen.back[1] && p[2] == screen.back[2];
        }
        EXPECT_TRUE(shown) << screen.image;
    }

    // The name field: empty once the screen has faded in, the name in white
    // at the end (the field's own fill is far darker than the level).
    const int fx1 = X(Demo::kNameField.x1) + 2, fx2 = X(Demo::kNameField.x2) - 2;
    const int fy1 = Y(Demo::kNameField.y1) + 2, fy2 = Y(Demo::kNameField.y2) - 2;
    const Image empty = Frame(widgets.first + int(0.9 * kFps));
    const Image named = Frame(widgets.last);
    EXPECT_LT(empty.Whitish(fx1, fy1, fx2, fy2, 60), 3);
    EXPECT_GT(named.Whitish(fx1, fy1, fx2, fy2, 60), 25);
    // The name stays to the left of the field's middle: "Ada 7", not longer.
    EXPECT_EQ(named.Whitish((fx1 + fx2) / 2, fy1, fx2, fy2, 60), 0);

    // Halfway through the slide the loader (black) has come in on the left,
    // the widget screen (its gradient) is leaving on the right.
    const Image sliding = Frame((slide.first + slide.last) / 2);
    EXPECT_LT(sliding.Mean(0, 0, kW / 2 - 8, kH / 4), 3.0);
    EXPECT_GT(sliding.Mean(kW / 2 + 8, 0, kW, kH / 4), 12.0);

    // The progress bar grows from frame to frame and ends white.
    const int barY = Y(590.0f), barLeft = X(256.0f) + 1, barRight = X(768.0f) - 1;
    int lastEdge = -1;
    bool partial = false;
    for (int k = slide.last + 1; k <= loading.last; ++k) {
        const Image f = Frame(k);
        int edge = barLeft;
        while (edge < barRight && f.At(edge, barY)[0] >= 200) ++edge;
        EXPECT_GE(edge, lastEdge) << "frame " << k;
        lastEdge = edge;
        const unsigned char* end = f.At(barRight, barY);
        if (edge > barLeft && edge < barRight && std::abs(int(end[0]) - 128) < 8) partial = true;
    }
    EXPECT_TRUE(partial) << "no frame shows a partly filled bar";
    const Image loaded = Frame(loading.last);
    EXPECT_EQ(loaded.At(barLeft, barY)[0], 255);
    EXPECT_EQ(loaded.At(barRight, barY)[0], 255);

    // The fade passes through black.
    double darkest = 255.0;
    for (int k = fade.first; k <= fade.last; ++k) darkest = std::min(darkest, Frame(k).Mean(0, 0, kW, kH));
    EXPECT_LT(darkest, 2.0);

    // The playground's particles move from frame to frame in the middle.
    const int k = (playground.first + playground.last) / 2;
    const Image a = Frame(k), b = Frame(k + 1);
    int moved = 0;
    for (int y = kH / 4; y < kH * 3 / 4; ++y)
        for (int x = kW / 4; x < kW * 3 / 4; ++x)
            moved += std::abs(int(a.At(x, y)[0]) - int(b.At(x, y)[0])) > 24 ? 1 : 0;
    EXPECT_GT(moved, 40);
}

TEST_F(HeadlessRun, TwoRunsWriteTheSameBytes) {
    std::string err;
    ASSERT_EQ(RunDemo(m_Dir, HeadlessArgs("one", 128, 96), nullptr, &err), 0) << err;
    ASSERT_EQ(RunDemo(m_Dir, HeadlessArgs("two", 128, 96), nullptr, &err), 0) << err;
    int files = 0;
    for (const auto& entry : fs::directory_iterator(m_Dir / "one")) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(HostTest::ReadFileBytes(entry.path().string()) ==
                    HostTest::ReadFileBytes(m_Dir / ("two/" + name)))
            << name;
        ++files;
    }
    EXPECT_EQ(files, kFrames + 2);  // the frames, the contact sheet and stages.txt
}

TEST(DemoProgram, BadArgumentsExitWithTwoAndAHint) {
    HostTest::TempDir dir;
    const std::vector<std::vector<std::string>> bad = {{},
                                                       {"--headless"},
                                                       {"--window", "--fps", "20"},
                                                       {"--headless", "--out", "x", "--size", "9x9"},
                                                       {"-x"}};
    for (const auto& args : bad) {
        std::string out, err;
        EXPECT_EQ(RunDemo(dir, args, &out, &err), 2) << err;
        EXPECT_NE(err.find("Run 'zyn-demo --help' for the options."), std::string::npos) << err;
        EXPECT_EQ(out, "");
    }
    EXPECT_FALSE(HostTest::FileExists(dir / "x"));
}

TEST(DemoProgram, HelpGoesToStandardOutput) {
    HostTest::TempDir dir;
    std::string out, err;
    EXPECT_EQ(RunDemo(dir, {"--help"}, &out, &err), 0);
    EXPECT_EQ(out.rfind("Usage: zyn-demo --window", 0), 0u) << out;
    EXPECT_EQ(err, "");
}

TEST(DemoProgram, AFolderWithoutThePackExitsWithOne) {
    HostTest::TempDir dir;
    std::string err;
    EXPECT_EQ(RunDemo(dir, {"--headless", "--out", "x", "--data", dir.Path()}, nullptr, &err), 1);
    EXPECT_NE(err.find("demo.pac is missing from the data folder " + dir.Path()), std::string::npos) << err;
}

TEST(DemoProgram, APackMissingWhatTheDemoReadsExitsWithOne) {
    HostTest::TempDir dir;
    {
        std::ofstream(dir / "english.utf8") << Demo::StringTableText();
        std::ofstream(dir / "junk.txt") << "nothing the demo reads";
    }
    // Without its texts the demo stops before any window or frame.
    ASSERT_TRUE(Zyn::PacPackage::CreatePacPackage(
        std::vector<Zyn::PacPackage::Source>{{"junk.txt", dir / "junk.txt"}}, (dir / "demo.pac").c_str()));
    std::string err;
    EXPECT_EQ(RunDemo(dir, {"--headless", "--out", "x", "--data", dir.Path()}, nullptr, &err), 1);
    EXPECT_NE(err.find("holds no usable english.utf8"), std::string::npos) << err;
    EXPECT_FALSE(HostTest::FileExists(dir / ("x/" + ZynTool::FrameFileName(0))));

    // With its texts but without the logo configuration it cannot begin.
    ASSERT_TRUE(Zyn::PacPackage::CreatePacPackage(
        std::vector<Zyn::PacPackage::Source>{{"english.utf8", dir / "english.utf8"}},
        (dir / "demo.pac").c_str()));
    EXPECT_EQ(RunDemo(dir, {"--headless", "--out", "x", "--data", dir.Path()}, nullptr, &err), 1);
    EXPECT_NE(err.find("demo\\logos.cfg gives no logo screen"), std::string::npos) << err;
    EXPECT_NE(err.find("cannot start the demo"), std::string::npos) << err;
}

namespace {

// The demo's window on a private X server, found by its title.
class DemoWindow : public ::testing::Test {
protected:
    void SetUp() override {
        if (!m_Server.Start(640, 480)) GTEST_SKIP() << "no Xvfb";
        ZynTest::KeepGlDriverLoaded(m_Server.Name());
        m_pDisplay = XOpenDisplay(m_Server.Name().c_str());
        ASSERT_NE(m_pDisplay, nullptr);
        std::map<std::string, std::string> env = Environment(m_Dir);
        env["DISPLAY"] = m_Server.Name();
        // The demo keeps Mesa's driver loaded, so that its leak report sees
        // what the driver's globals hold.
        const std::string preload = ZynTest::GlDriverPreload();
        if (!preload.empty()) env["LD_PRELOAD"] = preload;
        ASSERT_TRUE(
            m_Child.Start({ZYN_DEMO_EXE, "--window", "320x240", "--autoplay", "--data", ZYN_DEMO_DATA_DIR},
                          env, m_Dir.Path()));
        for (int i = 0; i < 300 && !m_Window; ++i) {
            m_Window = Find(DefaultRootWindow(m_pDisplay));
            if (!m_Window) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ASSERT_NE(m_Window, 0u) << m_Child.Stderr();
    }
    void TearDown() override {
        if (m_pDisplay) XCloseDisplay(m_pDisplay);
    }

    Window Find(Window parent) {
        Window root = 0, up = 0, *children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(m_pDisplay, parent, &root, &up, &children, &count)) return 0;
        Window found = 0;
        for (unsigned i = 0; i < count && !found; ++i) {
            char* name = nullptr;
            if (XFetchName(m_pDisplay, children[i], &name) && name) {
                if (std::string(name) == "Zyn demo") found = children[i];
                XFree(name);
            }
            if (!found) found = Find(children[i]);
        }
        if (children) XFree(children);
        return found;
    }
    // Share of the window's pixels that are not black.
    double LitShare() {
        XImage* image = XGetImage(m_pDisplay, m_Window, 0, 0, 320, 240, AllPlanes, ZPixmap);
        if (!image) return 0.0;
        int lit = 0;
        for (int y = 0; y < 240; ++y)
            for (int x = 0; x < 320; ++x) lit += XGetPixel(image, x, y) != 0;
        XDestroyImage(image);
        return lit / (320.0 * 240.0);
    }

    HostTest::TempDir m_Dir;
    HostTest::XvfbServer m_Server;
    HostTest::Child m_Child;
    Display* m_pDisplay = nullptr;
    Window m_Window = 0;
};

}  // namespace

TEST_F(DemoWindow, ShowsTheLogosAndEndsOnEscape) {
    // The first logo screen, on its blue, from half a second in.
    bool lit = false;
    for (int i = 0; i < 100 && !lit; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        lit = LitShare() > 0.9;
    }
    EXPECT_TRUE(lit);
    XKeyEvent key = {};
    key.type = KeyPress;
    key.display = m_pDisplay;
    key.window = m_Window;
    key.root = DefaultRootWindow(m_pDisplay);
    key.time = CurrentTime;
    key.same_screen = True;
    key.keycode = XKeysymToKeycode(m_pDisplay, XK_Escape);
    XSendEvent(m_pDisplay, m_Window, False, KeyPressMask, reinterpret_cast<XEvent*>(&key));
    XFlush(m_pDisplay);
    ASSERT_TRUE(m_Child.Wait(20000)) << "still running after Escape";
    EXPECT_EQ(m_Child.ExitStatus(), 0) << m_Child.Stderr();
}

TEST_F(DemoWindow, EndsWhenTheWindowManagerClosesIt) {
    XClientMessageEvent close = {};
    close.type = ClientMessage;
    close.window = m_Window;
    close.message_type = XInternAtom(m_pDisplay, "WM_PROTOCOLS", False);
    close.format = 32;
    close.data.l[0] = long(XInternAtom(m_pDisplay, "WM_DELETE_WINDOW", False));
    close.data.l[1] = CurrentTime;
    XSendEvent(m_pDisplay, m_Window, False, NoEventMask, reinterpret_cast<XEvent*>(&close));
    XFlush(m_pDisplay);
    ASSERT_TRUE(m_Child.Wait(20000)) << "still running after the close";
    EXPECT_EQ(m_Child.ExitStatus(), 0) << m_Child.Stderr();
}
