// The headless recorder on a real offscreen surface: the frames it writes
// and their names, the plan's sheet, the summary, and how it fails.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include <zyn/graphics/Graphics.h>
#include <zyn/platform/Clock.h>

#include "HeadlessRecorder.h"
#include "programs/support/HostTestUtil.h"

namespace fs = std::filesystem;

namespace {

constexpr int kW = 32;
constexpr int kH = 24;

// A colour of its own for every frame.
Zyn::u32 FrameColour(int index) {
    return 0xFF000000u | Zyn::u32(40 * (index + 1)) << 16 | 0x1000u | Zyn::u32(200 - 40 * index);
}

bool SameColour(const unsigned char* p, Zyn::u32 argb) {
    return p[0] == ((argb >> 16) & 0xFF) && p[1] == ((argb >> 8) & 0xFF) && p[2] == (argb & 0xFF) &&
           p[3] == 0xFF;
}

// Keeps the indices offered and the first pixel of each frame; its sheet is
// one pixel per frame offered, so the file written shows what it was given.
class PixelPlan : public ZynTool::SheetPlan {
public:
    bool Add(int index, const std::vector<Zyn::u8>& rgba) override {
        if (rgba.size() != size_t(kW) * kH * 4) return false;
        m_Indices.push_back(index);
        m_Pixels.insert(m_Pixels.end(), rgba.begin(), rgba.begin() + 4);
        return true;
    }
    bool Build(Zyn::ContactSheet& sheet) override {
        sheet.width = int(m_Indices.size());
        sheet.height = 1;
        sheet.rgba = m_Pixels;
        return !m_Indices.empty();
    }
    std::string Describe() const override { return std::to_string(m_Indices.size()) + " test frames"; }

    std::vector<int> m_Indices;
    std::vector<Zyn::u8> m_Pixels;
};

ZynTool::RecorderSettings Settings(const std::string& out, int frames) {
    ZynTool::RecorderSettings s;
    s.outFolder = out;
    s.width = kW;
    s.height = kH;
    s.framesPerSecond = 8.0;
    s.frameCount = frames;
    return s;
}

std::set<std::string> FilesIn(const std::string& folder) {
    std::set<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec)) names.insert(e.path().filename().string());
    return names;
}

// The renderer on the recorder's surface for the test's lifetime.
class Recorder : public ::testing::Test {
protected:
    void Start(ZynTool::HeadlessRecorder& recorder) {
        ASSERT_TRUE(recorder.Open());
        Zyn::AppSettings s;
        s.screenWidth = s.appWidth = kW;
        s.screenHeight = s.appHeight = kH;
        s.windowed = true;
        ASSERT_TRUE(Zyn::Graphics::Init(recorder.GetSurface(), s)) << "the offscreen GL context is needed";
        m_bStarted = true;
        ASSERT_TRUE(recorder.CheckContext());
    }
    void TearDown() override {
        if (m_bStarted) Zyn::Graphics::ShutDown();
    }
    static bool Draw(int index) {
        namespace G = Zyn::Graphics;
        if (!G::BeginRendering()) return false;
        G::SetScreenViewport(Zyn::Rect<short>(0, 0, kW, kH));
        G::ClearScreenViewport(FrameColour(index), true, 1.0f, true);
        return G::EndRendering();
    }

    HostTest::TempDir m_Dir;
    bool m_bStarted = false;
};

}  // namespace

TEST_F(Recorder, WritesEveryFrameUnderItsNameThenThePlansSheetAndTheSummary) {
    const std::string out = m_Dir / "made/here";
    ZynTool::HeadlessRecorder recorder(Settings(out, 3));
    Start(recorder);
    EXPECT_EQ(recorder.GetStepMicroseconds(), 125000);
    EXPECT_FLOAT_EQ(recorder.GetStepSeconds(), 0.125f);
    PixelPlan plan;
    std::vector<int> rendered;
    std::vector<long> clock;
    ASSERT_TRUE(recorder.Record(
        [&](int index) {
            rendered.push_back(index);
            clock.push_back(Zyn::getTimeMicroseconds());
            return Draw(index);
        },
        &plan));
    EXPECT_EQ(rendered, (std::vector<int>{0, 1, 2}));
    // Frame k is drawn k + 1 steps into the run, whatever the real time.
    EXPECT_EQ(clock, (std::vector<long>{125000, 250000, 375000}));
    EXPECT_EQ(plan.m_Indices, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(recorder.GetFrameCount(), 3);
    EXPECT_EQ(FilesIn(out), (std::set<std::string>{"frame-00000.png", "frame-00001.png", "frame-00002.png",
                                                   "contact.png"}));

    // Frame k holds what was drawn for frame k, every pixel of it.
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        int w = 0, h = 0;
        std::vector<unsigned char> rgba;
        ASSERT_TRUE(HostTest::ReadPng(out + "/" + ZynTool::FrameFileName(k), w, h, rgba));
        ASSERT_EQ(w, kW);
        ASSERT_EQ(h, kH);
        int wrong = 0;
        for (size_t i = 0; i < rgba.size(); i += 4) wrong += SameColour(&rgba[i], FrameColour(k)) ? 0 : 1;
        EXPECT_EQ(wrong, 0);
    }
    int w = 0, h = 0;
    std::vector<unsigned char> sheet;
    ASSERT_TRUE(HostTest::ReadPng(out + "/contact.png", w, h, sheet));
    ASSERT_EQ(w, 3);
    ASSERT_EQ(h, 1);
    for (int k = 0; k < 3; ++k) EXPECT_TRUE(SameColour(&sheet[size_t(k) * 4], FrameColour(k))) << k;

    testing::internal::CaptureStdout();
    recorder.PrintSummary();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Wrote 3 frames of 32x24 to " + out + "/frame-00000.png ... frame-00002.png\n" +
                  "Wrote the contact sheet of 3 test frames to " + out + "/contact.png\n");
}

namespace {

// Runs work with standard error on a pseudo-terminal (or on a file when
// onTerminal is false) and returns what reached it.
template <typename Work>
std::string CaptureStderr(bool onTerminal, const std::string& file, Work work) {
    int master = -1, slave = -1;
    if (onTerminal ? openpty(&master, &slave, nullptr, nullptr, nullptr) != 0
                   : (slave = open(file.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600)) < 0)
        return "no capture";
    std::fflush(stderr);
    const int saved = dup(2);
    dup2(slave, 2);
    work();
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::string text;
    char buffer[4096];
    if (onTerminal) {
        struct pollfd p = {master, POLLIN, 0};
        for (ssize_t n; poll(&p, 1, 0) > 0 && (n = read(master, buffer, sizeof buffer)) > 0;)
            text.append(buffer, size_t(n));
        close(master);
    } else {
        lseek(slave, 0, SEEK_SET);
        for (ssize_t n; (n = read(slave, buffer, sizeof buffer)) > 0;) text.append(buffer, size_t(n));
    }
    close(slave);
    return text;
}

}  // namespace

// Standard error as a terminal, then as a file: the frame count shows on
// the terminal and is wiped at the end; a file gets nothing new.
std::string RecordThreeFrames(bool onTerminal, const std::string& folder,
                              const std::function<void(ZynTool::HeadlessRecorder&)>& start,
                              const std::function<bool(int)>& draw) {
    ZynTool::HeadlessRecorder recorder(Settings(folder + "/frames", 3));
    start(recorder);
    PixelPlan plan;
    bool recorded = false;
    const std::string err = CaptureStderr(onTerminal, folder + "/stderr.txt",
                                          [&] { recorded = recorder.Record(draw, &plan); });
    return recorded ? err : "not recorded";
}

TEST_F(Recorder, CountsTheFramesOnATerminalAndWipesTheLine) {
    EXPECT_EQ(RecordThreeFrames(
                  true, m_Dir.Path(), [&](ZynTool::HeadlessRecorder& r) { Start(r); },
                  [&](int index) { return Draw(index); }),
              "\rframe 1 of 3\rframe 2 of 3\rframe 3 of 3\r\033[K");
}

TEST_F(Recorder, WritesNothingMoreOnStandardErrorWhenItIsNoTerminal) {
    EXPECT_EQ(RecordThreeFrames(
                  false, m_Dir.Path(), [&](ZynTool::HeadlessRecorder& r) { Start(r); },
                  [&](int index) { return Draw(index); }),
              "");
}

TEST_F(Recorder, ARefusedFrameEndsTheRecordingWithoutASheet) {
    const std::string out = m_Dir / "out";
    ZynTool::HeadlessRecorder recorder(Settings(out, 5));
    Start(recorder);
    PixelPlan plan;
    EXPECT_FALSE(recorder.Record([&](int index) { return index < 2 && Draw(index); }, &plan));
    EXPECT_EQ(plan.m_Indices, (std::vector<int>{0, 1}));
    EXPECT_EQ(recorder.GetFrameCount(), 2);
    EXPECT_EQ(FilesIn(out), (std::set<std::string>{"frame-00000.png", "frame-00001.png"}));
}

TEST_F(Recorder, AFolderGoneMidwayFailsAtTheFirstFrameItCannotWrite) {
    const std::string out = m_Dir / "out";
    ZynTool::HeadlessRecorder recorder(Settings(out, 4));
    Start(recorder);
    PixelPlan plan;
    int calls = 0;
    testing::internal::CaptureStderr();
    const bool recorded = recorder.Record(
        [&](int index) {
            ++calls;
            if (index == 1) fs::remove_all(out);
            return Draw(index);
        },
        &plan);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(recorded);
    EXPECT_EQ(calls, 2) << "nothing is rendered after the failure";
    EXPECT_EQ(plan.m_Indices, std::vector<int>{0});
    EXPECT_NE(err.find(": cannot write the frame " + out + "/frame-00001.png\n"), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(out));
}

TEST_F(Recorder, WithoutAnOutputFolderItOnlyStepsTheFrames) {
    ZynTool::HeadlessRecorder recorder(Settings("", 6));
    Start(recorder);
    int calls = 0;
    ASSERT_TRUE(recorder.Record(
        [&](int index) {
            EXPECT_EQ(index, calls);
            ++calls;
            return Draw(index);
        },
        nullptr));
    EXPECT_EQ(calls, 6);
    EXPECT_EQ(recorder.GetFrameCount(), 6);
    testing::internal::CaptureStdout();
    recorder.PrintSummary();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    // An empty folder is no folder: neither the root nor the current one.
    for (const std::string& path : {"/" + ZynTool::FrameFileName(0), ZynTool::FrameFileName(0)})
        EXPECT_FALSE(fs::exists(path)) << path;
}

TEST(RecorderOutput, AFolderThatCannotBeMadeIsRefusedBeforeAnySurface) {
    HostTest::TempDir dir;
    const std::string file = dir / "plain-file";
    std::ofstream(file) << "not a folder";
    for (const std::string& out : {file, file + "/frames"}) {
        SCOPED_TRACE(out);
        ZynTool::HeadlessRecorder recorder(Settings(out, 2));
        testing::internal::CaptureStderr();
        EXPECT_FALSE(recorder.Open());
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find(": cannot make the output folder " + out + "\n"), std::string::npos) << err;
        EXPECT_EQ(recorder.GetSurface(), nullptr);
    }
    EXPECT_EQ(FilesIn(dir.Path()), std::set<std::string>{"plain-file"});
}
