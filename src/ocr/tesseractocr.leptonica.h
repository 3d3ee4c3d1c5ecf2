#pragma once

#include "ocr/tesseractocr.consts.h"

#include <leptonica/allheaders.h>

#include <QString>

// The Leptonica functions the engine needs, bound at run time like the
// Tesseract C API (see tesseractocr.capi.h).
namespace tesseractocr::leptonica {

using PPix = Pix*;

#define KORVEX_DECLARE_ENTRY_POINT(Name) inline decltype(&::Name) Name = nullptr;
KORVEX_LEPTONICA_ENTRY_POINTS(KORVEX_DECLARE_ENTRY_POINT)
#undef KORVEX_DECLARE_ENTRY_POINT

inline void* hLeptonicaLib = nullptr;

// Loads the Leptonica library from aDllPath (which must end with a
// separator): "libleptonica.so.6", else "liblept.so.5". Same contract as
// InitTesseractLib, with "Error while loading Leptonica function: NAME".
bool InitLeptonicaLib(const QString& aDllPath);
void FreeLeptonicaLib();

} // namespace tesseractocr::leptonica
