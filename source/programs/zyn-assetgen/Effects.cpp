#include "Effects.h"

#include <zyn/core/BasicSerializator.h>
#include <zyn/core/Log.h>
#include <zyn/graphics/Texture.h>
#include <zyn/graphics/TextureManager.h>
#include <zyn/io/VectorFile.h>
#include <zyn/particles/MaskedRectEmitter.h>
#include <zyn/particles/ParAffectorGravity.h>
#include <zyn/particles/ParAffectorNoise.h>
#include <zyn/particles/ParAffectorSuperGravity.h>
#include <zyn/particles/ParAffectorSwirl.h>
#include <zyn/particles/PartPartEmitter.h>
#include <zyn/particles/ParticleEffect.h>
#include <zyn/particles/SimpleEmitter.h>
#include <zyn/particles/SprayEmitter.h>

#include "ParticleArt.h"

using namespace Zyn;

namespace AssetGen {

namespace {

const char* const kSheet = "gui\\gui_tex.jp2";

typedef ParticleEmitter::SplineValue Key;
typedef ParticleEmitter::ColorSplineValue ColorKey;

struct Rgb {
    float r, g, b;
};

/// A colour curve through the given colours at the given times, each exact.
std::vector<ColorKey> Colours(std::initializer_list<std::pair<float, Rgb>> keys) {
    std::vector<ColorKey> out;
    for (const auto& k : keys) {
        ColorKey c;
        c.m_fTime = k.first;
        c.m_fRedMin = c.m_fRedMax = k.second.r;
        c.m_fGreenMin = c.m_fGreenMax = k.second.g;
        c.m_fBlueMin = c.m_fBlueMax = k.second.b;
        out.push_back(c);
    }
    return out;
}

/// A curve of exact values.
std::vector<Key> Curve(std::initializer_list<std::pair<float, float>> keys) {
    std::vector<Key> out;
    for (const auto& k : keys) out.push_back(Key{k.first, k.second, k.second});
    return out;
}

/// What every emitter of these effects shares: the particle sheet, sprites,
/// life, blending and the four curves.
struct Look {
    u16 spriteMin, spriteMax;
    float lifeMin, lifeMax;
    u32 blend;  // 1 alpha, 2 additive
    std::vector<Key> size, alpha, spin;
    std::vector<ColorKey> colour;
    u8 rotationMode = 0;
    Point2D<float> gravity;
    float emitStart = 0.f, emitEnd = 1.f;
    u8 addOrder = 1;
};

bool Apply(ParticleEmitter* e, Texture* sheet, const Look& l) {
    e->SetTexture(sheet);
    e->SetSpriteMin(l.spriteMin);
    e->SetSpriteMax(l.spriteMax);
    e->SetSpriteMode(0);
    e->SetPartLifeMin(l.lifeMin);
    e->SetPartLifeMax(l.lifeMax);
    e->SetBlendMode(l.blend);
    e->SetRotationMode(l.rotationMode);
    e->SetGravity(l.gravity);
    e->SetEmittStart(l.emitStart);
    e->SetEmittEnd(l.emitEnd);
    e->SetAddOrder(l.addOrder);
    bool ok = e->SetSizeCurve(l.size) && e->SetAlphaCurve(l.alpha) && e->SetColorCurve(l.colour);
    ok = ok && e->SetSpinCurve(l.spin.empty() ? Curve({{0, 0}, {1, 0}}) : l.spin);
    return ok;
}

/// A spray that fires `count` particles once, fanned over the whole circle.
SprayEmitter* Burst(const char* name, u32 count, float speedMin, float speedMax, float distMin, float distMax) {
    SprayEmitter* e = new SprayEmitter(name);
    e->SetBurstParticles(count);
    e->SetEmittRate(0.f);  // fires once
    e->SetAngleMin(-180.f);
    e->SetAngleMax(180.f);
    e->SetSpeedMin(speedMin);
    e->SetSpeedMax(speedMax);
    e->SetDistMin(distMin);
    e->SetDistMax(distMax);
    return e;
}

template <class T>
T* Affector(ParticleEmitter* e, T* a, float frequency) {
    a->SetUpdateFrequency(frequency);
    e->InsertObject(a, 0, 1, nullptr);
    return a;
}

struct Builder {
    ParticleEffect* effect;
    Texture* sheet;
    bool ok = true;

    void Add(ParticleEmitter* e, const Look& look) {
        ok = Apply(e, sheet, look) && ok;
        if (effect->InsertObject(e, 0, 1, nullptr) < 0) ok = false;
    }
};

const Rgb kGold{255, 214, 130}, kWarmWhite{255, 244, 220}, kPaleGold{255, 232, 170};

// The trophy is complete: a warm halo swells behind a ring of light, and
// sparkles twinkle over the cup for a moment.
void StatsTrophy(Builder& b) {
    b.effect->SetEffectTime(3.0f);
    b.effect->SetEffectLoops(0);
    Look halo{kSpriteGlow, kSpriteGlow, 1.6f, 1.6f, 2, Curve({{0, 1.6f}, {1, 3.6f}}),
              Curve({{0, 0}, {0.2f, 150}, {1, 0}}), {}, Colours({{0, kGold}, {1, kGold}})};
    b.Add(Burst("halo", 1, 0, 0, 0, 0), halo);
    Look ring{kSpriteRing, kSpriteRing, 1.0f, 1.0f, 2, Curve({{0, 0.6f}, {1, 4.5f}}),
              Curve({{0, 210}, {1, 0}}), {}, Colours({{0, kWarmWhite}, {1, kGold}})};
    b.Add(Burst("ring", 1, 0, 0, 0, 0), ring);
    SimpleEmitter* twinkle = new SimpleEmitter("twinkles");
    twinkle->SetEmittRate(28.f);
    twinkle->SetPosMin(Point2D<float>(-130, -120));
    twinkle->SetPosMax(Point2D<float>(130, 250));
    twinkle->SetSpeedMin(Point2D<float>(-4, -16));
    twinkle->SetSpeedMax(Point2D<float>(4, -4));
    Look sparkle{kSpriteSparkle, kSpriteSparkle, 0.5f, 0.9f, 2, Curve({{0, 0}, {0.4f, 0.42f}, {1, 0}}),
                 Curve({{0, 255}, {1, 255}}), Curve({{0, 1.5f}, {1, 1.5f}}),
                 Colours({{0, kWarmWhite}, {1, kPaleGold}}), 1};
    sparkle.emitEnd = 2.2f;
    b.Add(twinkle, sparkle);
}

// The trophy shatters: a flash, sparks falling, dust rising, and scarabs
// scattering on curving paths. Played at scale 2.
void ScarabCrush(Builder& b) {
    b.effect->SetEffectTime(3.0f);
    b.effect->SetEffectLoops(0);
    Look flash{kSpriteGlow, kSpriteGlow, 0.45f, 0.45f, 2, Curve({{0, 1.4f}, {1, 2.6f}}),
               Curve({{0, 255}, {1, 0}}), {}, Colours({{0, kWarmWhite}, {1, kGold}})};
    b.Add(Burst("flash", 1, 0, 0, 0, 0), flash);

    Look dust{kSpriteSmoke, kSpriteSmoke, 1.6f, 2.4f, 1, Curve({{0, 0.5f}, {1, 1.5f}}),
              Curve({{0, 120}, {1, 0}}), Curve({{0, 0.4f}, {1, 0.4f}}),
              Colours({{0, Rgb{205, 175, 120}}, {1, Rgb{150, 125, 90}}}), 2};
    dust.addOrder = 0;
    b.Add(Burst("dust", 14, 12, 40, 0, 20), dust);

    Look sparks{kSpriteDot, kSpriteDot, 0.5f, 1.1f, 2, Curve({{0, 0.7f}, {1, 0.2f}}), Curve({{0, 255}, {1, 0}}),
                {}, Colours({{0, Rgb{255, 215, 110}}, {1, Rgb{255, 110, 40}}})};
    sparks.gravity = Point2D<float>(0, 200);
    b.Add(Burst("sparks", 48, 110, 240, 0, 10), sparks);

    Look scarab{kSpriteScarab, kSpriteScarab, 1.6f, 2.4f, 1, Curve({{0, 0.3f}, {1, 0.42f}}),
                Curve({{0, 255}, {0.75f, 255}, {1, 0}}), {}, Colours({{0, Rgb{255, 255, 255}}, {1, Rgb{255, 255, 255}}}),
                4};
    scarab.gravity = Point2D<float>(0, -25);
    SprayEmitter* scarabs = Burst("scarabs", 16, 55, 120, 8, 24);
    ParAffectorSwirl* flight = Affector(scarabs, new ParAffectorSwirl("flight"), 30.f);
    flight->SetSwirlPoint(1);  // bends each beetle's own path
    flight->SetForce(2.2f);
    b.Add(scarabs, scarab);
}

// A charged light path: streaks rush out of the vanishing point, spiralling
// and accelerating with the corridor, trailing sparks; it keeps playing.
void ChargedPath(Builder& b) {
    b.effect->SetEffectTime(4.0f);
    b.effect->SetEffectLoops(-1);
    SprayEmitter* streams = new SprayEmitter("streams");
    streams->SetEmittRate(36.f);
    streams->SetAngleMin(-180.f);
    streams->SetAngleMax(180.f);
    streams->SetSpeedMin(40.f);
    streams->SetSpeedMax(90.f);
    streams->SetDistMin(6.f);
    streams->SetDistMax(30.f);
    ParAffectorSuperGravity* push = Affector(streams, new ParAffectorSuperGravity("push"), 30.f);
    push->SetStrength(-4.f);  // away from the centre: ever faster, as the hall does
    push->SetAccelerate(1.0f);
    ParAffectorSwirl* twist = Affector(streams, new ParAffectorSwirl("twist"), 30.f);
    twist->SetForce(0.9f);
    Look streak{kSpriteStreak, kSpriteStreak, 2.4f, 3.2f, 2, Curve({{0, 0.15f}, {1, 1.4f}}),
                Curve({{0, 0}, {0.25f, 255}, {0.8f, 200}, {1, 0}}), {},
                Colours({{0, Rgb{150, 200, 255}}, {0.6f, Rgb{220, 230, 255}}, {1, kGold}}), 4};
    streak.emitEnd = 4.0f;
    b.Add(streams, streak);

    SimpleEmitter* core = new SimpleEmitter("core");
    core->SetEmittRate(5.f);
    core->SetPosMin(Point2D<float>(-4, -4));
    core->SetPosMax(Point2D<float>(4, 4));
    core->SetSpeedMin(Point2D<float>(-2, -2));
    core->SetSpeedMax(Point2D<float>(2, 2));
    Look glow{kSpriteGlow, kSpriteGlow, 1.6f, 2.0f, 2, Curve({{0, 1.0f}, {1, 1.8f}}),
              Curve({{0, 0}, {0.5f, 110}, {1, 0}}), {}, Colours({{0, Rgb{170, 220, 255}}, {1, Rgb{200, 235, 255}}})};
    glow.emitEnd = 4.0f;
    b.Add(core, glow);

    PartPartEmitter* arcs = new PartPartEmitter("arcs");
    arcs->SetEmitter(0);
    arcs->SetEmittRate(14.f);
    arcs->SetSpeedMin(4.f);
    arcs->SetSpeedMax(18.f);
    arcs->SetPartLifeStart(0.3f);
    arcs->SetPartLifeEnd(0.9f);
    Look trail{kSpriteDot, kSpriteDot, 0.3f, 0.6f, 2, Curve({{0, 0.45f}, {1, 0}}), Curve({{0, 220}, {1, 0}}), {},
               Colours({{0, Rgb{190, 225, 255}}, {1, Rgb{120, 170, 255}}})};
    trail.emitEnd = 4.0f;
    b.Add(arcs, trail);
}

// A burst of light: a flash, a shock ring, shards flying out and sparkles.
void Burst7(Builder& b) {
    b.effect->SetEffectTime(2.5f);
    b.effect->SetEffectLoops(0);
    Look flash{kSpriteGlow, kSpriteGlow, 0.9f, 0.9f, 2, Curve({{0, 2.0f}, {1, 7.0f}}), Curve({{0, 255}, {1, 0}}),
               {}, Colours({{0, Rgb{255, 255, 255}}, {1, kGold}})};
    b.Add(Burst("flash", 1, 0, 0, 0, 0), flash);
    Look shock{kSpriteRing, kSpriteRing, 1.2f, 1.2f, 2, Curve({{0, 0.5f}, {1, 9.0f}}), Curve({{0, 255}, {1, 0}}),
               {}, Colours({{0, kWarmWhite}, {1, kGold}})};
    b.Add(Burst("shock", 1, 0, 0, 0, 0), shock);
    Look shard{kSpriteShard, kSpriteShard, 0.6f, 1.1f, 2, Curve({{0, 1.3f}, {1, 0.4f}}),
               Curve({{0, 255}, {1, 0}}), {}, Colours({{0, kWarmWhite}, {1, kGold}}), 3};
    b.Add(Burst("shards", 36, 300, 560, 10, 30), shard);
    Look sparkle{kSpriteSparkle, kSpriteSparkle, 0.8f, 1.6f, 2, Curve({{0, 0.35f}, {1, 0}}),
                 Curve({{0, 255}, {1, 0}}), Curve({{0, -3}, {1, 3}}), Colours({{0, kWarmWhite}, {1, kPaleGold}}), 1};
    sparkle.gravity = Point2D<float>(0, 60);
    b.Add(Burst("sparkles", 60, 90, 380, 0, 20), sparkle);
}

Look GlyphLook(float lifeMin, float lifeMax, std::vector<Key> size, Rgb from, Rgb to) {
    return Look{u16(kSpriteGlyphFirst), u16(kSpriteGlyphLast), lifeMin, lifeMax, 2, std::move(size),
                Curve({{0, 0}, {0.12f, 255}, {0.7f, 230}, {1, 0}}), {}, Colours({{0, from}, {1, to}}), 1};
}

// First wave: a ring of glyphs opening outwards, wobbling, with dust drawn
// gently towards the centre.
void Glyphs1(Builder& b) {
    b.effect->SetEffectTime(5.0f);
    b.effect->SetEffectLoops(0);
    SprayEmitter* ring = Burst("ring", 24, 95, 105, 20, 20);
    ParAffectorNoise* wobble = Affector(ring, new ParAffectorNoise("wobble"), 20.f);
    wobble->SetForce(Point2D<float>(5, 5));
    wobble->SetScale(0.01f);
    wobble->SetAnimSpeed(0.6f);
    wobble->SetPercentage(100);
    b.Add(ring, GlyphLook(3.6f, 4.0f, Curve({{0, 0.6f}, {1, 1.2f}}), kGold, Rgb{255, 170, 90}));

    SimpleEmitter* dust = new SimpleEmitter("dust");
    dust->SetEmittRate(40.f);
    dust->SetPosMin(Point2D<float>(-320, -240));
    dust->SetPosMax(Point2D<float>(320, 240));
    dust->SetSpeedMin(Point2D<float>(-6, -14));
    dust->SetSpeedMax(Point2D<float>(6, -2));
    ParAffectorGravity* pull = Affector(dust, new ParAffectorGravity("pull"), 10.f);
    pull->SetStrength(Point2D<float>(0.6f, 0.6f));
    Look mote{kSpriteDot, kSpriteDot, 1.0f, 1.8f, 2, Curve({{0, 0.2f}, {0.5f, 0.5f}, {1, 0}}),
              Curve({{0, 200}, {1, 200}}), {}, Colours({{0, kPaleGold}, {1, kGold}})};
    mote.emitEnd = 2.5f;
    b.Add(dust, mote);
}

// Second wave: two spiral arms of glyphs wound by the turning instance,
// each glyph trailing sparks.
void Glyphs2(Builder& b) {
    b.effect->SetEffectTime(8.0f);
    b.effect->SetEffectLoops(0);
    b.effect->SetDefaultRotationSpeed(2.2f);
    for (int arm = 0; arm < 2; ++arm) {
        SprayEmitter* s = new SprayEmitter(arm == 0 ? "arm1" : "arm2");
        s->SetEmittRate(12.f);
        s->SetAngleMin(arm * 180.f - 6.f);
        s->SetAngleMax(arm * 180.f + 6.f);
        s->SetSpeedMin(110.f);
        s->SetSpeedMax(125.f);
        s->SetDistMin(10.f);
        s->SetDistMax(10.f);
        ParAffectorSwirl* twist = Affector(s, new ParAffectorSwirl("twist"), 30.f);
        twist->SetForce(1.2f);
        Look look = GlyphLook(4.2f, 4.6f, Curve({{0, 0.45f}, {1, 1.15f}}), Rgb{130, 220, 255}, kGold);
        look.emitEnd = 3.5f;
        b.Add(s, look);
    }
    PartPartEmitter* trails = new PartPartEmitter("trails");
    trails->SetEmitter(0);
    trails->SetEmittRate(10.f);
    trails->SetSpeedMin(2.f);
    trails->SetSpeedMax(12.f);
    Look spark{kSpriteDot, kSpriteDot, 0.4f, 0.8f, 2, Curve({{0, 0.35f}, {1, 0}}), Curve({{0, 200}, {1, 0}}), {},
               Colours({{0, Rgb{170, 230, 255}}, {1, kGold}})};
    spark.emitEnd = 8.0f;
    b.Add(trails, spark);
}

// The last wave: a great sun sign drawn in sparkles, and glyphs thrown far
// out and drawn back in.
void Glyphs3(Builder& b) {
    b.effect->SetEffectTime(6.0f);
    b.effect->SetEffectLoops(0);
    MaskedRectEmitter* sign = new MaskedRectEmitter("sign");
    sign->SetEmittRate(900.f);
    sign->SetPosMin(Point2D<float>(-280, -280));
    sign->SetPosMax(Point2D<float>(280, 280));
    sign->SetSpeedMin(Point2D<float>(-6, -6));
    sign->SetSpeedMax(Point2D<float>(6, 6));
    sign->SetMask(b.sheet);
    sign->SetSprite(kSpriteSunMask);
    Look sparkle{kSpriteSparkle, kSpriteSparkle, 1.4f, 2.2f, 2, Curve({{0, 0}, {0.3f, 0.22f}, {1, 0}}),
                 Curve({{0, 255}, {1, 255}}), {}, Colours({{0, kWarmWhite}, {1, kGold}})};
    sparkle.emitEnd = 2.5f;
    b.Add(sign, sparkle);

    SprayEmitter* ring = Burst("ring", 32, 230, 260, 30, 30);
    ParAffectorSuperGravity* back = Affector(ring, new ParAffectorSuperGravity("back"), 30.f);
    back->SetStrength(6.f);
    back->SetAccelerate(0.995f);
    back->SetPartLifeStart(0.3f);
    b.Add(ring, GlyphLook(4.5f, 5.0f, Curve({{0, 0.9f}, {0.5f, 1.6f}, {1, 0.6f}}), kGold, kWarmWhite));

    Look shock{kSpriteRing, kSpriteRing, 1.4f, 1.4f, 2, Curve({{0, 0.5f}, {1, 8.0f}}), Curve({{0, 200}, {1, 0}}),
               {}, Colours({{0, kGold}, {1, Rgb{255, 160, 80}}})};
    b.Add(Burst("shock", 1, 0, 0, 0, 0), shock);
}

// Not used by the scene: a sampler of every emitter kind and every affector
// for effect authors (zyn-fxview renders it). A sun sign drawn in sparkles
// (masked), glyph sprays bent by a swirl and pulled back by super gravity,
// sparks trailing the glyphs (particle-carried), motes wobbling under noise
// and settling under plain gravity (simple).
void Showcase(Builder& b) {
    b.effect->SetEffectTime(4.0f);
    b.effect->SetEffectLoops(-1);
    MaskedRectEmitter* sign = new MaskedRectEmitter("sign");
    sign->SetEmittRate(1500.f);
    sign->SetPosMin(Point2D<float>(-220, -220));
    sign->SetPosMax(Point2D<float>(220, 220));
    sign->SetMask(b.sheet);
    sign->SetSprite(kSpriteSunMask);
    Look sparkle{kSpriteSparkle, kSpriteSparkle, 0.8f, 1.2f, 2, Curve({{0, 0}, {0.3f, 0.3f}, {1, 0}}),
                 Curve({{0, 255}, {1, 255}}), {}, Colours({{0, kWarmWhite}, {1, kGold}})};
    sparkle.emitEnd = 4.0f;
    b.Add(sign, sparkle);

    SprayEmitter* spray = new SprayEmitter("glyphs");
    spray->SetEmittRate(10.f);
    spray->SetAngleMin(-180.f);
    spray->SetAngleMax(180.f);
    spray->SetSpeedMin(120.f);
    spray->SetSpeedMax(160.f);
    ParAffectorSwirl* twist = Affector(spray, new ParAffectorSwirl("twist"), 30.f);
    twist->SetForce(1.5f);
    ParAffectorSuperGravity* back = Affector(spray, new ParAffectorSuperGravity("back"), 30.f);
    back->SetStrength(3.f);
    back->SetAccelerate(0.995f);
    back->SetPartLifeStart(0.45f);  // fly out first, then return
    Look glyph = GlyphLook(3.0f, 3.5f, Curve({{0, 0.5f}, {1, 1.0f}}), Rgb{130, 220, 255}, kGold);
    glyph.emitEnd = 4.0f;
    b.Add(spray, glyph);

    PartPartEmitter* trails = new PartPartEmitter("trails");
    trails->SetEmitter(1);
    trails->SetEmittRate(12.f);
    trails->SetSpeedMin(2.f);
    trails->SetSpeedMax(10.f);
    Look spark{kSpriteDot, kSpriteDot, 0.4f, 0.7f, 2, Curve({{0, 0.35f}, {1, 0}}), Curve({{0, 200}, {1, 0}}), {},
               Colours({{0, Rgb{170, 230, 255}}, {1, kGold}})};
    spark.emitEnd = 4.0f;
    b.Add(trails, spark);

    SimpleEmitter* motes = new SimpleEmitter("motes");
    motes->SetEmittRate(30.f);
    motes->SetPosMin(Point2D<float>(-300, -220));
    motes->SetPosMax(Point2D<float>(300, 220));
    ParAffectorNoise* wobble = Affector(motes, new ParAffectorNoise("wobble"), 20.f);
    wobble->SetForce(Point2D<float>(6, 6));
    wobble->SetScale(0.01f);
    wobble->SetAnimSpeed(0.5f);
    ParAffectorGravity* settle = Affector(motes, new ParAffectorGravity("settle"), 10.f);
    settle->SetStrength(Point2D<float>(0.5f, 0.5f));
    Look mote{kSpriteGlow, kSpriteGlow, 1.5f, 2.5f, 2, Curve({{0, 0.05f}, {0.5f, 0.2f}, {1, 0}}),
              Curve({{0, 180}, {1, 180}}), {}, Colours({{0, kPaleGold}, {1, Rgb{255, 170, 90}}})};
    mote.emitEnd = 4.0f;
    b.Add(motes, mote);
}

bool Save(ParticleEffect* effect, const char* name, std::vector<EffectFile>& out) {
    VectorFile file;
    BasicSerializator s(&file);
    if (!s.SaveHierarchy(effect)) return false;
    out.push_back({name, file.GetVector()});
    return true;
}

}  // namespace

bool BuildEffects(std::vector<EffectFile>& out) {
    out.clear();
    Texture* sheet = GetCreateTextureManager()->GetResourceTyped(kSheet);
    if (!sheet || !sheet->GetTexHandle().IsOk()) {
        LogSend(kLogError, "zyn-assetgen: the particle sheet %s did not load", kSheet);
        if (sheet) sheet->Release();
        return false;
    }
    struct Design {
        const char* file;
        const char* name;
        void (*build)(Builder&);
    };
    const Design designs[] = {
        {"fx\\stats_trophy.zyn", "stats_trophy", &StatsTrophy}, {"fx\\scarab_crush.zyn", "scarab_crush", &ScarabCrush},
        {"fx\\charged_path.zyn", "charged_path", &ChargedPath}, {"fx\\sel_7.zyn", "sel_7", &Burst7},
        {"fx\\ss_glyphs_1.zyn", "ss_glyphs_1", &Glyphs1},       {"fx\\ss_glyphs_2.zyn", "ss_glyphs_2", &Glyphs2},
        {"fx\\ss_glyphs_3.zyn", "ss_glyphs_3", &Glyphs3},       {"fx\\showcase.zyn", "showcase", &Showcase},
    };
    bool ok = true;
    for (const Design& d : designs) {
        ParticleEffect* effect = new ParticleEffect(d.name);
        effect->AddRef();
        Builder b{effect, sheet};
        d.build(b);
        if (!b.ok) LogSend(kLogError, "zyn-assetgen: effect %s could not be built", d.name);
        ok = b.ok && Save(effect, d.file, out) && ok;
        effect->Release();
    }
    sheet->Release();
    return ok;
}

}  // namespace AssetGen
