#include "platform/x11/X11Platform.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/shape.h>

#include <memory>
#include <vector>

namespace {

struct TXFree {
  void operator()(void* Data) const {
    if (Data)
      XFree(Data);
  }
};

struct TXImageDeleter {
  void operator()(XImage* Image) const {
    if (Image)
      XDestroyImage(Image);
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

TX11Platform::TX11Platform(_XDisplay* Display) : FDisplay(Display) {}

TX11Platform::~TX11Platform() { XCloseDisplay(FDisplay); }

QSize TX11Platform::PrimaryScreenSize() {
  if (QScreen* Screen = QGuiApplication::primaryScreen())
    return Screen->geometry().size();
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
  if (QScreen* Screen = QGuiApplication::primaryScreen()) {
    const QRect Available = Screen->availableGeometry();
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
  unsigned int Mask = 0;
  XQueryPointer(FDisplay, DefaultRootWindow(FDisplay), &Root, &Child, &RootX, &RootY, &WinX, &WinY, &Mask);
  return {RootX, RootY};
}

bool TX11Platform::IsKeyDown(TKey Key) {
  if (Key == TKey::LeftButton) {
    Window Root = 0, Child = 0;
    int RootX = 0, RootY = 0, WinX = 0, WinY = 0;
    unsigned int Mask = 0;
    XQueryPointer(FDisplay, DefaultRootWindow(FDisplay), &Root, &Child, &RootX, &RootY, &WinX, &WinY, &Mask);
    return (Mask & Button1Mask) != 0;
  }
  char Keymap[32] = {};
  XQueryKeymap(FDisplay, Keymap);
  if (Key == TKey::Shift)
    return IsKeycodeDown(Keymap, XKeysymToKeycode(FDisplay, XK_Shift_L)) ||
           IsKeycodeDown(Keymap, XKeysymToKeycode(FDisplay, XK_Shift_R));
  return IsKeycodeDown(Keymap, XKeysymToKeycode(FDisplay, XK_Escape));
}

QImage TX11Platform::CopyScreen(const TRect& Rect) {
  QImage Copy(std::max(0, Rect.Width()), std::max(0, Rect.Height()), QImage::Format_RGB32);
  if (Copy.isNull())
    return Copy;
  Copy.fill(Qt::black);
  // Clip to the root window: XGetImage fails outright on a rectangle that
  // leaves the screen.
  const int ScreenW = DisplayWidth(FDisplay, DefaultScreen(FDisplay));
  const int ScreenH = DisplayHeight(FDisplay, DefaultScreen(FDisplay));
  const QRect Wanted(Rect.Left, Rect.Top, Rect.Width(), Rect.Height());
  const QRect Visible = Wanted.intersected(QRect(0, 0, ScreenW, ScreenH));
  if (Visible.isEmpty())
    return Copy;
  std::unique_ptr<XImage, TXImageDeleter> Image(XGetImage(FDisplay, DefaultRootWindow(FDisplay), Visible.x(),
                                                          Visible.y(), Visible.width(), Visible.height(), AllPlanes,
                                                          ZPixmap));
  if (!Image)
    return Copy;
  const int OffsetX = Visible.x() - Rect.Left;
  const int OffsetY = Visible.y() - Rect.Top;
  const bool Fast32 = Image->bits_per_pixel == 32 && Image->red_mask == 0xff0000 && Image->green_mask == 0xff00 &&
                      Image->blue_mask == 0xff && Image->byte_order == LSBFirst;
  for (int Y = 0; Y < Visible.height(); ++Y) {
    auto* Out = reinterpret_cast<uint32_t*>(Copy.scanLine(Y + OffsetY)) + OffsetX;
    if (Fast32) {
      const auto* In = reinterpret_cast<const uint32_t*>(Image->data + size_t(Y) * Image->bytes_per_line);
      for (int X = 0; X < Visible.width(); ++X)
        Out[X] = In[X] | 0xff000000u;
    } else {
      for (int X = 0; X < Visible.width(); ++X) {
        const unsigned long Pixel = XGetPixel(Image.get(), X, Y);
        auto Channel = [Pixel](unsigned long Mask) -> uint32_t {
          if (Mask == 0)
            return 0;
          int Shift = 0;
          while (!((Mask >> Shift) & 1))
            ++Shift;
          const unsigned long Max = Mask >> Shift;
          return uint32_t(((Pixel & Mask) >> Shift) * 255 / Max);
        };
        Out[X] = 0xff000000u | (Channel(Image->red_mask) << 16) | (Channel(Image->green_mask) << 8) |
                 Channel(Image->blue_mask);
      }
    }
  }
  return Copy;
}

TX11Platform::TWindowState& TX11Platform::StateOf(QWidget* Window) {
  TWindowState& State = FWindows[Window];
  if (!State.Widget) {
    // A new window, or a new one at the address of a destroyed one.
    State = TWindowState{};
    State.Widget = Window;
  }
  return State;
}

void TX11Platform::SetWindowAlpha(QWidget* Window, int Alpha) {
  TWindowState& State = StateOf(Window);
  const bool WasZero = State.Alpha == 0;
  State.Alpha = std::clamp(Alpha, 0, 255);
  Window->setWindowOpacity(State.Alpha / 255.0);
  if (WasZero != (State.Alpha == 0))
    ApplyShape(State);
}

int TX11Platform::WindowAlpha(QWidget* Window) {
  auto It = FWindows.find(Window);
  return It == FWindows.end() || !It->Widget ? 255 : It->Alpha;
}

void TX11Platform::SetWindowColorKeyRegion(QWidget* Window, const QRegion& Visible) {
  TWindowState& State = StateOf(Window);
  State.ColorKeyVisible = Visible;
  ApplyShape(State);
}

void TX11Platform::ClearWindowColorKey(QWidget* Window) {
  TWindowState& State = StateOf(Window);
  State.ColorKeyVisible.reset();
  ApplyShape(State);
}

void TX11Platform::ApplyShape(TWindowState& State) {
  if (!State.Widget)
    return;
  const ::Window Id = static_cast<::Window>(State.Widget->winId());
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
