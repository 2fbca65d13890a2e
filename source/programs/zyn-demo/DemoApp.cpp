#include "DemoApp.h"

#include <zyn/app/LogoScreenSequence.h>
#include <zyn/app/Transition.h>
#include <zyn/core/Log.h>
#include <zyn/core/Root.h>
#include <zyn/io/File.h>
#include <zyn/resources/ResListParser.h>

#include "DemoContent.h"
#include "DemoLoader.h"
#include "Playground.h"
#include "WidgetScreen.h"

namespace Demo {

ZYN_IMPLEMENT_CLASS(DemoApp, "DemoApp", nullptr, nullptr, nullptr, Zyn::App)

const char* DemoApp::StageName(int stage) {
    static const char* const kNames[kStageCount] = {"logos",   "widgets", "slide",
                                                    "loading", "fade",    "playground"};
    return stage >= 0 && stage < kStageCount ? kNames[stage] : "none";
}

DemoApp::DemoApp(float secondsPerTask, bool lockstep)
    : App("zyn-demo"), m_fSecondsPerTask(secondsPerTask), m_bLockstep(lockstep) {}

DemoApp::~DemoApp() {
    m_Transition.Reset();
    m_Logos.Reset();
    m_WidgetScreen.Reset();
    m_Loader.Reset();
    m_Playground.Reset();
    // The layers go now rather than in App's destructor: the playground must
    // let go of its effects before the loader's references are given back.
    ClearGroups();
    if (m_bLoaded) ReleaseLoadedResources();
}

void DemoApp::ReleaseLoadedResources() {
    // Each load task kept one reference so that its resource stayed in
    // memory; the same list read with the release action gives them back.
    Zyn::File* file = Zyn::Singleton<Zyn::Root>::Get()->OpenFile(kPlaygroundList, true);
    if (!file) return;
    (void)Zyn::ResListParser::ParseResourceList(*file, Zyn::RA_Release, nullptr);
    delete file;
}

bool DemoApp::Start() {
    // The sequence reads its configuration and fetches its logo textures now.
    Zyn::LogoScreenSequence* logos = new Zyn::LogoScreenSequence("logos", kLogoConfig, &DemoApp::OnLogosDone);
    m_Logos.Reset(logos);
    if (logos->GetScreens().empty()) {
        Zyn::LogSend(Zyn::kLogError, "zyn-demo -> %s gives no logo screen", kLogoConfig);
        m_Logos.Reset();
        return false;
    }
    InsertObject(logos, kActiveLayers, 0, nullptr);
    EnterStage(kLogos);
    return true;
}

bool DemoApp::IsLoadComplete() const { return m_Loader && m_Loader->IsComplete(); }

void DemoApp::OnLogosDone(Zyn::LogoScreenSequence* logos) {
    // The sequence only knows its parents: the application is one of them.
    if (DemoApp* app = Zyn::ZYN_Cast<DemoApp, Zyn::Object>(logos->FindParent(nullptr, &DemoApp::sm_Class)))
        app->m_Request = kShowWidgets;
}

void DemoApp::OnNameEntered(const std::string& name) {
    // Return may come again while the screens move, or from the idle screen later.
    if (m_Stage != kWidgets || m_Transition || m_Request != kNoRequest) return;
    m_PlayerName = name;
    m_Request = kShowLoader;
}

bool DemoApp::Update(float dt) {
    if (m_Transition && m_Transition->GetObjectParentCount() == 0) {
        m_Transition.Reset();
        if (m_Stage == kSlide) EnterStage(kLoading);
        if (m_Stage == kFade) EnterStage(kPlayground);
    }
    const Request request = m_Request;
    m_Request = kNoRequest;
    switch (request) {
        case kShowWidgets:
            ShowWidgets();
            break;
        case kShowLoader:
            ShowLoader();
            break;
        case kShowPlayground:
            ShowPlayground();
            break;
        case kNoRequest:
            break;
    }
    m_fStageTime += dt;
    return App::Update(dt);
}

void DemoApp::EnterStage(Stage stage) {
    m_Stage = stage;
    m_fStageTime = 0.0f;
    Zyn::LogSend(Zyn::kLogInfo, "zyn-demo -> stage %s", StageName(stage));
}

void DemoApp::MoveToTransition(Zyn::AppObject* layer, Zyn::Transition* transition, int group) {
    // Inserted first: the transition's reference keeps the layer alive.
    transition->InsertObject(layer, group, 1, nullptr);
    RemoveObject(layer, kActiveLayers);
}

void DemoApp::StartTransition(Zyn::Transition* transition) {
    transition->SetReturnObject(this, kActiveLayers);
    m_Transition.Reset(transition);
    InsertObject(transition, kActiveLayers, 0, nullptr);
}

void DemoApp::ShowWidgets() {
    if (!m_Logos) return;
    WidgetScreen* screen = new WidgetScreen([this](const std::string& name) { OnNameEntered(name); });
    m_WidgetScreen.Reset(screen);
    Zyn::FadeTransition* fade = new Zyn::FadeTransition("logos to widgets", kLogoFadeOut, kLogoFadeIn);
    MoveToTransition(m_Logos.Get(), fade, Zyn::Transition::kFrom);
    fade->InsertObject(screen, Zyn::Transition::kTo, 1, nullptr);
    // The transition drops the logos, and their textures, when it ends.
    m_Logos.Reset();
    StartTransition(fade);
    EnterStage(kWidgets);
}

void DemoApp::ShowLoader() {
    if (!m_WidgetScreen) return;
    DemoLoader* loader =
        new DemoLoader([this] { m_Request = kShowPlayground; }, m_fSecondsPerTask, m_bLockstep);
    m_Loader.Reset(loader);
    if (loader->AddMeteredList(kPlaygroundList) == 0)
        Zyn::LogSend(Zyn::kLogWarning, "zyn-demo -> %s names nothing to load", kPlaygroundList);

    Zyn::Transition* slide = new Zyn::Transition("widgets to loader", kSlideSeconds);
    // Dropping the widget screen would release its textures on this thread
    // while the worker fills the same texture manager, which takes no locks.
    // It waits among the idle layers (never updated or drawn) until loading ends.
    slide->SetDoneObject(this, kIdleLayers);
    MoveToTransition(m_WidgetScreen.Get(), slide, Zyn::Transition::kFrom);
    slide->InsertObject(loader, Zyn::Transition::kTo, 1, nullptr);
    StartTransition(slide);
    loader->StartThread();
    EnterStage(kSlide);
}

void DemoApp::ShowPlayground() {
    if (!m_Loader) return;
    m_bLoaded = true;
    // The worker has been joined: the frame thread has the managers to itself.
    if (m_WidgetScreen) {
        RemoveObject(m_WidgetScreen.Get(), kIdleLayers);
        m_WidgetScreen.Reset();
    }
    Playground* playground = new Playground(m_PlayerName);
    m_Playground.Reset(playground);
    Zyn::FadeTransition* fade =
        new Zyn::FadeTransition("loader to playground", kPlaygroundFadeOut, kPlaygroundFadeIn);
    MoveToTransition(m_Loader.Get(), fade, Zyn::Transition::kFrom);
    fade->InsertObject(playground, Zyn::Transition::kTo, 1, nullptr);
    m_Loader.Reset();
    StartTransition(fade);
    EnterStage(kFade);
}

}  // namespace Demo
