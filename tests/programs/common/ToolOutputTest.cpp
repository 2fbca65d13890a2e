// What every program says the same way: the error and usage lines, and the
// count of the framework's error lines that makes a command fail.
#include <gtest/gtest.h>

#include <string>

#include <zyn/core/Log.h>
#include <zyn/core/Root.h>

#include "ToolOutput.h"

namespace {

// The program name is process-wide: put the default back for other tests.
class ToolOutput : public ::testing::Test {
protected:
    void SetUp() override { ZynTool::SetProgramName("zyn-tool-test"); }
    void TearDown() override { ZynTool::SetProgramName(nullptr); }
};

}  // namespace

TEST_F(ToolOutput, ErrorsAndUsageCarryTheProgramName) {
    testing::internal::CaptureStderr();
    ZynTool::Error("cannot write %s: %d", "a.png", 5);
    ZynTool::Error(std::string("50% done, %s kept as written"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "zyn-tool-test: cannot write a.png: 5\n"
              "zyn-tool-test: 50% done, %s kept as written\n");

    testing::internal::CaptureStderr();
    EXPECT_EQ(ZynTool::Usage("unknown option --x"), ZynTool::kExitUsage);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "zyn-tool-test: unknown option --x\nRun 'zyn-tool-test --help' for the options.\n");

    testing::internal::CaptureStderr();
    EXPECT_EQ(ZynTool::Usage("no FILE given", "Usage: zyn-tool-test FILE\n"), ZynTool::kExitUsage);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "zyn-tool-test: no FILE given\nUsage: zyn-tool-test FILE\n");
}

TEST_F(ToolOutput, ErrorCountSeesOnlyErrorLinesWhileItLives) {
    Zyn::Root* root = Zyn::Singleton<Zyn::Root>::Get();
    const int level = root->m_LogLevel;
    // Warnings and information reach the log outputs too: the count must
    // pass them over itself. The lines are kept off the test's output.
    root->m_LogLevel = Zyn::kLogInfo;
    testing::internal::CaptureStderr();
    Zyn::LogSend(Zyn::kLogError, "before the count");
    {
        const ZynTool::ScopedErrorCount errors;
        EXPECT_EQ(errors.GetCount(), 0);
        Zyn::LogSend(Zyn::kLogError, "first");
        Zyn::LogSend(Zyn::kLogWarning, "a warning is no error");
        Zyn::LogSend(Zyn::kLogInfo, "nor is information");
        Zyn::LogSend(Zyn::kLogError, "second");
        EXPECT_EQ(errors.GetCount(), 2);
        {
            const ZynTool::ScopedErrorCount inner;
            Zyn::LogSend(Zyn::kLogError, "third");
            EXPECT_EQ(inner.GetCount(), 1);
        }
        EXPECT_EQ(errors.GetCount(), 3);
    }
    testing::internal::GetCapturedStderr();
    root->m_LogLevel = level;
}
