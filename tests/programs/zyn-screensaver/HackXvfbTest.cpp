// zyn-screensaver as a daemon's hack and as a preview, against a private
// Xvfb server: it draws into the window it is given, follows its size, stops
// promptly on signals and goes away cleanly with its window. Skipped where
// Xvfb is not installed.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "programs/support/HostTestUtil.h"
#include "support/GlDriver.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <GL/glx.h>

using namespace HostTest;

namespace {

const std::string kProgram = ZYN_SCREENSAVER_EXE;
const std::string kPackFolder = ZYN_TEST_PACK_DIR;
const int kStartMs = 60000;  // start-up decodes the art: slow under the sanitizers
const int kDrawMs = 30000;

bool HasPack() { return FileExists(kPackFolder + "/RezAduva.pac"); }

const char kArtCache[] = ".cache/zyn-screensaver/images/";

#if defined(__SANITIZE_ADDRESS__)
const bool kGlibcMalloc = false;  // the sanitizer's allocator has no huge-page setting
#else
const bool kGlibcMalloc = true;
#endif

// Whether the kernel gives transparent huge pages to blocks that ask.
bool HugePagesOnRequest() {
    return ReadFileText("/sys/kernel/mm/transparent_hugepage/enabled").find("[madvise]") != std::string::npos;
}

bool IsArtCacheEntry(const std::string& name) {
    return name.rfind(kArtCache, 0) == 0 && name.size() > 4 && name.compare(name.size() - 4, 4, ".pix") == 0;
}

// Every file under a folder, relative to it, leaving out the captured
// output of the children the test started there and the decoded art the
// hack keeps for its next start (counted in `cached` when given).
std::vector<std::string> FilesWritten(const std::string& folder, int* cached = nullptr) {
    namespace fs = std::filesystem;
    std::vector<std::string> files;
    if (cached) *cached = 0;
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(folder)) {
        if (e.is_directory()) continue;
        const std::string name = e.path().lexically_relative(folder).string();
        if (name.rfind("child-", 0) == 0) continue;
        if (IsArtCacheEntry(name)) {
            if (cached) ++*cached;
            continue;
        }
        files.push_back(name);
    }
    return files;
}

std::string Hex(unsigned long id) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%lx", id);
    return text;
}

class HackUnderXvfb : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ms_pServer = new XvfbServer;
        if (!ms_pServer->Start(640, 480)) {
            delete ms_pServer;
            ms_pServer = nullptr;
            return;
        }
        ZynTest::KeepGlDriverLoaded(ms_pServer->Name());
    }
    static void TearDownTestSuite() {
        delete ms_pServer;
        ms_pServer = nullptr;
    }

    void SetUp() override {
        if (!ms_pServer) GTEST_SKIP() << "Xvfb is not available";
        m_pDisplay = XOpenDisplay(ms_pServer->Name().c_str());
        ASSERT_NE(m_pDisplay, nullptr);
    }
    void TearDown() override {
        if (m_pDisplay) XCloseDisplay(m_pDisplay);
    }

    // A window as a daemon makes one: a double-buffered GL visual, mapped.
    Window MakeWindow(int width, int height) {
        int attribs[] = {GLX_RGBA, GLX_DOUBLEBUFFER, GLX_RED_SIZE, 8, GLX_GREEN_SIZE, 8, GLX_BLUE_SIZE, 8,
                         None};
        XVisualInfo* vi = glXChooseVisual(m_pDisplay, DefaultScreen(m_pDisplay), attribs);
        if (!vi) return 0;
        const Window root = DefaultRootWindow(m_pDisplay);
        XSetWindowAttributes swa;
        std::memset(&swa, 0, sizeof swa);
        swa.colormap = XCreateColormap(m_pDisplay, root, vi->visual, AllocNone);
        swa.background_pixel = 0;
        swa.border_pixel = 0;
        const Window w =
            XCreateWindow(m_pDisplay, root, 0, 0, unsigned(width), unsigned(height), 0, vi->depth,
                          InputOutput, vi->visual, CWColormap | CWBackPixel | CWBorderPixel, &swa);
        XFree(vi);
        XMapWindow(m_pDisplay, w);
        XSync(m_pDisplay, False);
        return w;
    }

    // Pixels brighter than near-black inside [x0, x1) × [y0, y1).
    int CountLit(Window w, int x0, int y0, int x1, int y1) {
        XImage* image =
            XGetImage(m_pDisplay, w, x0, y0, unsigned(x1 - x0), unsigned(y1 - y0), AllPlanes, ZPixmap);
        if (!image) return -1;
        int lit = 0;
        for (int y = 0; y < y1 - y0; ++y) {
            for (int x = 0; x < x1 - x0; ++x) {
                const unsigned long p = XGetPixel(image, x, y);
                lit += ((p >> 16) & 0xFF) > 24 || ((p >> 8) & 0xFF) > 24 || (p & 0xFF) > 24;
            }
        }
        XDestroyImage(image);
        return lit;
    }

    bool WaitForDrawing(Child& child, Window w, int x0, int y0, int x1, int y1) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kDrawMs);
        while (std::chrono::steady_clock::now() < end) {
            if (child.Wait(0)) return false;
            if (CountLit(w, x0, y0, x1, y1) > 50) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

    std::map<std::string, std::string> Environment() {
        std::map<std::string, std::string> env = QuietEnvironment(m_Home.Path());
        env["DISPLAY"] = ms_pServer->Name();
        // The hack keeps Mesa's driver loaded as this process does, so that
        // its leak report sees what the driver's globals hold.
        const std::string preload = ZynTest::GlDriverPreload();
        if (!preload.empty()) env["LD_PRELOAD"] = preload;
        return env;
    }

    // -verbose: the tests follow the hack through its information lines,
    // which a hack keeps from the daemon's log by default.
    std::vector<std::string> HackArgs(std::vector<std::string> rest) {
        rest.insert(rest.begin(), kProgram);
        rest.push_back("--data");
        rest.push_back(kPackFolder);
        rest.push_back("-verbose");
        return rest;
    }

    // SIGTERM, then the time until the process has ended, in milliseconds;
    // -1 when it did not end within five seconds.
    long StopAndTime(Child& child, int sig = SIGTERM) {
        const auto start = std::chrono::steady_clock::now();
        if (!child.Signal(sig)) return -1;
        if (!child.Wait(5000)) return -1;
        return long(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
                .count());
    }

    static XvfbServer* ms_pServer;
    Display* m_pDisplay = nullptr;
    TempDir m_Home;
};

XvfbServer* HackUnderXvfb::ms_pServer = nullptr;

}  // namespace

TEST_F(HackUnderXvfb, DrawsIntoTheGivenWindowAndStopsPromptlyOnTerm) {
    const Window w = MakeWindow(200, 150);
    ASSERT_NE(w, 0u);
    Child hack;
    // A relative stats path names the starting folder, not the data folder
    // the view moves into.
    ASSERT_TRUE(hack.Start(HackArgs({"-window-id", Hex(w), "-delay", "20000", "--stats", "stats.txt"}),
                           Environment(), m_Home.Path()));
    ASSERT_TRUE(hack.WaitForStderr("startAnimation", kStartMs)) << hack.Stderr();
    if (HasPack()) {
        EXPECT_TRUE(WaitForDrawing(hack, w, 0, 0, 200, 150)) << "nothing drawn into the window";
    }
    // Started again by itself, same process, with malloc's large blocks on
    // huge pages.
    if (kGlibcMalloc && HugePagesOnRequest()) {
        const std::string environment = ReadFileText("/proc/" + std::to_string(hack.Pid()) + "/environ");
        EXPECT_NE(environment.find(std::string("GLIBC_TUNABLES=glibc.malloc.hugetlb=1") + '\0'), std::string::npos);
    }

    const long ms = StopAndTime(hack);
    std::printf("[ figure ] exit after SIGTERM: %ld ms\n", ms);
    // How promptly is bench/stop-time.sh's figure on a Release build.
    ASSERT_GE(ms, 0) << "still running 5 s after SIGTERM";
    EXPECT_EQ(hack.ExitStatus(), 0) << hack.Stderr();
    EXPECT_FALSE(ProcessGroupAlive(hack.Pid())) << "something of the hack outlived it";
    // It was asked for the stats file and nothing else: no log, no settings;
    // only its decoded art, one entry per image of the pack, for next time.
    int cached = 0;
    EXPECT_EQ(FilesWritten(m_Home.Path(), &cached), std::vector<std::string>{"stats.txt"});
    if (HasPack()) {
        EXPECT_EQ(cached, 6);
    }
    const std::string stats = ReadFileText(m_Home / "stats.txt");
    long frames = 0;
    EXPECT_EQ(std::sscanf(stats.c_str(), "frames %ld", &frames), 1) << stats;
    if (HasPack()) {
        EXPECT_GT(frames, 0);
    }
}

// Low detail draws a quarter of the pixels and stretches them over the
// window: the picture reaches the corner far from GL's origin.
TEST_F(HackUnderXvfb, LowDetailStretchesHalfSizeFramesOverTheWindow) {
    if (!HasPack()) GTEST_SKIP() << "no RezAduva.pac in " << kPackFolder;
    const Window w = MakeWindow(200, 150);
    ASSERT_NE(w, 0u);
    Child hack;
    ASSERT_TRUE(hack.Start(HackArgs({"-window-id", Hex(w), "-detail", "low"}), Environment(), m_Home.Path()));
    ASSERT_TRUE(hack.WaitForStderr("low detail: frames drawn at 100 x 75", kStartMs)) << hack.Stderr();
    EXPECT_TRUE(WaitForDrawing(hack, w, 100, 0, 200, 75)) << "nothing drawn in the top right quarter";
    EXPECT_GE(StopAndTime(hack), 0);
    EXPECT_EQ(hack.ExitStatus(), 0) << hack.Stderr();
}

// Nobody sees a window that is unmapped or fully covered: the hack draws no
// frame then and sleeps, and draws again once the window shows.
TEST_F(HackUnderXvfb, DrawsNothingWhileItsWindowCannotBeSeen) {
    if (!HasPack()) GTEST_SKIP() << "no RezAduva.pac in " << kPackFolder;
    const Window w = MakeWindow(200, 150);
    ASSERT_NE(w, 0u);
    Child hack;
    ASSERT_TRUE(hack.Start(HackArgs({"-window-id", Hex(w), "--stats", "stats.txt"}), Environment(), m_Home.Path()));
    ASSERT_TRUE(hack.WaitForStderr("startAnimation", kStartMs)) << hack.Stderr();
    // The stats file follows the frames once a second while any are drawn.
    auto frames = [&]() { return StatsFrames(m_Home / "stats.txt"); };
    auto framesGrow = [&]() {
        const long before = frames();
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kDrawMs);
        while (std::chrono::steady_clock::now() < end && !hack.Wait(0)) {
            if (frames() > std::max(before, 0L)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    };
    ASSERT_TRUE(framesGrow()) << hack.Stderr();

    struct Case {
        const char* what;
        std::function<Window()> hide;  // returns a window to destroy afterwards, or 0
        std::function<void(Window)> show;
    };
    const Case cases[] = {
        {"unmapped", [&]() -> Window { XUnmapWindow(m_pDisplay, w); return 0; },
         [&](Window) { XMapWindow(m_pDisplay, w); }},
        {"covered by another window", [&]() { return MakeWindow(300, 200); },
         [&](Window cover) { XDestroyWindow(m_pDisplay, cover); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Window cover = c.hide();
        XSync(m_pDisplay, False);
        // A frame under way and the stats line after it may still come.
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        const long hiddenFrames = frames();
        const long hiddenTicks = CpuTicks(hack.Pid());
        std::this_thread::sleep_for(std::chrono::seconds(3));
        EXPECT_EQ(frames(), hiddenFrames) << "frames drawn while nobody could see them";
        // 1 % of a core over 3 s is 30 ms.
        EXPECT_LE((CpuTicks(hack.Pid()) - hiddenTicks) * 1000 / sysconf(_SC_CLK_TCK), 30);
        c.show(cover);
        XSync(m_pDisplay, False);
        EXPECT_TRUE(framesGrow()) << "no frames once the window shows again";
    }
    EXPECT_GE(StopAndTime(hack), 0);
    EXPECT_EQ(hack.ExitStatus(), 0) << hack.Stderr();
}

TEST_F(HackUnderXvfb, RootFollowsTheDaemonsWindowAndItsSize) {
    const Window w = MakeWindow(200, 150);
    ASSERT_NE(w, 0u);
    std::map<std::string, std::string> env = Environment();
    env["XSCREENSAVER_WINDOW"] = Hex(w);
    Child hack;
    ASSERT_TRUE(hack.Start(HackArgs({"-root", "-fps"}), env, m_Home.Path()));
    ASSERT_TRUE(hack.WaitForStderr("startAnimation", kStartMs)) << hack.Stderr();
    if (HasPack()) {
        EXPECT_TRUE(WaitForDrawing(hack, w, 0, 0, 200, 150));
    }

    XResizeWindow(m_pDisplay, w, 400, 300);
    XSync(m_pDisplay, False);
    EXPECT_TRUE(hack.WaitForStderr("SET FRAME SIZE", 10000)) << hack.Stderr();
    // The scene now fills the larger window, not just its old corner.
    if (HasPack()) {
        EXPECT_TRUE(WaitForDrawing(hack, w, 200, 150, 400, 300)) << "the new area stays black";
    }

    EXPECT_GE(StopAndTime(hack, SIGINT), 0);
    EXPECT_EQ(hack.ExitStatus(), 0) << hack.Stderr();
}

TEST_F(HackUnderXvfb, ExitsCleanlyWhenItsWindowIsDestroyed) {
    const Window w = MakeWindow(160, 120);
    ASSERT_NE(w, 0u);
    Child hack;
    ASSERT_TRUE(
        hack.Start(HackArgs({"--window-id", Hex(w), "--delay", "10000"}), Environment(), m_Home.Path()));
    ASSERT_TRUE(hack.WaitForStderr("startAnimation", kStartMs)) << hack.Stderr();
    if (HasPack()) {
        EXPECT_TRUE(WaitForDrawing(hack, w, 0, 0, 160, 120));
    }
    XDestroyWindow(m_pDisplay, w);
    XSync(m_pDisplay, False);
    ASSERT_TRUE(hack.Wait(5000)) << "still running without its window";
    EXPECT_EQ(hack.ExitStatus(), 0) << hack.Stderr();
    EXPECT_NE(hack.Stderr().find("the window is gone"), std::string::npos) << hack.Stderr();
    EXPECT_FALSE(ProcessGroupAlive(hack.Pid()));
    EXPECT_EQ(FilesWritten(m_Home.Path()), std::vector<std::string>{});
}

TEST_F(HackUnderXvfb, OneProcessPerScreenRunsSideBySide) {
    const Window a = MakeWindow(160, 120);
    const Window b = MakeWindow(160, 120);
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    XMoveWindow(m_pDisplay, b, 320, 240);
    XSync(m_pDisplay, False);
    Child first, second;
    ASSERT_TRUE(first.Start(HackArgs({"-window-id", Hex(a)}), Environment(), m_Home.Path()));
    ASSERT_TRUE(second.Start(HackArgs({"-window-id", Hex(b)}), Environment(), m_Home.Path()));
    ASSERT_TRUE(first.WaitForStderr("startAnimation", kStartMs)) << first.Stderr();
    ASSERT_TRUE(second.WaitForStderr("startAnimation", kStartMs)) << second.Stderr();
    if (HasPack()) {
        EXPECT_TRUE(WaitForDrawing(first, a, 0, 0, 160, 120));
        EXPECT_TRUE(WaitForDrawing(second, b, 0, 0, 160, 120));
    }
    EXPECT_GE(StopAndTime(first), 0);
    EXPECT_GE(StopAndTime(second), 0);
    EXPECT_EQ(first.ExitStatus(), 0) << first.Stderr();
    EXPECT_EQ(second.ExitStatus(), 0) << second.Stderr();
}

TEST_F(HackUnderXvfb, MissingPackEndsTheHackAtOnceSoTheDaemonCanSaySo) {
    const Window w = MakeWindow(160, 120);
    ASSERT_NE(w, 0u);
    const std::string empty = m_Home / "no-data";
    ASSERT_EQ(mkdir(empty.c_str(), 0755), 0);
    Child hack;
    ASSERT_TRUE(hack.Start({kProgram, "-window-id", Hex(w), "--data", empty}, Environment(), m_Home.Path()));
    ASSERT_TRUE(hack.Wait(kStartMs)) << "a hack without its art must end, not keep the screen blank";
    EXPECT_EQ(hack.ExitStatus(), 1) << hack.Stderr();
    EXPECT_NE(hack.Stderr().find("RezAduva.pac is missing from the data folder " + empty), std::string::npos)
        << hack.Stderr();
    EXPECT_EQ(hack.Stderr().find("startAnimation"), std::string::npos) << "nothing started";
}

TEST_F(HackUnderXvfb, MissingWindowsAndDisplaysAreRefused) {
    std::string out, err;
    EXPECT_EQ(RunProgram(HackArgs({"-window-id", "0x7ffffff"}), Environment(), m_Home.Path(), &out, &err), 1);
    EXPECT_NE(err.find("there is no window 0x7ffffff"), std::string::npos) << err;

    std::map<std::string, std::string> env = Environment();
    env["XSCREENSAVER_WINDOW"] = "not-a-window";
    EXPECT_EQ(RunProgram(HackArgs({"-root"}), env, m_Home.Path(), &out, &err), 1);
    EXPECT_NE(err.find("XSCREENSAVER_WINDOW holds no window id"), std::string::npos) << err;

    EXPECT_EQ(RunProgram(HackArgs({"-root", "-display", ":4093"}), Environment(), m_Home.Path(), &out, &err),
              1);
    EXPECT_NE(err.find("cannot open the X display ':4093'"), std::string::npos) << err;
}

TEST_F(HackUnderXvfb, PreviewWindowClosesOnAKeyPress) {
    if (!HasPack()) GTEST_SKIP() << "the preview needs RezAduva.pac in " << kPackFolder;
    Child preview;
    ASSERT_TRUE(preview.Start(HackArgs({"--window", "200x150"}), Environment(), m_Home.Path()));
    ASSERT_TRUE(preview.WaitForStderr("startAnimation", kStartMs)) << preview.Stderr();

    // Find it by its title, as a user would see it.
    Window found = 0;
    Window rootReturn = 0, parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    XQueryTree(m_pDisplay, DefaultRootWindow(m_pDisplay), &rootReturn, &parent, &children, &count);
    for (unsigned i = 0; i < count && !found; ++i) {
        char* name = nullptr;
        if (XFetchName(m_pDisplay, children[i], &name) && name) {
            if (std::strcmp(name, "Zyn Screen Saver") == 0) found = children[i];
            XFree(name);
        }
    }
    if (children) XFree(children);
    ASSERT_NE(found, 0u);
    EXPECT_TRUE(WaitForDrawing(preview, found, 0, 0, 200, 150));
    EXPECT_FALSE(preview.Wait(0)) << "a preview stays until the user moves";

    XKeyEvent key;
    std::memset(&key, 0, sizeof key);
    key.type = KeyPress;
    key.display = m_pDisplay;
    key.window = found;
    key.root = DefaultRootWindow(m_pDisplay);
    key.same_screen = True;
    key.keycode = XKeysymToKeycode(m_pDisplay, XK_Escape);
    XSendEvent(m_pDisplay, found, True, KeyPressMask, reinterpret_cast<XEvent*>(&key));
    XSync(m_pDisplay, False);
    ASSERT_TRUE(preview.Wait(5000)) << "Escape did not close the preview";
    EXPECT_EQ(preview.ExitStatus(), 0) << preview.Stderr();
    EXPECT_TRUE(FileExists(m_Home / "state/zyn-screensaver/log.txt"))
        << "the preview logs to the state folder";
}

TEST_F(HackUnderXvfb, LosingTheDisplayEndsWithAMessageNotACrash) {
    // A server of its own, to be taken away under the hack.
    XvfbServer doomed;
    ASSERT_TRUE(doomed.Start(320, 240));
    std::map<std::string, std::string> env = Environment();
    env["DISPLAY"] = doomed.Name();
    Child hack;
    ASSERT_TRUE(hack.Start(HackArgs({"-root"}), env, m_Home.Path()));
    ASSERT_TRUE(hack.WaitForStderr("startAnimation", kStartMs)) << hack.Stderr();
    doomed.Stop();
    ASSERT_TRUE(hack.Wait(5000)) << "still running without its display";
    EXPECT_EQ(hack.ExitStatus(), 1) << hack.Stderr();
    EXPECT_NE(hack.Stderr().find("lost the connection to the X display"), std::string::npos) << hack.Stderr();
}
