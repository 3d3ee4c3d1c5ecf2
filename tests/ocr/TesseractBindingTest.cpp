// The binding and engine construction against the runtime folder's real
// libraries. The libraries are process-wide, so this program walks through
// their states in one order.
#include "TesseractTestSupport.h"

#include "ocr/TesseractLanguages.h"
#include "ocr/tesseractocr.capi.h"
#include "ocr/tesseractocr.h"
#include "ocr/tesseractocr.leptonica.h"

#include <QDir>

#include <dlfcn.h>

#include <gtest/gtest.h>

namespace {

using namespace tesseractocr;

const QString LibraryDir = RuntimeDir + "/Tesseract/";

std::vector<void*> TesseractPointers() {
  std::vector<void*> Result;
#define KORVEX_COLLECT(Name) Result.push_back(reinterpret_cast<void*>(capi::Name));
  KORVEX_TESSERACT_ENTRY_POINTS(KORVEX_COLLECT)
#undef KORVEX_COLLECT
  return Result;
}

std::vector<void*> LeptonicaPointers() {
  std::vector<void*> Result;
#define KORVEX_COLLECT(Name) Result.push_back(reinterpret_cast<void*>(leptonica::Name));
  KORVEX_LEPTONICA_ENTRY_POINTS(KORVEX_COLLECT)
#undef KORVEX_COLLECT
  return Result;
}

// Every pointer is the library's own symbol of that name.
void ExpectAllBound() {
#define KORVEX_CHECK(Name) EXPECT_EQ(reinterpret_cast<void*>(capi::Name), dlsym(capi::hTesseractLib, #Name)) << #Name;
  KORVEX_TESSERACT_ENTRY_POINTS(KORVEX_CHECK)
#undef KORVEX_CHECK
#define KORVEX_CHECK(Name)                                                                                             \
  EXPECT_EQ(reinterpret_cast<void*>(leptonica::Name), dlsym(leptonica::hLeptonicaLib, #Name)) << #Name;
  KORVEX_LEPTONICA_ENTRY_POINTS(KORVEX_CHECK)
#undef KORVEX_CHECK
  for (void* Pointer : TesseractPointers())
    EXPECT_NE(Pointer, nullptr);
}

TEST(TesseractBinding, LoadsOnceFromTheNamedFolderAndEveryEngineSharesIt) {
  ASSERT_EQ(capi::hTesseractLib, nullptr);

  EXPECT_EQ(ErrorOf([] { TTesseractOCR5 Engine("/nonexistent/"); }), "Tesseract library is not loaded");

  // The folder name is used as a prefix, so it needs its separator.
  bool Loaded = true;
  EXPECT_EQ(ErrorOf([&] { Loaded = capi::InitTesseractLib(RuntimeDir + "/Tesseract"); }), "");
  EXPECT_FALSE(Loaded);
  EXPECT_EQ(capi::hTesseractLib, nullptr);
  EXPECT_FALSE(leptonica::InitLeptonicaLib(RuntimeDir + "/Tesseract"));
  EXPECT_EQ(leptonica::hLeptonicaLib, nullptr);
  // A bare folder name means the current folder, never the system's library path.
  EXPECT_FALSE(capi::InitTesseractLib(""));
  EXPECT_EQ(capi::hTesseractLib, nullptr);

  ASSERT_TRUE(capi::InitTesseractLib(LibraryDir));
  ASSERT_NE(capi::hTesseractLib, nullptr);
  void* const Handle = capi::hTesseractLib;
  const std::vector<void*> Bound = TesseractPointers();
  EXPECT_FALSE(capi::InitTesseractLib(LibraryDir));
  EXPECT_FALSE(capi::InitTesseractLib("/nonexistent/"));
  EXPECT_EQ(capi::hTesseractLib, Handle);
  EXPECT_EQ(TesseractPointers(), Bound);

  // Tesseract is loaded; Leptonica comes from the folder the engine is given.
  EXPECT_EQ(ErrorOf([] { TTesseractOCR5 Engine("/nonexistent/"); }), "Leptonica library is not loaded");
  {
    TTesseractOCR5 First(LibraryDir);
    ASSERT_NE(leptonica::hLeptonicaLib, nullptr);
    ExpectAllBound();
    void* const Leptonica = leptonica::hLeptonicaLib;
    EXPECT_FALSE(leptonica::InitLeptonicaLib(LibraryDir));
    TTesseractOCR5 Second("/nonexistent/");
    EXPECT_EQ(capi::hTesseractLib, Handle);
    EXPECT_EQ(leptonica::hLeptonicaLib, Leptonica);
    EXPECT_TRUE(Second.Initialize(RuntimeDir + "/tessdata/", "eng"));
  }

  leptonica::FreeLeptonicaLib();
  capi::FreeTesseractLib();
  EXPECT_EQ(capi::hTesseractLib, nullptr);
  EXPECT_EQ(leptonica::hLeptonicaLib, nullptr);
  capi::FreeTesseractLib(); // nothing left to free
}

TEST(TesseractBinding, InitializeFailsWithoutTheTrainedData) {
  TTesseractOCR5 Engine(LibraryDir);
  struct TCase {
    QString DataPath, Language;
    bool Loads;
  } Cases[] = {
      {RuntimeDir + "/tessdata/", "xyz", false},
      {RuntimeDir + "/no-tessdata/", "eng", false},
      {RuntimeDir + "/tessdata/", "eng", true},
      // Names are never paths, not even to trained data that is there.
      {RuntimeDir + "/tessdata/", "../tessdata/eng", false},
      {RuntimeDir + "/tessdata/", "eng+../../../../etc/passwd", false},
      {RuntimeDir + "/tessdata/", RuntimeDir + "/tessdata/eng", false},
  };
  for (const TCase& Case : Cases) {
    EXPECT_EQ(Engine.Initialize(Case.DataPath, Case.Language), Case.Loads)
        << Case.DataPath.toStdString() << " " << Case.Language.toStdString();
    EXPECT_EQ(Engine.DataPath(), Case.DataPath);
  }
}

// The message the user sees for a language that cannot load, or none.
TEST(TesseractBinding, LanguageProblemsNameTheLanguage) {
  const QString Data = RuntimeDir + "/tessdata/";
  EXPECT_EQ(TesseractLanguageProblem(Data, "eng"), std::nullopt);
  struct TCase {
    QString Language;
    QString Message;
  } Cases[] = {
      {"", "[Tesseract] lang에 언어가 지정되지 않았습니다."},
      {"../../../../etc/passwd",
       "[Tesseract] lang의 언어 이름 \"../../../../etc/passwd\"은(는) 쓸 수 없습니다. 언어 이름에는 영문자, 숫자, '_', "
       "'-'만 쓸 수 있고, 여러 언어는 '+'로 잇습니다 (예: eng+kor)."},
      {"eng+", "[Tesseract] lang의 언어 이름 \"\"은(는) 쓸 수 없습니다. 언어 이름에는 영문자, 숫자, '_', '-'만 쓸 수 "
               "있고, 여러 언어는 '+'로 잇습니다 (예: eng+kor)."},
      {"eng+xyz", "[Tesseract] lang의 언어 \"xyz\"의 학습 데이터(xyz.traineddata)가 " + QDir(Data).absolutePath() +
                      "에 없습니다."},
  };
  for (const TCase& Case : Cases)
    EXPECT_EQ(TesseractLanguageProblem(Data, Case.Language), Case.Message) << Case.Language.toStdString();
  // A name that is not plain is refused before the disk is asked.
  EXPECT_TRUE(IsPlainTesseractLanguage("chi_sim+eng-x"));
  EXPECT_FALSE(IsPlainTesseractLanguage("a\\b"));
  EXPECT_FALSE(IsPlainTesseractLanguage(QStringLiteral("한국어")));
}

// Unloading must not leave pointers into the unmapped libraries, and the
// libraries load and bind again afterwards.
TEST(TesseractBinding, UnloadingClearsEveryPointerAndTheLibrariesLoadAgain) {
  { TTesseractOCR5 Engine(LibraryDir); }
  ASSERT_NE(capi::hTesseractLib, nullptr);
  ASSERT_NE(leptonica::hLeptonicaLib, nullptr);

  for (int Round = 0; Round < 2; ++Round) {
    SCOPED_TRACE(Round);
    leptonica::FreeLeptonicaLib();
    capi::FreeTesseractLib();
    EXPECT_EQ(TesseractPointers(), std::vector<void*>(TesseractPointers().size(), nullptr));
    EXPECT_EQ(LeptonicaPointers(), std::vector<void*>(LeptonicaPointers().size(), nullptr));

    ASSERT_TRUE(capi::InitTesseractLib(LibraryDir));
    ASSERT_TRUE(leptonica::InitLeptonicaLib(LibraryDir));
    ExpectAllBound();
    TTesseractOCR5 Engine(LibraryDir);
    EXPECT_TRUE(Engine.Initialize(RuntimeDir + "/tessdata/", "eng"));
  }
}

} // namespace
