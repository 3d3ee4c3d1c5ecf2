#pragma once

// What a window manager, a task bar or a pager sees of another program's
// windows, read with Xlib on a connection of the test's own.

#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class TX11Windows {
public:
  struct TWindow {
    unsigned long Id = 0;
    QString Title;
    bool Mapped = false;
    QRect Geometry;     // the client area, root coordinates
    QRect FrameExtents; // left, top, right, bottom as x, y, width, height; zero without a window manager
    QStringList States; // _NET_WM_STATE atom names
    QStringList Types;  // _NET_WM_WINDOW_TYPE atom names
    bool AcceptsFocus = true;
  };

  TX11Windows() : FDisplay(XOpenDisplay(nullptr)) {}
  ~TX11Windows() {
    if (FDisplay)
      XCloseDisplay(FDisplay);
  }
  TX11Windows(const TX11Windows&) = delete;
  TX11Windows& operator=(const TX11Windows&) = delete;

  bool IsOpen() const { return FDisplay != nullptr; }
  Display* Connection() const { return FDisplay; }

  // The top-level windows of the process Pid (by _NET_WM_PID), framed or not.
  std::vector<TWindow> WindowsOf(long Pid) {
    std::vector<TWindow> Result;
    Walk(DefaultRootWindow(FDisplay), [&](Window W) {
      if (Cardinals(W, "_NET_WM_PID").value(0, -1) != Pid)
        return false;
      Result.push_back(Describe(W));
      return true; // its children are the program's own
    });
    return Result;
  }

  // The first mapped window of Pid that Match accepts.
  std::optional<TWindow> Find(long Pid, const std::function<bool(const TWindow&)>& Match) {
    for (const TWindow& W : WindowsOf(Pid))
      if (W.Mapped && Match(W))
        return W;
    return std::nullopt;
  }

  // What the window manager sends when the user closes a window.
  void SendDelete(unsigned long Id) {
    XEvent Event{};
    Event.xclient.type = ClientMessage;
    Event.xclient.window = Id;
    Event.xclient.message_type = XInternAtom(FDisplay, "WM_PROTOCOLS", False);
    Event.xclient.format = 32;
    Event.xclient.data.l[0] = long(XInternAtom(FDisplay, "WM_DELETE_WINDOW", False));
    Event.xclient.data.l[1] = CurrentTime;
    XSendEvent(FDisplay, Id, False, NoEventMask, &Event);
    XSync(FDisplay, False);
  }

  // The names in a list of ATOMs on W.
  QStringList AtomNames(Window W, const char* Property) {
    QStringList Names;
    for (long Value : Values(W, Property, XA_ATOM))
      if (char* Name = XGetAtomName(FDisplay, Atom(Value))) {
        Names << QString::fromLatin1(Name);
        XFree(Name);
      }
    return Names;
  }

  QList<long> Cardinals(Window W, const char* Property) { return Values(W, Property, XA_CARDINAL); }

  bool HasWindowManager() {
    return !Values(DefaultRootWindow(FDisplay), "_NET_SUPPORTING_WM_CHECK", XA_WINDOW).isEmpty();
  }

private:
  QList<long> Values(Window W, const char* Property, Atom Type) {
    QList<long> Result;
    Atom ActualType = 0;
    int Format = 0;
    unsigned long Count = 0, After = 0;
    unsigned char* Data = nullptr;
    const Atom Name = XInternAtom(FDisplay, Property, False);
    if (XGetWindowProperty(FDisplay, W, Name, 0, 1024, False, Type, &ActualType, &Format, &Count, &After, &Data) ==
            Success &&
        Data) {
      if (Format == 32 && ActualType == Type)
        for (unsigned long I = 0; I < Count; ++I)
          Result << reinterpret_cast<const long*>(Data)[I];
      XFree(Data);
    }
    return Result;
  }

  // Visits W's descendants depth first; Visit returns true to skip the
  // children of the window it was given.
  void Walk(Window W, const std::function<bool(Window)>& Visit) {
    Window Root = 0, Parent = 0, *Children = nullptr;
    unsigned int Count = 0;
    if (!XQueryTree(FDisplay, W, &Root, &Parent, &Children, &Count))
      return;
    std::unique_ptr<Window, int (*)(void*)> Owned(Children, XFree);
    for (unsigned int I = 0; I < Count; ++I)
      if (!Visit(Children[I]))
        Walk(Children[I], Visit);
  }

  TWindow Describe(Window W) {
    TWindow Result;
    Result.Id = W;
    XWindowAttributes Attributes{};
    if (XGetWindowAttributes(FDisplay, W, &Attributes)) {
      Result.Mapped = Attributes.map_state == IsViewable;
      int X = 0, Y = 0;
      Window Child = 0;
      XTranslateCoordinates(FDisplay, W, DefaultRootWindow(FDisplay), 0, 0, &X, &Y, &Child);
      Result.Geometry = QRect(X, Y, Attributes.width, Attributes.height);
    }
    char* Name = nullptr;
    if (XFetchName(FDisplay, W, &Name) && Name) {
      Result.Title = QString::fromUtf8(Name);
      XFree(Name);
    }
    const QList<long> Extents = Cardinals(W, "_NET_FRAME_EXTENTS");
    if (Extents.size() == 4)
      Result.FrameExtents = QRect(int(Extents[0]), int(Extents[2]), int(Extents[1]), int(Extents[3]));
    Result.States = AtomNames(W, "_NET_WM_STATE");
    Result.Types = AtomNames(W, "_NET_WM_WINDOW_TYPE");
    if (XWMHints* Hints = XGetWMHints(FDisplay, W)) {
      if (Hints->flags & InputHint)
        Result.AcceptsFocus = Hints->input != 0;
      XFree(Hints);
    }
    return Result;
  }

  Display* FDisplay;
};
