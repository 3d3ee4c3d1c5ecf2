#pragma once

#include <QString>

#include <span>
#include <string>

namespace tesseractocr {

// One entry point to bind: its name in the library and the function-pointer
// variable that receives its address.
struct TEntryPoint {
  template <class TProc>
  constexpr TEntryPoint(const char* AName, TProc* AVariable)
      : Name(AName), Variable(AVariable), Assign([](void* ATarget, void* AAddress) {
          // Through the variable's own type, never through a void** alias.
          *static_cast<TProc*>(ATarget) = reinterpret_cast<TProc>(AAddress);
        }) {}

  const char* Name;
  void* Variable;
  void (*Assign)(void* ATarget, void* AAddress);
};

// A shared library opened with dlopen from a named folder, owning its handle.
// The function pointers it binds are set back to null when it is unloaded or
// destroyed, so a call after unloading fails on a null pointer instead of
// jumping into unmapped memory. Move-only.
class TDynamicLibrary {
public:
  TDynamicLibrary() = default;
  ~TDynamicLibrary();
  TDynamicLibrary(TDynamicLibrary&& AOther) noexcept;
  TDynamicLibrary& operator=(TDynamicLibrary&& AOther) noexcept;
  TDynamicLibrary(const TDynamicLibrary&) = delete;
  TDynamicLibrary& operator=(const TDynamicLibrary&) = delete;

  // Opens aFolder + AFileName (aFolder ends with its separator; an empty or
  // slash-less name means the current folder, never the system's library
  // path). False when this library is already loaded or the file cannot be
  // loaded.
  bool Load(const QString& aFolder, const char* AFileName);

  // Sets every variable of ATable, in order, to the library's symbol of that
  // name. Throws std::runtime_error AErrorPrefix + NAME for the first missing
  // symbol; the variables bound before it stay set and the library stays
  // loaded, so they cannot dangle. ATable must outlive the binding. Throws
  // std::logic_error when nothing is loaded or a table is already bound.
  void Bind(std::span<const TEntryPoint> ATable, const std::string& AErrorPrefix);

  // Sets every variable of the bound table to null and closes the library.
  void Unload() noexcept;

  void* Handle() const { return FHandle; }

private:
  void* FHandle = nullptr;
  std::span<const TEntryPoint> FBound;
};

} // namespace tesseractocr
