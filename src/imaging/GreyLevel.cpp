#include "imaging/GreyLevel.h"
#include "imaging/PixelSimd.h"

#include <cmath>

uint8_t GreyLevel(uint8_t R, uint8_t G, uint8_t B) {
  return static_cast<uint8_t>(std::nearbyint(R * 0.299 + G * 0.587 + B * 0.114));
}

#if !KORVEX_AVX2
// Built without the AVX2 loops; GreyLevelAVX2.cpp defines this otherwise.
bool PixelSimdAvailable() { return false; }
#endif

void GreyLevels(const uint8_t* Pixels, int PixelSize, int Count, uint8_t* Out) {
#if KORVEX_AVX2
  if (PixelSimdAvailable()) {
    GreyLevelsAvx2(Pixels, PixelSize, Count, Out);
    return;
  }
#endif
  for (int I = 0; I < Count; ++I) {
    const uint8_t* P = Pixels + size_t(I) * PixelSize;
    Out[I] = GreyLevel(P[2], P[1], P[0]);
  }
}
