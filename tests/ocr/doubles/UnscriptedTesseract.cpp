// Weak stand-ins for every Tesseract C API name, so the scripted double binds
// completely; ScriptedTesseract.cpp overrides the ones the engine calls.
#include "ocr/tesseractocr.consts.h"

#define KORVEX_UNSCRIPTED(Name)                                                                                        \
  extern "C" __attribute__((weak)) void Name() {}
KORVEX_TESSERACT_ENTRY_POINTS(KORVEX_UNSCRIPTED)
