// The repaint watch waits for what a program draws beneath a window that
// Korvex hides, not for the background the X server fills in first. The
// program here draws as Tk and many toolkits do: the server fills its window
// with the background colour on each expose, and the program draws its text
// a few milliseconds later, once it has read the expose event.
#include "platform/Platform.h"

#include <QGuiApplication>
#include <QPainter>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

// Last, and without the macros that clash with GoogleTest's names.
#include <X11/Xlib.h>
#include <poll.h>
#undef Bool
#undef None

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

const QRect Place(100, 100, 600, 200);
const unsigned long Background = 0xD0E0F0; // as the default TrueColor visual takes RGB
constexpr auto DrawDelay = 2ms;
constexpr auto Limit = 200ms;

// A window of another client, on a connection and thread of its own, that
// draws its "text" (dark bars) DrawDelay after each expose.
class TLateDrawer {
public:
  TLateDrawer() : FDpy(XOpenDisplay(nullptr)) {
    if (!FDpy)
      return;
    XSetWindowAttributes Attributes{};
    Attributes.override_redirect = 1;
    Attributes.background_pixel = Background;
    Attributes.event_mask = ExposureMask;
    FWindow = XCreateWindow(FDpy, DefaultRootWindow(FDpy), Place.x(), Place.y(), unsigned(Place.width()),
                            unsigned(Place.height()), 0, CopyFromParent, InputOutput, nullptr,
                            CWOverrideRedirect | CWBackPixel | CWEventMask, &Attributes);
    FInk = XCreateGC(FDpy, FWindow, 0, nullptr);
    XSetForeground(FDpy, FInk, 0x202020);
    XMapRaised(FDpy, FWindow);
    XSync(FDpy, 0);
    FThread = std::thread([this] { Run(); });
  }
  ~TLateDrawer() {
    FStop = true;
    if (FThread.joinable())
      FThread.join();
    if (FDpy)
      XCloseDisplay(FDpy);
  }
  TLateDrawer(const TLateDrawer&) = delete;
  TLateDrawer& operator=(const TLateDrawer&) = delete;

  bool IsOpen() const { return FDpy != nullptr; }
  int Draws() const { return FDraws; }
  // When the server had carried out the last drawing.
  Clock::time_point LastDrawn() const {
    std::lock_guard Lock(FMutex);
    return FLastDrawn;
  }

private:
  void Run() {
    bool Exposed = false;
    Clock::time_point Next = Clock::now() + 1h;
    while (!FStop) {
      const auto Left = std::chrono::ceil<std::chrono::milliseconds>(Next - Clock::now()).count();
      pollfd Wait{ConnectionNumber(FDpy), POLLIN, 0};
      poll(&Wait, 1, int(std::clamp<long long>(Left, 0, 10)));
      while (XPending(FDpy) > 0) {
        XEvent Event;
        XNextEvent(FDpy, &Event);
        if (Event.type == Expose && Event.xexpose.count == 0 && !Exposed) {
          Exposed = true;
          Next = Clock::now() + DrawDelay;
        }
      }
      if (Clock::now() < Next)
        continue;
      Draw();
      Exposed = false;
      Next = Clock::now() + 1h;
    }
  }

  void Draw() {
    XRectangle Bars[8];
    for (int I = 0; I < 8; ++I)
      Bars[I] = {short(30 + I * 70), short(60 + (I % 2) * 20), 40, 60};
    XFillRectangles(FDpy, FWindow, FInk, Bars, 8);
    XSync(FDpy, 0);
    {
      std::lock_guard Lock(FMutex);
      FLastDrawn = Clock::now();
    }
    ++FDraws;
  }

  Display* FDpy;
  ::Window FWindow = 0;
  GC FInk = nullptr;
  std::thread FThread;
  std::atomic<bool> FStop{false};
  std::atomic<int> FDraws{0};
  mutable std::mutex FMutex;
  Clock::time_point FLastDrawn;
};

// Korvex's overlay as far as the screen is concerned: a window above the
// program that turns fully transparent for the copy.
class TCover : public QWidget {
public:
  TCover() : QWidget(nullptr, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::X11BypassWindowManagerHint) {
    setGeometry(Place.adjusted(-20, -20, 20, 20));
  }

protected:
  void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), QColor(0xFF, 0xFF, 0x80)); }
};

class RepaintWatchX11 : public ::testing::Test {
protected:
  void SetUp() override {
    QString Error;
    Desktop = CreateX11Platform(&Error);
    ASSERT_TRUE(Desktop) << Error.toStdString();
  }

  // Shows the cover and waits until it is what the screen shows there.
  void Cover() {
    Desktop->SetWindowAlpha(&CoverWindow, 255);
    CoverWindow.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&CoverWindow));
    ASSERT_TRUE(QTest::qWaitFor(
        [this] {
          const QImage Copy = CopyPlace();
          return Copy.pixel(0, 0) == qRgb(0xFF, 0xFF, 0x80) && Copy.pixel(50, 100) == qRgb(0xFF, 0xFF, 0x80) &&
                 Copy.pixel(Copy.width() - 1, Copy.height() - 1) == qRgb(0xFF, 0xFF, 0x80);
        },
        5000));
  }

  // Hides the cover as Korvex hides its overlay, after starting a watch:
  // whether the wait saw the area drawn, and when the cover went.
  bool Uncover(Clock::time_point* Hidden) {
    QGuiApplication::sync();
    const std::unique_ptr<TRepaintWatch> Watch = Desktop->WatchRepaints();
    *Hidden = Clock::now();
    Desktop->SetWindowAlpha(&CoverWindow, 0);
    QGuiApplication::sync();
    return Watch->WaitUntilRepainted(QRegion(Place), Limit);
  }

  QImage CopyPlace() {
    return Desktop->CopyScreen(TRect{Place.left(), Place.top(), Place.right() + 1, Place.bottom() + 1});
  }

  std::unique_ptr<TPlatform> Desktop;
  TCover CoverWindow;
};

TEST_F(RepaintWatchX11, TheCopyShowsWhatTheProgramDrawsAfterItsBackground) {
  TLateDrawer Program;
  ASSERT_TRUE(Program.IsOpen());
  ASSERT_TRUE(QTest::qWaitFor([&] { return Program.Draws() > 0; }, 5000));
  QTest::qWait(50);
  const QImage Drawn = CopyPlace();
  // The window as the program leaves it: background and bars.
  ASSERT_EQ(Drawn.pixel(5, 5), QColor(0xD0, 0xE0, 0xF0).rgb());
  ASSERT_EQ(Drawn.pixel(50, 100), QColor(0x20, 0x20, 0x20).rgb());

  // A round is evidence when the program drew within the shortest quiet
  // time of the uncovering (less a millisecond for a compositing manager to
  // pass it on); one that the scheduler held back longer (a busy machine)
  // can show either.
  // Rounds go on until enough of them are evidence, or a busy machine
  // made too many late.
  const bool Compositing = Desktop->IsCompositing();
  int Timely = 0;
  for (int Round = 0; Round < 100 && Timely < 20; ++Round) {
    SCOPED_TRACE(testing::Message() << "round " << Round);
    ASSERT_NO_FATAL_FAILURE(Cover());
    const int DrawsBefore = Program.Draws();
    Clock::time_point Hidden;
    const bool Repainted = Uncover(&Hidden);
    const QImage Copy = CopyPlace();
    // A compositing manager keeps the window's pixels while it is covered:
    // it is not exposed, and the copy shows what it drew before.
    if (!Compositing) {
      ASSERT_TRUE(QTest::qWaitFor([&] { return Program.Draws() > DrawsBefore; }, 5000));
      if (Program.Draws() != DrawsBefore + 1 || Program.LastDrawn() - Hidden > RepaintQuietTime - 1ms)
        continue;
    }
    ++Timely;
    EXPECT_TRUE(Repainted);
    EXPECT_EQ(Copy, Drawn) << "the copy does not show what the program drew "
                           << std::chrono::duration<double, std::milli>(Program.LastDrawn() - Hidden).count()
                           << " ms after the uncovering";
  }
  EXPECT_GE(Timely, 5) << "too few rounds where the program drew in time to tell anything";
}

// Where nothing is drawn at all, the wait ends at its limit and says so.
TEST_F(RepaintWatchX11, AnAreaNeverDrawnEndsTheWaitAtItsLimit) {
  ASSERT_NO_FATAL_FAILURE(Cover());
  QGuiApplication::sync();
  const std::unique_ptr<TRepaintWatch> Watch = Desktop->WatchRepaints();
  const Clock::time_point Start = Clock::now();
  EXPECT_FALSE(Watch->WaitUntilRepainted(QRegion(Place), Limit));
  EXPECT_GE(Clock::now() - Start, Limit);
}

// Where nothing is drawn after the background (an empty desktop), the wait
// ends one quiet time after the fill, long before the limit.
TEST_F(RepaintWatchX11, AnAreaLeftAsFilledIsRepaintedAfterTheQuietTime) {
  ASSERT_NO_FATAL_FAILURE(Cover());
  Clock::time_point Hidden;
  EXPECT_TRUE(Uncover(&Hidden));
  EXPECT_GE(Clock::now() - Hidden, RepaintQuietTime);
}

} // namespace
