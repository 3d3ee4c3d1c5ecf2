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
