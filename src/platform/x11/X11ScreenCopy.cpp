#include "platform/x11/X11ScreenCopy.h"

#include "core/ReusableMemory.h"
#include "platform/x11/X11Platform.h"

#include <QRect>
#include <QtGlobal>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstring>
#include <memory>

// After Xlib, like every Xlib user.
#include "platform/x11/X11ErrorTrap.h"

namespace {

struct TXImageDeleter {
  void operator()(XImage* Image) const {
    if (Image)
      XDestroyImage(Image); // for shared images this frees the header only
  }
};
using TXImagePtr = std::unique_ptr<XImage, TXImageDeleter>;

// A System V shared segment attached to this process and to the X server.
class TShmSegment {
public:
  TShmSegment(Display* Dpy, size_t Size) : FDisplay(Dpy) {
    FInfo.shmid = shmget(IPC_PRIVATE, Size, IPC_CREAT | 0600);
    if (FInfo.shmid < 0)
      return;
    void* Address = shmat(FInfo.shmid, nullptr, 0);
    if (Address == reinterpret_cast<void*>(-1)) {
      shmctl(FInfo.shmid, IPC_RMID, nullptr);
      FInfo.shmid = -1;
      return;
    }
    FInfo.shmaddr = static_cast<char*>(Address);
    FInfo.readOnly = False;
    {
      TXErrorTrap Trap;
      const bool Requested = XShmAttach(FDisplay, &FInfo);
      XSync(FDisplay, False);
      FAttached = Requested && !TXErrorTrap::Failed;
    }
    // Marked for removal at once: the segment disappears when the last
    // party detaches, even if this process is killed.
    shmctl(FInfo.shmid, IPC_RMID, nullptr);
    if (FAttached)
      FSize = Size;
  }

  ~TShmSegment() {
    if (FAttached) {
      TXErrorTrap Trap;
      XShmDetach(FDisplay, &FInfo);
      XSync(FDisplay, False);
    }
    if (FInfo.shmaddr)
      shmdt(FInfo.shmaddr);
  }

  TShmSegment(const TShmSegment&) = delete;
  TShmSegment& operator=(const TShmSegment&) = delete;

  bool Usable() const { return FAttached; }
  size_t Size() const { return FSize; }
  XShmSegmentInfo* Info() { return &FInfo; }

private:
  Display* FDisplay;
  XShmSegmentInfo FInfo{0, -1, nullptr, False};
  bool FAttached = false;
  size_t FSize = 0;
};

void OrAlphaRow(const uint32_t* In, uint32_t* Out, int Count) {
  int X = 0;
  // Four pixels at a time through a copy: the compiler turns each block into
  // one vector load, or and store (SSE2 on x86-64) even at -O2, where it
  // leaves a plain loop like the one below scalar.
  for (; X + 4 <= Count; X += 4) {
    uint32_t Block[4];
    std::memcpy(Block, In + X, sizeof Block);
    for (uint32_t& Pixel : Block)
      Pixel |= 0xff000000u;
    std::memcpy(Out + X, Block, sizeof Block);
  }
  for (; X < Count; ++X)
    Out[X] = In[X] | 0xff000000u;
}

uint32_t Channel(unsigned long Pixel, unsigned long Mask) {
  if (Mask == 0)
    return 0;
  int Shift = 0;
  while (!((Mask >> Shift) & 1))
    ++Shift;
  const unsigned long Max = Mask >> Shift;
  return uint32_t(((Pixel & Mask) >> Shift) * 255 / Max);
}

// Writes Image (the pixels of the visible part) into Copy at Offset.
void StoreImage(XImage* Image, QImage& Copy, QPoint Offset) {
  const bool Direct32 = Image->bits_per_pixel == 32 && Image->red_mask == 0xff0000 && Image->green_mask == 0xff00 &&
                        Image->blue_mask == 0xff && Image->byte_order == LSBFirst;
  for (int Y = 0; Y < Image->height; ++Y) {
    auto* Out = reinterpret_cast<uint32_t*>(Copy.scanLine(Y + Offset.y())) + Offset.x();
    if (Direct32) {
      OrAlphaRow(reinterpret_cast<const uint32_t*>(Image->data + size_t(Y) * Image->bytes_per_line), Out, Image->width);
      continue;
    }
    for (int X = 0; X < Image->width; ++X) {
      const unsigned long Pixel = XGetPixel(Image, X, Y);
      Out[X] = 0xff000000u | (Channel(Pixel, Image->red_mask) << 16) | (Channel(Pixel, Image->green_mask) << 8) |
               Channel(Pixel, Image->blue_mask);
    }
  }
}

} // namespace

struct TX11ScreenCopy::TState {
  Display* Dpy = nullptr;
  bool OwnDisplay = false;
  bool Shm = false;
  std::unique_ptr<TShmSegment> Segment;

  ~TState() {
    Segment.reset(); // detaches while the connection is still open
    if (OwnDisplay)
      XCloseDisplay(Dpy);
  }

  // The shared path; false when the server refused, so the caller copies
  // plainly instead.
  bool CopyShared(const QRect& Visible, QImage& Copy, QPoint Offset) {
    const int ScreenNumber = DefaultScreen(Dpy);
    TXImagePtr Image(XShmCreateImage(Dpy, DefaultVisual(Dpy, ScreenNumber), unsigned(DefaultDepth(Dpy, ScreenNumber)),
                                     ZPixmap, nullptr, nullptr, unsigned(Visible.width()), unsigned(Visible.height())));
    if (!Image)
      return false;
    const size_t Needed = size_t(Image->bytes_per_line) * size_t(Image->height);
    if (!Segment || Segment->Size() < Needed) {
      Segment.reset();
      Segment = std::make_unique<TShmSegment>(Dpy, Needed);
      if (!Segment->Usable()) {
        Segment.reset();
        Shm = false; // this server cannot share memory with us; stay plain
        return false;
      }
    }
    Image->data = Segment->Info()->shmaddr;
    Image->obdata = reinterpret_cast<char*>(Segment->Info());
    bool Got = false;
    {
      TXErrorTrap Trap;
      Got = XShmGetImage(Dpy, DefaultRootWindow(Dpy), Image.get(), Visible.x(), Visible.y(), AllPlanes) &&
            !TXErrorTrap::Failed;
    }
    if (Got)
      StoreImage(Image.get(), Copy, Offset);
    Image->data = nullptr;
    return Got;
  }

  bool CopyPlain(const QRect& Visible, QImage& Copy, QPoint Offset) {
    TXImagePtr Image;
    {
      TXErrorTrap Trap;
      Image.reset(XGetImage(Dpy, DefaultRootWindow(Dpy), Visible.x(), Visible.y(), unsigned(Visible.width()),
                            unsigned(Visible.height()), AllPlanes, ZPixmap));
      if (TXErrorTrap::Failed)
        Image.reset();
    }
    if (Image)
      StoreImage(Image.get(), Copy, Offset);
    return Image != nullptr;
  }
};

TX11ScreenCopy::TX11ScreenCopy(_XDisplay* Fallback) : FState(std::make_unique<TState>()) {
  FState->Dpy = XOpenDisplay(DisplayString(Fallback));
  FState->OwnDisplay = FState->Dpy != nullptr;
  if (!FState->OwnDisplay) {
    FState->Dpy = Fallback;
    return;
  }
  int Major = 0, Minor = 0;
  Bool SharedPixmaps = False;
  FState->Shm = qEnvironmentVariableIntValue("KORVEX_NO_SHM") == 0 &&
                XShmQueryVersion(FState->Dpy, &Major, &Minor, &SharedPixmaps);
}

TX11ScreenCopy::~TX11ScreenCopy() = default;

bool TX11ScreenCopy::UsesShm() const { return FState->Shm; }

QImage TX11ScreenCopy::Copy(const TRect& Rect) {
  QImage Copy = ReusableMemory::NewImage(Rect.Width(), Rect.Height(), QImage::Format_RGB32);
  if (Copy.isNull())
    return Copy;
  // The root window's current size (it follows screen changes, unlike the
  // size cached at connection time); X refuses rectangles that leave it.
  Window Root = 0;
  int RootX = 0, RootY = 0;
  unsigned RootW = 0, RootH = 0, Border = 0, RootDepth = 0;
  XGetGeometry(FState->Dpy, DefaultRootWindow(FState->Dpy), &Root, &RootX, &RootY, &RootW, &RootH, &Border, &RootDepth);
  const QRect Wanted(Rect.Left, Rect.Top, Rect.Width(), Rect.Height());
  const QRect Visible = Wanted.intersected(QRect(0, 0, int(RootW), int(RootH)));
  if (Visible != Wanted)
    Copy.fill(Qt::black);
  if (Visible.isEmpty())
    return Copy;
  const QPoint Offset = Visible.topLeft() - Wanted.topLeft();
  if (FState->Shm && FState->CopyShared(Visible, Copy, Offset))
    return Copy;
  if (!FState->CopyPlain(Visible, Copy, Offset))
    Copy.fill(Qt::black); // the screen went away under us: black, as outside it
  return Copy;
}

QImage TX11Platform::CopyScreen(const TRect& Rect) {
  if (!FScreenCopy)
    FScreenCopy.reset(new TX11ScreenCopy(FDisplay));
  return FScreenCopy->Copy(Rect);
}

void TX11ScreenCopyDeleter::operator()(TX11ScreenCopy* Copy) const { delete Copy; }
