// The trophy display and the scene's director: four timers, started at
// negative delays and advanced by the frame time, fire every event of the
// timeline and drive the hall's fade-in, speed and column heights.
#pragma once

#include <zyn/core/AppObject.h>
#include <zyn/core/Types.h>

namespace Zyn {
class CloakSprite;
class Texture;
}  // namespace Zyn

class SSTrophy : public Zyn::AppObject {
public:
    SSTrophy();
    ~SSTrophy() override;

    bool Update(float dt) override;
    bool Render(float dt) override;

    Zyn::Texture* m_pTexture = nullptr;     // holds one reference
    Zyn::u32 m_Sprite = 12;                 // 12 + the settings' trophy variant
    Zyn::CloakSprite* m_pCloak = nullptr;   // owned directly, never in a group
    float m_fLightTimer = -2.5f;            // hall fade-in
    float m_fCrashTimer = -5.0f;            // first acceleration and the shattering
    float m_fPathTimer = -10.0f;            // light path and burst
    float m_fGlyphTimer = -13.0f;           // second acceleration, heights, glyph waves

private:
    /// Creates an instance that removes itself when done and puts it in
    /// front of every layer. Returns it (borrowed) or null when the effect
    /// is missing.
    Zyn::Object* StartEffect(const char* file, const char* name, float x, float y);
};
