#include "app/UnitFormOCR.h"
#include "overlay/TranslateForm.h"
#include "platform/fake/FakePlatform.h"
#include "settings/ConfigIni.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include "support/TestRuntime.h"

namespace {

// An engine that finds the records it was given in every capture.
class TListEngine : public TOCREngine {
public:
  explicit TListEngine(TIteratorResultList Records) : FRecords(std::move(Records)) {}
  TIteratorResultList RecognizeLines(const QImage&) override { return FRecords; }

private:
  TIteratorResultList FRecords;
};

class OverlayController : public ::testing::Test {
protected:
  // The window's translation of Area, in which the engine finds Records.
  static void TranslateArea(TFormOCR& Form, const TRect& Area, const TIteratorResultList& Records) {
    Form.Pipeline().SetEngine(TOCREngineKind::Tesseract, std::make_unique<TListEngine>(Records));
    Form.mnuTesseract->setChecked(true);
    Form.mnuTextLine->setChecked(true);
    Form.Pipeline().SetSelectedRect(Area);
    bool Ended = false;
    Form.CaptureAndTranslate(false, [&Ended] { Ended = true; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return Ended; }, 10000));
  }

  TFakePlatform Desktop;
  TTestRuntimeFolder Runtime;
};

TEST_F(OverlayController, TheViewCommandTogglesTheOverlayAndItsGeometryIsKeptAtTheEnd) {
  {
    TFormOCR Form(Runtime.Path(), Desktop);
    ASSERT_FALSE(Form.StartFailed());
    ASSERT_TRUE(Form.FTranslateForm);
    EXPECT_FALSE(Form.FTranslateForm->isVisible());
    ASSERT_TRUE(Form.mnuViewTranslation->isEnabled());
    Form.mnuViewTranslation->trigger();
    EXPECT_TRUE(Form.FTranslateForm->isVisible());
    Form.mnuViewTranslation->trigger();
    EXPECT_FALSE(Form.FTranslateForm->isVisible());
    Form.FTranslateForm->setGeometry(12, 34, 560, 78);
    Form.close();
  }
  TConfigIni Stored(Runtime.IniPath());
  EXPECT_EQ(Stored.ReadInteger("TranslationWindow", "Left", -1), 12);
  EXPECT_EQ(Stored.ReadInteger("TranslationWindow", "Top", -1), 34);
  EXPECT_EQ(Stored.ReadInteger("TranslationWindow", "Width", -1), 560);
  EXPECT_EQ(Stored.ReadInteger("TranslationWindow", "Height", -1), 78);

  TFormOCR Again(Runtime.Path(), Desktop);
  EXPECT_EQ(Again.FTranslateForm->geometry(), QRect(12, 34, 560, 78));
}

TEST_F(OverlayController, AResultIsShownOverTheSelectedArea) {
  TFormOCR Form(Runtime.Path(), Desktop);
  ASSERT_FALSE(Form.StartFailed());
  Form.mnuOCROnly->setChecked(true); // no translation server needed
  TranslateArea(Form, {100, 120, 500, 420}, {{10, 10, 90, 40, "Hello", 1, 5, 14}});
  ASSERT_EQ(Form.Pipeline().TargetList().size(), 1u);
  TTranslationForm& Overlay = *Form.FTranslateForm;
  EXPECT_TRUE(Overlay.isVisible());
  EXPECT_EQ(Overlay.geometry(), QRect(100, 120, 400, 300));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Overlay));
  QImage Painted(Overlay.size(), QImage::Format_RGB32);
  {
    QPainter Canvas(&Painted);
    Overlay.FormPaint(Canvas);
  }
  EXPECT_EQ(Painted.pixelColor(85, 35), QColor(128, 128, 128)) << "the record's box";

  Form.mnuEqualArea->setChecked(false);
  TranslateArea(Form, {0, 0, 50, 50}, {{10, 10, 90, 40, "Hello again", 1, 5, 14}});
  ASSERT_EQ(Form.Pipeline().TargetList().size(), 1u);
  EXPECT_EQ(Form.Pipeline().TargetList()[0].Text, "Hello again");
  EXPECT_TRUE(Overlay.isVisible());
  EXPECT_EQ(Overlay.geometry(), QRect(100, 120, 400, 300));
}

} // namespace
