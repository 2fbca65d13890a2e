// The save directory: the input split into "general.dat", one ".setting" and
// one ".profile" file in a private save directory, loaded with
// SaveManager::LoadEverything, then dropped again without saving.
#include <cstdio>
#include <cstdlib>
#include <string>

#include <zyn/app/SaveManager.h>
#include <zyn/core/Root.h>
#include <screensaver/OrvSettings.h>

#include "FuzzSupport.h"

namespace {

std::string g_SaveDir;

void WriteFile(const std::string& path, const ZynFuzz::Bytes& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ZYN_FUZZ_CHECK(f != nullptr);
    ZYN_FUZZ_CHECK(bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size());
    std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ZynFuzz::Init();
    // The settings class lives in a static library: name it so that its
    // record is linked in and the settings file can be read.
    (void)&OrvSettings::sm_Class;
    // The preferences folder is ours: the save directory lands in the temporary folder.
    setenv("XDG_CONFIG_HOME", ZynFuzz::TempDir().c_str(), 1);
    Zyn::SaveManager* manager = Zyn::Singleton<Zyn::SaveManager>::Get();
    manager->SetSaveOnDestruction(false);
    manager->Load("zyn", "fuzz");
    g_SaveDir = manager->GetSavePath();
    ZYN_FUZZ_CHECK(g_SaveDir == ZynFuzz::TempDir() + "/zyn_fuzz");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Saved objects are streams like any other: the same containment holds.
    if (!ZynFuzz::IsStreamContained(data, size)) return 0;
    const std::vector<ZynFuzz::Bytes> parts = ZynFuzz::Split(data, size, 4);
    static const char* const kNames[] = {"/settings.setting", "/player.profile", "/general.dat", "/second.profile"};
    for (size_t i = 0; i < parts.size(); ++i) WriteFile(g_SaveDir + kNames[i], parts[i]);

    Zyn::SaveManager* manager = Zyn::Singleton<Zyn::SaveManager>::Get();
    manager->LoadEverything();
    Zyn::Object* current = manager->GetCurProfile();
    if (current) ZYN_FUZZ_CHECK(manager->FindObject(current->GetName().c_str(), nullptr, 0) == current);
    manager->Clear();
    ZYN_FUZZ_CHECK(manager->GetCurProfile() == nullptr);
    ZynFuzz::EmptyFolder(g_SaveDir);
    return 0;
}
