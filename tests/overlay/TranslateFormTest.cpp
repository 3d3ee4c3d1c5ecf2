#include "overlay/TranslateForm.h"
#include "imaging/ColorKey.h"
#include "platform/fake/FakePlatform.h"
#include "settings/ConfigIni.h"

#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

namespace {

// The window's own rules on the offscreen Qt platform and the fake desktop,
// which records the alpha value and the see-through region.
class TranslateForm : public ::testing::Test {
protected:
  void SetUp() override { Ini = std::make_unique<TConfigIni>(Dir.filePath("Config.ini")); }

  void Set(const QString& Key, const QString& Value) { Ini->WriteString("TranslationWindow", Key, Value); }
  QString Stored(const QString& Key) { return Ini->ReadString("TranslationWindow", Key, "absent"); }

  QTemporaryDir Dir;
  std::unique_ptr<TConfigIni> Ini;
  TFakePlatform Desktop;
  TFakePlatform* Fake = &Desktop;
};

TEST_F(TranslateForm, StartsWithItsDesignGeometryInOverlayModeAndStoresItsGeometry) {
  {
    TTranslationForm Form(nullptr, *Ini, Desktop);
    EXPECT_EQ(Form.geometry(), QRect(0, 0, 706, 262));
    EXPECT_TRUE(Form.Overlay());
    EXPECT_FALSE(Form.isVisible());
    EXPECT_TRUE(Form.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(Form.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(Form.windowFlags() & Qt::WindowType_Mask, Qt::Tool);
    Form.setGeometry(31, 42, 530, 640);
  }
  EXPECT_EQ(Stored("Left"), "31");
  EXPECT_EQ(Stored("Top"), "42");
  EXPECT_EQ(Stored("Width"), "530");
  EXPECT_EQ(Stored("Height"), "640");

  Set("Overlay", "0");
  TTranslationForm Again(nullptr, *Ini, Desktop);
  EXPECT_EQ(Again.geometry(), QRect(31, 42, 530, 640));
  EXPECT_FALSE(Again.Overlay());
}

TEST_F(TranslateForm, DamagedGeometryGivesAUsableWindow) {
  Set("Left", "abc");
  Set("Top", "-99999999");
  Set("Width", "-5");
  Set("Height", "0x7fffffff");
  TTranslationForm Form(nullptr, *Ini, Desktop);
  EXPECT_EQ(Form.x(), 0);
  EXPECT_EQ(Form.y(), -32767);
  EXPECT_EQ(Form.width(), 1);
  EXPECT_EQ(Form.height(), 32767);
}

TEST_F(TranslateForm, UpdateTextShowsTheListAndSwitchesToThePlainWindowUnlessSet) {
  TIteratorResultList List{{10, 10, 60, 40, "x", 1, 1, 14}};
  TTranslationForm Form(nullptr, *Ini, Desktop);
  Form.resize(200, 100);
  Set("FontName", "Noto Sans");
  Form.UpdateText(&List);
  EXPECT_TRUE(Form.isVisible());
  EXPECT_FALSE(Form.Overlay());
  EXPECT_EQ(Form.CanvasFont().Name, "Noto Sans");
  EXPECT_FALSE(Fake->Windows[&Form].ColorKeyVisible);

  Set("Overlay", "1");
  Form.UpdateText(&List);
  EXPECT_TRUE(Form.Overlay());
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Form));
  ASSERT_TRUE(QTest::qWaitFor([&] { return bool(Fake->Windows[&Form].ColorKeyVisible); }, 2000));
  QTest::qWait(50);

  // The see-through part is everything painted in the window colour.
  QImage Frame(Form.size(), QImage::Format_RGB32);
  {
    QPainter Canvas(&Frame);
    Form.FormPaint(Canvas);
  }
  const QRegion Visible = ColorKeyVisibleRegion(Frame, qRgb(255, 255, 255));
  EXPECT_EQ(*Fake->Windows[&Form].ColorKeyVisible, Visible);
  EXPECT_TRUE(Visible.contains(QPoint(30, 20)));
  EXPECT_TRUE(Visible.contains(QPoint(1, 50)));
  EXPECT_FALSE(Visible.contains(QPoint(100, 60)));

  // A white box colour makes the box see-through too; its text stays.
  Set("TextBackColor", "clWhite");
  Set("FontSize", "20");
  List[0].Text = "WWW";
  Form.update();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !Fake->Windows[&Form].ColorKeyVisible->contains(QPoint(11, 11)); }, 2000));
  const QRegion TextOnly = *Fake->Windows[&Form].ColorKeyVisible & QRect(10, 10, 50, 30);
  EXPECT_FALSE(TextOnly.isEmpty());
  EXPECT_LT(TextOnly.boundingRect().width() * TextOnly.boundingRect().height(), 50 * 30);

  Set("Overlay", "0");
  Form.UpdateText(&List);
  EXPECT_FALSE(Fake->Windows[&Form].ColorKeyVisible);
}

TEST_F(TranslateForm, ATimerCountdownRunsOnForTheSameIntervalAndRestartsForANewOne) {
  TIteratorResultList List;
  TTranslationForm Form(nullptr, *Ini, Desktop);
  Form.UpdateText(&List);
  EXPECT_FALSE(Form.Timer1.isActive()) << "Timer 0 arms nothing";

  Set("Timer", "5");
  Form.UpdateText(&List);
  ASSERT_TRUE(Form.Timer1.isActive());
  EXPECT_EQ(Form.Timer1.interval(), 5000);
  QTest::qWait(300);
  Form.UpdateText(&List);
  EXPECT_LE(Form.Timer1.remainingTime(), 4750) << "the running countdown was restarted";

  Set("Timer", "0");
  Form.UpdateText(&List);
  EXPECT_TRUE(Form.Timer1.isActive()) << "0 leaves a running countdown alone";
  EXPECT_LE(Form.Timer1.remainingTime(), 4750);

  Set("Timer", "7");
  Form.UpdateText(&List);
  EXPECT_EQ(Form.Timer1.interval(), 7000);
  EXPECT_GT(Form.Timer1.remainingTime(), 6500) << "a new interval starts again";
}

TEST_F(TranslateForm, ACloseRequestOnlyHides) {
  TIteratorResultList List;
  TTranslationForm Form(nullptr, *Ini, Desktop);
  Form.UpdateText(&List);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Form));
  QPointer<TTranslationForm> Alive(&Form);
  Form.windowHandle()->close();
  QCoreApplication::processEvents();
  EXPECT_FALSE(Form.isVisible());
  EXPECT_TRUE(Alive);
  Form.show();
  EXPECT_TRUE(Form.isVisible());
  EXPECT_FALSE(Form.close());
  EXPECT_FALSE(Form.isVisible());
}

TEST_F(TranslateForm, EscapeHides) {
  TIteratorResultList List;
  TTranslationForm Form(nullptr, *Ini, Desktop);
  Form.UpdateText(&List);
  QTest::keyClick(&Form, Qt::Key_A);
  EXPECT_TRUE(Form.isVisible());
  QTest::keyClick(&Form, Qt::Key_Escape);
  EXPECT_FALSE(Form.isVisible());
}

TEST_F(TranslateForm, HitTestBands) {
  TTranslationForm Form(nullptr, *Ini, Desktop);
  Form.resize(200, 100);
  using T = TTranslationForm;
  const std::vector<std::pair<QPoint, T::THitTest>> Cases{
      {{9, 50}, T::HTLEFT},     {{10, 50}, T::HTCLIENT},   {{190, 50}, T::HTCLIENT},   {{191, 50}, T::HTRIGHT},
      {{50, 9}, T::HTTOP},      {{50, 10}, T::HTCLIENT},   {{50, 90}, T::HTCLIENT},    {{50, 91}, T::HTBOTTOM},
      {{0, 0}, T::HTTOPLEFT},   {{199, 0}, T::HTTOPRIGHT}, {{0, 99}, T::HTBOTTOMLEFT}, {{199, 99}, T::HTBOTTOMRIGHT},
      {{9, 9}, T::HTTOPLEFT},   {{191, 9}, T::HTTOPRIGHT}, {{9, 91}, T::HTBOTTOMLEFT}, {{191, 91}, T::HTBOTTOMRIGHT},
      {{-1, 50}, T::HTNOWHERE}, {{200, 50}, T::HTNOWHERE}, {{50, 100}, T::HTNOWHERE}};
  for (const auto& [Point, Expected] : Cases)
    EXPECT_EQ(Form.WMNCHitTest(Point), Expected) << Point.x() << "," << Point.y();
}

// A full-screen translation lays the window over the work area of the
// monitor under the pointer; a window of either size is full-screen.
TEST_F(TranslateForm, FullScreenIsTheSizeOfItsMonitorOrOfThatMonitorsWorkArea) {
  Fake->MonitorRects = {{0, 0, 1920, 1080}, {1920, 0, 3200, 1024}};
  Fake->WorkAreaRect = {0, 0, 3200, 1000};
  TTranslationForm Form(nullptr, *Ini, Desktop);
  const std::vector<std::pair<QRect, bool>> Cases{
      {{0, 0, 1920, 1080}, true},     {{0, 0, 1920, 1000}, true},    {{100, 50, 1920, 1000}, true},
      {{0, 0, 1920, 999}, false},     {{0, 0, 1919, 1000}, false},   {{0, 0, 1920, 1079}, false},
      {{1920, 0, 1280, 1024}, true},  {{1920, 0, 1280, 1000}, true}, {{0, 0, 1280, 1000}, false},
      {{1920, 0, 1920, 1000}, false},
  };
  for (const auto& [Geometry, FullScreen] : Cases) {
    Form.setGeometry(Geometry);
    EXPECT_EQ(Form.IsFullScreen(), FullScreen)
        << Geometry.x() << "," << Geometry.y() << " " << Geometry.width() << "x" << Geometry.height();
  }
}

// With a receiver, a failed paint is told to it, not thrown into the event
// loop; once while the same failure repeats.
TEST_F(TranslateForm, APaintThatFailsOnASettingIsToldOnce) {
  Set("FontColor", "reddish");
  TIteratorResultList List{{10, 10, 100, 50, "text", 1, 4, 14}};
  TTranslationForm Form(nullptr, *Ini, Desktop);
  QStringList Told;
  QObject::connect(&Form, &TTranslationForm::PaintFailed, [&](const QString& Message) { Told << Message; });
  Form.resize(300, 200);
  Form.UpdateText(&List);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !Told.isEmpty(); }, 2000));
  Form.repaint();
  QTest::qWait(50);
  EXPECT_EQ(Told, QStringList{"'reddish' is not a valid integer value"});

  Set("FontColor", "clBlack");
  Form.repaint();
  Set("FontColor", "bluish");
  Form.repaint();
  EXPECT_TRUE(QTest::qWaitFor([&] { return Told.size() == 2; }, 2000));
  EXPECT_EQ(Told.value(1), "'bluish' is not a valid integer value");
}

TEST_F(TranslateForm, AlphaAndScreenRectangleForTheCapture) {
  TTranslationForm Form(nullptr, *Ini, Desktop);
  Form.setGeometry(120, 80, 300, 200);
  EXPECT_EQ(Form.AlphaBlendValue(), 255);
  Form.SetAlphaBlendValue(0);
  EXPECT_EQ(Fake->Windows[&Form].Alpha, 0);
  EXPECT_EQ(Form.AlphaBlendValue(), 0);
  Form.SetAlphaBlendValue(300);
  EXPECT_EQ(Form.AlphaBlendValue(), 255);
  Form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Form));
  EXPECT_EQ(Form.ClientScreenRect(), (TRect{120, 80, 420, 280}));
}

} // namespace
