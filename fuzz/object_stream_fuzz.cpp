// Object streams (effects, emitters, affectors, settings, profiles, any
// registered class): loaded from memory, saved and loaded again, which must
// give the same bytes; a loaded effect is then played and drawn for a few
// frames, as the scene plays the effects it loads.
#include <zyn/core/BasicSerializator.h>
#include <zyn/core/Root.h>
#include <zyn/io/MemoryFile.h>
#include <zyn/io/VectorFile.h>
#include <zyn/particles/ParticleEffect.h>
#include <zyn/particles/ParticleEffectInstance.h>
#include <screensaver/OrvSettings.h>

#include "FuzzSupport.h"

namespace {

bool g_bGraphics = false;

// False when the hierarchy cannot be written.
bool Save(Zyn::Object* obj, ZynFuzz::Bytes& out) {
    Zyn::VectorFile file;
    Zyn::BasicSerializator s(&file);
    if (!s.SaveHierarchy(obj)) return false;
    out = file.GetVector();
    return true;
}

void Play(Zyn::ParticleEffect* fx) {
    Zyn::Ref<Zyn::ParticleEffectInstance> play(
        new Zyn::ParticleEffectInstance("play", Zyn::Point3D<float>(32.0f, 32.0f, 0.5f)));
    if (fx->InsertObject(play.Get(), -1, 0, nullptr) == -2) return;
    for (int i = 0; i < 4; ++i) play->Update(0.15f);
    // Every particle is drawn by the same arithmetic: a few hundred show it,
    // thousands only keep the software rasteriser busy.
    if (play->GetParticleCount() <= 500 && g_bGraphics && ZynFuzz::BeginTinyFrame()) {
        play->Render(0.1f);
        ZynFuzz::EndTinyFrame();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ZynFuzz::Init();
    // The settings class lives in a static library: name it so that its
    // record is linked in and can be created by name.
    (void)&OrvSettings::sm_Class;
    g_bGraphics = ZynFuzz::InitGraphics();
    if (g_bGraphics) ZynFuzz::HoldSceneResources();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!ZynFuzz::IsStreamContained(data, size)) return 0;
    Zyn::MemoryFile file(data, unsigned(size));
    Zyn::BasicSerializator serializator(&file);
    (void)serializator.GetLoadHierarchyRootClass();
    Zyn::Object* loaded = serializator.LoadHierarchy();
    if (!loaded) return 0;
    Zyn::Ref<Zyn::Object> hold(loaded);

    ZynFuzz::Bytes first;
    if (Save(loaded, first)) {
        // What was written must read back, and write the same bytes again.
        Zyn::MemoryFile again(first.data(), unsigned(first.size()));
        Zyn::BasicSerializator reader(&again);
        Zyn::Object* reloaded = reader.LoadHierarchy();
        ZYN_FUZZ_CHECK(reloaded != nullptr);
        Zyn::Ref<Zyn::Object> holdReloaded(reloaded);
        ZynFuzz::Bytes second;
        ZYN_FUZZ_CHECK(Save(reloaded, second));
        ZYN_FUZZ_CHECK(first == second);
    }

    if (Zyn::ParticleEffect* fx = ZYN_Cast<Zyn::ParticleEffect, Zyn::Object>(loaded)) Play(fx);
    return 0;
}
