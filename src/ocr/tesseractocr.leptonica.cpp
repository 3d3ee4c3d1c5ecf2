#include "ocr/tesseractocr.leptonica.h"

#include "ocr/DynamicLibrary.h"

#include <utility>

namespace tesseractocr::leptonica {

namespace {

constexpr TEntryPoint EntryPoints[] = {
#define KORVEX_ENTRY_POINT(Name) {#Name, &Name},
    KORVEX_LEPTONICA_ENTRY_POINTS(KORVEX_ENTRY_POINT)
#undef KORVEX_ENTRY_POINT
};

// Also holds a library whose binding failed, until the next Init or Free.
TDynamicLibrary Library;

struct TFinalization {
  ~TFinalization() { FreeLeptonicaLib(); }
} Finalization;

} // namespace

bool InitLeptonicaLib(const QString& aDllPath) {
  if (hLeptonicaLib)
    return false;
  TDynamicLibrary Loaded;
  for (const char* Name : LeptonicaLibraryNames)
    if (Loaded.Load(aDllPath, Name))
      break;
  if (!Loaded.Handle())
    return false;
  // As with Tesseract: unusable, retried by the next Init, left mapped.
  Library = std::move(Loaded);
  Library.Bind(EntryPoints, "Error while loading Leptonica function: ");
  hLeptonicaLib = Library.Handle();
  return true;
}

void FreeLeptonicaLib() {
  Library.Unload();
  hLeptonicaLib = nullptr;
}

} // namespace tesseractocr::leptonica
