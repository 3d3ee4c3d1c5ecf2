#pragma once

#include <QByteArray>
#include <QString>

namespace tesseractocr {

// A zero-terminated UTF-8 string from the Tesseract library as a QString;
// null gives "". With ADeleteText the library's buffer is released with
// TessDeleteText once it has been copied.
QString PUTF8CharToString(const char* AUTF8Char, bool ADeleteText);

// aDllPath + FileName as a file name for dlopen. A name without a slash would
// make dlopen search the system's library path, so it is anchored to the
// current folder: a library is only ever loaded from the folder named.
QByteArray LibraryFileName(const QString& aDllPath, const char* FileName);

} // namespace tesseractocr
