// The font manager: the process-wide ResourceManager<Font>, living in the
// Root's resource-manager group. A failed lookup answers null. Through its
// interfaces it writes all loaded fonts out as an editable text description
// and builds fonts back from one.
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
    /// Not available yet: logs and returns false.
    bool Export(unsigned index, File& file) override;
    // IImportable: 0 is the font text description ("Import Fonts", ".txt").
    unsigned GetImportFormats() override;
    void GetImportFormatDesc(unsigned index, std::string* description, std::string* extension) override;
    /// Not available yet: logs and returns false.
    bool Import(unsigned index, File& file) override;

    static void RegisterProps(Class* cls);
};

}  // namespace Zyn
