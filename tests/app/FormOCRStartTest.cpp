#include "app/UnitFormOCR.h"
#include "platform/Platform.h"
#include "settings/ConfigIni.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include "support/TestRuntime.h"

namespace {

// Each test starts from a Config.ini of its own.
class FormOCRStart : public ::testing::Test {
protected:
  void SetUp() override {
    if (!Desktop) {
      QString Error;
      Desktop = CreateX11Platform(&Error);
      ASSERT_TRUE(Desktop) << Error.toStdString();
    }
  }

  QString Ini() const { return Runtime.IniPath(); }

  // One connection for the whole program, as in korvex.
  static inline std::unique_ptr<TPlatform> Desktop;
  TTestRuntimeFolder Runtime;
};

TEST_F(FormOCRStart, ShowsTheCaptionAndStoresWindowAndMenusAtClose) {
  {
    TFormOCR Form(Runtime.Path(), *Desktop);
    ASSERT_FALSE(Form.StartFailed());
    Form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Form));
    EXPECT_EQ(Form.windowTitle(), "Korvex v0.1");
    Form.move(321, 234);
    Form.resize(400, 300);
    QTest::qWait(50);
    Form.mnuStayOnTop->trigger();
    Form.mnuEqualArea->trigger();
    Form.mnuTextLine->trigger();
    Form.mnuCaptureOverlay->trigger();
    Form.mnuEasyOCR->trigger();
    Form.close();
  }
  TConfigIni Stored(Ini());
  const QRect Frame(Stored.ReadInteger("General", "Left", -1), Stored.ReadInteger("General", "Top", -1),
                    Stored.ReadInteger("General", "Width", -1), Stored.ReadInteger("General", "Height", -1));
  EXPECT_EQ(Frame.topLeft(), QPoint(321, 234));
  EXPECT_GE(Frame.width(), 400);
  EXPECT_GE(Frame.height(), 300);
  EXPECT_EQ(Stored.ReadString("General", "StayOnTop", ""), "1");
  EXPECT_EQ(Stored.ReadString("TranslationWindow", "EqualArea", ""), "0");
  EXPECT_EQ(Stored.ReadString("Translation", "TextLine", ""), "1");
  EXPECT_EQ(Stored.ReadString("Capture", "Overlay", ""), "1");
  EXPECT_EQ(Stored.ReadString("OCR", "Engine", ""), "EasyOCR");

  TFormOCR Again(Runtime.Path(), *Desktop);
  Again.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Again));
  // Under a window manager Qt learns the frame a moment after the exposure.
  EXPECT_TRUE(QTest::qWaitFor([&] { return Again.frameGeometry() == Frame; }, 2000))
      << Again.frameGeometry().x() << "," << Again.frameGeometry().y();
  EXPECT_TRUE(Again.mnuStayOnTop->isChecked());
  EXPECT_TRUE(Again.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_FALSE(Again.mnuEqualArea->isChecked());
  EXPECT_TRUE(Again.mnuTextLine->isChecked());
  EXPECT_TRUE(Again.mnuCaptureOverlay->isChecked());
  EXPECT_TRUE(Again.mnuEasyOCR->isChecked());
  EXPECT_FALSE(Again.mnuOCROnly->isChecked());
}

// Start, show, close: the stored frame stays as it was, also under a window
// manager whose frame is known only once it manages the window.
TEST_F(FormOCRStart, StartAndCloseLeaveTheStoredGeometryAsItWas) {
  {
    QFile File(Ini());
    ASSERT_TRUE(File.open(QIODevice::WriteOnly));
    File.write("[General]\nLeft=300\nTop=200\nWidth=560\nHeight=300\n");
  }
  QByteArray Before;
  for (int Cycle = 0; Cycle < 10; ++Cycle) {
    {
      TFormOCR Form(Runtime.Path(), *Desktop);
      Form.show();
      ASSERT_TRUE(QTest::qWaitForWindowExposed(&Form));
      // Under a window manager Qt learns the frame from its property.
      (void)QTest::qWaitFor([&] { return Form.frameGeometry() != Form.geometry(); }, 300);
      Form.close();
    }
    QFile File(Ini());
    ASSERT_TRUE(File.open(QIODevice::ReadOnly));
    const QByteArray After = File.readAll();
    if (Cycle > 0) {
      ASSERT_EQ(After.toStdString(), Before.toStdString()) << "cycle " << Cycle;
    }
    Before = After;
  }
  TConfigIni Stored(Ini());
  EXPECT_EQ(Stored.ReadInteger("General", "Left", -1), 300);
  EXPECT_EQ(Stored.ReadInteger("General", "Top", -1), 200);
  EXPECT_EQ(Stored.ReadInteger("General", "Width", -1), 560);
  EXPECT_EQ(Stored.ReadInteger("General", "Height", -1), 300);
}

TEST_F(FormOCRStart, WithoutConfigEverySettingHasItsDefault) {
  TFormOCR Form(Runtime.Path(), *Desktop);
  EXPECT_TRUE(Form.mnuTesseract->isChecked());
  EXPECT_EQ(Form.TimerAction.interval(), 1000);
  EXPECT_FALSE(Form.TimerAction.isActive());
  EXPECT_TRUE(Form.mnuEqualArea->isChecked());
  EXPECT_TRUE(Form.mnuShowCaputure->isChecked());
  EXPECT_FALSE(Form.mnuStayOnTop->isChecked());
  EXPECT_FALSE(Form.mnuCaptureOverlay->isChecked());
  EXPECT_FALSE(Form.mnuTextLine->isChecked());
  EXPECT_FALSE(Form.mnuOCROnly->isChecked());
  EXPECT_FALSE(Form.mnuAutoTranslate->isChecked());
  EXPECT_EQ(Form.Pipeline().OCRThreshold(), -1);
  EXPECT_TRUE(Form.Pipeline().SelectedRect().IsEmpty());
  EXPECT_FALSE(QFile::exists(Ini())); // reading never creates the file
}

TEST_F(FormOCRStart, ShowCaptureImageIsStoredWhenClicked) {
  TFormOCR Form(Runtime.Path(), *Desktop);
  Form.mnuShowCaputure->trigger();
  EXPECT_FALSE(TConfigIni(Ini()).ReadBool("Capture", "ShowCaptureImage", true));
}

TEST_F(FormOCRStart, UnknownEngineNameChangesNothing) {
  TConfigIni(Ini()).WriteString("OCR", "Engine", "easyocr");
  TFormOCR Form(Runtime.Path(), *Desktop);
  EXPECT_TRUE(Form.mnuTesseract->isChecked());
}

TEST(KorvexCommandLine, HelpAndVersionAnswerWithoutAWindow) {
  const QString Korvex = QDir(KORVEX_RUNTIME_DIR).filePath("korvex");
  for (const char* Option : {"--help", "--version"}) {
    QProcess Process;
    QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
    Env.remove("DISPLAY"); // answering must not need a display
    Process.setProcessEnvironment(Env);
    Process.start(Korvex, {QString::fromLatin1(Option)});
    ASSERT_TRUE(Process.waitForFinished(10000));
    EXPECT_EQ(Process.exitCode(), 0) << Option;
    const QByteArray Output = Process.readAllStandardOutput();
    EXPECT_TRUE(Output.contains("Korvex")) << Option;
    if (QLatin1String(Option) == QLatin1String("--help")) {
      // Every command a hotkey runs can be bound by name instead.
      for (const char* Name : {"select-translate", "translate", "auto-translate", "full-screen", "mouse-translate"})
        EXPECT_TRUE(Output.contains(Name)) << Name;
    }
  }
}

TEST(KorvexCommandLine, NoDisplayIsAClearError) {
  QProcess Process;
  QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
  Env.remove("DISPLAY");
  Env.remove("QT_QPA_PLATFORM");
  Process.setProcessEnvironment(Env);
  Process.start(QDir(KORVEX_RUNTIME_DIR).filePath("korvex"), {});
  ASSERT_TRUE(Process.waitForFinished(10000));
  EXPECT_NE(Process.exitCode(), 0);
  EXPECT_TRUE(Process.readAllStandardError().contains("graphical session"));
}

} // namespace
