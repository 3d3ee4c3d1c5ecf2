#pragma once

#include <cstdint>

// The AVX2 versions of the pixel loops, defined in GreyLevelAVX2.cpp and
// OCRPreprocessorAVX2.cpp. CMake builds those files, and sets KORVEX_AVX2,
// only for x86-64; callers run these only where PixelSimdAvailable().
//
// The definitions carry __attribute__((target("avx2"))) rather than the
// files being built with -mavx2: only these functions use AVX2, they are
// never inlined into the plain callers, and no inline or template function
// the files share with the rest of the program is compiled for AVX2.

// GreyLevels for CPUs with AVX2.
void GreyLevelsAvx2(const uint8_t* Pixels, int PixelSize, int Count, uint8_t* Out);

// Writes each grey level of Grey[0 .. Count), or with Threshold >= 0 its
// black-or-white level (white above Threshold, swapped by Invert), to the
// three colour bytes of Row[I], keeping the fourth byte.
void ApplyLevelsAvx2(uint32_t* Row, const uint8_t* Grey, int Count, int Threshold, bool Invert);
