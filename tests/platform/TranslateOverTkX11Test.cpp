// `korvex --command translate` with Korvex's overlay lying over the text of
// a Tk window reads that text every time. Tk gives its windows a background
// colour, which the X server paints the moment the overlay goes, before Tk
// draws the text on it; a copy taken at that first fill holds no text, and
// the command then sends nothing. With no window manager, under openbox and
// under a compositing manager (xcompmgr), each started on the test's own
// display.
#include "platform/Platform.h"
#include "text/LoopbackServer.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryFile>
#include <QTest>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "support/DesktopTools.h"
#include "support/KorvexProcess.h"

// Last, and without the macros that clash with GoogleTest's names.
#include "support/DesktopManagers.h"
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#undef Bool
#undef None

namespace {

const TRect Area{0, 0, 900, 300};
// Box colour stored 0x00BBGGRR: a light yellow that the recogniser takes
// for background, so a copied overlay would be read.
const char* BoxColorSetting = "$0080FFFF";
const QRgb BoxColor = qRgb(0xFF, 0xFF, 0x80);
const std::string OverlayText = "OVERLAY WORDS HERE";

// Two lines of large dark text on a light blue Tk window at Area, outside
// the window manager's care, below every other window.
const char* TkScript = R"(
wm overrideredirect . 1
wm geometry . 900x300+0+0
. configure -background "#d0e0f0"
foreach {name text} {a "Good morning, dear friends." b "Close the window now."} {
  label .$name -text $text -font {Helvetica -40} -foreground "#101010" -background "#d0e0f0"
  pack .$name -anchor w -padx 40 -pady 40
}
# Busy for a moment before it redraws, as a program is that has work of
# its own: the text comes a millisecond after the background.
bind . <Expose> {
  if {"%W" eq "." && %c == 0} {
    set start [clock microseconds]
    while {[clock microseconds] - $start < 1000} {}
  }
}
update
lower .
)";

class TranslateOverTkX11 : public ::testing::TestWithParam<const char*> {
protected:
  void SetUp() override {
    QString Error;
    Desktop = CreateX11Platform(&Error);
    ASSERT_TRUE(Desktop) << Error.toStdString();
    Dpy = XOpenDisplay(nullptr);
    ASSERT_NE(Dpy, nullptr);

    ASSERT_TRUE(StartDesktopManager(GetParam(), Manager, Dpy, *Desktop));
    XSetWindowBackground(Dpy, DefaultRootWindow(Dpy), WhitePixel(Dpy, DefaultScreen(Dpy)));
    XClearWindow(Dpy, DefaultRootWindow(Dpy));
    XSync(Dpy, 0);

    ASSERT_TRUE(Script.open());
    Script.write(TkScript);
    Script.flush();
    Tk.start(QStringLiteral("wish"), {Script.fileName()});
    ASSERT_TRUE(Tk.waitForStarted(5000)) << "wish (Debian package tk) is needed";
    // Up once the text's dark pixels show on its background.
    ASSERT_TRUE(QTest::qWaitFor([this] { return DarkPixels(Desktop->CopyScreen(Area)) > 800; }, 10000));
  }

  void TearDown() override {
    Korvex.Stop();
    for (QProcess* Process : {&Tk, &Manager}) {
      if (Process->state() == QProcess::NotRunning)
        continue;
      Process->terminate();
      if (!Process->waitForFinished(5000))
        Process->kill();
      Process->waitForFinished(5000);
    }
    if (Dpy) {
      XDeleteProperty(Dpy, DefaultRootWindow(Dpy), XInternAtom(Dpy, "_NET_WORKAREA", False));
      XCloseDisplay(Dpy);
    }
    Desktop.reset();
  }

  static int DarkPixels(const QImage& Copy) {
    int Dark = 0;
    for (int Y = 0; Y < Copy.height(); Y += 2)
      for (int X = 0; X < Copy.width(); X += 2)
        Dark += qGray(Copy.pixel(X, Y)) < 60;
    return Dark;
  }

  static int BoxPixels(const QImage& Copy) {
    int Box = 0;
    for (int Y = 0; Y < Copy.height(); Y += 2)
      for (int X = 0; X < Copy.width(); X += 2)
        Box += (Copy.pixel(X, Y) & 0xffffff) == (BoxColor & 0xffffff);
    return Box;
  }

  // A full-screen translation takes the work area, announced here as
  // exactly the Tk window: it becomes the area `translate` works on.
  void AnnounceWorkArea() {
    const long WorkArea[4] = {Area.Left, Area.Top, Area.Width(), Area.Height()};
    XChangeProperty(Dpy, DefaultRootWindow(Dpy), XInternAtom(Dpy, "_NET_WORKAREA", False), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(WorkArea), 4);
    XSync(Dpy, 0);
  }

  // Sends Command; the texts that reached the server once the overlay has
  // shown their translation over the area.
  std::vector<std::string> Translate(const char* Command) {
    const size_t Before = Server.Requests().size();
    EXPECT_EQ(Korvex.Command(QString::fromLatin1(Command)), 0);
    // Each line is a request of its own; a copy without the text sends none.
    const bool Sent = QTest::qWaitFor([&] { return Server.Requests().size() >= Before + 2; }, 10000);
    EXPECT_TRUE(Sent) << "nothing was translated: the copy held no text";
    if (Sent) {
      EXPECT_TRUE(QTest::qWaitFor([this] { return BoxPixels(Desktop->CopyScreen(Area)) > 2000; }, 10000))
          << "no overlay over the area";
    }
    // The overlay's own paint is done before the next command comes.
    QTest::qWait(100);
    std::vector<std::string> Texts;
    const auto Requests = Server.Requests();
    for (size_t I = Before; I < Requests.size(); ++I)
      Texts.push_back(nlohmann::json::parse(Requests[I].Body).value("q", std::string()));
    return Texts;
  }

  std::unique_ptr<TPlatform> Desktop;
  Display* Dpy = nullptr;
  QProcess Manager;
  QProcess Tk;
  QTemporaryFile Script;
  TKorvexProcess Korvex;
  TLoopbackServer Server{[](const httplib::Request&, httplib::Response& Response) {
    Response.set_content(nlohmann::json{{"translated_text", OverlayText}}.dump(), "application/json");
  }};
};

TEST_P(TranslateOverTkX11, EveryTranslateReadsTheText) {
  Korvex.WriteConfig(QStringLiteral("[Translation]\nServer=%1\n"
                                    "[TranslationWindow]\nTextBackColor=%2\nFontColor=clBlack\nFontName=DejaVu Sans\n"
                                    "FontSize=24\n[General]\nLeft=1300\nTop=700\n")
                         .arg(Server.Url(), QString::fromLatin1(BoxColorSetting))
                         .toUtf8());
  ASSERT_TRUE(Korvex.Start()) << Korvex.Process.readAllStandardError().toStdString();
  AnnounceWorkArea();
  const std::vector<std::string> First = Translate("full-screen");
  ASSERT_EQ(First.size(), 2u);
  ASSERT_NE(First[0].find("morning"), std::string::npos) << First[0];
  ASSERT_NE(First[1].find("window"), std::string::npos) << First[1];

  // Each time the overlay lies over the area, above the text, when the
  // command comes.
  for (int Round = 0; Round < 12; ++Round)
    EXPECT_EQ(Translate("translate"), First) << "round " << Round;
}

INSTANTIATE_TEST_SUITE_P(Desktops, TranslateOverTkX11, ::testing::Values("none", "openbox", "xcompmgr"),
                         [](const auto& Info) { return std::string(Info.param); });

} // namespace
