// Real recognition with the runtime folder's libraries and trained data, on
// pictures rendered here.
#include "TesseractTestSupport.h"

#include "core/ReusableMemory.h"
#include "ocr/tesseractocr.h"

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QStringList>

#include <cmath>
#include <memory>

#include <gtest/gtest.h>

#include "support/TextImages.h"

namespace {

const QStringList Lines = {QStringLiteral("The quick brown fox"), QStringLiteral("jumps over the lazy dog"),
                           QStringLiteral("while the cat sleeps")};
constexpr int LineHeight = 60;

QImage RenderLines(const QStringList& Texts) { return RenderTextLines(Texts, 640, LineHeight, 32); }

class TesseractRecognition : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    Engine = std::make_unique<TTesseractOCR5>(RuntimeDir + "/Tesseract/");
    ASSERT_TRUE(Engine->Initialize(RuntimeDir + "/tessdata/", QStringLiteral("eng")));
  }
  static void TearDownTestSuite() { Engine.reset(); }
  static inline std::unique_ptr<TTesseractOCR5> Engine;
};

TEST_F(TesseractRecognition, ThreeLinesGiveThreeRecordsInReadingOrderInEveryBitmapFormat) {
  const QImage Picture = RenderLines(Lines);
  const QImage Bitmaps[] = {Picture, Picture.convertToFormat(QImage::Format_BGR888),
                            Picture.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither)};
  for (const QImage& Bitmap : Bitmaps) {
    SCOPED_TRACE(testing::Message() << "depth " << Bitmap.depth());
    ASSERT_TRUE(Engine->SetImage(Bitmap));
    TIteratorResultList List;
    Engine->Execute(tesseract::RIL_TEXTLINE, List);
    ASSERT_EQ(List.size(), 3u);
    for (int I = 0; I < 3; ++I) {
      const TIteratorResult& Line = List[I];
      EXPECT_EQ(Line.Text, Lines[I] + "\n");
      EXPECT_EQ(Line.Count, 1);
      EXPECT_EQ(Line.MaxLength, 0);
      EXPECT_EQ(Line.FFontSize, static_cast<int32_t>(std::ceil(0.7 * Line.GetHeight())));
      // The box lies on the line it was drawn on.
      EXPECT_GE(Line.Left, 15);
      EXPECT_GE(Line.Top, I * LineHeight);
      EXPECT_LE(Line.Bottom, (I + 1) * LineHeight);
      EXPECT_GT(Line.GetHeight(), 15);
      EXPECT_GT(Line.GetWidth(), 200);
    }
  }
}

TEST_F(TesseractRecognition, PicturesWithoutTextAddNothing) {
  QImage Blank(400, 120, QImage::Format_RGB32);
  Blank.fill(Qt::white);
  QImage Dot(1, 1, QImage::Format_RGB32);
  Dot.fill(Qt::black);
  const TIteratorResult Earlier{1, 2, 3, 4, QStringLiteral("kept"), 1, 0, 2};
  for (const QImage& Picture : {Blank, Dot}) {
    ASSERT_TRUE(Engine->SetImage(Picture));
    TIteratorResultList List{Earlier};
    Engine->Execute(tesseract::RIL_TEXTLINE, List);
    EXPECT_EQ(List, TIteratorResultList{Earlier}) << Picture.width();
  }
}

// The library's pictures come from reusable memory: a screen-sized page
// leaves its blocks behind for the next, which reads the same from them.
TEST_F(TesseractRecognition, ALargePageReusesTheLibrarysPictureMemoryAndReadsTheSame) {
  ReusableMemory::Release();
  QImage Page(1600, 900, QImage::Format_RGB32);
  Page.fill(Qt::white);
  QPainter(&Page).drawImage(100, 300, RenderLines(Lines));
  std::vector<TIteratorResultList> Readings;
  for (int Run = 0; Run < 3; ++Run) {
    ASSERT_TRUE(Engine->SetImage(Page));
    Engine->Execute(tesseract::RIL_TEXTLINE, Readings.emplace_back());
    Engine->Clear();
    // At least the library's own 8-bit copy of the page.
    EXPECT_GE(ReusableMemory::KeptBytes(), size_t(Page.width()) * Page.height()) << Run;
  }
  ASSERT_EQ(Readings[0].size(), 3u);
  EXPECT_EQ(Readings[1], Readings[0]);
  EXPECT_EQ(Readings[2], Readings[0]);
  ReusableMemory::Release();
  EXPECT_EQ(ReusableMemory::KeptBytes(), 0u);
}

} // namespace
