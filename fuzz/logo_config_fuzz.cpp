// Logo screen configurations: the input served as the configuration file of
// a LogoScreenSequence, which is then played and drawn for a few frames with
// a key press in between. The sequence calls back at most once, when it has
// shown its last screen.
#include <zyn/app/LogoScreenSequence.h>
#include <zyn/core/Root.h>

#include "FuzzSupport.h"

namespace {

bool g_bGraphics = false;
int g_Callbacks = 0;

void OnDone(Zyn::LogoScreenSequence*) { ++g_Callbacks; }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ZynFuzz::Init();
    g_bGraphics = ZynFuzz::InitGraphics();
    if (g_bGraphics) ZynFuzz::HoldSceneResources();
    Zyn::AppSettings* s = Zyn::Singleton<Zyn::Root>::Get()->GetAppSettings();
    s->screenWidth = s->screenHeight = s->appWidth = s->appHeight = 64;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ZynFuzz::Package()->Set("logo.cfg", data, size);
    Zyn::Root* root = Zyn::Singleton<Zyn::Root>::Get();
    g_Callbacks = 0;
    {
        Zyn::Ref<Zyn::LogoScreenSequence> logo(new Zyn::LogoScreenSequence("logo", "logo.cfg", &OnDone));
        const int screens = int(logo->GetScreens().size());
        ZYN_FUZZ_CHECK(screens >= 0 && screens <= 99);
        static const float kSteps[] = {0.3f, 0.9f, 2.5f, 0.01f, 100.0f, 0.5f, 1e30f, 0.7f};
        for (size_t i = 0; i < sizeof kSteps / sizeof kSteps[0]; ++i) {
            root->m_KeyStates[27] = i == 3 ? Zyn::Root::kKeyDown | Zyn::Root::kKeyPressed : 0;
            (void)logo->Update(kSteps[i]);
            ZYN_FUZZ_CHECK(g_Callbacks <= 1);
            ZYN_FUZZ_CHECK(g_Callbacks == 0 || logo->GetCurrent() == screens);
            if (g_bGraphics && ZynFuzz::BeginTinyFrame()) {
                ZYN_FUZZ_CHECK(logo->Render(kSteps[i]));
                ZynFuzz::EndTinyFrame();
            }
        }
        root->m_KeyStates[27] = 0;
    }
    ZynFuzz::Package()->Clear();
    return 0;
}
