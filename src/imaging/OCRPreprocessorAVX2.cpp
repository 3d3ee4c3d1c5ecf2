#include "imaging/PixelSimd.h"

#include <immintrin.h>

// Levels here are the identity or a threshold, which the vector code needs
// to know instead of a table: Threshold < 0 means identity.
__attribute__((target("avx2"))) void ApplyLevelsAvx2(uint32_t* Row, const uint8_t* Grey, int Count, int Threshold,
                                                     bool Invert) {
  const __m256i Spread = _mm256_set1_epi32(0x010101);
  const __m256i KeepX = _mm256_set1_epi32(int(0xff000000u));
  const __m256i Limit = _mm256_set1_epi32(Threshold);
  const __m256i White = _mm256_set1_epi32(255);
  const __m256i Flip = Invert ? White : _mm256_setzero_si256();
  int I = 0;
  for (; I + 8 <= Count; I += 8) {
    const __m256i G = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(Grey + I)));
    __m256i Level = G;
    if (Threshold >= 0)
      Level = _mm256_xor_si256(_mm256_and_si256(_mm256_cmpgt_epi32(G, Limit), White), Flip);
    auto* P = reinterpret_cast<__m256i*>(Row + I);
    const __m256i Old = _mm256_loadu_si256(P);
    _mm256_storeu_si256(P, _mm256_or_si256(_mm256_and_si256(Old, KeepX), _mm256_mullo_epi32(Level, Spread)));
  }
  for (; I < Count; ++I) {
    int Level = Grey[I];
    if (Threshold >= 0)
      Level = ((Grey[I] > Threshold) != Invert) ? 255 : 0;
    Row[I] = (Row[I] & 0xff000000u) | (uint32_t(Level) * 0x010101u);
  }
}
