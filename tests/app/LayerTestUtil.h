// Shared set-up of the transition, widget and logo screen tests: a 64 x 64
// offscreen frame that is also the Root's logical application size, a layer
// that fills a rectangle and records how it was updated, and Root input state
// put back after each test.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include <zyn/core/AppObject.h>
#include <zyn/core/Root.h>
#include <zyn/graphics/Graphics.h>

#include "graphics/TextureTestUtil.h"

namespace ZynTest {

/// An offscreen frame whose size is also the Root's screen and application size.
class AppFrame : public OffscreenFrame {
protected:
    void SetUp() override {
        Zyn::Root* root = Zyn::Singleton<Zyn::Root>::Get();
        m_SavedSettings = *root->GetAppSettings();
        Zyn::AppSettings* s = root->GetAppSettings();
        s->screenWidth = s->screenHeight = s->appWidth = s->appHeight = kSize;
        OffscreenFrame::SetUp();
    }
    void TearDown() override {
        Zyn::Root* root = Zyn::Singleton<Zyn::Root>::Get();
        *root->GetAppSettings() = m_SavedSettings;
        std::memset(root->m_KeyStates, 0, sizeof root->m_KeyStates);
        root->m_bInputLocked = false;
        root->m_bAutoUnlock = true;
        OffscreenFrame::TearDown();
    }
    /// Marks the key as gone down during the last frame (and held).
    static void PressKey(int code) {
        Zyn::Singleton<Zyn::Root>::Get()->m_KeyStates[code] |= Zyn::Root::kKeyDown | Zyn::Root::kKeyPressed;
    }
    /// The end of a frame for the key states: pressed bits go, held keys stay down.
    static void EndKeyFrame() {
        Zyn::Root* root = Zyn::Singleton<Zyn::Root>::Get();
        for (auto& k : root->m_KeyStates) k &= Zyn::u8(~(Zyn::Root::kKeyPressed | Zyn::Root::kKeyReleased));
    }

    Zyn::AppSettings m_SavedSettings;
};

/// Fills a rectangle in one colour with no texture.
inline void FillRect(float x1, float y1, float x2, float y2, Zyn::Color c) {
    Zyn::Graphics::SetTexture(Zyn::TexHandle());
    const Zyn::BasicVertex q[4] = {
        {0, 0, c, x1, y1, 0}, {0, 0, c, x2, y1, 0}, {0, 0, c, x2, y2, 0}, {0, 0, c, x1, y2, 0}};
    Zyn::Graphics::RenderQuads(q, 1);
}

/// A layer that draws a rectangle and notes its updates in a shared journal
/// ("U name" / "R name"), with the Root's input lock and the state of key 27
/// as it saw them.
class ProbeLayer : public Zyn::AppObject {
public:
    ProbeLayer(const char* name, std::vector<std::string>* journal, bool* destroyed = nullptr)
        : AppObject(name), m_pJournal(journal), m_pDestroyed(destroyed) {
        if (m_pDestroyed) *m_pDestroyed = false;
    }
    ~ProbeLayer() override {
        if (m_pDestroyed) *m_pDestroyed = true;
    }
    bool Update(float dt) override {
        Zyn::Root* root = Zyn::Singleton<Zyn::Root>::Get();
        ++m_Updates;
        m_fUpdated += dt;
        m_bSawLock = m_bSawLock || root->m_bInputLocked;
        // A screen that reacts to Escape only when input is not locked.
        if ((root->m_KeyStates[27] & Zyn::Root::kKeyPressed) && !root->m_bInputLocked) ++m_Reactions;
        if (m_pJournal) m_pJournal->push_back("U " + m_Name);
        return m_bUpdateResult;
    }
    bool Render(float) override {
        if (m_pJournal) m_pJournal->push_back("R " + m_Name);
        if (m_Color.A()) FillRect(m_Rect.x1, m_Rect.y1, m_Rect.x2, m_Rect.y2, m_Color);
        return true;
    }

    Zyn::Color m_Color = 0;  // nothing drawn while the alpha is 0
    Zyn::Rect<float> m_Rect{0, 0, 64, 64};
    bool m_bUpdateResult = true;
    int m_Updates = 0;
    float m_fUpdated = 0.0f;
    bool m_bSawLock = false;
    int m_Reactions = 0;

private:
    std::vector<std::string>* m_pJournal;
    bool* m_pDestroyed;
};

}  // namespace ZynTest
