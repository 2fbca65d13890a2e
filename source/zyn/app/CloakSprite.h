// One sprite of a texture drawn through a grid whose points are pushed about by
// animated noise, while the sprite slides from one offset to another and its
// colour blends, all eased over a fixed time. After that time it holds its final
// state until it is destroyed; it never removes itself.
#pragma once

#include <vector>

#include <zyn/core/AppObject.h>
#include <zyn/core/Interfaces.h>
#include <zyn/graphics/Graphics.h>

namespace Zyn {

class Texture;

class CloakSprite : public AppObject, public IPositionable {
    ZYN_DECLARE_CLASS(CloakSprite)

public:
    /// The largest grid InitSequence accepts, in grid points.
    static constexpr u32 kMaxGridPoints = 65536;

    explicit CloakSprite(const char* name = "");
    /// Releases the texture.
    ~CloakSprite() override;
    ZYN_STATIC_CREATE(CloakSprite)

    /// Sets up and restarts the sequence: the sprite moves from offsetFrom to
    /// offsetTo (relative to the position), its colour from colorFrom to colorTo
    /// and its noise displacement from amplitudeFrom to amplitudeTo pixels, over
    /// duration seconds; columns x rows grid points span the sprite. The first
    /// two reserved values are ignored, the other four only stored. False, with
    /// nothing changed, for a grid under 2 x 2 or over kMaxGridPoints. A texture
    /// that cannot be loaded is logged; the sequence is still set up and draws
    /// nothing.
    [[nodiscard]] bool InitSequence(const char* textureName, unsigned int sprite, Point3D<float> offsetFrom,
                                    Point3D<float> offsetTo, Color colorFrom, Color colorTo, float reserved1,
                                    float reserved2, float reserved3, float reserved4, float reserved5,
                                    float reserved6, unsigned int columns, unsigned int rows,
                                    float amplitudeFrom, float amplitudeTo, float duration, float noiseScale,
                                    float noiseSpeed);

    /// Always true.
    bool Update(float dt) override;
    /// False without a texture.
    bool Render(float dt) override;

    Point3D<float> GetPosition() override { return m_Position; }
    void SetPosition(Point3D<float> position) override { m_Position = position; }

    /// Borrowed; null before InitSequence or when its texture could not be loaded.
    Texture* GetTexture() const { return m_pTexture; }
    /// Seconds played, never beyond the duration.
    float GetTime() const { return m_fTime; }
    float GetDuration() const { return m_fDuration; }
    /// True once the time has reached the duration.
    bool IsDone() const { return m_fTime >= m_fDuration; }
    /// 0 at the start of the sequence, 1 at its end, smooth at both ends.
    float GetEase() const;
    /// Noise displacement of each grid point, row-major; borrowed.
    const std::vector<Point2D<float>>& GetOffsets() const { return m_Offsets; }
    u32 GetBlendMode() const { return m_BlendMode; }
    void SetBlendMode(u32 mode) { m_BlendMode = mode; }

private:
    void ReleaseTexture();

    Point3D<float> m_Position;
    Point3D<float> m_OffsetFrom;
    Point3D<float> m_OffsetTo;
    Color m_ColorFrom;
    Color m_ColorTo;
    float m_fReserved[4] = {};  // stored for the callers; nothing reads them
    float m_fAmplitudeFrom = 0.0f;
    float m_fAmplitudeTo = 0.0f;
    float m_fNoiseScale = 0.0f;
    Texture* m_pTexture = nullptr;  // holds a reference
    u32 m_Sprite = 0;
    u32 m_Columns = 0;
    u32 m_Rows = 0;
    std::vector<Point2D<float>> m_Offsets;
    float m_fTime = 0.0f;  // seconds
    float m_fDuration = 0.0f;
    float m_fNoiseSpeed = 0.0f;
    u32 m_BlendMode = BLEND_ALPHA;
    BasicVertex m_Quad[4] = {};  // scratch for drawing one cell
};

}  // namespace Zyn
