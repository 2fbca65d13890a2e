#include <zyn/app/CrashSprite.h>

#include <cmath>
#include <cstdlib>

#include <zyn/graphics/Texture.h>
#include <zyn/particles/ParticleRandom.h>

namespace Zyn {

ZYN_IMPLEMENT_CLASS2(CrashSprite, "CrashSprite", &CrashSprite::StaticCreate, nullptr, nullptr, AppObject,
                     IPositionable)

namespace {

struct GridPoint {
    float u, v, x, y;
};

// A jitter draw: -20..19 steps of 5 % of the jitter strength.
float JitterDraw(float j) { return float(std::rand() % 40 - 20) * j * 0.05f; }

// Channel value as a byte; the sum of per-frame steps may overshoot by a rounding error.
u32 ChannelByte(float c) {
    if (!(c > 0.0f)) return 0;
    if (c >= 255.0f) return 255;
    return u32(c);
}

// The shared null texture is what a failed load hands out; it has nothing to show.
bool IsNullTexture(const Texture* texture) {
    Texture* nullTexture = Texture::GetNullResource();
    if (!nullTexture) return false;
    nullTexture->Release();
    return texture == nullTexture;
}

}  // namespace

CrashSprite::CrashSprite(const char* name) : AppObject(name) {}

CrashSprite::~CrashSprite() { ReleaseTexture(); }

void CrashSprite::ReleaseTexture() {
    if (!m_pTexture) return;
    Texture* old = m_pTexture;
    m_pTexture = nullptr;
    old->Release();
}

bool CrashSprite::Init(Texture* texture, unsigned int sprite, unsigned int columns, unsigned int rows,
                       unsigned char jitter, float x, float y, float angle, float scaleX, float scaleY,
                       Color color) {
    m_fRemaining = 1.0f;
    m_bExploding = false;
    // Division instead of a product: columns x rows must not wrap around.
    const bool gridOk = columns > 0 && rows > 0 && rows <= kMaxPieces / columns;
    if (!texture || IsNullTexture(texture) || sprite >= unsigned(texture->GetSpriteCount()) || !gridOk) {
        ReleaseTexture();
        m_Pieces.clear();
        return false;
    }
    // Taken before the old one goes, in case both are the same texture.
    texture->AddRef();
    ReleaseTexture();
    m_pTexture = texture;

    Piece fresh = {};
    fresh.scale = 1.0f;
    m_Pieces.assign(size_t(columns) * rows, fresh);

    const Texture::SpriteDef& s = texture->GetSpriteDef(sprite);
    const float ox = float(s.xOrigin);
    const float oy = float(s.yOrigin);
    m_Position = Point3D<float>(x - ox, y - oy, 0.0f);
    m_Color = color;
    const float j = float(jitter) * 0.003921569f;

    const float du = (s.uRight - s.uLeft) / float(columns);
    const float dv = (s.vBottom - s.vTop) / float(rows);
    const float w = float(s.width) / float(columns);
    const float h = float(s.height) / float(rows);
    const float ca = std::cos(angle);
    const float sa = std::sin(angle);

    const unsigned int pointsDown = rows + 1;
    std::vector<GridPoint> grid(size_t(columns + 1) * pointsDown);
    // Column-major, and within one point the column's draw before the row's:
    // this order of rand() draws keeps every crash identical between runs.
    for (unsigned int i = 0; i <= columns; ++i) {
        const bool edgeColumn = i == 0 || i == columns;
        for (unsigned int r = 0; r <= rows; ++r) {
            GridPoint& p = grid[size_t(i) * pointsDown + r];
            float px = float(i) * w;
            p.u = s.uLeft + float(i) * du;
            if (!edgeColumn) {
                const float a = JitterDraw(j);
                p.u += du * a * 0.5f;
                px += a * w * 0.5f;
            }
            float py = float(r) * h;
            p.v = s.vTop + float(r) * dv;
            if (r != 0 && r != rows) {
                const float b = JitterDraw(j);
                p.v += dv * b * 0.5f;
                py += b * h * 0.5f;
            }
            const float X = (px - ox) * scaleX;
            const float Y = (py - oy) * scaleY;
            p.x = ox + X * ca - Y * sa;
            p.y = oy + X * sa + Y * ca;
        }
    }

    for (unsigned int i = 0; i < columns; ++i) {
        for (unsigned int r = 0; r < rows; ++r) {
            Piece& piece = m_Pieces[size_t(i) * rows + r];
            const GridPoint* corner[4] = {
                &grid[size_t(i) * pointsDown + r], &grid[size_t(i + 1) * pointsDown + r],
                &grid[size_t(i + 1) * pointsDown + r + 1], &grid[size_t(i) * pointsDown + r + 1]};
            for (int k = 0; k < 4; ++k) {
                piece.u[k] = corner[k]->u;
                piece.v[k] = corner[k]->v;
                piece.x[k] = corner[k]->x;
                piece.y[k] = corner[k]->y;
            }
        }
    }
    return true;
}

void CrashSprite::Explode(float vxA, float vxB, float vyA, float vyB, float spinA, float spinB,
                          float timeScale, float duration, Color start, Color end, float scaleA,
                          float scaleB) {
    if (!m_pTexture) return;
    m_fRemaining = duration * timeScale;
    m_fTimeScale = timeScale;
    // A run without time has nothing to spread the change over: the rates stay
    // zero instead of becoming infinite, and the first update ends the run.
    const bool timed = m_fRemaining > 0.0f;
    const float from[4] = {float(start.A()), float(start.R()), float(start.G()), float(start.B())};
    const float to[4] = {float(end.A()), float(end.R()), float(end.G()), float(end.B())};
    for (int c = 0; c < 4; ++c) {
        m_ColorRate[c] = timed ? (to[c] - from[c]) / m_fRemaining : 0.0f;
        m_ColorChannel[c] = from[c];
    }
    m_Color = start;
    for (Piece& p : m_Pieces) {
        // Draw order per piece: vx, vy, spin, scale target.
        p.vx = ParticleRandom::Range(vxB, vxA);
        p.vy = ParticleRandom::Range(vyB, vyA);
        p.spin = ParticleRandom::Range(spinB, spinA);
        p.scale = 1.0f;
        const float target = ParticleRandom::Range(scaleB, scaleA);
        p.scaleRate = timed ? (target - 1.0f) / m_fRemaining : 0.0f;
    }
    m_bExploding = true;
    m_bReleasedSelf = false;
}

bool CrashSprite::Update(float dt) {
    if (!m_bExploding) return true;
    const float d = dt * m_fTimeScale;
    m_fRemaining -= d;
    if (m_fRemaining > 0.0f) {
        for (int c = 0; c < 4; ++c) m_ColorChannel[c] += d * m_ColorRate[c];
        m_Color = Color(ChannelByte(m_ColorChannel[0]) << 24 | ChannelByte(m_ColorChannel[1]) << 16 |
                        ChannelByte(m_ColorChannel[2]) << 8 | ChannelByte(m_ColorChannel[3]));
        for (Piece& p : m_Pieces) {
            // Moved with the velocity of the previous step, then accelerated.
            for (int k = 0; k < 4; ++k) {
                p.x[k] += d * p.vx;
                p.y[k] += d * p.vy;
            }
            p.scale += d * p.scaleRate;
            p.vx += d * m_Gravity.x;
            p.vy += d * m_Gravity.y;
            p.angle += d * p.spin;
        }
        return true;
    }
    // Only one reference is ours to give back, however many frames follow.
    if (m_bReleaseWhenDone && !m_bReleasedSelf) {
        m_bReleasedSelf = true;
        Release();  // may destroy this object: touch nothing after it
    }
    return true;
}

bool CrashSprite::Render(float) {
    if (!m_pTexture) return false;
    if (m_fRemaining < 0.0f) return true;
    Graphics::SetTexture(m_pTexture->GetTexHandle());
    Graphics::SetBlendingMode(BlendMode(m_BlendMode));
    for (int k = 0; k < 4; ++k) {
        m_Quad[k].color = m_Color;
        m_Quad[k].z = 0.0f;
    }
    for (const Piece& p : m_Pieces) {
        // Each piece turns and scales about its own first corner.
        const float c = std::cos(p.angle);
        const float sn = std::sin(p.angle);
        const float x0 = m_Position.x + p.x[0];
        const float y0 = m_Position.y + p.y[0];
        for (int k = 0; k < 4; ++k) {
            const float dx = p.scale * (p.x[k] - p.x[0]);
            const float dy = p.scale * (p.y[k] - p.y[0]);
            m_Quad[k].x = x0 + dx * c - dy * sn;
            m_Quad[k].y = y0 + dx * sn + dy * c;
            m_Quad[k].u = p.u[k];
            m_Quad[k].v = p.v[k];
        }
        Graphics::RenderQuads(m_Quad, 1);
    }
    return true;
}

}  // namespace Zyn
