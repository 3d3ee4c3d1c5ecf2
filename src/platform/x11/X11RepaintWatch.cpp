#include "platform/x11/X11Platform.h"

#include <QElapsedTimer>
#include <QRegion>
#include <QThread>

#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>

namespace {

// The quiet time of a watch starting now. Uncovering a window makes the
// server fill it with its background at once; the program draws its content
// once it has been scheduled and has read the expose event. Measured with a
// Tk window on two cores that other builds kept busy (load average 4.7 to
// 9, 900 uncoverings): the drawing followed the fill within 0.3 ms on half
// of them, but later than 5 ms on 5.6 %, than 10 ms on 2.2 %, than 20 ms on
// 0.2 %. So the wait grows with the load average per processor, from the
// shortest quiet time on an idle desktop to four times that.
std::chrono::milliseconds QuietTimeNow() {
  double Load = 0;
  if (FILE* File = std::fopen("/proc/loadavg", "r")) {
    if (std::fscanf(File, "%lf", &Load) != 1)
      Load = 0;
    std::fclose(File);
  }
  const long Processors = std::max(1L, sysconf(_SC_NPROCESSORS_ONLN));
  const double Busy = std::clamp(Load / double(Processors), 1.0, 4.0);
  return std::chrono::milliseconds(std::lround(double(RepaintQuietTime.count()) * Busy));
}

// A damage object on the root window: without a compositing manager every
// window draws straight into the screen, and with one the manager draws
// everything there, so either way it hears of every pixel that changes on
// the screen. The reports arrive on a connection of the watch's own, where
// no other event can be mistaken for one.
class TDamageWatch : public TRepaintWatch {
public:
  TDamageWatch(Display* Dpy, int EventBase) : FDpy(Dpy), FEventBase(EventBase), FQuietTime(QuietTimeNow()) {
    FClock.start();
    FDamage = XDamageCreate(FDpy, DefaultRootWindow(FDpy), XDamageReportRawRectangles);
    // The server must know the damage object before other connections
    // change Korvex's windows, or their first repaints go unreported.
    XSync(FDpy, False);
    // A new damage object first reports the whole screen; that is no repaint.
    DropReports();
  }

  ~TDamageWatch() override {
    XDamageDestroy(FDpy, FDamage);
    XSync(FDpy, False);
    DropReports();
  }

  TDamageWatch(const TDamageWatch&) = delete;
  TDamageWatch& operator=(const TDamageWatch&) = delete;

  bool WaitUntilRepainted(const QRegion& Region, std::chrono::milliseconds Limit) override {
    using namespace std::chrono;
    if (Region.isEmpty())
      return true;
    const nanoseconds Deadline = Now() + Limit;
    for (;;) {
      while (XPending(FDpy) > 0) {
        XEvent Event;
        XNextEvent(FDpy, &Event);
        if (Event.type != FEventBase + XDamageNotify)
          continue;
        const auto& Notify = reinterpret_cast<const XDamageNotifyEvent&>(Event);
        if (Notify.damage != FDamage)
          continue;
        const QRect Area(Notify.area.x, Notify.area.y, Notify.area.width, Notify.area.height);
        FRepainted += Area;
        // A report queued before this wait counts as drawn now: no sooner
        // can it be known. Drawing elsewhere on the screen does not delay.
        if (Region.intersects(Area))
          FLastDrawn = Now();
      }
      const nanoseconds Time = Now();
      const bool Covered = FLastDrawn && (Region - FRepainted).isEmpty();
      if (Covered && Time - *FLastDrawn >= FQuietTime)
        return true;
      if (Time >= Deadline)
        return false;
      // Until the limit, or until the drawing there may have ended.
      nanoseconds Sleep = Deadline - Time;
      if (Covered)
        Sleep = std::min(Sleep, FQuietTime - (Time - *FLastDrawn));
      pollfd Wait{ConnectionNumber(FDpy), POLLIN, 0};
      poll(&Wait, 1, int(ceil<milliseconds>(Sleep).count()));
    }
  }

private:
  // Takes this watch's queued reports off the connection, leaving those of
  // any other watch.
  void DropReports() {
    XEvent Event;
    while (XCheckIfEvent(FDpy, &Event, &IsReportOf, reinterpret_cast<XPointer>(this))) {
    }
  }
  static Bool IsReportOf(Display*, XEvent* Event, XPointer Watch) {
    const auto* Self = reinterpret_cast<const TDamageWatch*>(Watch);
    return Event->type == Self->FEventBase + XDamageNotify &&
           reinterpret_cast<const XDamageNotifyEvent*>(Event)->damage == Self->FDamage;
  }

  Display* FDpy;
  int FEventBase;
  const std::chrono::nanoseconds FQuietTime;
  Damage FDamage = 0;
  QRegion FRepainted;
  std::chrono::nanoseconds Now() const { return std::chrono::nanoseconds(FClock.nsecsElapsed()); }
  QElapsedTimer FClock;
  // When the last report touching the awaited region was read, on FClock.
  std::optional<std::chrono::nanoseconds> FLastDrawn;
};

// Where the server has no DAMAGE extension: a short pause is all there is.
class TPauseWatch : public TRepaintWatch {
public:
  bool WaitUntilRepainted(const QRegion&, std::chrono::milliseconds Limit) override {
    QThread::msleep(static_cast<unsigned long>(std::min<qint64>(Limit.count(), 50)));
    return false;
  }
};

} // namespace

std::unique_ptr<TRepaintWatch> TX11Platform::WatchRepaints() {
  if (!FRepaintDisplayTried) {
    FRepaintDisplayTried = true;
    FRepaintDisplay = XOpenDisplay(DisplayString(FDisplay));
    int ErrorBase = 0, Major = 1, Minor = 1;
    if (FRepaintDisplay && !(XDamageQueryExtension(FRepaintDisplay, &FDamageEventBase, &ErrorBase) &&
                             XDamageQueryVersion(FRepaintDisplay, &Major, &Minor))) {
      XCloseDisplay(FRepaintDisplay);
      FRepaintDisplay = nullptr;
    }
  }
  if (!FRepaintDisplay)
    return std::make_unique<TPauseWatch>();
  return std::make_unique<TDamageWatch>(FRepaintDisplay, FDamageEventBase);
}
