#include <zyn/platform/ZYN_ScreenSaver_ZYN.h>

#include <cstdint>
#include <unistd.h>

#include <zyn/core/Root.h>
#include <zyn/io/FileLogOutput.h>
#include <zyn/platform/Clock.h>
#include <zyn/platform/Folders.h>
#include <zyn/platform/WindowSystem.h>

using namespace Zyn;

namespace {

ZynMainFunction g_pZynMain = nullptr;

const long kFrameFloorMicroseconds = 1000;

// Clock values are low 32-bit words: their signed 32-bit difference
// survives a wrap.
long ElapsedMicroseconds(long from, long to) { return long(int32_t(uint32_t(to) - uint32_t(from))); }

}  // namespace

void SetZynMain(ZynMainFunction function) { g_pZynMain = function; }

void ZynMain() {
    if (g_pZynMain) g_pZynMain();
}

bool ZYN_ScreenSaver_ZYN::InitWithFrame(float width, float height, bool isPreview) {
    m_t1 = getTimeMicroseconds();
    if (!ScreenSaverView::InitWithFrame(width, height, isPreview)) return false;
    WindowSystem::SetSurface(GetSurface());

    Root* root = Singleton<Root>::Get();
    const bool wasInited = root->IsInited();
    if (!wasInited) {
        root->LogSend(kLogInfo, "FIRST RUN");
        // Relative names (the pack file, the log, the save path file)
        // resolve in the data folder. Without it start-up goes on where it
        // is and the files are reported missing one by one.
        const std::string data = Folders::GetDataFolder();
        if (chdir(data.c_str()) != 0)
            root->LogSend(kLogError, "Cannot change to the data folder %s", data.c_str());
        // A host may keep the log out of a shared data folder, or go without.
        const std::string logFile = Folders::GetLogFile();
        if (!logFile.empty()) {
            FileLogOutput* log = new FileLogOutput(logFile.c_str());
            // An unwritable folder only costs the log file.
            if (!log->IsOpen()) root->LogSend(kLogWarning, "Cannot write the log file %s", logFile.c_str());
            root->InsertObject(log, -1, 1, nullptr);
        }
    }

    AppSettings settings;
    // Truncation toward zero; the frame size was checked to fit.
    settings.screenWidth = s32(GetFrameWidth());
    settings.screenHeight = s32(GetFrameHeight());
    settings.appWidth = 1024;
    settings.appHeight = 786;
    settings.appName = "Test ZYN Framework App";
    settings.appVersion = "0.2";
    settings.windowed = true;
    settings.vsync = true;
    settings.reserved1 = false;
    settings.reserved2 = true;
    (void)root->Init(settings);

    if (!wasInited) ZynMain();
    return true;
}

void ZYN_ScreenSaver_ZYN::StartAnimation() {
    Root* root = Singleton<Root>::Get();
    root->LogSend(kLogInfo, "startAnimation");
    root->ProcessSystemEvent(4, 1, 0);
    ScreenSaverView::StartAnimation();
}

void ZYN_ScreenSaver_ZYN::StopAnimation() {
    Root* root = Singleton<Root>::Get();
    root->LogSend(kLogInfo, "stopAnimation");
    root->ProcessSystemEvent(4, 0, 0);
    ScreenSaverView::StopAnimation();
}

void ZYN_ScreenSaver_ZYN::AnimateOneFrame() {
    long elapsed = 0;
    for (;;) {
        m_t2 = getTimeMicroseconds();
        elapsed = ElapsedMicroseconds(m_t1, m_t2);
        if (elapsed >= kFrameFloorMicroseconds) break;
        if (elapsed < 0) {
            // The clock stepped back: waiting for it to catch up could take
            // half an hour, so the wait restarts from now.
            m_t1 = m_t2;
            elapsed = 0;
        }
        // Sleep out the remainder instead of spinning on a core.
        SleepMicroseconds(kFrameFloorMicroseconds - elapsed);
    }
    Object* root = Singleton<Root>::Get();
    root->Update(float(double(elapsed) * 0.000001));
    m_t1 = m_t2;
}

bool ZYN_ScreenSaver_ZYN::SetFrameSize(float width, float height) {
    const bool ok = ScreenSaverView::SetFrameSize(width, height);
    Singleton<Root>::Get()->LogSend(kLogInfo, "SET FRAME SIZE");
    return ok;
}

void ZYN_ScreenSaver_ZYN::Dealloc() {
    StopAnimation();
    Singleton<Root>::Get()->LogSend(kLogInfo, "Dealloc");
    ScreenSaverView::Dealloc();
}
