#include "overlay/TranslateForm.h"
#include "platform/Platform.h"
#include "settings/ConfigIni.h"

#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

namespace {

// A plain window under the overlay: one colour, and a record of the presses
// that reach it.
class TBeneath : public QWidget {
public:
  TBeneath() : QWidget(nullptr, Qt::FramelessWindowHint) { setAttribute(Qt::WA_OpaquePaintEvent); }
  std::vector<QPoint> Presses;

protected:
  void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), QColor(0, 160, 0)); }
  void mousePressEvent(QMouseEvent* Event) override { Presses.push_back(Event->globalPosition().toPoint()); }
};

const QColor Green(0, 160, 0);
const QColor Gray(128, 128, 128); // clGray, the default box colour

// The overlay on a private X server, over a plain window, driven with real
// pointer and key events (xdotool through XTest) and checked in screen copies.
class OverlayX11 : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    QString Error;
    Desktop = CreateX11Platform(&Error);
    ASSERT_TRUE(Desktop) << Error.toStdString();
  }
  static void TearDownTestSuite() { Desktop.reset(); }

  void SetUp() override {
    Ini = std::make_unique<TConfigIni>(Dir.filePath("Config.ini"));
    Set("FontName", "DejaVu Sans");
    Beneath.setGeometry(0, 0, 800, 600);
    Beneath.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Beneath));
  }
  void TearDown() override {
    Form.reset();
    Xdo({"mousemove", "1900", "1060"});
  }

  void Set(const QString& Key, const QString& Value) { Ini->WriteString("TranslationWindow", Key, Value); }

  // The overlay at Geometry with one box at (50, 50)-(200, 120) in client
  // pixels, shown the way the controller shows a result.
  TTranslationForm& ShowOverlay(QRect Geometry, bool Overlay) {
    Set("Overlay", Overlay ? "1" : "0");
    List = {{50, 50, 200, 120, "Hello", 1, 5, 14}};
    Form = std::make_unique<TTranslationForm>(nullptr, *Ini, *Desktop);
    Form->setVisible(true);
    Form->UpdateText(&List);
    Form->setGeometry(Geometry);
    Form->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
    return *Form;
  }

  static QColor ScreenPixel(QPoint At) {
    return Desktop->CopyScreen({At.x(), At.y(), At.x() + 1, At.y() + 1}).pixelColor(0, 0);
  }
  static bool ScreenShows(QPoint At, QColor Expected, int TimeoutMs = 3000) {
    return QTest::qWaitFor([&] { return ScreenPixel(At).rgb() == Expected.rgb(); }, TimeoutMs);
  }

  // Runs xdotool and keeps the event loop going meanwhile.
  static void Xdo(const QStringList& Arguments) {
    QProcess Tool;
    Tool.start("xdotool", Arguments);
    ASSERT_TRUE(Tool.waitForStarted());
    ASSERT_TRUE(QTest::qWaitFor([&] { return Tool.state() == QProcess::NotRunning; }, 10000));
    ASSERT_EQ(Tool.exitCode(), 0) << Tool.readAllStandardError().toStdString();
    QTest::qWait(50);
  }
  static void Drag(QPoint From, QPoint To, const char* Button) {
    const QPoint Middle = (From + To) / 2;
    const auto MoveTo = [](QPoint At) {
      return QStringList{"mousemove", QString::number(At.x()), QString::number(At.y()), "sleep", "0.1"};
    };
    Xdo(MoveTo(From) + QStringList{"mousedown", Button, "sleep", "0.1"} + MoveTo(Middle) + MoveTo(To) +
        QStringList{"mouseup", Button});
  }

  QTemporaryDir Dir;
  std::unique_ptr<TConfigIni> Ini;
  TBeneath Beneath;
  TIteratorResultList List;
  static inline std::unique_ptr<TPlatform> Desktop;
  std::unique_ptr<TTranslationForm> Form;
};

// Client (50, 50)-(200, 120) is the box; (300, 250) lies outside it.
TEST_F(OverlayX11, OverlayModeShowsTheBoxesAndLetsEverythingElseThrough) {
  TTranslationForm& Overlay = ShowOverlay({100, 100, 400, 300}, true);
  ASSERT_TRUE(Overlay.Overlay());
  EXPECT_TRUE(ScreenShows({400, 350}, Green)) << "the screen beneath shows outside the boxes";
  EXPECT_TRUE(ScreenShows({295, 215}, Gray)) << "the box";
  EXPECT_NE(ScreenPixel({100, 250}).rgb(), Green.rgb()) << "the frame";

  Xdo({"mousemove", "400", "350", "click", "1"});
  ASSERT_TRUE(QTest::qWaitFor([&] { return !Beneath.Presses.empty(); }, 3000));
  EXPECT_EQ(Beneath.Presses.back(), QPoint(400, 350));

  Beneath.Presses.clear();
  Xdo({"mousemove", "295", "215", "click", "1"});
  QTest::qWait(200);
  EXPECT_TRUE(Beneath.Presses.empty()) << "a box takes the click";
  EXPECT_EQ(Overlay.pos(), QPoint(100, 100));

  // The plain window covers what lies beneath.
  Set("Overlay", "0");
  Overlay.UpdateText(&List);
  EXPECT_TRUE(ScreenShows({400, 350}, Qt::white));
}

TEST_F(OverlayX11, AlphaZeroMakesTheWindowVanishWithoutACompositor) {
  TTranslationForm& Overlay = ShowOverlay({100, 100, 400, 300}, true);
  ASSERT_TRUE(ScreenShows({295, 215}, Gray));
  Overlay.SetAlphaBlendValue(0);
  EXPECT_EQ(Overlay.AlphaBlendValue(), 0);
  EXPECT_TRUE(Overlay.isVisible());
  EXPECT_TRUE(ScreenShows({295, 215}, Green));
  EXPECT_TRUE(ScreenShows({100, 250}, Green)) << "the frame too";
  Xdo({"mousemove", "295", "215", "click", "1"});
  EXPECT_TRUE(QTest::qWaitFor([&] { return !Beneath.Presses.empty(); }, 3000)) << "and input passes";

  Overlay.SetAlphaBlendValue(255);
  EXPECT_TRUE(ScreenShows({295, 215}, Gray));
  EXPECT_TRUE(ScreenShows({400, 350}, Green)) << "see-through again, as before";
}

TEST_F(OverlayX11, AlphaZeroMakesTheWindowVanishUnderACompositor) {
  QProcess Compositor;
  Compositor.start("xcompmgr", {});
  ASSERT_TRUE(Compositor.waitForStarted());
  // The compositor must manage the screen, and show the window beneath, before
  // the overlay appears; a fixed pause was too short on a busy machine.
  ASSERT_TRUE(QTest::qWaitFor([] { return Desktop->IsCompositing(); }, 10000))
      << Compositor.readAllStandardError().toStdString();
  Beneath.update();
  ASSERT_TRUE(ScreenShows({400, 350}, Green, 10000));

  // The compositor redraws in its own time; on a busy machine that can
  // take seconds, which the upper bound allows.
  constexpr int CompositorMs = 10000;
  TTranslationForm& Overlay = ShowOverlay({100, 100, 400, 300}, true);
  EXPECT_TRUE(ScreenShows({295, 215}, Gray, CompositorMs));
  EXPECT_TRUE(ScreenShows({400, 350}, Green, CompositorMs));
  Overlay.SetAlphaBlendValue(0);
  EXPECT_TRUE(ScreenShows({295, 215}, Green, CompositorMs));
  Overlay.SetAlphaBlendValue(255);
  EXPECT_TRUE(ScreenShows({295, 215}, Gray, CompositorMs));

  Compositor.terminate();
  EXPECT_TRUE(Compositor.waitForFinished(3000));
}

TEST_F(OverlayX11, AFullScreenWindowTakesTheFocusShowsTheHintAndEscapeHidesIt) {
  Set("Overlay", "1");
  TIteratorResultList Empty;
  Form = std::make_unique<TTranslationForm>(nullptr, *Ini, *Desktop);
  Form->setGeometry(0, 0, 1920, 1079);
  Form->UpdateText(&Empty);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
  QTest::qWait(200);
  EXPECT_NE(QGuiApplication::focusWindow(), Form->windowHandle()) << "one pixel short of the screen";

  // Laid over the whole screen while shown, as the controller does.
  Form->setGeometry(0, 0, 1920, 1080);
  ASSERT_TRUE(QTest::qWaitFor([&] { return QGuiApplication::focusWindow() == Form->windowHandle(); }, 3000));
  const QImage Top = Desktop->CopyScreen({0, 0, 1920, 40});
  int Red = 0;
  for (int Y = 0; Y < Top.height(); ++Y)
    for (int X = 0; X < Top.width(); ++X)
      Red += Top.pixelColor(X, Y).red() > 200 && Top.pixelColor(X, Y).green() < 80;
  EXPECT_GT(Red, 50) << "the Escape hint";

  Xdo({"key", "Escape"});
  EXPECT_TRUE(QTest::qWaitFor([&] { return !Form->isVisible(); }, 3000));

  // Shown again at full size, by the view command for instance.
  Beneath.activateWindow();
  ASSERT_TRUE(QTest::qWaitFor([&] { return QGuiApplication::focusWindow() == Beneath.windowHandle(); }, 3000));
  Form->show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return QGuiApplication::focusWindow() == Form->windowHandle(); }, 3000));
  Xdo({"key", "Escape"});
  EXPECT_TRUE(QTest::qWaitFor([&] { return !Form->isVisible(); }, 3000));
}

TEST_F(OverlayX11, ALeftDragMovesTheWindowByTheDragAndARightDragDoesNot) {
  TTranslationForm& Overlay = ShowOverlay({100, 100, 400, 300}, true);
  ASSERT_TRUE(ScreenShows({295, 215}, Gray));
  Drag({295, 215}, {345, 245}, "3");
  EXPECT_FALSE(QTest::qWaitFor([&] { return Overlay.pos() != QPoint(100, 100); }, 1000)) << "a right drag moved it";
  // Had the right drag moved it late, the left drag would end elsewhere.
  Drag({295, 215}, {345, 245}, "1");
  EXPECT_TRUE(QTest::qWaitFor([&] { return Overlay.pos() == QPoint(150, 130); }, 3000)) << Overlay.pos().x();
  EXPECT_EQ(Overlay.size(), QSize(400, 300));
  EXPECT_TRUE(ScreenShows({345, 245}, Gray)) << "the box went along";
}

TEST_F(OverlayX11, TheBorderBandsResizeAndTheClientAreaMoves) {
  TTranslationForm& Overlay = ShowOverlay({100, 100, 400, 300}, false);
  // x = 9 is the left band.
  Drag({109, 250}, {139, 250}, "1");
  EXPECT_TRUE(QTest::qWaitFor([&] { return Overlay.geometry() == QRect(130, 100, 370, 300); }, 3000));
  // x = 10 of the new client area is not.
  Drag({140, 250}, {160, 250}, "1");
  EXPECT_TRUE(QTest::qWaitFor([&] { return Overlay.geometry() == QRect(150, 100, 370, 300); }, 3000));
  // The right band begins at x = W - 9; the bottom-right corner moves both edges.
  Drag({150 + 361, 250}, {150 + 401, 250}, "1");
  EXPECT_TRUE(QTest::qWaitFor([&] { return Overlay.geometry() == QRect(150, 100, 410, 300); }, 3000));
  Drag({150 + 405, 100 + 295}, {150 + 385, 100 + 325}, "1");
  EXPECT_TRUE(QTest::qWaitFor([&] { return Overlay.geometry() == QRect(150, 100, 390, 330); }, 3000))
      << Overlay.width() << "x" << Overlay.height();
}

TEST_F(OverlayX11, TheTimerHidesAfterItsSecondsAndASecondResultDoesNotRestartIt) {
  Set("Timer", "1");
  TIteratorResultList Empty;
  Form = std::make_unique<TTranslationForm>(nullptr, *Ini, *Desktop);
  QElapsedTimer Clock;
  Clock.start();
  Form->UpdateText(&Empty);
  ASSERT_TRUE(Form->isVisible());
  QTest::qWait(500);
  const int RemainingBefore = Form->Timer1.remainingTime();
  Form->UpdateText(&Empty);
  EXPECT_LE(Form->Timer1.remainingTime(), RemainingBefore) << "the second result restarted the countdown";
  ASSERT_TRUE(QTest::qWaitFor([&] { return !Form->isVisible(); }, 3000));
  EXPECT_GE(Clock.elapsed(), 950);

  Clock.restart();
  Form->UpdateText(&Empty);
  EXPECT_TRUE(Form->isVisible()) << "the next result arms it again";
  ASSERT_TRUE(QTest::qWaitFor([&] { return !Form->isVisible(); }, 3000));
  EXPECT_GE(Clock.elapsed(), 950);
}

} // namespace
