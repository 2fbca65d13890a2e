// An effect file using every emitter kind and affector, built, saved and
// loaded back through class names only. This program includes no header of
// the kinds and names none of their symbols: it finds their class records
// only because libzyn keeps every registered class. Also: damaged copies of
// the same file never read out of bounds, crash or leak.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <zyn/core/BasicSerializator.h>
#include <zyn/core/Property.h>
#include <zyn/core/Root.h>
#include <zyn/graphics/Texture.h>
#include <zyn/graphics/TextureManager.h>
#include <zyn/io/Package.h>
#include <zyn/io/VectorFile.h>
#include <zyn/particles/EffectManager.h>
#include <zyn/particles/ParticleAffector.h>
#include <zyn/particles/ParticleEffect.h>
#include <zyn/particles/ParticleEffectInstance.h>
#include <zyn/particles/ParticleEmitter.h>

#include "support/LogCapture.h"

using namespace Zyn;
using ZynTest::ScopedLogCapture;

namespace {

typedef std::vector<unsigned char> Bytes;

const char* const kEffectName = "fx\\every_kind.zyn";

class BytesPackage : public Package {
public:
    BytesPackage() : Package("every-kind") {}
    File* OpenFile(const char* name) override {
        auto it = m_Files.find(name);
        return it == m_Files.end() ? nullptr : new VectorFile(it->second);
    }
    std::map<std::string, Bytes> m_Files;
};

// Mounted in front of the Root's packages for the scope.
class ScopedBytesPackage {
public:
    ScopedBytesPackage() : m_Package(new BytesPackage) {
        Singleton<Root>::Get()->InsertObject(m_Package.Get(), Root::kPackages, 0, nullptr);
    }
    ~ScopedBytesPackage() { Singleton<Root>::Get()->RemoveObject(m_Package.Get(), Root::kPackages); }
    BytesPackage* operator->() { return m_Package.Get(); }

private:
    Ref<BytesPackage> m_Package;
};

// Keeps log lines of expected failures off the console for its lifetime.
class QuietConsole {
public:
    QuietConsole() { Singleton<Root>::Get()->LogSetOutputThreshold(-1, &StdOutLogOutput::sm_Class); }
    ~QuietConsole() { Singleton<Root>::Get()->LogSetOutputThreshold(kLogInfo, &StdOutLogOutput::sm_Class); }
};

Object* Create(const char* cls, const char* name) {
    Class* c = Class::FindClass(cls);
    EXPECT_NE(c, nullptr) << cls;
    return c ? c->CreateInstance(name) : nullptr;
}

void Set(Object* o, const char* label, std::string text) {
    ValueProperty* p = FindValueProperty(o->GetClass(), label);
    ASSERT_NE(p, nullptr) << o->GetObjectClassName() << " " << label;
    ASSERT_TRUE(p->SetValue(o, text)) << label;
}

void SetPointer(Object* o, const char* label, void* value) {
    ValueProperty* p = FindValueProperty(o->GetClass(), label);
    ASSERT_NE(p, nullptr) << label;
    ASSERT_EQ(p->GetClass(), &TypedValueProperty<void*>::sm_Class);
    ASSERT_TRUE(static_cast<TypedValueProperty<void*>*>(p)->Set(o, value));
}

ParticleEmitter* AddEmitter(ParticleEffect* fx, const char* cls, const char* name) {
    Object* o = Create(cls, name);
    EXPECT_EQ(fx->InsertObject(o, ParticleEffect::kEmitters, 1, nullptr), int(ParticleEffect::kEmitters));
    return ZYN_Cast<ParticleEmitter, Object>(o);
}

Object* AddAffector(ParticleEmitter* e, const char* cls, const char* name) {
    Object* o = Create(cls, name);
    EXPECT_EQ(e->InsertObject(o, 0, 1, nullptr), 0);
    return o;
}

// Five emitters (a part-part emitter reads the first, another names itself)
// and five affectors, every kind's fields away from their defaults.
ParticleEffect* BuildEveryKind(Texture* sheet) {
    ParticleEffect* fx = new ParticleEffect(kEffectName);
    fx->SetEffectTime(1.5f);
    fx->SetEffectLoops(-1);
    fx->SetEffectLoopToTime(0.25f);

    ParticleEmitter* simple = AddEmitter(fx, "SimpleEmitter", "simple");
    Set(simple, "Emit Rate", "40");
    Set(simple, "Speed Min", "-20, -60");
    Set(simple, "Speed Max", "20, -30");
    Set(simple, "Position Max", "10, 5");
    Set(simple, "Part. Life Max", "2");
    Object* noise = AddAffector(simple, "ParAffectorNoise", "turbulence");
    Set(noise, "Force", "30, 20");
    Set(noise, "Scale", "0.02");
    Set(noise, "Anim. Speed", "0.5");
    Set(noise, "Percentage", "80");
    Set(noise, "Update Frequency", "30");
    Object* gravity = AddAffector(simple, "ParAffectorGravity", "pull");
    Set(gravity, "Strength", "1, 2");
    Set(gravity, "Offset", "0, 100");
    Set(gravity, "Accelerate", "0.98");

    ParticleEmitter* spray = AddEmitter(fx, "SprayEmitter", "spray");
    Set(spray, "Emit Rate", "0.5");
    Set(spray, "Burst Particles", "12");
    Set(spray, "Angle Min", "-60");
    Set(spray, "Angle Max", "60");
    Set(spray, "Center. Dist. Max", "8");
    Set(spray, "Part. Life Min", "3");
    Set(spray, "Part. Life Max", "3");
    Object* swirl = AddAffector(spray, "ParAffectorSwirl", "swirl");
    Set(swirl, "Force", "4");
    Set(swirl, "Swirl Point", "1");
    Set(swirl, "Part. Life Start", "0.25");

    ParticleEmitter* partpart = AddEmitter(fx, "PartPartEmitter", "sparks");
    Set(partpart, "Emit Rate", "5");
    Set(partpart, "Emitter ID", "0");
    Set(partpart, "Part. Life Start", "0.3");
    Set(partpart, "Offset", "0, -4");
    Object* super = AddAffector(partpart, "ParAffectorSuperGravity", "sink");
    Set(super, "Strength", "3");
    Set(super, "Position Mode", "1");
    Set(super, "Offset", "512, 393");

    ParticleEmitter* masked = AddEmitter(fx, "MaskedRectEmitter", "masked");
    Set(masked, "Emit Rate", "60");
    Set(masked, "Position Min", "-100, -20");
    Set(masked, "Position Max", "100, 20");
    // A sprite the texture does not have: the mask is dropped, not read.
    Set(masked, "Mask Sprite", "77");
    SetPointer(masked, "Mask Tex.", sheet);
    AddAffector(masked, "ParAffectorNoise", "drift");

    ParticleEmitter* selfish = AddEmitter(fx, "PartPartEmitter", "selfish");
    Set(selfish, "Emitter ID", "4");  // its own index

    for (ParticleEmitter* e : {simple, spray, partpart, masked, selfish}) e->SetTexture(sheet);
    return fx;
}

Bytes SaveHierarchy(Object* obj) {
    VectorFile file;
    BasicSerializator s(&file);
    EXPECT_TRUE(s.SaveHierarchy(obj));
    return file.GetVector();
}

// Loads a hierarchy and lets it go again; true when one came back.
bool LoadAndDrop(const Bytes& bytes) {
    VectorFile file(bytes);
    BasicSerializator s(&file);
    Object* o = s.LoadHierarchy();
    if (!o) return false;
    Ref<Object> hold(o);
    return true;
}

size_t Find(const Bytes& bytes, const std::string& text, size_t from = 0) {
    auto it = std::search(bytes.begin() + std::ptrdiff_t(from), bytes.end(), text.begin(), text.end());
    return it == bytes.end() ? std::string::npos : size_t(it - bytes.begin());
}

// The texture the effect names, managed under its name for the fixture's
// lifetime, and the effect file made with it.
class EveryKindFile : public ::testing::Test {
protected:
    void SetUp() override {
        m_Sheet.Reset(new Texture("fx\\sheet.tga"));
        ASSERT_EQ(GetCreateTextureManager()->InsertObject(m_Sheet.Get(), 0, 0, nullptr), 0);
        ScopedLogCapture log;
        Ref<ParticleEffect> fx(BuildEveryKind(m_Sheet.Get()));
        m_Bytes = SaveHierarchy(fx.Get());
        EXPECT_TRUE(log->Contains("Can't extract mask - invalid sprite id"));
    }
    void TearDown() override { m_Sheet.Reset(); }

    Ref<Texture> m_Sheet;
    Bytes m_Bytes;
};

}  // namespace

TEST_F(EveryKindFile, LoadsByClassNameAndSavesTheSameBytes) {
    ScopedBytesPackage package;
    package->m_Files[kEffectName] = m_Bytes;
    ScopedLogCapture log;
    ParticleEffect* loaded = GetCreateEffectManager()->GetEffect(kEffectName);
    ASSERT_NE(loaded, nullptr);
    Ref<ParticleEffect> hold(loaded);
    loaded->Release();  // the reference GetEffect added for us
    EXPECT_EQ(SaveHierarchy(loaded), m_Bytes);

    std::vector<std::string> emitters, affectors;
    for (ParticleEmitter* e : loaded->GetEmitterGroup().GetList()) {
        emitters.push_back(e->GetObjectClassName() + ":" + e->GetName());
        for (ParticleAffector* a : e->GetAffectorGroup().GetList())
            affectors.push_back(a->GetObjectClassName() + ":" + a->GetName());
        EXPECT_EQ(e->GetTexture(), m_Sheet.Get());
    }
    EXPECT_EQ(emitters, (std::vector<std::string>{"SimpleEmitter:simple", "SprayEmitter:spray",
                                                  "PartPartEmitter:sparks", "MaskedRectEmitter:masked",
                                                  "PartPartEmitter:selfish"}));
    EXPECT_EQ(affectors, (std::vector<std::string>{"ParAffectorNoise:turbulence", "ParAffectorGravity:pull",
                                                   "ParAffectorSwirl:swirl", "ParAffectorSuperGravity:sink",
                                                   "ParAffectorNoise:drift"}));
    // The out-of-range mask sprite is reported while loading and harmless.
    EXPECT_TRUE(
        log->Contains(" W. MaskedRectEmitter::UpdateMask() -> Can't extract mask - invalid sprite id"));

    // It plays: every emitter but the one naming itself has particles.
    Ref<ParticleEffectInstance> play(new ParticleEffectInstance("play", Point3D<float>(512, 393, 0)));
    ASSERT_EQ(loaded->InsertObject(play.Get(), -1, 0, nullptr), int(ParticleEffect::kActive));
    for (int i = 0; i < 30; ++i) play->Update(0.05f);
    for (unsigned d = 0; d < 4; ++d) EXPECT_NE(play->GetEmitterDesc(d)->m_pFirst, nullptr) << d;
    EXPECT_EQ(play->GetEmitterDesc(4)->m_pFirst, nullptr);
}

TEST_F(EveryKindFile, UnknownAffectorClassFailsTheLoadWithItsMessages) {
    Bytes bad = m_Bytes;
    const size_t at = Find(bad, "ParAffectorSwirl");
    ASSERT_NE(at, std::string::npos);
    bad[at + 15] = 'X';
    ScopedBytesPackage package;
    package->m_Files["fx\\unknown.zyn"] = bad;
    ScopedLogCapture log;
    EXPECT_EQ(GetCreateEffectManager()->GetEffect("fx\\unknown.zyn"), nullptr);
    EXPECT_TRUE(log->Contains("Could not find class <ParAffectorSwirX> defined in stream"));
    EXPECT_TRUE(log->Contains(" W. Could not load resource <fx\\unknown.zyn>..."));
}

TEST_F(EveryKindFile, CurveKeyCountsBeyondTheStreamNeverReadPastIt) {
    // The size curve of the first emitter: its count (2) and first key (0, 1, 1).
    const unsigned char key[] = {2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80, 0x3F, 0, 0, 0x80, 0x3F};
    const size_t simple = Find(m_Bytes, "simple");
    ASSERT_NE(simple, std::string::npos);
    auto it = std::search(m_Bytes.begin() + std::ptrdiff_t(simple), m_Bytes.end(), key, key + sizeof key);
    ASSERT_NE(it, m_Bytes.end());
    const size_t count = size_t(it - m_Bytes.begin());
    QuietConsole quiet;
    ScopedLogCapture log;
    for (u32 claim : {3u, 200u, 256u, 257u, 0x10000000u, 0xFFFFFFFFu}) {
        Bytes bad = m_Bytes;
        std::memcpy(&bad[count], &claim, 4);
        // Whether the rest still parses depends on the claim; it must only
        // never crash, read out of bounds or leak.
        LoadAndDrop(bad);
    }
    EXPECT_TRUE(log->Contains("ParticleEmitter::Load(simple)"));
}

TEST_F(EveryKindFile, TruncatedOrDamagedCopiesFailCleanly) {
    QuietConsole quiet;
    ScopedLogCapture log;
    for (size_t n = 0; n < m_Bytes.size(); ++n)
        EXPECT_FALSE(LoadAndDrop(Bytes(m_Bytes.begin(), m_Bytes.begin() + std::ptrdiff_t(n)))) << n;
    // Every byte replaced by values that break lengths, counts and ids.
    size_t loaded = 0;
    for (size_t i = 0; i < m_Bytes.size(); ++i) {
        for (unsigned char v : {0x00, 0x7F, 0xFF}) {
            if (m_Bytes[i] == v) continue;
            Bytes bad = m_Bytes;
            bad[i] = v;
            loaded += LoadAndDrop(bad) ? 1 : 0;
        }
    }
    // Most single-byte changes inside values still load; headers do not.
    EXPECT_GT(loaded, 0u);
    EXPECT_LT(loaded, 3 * m_Bytes.size());
}
