// The X11 backend against a private Xvfb server; skipped where Xvfb is not
// installed.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <unistd.h>
#include <vector>

#include <zyn/platform/x11/X11WindowSurface.h>

#include "support/GlDriver.h"
#include "support/XvfbServer.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <GL/gl.h>
#include <GL/glx.h>

using namespace Zyn;
using ZynTest::KeepGlDriverLoaded;
using ZynTest::XvfbServer;

namespace {

class X11WindowFixture : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ms_pServer = new XvfbServer;
        if (!ms_pServer->Start(640, 480)) {
            delete ms_pServer;
            ms_pServer = nullptr;
            return;
        }
        KeepGlDriverLoaded(ms_pServer->Name());
    }
    static void TearDownTestSuite() {
        delete ms_pServer;
        ms_pServer = nullptr;
    }
    void SetUp() override {
        if (!ms_pServer) GTEST_SKIP() << "Xvfb is not available";
    }

    // Pumps until the condition holds or two seconds pass.
    template <class F>
    static bool PumpUntil(X11WindowSurface* s, F condition) {
        for (int i = 0; i < 200; ++i) {
            s->PumpEvents();
            if (condition()) return true;
            usleep(10000);
        }
        return false;
    }

    static void SendKey(Display* d, Window w, KeySym sym, bool press) {
        XEvent ev = {};
        ev.xkey.type = press ? KeyPress : KeyRelease;
        ev.xkey.display = d;
        ev.xkey.window = w;
        ev.xkey.root = DefaultRootWindow(d);
        ev.xkey.keycode = XKeysymToKeycode(d, sym);
        ev.xkey.same_screen = True;
        XSendEvent(d, w, False, press ? KeyPressMask : KeyReleaseMask, &ev);
    }

    static XvfbServer* ms_pServer;
};

XvfbServer* X11WindowFixture::ms_pServer = nullptr;

typedef std::tuple<int, int, int> Ev;

void ExpectCentreRgb(const std::vector<u8>& rgba, int w, int h, int r, int g, int b) {
    const u8* p = rgba.data() + (size_t(h / 2) * size_t(w) + size_t(w / 2)) * 4;
    EXPECT_EQ(p[0], r);
    EXPECT_EQ(p[1], g);
    EXPECT_EQ(p[2], b);
    EXPECT_EQ(p[3], 255);
}

}  // namespace

TEST(X11KeyCodes, MapsKeysymsToFrameworkCodes) {
    EXPECT_EQ(X11KeySymToKeyCode(XK_BackSpace), 8);
    EXPECT_EQ(X11KeySymToKeyCode(XK_Return), 13);
    EXPECT_EQ(X11KeySymToKeyCode(XK_KP_Enter), 13);
    EXPECT_EQ(X11KeySymToKeyCode(XK_Escape), 27);
    EXPECT_EQ(X11KeySymToKeyCode(XK_space), 32);
    EXPECT_EQ(X11KeySymToKeyCode(XK_F1), 112);
    EXPECT_EQ(X11KeySymToKeyCode(XK_F12), 123);
    EXPECT_EQ(X11KeySymToKeyCode(XK_a), 'A');
    EXPECT_EQ(X11KeySymToKeyCode(XK_Z), 'Z');
    EXPECT_EQ(X11KeySymToKeyCode(XK_0), '0');
    EXPECT_EQ(X11KeySymToKeyCode(XK_9), '9');
    EXPECT_EQ(X11KeySymToKeyCode(XK_Left), 37);
    EXPECT_EQ(X11KeySymToKeyCode(XK_eacute), 0);
}

TEST_F(X11WindowFixture, OwnWindowRendersAndReadsBack) {
    std::unique_ptr<X11WindowSurface> s(
        X11WindowSurface::CreateOwnWindow("Zyn test", 64, 48, ms_pServer->Name().c_str()));
    ASSERT_TRUE(s);
    EXPECT_TRUE(s->IsOwnWindow());
    char* title = nullptr;
    ASSERT_TRUE(XFetchName(s->GetDisplay(), s->GetWindow(), &title));
    EXPECT_STREQ(title, "Zyn test");
    XFree(title);

    ASSERT_TRUE(s->CreateContext(64, 48));
    // Software Mesa under Xvfb crashes on an unlisted swap-control call.
    s->SetSwapInterval(1);
    glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    std::vector<u8> rgba;
    ASSERT_TRUE(s->ReadPixels(rgba));
    ASSERT_EQ(rgba.size(), size_t(64 * 48 * 4));
    ExpectCentreRgb(rgba, 64, 48, 0, 255, 0);
    s->SwapBuffers();

    // A second CreateContext resizes our window and keeps the context.
    ASSERT_TRUE(s->CreateContext(32, 16));
    EXPECT_EQ(s->GetWidth(), 32);
    glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    ASSERT_TRUE(s->ReadPixels(rgba));
    ASSERT_EQ(rgba.size(), size_t(32 * 16 * 4));
    ExpectCentreRgb(rgba, 32, 16, 0, 0, 255);
    s->SwapBuffers();
}

TEST_F(X11WindowFixture, ReportsResizeOnceWithNewSize) {
    std::unique_ptr<X11WindowSurface> s(
        X11WindowSurface::CreateOwnWindow("resize", 64, 48, ms_pServer->Name().c_str()));
    ASSERT_TRUE(s);
    ASSERT_TRUE(s->CreateContext(64, 48));
    XResizeWindow(s->GetDisplay(), s->GetWindow(), 200, 100);
    XSync(s->GetDisplay(), False);
    int w = 0, h = 0;
    ASSERT_TRUE(PumpUntil(s.get(), [&] { return s->TakeResize(w, h); }));
    EXPECT_EQ(w, 200);
    EXPECT_EQ(h, 100);
    EXPECT_FALSE(s->TakeResize(w, h));
    EXPECT_EQ(s->GetWidth(), 200);
}

// The window's own pixels, as a screen shows them, top row first.
std::vector<u32> WindowPixels(Display* d, Window w, int width, int height) {
    std::vector<u32> pixels;
    XImage* image = XGetImage(d, w, 0, 0, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
    if (!image) return pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) pixels.push_back(u32(XGetPixel(image, x, y)) & 0xffffffu);
    XDestroyImage(image);
    return pixels;
}

TEST_F(X11WindowFixture, HalfResolutionShowsTheFrameStretchedOverTheWindow) {
    std::unique_ptr<X11WindowSurface> s(
        X11WindowSurface::CreateOwnWindow("half", 66, 47, ms_pServer->Name().c_str()));
    ASSERT_TRUE(s);
    ASSERT_TRUE(s->CreateContext(66, 47));
    ASSERT_TRUE(s->SetHalfResolution(true));
    int w = 0, h = 0;
    ASSERT_TRUE(s->TakeResize(w, h));
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(33, 24));
    EXPECT_EQ(std::make_pair(s->GetWidth(), s->GetHeight()), std::make_pair(33, 24));
    // The renderer asks for the drawn size: the window keeps its own.
    ASSERT_TRUE(s->CreateContext(33, 24));
    XWindowAttributes attrs;
    ASSERT_TRUE(XGetWindowAttributes(s->GetDisplay(), s->GetWindow(), &attrs));
    EXPECT_EQ(std::make_pair(attrs.width, attrs.height), std::make_pair(66, 47));

    // Blue, with a green block at the drawn frame's top left (GL counts
    // rows from the bottom).
    glViewport(0, 0, 33, 24);
    glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 14, 10, 10);
    glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
    std::vector<u8> rgba;
    ASSERT_TRUE(s->ReadPixels(rgba));
    ASSERT_EQ(rgba.size(), size_t(33 * 24 * 4));
    s->SwapBuffers();

    const std::vector<u32> shown = WindowPixels(s->GetDisplay(), s->GetWindow(), 66, 47);
    ASSERT_EQ(shown.size(), size_t(66 * 47));
    auto at = [&](int x, int y) { return shown[size_t(y) * 66 + size_t(x)]; };
    // The block covers 20 x 20 window pixels; its edge is blended over a pixel.
    EXPECT_EQ(at(0, 0), 0x00ff00u);
    EXPECT_EQ(at(18, 18), 0x00ff00u);
    EXPECT_EQ(at(21, 5), 0x0000ffu);
    EXPECT_EQ(at(5, 21), 0x0000ffu);
    EXPECT_EQ(at(65, 46), 0x0000ffu);
    EXPECT_EQ(at(65, 0), 0x0000ffu);
    const u32 edge = at(19, 5);
    EXPECT_TRUE(edge != 0x00ff00u && edge != 0x0000ffu && (edge & 0xff0000u) == 0) << std::hex << edge;

    // Pointer positions come in drawn pixels.
    std::vector<Ev> events;
    s->SetEventSink([&](int code, int a, int b) { events.emplace_back(code, a, b); });
    XEvent motion = {};
    motion.xmotion.type = MotionNotify;
    motion.xmotion.display = s->GetDisplay();
    motion.xmotion.window = s->GetWindow();
    motion.xmotion.x = 41;
    motion.xmotion.y = 30;
    XSendEvent(s->GetDisplay(), s->GetWindow(), False, PointerMotionMask, &motion);
    XSync(s->GetDisplay(), False);
    ASSERT_TRUE(PumpUntil(s.get(), [&] { return !events.empty(); }));
    EXPECT_EQ(events[0], Ev(3, 20, 15));

    // A window grown past twice its size is still filled: GL's buffers
    // follow it within a frame, though no frame is swapped at half size.
    XResizeWindow(s->GetDisplay(), s->GetWindow(), 264, 188);
    XSync(s->GetDisplay(), False);
    ASSERT_TRUE(PumpUntil(s.get(), [&] { return s->TakeResize(w, h); }));
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(132, 94));
    for (int frame = 0; frame < 2; ++frame) {
        glViewport(0, 0, 132, 94);
        glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        s->SwapBuffers();
    }
    const std::vector<u32> grown = WindowPixels(s->GetDisplay(), s->GetWindow(), 264, 188);
    ASSERT_EQ(grown.size(), size_t(264 * 188));
    EXPECT_EQ(grown.back(), 0xff0000u);

    // Back to full size, reported once.
    ASSERT_TRUE(s->SetHalfResolution(false));
    ASSERT_TRUE(s->TakeResize(w, h));
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(264, 188));
    EXPECT_FALSE(s->TakeResize(w, h));
}

TEST_F(X11WindowFixture, InputReachesTheSinkWithFrameworkCodes) {
    std::unique_ptr<X11WindowSurface> s(
        X11WindowSurface::CreateOwnWindow("input", 64, 48, ms_pServer->Name().c_str()));
    ASSERT_TRUE(s);
    std::vector<Ev> events;
    s->SetEventSink([&](int code, int a, int b) { events.emplace_back(code, a, b); });
    Display* d = s->GetDisplay();
    const Window w = s->GetWindow();
    SendKey(d, w, XK_Escape, true);
    SendKey(d, w, XK_Escape, false);
    SendKey(d, w, XK_a, true);
    XEvent ev = {};
    ev.xbutton.type = ButtonPress;
    ev.xbutton.display = d;
    ev.xbutton.window = w;
    ev.xbutton.button = Button3;
    XSendEvent(d, w, False, ButtonPressMask, &ev);
    XEvent motion = {};
    motion.xmotion.type = MotionNotify;
    motion.xmotion.display = d;
    motion.xmotion.window = w;
    motion.xmotion.x = 12;
    motion.xmotion.y = 34;
    XSendEvent(d, w, False, PointerMotionMask, &motion);
    XSync(d, False);
    // Escape down with its character 27, up; 'a' down as 'A' with the
    // character 'a'; right button down; motion.
    const std::vector<Ev> expected = {Ev(0, 27, 0),  Ev(2, 27, 0), Ev(1, 27, 0), Ev(0, 'A', 0),
                                      Ev(2, 'a', 0), Ev(0, 2, 0),  Ev(3, 12, 34)};
    ASSERT_TRUE(PumpUntil(s.get(), [&] { return events.size() >= expected.size(); }));
    EXPECT_EQ(events, expected);
}

TEST_F(X11WindowFixture, WindowManagerCloseSetsTheFlag) {
    std::unique_ptr<X11WindowSurface> s(
        X11WindowSurface::CreateOwnWindow("close", 32, 32, ms_pServer->Name().c_str()));
    ASSERT_TRUE(s);
    Display* d = s->GetDisplay();
    XEvent ev = {};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = s->GetWindow();
    ev.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = long(XInternAtom(d, "WM_DELETE_WINDOW", False));
    XSendEvent(d, s->GetWindow(), False, NoEventMask, &ev);
    XSync(d, False);
    EXPECT_TRUE(PumpUntil(s.get(), [&] { return s->IsClosed(); }));
    EXPECT_FALSE(s->IsDestroyed());
}

TEST_F(X11WindowFixture, ForeignWindowDestroyedByItsOwnerIsNoticed) {
    // The "daemon": another connection owning the window.
    std::unique_ptr<Display, int (*)(Display*)> connection(XOpenDisplay(ms_pServer->Name().c_str()),
                                                           &XCloseDisplay);
    Display* daemon = connection.get();
    ASSERT_TRUE(daemon);
    const Window w = XCreateSimpleWindow(daemon, DefaultRootWindow(daemon), 0, 0, 48, 40, 0, 0, 0);
    XMapWindow(daemon, w);
    XSync(daemon, False);

    std::unique_ptr<X11WindowSurface> s(X11WindowSurface::AttachToWindow(w, ms_pServer->Name().c_str()));
    ASSERT_TRUE(s);
    EXPECT_FALSE(s->IsOwnWindow());
    EXPECT_EQ(s->GetWidth(), 48);
    // The size is the window's, whatever is asked.
    ASSERT_TRUE(s->CreateContext(100, 100));
    EXPECT_EQ(s->GetWidth(), 48);
    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    std::vector<u8> rgba;
    ASSERT_TRUE(s->ReadPixels(rgba));
    ExpectCentreRgb(rgba, 48, 40, 255, 0, 0);
    s->SwapBuffers();

    XDestroyWindow(daemon, w);
    XSync(daemon, False);
    EXPECT_TRUE(PumpUntil(s.get(), [&] { return s->IsDestroyed(); }));
    EXPECT_TRUE(s->IsClosed());
    // Drawing calls after the loss do nothing instead of failing hard.
    s->SwapBuffers();
    EXPECT_FALSE(s->MakeCurrent());
}

TEST_F(X11WindowFixture, MissingWindowOrDisplayGivesNull) {
    EXPECT_EQ(X11WindowSurface::AttachToWindow(0x7fffff, ms_pServer->Name().c_str()), nullptr);
    EXPECT_EQ(X11WindowSurface::CreateOwnWindow("x", 10, 10, ":4321"), nullptr);
}

TEST_F(X11WindowFixture, WorkerTextureIsSeenByTheWindowContext) {
    std::unique_ptr<X11WindowSurface> s(
        X11WindowSurface::CreateOwnWindow("share", 16, 16, ms_pServer->Name().c_str()));
    ASSERT_TRUE(s);
    ASSERT_TRUE(s->CreateContext(16, 16));
    GLuint tex = 0;
    std::atomic<bool> ok{false};
    std::thread worker([&] {
        if (!s->MakeSharedContextCurrent()) return;
        glGenTextures(1, &tex);
        glBindTexture(GL_TEXTURE_2D, tex);
        const u8 texel[4] = {7, 8, 9, 255};
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);
        ok = glGetError() == GL_NO_ERROR;
        s->DoneSharedContext();
    });
    worker.join();
    ASSERT_TRUE(ok);
    ASSERT_TRUE(s->MakeCurrent());
    ASSERT_EQ(glIsTexture(tex), GL_TRUE);
    u8 back[4] = {};
    glBindTexture(GL_TEXTURE_2D, tex);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, back);
    EXPECT_EQ(back[0], 7);
    EXPECT_EQ(back[2], 9);
    glDeleteTextures(1, &tex);
}

// EGL draws unless GLX is asked for, on our own window and on a daemon's
// window of any 24-bit true-colour visual (EGL lists one visual of each kind;
// a daemon may have chosen another of the same layout, even one GLX offers
// single-buffered only), and the frame reaches the window the right way up.
// Each binding also gives the worker a context that shares the window's
// textures.
TEST_F(X11WindowFixture, EachBindingDrawsOnOwnAndForeignWindowsOfEveryTrueColourVisual) {
    std::unique_ptr<Display, int (*)(Display*)> connection(XOpenDisplay(ms_pServer->Name().c_str()),
                                                           &XCloseDisplay);
    Display* daemon = connection.get();
    ASSERT_TRUE(daemon);
    XVisualInfo tmpl = {};
    tmpl.screen = DefaultScreen(daemon);
    tmpl.depth = 24;
    tmpl.c_class = TrueColor;
    int count = 0;
    std::unique_ptr<XVisualInfo, int (*)(void*)> visuals(
        XGetVisualInfo(daemon, VisualScreenMask | VisualDepthMask | VisualClassMask, &tmpl, &count), XFree);
    ASSERT_TRUE(visuals);
    // The server's default visual and a few others are enough to tell.
    const int windows = 1 + std::min(count, 4);

    struct Binding {
        const char* asked;  // ZYN_X11_GL
        bool egl;
    };
    struct Unset {
        ~Unset() { unsetenv("ZYN_X11_GL"); }
    } unsetAtEnd;
    for (const Binding& binding : {Binding{nullptr, true}, Binding{"glx", false}}) {
        if (binding.asked)
            setenv("ZYN_X11_GL", binding.asked, 1);
        else
            unsetenv("ZYN_X11_GL");
        for (int i = 0; i < windows; ++i) {
            SCOPED_TRACE(std::string(binding.egl ? "EGL" : "GLX") + ", window " + std::to_string(i));
            std::unique_ptr<X11WindowSurface> s;
            Window foreign = 0;
            Colormap colormap = 0;
            if (i == 0) {
                s.reset(X11WindowSurface::CreateOwnWindow("binding", 24, 20, ms_pServer->Name().c_str()));
            } else {
                XVisualInfo& v = visuals.get()[i - 1];
                // Through GLX a single-buffered visual draws on the screen
                // directly, and its frames do not read back.
                int doubleBuffered = 0;
                glXGetConfig(daemon, &v, GLX_DOUBLEBUFFER, &doubleBuffered);
                if (!binding.egl && !doubleBuffered) continue;
                XSetWindowAttributes swa = {};
                swa.colormap = colormap =
                    XCreateColormap(daemon, DefaultRootWindow(daemon), v.visual, AllocNone);
                foreign = XCreateWindow(daemon, DefaultRootWindow(daemon), 0, 0, 24, 20, 0, v.depth,
                                        InputOutput, v.visual, CWColormap | CWBorderPixel, &swa);
                XMapWindow(daemon, foreign);
                XSync(daemon, False);
                s.reset(X11WindowSurface::AttachToWindow(foreign, ms_pServer->Name().c_str()));
            }
            ASSERT_TRUE(s);
            ASSERT_TRUE(s->CreateContext(24, 20));
            EXPECT_EQ(s->UsesEgl(), binding.egl);

            GLuint tex = 0;
            std::thread worker([&] {
                if (!s->MakeSharedContextCurrent()) return;
                glGenTextures(1, &tex);
                glBindTexture(GL_TEXTURE_2D, tex);
                const u8 texel[4] = {40, 160, 220, 255};
                glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);
                s->DoneSharedContext();
            });
            worker.join();
            ASSERT_TRUE(s->MakeCurrent());
            ASSERT_EQ(glIsTexture(tex), GL_TRUE);
            // The worker's texel over the whole window, swapped, and read back.
            glViewport(0, 0, 24, 20);
            glMatrixMode(GL_PROJECTION);
            glLoadIdentity();
            glMatrixMode(GL_MODELVIEW);
            glLoadIdentity();
            glEnable(GL_TEXTURE_2D);
            glBindTexture(GL_TEXTURE_2D, tex);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
            glBegin(GL_QUADS);
            glTexCoord2f(0.5f, 0.5f);
            glVertex2f(-1.f, -1.f);
            glVertex2f(1.f, -1.f);
            glVertex2f(1.f, 1.f);
            glVertex2f(-1.f, 1.f);
            glEnd();
            glDisable(GL_TEXTURE_2D);
            // Green over the bottom rows (GL counts them from the bottom):
            // a frame shown upside down would show.
            glEnable(GL_SCISSOR_TEST);
            glScissor(0, 0, 24, 6);
            glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
            glClear(GL_COLOR_BUFFER_BIT);
            glDisable(GL_SCISSOR_TEST);
            std::vector<u8> rgba;
            ASSERT_TRUE(s->ReadPixels(rgba));
            ExpectCentreRgb(rgba, 24, 20, 40, 160, 220);
            s->SwapBuffers();
            const std::vector<u32> shown = WindowPixels(s->GetDisplay(), s->GetWindow(), 24, 20);
            ASSERT_EQ(shown.size(), size_t(24 * 20));
            EXPECT_EQ(shown[2 * 24 + 3], 0x28a0dcu);
            EXPECT_EQ(shown[17 * 24 + 20], 0x00ff00u);
            glDeleteTextures(1, &tex);
            EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
            s.reset();
            if (foreign) XDestroyWindow(daemon, foreign);
            if (colormap) XFreeColormap(daemon, colormap);
        }
    }
}
