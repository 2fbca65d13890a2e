#include <zyn/platform/HostDriver.h>

#include <zyn/core/Root.h>
#include <zyn/platform/Clock.h>
#include <zyn/platform/ZYN_ScreenSaver_ZYN.h>

namespace Zyn {

HostDriver::HostDriver(ViewFactory factory) : m_Factory(std::move(factory)) {
    if (!m_Factory) m_Factory = [](GLSurface* surface) { return new ZYN_ScreenSaver_ZYN(surface); };
}

HostDriver::~HostDriver() {
    Release();
    if (m_FixedStep > 0) ManualClock::Uninstall();
}

void HostDriver::UseFixedStep(long stepMicroseconds) {
    if (stepMicroseconds <= 0) return;
    if (m_FixedStep == 0) ManualClock::Install(0);
    m_FixedStep = stepMicroseconds;
}

bool HostDriver::Create(GLSurface* surface, float width, float height, bool isPreview) {
    if (m_pView) return false;
    ScreenSaverView* view = m_Factory(surface);
    if (!view) return false;
    if (!view->InitWithFrame(width, height, isPreview)) {
        // A view that failed to initialise gets no further calls.
        delete view;
        return false;
    }
    m_pView = view;
    return true;
}

void HostDriver::Start() {
    if (m_pView) m_pView->StartAnimation();
}

bool HostDriver::Frame() {
    if (!m_pView) return false;
    if (m_FixedStep > 0) ManualClock::Advance(m_FixedStep);
    m_pView->AnimateOneFrame();
    return true;
}

bool HostDriver::Resize(int width, int height) {
    if (!m_pView || !m_pView->SetFrameSize(float(width), float(height))) return false;
    Root* root = Singleton<Root>::Get();
    AppSettings settings = *root->GetAppSettings();
    settings.screenWidth = width;
    settings.screenHeight = height;
    return root->Init(settings);
}

void HostDriver::Stop() {
    if (m_pView) m_pView->StopAnimation();
}

void HostDriver::Release() {
    if (!m_pView) return;
    ScreenSaverView* view = m_pView;
    m_pView = nullptr;
    view->Dealloc();
    delete view;
}

}  // namespace Zyn
