// The texture manager: the process-wide ResourceManager<Texture>, living in
// the Root's resource-manager group. A failed lookup answers the null texture.
#pragma once

#include <zyn/core/Singleton.h>
#include <zyn/graphics/Texture.h>
#include <zyn/resources/ResourceManager.h>

namespace Zyn {

class TextureManager : public ResourceManager<Texture>, public Singleton<TextureManager> {
    ZYN_DECLARE_CLASS(TextureManager)

public:
    /// Registers its own deletion at exit and enters the Root's group 2 at the front.
    TextureManager();

    /// Fonts and emitters hold textures: released after their managers.
    int GetReleasePass() const override { return 1; }

    static void RegisterProps(Class* cls);
};

/// The manager, created on first call; borrowed, never null.
TextureManager* GetCreateTextureManager();

}  // namespace Zyn
