#include "imaging/GreyLevel.h"
#include "imaging/PixelSimd.h"

#include <QtGlobal>

#include <algorithm>
#include <array>
#include <cstring>

#include <immintrin.h>

// Runs on any CPU, so it has no AVX2 target of its own.
bool PixelSimdAvailable() {
  // KORVEX_NO_SIMD=1 forces the plain loops, so tests cover them on any machine.
  static const bool Available = __builtin_cpu_supports("avx2") && qEnvironmentVariableIntValue("KORVEX_NO_SIMD") == 0;
  return Available;
}

namespace {

// Byte shuffles that spread four pixels of a 128-bit lane into 32-bit lanes.
struct TPixelMasks {
  __m256i BG, R, B, G;
};

// Byte indices taking, for each of the four pixels of a 128-bit lane, the
// byte at Offset (and with Pair the one after it) into its 32-bit lane.
std::array<char, 32> SpreadIndices(int PixelSize, int Offset, bool Pair) {
  std::array<char, 32> Bytes{};
  for (int Half = 0; Half < 2; ++Half)
    for (int K = 0; K < 4; ++K) {
      char* Out = Bytes.data() + 16 * Half + 4 * K;
      Out[0] = char(PixelSize * K + Offset);
      Out[1] = -1;
      Out[2] = Pair ? char(PixelSize * K + Offset + 1) : char(-1);
      Out[3] = -1;
    }
  return Bytes;
}

__attribute__((target("avx2"))) __m256i LoadIndices(const std::array<char, 32>& Bytes) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(Bytes.data()));
}

__attribute__((target("avx2"))) TPixelMasks MasksFor(int PixelSize) {
  return {LoadIndices(SpreadIndices(PixelSize, 0, true)), LoadIndices(SpreadIndices(PixelSize, 2, false)),
          LoadIndices(SpreadIndices(PixelSize, 0, false)), LoadIndices(SpreadIndices(PixelSize, 1, false))};
}

// The double formula, lane by lane, in the same operations and order as
// GreyLevel; the rounding instruction rounds halves to even.
inline __attribute__((always_inline, target("avx2"))) __m128i GreyDouble(__m128i R, __m128i G, __m128i B) {
  const __m256d Sum = _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(_mm256_cvtepi32_pd(R), _mm256_set1_pd(0.299)),
                                                  _mm256_mul_pd(_mm256_cvtepi32_pd(G), _mm256_set1_pd(0.587))),
                                    _mm256_mul_pd(_mm256_cvtepi32_pd(B), _mm256_set1_pd(0.114)));
  return _mm256_cvtpd_epi32(_mm256_round_pd(Sum, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC));
}

// Grey levels of the eight pixels in V (as 32-bit lanes), and the lanes
// where the fast integer result may differ from the double formula.
//
// The exact integer sum S = 299 R + 587 G + 114 B gives the grey level as
// floor((S + 500) / 1000) except where S / 1000 lies exactly on a half: there
// the double formula's own rounding error decides, so blocks holding such a
// pixel take the double formula. Everywhere else the double result is within
// 1e-12 of S / 1000 and at least 0.001 away from a half, so both agree.
inline __attribute__((always_inline, target("avx2"))) __m256i GreyFast(__m256i V, const TPixelMasks& Masks,
                                                                       __m256i& Tie) {
  const __m256i Sum =
      _mm256_add_epi32(_mm256_madd_epi16(_mm256_shuffle_epi8(V, Masks.BG), _mm256_set1_epi32((587 << 16) | 114)),
                       _mm256_madd_epi16(_mm256_shuffle_epi8(V, Masks.R), _mm256_set1_epi32(299)));
  const __m256i X = _mm256_add_epi32(Sum, _mm256_set1_epi32(500));
  // 0.001f is slightly above 0.001, and the float product stays within 3e-5
  // of the true quotient for sums below 2^18: truncation gives the exact floor.
  const __m256i Q = _mm256_cvttps_epi32(_mm256_mul_ps(_mm256_cvtepi32_ps(X), _mm256_set1_ps(0.001f)));
  Tie = _mm256_cmpeq_epi32(_mm256_mullo_epi32(Q, _mm256_set1_epi32(1000)), X);
  return Q;
}

inline __attribute__((always_inline, target("avx2"))) __m256i GreyExact(__m256i V, const TPixelMasks& Masks) {
  const __m256i R = _mm256_shuffle_epi8(V, Masks.R);
  const __m256i G = _mm256_shuffle_epi8(V, Masks.G);
  const __m256i B = _mm256_shuffle_epi8(V, Masks.B);
  const __m128i Low = GreyDouble(_mm256_castsi256_si128(R), _mm256_castsi256_si128(G), _mm256_castsi256_si128(B));
  const __m128i High =
      GreyDouble(_mm256_extracti128_si256(R, 1), _mm256_extracti128_si256(G, 1), _mm256_extracti128_si256(B, 1));
  return _mm256_set_m128i(High, Low);
}

inline __attribute__((always_inline, target("avx2"))) __m256i GreyBlock(__m256i V, const TPixelMasks& Masks) {
  __m256i Tie;
  const __m256i Q = GreyFast(V, Masks, Tie);
  return _mm256_testz_si256(Tie, Tie) ? Q : GreyExact(V, Masks);
}

// Eight pixels starting at P: 32 bytes, or for 3-byte pixels two 16-byte
// halves at P and P + 12 (the second reaches 4 bytes past the eighth pixel).
template <int PixelSize> inline __attribute__((always_inline, target("avx2"))) __m256i LoadBlock(const uint8_t* P) {
  if constexpr (PixelSize == 4)
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(P));
  else
    return _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(P + 12), reinterpret_cast<const __m128i*>(P));
}

inline __attribute__((always_inline, target("avx2"))) void StoreBlock(__m256i Q, uint8_t* Out, int Count) {
  const __m128i Words = _mm_packus_epi32(_mm256_castsi256_si128(Q), _mm256_extracti128_si256(Q, 1));
  const __m128i Bytes = _mm_packus_epi16(Words, Words);
  alignas(16) uint8_t Eight[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(Eight), Bytes);
  std::memcpy(Out, Eight, size_t(Count));
}

// Sixteen grey levels from two blocks: one pack and one order fix for both.
inline __attribute__((always_inline, target("avx2"))) void StorePair(__m256i Q1, __m256i Q2, uint8_t* Out) {
  const __m256i Words = _mm256_packus_epi32(Q1, Q2);       // per lane: 4 of Q1, 4 of Q2
  const __m256i Bytes = _mm256_packus_epi16(Words, Words); // dwords: 0-3, 8-11, .., 4-7, 12-15
  const __m256i Ordered = _mm256_permutevar8x32_epi32(Bytes, _mm256_setr_epi32(0, 4, 1, 5, 0, 0, 0, 0));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(Out), _mm256_castsi256_si128(Ordered));
}

template <int PixelSize>
__attribute__((target("avx2"))) void GreyLevelsOf(const uint8_t* Pixels, int Count, uint8_t* Out) {
  const TPixelMasks Masks = MasksFor(PixelSize);
  // Blocks starting before LoadEnd can be loaded in place.
  const int LoadEnd = PixelSize == 4 ? Count - 7 : Count - 9;
  int I = 0;
  for (; I + 8 < LoadEnd; I += 16) {
    const __m256i V1 = LoadBlock<PixelSize>(Pixels + size_t(I) * PixelSize);
    const __m256i V2 = LoadBlock<PixelSize>(Pixels + size_t(I + 8) * PixelSize);
    __m256i Tie1, Tie2;
    __m256i Q1 = GreyFast(V1, Masks, Tie1);
    __m256i Q2 = GreyFast(V2, Masks, Tie2);
    const __m256i Ties = _mm256_or_si256(Tie1, Tie2);
    if (!_mm256_testz_si256(Ties, Ties)) {
      Q1 = GreyExact(V1, Masks);
      Q2 = GreyExact(V2, Masks);
    }
    StorePair(Q1, Q2, Out + I);
  }
  // The rest in blocks of eight; the last ones through a zero-padded copy, so
  // no block reads past the end.
  while (I < Count) {
    const int Left = std::min(8, Count - I);
    if (I < LoadEnd) {
      StoreBlock(GreyBlock(LoadBlock<PixelSize>(Pixels + size_t(I) * PixelSize), Masks), Out + I, Left);
    } else {
      alignas(32) uint8_t Padded[32] = {};
      std::memcpy(Padded, Pixels + size_t(I) * PixelSize, size_t(Left) * PixelSize);
      StoreBlock(GreyBlock(LoadBlock<PixelSize>(Padded), Masks), Out + I, Left);
    }
    I += Left;
  }
}

} // namespace

__attribute__((target("avx2"))) void GreyLevelsAvx2(const uint8_t* Pixels, int PixelSize, int Count, uint8_t* Out) {
  if (PixelSize == 4)
    GreyLevelsOf<4>(Pixels, Count, Out);
  else
    GreyLevelsOf<3>(Pixels, Count, Out);
}
