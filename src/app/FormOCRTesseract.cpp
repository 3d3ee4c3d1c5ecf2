#include "app/UnitFormOCR.h"

#include "app/Application.h"
#include "app/ConfigIni.h"
#include "ocr/tesseractocr.h"

#include <QDir>

#include <stdexcept>

// The controller's use of the Tesseract engine: creation at start-up and the
// line recognition of a capture.

bool TFormOCR::CreateEngines() {
  // Both folders are taken from the runtime folder, never from the current
  // directory, so Korvex works wherever it is started from.
  const QDir Runtime(FAppDir);
  try {
    Tesseract = std::make_unique<TTesseractOCR5>(Runtime.filePath(QStringLiteral("Tesseract")) + QLatin1Char('/'));
  } catch (const std::exception& Error) {
    // Without its libraries Korvex cannot work at all; say why before the
    // start-up failure is reported and the window closes.
    ShowException(QString::fromUtf8(Error.what()));
    return false;
  }
  const QString Lang =
      ConfigIni->ReadString(QStringLiteral("Tesseract"), QStringLiteral("lang"), QStringLiteral("eng"));
  return Tesseract->Initialize(Runtime.filePath(QStringLiteral("tessdata")) + QLatin1Char('/'), Lang);
}

TIteratorResultList TFormOCR::RecognizeWithTesseract() {
  if (!Tesseract)
    throw std::runtime_error("Tesseract library is not loaded");
  if (!FScreenBitmap || !Tesseract->SetImage(*FScreenBitmap))
    throw std::runtime_error("SetImage invalid");
  TIteratorResultList Lines;
  Tesseract->Execute(tesseract::RIL_TEXTLINE, Lines);
  return Lines;
}
