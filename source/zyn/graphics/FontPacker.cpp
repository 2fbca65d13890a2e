#include <zyn/graphics/FontPacker.h>

#include <cstdlib>

#include <zyn/graphics/FontManager.h>

namespace Zyn {

TexturePlaceNode::TexturePlaceNode(u32 left, u32 right, u32 top, u32 bottom, TexturePlaceNode* parent)
    : x1(left), x2(right < left ? left : right), y1(top), y2(bottom < top ? top : bottom), m_pParent(parent) {
    // A rectangle without area can hold no cell.
    m_bFull = x2 == x1 || y2 == y1;
}

TexturePlaceNode::~TexturePlaceNode() {
    // A tree of many glyphs can be deep: free it without recursion.
    std::vector<TexturePlaceNode*> doomed;
    for (TexturePlaceNode*& c : child) {
        if (c) doomed.push_back(c);
        c = nullptr;
    }
    while (!doomed.empty()) {
        TexturePlaceNode* node = doomed.back();
        doomed.pop_back();
        for (TexturePlaceNode*& c : node->child) {
            if (c) doomed.push_back(c);
            c = nullptr;
        }
        delete node;
    }
}

TexturePlaceNode* TexturePlaceNode::Split(u32 w, u32 h) {
    // Signed leftovers: the cell goes into a strip of its height when less
    // width than height is left over, else into a column of its width.
    const long long dw = (long long)Width() - w;
    const long long dh = (long long)Height() - h;
    if (dw < dh) {
        child[0] = new TexturePlaceNode(x1, x2, y1, y1 + h, this);
        child[1] = new TexturePlaceNode(x1, x2, y1 + h, y2, this);
    } else {
        child[0] = new TexturePlaceNode(x1, x1 + w, y1, y2, this);
        child[1] = new TexturePlaceNode(x1 + w, x2, y1, y2, this);
    }
    return child[0];
}

void TexturePlaceNode::MarkFull() {
    m_bFull = true;
    for (TexturePlaceNode* p = m_pParent; p && p->child[0]->m_bFull && p->child[1]->m_bFull; p = p->m_pParent)
        p->m_bFull = true;
}

TexturePlaceNode* TexturePlaceNode::InsertNode(GlyphImport* g, unsigned gap) {
    if (!g) return nullptr;
    const unsigned long long w = (unsigned long long)g->width + gap;
    const unsigned long long h = (unsigned long long)g->height + gap;
    if (w == 0 || h == 0 || w > Width() || h > Height()) return nullptr;

    // Depth first, first child before second, without recursion. Subtrees
    // that are full or smaller than the cell are passed: nothing below them
    // could take it, so the placement is the same as trying every leaf.
    std::vector<TexturePlaceNode*> pending(1, this);
    while (!pending.empty()) {
        TexturePlaceNode* node = pending.back();
        pending.pop_back();
        if (node->m_bFull || w > node->Width() || h > node->Height()) continue;
        if (node->child[0]) {
            pending.push_back(node->child[1]);
            pending.push_back(node->child[0]);
            continue;
        }
        // A free leaf that holds the cell: the first child of a split always
        // holds it in the split direction, so at most two splits are needed.
        while (w != node->Width() || h != node->Height()) node = node->Split(u32(w), u32(h));
        node->glyph = g;
        node->MarkFull();
        return node;
    }
    return nullptr;
}

void SortGlyphsForPacking(std::vector<GlyphImport*>& glyphs) {
    for (size_t i = 0; i < glyphs.size(); ++i) glyphs[i]->order = u32(i);
    if (glyphs.size() > 1)
        std::qsort(glyphs.data(), glyphs.size(), sizeof(GlyphImport*), &FontManager::compare_import);
}

}  // namespace Zyn
