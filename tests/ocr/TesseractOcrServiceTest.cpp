// Korvex's own recognition service: its languages from the trained data,
// real word-level recognition through the OCR component, cancelling, and
// ending the service while a recognition runs.
#include "TesseractTestSupport.h"

#include "ocr/RtOcr.h"
#include "ocr/TesseractLanguages.h"
#include "ocr/TesseractOcrService.h"
#include "ocr/tesseractocr.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <optional>

#include "support/ScreenTextPictures.h"
#include "support/TextImages.h"
#include "support/ThreadNames.h"

namespace {

const QString DllPath = RuntimeDir + "/Tesseract/";
const QString DataPath = RuntimeDir + "/tessdata/";
constexpr int WaitMs = 120000; // recognition of a large picture on a loaded machine

int WorkerThreads() { return ThreadsNamed(TTesseractOcrService::WorkerThreadName); }

std::optional<TRtOcr::TLanguage> FindTag(const TRtOcr& Component, const QString& Tag) {
  for (const TRtOcr::TLanguage& Language : Component.GetAvailableLanguages())
    if (Language.LanguageTag == Tag)
      return Language;
  return std::nullopt;
}

// Many lines of text: long enough to recognise that a cancel or an end
// reaches it mid-way.
QImage LargePicture() {
  QStringList Lines;
  for (int I = 0; I < 40; ++I)
    Lines << QStringLiteral("Line %1 of a long page that keeps the recogniser busy for a while").arg(I);
  return RenderTextLines(Lines, 1400, 36, 22);
}

TEST(TesseractLanguages, TrainedDataNamesBecomeLanguageRecords) {
  struct TCase {
    const char* Code;
    TOcrLanguage Expected;
  };
  const TCase Cases[] = {
      {"eng", {"en-US", "English (United States)", "American English (United States)", "Latin"}},
      {"kor", {"ko-KR", "Korean (South Korea)", "한국어 (대한민국)", "Korean"}},
      {"chi_sim", {"zh-Hans-CN", "Chinese (Simplified Han, China)", "简体中文 (中国)", "Simplified Han"}},
      {"jpn_vert", {"ja-JP-x-vert", "Japanese (Japan, vertical)", "日本語 (日本, vertical)", "Japanese"}},
      {"frk", {"x-frk", "frk", "frk", ""}},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Code);
    const std::optional<TOcrLanguage> Language = LanguageOfTrainedData(QString::fromLatin1(Case.Code));
    ASSERT_TRUE(Language.has_value());
    EXPECT_EQ(Language->LanguageTag, Case.Expected.LanguageTag);
    EXPECT_EQ(Language->DisplayName, Case.Expected.DisplayName);
    EXPECT_EQ(Language->NativeName, Case.Expected.NativeName);
    EXPECT_EQ(Language->Script, Case.Expected.Script);
  }
  for (const char* NotALanguage : {"osd", "equ", ""})
    EXPECT_FALSE(LanguageOfTrainedData(QString::fromLatin1(NotALanguage))) << NotALanguage;
}

TEST(TesseractLanguages, OnePerTrainedDataFileInNameOrder) {
  QTemporaryDir Data;
  for (const char* File : {"kor.traineddata", "osd.traineddata", "eng.traineddata", "readme.txt", "deu.traineddata"}) {
    QFile Empty(Data.filePath(QLatin1String(File)));
    ASSERT_TRUE(Empty.open(QIODevice::WriteOnly));
  }
  TTesseractOcrService Service(DllPath, Data.path() + "/");
  std::vector<QString> Tags;
  for (const TOcrLanguage& Language : Service.AvailableRecognizerLanguages())
    Tags.push_back(Language.LanguageTag);
  EXPECT_EQ(Tags, (std::vector<QString>{"de-DE", "en-US", "ko-KR"}));
  EXPECT_NE(Service.TryCreateFromLanguage({"ko-KR", "", "", ""}), nullptr) << "found by its tag";
  EXPECT_EQ(Service.TryCreateFromLanguage({"fr-FR", "", "", ""}), nullptr);
}

class TesseractOcrService : public ::testing::Test {
protected:
  void SetUp() override {
    Service.emplace(DllPath, DataPath);
    Component.emplace(*Service);
    const auto Found = FindTag(*Component, "en-US");
    ASSERT_TRUE(Found) << "no eng.traineddata in " << DataPath.toStdString();
    English = *Found;
  }

  std::optional<TTesseractOcrService> Service;
  std::optional<TRtOcr> Component;
  TRtOcr::TLanguage English;
};

TEST_F(TesseractOcrService, ThreeRenderedLinesComeBackAsLinesOfWordsThatEncloseTheInk) {
  const QStringList Texts = {"The quick brown fox", "jumps over the lazy dog", "while the cat sleeps"};
  const TRenderedWords Rendered = RenderWordLines(Texts, 640, 60, 32);
  Component->SetPicture(Rendered.Picture);
  std::optional<TRtOcr::TResult> Result;
  QThread* HandlerThread = nullptr;
  Component->Recognize(
      English,
      [&](const TRtOcr::TResult& Arrived) {
        HandlerThread = QThread::currentThread();
        Result = Arrived;
      },
      0, 0, 0, 0);
  EXPECT_FALSE(Result) << "Recognize returned before the result";
  ASSERT_TRUE(QTest::qWaitFor([&] { return Result.has_value(); }, WaitMs));
  EXPECT_EQ(HandlerThread, QCoreApplication::instance()->thread());
  ASSERT_EQ(Result->Status, TRtOcr::stCompleted);
  EXPECT_EQ(Result->Text, Texts.join('\n'));
  ASSERT_EQ(Result->Lines.size(), 3u);
  for (int I = 0; I < 3; ++I) {
    SCOPED_TRACE(Texts[I].toStdString());
    const TRtOcr::TLine& Line = Result->Lines[I];
    EXPECT_EQ(Line.Text, Texts[I]);
    ASSERT_EQ(Line.Words.size(), Rendered.Lines[I].size());
    for (std::size_t W = 0; W < Line.Words.size(); ++W) {
      const TRtOcr::TWord& Word = Line.Words[W];
      const QRect Ink = Rendered.Lines[I][W].Ink;
      EXPECT_EQ(Word.Text, Rendered.Lines[I][W].Text);
      // Anti-aliased edges may fall either side of the library's threshold.
      EXPECT_LE(Word.BoundingRect.X, Ink.left() + 1) << Word.Text.toStdString();
      EXPECT_LE(Word.BoundingRect.Y, Ink.top() + 1) << Word.Text.toStdString();
      EXPECT_GE(Word.BoundingRect.X + Word.BoundingRect.Width, Ink.right()) << Word.Text.toStdString();
      EXPECT_GE(Word.BoundingRect.Y + Word.BoundingRect.Height, Ink.bottom()) << Word.Text.toStdString();
    }
  }
}

TEST_F(TesseractOcrService, ARectangleIsRecognisedInItsOwnPixels) {
  const TRenderedWords Rendered = RenderWordLines({"first line here", "second line there"}, 600, 60, 32);
  Component->SetPicture(Rendered.Picture);
  std::optional<TRtOcr::TResult> Result;
  Component->Recognize(
      English, [&](const TRtOcr::TResult& Arrived) { Result = Arrived; }, 0, 60, 600, 120);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Result.has_value(); }, WaitMs));
  ASSERT_EQ(Result->Lines.size(), 1u);
  EXPECT_EQ(Result->Lines[0].Text, "second line there");
  EXPECT_LT(Result->Lines[0].Words[0].BoundingRect.Y, 60.0f) << "boxes are in pixels of the rectangle";
}

// The service with the component's enhancement switch; the result once it has arrived.
TRtOcr::TResult RecognizeWaiting(TRtOcr& Component, const TRtOcr::TLanguage& Language, const QImage& Picture,
                                 bool Enhance) {
  Component.SetPicture(Picture);
  Component.SetEnhance(Enhance);
  std::optional<TRtOcr::TResult> Result;
  Component.Recognize(
      Language, [&](const TRtOcr::TResult& Arrived) { Result = Arrived; }, 0, 0, 0, 0);
  EXPECT_TRUE(QTest::qWaitFor([&] { return Result.has_value(); }, WaitMs));
  return Result.value_or(TRtOcr::TResult{TRtOcr::stError, {}, {}, 0});
}

// Small text on a light gradient, which bare Tesseract reads at half its
// words or less: enhanced, it is read enlarged, and every word's box must
// come back on the rendered line in the bitmap's own pixels.
TEST_F(TesseractOcrService, HardTextIsReadEnhancedWithWordBoxesOnTheRenderedLines) {
  const TScreenTextPicture Sample = RenderScreenText(TScreenTextClass::LightGradient, 12, 21, 21);
  ASSERT_GT(EnhanceForRecognition(Sample.Image).front().Scale, 1);
  const TRtOcr::TResult Result = RecognizeWaiting(*Component, English, Sample.Image, true);
  ASSERT_EQ(Result.Status, TRtOcr::stCompleted);
  EXPECT_GE(WordAccuracy(Sample.Lines, Result.Text), 0.85) << qPrintable(Result.Text.simplified());
  ASSERT_EQ(Result.Lines.size(), Sample.LineBoxes.size()) << qPrintable(Result.Text);
  for (std::size_t I = 0; I < Result.Lines.size(); ++I) {
    SCOPED_TRACE(testing::Message() << "line " << I);
    // Anti-aliased edges and the enlargement's rounding: two pixels either way.
    const QRectF Ink = QRectF(Sample.LineBoxes[I]).adjusted(-2, -2, 3, 3);
    QRectF Covered;
    for (const TRtOcr::TWord& Word : Result.Lines[I].Words) {
      const QRectF Box(Word.BoundingRect.X, Word.BoundingRect.Y, Word.BoundingRect.Width, Word.BoundingRect.Height);
      EXPECT_TRUE(Ink.contains(Box)) << Word.Text.toStdString();
      Covered |= Box;
    }
    EXPECT_LE(Covered.left(), Sample.LineBoxes[I].left() + 2);
    EXPECT_GE(Covered.right(), Sample.LineBoxes[I].right() - 2);
  }
}

// The better reading of a single word from another picture reaches the
// service's words too: "Newlevel" on the picture chosen, "New level" on
// another.
TEST_F(TesseractOcrService, AWordsBetterReadingFromAnotherPictureReachesTheWords) {
  const TScreenTextPicture Sample = RenderScreenText(TScreenTextClass::ShadowedSubtitle, 13, 7, 7);
  const TRtOcr::TResult Result = RecognizeWaiting(*Component, English, Sample.Image, true);
  ASSERT_EQ(Result.Status, TRtOcr::stCompleted);
  EXPECT_GE(WordAccuracy(Sample.Lines, Result.Text), 0.95) << qPrintable(Result.Text.simplified());
  QStringList Words;
  for (const TRtOcr::TLine& Line : Result.Lines)
    for (const TRtOcr::TWord& Word : Line.Words)
      Words << Word.Text;
  EXPECT_TRUE(Words.contains(QStringLiteral("New level"))) << qPrintable(Words.join(QLatin1Char('|')));
}

// Lines of stray marks from a busy background are left out of the
// service's result as out of the engine's: only the subtitle's two lines.
TEST_F(TesseractOcrService, LinesOfStrayMarksAreLeftOut) {
  const TScreenTextPicture Sample = RenderScreenText(TScreenTextClass::OutlinedSubtitle, 16, 4, 4);
  const TRtOcr::TResult Result = RecognizeWaiting(*Component, English, Sample.Image, true);
  ASSERT_EQ(Result.Status, TRtOcr::stCompleted);
  EXPECT_EQ(Result.Lines.size(), Sample.Lines.size()) << qPrintable(Result.Text);
  EXPECT_GE(WordAccuracy(Sample.Lines, Result.Text), 0.95) << qPrintable(Result.Text.simplified());
}

// Short marks of a texture within the lines are left out of the service's
// words as out of the engine's records.
TEST_F(TesseractOcrService, StrayMarksWithinLinesAreLeftOut) {
  const TScreenTextPicture Sample = RenderScreenText(TScreenTextClass::YellowOnTexture, 13, 0, 0);
  const TRtOcr::TResult Result = RecognizeWaiting(*Component, English, Sample.Image, true);
  ASSERT_EQ(Result.Status, TRtOcr::stCompleted);
  const TWordMatch Match = MatchWords(Sample.Lines, Result.Text);
  EXPECT_GE(Match.Accuracy(), 0.95) << qPrintable(Result.Text.simplified());
  EXPECT_LE(Match.Stray(), 1) << qPrintable(Result.Text.simplified());
}

// Off, the service reads the bitmap itself, exactly as the library does; on,
// a plain capture is read untouched too.
TEST_F(TesseractOcrService, WithoutEnhancementOrOnPlainTextTheBitmapIsReadAsItIs) {
  TTesseractOCR5 Direct(DllPath);
  ASSERT_TRUE(Direct.Initialize(DataPath, QStringLiteral("eng")));
  struct TCase {
    const char* Name;
    QImage Picture;
    bool Enhance;
  };
  const TCase Cases[] = {
      {"hard, off", RenderScreenText(TScreenTextClass::LightGradient, 12, 21, 21).Image, false},
      {"plain, on", RenderScreenText(TScreenTextClass::CleanLight, 22, 1).Image, true},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    TTesseractWords Words;
    ASSERT_TRUE(Direct.SetImage(Case.Picture));
    ASSERT_TRUE(Direct.ExecuteWords(Words, nullptr));
    const TOcrResult Expected = TTesseractOcrService::ResultFromWords(Words);
    const TRtOcr::TResult Result = RecognizeWaiting(*Component, English, Case.Picture, Case.Enhance);
    ASSERT_EQ(Result.Status, TRtOcr::stCompleted);
    EXPECT_EQ(Result.Text, Expected.Text);
    ASSERT_EQ(Result.Lines.size(), Expected.Lines.size());
    for (std::size_t I = 0; I < Result.Lines.size(); ++I) {
      ASSERT_EQ(Result.Lines[I].Words.size(), Expected.Lines[I].Words.size());
      for (std::size_t W = 0; W < Result.Lines[I].Words.size(); ++W) {
        const TRtOcr::TSRect& Got = Result.Lines[I].Words[W].BoundingRect;
        EXPECT_EQ((TOcrRect{Got.X, Got.Y, Got.Width, Got.Height}), Expected.Lines[I].Words[W].BoundingRect);
      }
    }
  }
}

TEST_F(TesseractOcrService, CancelEndsARunningRecognitionAsCancelled) {
  const std::unique_ptr<TOcrRecognizer> Recognizer = Service->TryCreateFromLanguage({"en-US", "", "", ""});
  ASSERT_NE(Recognizer, nullptr);
  const std::shared_ptr<TOcrOperation> Operation =
      Recognizer->RecognizeAsync(TRtOcr::PictureToBitmap(LargePicture(), 0, 0, 0, 0));
  Operation->Cancel();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Operation->Status() != TOcrAsyncStatus::Started; }, WaitMs));
  EXPECT_EQ(Operation->Status(), TOcrAsyncStatus::Canceled);
  EXPECT_THROW(Operation->GetResults(), EOcrServiceError);
}

TEST_F(TesseractOcrService, DamagedTrainedDataEndsWithAnError) {
  QTemporaryDir Data;
  QFile Damaged(Data.filePath("eng.traineddata"));
  ASSERT_TRUE(Damaged.open(QIODevice::WriteOnly));
  Damaged.write("not trained data");
  Damaged.close();
  TTesseractOcrService Broken(DllPath, Data.path() + "/");
  TRtOcr OverBroken(Broken);
  OverBroken.SetPicture(RenderTextLines({"text"}, 200, 50, 30));
  std::optional<TRtOcr::TResult> Result;
  OverBroken.Recognize(
      *FindTag(OverBroken, "en-US"), [&](const TRtOcr::TResult& Arrived) { Result = Arrived; }, 0, 0, 0, 0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Result.has_value(); }, WaitMs));
  EXPECT_EQ(Result->Status, TRtOcr::stError);
  EXPECT_TRUE(Result->Lines.empty());
}

TEST_F(TesseractOcrService, EndingComponentAndServiceMidRecognitionLeavesNoHandlerCallAndNoThread) {
  Component.reset();
  Service.reset();
  ASSERT_EQ(WorkerThreads(), 0);
  int Calls = 0;
  {
    TTesseractOcrService Running(DllPath, DataPath);
    auto Dropped = std::make_unique<TRtOcr>(Running);
    Dropped->OnCompleted = [&](TRtOcr*, const TRtOcr::TResult&, void*) { ++Calls; };
    Dropped->SetPicture(LargePicture());
    Dropped->Recognize(*FindTag(*Dropped, "en-US"), nullptr, 0, 0, 0, 0);
    // A second recognition waits behind the first; both must end.
    TRtOcr Waiting(Running);
    Waiting.SetPicture(LargePicture());
    Waiting.Recognize(
        *FindTag(Waiting, "en-US"), [&](const TRtOcr::TResult&) { ++Calls; }, 0, 0, 0, 0);
    EXPECT_EQ(WorkerThreads(), 1) << "one worker runs both";
    Dropped.reset();
  }
  QCoreApplication::processEvents();
  QCoreApplication::sendPostedEvents();
  EXPECT_EQ(Calls, 0);
  EXPECT_EQ(WorkerThreads(), 0);
}

} // namespace
