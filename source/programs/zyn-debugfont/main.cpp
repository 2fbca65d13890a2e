// zyn-debugfont: builds the compiled-in debug font from the glyph art in
// DebugFontArt.cpp. Writes "debugfont.tga", "debugfont.tga_ex" and
// "debugfont.zyn_fnt" into OUT_DIR through the framework's own writers and,
// given CPP_FILE, the source file that compiles the three into the library.
// The output depends only on the art: the same bytes on every run. With
// --check it writes nothing and fails when CPP_FILE is not what it would write.
//
// Usage: zyn-debugfont OUT_DIR [CPP_FILE]
//        zyn-debugfont --check CPP_FILE
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <zyn/core/Root.h>
#include <zyn/graphics/Font.h>
#include <zyn/graphics/Graphics.h>
#include <zyn/graphics/Image.h>
#include <zyn/graphics/Texture.h>
#include <zyn/io/DiskFile.h>
#include <zyn/io/VectorFile.h>
#include <zyn/linux/GLSurface.h>
#include <zyn/linux/OffscreenSurface.h>

#include "DebugFontArt.h"

using namespace Zyn;

namespace {

constexpr unsigned kTextureWidth = 128;
constexpr unsigned kTextureHeight = 64;
constexpr unsigned kTgaBytes = 18 + kTextureWidth * kTextureHeight * 4;
// Each glyph box keeps one transparent pixel to its neighbours so that
// filtered (scaled) drawing never picks up a neighbour's ink.
constexpr int kCellWidth = DebugFont::kGlyphWidth + 1;
constexpr int kCellHeight = DebugFont::kGlyphHeight + 1;
constexpr int kColumns = (int(kTextureWidth) - 1) / kCellWidth;
constexpr int kRows = (int(kTextureHeight) - 1) / kCellHeight;
static_assert(kColumns * kRows >= DebugFont::kGlyphCount, "the glyphs must fit the texture");

constexpr int kAdvance = DebugFont::kGlyphWidth + 1;
constexpr int kSpaceWidth = kAdvance;
constexpr unsigned kFontHeight = DebugFont::kGlyphHeight + 1;

const char* const kTextureName = "debugfont.tga";
const char* const kFontName = "debugfont.zyn_fnt";
const char* const kSpriteFileName = "debugfont.tga_ex";

// Top-left pixel of the glyph box of a code in the texture.
void CellOf(int code, int& x, int& y) {
    const int index = code - DebugFont::kFirstCode;
    x = 1 + (index % kColumns) * kCellWidth;
    y = 1 + (index / kColumns) * kCellHeight;
}

// White everywhere, opaque where the art is inked. The colour stays white
// under transparent pixels so that filtering blends towards white, never grey.
void DrawGlyphs(Image& image) {
    for (u32 i = 0; i < image.width * image.height; ++i) {
        u8* p = image.data + size_t(i) * 4;
        p[0] = p[1] = p[2] = 255;
        p[3] = 0;
    }
    for (int code = DebugFont::kFirstCode; code <= DebugFont::kLastCode; ++code) {
        int cx = 0;
        int cy = 0;
        CellOf(code, cx, cy);
        for (int y = 0; y < DebugFont::kGlyphHeight; ++y)
            for (int x = 0; x < DebugFont::kGlyphWidth; ++x)
                if (DebugFont::IsInked(code, x, y))
                    image.data[(size_t(cy + y) * image.width + size_t(cx + x)) * 4 + 3] = 255;
    }
}

bool WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    DiskFile out(path.c_str(), "wb");
    if (!out.IsOpen() || out.Write(bytes.data(), unsigned(bytes.size())) != bytes.size()) {
        std::fprintf(stderr, "zyn-debugfont: cannot write %s\n", path.c_str());
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

// The sprite table and the font need a texture of the right size, and a
// texture needs a GL context: an offscreen one is made for the run.
class OffscreenGL {
public:
    bool Start() {
        m_pSurface.reset(CreateOffscreenSurface());
        AppSettings s;
        s.screenWidth = s.appWidth = int(kTextureWidth);
        s.screenHeight = s.appHeight = int(kTextureHeight);
        s.windowed = true;
        m_bStarted = Graphics::Init(m_pSurface.get(), s);
        return m_bStarted;
    }
    ~OffscreenGL() {
        if (m_bStarted) Graphics::ShutDown();
    }

private:
    std::unique_ptr<GLSurface> m_pSurface;
    bool m_bStarted = false;
};

struct DebugFontFiles {
    std::vector<unsigned char> tga;
    std::vector<unsigned char> sprites;
    std::vector<unsigned char> font;
};

bool MakeFiles(DebugFontFiles& files) {
    if (!DebugFont::CheckArt()) return false;

    Image image(kTextureWidth, kTextureHeight);
    if (image.IsEmpty()) return false;
    DrawGlyphs(image);
    VectorFile tga;
    if (!image.SaveToTGA(tga) || tga.GetVector().size() != kTgaBytes) {
        std::fprintf(stderr, "zyn-debugfont: the texture image did not come out as %u bytes\n", kTgaBytes);
        return false;
    }

    OffscreenGL gl;
    if (!gl.Start()) {
        std::fprintf(stderr, "zyn-debugfont: no offscreen GL context\n");
        return false;
    }
    Ref<Texture> texture(new Texture(kTextureName));
    Ref<Font> font(new Font(kFontName));
    if (!texture->InitEmptyTexture(kTextureWidth, kTextureHeight, false)) return false;
    font->InitEmptyFont(texture.Get(), kSpaceWidth, -DebugFont::kAscent, kFontHeight);
    for (int code = DebugFont::kFirstCode; code <= DebugFont::kLastCode; ++code) {
        int x = 0;
        int y = 0;
        CellOf(code, x, y);
        // The origin is the box's top-left corner, so the glyph offsets are
        // plain: the box starts at the pen and kAscent rows above the baseline.
        const int sprite =
            texture->RegisterSprite(x, y, x + DebugFont::kGlyphWidth, y + DebugFont::kGlyphHeight, 0, 0);
        if (!font->AddGlyph(code, u16(sprite), 0, s16(-DebugFont::kAscent), s16(kAdvance))) return false;
    }
    VectorFile sprites;
    VectorFile fontFile;
    if (!texture->SaveTextureExData(sprites) || !font->SaveToFile(fontFile)) {
        std::fprintf(stderr, "zyn-debugfont: writing the sprite table or the font failed\n");
        return false;
    }
    files.tga = tga.GetVector();
    files.sprites = sprites.GetVector();
    files.font = fontFile.GetVector();
    return true;
}

int Generate(const std::string& outDir, const std::string& cppPath) {
    DebugFontFiles files;
    if (!MakeFiles(files)) return 1;
    if (!WriteBytes(outDir + "/" + kTextureName, files.tga) ||
        !WriteBytes(outDir + "/" + kSpriteFileName, files.sprites) ||
        !WriteBytes(outDir + "/" + kFontName, files.font))
        return 1;
    if (!cppPath.empty()) {
        const std::string text = SourceText(files.tga, files.font, files.sprites);
        if (!WriteBytes(cppPath, std::vector<unsigned char>(text.begin(), text.end()))) return 1;
    }
    std::printf("debugfont: %d glyphs; %s %zu bytes, %s %zu bytes, %s %zu bytes\n", DebugFont::kGlyphCount,
                kTextureName, files.tga.size(), kSpriteFileName, files.sprites.size(), kFontName,
                files.font.size());
    return 0;
}

// Fails when the source file is not exactly what Generate would write.
int Check(const std::string& cppPath) {
    DebugFontFiles files;
    if (!MakeFiles(files)) return 1;
    const std::string expected = SourceText(files.tga, files.font, files.sprites);
    std::string actual;
    DiskFile in(cppPath.c_str(), "rb");
    char buffer[4096];
    for (unsigned n; in.IsOpen() && (n = in.Read(buffer, sizeof buffer)) > 0;) actual.append(buffer, n);
    if (actual != expected) {
        std::fprintf(stderr,
                     "zyn-debugfont: %s is not the current debug font; run scripts/gen-debugfont.sh\n",
                     cppPath.c_str());
        return 1;
    }
    std::printf("debugfont: %s is current\n", cppPath.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    int result = 2;
    if (argc == 3 && std::string(argv[1]) == "--check")
        result = Check(argv[2]);
    else if (argc == 2 || argc == 3)
        result = Generate(argv[1], argc == 3 ? argv[2] : "");
    else
        std::fprintf(stderr, "usage: zyn-debugfont OUT_DIR [CPP_FILE] | zyn-debugfont --check CPP_FILE\n");
    Singleton<Root>::Get()->Release();
    return result;
}
