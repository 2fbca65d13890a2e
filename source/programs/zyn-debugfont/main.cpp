// zyn-debugfont: builds the compiled-in debug font from the glyph art in
// DebugFontArt.cpp through the font tool chain: the art is written as glyph
// images plus the font export text, the font manager's importer packs them
// into the 128 x 64 texture, and the texture, its sprite table and the font
// are saved as "debugfont.tga", "debugfont.tga_ex" and "debugfont.zyn_fnt"
// into OUT_DIR (the export text and images stay there too) and, given
// CPP_FILE, as the source file that compiles the three into the library.
// The output depends only on the art: the same bytes on every run. With
// --check it writes nothing and fails when CPP_FILE is not what it would write.
//
// Usage: zyn-debugfont OUT_DIR [CPP_FILE]
//        zyn-debugfont --check CPP_FILE
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include <zyn/core/Root.h>
#include <zyn/graphics/Image.h>
#include <zyn/io/DiskFile.h>

#include "DebugFontArt.h"
#include "FontBuild.h"
#include "ToolOutput.h"

using namespace Zyn;
using namespace ZynFont;
using ZynTool::Error;
using ZynTool::kExitFailed;
using ZynTool::kExitOk;

namespace {

constexpr unsigned kTextureWidth = 128;
constexpr unsigned kTextureHeight = 64;
constexpr unsigned kTgaBytes = 18 + kTextureWidth * kTextureHeight * 4;

constexpr int kAdvance = DebugFont::kGlyphWidth + 1;
constexpr int kSpaceWidth = kAdvance;
constexpr unsigned kFontHeight = DebugFont::kGlyphHeight + 1;

const char* const kUsage = "Usage: zyn-debugfont OUT_DIR [CPP_FILE]\n       zyn-debugfont --check CPP_FILE\n";
const char* const kBaseName = "debugfont";
const char* const kTextName = "debugfont.txt";

// Every glyph is its whole 5 x 9 box, so that all of them share one offset:
// the box starts at the pen and kAscent rows above the baseline. White
// everywhere, opaque where the art is inked: filtering blends towards white.
std::unique_ptr<Image> GlyphImage(int code) {
    auto image = std::make_unique<Image>(DebugFont::kGlyphWidth, DebugFont::kGlyphHeight);
    if (image->IsEmpty()) return nullptr;
    for (int y = 0; y < DebugFont::kGlyphHeight; ++y)
        for (int x = 0; x < DebugFont::kGlyphWidth; ++x) {
            u8* p = image->data + (size_t(y) * DebugFont::kGlyphWidth + size_t(x)) * 4;
            p[0] = p[1] = p[2] = 255;
            p[3] = DebugFont::IsInked(code, x, y) ? 255 : 0;
        }
    return image;
}

bool MakeArt(FontArt& art) {
    art.name = kBaseName;
    art.textureWidth = kTextureWidth;
    art.textureHeight = kTextureHeight;
    // One transparent pixel after every glyph keeps scaled (filtered)
    // drawing from picking up a neighbour's ink.
    art.spacing = true;
    art.spaceWidth = kSpaceWidth;
    art.maxBearY = -DebugFont::kAscent;
    art.fontHeight = kFontHeight;
    for (int code = DebugFont::kFirstCode; code <= DebugFont::kLastCode; ++code) {
        GlyphArt g;
        g.code = code;
        g.xOffset = 0;
        g.yOffset = -DebugFont::kAscent;
        g.advance = kAdvance;
        g.image = GlyphImage(code);
        if (!g.image) return false;
        art.glyphs.push_back(std::move(g));
    }
    const int unplaced = CountUnplaced(art, kTextureWidth, kTextureHeight);
    if (unplaced > 0) {
        Error("%d glyphs do not fit the %u x %u texture", unplaced, kTextureWidth, kTextureHeight);
        return false;
    }
    return true;
}

// A scratch folder for the export when the caller names none; removed with
// everything in it.
class ScratchFolder {
public:
    bool Make() {
        char path[] = "/tmp/zyn-debugfont-XXXXXX";
        if (!mkdtemp(path)) return false;
        m_Path = path;
        return true;
    }
    ~ScratchFolder() {
        std::error_code ec;
        if (!m_Path.empty()) std::filesystem::remove_all(m_Path, ec);
    }
    const std::string& Path() const { return m_Path; }

private:
    std::string m_Path;
};

bool WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::string error;
    if (!ZynFont::WriteBytes(path, bytes, error)) {
        Error(error);
        return false;
    }
    return true;
}

void AppendArray(std::string& out, const char* name, const std::vector<unsigned char>& bytes) {
    char line[64];
    std::snprintf(line, sizeof line, "const unsigned char %s[%u] = {", name, unsigned(bytes.size()));
    out += line;
    for (size_t i = 0; i < bytes.size(); ++i) {
        out += i % 16 == 0 ? "\n    " : " ";
        std::snprintf(line, sizeof line, "0x%02x,", bytes[i]);
        out += line;
    }
    out += "\n};\n";
}

std::string SourceText(const std::vector<unsigned char>& tga, const std::vector<unsigned char>& font,
                       const std::vector<unsigned char>& sprites) {
    std::string text =
        "// Generated file: the compiled-in debug font. Do not edit; regenerate it\n"
        "// with scripts/gen-debugfont.sh (the glyph art is in\n"
        "// source/programs/zyn-debugfont/DebugFontArt.cpp).\n"
        "#include <zyn/io/CppPackageData.h>\n"
        "\n"
        "namespace Zyn {\n"
        "namespace CppPackageData {\n"
        "\n"
        "namespace {\n"
        "\n"
        "// clang-format off\n";
    AppendArray(text, "kDebugFontTga", tga);
    AppendArray(text, "kDebugFontZynFnt", font);
    AppendArray(text, "kDebugFontTgaEx", sprites);
    char sizes[512];
    std::snprintf(sizes, sizeof sizes,
                  "// clang-format on\n"
                  "\n"
                  "}  // namespace\n"
                  "\n"
                  "const CompiledFile g_Files[] = {\n"
                  "    {\"debugfont.tga\", kDebugFontTga, %u},\n"
                  "    {\"debugfont.zyn_fnt\", kDebugFontZynFnt, %u},\n"
                  "    {\"debugfont.tga_ex\", kDebugFontTgaEx, %u},\n"
                  "};\n"
                  "const unsigned int g_FileCount = sizeof g_Files / sizeof g_Files[0];\n"
                  "\n"
                  "}  // namespace CppPackageData\n"
                  "}  // namespace Zyn\n",
                  unsigned(tga.size()), unsigned(font.size()), unsigned(sprites.size()));
    return text + sizes;
}

struct DebugFontFiles {
    std::vector<unsigned char> tga;
    std::vector<unsigned char> sprites;
    std::vector<unsigned char> font;
};

// Writes the export into exportDir, imports it and collects the three files.
bool MakeFiles(const std::string& exportDir, DebugFontFiles& files) {
    if (!DebugFont::CheckArt()) return false;
    FontArt art;
    if (!MakeArt(art)) return false;
    std::string error;
    if (!WriteFontExport(art, "zyn-debugfont", exportDir, kTextName, error)) {
        Error(error);
        return false;
    }
    OffscreenGL gl;
    if (!gl.Start()) {
        Error("no offscreen GL context");
        return false;
    }
    BuiltFont built;
    if (!ImportFontExport(exportDir, kTextName, error) || !CollectBuiltFont(art.FontName(), built, error)) {
        Error(error);
        return false;
    }
    if (built.glyphCount != DebugFont::kGlyphCount || built.texture.size() != kTgaBytes) {
        Error("the import gave %d glyphs and a %zu-byte texture", built.glyphCount, built.texture.size());
        return false;
    }
    files.tga = built.texture;
    files.sprites = built.sprites;
    files.font = built.font;
    return true;
}

int Generate(const std::string& outDir, const std::string& cppPath) {
    DebugFontFiles files;
    if (!MakeFiles(outDir, files)) return kExitFailed;
    const std::string base = outDir + "/" + kBaseName;
    if (!WriteBytes(base + ".tga", files.tga) || !WriteBytes(base + ".tga_ex", files.sprites) ||
        !WriteBytes(base + ".zyn_fnt", files.font))
        return kExitFailed;
    if (!cppPath.empty()) {
        const std::string text = SourceText(files.tga, files.font, files.sprites);
        if (!WriteBytes(cppPath, std::vector<unsigned char>(text.begin(), text.end()))) return kExitFailed;
    }
    std::printf(
        "debugfont: %d glyphs; debugfont.tga %zu bytes, debugfont.tga_ex %zu bytes, "
        "debugfont.zyn_fnt %zu bytes\n",
        DebugFont::kGlyphCount, files.tga.size(), files.sprites.size(), files.font.size());
    return kExitOk;
}

// Fails when the source file is not exactly what Generate would write.
int Check(const std::string& cppPath) {
    DebugFontFiles files;
    ScratchFolder scratch;
    if (!scratch.Make()) {
        Error("cannot make a scratch folder");
        return kExitFailed;
    }
    if (!MakeFiles(scratch.Path(), files)) return kExitFailed;
    const std::string expected = SourceText(files.tga, files.font, files.sprites);
    std::string actual;
    DiskFile in(cppPath.c_str(), "rb");
    char buffer[4096];
    for (unsigned n; in.IsOpen() && (n = in.Read(buffer, sizeof buffer)) > 0;) actual.append(buffer, n);
    if (actual != expected) {
        Error("%s is not the current debug font; run scripts/gen-debugfont.sh", cppPath.c_str());
        return kExitFailed;
    }
    std::printf("debugfont: %s is current\n", cppPath.c_str());
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    ZynTool::SetProgramName("zyn-debugfont");
    if (argc < 2 || argc > 3 || (std::string(argv[1]) == "--check" && argc != 3))
        return ZynTool::Usage("give OUT_DIR [CPP_FILE], or --check CPP_FILE", kUsage);
    // The importer's information lines would only repeat what the art says.
    Singleton<Root>::Get()->m_LogLevel = kLogWarning;
    const int result =
        std::string(argv[1]) == "--check" ? Check(argv[2]) : Generate(argv[1], argc == 3 ? argv[2] : "");
    Singleton<Root>::Get()->Release();
    return result;
}
