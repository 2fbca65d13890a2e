// A widget that draws one sprite of a texture at its position, scaled by its
// size and turned by its rotation. It draws no children.
#pragma once

#include <zyn/app/Widget.h>

namespace Zyn {

class Texture;

class SpriteWidget : public Widget {
    ZYN_DECLARE_CLASS(SpriteWidget)

public:
    /// textureName, when not null, is fetched from the texture manager.
    SpriteWidget(const char* name, const char* textureName, unsigned sprite, Point3D<float> position,
                 Point2D<float> scale, Color color, float rotate);
    /// Releases the texture.
    ~SpriteWidget() override;
    static Object* StaticCreate(const char* name);

    /// Draws the sprite about its origin; nothing without a texture. True.
    bool RenderOffset(float dt, Point3D<float> offset, const Rect<float>* clip) override;

    /// Borrowed; null when the widget has no texture.
    Texture* GetTexture() { return m_pTexture; }
    /// Takes a reference to the new texture (may be null) and drops the old one.
    void SetTexture(Texture* texture);
    unsigned GetSprite() { return m_Sprite; }
    void SetSprite(unsigned sprite) { m_Sprite = sprite; }
    Color GetColor() const { return m_Color; }
    void SetColor(Color color) { m_Color = color; }
    /// Radians.
    float GetRotate() { return m_fRotate; }
    void SetRotate(float rotate) { m_fRotate = rotate; }

    static void RegisterProps(Class* cls);

protected:
    Texture* m_pTexture = nullptr;  // one reference held
    u32 m_Sprite;
    Color m_Color;
    float m_fRotate;
};

}  // namespace Zyn
