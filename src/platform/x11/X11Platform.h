#pragma once

#include "platform/Platform.h"

#include <QHash>
#include <QPointer>

#include <memory>
#include <optional>

// Opaque here so that no Xlib macro leaks into code that includes this header.
struct _XDisplay;
class TX11ScreenCopy;
class TX11HotKeys;
struct TX11ScreenCopyDeleter {
  void operator()(TX11ScreenCopy* Copy) const;
};

// The real desktop: an Xlib connection of its own beside Qt's xcb one.
class TX11Platform : public TPlatform {
public:
  explicit TX11Platform(_XDisplay* Display);
  ~TX11Platform() override;

  QSize PrimaryScreenSize() override;
  std::vector<TRect> Monitors() override;
  QMargins FrameExtents(QWidget* Window) override;
  void KeepOffTaskbar(QWidget* Window) override;
  void HandleCloseRequests(QWidget* Window, std::function<void()> OnClose) override;
  TRect WorkArea() override;
  QPoint CursorPos() override;
  bool IsKeyDown(TKey Key) override;
  QImage CopyScreen(const TRect& Rect) override;
  void SetWindowAlpha(QWidget* Window, int Alpha) override;
  int WindowAlpha(QWidget* Window) override;
  bool IsCompositing() override;
  void SetWindowColorKeyRegion(QWidget* Window, const QRegion& Visible) override;
  void ClearWindowColorKey(QWidget* Window) override;
  std::optional<QRegion> WindowColorKeyRegion(QWidget* Window) override;
  std::unique_ptr<TRepaintWatch> WatchRepaints() override;
  void Sync() override;
  uint32_t GlobalAddAtom(const QString& Name) override;
  THotKeyResult RegisterHotKey(QWidget* Window, uint32_t Id, uint32_t Modifiers, uint32_t VirtualKey) override;
  void UnregisterHotKey(QWidget* Window, uint32_t Id) override;

private:
  struct TWindowState {
    QPointer<QWidget> Widget;
    int Alpha = 255;
    std::optional<QRegion> ColorKeyVisible;
    WId NativeId = 0; // the native window the shape was last set on
  };

  // Sets the window's bounding and input shape from its alpha and colour key.
  void ApplyShape(TWindowState& State);
  TWindowState& StateOf(QWidget* Window);
  // Window's native id, known to this connection too.
  unsigned long NativeWindow(QWidget* Window);
  // Whether a window manager runs that supports the EWMH hint Name.
  bool WindowManagerSupports(const char* Name);

  _XDisplay* FDisplay;
  QHash<QWidget*, TWindowState> FWindows;
  class TCloseRequestFilter;
  std::unique_ptr<TCloseRequestFilter> FCloseRequests;
  // Helper windows whose states are asked for again once they are mapped.
  class TMapWatch;
  std::unique_ptr<TMapWatch> FMapWatch;
  // Asks the window manager to add the helper window states to window Id.
  void AskWindowManagerForStates(unsigned long Id);
  // The connection that repaint watches read their events from
  // (X11RepaintWatch.cpp), opened on first use; none when it cannot be.
  _XDisplay* FRepaintDisplay = nullptr;
  bool FRepaintDisplayTried = false;
  int FDamageEventBase = 0;
  // Screen copies (X11ScreenCopy.cpp), created on first use.
  std::unique_ptr<TX11ScreenCopy, TX11ScreenCopyDeleter> FScreenCopy;
  // Global hotkeys (X11HotKeys.cpp), on Qt's connection; created on first use.
  std::unique_ptr<TX11HotKeys> FHotKeys;
  TX11HotKeys& HotKeys();
};
