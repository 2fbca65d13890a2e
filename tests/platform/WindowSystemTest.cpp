#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include <zyn/core/Root.h>
#include <zyn/platform/Clock.h>
#include <zyn/platform/GLSurface.h>
#include <zyn/platform/ProcessSetup.h>
#include <zyn/platform/WindowSurface.h>
#include <zyn/platform/WindowSystem.h>

#include "support/LogCapture.h"

using namespace Zyn;
using namespace ZynTest;

namespace {

/// A surface that only records what the window layer asks of it.
class RecordingSurface : public GLSurface {
public:
    bool CreateContext(int, int) override { return false; }
    void DestroyContext() override {}
    bool HasContext() const override { return false; }
    bool MakeCurrent() override { return false; }
    void SwapBuffers() override {}
    void SetSwapInterval(int) override {}
    int GetWidth() const override { return 0; }
    int GetHeight() const override { return 0; }
    bool ReadPixels(std::vector<u8>&) override { return false; }
    bool MakeSharedContextCurrent() override { return false; }
    void DoneSharedContext() override {}
    void ShowCursor(bool show) override { m_Cursor.push_back(show); }
    std::vector<bool> m_Cursor;
};

class WindowSystemFixture : public ::testing::Test {
protected:
    void SetUp() override {
        m_pOld = WindowSystem::GetSurface();
        WindowSystem::ClearCloseRequest();
    }
    void TearDown() override {
        WindowSystem::SetSurface(m_pOld);
        WindowSystem::ClearCloseRequest();
        ManualClock::Uninstall();
    }
    GLSurface* m_pOld = nullptr;
};

}  // namespace

TEST_F(WindowSystemFixture, RootCloseBecomesARequestTheHostPolls) {
    ScopedLogCapture log;
    EXPECT_FALSE(WindowSystem::IsCloseRequested());
    EXPECT_TRUE(Singleton<Root>::Get()->Close());
    EXPECT_TRUE(log->Contains("Zyn::Root::Close -> Scope opened"));
    EXPECT_TRUE(WindowSystem::IsCloseRequested());
    WindowSystem::ClearCloseRequest();
    EXPECT_FALSE(WindowSystem::IsCloseRequested());
}

TEST_F(WindowSystemFixture, HandleIsTheChosenSurfaceAndCursorCallsReachIt) {
    RecordingSurface surface;
    WindowSystem::SetSurface(&surface);
    EXPECT_EQ(WindowSystem::GetHandle(), static_cast<void*>(&surface));
    EXPECT_EQ(Root::GetWindowLayer()->GetHandle(), static_cast<void*>(&surface));
    Root::GetWindowLayer()->ShowMouseCursor(false);
    WindowSystem::ShowMouseCursor(true);
    EXPECT_EQ(surface.m_Cursor, std::vector<bool>({false, true}));
    WindowSystem::SetSurface(nullptr);
    EXPECT_EQ(WindowSystem::GetHandle(), nullptr);
    // Without a surface there is nobody to tell.
    WindowSystem::ShowMouseCursor(false);
    EXPECT_EQ(surface.m_Cursor.size(), 2u);
}

TEST_F(WindowSystemFixture, SleepGoesThroughTheInjectedClock) {
    ManualClock::Install(100);
    WindowSystem::Sleep(3);
    // Large values do not overflow into short sleeps.
    WindowSystem::Sleep(5000000u);
    EXPECT_EQ(ManualClock::SleptMicroseconds(), 3000 + 5000000000L);
}

TEST(SoftwareRasterizer, LeanDefaultsKeepWhatTheUserSet) {
    const char* keys[] = {"LP_NUM_THREADS", "LP_PERF"};
    std::string saved[2];
    bool had[2];
    for (int i = 0; i < 2; ++i) {
        const char* v = std::getenv(keys[i]);
        had[i] = v != nullptr;
        if (v) saved[i] = v;
    }
    setenv("LP_NUM_THREADS", "4", 1);
    unsetenv("LP_PERF");
    Zyn::PreferLeanSoftwareRasterizer();
    EXPECT_STREQ(std::getenv("LP_NUM_THREADS"), "4");
    EXPECT_STREQ(std::getenv("LP_PERF"), "no_linear");
    unsetenv("LP_NUM_THREADS");
    setenv("LP_PERF", "no_mipmap", 1);
    Zyn::PreferLeanSoftwareRasterizer();
    EXPECT_STREQ(std::getenv("LP_NUM_THREADS"), "1");
    EXPECT_STREQ(std::getenv("LP_PERF"), "no_mipmap");
    for (int i = 0; i < 2; ++i) {
        if (had[i])
            setenv(keys[i], saved[i].c_str(), 1);
        else
            unsetenv(keys[i]);
    }
}

TEST(ProcessSetup, HugePagesAreAskedForOnlyWhereTheyHelpAndTheUserIsSilent) {
    struct Case {
        const char* current;
        const char* thpMode;
        const char* expected;
    };
    const Case cases[] = {
        {nullptr, "always [madvise] never", "glibc.malloc.hugetlb=1"},
        {"", "always [madvise] never", "glibc.malloc.hugetlb=1"},
        {"glibc.malloc.arena_max=2", "always [madvise] never", "glibc.malloc.arena_max=2:glibc.malloc.hugetlb=1"},
        // The user's own choice, whatever it is, stays.
        {"glibc.malloc.hugetlb=0", "always [madvise] never", ""},
        {"glibc.malloc.arena_max=2:glibc.malloc.hugetlb=2", "always [madvise] never", ""},
        // Given unasked, never given, or no such kernel feature.
        {nullptr, "[always] madvise never", ""},
        {nullptr, "always madvise [never]", ""},
        {nullptr, "", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Zyn::ProcessSetupImpl::HugePageTunables(c.current, c.thpMode), c.expected)
            << (c.current ? c.current : "(unset)") << " / " << c.thpMode;
}
