#include "FontRaster.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <iterator>

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

// Frees what FreeType gave, whichever way the rasterisation ends.
struct FontRasteriser::Face {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    ~Face() {
        if (face) FT_Done_Face(face);
        if (library) FT_Done_FreeType(library);
    }
};

FontRasteriser::FontRasteriser() = default;
FontRasteriser::~FontRasteriser() = default;

bool FontRasteriser::Open(const std::string& path, unsigned pixelSize, std::string& error) {
    m_pFace.reset();
    m_Codes.clear();
    // FreeType says only that it could not open a face; the system knows why.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    struct stat info = {};
    const int statResult = ::fstat(fd, &info);
    const int statErrno = errno;
    ::close(fd);
    if (statResult != 0 || S_ISDIR(info.st_mode)) {
        error = path + ": " + std::strerror(statResult != 0 ? statErrno : EISDIR);
        return false;
    }
    auto face = std::make_unique<Face>();
    if (FT_Init_FreeType(&face->library) != 0) {
        error = "FreeType could not start";
        return false;
    }
    if (FT_New_Face(face->library, path.c_str(), 0, &face->face) != 0) {
        error = "cannot open " + path + " as a TrueType or OpenType font";
        return false;
    }
    if (FT_Set_Pixel_Sizes(face->face, 0, pixelSize) != 0) {
        error = "the font " + path + " has no glyphs of " + std::to_string(pixelSize) + " pixels";
        return false;
    }
    m_pFace = std::move(face);
    m_Path = path;
    m_PixelSize = pixelSize;
    return true;
}

size_t FontRasteriser::SelectCodes(const std::vector<CodeRange>& ranges, RasterReport& report) {
    report = RasterReport();
    m_Codes.clear();
    std::vector<CodeRange> merged(ranges);
    std::sort(merged.begin(), merged.end(),
              [](const CodeRange& a, const CodeRange& b) { return a.first < b.first; });
    std::vector<CodeRange> disjoint;
    for (const CodeRange& r : merged) {
        if (!disjoint.empty() && r.first <= disjoint.back().last + 1)
            disjoint.back().last = std::max(disjoint.back().last, r.last);
        else
            disjoint.push_back(r);
    }
    for (const CodeRange& r : disjoint) report.requested += (long long)r.last - r.first + 1;
    if (!m_pFace) return 0;

    const auto isWanted = [&disjoint](unsigned code) {
        auto it = std::upper_bound(disjoint.begin(), disjoint.end(), code,
                                   [](unsigned c, const CodeRange& r) { return c < r.first; });
        return it != disjoint.begin() && code <= std::prev(it)->last;
    };
    FT_UInt index = 0;
    for (FT_ULong code = FT_Get_First_Char(m_pFace->face, &index); index != 0;
         code = FT_Get_Next_Char(m_pFace->face, code, &index))
        if (code <= kMaxCodePoint && isWanted(unsigned(code))) m_Codes.emplace_back(unsigned(code), index);
    // Character maps list their codes ascending, but nothing makes them.
    std::sort(m_Codes.begin(), m_Codes.end());
    m_Codes.erase(std::unique(m_Codes.begin(), m_Codes.end(),
                              [](const auto& a, const auto& b) { return a.first == b.first; }),
                  m_Codes.end());
    report.missing = report.requested - (long long)m_Codes.size();
    return m_Codes.size();
}

unsigned long long FontRasteriser::MeasureArea(bool spacing) {
    if (!m_pFace) return 0;
    const unsigned long long gap = spacing ? 1 : 0;
    unsigned long long area = 0;
    for (const auto& c : m_Codes) {
        // The rendered bitmap covers at least the whole pixels of the outline's box.
        const bool loaded = FT_Load_Glyph(m_pFace->face, c.second, FT_LOAD_DEFAULT) == 0;
        const FT_Glyph_Metrics& m = m_pFace->face->glyph->metrics;
        const unsigned long long w = loaded && m.width > 0 ? (unsigned long long)(m.width >> 6) : 0;
        const unsigned long long h = loaded && m.height > 0 ? (unsigned long long)(m.height >> 6) : 0;
        area += w && h ? (w + gap) * (h + gap) : gap;
    }
    return area;
}

bool FontRasteriser::Rasterise(FontArt& art, RasterReport& report, unsigned long long areaLimit,
                               const RasterProgress& progress, std::string& error) {
    art.glyphs.clear();
    if (!m_pFace) {
        error = "no font is open";
        return false;
    }
    FT_Face face = m_pFace->face;
    const unsigned long long gap = art.spacing ? 1 : 0;
    unsigned long long area = 0;
    int top = INT_MAX;
    for (size_t i = 0; i < m_Codes.size(); ++i) {
        if (progress) progress(i, m_Codes.size());
        const unsigned code = m_Codes[i].first;
        if (FT_Load_Glyph(face, m_Codes[i].second, FT_LOAD_RENDER) != 0) {
            ++report.failed;
            continue;
        }
        const FT_GlyphSlot slot = face->glyph;
        bool unsupported = false;
        GlyphArt g;
        g.code = int(code);
        g.image = CoverageImage(slot->bitmap, unsupported);
        if (unsupported) {
            ++report.failed;
            continue;
        }
        area += g.image ? (g.image->width + gap) * (g.image->height + gap) : gap;
        if (area > areaLimit) {
            art.glyphs.clear();
            error = "the glyphs cover more than " + std::to_string(areaLimit) + " pixels";
            return false;
        }
        g.xOffset = slot->bitmap_left;
        g.yOffset = -slot->bitmap_top;
        g.advance = Pixels(slot->advance.x);
        if (g.image) top = std::min(top, g.yOffset);
        art.glyphs.push_back(std::move(g));
    }
    if (progress) progress(m_Codes.size(), m_Codes.size());

    const FT_Size_Metrics& m = face->size->metrics;
    art.fontHeight = unsigned(std::max(1, Pixels(m.height)));
    art.maxBearY = top != INT_MAX ? top : -Pixels(m.ascender);
    // Characters without glyph advance by the space's width.
    art.spaceWidth = int(m_PixelSize / 3 > 0 ? m_PixelSize / 3 : 1);
    const FT_UInt space = FT_Get_Char_Index(face, ' ');
    if (space != 0 && FT_Load_Glyph(face, space, FT_LOAD_DEFAULT) == 0)
        art.spaceWidth = Pixels(face->glyph->advance.x);
    return true;
}

}  // namespace ZynFont
