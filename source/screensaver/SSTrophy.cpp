#include <screensaver/SSTrophy.h>

#include <cmath>

#include <screensaver/OrvSettings.h>
#include <screensaver/SSHall.h>
#include <screensaver/ScreenSaverApp.h>
#include <zyn/app/CloakSprite.h>
#include <zyn/app/CrashSprite.h>
#include <zyn/core/Log.h>
#include <zyn/graphics/Texture.h>
#include <zyn/graphics/TextureManager.h>
#include <zyn/particles/EffectManager.h>
#include <zyn/particles/ParticleEffectInstance.h>

using namespace Zyn;

namespace {

const float kPi = 3.14159265358979f;
const char* const kTrophyTexture = "misc\\trophies.jp2";

// Eases from 0 to 1 as t goes from 0 to 1.
float Ease(float t) { return (std::cos(kPi * t - kPi) + 1.f) / 2.f; }

void InsertLayer(Object* layer) {
    if (ScreenSaverApp* app = SingletonEx<ScreenSaverApp>::ms_pInstance) app->InsertObject(layer, -1, 0, nullptr);
}

}  // namespace

SSTrophy::SSTrophy() : AppObject("trophy") {
    m_pTexture = GetCreateTextureManager()->GetResourceTyped(kTrophyTexture);
    const OrvSettings* settings = SingletonEx<OrvSettings>::ms_pInstance;
    m_Sprite = 12 + ((settings && settings->m_bTrophyVariant) ? 1 : 0);
    m_pCloak = new CloakSprite("cloak");
    // Rises 150 units into place while it fades in and its noise dies out.
    const bool ok = m_pCloak->InitSequence(kTrophyTexture, m_Sprite, Point3D<float>(0, 150, 0), Point3D<float>(0, 0, 0),
                                           Color(0x00000000u), Color(0xFFFFFFFFu), 0, 0, 1, 1, 1, 1, 10, 15, 20.f, 0.f,
                                           3.0f, 3.5f, 3.5f);
    (void)ok;  // a failed sequence draws nothing and never completes
    m_pCloak->SetPosition(Point3D<float>(512, 300, 0));
}

SSTrophy::~SSTrophy() {
    if (m_pTexture) m_pTexture->Release();
    if (m_pCloak) m_pCloak->Release();
}

Object* SSTrophy::StartEffect(const char* file, const char* name, float x, float y) {
    ParticleEffectInstance* inst =
        GetCreateEffectManager()->CreateInstance(file, name, Point3D<float>(x, y, 0), true);
    if (inst) InsertLayer(inst);
    return inst;
}

bool SSTrophy::Update(float dt) {
    SSHall* hall = SingletonEx<SSHall>::ms_pInstance;

    if (m_fCrashTimer < 1.0f) {
        m_fCrashTimer += m_fCrashTimer < 0.f ? dt : 0.5f * dt;
        if (m_fCrashTimer >= 1.0f) {
            m_fCrashTimer = 1.0f;
            if (auto* dzban = static_cast<ParticleEffectInstance*>(StartEffect("fx\\scarab_crush.zyn", "dzban", 512, 250)))
                dzban->SetScale(2.0f);
            CrashSprite* rank = new CrashSprite("rank");
            if (rank->Init(m_pTexture, m_Sprite, 10, 18, 220, 512, 300, 0, 1, 1, Color(0xFFFFFFFFu))) {
                rank->Explode(50, -150, 0, -200, -5, 5, 1.0f, 0.75f, Color(0xFFFFFFFFu), Color(0x00808080u), 0.75f,
                              1.25f);
            }
            rank->SetGravity(Point2D<float>(0, 500));
            InsertLayer(rank);
        }
        if (m_fCrashTimer > 0.f && hall) hall->m_fSpeed = Ease(m_fCrashTimer);
    }

    if (m_fGlyphTimer < 1.0f) {
        const float old = m_fGlyphTimer;
        m_fGlyphTimer += m_fGlyphTimer < 0.f ? dt : 0.025f * dt;
        if (hall) {
            if (m_fGlyphTimer > 0.6f) {
                hall->m_MinSegments = 1;
                hall->m_MaxSegments = 5;
            } else if (m_fGlyphTimer > 0.25f) {
                hall->m_MinSegments = 2;
                hall->m_MaxSegments = 4;
            }
        }
        if (old < 0.4917f && m_fGlyphTimer >= 0.4917f) StartEffect("fx\\ss_glyphs_1.zyn", "g1", 512, 384);
        if (old < 0.7334f && m_fGlyphTimer >= 0.7334f) StartEffect("fx\\ss_glyphs_2.zyn", "g2", 512, 384);
        if (m_fGlyphTimer >= 1.0f) {
            StartEffect("fx\\ss_glyphs_3.zyn", "g3", 512, 384);
            m_fGlyphTimer = 1.0f;
            if (hall) {
                hall->m_MinSegments = 0;
                hall->m_MaxSegments = 7;
            }
        }
        if (m_fGlyphTimer > 0.f && hall) hall->m_fSpeed = 1.f + 5.f * Ease(m_fGlyphTimer);
    }

    if (m_fPathTimer < 0.f) {
        m_fPathTimer += dt;
        if (m_fPathTimer >= 0.f) {
            if (auto* path = static_cast<ParticleEffectInstance*>(StartEffect("fx\\charged_path.zyn", "swiatelko", 512, 384))) {
                path->SetScale(0.8f);
                path->SetPower(0.4f);
            }
            StartEffect("fx\\sel_7.zyn", "burst", 512, 384);
        }
    }

    if (m_fLightTimer < 1.0f) {
        m_fLightTimer = std::min(m_fLightTimer + dt, 1.0f);
        if (m_fLightTimer > 0.f) {
            if (hall) hall->m_fVisible = m_fLightTimer;
            LogSend(kLogInfo, "Light set to: %1.3f", double(m_fLightTimer));
        }
    }

    if (m_pCloak) {
        m_pCloak->Update(dt);
        if (m_pCloak->GetTime() >= m_pCloak->GetDuration() && m_pCloak->GetTexture()) {
            m_pCloak->Release();
            m_pCloak = nullptr;
            StartEffect("fx\\stats_trophy.zyn", "fx", 512, 230);
        }
    }
    return true;
}

bool SSTrophy::Render(float dt) {
    if (m_fCrashTimer >= 1.0f) return true;
    if (m_pCloak) {
        m_pCloak->Render(dt);
    } else if (m_pTexture) {
        m_pTexture->DrawSpriteEx(m_Sprite, 512, 300, 0, 1, 1, 0, Color(0xFFFFFFFFu));
    }
    return true;
}
