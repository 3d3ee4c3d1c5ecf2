#pragma once

#include <QEvent>
#include <QImage>
#include <QMargins>
#include <QPoint>
#include <QRegion>
#include <QSize>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "core/GlobalTypes.h"

class QWidget;
class TOcrService;

// Repaints of the screen since the watch began, as the window system reports
// them. Korvex starts one before it uncovers what lies beneath its own
// windows, so that it copies the screen as soon as that has been redrawn,
// and no sooner.
class TRepaintWatch {
public:
  virtual ~TRepaintWatch() = default;
  // Returns true once every pixel of Region (screen pixels) has been drawn
  // since the watch began and then nothing within Region has been drawn for
  // a quiet time (RepaintQuietTime or more): what the programs beneath
  // draw, not just the first fill. Uncovering a window makes the window
  // system fill it with its background at once, and the program draws its
  // text on that only a moment later. Returns false once Limit has passed
  // first (the region is then not yet drawn, or still changing: a video).
  virtual bool WaitUntilRepainted(const QRegion& Region, std::chrono::milliseconds Limit) = 0;
};

// How long a repainted region must stay untouched before its repaint counts
// as done (see TRepaintWatch), while the processors are idle; longer, up to
// four times this, while other programs keep them busy, since the program
// beneath then waits longer to be scheduled. Every wait for a repaint costs
// at least this.
inline constexpr std::chrono::milliseconds RepaintQuietTime(5);

// Modifier flags of a hotkey registration.
inline constexpr uint32_t MOD_ALT = 0x1;
inline constexpr uint32_t MOD_CONTROL = 0x2;
inline constexpr uint32_t MOD_SHIFT = 0x4;

// What a window receives when one of its hotkeys is pressed, wherever the
// keyboard focus is: the identifier it registered the hotkey with.
class THotKeyEvent : public QEvent {
public:
  explicit THotKeyEvent(uint32_t AId) : QEvent(EventType()), Id(AId) {}
  static QEvent::Type EventType() {
    static const auto Type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return Type;
  }
  const uint32_t Id;
};

// The one interface to the desktop. Everything above src/platform reaches the
// screen, the pointer, the keyboard state and window transparency through it,
// so the controller runs unchanged on a real X server and on the in-memory
// fake used by tests.
class TPlatform {
public:
  // Keys and buttons whose "down now" state the selection loop polls.
  enum class TKey { LeftButton, Shift, Escape };

  virtual ~TPlatform() = default;

  virtual QSize PrimaryScreenSize() = 0;
  // Every monitor in screen pixels, the primary one first (MonitorAt in
  // Monitors.h picks the one under a point).
  virtual std::vector<TRect> Monitors() = 0;
  // The part of the primary screen not covered by panels and docks.
  virtual TRect WorkArea() = 0;
  virtual QPoint CursorPos() = 0;
  virtual bool IsKeyDown(TKey Key) = 0;

  // A copy of the screen pixels of Rect (Right and Bottom exclusive), in the
  // display's pixel format. Parts outside the screen come back black.
  virtual QImage CopyScreen(const TRect& Rect) = 0;

  // Per-window alpha 0..255. Alpha 0 must hide the window from screen copies
  // and let input through even where no compositing manager runs.
  virtual void SetWindowAlpha(QWidget* Window, int Alpha) = 0;
  // Whether a compositing manager runs, so that alpha values between 0 and
  // 255 actually blend a window with what lies beneath it.
  virtual bool IsCompositing() = 0;
  virtual int WindowAlpha(QWidget* Window) = 0;

  // Colour-key transparency: Visible is the part of the window that is not
  // the key colour. An empty optional region switches the key off (the whole
  // window is visible and takes input).
  virtual void SetWindowColorKeyRegion(QWidget* Window, const QRegion& Visible) = 0;
  virtual void ClearWindowColorKey(QWidget* Window) = 0;

  // System-wide hotkeys. The identifier of a hotkey is the atom of a name
  // (GlobalAddAtom). While registered, each press of the key with exactly
  // the modifiers (MOD_*, lock keys aside) posts a THotKeyEvent to Window;
  // holding the key down does not repeat it. VirtualKey is a Windows
  // virtual-key code, which the platform maps to its own key.
  enum class THotKeyResult {
    Registered,
    UnknownKey,  // no key of this keyboard has that code
    Taken,       // another program, or another hotkey, holds the combination
    Unavailable, // this desktop offers no global hotkeys
  };
  virtual uint32_t GlobalAddAtom(const QString& Name) = 0;
  virtual THotKeyResult RegisterHotKey(QWidget* Window, uint32_t Id, uint32_t Modifiers, uint32_t VirtualKey) = 0;
  virtual void UnregisterHotKey(QWidget* Window, uint32_t Id) = 0;
  // The desktop's own text recogniser (platform/OcrService.h); none where
  // the desktop has none, as on X11, and Korvex brings its own.
  virtual TOcrService* OcrService() { return nullptr; }
  // The frame a window manager lays around Window: none without one. Asked
  // in advance for a window not yet shown where the window manager tells.
  virtual QMargins FrameExtents(QWidget* Window) = 0;
  // Keeps a helper window (overlay, selection) off task bars, pagers and
  // window switchers, on top. Called before each show.
  virtual void KeepOffTaskbar(QWidget* Window) = 0;
  // Runs OnClose whenever the window manager asks Window to close, also
  // while a modal dialog blocks Window (Qt drops the request then).
  virtual void HandleCloseRequests(QWidget* Window, std::function<void()> OnClose) = 0;

  // The visible part that the colour key leaves, in window pixels; none
  // while the key is off.
  virtual std::optional<QRegion> WindowColorKeyRegion(QWidget* Window) = 0;

  // Starts watching the screen's repaints (see TRepaintWatch).
  virtual std::unique_ptr<TRepaintWatch> WatchRepaints() = 0;

  // Sends everything Korvex's windows asked of the window system so far and
  // returns once it has been carried out. Unlike QGuiApplication::sync it
  // processes no events, so no command or timer runs inside the caller.
  virtual void Sync() {}
};

// "x11" when a display is reachable, else nullptr with Error set.
std::unique_ptr<TPlatform> CreateX11Platform(QString* Error);
