// A rectangle around the instance whose spawn density follows a mask: the
// pixels of one sprite of a texture, read back once into memory and
// stretched over the rectangle. Brighter pixels (their third byte) emit more
// often; a pixel of 4 or less never emits. Without a mask the rectangle is
// filled uniformly. Building the mask reads the texture: frame thread only.
#pragma once

#include <zyn/particles/ParticleEmitter.h>

namespace Zyn {

class Image;
class Texture;

class MaskedRectEmitter : public ParticleEmitter {
    ZYN_DECLARE_CLASS(MaskedRectEmitter)

public:
    /// The stream's format version; other versions are refused.
    static constexpr u32 kVersion = 1;
    /// The largest mask read back, in pixels; a bigger sprite runs without one.
    static constexpr u32 kMaxMaskPixels = 4096u * 4096u;

    explicit MaskedRectEmitter(const char* name);
    ~MaskedRectEmitter() override;
    ZYN_STATIC_CREATE(MaskedRectEmitter)

    /// Every attempt owed for the window draws a spot in the rectangle; the
    /// mask may reject it, and a rejected attempt still counts as emitted.
    void EmittParticles(float from, float to, EmitterDesc& desc, ParticleEffectInstance* instance) override;
    /// A new MaskedRectEmitter (count 0, owned by the caller) sharing the mask
    /// texture and rebuilding its own mask; affectors are not copied.
    Object* DuplicateObject(const char* name) override;
    /// Version, own fields, mask texture name, then the emitter block.
    bool Save(ObjectSerializator& s) override;
    /// False when the first value cannot be read, for another version, or
    /// (logged) when the stream ends inside the own fields.
    bool Load(ObjectSerializator& s) override;

    float GetEmittRate() const { return m_fEmittRate; }
    void SetEmittRate(float rate) { m_fEmittRate = rate; }
    Point2D<float> GetSpeedMin() const { return m_SpeedMin; }
    void SetSpeedMin(Point2D<float> v) { m_SpeedMin = v; }
    Point2D<float> GetSpeedMax() const { return m_SpeedMax; }
    void SetSpeedMax(Point2D<float> v) { m_SpeedMax = v; }
    Point2D<float> GetPosMin() const { return m_PosMin; }
    void SetPosMin(Point2D<float> p) { m_PosMin = p; }
    Point2D<float> GetPosMax() const { return m_PosMax; }
    void SetPosMax(Point2D<float> p) { m_PosMax = p; }
    /// Borrowed; may be null.
    Texture* GetMask() const { return m_pMaskTexture; }
    /// References the new texture (may be null), releases the old one and
    /// rebuilds the mask.
    void SetMask(Texture* texture);
    u32 GetSprite() const { return m_MaskSprite; }
    /// Stores the sprite id and rebuilds the mask.
    void SetSprite(u32 id);
    /// The mask pixels (RGBA), owned by the emitter; null when there is none.
    const Image* GetMaskImage() const { return m_pMask; }

    /// Column (or row) of a mask of `size` pixels for a unit value: trunc(size
    /// x unit), kept inside the mask (a unit draw can round up to exactly 1).
    static u32 MaskIndex(float unit, u32 size);

    static void RegisterProps(Class* cls);

private:
    // Reads the mask sprite's pixels out of the mask texture; drops the mask
    // (logged) when that cannot be done.
    void UpdateMask();
    void DropMask();

    float m_fEmittRate = 100.0f;
    Point2D<float> m_SpeedMin;
    Point2D<float> m_SpeedMax;
    Point2D<float> m_PosMin{-50.0f, -50.0f};
    Point2D<float> m_PosMax{50.0f, 50.0f};
    Texture* m_pMaskTexture = nullptr;  // holds a reference
    u32 m_MaskSprite = 0;
    Image* m_pMask = nullptr;  // owned
};

}  // namespace Zyn
