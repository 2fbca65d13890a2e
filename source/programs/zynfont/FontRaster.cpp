#include "FontRaster.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "CommandArgs.h"

namespace ZynFont {

namespace {

bool ParseCode(const std::string& text, unsigned& code) {
    long long value = 0;
    if (!ZynTool::ParseInteger(text, 0, kMaxCodePoint, value, true)) return false;
    code = unsigned(value);
    return true;
}

std::string Trim(const std::string& s) {
    const size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return "";
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

// Frees what FreeType gave, whichever way the rasterisation ends.
struct FreeTypeFace {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    ~FreeTypeFace() {
        if (face) FT_Done_Face(face);
        if (library) FT_Done_FreeType(library);
    }
};

// 26.6 fixed point to whole pixels, rounded.
int Pixels(FT_Pos v) { return int((v + 32) >> 6); }

// The rendered bitmap as white pixels with its coverage as alpha; null for
// an empty bitmap or a pixel mode we do not take.
std::unique_ptr<Zyn::Image> CoverageImage(const FT_Bitmap& bitmap, bool& unsupported) {
    unsupported = false;
    if (bitmap.width == 0 || bitmap.rows == 0) return nullptr;
    if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY && bitmap.pixel_mode != FT_PIXEL_MODE_MONO) {
        unsupported = true;
        return nullptr;
    }
    if (bitmap.width > kMaxTextureSize || bitmap.rows > kMaxTextureSize) {
        unsupported = true;
        return nullptr;
    }
    auto image = std::make_unique<Zyn::Image>(bitmap.width, bitmap.rows);
    if (image->IsEmpty()) {
        unsupported = true;
        return nullptr;
    }
    const int grays = bitmap.num_grays > 1 ? bitmap.num_grays : 256;
    for (unsigned y = 0; y < bitmap.rows; ++y) {
        // A negative pitch stores the rows bottom up.
        const unsigned char* row = bitmap.buffer + (long long)y * bitmap.pitch;
        for (unsigned x = 0; x < bitmap.width; ++x) {
            unsigned alpha;
            if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO)
                alpha = (row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
            else
                alpha = grays == 256 ? row[x] : unsigned(row[x]) * 255 / unsigned(grays - 1);
            unsigned char* px = image->data + (size_t(y) * bitmap.width + x) * 4;
            px[0] = px[1] = px[2] = 255;
            px[3] = (unsigned char)(alpha > 255 ? 255 : alpha);
        }
    }
    return image;
}

}  // namespace

bool ParseRanges(const std::string& text, std::vector<CodeRange>& out, std::string& error) {
    out.clear();
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        const std::string item =
            Trim(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (item.empty()) {
            error = "empty item in the range list \"" + text + "\"";
            return false;
        }
        // The dash of a range; a leading one would be a sign.
        const size_t dash = item.find('-', 1);
        CodeRange r;
        const bool ok = dash == std::string::npos ? ParseCode(item, r.first) && ParseCode(item, r.last)
                                                  : ParseCode(Trim(item.substr(0, dash)), r.first) &&
                                                        ParseCode(Trim(item.substr(dash + 1)), r.last);
        if (!ok) {
            error = "\"" + item + "\" is not a code point or range (0 to 0x10FFFF, decimal or 0x hex)";
            return false;
        }
        if (r.first > r.last) {
            error = "range \"" + item + "\" ends before it starts";
            return false;
        }
        out.push_back(r);
        if (comma == std::string::npos) return true;
        start = comma + 1;
    }
}

bool RasteriseFont(const std::string& path, unsigned pixelSize, const std::vector<CodeRange>& ranges,
                   FontArt& art, RasterReport& report, std::string& error) {
    report = RasterReport();
    FreeTypeFace ft;
    if (FT_Init_FreeType(&ft.library) != 0) {
        error = "FreeType could not start";
        return false;
    }
    if (FT_New_Face(ft.library, path.c_str(), 0, &ft.face) != 0) {
        error = "cannot open " + path + " as a TrueType or OpenType font";
        return false;
    }
    if (FT_Set_Pixel_Sizes(ft.face, 0, pixelSize) != 0) {
        error = "the font " + path + " has no glyphs of " + std::to_string(pixelSize) + " pixels";
        return false;
    }

    // Each code once, ascending, however often the ranges name it.
    std::vector<bool> wanted(kMaxCodePoint + 1, false);
    for (const CodeRange& r : ranges)
        for (unsigned c = r.first; c <= r.last && c <= kMaxCodePoint; ++c) wanted[c] = true;

    art.glyphs.clear();
    int top = INT_MAX;
    for (unsigned code = 0; code <= kMaxCodePoint; ++code) {
        if (!wanted[code]) continue;
        ++report.requested;
        const FT_UInt index = FT_Get_Char_Index(ft.face, code);
        if (index == 0) {
            ++report.missing;
            continue;
        }
        if (FT_Load_Glyph(ft.face, index, FT_LOAD_RENDER) != 0) {
            ++report.failed;
            continue;
        }
        const FT_GlyphSlot slot = ft.face->glyph;
        bool unsupported = false;
        GlyphArt g;
        g.code = int(code);
        g.image = CoverageImage(slot->bitmap, unsupported);
        if (unsupported) {
            ++report.failed;
            continue;
        }
        g.xOffset = slot->bitmap_left;
        g.yOffset = -slot->bitmap_top;
        g.advance = Pixels(slot->advance.x);
        if (g.image) top = std::min(top, g.yOffset);
        art.glyphs.push_back(std::move(g));
    }

    const FT_Size_Metrics& m = ft.face->size->metrics;
    art.fontHeight = unsigned(std::max(1, Pixels(m.height)));
    art.maxBearY = top != INT_MAX ? top : -Pixels(m.ascender);
    // Characters without glyph advance by the space's width.
    art.spaceWidth = int(pixelSize / 3 > 0 ? pixelSize / 3 : 1);
    const FT_UInt space = FT_Get_Char_Index(ft.face, ' ');
    if (space != 0 && FT_Load_Glyph(ft.face, space, FT_LOAD_DEFAULT) == 0)
        art.spaceWidth = Pixels(ft.face->glyph->advance.x);
    return true;
}

}  // namespace ZynFont
