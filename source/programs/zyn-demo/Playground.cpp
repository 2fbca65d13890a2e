#include "Playground.h"

#include <cstdio>

#include <zyn/core/Root.h>
#include <zyn/core/StringUtf8.h>
#include <zyn/graphics/Font.h>
#include <zyn/graphics/Graphics.h>
#include <zyn/graphics/Texture.h>
#include <zyn/graphics/TextureManager.h>
#include <zyn/particles/EffectManager.h>
#include <zyn/particles/ParticleEffect.h>
#include <zyn/particles/ParticleEffectInstance.h>

#include "DemoContent.h"
#include "ScaledTextWidget.h"

using Zyn::Color;
using Zyn::Point2D;
using Zyn::Point3D;

namespace Demo {

ZYN_IMPLEMENT_CLASS(Playground, "Playground", nullptr, nullptr, nullptr, Zyn::Widget)

namespace {

const char* const kFont = "debugfont.zyn_fnt";
const Color kGold(0xFFF2CF6Au);
const Color kPale(0xFFE8E4D8u);
// Key codes: the arrows, letters as their upper-case ASCII codes.
const int kKeyLeft = 37;
const int kKeyRight = 39;
const int kKeySpace = 32;

bool Pressed(const Zyn::Root* root, int key) {
    return (root->m_KeyStates[key] & Zyn::Root::kKeyPressed) != 0;
}

// Lets go of an instance for good. Its effect's active group holds it as
// well: leaving it there would keep it bound and alive. CreateInstance also
// kept a reference to the effect for the rest of the run; the loader's
// reference keeps the effect loaded, so that one is given back here, or
// switching effects for an hour would pile references up.
void Dispose(Zyn::ParticleEffectInstance* instance) {
    Zyn::ParticleEffect* effect = instance->GetEffect();
    if (effect) effect->RemoveObject(instance, -3);
    instance->Release();
    if (effect) effect->Release();
}

template <class T>
void Adopt(Zyn::Ref<T>& holder, T* resource) {
    holder.Reset(resource);
    if (resource) resource->Release();
}

}  // namespace

Playground::Playground(const std::string& playerName)
    : Widget("playground", Point3D<float>(0, 0, 0), nullptr, 0) {
    m_Size = Point2D<float>(float(kAppWidth), float(kAppHeight));
    Adopt(m_Wall, Zyn::GetCreateTextureManager()->GetResourceTyped(kTempleTexture));
    Adopt(m_Trophies, Zyn::GetCreateTextureManager()->GetResourceTyped(kTrophyTexture));

    const float w = float(kAppWidth);
    const int centred = Zyn::TEXT_CENTER_X;
    Zyn::Root* root = Zyn::Singleton<Zyn::Root>::Get();
    ScaledTextWidget* title =
        new ScaledTextWidget("title", "playground_title", true, kFont, Point3D<float>(0, 24, 0),
                             Point2D<float>(w, 60), kGold, centred, 5.0f);
    title->SetShadowAlpha(0.7f);
    title->SetShadowOffset(Point2D<float>(3, 3));
    InsertObject(title, kChildren, 1, nullptr);

    // var fills the "\1" of the text; its result is shared, so copy it at once.
    const std::string name = playerName.empty() ? root->GetString("default_name")->c_str() : playerName;
    const std::string greeting = root->GetString("greeting")->var(1, name.c_str());
    InsertObject(new ScaledTextWidget("greeting", greeting.c_str(), false, kFont, Point3D<float>(0, 96, 0),
                                      Point2D<float>(w, 30), kPale, centred, 2.0f),
                 kChildren, 1, nullptr);
    m_pEffectName = new ScaledTextWidget("effect", "", false, kFont, Point3D<float>(0, 640, 0),
                                         Point2D<float>(w, 40), kGold, centred, 3.0f);
    m_pEffectName->SetShadowAlpha(0.7f);
    InsertObject(m_pEffectName, kChildren, 1, nullptr);
    InsertObject(new ScaledTextWidget("keys", "playground_keys", true, kFont, Point3D<float>(0, 716, 0),
                                      Point2D<float>(w, 30), kPale, centred, 2.0f),
                 kChildren, 1, nullptr);
    Select(0);
}

Playground::~Playground() {
    if (m_pInstance) Dispose(m_pInstance);
    for (Zyn::ParticleEffectInstance* instance : m_Fading) Dispose(instance);
}

void Playground::Select(int index) {
    const std::vector<PlaygroundEffect>& effects = PlaygroundEffects();
    const int count = int(effects.size());
    m_Current = ((index % count) + count) % count;
    m_fShown = 0.0f;
    if (m_pInstance) {
        // No new particles; the ones out there finish their lives.
        m_pInstance->Kill(false);
        m_Fading.push_back(m_pInstance);
        m_pInstance = nullptr;
    }
    const PlaygroundEffect& e = effects[size_t(m_Current)];
    m_pInstance = Zyn::GetCreateEffectManager()->CreateInstance(e.file, "playground",
                                                                Point3D<float>(e.x, e.y, 0), false);
    if (m_pInstance) {
        m_pInstance->AddRef();
        m_pInstance->SetScale(e.scale);
        m_pInstance->SetPower(e.power);
    }
    char label[128];
    std::snprintf(label, sizeof label, "%d/%d  %s", m_Current + 1, count,
                  Zyn::Singleton<Zyn::Root>::Get()->GetString(e.nameKey)->c_str());
    m_pEffectName->SetLabel(label);
}

bool Playground::UpdateOffset(float dt, Point3D<float> offset) {
    const Zyn::Root* root = Zyn::Singleton<Zyn::Root>::Get();
    // A running transition locks the keys of the layers it moves.
    if (!root->m_bInputLocked) {
        if (Pressed(root, kKeyRight) || Pressed(root, 'N')) {
            Select(m_Current + 1);
        } else if (Pressed(root, kKeyLeft) || Pressed(root, 'P')) {
            Select(m_Current - 1);
        } else if (Pressed(root, kKeySpace) && m_pInstance) {
            m_pInstance->Reset(true);
            m_fShown = 0.0f;
        }
    }
    m_fShown += dt;
    if (m_fShown >= kAutoSeconds) Select(m_Current + 1);

    if (m_pInstance) {
        m_pInstance->Update(dt);
        // A one-shot effect that has played out starts over.
        if (m_pInstance->IsFinished() && m_pInstance->GetParticleCount() == 0) m_pInstance->Reset(true);
    }
    for (size_t i = 0; i < m_Fading.size();) {
        Zyn::ParticleEffectInstance* instance = m_Fading[i];
        instance->Update(dt);
        if (instance->GetParticleCount() == 0) {
            Dispose(instance);
            m_Fading.erase(m_Fading.begin() + long(i));
        } else {
            ++i;
        }
    }
    return Widget::UpdateOffset(dt, offset);
}

bool Playground::RenderOffset(float dt, Point3D<float> offset, const Zyn::Rect<float>* clip) {
    Zyn::Graphics::SetBlendingMode(Zyn::BLEND_ALPHA);
    if (Zyn::Texture* wall = m_Wall.Get()) {
        // The wall sprite is 1024 x 256 with its origin at the top left: three
        // rows cover the screen, darkened so that the particles stand out.
        for (int row = 0; row < 3; ++row)
            wall->DrawSprite(kWallSprite, offset.x, offset.y + float(row) * 256.0f, 0.0f, Color(0xFF3A3630u));
    } else {
        Zyn::Graphics::ClearScreenViewport(Color(0xFF000000u), true, 0.0f, false);
    }
    const PlaygroundEffect& e = PlaygroundEffects()[size_t(m_Current)];
    if (e.trophy && m_Trophies)
        m_Trophies->DrawSpriteEx(e.trophy, offset.x + 512.0f, offset.y + 420.0f, 0.0f, 0.7f, 0.7f, 0.0f,
                                 Color(0xFFFFFFFFu));
    for (Zyn::ParticleEffectInstance* instance : m_Fading) instance->Render(dt);
    if (m_pInstance) m_pInstance->Render(dt);
    return Widget::RenderOffset(dt, offset, clip);
}

}  // namespace Demo
