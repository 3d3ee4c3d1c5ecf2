#include "imaging/OCRPreprocessor.h"

#include "imaging/GreyLevel.h"

#include <immintrin.h>

#include <array>
#include <vector>

namespace {

// Maps each pixel's grey level through Levels and writes the result to the
// three colour bytes of the RGB32 row, keeping the fourth byte.
void ApplyLevelsScalar(uint32_t* Row, const uint8_t* Grey, int Count, const std::array<uint8_t, 256>& Levels) {
  for (int I = 0; I < Count; ++I)
    Row[I] = (Row[I] & 0xff000000u) | (uint32_t(Levels[Grey[I]]) * 0x010101u);
}

// Levels here is the identity or a threshold, which the vector code needs to
// know instead of a table: Threshold < 0 means identity.
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

// Threshold < 0: plain grey conversion.
void MapToLevels(QImage& Bitmap, int Threshold, bool Invert) {
  if (Bitmap.isNull() || Bitmap.width() == 0 || Bitmap.height() == 0)
    return;
  if (Bitmap.format() != QImage::Format_RGB32)
    Bitmap.convertTo(QImage::Format_RGB32);
  std::array<uint8_t, 256> Levels{};
  for (int G = 0; G < 256; ++G)
    Levels[G] = Threshold < 0 ? uint8_t(G) : ((G > Threshold) != Invert ? 255 : 0);
  const int Width = Bitmap.width();
  std::vector<uint8_t> Grey(size_t(Width), 0);
  const bool Simd = PixelSimdAvailable();
  for (int Y = 0; Y < Bitmap.height(); ++Y) {
    auto* Row = reinterpret_cast<uint32_t*>(Bitmap.scanLine(Y));
    GreyLevels(reinterpret_cast<const uint8_t*>(Row), 4, Width, Grey.data());
    if (Simd)
      ApplyLevelsAvx2(Row, Grey.data(), Width, Threshold, Invert);
    else
      ApplyLevelsScalar(Row, Grey.data(), Width, Levels);
  }
}

} // namespace

void TImageProcessor::ConvertToGrayscale(QImage& Bitmap) { MapToLevels(Bitmap, -1, false); }

void TImageProcessor::BinarizeWithGlobalThreshold(QImage& Bitmap, uint8_t Threshold, bool InvertOutput) {
  MapToLevels(Bitmap, Threshold, InvertOutput);
}
