// Closing the main window ends korvex from whatever it is doing: status 0,
// within moments, and the command socket free for the next start. Runs on a
// private X server, with and without a window manager.

#include "support/KorvexProcess.h"
#include "text/LoopbackServer.h"

#include <QElapsedTimer>
#include <QPainter>
#include <QWidget>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <thread>

#include "support/DesktopTools.h"
#include "support/X11Windows.h"

namespace {

// Large English text for a full-screen translation to find.
struct TGreetingWindow : TLargeTextWindow {
  TGreetingWindow()
      : TLargeTextWindow(QRect(100, 100, 900, 200),
                         {{QPoint(40, 100), QStringLiteral("Good morning, dear friends.")}}) {}
};

const QString MainTitle = QStringLiteral("Korvex v0.1");

class CloseX11 : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(Windows.IsOpen()); }

  void Start(const QByteArray& MoreSettings = {}, const QProcessEnvironment& Environment = {}) {
    // The main window keeps clear of the text.
    Korvex.WriteConfig("[Translation]\nServer=" + Server.Url().toUtf8() + "\n[General]\nLeft=1300\nTop=700\n" +
                       MoreSettings);
    ASSERT_TRUE(Korvex.Start(Environment)) << Korvex.Process.readAllStandardError().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([this] { return MainWindow().has_value(); }, 10000)) << "no main window";
  }

  std::optional<TX11Windows::TWindow> MainWindow() {
    return Windows.Find(Korvex.Process.processId(), [](const auto& W) { return W.Title == MainTitle; });
  }

  // While a selection runs the main window is fully transparent.
  bool MainWindowHidden() {
    const auto Main = MainWindow();
    return Main && Windows.Cardinals(Main->Id, "_NET_WM_WINDOW_OPACITY").value(0, -1) == 0;
  }

  // Closes the main window as a window manager does and expects korvex to
  // end well.
  // A dialog of korvex's (a message box, the notice) is on the screen.
  bool ShowsADialog() {
    return Windows
        .Find(Korvex.Process.processId(), [](const auto& W) { return W.Types.contains("_NET_WM_WINDOW_TYPE_DIALOG"); })
        .has_value();
  }

  void CloseAndExpectTheEnd() {
    const auto Main = MainWindow();
    ASSERT_TRUE(Main);
    QElapsedTimer Clock;
    Clock.start();
    Windows.SendDelete(Main->Id);
    ASSERT_TRUE(Korvex.WaitForEnd(10000)) << "korvex still runs after its main window closed\n"
                                          << Korvex.Process.readAllStandardError().toStdString();
    RecordProperty("exit_ms", int(Clock.elapsed()));
    EXPECT_EQ(Korvex.Process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(Korvex.Process.exitCode(), 0) << Korvex.Process.readAllStandardError().toStdString();
    EXPECT_FALSE(TKorvexProcess::TakesCommands());
    EXPECT_FALSE(QFile::exists(TRemoteCommands::ServerName())) << "the command socket is left behind";
  }

  // The server holds each reply until the test lets it go, or answers
  // with ReplyStatus at once.
  std::atomic<bool> Release{false};
  std::atomic<int> ReplyStatus{0};
  TLoopbackServer Server{[this](const httplib::Request&, httplib::Response& Response) {
    for (int I = 0; I < 2000 && !Release && ReplyStatus == 0; ++I)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    Response.status = ReplyStatus != 0 ? int(ReplyStatus) : 200;
    Response.set_content(ReplyStatus != 0 ? R"({"error": "no such language pair"})" : R"({"translated_text": "안녕"})",
                         "application/json");
  }};
  TKorvexProcess Korvex;
  TX11Windows Windows;
};

TEST_F(CloseX11, AfterAClickWithoutDragAndEscape) {
  // A translation shown first, as after a working session.
  TGreetingWindow Text;
  Text.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Text));
  Release = true;
  ASSERT_NO_FATAL_FAILURE(Start("[TranslationWindow]\nEqualArea=0\n"));
  ASSERT_EQ(Korvex.Command("full-screen"), 0);
  ASSERT_TRUE(QTest::qWaitFor([this] { return !Server.Requests().empty(); }, 20000)) << "no translation started";
  ASSERT_TRUE(QTest::qWaitFor(
      [this] {
        return Windows.WindowsOf(Korvex.Process.processId()).size() >= 2 &&
               Windows.Find(Korvex.Process.processId(), [](const auto& W) { return W.Title != MainTitle; });
      },
      10000))
      << "no overlay";

  ASSERT_EQ(Korvex.Command("select-translate"), 0);
  ASSERT_TRUE(QTest::qWaitFor([this] { return MainWindowHidden(); }, 10000)) << "no selection";
  // A click at one point completes an empty selection; held a moment so
  // that the polling loop sees the button down.
  ASSERT_TRUE(QTest::qWaitFor(
      [this] {
        Xdo({"mousemove", "500", "400", "mousedown", "1", "sleep", "0.3", "mouseup", "1"});
        return QTest::qWaitFor([this] { return !MainWindowHidden(); }, 1000);
      },
      15000))
      << "the click did not end the selection";
  Xdo({"key", "Escape"});
  CloseAndExpectTheEnd();
}

TEST_F(CloseX11, InsideASelection) {
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_EQ(Korvex.Command("select-translate"), 0);
  ASSERT_TRUE(QTest::qWaitFor([this] { return MainWindowHidden(); }, 10000)) << "no selection";
  CloseAndExpectTheEnd();
}

TEST_F(CloseX11, WhileTheTranslationServerKeepsItWaiting) {
  TGreetingWindow Text;
  Text.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Text));
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_EQ(Korvex.Command("full-screen"), 0);
  ASSERT_TRUE(QTest::qWaitFor([this] { return !Server.Requests().empty(); }, 20000)) << "no translation started";
  CloseAndExpectTheEnd();
  Release = true;
}

TEST_F(CloseX11, WithAnErrorBoxOpen) {
  TGreetingWindow Text;
  Text.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Text));
  ReplyStatus = 400;
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_EQ(Korvex.Command("full-screen"), 0);
  // The box that says why the server refused.
  ASSERT_TRUE(QTest::qWaitFor([this] { return ShowsADialog(); }, 20000)) << "no error box";
  CloseAndExpectTheEnd();
}

TEST_F(CloseX11, WithTheWaylandNoticeOpen) {
  QProcessEnvironment Wayland;
  Wayland.insert("XDG_SESSION_TYPE", "wayland");
  ASSERT_NO_FATAL_FAILURE(Start({}, Wayland));
  ASSERT_TRUE(QTest::qWaitFor([this] { return ShowsADialog(); }, 10000)) << "no notice";
  CloseAndExpectTheEnd();
}

} // namespace
