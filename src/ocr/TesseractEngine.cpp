#include "ocr/TesseractEngine.h"

#include "core/ScopeExit.h"
#include "ocr/tesseractocr.h"

#include <stdexcept>

TTesseractEngine::TTesseractEngine(std::unique_ptr<TTesseractOCR5> Tesseract) : FTesseract(std::move(Tesseract)) {}

TTesseractEngine::~TTesseractEngine() = default;

TIteratorResultList TTesseractEngine::RecognizeLines(const QImage& Bitmap) {
  if (!FTesseract->SetImage(Bitmap))
    throw std::runtime_error("SetImage invalid");
  // Nothing of one recognition is needed for the next: the library's copy
  // of the picture and its page layout go as soon as the lines are read.
  TScopeExit Release([this] { FTesseract->Clear(); });
  TIteratorResultList Lines;
  FTesseract->Execute(tesseract::RIL_TEXTLINE, Lines);
  return Lines;
}
