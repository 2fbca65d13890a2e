#include <zyn/graphics/FontManager.h>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include <zyn/graphics/Texture.h>
#include <zyn/io/File.h>

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

bool FontManager::Export(unsigned index, File& file) {
    if (index != 0) return false;
    const char* appName = Singleton<Root>::Get()->GetAppSettings()->appName;
    file.printf("# ZYN Font Export (%s)\r\n", appName ? appName : "");

    // Each texture once, in the order its first font comes in the key order.
    std::vector<Texture*> textures;
    for (auto& entry : m_Resources) {
        Texture* texture = entry.second->GetFontTexture();
        if (texture && std::find(textures.begin(), textures.end(), texture) == textures.end())
            textures.push_back(texture);
    }
    file.printf("# Number of textures: %d\r\n", int(textures.size()));
    file.printf("# TEXTURE tag help: <TEXTURE=name,width, height>\r\n");
    file.printf(
        "# FONT tag help: <FONT=font_name,top_spacing, bottom_spacing, left_spacing, right_scpaing, "
        "font_height, space_width, max_bear_y>\r\n");
    file.printf("# GLYPH tag help: <GLYPH=unicode_id,x_img_offset, y_img_offset, character_advance>\r\n");
    file.printf("# Graphics exported to: cur_dir\\font_exports\r\n\r\n");

    // The glyph images are written into the working directory, so the export
    // runs inside the folder and returns to where it started, not to "..".
    std::error_code ec;
    const std::filesystem::path home = std::filesystem::current_path(ec);
    bool entered = !ec && (::mkdir("font_exports", 0700) == 0 || errno == EEXIST);
    if (entered) {
        std::filesystem::current_path("font_exports", ec);
        entered = !ec;
    }
    if (!entered) {
        LogSend(kLogWarning, "Could not create directory <font_exports> ... Export aborted");
        return false;
    }
    for (Texture* texture : textures) {
        file.printf("<TEXTURE=%s,%d,%d>\r\n", texture->GetName().c_str(), int(texture->GetWidth()),
                    int(texture->GetHeight()));
        for (auto& entry : m_Resources) {
            Font* font = entry.second;
            if (font->GetFontTexture() != texture) continue;
            bool sides[4] = {true, true, true, true};
            font->GetGlyphSpriteSpacing(sides);
            file.printf("\t<FONT=%s,%d,%d,%d,%d,%d,%d,%d>\r\n", font->GetName().c_str(), int(sides[0]),
                        int(sides[1]), int(sides[2]), int(sides[3]), int(font->GetFontHeight()),
                        font->GetSpaceWidth(), font->GetMaxBearY());
            // A glyph whose image could not be written is logged there; its
            // line still stands and imports as an empty glyph.
            (void)font->ExportGlyphs(file);
            file.printf("\t</FONT>\r\n");
        }
        file.printf("</TEXTURE>\r\n");
    }
    std::filesystem::current_path(home, ec);
    if (ec) {
        LogSend(kLogWarning, "Could not return to %s after the font export", home.c_str());
        return false;
    }
    return true;
}

unsigned FontManager::GetImportFormats() { return 1; }

void FontManager::GetImportFormatDesc(unsigned index, std::string* description, std::string* extension) {
    if (index != 0) return;
    if (description) *description = "Import Fonts";
    if (extension) *extension = ".txt";
}

}  // namespace Zyn
