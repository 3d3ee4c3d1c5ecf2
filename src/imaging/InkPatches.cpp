#include "imaging/InkPatches.h"

namespace textenhancer {

int TypicalLetterHeight(const TPlane<uint8_t>& Ink) {
  std::vector<int> Heights;
  ForEachPatch(Ink, [&](const TInkPatch& Patch) {
    const int H = Patch.Bottom - Patch.Top + 1, W = Patch.Right - Patch.Left + 1;
    if (H >= 3 && Patch.Pixels.size() >= 4 && W <= 3 * H && H <= Ink.Height / 2)
      Heights.push_back(H);
  });
  if (Heights.size() < 3)
    return 0;
  return Percentile(Heights, 0.5);
}

void EraseTallPatches(TPlane<uint8_t>& Map) {
  TPlane<uint8_t> Ink(Map.Width, Map.Height);
  for (size_t I = 0; I < Map.Values.size(); ++I)
    Ink.Values[I] = Map.Values[I] < 128;
  const int LetterHeight = TypicalLetterHeight(Ink);
  if (LetterHeight <= 0)
    return;
  ForEachPatch(Ink, [&](const TInkPatch& Patch) {
    if (Patch.Bottom - Patch.Top + 1 > TallPatch * LetterHeight)
      for (const auto& [X, Y] : Patch.Pixels)
        Map.At(X, Y) = 255;
  });
}

} // namespace textenhancer
