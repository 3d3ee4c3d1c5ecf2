#include "ocr/TesseractEngine.h"

#include "ocr/tesseractocr.h"

#include <stdexcept>

TTesseractEngine::TTesseractEngine(std::unique_ptr<TTesseractOCR5> Tesseract) : FTesseract(std::move(Tesseract)) {}

TTesseractEngine::~TTesseractEngine() = default;

TIteratorResultList TTesseractEngine::RecognizeLines(const QImage& Bitmap) {
  if (!FTesseract->SetImage(Bitmap))
    throw std::runtime_error("SetImage invalid");
  TIteratorResultList Lines;
  FTesseract->Execute(tesseract::RIL_TEXTLINE, Lines);
  return Lines;
}
