#include "platform/x11/X11Platform.h"

#include <QElapsedTimer>
#include <QRegion>
#include <QThread>

#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>
#include <poll.h>

#include <algorithm>

namespace {

// A damage object on the root window: without a compositing manager every
// window draws straight into the screen, and with one the manager draws
// everything there, so either way it hears of every pixel that changes on
// the screen. The reports arrive on a connection of the watch's own, where
// no other event can be mistaken for one.
class TDamageWatch : public TRepaintWatch {
public:
  TDamageWatch(Display* Dpy, int EventBase) : FDpy(Dpy), FEventBase(EventBase) {
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
    QElapsedTimer Clock;
    Clock.start();
    for (;;) {
      while (XPending(FDpy) > 0) {
        XEvent Event;
        XNextEvent(FDpy, &Event);
        if (Event.type != FEventBase + XDamageNotify)
          continue;
        const auto& Notify = reinterpret_cast<const XDamageNotifyEvent&>(Event);
        if (Notify.damage == FDamage)
          FRepainted += QRect(Notify.area.x, Notify.area.y, Notify.area.width, Notify.area.height);
      }
      if ((Region - FRepainted).isEmpty())
        return true;
      const qint64 Left = Limit.count() - Clock.elapsed();
      if (Left <= 0)
        return false;
      pollfd Wait{ConnectionNumber(FDpy), POLLIN, 0};
      poll(&Wait, 1, int(Left));
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
  Damage FDamage = 0;
  QRegion FRepainted;
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
