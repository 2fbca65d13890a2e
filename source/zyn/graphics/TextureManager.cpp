#include <zyn/graphics/TextureManager.h>

#include <cstdlib>

namespace Zyn {

ZYN_IMPLEMENT_CLASS(TextureManager, "TextureManager", nullptr, nullptr, &TextureManager::RegisterProps,
                    ResourceManagerBase)

TextureManager::TextureManager() {
    std::atexit(&Singleton<TextureManager>::_destroy);
    Singleton<Root>::Get()->InsertObject(this, Root::kResourceManagers, 0, nullptr);
}

void TextureManager::RegisterProps(Class* cls) { RegisterManagerProps(cls, "Textures"); }

TextureManager* GetCreateTextureManager() { return Singleton<TextureManager>::Get(); }

}  // namespace Zyn
