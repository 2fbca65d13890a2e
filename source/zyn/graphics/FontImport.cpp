// The font manager's importer: reads the text description, takes the glyph
// images from "font_exports", packs them into one texture per TEXTURE block
// and fills the fonts. Text, numbers and images all come from outside: each
// is checked against what was read before anything is allocated for it, and
// a glyph image is read only once it has a place in the texture.
#include <zyn/graphics/FontManager.h>

#include <sys/stat.h>

#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <zyn/graphics/FontPacker.h>
#include <zyn/graphics/GraphicsTexture.h>
#include <zyn/graphics/Image.h>
#include <zyn/graphics/Texture.h>
#include <zyn/graphics/TextureManager.h>
#include <zyn/io/DiskFile.h>
#include <zyn/io/TextScan.h>

namespace Zyn {

namespace {

// An import text beyond this is not one a font export wrote.
constexpr unsigned kMaxImportTextBytes = 64u << 20;
// The texture's pixels are composed in memory once: 64 MB at most.
constexpr int kMaxImportTextureSize = 4096;
// Glyph sprite ids are 16-bit.
constexpr int kMaxGlyphSprites = 0x10000;
constexpr unsigned kTgaHeaderBytes = 18;
const char* const kExportFolder = "font_exports";

bool ReadWholeText(File& file, std::vector<char>& text) {
    const unsigned position = file.Seek(0, 1);
    const unsigned size = file.GetFileSize();
    const unsigned length = size > position ? size - position : 0;
    if (length > kMaxImportTextBytes) {
        LogSend(kLogWarning, "Font import text too large (%u bytes)... aborting import", length);
        return false;
    }
    text.assign(size_t(length) + 1, '\0');
    unsigned got = 0;
    while (got < length) {
        const unsigned n = file.Read(text.data() + got, length - got);
        if (n == 0) break;
        got += n;
    }
    text.resize(size_t(got) + 1);
    text[got] = '\0';
    return true;
}

// Passes whitespace and comments; false at the end of the text.
bool Skip(char*& p) {
    const char* c = p;
    const bool more = SkipWhiteSpaceAndComments(&c);
    p += c - p;
    return more;
}

bool StartsWith(const char* p, const char* tag) { return std::strncmp(p, tag, std::strlen(tag)) == 0; }

// The tag's name runs to the next comma. A name cannot reach past its tag or
// line: that is a missing comma, not a name.
bool ReadName(char*& p, std::string& name) {
    const char* end = p;
    while (*end != '\0' && *end != ',' && *end != '>' && *end != '\r' && *end != '\n') ++end;
    if (*end != ',' || end == p) return false;
    name.assign(p, size_t(end - p));
    p += end - p + 1;
    return true;
}

short ClampToShort(long long v) { return short(v < SHRT_MIN ? SHRT_MIN : (v > SHRT_MAX ? SHRT_MAX : v)); }

// Tag offsets may be any int: moving them to the origin saturates instead of overflowing.
s32 AddClamped(s32 a, int b) {
    const long long v = (long long)a + b;
    return s32(v < INT_MIN ? INT_MIN : (v > INT_MAX ? INT_MAX : v));
}

bool Done(bool result) {
    LogSend(kLogInfo, "Importing fonts... DONE");
    return result;
}

bool IsFolder(const char* path) {
    struct stat st;
    return ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

std::string GlyphImagePath(const GlyphImport& g) {
    return std::string(kExportFolder) + "/" + g.owner->font->GetName() + "_" + std::to_string(g.code) +
           ".tga";
}

// Takes the image's size from its header and checks that the file holds its
// pixels; the pixels themselves are read when the glyph is drawn. A missing
// or unusable image leaves the glyph empty (0 x 0).
void ReadGlyphImageSize(const std::string& path, GlyphImport& g) {
    DiskFile file(path.c_str(), "rb");
    if (!file.IsOpen()) {
        LogSend(kLogInfo, "Glyph image %s not found, the glyph is empty", path.c_str());
        return;
    }
    u8 h[kTgaHeaderBytes];
    const bool header = file.Read(h, kTgaHeaderBytes) == kTgaHeaderBytes && h[2] == 2 && h[16] == 32 &&
                        (h[17] == 0 || h[17] == 0x20);
    const u32 w = header ? u32(h[12]) | u32(h[13]) << 8 : 0;
    const u32 ht = header ? u32(h[14]) | u32(h[15]) << 8 : 0;
    if (w == 0 || ht == 0) {
        LogSend(kLogWarning, "Glyph image %s is not a 32-bit TGA, the glyph is empty", path.c_str());
        return;
    }
    if (kTgaHeaderBytes + (unsigned long long)w * ht * 4 > file.GetFileSize()) {
        LogSend(kLogWarning, "Glyph image %s is truncated, the glyph is empty", path.c_str());
        return;
    }
    g.width = w;
    g.height = ht;
}

// Copies the glyph's image into the texture's pixels with its top-left corner at (x, y).
void DrawGlyphImage(const std::string& path, const GlyphImport& g, Image& canvas, u32 x, u32 y) {
    DiskFile file(path.c_str(), "rb");
    Image image(file);
    if (image.IsEmpty() || image.width != g.width || image.height != g.height) {
        LogSend(kLogWarning, "Glyph image %s changed while importing, the glyph is left blank", path.c_str());
        return;
    }
    const size_t rowBytes = size_t(image.width) * 4;
    for (u32 row = 0; row < image.height; ++row)
        std::memcpy(canvas.data + ((size_t(y) + row) * canvas.width + x) * 4, image.data + row * rowBytes,
                    rowBytes);
}

// One TEXTURE block read from the text.
struct TextureBlock {
    Texture* texture = nullptr;  // borrowed; the texture manager keeps it
    bool gap = false;            // some font asked for spacing: one pixel after every glyph
    std::vector<std::unique_ptr<FontImportInfo>> fonts;
};

Texture* FindOrCreateTexture(const std::string& name) {
    TextureManager* manager = GetCreateTextureManager();
    if (Object* found = manager->FindObject(name.c_str(), &Texture::sm_Class, -1))
        return ZYN_Cast<Texture, Object>(found);
    Texture* texture = new Texture(name.c_str());
    if (manager->InsertObject(texture, 0, 0, nullptr) < 0) {
        texture->Release();
        return nullptr;
    }
    return texture;
}

Font* FindOrCreateFont(FontManager* manager, const std::string& name) {
    if (Object* found = manager->FindObject(name.c_str(), &Font::sm_Class, -1))
        return ZYN_Cast<Font, Object>(found);
    Font* font = new Font(name.c_str());
    if (manager->InsertObject(font, 0, 0, nullptr) < 0) {
        font->Release();
        return nullptr;
    }
    return font;
}

// Loads the block's glyph images, packs them into its texture, registers one
// sprite per placed glyph and fills the fonts. False when the texture's
// pixels cannot be composed.
bool PackBlock(TextureBlock& block) {
    Texture* texture = block.texture;
    std::vector<GlyphImport*> list;
    if (!IsFolder(kExportFolder)) {
        LogSend(kLogWarning, "Could not find directory <font_exports> ... Import aborted");
    } else {
        for (auto& info : block.fonts) {
            // Image names are made from the font name inside the folder; a
            // name with a slash would reach outside it.
            const bool nameOk = info->font->GetName().find('/') == std::string::npos;
            if (!nameOk)
                LogSend(kLogWarning, "Font name %s cannot name glyph images, its glyphs are empty",
                        info->font->GetName().c_str());
            for (auto& entry : info->glyphs) {
                list.push_back(&entry.second);
                if (nameOk) ReadGlyphImageSize(GlyphImagePath(entry.second), entry.second);
            }
        }
    }
    SortGlyphsForPacking(list);

    const u32 width = texture->GetWidth();
    const u32 height = texture->GetHeight();
    Image canvas(width, height);
    if (canvas.IsEmpty()) return false;
    // Transparent white, as FillRectTexture stores 0x00FFFFFF: filtering at a
    // glyph's edge then blends towards white, never towards grey.
    for (size_t i = 0; i < size_t(width) * height; ++i) {
        u8* px = canvas.data + i * 4;
        px[0] = px[1] = px[2] = 0xFF;
        px[3] = 0;
    }

    const unsigned gap = block.gap ? 1 : 0;
    TexturePlaceNode root(0, width, 0, height);
    texture->ResetSprites();
    int missed = 0;
    for (GlyphImport* g : list) {
        if (texture->GetSpriteCount() >= kMaxGlyphSprites) {
            ++missed;
            continue;
        }
        if (g->width == 0 && gap == 0) {
            // An empty glyph needs no cell: an empty sprite draws nothing.
            g->sprite = texture->RegisterSprite(0, 0, 0, 0);
            g->placed = true;
            continue;
        }
        const TexturePlaceNode* node = root.InsertNode(g, gap);
        if (!node) {
            ++missed;
            continue;
        }
        if (g->width != 0) DrawGlyphImage(GlyphImagePath(*g), *g, canvas, node->x1, node->y1);
        g->sprite =
            texture->RegisterSprite(int(node->x1), int(node->y1), int(node->x2 - gap), int(node->y2 - gap));
        // The GLYPH tag placed the image's top-left corner; the font places the sprite's origin.
        const Texture::SpriteDef& sprite = texture->GetSpriteDef(unsigned(g->sprite));
        g->xOffset = AddClamped(g->xOffset, sprite.xOrigin);
        g->yOffset = AddClamped(g->yOffset, sprite.yOrigin);
        g->placed = true;
    }
    if (!Graphics::DrawImageOnTexture(texture->GetTexHandle(), canvas, 0, 0))
        LogSend(kLogWarning, "Could not draw the glyphs onto texture %s", texture->GetName().c_str());
    if (missed > 0)
        LogSend(kLogWarning, "Some charcters (%d) did not fit into the texture. Please adjust settings...",
                missed);

    // A glyph left without a place stays out of its font: it is drawn as
    // blank space rather than as the whole texture.
    for (auto& info : block.fonts)
        for (auto& entry : info->glyphs) {
            const GlyphImport& g = entry.second;
            if (g.placed)
                info->font->AddGlyph(entry.first, u16(g.sprite), ClampToShort(g.xOffset),
                                     ClampToShort(g.yOffset), ClampToShort(g.advance));
        }
    return true;
}

}  // namespace

bool FontManager::Import(unsigned, File& file) {
    std::vector<char> buffer;
    if (!ReadWholeText(file, buffer)) return false;
    LogSend(kLogInfo, "Importing fonts...");
    char* p = buffer.data();
    for (;;) {
        if (!Skip(p)) return Done(true);
        if (!StartsWith(p, "<TEXTURE=")) {
            LogSend(kLogWarning, "<TEXTURE= exetepcted in file... aborting import");
            return Done(true);
        }
        p += std::strlen("<TEXTURE=");
        std::string textureName;
        if (!ReadName(p, textureName)) {
            LogSend(kLogWarning, "Syntax error (bad coma in TEXTURE tag) aborting import");
            return Done(true);
        }
        const int width = GetInteger(&p, ',');
        const int height = GetInteger(&p, '>');
        if (!Skip(p)) return Done(true);

        LogSend(kLogInfo, "Importing texture: %s (%d,%d)", textureName.c_str(), width, height);
        if (width < 1 || height < 1 || width > kMaxImportTextureSize || height > kMaxImportTextureSize) {
            LogSend(kLogWarning, "Texture %s cannot be %d x %d pixels... aborting import",
                    textureName.c_str(), width, height);
            return false;
        }
        TextureBlock block;
        block.texture = FindOrCreateTexture(textureName);
        if (!block.texture || !block.texture->InitEmptyTexture(unsigned(width), unsigned(height), true)) {
            LogSend(kLogWarning, "Texture %s could not be made... aborting import", textureName.c_str());
            return false;
        }
        (void)Graphics::FillRectTexture(block.texture->GetTexHandle(), 0, 0, unsigned(width),
                                        unsigned(height), 0x00FFFFFF);
        block.fonts.reserve(60);

        // The end of the text inside a block ends the block: what was read of
        // it is still packed.
        bool ended = false;
        while (!ended && StartsWith(p, "<FONT=")) {
            p += std::strlen("<FONT=");
            std::string fontName;
            if (!ReadName(p, fontName)) {
                LogSend(kLogWarning, "Syntax error (bad coma in FONT tag) aborting import");
                return false;
            }
            auto info = std::make_unique<FontImportInfo>();
            info->topSpacing = GetInteger(&p, ',');
            info->bottomSpacing = GetInteger(&p, ',');
            info->leftSpacing = GetInteger(&p, ',');
            info->rightSpacing = GetInteger(&p, ',');
            const int fontHeight = GetInteger(&p, ',');
            const int spaceWidth = GetInteger(&p, ',');
            const int maxBearY = GetInteger(&p, '>');
            if (info->topSpacing || info->bottomSpacing || info->leftSpacing || info->rightSpacing)
                block.gap = true;
            if (!Skip(p)) {
                ended = true;
                break;
            }
            LogSend(kLogInfo, "Importing font: %s (%d,%d,%d,%d,%d,%d)", fontName.c_str(), info->topSpacing,
                    info->bottomSpacing, info->leftSpacing, info->rightSpacing, fontHeight, spaceWidth);
            info->font = FindOrCreateFont(this, fontName);
            if (!info->font) {
                LogSend(kLogWarning, "Font %s could not be made... aborting import", fontName.c_str());
                return false;
            }
            info->font->InitEmptyFont(block.texture, spaceWidth, maxBearY,
                                      unsigned(fontHeight < 0 ? 0 : fontHeight));
            info->font->SetFontTexture(block.texture);
            FontImportInfo* owner = info.get();
            block.fonts.push_back(std::move(info));

            while (StartsWith(p, "<GLYPH=")) {
                p += std::strlen("<GLYPH=");
                GlyphImport g;
                g.code = GetInteger(&p, ',');
                g.xOffset = GetInteger(&p, ',');
                g.yOffset = GetInteger(&p, ',');
                g.advance = GetInteger(&p, '>');
                g.owner = owner;
                owner->glyphs[g.code] = g;
                if (!Skip(p)) {
                    ended = true;
                    break;
                }
            }
            if (ended) break;
            if (!StartsWith(p, "</FONT>")) {
                LogSend(kLogWarning, "<GLYPH= or </FONT> tag expected... aborting import");
                return false;
            }
            p += std::strlen("</FONT>");
            ended = !Skip(p);
        }
        if (!ended) {
            if (!StartsWith(p, "</TEXTURE>")) {
                LogSend(kLogWarning, "<FONT= or </TEXTURE> tag expected... aborting import");
                return false;
            }
            p += std::strlen("</TEXTURE>");
        } else {
            LogSend(kLogWarning, "Font import text ends inside texture %s", textureName.c_str());
        }
        if (!PackBlock(block)) {
            LogSend(kLogWarning, "Texture %s could not be composed... aborting import", textureName.c_str());
            return false;
        }
    }
}

int FontManager::compare_import(const void* a, const void* b) {
    const GlyphImport* ga = *static_cast<GlyphImport* const*>(a);
    const GlyphImport* gb = *static_cast<GlyphImport* const*>(b);
    const unsigned long long areaA = (unsigned long long)ga->width * ga->height;
    const unsigned long long areaB = (unsigned long long)gb->width * gb->height;
    if (areaA != areaB) return areaA > areaB ? -1 : 1;
    // A total order, so that qsort gives the same texture on every run.
    return ga->order < gb->order ? -1 : (ga->order > gb->order ? 1 : 0);
}

}  // namespace Zyn
