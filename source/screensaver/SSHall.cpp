#include <screensaver/SSHall.h>

#include <cstdlib>

#include <zyn/graphics/Graphics.h>
#include <zyn/graphics/Texture.h>
#include <zyn/graphics/TextureManager.h>

using namespace Zyn;

SSHall::SSHall() : AppObject("hall") {
    for (auto& row : m_Rows) row[0] = row[1] = 3;
    m_pTexture = GetCreateTextureManager()->GetResourceTyped("temple\\temple.jp2");
}

SSHall::~SSHall() {
    if (m_pTexture) m_pTexture->Release();
}

bool SSHall::Update(float dt) {
    m_fScroll += dt * m_fSpeed;
    while (m_fScroll > 1.5f) {
        m_fScroll -= 1.5f;
        for (int i = kRows - 1; i > 0; --i) {
            m_Rows[i][0] = m_Rows[i - 1][0];
            m_Rows[i][1] = m_Rows[i - 1][1];
        }
        // A range the director never sets would make the modulus zero or negative.
        const int span = m_MaxSegments >= m_MinSegments ? m_MaxSegments - m_MinSegments + 1 : 1;
        m_Rows[0][0] = m_MinSegments + std::rand() % span;
        m_Rows[0][1] = m_MinSegments + std::rand() % span;
    }
    return true;
}

bool SSHall::Render(float) {
    Graphics::SetBlendingMode(BLEND_ALPHA);
    Graphics::Clear(Color(0xFF000000u), 0.f, false);
    const float v = 10.f * m_fVisible;
    for (int i = 0; i < kRows; ++i) {
        if (float(i) >= v) continue;
        const float d = 15.f - 1.5f * float(i) - m_fScroll;
        const float s = 2.f / d;
        const u32 g = u32(int((1.f - d / 15.f) * 255.f)) & 0xFFu;
        u32 alpha = 255;
        if (float(i + 1) >= v) alpha = u32(int(255.f * (v - float(i)))) & 0xFFu;
        const Color colour((alpha << 24) | (g << 16) | (g << 8) | g);
        RenderCollumn(512.f - 1024.f / d, 384.f, s, colour, m_Rows[i][0]);
        RenderCollumn(512.f + 1024.f / d, 384.f, s, colour, m_Rows[i][1]);
    }
    return true;
}

void SSHall::RenderCollumn(float x, float y, float s, Color colour, int segments) {
    if (!m_pTexture) return;
    const float left = x - 181.f * s;
    float top = y - 384.f * s;
    const float mid = left + 48.f * s;
    m_pTexture->DrawSpriteEx(2, left + 40.f * s, top + 706.f * s, 0.f, s, s, 0.f, colour);
    for (int k = 0; k < segments; ++k) {
        m_pTexture->DrawSpriteEx(3, mid, top + 556.f * s, 0.f, s, s, 0.f, colour);
        top -= 151.f * s;
    }
    const float cap = top + 453.f * s;
    m_pTexture->DrawSpriteEx(171, left, cap, 0.f, s, s, 0.f, colour);
    m_pTexture->DrawSpriteEx(4, mid, cap + 135.f * s, 0.f, s, s, 0.f, colour);
}
