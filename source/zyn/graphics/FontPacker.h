// The records of a font import and the binary-tree rectangle packer that
// places glyph images into the font texture. Each placed glyph takes a cell
// of its image size plus the gap at the top-left corner of a free node; the
// node is split into a strip or a column so that the rest stays free.
#pragma once

#include <map>
#include <vector>

#include <zyn/core/Types.h>

namespace Zyn {

class Font;
struct FontImportInfo;

/// One glyph during import.
struct GlyphImport {
    s32 code = 0;  // Unicode code point
    // Size of the glyph image, read from its file's header; 0 x 0 when the
    // image is missing or unreadable (the glyph is then empty).
    u32 width = 0;
    u32 height = 0;
    // From the GLYPH tag: the image's top-left corner from the pen; after
    // packing, corrected by the sprite origin.
    s32 xOffset = 0;
    s32 yOffset = 0;
    s32 advance = 0;
    s32 sprite = 0;                   // registered sprite id; 0 until placed
    bool placed = false;              // false when the glyph did not fit
    FontImportInfo* owner = nullptr;  // borrowed
    // Place in the packing list before sorting: orders glyphs of equal area.
    u32 order = 0;
};

/// One font during import.
struct FontImportInfo {
    Font* font = nullptr;  // borrowed; the font manager keeps the font
    s32 topSpacing = 0;
    s32 bottomSpacing = 0;
    s32 leftSpacing = 0;
    s32 rightSpacing = 0;
    std::map<int, GlyphImport> glyphs;
};

/// A node of the packing tree: the free rectangle [x1, x2) x [y1, y2) in
/// texture pixels. Destroying a node destroys its children.
class TexturePlaceNode {
public:
    TexturePlaceNode(u32 x1, u32 x2, u32 y1, u32 y2, TexturePlaceNode* parent = nullptr);
    ~TexturePlaceNode();
    TexturePlaceNode(const TexturePlaceNode&) = delete;
    TexturePlaceNode& operator=(const TexturePlaceNode&) = delete;

    /// Places a cell of the glyph's image size plus gap in the first free
    /// leaf (depth first, first child before second) that holds it, splitting
    /// the leaf as needed. Returns the leaf whose rectangle is the cell, or
    /// null when it fits nowhere; borrowed, it lives as long as the tree.
    /// Cells of zero width or height are never placed.
    TexturePlaceNode* InsertNode(GlyphImport* glyph, unsigned gap);

    u32 Width() const { return x2 - x1; }
    u32 Height() const { return y2 - y1; }

    u32 x1, x2, y1, y2;
    GlyphImport* glyph = nullptr;                     // borrowed; set when the node is used
    TexturePlaceNode* child[2] = {nullptr, nullptr};  // owned; both null in a leaf

private:
    // Splits this leaf around a w x h cell at its top-left corner; returns the
    // first child, which holds the cell in one direction.
    TexturePlaceNode* Split(u32 w, u32 h);
    // This node can take nothing more; the parents learn it when both their
    // children are full.
    void MarkFull();

    TexturePlaceNode* m_pParent;  // borrowed; null at the root
    bool m_bFull = false;
};

/// Sorts the glyphs into packing order (FontManager::compare_import): larger
/// image area first, equal areas in their order in the list.
void SortGlyphsForPacking(std::vector<GlyphImport*>& glyphs);

}  // namespace Zyn
