// One sprite of a texture cut into a grid of quads with jagged inner edges,
// which Explode throws apart: every piece flies, spins about its first corner,
// shrinks or grows and falls under gravity while the whole sprite fades. When
// its time is up it releases its own reference once (unless told not to), so
// an owner that inserted it into a holding group has nothing left to do.
#pragma once

#include <vector>

#include <zyn/core/AppObject.h>
#include <zyn/core/Interfaces.h>
#include <zyn/graphics/Graphics.h>

namespace Zyn {

class Texture;

class CrashSprite : public AppObject, public IPositionable {
    ZYN_DECLARE_CLASS(CrashSprite)

public:
    /// One cell of the grid. Corners run top-left, top-right, bottom-right,
    /// bottom-left; x, y are pixels of the sprite box, relative to the position.
    struct Piece {
        float u[4];
        float v[4];
        float x[4];
        float y[4];
        float angle;
        float scaleRate;
        float scale;
        float vx;
        float vy;
        float spin;
    };

    /// The largest grid Init accepts, in pieces.
    static constexpr u32 kMaxPieces = 65536;

    explicit CrashSprite(const char* name = "");
    /// Frees the pieces and releases the texture.
    ~CrashSprite() override;
    ZYN_STATIC_CREATE(CrashSprite)

    /// Cuts the sprite into columns x rows pieces, assembled as the sprite would
    /// be drawn at (x, y) turned by angle and scaled. jitter 0 cuts straight,
    /// 255 moves inner grid points by up to half a cell. Takes a reference on the
    /// texture. False for a null texture (or the shared null texture that a
    /// failed load gives), an unknown sprite or an empty or oversized grid; the
    /// sprite then holds no texture and draws nothing.
    [[nodiscard]] bool Init(Texture* texture, unsigned int sprite, unsigned int columns, unsigned int rows,
                            unsigned char jitter, float x, float y, float angle, float scaleX, float scaleY,
                            Color color);
    /// Starts the explosion; each pair (a, b) gives a value uniform between b
    /// and a. Runs for duration x timeScale units of effect time. Does nothing
    /// before a successful Init.
    void Explode(float vxA, float vxB, float vyA, float vyB, float spinA, float spinB, float timeScale,
                 float duration, Color start, Color end, float scaleA, float scaleB);
    bool IsActive() const { return m_bExploding && m_fRemaining > 0.0f; }

    /// Always true. May destroy the sprite (the release when done).
    bool Update(float dt) override;
    /// False without a texture.
    bool Render(float dt) override;

    Point3D<float> GetPosition() override { return m_Position; }
    void SetPosition(Point3D<float> position) override { m_Position = position; }

    /// Added to every piece's velocity per unit of effect time.
    Point2D<float> GetGravity() const { return m_Gravity; }
    void SetGravity(Point2D<float> gravity) { m_Gravity = gravity; }
    bool GetReleaseWhenDone() const { return m_bReleaseWhenDone; }
    void SetReleaseWhenDone(bool on) { m_bReleaseWhenDone = on; }
    u32 GetBlendMode() const { return m_BlendMode; }
    void SetBlendMode(u32 mode) { m_BlendMode = mode; }

    /// Borrowed; null before a successful Init.
    Texture* GetTexture() const { return m_pTexture; }
    u32 GetPieceCount() const { return u32(m_Pieces.size()); }
    /// Borrowed, valid until the next Init; null when index is out of range.
    const Piece* GetPiece(u32 index) const { return index < m_Pieces.size() ? &m_Pieces[index] : nullptr; }
    Color GetColor() const { return m_Color; }
    float GetRemaining() const { return m_fRemaining; }
    float GetTimeScale() const { return m_fTimeScale; }
    bool IsExploding() const { return m_bExploding; }

private:
    void ReleaseTexture();

    Point3D<float> m_Position;
    std::vector<Piece> m_Pieces;
    Texture* m_pTexture = nullptr;  // holds a reference
    BasicVertex m_Quad[4] = {};     // scratch for drawing one piece
    float m_ColorRate[4] = {};      // alpha, red, green, blue per unit of effect time
    float m_ColorChannel[4] = {};   // alpha, red, green, blue
    Color m_Color = Color(0xFFFFFFFFu);
    float m_fRemaining = 0.0f;  // units of effect time
    Point2D<float> m_Gravity;
    float m_fTimeScale = 1.0f;  // effect time per second
    u32 m_BlendMode = BLEND_ALPHA;
    bool m_bExploding = false;
    bool m_bReleaseWhenDone = true;
    bool m_bReleasedSelf = false;  // the reference given back when done
};

}  // namespace Zyn
