#include "imaging/OCRPreprocessor.h"

#include "imaging/GreyLevel.h"
#include "imaging/PixelSimd.h"

#include <array>
#include <vector>

namespace {

// Maps each pixel's grey level through Levels and writes the result to the
// three colour bytes of the RGB32 row, keeping the fourth byte. Levels is the
// identity (Threshold < 0) or the threshold given by Threshold and Invert,
// which the AVX2 loop takes instead of the table.
void ApplyLevels(uint32_t* Row, const uint8_t* Grey, int Count, const std::array<uint8_t, 256>& Levels,
                 [[maybe_unused]] int Threshold, [[maybe_unused]] bool Invert) {
#if KORVEX_AVX2
  if (PixelSimdAvailable()) {
    ApplyLevelsAvx2(Row, Grey, Count, Threshold, Invert);
    return;
  }
#endif
  for (int I = 0; I < Count; ++I)
    Row[I] = (Row[I] & 0xff000000u) | (uint32_t(Levels[Grey[I]]) * 0x010101u);
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
  for (int Y = 0; Y < Bitmap.height(); ++Y) {
    auto* Row = reinterpret_cast<uint32_t*>(Bitmap.scanLine(Y));
    GreyLevels(reinterpret_cast<const uint8_t*>(Row), 4, Width, Grey.data());
    ApplyLevels(Row, Grey.data(), Width, Levels, Threshold, Invert);
  }
}

} // namespace

void TImageProcessor::ConvertToGrayscale(QImage& Bitmap) { MapToLevels(Bitmap, -1, false); }

void TImageProcessor::BinarizeWithGlobalThreshold(QImage& Bitmap, uint8_t Threshold, bool InvertOutput) {
  MapToLevels(Bitmap, Threshold, InvertOutput);
}
