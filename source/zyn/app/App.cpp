#include <zyn/app/App.h>

#include <cstdio>
#include <cstring>

#include <zyn/core/Property.h>
#include <zyn/core/Root.h>
#include <zyn/graphics/Font.h>
#include <zyn/graphics/FontManager.h>
#include <zyn/graphics/Graphics.h>

namespace Zyn {

ZYN_IMPLEMENT_CLASS(App, "App", &App::StaticCreate, nullptr, &App::RegisterProps, DynGroupObject)

namespace {
// The frame-rate display is shared by every application.
int g_FrameCount = 0;
float g_FrameTime = 0.f;
char g_FrameRateText[128] = "";
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

void App::RenderFrameRate(float dt) {
    Root* root = Singleton<Root>::Get();
    if ((root->m_KeyStates[123] & Root::kKeyPressed) && !root->m_bInputLocked) m_bShowFrameRate = !m_bShowFrameRate;
    if (!m_bShowFrameRate) return;
    ++g_FrameCount;
    g_FrameTime += dt;
    if (g_FrameTime >= 1.0f) {
        std::snprintf(g_FrameRateText, sizeof g_FrameRateText, "fps %d\ntpf %f", g_FrameCount, 1.0 / g_FrameCount);
        g_FrameCount = 0;
        g_FrameTime = 0.f;
    }
    if (m_pDebugFont) {
        // Layers draw in logical units, so the corner is taken from the
        // visible logical rectangle: the screen width would put the text off
        // a wide screen.
        const Rect<float> r = GetVisibleRect();
        m_pDebugFont->RenderText(r.x2 - 100.f, r.y1 + 10.f, 0.f, g_FrameRateText, Color(0xFFFFFFFFu), 0);
    }
}

}  // namespace Zyn
