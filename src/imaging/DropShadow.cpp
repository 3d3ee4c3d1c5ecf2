#include "imaging/DropShadow.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <utility>

namespace textenhancer {
namespace {

// A drop shadow: the letters again, offset by up to this many pixels, in
// the other side's colour, cast downwards (or sideways) as on screens. It is
// taken for one when at least ShadowFit of the other side's pixels next to
// the letters lie at one offset from the letters' and the opposite offset
// explains no more than ShadowAsymmetry of that (an outline explains both
// alike). Only pixels next to the letters count: the patches of a photo far
// from them say nothing of a shadow. Thin strokes fit the shadow read the
// other way round (the shadow as letters, cast back up) nearly as well; when
// it fits at least MirroredShadowFit as well as the best, the one cast
// downwards is taken.
constexpr int MaxShadowOffset = 3;
constexpr double ShadowFit = 0.5;
constexpr double ShadowAsymmetry = 0.5;
constexpr double MirroredShadowFit = 0.75;
// Coverage by the letters, as found under a shadow: below ShadowedCoverage
// a pixel casts no shadow; the map goes from paper at CoverageFloor to full
// ink at CoverageFull, which leaves the background's lighter patches out.
constexpr float ShadowedCoverage = 0.35f;
constexpr float CoverageFloor = 0.3f;
constexpr float CoverageFull = 0.8f;
// A pixel this far from the background towards the shadow's grey is shadow
// itself, and casts no letter.
constexpr float ShadedItself = 0.3f;

// The pixels of Mask, away from its edges by more than a shadow's offset,
// that lie within a shadow's offset of a pixel of Near.
std::vector<std::pair<int, int>> PixelsNear(const TPlane<uint8_t>& Mask, const TPlane<uint8_t>& Near) {
  const TPlane<uint8_t> Reach = ExtremeWithin(Near, MaxShadowOffset, std::greater<>());
  std::vector<std::pair<int, int>> Pixels;
  for (int Y = MaxShadowOffset; Y < Mask.Height - MaxShadowOffset; ++Y)
    for (int X = MaxShadowOffset; X < Mask.Width - MaxShadowOffset; ++X)
      if (Mask.At(X, Y) && Reach.At(X, Y))
        Pixels.push_back({X, Y});
  return Pixels;
}

// Whether a shadow at DX, DY falls downwards, or sideways to the right.
bool CastDownwards(const TDropShadow& Shadow) { return Shadow.DY > 0 || (Shadow.DY == 0 && Shadow.DX > 0); }

// Share of the shade's pixels whose pixel DX, DY back lies in Text.
double ShadowFitAt(const TPlane<uint8_t>& Text, const std::vector<std::pair<int, int>>& Shade, int DX, int DY) {
  if (Shade.size() < 50)
    return 0.0;
  size_t Cast = 0;
  for (const auto& [X, Y] : Shade)
    Cast += Text.At(X - DX, Y - DY) != 0;
  return double(Cast) / double(Shade.size());
}

} // namespace

std::optional<TDropShadow> FindDropShadow(const TPlane<uint8_t>& BrightInk, const TPlane<uint8_t>& DarkInk) {
  const std::vector<std::pair<int, int>> BrightPixels = PixelsNear(BrightInk, DarkInk),
                                         DarkPixels = PixelsNear(DarkInk, BrightInk);
  auto Fit = [&](int TextSign, int DX, int DY) {
    return TextSign > 0 ? ShadowFitAt(BrightInk, DarkPixels, DX, DY) : ShadowFitAt(DarkInk, BrightPixels, DX, DY);
  };
  TDropShadow Best;
  double BestFit = 0;
  for (int TextSign : {1, -1})
    for (int DY = -MaxShadowOffset; DY <= MaxShadowOffset; ++DY)
      for (int DX = -MaxShadowOffset; DX <= MaxShadowOffset; ++DX) {
        if (DX == 0 && DY == 0)
          continue;
        if (const double F = Fit(TextSign, DX, DY); F > BestFit) {
          BestFit = F;
          Best = {DX, DY, TextSign};
        }
      }
  // The same pixels read the other way round (the shadow taken for the
  // letters, cast back up) fit almost as well where strokes are hardly wider
  // than the offset; on screens, shadows fall downwards.
  const TDropShadow Mirrored{-Best.DX, -Best.DY, -Best.TextSign};
  if (const double MirroredFit = Fit(Mirrored.TextSign, Mirrored.DX, Mirrored.DY);
      CastDownwards(Mirrored) && MirroredFit >= MirroredShadowFit * BestFit) {
    Best = Mirrored;
    BestFit = MirroredFit;
  }
  if (!CastDownwards(Best) || BestFit < ShadowFit || Fit(Best.TextSign, -Best.DX, -Best.DY) > ShadowAsymmetry * BestFit)
    return std::nullopt;
  return Best;
}

TPlane<uint8_t> WithoutShadow(const TPlane<uint8_t>& Grey, const std::vector<float>& BackgroundRows,
                              const TDropShadow& Shadow, float TextGrey, float ShadowGrey,
                              const TPlane<uint8_t>& TextInk) {
  const int W = Grey.Width, H = Grey.Height;
  TPlane<float> Coverage(W, H);
  const bool Forward = Shadow.DY > 0 || (Shadow.DY == 0 && Shadow.DX > 0);
  const size_t Count = size_t(W) * H;
  for (size_t N = 0; N < Count; ++N) {
    const size_t I = Forward ? N : Count - 1 - N;
    const int X = int(I % size_t(W)), Y = int(I / size_t(W));
    const int BackX = X - Shadow.DX, BackY = Y - Shadow.DY;
    // Only the letters' sure ink casts a shadow: a lighter patch of the
    // background taken for a letter's edge must not darken what lies beneath
    // the next pixel, and that the next, in a streak.
    float Shade = 0;
    if (BackX >= 0 && BackY >= 0 && BackX < W && BackY < H && TextInk.At(BackX, BackY) &&
        Coverage.At(BackX, BackY) >= ShadowedCoverage)
      Shade = Coverage.At(BackX, BackY);
    const float Beneath = ShadowGrey * Shade + (1 - Shade) * BackgroundRows[I];
    const float Span = TextGrey - Beneath;
    // Where the letters' colour is that of what lies beneath, nothing shows.
    const float Cover =
        std::abs(Span) < MinGreySpan ? 0.f : std::clamp((float(Grey.Values[I]) - Beneath) / Span, 0.f, 1.f);
    Coverage.Values[I] = Cover;
  }
  TPlane<uint8_t> Map(W, H);
  for (size_t I = 0; I < Count; ++I) {
    const float T = std::clamp((Coverage.Values[I] - CoverageFloor) / (CoverageFull - CoverageFloor), 0.f, 1.f);
    Map.Values[I] = uint8_t(255 * (1 - T) + 0.5f);
  }
  return Map;
}

TPlane<uint8_t> FromShadow(const TPlane<uint8_t>& Grey, const std::vector<float>& BackgroundGrey,
                           const TDropShadow& Shadow, float ShadowGrey) {
  const int W = Grey.Width, H = Grey.Height;
  // How far a pixel lies from the background towards the shadow's grey.
  auto Shade = [&](int X, int Y) {
    const size_t I = size_t(Y) * W + X;
    const float Span = BackgroundGrey[I] - ShadowGrey;
    return std::abs(Span) < MinGreySpan ? 0.f
                                        : std::clamp((BackgroundGrey[I] - float(Grey.Values[I])) / Span, 0.f, 1.f);
  };
  TPlane<uint8_t> Map(W, H, 255);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) {
      const int NX = X + Shadow.DX, NY = Y + Shadow.DY;
      if (NX < 0 || NY < 0 || NX >= W || NY >= H || Shade(X, Y) > ShadedItself)
        continue;
      const float T = std::clamp((Shade(NX, NY) - CoverageFloor) / (CoverageFull - CoverageFloor), 0.f, 1.f);
      Map.At(X, Y) = uint8_t(255 * (1 - T) + 0.5f);
    }
  return Map;
}

} // namespace textenhancer
