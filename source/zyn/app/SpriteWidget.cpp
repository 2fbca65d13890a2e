#include <zyn/app/SpriteWidget.h>

#include <zyn/core/Property.h>
#include <zyn/graphics/Graphics.h>
#include <zyn/graphics/Texture.h>
#include <zyn/graphics/TextureManager.h>

namespace Zyn {

namespace {

// The manager's texture for the name with its reference, or null when it
// could only answer its stand-in: that one would draw as a plain square.
Texture* FetchTexture(const char* name) {
    Texture* texture = GetCreateTextureManager()->GetResourceTyped(name);
    Texture* standIn = Texture::GetNullResource();
    if (standIn) standIn->Release();
    if (texture && texture == standIn) {
        texture->Release();
        return nullptr;
    }
    return texture;
}

}  // namespace

ZYN_IMPLEMENT_CLASS(SpriteWidget, "SpriteWidget", &SpriteWidget::StaticCreate, nullptr,
                    &SpriteWidget::RegisterProps, Widget)

void SpriteWidget::RegisterProps(Class* cls) {
    cls->InsertValueProp(new GetSetPointerProp<SpriteWidget, Texture>(
        "Texture", "The texture resource for the widget.", &SpriteWidget::GetTexture,
        &SpriteWidget::SetTexture, 0));
    cls->InsertValueProp(new GetSetMemberProp<SpriteWidget, unsigned int>(
        "Sprite ID", "Sprite ID", &SpriteWidget::GetSprite, &SpriteWidget::SetSprite, 0));
    cls->InsertValueProp(new MemberProp<Color>("Color", "Color", &SpriteWidget::m_Color, 0));
    cls->InsertValueProp(new GetSetMemberProp<SpriteWidget, float>(
        "Ratation", "Sprite Rotation", &SpriteWidget::GetRotate, &SpriteWidget::SetRotate, 0));
}

Object* SpriteWidget::StaticCreate(const char* name) {
    return new SpriteWidget(name, nullptr, 0, Point3D<float>(0, 0, 0), Point2D<float>(1, 1),
                            Color(0xFFFFFFFFu), 0.0f);
}

SpriteWidget::SpriteWidget(const char* name, const char* textureName, unsigned sprite,
                           Point3D<float> position, Point2D<float> scale, Color color, float rotate)
    : Widget(name, position, name, 0), m_Sprite(sprite), m_Color(color), m_fRotate(rotate) {
    m_Size = scale;
    // The manager's reference becomes the widget's; a name it cannot load
    // leaves the widget without texture.
    if (textureName) m_pTexture = FetchTexture(textureName);
}

SpriteWidget::~SpriteWidget() { SetTexture(nullptr); }

void SpriteWidget::SetTexture(Texture* texture) {
    // Taken before the old one goes, in case both are the same texture.
    if (texture) texture->AddRef();
    Texture* old = m_pTexture;
    m_pTexture = texture;
    if (old) old->Release();
}

bool SpriteWidget::RenderOffset(float, Point3D<float> offset, const Rect<float>*) {
    if (!m_pTexture) return true;
    Graphics::SetBlendingMode(BLEND_ALPHA);
    m_pTexture->DrawSpriteEx(m_Sprite, offset.x + m_Position.x, offset.y + m_Position.y, m_fRotate, m_Size.x,
                             m_Size.y, offset.z + m_Position.z, m_Color);
    return true;
}

}  // namespace Zyn
