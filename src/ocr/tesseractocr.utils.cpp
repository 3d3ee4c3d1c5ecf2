#include "ocr/tesseractocr.utils.h"

#include "ocr/tesseractocr.capi.h"

#include <QFile>

namespace tesseractocr {

QString PUTF8CharToString(const char* AUTF8Char, bool ADeleteText) {
  if (!AUTF8Char)
    return {};
  const QString Result = QString::fromUtf8(AUTF8Char);
  if (ADeleteText && capi::TessDeleteText)
    capi::TessDeleteText(AUTF8Char);
  return Result;
}

QByteArray LibraryFileName(const QString& aDllPath, const char* FileName) {
  QByteArray Result = QFile::encodeName(aDllPath + QString::fromUtf8(FileName));
  if (!Result.contains('/'))
    Result.prepend("./");
  return Result;
}

} // namespace tesseractocr
