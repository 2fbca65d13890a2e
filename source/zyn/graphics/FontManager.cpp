#include <zyn/graphics/FontManager.h>

#include <cstdlib>

namespace Zyn {

ZYN_IMPLEMENT_CLASS3(FontManager, "FontManager", nullptr, nullptr, &FontManager::RegisterProps,
                     ResourceManagerBase, IExportable, IImportable)

FontManager::FontManager() {
    std::atexit(&Singleton<FontManager>::_destroy);
    Singleton<Root>::Get()->InsertObject(this, Root::kResourceManagers, 0, nullptr);
}

void FontManager::RegisterProps(Class* cls) { RegisterManagerProps(cls, "Fonts"); }

FontManager* GetCreateFontManager() { return Singleton<FontManager>::Get(); }

unsigned FontManager::GetExportFormats() { return 1; }

void FontManager::GetExportFormatDesc(unsigned index, std::string* description, std::string* extension) {
    if (index != 0) return;
    if (description) *description = "Export Fonts";
    if (extension) *extension = ".txt";
}

// The text description and its glyph images are written by the font tools,
// which build on Font::ExportGlyphs and Font::GetGlyphSpriteSpacing.
bool FontManager::Export(unsigned, File&) {
    LogSend(kLogWarning, "FontManager::Export -> font export is not available in this build");
    return false;
}

unsigned FontManager::GetImportFormats() { return 1; }

void FontManager::GetImportFormatDesc(unsigned index, std::string* description, std::string* extension) {
    if (index != 0) return;
    if (description) *description = "Import Fonts";
    if (extension) *extension = ".txt";
}

bool FontManager::Import(unsigned, File&) {
    LogSend(kLogWarning, "FontManager::Import -> font import is not available in this build");
    return false;
}

}  // namespace Zyn
