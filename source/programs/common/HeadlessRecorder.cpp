#include "HeadlessRecorder.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include <zyn/graphics/image/PngWriter.h>
#include <zyn/platform/Clock.h>
#include <zyn/platform/GLSurface.h>
#include <zyn/platform/OffscreenSurface.h>

#include "ToolOutput.h"

namespace fs = std::filesystem;

namespace ZynTool {

namespace {

// "frame 12 of 600" redrawn in place on standard error; wiped before any
// other line is written there.
class ProgressLine {
public:
    explicit ProgressLine(bool isShown) : m_bShown(isShown) {}
    ~ProgressLine() { Clear(); }
    void Show(int frame, int total) {
        if (!m_bShown) return;
        std::fprintf(stderr, "\rframe %d of %d", frame, total);
        std::fflush(stderr);
        m_bDrawn = true;
    }
    void Clear() {
        if (m_bDrawn) std::fputs("\r\033[K", stderr);
        m_bDrawn = false;
    }

private:
    bool m_bShown;
    bool m_bDrawn = false;
};

}  // namespace

std::string FrameFileName(int index) {
    char name[32];
    std::snprintf(name, sizeof name, "frame-%05d.png", index);
    return name;
}

HeadlessRecorder::HeadlessRecorder(const RecorderSettings& settings) : m_Settings(settings) {}

HeadlessRecorder::~HeadlessRecorder() {
    if (m_bOwnsClock) Zyn::ManualClock::Uninstall();
}

bool HeadlessRecorder::Open() {
    const std::string& out = m_Settings.outFolder;
    if (!out.empty()) {
        std::error_code ec;
        fs::create_directories(out, ec);
        if (ec || !fs::is_directory(out, ec)) {
            Error("cannot make the output folder %s", out.c_str());
            return false;
        }
        // A folder we may not write into would fail only at the first frame,
        // after the whole start-up.
        if (access(out.c_str(), W_OK) != 0) {
            Error("cannot write into the output folder %s", out.c_str());
            return false;
        }
    }
    m_pSurface.reset(Zyn::CreateOffscreenSurface());
    // Whatever reads the clock (the scene's timeline, the frame-rate text)
    // sees the same times on every run.
    Zyn::ManualClock::Install(0);
    m_bOwnsClock = true;
    return true;
}

bool HeadlessRecorder::CheckContext() const {
    if (m_pSurface && m_pSurface->HasContext() && m_pSurface->GetWidth() == m_Settings.width &&
        m_pSurface->GetHeight() == m_Settings.height)
        return true;
    Error("no offscreen OpenGL context (EGL with Mesa's surfaceless platform is needed)");
    return false;
}

float HeadlessRecorder::GetStepSeconds() const { return float(1.0 / m_Settings.framesPerSecond); }

long HeadlessRecorder::GetStepMicroseconds() const {
    return std::lround(1000000.0 / m_Settings.framesPerSecond);
}

bool HeadlessRecorder::Record(const RenderFrame& render, SheetPlan* plan) {
    m_Frames = 0;
    m_SheetText.clear();
    const bool writes = !m_Settings.outFolder.empty();
    const size_t frameBytes = size_t(m_Settings.width) * size_t(m_Settings.height) * 4;
    std::vector<Zyn::u8> rgba;
    // Long exports show how far they are on a terminal; scripts and tests,
    // which read standard error from pipes and files, see nothing new.
    ProgressLine progress(writes && ::isatty(2) == 1);
    for (int i = 0; i < m_Settings.frameCount; ++i) {
        progress.Show(i + 1, m_Settings.frameCount);
        Zyn::ManualClock::Advance(GetStepMicroseconds());
        if (!render(i)) {
            progress.Clear();
            return false;
        }
        if (!writes) {
            ++m_Frames;
            continue;
        }
        if (!m_pSurface || !m_pSurface->ReadPixels(rgba) || rgba.size() != frameBytes) {
            progress.Clear();
            Error("cannot read frame %d back from the offscreen surface", i);
            return false;
        }
        const std::string path = PathOf(FrameFileName(i));
        if (!Zyn::WritePNG(path.c_str(), m_Settings.width, m_Settings.height, rgba)) {
            progress.Clear();
            Error("cannot write the frame %s", path.c_str());
            return false;
        }
        ++m_Frames;
        if (plan && !plan->Add(i, rgba)) {
            progress.Clear();
            Error("cannot put frame %d on the contact sheet", i);
            return false;
        }
    }
    progress.Clear();
    if (!writes || !plan) return true;
    Zyn::ContactSheet sheet;
    const std::string sheetPath = PathOf(kContactSheetName);
    if (!plan->Build(sheet) || !Zyn::WritePNG(sheetPath.c_str(), sheet.width, sheet.height, sheet.rgba)) {
        Error("cannot write the contact sheet %s", sheetPath.c_str());
        return false;
    }
    m_SheetText = plan->Describe();
    return true;
}

void HeadlessRecorder::PrintSummary() const {
    if (m_Settings.outFolder.empty() || m_Frames == 0) return;
    std::printf("Wrote %d frames of %dx%d to %s ... %s\n", m_Frames, m_Settings.width, m_Settings.height,
                PathOf(FrameFileName(0)).c_str(), FrameFileName(m_Frames - 1).c_str());
    if (!m_SheetText.empty())
        std::printf("Wrote the contact sheet of %s to %s\n", m_SheetText.c_str(),
                    PathOf(kContactSheetName).c_str());
}

}  // namespace ZynTool
