// A Tesseract library that lacks TessBaseAPIInit3 and everything after it.
#include "TesseractTestSupport.h"

#include "ocr/tesseractocr.capi.h"
#include "ocr/tesseractocr.h"
#include "ocr/tesseractocr.leptonica.h"

#include <gtest/gtest.h>

namespace {

using namespace tesseractocr;

TEST(TesseractPartialBinding, StopsAtTheFirstMissingNameAndNoEngineIsBuilt) {
  const QString Folder = QStringLiteral(KORVEX_DOUBLES_DIR "/partial-tesseract/");
  const std::string Expected = "Error while loading Tesseract function: TessBaseAPIInit3";
  EXPECT_EQ(ErrorOf([&] { capi::InitTesseractLib(Folder); }), Expected);

  std::vector<bool> Bound;
#define KORVEX_COLLECT(Name) Bound.push_back(capi::Name != nullptr);
  KORVEX_TESSERACT_ENTRY_POINTS(KORVEX_COLLECT)
#undef KORVEX_COLLECT
  std::vector<bool> FirstThirtyEight(Bound.size(), false);
  std::fill_n(FirstThirtyEight.begin(), 38, true);
  EXPECT_EQ(Bound, FirstThirtyEight);
  EXPECT_EQ(capi::TessBaseAPIInit3, nullptr);

  // The library counts as not loaded, so every later engine fails the same
  // way instead of running on null entry points.
  EXPECT_EQ(capi::hTesseractLib, nullptr);
  for (int Attempt = 0; Attempt < 2; ++Attempt)
    EXPECT_EQ(ErrorOf([&] { TTesseractOCR5 Engine(Folder); }), Expected);
  EXPECT_EQ(leptonica::hLeptonicaLib, nullptr);
}

} // namespace
