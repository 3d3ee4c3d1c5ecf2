#include "imaging/OutlinedLetters.h"

#include "imaging/InkPatches.h"

#include <algorithm>
#include <cmath>

namespace textenhancer {
namespace {

// Outlined letters: the outline is what the other side's map inks past
// OutlineMapLevel (a quarter of the way to full ink), and whatever lies
// within OutlineLevel of the way from the outline's grey to the letters'.
// A patch inside it is a letter when LetterColouredShare of its pixels lie
// beyond LetterLevel of that way; the letter is drawn from paper at
// OutlineLevel to full ink at LetterLevel.
constexpr int OutlineMapLevel = 192;
constexpr float OutlineLevel = 0.25f;
constexpr float LetterLevel = 0.7f;
constexpr double LetterColouredShare = 0.3;
// Within patches that ran out of their outline into the background, the
// outline is taken again up to StrictOutlineLevel of the way.
constexpr float StrictOutlineLevel = 0.4f;

} // namespace

TEnclosedLetters EnclosedLetters(const TPlane<uint8_t>& Grey, const TPlane<uint8_t>& TextInk,
                                 const TPlane<uint8_t>& TextMap, const TPlane<uint8_t>& OutlineInk,
                                 const TPlane<uint8_t>& OutlineMap) {
  const int W = TextInk.Width, H = TextInk.Height;
  TEnclosedLetters Letters{TextMap};
  const int LetterHeight = TypicalLetterHeight(TextInk);
  const float TextGrey = MedianGrey(Grey, TextInk), OutlineGrey = MedianGrey(Grey, OutlineInk);
  if (LetterHeight <= 0 || std::abs(TextGrey - OutlineGrey) < MinGreySpan)
    return Letters;
  // How far a pixel's grey lies from the outline's towards the letters'.
  auto Level = [&](size_t I) { return (float(Grey.Values[I]) - OutlineGrey) / (TextGrey - OutlineGrey); };
  // The outline: what the other side's map inks at all, and whatever is
  // nearly as dark (light) as the outline, as a background that swallows it.
  TPlane<uint8_t> Inside(W, H);
  for (size_t I = 0; I < Inside.Values.size(); ++I)
    Inside.Values[I] = OutlineMap.Values[I] >= OutlineMapLevel && Level(I) >= OutlineLevel;
  size_t Enclosed = 0;
  // Draws the letter-like patches of Within, and marks the patches taller
  // than letters in Open.
  TPlane<uint8_t> Open(W, H);
  auto TakeLetters = [&](const TPlane<uint8_t>& Within) {
    ForEachPatch(Within, [&](const TInkPatch& Patch) {
      size_t Ink = 0, Coloured = 0;
      for (const auto& [X, Y] : Patch.Pixels) {
        const size_t I = size_t(Y) * W + X;
        Ink += TextInk.Values[I] != 0;
        Coloured += Level(I) >= LetterLevel;
      }
      // Patches taller than letters are the background around them, and
      // patches mostly of other greys the holes of letters or the background
      // between them.
      const bool Tall = Patch.Bottom - Patch.Top + 1 > TallPatch * LetterHeight;
      for (const auto& [X, Y] : Patch.Pixels)
        Open.At(X, Y) = Tall;
      if (Tall || double(Coloured) < LetterColouredShare * double(Patch.Pixels.size()))
        return;
      Enclosed += Ink;
      for (const auto& [X, Y] : Patch.Pixels) {
        const float T = std::clamp((Level(size_t(Y) * W + X) - OutlineLevel) / (LetterLevel - OutlineLevel), 0.f, 1.f);
        Letters.Map.At(X, Y) = uint8_t(255 * (1 - T) + 0.5f);
      }
    });
  };
  TakeLetters(Inside);
  // A letter's patch runs into the background through a gap in the outline,
  // where the outline's edge blends with a background of its own brightness;
  // within the patches that ran out, a stricter outline closes such gaps.
  TPlane<uint8_t> Stricter(W, H);
  for (size_t I = 0; I < Stricter.Values.size(); ++I)
    Stricter.Values[I] = Open.Values[I] && Level(I) >= StrictOutlineLevel;
  TakeLetters(Stricter);
  // The outline itself is no letter.
  for (size_t I = 0; I < Inside.Values.size(); ++I)
    if (!Inside.Values[I])
      Letters.Map.Values[I] = 255;
  EraseTallPatches(Letters.Map);
  const auto TextPixels = std::count(TextInk.Values.begin(), TextInk.Values.end(), uint8_t(1));
  Letters.Share = TextPixels > 0 ? double(Enclosed) / double(TextPixels) : 0.0;
  return Letters;
}

} // namespace textenhancer
