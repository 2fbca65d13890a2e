// The particle sheet ("gui\gui_tex.jp2"): soft lights, sparkles, a ring, a
// streak, a scarab, smoke and a set of glyphs. Light sprites are white with
// their shape in alpha, so the emitters' colour curves tint them.
#pragma once

#include <vector>

#include "Canvas.h"
#include "TempleArt.h"

namespace AssetGen {

// Sprite ids of the particle sheet, used by the effect designs.
enum ParticleSprite {
    kSpriteGlow = 1,
    kSpriteSparkle = 2,
    kSpriteRing = 3,
    kSpriteStreak = 4,
    kSpriteDot = 5,
    kSpriteScarab = 6,
    kSpriteSmoke = 7,
    kSpriteGlyphFirst = 8,
    kGlyphCount = 16,
    kSpriteGlyphLast = kSpriteGlyphFirst + kGlyphCount - 1,
    kSpriteShard = kSpriteGlyphLast + 1,
    // Not drawn: an opaque grey image of the sun sign whose brightness is
    // the spawn density of a masked emitter.
    kSpriteSunMask = kSpriteShard + 1,
};

void MakeParticleSheet(Canvas& sheet, std::vector<SpriteRect>& sprites);

}  // namespace AssetGen
