#include <zyn/app/App.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include <zyn/core/Property.h>
#include <zyn/core/Root.h>
#include <zyn/graphics/Font.h>
#include <zyn/graphics/FontManager.h>
#include <zyn/graphics/Graphics.h>
#include <zyn/platform/Clock.h>
#include <zyn/platform/WindowSystem.h>

namespace Zyn {

ZYN_IMPLEMENT_CLASS(App, "App", &App::StaticCreate, nullptr, &App::RegisterProps, DynGroupObject)

namespace {
// The frame-rate display is shared by every application.
FrameRateCounter g_FrameRate;

const long kSecond = 1000000;

// Microseconds from `from` to `to` on the 32-bit clock, which wraps.
long Elapsed(long from, long to) { return long(s32(u32(to) - u32(from))); }
}  // namespace

void App::RegisterProps(Class* cls) {
    cls->InsertGroupProp(new GroupProperty("Active Layers", "Active Layers", kActiveLayers, &AppObject::sm_Class));
    cls->InsertGroupProp(new GroupProperty("Idle Layers", "Idle Layers", kIdleLayers, &AppObject::sm_Class));
}

App::App(const char* name) : DynGroupObject(name) {
    SetGroupCount(2);
    SetupGroup(kActiveLayers, &m_ActiveLayers);
    SetupGroup(kIdleLayers, &m_IdleLayers);
    m_ActiveLayers.m_Flags = IDynGroup::kUpdate | IDynGroup::kHoldRef | IDynGroup::kSave;
    m_IdleLayers.m_Flags = IDynGroup::kUpdate | IDynGroup::kHoldRef | IDynGroup::kSave;
    m_pDebugFont = GetCreateFontManager()->GetResourceTyped("debugfont.zyn_fnt");
}

App::~App() {
    if (m_pDebugFont) {
        m_pDebugFont->Release();
        m_pDebugFont = nullptr;
    }
    ClearGroups();
}

Rect<float> App::GetVisibleRect() const {
    const AppSettings* s = Singleton<Root>::Get()->GetAppSettings();
    const float aw = float(s->appWidth), ah = float(s->appHeight);
    Rect<float> r(0.f, 0.f, aw, ah);
    const long long sw = s->screenWidth, sh = s->screenHeight;
    // Same shape (compared exactly, in integers): exactly the logical screen.
    if (m_Fit == Fit::kStretch || sw <= 0 || sh <= 0 || s->appWidth <= 0 || s->appHeight <= 0 ||
        sw * s->appHeight == sh * s->appWidth)
        return r;
    if (sw * s->appHeight > sh * s->appWidth) {
        const float w = float(double(ah) * double(sw) / double(sh));
        r.x1 = (aw - w) * 0.5f;
        r.x2 = r.x1 + w;
    } else {
        const float h = float(double(aw) * double(sh) / double(sw));
        r.y1 = (ah - h) * 0.5f;
        r.y2 = r.y1 + h;
    }
    return r;
}

void App::SetupFrame() {
    const AppSettings* s = Singleton<Root>::Get()->GetAppSettings();
    Graphics::SetScreenViewport(Rect<short>(0, 0, short(s->screenWidth), short(s->screenHeight)));
    Graphics::SetRenderMode(RENDER_2D);
    if (m_Fit == Fit::kStretch) {
        Graphics::SetProjection2D(s->appWidth, s->appHeight);
    } else {
        const Rect<float> r = GetVisibleRect();
        Graphics::SetProjection2D(r.x1, r.y1, r.x2, r.y2);
    }
    Graphics::ResetSceneTransform();
    Graphics::SetClipping2D(nullptr);
}

bool App::Update(float dt) {
    auto& layers = m_ActiveLayers.GetList();
    for (auto it = layers.begin(); it != layers.end();) {
        // Take the successor first: a layer may remove itself.
        auto next = std::next(it);
        if (!(*it)->Update(dt)) break;
        it = next;
    }
    if (!Graphics::BeginRendering()) return false;
    SetupFrame();
    if (!layers.empty()) {
        // Back to front; a layer removed while rendering must not break the walk.
        std::list<AppObject*> order(layers.begin(), layers.end());
        for (auto it = order.rbegin(); it != order.rend(); ++it) {
            AppObject* layer = *it;
            layer->AddRef();
            layer->Render(dt);
            layer->Release();
        }
    } else {
        Graphics::ClearScreenViewport(Color(0xFF000000u), true, 0.f, false);
    }
    RenderMouse();
    RenderFrameRate(dt);
    Graphics::EndRendering();
    return false;
}

void App::RenderMouse() {
    Root* root = Singleton<Root>::Get();
    if (!root->m_bMouseVisible) return;
    SetupFrame();
    Graphics::SetTexture(TexHandle());
    const float mx = float(root->m_MouseX), my = float(root->m_MouseY);
    const Color shadow(0x80000000u), white(0xFFFFFFFFu), green(0xFF00FF00u);
    const BasicVertex quads[8] = {
        {0, 0, shadow, mx - 1, my + 2, 0},  {0, 0, shadow, mx + 9, my + 22, 0},
        {0, 0, shadow, mx + 4, my + 22, 0}, {0, 0, shadow, mx - 1, my + 27, 0},
        {0, 0, white, mx, my, 0},           {0, 0, green, mx + 10, my + 20, 0},
        {0, 0, green, mx + 5, my + 20, 0},  {0, 0, green, mx, my + 25, 0},
    };
    Graphics::RenderQuads(quads, 2);
}

void FrameRateCounter::Reset() {
    m_Times.clear();
    m_Text[0] = '\0';
}

void FrameRateCounter::AddFrame(long nowUs) {
    // Switched on: the first text comes a second from now.
    if (m_Times.empty() && !m_Text[0]) m_LastTextUs = nowUs;
    m_Times.push_back(nowUs);
    // Keep the last frame before the second too: the time from it to now
    // spans exactly the frames counted, so a steady pace reads exactly.
    while (m_Times.size() > 2 && Elapsed(m_Times[1], nowUs) >= kSecond) m_Times.pop_front();
    if (Elapsed(m_LastTextUs, nowUs) >= kSecond && m_Times.size() >= 2) {
        const double frames = double(m_Times.size() - 1);
        const double tpf = double(Elapsed(m_Times.front(), nowUs)) / double(kSecond) / frames;
        std::snprintf(m_Text, sizeof m_Text, "fps %d\ntpf %f", int(std::lround(1.0 / tpf)), tpf);
        m_LastTextUs = nowUs;
    }
}

void App::RenderFrameRate(float dt) {
    Root* root = Singleton<Root>::Get();
    if ((root->m_KeyStates[123] & Root::kKeyPressed) && !root->m_bInputLocked) m_bShowFrameRate = !m_bShowFrameRate;
    if (!m_bShowFrameRate) {
        g_FrameRate.Reset();
        return;
    }
    g_FrameRate.AddFrame(getTimeMicroseconds());
    const char* text = g_FrameRate.GetText();
    (void)dt;  // clamped by the view: it would count too many frames on a slow machine
    if (m_pDebugFont && *text) {
        // Layers draw in logical units; the text keeps its pixel size times
        // the screen's density, whatever the window's size, at the corner of
        // what the window shows.
        const AppSettings* s = root->GetAppSettings();
        const Rect<float> r = GetVisibleRect();
        const float unitsPerPixel = s->screenHeight > 0 ? (r.y2 - r.y1) / float(s->screenHeight) : 1.f;
        const float scale = std::max(1.f, WindowSystem::GetContentScale()) * unitsPerPixel;
        Rect<float> box;
        m_pDebugFont->GetTextScaleRect(box, 0.f, 0.f, text, scale, 0);
        const float margin = 8.f * scale;
        m_pDebugFont->RenderTextScale(r.x2 - margin - (box.x2 - box.x1), r.y1 + margin - box.y1, 0.f,
                                      text, scale, Color(0xFFFFFFFFu), 0);
    }
}

}  // namespace Zyn
