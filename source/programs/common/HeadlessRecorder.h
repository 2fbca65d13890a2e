// The headless recorder every program exports frames with: an offscreen
// surface of the frame size, a fixed time step, one loop that renders each
// frame through the program's callback, reads it back, writes it as
// OUT/frame-NNNNN.png and offers it to the program's contact sheet plan,
// then the sheet as OUT/contact.png and one summary. Without an output
// folder it only steps the frames (a soak run). Failures are reported on
// standard error through ToolOutput. The recorder owns the framework's clock
// while it lives: callers install no clock of their own (no
// HostDriver::UseFixedStep). Declare the recorder before the framework
// objects that draw on its surface: they must go first.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <zyn/core/Types.h>
#include <zyn/graphics/image/ContactSheet.h>

namespace Zyn {
class GLSurface;
}

namespace ZynTool {

/// The file name of headless frame `index`: "frame-00042.png".
std::string FrameFileName(int index);
inline constexpr const char* kContactSheetName = "contact.png";

/// How a program lays out its contact sheet. The recorder offers every frame
/// it wrote, in order, then asks for the sheet once.
class SheetPlan {
public:
    virtual ~SheetPlan() = default;
    /// Offers frame `index` (the frame size, RGBA, top row first; transient:
    /// copy what is kept). False when it cannot be taken (logged).
    [[nodiscard]] virtual bool Add(int index, const std::vector<Zyn::u8>& rgba) = 0;
    /// The sheet of the frames offered. False when it cannot be built (logged).
    [[nodiscard]] virtual bool Build(Zyn::ContactSheet& sheet) = 0;
    /// What the built sheet shows, for the summary: "36 frames".
    virtual std::string Describe() const = 0;
};

struct RecorderSettings {
    std::string outFolder;  // empty: the frames are stepped, nothing is written
    int width = 0;
    int height = 0;
    double framesPerSecond = 30.0;
    int frameCount = 0;
};

class HeadlessRecorder {
public:
    /// Renders frame `index` onto the surface, one fixed step after the
    /// previous one. False ends the recording as failed; the callback has
    /// said why.
    using RenderFrame = std::function<bool(int index)>;

    explicit HeadlessRecorder(const RecorderSettings& settings);
    ~HeadlessRecorder();
    HeadlessRecorder(const HeadlessRecorder&) = delete;
    HeadlessRecorder& operator=(const HeadlessRecorder&) = delete;

    /// Makes the output folder (when there is one) and the offscreen surface,
    /// and puts the framework on a manual clock at 0 that only the recorder
    /// moves (the real clock is back when the recorder goes). False after a
    /// message, the clock then untouched.
    [[nodiscard]] bool Open();
    /// The surface to draw on; owned by the recorder, null before Open.
    Zyn::GLSurface* GetSurface() const { return m_pSurface.get(); }
    /// True when the framework made a GL context of the frame size on the
    /// surface; else false after a message.
    [[nodiscard]] bool CheckContext() const;

    /// The fixed step: Root::Update's argument for programs that update the
    /// Root themselves, and what the clock advances by before each frame.
    float GetStepSeconds() const;
    long GetStepMicroseconds() const;

    /// Renders every frame, each one step of the clock after the one before;
    /// with an output folder also writes each, offers it to `plan` and writes
    /// the plan's sheet. False after a message; the frames written until
    /// then stay.
    [[nodiscard]] bool Record(const RenderFrame& render, SheetPlan* plan);
    /// Frames written (or stepped, without an output folder) so far.
    int GetFrameCount() const { return m_Frames; }

    /// After a complete recording, says on standard output what was written
    /// and where: the frames, then the sheet. Nothing without an output folder.
    void PrintSummary() const;

private:
    std::string PathOf(const std::string& name) const { return m_Settings.outFolder + "/" + name; }

    RecorderSettings m_Settings;
    std::unique_ptr<Zyn::GLSurface> m_pSurface;
    bool m_bOwnsClock = false;
    int m_Frames = 0;
    std::string m_SheetText;  // the plan's description once the sheet is written
};

}  // namespace ZynTool
