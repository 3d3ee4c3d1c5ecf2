#pragma once

// What the text enhancer works on: planes of values over a capture's
// pixels, and the statistics it takes of them.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace textenhancer {

// Two greys closer than this are too close to grade anything between them.
constexpr float MinGreySpan = 12.f;

// A plane of values over the capture's pixels.
template <class T> struct TPlane {
  int Width = 0, Height = 0;
  std::vector<T> Values;
  TPlane(int W, int H, T Fill = T{}) : Width(W), Height(H), Values(size_t(W) * H, Fill) {}
  T& At(int X, int Y) { return Values[size_t(Y) * Width + X]; }
  T At(int X, int Y) const { return Values[size_t(Y) * Width + X]; }
};

// Plane with each value replaced by the first by Order (std::less: the
// least) of the values within Reach of it, along the rows and then along the
// columns: the extreme of the square around it.
template <class TOrder> TPlane<uint8_t> ExtremeWithin(const TPlane<uint8_t>& Plane, int Reach, TOrder Order) {
  const int W = Plane.Width, H = Plane.Height;
  TPlane<uint8_t> Across(W, H), Result(W, H);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) {
      uint8_t Extreme = Plane.At(X, Y);
      for (int N = std::max(0, X - Reach); N <= std::min(W - 1, X + Reach); ++N)
        Extreme = std::min(Extreme, Plane.At(N, Y), Order);
      Across.At(X, Y) = Extreme;
    }
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) {
      uint8_t Extreme = Across.At(X, Y);
      for (int N = std::max(0, Y - Reach); N <= std::min(H - 1, Y + Reach); ++N)
        Extreme = std::min(Extreme, Across.At(X, N), Order);
      Result.At(X, Y) = Extreme;
    }
  return Result;
}

// The value below which Fraction of Values lie (Values is reordered).
template <class T> T Percentile(std::vector<T>& Values, double Fraction) {
  if (Values.empty())
    return T{};
  const size_t K = std::min(Values.size() - 1, size_t(Fraction * double(Values.size())));
  std::nth_element(Values.begin(), Values.begin() + std::ptrdiff_t(K), Values.end());
  return Values[K];
}

// The median grey of the pixels of Grey under Mask.
inline float MedianGrey(const TPlane<uint8_t>& Grey, const TPlane<uint8_t>& Mask) {
  std::vector<uint8_t> Values;
  for (size_t I = 0; I < Grey.Values.size(); ++I)
    if (Mask.Values[I])
      Values.push_back(Grey.Values[I]);
  return Percentile(Values, 0.5);
}

} // namespace textenhancer
