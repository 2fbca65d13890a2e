#include <zyn/particles/ParticleEmitter.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include <zyn/core/Log.h>
#include <zyn/core/ObjectSerializator.h>
#include <zyn/graphics/Graphics.h>
#include <zyn/graphics/Texture.h>
#include <zyn/graphics/TextureManager.h>
#include <zyn/io/File.h>
#include <zyn/particles/ParticleAffector.h>
#include <zyn/core/Property.h>
#include <zyn/particles/ParticleRandom.h>

namespace Zyn {

ZYN_IMPLEMENT_CLASS2(ParticleEmitter, "ParticleEmitter", nullptr, nullptr, &ParticleEmitter::RegisterProps,
                     DynGroupObject, IDuplicatable)

float ParticleEmitter::ms_ParDetail = 1.0f;

namespace {

typedef ParticleEmitter::SplineValue SplineValue;
typedef ParticleEmitter::ColorSplineValue ColorSplineValue;

// A segment of zero or negative length (equal key times, a zero life) is a
// step: the value jumps to the target instead of dividing by zero.
inline void StartSegment(float& value, float& d, float target, float duration) {
    if (duration > 0.0f) {
        d = (target - value) / duration;
    } else {
        value = target;
        d = 0.0f;
    }
}

// Moves one scalar curve through a step that crossed its key end: each
// crossed segment is integrated up to its end, then the next key's target is
// drawn, so the value lands on the piecewise-linear curve at the new age.
// Past the last key the value holds.
// Out of line and marked cold: a particle crosses a key a few times in its
// life, and the per-frame loop stays small without these bodies.
#define ZYN_PARTICLE_COLD __attribute__((noinline, cold))

ZYN_PARTICLE_COLD void CrossScalarKeys(const SplineValue* keys, u32 count, const Particle& p, float dt,
                                       float& value, float& d, float& keyEnd, u8& key) {
    const float age = p.m_fAge;
    float r = dt;
    while (age > keyEnd) {
        value += (keyEnd - age + r) * d;
        r = age - keyEnd;
        if (u32(key) + 1 >= count) {
            d = 0.0f;
            keyEnd = INFINITY;
            break;
        }
        ++key;
        const SplineValue& k = keys[key];
        const float target = ParticleRandom::Range(k.m_fMin, k.m_fMax);
        StartSegment(value, d, target, (k.m_fTime - keys[key - 1].m_fTime) * p.m_fLife);
        keyEnd = k.m_fTime * p.m_fLife;
    }
    if (r > 0.0f) value += r * d;
}

ZYN_PARTICLE_COLD void CrossColorKeys(const ColorSplineValue* keys, u32 count, Particle& p, float dt) {
    const float age = p.m_fAge;
    float r = dt;
    while (age > p.m_fColorKeyEnd) {
        const float done = p.m_fColorKeyEnd - age + r;
        p.m_fRed += done * p.m_fDRed;
        p.m_fGreen += done * p.m_fDGreen;
        p.m_fBlue += done * p.m_fDBlue;
        r = age - p.m_fColorKeyEnd;
        if (u32(p.m_ColorKey) + 1 >= count) {
            p.m_fDRed = p.m_fDGreen = p.m_fDBlue = 0.0f;
            p.m_fColorKeyEnd = INFINITY;
            break;
        }
        ++p.m_ColorKey;
        const ColorSplineValue& k = keys[p.m_ColorKey];
        const float duration = (k.m_fTime - keys[p.m_ColorKey - 1].m_fTime) * p.m_fLife;
        // Three draws per crossed key: red, green, blue.
        const float red = ParticleRandom::Range(k.m_fRedMin, k.m_fRedMax);
        const float green = ParticleRandom::Range(k.m_fGreenMin, k.m_fGreenMax);
        const float blue = ParticleRandom::Range(k.m_fBlueMin, k.m_fBlueMax);
        StartSegment(p.m_fRed, p.m_fDRed, red, duration);
        StartSegment(p.m_fGreen, p.m_fDGreen, green, duration);
        StartSegment(p.m_fBlue, p.m_fDBlue, blue, duration);
        p.m_fColorKeyEnd = k.m_fTime * p.m_fLife;
    }
    if (r > 0.0f) {
        p.m_fRed += r * p.m_fDRed;
        p.m_fGreen += r * p.m_fDGreen;
        p.m_fBlue += r * p.m_fDBlue;
    }
}

// First segment of a scalar curve: key 0's value, key 1's target.
inline void StartScalarCurve(const std::vector<SplineValue>& curve, float life, float& value, float& d,
                             float& keyEnd, u8& key) {
    value = ParticleRandom::Range(curve[0].m_fMin, curve[0].m_fMax);
    const float target = ParticleRandom::Range(curve[1].m_fMin, curve[1].m_fMax);
    keyEnd = curve[1].m_fTime * life;
    StartSegment(value, d, target, keyEnd);
    key = 1;
}

// Float to int as a C cast truncates, but defined for every input: NaN gives
// 0 and values beyond the int range saturate.
inline int TruncToInt(float v) {
    if (!(v == v)) return 0;
    if (v >= 2147483647.0f) return 2147483647;
    if (v <= -2147483648.0f) return -2147483647 - 1;
    return int(v);
}

// trunc(v) mod n with the sign of the dividend (C's %), for any float v.
inline long long SignedRemainder(float v, long long n) {
    if (!std::isfinite(v)) return 0;
    const double t = std::trunc(double(v));
    if (std::fabs(t) < 9.0e15) return static_cast<long long>(t) % n;
    return static_cast<long long>(std::fmod(t, double(n)));
}

template <class K>
const char* CurveFault(const std::vector<K>& keys) {
    if (keys.size() < 2 || keys.size() > ParticleEmitter::kMaxCurveKeys) return "must have 2 to 256 keys";
    if (keys.front().m_fTime != 0.0f || keys.back().m_fTime != 1.0f)
        return "keys must run from time 0 to time 1";
    for (size_t i = 1; i < keys.size(); ++i)
        if (!(keys[i].m_fTime >= keys[i - 1].m_fTime)) return "key times must not fall";
    return nullptr;
}

enum class CurveRead { kTaken, kRefused, kBroken };

// Reads a curve (key count, then the keys) into `out`. A curve that breaks
// the rules is logged and refused (`out` keeps its keys); a count beyond the
// limit or a stream that ends early breaks the read, since what follows can
// no longer be trusted. A count below 2 is read past, so the stream stays usable.
template <class K>
CurveRead ReadCurve(File& f, std::vector<K>& out, const char* label, const std::string& owner) {
    constexpr u32 kFloats = sizeof(K) / sizeof(float);
    u32 count = 0;
    if (f.Read32(&count, 1) != 1) return CurveRead::kBroken;
    if (count < 2 || count > ParticleEmitter::kMaxCurveKeys) {
        LogSend(kLogError, "ParticleEmitter::Load(%s) -> %s curve has %u keys, expected 2 to %u",
                owner.c_str(), label, count, ParticleEmitter::kMaxCurveKeys);
        if (count >= 2) return CurveRead::kBroken;
    }
    std::vector<K> keys(count);
    if (count && f.Read32(keys.data(), count * kFloats) != count * kFloats) return CurveRead::kBroken;
    if (count < 2) return CurveRead::kRefused;
    if (const char* fault = CurveFault(keys)) {
        LogSend(kLogError, "ParticleEmitter::Load(%s) -> %s curve refused: %s", owner.c_str(), label, fault);
        return CurveRead::kRefused;
    }
    out.swap(keys);
    return CurveRead::kTaken;
}

template <class K>
bool WriteCurve(File& f, const std::vector<K>& keys) {
    constexpr u32 kFloats = sizeof(K) / sizeof(float);
    const u32 count = u32(keys.size());
    if (f.Write32(&count, 1) != 1) return false;
    return count == 0 || f.Write32(keys.data(), count * kFloats) == count * kFloats;
}

template <class K>
bool SetCurve(std::vector<K>& curve, const std::vector<K>& keys, const char* label,
              const std::string& owner) {
    if (const char* fault = CurveFault(keys)) {
        LogSend(kLogError, "ParticleEmitter::SetCurve(%s) -> %s curve refused: %s", owner.c_str(), label,
                fault);
        return false;
    }
    curve = keys;
    return true;
}

}  // namespace

ParticleEmitter::ParticleEmitter(const char* name) : DynGroupObject(name) {
    m_SizeCurve = {{0.0f, 1.0f, 1.0f}, {1.0f, 1.0f, 1.0f}};
    m_SpinCurve = {{0.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f}};
    m_AlphaCurve = {{0.0f, 255.0f, 255.0f}, {1.0f, 255.0f, 255.0f}};
    m_ColorCurve = {{0.0f, 255.0f, 255.0f, 255.0f, 255.0f, 255.0f, 255.0f},
                    {1.0f, 255.0f, 255.0f, 255.0f, 255.0f, 255.0f, 255.0f}};
    SetGroupCount(1);
    SetupGroup(0, &m_Affectors);
    m_Affectors.m_Flags = IDynGroup::kHoldRef | IDynGroup::kSave;
}

ParticleEmitter::~ParticleEmitter() {
    ClearGroups();
    SetTexture(nullptr);
}

void ParticleEmitter::RegisterProps(Class* cls) {
    typedef ParticleEmitter E;
    cls->InsertValueProp(new GetSetMemberProp<E, float>(
        "Emit Start", "The time at which the emitter is turned on", &E::GetEmittStart, &E::SetEmittStart, 0));
    cls->InsertValueProp(
        new GetSetMemberProp<E, float>("Emit End", "The time at which the emitter stops emitting particles",
                                       &E::GetEmittEnd, &E::SetEmittEnd, 0));
    cls->InsertValueProp(new GetSetMemberProp<E, float>("Part. Life Min", "Minimum particle life time",
                                                        &E::GetPartLifeMin, &E::SetPartLifeMin, 0));
    cls->InsertValueProp(new GetSetMemberProp<E, float>("Part. Life Max", "Maximum particle life time",
                                                        &E::GetPartLifeMax, &E::SetPartLifeMax, 0));
    cls->InsertValueProp(new GetSetPointerProp<E, Texture>(
        "Texture", "Texture object that defines sprites for particles", &E::GetTexture, &E::SetTexture, 0));
    cls->InsertValueProp(new GetSetMemberProp<E, unsigned short>(
        "Sprite ID Min", "Minimum particle sprite ID", &E::GetSpriteMin, &E::SetSpriteMin, 0));
    cls->InsertValueProp(new GetSetMemberProp<E, unsigned short>(
        "Sprite ID Max", "Maximum particle sprite ID", &E::GetSpriteMax, &E::SetSpriteMax, 0));
    cls->InsertValueProp(new GetSetMemberProp<E, unsigned char>(
        "Sprite Mode", "Select the algorithm that assigns sprites to particles.", &E::GetSpriteMode,
        &E::SetSpriteMode, 0));
    cls->InsertValueProp(new GetSetMemberProp<E, float>(
        "Sprite Frame Time",
        "The time after which a sprite is changed to next frame in sprite animation modes.",
        &E::GetSpriteAnimSpeed, &E::SetSpriteAnimSpeed, 0));
    cls->InsertValueProp(new GetSetMemberProp<E, unsigned int>(
        "Blend Mode", "Bledning mode for particle rendering", &E::GetBlendMode, &E::SetBlendMode, 0));
    cls->InsertValueProp(new GetSetMemberProp<E, unsigned char>("Rotation Mode",
                                                                "Type of rotation applied to particles",
                                                                &E::GetRotationMode, &E::SetRotationMode, 0));
    cls->InsertValueProp(new GetSetMemberProp<E, float>("Z Offset", "Offsets the Z coordinate for particles.",
                                                        &E::GetOffsetZ, &E::SetOffsetZ, 0));
    cls->InsertValueProp(
        new GetSetMemberProp<E, float>("X Stretch", "Determines the stretching of particles in the x axis",
                                       &E::GetXStretch, &E::SetXStretch, 0));
    cls->InsertValueProp(new GetSetMemberProp<E, Point2D<float>>("Gravity", "Gravity that affects particles",
                                                                 &E::GetGravity, &E::SetGravity, 0));
    cls->InsertValueProp(new GetSetMemberProp<E, unsigned char>(
        "Add Order", "The order in which new particles are added over existing", &E::GetAddOrder,
        &E::SetAddOrder, 0));
    cls->InsertValueProp(new GetSetMemberProp<E, unsigned char>(
        "Color Mode", "Decides on the color of the particles and its change", &E::GetColorMode,
        &E::SetColorMode, 0));
}

void ParticleEmitter::SetTexture(Texture* texture) {
    if (texture) ZYN_Cast<Object, Texture>(texture)->AddRef();
    Texture* old = m_pTexture;
    m_pTexture = texture;
    if (old) ZYN_Cast<Object, Texture>(old)->Release();
}

bool ParticleEmitter::SetSizeCurve(const std::vector<SplineValue>& keys) {
    return SetCurve(m_SizeCurve, keys, "size", m_Name);
}
bool ParticleEmitter::SetSpinCurve(const std::vector<SplineValue>& keys) {
    return SetCurve(m_SpinCurve, keys, "spin", m_Name);
}
bool ParticleEmitter::SetAlphaCurve(const std::vector<SplineValue>& keys) {
    return SetCurve(m_AlphaCurve, keys, "alpha", m_Name);
}
bool ParticleEmitter::SetColorCurve(const std::vector<ColorSplineValue>& keys) {
    return SetCurve(m_ColorCurve, keys, "colour", m_Name);
}

Particle* ParticleEmitter::GenerateParticle(float t) {
    Particle* p = ParticleAllocator::New();
    if (!p) return nullptr;
    // Position and velocity belong to the caller; zeroed so that a slot never
    // carries the state of the particle that used it before.
    p->m_fX = p->m_fY = p->m_fVX = p->m_fVY = 0.0f;
    p->m_pNext = nullptr;
    p->m_fAge = 0.0f;

    // The order of the rand() draws below is part of the effect: life, size
    // key 0 and 1, colour, alpha key 0 and 1, spin key 0 and 1, angle, sprite.
    const float life = ParticleRandom::Range(m_fPartLifeMin, m_fPartLifeMax);
    p->m_fLife = life;

    StartScalarCurve(m_SizeCurve, life, p->m_fSize, p->m_fDSize, p->m_fSizeKeyEnd, p->m_SizeKey);

    const u32 colorKeys = u32(m_ColorCurve.size());
    if (m_ColorMode == 0) {
        const ColorSplineValue& k0 = m_ColorCurve[0];
        const ColorSplineValue& k1 = m_ColorCurve[1];
        const float duration = k1.m_fTime * life;
        p->m_fRed = ParticleRandom::Range(k0.m_fRedMin, k0.m_fRedMax);
        StartSegment(p->m_fRed, p->m_fDRed, ParticleRandom::Range(k1.m_fRedMin, k1.m_fRedMax), duration);
        p->m_fGreen = ParticleRandom::Range(k0.m_fGreenMin, k0.m_fGreenMax);
        StartSegment(p->m_fGreen, p->m_fDGreen, ParticleRandom::Range(k1.m_fGreenMin, k1.m_fGreenMax),
                     duration);
        p->m_fBlue = ParticleRandom::Range(k0.m_fBlueMin, k0.m_fBlueMax);
        StartSegment(p->m_fBlue, p->m_fDBlue, ParticleRandom::Range(k1.m_fBlueMin, k1.m_fBlueMax), duration);
        p->m_fColorKeyEnd = duration;
    } else {
        if (m_ColorMode == 1) {
            const float u = (t - m_fEmittStart) / (m_fEmittEnd - m_fEmittStart);
            const ColorSplineValue* k = nullptr;
            if (!(u > 0.0f)) {
                k = &m_ColorCurve[0];
            } else if (u >= 1.0f) {
                k = &m_ColorCurve[colorKeys - 1];
            } else {
                u32 i = 1;
                while (i < colorKeys - 1 && m_ColorCurve[i].m_fTime < u) ++i;
                const ColorSplineValue& a = m_ColorCurve[i - 1];
                const ColorSplineValue& b = m_ColorCurve[i];
                const float span = b.m_fTime - a.m_fTime;
                const float f = span > 0.0f ? (u - a.m_fTime) / span : 1.0f;
                auto lerp = [f](float x, float y) { return x + (y - x) * f; };
                p->m_fRed =
                    ParticleRandom::Range(lerp(a.m_fRedMin, b.m_fRedMin), lerp(a.m_fRedMax, b.m_fRedMax));
                p->m_fGreen = ParticleRandom::Range(lerp(a.m_fGreenMin, b.m_fGreenMin),
                                                    lerp(a.m_fGreenMax, b.m_fGreenMax));
                p->m_fBlue =
                    ParticleRandom::Range(lerp(a.m_fBlueMin, b.m_fBlueMin), lerp(a.m_fBlueMax, b.m_fBlueMax));
            }
            if (k) {
                p->m_fRed = ParticleRandom::Range(k->m_fRedMin, k->m_fRedMax);
                p->m_fGreen = ParticleRandom::Range(k->m_fGreenMin, k->m_fGreenMax);
                p->m_fBlue = ParticleRandom::Range(k->m_fBlueMin, k->m_fBlueMax);
            }
        } else {
            const ColorSplineValue& k = m_ColorCurve[u32(std::rand()) % colorKeys];
            p->m_fRed = ParticleRandom::Range(k.m_fRedMin, k.m_fRedMax);
            p->m_fGreen = ParticleRandom::Range(k.m_fGreenMin, k.m_fGreenMax);
            p->m_fBlue = ParticleRandom::Range(k.m_fBlueMin, k.m_fBlueMax);
        }
        // A fixed colour: the key end lies beyond the life and is never reached.
        p->m_fDRed = p->m_fDGreen = p->m_fDBlue = 0.0f;
        p->m_fColorKeyEnd = 1.0f + life;
    }
    p->m_ColorKey = 1;

    StartScalarCurve(m_AlphaCurve, life, p->m_fAlpha, p->m_fDAlpha, p->m_fAlphaKeyEnd, p->m_AlphaKey);
    StartScalarCurve(m_SpinCurve, life, p->m_fSpin, p->m_fDSpin, p->m_fSpinKeyEnd, p->m_SpinKey);

    // Mode 2 draws from [0, 100) radians, not [0, 2 pi).
    p->m_fAngle = m_RotationMode == 2 ? float(std::rand()) * 4.6566129e-08f : 0.0f;

    p->m_fFrameTimer = 0.0f;
    // max < min is outside the data model; such an emitter shows sprite min.
    const long long span =
        m_SpriteMax >= m_SpriteMin ? static_cast<long long>(m_SpriteMax) - m_SpriteMin + 1 : 1;
    if (m_SpriteMode >= 3) {
        // The time is multiplied by the frame time, not divided.
        p->m_Sprite =
            u32(static_cast<long long>(m_SpriteMin) + SignedRemainder(t * m_fSpriteFrameTime, span));
        p->m_fFrameTime = 0.0f;
    } else {
        p->m_Sprite = m_SpriteMin;
        if (m_SpriteMode != 1 && m_SpriteMax > m_SpriteMin) p->m_Sprite += u32(std::rand()) % u32(span);
        p->m_fFrameTime = m_SpriteMode == 0 ? 0.0f : m_fSpriteFrameTime;
    }
    return p;
}

u32 ParticleEmitter::GetEmitRoom(const EmitterDesc& desc) {
    if (desc.m_Count >= kMaxParticlesPerDesc || desc.m_EmittedThisUpdate >= kMaxEmitPerUpdate) return 0;
    const u32 live = kMaxParticlesPerDesc - desc.m_Count;
    const u32 update = kMaxEmitPerUpdate - desc.m_EmittedThisUpdate;
    return live < update ? live : update;
}

u32 ParticleEmitter::TakeEmitCount(EmitterDesc& desc) {
    const float acc = desc.m_fAccumulator;
    if (!(acc >= 1.0f)) return 0;
    const u32 room = GetEmitRoom(desc);
    if (acc < float(room) + 1.0f) return u32(acc);
    // More is owed than desc may take: keep only the fraction beyond what is
    // emitted now, so that the debt cannot grow from update to update.
    const double fraction = std::isfinite(acc) ? double(acc) - std::trunc(double(acc)) : 0.0;
    desc.m_fAccumulator = float(double(room) + fraction);
    return room;
}

bool ParticleEmitter::AddParticle(EmitterDesc& desc, Particle* p) {
    if (!p) return false;
    if (GetEmitRoom(desc) == 0) {
        ParticleAllocator::Delete(p);
        return false;
    }
    if (m_RotationMode > 2) p->m_fAngle = std::atan2(p->m_fVX, -p->m_fVY);
    u32 order = m_AddOrder;
    if (order == 2) order = u32(std::rand()) % 2;
    if (order == 0) {
        p->m_pNext = desc.m_pFirst;
        desc.m_pFirst = p;
        if (!desc.m_pLast) desc.m_pLast = p;
    } else {
        p->m_pNext = nullptr;
        if (desc.m_pLast)
            desc.m_pLast->m_pNext = p;
        else
            desc.m_pFirst = p;
        desc.m_pLast = p;
    }
    ++desc.m_Count;
    ++desc.m_EmittedThisUpdate;
    return true;
}

u32 ParticleEmitter::UpdateParticles(float dt, EmitterDesc& desc, float runningTime,
                                     ParticleEffectInstance* instance) {
    const float gx = m_Gravity.x;
    const float gy = m_Gravity.y;
    const bool alignToMotion = m_RotationMode == 4;
    const bool animated = m_SpriteMode == 1 || m_SpriteMode == 2;
    const SplineValue* sizeKeys = m_SizeCurve.data();
    const SplineValue* spinKeys = m_SpinCurve.data();
    const SplineValue* alphaKeys = m_AlphaCurve.data();
    const u32 sizeCount = u32(m_SizeCurve.size());
    const u32 spinCount = u32(m_SpinCurve.size());
    const u32 alphaCount = u32(m_AlphaCurve.size());
    const u32 colorCount = u32(m_ColorCurve.size());

    u32 live = 0;
    Particle* prev = nullptr;
    Particle* p = desc.m_pFirst;
    while (p) {
        Particle* next = p->m_pNext;
        p->m_fAge += dt;
        // Written as "not alive" so that a NaN life ends the particle too.
        if (__builtin_expect(!(p->m_fAge <= p->m_fLife), 0)) {
            if (prev)
                prev->m_pNext = next;
            else
                desc.m_pFirst = next;
            if (desc.m_pLast == p) desc.m_pLast = prev;
            ParticleAllocator::Delete(p);
            p = next;
            continue;
        }
        ++live;
        // Velocity first, then the position with the new velocity.
        p->m_fVX += dt * gx;
        p->m_fVY += dt * gy;
        p->m_fX += dt * p->m_fVX;
        p->m_fY += dt * p->m_fVY;
        if (alignToMotion) p->m_fAngle = std::atan2(p->m_fVX, -p->m_fVY);

        const float age = p->m_fAge;
        if (__builtin_expect(age > p->m_fSizeKeyEnd, 0))
            CrossScalarKeys(sizeKeys, sizeCount, *p, dt, p->m_fSize, p->m_fDSize, p->m_fSizeKeyEnd,
                            p->m_SizeKey);
        else
            p->m_fSize += dt * p->m_fDSize;
        if (__builtin_expect(age > p->m_fColorKeyEnd, 0)) {
            CrossColorKeys(m_ColorCurve.data(), colorCount, *p, dt);
        } else {
            p->m_fRed += dt * p->m_fDRed;
            p->m_fGreen += dt * p->m_fDGreen;
            p->m_fBlue += dt * p->m_fDBlue;
        }
        if (__builtin_expect(age > p->m_fAlphaKeyEnd, 0))
            CrossScalarKeys(alphaKeys, alphaCount, *p, dt, p->m_fAlpha, p->m_fDAlpha, p->m_fAlphaKeyEnd,
                            p->m_AlphaKey);
        else
            p->m_fAlpha += dt * p->m_fDAlpha;
        if (__builtin_expect(age > p->m_fSpinKeyEnd, 0))
            CrossScalarKeys(spinKeys, spinCount, *p, dt, p->m_fSpin, p->m_fDSpin, p->m_fSpinKeyEnd,
                            p->m_SpinKey);
        else
            p->m_fSpin += dt * p->m_fDSpin;

        if (animated) {
            p->m_fFrameTimer += dt;
            // At most one frame per update.
            if (p->m_fFrameTimer > p->m_fFrameTime) {
                p->m_fFrameTimer = 0.0f;
                if (++p->m_Sprite > m_SpriteMax) p->m_Sprite = m_SpriteMin;
            }
        }
        prev = p;
        p = next;
    }
    desc.m_Count = live;

    for (ParticleAffector* a : m_Affectors.GetList()) a->UpdateAffector(desc, runningTime, dt, instance);
    return live;
}

void ParticleEmitter::RenderParticles(EmitterDesc& desc, float z, float power) {
    if (!m_pTexture) return;
    Graphics::SetBlendingMode(BlendMode(m_BlendMode));
    const bool unrotated = m_RotationMode == 0;
    for (Particle* p = desc.m_pFirst; p; p = p->m_pNext) {
        // The alpha is not masked before the shift, as the colour has always
        // been built; the shift runs on unsigned so that it stays defined.
        const Color color =
            (u32(TruncToInt(power * p->m_fAlpha)) << 24) | ((u32(TruncToInt(p->m_fRed)) & 255u) << 16) |
            ((u32(TruncToInt(p->m_fGreen)) & 255u) << 8) | (u32(TruncToInt(p->m_fBlue)) & 255u);
        const float angle = unrotated ? 0.0f : p->m_fAngle + p->m_fSpin;
        m_pTexture->DrawSpriteEx(p->m_Sprite, p->m_fX, p->m_fY, angle, p->m_fSize * m_fXStretch, p->m_fSize,
                                 z, color);
    }
}

void ParticleEmitter::DuplicateEmitter(ParticleEmitter* target) {
    if (!target || target == this) return;
    target->m_fEmittStart = m_fEmittStart;
    target->m_fEmittEnd = m_fEmittEnd;
    target->SetTexture(m_pTexture);
    target->m_SpriteMin = m_SpriteMin;
    target->m_SpriteMax = m_SpriteMax;
    target->m_fSpriteFrameTime = m_fSpriteFrameTime;
    target->m_BlendMode = m_BlendMode;
    target->m_fOffsetZ = m_fOffsetZ;
    target->m_fPartLifeMin = m_fPartLifeMin;
    target->m_fPartLifeMax = m_fPartLifeMax;
    target->m_fXStretch = m_fXStretch;
    target->m_Gravity = m_Gravity;
    target->m_RotationMode = m_RotationMode;
    target->m_AddOrder = m_AddOrder;
    target->m_SpriteMode = m_SpriteMode;
    target->m_ColorMode = m_ColorMode;
    target->m_SizeCurve = m_SizeCurve;
    target->m_SpinCurve = m_SpinCurve;
    target->m_AlphaCurve = m_AlphaCurve;
    target->m_ColorCurve = m_ColorCurve;
}

bool ParticleEmitter::Save(ObjectSerializator& s) {
    File* f = s.GetFile();
    if (!f || f->Write32(&m_BlendMode, 1) != 1) return false;
    f->Write32(&m_fOffsetZ, 1);
    f->Write32(&m_fPartLifeMin, 1);
    f->Write32(&m_fPartLifeMax, 1);
    f->Write32(&m_fEmittStart, 1);
    f->Write32(&m_fEmittEnd, 1);
    f->Write32(&m_fSpriteFrameTime, 1);
    f->Write(&m_SpriteMode, 1);
    f->Write(&m_RotationMode, 1);
    f->Write(&m_ColorMode, 1);
    f->Write(&m_AddOrder, 1);
    f->Write16(&m_SpriteMin, 1);
    f->Write16(&m_SpriteMax, 1);
    f->Write32(&m_Gravity, 2);
    f->Write32(&m_fXStretch, 1);
    WriteCurve(*f, m_SizeCurve);
    WriteCurve(*f, m_SpinCurve);
    WriteCurve(*f, m_AlphaCurve);
    WriteCurve(*f, m_ColorCurve);
    const u8 hasTexture = m_pTexture ? 1 : 0;
    f->Write(&hasTexture, 1);
    if (m_pTexture) f->WriteString(ZYN_Cast<Object, Texture>(m_pTexture)->GetName());
    return DynGroupObject::Save(s);
}

bool ParticleEmitter::Load(ObjectSerializator& s) {
    File* f = s.GetFile();
    u32 blendMode = 0;
    if (!f || f->Read32(&blendMode, 1) != 1) return false;

    // Everything is read into locals and taken over only when the stream
    // held all of it, so a truncated file leaves the emitter as it was.
    float offsetZ = 0, lifeMin = 0, lifeMax = 0, emitStart = 0, emitEnd = 0, frameTime = 0, xStretch = 0;
    u8 spriteMode = 0, rotationMode = 0, colorMode = 0, addOrder = 0, hasTexture = 0;
    u16 spriteMin = 0, spriteMax = 0;
    Point2D<float> gravity;
    std::vector<SplineValue> sizeCurve = m_SizeCurve, spinCurve = m_SpinCurve, alphaCurve = m_AlphaCurve;
    std::vector<ColorSplineValue> colorCurve = m_ColorCurve;
    std::string textureName;
    bool ok = f->Read32(&offsetZ, 1) == 1 && f->Read32(&lifeMin, 1) == 1 && f->Read32(&lifeMax, 1) == 1 &&
              f->Read32(&emitStart, 1) == 1 && f->Read32(&emitEnd, 1) == 1 && f->Read32(&frameTime, 1) == 1 &&
              f->Read(&spriteMode, 1) == 1 && f->Read(&rotationMode, 1) == 1 && f->Read(&colorMode, 1) == 1 &&
              f->Read(&addOrder, 1) == 1 && f->Read16(&spriteMin, 1) == 1 && f->Read16(&spriteMax, 1) == 1 &&
              f->Read32(&gravity, 2) == 2 && f->Read32(&xStretch, 1) == 1;
    bool curvesTaken = true;
    auto curve = [&](CurveRead result) {
        curvesTaken = curvesTaken && result == CurveRead::kTaken;
        return result != CurveRead::kBroken;
    };
    ok = ok && curve(ReadCurve(*f, sizeCurve, "size", m_Name)) &&
         curve(ReadCurve(*f, spinCurve, "spin", m_Name)) &&
         curve(ReadCurve(*f, alphaCurve, "alpha", m_Name)) &&
         curve(ReadCurve(*f, colorCurve, "colour", m_Name));
    ok = ok && f->Read(&hasTexture, 1) == 1 && (!hasTexture || f->ReadString(textureName));
    if (!ok) {
        LogSend(kLogError,
                "ParticleEmitter::Load(%s) -> unreadable emitter data, the emitter is left as it was",
                m_Name.c_str());
        return false;
    }

    m_BlendMode = blendMode;
    m_fOffsetZ = offsetZ;
    m_fPartLifeMin = lifeMin;
    m_fPartLifeMax = lifeMax;
    m_fEmittStart = emitStart;
    m_fEmittEnd = emitEnd;
    m_fSpriteFrameTime = frameTime;
    m_SpriteMode = spriteMode;
    m_RotationMode = rotationMode;
    m_ColorMode = colorMode;
    m_AddOrder = addOrder;
    m_SpriteMin = spriteMin;
    m_SpriteMax = spriteMax;
    m_Gravity = gravity;
    m_fXStretch = xStretch;
    m_SizeCurve.swap(sizeCurve);
    m_SpinCurve.swap(spinCurve);
    m_AlphaCurve.swap(alphaCurve);
    m_ColorCurve.swap(colorCurve);
    if (m_SpriteMax < m_SpriteMin)
        LogSend(kLogWarning,
                "ParticleEmitter::Load(%s) -> sprite max %u is below sprite min %u; sprite %u is used",
                m_Name.c_str(), unsigned(m_SpriteMax), unsigned(m_SpriteMin), unsigned(m_SpriteMin));
    if (hasTexture) {
        Texture* texture = GetCreateTextureManager()->GetResourceTyped(textureName.c_str());
        SetTexture(texture);
        // GetResourceTyped added the caller's reference; SetTexture took its own.
        if (texture) ZYN_Cast<Object, Texture>(texture)->Release();
    }
    return curvesTaken;
}

}  // namespace Zyn
