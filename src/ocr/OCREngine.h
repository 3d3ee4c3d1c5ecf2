#pragma once

#include "core/GlobalTypes.h"

#include <QImage>
#include <QString>

#include <optional>

// The recognisers Korvex can use, under the names the settings store them.
enum class TOCREngineKind { Tesseract, WindowsOCR, EasyOCR };

// "Tesseract", "Windows OCR" or "EasyOCR".
QString OCREngineName(TOCREngineKind Kind);
// The engine of a stored name, compared exactly; none for any other text.
std::optional<TOCREngineKind> OCREngineFromName(const QString& Name);

// One recogniser: turns a captured bitmap into text lines. Every engine,
// local or remote, answers in the same records, so grouping and translation
// never need to know which one ran.
class TOCREngine {
public:
  virtual ~TOCREngine() = default;

  // One record per recognised text line of Bitmap, in reading order, boxes in
  // bitmap pixels; empty when nothing was found. Failures of a library are
  // exceptions; a service that cannot be reached finds nothing.
  virtual TIteratorResultList RecognizeLines(const QImage& Bitmap) = 0;

  // Whether the engine enhances the picture before it reads it
  // (imaging/EnhancedRecognition.h); engines that cannot ignore it. The
  // caller sets it before each recognition: off while a manual threshold is
  // chosen or when the user switched enhancement off.
  void SetEnhance(bool Enhance) { FEnhance = Enhance; }
  bool Enhance() const { return FEnhance; }

private:
  bool FEnhance = true;
};
