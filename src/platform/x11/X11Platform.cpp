#include "platform/x11/X11Platform.h"

#include "platform/x11/X11HotKeys.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QSet>
#include <QThread>
#include <QWidget>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>
#include <X11/extensions/shape.h>
#include <xcb/xcb.h>

// After Xlib: the native interface names Display.
#include <QtGui/qguiapplication_platform.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

namespace {

struct TXFree {
  void operator()(void* Data) const {
    if (Data)
      XFree(Data);
  }
};

// The 32-bit values of a property of W, of type Type; empty when it is not set.
std::vector<long> LongProperty(Display* Dpy, ::Window W, const char* Name, Atom Type) {
  std::vector<long> Result;
  Atom ActualType = 0;
  int Format = 0;
  unsigned long Count = 0, After = 0;
  unsigned char* Raw = nullptr;
  if (XGetWindowProperty(Dpy, W, XInternAtom(Dpy, Name, False), 0, 1024, False, Type, &ActualType, &Format, &Count,
                         &After, &Raw) != Success)
    return Result;
  std::unique_ptr<unsigned char, TXFree> Data(Raw);
  if (Data && ActualType == Type && Format == 32) {
    // Format 32 properties arrive as longs whatever their wire size.
    const long* Values = reinterpret_cast<const long*>(Data.get());
    Result.assign(Values, Values + Count);
  }
  return Result;
}

bool IsKeycodeDown(const char Keymap[32], KeyCode Code) {
  return Code != 0 && (Keymap[Code / 8] & (1 << (Code % 8))) != 0;
}

// A filter of the events of one type that Qt's X connection receives, in
// place for as long as it lives.
class TXcbEventFilter : public QAbstractNativeEventFilter {
public:
  explicit TXcbEventFilter(uint8_t EventType) : FEventType(EventType) {
    QCoreApplication::instance()->installNativeEventFilter(this);
  }
  ~TXcbEventFilter() override {
    if (QCoreApplication::instance())
      QCoreApplication::instance()->removeNativeEventFilter(this);
  }

  bool nativeEventFilter(const QByteArray& Type, void* Message, qintptr*) final {
    if (Type != "xcb_generic_event_t")
      return false;
    const auto* Event = static_cast<const xcb_generic_event_t*>(Message);
    return (Event->response_type & 0x7f) == FEventType && Filter(Message);
  }

protected:
  // An event of the type; true when it is taken and Qt must not see it.
  virtual bool Filter(void* Event) = 0;

private:
  uint8_t FEventType;
};

} // namespace

// The window manager's close requests (WM_DELETE_WINDOW) to the windows that
// have a handler, taken before Qt, which drops them while a modal dialog runs.
class TX11Platform::TCloseRequestFilter : public TXcbEventFilter {
public:
  TCloseRequestFilter(Atom Protocols, Atom DeleteWindow)
      : TXcbEventFilter(XCB_CLIENT_MESSAGE), FProtocols(Protocols), FDeleteWindow(DeleteWindow) {}

  std::vector<std::pair<QPointer<QWidget>, std::function<void()>>> Handlers;

protected:
  bool Filter(void* Message) override {
    const auto* Client = static_cast<const xcb_client_message_event_t*>(Message);
    if (Client->format != 32 || Client->type != FProtocols || Client->data.data32[0] != FDeleteWindow)
      return false;
    for (const auto& [Widget, OnClose] : Handlers)
      if (Widget && Widget->testAttribute(Qt::WA_WState_Created) && Widget->winId() == Client->window) {
        // Run once the event is handled: the handler may end event loops.
        QMetaObject::invokeMethod(Widget, OnClose, Qt::QueuedConnection);
        return true;
      }
    return false;
  }

private:
  Atom FProtocols;
  Atom FDeleteWindow;
};

// Calls OnMapped for a window of Pending once Qt's connection hears that it
// has been mapped.
class TX11Platform::TMapWatch : public TXcbEventFilter {
public:
  explicit TMapWatch(std::function<void(unsigned long)> OnMapped)
      : TXcbEventFilter(XCB_MAP_NOTIFY), FOnMapped(std::move(OnMapped)) {}

  QSet<unsigned long> Pending;

protected:
  bool Filter(void* Message) override {
    const auto* Map = static_cast<const xcb_map_notify_event_t*>(Message);
    if (Pending.remove(Map->window))
      FOnMapped(Map->window);
    return false;
  }

private:
  std::function<void(unsigned long)> FOnMapped;
};

std::unique_ptr<TPlatform> CreateX11Platform(QString* Error) {
  Display* Dpy = XOpenDisplay(nullptr);
  if (!Dpy) {
    if (Error)
      *Error = QStringLiteral("Cannot open the X display \"%1\"").arg(qEnvironmentVariable("DISPLAY"));
    return nullptr;
  }
  return std::make_unique<TX11Platform>(Dpy);
}

TX11Platform::TX11Platform(_XDisplay* Dpy) : FDisplay(Dpy) {}

TX11Platform::~TX11Platform() {
  FHotKeys.reset();
  FCloseRequests.reset();
  FMapWatch.reset();
  if (FRepaintDisplay)
    XCloseDisplay(FRepaintDisplay);
  XCloseDisplay(FDisplay);
}

void TX11Platform::HandleCloseRequests(QWidget* Target, std::function<void()> OnClose) {
  if (!FCloseRequests)
    FCloseRequests = std::make_unique<TCloseRequestFilter>(XInternAtom(FDisplay, "WM_PROTOCOLS", False),
                                                           XInternAtom(FDisplay, "WM_DELETE_WINDOW", False));
  FCloseRequests->Handlers.emplace_back(Target, std::move(OnClose));
}

QSize TX11Platform::PrimaryScreenSize() {
  if (QScreen* Primary = QGuiApplication::primaryScreen())
    return Primary->geometry().size();
  return {DisplayWidth(FDisplay, DefaultScreen(FDisplay)), DisplayHeight(FDisplay, DefaultScreen(FDisplay))};
}

std::vector<TRect> TX11Platform::Monitors() {
  std::vector<TRect> Result;
  int Event = 0, Error = 0, Major = 0, Minor = 0;
  if (XRRQueryExtension(FDisplay, &Event, &Error) && XRRQueryVersion(FDisplay, &Major, &Minor) &&
      (Major > 1 || (Major == 1 && Minor >= 5))) {
    int Count = 0;
    XRRMonitorInfo* Infos = XRRGetMonitors(FDisplay, DefaultRootWindow(FDisplay), True, &Count);
    for (int I = 0; I < Count; ++I) {
      const TRect R{Infos[I].x, Infos[I].y, Infos[I].x + Infos[I].width, Infos[I].y + Infos[I].height};
      if (R.IsEmpty())
        continue;
      if (Infos[I].primary)
        Result.insert(Result.begin(), R);
      else
        Result.push_back(R);
    }
    if (Infos)
      XRRFreeMonitors(Infos);
  }
  if (Result.empty())
    Result.push_back(
        {0, 0, DisplayWidth(FDisplay, DefaultScreen(FDisplay)), DisplayHeight(FDisplay, DefaultScreen(FDisplay))});
  return Result;
}

void TX11Platform::Sync() {
  auto* X11App = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  xcb_connection_t* Link = X11App ? X11App->connection() : nullptr;
  if (!Link)
    return;
  // A round trip on Qt's own connection: once it is answered, the server
  // has carried out every request sent before it.
  xcb_flush(Link);
  free(xcb_get_input_focus_reply(Link, xcb_get_input_focus(Link), nullptr));
}

unsigned long TX11Platform::NativeWindow(QWidget* Target) {
  const WId Native = Target->winId();
  // Qt creates the window on a connection of its own; the server must know
  // it before this connection refers to it.
  Sync();
  return static_cast<unsigned long>(Native);
}

bool TX11Platform::WindowManagerSupports(const char* Name) {
  const ::Window Root = DefaultRootWindow(FDisplay);
  if (LongProperty(FDisplay, Root, "_NET_SUPPORTING_WM_CHECK", XA_WINDOW).empty())
    return false;
  const Atom Wanted = XInternAtom(FDisplay, Name, False);
  for (long Supported : LongProperty(FDisplay, Root, "_NET_SUPPORTED", XA_ATOM))
    if (Atom(Supported) == Wanted)
      return true;
  return false;
}

QMargins TX11Platform::FrameExtents(QWidget* Target) {
  const ::Window Id = NativeWindow(Target);
  auto Read = [&]() -> std::optional<QMargins> {
    const std::vector<long> Extents = LongProperty(FDisplay, Id, "_NET_FRAME_EXTENTS", XA_CARDINAL);
    if (Extents.size() != 4)
      return std::nullopt;
    return QMargins(int(Extents[0]), int(Extents[2]), int(Extents[1]), int(Extents[3]));
  };
  if (const auto Known = Read())
    return *Known;
  if (Target->isVisible() || !WindowManagerSupports("_NET_REQUEST_FRAME_EXTENTS"))
    return {};
  // Before mapping, a window manager tells the frame it will lay around the
  // window when asked: it sets _NET_FRAME_EXTENTS on it.
  XEvent Request{};
  Request.xclient.type = ClientMessage;
  Request.xclient.window = Id;
  Request.xclient.message_type = XInternAtom(FDisplay, "_NET_REQUEST_FRAME_EXTENTS", False);
  Request.xclient.format = 32;
  XSendEvent(FDisplay, DefaultRootWindow(FDisplay), False, SubstructureRedirectMask | SubstructureNotifyMask, &Request);
  XSync(FDisplay, False);
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  while (std::chrono::steady_clock::now() < Deadline) {
    if (const auto Known = Read())
      return *Known;
    QThread::msleep(2);
  }
  return {};
}

namespace {
const char* const HelperWindowStates[] = {"_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER",
                                          "_NET_WM_STATE_ABOVE"};
} // namespace

void TX11Platform::KeepOffTaskbar(QWidget* Target) {
  const ::Window Id = NativeWindow(Target);
  XWindowAttributes Attributes{};
  const bool Mapped = XGetWindowAttributes(FDisplay, Id, &Attributes) && Attributes.map_state != IsUnmapped;
  const bool Managed =
      !LongProperty(FDisplay, DefaultRootWindow(FDisplay), "_NET_SUPPORTING_WM_CHECK", XA_WINDOW).empty();
  if (!Mapped) {
    // The window manager takes the initial state from the window as it is
    // mapped; Qt adds its own states to what it finds there.
    std::vector<long> States = LongProperty(FDisplay, Id, "_NET_WM_STATE", XA_ATOM);
    for (const char* Name : HelperWindowStates) {
      const long State = long(XInternAtom(FDisplay, Name, False));
      if (std::find(States.begin(), States.end(), State) == States.end())
        States.push_back(State);
    }
    XChangeProperty(FDisplay, Id, XInternAtom(FDisplay, "_NET_WM_STATE", False), XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(States.data()), int(States.size()));
  } else if (Managed) {
    AskWindowManagerForStates(Id);
  }
  XSync(FDisplay, False);
  // A window hidden just before is withdrawn by the window manager a moment
  // later, and withdrawing erases its states, at times after the ones above
  // were written: once the window is mapped and managed, they are asked for
  // again.
  if (Managed) {
    if (!FMapWatch)
      FMapWatch = std::make_unique<TMapWatch>([this](unsigned long Shown) {
        AskWindowManagerForStates(Shown);
        XSync(FDisplay, False);
      });
    FMapWatch->Pending.insert(Id);
  }
}

void TX11Platform::AskWindowManagerForStates(unsigned long Id) {
  for (const char* Name : HelperWindowStates) {
    XEvent Change{};
    Change.xclient.type = ClientMessage;
    Change.xclient.window = Id;
    Change.xclient.message_type = XInternAtom(FDisplay, "_NET_WM_STATE", False);
    Change.xclient.format = 32;
    Change.xclient.data.l[0] = 1; // add
    Change.xclient.data.l[1] = long(XInternAtom(FDisplay, Name, False));
    Change.xclient.data.l[3] = 1; // from an application
    XSendEvent(FDisplay, DefaultRootWindow(FDisplay), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &Change);
  }
}

TRect TX11Platform::WorkArea() {
  Atom WorkAreaAtom = XInternAtom(FDisplay, "_NET_WORKAREA", True);
  if (WorkAreaAtom != 0) {
    Atom Type = 0;
    int Format = 0;
    unsigned long Count = 0, After = 0;
    unsigned char* Raw = nullptr;
    if (XGetWindowProperty(FDisplay, DefaultRootWindow(FDisplay), WorkAreaAtom, 0, 4, False, XA_CARDINAL, &Type,
                           &Format, &Count, &After, &Raw) == Success) {
      std::unique_ptr<unsigned char, TXFree> Data(Raw);
      if (Type == XA_CARDINAL && Format == 32 && Count >= 4) {
        // Format 32 properties arrive as longs whatever their wire size.
        const long* Values = reinterpret_cast<const long*>(Data.get());
        if (Values[2] > 0 && Values[3] > 0)
          return {int32_t(Values[0]), int32_t(Values[1]), int32_t(Values[0] + Values[2]),
                  int32_t(Values[1] + Values[3])};
      }
    }
  }
  if (QScreen* Primary = QGuiApplication::primaryScreen()) {
    const QRect Available = Primary->availableGeometry();
    if (!Available.isEmpty())
      return {Available.left(), Available.top(), Available.left() + Available.width(),
              Available.top() + Available.height()};
  }
  const QSize Size = PrimaryScreenSize();
  return {0, 0, Size.width(), Size.height()};
}

QPoint TX11Platform::CursorPos() {
  Window Root = 0, Child = 0;
  int RootX = 0, RootY = 0, WinX = 0, WinY = 0;
  unsigned int Buttons = 0;
  XQueryPointer(FDisplay, DefaultRootWindow(FDisplay), &Root, &Child, &RootX, &RootY, &WinX, &WinY, &Buttons);
  return {RootX, RootY};
}

bool TX11Platform::IsKeyDown(TKey Key) {
  if (Key == TKey::LeftButton) {
    Window Root = 0, Child = 0;
    int RootX = 0, RootY = 0, WinX = 0, WinY = 0;
    unsigned int Buttons = 0;
    XQueryPointer(FDisplay, DefaultRootWindow(FDisplay), &Root, &Child, &RootX, &RootY, &WinX, &WinY, &Buttons);
    return (Buttons & Button1Mask) != 0;
  }
  char Keymap[32] = {};
  XQueryKeymap(FDisplay, Keymap);
  if (Key == TKey::Shift)
    return IsKeycodeDown(Keymap, XKeysymToKeycode(FDisplay, XK_Shift_L)) ||
           IsKeycodeDown(Keymap, XKeysymToKeycode(FDisplay, XK_Shift_R));
  return IsKeycodeDown(Keymap, XKeysymToKeycode(FDisplay, XK_Escape));
}

TX11Platform::TWindowState& TX11Platform::StateOf(QWidget* Target) {
  TWindowState& State = FWindows[Target];
  if (!State.Widget) {
    // A new window, or a new one at the address of a destroyed one.
    State = TWindowState{};
    State.Widget = Target;
  }
  return State;
}

void TX11Platform::SetWindowAlpha(QWidget* Target, int Alpha) {
  TWindowState& State = StateOf(Target);
  const bool WasZero = State.Alpha == 0;
  State.Alpha = std::clamp(Alpha, 0, 255);
  Target->setWindowOpacity(State.Alpha / 255.0);
  if (WasZero != (State.Alpha == 0))
    ApplyShape(State);
}

bool TX11Platform::IsCompositing() {
  // A compositing manager owns the selection _NET_WM_CM_S<screen>.
  const QByteArray Name = "_NET_WM_CM_S" + QByteArray::number(DefaultScreen(FDisplay));
  const Atom Selection = XInternAtom(FDisplay, Name.constData(), False);
  return XGetSelectionOwner(FDisplay, Selection) != 0;
}

int TX11Platform::WindowAlpha(QWidget* Target) {
  auto It = FWindows.find(Target);
  return It == FWindows.end() || !It->Widget ? 255 : It->Alpha;
}

void TX11Platform::SetWindowColorKeyRegion(QWidget* Target, const QRegion& Visible) {
  TWindowState& State = StateOf(Target);
  State.ColorKeyVisible = Visible;
  ApplyShape(State);
}

void TX11Platform::ClearWindowColorKey(QWidget* Target) {
  TWindowState& State = StateOf(Target);
  State.ColorKeyVisible.reset();
  ApplyShape(State);
}

std::optional<QRegion> TX11Platform::WindowColorKeyRegion(QWidget* Target) {
  auto It = FWindows.find(Target);
  if (It == FWindows.end() || !It->Widget)
    return std::nullopt;
  return It->ColorKeyVisible;
}

void TX11Platform::ApplyShape(TWindowState& State) {
  if (!State.Widget)
    return;
  const WId Native = State.Widget->winId();
  if (Native != State.NativeId) {
    // Qt creates the window on a connection of its own; the server must
    // know it before this connection refers to it.
    Sync();
    State.NativeId = Native;
  }
  const ::Window Id = static_cast<::Window>(Native);
  std::vector<XRectangle> Rects;
  const bool Unshaped = State.Alpha != 0 && !State.ColorKeyVisible;
  if (!Unshaped && State.Alpha != 0) {
    for (const QRect& R : *State.ColorKeyVisible)
      Rects.push_back({short(R.x()), short(R.y()), (unsigned short)R.width(), (unsigned short)R.height()});
  }
  for (int Kind : {ShapeBounding, ShapeInput}) {
    if (Unshaped)
      XShapeCombineMask(FDisplay, Id, Kind, 0, 0, 0 /* None */, ShapeSet);
    else
      XShapeCombineRectangles(FDisplay, Id, Kind, 0, 0, Rects.data(), int(Rects.size()), ShapeSet, Unsorted);
  }
  XSync(FDisplay, False);
}

uint32_t TX11Platform::GlobalAddAtom(const QString& Name) {
  return uint32_t(XInternAtom(FDisplay, Name.toUtf8().constData(), False));
}

TX11HotKeys& TX11Platform::HotKeys() {
  if (!FHotKeys) {
    // Key presses of a grab go to the connection that made it: Qt's, so
    // they come through Qt's event stream to the native event filter.
    _XDisplay* QtDisplay = nullptr;
    if (auto* X11App = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr)
      QtDisplay = X11App->display();
    FHotKeys = std::make_unique<TX11HotKeys>(QtDisplay);
  }
  return *FHotKeys;
}

TPlatform::THotKeyResult TX11Platform::RegisterHotKey(QWidget* Target, uint32_t Id, uint32_t Modifiers,
                                                      uint32_t VirtualKey) {
  return HotKeys().Register(Target, Id, Modifiers, VirtualKey);
}

void TX11Platform::UnregisterHotKey(QWidget* Target, uint32_t Id) {
  if (FHotKeys)
    FHotKeys->Unregister(Target, Id);
}
