#pragma once

#include "ocr/tesseractocr.consts.h"

#include <tesseract/capi.h>

#include <QString>

// The Tesseract C API, bound at run time. Korvex never links the library:
// InitTesseractLib loads it from a folder and sets one function pointer per
// entry point, named and typed as the C function it points to. The pointers
// and the module handle are process-wide.
namespace tesseractocr::capi {

#define KORVEX_DECLARE_ENTRY_POINT(Name) inline decltype(&::Name) Name = nullptr;
KORVEX_TESSERACT_ENTRY_POINTS(KORVEX_DECLARE_ENTRY_POINT)
#undef KORVEX_DECLARE_ENTRY_POINT

// Null while the library is not loaded (or its binding failed).
inline void* hTesseractLib = nullptr;

// Loads aDllPath + "libtesseract.so.5" (aDllPath must end with a separator)
// and binds every entry point. True only when this call loaded and bound the
// library; false when it was already loaded or the file cannot be loaded.
// Throws std::runtime_error "Error while loading Tesseract function: NAME"
// for the first missing entry point; the library then counts as not loaded.
bool InitTesseractLib(const QString& aDllPath);
void FreeTesseractLib();

} // namespace tesseractocr::capi
