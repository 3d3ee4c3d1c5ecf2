#include "ocr/OCREngine.h"

QString OCREngineName(TOCREngineKind Kind) {
  switch (Kind) {
  case TOCREngineKind::WindowsOCR: return QStringLiteral("Windows OCR");
  case TOCREngineKind::EasyOCR: return QStringLiteral("EasyOCR");
  case TOCREngineKind::Tesseract: break;
  }
  return QStringLiteral("Tesseract");
}

std::optional<TOCREngineKind> OCREngineFromName(const QString& Name) {
  for (TOCREngineKind Kind : {TOCREngineKind::Tesseract, TOCREngineKind::WindowsOCR, TOCREngineKind::EasyOCR})
    if (Name == OCREngineName(Kind))
      return Kind;
  return std::nullopt;
}
