#pragma once

#include "ocr/OCREngine.h"

#include <memory>

class TTesseractOCR5;

// The Tesseract library as an engine: text-line recognition of the image
// handed over, with an API instance created and initialised by the caller.
class TTesseractEngine : public TOCREngine {
public:
  explicit TTesseractEngine(std::unique_ptr<TTesseractOCR5> Tesseract);
  ~TTesseractEngine() override;

  // Throws "SetImage invalid" when the library refuses the bitmap.
  TIteratorResultList RecognizeLines(const QImage& Bitmap) override;

  TTesseractOCR5& Tesseract() { return *FTesseract; }

private:
  std::unique_ptr<TTesseractOCR5> FTesseract;
};
