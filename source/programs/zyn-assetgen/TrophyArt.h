// The trophy sheet: sprites 12 and 13 are the trophies the scene shows, each
// drawn about its own centre; sprites 1 to 11 are small medals.
#pragma once

#include <vector>

#include "Canvas.h"
#include "TempleArt.h"

namespace AssetGen {

/// Fills sheet (1024 x 512) and the sprite list (sprite i at index i).
void MakeTrophySheet(Canvas& sheet, std::vector<SpriteRect>& sprites);

}  // namespace AssetGen
