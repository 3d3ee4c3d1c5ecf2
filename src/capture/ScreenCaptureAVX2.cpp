#include "capture/ChangeLoops.h"

#include <immintrin.h>

__attribute__((target("avx2"))) void TAvx2ChangeLoops::RGB32RowToBGR888(const uint8_t* In, uint8_t* Out, int Count) {
  // Drop every fourth byte within each 128-bit lane, then close the gap
  // between the lanes: 8 pixels in, 24 bytes out.
  const __m256i Compact = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0, 1, 2, 4, 5, 6, 8,
                                           9, 10, 12, 13, 14, -1, -1, -1, -1);
  const __m256i Join = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7);
  int I = 0;
  for (; I + 8 <= Count; I += 8) {
    const __m256i V = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(In + 4 * size_t(I)));
    const __m256i Packed = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(V, Compact), Join);
    uint8_t* O = Out + 3 * size_t(I);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(O), _mm256_castsi256_si128(Packed));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(O + 16), _mm256_extracti128_si256(Packed, 1));
  }
  TPlainChangeLoops::RGB32RowToBGR888(In + 4 * size_t(I), Out + 3 * size_t(I), Count - I);
}

__attribute__((target("avx2"))) int TAvx2ChangeLoops::CountChanged(const uint8_t* A, const uint8_t* B, int Count) {
  const __m256i Limit = _mm256_set1_epi8(char(ChangedGreyDifference));
  const __m256i Zero = _mm256_setzero_si256();
  int Changed = 0;
  int I = 0;
  for (; I + 32 <= Count; I += 32) {
    const __m256i VA = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(A + I));
    const __m256i VB = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(B + I));
    const __m256i Diff = _mm256_or_si256(_mm256_subs_epu8(VA, VB), _mm256_subs_epu8(VB, VA));
    // Diff - 25 saturates to zero exactly for the unchanged pixels.
    const __m256i Unchanged = _mm256_cmpeq_epi8(_mm256_subs_epu8(Diff, Limit), Zero);
    Changed += 32 - __builtin_popcount(uint32_t(_mm256_movemask_epi8(Unchanged)));
  }
  return Changed + TPlainChangeLoops::CountChanged(A + I, B + I, Count - I);
}

__attribute__((target("avx2"))) bool TAvx2ChangeLoops::Quiet(const uint8_t* A, const uint8_t* B, int Bytes) {
  const __m256i Limit = _mm256_set1_epi8(char(QuietByteDifference));
  __m256i Over = _mm256_setzero_si256();
  int I = 0;
  for (; I + 32 <= Bytes; I += 32) {
    const __m256i VA = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(A + I));
    const __m256i VB = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(B + I));
    const __m256i Diff = _mm256_or_si256(_mm256_subs_epu8(VA, VB), _mm256_subs_epu8(VB, VA));
    Over = _mm256_or_si256(Over, _mm256_subs_epu8(Diff, Limit));
  }
  return _mm256_testz_si256(Over, Over) && TPlainChangeLoops::Quiet(A + I, B + I, Bytes - I);
}
