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
#include <QTimer>

#include <gtest/gtest.h>

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
  ASSERT_EQ(User.Boxes.size(), 2u);
  EXPECT_EQ(User.Boxes[0].Text, "Tesseract library is not loaded");
  EXPECT_EQ(User.Boxes[1].Text, "Error loading Tesseract data");
  EXPECT_EQ(User.Boxes[1].Buttons, QMessageBox::Ok);
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

TEST_F(FormOCRTesseract, RecognizeGivesOneRecordPerLineOfTheCapture) {
  Link("Tesseract");
  Link("tessdata");
  TMessageBoxAnswerer User;
  TFormOCR Form(Runtime.Path(), Desktop);
  ASSERT_FALSE(Form.StartFailed());
  Form.mnuTesseract->setChecked(true);
  Form.mnuTextLine->setChecked(true);
  Form.Pipeline().FScreenBitmap = TwoLines();
  const std::optional<TIteratorResultList> Lines = Form.Recognize();
  ASSERT_TRUE(Lines.has_value());
  ASSERT_EQ(Lines->size(), 2u);
  EXPECT_EQ((*Lines)[0].Text, "Hello there\n");
  EXPECT_EQ((*Lines)[1].Text, "General Kenobi\n");
  EXPECT_EQ((*Lines)[1].Count, 1);

  Form.Pipeline().FScreenBitmap = QImage(); // nothing Tesseract can be given
  try {
    Form.Recognize();
    ADD_FAILURE() << "no exception";
  } catch (const std::runtime_error& Error) {
    EXPECT_STREQ(Error.what(), "SetImage invalid");
  }
}

} // namespace
