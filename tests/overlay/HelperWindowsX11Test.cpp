// The overlay and the selection window as a window manager, a task bar and a
// pager see them: off task bars and pagers, on top, and the overlay without
// taking the focus unless it covers the whole screen. Runs with and without
// a window manager (tests/run-x11 --wm).

#include "capture/SelectForm.h"
#include "overlay/TranslateForm.h"
#include "platform/Platform.h"
#include "settings/ConfigIni.h"

#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

#include <memory>

#include "support/X11Windows.h"

namespace {

class HelperWindowsX11 : public ::testing::Test {
protected:
  void SetUp() override {
    QString Error;
    Desktop = CreateX11Platform(&Error);
    ASSERT_TRUE(Desktop) << Error.toStdString();
    ASSERT_TRUE(Windows.IsOpen());
    Ini = std::make_unique<TConfigIni>(Dir.filePath("Config.ini"));
    Ini->WriteString("TranslationWindow", "Timer", "0");
    // An ordinary window the user works in, with the focus.
    Focused.setWindowTitle("editor");
    Focused.setGeometry(900, 600, 300, 200);
    Focused.show();
    Focused.activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return QGuiApplication::focusWindow() == Focused.windowHandle(); }, 5000));
  }

  // The window's states as the window manager keeps them once it is mapped.
  QStringList StatesOf(QWidget& Window) {
    QStringList States;
    (void)QTest::qWaitFor(
        [&] {
          States = Windows.AtomNames(Window.winId(), "_NET_WM_STATE");
          return States.contains("_NET_WM_STATE_SKIP_TASKBAR") && States.contains("_NET_WM_STATE_SKIP_PAGER") &&
                 States.contains("_NET_WM_STATE_ABOVE");
        },
        3000);
    return States;
  }

  static void ExpectOffTaskbarsAndOnTop(const QStringList& States) {
    EXPECT_TRUE(States.contains("_NET_WM_STATE_SKIP_TASKBAR")) << States.join(' ').toStdString();
    EXPECT_TRUE(States.contains("_NET_WM_STATE_SKIP_PAGER")) << States.join(' ').toStdString();
    EXPECT_TRUE(States.contains("_NET_WM_STATE_ABOVE")) << States.join(' ').toStdString();
  }

  std::unique_ptr<TPlatform> Desktop;
  QTemporaryDir Dir;
  std::unique_ptr<TConfigIni> Ini;
  QWidget Focused;
  TX11Windows Windows;
  TIteratorResultList List{{20, 20, 200, 60, "번역", 1, 2, 14}};
};

TEST_F(HelperWindowsX11, TheOverlayStaysOffTaskBarsAndLeavesTheFocusWhereItWas) {
  TTranslationForm Overlay(nullptr, *Ini, *Desktop);
  // Shown, hidden and shown again: a window manager forgets a window's
  // states when it is hidden.
  for (int Round = 0; Round < 2; ++Round) {
    Overlay.setGeometry(100, 100, 400, 300);
    Overlay.UpdateText(&List);
    Overlay.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Overlay));
    ExpectOffTaskbarsAndOnTop(StatesOf(Overlay));
    EXPECT_FALSE(QTest::qWaitFor([&] { return QGuiApplication::focusWindow() != Focused.windowHandle(); }, 500))
        << "the overlay took the focus in round " << Round;
    Overlay.hide();
    QCoreApplication::processEvents();
  }
}

TEST_F(HelperWindowsX11, AFullScreenOverlayTakesTheFocusAndStaysOffTaskBars) {
  TTranslationForm Overlay(nullptr, *Ini, *Desktop);
  const TRect Monitor = Desktop->Monitors().front();
  Overlay.setGeometry(Monitor.Left, Monitor.Top, Monitor.Width(), Monitor.Height());
  Overlay.UpdateText(&List);
  Overlay.show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return QGuiApplication::focusWindow() == Overlay.windowHandle(); }, 5000));
  ExpectOffTaskbarsAndOnTop(StatesOf(Overlay));
}

TEST_F(HelperWindowsX11, TheSelectionWindowStaysOffTaskBars) {
  TSelectionForm Selection(nullptr, *Desktop);
  for (int Round = 0; Round < 2; ++Round) {
    Selection.setGeometry(0, 0, 800, 600);
    Selection.SetOverlay(true);
    Selection.Start();
    Selection.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Selection));
    ExpectOffTaskbarsAndOnTop(StatesOf(Selection));
    Selection.hide();
    QCoreApplication::processEvents();
  }
}

} // namespace
