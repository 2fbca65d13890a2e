#include <zyn/app/CloakSprite.h>

#include <cmath>

#include <zyn/core/Log.h>
#include <zyn/graphics/Texture.h>
#include <zyn/graphics/TextureManager.h>
#include <zyn/particles/PerlinNoise.h>

namespace Zyn {

ZYN_IMPLEMENT_CLASS2(CloakSprite, "CloakSprite", &CloakSprite::StaticCreate, nullptr, nullptr, AppObject,
                     IPositionable)

namespace {

const float kPi = 3.14159265358979f;

u32 BlendByte(u32 from, u32 to, float e) { return u32(float(from) + (float(to) - float(from)) * e); }

}  // namespace

CloakSprite::CloakSprite(const char* name) : AppObject(name) {}

CloakSprite::~CloakSprite() { ReleaseTexture(); }

void CloakSprite::ReleaseTexture() {
    if (!m_pTexture) return;
    Texture* old = m_pTexture;
    m_pTexture = nullptr;
    old->Release();
}

bool CloakSprite::InitSequence(const char* textureName, unsigned int sprite, Point3D<float> offsetFrom,
                               Point3D<float> offsetTo, Color colorFrom, Color colorTo, float, float,
                               float reserved3, float reserved4, float reserved5, float reserved6,
                               unsigned int columns, unsigned int rows, float amplitudeFrom,
                               float amplitudeTo, float duration, float noiseScale, float noiseSpeed) {
    // Division instead of a product: columns x rows must not wrap around.
    if (columns < 2 || rows < 2 || rows > kMaxGridPoints / columns) return false;

    // Taken before the old one goes, so that asking for the same texture again
    // does not unload and reload it.
    Texture* texture = GetCreateTextureManager()->GetResourceTyped(textureName);
    // The manager answers a failed load with the shared null texture, which has
    // no sprites to show: it counts as no texture at all.
    Texture* nullTexture = Texture::GetNullResource();
    if (nullTexture) {
        if (texture == nullTexture) {
            texture->Release();
            texture = nullptr;
        }
        nullTexture->Release();
    }
    ReleaseTexture();
    m_pTexture = texture;
    if (!m_pTexture)
        LogSend(kLogWarning, "CloakSprite::InitSequence failed due to invalid texture: %s",
                textureName ? textureName : "");

    m_Sprite = sprite;
    m_OffsetFrom = offsetFrom;
    m_OffsetTo = offsetTo;
    m_ColorFrom = colorFrom;
    m_ColorTo = colorTo;
    m_fReserved[0] = reserved3;
    m_fReserved[1] = reserved4;
    m_fReserved[2] = reserved5;
    m_fReserved[3] = reserved6;
    m_Columns = columns;
    m_Rows = rows;
    m_fAmplitudeFrom = amplitudeFrom;
    m_fAmplitudeTo = amplitudeTo;
    m_fDuration = duration;
    m_fNoiseScale = noiseScale;
    m_fNoiseSpeed = noiseSpeed;
    m_fTime = 0.0f;
    m_Offsets.assign(size_t(columns) * rows, Point2D<float>());
    return true;
}

float CloakSprite::GetEase() const {
    // A sequence without length is over as soon as it starts.
    if (!(m_fDuration > 0.0f)) return 1.0f;
    const float p = m_fTime / m_fDuration;
    return (1.0f + std::cos(kPi * p - kPi)) * 0.5f;
}

bool CloakSprite::Update(float dt) {
    if (!m_pTexture) return true;
    m_fTime += dt;
    if (m_fTime > m_fDuration) m_fTime = m_fDuration;
    if (m_fTime < 0.0f) m_fTime = 0.0f;
    const float e = GetEase();
    const float amplitude = m_fAmplitudeFrom + (m_fAmplitudeTo - m_fAmplitudeFrom) * e;
    const float t = m_fTime * m_fNoiseSpeed;
    const float span = float(m_Columns - 1);
    const u32 count = u32(m_Offsets.size());
    for (u32 i = 0; i < count; ++i) {
        const float u = float(i % m_Columns) / span * m_fNoiseScale;
        // i div rows, not i div columns: the field is sampled this way on
        // purpose, and changing it would change every cloak's look.
        const float w = float(i / m_Rows) / span * m_fNoiseScale;
        m_Offsets[i].x = PerlinNoise::Sample(u, w, t) * amplitude;
        m_Offsets[i].y = PerlinNoise::Sample(80.0f - w, t, u + 30.0f) * amplitude;
    }
    return true;
}

bool CloakSprite::Render(float) {
    if (!m_pTexture) return false;
    Graphics::SetBlendingMode(BlendMode(m_BlendMode));
    Graphics::SetTexture(m_pTexture->GetTexHandle());
    const float e = GetEase();
    const float px = m_Position.x + m_OffsetFrom.x + (m_OffsetTo.x - m_OffsetFrom.x) * e;
    const float py = m_Position.y + m_OffsetFrom.y + (m_OffsetTo.y - m_OffsetFrom.y) * e;
    const float pz = m_Position.z + m_OffsetFrom.z + (m_OffsetTo.z - m_OffsetFrom.z) * e;
    const Color color(BlendByte(m_ColorFrom.A(), m_ColorTo.A(), e) << 24 |
                      BlendByte(m_ColorFrom.R(), m_ColorTo.R(), e) << 16 |
                      BlendByte(m_ColorFrom.G(), m_ColorTo.G(), e) << 8 |
                      BlendByte(m_ColorFrom.B(), m_ColorTo.B(), e));

    const Texture::SpriteDef& s = m_pTexture->GetSpriteDef(m_Sprite);
    const float cellW = float(s.width) / float(m_Columns - 1);
    const float cellH = float(s.height) / float(m_Rows - 1);
    const float du = (s.uRight - s.uLeft) / float(m_Columns - 1);
    const float dv = (s.vBottom - s.vTop) / float(m_Rows - 1);
    const float left = px - float(s.xOrigin);
    const float top = py - float(s.yOrigin);
    static const u32 kCornerColumn[4] = {0, 1, 1, 0};
    static const u32 kCornerRow[4] = {0, 0, 1, 1};
    for (int k = 0; k < 4; ++k) {
        m_Quad[k].color = color;
        m_Quad[k].z = pz;
    }
    for (u32 r = 0; r + 1 < m_Rows; ++r) {
        for (u32 c = 0; c + 1 < m_Columns; ++c) {
            for (int k = 0; k < 4; ++k) {
                const u32 cc = c + kCornerColumn[k];
                const u32 rr = r + kCornerRow[k];
                const Point2D<float>& o = m_Offsets[size_t(rr) * m_Columns + cc];
                m_Quad[k].x = left + float(cc) * cellW + o.x;
                m_Quad[k].y = top + float(rr) * cellH + o.y;
                m_Quad[k].u = s.uLeft + float(cc) * du;
                m_Quad[k].v = s.vTop + float(rr) * dv;
            }
            Graphics::RenderQuads(m_Quad, 1);
        }
    }
    return true;
}

}  // namespace Zyn
