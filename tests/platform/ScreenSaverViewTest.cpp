// The view's life cycle through the host driver, on the offscreen surface and
// a manual clock. Root is one per process: the first view is made once, by
// whichever test needs it first, and its record is shared.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <unistd.h>

#include <zyn/core/Root.h>
#include <zyn/io/FileLogOutput.h>
#include <zyn/platform/Clock.h>
#include <zyn/platform/Folders.h>
#include <zyn/platform/GLSurface.h>
#include <zyn/platform/HostDriver.h>
#include <zyn/platform/OffscreenSurface.h>
#include <zyn/platform/WindowSystem.h>
#include <zyn/platform/ZYN_ScreenSaver_ZYN.h>

#include "support/LogCapture.h"

using namespace Zyn;
using namespace ZynTest;
namespace fs = std::filesystem;

namespace {

int g_ZynMainRuns = 0;
void CountingZynMain() { ++g_ZynMainRuns; }

/// Records the steps Root hands to its update group.
class StepRecorder : public Object {
public:
    StepRecorder() : Object("steps") {}
    bool Update(float dt) override {
        m_Steps.push_back(dt);
        return true;
    }
    std::vector<float> m_Steps;
};

std::string ReadText(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string MakeTempDir() {
    char pattern[] = "/tmp/zyn-view-XXXXXX";
    const char* dir = mkdtemp(pattern);
    return dir ? std::string(dir) : std::string();
}

/// The first view of the process and what it left behind. The surface and
/// the data folder live until the suite ends.
class FirstView : public ::testing::Environment {
public:
    static FirstView* Get() { return ms_pInstance; }

    /// False when Root was initialised before we could make the first view.
    bool Ensure() {
        if (m_bDone) return m_bOk;
        m_bDone = true;
        if (Singleton<Root>::Get()->IsInited()) return false;
        m_DataDir = MakeTempDir();
        m_pSurface.reset(CreateOffscreenSurface());
        char cwd[4096];
        if (!getcwd(cwd, sizeof cwd)) return false;
        Folders::SetDataFolderOverride(m_DataDir);
        SetZynMain(&CountingZynMain);
        {
            ScopedLogCapture log;
            HostDriver host;
            if (!host.Create(m_pSurface.get(), 1440.7f, 900.2f, false)) return false;
            char inside[4096];
            m_CwdAfterInit = getcwd(inside, sizeof inside) ? inside : "";
            m_Settings = *Singleton<Root>::Get()->GetAppSettings();
            m_SurfaceWidth = m_pSurface->GetWidth();
            m_Handle = WindowSystem::GetHandle();
            host.Start();
            host.Frame();
            host.Release();
            m_Lines = log->m_Lines;
        }
        m_LogOutputs = int(Singleton<Root>::Get()->GetLogOutputGroup().GetList().size());
        Folders::SetDataFolderOverride("");
        m_bOk = chdir(cwd) == 0;
        return m_bOk;
    }

    void TearDown() override {
        WindowSystem::SetSurface(nullptr);
        if (!m_DataDir.empty()) fs::remove_all(m_DataDir);
        // Root's graphics keeps the pointer but only forgets it at shutdown.
        m_pSurface.reset();
    }

    GLSurface* Surface() { return m_pSurface.get(); }

    std::unique_ptr<GLSurface> m_pSurface;
    std::string m_DataDir;
    std::string m_CwdAfterInit;
    AppSettings m_Settings;
    std::vector<std::string> m_Lines;
    int m_LogOutputs = 0;
    int m_SurfaceWidth = 0;
    void* m_Handle = nullptr;

private:
    bool m_bDone = false;
    bool m_bOk = false;
    static FirstView* ms_pInstance;
};

FirstView* FirstView::ms_pInstance =
    static_cast<FirstView*>(::testing::AddGlobalTestEnvironment(new FirstView));

int CountLines(const std::vector<std::string>& lines, const std::string& text) {
    int n = 0;
    for (const std::string& l : lines)
        if (l.find(text) != std::string::npos) ++n;
    return n;
}

class ViewFixture : public ::testing::Test {
protected:
    void SetUp() override {
        if (!FirstView::Get()->Ensure()) GTEST_SKIP() << "Root was initialised before the first view";
        m_pRoot = Singleton<Root>::Get();
        m_pRecorder = new StepRecorder;
        m_pRecorder->AddRef();
        m_pRoot->InsertObject(m_pRecorder, Root::kUpdate, 1, nullptr);
    }
    void TearDown() override {
        if (!m_pRoot) return;
        m_pRoot->RemoveObject(m_pRecorder, Root::kUpdate);
        m_pRecorder->Release();
        m_pRoot->ProcessSystemEvent(4, 0, 0);
        ManualClock::Uninstall();
    }
    Root* m_pRoot = nullptr;
    StepRecorder* m_pRecorder = nullptr;
};

}  // namespace

TEST_F(ViewFixture, FirstViewPreparesFolderLogAndSettings) {
    FirstView* first = FirstView::Get();
    EXPECT_EQ(CountLines(first->m_Lines, "FIRST RUN"), 1);
    EXPECT_EQ(fs::canonical(first->m_CwdAfterInit), fs::canonical(first->m_DataDir));
    EXPECT_EQ(g_ZynMainRuns, 1);

    const AppSettings& s = first->m_Settings;
    EXPECT_EQ(s.screenWidth, 1440);
    EXPECT_EQ(s.screenHeight, 900);
    EXPECT_EQ(s.appWidth, 1024);
    EXPECT_EQ(s.appHeight, 786);
    EXPECT_STREQ(s.appName, "Test ZYN Framework App");
    EXPECT_STREQ(s.appVersion, "0.2");
    EXPECT_TRUE(s.windowed);
    EXPECT_TRUE(s.vsync);
    EXPECT_FALSE(s.reserved1);
    EXPECT_TRUE(s.reserved2);
    // The renderer was handed the surface the view was made on.
    EXPECT_EQ(first->m_Handle, static_cast<void*>(first->Surface()));
    EXPECT_EQ(first->m_SurfaceWidth, 1440);

    // The log file opened after "FIRST RUN" and got the rest of start-up.
    const std::string text = ReadText(fs::path(first->m_DataDir) / "log.txt");
    EXPECT_EQ(text.find("FIRST RUN"), std::string::npos);
    EXPECT_NE(text.find("Zyn::Root::ZynInit -> Scope opened"), std::string::npos);
    EXPECT_NE(text.find("startAnimation"), std::string::npos);

    // Release stops the animation once more, then says goodbye.
    const int stop = CountLines(first->m_Lines, "stopAnimation");
    EXPECT_EQ(stop, 1);
    EXPECT_EQ(first->m_Lines.back().substr(16), "Dealloc");
}

TEST_F(ViewFixture, SecondViewOnlyReinitialisesWithItsSize) {
    FirstView* first = FirstView::Get();
    const int outputs = int(m_pRoot->GetLogOutputGroup().GetList().size());
    EXPECT_EQ(outputs, first->m_LogOutputs);
    ScopedLogCapture log;
    HostDriver host;
    ASSERT_TRUE(host.Create(first->Surface(), 800.9f, 600.5f, true));
    EXPECT_FALSE(log->Contains("FIRST RUN"));
    EXPECT_TRUE(log->Contains("Zyn::Root::ZynInit -> reinitializing ZYN with new settings -> DONE"));
    EXPECT_EQ(g_ZynMainRuns, 1);
    // The capture itself is the only new output.
    EXPECT_EQ(int(m_pRoot->GetLogOutputGroup().GetList().size()), outputs + 1);
    EXPECT_EQ(m_pRoot->GetAppSettings()->screenWidth, 800);
    EXPECT_EQ(m_pRoot->GetAppSettings()->screenHeight, 600);
    EXPECT_EQ(first->Surface()->GetWidth(), 800);
    EXPECT_TRUE(host.GetView()->IsPreview());

    // A resize from the host: logged, and Root re-initialised with it.
    EXPECT_TRUE(host.Resize(640, 480));
    EXPECT_TRUE(log->Contains("SET FRAME SIZE"));
    EXPECT_EQ(m_pRoot->GetAppSettings()->screenWidth, 640);
    EXPECT_EQ(first->Surface()->GetHeight(), 480);
}

TEST_F(ViewFixture, FramesWaitForTheFloorBySleepingAcrossAClockWrap) {
    // Just before the low 32-bit word wraps.
    ManualClock::Install(long(0xFFFFFF00u));
    HostDriver host;
    ASSERT_TRUE(host.Create(FirstView::Get()->Surface(), 320.0f, 200.0f, false));
    host.Start();

    ManualClock::Advance(300);
    ASSERT_TRUE(host.Frame());
    // One sleep of the remainder, no spinning; the step is the floor.
    EXPECT_EQ(ManualClock::SleptMicroseconds(), 700);
    ASSERT_EQ(m_pRecorder->m_Steps.size(), 1u);
    EXPECT_FLOAT_EQ(m_pRecorder->m_Steps[0], 0.001f);

    ManualClock::Advance(5000);
    host.Frame();
    EXPECT_EQ(ManualClock::SleptMicroseconds(), 700);
    ASSERT_EQ(m_pRecorder->m_Steps.size(), 2u);
    EXPECT_FLOAT_EQ(m_pRecorder->m_Steps[1], 0.005f);

    // Long stalls reach the scene clamped by Root.
    ManualClock::Advance(1500000);
    host.Frame();
    ASSERT_EQ(m_pRecorder->m_Steps.size(), 3u);
    EXPECT_FLOAT_EQ(m_pRecorder->m_Steps[2], 0.25f);

    // Stopped: frames still come, the scene stays frozen.
    host.Stop();
    EXPECT_FALSE(m_pRoot->IsActive());
    const s32 frames = m_pRoot->GetFrameCounter();
    ManualClock::Advance(20000);
    host.Frame();
    EXPECT_EQ(m_pRecorder->m_Steps.size(), 3u);
    EXPECT_EQ(m_pRoot->GetFrameCounter(), frames);
}

TEST_F(ViewFixture, ClockSteppingBackRestartsTheWait) {
    ManualClock::Install(50000);
    HostDriver host;
    ASSERT_TRUE(host.Create(FirstView::Get()->Surface(), 320.0f, 200.0f, false));
    host.Start();
    // Far behind the view's last reading.
    ManualClock::Install(10);
    host.Frame();
    EXPECT_EQ(ManualClock::SleptMicroseconds(), 1000);
    ASSERT_EQ(m_pRecorder->m_Steps.size(), 1u);
    EXPECT_FLOAT_EQ(m_pRecorder->m_Steps[0], 0.001f);
}

TEST_F(ViewFixture, FixedStepRunsAreReproducible) {
    std::vector<float> runs[2];
    for (std::vector<float>& steps : runs) {
        m_pRecorder->m_Steps.clear();
        HostDriver host;
        host.UseFixedStep(40000);
        ASSERT_TRUE(host.Create(FirstView::Get()->Surface(), 320.0f, 200.0f, false));
        host.Start();
        for (int i = 0; i < 5; ++i) host.Frame();
        host.Release();
        steps = m_pRecorder->m_Steps;
    }
    EXPECT_EQ(runs[0], std::vector<float>(5, 0.04f));
    EXPECT_EQ(runs[0], runs[1]);
}

TEST_F(ViewFixture, RefusesFramesThatDoNotFitTheScreenFields) {
    ScopedLogCapture log;
    HostDriver host;
    EXPECT_FALSE(host.Create(FirstView::Get()->Surface(), NAN, 100.0f, false));
    EXPECT_FALSE(host.Create(FirstView::Get()->Surface(), 100.0f, -1.0f, false));
    EXPECT_FALSE(host.Create(FirstView::Get()->Surface(), 1e12f, 100.0f, false));
    EXPECT_EQ(host.GetView(), nullptr);
    EXPECT_FALSE(log->Contains("ZynInit"));
    EXPECT_FALSE(host.Frame());
}

TEST(ViewStartUp, UnwritableLogFileDoesNotStopStartUp) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            const std::string dir = MakeTempDir();
            // A folder in the way: opening it for writing fails even for root.
            fs::create_directory(fs::path(dir) / "log.txt");
            Folders::SetDataFolderOverride(dir);
            g_ZynMainRuns = 0;
            SetZynMain(&CountingZynMain);
            std::unique_ptr<GLSurface> surface(CreateOffscreenSurface());
            bool ok = false;
            {
                HostDriver host;
                ok = host.Create(surface.get(), 64.0f, 64.0f, false);
            }
            ok = ok && Singleton<Root>::Get()->IsInited() && g_ZynMainRuns == 1;
            // Torn down as the test runner does, so that leak checking passes.
            Singleton<Root>::Get()->Release();
            WindowSystem::SetSurface(nullptr);
            surface.reset();
            fs::remove_all(dir);
            std::exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "Cannot write the log file log.txt");
}

TEST(ViewStartUp, MissingDataFolderIsReportedAndStartUpGoesOn) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            const std::string dir = MakeTempDir();
            bool ok = chdir(dir.c_str()) == 0;
            Folders::SetDataFolderOverride(dir + "/missing");
            std::unique_ptr<GLSurface> surface(CreateOffscreenSurface());
            {
                HostDriver host;
                ok = ok && host.Create(surface.get(), 64.0f, 64.0f, false);
            }
            ok = ok && Singleton<Root>::Get()->IsInited();
            // Torn down as the test runner does, so that leak checking passes.
            Singleton<Root>::Get()->Release();
            WindowSystem::SetSurface(nullptr);
            surface.reset();
            fs::remove_all(dir);
            std::exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "Cannot change to the data folder .*/missing");
}
