// The temple sheet: column base, shaft segment and the two capital pieces,
// shaped so that the hall's column assembly stacks them seamlessly, plus a
// field of wall tiles for the rest of the sprite table.
#pragma once

#include <vector>

#include "Canvas.h"

namespace AssetGen {

struct SpriteRect {
    int x, y, w, h;   // pixels of the sheet
    int ox, oy;       // origin inside the sprite
};

/// Fills sheet (1024 x 512) and the sprite list; sprite i of the list is
/// sprite i of the table (sprite 0 is the whole sheet).
void MakeTempleSheet(Canvas& sheet, std::vector<SpriteRect>& sprites);

// Piece sizes the column assembly relies on.
constexpr int kShaftW = 266, kShaftH = 152;   // sprite 3, stacked every 151
constexpr int kNeckW = 266, kNeckH = 119;     // sprite 4, between shaft and capital
constexpr int kCapW = 362, kCapH = 135;       // sprite 171, echinus and abacus
constexpr int kBaseW = 282, kBaseH = 80;      // sprite 2

}  // namespace AssetGen
