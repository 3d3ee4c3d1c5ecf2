#include "app/UnitFormOCR.h"
#include "ocr/tesseractocr.capi.h"
#include "ocr/tesseractocr.h"
#include "platform/fake/FakePlatform.h"
#include "settings/ConfigIni.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

#include "support/TestRuntime.h"
#include "support/TextImages.h"

namespace {

// A runtime folder of the test's own: links to the build's trained data and
// (unless left out) its libraries, and a Config.ini of its own.
class FormOCRTesseract : public ::testing::Test {
protected:
  TFakePlatform Desktop;

  void Link(const char* Name) { ASSERT_TRUE(Runtime.Link(Name)); }
  void SetLanguage(const QString& Lang) { TConfigIni(Runtime.IniPath()).WriteString("Tesseract", "lang", Lang); }

  TTestRuntimeFolder Runtime{false, false};
};

// Runs first: later tests load the libraries for the rest of the process.
TEST_F(FormOCRTesseract, WithoutTheLibrariesStartFailsAndSaysWhy) {
  ASSERT_EQ(tesseractocr::capi::hTesseractLib, nullptr) << "this test must run before the libraries are loaded";
  Link("tessdata");
  TMessageBoxAnswerer User;
  TFormOCR Form(Runtime.Path(), Desktop);
  EXPECT_TRUE(Form.StartFailed());
  // The library's message is an error box that does not wait, open while
  // the modal one about the data waits for the user.
  ASSERT_TRUE(QTest::qWaitFor([&] { return User.Boxes.size() >= 2; }, 5000)) << User.Texts().join('\n').toStdString();
  ASSERT_EQ(User.Boxes.size(), 2u);
  EXPECT_TRUE(User.Texts().contains("Tesseract library is not loaded")) << User.Texts().join('\n').toStdString();
  const auto Data = std::find_if(User.Boxes.begin(), User.Boxes.end(), [](const TMessageBoxAnswerer::TBox& Box) {
    return Box.Text == "Error loading Tesseract data";
  });
  ASSERT_NE(Data, User.Boxes.end());
  EXPECT_EQ(Data->Buttons, QMessageBox::Ok);
  EXPECT_EQ(tesseractocr::capi::hTesseractLib, nullptr);
}

TEST_F(FormOCRTesseract, UnknownLanguageShowsTheErrorAndTheWindowCloses) {
  Link("Tesseract");
  Link("tessdata");
  SetLanguage("xyz");
  TMessageBoxAnswerer User;
  TFormOCR Form(Runtime.Path(), Desktop);
  ASSERT_EQ(User.Boxes.size(), 1u);
  EXPECT_EQ(User.Boxes[0].Text, "Error loading Tesseract data");
  EXPECT_EQ(User.Boxes[0].Buttons, QMessageBox::Ok);
  ASSERT_TRUE(Form.StartFailed());

  // What the program entry does with a failed start: close, never show.
  EXPECT_TRUE(Form.close());
  EXPECT_FALSE(Form.isVisible());
  EXPECT_NE(TConfigIni(Runtime.IniPath()).ReadString("General", "Width", ""), "") << "closing stores settings";
}

TEST_F(FormOCRTesseract, TrainedDataIsFoundFromTheRuntimeFolderWhateverTheCurrentDirectory) {
  Link("Tesseract");
  Link("tessdata");
  QTemporaryDir Elsewhere;
  const QString Previous = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(Elsewhere.path()));
  TMessageBoxAnswerer User;
  {
    TFormOCR Form(Runtime.Path(), Desktop);
    EXPECT_FALSE(Form.StartFailed());
    ASSERT_NE(Form.Tesseract(), nullptr);
    EXPECT_EQ(Form.Tesseract()->DataPath(), QDir(Runtime.Path()).absoluteFilePath("tessdata") + "/");
  }
  QDir::setCurrent(Previous);
  EXPECT_TRUE(User.Boxes.empty());
}

QImage TwoLines() {
  return RenderTextLines({QStringLiteral("Hello there"), QStringLiteral("General Kenobi")}, 480, 60, 30);
}

TEST_F(FormOCRTesseract, RecognitionGivesOneRecordPerLineOfTheCapture) {
  Link("Tesseract");
  Link("tessdata");
  TMessageBoxAnswerer User;
  TFormOCR Form(Runtime.Path(), Desktop);
  ASSERT_FALSE(Form.StartFailed());
  Form.mnuTesseract->setChecked(true);
  Form.mnuTextLine->setChecked(true);
  Form.mnuOCROnly->setChecked(true); // the records as recognised
  const QImage Lines = TwoLines();
  Desktop.Screen = QImage(Desktop.ScreenSize, QImage::Format_RGB32);
  Desktop.Screen.fill(Qt::white);
  QPainter(&Desktop.Screen).drawImage(300, 200, Lines);
  Form.Pipeline().SetSelectedRect({300, 200, 300 + Lines.width(), 200 + Lines.height()});
  bool Ended = false;
  Form.CaptureAndTranslate(false, [&Ended] { Ended = true; });
  ASSERT_TRUE(QTest::qWaitFor([&] { return Ended; }, 60000));
  const TIteratorResultList& Shown = Form.Pipeline().TargetList();
  ASSERT_EQ(Shown.size(), 2u);
  EXPECT_EQ(Shown[0].Text, "Hello there\n");
  EXPECT_EQ(Shown[1].Text, "General Kenobi\n");
  EXPECT_EQ(Shown[1].Count, 1);
  EXPECT_TRUE(User.Boxes.empty());

  // A failure of the library is the job's message, for the error box.
  const std::atomic<bool> NotCancelled = false;
  const TJobOutcome Outcome = RunJob(Form.Pipeline().Engine(TOCREngineKind::Tesseract), QImage(),
                                     Form.Pipeline().JobSettings(), std::nullopt, NotCancelled);
  EXPECT_EQ(Outcome.Kind, TJobOutcome::TKind::Failed);
  EXPECT_EQ(Outcome.Error, "SetImage invalid");
}

} // namespace
