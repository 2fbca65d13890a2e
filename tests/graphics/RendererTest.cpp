// Renderer behaviour that needs no GL context.
#include <gtest/gtest.h>

#include <zyn/core/Root.h>
#include <zyn/graphics/Graphics.h>

#include "support/LogCapture.h"

using namespace Zyn;

TEST(RendererSetup, InitWithoutSurfaceFailsWithLogLine) {
    ZynTest::ScopedLogCapture log;
    AppSettings s;
    s.screenWidth = 64;
    s.screenHeight = 48;
    EXPECT_FALSE(Graphics::Init(nullptr, s));
    EXPECT_TRUE(log->Contains(" E. ") && log->Contains("Graphics::ReInit -> no GL surface to draw into"));
    EXPECT_EQ(Graphics::Globals::g_LockedQuadBuffer, nullptr);
}
