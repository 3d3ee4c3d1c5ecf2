#pragma once

#include <QImage>

#include <cstdint>

// The pixel operations that prepare a capture for OCR. Each works in place
// and leaves the bitmap in Format_RGB32 (bytes B, G, R, X); the X byte is
// neither read nor changed. A null or empty bitmap is left alone.
class TImageProcessor {
public:
  TImageProcessor() = delete;

  // Every pixel becomes its GreyLevel (imaging/GreyLevel.h) in all three colour bytes.
  static void ConvertToGrayscale(QImage& Bitmap);
  // Every pixel becomes white (255) when (grey > Threshold) differs from
  // InvertOutput, else black. Binarising a binarised image again with the
  // same threshold changes nothing.
  static void BinarizeWithGlobalThreshold(QImage& Bitmap, uint8_t Threshold, bool InvertOutput);
};
