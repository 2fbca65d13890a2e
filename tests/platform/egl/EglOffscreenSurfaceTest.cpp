#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include <GL/gl.h>

#include <zyn/platform/GLSurface.h>
#include <zyn/platform/OffscreenSurface.h>

using namespace Zyn;

namespace {

class OffscreenSurfaceFixture : public ::testing::Test {
protected:
    void SetUp() override {
        m_pSurface.reset(CreateOffscreenSurface());
        ASSERT_TRUE(m_pSurface->CreateContext(64, 32));
    }
    void TearDown() override { m_pSurface.reset(); }

    // RGBA of pixel (x, y), row 0 at the top.
    static const u8* Pixel(const std::vector<u8>& rgba, int width, int x, int y) {
        return rgba.data() + (size_t(y) * size_t(width) + size_t(x)) * 4;
    }

    std::unique_ptr<GLSurface> m_pSurface;
};

void ExpectRgb(const u8* p, int r, int g, int b) {
    EXPECT_EQ(p[0], r);
    EXPECT_EQ(p[1], g);
    EXPECT_EQ(p[2], b);
    EXPECT_EQ(p[3], 255);
}

// A pixel-exact projection: x rightwards, y downwards, like the renderer's.
void SetPixelProjection(int width, int height) {
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, width, height, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

}  // namespace

TEST_F(OffscreenSurfaceFixture, ClearsAndDrawsFixedFunctionQuadTopRowFirst) {
    EXPECT_EQ(m_pSurface->GetWidth(), 64);
    EXPECT_EQ(m_pSurface->GetHeight(), 32);
    glClearColor(1.0f, 0.0f, 0.0f, 0.25f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    SetPixelProjection(64, 32);
    // Green quad over the top 8 rows and the left half.
    glColor4ub(0, 255, 0, 255);
    glBegin(GL_QUADS);
    glVertex2f(0, 0);
    glVertex2f(32, 0);
    glVertex2f(32, 8);
    glVertex2f(0, 8);
    glEnd();
    m_pSurface->SwapBuffers();
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    std::vector<u8> rgba;
    ASSERT_TRUE(m_pSurface->ReadPixels(rgba));
    ASSERT_EQ(rgba.size(), size_t(64 * 32 * 4));
    ExpectRgb(Pixel(rgba, 64, 0, 0), 0, 255, 0);
    ExpectRgb(Pixel(rgba, 64, 31, 7), 0, 255, 0);
    // Cleared with alpha 0.25, read back opaque.
    ExpectRgb(Pixel(rgba, 64, 32, 0), 255, 0, 0);
    ExpectRgb(Pixel(rgba, 64, 0, 8), 255, 0, 0);
    ExpectRgb(Pixel(rgba, 64, 63, 31), 255, 0, 0);
}

TEST_F(OffscreenSurfaceFixture, ResizeKeepsContextAndTextures) {
    GLuint tex = 0;
    glGenTextures(1, &tex);
    glBindTexture(GL_TEXTURE_2D, tex);
    const u8 texel[4] = {10, 20, 30, 255};
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);

    ASSERT_TRUE(m_pSurface->CreateContext(40, 50));
    EXPECT_EQ(m_pSurface->GetWidth(), 40);
    EXPECT_EQ(m_pSurface->GetHeight(), 50);
    EXPECT_EQ(glIsTexture(tex), GL_TRUE);
    u8 back[4] = {};
    glBindTexture(GL_TEXTURE_2D, tex);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, back);
    EXPECT_EQ(back[0], 10);
    EXPECT_EQ(back[1], 20);
    EXPECT_EQ(back[2], 30);

    glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    std::vector<u8> rgba;
    ASSERT_TRUE(m_pSurface->ReadPixels(rgba));
    ASSERT_EQ(rgba.size(), size_t(40 * 50 * 4));
    ExpectRgb(Pixel(rgba, 40, 39, 49), 0, 0, 255);
    glDeleteTextures(1, &tex);
}

TEST_F(OffscreenSurfaceFixture, RejectsImpossibleSizesAndKeepsContext) {
    EXPECT_FALSE(m_pSurface->CreateContext(0, 10));
    EXPECT_FALSE(m_pSurface->CreateContext(10, 1 << 30));
    EXPECT_TRUE(m_pSurface->HasContext());
    EXPECT_TRUE(m_pSurface->CreateContext(8, 8));
}

TEST_F(OffscreenSurfaceFixture, WorkerUploadsTextureThroughSharedContext) {
    GLuint tex = 0;
    std::atomic<bool> workerOk{false};
    std::thread worker([&] {
        if (!m_pSurface->MakeSharedContextCurrent()) return;
        glGenTextures(1, &tex);
        glBindTexture(GL_TEXTURE_2D, tex);
        const u8 texels[2 * 4] = {200, 100, 50, 255, 1, 2, 3, 255};
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 2, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);
        workerOk = glGetError() == GL_NO_ERROR;
        m_pSurface->DoneSharedContext();
    });
    worker.join();
    ASSERT_TRUE(workerOk);
    ASSERT_TRUE(m_pSurface->MakeCurrent());
    EXPECT_EQ(glIsTexture(tex), GL_TRUE);

    // Draw it on the main context: the left half shows texel 0.
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    SetPixelProjection(64, 32);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, tex);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glColor4ub(255, 255, 255, 255);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(0, 0);
    glTexCoord2f(1, 0);
    glVertex2f(64, 0);
    glTexCoord2f(1, 1);
    glVertex2f(64, 32);
    glTexCoord2f(0, 1);
    glVertex2f(0, 32);
    glEnd();
    glDisable(GL_TEXTURE_2D);
    std::vector<u8> rgba;
    ASSERT_TRUE(m_pSurface->ReadPixels(rgba));
    ExpectRgb(Pixel(rgba, 64, 5, 5), 200, 100, 50);
    ExpectRgb(Pixel(rgba, 64, 60, 5), 1, 2, 3);
    glDeleteTextures(1, &tex);
}

TEST(OffscreenSurface, TwoSurfacesLiveSideBySide) {
    std::unique_ptr<GLSurface> a(CreateOffscreenSurface());
    std::unique_ptr<GLSurface> b(CreateOffscreenSurface());
    ASSERT_TRUE(a->CreateContext(4, 4));
    ASSERT_TRUE(b->CreateContext(4, 4));
    glClearColor(0, 1, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    ASSERT_TRUE(a->MakeCurrent());
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    std::vector<u8> pa, pb;
    ASSERT_TRUE(a->ReadPixels(pa));
    ASSERT_TRUE(b->ReadPixels(pb));
    ExpectRgb(pa.data(), 255, 0, 0);
    ExpectRgb(pb.data(), 0, 255, 0);
    b.reset();
    // The display stays up for the surface that remains.
    EXPECT_TRUE(a->ReadPixels(pa));
    ExpectRgb(pa.data(), 255, 0, 0);
}

TEST(OffscreenSurface, WithoutContextReadsNothing) {
    std::unique_ptr<GLSurface> s(CreateOffscreenSurface());
    std::vector<u8> rgba;
    EXPECT_FALSE(s->HasContext());
    EXPECT_FALSE(s->ReadPixels(rgba));
    EXPECT_FALSE(s->MakeCurrent());
    EXPECT_FALSE(s->MakeSharedContextCurrent());
}
