#pragma once

// Letters with a drop shadow: finding the shadow's offset, and drawing the
// letters without it.

#include "imaging/EnhancerPlane.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace textenhancer {

struct TDropShadow {
  int DX = 0, DY = 0; // where the shadow lies from the letters
  int TextSign = 1;   // +1: the letters are the bright side
};

// The drop shadow of the letters, when the sure ink of one side (BrightInk,
// DarkInk) is mostly the other side's shifted by one small offset.
std::optional<TDropShadow> FindDropShadow(const TPlane<uint8_t>& BrightInk, const TPlane<uint8_t>& DarkInk);

// The letters of a shadowed capture with the shadow taken out. A pixel at
// the letters' edge mixes their colour with whatever lies beneath: the
// background, or the shadow, which is the letters' own coverage one offset
// back. Visiting the pixels so that the one an offset back comes first, each
// pixel's coverage follows from its grey and what lies beneath it; against
// the background alone the letters' shadowed edges would all but vanish.
// TextInk: where the letters' ink is sure.
TPlane<uint8_t> WithoutShadow(const TPlane<uint8_t>& Grey, const std::vector<float>& BackgroundRows,
                              const TDropShadow& Shadow, float TextGrey, float ShadowGrey,
                              const TPlane<uint8_t>& TextInk);

// The letters of a shadowed capture found from their shadow: a pixel is
// letter as far as the pixel one shadow offset on has the shadow's colour,
// unless it has that colour itself. Where the letters' colour is close to
// the background's (white text over a light sky) only the shadow still
// draws them.
TPlane<uint8_t> FromShadow(const TPlane<uint8_t>& Grey, const std::vector<float>& BackgroundGrey,
                           const TDropShadow& Shadow, float ShadowGrey);

} // namespace textenhancer
