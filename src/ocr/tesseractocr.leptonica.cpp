#include "ocr/tesseractocr.leptonica.h"

#include "ocr/tesseractocr.utils.h"

#include <dlfcn.h>

#include <stdexcept>
#include <string>

namespace tesseractocr::leptonica {

namespace {

template <class TProc> void GetLeptonicaProcAddress(TProc& AProcPtr, const char* AProcName) {
  AProcPtr = reinterpret_cast<TProc>(dlsym(hLeptonicaLib, AProcName));
  if (!AProcPtr)
    throw std::runtime_error(std::string("Error while loading Leptonica function: ") + AProcName);
}

struct TFinalization {
  ~TFinalization() { FreeLeptonicaLib(); }
} Finalization;

} // namespace

bool InitLeptonicaLib(const QString& aDllPath) {
  if (hLeptonicaLib)
    return false;
  for (const char* Name : LeptonicaLibraryNames) {
    hLeptonicaLib = dlopen(LibraryFileName(aDllPath, Name).constData(), RTLD_NOW | RTLD_LOCAL);
    if (hLeptonicaLib)
      break;
  }
  if (!hLeptonicaLib)
    return false;
  try {
#define KORVEX_BIND_ENTRY_POINT(Name) GetLeptonicaProcAddress(Name, #Name);
    KORVEX_LEPTONICA_ENTRY_POINTS(KORVEX_BIND_ENTRY_POINT)
#undef KORVEX_BIND_ENTRY_POINT
  } catch (...) {
    // As with Tesseract: unusable, retried by the next Init, left mapped.
    hLeptonicaLib = nullptr;
    throw;
  }
  return true;
}

void FreeLeptonicaLib() {
  if (!hLeptonicaLib)
    return;
  dlclose(hLeptonicaLib);
  hLeptonicaLib = nullptr;
}

} // namespace tesseractocr::leptonica
