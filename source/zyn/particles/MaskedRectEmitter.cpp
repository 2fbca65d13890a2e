#include <zyn/particles/MaskedRectEmitter.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include <zyn/core/Log.h>
#include <zyn/core/ObjectSerializator.h>
#include <zyn/core/Property.h>
#include <zyn/graphics/GraphicsTexture.h>
#include <zyn/graphics/Image.h>
#include <zyn/graphics/Texture.h>
#include <zyn/graphics/TextureManager.h>
#include <zyn/io/File.h>
#include <zyn/particles/internal/EmitWindow.h>
#include <zyn/particles/ParticleAffector.h>
#include <zyn/particles/ParticleRandom.h>

namespace Zyn {

ZYN_IMPLEMENT_CLASS(MaskedRectEmitter, "MaskedRectEmitter", &MaskedRectEmitter::StaticCreate, nullptr,
                    &MaskedRectEmitter::RegisterProps, ParticleEmitter)

namespace {

// A texture coordinate times the texture size as a pixel: clamped at 0,
// truncated, saturating instead of overflowing on absurd values.
unsigned ToPixel(float v) {
    if (!(v > 0.0f)) return 0;
    if (v >= 4294967040.0f) return 4294967040u;
    return unsigned(v);
}

}  // namespace

MaskedRectEmitter::MaskedRectEmitter(const char* name) : ParticleEmitter(name) {}

MaskedRectEmitter::~MaskedRectEmitter() {
    DropMask();
    if (m_pMaskTexture) ZYN_Cast<Object, Texture>(m_pMaskTexture)->Release();
    m_pMaskTexture = nullptr;
}

void MaskedRectEmitter::RegisterProps(Class* cls) {
    typedef MaskedRectEmitter E;
    typedef Point2D<float> P;
    cls->InsertValueProp(new GetSetMemberProp<E, float>("Emit Rate", "Number of particles emitted per second",
                                                        &E::GetEmittRate, &E::SetEmittRate, 0));
    cls->InsertValueProp(
        new GetSetMemberProp<E, P>("Speed Min", "Minimum Speed", &E::GetSpeedMin, &E::SetSpeedMin, 0));
    cls->InsertValueProp(
        new GetSetMemberProp<E, P>("Speed Max", "Maximum Speed", &E::GetSpeedMax, &E::SetSpeedMax, 0));
    cls->InsertValueProp(
        new GetSetMemberProp<E, P>("Position Min", "Minimum Speed", &E::GetPosMin, &E::SetPosMin, 0));
    cls->InsertValueProp(
        new GetSetMemberProp<E, P>("Position Max", "Maximum Speed", &E::GetPosMax, &E::SetPosMax, 0));
    cls->InsertValueProp(new GetSetPointerProp<E, Texture>(
        "Mask Tex.", "Texture that contains the masking sprite", &E::GetMask, &E::SetMask, 0));
    cls->InsertValueProp(new GetSetMemberProp<E, unsigned int>("Mask Sprite", "The id of the masking sprite",
                                                               &E::GetSprite, &E::SetSprite, 0));
    cls->InsertGroupProp(new GroupProperty("Affectors", "", 0, &ParticleAffector::sm_Class));
}

u32 MaskedRectEmitter::MaskIndex(float unit, u32 size) {
    if (size == 0 || !(unit > 0.0f)) return 0;
    const float v = float(size) * unit;
    return v >= float(size) ? size - 1 : u32(v);
}

void MaskedRectEmitter::SetMask(Texture* texture) {
    if (texture) ZYN_Cast<Object, Texture>(texture)->AddRef();
    Texture* old = m_pMaskTexture;
    m_pMaskTexture = texture;
    if (old) ZYN_Cast<Object, Texture>(old)->Release();
    UpdateMask();
}

void MaskedRectEmitter::SetSprite(u32 id) {
    m_MaskSprite = id;
    UpdateMask();
}

void MaskedRectEmitter::DropMask() {
    delete m_pMask;
    m_pMask = nullptr;
}

void MaskedRectEmitter::UpdateMask() {
    if (!m_pMaskTexture) {
        DropMask();
        return;
    }
    const int spriteCount = m_pMaskTexture->GetSpriteCount();
    if (spriteCount <= 0 || m_MaskSprite >= u32(spriteCount)) {
        DropMask();
        LogSend(kLogWarning, "MaskedRectEmitter::UpdateMask() -> Can't extract mask - invalid sprite id");
        return;
    }
    const Texture::SpriteDef& sprite = m_pMaskTexture->GetSpriteDef(m_MaskSprite);
    const u32 width = sprite.width;
    const u32 height = sprite.height;
    bool ok = uint64_t(width) * height <= kMaxMaskPixels;
    if (ok) {
        if (m_pMask && (m_pMask->width != width || m_pMask->height != height)) DropMask();
        if (!m_pMask) m_pMask = new Image(width, height);
        // Pixels the copy does not reach (a sprite reaching past the texture)
        // are black, so they never emit, rather than left uninitialised.
        if (m_pMask->data) std::memset(m_pMask->data, 0, size_t(width) * height * 4);
        const unsigned left = ToPixel(float(m_pMaskTexture->GetWidth()) * sprite.uLeft);
        const unsigned top = ToPixel(float(m_pMaskTexture->GetHeight()) * sprite.vTop);
        ok = Graphics::CopyImageFromTexture(m_pMaskTexture->GetTexHandle(), *m_pMask, 0, 0, left, top, width,
                                            height);
    }
    if (!ok) {
        LogSend(kLogWarning, "Failed to extract mask from texture...");
        DropMask();
    }
}

void MaskedRectEmitter::EmittParticles(float from, float to, EmitterDesc& desc,
                                       ParticleEffectInstance* instance) {
    const EmitWindow window(from, to, m_fEmittStart, m_fEmittEnd);
    const u32 n = window.Accumulate(desc, m_fEmittRate);
    if (n == 0) return;
    const Point3D<float> at = InstancePosition(instance);
    const float theta = InstanceRotation(instance);
    const float c = std::cos(theta);
    const float s = std::sin(theta);
    const Image* mask = m_pMask && m_pMask->data ? m_pMask : nullptr;
    const float spanX = m_PosMax.x - m_PosMin.x;
    const float spanY = m_PosMax.y - m_PosMin.y;
    for (u32 i = 0; i < n; ++i) {
        // Draws per attempt: u, v, the mask threshold (with a mask), then the
        // particle's own, then the speed (y before x when rotated).
        const float u = ParticleRandom::Unit();
        const float v = ParticleRandom::Unit();
        if (mask) {
            const u32 px = MaskIndex(u, mask->width);
            const u32 py = MaskIndex(v, mask->height);
            const u8 value = mask->data[(size_t(py) * mask->width + px) * 4 + 2];
            const int threshold = std::rand() % 254 + 5;
            if (value < threshold) continue;
        }
        Particle* p = GenerateParticle(window.m_fEnd);
        if (!p) break;
        const float lx = m_PosMin.x + spanX * u;
        const float ly = m_PosMin.y + spanY * v;
        if (theta == 0.0f) {
            p->m_fX = at.x + lx;
            p->m_fY = at.y + ly;
            p->m_fVX = ParticleRandom::Range(m_SpeedMin.x, m_SpeedMax.x);
            p->m_fVY = ParticleRandom::Range(m_SpeedMin.y, m_SpeedMax.y);
        } else {
            p->m_fX = at.x + lx * c + ly * s;
            p->m_fY = at.y + lx * s - ly * c;
            const float wy = ParticleRandom::Range(m_SpeedMin.y, m_SpeedMax.y);
            const float wx = ParticleRandom::Range(m_SpeedMin.x, m_SpeedMax.x);
            p->m_fVX = wx * c + wy * s;
            p->m_fVY = wx * s - wy * c;
            p->m_fAngle += theta;
        }
        if (!AddParticle(desc, p)) break;
    }
    desc.m_fAccumulator -= float(n);
}

Object* MaskedRectEmitter::DuplicateObject(const char* name) {
    MaskedRectEmitter* copy = new MaskedRectEmitter(name);
    copy->m_fEmittRate = m_fEmittRate;
    copy->m_SpeedMin = m_SpeedMin;
    copy->m_SpeedMax = m_SpeedMax;
    copy->m_PosMin = m_PosMin;
    copy->m_PosMax = m_PosMax;
    copy->m_MaskSprite = m_MaskSprite;
    copy->SetMask(m_pMaskTexture);
    DuplicateEmitter(copy);
    return copy;
}

bool MaskedRectEmitter::Save(ObjectSerializator& s) {
    File* f = s.GetFile();
    const u32 version = kVersion;
    if (!f || f->Write32(&version, 1) != 1) return false;
    f->Write32(&m_fEmittRate, 1);
    f->Write32(&m_SpeedMin, 2);
    f->Write32(&m_SpeedMax, 2);
    f->Write32(&m_PosMin, 2);
    f->Write32(&m_PosMax, 2);
    f->Write32(&m_MaskSprite, 1);
    const u8 hasMask = m_pMaskTexture ? 1 : 0;
    f->Write(&hasMask, 1);
    if (m_pMaskTexture) f->WriteString(ZYN_Cast<Object, Texture>(m_pMaskTexture)->GetName());
    return ParticleEmitter::Save(s);
}

bool MaskedRectEmitter::Load(ObjectSerializator& s) {
    File* f = s.GetFile();
    u32 version = 0;
    if (!f || f->Read32(&version, 1) != 1) return false;
    if (version != kVersion) {
        LogSend(kLogError, "MaskedRectEmitter::Load(%s) -> unsupported version %u", m_Name.c_str(), version);
        return false;
    }
    float rate = 0.0f;
    Point2D<float> speedMin, speedMax, posMin, posMax;
    u32 sprite = 0;
    u8 hasMask = 0;
    std::string maskName;
    const bool ok = f->Read32(&rate, 1) == 1 && f->Read32(&speedMin, 2) == 2 &&
                    f->Read32(&speedMax, 2) == 2 && f->Read32(&posMin, 2) == 2 &&
                    f->Read32(&posMax, 2) == 2 && f->Read32(&sprite, 1) == 1 && f->Read(&hasMask, 1) == 1 &&
                    (!hasMask || f->ReadString(maskName));
    if (!ok) {
        LogSend(kLogError, "MaskedRectEmitter::Load(%s) -> the stream ends inside the emitter data",
                m_Name.c_str());
        return false;
    }
    m_fEmittRate = rate;
    m_SpeedMin = speedMin;
    m_SpeedMax = speedMax;
    m_PosMin = posMin;
    m_PosMax = posMax;
    m_MaskSprite = sprite;
    Texture* mask = hasMask ? GetCreateTextureManager()->GetResourceTyped(maskName.c_str()) : nullptr;
    SetMask(mask);
    // GetResourceTyped added the caller's reference; SetMask took its own.
    if (mask) ZYN_Cast<Object, Texture>(mask)->Release();
    return ParticleEmitter::Load(s);
}

}  // namespace Zyn
