#pragma once

#include "imaging/EnhancedRecognition.h"
#include "ocr/OCREngine.h"

#include <memory>

class TTesseractOCR5;

// The Tesseract library as an engine: text-line recognition of the image
// handed over (enhanced first unless switched off), with an API instance
// created and initialised by the caller.
class TTesseractEngine : public TOCREngine {
public:
  explicit TTesseractEngine(std::unique_ptr<TTesseractOCR5> Tesseract);
  ~TTesseractEngine() override;

  // Throws "SetImage invalid" when the library refuses the bitmap.
  TIteratorResultList RecognizeLines(const QImage& Bitmap) override;

  // The text lines of exactly this picture, and the confidence of every word.
  TRecognition RecognizePicture(const QImage& Picture);

  TTesseractOCR5& Tesseract() { return *FTesseract; }

private:
  std::unique_ptr<TTesseractOCR5> FTesseract;
};
