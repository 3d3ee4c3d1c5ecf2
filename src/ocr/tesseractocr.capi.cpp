#include "ocr/tesseractocr.capi.h"

#include "ocr/DynamicLibrary.h"

#include <utility>

namespace tesseractocr::capi {

namespace {

constexpr TEntryPoint EntryPoints[] = {
#define KORVEX_ENTRY_POINT(Name) {#Name, &Name},
    KORVEX_TESSERACT_ENTRY_POINTS(KORVEX_ENTRY_POINT)
#undef KORVEX_ENTRY_POINT
};

// Also holds a library whose binding failed, until the next Init or Free.
TDynamicLibrary Library;

// Unloads the library when the program ends, after every engine is gone.
struct TFinalization {
  ~TFinalization() { FreeTesseractLib(); }
} Finalization;

} // namespace

// There is no search directory to set, unlike on Windows: the system loader
// finds the library's own dependencies through their sonames.
bool InitTesseractLib(const QString& aDllPath) {
  if (hTesseractLib)
    return false;
  TDynamicLibrary Loaded;
  if (!Loaded.Load(aDllPath, TesseractLibraryName))
    return false;
  // Replaces (and unloads) what an earlier, failed binding left.
  Library = std::move(Loaded);
  // A partly bound library must never carry an engine, so it counts as not
  // loaded and the next Init tries again. It stays mapped meanwhile: the
  // pointers bound so far must not dangle.
  Library.Bind(EntryPoints, "Error while loading Tesseract function: ");
  hTesseractLib = Library.Handle();
  return true;
}

void FreeTesseractLib() {
  Library.Unload();
  hTesseractLib = nullptr;
}

} // namespace tesseractocr::capi
