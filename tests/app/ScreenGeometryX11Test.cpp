// korvex works in physical screen pixels: a dragged area ends in an overlay
// exactly on it whatever Qt scaling the environment asks for, and with two
// monitors (tests/run-x11 --monitors 2) the selection, the full-screen
// translation and the overlay follow the monitor under the pointer.

#include "platform/Platform.h"
#include "support/KorvexProcess.h"
#include "text/LoopbackServer.h"

#include <QPainter>
#include <QWidget>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "support/DesktopTools.h"
#include "support/X11Windows.h"

namespace {

const QString MainTitle = QStringLiteral("Korvex v0.1");

// A plain window with a line of large English text across the middle of Geometry.
struct TGreetingWindow : TLargeTextWindow {
  explicit TGreetingWindow(const QRect& Geometry)
      : TLargeTextWindow(Geometry,
                         {{QPoint(30, Geometry.height() / 2 + 15), QStringLiteral("Good morning, dear friends.")}}) {}
};

bool TwoMonitors() { return qEnvironmentVariable("KORVEX_X11_SETUP").contains("monitors=2"); }

class ScreenGeometryX11 : public ::testing::Test {
protected:
  void SetUp() override {
    QString Error;
    Desktop = CreateX11Platform(&Error);
    ASSERT_TRUE(Desktop) << Error.toStdString();
    ASSERT_TRUE(Windows.IsOpen());
  }

  void Start(const QProcessEnvironment& Environment = {}) {
    Korvex.WriteConfig("[Translation]\nServer=" + Server.Url().toUtf8() +
                       "\n[General]\nLeft=1300\nTop=750\nWidth=400\nHeight=300\n");
    ASSERT_TRUE(Korvex.Start(Environment)) << Korvex.Process.readAllStandardError().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([this] { return MainWindow().has_value(); }, 10000)) << "no main window";
  }

  std::optional<TX11Windows::TWindow> MainWindow() {
    return Windows.Find(Korvex.Process.processId(), [](const auto& W) { return W.Title == MainTitle; });
  }

  // The mapped window of korvex that is not its main window (the selection
  // window or the overlay) whose geometry Match accepts.
  std::optional<TX11Windows::TWindow> OtherWindow(const std::function<bool(const QRect&)>& Match) {
    return Windows.Find(Korvex.Process.processId(),
                        [&](const auto& W) { return W.Title != MainTitle && Match(W.Geometry); });
  }

  // While a selection runs the main window is fully transparent.
  bool SelectionRuns() {
    const auto Main = MainWindow();
    return Main && Windows.Cardinals(Main->Id, "_NET_WM_WINDOW_OPACITY").value(0, -1) == 0;
  }

  // The red frame of the selection window passes close to Corner.
  bool FrameAt(QPoint Corner) {
    return HasSelectionFrameRed(Desktop->CopyScreen({Corner.x() - 3, Corner.y() - 3, Corner.x() + 3, Corner.y() + 3}));
  }

  // Light pixels (the guidance text) in the strip at the top-left corner of
  // a monitor.
  int GuidancePixels(QPoint MonitorCorner) {
    const QImage Copy =
        Desktop->CopyScreen({MonitorCorner.x(), MonitorCorner.y(), MonitorCorner.x() + 400, MonitorCorner.y() + 40});
    int Light = 0;
    for (int Y = 0; Y < Copy.height(); ++Y)
      for (int X = 0; X < Copy.width(); ++X)
        Light += qGray(Copy.pixel(X, Y)) > 100;
    return Light;
  }

  // `korvex --command select-translate`, then a press at one corner of
  // Area and a drag to the other, each step waiting until the selection
  // window shows that the polling loop has seen it.
  void DragOut(const QRect& Area) {
    ASSERT_EQ(Korvex.Command("select-translate"), 0);
    ASSERT_TRUE(QTest::qWaitFor([this] { return SelectionRuns(); }, 10000)) << "no selection";
    const QString Left = QString::number(Area.left()), Top = QString::number(Area.top());
    ASSERT_EQ(Xdo({"mousemove", Left, Top, "sleep", "0.2", "mousedown", "1", "sleep", "0.3"}), 0);
    int Step = 0;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
          const int Near = 3 + (++Step % 2);
          return Xdo({"mousemove", QString::number(Area.left() + Near), QString::number(Area.top() + Near)}) == 0 &&
                 FrameAt(Area.topLeft());
        },
        10000))
        << "the press was not seen";
    const QPoint End(Area.left() + Area.width(), Area.top() + Area.height());
    ASSERT_EQ(Xdo({"mousemove", QString::number(Area.center().x()), QString::number(Area.center().y()), "sleep", "0.2",
                   "mousemove", QString::number(End.x()), QString::number(End.y())}),
              0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return FrameAt(End); }, 10000)) << "the drag was not seen";
    ASSERT_EQ(Xdo({"mouseup", "1"}), 0);
  }

  // KORVEX_SCREENSHOT_DIR, when set, receives a picture of the whole desktop.
  void Screenshot(const QString& Name) {
    const QString Folder = qEnvironmentVariable("KORVEX_SCREENSHOT_DIR");
    if (Folder.isEmpty())
      return;
    const TRect Whole{0, 0, TwoMonitors() ? 3840 : 1920, 1080};
    // Once the windows have finished painting: two copies in a row agree.
    QImage Last = Desktop->CopyScreen(Whole);
    (void)QTest::qWaitFor(
        [&] {
          QTest::qWait(100);
          QImage Next = Desktop->CopyScreen(Whole);
          std::swap(Last, Next);
          return Last == Next;
        },
        3000);
    Last.save(QDir(Folder).filePath(Name));
  }

  // The geometry of every shown window of korvex.
  QString Seen() {
    QString Text;
    for (const auto& W : Windows.WindowsOf(Korvex.Process.processId()))
      if (W.Mapped)
        Text += QStringLiteral(" %1,%2 %3x%4")
                    .arg(W.Geometry.x())
                    .arg(W.Geometry.y())
                    .arg(W.Geometry.width())
                    .arg(W.Geometry.height());
    return Text;
  }

  // The overlay shows up exactly on Area.
  void ExpectOverlayOn(const QRect& Area) {
    std::optional<TX11Windows::TWindow> Overlay;
    const bool Shown = QTest::qWaitFor(
        [&] {
          Overlay = OtherWindow([&](const QRect& G) { return G == Area; });
          return Overlay.has_value();
        },
        20000);
    EXPECT_TRUE(Shown) << "windows seen:" << Seen().toStdString() << "\n"
                       << Korvex.Process.readAllStandardError().toStdString();
  }

  std::unique_ptr<TPlatform> Desktop;
  TLoopbackServer Server{[](const httplib::Request&, httplib::Response& Response) {
    Response.set_content(R"({"translated_text": "좋은 아침"})", "application/json");
  }};
  TKorvexProcess Korvex;
  TX11Windows Windows;
};

// Each way the environment can ask Qt to scale, alone.
TEST_F(ScreenGeometryX11, TheOverlayLandsOnTheDraggedAreaWhateverQtScalingSays) {
  if (TwoMonitors())
    GTEST_SKIP() << "runs on one monitor";
  const QRect Area(150, 200, 1250, 500); // dragged from 150,200 to 1400,700
  TGreetingWindow Text(Area.adjusted(50, 100, -50, -100));
  Text.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Text));
  const std::vector<std::pair<const char*, const char*>> Scalings = {{"QT_SCALE_FACTOR", "2"},
                                                                     {"QT_SCREEN_SCALE_FACTORS", "2"},
                                                                     {"QT_AUTO_SCREEN_SCALE_FACTOR", "1"},
                                                                     {"QT_ENABLE_HIGHDPI_SCALING", "1"}};
  for (const auto& [Name, Value] : Scalings) {
    SCOPED_TRACE(std::string(Name) + "=" + Value);
    QProcessEnvironment Environment;
    Environment.insert(Name, Value);
    ASSERT_NO_FATAL_FAILURE(Start(Environment));
    // The main window opens where it was stored, in screen pixels.
    EXPECT_EQ(MainWindow()->Geometry.topLeft() - QPoint(MainWindow()->FrameExtents.x(), MainWindow()->FrameExtents.y()),
              QPoint(1300, 750));
    ASSERT_NO_FATAL_FAILURE(DragOut(Area));
    ExpectOverlayOn(Area);
    Screenshot(QStringLiteral("scaled-%1.png").arg(QString::fromLatin1(Name)));
    Korvex.Stop();
  }
}

TEST_F(ScreenGeometryX11, TheSelectionCoversEveryMonitorWithTheGuidanceOnThePointersOne) {
  if (!TwoMonitors())
    GTEST_SKIP() << "needs two monitors (tests/run-x11 --monitors 2)";
  const std::vector<TRect> Monitors = Desktop->Monitors();
  ASSERT_EQ(Monitors.size(), 2u);
  EXPECT_EQ(Monitors[0], (TRect{0, 0, 1920, 1080})) << "the primary one first";
  EXPECT_EQ(Monitors[1], (TRect{1920, 0, 3840, 1080}));

  const QRect Area(2100, 200, 1200, 400);
  TGreetingWindow Text(Area.adjusted(50, 100, -50, -100));
  Text.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Text));
  ASSERT_NO_FATAL_FAILURE(Start());
  Xdo({"mousemove", "2600", "900"});
  ASSERT_EQ(Korvex.Command("select-translate"), 0);
  ASSERT_TRUE(QTest::qWaitFor([this] { return SelectionRuns(); }, 10000)) << "no selection";
  ASSERT_TRUE(QTest::qWaitFor(
      [this] { return OtherWindow([](const QRect& G) { return G == QRect(0, 0, 3840, 1080); }).has_value(); }, 10000))
      << "the selection window does not cover both monitors:" << Seen().toStdString();
  EXPECT_TRUE(QTest::qWaitFor([this] { return GuidancePixels({1920, 0}) > 50; }, 5000)) << "no guidance on the right";
  EXPECT_EQ(GuidancePixels({0, 0}), 0) << "guidance on the monitor without the pointer";
  Screenshot("two-monitors-selection.png");
  // Held a moment: the loop polls the key's state.
  Xdo({"keydown", "Escape", "sleep", "0.3", "keyup", "Escape"});
  ASSERT_TRUE(QTest::qWaitFor([this] { return !SelectionRuns(); }, 10000));

  ASSERT_NO_FATAL_FAILURE(DragOut(Area));
  ExpectOverlayOn(Area);
  Screenshot("two-monitors-overlay.png");
}

TEST_F(ScreenGeometryX11, FullScreenTranslationTakesTheMonitorUnderThePointer) {
  if (!TwoMonitors())
    GTEST_SKIP() << "needs two monitors (tests/run-x11 --monitors 2)";
  TGreetingWindow Text(QRect(2100, 300, 1200, 200));
  Text.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Text));
  ASSERT_NO_FATAL_FAILURE(Start());
  Xdo({"mousemove", "3000", "900"});
  ASSERT_EQ(Korvex.Command("full-screen"), 0);
  ExpectOverlayOn(QRect(1920, 0, 1920, 1080));
  ASSERT_FALSE(Server.Requests().empty());
  EXPECT_NE(nlohmann::json::parse(Server.Requests().front().Body).value("q", std::string()).find("morning"),
            std::string::npos);
}

} // namespace
