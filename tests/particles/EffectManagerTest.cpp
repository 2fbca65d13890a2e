// The effect manager: effects read as object streams from the packages,
// shared by name, refused reloads, instances, and the failure messages.
#include <gtest/gtest.h>

#include <vector>

#include <zyn/core/BasicSerializator.h>
#include <zyn/core/Root.h>
#include <zyn/particles/EffectManager.h>
#include <zyn/particles/ParticleEffectInstance.h>

#include "ParticleTestUtil.h"
#include "support/LogCapture.h"

using namespace Zyn;
using namespace ZynTest;

namespace {

typedef std::vector<unsigned char> Bytes;

Bytes EffectBytes(const char* emitterClass = nullptr) {
    Ref<ParticleEffect> effect(new ParticleEffect("authored"));
    effect->SetEffectLoops(0);
    TestEmitter* e = new TestEmitter("e");
    effect->InsertObject(e, 0, 1, nullptr);
    VectorFile file;
    BasicSerializator s(&file);
    EXPECT_TRUE(s.SaveHierarchy(effect.Get()));
    Bytes bytes = file.GetVector();
    if (emitterClass) {
        // Rename the emitter's class inside the stream (same length).
        const std::string from = "TestEmitter";
        auto at = std::search(bytes.begin(), bytes.end(), from.begin(), from.end());
        EXPECT_NE(at, bytes.end());
        std::copy(emitterClass, emitterClass + from.size(), at);
    }
    return bytes;
}

// Raises the Root's log level for the scope, so that debug lines are sent.
struct ScopedLogLevel {
    explicit ScopedLogLevel(int level) : m_Old(Singleton<Root>::Get()->m_LogLevel) {
        Singleton<Root>::Get()->m_LogLevel = level;
    }
    ~ScopedLogLevel() { Singleton<Root>::Get()->m_LogLevel = m_Old; }
    int m_Old;
};

}  // namespace

TEST(EffectManager, LoadsAnEffectOnceAndSharesIt) {
    ScopedPackage package;
    package->m_Files["fx/burst.zyn"] = EffectBytes();
    EffectManager* manager = GetCreateEffectManager();
    EXPECT_EQ(manager->GetName(), "ParticleEffectManager");
    ScopedLogCapture log;
    ParticleEffect* effect = nullptr;
    {
        ScopedLogLevel level(kLogDebug);
        effect = manager->GetEffect("fx/burst.zyn");
        ASSERT_NE(effect, nullptr);
        EXPECT_TRUE(log->Contains(" D. EffectManager::Finding particle effect resource: fx/burst.zyn"));
        EXPECT_TRUE(log->Contains(" D. EffectManager::Resource not found: fx/burst.zyn"));
        EXPECT_EQ(manager->GetEffect("fx/burst.zyn"), effect);
        EXPECT_TRUE(log->Contains(" D. EffectManager::Resource found: fx/burst.zyn"));
    }
    EXPECT_EQ(effect->GetName(), "fx/burst.zyn");
    EXPECT_EQ(effect->GetRefCount(), 2);
    EXPECT_EQ(effect->GetEffectLoops(), 0);
    EXPECT_EQ(effect->GetEmitterGroup().GetList().size(), 1u);
    EXPECT_EQ(manager->GetResourceCount(), 1u);
    // GetResource answers the same way, whatever class it is given.
    Object* again = manager->GetResource("fx/burst.zyn", nullptr);
    EXPECT_EQ(again, effect);
    again->Release();
    // The manager holds no reference: the last release unloads the effect.
    effect->Release();
    effect->Release();
    EXPECT_EQ(manager->GetResourceCount(), 0u);
}

TEST(EffectManager, MissingFileGivesNullWithItsMessages) {
    ScopedLogCapture log;
    EffectManager* manager = GetCreateEffectManager();
    EXPECT_EQ(manager->GetEffect("fx/none.zyn"), nullptr);
    EXPECT_TRUE(log->Contains(" W. Effect Resource <fx/none.zyn> not found..."));
    EXPECT_EQ(manager->CreateInstance("fx/other.zyn", "i", Point3D<float>(), false), nullptr);
    EXPECT_TRUE(log->Contains(" W. EffectManager::CreateInstance -> Could not load effect: fx/other.zyn"));
    EXPECT_EQ(manager->GetEffect(nullptr), nullptr);
}

TEST(EffectManager, AMissingEffectIsReportedOnceAndStillRetried) {
    ScopedLogCapture log;
    Root* root = Singleton<Root>::Get();
    const int level = root->m_LogLevel;
    root->m_LogLevel = kLogDebug;
    EffectManager* manager = GetCreateEffectManager();
    EXPECT_EQ(manager->GetEffect("fx/gone.zyn"), nullptr);
    EXPECT_EQ(manager->CreateInstance("fx/gone.zyn", "i", Point3D<float>(), false), nullptr);
    EXPECT_EQ(manager->GetEffect("fx/gone.zyn"), nullptr);
    EXPECT_EQ(log->Count(" W. "), 2);  // the package layer's line and the manager's, once
    EXPECT_EQ(log->Count("Could not load effect: fx/gone.zyn"), 1);  // traced, not warned
    EXPECT_EQ(log->Count("fx/gone.zyn in any package"), 1);
    // Later requests still look for the file, quietly.
    EXPECT_EQ(log->Count("EffectManager::Resource not found: fx/gone.zyn"), 3);
    root->m_LogLevel = level;
}

TEST(EffectManager, StreamOfAnotherClassOrWithAnUnknownEmitterIsRefused) {
    ScopedPackage package;
    {
        Ref<ParticleEmitter> lone(new TestEmitter("lone"));
        VectorFile file;
        BasicSerializator s(&file);
        ASSERT_TRUE(s.SaveHierarchy(lone.Get()));
        package->m_Files["fx/emitter.zyn"] = file.GetVector();
    }
    package->m_Files["fx/unknown.zyn"] = EffectBytes("NoSuchClass");
    package->m_Files["fx/garbage.zyn"] = {0xFF, 0xFF, 0xFF, 0x7F, 1, 2, 3};
    ScopedLogCapture log;
    EffectManager* manager = GetCreateEffectManager();
    for (const char* name : {"fx/emitter.zyn", "fx/unknown.zyn", "fx/garbage.zyn"}) {
        EXPECT_EQ(manager->GetEffect(name), nullptr) << name;
        EXPECT_TRUE(log->Contains(std::string(" W. Could not load resource <") + name + ">...")) << name;
    }
    EXPECT_TRUE(log->Contains("Class::FindClass -> Can't find class: NoSuchClass"));
    EXPECT_EQ(manager->GetResourceCount(), 0u);
}

TEST(EffectManager, ReloadIsRefused) {
    ScopedLogCapture log;
    Ref<ParticleEffect> effect(new ParticleEffect("fx"));
    EXPECT_FALSE(GetCreateEffectManager()->ReloadResource(effect.Get()));
    EXPECT_TRUE(log->Contains(" W. Resource reload not supported on ParticleEffect objects..."));
}

TEST(EffectManager, CreateInstanceBindsAtTheFrontOfTheActiveGroupAndKeepsTheEffect) {
    ScopedPackage package;
    package->m_Files["fx/trail.zyn"] = EffectBytes();
    EffectManager* manager = GetCreateEffectManager();
    ParticleEffectInstance* first =
        manager->CreateInstance("fx/trail.zyn", "one", Point3D<float>(1, 2, 3), true);
    ParticleEffectInstance* second = manager->CreateInstance("fx/trail.zyn", "two", Point3D<float>(), false);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    ParticleEffect* effect = first->GetEffect();
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(second->GetEffect(), effect);
    EXPECT_EQ(effect->GetActiveGroup().GetList().front(), second);
    EXPECT_TRUE(first->GetKillWhenDone());
    EXPECT_FALSE(second->GetKillWhenDone());
    EXPECT_EQ(first->GetPosition(), Point3D<float>(1, 2, 3));
    EXPECT_EQ(first->GetRefCount(), 1);   // the active group's
    EXPECT_EQ(effect->GetRefCount(), 2);  // one per CreateInstance, never given back

    // Played by its owner: the kill-when-done instance leaves after its pass.
    Ref<ParticleEffectInstance> keep(second);
    for (int i = 0; i < 40 && effect->GetActiveGroup().GetList().size() > 1; ++i) {
        first->Update(0.1f);
    }
    EXPECT_EQ(effect->GetActiveGroup().GetList().size(), 1u);
    effect->RemoveObject(second, ParticleEffect::kActive);
    keep.Reset();
    // Let the effect go, so that no test leaves it loaded.
    while (effect->Release() > 0) {
    }
    EXPECT_EQ(manager->GetResourceCount(), 0u);
}

// The references CreateInstance keeps for the run are given back at its end:
// an effect nobody else holds goes without a "still referenced" report; one
// still held elsewhere is reported and let go as before.
TEST(EffectManager, KeptReferencesAreGivenBackAtTheEndOfTheRun) {
    ScopedPackage package;
    package->m_Files["fx/kept.zyn"] = EffectBytes();
    package->m_Files["fx/held.zyn"] = EffectBytes();
    EffectManager* manager = GetCreateEffectManager();
    for (const char* name : {"fx/kept.zyn", "fx/held.zyn"}) {
        ParticleEffectInstance* instance = manager->CreateInstance(name, "i", Point3D<float>(), false);
        ASSERT_NE(instance, nullptr);
        instance->GetEffect()->RemoveObject(instance, ParticleEffect::kActive);
    }
    ParticleEffect* held = manager->GetEffect("fx/held.zyn");
    ASSERT_NE(held, nullptr);
    ScopedLogCapture log;
    manager->DeleteThis();
    EXPECT_TRUE(log->Contains(" W.  - 1 resources still referenced"));
    EXPECT_TRUE(log->Contains("  - fx/held.zyn"));
    EXPECT_FALSE(log->Contains("  - fx/kept.zyn"));
    EXPECT_EQ(manager->GetResourceCount(), 0u);
}
