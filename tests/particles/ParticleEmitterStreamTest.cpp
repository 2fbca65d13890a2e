// The emitter's stream block: exact bytes, round trips through the object
// stream with duplication, and malformed outside data.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <zyn/core/BasicSerializator.h>
#include <zyn/core/Property.h>
#include <zyn/graphics/Texture.h>
#include <zyn/graphics/TextureManager.h>
#include <zyn/particles/ParticleEffect.h>

#include "ParticleTestUtil.h"
#include "support/LogCapture.h"

using namespace Zyn;
using namespace ZynTest;

namespace {

typedef std::vector<unsigned char> Bytes;

// The emitter block as the stream holds it, built field by field.
struct Block {
    u32 blend = 2;
    float offsetZ = 0.25f, lifeMin = 0.5f, lifeMax = 1.5f, emitStart = 0.1f, emitEnd = 0.9f,
          frameTime = 0.05f;
    u8 spriteMode = 2, rotationMode = 1, colorMode = 0, addOrder = 1;
    u16 spriteMin = 3, spriteMax = 7;
    float gx = 0, gy = 98, xStretch = 1.5f;
    std::vector<std::vector<float>> sizeKeys{{0, 1, 2}, {0.5f, 3, 4}, {1, 0, 0}};
    std::vector<std::vector<float>> spinKeys{{0, 0, 0}, {1, 6, 6}};
    std::vector<std::vector<float>> alphaKeys{{0, 255, 255}, {1, 0, 0}};
    std::vector<std::vector<float>> colorKeys{{0, 1, 2, 3, 4, 5, 6}, {1, 7, 8, 9, 10, 11, 12}};
    u32 sizeCount = 3;  // what the stream claims
    std::string texture;

    Bytes Build() const {
        ByteWriter w;
        w.Put(blend).Put(offsetZ).Put(lifeMin).Put(lifeMax).Put(emitStart).Put(emitEnd).Put(frameTime);
        w.Put(spriteMode).Put(rotationMode).Put(colorMode).Put(addOrder).Put(spriteMin).Put(spriteMax);
        w.Put(gx).Put(gy).Put(xStretch);
        auto curve = [&w](u32 count, const std::vector<std::vector<float>>& keys) {
            w.Put(count);
            for (const auto& k : keys)
                for (float f : k) w.Put(f);
        };
        curve(sizeCount, sizeKeys);
        curve(u32(spinKeys.size()), spinKeys);
        curve(u32(alphaKeys.size()), alphaKeys);
        curve(u32(colorKeys.size()), colorKeys);
        w.Put(u8(texture.empty() ? 0 : 1));
        if (!texture.empty()) w.Str(texture);
        return w.bytes;
    }
};

// Loads the emitter block alone into a fresh emitter.
bool LoadBlock(TestEmitter& e, const Bytes& bytes) {
    StreamStub in(bytes);
    return e.ParticleEmitter::Load(in);
}

Bytes SaveHierarchy(Object* obj) {
    VectorFile file;
    BasicSerializator s(&file);
    EXPECT_TRUE(s.SaveHierarchy(obj));
    return file.GetVector();
}

Object* LoadHierarchy(const Bytes& bytes) {
    VectorFile file(bytes);
    BasicSerializator s(&file);
    return s.LoadHierarchy();
}

}  // namespace

TEST(EmitterStream, BlockHoldsEveryFieldInOrder) {
    Block b;
    b.texture = "fx/spark.tga";
    Ref<TestEmitter> e(new TestEmitter("e"));
    e->SetBlendMode(b.blend);
    e->SetOffsetZ(b.offsetZ);
    e->SetPartLifeMin(b.lifeMin);
    e->SetPartLifeMax(b.lifeMax);
    e->SetEmittStart(b.emitStart);
    e->SetEmittEnd(b.emitEnd);
    e->SetSpriteAnimSpeed(b.frameTime);
    e->SetSpriteMode(b.spriteMode);
    e->SetRotationMode(b.rotationMode);
    e->SetColorMode(b.colorMode);
    e->SetAddOrder(b.addOrder);
    e->SetSpriteMin(b.spriteMin);
    e->SetSpriteMax(b.spriteMax);
    e->SetGravity(Point2D<float>(b.gx, b.gy));
    e->SetXStretch(b.xStretch);
    ASSERT_TRUE(e->SetSizeCurve({{0, 1, 2}, {0.5f, 3, 4}, {1, 0, 0}}));
    ASSERT_TRUE(e->SetSpinCurve({{0, 0, 0}, {1, 6, 6}}));
    ASSERT_TRUE(e->SetAlphaCurve({{0, 255, 255}, {1, 0, 0}}));
    ASSERT_TRUE(e->SetColorCurve({{0, 1, 2, 3, 4, 5, 6}, {1, 7, 8, 9, 10, 11, 12}}));
    Texture* texture = new Texture(b.texture.c_str());
    e->SetTexture(texture);
    TestAffector* affector = new TestAffector;
    e->InsertObject(affector, 0, 1, nullptr);

    StreamStub out;
    ASSERT_TRUE(e->ParticleEmitter::Save(out));
    EXPECT_EQ(out.Bytes(), b.Build());
    ASSERT_EQ(out.m_Children.size(), 1u);
    EXPECT_EQ(out.m_Children[0].first, affector);
    EXPECT_EQ(out.m_Children[0].second, 0);

    // Without a texture the block ends with a zero byte.
    e->SetTexture(nullptr);
    b.texture.clear();
    StreamStub bare;
    ASSERT_TRUE(e->ParticleEmitter::Save(bare));
    EXPECT_EQ(bare.Bytes(), b.Build());
}

TEST(EmitterStream, LoadReadsWhatSaveWrote) {
    Block b;
    Ref<TestEmitter> e(new TestEmitter("e"));
    ASSERT_TRUE(LoadBlock(*e.Get(), b.Build()));
    EXPECT_EQ(e->GetBlendMode(), b.blend);
    EXPECT_EQ(e->GetPartLifeMax(), b.lifeMax);
    EXPECT_EQ(e->GetSpriteMax(), b.spriteMax);
    EXPECT_EQ(e->GetAddOrder(), b.addOrder);
    EXPECT_EQ(e->GetGravity(), Point2D<float>(b.gx, b.gy));
    ASSERT_EQ(e->GetSizeCurve().size(), 3u);
    EXPECT_EQ(e->GetSizeCurve()[1].m_fMax, 4.0f);
    EXPECT_EQ(e->GetColorCurve()[1].m_fBlueMax, 12.0f);
    StreamStub out;
    ASSERT_TRUE(e->ParticleEmitter::Save(out));
    EXPECT_EQ(out.Bytes(), b.Build());
}

TEST(EmitterStream, TextureIsTakenByNameFromTheTextureManager) {
    ScopedPackage package;
    package->m_Files["fx/ring.tga"] = {1, 2, 3};  // does not decode: a texture without pixels
    Block b;
    b.texture = "fx/ring.tga";
    {
        Ref<TestEmitter> e(new TestEmitter("e"));
        ASSERT_TRUE(LoadBlock(*e.Get(), b.Build()));
        ASSERT_NE(e->GetTexture(), nullptr);
        EXPECT_EQ(e->GetTexture()->GetName(), "fx/ring.tga");
        EXPECT_EQ(e->GetTexture()->GetRefCount(), 1);  // the emitter's own reference
        StreamStub out;
        ASSERT_TRUE(e->ParticleEmitter::Save(out));
        EXPECT_EQ(out.Bytes(), b.Build());
    }
    // Released with the emitter: the manager let it go.
    EXPECT_EQ(GetCreateTextureManager()->FindObject("fx/ring.tga", nullptr, -1), nullptr);
}

TEST(EmitterStream, EffectRoundTripsThroughLoadAndDuplicate) {
    Ref<ParticleEffect> effect(new ParticleEffect("fx"));
    effect->SetEffectTime(2.5f);
    effect->SetEffectLoops(3);
    effect->SetEffectLoopToTime(0.5f);
    effect->SetDefaultPlaySpeed(1.25f);
    effect->SetDefaultRotation(0.75f);
    effect->SetDefaultRotationSpeed(-2.0f);
    effect->SetDefaultAutoRotate(true);
    for (const char* name : {"sparks", "smoke"}) {
        TestEmitter* e = new TestEmitter(name);
        e->m_fRate = 33.0f;
        e->SetGravity(Point2D<float>(1, 2));
        ASSERT_TRUE(e->SetAlphaCurve({{0, 0, 0}, {0.1f, 255, 255}, {1, 0, 0}}));
        effect->InsertObject(e, 0, 1, nullptr);
    }
    const Bytes saved = SaveHierarchy(effect.Get());

    // The effect block: seven values right after the header.
    const size_t header = 4 + std::string("ParticleEffect").size() + 4 + 4 + 2;
    ByteWriter values;
    values.Put(2.5f).Put(0.5f).Put(s32(3)).Put(1.25f).Put(0.75f).Put(-2.0f).Put(u8(1));
    ASSERT_GT(saved.size(), header + values.bytes.size());
    EXPECT_EQ(Bytes(saved.begin() + long(header), saved.begin() + long(header + values.bytes.size())),
              values.bytes);

    Ref<ParticleEffect> loaded(ZYN_Cast<ParticleEffect, Object>(LoadHierarchy(saved)));
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->GetEmitterGroup().GetList().size(), 2u);
    EXPECT_EQ(loaded->GetEmitterGroup().GetList().front()->GetName(), "sparks");
    EXPECT_EQ(SaveHierarchy(loaded.Get()), saved);

    Ref<ParticleEffect> copy(ZYN_Cast<ParticleEffect, Object>(loaded->DuplicateObject("fx")));
    ASSERT_TRUE(copy);
    EXPECT_EQ(SaveHierarchy(copy.Get()), saved);
    // The copy has emitters of its own.
    EXPECT_NE(copy->GetEmitterGroup().GetList().front(), loaded->GetEmitterGroup().GetList().front());
}

TEST(EmitterStream, AffectorsRoundTripButAreNotDuplicated) {
    Ref<ParticleEffect> effect(new ParticleEffect("fx"));
    TestEmitter* e = new TestEmitter("e");
    effect->InsertObject(e, 0, 1, nullptr);
    TestAffector* a = new TestAffector("a1");
    a->SetUpdateFrequency(12.5f);
    e->InsertObject(a, 0, 1, nullptr);
    e->InsertObject(new TestAffector("a2"), 0, 1, nullptr);
    const Bytes saved = SaveHierarchy(effect.Get());
    Ref<ParticleEffect> loaded(ZYN_Cast<ParticleEffect, Object>(LoadHierarchy(saved)));
    ASSERT_TRUE(loaded);
    ParticleEmitter* le = loaded->GetEmitterGroup().GetList().front();
    ASSERT_EQ(le->GetAffectorGroup().GetList().size(), 2u);
    EXPECT_EQ(le->GetAffectorGroup().GetList().front()->GetName(), "a1");
    EXPECT_EQ(le->GetAffectorGroup().GetList().front()->GetUpdateFrequency(), 12.5f);
    EXPECT_EQ(SaveHierarchy(loaded.Get()), saved);
    Ref<Object> dup(le->DuplicateObject("e2"));
    ParticleEmitter* copy = ZYN_Cast<ParticleEmitter, Object>(dup.Get());
    ASSERT_NE(copy, nullptr);
    EXPECT_TRUE(copy->GetAffectorGroup().GetList().empty());
}

TEST(EmitterStream, PropertiesAreRegisteredInOrder) {
    std::vector<std::string> labels;
    for (ValueProperty* p : ParticleEmitter::sm_Class.GetValueProps()) labels.push_back(p->GetName());
    EXPECT_EQ(labels, (std::vector<std::string>{
                          "Emit Start", "Emit End", "Part. Life Min", "Part. Life Max", "Texture",
                          "Sprite ID Min", "Sprite ID Max", "Sprite Mode", "Sprite Frame Time", "Blend Mode",
                          "Rotation Mode", "Z Offset", "X Stretch", "Gravity", "Add Order", "Color Mode"}));
    Ref<TestEmitter> e(new TestEmitter("e"));
    ValueProperty* gravity = nullptr;
    for (ValueProperty* p : ParticleEmitter::sm_Class.GetValueProps())
        if (p->GetName() == "Gravity") gravity = p;
    ASSERT_NE(gravity, nullptr);
    std::string text = "1.5, -2";
    EXPECT_TRUE(gravity->SetValue(e.Get(), text));
    EXPECT_EQ(e->GetGravity(), Point2D<float>(1.5f, -2.0f));
    EXPECT_EQ(gravity->GetValue(e.Get()), "1.50, -2.00");
}

// ---------------------------------------------------------------------------
// Malformed outside data.

TEST(EmitterStreamBadInput, CurveWithTooFewKeysIsRefusedAndTheStreamGoesOn) {
    ScopedLogCapture log;
    Block b;
    b.sizeCount = 1;
    b.sizeKeys = {{0, 5, 5}};
    Ref<TestEmitter> e(new TestEmitter("e"));
    EXPECT_FALSE(LoadBlock(*e.Get(), b.Build()));
    EXPECT_TRUE(log->Contains(" E. ParticleEmitter::Load(e) -> size curve has 1 keys, expected 2 to 256"));
    // The size curve kept its default; everything after it was still read.
    EXPECT_EQ(e->GetSizeCurve().size(), 2u);
    EXPECT_EQ(e->GetSizeCurve()[0].m_fMin, 1.0f);
    EXPECT_EQ(e->GetColorCurve()[1].m_fBlueMax, 12.0f);
    EXPECT_EQ(e->GetBlendMode(), b.blend);
}

TEST(EmitterStreamBadInput, KeyCountBeyondTheLimitFailsWithoutReadingOn) {
    ScopedLogCapture log;
    Block b;
    b.sizeCount = 0xFFFFFFFFu;
    Ref<TestEmitter> e(new TestEmitter("e"));
    EXPECT_FALSE(LoadBlock(*e.Get(), b.Build()));
    EXPECT_TRUE(log->Contains("size curve has 4294967295 keys, expected 2 to 256"));
    EXPECT_TRUE(log->Contains(
        " E. ParticleEmitter::Load(e) -> unreadable emitter data, the emitter is left as it was"));
    EXPECT_EQ(e->GetBlendMode(), 1u);  // nothing taken over
}

TEST(EmitterStreamBadInput, KeyCountLargerThanTheStreamLeavesTheEmitterAsItWas) {
    ScopedLogCapture log;
    Block b;
    b.sizeCount = 200;
    Ref<TestEmitter> e(new TestEmitter("e"));
    EXPECT_FALSE(LoadBlock(*e.Get(), b.Build()));
    EXPECT_TRUE(log->Contains("unreadable emitter data, the emitter is left as it was"));
    EXPECT_EQ(e->GetSizeCurve().size(), 2u);
    EXPECT_EQ(e->GetPartLifeMax(), 1.0f);
}

TEST(EmitterStreamBadInput, FallingOrShortKeyTimesAreRefused) {
    struct Case {
        std::vector<std::vector<float>> keys;
        const char* message;
    };
    const Case cases[] = {
        {{{0, 1, 1}, {0.6f, 1, 1}, {0.4f, 1, 1}, {1, 1, 1}}, "size curve refused: key times must not fall"},
        {{{0, 1, 1}, {0.9f, 1, 1}}, "size curve refused: keys must run from time 0 to time 1"},
        {{{0.2f, 1, 1}, {1, 1, 1}}, "size curve refused: keys must run from time 0 to time 1"},
        {{{0, 1, 1}, {NAN, 1, 1}, {1, 1, 1}}, "size curve refused: key times must not fall"},
    };
    for (const Case& c : cases) {
        ScopedLogCapture log;
        Block b;
        b.sizeKeys = c.keys;
        b.sizeCount = u32(c.keys.size());
        Ref<TestEmitter> e(new TestEmitter("e"));
        EXPECT_FALSE(LoadBlock(*e.Get(), b.Build()));
        EXPECT_TRUE(log->Contains(c.message)) << c.message;
        EXPECT_EQ(e->GetSizeCurve().size(), 2u);
        EXPECT_EQ(e->GetSpinCurve()[1].m_fMax, 6.0f);  // read on after the refused curve
        // The emitter still makes sound particles.
        std::unique_ptr<Particle, void (*)(Particle*)> p(e->GenerateParticle(0), &ParticleAllocator::Delete);
        EXPECT_EQ(p->m_fSize, 1.0f);
    }
}

TEST(EmitterStreamBadInput, EveryTruncationFailsCleanly) {
    Block b;
    b.texture = "fx/none.tga";
    const Bytes full = b.Build();
    ScopedLogCapture log;
    for (size_t n = 0; n < full.size(); ++n) {
        Ref<TestEmitter> e(new TestEmitter("e"));
        EXPECT_FALSE(LoadBlock(*e.Get(), Bytes(full.begin(), full.begin() + long(n)))) << n;
        EXPECT_EQ(e->GetBlendMode(), 1u) << n;
        EXPECT_EQ(e->GetTexture(), nullptr);
    }
    // The first value missing is a plain failure; later ones are reported.
    EXPECT_EQ(log->Count("unreadable emitter data, the emitter is left as it was"), int(full.size()) - 4);
}

TEST(EmitterStreamBadInput, SpriteMaxBelowMinIsReportedAndHarmless) {
    ScopedLogCapture log;
    Block b;
    b.spriteMode = 3;
    b.spriteMin = 9;
    b.spriteMax = 4;
    Ref<TestEmitter> e(new TestEmitter("e"));
    EXPECT_TRUE(LoadBlock(*e.Get(), b.Build()));
    EXPECT_TRUE(log->Contains(
        " W. ParticleEmitter::Load(e) -> sprite max 4 is below sprite min 9; sprite 9 is used"));
    std::unique_ptr<Particle, void (*)(Particle*)> p(e->GenerateParticle(3.7f), &ParticleAllocator::Delete);
    EXPECT_EQ(p->m_Sprite, 9u);
}

TEST(EmitterStreamBadInput, EffectWithABadCurveStillLoadsAndPlays) {
    Ref<ParticleEffect> effect(new ParticleEffect("fx"));
    effect->InsertObject(new TestEmitter("e"), 0, 1, nullptr);
    Bytes saved = SaveHierarchy(effect.Get());
    // Move the size curve's last key time from 1 to 0.5 inside the stream.
    ByteWriter one, half;
    one.Put(1.0f);
    half.Put(0.5f);
    ByteWriter sizeCurveStart;
    sizeCurveStart.Put(u32(2)).Put(0.0f).Put(1.0f).Put(1.0f);
    auto at =
        std::search(saved.begin(), saved.end(), sizeCurveStart.bytes.begin(), sizeCurveStart.bytes.end());
    ASSERT_NE(at, saved.end());
    std::copy(half.bytes.begin(), half.bytes.end(), at + 16);
    ScopedLogCapture log;
    Ref<ParticleEffect> loaded(ZYN_Cast<ParticleEffect, Object>(LoadHierarchy(saved)));
    ASSERT_TRUE(loaded);
    EXPECT_TRUE(
        log->Contains("ParticleEmitter::Load(e) -> size curve refused: keys must run from time 0 to time 1"));
    Ref<ParticleEffectInstance> instance(new ParticleEffectInstance("i", Point3D<float>()));
    loaded->InsertObject(instance.Get(), 1, 0, nullptr);
    for (int i = 0; i < 30; ++i) instance->Update(0.1f);
    EXPECT_GT(instance->GetParticleCount(), 0u);
    loaded->RemoveObject(instance.Get(), 1);
}
