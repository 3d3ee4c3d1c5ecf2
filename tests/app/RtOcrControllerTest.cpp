// The main window with the desktop's recogniser ("Windows OCR"): its
// languages at start, the menu item, the recognition of a selected area
// through Korvex's own Tesseract-backed service, and the end of the program
// while a recognition runs. Offscreen, on the fake platform.
#include "app/UnitFormOCR.h"
#include "ocr/TesseractOcrService.h"
#include "overlay/TranslateForm.h"
#include "platform/fake/FakePlatform.h"
#include "settings/ConfigIni.h"

#include <QAction>
#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

#include "support/TestRuntime.h"
#include "support/TextImages.h"
#include "support/ThreadNames.h"

namespace {

constexpr int WaitMs = 120000;
const TOcrLanguage English{"en-US", "English (United States)", "English (United States)", "Latin"};
const TOcrLanguage Korean{"ko-KR", "Korean (South Korea)", "한국어 (대한민국)", "Korean"};

class RtOcrController : public ::testing::Test {
protected:
  void Configure(const char* Section, const char* Key, const QString& Value) {
    TConfigIni(Runtime.IniPath()).WriteString(Section, Key, Value);
  }
  // The screen white, with Picture at Origin.
  void PutOnScreen(const QImage& Picture, QPoint Origin) {
    Desktop.Screen = QImage(Desktop.ScreenSize, QImage::Format_RGB32);
    Desktop.Screen.fill(Qt::white);
    QPainter(&Desktop.Screen).drawImage(Origin, Picture);
  }

  TFakePlatform Desktop;
  TTestRuntimeFolder Runtime;
};

TEST_F(RtOcrController, StartListsTheServicesLanguagesAndOffersTheStoredEngine) {
  Desktop.Ocr.Languages = {English, Korean};
  Configure("OCR", "Engine", "Windows OCR");
  TFormOCR Form(Runtime.Path(), Desktop);
  ASSERT_FALSE(Form.StartFailed());
  ASSERT_EQ(Form.OCRLanguages().size(), 2u);
  EXPECT_EQ(Form.OCRLanguages()[1].LanguageTag, "ko-KR");
  EXPECT_EQ(Form.OCRLanguages()[1].NativeName, "한국어 (대한민국)");
  EXPECT_TRUE(Form.mnuWindowsOCR->isEnabled());
  EXPECT_TRUE(Form.mnuWindowsOCR->isChecked());
  EXPECT_EQ(Form.Pipeline().Options.Engine, TOCREngineKind::WindowsOCR);
  EXPECT_EQ(&Form.OcrService(), &Desktop.Ocr) << "the platform's own service comes first";
}

TEST_F(RtOcrController, ALanguageNumberOutsideTheListStartsNoRecognition) {
  Desktop.Ocr.Languages = {English};
  Configure("OCR", "Language", "3");
  TFormOCR Form(Runtime.Path(), Desktop);
  Form.mnuWindowsOCR->setChecked(true);
  Form.Pipeline().SetSelectedRect({0, 0, 100, 50});
  TMessageBoxAnswerer User;
  bool Ended = false;
  Form.CaptureAndTranslate(false, [&Ended] { Ended = true; });
  EXPECT_TRUE(Ended);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !User.Boxes.empty(); }, 5000));
  EXPECT_EQ(User.Texts(), QStringList{"OCR 언어 3번이 없습니다. 설치된 OCR 언어는 1개(0~0번)입니다. 환경 설정에서 OCR "
                                      "언어를 다시 선택하세요."});
  EXPECT_TRUE(Desktop.Ocr.Operations.empty());
  EXPECT_TRUE(Form.Idle());
}

// Without a service of the platform's own, Korvex recognises with its own.
class RtOcrControllerWithKorvexService : public RtOcrController {
protected:
  RtOcrControllerWithKorvexService() { Desktop.HasOcrService = false; }
};

TEST_F(RtOcrControllerWithKorvexService, ASelectedAreaIsRecognisedAndEachLineBoxEnclosesItsWords) {
  const QStringList Texts = {"The quick brown fox", "jumps over the lazy dog", "while the cat sleeps"};
  const TRenderedWords Rendered = RenderWordLines(Texts, 640, 60, 32);
  const QPoint Origin(200, 150);
  PutOnScreen(Rendered.Picture, Origin);
  Configure("Translation", "TextLine", "1");
  TFormOCR Form(Runtime.Path(), Desktop);
  ASSERT_FALSE(Form.StartFailed());
  ASSERT_NE(dynamic_cast<TTesseractOcrService*>(&Form.OcrService()), nullptr);
  ASSERT_FALSE(Form.OCRLanguages().empty());
  ASSERT_EQ(Form.OCRLanguages()[0].LanguageTag, "en-US") << "eng sorts first in the build's tessdata";
  Form.mnuWindowsOCR->setChecked(true);
  Form.mnuOCROnly->setChecked(true); // no translation server needed
  // A little white around the text, as a user's selection has.
  Form.Pipeline().SetSelectedRect({Origin.x() - 10, Origin.y() - 10, Origin.x() + 650, Origin.y() + 190});

  Form.CaptureAndTranslate(false);
  EXPECT_TRUE(Form.RtOcr().Busy());
  ASSERT_TRUE(QTest::qWaitFor([&] { return Form.Idle(); }, WaitMs));
  const TIteratorResultList& Shown = Form.Pipeline().TargetList();
  ASSERT_EQ(Shown.size(), 3u);
  for (int I = 0; I < 3; ++I) {
    SCOPED_TRACE(Texts[I].toStdString());
    EXPECT_EQ(Shown[I].Text, Texts[I]);
    const QRect Box(QPoint(Shown[I].Left, Shown[I].Top), QPoint(Shown[I].Right, Shown[I].Bottom));
    for (const TRenderedWords::TWordInk& Word : Rendered.Lines[I]) {
      // Ink in picture pixels, moved into the captured area; anti-aliased
      // edges may fall either side of the library's threshold.
      const QRect Ink = Word.Ink.translated(10, 10).adjusted(1, 1, -1, -1);
      EXPECT_TRUE(Box.contains(Ink)) << Word.Text.toStdString();
    }
  }
  EXPECT_TRUE(Form.FTranslateForm->isVisible());
  EXPECT_EQ(Form.FTranslateForm->geometry(), QRect(190, 140, 660, 200));
}

TEST_F(RtOcrControllerWithKorvexService, ClosingTheProgramWhileARecognitionRunsEndsItsWorker) {
  QStringList Lines;
  for (int I = 0; I < 30; ++I)
    Lines << QStringLiteral("Line %1 of a long page that keeps the recogniser busy").arg(I);
  PutOnScreen(RenderTextLines(Lines, 1400, 34, 22), QPoint(0, 0));
  {
    TFormOCR Form(Runtime.Path(), Desktop);
    ASSERT_FALSE(Form.StartFailed());
    Form.mnuWindowsOCR->setChecked(true);
    Form.mnuOCROnly->setChecked(true);
    Form.Pipeline().SetSelectedRect({0, 0, 1400, 1020});
    Form.CaptureAndTranslate(false);
    ASSERT_TRUE(Form.RtOcr().Busy());
    EXPECT_EQ(ThreadsNamed(TTesseractOcrService::WorkerThreadName), 1);
    Form.close();
  }
  // A completion posted on the way out must find nothing to call.
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
  EXPECT_EQ(ThreadsNamed(TTesseractOcrService::WorkerThreadName), 0);
}

} // namespace
