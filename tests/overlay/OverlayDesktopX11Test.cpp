// The overlay on desktops unlike a bare screen: a panel that takes part of
// the screen from the work area, and a high DPI (tests/run-x11 --wm, --dpi).

#include "overlay/QtTextMeasurer.h"
#include "overlay/TranslateForm.h"
#include "platform/Platform.h"
#include "settings/ConfigIni.h"

#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

#include <memory>

#include "support/X11Windows.h"

namespace {

// A dock along the bottom edge that reserves its height (_NET_WM_STRUT_PARTIAL)
// for itself; a window manager then publishes the smaller work area. Without
// one the panel publishes it itself, as the window manager would have.
class TPanel {
public:
  TPanel(TX11Windows& Windows, int Height) : FDisplay(Windows.Connection()) {
    const Window Root = DefaultRootWindow(FDisplay);
    const int Width = DisplayWidth(FDisplay, DefaultScreen(FDisplay));
    const int ScreenHeight = DisplayHeight(FDisplay, DefaultScreen(FDisplay));
    FWindow = XCreateSimpleWindow(FDisplay, Root, 0, ScreenHeight - Height, Width, Height, 0, 0, 0x303030);
    const Atom Dock = XInternAtom(FDisplay, "_NET_WM_WINDOW_TYPE_DOCK", False);
    SetLongs(FWindow, "_NET_WM_WINDOW_TYPE", XA_ATOM, {long(Dock)});
    const std::vector<long> Strut{0, 0, 0, Height, 0, 0, 0, 0, 0, 0, 0, Width - 1};
    SetLongs(FWindow, "_NET_WM_STRUT_PARTIAL", XA_CARDINAL, Strut);
    SetLongs(FWindow, "_NET_WM_STRUT", XA_CARDINAL, {Strut.begin(), Strut.begin() + 4});
    XMapWindow(FDisplay, FWindow);
    FPublished = !Windows.HasWindowManager();
    if (FPublished)
      SetLongs(Root, "_NET_WORKAREA", XA_CARDINAL, {0, 0, Width, ScreenHeight - Height});
    XSync(FDisplay, False);
  }
  ~TPanel() {
    if (FPublished)
      XDeleteProperty(FDisplay, DefaultRootWindow(FDisplay), XInternAtom(FDisplay, "_NET_WORKAREA", False));
    XDestroyWindow(FDisplay, FWindow);
    XSync(FDisplay, False);
  }
  TPanel(const TPanel&) = delete;
  TPanel& operator=(const TPanel&) = delete;

private:
  void SetLongs(Window W, const char* Property, Atom Type, const std::vector<long>& Values) {
    XChangeProperty(FDisplay, W, XInternAtom(FDisplay, Property, False), Type, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(Values.data()), int(Values.size()));
  }

  Display* FDisplay;
  Window FWindow = 0;
  bool FPublished = false;
};

class OverlayDesktopX11 : public ::testing::Test {
protected:
  void SetUp() override {
    QString Error;
    Desktop = CreateX11Platform(&Error);
    ASSERT_TRUE(Desktop) << Error.toStdString();
    ASSERT_TRUE(Windows.IsOpen());
    Ini = std::make_unique<TConfigIni>(Dir.filePath("Config.ini"));
  }
  void Set(const QString& Key, const QString& Value) { Ini->WriteString("TranslationWindow", Key, Value); }

  // Runs xdotool and keeps the event loop going meanwhile.
  static void Xdo(const QStringList& Arguments) {
    QProcess Tool;
    Tool.start("xdotool", Arguments);
    ASSERT_TRUE(Tool.waitForStarted());
    ASSERT_TRUE(QTest::qWaitFor([&] { return Tool.state() == QProcess::NotRunning; }, 10000));
    ASSERT_EQ(Tool.exitCode(), 0) << Tool.readAllStandardError().toStdString();
  }

  // The window with the X input focus.
  static QString Focus() {
    QProcess Tool;
    Tool.start("xdotool", {"getwindowfocus"});
    (void)QTest::qWaitFor([&] { return Tool.state() == QProcess::NotRunning; }, 10000);
    return QString::fromLatin1(Tool.readAllStandardOutput()).trimmed();
  }

  std::unique_ptr<TPlatform> Desktop;
  TX11Windows Windows;
  QTemporaryDir Dir;
  std::unique_ptr<TConfigIni> Ini;
};

// A full-screen translation lays the overlay over the work area, anchored at
// the monitor's origin, after showing it where it stood.
TEST_F(OverlayDesktopX11, AFullScreenOverlayBesideAPanelTakesTheFocusShowsTheHintAndEscapeHidesIt) {
  TPanel Panel(Windows, 40);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Desktop->WorkArea() == TRect{0, 0, 1920, 1040}; }, 5000));
  // The user works in another program, which has the focus.
  QProcess Editor;
  Editor.start("xmessage", {"-name", "editor", "-geometry", "300x200+900+600", "typing"});
  ASSERT_TRUE(Editor.waitForStarted());
  Xdo({"search", "--sync", "--classname", "editor", Windows.HasWindowManager() ? "windowactivate" : "windowfocus",
       "--sync"});
  const QString EditorFocus = Focus();

  Set("Overlay", "1");
  TIteratorResultList List{{100, 100, 400, 160, "번역", 1, 2, 14}};
  TTranslationForm Form(nullptr, *Ini, *Desktop);
  Form.setGeometry(0, 0, 1920, 1039);
  Form.setVisible(true);
  Form.UpdateText(&List);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Form));
  EXPECT_FALSE(QTest::qWaitFor([&] { return Focus() != EditorFocus; }, 500))
      << "one pixel short of the work area, it took the focus";

  Form.setGeometry(0, 0, 1920, 1040);
  Form.show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return QGuiApplication::focusWindow() == Form.windowHandle(); }, 5000));
  const auto HintPixels = [&] {
    const QImage Top = Desktop->CopyScreen({0, 0, 1920, 40});
    int Red = 0;
    for (int Y = 0; Y < Top.height(); ++Y)
      for (int X = 0; X < Top.width(); ++X)
        Red += Top.pixelColor(X, Y).red() > 200 && Top.pixelColor(X, Y).green() < 80;
    return Red;
  };
  EXPECT_TRUE(QTest::qWaitFor([&] { return HintPixels() > 50; }, 3000)) << "no Escape hint";

  Xdo({"key", "Escape"});
  EXPECT_TRUE(QTest::qWaitFor([&] { return !Form.isVisible(); }, 3000));
  Editor.kill();
  Editor.waitForFinished();
}

// The translation's line above the source's, in the font the default
// settings come to on Linux: each line shows whole, as the same text drawn
// alone shows, and the second lies at least a line's height lower.
TEST_F(OverlayDesktopX11, TwoLineTranslationsDoNotOverlap) {
  const QString Font = QStringLiteral("Noto Sans CJK KR");
  Set("Overlay", "0");
  Set("FontName", Font);
  Set("FontSize", "14");
  const QString Text = QStringLiteral("Égjy 번역");
  TIteratorResultList List{{40, 30, 440, 30, Text + QChar(2) + Text, 1, 2, 14}, {500, 30, 900, 30, Text, 1, 1, 14}};
  TTranslationForm Form(nullptr, *Ini, *Desktop);
  Form.setGeometry(100, 100, 1000, 400);
  Form.UpdateText(&List);
  Form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Form));

  const QString Setup = qEnvironmentVariable("KORVEX_X11_SETUP");
  const int Dpi = Setup.contains("dpi=192") ? 192 : 96;
  ASSERT_EQ(Form.logicalDpiY(), Dpi);
  const int Height = TQtTextMeasurer(Dpi).Metrics({Font, 14, false}).height();
  const TRect Client = Form.ClientScreenRect();
  const auto Painted = [&] {
    const QImage Shown = Desktop->CopyScreen(Client);
    for (int Y = 32; Y < 32 + Height; ++Y)
      for (int X = 500; X < 900; ++X)
        if (qGray(Shown.pixel(X, Y)) < 60)
          return true;
    return false;
  };
  ASSERT_TRUE(QTest::qWaitFor(Painted, 3000));
  const QImage Shown = Desktop->CopyScreen(Client);
  const auto Rows = [&](int Left, int Top) { return Shown.copy(Left, Top, 400, Height); };
  const QImage Alone = Rows(500, 32);
  EXPECT_TRUE(Rows(40, 32) == Alone) << "the first line is cut";
  int Advance = Height;
  while (Advance < 4 * Height && Rows(40, 32 + Advance) != Alone)
    ++Advance;
  EXPECT_LT(Advance, 4 * Height) << "no whole second line";
}

} // namespace
