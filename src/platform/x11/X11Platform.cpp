#include "platform/x11/X11Platform.h"

#include "platform/x11/X11HotKeys.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/shape.h>

// After Xlib: the native interface names Display.
#include <QtGui/qguiapplication_platform.h>

#include <memory>
#include <vector>

namespace {

struct TXFree {
  void operator()(void* Data) const {
    if (Data)
      XFree(Data);
  }
};

bool IsKeycodeDown(const char Keymap[32], KeyCode Code) {
  return Code != 0 && (Keymap[Code / 8] & (1 << (Code % 8))) != 0;
}

} // namespace

std::unique_ptr<TPlatform> CreateX11Platform(QString* Error) {
  Display* Dpy = XOpenDisplay(nullptr);
  if (!Dpy) {
    if (Error)
      *Error = QStringLiteral("Cannot open the X display \"%1\"").arg(qEnvironmentVariable("DISPLAY"));
    return nullptr;
  }
  return std::make_unique<TX11Platform>(Dpy);
}

TX11Platform::TX11Platform(_XDisplay* Connection) : FDisplay(Connection) {}

TX11Platform::~TX11Platform() {
  FHotKeys.reset();
  XCloseDisplay(FDisplay);
}

QSize TX11Platform::PrimaryScreenSize() {
  if (QScreen* Primary = QGuiApplication::primaryScreen())
    return Primary->geometry().size();
  return {DisplayWidth(FDisplay, DefaultScreen(FDisplay)), DisplayHeight(FDisplay, DefaultScreen(FDisplay))};
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

void TX11Platform::ApplyShape(TWindowState& State) {
  if (!State.Widget)
    return;
  const WId Native = State.Widget->winId();
  if (Native != State.NativeId) {
    // Qt creates the window on a connection of its own; the server must
    // know it before this connection refers to it.
    QGuiApplication::sync();
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
