#include "ocr/tesseractocr.capi.h"

#include "ocr/tesseractocr.utils.h"

#include <dlfcn.h>

#include <stdexcept>
#include <string>

namespace tesseractocr::capi {

namespace {

template <class TProc> void GetTesseractProcAddress(TProc& AProcPtr, const char* AProcName) {
  AProcPtr = reinterpret_cast<TProc>(dlsym(hTesseractLib, AProcName));
  if (!AProcPtr)
    throw std::runtime_error(std::string("Error while loading Tesseract function: ") + AProcName);
}

// Unloads the library when the program ends, after every engine is gone.
struct TFinalization {
  ~TFinalization() { FreeTesseractLib(); }
} Finalization;

} // namespace

// There is no search directory to set, unlike on Windows: the system loader
// finds the library's own dependencies through their sonames.
bool InitTesseractLib(const QString& aDllPath) {
  const QByteArray FileName = LibraryFileName(aDllPath, TesseractLibraryName);
  if (hTesseractLib)
    return false;
  hTesseractLib = dlopen(FileName.constData(), RTLD_NOW | RTLD_LOCAL);
  if (!hTesseractLib)
    return false;
  try {
#define KORVEX_BIND_ENTRY_POINT(Name) GetTesseractProcAddress(Name, #Name);
    KORVEX_TESSERACT_ENTRY_POINTS(KORVEX_BIND_ENTRY_POINT)
#undef KORVEX_BIND_ENTRY_POINT
  } catch (...) {
    // A partly bound library must never carry an engine, so it counts as not
    // loaded and the next Init tries again. The module itself stays mapped:
    // the pointers bound so far must not dangle.
    hTesseractLib = nullptr;
    throw;
  }
  return true;
}

void FreeTesseractLib() {
  if (!hTesseractLib)
    return;
  dlclose(hTesseractLib);
  hTesseractLib = nullptr;
}

} // namespace tesseractocr::capi
