#pragma once

// Patches of ink (pixels joined side by side) and what they tell of the
// letters: their height, and which patches are the background's.

#include "imaging/EnhancerPlane.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace textenhancer {

// Ink patches this many letter heights tall are the background's, not text.
constexpr double TallPatch = 2.5;

// A patch of ink: pixels joined side by side, and the box around them.
struct TInkPatch {
  int Top, Bottom, Left, Right;
  const std::vector<std::pair<int, int>>& Pixels;
};

// Calls Visit(TInkPatch) for every patch of the pixels of Ink that are set.
template <class TVisit> void ForEachPatch(const TPlane<uint8_t>& Ink, const TVisit& Visit) {
  TPlane<uint8_t> Seen(Ink.Width, Ink.Height);
  std::vector<std::pair<int, int>> Stack, Pixels;
  for (int Y0 = 0; Y0 < Ink.Height; ++Y0)
    for (int X0 = 0; X0 < Ink.Width; ++X0) {
      // Most of a row is not ink: eight pixels at a time go by unread.
      const uint8_t* Row = Ink.Values.data() + size_t(Y0) * size_t(Ink.Width);
      for (uint64_t Eight = 0; X0 + 8 <= Ink.Width && (std::memcpy(&Eight, Row + X0, 8), Eight == 0);)
        X0 += 8;
      if (X0 >= Ink.Width)
        break;
      if (!Ink.At(X0, Y0) || Seen.At(X0, Y0))
        continue;
      int Top = Y0, Bottom = Y0, Left = X0, Right = X0;
      Stack.assign(1, {X0, Y0});
      Pixels.clear();
      Seen.At(X0, Y0) = 1;
      while (!Stack.empty()) {
        const auto [X, Y] = Stack.back();
        Stack.pop_back();
        Pixels.push_back({X, Y});
        Top = std::min(Top, Y), Bottom = std::max(Bottom, Y), Left = std::min(Left, X), Right = std::max(Right, X);
        for (const auto& [DX, DY] : std::array<std::pair<int, int>, 4>{{{1, 0}, {-1, 0}, {0, 1}, {0, -1}}}) {
          const int NX = X + DX, NY = Y + DY;
          if (NX >= 0 && NY >= 0 && NX < Ink.Width && NY < Ink.Height && Ink.At(NX, NY) && !Seen.At(NX, NY)) {
            Seen.At(NX, NY) = 1;
            Stack.push_back({NX, NY});
          }
        }
      }
      Visit(TInkPatch{Top, Bottom, Left, Right, Pixels});
    }
}

// The median height of the letter-like connected components of Ink: about
// the x-height of the text.
int TypicalLetterHeight(const TPlane<uint8_t>& Ink);

// Map (dark ink on white) with every patch of ink much taller than its
// letters turned to paper: a patch of the background lighter or darker than
// the rest, which no letter is.
void EraseTallPatches(TPlane<uint8_t>& Map);

} // namespace textenhancer
