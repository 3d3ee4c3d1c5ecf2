#pragma once

// Letters drawn with an outline, taken from within it.

#include "imaging/EnhancerPlane.h"

#include <cstdint>

namespace textenhancer {

// Letters drawn with an outline (TextInk: the letters' side's sure ink,
// TextMap its map; OutlineInk, OutlineMap the other side's). Against a busy
// background the outline's edge greys the thin strokes of small letters, so
// that either side's map breaks them; but the outline encloses each letter,
// and the patch of pixels within it is the letter whole. Each such patch
// comes out graded by how close its pixels come to the letters' grey (the
// hole of a small "e" that the patch takes in stays light), the outline as
// paper, and the rest as the letters' side's map has it: where the background
// is as dark as the outline a letter's patch runs into it, and the map still
// draws the letter there.
// Share: how much of the letters' sure ink lies in enclosed patches.
struct TEnclosedLetters {
  TPlane<uint8_t> Map;
  double Share = 0;
};

TEnclosedLetters EnclosedLetters(const TPlane<uint8_t>& Grey, const TPlane<uint8_t>& TextInk,
                                 const TPlane<uint8_t>& TextMap, const TPlane<uint8_t>& OutlineInk,
                                 const TPlane<uint8_t>& OutlineMap);

} // namespace textenhancer
