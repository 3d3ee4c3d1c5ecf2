#include "ocr/DynamicLibrary.h"

#include "ocr/tesseractocr.utils.h"

#include <dlfcn.h>

#include <stdexcept>
#include <utility>

namespace tesseractocr {

TDynamicLibrary::~TDynamicLibrary() { Unload(); }

TDynamicLibrary::TDynamicLibrary(TDynamicLibrary&& AOther) noexcept
    : FHandle(std::exchange(AOther.FHandle, nullptr)), FBound(std::exchange(AOther.FBound, {})) {}

TDynamicLibrary& TDynamicLibrary::operator=(TDynamicLibrary&& AOther) noexcept {
  if (this != &AOther) {
    Unload();
    FHandle = std::exchange(AOther.FHandle, nullptr);
    FBound = std::exchange(AOther.FBound, {});
  }
  return *this;
}

bool TDynamicLibrary::Load(const QString& aFolder, const char* AFileName) {
  if (FHandle)
    return false;
  FHandle = dlopen(LibraryFileName(aFolder, AFileName).constData(), RTLD_NOW | RTLD_LOCAL);
  return FHandle != nullptr;
}

void TDynamicLibrary::Bind(std::span<const TEntryPoint> ATable, const std::string& AErrorPrefix) {
  // dlsym on a null handle would search the whole process instead.
  if (!FHandle)
    throw std::logic_error("TDynamicLibrary::Bind: no library is loaded");
  if (!FBound.empty())
    throw std::logic_error("TDynamicLibrary::Bind: a table is already bound");
  // Remembered first, so that unloading also clears a partly bound table.
  FBound = ATable;
  for (const TEntryPoint& Entry : ATable) {
    void* Address = dlsym(FHandle, Entry.Name);
    Entry.Assign(Entry.Variable, Address);
    if (!Address)
      throw std::runtime_error(AErrorPrefix + Entry.Name);
  }
}

void TDynamicLibrary::Unload() noexcept {
  for (const TEntryPoint& Entry : FBound)
    Entry.Assign(Entry.Variable, nullptr);
  FBound = {};
  if (FHandle)
    dlclose(std::exchange(FHandle, nullptr));
}

} // namespace tesseractocr
