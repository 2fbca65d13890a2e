// The Wayland backend against private headless compositors: sway (layer-shell
// overlays on every output) and weston (no layer-shell: the fullscreen
// toplevel). What reaches the screen is checked in screenshots (grim on sway,
// weston's screenshooter). Skipped only where sway, weston or grim are not
// installed.
#include <gtest/gtest.h>

#include <poll.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <linux/input-event-codes.h>
#include <xkbcommon/xkbcommon-keysyms.h>
#include <GL/gl.h>

#include <zyn/graphics/image/ImageDecode.h>
#include <zyn/platform/wayland/WaylandWindowSurface.h>

#include "platform/wayland/VirtualInput.h"
#include "support/LogCapture.h"
#include "support/WaylandCompositor.h"

using namespace Zyn;
using ZynTest::WaylandCompositor;

namespace {

typedef std::tuple<int, int, int> Ev;
typedef WaylandWindowSurface::ViewState ViewState;

bool Installed(const char* program) {
    return ZynTest::RunProgram({"sh", "-c", std::string("command -v ") + program}, {}, 10000) == 0;
}

// The views as text, for failure messages.
std::string Describe(const WaylandWindowSurface& s) {
    std::string text;
    for (const ViewState& v : s.GetViewStates())
        text += v.outputName + ": " + std::to_string(v.bufferWidth) + "x" + std::to_string(v.bufferHeight) +
                " shown " + std::to_string(v.framesShown) + (v.waitingForFrame ? " waiting" : "") + "; ";
    return text.empty() ? "no views" : text;
}

// Pumps the surface, drawing with `draw` whenever the compositor wants a
// frame, until `done` holds or ten seconds pass. Sleeps on the event
// descriptor in between, as a host does.
// Generous: on a machine busy with other work a software compositor and
// renderer can take many seconds for what takes milliseconds here.
bool RunUntil(WaylandWindowSurface& s, const std::function<void()>& draw, const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        s.PumpEvents();
        if (done()) return true;
        if (s.IsDestroyed()) return false;
        if (draw && s.IsReadyForFrame()) {
            draw();
            s.SwapBuffers();
            continue;
        }
        pollfd pfd = {s.GetEventDescriptor(), POLLIN, 0};
        poll(&pfd, 1, 10);
    }
    std::cerr << "timed out with " << Describe(s) << "\n";
    return false;
}

void Clear(float r, float g, float b) {
    glClearColor(r, g, b, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
}

// Red and blue alternating pixel by pixel, red in the top left corner: any
// resampling between our framebuffer and the screen smears it.
void DrawCheckerboard(int width, int height) {
    std::vector<u8> pixels(size_t(width) * size_t(height) * 4);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            u8* p = pixels.data() + (size_t(y) * size_t(width) + size_t(x)) * 4;
            // GL rows go bottom-up.
            const bool red = ((x + height - 1 - y) & 1) == 0;
            p[0] = red ? 255 : 0;
            p[2] = red ? 0 : 255;
            p[3] = 255;
        }
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glRasterPos2f(-1.0f, -1.0f);
    glDrawPixels(width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
}

struct Image {
    unsigned width = 0;
    unsigned height = 0;
    std::vector<u8> rgba;
    const u8* At(unsigned x, unsigned y) const { return rgba.data() + (size_t(y) * width + x) * 4; }
};

bool LoadPng(const std::string& path, Image& image) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    int channels = 0;
    unsigned char* pixels = DecodeImage(bytes.data(), bytes.size(), &image.width, &image.height, &channels, true,
                                        16384);
    if (!pixels) return false;
    image.rgba.assign(pixels, pixels + size_t(image.width) * image.height * 4);
    free(pixels);
    return true;
}

// How many pixels of the image differ from the colour by more than `slack`
// in some channel.
long CountOther(const Image& image, int r, int g, int b, int slack = 0) {
    long n = 0;
    for (unsigned y = 0; y < image.height; ++y)
        for (unsigned x = 0; x < image.width; ++x) {
            const u8* p = image.At(x, y);
            if (std::abs(p[0] - r) > slack || std::abs(p[1] - g) > slack || std::abs(p[2] - b) > slack) ++n;
        }
    return n;
}

long CountOffCheckerboard(const Image& image) {
    long n = 0;
    for (unsigned y = 0; y < image.height; ++y)
        for (unsigned x = 0; x < image.width; ++x) {
            const u8* p = image.At(x, y);
            const bool red = ((x + y) & 1) == 0;
            if (p[0] != (red ? 255 : 0) || p[1] != 0 || p[2] != (red ? 0 : 255)) ++n;
        }
    return n;
}

const ViewState* FindView(const std::vector<ViewState>& views, const std::string& output) {
    for (const ViewState& v : views)
        if (v.outputName == output) return &v;
    return nullptr;
}

long FramesOn(const WaylandWindowSurface& s, const std::string& output) {
    const std::vector<ViewState> views = s.GetViewStates();
    const ViewState* v = FindView(views, output);
    return v ? v->framesShown : -1;
}

// Draws until every view has shown `frames` more frames, then draws no more
// until the compositor has answered each: the screen then shows the last
// frame drawn.
bool ShowFrames(WaylandWindowSurface& s, const std::function<void()>& draw, long frames = 1) {
    std::vector<std::pair<std::string, long>> targets;
    for (const ViewState& v : s.GetViewStates()) targets.emplace_back(v.outputName, v.framesShown + frames);
    if (targets.empty()) return false;
    const bool drawn = RunUntil(s, draw, [&] {
        for (const auto& t : targets)
            if (FramesOn(s, t.first) < t.second) return false;
        return true;
    });
    return drawn && RunUntil(s, nullptr, [&] {
        for (const ViewState& v : s.GetViewStates())
            if (v.waitingForFrame) return false;
        return true;
    });
}

std::string ShotFolder() {
    const std::string folder = "wayland-shots";
    ZynTest::RunProgram({"mkdir", "-p", folder}, {}, 10000);
    return folder;
}

}  // namespace

TEST(WaylandKeyCodes, MapsKeysymsToFrameworkCodes) {
    EXPECT_EQ(WaylandKeySymToKeyCode(XKB_KEY_BackSpace), 8);
    EXPECT_EQ(WaylandKeySymToKeyCode(XKB_KEY_Return), 13);
    EXPECT_EQ(WaylandKeySymToKeyCode(XKB_KEY_KP_Enter), 13);
    EXPECT_EQ(WaylandKeySymToKeyCode(XKB_KEY_Escape), 27);
    EXPECT_EQ(WaylandKeySymToKeyCode(XKB_KEY_space), 32);
    EXPECT_EQ(WaylandKeySymToKeyCode(XKB_KEY_F1), 112);
    EXPECT_EQ(WaylandKeySymToKeyCode(XKB_KEY_F12), 123);
    EXPECT_EQ(WaylandKeySymToKeyCode(XKB_KEY_a), 'A');
    EXPECT_EQ(WaylandKeySymToKeyCode(XKB_KEY_Z), 'Z');
    EXPECT_EQ(WaylandKeySymToKeyCode(XKB_KEY_0), '0');
    EXPECT_EQ(WaylandKeySymToKeyCode(XKB_KEY_9), '9');
    EXPECT_EQ(WaylandKeySymToKeyCode(XKB_KEY_Left), 37);
    EXPECT_EQ(WaylandKeySymToKeyCode(XKB_KEY_Down), 40);
    EXPECT_EQ(WaylandKeySymToKeyCode(XKB_KEY_eacute), 0);
}

TEST(WaylandScale, BufferLengthRoundsToTheNearestPixel) {
    EXPECT_EQ(WaylandBufferLength(1280, 240), 2560);
    EXPECT_EQ(WaylandBufferLength(853, 180), 1280);  // 1279.5
    EXPECT_EQ(WaylandBufferLength(533, 180), 800);   // 799.5
    EXPECT_EQ(WaylandBufferLength(1000, 150), 1250);
    EXPECT_EQ(WaylandBufferLength(101, 126), 106);  // 106.05
    EXPECT_EQ(WaylandBufferLength(0, 120), 0);
    EXPECT_EQ(WaylandBufferLength(100, 0), 0);
}

TEST(WaylandScale, CoverFitFillsTheBufferKeepingTheAspect) {
    // Same size: identity.
    WaylandCover c = WaylandCoverFit(1280, 720, 1280, 720);
    EXPECT_DOUBLE_EQ(c.scale, 1.0);
    EXPECT_DOUBLE_EQ(c.left, 0.0);
    EXPECT_DOUBLE_EQ(c.top, 0.0);
    // 16:9 onto 4:3: fills the height, crops the sides evenly.
    c = WaylandCoverFit(1280, 720, 800, 600);
    EXPECT_DOUBLE_EQ(c.scale, 600.0 / 720.0);
    EXPECT_DOUBLE_EQ(c.top, 0.0);
    EXPECT_NEAR(c.left, -(1280 * 600.0 / 720.0 - 800) / 2, 1e-9);
    // A larger buffer scales up.
    c = WaylandCoverFit(640, 360, 2560, 1600);
    EXPECT_DOUBLE_EQ(c.scale, 1600.0 / 360.0);
    EXPECT_LT(c.left, 0.0);
}

// sway with two outputs: HEADLESS-1 is 1280x720 at scale 2, HEADLESS-2 is
// 800x600 at scale 1.
class WaylandSwayFixture : public ::testing::Test {
protected:
    void SetUp() override {
        if (!Installed("sway")) GTEST_SKIP() << "sway is not installed";
        if (!Installed("grim")) GTEST_SKIP() << "grim is not installed";
        m_pSway.reset(new WaylandCompositor);
        ASSERT_TRUE(m_pSway->Start(WaylandCompositor::Kind::kSway)) << m_pSway->Why();
        ASSERT_TRUE(m_pSway->SwayMsg({"create_output"}));
        ASSERT_TRUE(m_pSway->SwayMsg({"output", "HEADLESS-2", "mode", "800x600"}));
        ASSERT_TRUE(m_pSway->SwayMsg({"output", "HEADLESS-1", "scale", "2"}));
        std::string outputs;
        ASSERT_TRUE(m_pSway->SwayMsg({"-t", "get_outputs", "-r"}, &outputs));
        ASSERT_NE(outputs.find("\"HEADLESS-1\""), std::string::npos) << outputs;
        ASSERT_NE(outputs.find("\"HEADLESS-2\""), std::string::npos) << outputs;
    }
    void TearDown() override {
        m_pSurface.reset();
        m_pSway.reset();
    }

    void OpenCover(const std::string& outputName = std::string()) {
        WindowRequest request;
        request.backend = WindowBackend::kWayland;
        request.coverOutputs = true;
        request.displayName = m_pSway->SocketPath();
        request.outputName = outputName;
        m_pSurface.reset(static_cast<WaylandWindowSurface*>(CreateWindowSurface(request, &m_Error)));
        ASSERT_TRUE(m_pSurface) << int(m_Error);
        ZynTest::KeepEglDriverLoaded();
        m_pSurface->SetEventSink([this](int code, int a, int b) { m_Events.emplace_back(code, a, b); });
        ASSERT_TRUE(m_pSurface->CreateContext(m_pSurface->GetWidth(), m_pSurface->GetHeight()));
    }

    // A screenshot of one output, kept for people to look at.
    bool Shoot(const std::string& output, Image& image, const std::string& tag = std::string()) {
        const std::string name = std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
                                 "-" + output + (tag.empty() ? "" : "-" + tag) + ".png";
        const std::string folder = ShotFolder();
        if (m_pSway->RunClient({"grim", "-o", output, name}, folder) != 0) return false;
        return LoadPng(folder + "/" + name, image);
    }

    bool Seen(const Ev& e) const {
        for (const Ev& x : m_Events)
            if (x == e) return true;
        return false;
    }

    std::unique_ptr<WaylandCompositor> m_pSway;
    std::unique_ptr<WaylandWindowSurface> m_pSurface;
    WindowError m_Error = WindowError::kNone;
    std::vector<Ev> m_Events;
};

TEST_F(WaylandSwayFixture, CoversEveryOutputAtItsRealPixelSize) {
    ASSERT_NO_FATAL_FAILURE(OpenCover());
    EXPECT_TRUE(m_pSurface->UsesLayerShell());
    const std::vector<ViewState> views = m_pSurface->GetViewStates();
    ASSERT_EQ(views.size(), 2u);
    const ViewState* big = FindView(views, "HEADLESS-1");
    const ViewState* small = FindView(views, "HEADLESS-2");
    ASSERT_TRUE(big && small);
    EXPECT_TRUE(big->layerSurface);
    // Scale 2: the compositor says 640x360, the buffer has all 1280x720 pixels.
    EXPECT_EQ(big->logicalWidth, 640);
    EXPECT_EQ(big->logicalHeight, 360);
    EXPECT_EQ(big->bufferWidth, 1280);
    EXPECT_EQ(big->bufferHeight, 720);
    EXPECT_EQ(big->bufferScale, 2);
    EXPECT_EQ(small->bufferWidth, 800);
    EXPECT_EQ(small->bufferHeight, 600);
    EXPECT_EQ(small->bufferScale, 1);
    // The scene is drawn at the largest output's size.
    EXPECT_EQ(m_pSurface->GetWidth(), 1280);
    EXPECT_EQ(m_pSurface->GetHeight(), 720);

    // Pixel for pixel on the output the drawing matches: a buffer at the
    // logical size, scaled up by the compositor, would smear every pixel.
    ASSERT_TRUE(ShowFrames(*m_pSurface, [] { DrawCheckerboard(1280, 720); }));
    Image shot;
    ASSERT_TRUE(Shoot("HEADLESS-1", shot, "checkerboard"));
    ASSERT_EQ(shot.width, 1280u);
    ASSERT_EQ(shot.height, 720u);
    EXPECT_EQ(CountOffCheckerboard(shot), 0);

    // One colour per frame: each output shows the last one in full.
    const float colours[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    const char* names[3] = {"red", "green", "blue"};
    for (int i = 0; i < 3; ++i) {
        const float* c = colours[i];
        ASSERT_TRUE(ShowFrames(*m_pSurface, [&] { Clear(c[0], c[1], c[2]); }));
        for (const char* output : {"HEADLESS-1", "HEADLESS-2"}) {
            ASSERT_TRUE(Shoot(output, shot, names[i])) << output;
            EXPECT_EQ(CountOther(shot, int(c[0] * 255), int(c[1] * 255), int(c[2] * 255)), 0) << output;
        }
    }
    EXPECT_EQ(shot.width, 800u);
    EXPECT_EQ(shot.height, 600u);
}

TEST_F(WaylandSwayFixture, FractionalScaleStillGetsTheOutputsPixels) {
    // Without fractional-scale support the compositor rounds 1.5 up to 2
    // and would shrink a 2x buffer; through the viewport the buffer keeps
    // the output's 800x600 pixels.
    ASSERT_TRUE(m_pSway->SwayMsg({"output", "HEADLESS-2", "scale", "1.5"}));
    ASSERT_NO_FATAL_FAILURE(OpenCover("HEADLESS-2"));
    const std::vector<ViewState> views = m_pSurface->GetViewStates();
    ASSERT_EQ(views.size(), 1u);
    EXPECT_EQ(views[0].outputName, "HEADLESS-2");
    EXPECT_EQ(views[0].bufferWidth, 800);
    EXPECT_EQ(views[0].bufferHeight, 600);
    if (views[0].fractionalScale120 == 0) {
        EXPECT_TRUE(views[0].viewported);
        EXPECT_EQ(views[0].bufferScale, 1);
    }
    EXPECT_EQ(m_pSurface->GetWidth(), 800);
    ASSERT_TRUE(ShowFrames(*m_pSurface, [] { Clear(0, 1, 0); }));
    Image shot;
    ASSERT_TRUE(Shoot("HEADLESS-2", shot));
    EXPECT_EQ(shot.width, 800u);
    // The compositor resamples our 800 pixels to 533 units and back at
    // 1.5, which darkens its top row by a few steps; a black gap or a
    // border would be far off.
    EXPECT_EQ(CountOther(shot, 0, 255, 0, 8), 0)
        << "top left " << int(shot.At(0, 0)[0]) << "," << int(shot.At(0, 0)[1]) << "," << int(shot.At(0, 0)[2])
        << "; bottom right " << int(shot.At(799, 599)[0]) << "," << int(shot.At(799, 599)[1]) << ","
        << int(shot.At(799, 599)[2]);
}

TEST_F(WaylandSwayFixture, HalfResolutionIsStretchedOverTheOutputByTheCompositor) {
    ASSERT_NO_FATAL_FAILURE(OpenCover("HEADLESS-2"));
    ASSERT_TRUE(m_pSurface->SetHalfResolution(true));
    int w = 0, h = 0;
    ASSERT_TRUE(m_pSurface->TakeResize(w, h));
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(400, 300));
    // The renderer follows the new size as a host does.
    ASSERT_TRUE(m_pSurface->CreateContext(w, h));
    const std::vector<ViewState> views = m_pSurface->GetViewStates();
    ASSERT_EQ(views.size(), 1u);
    EXPECT_EQ(std::make_pair(views[0].bufferWidth, views[0].bufferHeight), std::make_pair(400, 300));
    EXPECT_TRUE(views[0].viewported);

    // Blue, with a green block over the drawn frame's top left 100 x 100.
    ASSERT_TRUE(ShowFrames(*m_pSurface, [] {
        glViewport(0, 0, 400, 300);
        Clear(0, 0, 1);
        glEnable(GL_SCISSOR_TEST);
        glScissor(0, 200, 100, 100);
        Clear(0, 1, 0);
        glDisable(GL_SCISSOR_TEST);
    }));
    Image shot;
    ASSERT_TRUE(Shoot("HEADLESS-2", shot));
    ASSERT_EQ(std::make_pair(shot.width, shot.height), std::make_pair(800u, 600u));
    // The block covers the output's top left 200 x 200 pixels, give or
    // take the compositor's filtering at its edge.
    auto green = [&](unsigned x, unsigned y) { return shot.At(x, y)[1] > 200 && shot.At(x, y)[2] < 50; };
    auto blue = [&](unsigned x, unsigned y) { return shot.At(x, y)[2] > 200 && shot.At(x, y)[1] < 50; };
    EXPECT_TRUE(green(2, 2));
    EXPECT_TRUE(green(196, 196));
    EXPECT_TRUE(blue(204, 100));
    EXPECT_TRUE(blue(100, 204));
    EXPECT_TRUE(blue(797, 597));

    ASSERT_TRUE(m_pSurface->SetHalfResolution(false));
    ASSERT_TRUE(m_pSurface->TakeResize(w, h));
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(800, 600));
}

TEST_F(WaylandSwayFixture, OutputAddedWhileRunningGetsASurfaceOfItsOwn) {
    ASSERT_NO_FATAL_FAILURE(OpenCover());
    ASSERT_TRUE(ShowFrames(*m_pSurface, [] { Clear(0, 0, 1); }));
    ASSERT_TRUE(m_pSway->SwayMsg({"create_output"}));
    ASSERT_TRUE(RunUntil(*m_pSurface, [] { Clear(0, 0, 1); }, [&] { return FramesOn(*m_pSurface, "HEADLESS-3") >= 1; }));
    const std::vector<ViewState> views = m_pSurface->GetViewStates();
    EXPECT_EQ(views.size(), 3u);
    const ViewState* added = FindView(views, "HEADLESS-3");
    ASSERT_TRUE(added);
    // sway makes a new headless output 1920x1080: the largest one now, so
    // the drawing grows and the host hears of it once.
    EXPECT_EQ(added->bufferWidth, 1920);
    EXPECT_EQ(added->bufferHeight, 1080);
    int w = 0, h = 0;
    EXPECT_TRUE(m_pSurface->TakeResize(w, h));
    EXPECT_EQ(w, 1920);
    EXPECT_EQ(h, 1080);
    EXPECT_FALSE(m_pSurface->TakeResize(w, h));
    ASSERT_TRUE(m_pSurface->CreateContext(w, h));
    ASSERT_TRUE(ShowFrames(*m_pSurface, [] { Clear(1, 1, 0); }));
    Image shot;
    for (const char* output : {"HEADLESS-1", "HEADLESS-2", "HEADLESS-3"}) {
        ASSERT_TRUE(Shoot(output, shot)) << output;
        EXPECT_EQ(CountOther(shot, 255, 255, 0), 0) << output;
    }
    EXPECT_EQ(shot.width, 1920u);
}

TEST_F(WaylandSwayFixture, KeysButtonsAndMotionArriveAsFrameworkCodes) {
    ZynTest::VirtualInput input;
    ASSERT_TRUE(input.Connect(m_pSway->SocketPath()));
    ASSERT_NO_FATAL_FAILURE(OpenCover());
    m_pSurface->ShowCursor(false);
    ASSERT_TRUE(ShowFrames(*m_pSurface, [] { Clear(0, 0, 0); }));

    // Keyboard focus comes when an overlay is mapped; the key is sent
    // again until it arrives.
    ASSERT_TRUE(RunUntil(*m_pSurface, [] { Clear(0, 0, 0); }, [&] {
        input.Key(KEY_ESC, true);
        input.Key(KEY_ESC, false);
        m_pSurface->PumpEvents();
        return Seen(Ev(0, 27, 0)) && Seen(Ev(1, 27, 0));
    }));
    m_Events.clear();
    input.Key(KEY_A, true);
    input.Key(KEY_A, false);
    input.Key(KEY_F5, true);
    input.Key(KEY_RIGHT, true);
    ASSERT_TRUE(RunUntil(*m_pSurface, nullptr, [&] { return Seen(Ev(0, 39, 0)); }));
    // Pressing 'a' gives its key, then its character, as on X11.
    size_t a = 0;
    while (a < m_Events.size() && m_Events[a] != Ev(0, 'A', 0)) ++a;
    ASSERT_LT(a + 2, m_Events.size());
    EXPECT_EQ(m_Events[a + 1], Ev(2, 'a', 0));
    EXPECT_EQ(m_Events[a + 2], Ev(1, 'A', 0));
    EXPECT_TRUE(Seen(Ev(0, 116, 0)));

    // HEADLESS-1 sits at the layout's origin at scale 2, and is the
    // drawing's output: 50,50 in the layout is 100,100 in its pixels.
    m_Events.clear();
    ASSERT_TRUE(m_pSway->SwayMsg({"seat", "-", "cursor", "set", "10", "10"}));
    ASSERT_TRUE(m_pSway->SwayMsg({"seat", "-", "cursor", "set", "50", "50"}));
    ASSERT_TRUE(RunUntil(*m_pSurface, nullptr, [&] { return Seen(Ev(3, 100, 100)); }));
    ASSERT_TRUE(m_pSway->SwayMsg({"seat", "-", "cursor", "press", "button1"}));
    ASSERT_TRUE(m_pSway->SwayMsg({"seat", "-", "cursor", "release", "button1"}));
    input.Button(BTN_RIGHT, true);
    ASSERT_TRUE(RunUntil(*m_pSurface, nullptr, [&] { return Seen(Ev(0, 2, 0)); }));
    EXPECT_TRUE(Seen(Ev(0, 1, 0)));
    EXPECT_TRUE(Seen(Ev(1, 1, 0)));
}

TEST_F(WaylandSwayFixture, CompositorDeathEndsWithOneLoggedLine) {
    ZynTest::ScopedLogCapture log;
    ASSERT_NO_FATAL_FAILURE(OpenCover());
    ASSERT_TRUE(ShowFrames(*m_pSurface, [] { Clear(1, 0, 0); }));
    m_pSway->Kill();
    // Drawing on regardless must neither hang nor crash.
    RunUntil(*m_pSurface, [] { Clear(0, 1, 0); }, [&] { return m_pSurface->IsDestroyed(); });
    EXPECT_TRUE(m_pSurface->IsDestroyed());
    EXPECT_TRUE(m_pSurface->IsClosed());
    EXPECT_FALSE(m_pSurface->IsReadyForFrame());
    m_pSurface->SwapBuffers();
    m_pSurface->PumpEvents();
    EXPECT_EQ(log->Count("WaylandWindowSurface -> lost the connection to the compositor"), 1);
    m_pSurface.reset();
}

TEST_F(WaylandSwayFixture, UnknownOutputNameIsAnError) {
    ZynTest::ScopedLogCapture log;
    WindowRequest request;
    request.backend = WindowBackend::kWayland;
    request.coverOutputs = true;
    request.displayName = m_pSway->SocketPath();
    request.outputName = "HDMI-A-9";
    WindowError error = WindowError::kNone;
    std::unique_ptr<WindowSurface> s(CreateWindowSurface(request, &error));
    EXPECT_FALSE(s);
    EXPECT_EQ(error, WindowError::kNoOutput);
    EXPECT_TRUE(log->Contains("no output named HDMI-A-9 (outputs: HEADLESS-1, HEADLESS-2)"));
}

TEST_F(WaylandSwayFixture, AutoPicksWaylandOnlyWhenNoXWindowIsAsked) {
    const char* oldWayland = std::getenv("WAYLAND_DISPLAY");
    const std::string saved = oldWayland ? oldWayland : "";
    setenv("WAYLAND_DISPLAY", m_pSway->SocketPath().c_str(), 1);
    WindowRequest request;
    request.coverOutputs = true;
    WindowError error = WindowError::kNone;
    std::unique_ptr<WindowSurface> cover(CreateWindowSurface(request, &error));
    EXPECT_TRUE(cover) << int(error);
    EXPECT_TRUE(dynamic_cast<WaylandWindowSurface*>(cover.get()));
    cover.reset();
    // The root window is X11's, whatever the session.
    ZynTest::ScopedLogCapture log;
    request = WindowRequest();
    request.kind = WindowRequest::Kind::kRootWindow;
    request.displayName = ":987";
    std::unique_ptr<WindowSurface> root(CreateWindowSurface(request, &error));
    EXPECT_FALSE(root);
    EXPECT_FALSE(log->Contains("WaylandWindowSurface"));
    if (oldWayland)
        setenv("WAYLAND_DISPLAY", saved.c_str(), 1);
    else
        unsetenv("WAYLAND_DISPLAY");
}

// sway nested in another sway: its outputs WL-1 and WL-2 are windows of the
// outer one, which can close them (the output goes away) or move them out of
// sight (the output stops asking for frames). A headless sway can do
// neither to its own outputs.
class WaylandNestedSwayFixture : public ::testing::Test {
protected:
    void SetUp() override {
        if (!Installed("sway")) GTEST_SKIP() << "sway is not installed";
        if (!Installed("grim")) GTEST_SKIP() << "grim is not installed";
        m_pOuter.reset(new WaylandCompositor);
        ASSERT_TRUE(m_pOuter->Start(WaylandCompositor::Kind::kSway)) << m_pOuter->Why();
        m_pInner.reset(new WaylandCompositor);
        ASSERT_TRUE(m_pInner->StartNested(*m_pOuter)) << m_pInner->Why();
        ASSERT_TRUE(m_pInner->SwayMsg({"create_output"}));
        WindowRequest request;
        request.backend = WindowBackend::kWayland;
        request.coverOutputs = true;
        request.displayName = m_pInner->SocketPath();
        WindowError error = WindowError::kNone;
        m_pSurface.reset(static_cast<WaylandWindowSurface*>(CreateWindowSurface(request, &error)));
        ASSERT_TRUE(m_pSurface) << int(error);
        ZynTest::KeepEglDriverLoaded();
        ASSERT_EQ(m_pSurface->GetViewStates().size(), 2u);
        ASSERT_TRUE(m_pSurface->CreateContext(m_pSurface->GetWidth(), m_pSurface->GetHeight()));
        ASSERT_TRUE(ShowFrames(*m_pSurface, [] { Clear(1, 0, 0); }));
    }
    void TearDown() override {
        m_pSurface.reset();
        m_pInner.reset();
        m_pOuter.reset();
    }

    // A command about the window of the inner output `output`.
    bool OnOuterWindow(const std::string& output, const std::string& command) {
        return m_pOuter->SwayMsg({"[title=\"wlroots - " + output + "\"] " + command});
    }

    std::unique_ptr<WaylandCompositor> m_pOuter;
    std::unique_ptr<WaylandCompositor> m_pInner;
    std::unique_ptr<WaylandWindowSurface> m_pSurface;
};

TEST_F(WaylandNestedSwayFixture, OutputRemovedMidFrameLeavesTheOtherDrawing) {
    // Removed right after a frame was sent to it, before its callback.
    m_pSurface->PumpEvents();
    Clear(0, 1, 0);
    m_pSurface->SwapBuffers();
    ASSERT_TRUE(OnOuterWindow("WL-2", "kill"));
    ASSERT_TRUE(RunUntil(*m_pSurface, [] { Clear(0, 1, 0); },
                         [&] { return m_pSurface->GetViewStates().size() == 1; }));
    EXPECT_EQ(m_pSurface->GetViewStates()[0].outputName, "WL-1");
    // The other output goes on, at the size it now has.
    const long before = FramesOn(*m_pSurface, "WL-1");
    ASSERT_TRUE(RunUntil(*m_pSurface, [] { Clear(0, 0, 1); },
                         [&] { return FramesOn(*m_pSurface, "WL-1") >= before + 5; }));
    int w = 0, h = 0;
    if (m_pSurface->TakeResize(w, h)) {
        ASSERT_TRUE(m_pSurface->CreateContext(w, h));
    }
    ASSERT_TRUE(ShowFrames(*m_pSurface, [] { Clear(0, 0, 1); }));
    const std::string folder = ShotFolder();
    const std::string name = "OutputRemovedMidFrameLeavesTheOtherDrawing-WL-1.png";
    ASSERT_EQ(m_pInner->RunClient({"grim", "-o", "WL-1", name}, folder), 0);
    Image shot;
    ASSERT_TRUE(LoadPng(folder + "/" + name, shot));
    EXPECT_EQ(int(shot.width), m_pSurface->GetViewStates()[0].bufferWidth);
    EXPECT_EQ(CountOther(shot, 0, 0, 255), 0);
}

TEST_F(WaylandNestedSwayFixture, HiddenOutputIsNotDrawnAndTheDescriptorWakesTheHost) {
    ASSERT_TRUE(OnOuterWindow("WL-2", "move to workspace 9"));
    // Once the hidden output stops asking, its count stands still while
    // the other one's goes on.
    ASSERT_TRUE(RunUntil(*m_pSurface, [] { Clear(0, 1, 0); }, [&] {
        const std::vector<ViewState> v = m_pSurface->GetViewStates();
        const ViewState* hidden = FindView(v, "WL-2");
        return hidden && hidden->waitingForFrame && FramesOn(*m_pSurface, "WL-1") > 0;
    }));
    const long hidden = FramesOn(*m_pSurface, "WL-2");
    const long shown = FramesOn(*m_pSurface, "WL-1");
    ASSERT_TRUE(RunUntil(*m_pSurface, [] { Clear(0, 1, 0); },
                         [&] { return FramesOn(*m_pSurface, "WL-1") >= shown + 10; }));
    EXPECT_EQ(FramesOn(*m_pSurface, "WL-2"), hidden);

    // Both hidden: nothing wants a frame, and the host may sleep.
    ASSERT_TRUE(OnOuterWindow("WL-1", "move to workspace 9"));
    ASSERT_TRUE(RunUntil(*m_pSurface, [] { Clear(0, 1, 0); }, [&] { return !m_pSurface->IsReadyForFrame(); }));
    const long frozen = FramesOn(*m_pSurface, "WL-1");
    // Shown again, the compositor asks for a frame, and the descriptor
    // wakes a host that sleeps on it.
    ASSERT_TRUE(m_pOuter->SwayMsg({"workspace", "9"}));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!m_pSurface->IsReadyForFrame() && std::chrono::steady_clock::now() < deadline) {
        pollfd pfd = {m_pSurface->GetEventDescriptor(), POLLIN, 0};
        if (poll(&pfd, 1, 1000) > 0) m_pSurface->PumpEvents();
    }
    EXPECT_TRUE(m_pSurface->IsReadyForFrame());
    EXPECT_EQ(FramesOn(*m_pSurface, "WL-1"), frozen);
}

TEST(WaylandWindowSurface, NoCompositorIsAClearError) {
    ZynTest::ScopedLogCapture log;
    WindowRequest request;
    request.backend = WindowBackend::kWayland;
    request.coverOutputs = true;
    request.displayName = "/nonexistent/zyn-wayland-0";
    WindowError error = WindowError::kNone;
    std::unique_ptr<WindowSurface> s(CreateWindowSurface(request, &error));
    EXPECT_FALSE(s);
    EXPECT_EQ(error, WindowError::kNoDisplay);
    EXPECT_TRUE(log->Contains("cannot connect to the compositor /nonexistent/zyn-wayland-0"));
}

// weston offers no layer-shell: the cover is one fullscreen toplevel.
class WaylandWestonFixture : public ::testing::Test {
protected:
    void Start(const std::vector<std::string>& args) {
        if (!Installed("weston")) GTEST_SKIP() << "weston is not installed";
        m_pWeston.reset(new WaylandCompositor);
        ASSERT_TRUE(m_pWeston->Start(WaylandCompositor::Kind::kWeston, args)) << m_pWeston->Why();
    }
    void TearDown() override {
        m_pSurface.reset();
        m_pWeston.reset();
    }

    void Open(bool cover, const std::string& outputName = std::string()) {
        WindowRequest request;
        request.backend = WindowBackend::kWayland;
        request.coverOutputs = cover;
        request.title = "Zyn test";
        request.width = 320;
        request.height = 200;
        request.displayName = m_pWeston->SocketPath();
        request.outputName = outputName;
        m_pSurface.reset(static_cast<WaylandWindowSurface*>(CreateWindowSurface(request, &m_Error)));
        ASSERT_TRUE(m_pSurface) << int(m_Error);
        ZynTest::KeepEglDriverLoaded();
        ASSERT_TRUE(m_pSurface->CreateContext(m_pSurface->GetWidth(), m_pSurface->GetHeight()));
    }

    std::unique_ptr<WaylandCompositor> m_pWeston;
    std::unique_ptr<WaylandWindowSurface> m_pSurface;
    WindowError m_Error = WindowError::kNone;
};

TEST_F(WaylandWestonFixture, FullscreenToplevelFillsTheOutput) {
    Start({"--width=800", "--height=600"});
    ASSERT_NO_FATAL_FAILURE(Open(true));
    EXPECT_FALSE(m_pSurface->UsesLayerShell());
    const std::vector<ViewState> views = m_pSurface->GetViewStates();
    ASSERT_EQ(views.size(), 1u);
    EXPECT_FALSE(views[0].layerSurface);
    EXPECT_EQ(views[0].logicalWidth, 800);
    EXPECT_EQ(views[0].logicalHeight, 600);
    EXPECT_EQ(views[0].bufferWidth, 800);
    EXPECT_EQ(views[0].bufferHeight, 600);
    // weston's screenshooter never answers on the headless backend: what
    // the compositor took is known from its frame callbacks.
    ASSERT_TRUE(RunUntil(*m_pSurface, [] { Clear(0, 1, 0); },
                         [&] { return m_pSurface->GetViewStates()[0].framesShown >= 3; }));
    EXPECT_EQ(m_pSurface->GetViewStates()[0].outputName, "headless");
}

TEST_F(WaylandWestonFixture, ScaledOutputGetsADoubleSizedBuffer) {
    // weston's sizes are logical: the output has 800x600 pixels.
    Start({"--width=400", "--height=300", "--scale=2"});
    ASSERT_NO_FATAL_FAILURE(Open(true, "headless"));
    const std::vector<ViewState> views = m_pSurface->GetViewStates();
    ASSERT_EQ(views.size(), 1u);
    // The compositor's 400x300 logical units are the output's 800x600 pixels.
    EXPECT_EQ(views[0].logicalWidth, 400);
    EXPECT_EQ(views[0].logicalHeight, 300);
    EXPECT_EQ(views[0].bufferWidth, 800);
    EXPECT_EQ(views[0].bufferHeight, 600);
    EXPECT_EQ(views[0].bufferScale, 2);
    EXPECT_EQ(m_pSurface->GetWidth(), 800);
    ASSERT_TRUE(RunUntil(*m_pSurface, [] { Clear(1, 0, 0); },
                         [&] { return m_pSurface->GetViewStates()[0].framesShown >= 3; }));
    EXPECT_EQ(m_pSurface->GetViewStates()[0].outputName, "headless");
}

TEST_F(WaylandWestonFixture, PreviewWindowHasTheSizeAskedFor) {
    Start({"--width=800", "--height=600"});
    ASSERT_NO_FATAL_FAILURE(Open(false));
    const std::vector<ViewState> views = m_pSurface->GetViewStates();
    ASSERT_EQ(views.size(), 1u);
    EXPECT_EQ(views[0].logicalWidth, 320);
    EXPECT_EQ(views[0].logicalHeight, 200);
    EXPECT_EQ(m_pSurface->GetWidth(), 320);
    EXPECT_EQ(m_pSurface->GetHeight(), 200);
    ASSERT_TRUE(RunUntil(*m_pSurface, [] { Clear(0, 0, 1); },
                         [&] { return m_pSurface->GetViewStates()[0].framesShown >= 3; }));
    std::vector<u8> rgba;
    ASSERT_TRUE(m_pSurface->ReadPixels(rgba));
    ASSERT_EQ(rgba.size(), size_t(320 * 200 * 4));
    EXPECT_EQ(rgba[2], 255);
}
