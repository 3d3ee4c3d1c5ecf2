// The dlopen wrapper on the partial Tesseract double, binding variables of
// its own so that the binding's process-wide pointers are never touched.
#include "TesseractTestSupport.h"

#include "ocr/DynamicLibrary.h"

#include <tesseract/capi.h>

#include <dlfcn.h>

#include <memory>
#include <utility>

#include <gtest/gtest.h>

namespace {

using namespace tesseractocr;

const QString PartialDir = QStringLiteral(KORVEX_DOUBLES_DIR "/partial-tesseract/");

struct TPointers {
  decltype(&::TessVersion) Version = nullptr;
  decltype(&::TessBaseAPICreate) Create = nullptr;
  decltype(&::TessBaseAPIInit3) Init3 = nullptr; // the double lacks it
  decltype(&::TessBaseAPIEnd) End = nullptr;

  std::vector<void*> All() const {
    return {reinterpret_cast<void*>(Version), reinterpret_cast<void*>(Create), reinterpret_cast<void*>(Init3),
            reinterpret_cast<void*>(End)};
  }
  static inline const std::vector<void*> Null{nullptr, nullptr, nullptr, nullptr};
};

TEST(DynamicLibrary, LoadsOnlyFromTheNamedFolder) {
  struct TCase {
    QString Folder;
    const char* FileName;
    bool Loads;
  } Cases[] = {
      {PartialDir, "libtesseract.so.5", true},
      {"/nonexistent/", "libtesseract.so.5", false},
      // A folder without its separator becomes part of the file name.
      {QStringLiteral(KORVEX_DOUBLES_DIR "/partial-tesseract"), "libtesseract.so.5", false},
      // The system's library path has libc, the current folder does not.
      {"", "libc.so.6", false},
      {"lib", "c.so.6", false},
  };
  for (const TCase& Case : Cases) {
    TDynamicLibrary Library;
    EXPECT_EQ(Library.Load(Case.Folder, Case.FileName), Case.Loads)
        << Case.Folder.toStdString() << " " << Case.FileName;
    EXPECT_EQ(Library.Handle() != nullptr, Case.Loads);
  }

  TDynamicLibrary Library;
  ASSERT_TRUE(Library.Load(PartialDir, "libtesseract.so.5"));
  void* const Handle = Library.Handle();
  EXPECT_FALSE(Library.Load("/nonexistent/", "libtesseract.so.5"));
  EXPECT_EQ(Library.Handle(), Handle);
}

TEST(DynamicLibrary, BindingStopsAtTheFirstMissingNameAndUnloadingClearsTheTable) {
  TPointers Pointers;
  const TEntryPoint Table[] = {{"TessVersion", &Pointers.Version},
                               {"TessBaseAPICreate", &Pointers.Create},
                               {"TessBaseAPIInit3", &Pointers.Init3},
                               {"TessBaseAPIEnd", &Pointers.End}};
  TDynamicLibrary Library;
  EXPECT_THROW(Library.Bind(Table, "prefix: "), std::logic_error);
  ASSERT_TRUE(Library.Load(PartialDir, "libtesseract.so.5"));

  EXPECT_EQ(ErrorOf([&] { Library.Bind(Table, "Missing: "); }), "Missing: TessBaseAPIInit3");
  EXPECT_EQ(reinterpret_cast<void*>(Pointers.Version), dlsym(Library.Handle(), "TessVersion"));
  EXPECT_EQ(reinterpret_cast<void*>(Pointers.Create), dlsym(Library.Handle(), "TessBaseAPICreate"));
  EXPECT_NE(Pointers.Create, nullptr);
  EXPECT_EQ(Pointers.Init3, nullptr);
  EXPECT_EQ(Pointers.End, nullptr);

  Library.Unload();
  EXPECT_EQ(Pointers.All(), TPointers::Null);
  EXPECT_EQ(Library.Handle(), nullptr);
  Library.Unload(); // nothing left to unload

  // Loading again binds afresh.
  ASSERT_TRUE(Library.Load(PartialDir, "libtesseract.so.5"));
  EXPECT_NO_THROW(Library.Bind(std::span(Table).first(2), ""));
  EXPECT_EQ(reinterpret_cast<void*>(Pointers.Create), dlsym(Library.Handle(), "TessBaseAPICreate"));
}

TEST(DynamicLibrary, TheOwnerClearsThePointersWhenDestroyedAndAMoveHandsItOver) {
  TPointers Pointers;
  const TEntryPoint Table[] = {{"TessVersion", &Pointers.Version}, {"TessBaseAPICreate", &Pointers.Create}};
  auto Target = std::make_unique<TDynamicLibrary>();
  {
    TDynamicLibrary Source;
    ASSERT_TRUE(Source.Load(PartialDir, "libtesseract.so.5"));
    Source.Bind(Table, "");
    void* const Handle = Source.Handle();
    TDynamicLibrary Moved(std::move(Source));
    *Target = std::move(Moved);
    EXPECT_EQ(Target->Handle(), Handle);
    EXPECT_EQ(Source.Handle(), nullptr);
    EXPECT_EQ(Moved.Handle(), nullptr);
  }
  // The moved-from objects are gone without unloading anything.
  EXPECT_NE(Pointers.Version, nullptr);
  EXPECT_NE(Pointers.Create, nullptr);

  // Assigning over a loaded library unloads it first.
  TPointers Other;
  const TEntryPoint OtherTable[] = {{"TessVersion", &Other.Version}};
  {
    TDynamicLibrary Replacement;
    ASSERT_TRUE(Replacement.Load(PartialDir, "libtesseract.so.5"));
    Replacement.Bind(OtherTable, "");
    *Target = std::move(Replacement);
  }
  EXPECT_EQ(Pointers.All(), TPointers::Null);
  EXPECT_NE(Other.Version, nullptr);

  Target.reset();
  EXPECT_EQ(Other.All(), TPointers::Null);
}

} // namespace
