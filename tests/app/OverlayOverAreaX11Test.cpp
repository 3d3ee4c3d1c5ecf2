// `korvex --command translate` with Korvex's overlay lying over the area
// reads the text beneath, never the overlay: the copy waits for the screen
// there to be redrawn, with no window manager, under openbox and under a
// compositing manager (xcompmgr), each started here on the test's own
// display. The overlay answers with a text of its own, so a request that
// carries it shows that the overlay was copied.
#include "app/RemoteCommands.h"
#include "platform/Platform.h"
#include "text/LoopbackServer.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "support/DesktopTools.h"
#include "support/RuntimeFolder.h"

// Last, and without the macros that clash with GoogleTest's names.
#include "support/DesktopManagers.h"
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#undef Bool
#undef None

namespace {

const TRect Area{0, 0, 900, 300};
// Box colour stored 0x00BBGGRR: a light yellow (RGB FF FF 80) that the
// recogniser takes for background, so a copied overlay would be read.
const char* BoxColorSetting = "$0080FFFF";
const QRgb BoxColor = qRgb(0xFF, 0xFF, 0x80);
const std::string OverlayText = "OVERLAY WORDS HERE";

class OverlayOverAreaX11 : public ::testing::TestWithParam<const char*> {
protected:
  void SetUp() override {
    QString Error;
    Desktop = CreateX11Platform(&Error);
    ASSERT_TRUE(Desktop) << Error.toStdString();
    Dpy = XOpenDisplay(nullptr);
    ASSERT_NE(Dpy, nullptr);

    ASSERT_TRUE(StartDesktopManager(GetParam(), Manager, Dpy, *Desktop));

    ASSERT_TRUE(Dir.isValid());
    ASSERT_TRUE(MakeRuntimeFolder(Dir.path()));
    // A plain desktop, so that nothing but the text can be read.
    XSetWindowBackground(Dpy, DefaultRootWindow(Dpy), WhitePixel(Dpy, DefaultScreen(Dpy)));
    XClearWindow(Dpy, DefaultRootWindow(Dpy));
    Text.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Text));
    // Below every window, the managed ones included, as an application
    // window under Korvex's overlay is.
    Text.lower();
  }

  // A full-screen translation takes the work area, announced here as
  // exactly the text window: it becomes the area `translate` works on. Set
  // just before, as a window manager sets its own when windows come.
  void AnnounceWorkArea() {
    const long WorkArea[4] = {Area.Left, Area.Top, Area.Width(), Area.Height()};
    XChangeProperty(Dpy, DefaultRootWindow(Dpy), XInternAtom(Dpy, "_NET_WORKAREA", False), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(WorkArea), 4);
    XSync(Dpy, False);
  }

  void TearDown() override {
    for (QProcess* Process : {&Korvex, &Manager}) {
      if (Process->state() == QProcess::NotRunning)
        continue;
      Process->terminate();
      if (!Process->waitForFinished(5000))
        Process->kill();
      Process->waitForFinished(5000);
    }
    XDeleteProperty(Dpy, DefaultRootWindow(Dpy), XInternAtom(Dpy, "_NET_WORKAREA", False));
    XCloseDisplay(Dpy);
    Desktop.reset();
  }

  void StartKorvex() {
    QFile Ini(Dir.filePath("Config.ini"));
    ASSERT_TRUE(Ini.open(QIODevice::WriteOnly));
    Ini.write(QStringLiteral("[Translation]\nServer=%1\n"
                             "[TranslationWindow]\nTextBackColor=%2\nFontColor=clBlack\nFontName=DejaVu Sans\n"
                             "FontSize=24\n[General]\nLeft=1300\nTop=700\n")
                  .arg(Server.Url(), QString::fromLatin1(BoxColorSetting))
                  .toUtf8());
    Ini.close();
    Korvex.start(Dir.filePath("korvex"), {});
    ASSERT_TRUE(Korvex.waitForStarted(5000));
    ASSERT_TRUE(QTest::qWaitFor(
        [] {
          QLocalSocket Probe;
          Probe.connectToServer(TRemoteCommands::ServerName());
          return Probe.waitForConnected(100);
        },
        20000))
        << Korvex.readAllStandardError().toStdString();
  }

  // Sends Command and waits until its texts reached the server and the
  // overlay is back over the area. The texts it sent.
  std::vector<std::string> Translate(const char* Command) {
    const size_t Before = Server.Requests().size();
    QString Errors;
    EXPECT_EQ(RunTool(Dir.filePath("korvex"), {"--command", Command}, &Errors), 0) << Errors.toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return Server.Requests().size() >= Before + 2; }, 20000))
        << Korvex.readAllStandardError().toStdString();
    EXPECT_TRUE(QTest::qWaitFor([this] { return OverlayShown(); }, 10000)) << "no overlay over the area";
    std::vector<std::string> Texts;
    const auto Requests = Server.Requests();
    for (size_t I = Before; I < Requests.size(); ++I)
      Texts.push_back(nlohmann::json::parse(Requests[I].Body).value("q", std::string()));
    return Texts;
  }

  bool OverlayShown() {
    const QImage Copy = Desktop->CopyScreen(Area);
    int Box = 0;
    for (int Y = 0; Y < Copy.height(); Y += 2)
      for (int X = 0; X < Copy.width(); X += 2)
        Box += (Copy.pixel(X, Y) & 0xffffff) == (BoxColor & 0xffffff);
    return Box > 2000;
  }

  std::unique_ptr<TPlatform> Desktop;
  Display* Dpy = nullptr;
  QProcess Manager;
  QProcess Korvex;
  QTemporaryDir Dir;
  // Two paragraphs of large English text, outside the window manager's
  // care so that it stays exactly where it is put.
  TLargeTextWindow Text{QRect(Area.Left, Area.Top, Area.Width(), Area.Height()),
                        {{QPoint(40, 80), QStringLiteral("Good morning, dear friends.")},
                         {QPoint(40, 230), QStringLiteral("Close the window now.")}},
                        Qt::X11BypassWindowManagerHint};
  TLoopbackServer Server{[](const httplib::Request&, httplib::Response& Response) {
    Response.set_content(nlohmann::json{{"translated_text", OverlayText}}.dump(), "application/json");
  }};
};

TEST_P(OverlayOverAreaX11, TranslateReadsTheTextUnderTheOverlay) {
  ASSERT_NO_FATAL_FAILURE(StartKorvex());
  AnnounceWorkArea();
  const std::vector<std::string> First = Translate("full-screen");
  ASSERT_EQ(First.size(), 2u);
  ASSERT_NE(First[0].find("morning"), std::string::npos) << First[0];
  ASSERT_NE(First[1].find("window"), std::string::npos) << First[1];

  // Each time the overlay lies exactly over the area when the command comes.
  for (int Round = 0; Round < 4; ++Round)
    EXPECT_EQ(Translate("translate"), First) << "round " << Round;
}

INSTANTIATE_TEST_SUITE_P(Desktops, OverlayOverAreaX11, ::testing::Values("none", "openbox", "xcompmgr"),
                         [](const auto& Info) { return std::string(Info.param); });

} // namespace
