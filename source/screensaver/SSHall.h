// The hall: an endless perspective corridor of stone columns scrolling
// towards the viewer. Its speed, fade-in and column heights are driven by
// the trophy display through the singleton.
#pragma once

#include <zyn/core/AppObject.h>
#include <zyn/core/Singleton.h>
#include <zyn/core/Types.h>

namespace Zyn {
class Texture;
}

class SSHall : public Zyn::AppObject, public Zyn::SingletonEx<SSHall> {
public:
    static constexpr int kRows = 10;

    SSHall();
    ~SSHall() override;

    bool Update(float dt) override;
    bool Render(float dt) override;
    /// Base, n shaft segments and the capital, about (x, y) at scale s.
    void RenderCollumn(float x, float y, float scale, Zyn::Color colour, int segments);

    // Row 0 is the farthest; each row has a left and a right column height.
    Zyn::s32 m_Rows[kRows][2];
    Zyn::s32 m_MinSegments = 3;
    Zyn::s32 m_MaxSegments = 3;
    Zyn::Texture* m_pTexture = nullptr;  // holds one reference
    float m_fScroll = 0.f;               // 0 .. 1.5 within one row spacing
    float m_fSpeed = 0.f;                // row-depth units per second
    float m_fVisible = 0.f;              // fraction of the rows shown
};
