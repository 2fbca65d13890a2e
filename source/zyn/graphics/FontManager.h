// The font manager: the process-wide ResourceManager<Font>, living in the
// Root's resource-manager group. A failed lookup answers null. Through its
// interfaces it writes all loaded fonts out as an editable text description
// plus one TGA image per glyph (in "font_exports" below the working
// directory), and builds fonts back from them. Export and import issue GL
// calls (frame thread only) and change the working directory while they run.
#pragma once

#include <zyn/core/Interfaces.h>
#include <zyn/core/Singleton.h>
#include <zyn/graphics/Font.h>
#include <zyn/resources/ResourceManager.h>

namespace Zyn {

class FontManager : public ResourceManager<Font>,
                    public Singleton<FontManager>,
                    public IExportable,
                    public IImportable {
    ZYN_DECLARE_CLASS(FontManager)

public:
    /// Registers its own deletion at exit and enters the Root's group 2 at the front.
    FontManager();

    // IExportable: 0 is the font text description ("Export Fonts", ".txt").
    unsigned GetExportFormats() override;
    void GetExportFormatDesc(unsigned index, std::string* description, std::string* extension) override;
    /// Writes the text description of every font with a texture to file and
    /// the glyph images into "font_exports" (created when missing). False for
    /// another index or when the folder cannot be made or entered (logged).
    bool Export(unsigned index, File& file) override;
    // IImportable: 0 is the font text description ("Import Fonts", ".txt").
    unsigned GetImportFormats() override;
    void GetImportFormatDesc(unsigned index, std::string* description, std::string* extension) override;
    /// Builds the fonts and textures the text describes from the glyph images
    /// in "font_exports"; they become managed resources that nobody holds yet.
    /// False (logged) on a malformed FONT, GLYPH or closing tag, a texture
    /// size that cannot be made, or a text too large to be one; other faults
    /// end the import early with true. Glyphs that do not fit the texture are
    /// left out of their font (logged with their count).
    bool Import(unsigned index, File& file) override;

    /// The qsort order of the packing list (pointers to GlyphImport): larger
    /// image area first, equal areas in list order.
    static int compare_import(const void* a, const void* b);

    static void RegisterProps(Class* cls);
};

}  // namespace Zyn
