// Rasterising a TrueType or OpenType font with FreeType into glyph art:
// antialiased coverage as the alpha of white pixels, placed and advanced by
// FreeType's metrics at one pixel size.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "FontBuild.h"

namespace ZynFont {

/// Inclusive range of Unicode code points.
struct CodeRange {
    unsigned first = 0;
    unsigned last = 0;
};

/// Largest code point a range may name.
constexpr unsigned kMaxCodePoint = 0x10FFFF;

/// Parses a comma-separated list of ranges ("32-126,160-255,0x100-0x17F")
/// and single codes, decimal or 0x hexadecimal. False with the reason in error.
bool ParseRanges(const std::string& text, std::vector<CodeRange>& out, std::string& error);

/// What a rasterisation made of the requested codes.
struct RasterReport {
    long long requested = 0;  // distinct codes named by the ranges
    long long missing = 0;    // codes the font has no glyph for (left out)
    int failed = 0;           // glyphs FreeType could not render (left out)
};

/// Called now and then while glyphs are rasterised: done of total.
using RasterProgress = std::function<void(size_t done, size_t total)>;

/// One font face at one pixel size, rasterised in steps so that a caller can
/// refuse work that cannot fit before paying for it: Open, SelectCodes,
/// then MeasureArea and Rasterise.
class FontRasteriser {
public:
    FontRasteriser();
    ~FontRasteriser();
    FontRasteriser(const FontRasteriser&) = delete;
    FontRasteriser& operator=(const FontRasteriser&) = delete;

    /// Opens the font file at pixelSize. False with the reason in error: the
    /// system's reason when the file cannot be read, else why FreeType refused it.
    [[nodiscard]] bool Open(const std::string& path, unsigned pixelSize, std::string& error);
    /// Takes the codes of the ranges that the face maps to a glyph, each once,
    /// ascending; counts the requested and missing ones in report. Walks the
    /// face's character map, so a range as wide as Unicode costs no more than
    /// the glyphs the font has. Returns the number of codes taken.
    size_t SelectCodes(const std::vector<CodeRange>& ranges, RasterReport& report);
    /// A lower bound of the texture area the selected glyphs need, in pixels,
    /// with one pixel of spacing after each glyph when spacing is true. Reads
    /// outline metrics only: nothing is rendered.
    unsigned long long MeasureArea(bool spacing);
    /// Fills art's glyphs (ascending code order) and metrics (space width, line
    /// height, maxBearY) from the selected codes. Stops with false and the
    /// reason in error when the rendered glyphs, spaced as art says, cover more
    /// than areaLimit pixels, which keeps the memory they hold bounded by it.
    [[nodiscard]] bool Rasterise(FontArt& art, RasterReport& report, unsigned long long areaLimit,
                                 const RasterProgress& progress, std::string& error);

private:
    struct Face;
    std::unique_ptr<Face> m_pFace;
    std::string m_Path;
    unsigned m_PixelSize = 0;
    std::vector<std::pair<unsigned, unsigned>> m_Codes;  // code, glyph index
};

}  // namespace ZynFont
