#include "ocr/TesseractEngine.h"

#include "core/ScopeExit.h"
#include "ocr/tesseractocr.h"

#include <stdexcept>

TTesseractEngine::TTesseractEngine(std::unique_ptr<TTesseractOCR5> Tesseract) : FTesseract(std::move(Tesseract)) {}

TTesseractEngine::~TTesseractEngine() = default;

TIteratorResultList TTesseractEngine::RecognizeLines(const QImage& Bitmap) {
  // Nothing of one recognition is needed for the next: the library's copy
  // of the picture and its page layout go as soon as the lines are read.
  TScopeExit Release([this] { FTesseract->Clear(); });
  if (!Enhance()) {
    if (!FTesseract->SetImage(Bitmap))
      throw std::runtime_error("SetImage invalid");
    TIteratorResultList Lines;
    FTesseract->Execute(tesseract::RIL_TEXTLINE, Lines);
    return Lines;
  }
  // An empty capture never reaches the enhancer's pictures; the library
  // refuses it as it would without enhancement.
  if (Bitmap.isNull())
    throw std::runtime_error("SetImage invalid");
  return RecognizeEnhanced(Bitmap, [this](const QImage& Picture) { return RecognizePicture(Picture); });
}

TRecognition TTesseractEngine::RecognizePicture(const QImage& Picture) {
  if (!FTesseract->SetImage(Picture))
    throw std::runtime_error("SetImage invalid");
  TRecognition Recognition;
  FTesseract->Execute(tesseract::RIL_TEXTLINE, Recognition.Records);
  Recognition.Words = FTesseract->RecognizedWords();
  return Recognition;
}
