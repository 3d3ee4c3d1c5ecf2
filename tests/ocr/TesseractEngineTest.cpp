// The engine against the scripted Tesseract double (with the real Leptonica),
// which makes recognition results exact and records how the library is used.
#include "TesseractTestSupport.h"
#include "doubles/FakeTesseract.h"

#include "ocr/tesseractocr.capi.h"
#include "ocr/tesseractocr.h"
#include "ocr/tesseractocr.utils.h"

#include <QImage>

#include <dlfcn.h>

#include <cmath>
#include <cstring>
#include <memory>

#include <gtest/gtest.h>

namespace {

using namespace tesseractocr;
using TStrings = std::vector<std::string>;

const QString FakeDir = QStringLiteral(KORVEX_DOUBLES_DIR "/fake-tesseract/");

class TesseractEngine : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    Engine = std::make_unique<TTesseractOCR5>(FakeDir);
    auto Script = reinterpret_cast<decltype(&KorvexFakeTesseract)>(dlsym(capi::hTesseractLib, "KorvexFakeTesseract"));
    ASSERT_NE(Script, nullptr) << "the binding did not load the scripted double";
    Fake = Script();
  }
  static void TearDownTestSuite() { Engine.reset(); }
  void SetUp() override {
    Fake->Reset();
    ASSERT_TRUE(Engine->Initialize(QStringLiteral("/data/"), QStringLiteral("eng")));
    Fake->Reset();
  }

  static TIteratorResult Record(int Left, int Top, int Right, int Bottom, const QString& Text) {
    return {Left, Top, Right, Bottom, Text, 1, 0, static_cast<int32_t>(std::ceil((Bottom - Top) * 0.7))};
  }

  static inline std::unique_ptr<TTesseractOCR5> Engine;
  static inline TFakeTesseract* Fake = nullptr;
};

const TIteratorResult Earlier{1, 2, 3, 4, QStringLiteral("already there"), 2, 7, 3};

// A picture of Width x 5 pixels with a different colour in every pixel.
QImage Pattern(QImage::Format Format, int Width) {
  QImage Image(Width, 5, QImage::Format_RGB32);
  for (int Y = 0; Y < Image.height(); ++Y)
    for (int X = 0; X < Image.width(); ++X)
      Image.setPixel(X, Y, qRgb(X * 37 % 256, Y * 61 % 256, (X * Y * 13 + 90) % 256));
  if (Format == QImage::Format_Mono)
    return Image.convertToFormat(Format, Qt::ThresholdDither);
  if (Format == QImage::Format_Indexed8)
    return Image.convertToFormat(Format, Qt::ThresholdDither | Qt::AvoidDither);
  return Image.convertToFormat(Format);
}

TEST_F(TesseractEngine, ExecuteKeepsElementsAboveConfidenceTenInReadingOrder) {
  Fake->Elements = {
      {true, 5, 10, 105, 30, "Hello world\n", 10.5f},
      {true, 5, 40, 105, 60, "exactly ten\n", 10.0f},
      {true, 5, 70, 105, 90, "just below\n", 9.99f},
      {false, 0, 0, 0, 0, "no box\n", 95.0f},
      {true, 0, 100, 50, 133, "caf\xC3\xA9\n", 99.9f},
      {true, 7, 140, 9, 141, std::nullopt, 50.0f},
      {true, 5, 150, 105, 170, "barely above\n", std::nextafter(10.0f, 11.0f)},
      {true, 5, 180, 105, 200, "nothing\n", 0.0f},
  };
  TIteratorResultList List{Earlier};
  Engine->Execute(tesseract::RIL_TEXTLINE, List);

  const TIteratorResultList Expected{
      Earlier,
      Record(5, 10, 105, 30, QStringLiteral("Hello world\n")),
      Record(0, 0, 0, 0, QStringLiteral("no box\n")),
      Record(0, 100, 50, 133, QStringLiteral("café\n")),
      Record(7, 140, 9, 141, QString()),
      Record(5, 150, 105, 170, QStringLiteral("barely above\n")),
  };
  EXPECT_EQ(List, Expected);
  EXPECT_EQ(List[3].FFontSize, 24);
  EXPECT_EQ(Fake->Calls, (TStrings{"Recognize", "GetIterator", "IteratorDelete"}));
  EXPECT_TRUE(Fake->MonitorLetsRecognitionRun);
  EXPECT_TRUE(Fake->TextsOutstanding.empty()) << "text buffers not released";
  EXPECT_EQ(Fake->TextsReleased.size(), 7u);
  for (int Level : Fake->Levels)
    EXPECT_EQ(Level, tesseract::RIL_TEXTLINE);
}

TEST_F(TesseractEngine, ExecuteUsesTheLevelItIsGiven) {
  Fake->Elements = {{true, 1, 2, 3, 4, "word", 80.0f}, {true, 5, 6, 7, 8, "next", 80.0f}};
  TIteratorResultList List;
  Engine->Execute(tesseract::RIL_WORD, List);
  ASSERT_EQ(List.size(), 2u);
  EXPECT_EQ(List[1].Text, "next");
  ASSERT_FALSE(Fake->Levels.empty());
  for (int Level : Fake->Levels)
    EXPECT_EQ(Level, tesseract::RIL_WORD);
}

TEST_F(TesseractEngine, ExecuteLeavesTheListAsItWasWhenNothingIsRecognised) {
  struct TCase {
    const char* Name;
    int RecognizeResult;
    bool NoIterator;
    TStrings Calls;
  } Cases[] = {
      {"recognition fails", -1, false, {"Recognize"}},
      {"no iterator", 0, true, {"Recognize", "GetIterator"}},
      {"no elements", 0, false, {"Recognize", "GetIterator", "IteratorDelete"}},
  };
  for (const TCase& Case : Cases) {
    Fake->Reset();
    Fake->RecognizeResult = Case.RecognizeResult;
    Fake->NoIterator = Case.NoIterator;
    if (Case.RecognizeResult != 0)
      Fake->Elements = {{true, 1, 2, 3, 4, "never read\n", 90.0f}};
    TIteratorResultList List{Earlier};
    Engine->Execute(tesseract::RIL_TEXTLINE, List);
    EXPECT_EQ(List, TIteratorResultList{Earlier}) << Case.Name;
    EXPECT_EQ(Fake->Calls, Case.Calls) << Case.Name;
  }
}

TEST_F(TesseractEngine, InitializePassesPathAndLanguageAsUtf8) {
  for (int Result : {0, -1}) {
    Fake->Init3Result = Result;
    const QString Path = QStringLiteral("/tmp/데이터/tessdata/");
    EXPECT_EQ(Engine->Initialize(Path, QStringLiteral("eng+kor")), Result == 0);
    EXPECT_EQ(Fake->Init3DataPath, "/tmp/\xEB\x8D\xB0\xEC\x9D\xB4\xED\x84\xB0/tessdata/");
    EXPECT_EQ(Fake->Init3Language, "eng+kor");
    EXPECT_EQ(Engine->DataPath(), Path);
  }
  // Without trained data the library ignores images, so the engine says so.
  Fake->Calls.clear();
  EXPECT_FALSE(Engine->SetImage(Pattern(QImage::Format_RGB32, 4)));
  EXPECT_TRUE(Fake->Calls.empty());
}

TEST_F(TesseractEngine, DestructionEndsThenDeletesItsOwnHandle) {
  { TTesseractOCR5 Other(QStringLiteral("/ignored/because/loaded/")); }
  EXPECT_EQ(Fake->Calls, (TStrings{"Create", "End", "Delete"}));
}

// The library gets every pixel of any format as the grey level it would
// compute itself from the pixel's red, green and blue.
TEST_F(TesseractEngine, SetImageHandsTheLibraryTheGreyOfEveryColourOfAnyFormat) {
  const QImage::Format Formats[] = {QImage::Format_RGB32,
                                    QImage::Format_ARGB32,
                                    QImage::Format_BGR888,
                                    QImage::Format_RGB888,
                                    QImage::Format_Mono,
                                    QImage::Format_MonoLSB,
                                    QImage::Format_Indexed8,
                                    QImage::Format_Grayscale8,
                                    QImage::Format_RGB16,
                                    QImage::Format_RGBA8888,
                                    QImage::Format_ARGB32_Premultiplied};
  for (QImage::Format Format : Formats) {
    for (int Width : {1, 7, 33}) {
      const QImage Image = Pattern(Format, Width);
      Fake->Reset();
      ASSERT_TRUE(Engine->SetImage(Image)) << Format;
      ASSERT_EQ(Fake->Calls, TStrings{"SetImage"});
      const TFakeTesseract::TImage& Given = Fake->Image;
      ASSERT_EQ(QSize(Given.Width, Given.Height), Image.size()) << Format;
      ASSERT_EQ(Given.BytesPerPixel, 1);
      ASSERT_GE(Given.BytesPerLine, Given.Width);
      int Wrong = 0;
      for (int Y = 0; Y < Given.Height; ++Y)
        for (int X = 0; X < Given.Width; ++X) {
          const QRgb Colour = Image.pixel(X, Y);
          const int Expected = int(double(0.3f * qRed(Colour) + 0.5f * qGreen(Colour) + 0.2f * qBlue(Colour)) + 0.5);
          Wrong += Given.Bytes[static_cast<size_t>(Y) * Given.BytesPerLine + X] != Expected;
        }
      EXPECT_EQ(Wrong, 0) << "format " << Format << ", width " << Width;
    }
  }
}

TEST_F(TesseractEngine, SetImageRefusesWhatTheLibraryCannotTake) {
  // Never read: SetImage must refuse on the size alone.
  static const uchar Pixels[8] = {};
  const QImage Images[] = {QImage(), QImage(Pixels, 23200, 23200, QImage::Format_Mono),
                           QImage(Pixels, 1, 1 << 29, QImage::Format_Mono)};
  for (const QImage& Image : Images) {
    Fake->Reset();
    EXPECT_EQ(Image.isNull(), &Image == &Images[0]);
    EXPECT_FALSE(Engine->SetImage(Image)) << Image.width() << " x " << Image.height();
    EXPECT_TRUE(Fake->Calls.empty());
  }
}

TEST_F(TesseractEngine, PUTF8CharToStringCopiesAndReleasesWhenAsked) {
  EXPECT_EQ(PUTF8CharToString(nullptr, true), QString());
  EXPECT_TRUE(Fake->TextsReleased.empty());

  char* Empty = new char[1]{0};
  EXPECT_EQ(PUTF8CharToString(Empty, true), QString());
  EXPECT_EQ(Fake->TextsReleased, std::vector<const char*>{Empty});

  const char Cafe[] = {0x63, 0x61, 0x66, static_cast<char>(0xC3), static_cast<char>(0xA9), 0, 0x78, 0};
  const QString Word = PUTF8CharToString(Cafe, false);
  EXPECT_EQ(Word.size(), 4);
  EXPECT_EQ(Word, QString::fromUtf16(u"caf\u00E9"));
  EXPECT_EQ(Fake->TextsReleased.size(), 1u);

  char* Owned = new char[sizeof Cafe];
  std::memcpy(Owned, Cafe, sizeof Cafe);
  EXPECT_EQ(PUTF8CharToString(Owned, true), Word);
  EXPECT_EQ(Fake->TextsReleased.back(), Owned);
}

} // namespace
