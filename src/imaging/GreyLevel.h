#pragma once

#include <cstdint>

// The grey level of a pixel: (0.299 R + 0.587 G) + 0.114 B in double
// precision, rounded to the nearest integer with halves to even. Captures,
// binarisation and the change test all use this one definition.
uint8_t GreyLevel(uint8_t R, uint8_t G, uint8_t B);

// GreyLevel of Count pixels stored as bytes B, G, R (PixelSize 3) or
// B, G, R, X (PixelSize 4), written to Out[0 .. Count). Equal to GreyLevel
// for every pixel, only faster.
void GreyLevels(const uint8_t* Pixels, int PixelSize, int Count, uint8_t* Out);

// Whether GreyLevels and the other pixel loops take their AVX2 paths: on
// CPUs with AVX2 unless the environment sets KORVEX_NO_SIMD=1, and never in a
// build without the AVX2 loops (KORVEX_SIMD=OFF or not x86-64).
bool PixelSimdAvailable();
