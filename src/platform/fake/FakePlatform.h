#pragma once

#include "platform/Platform.h"
#include "platform/fake/FakeOcrService.h"

#include <QPointer>

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <utility>
#include <vector>

// An in-memory desktop for tests: a virtual screen image, a scripted pointer
// and keyboard, and a record of what was done to windows.
class TFakePlatform : public TPlatform {
public:
  struct TWindowState {
    int Alpha = 255;
    std::optional<QRegion> ColorKeyVisible; // unset: colour key off
  };

  QSize ScreenSize{1920, 1080};
  TRect WorkAreaRect{0, 0, 1920, 1040};
  QPoint Cursor;
  std::set<TKey> KeysDown;
  QImage Screen; // what CopyScreen copies from; black where it is null
  int CopyCount = 0;
  bool Compositing = true;
  // Runs before every pointer or key query, so a test can play a user who
  // moves and clicks while a polling loop runs.
  std::function<void()> OnPoll;
  // How often each key was asked for, counted before OnPoll runs: a loop
  // that asks for one key once per pass can be scripted pass by pass.
  std::map<TKey, int> KeyQueries;
  // Runs at the start of every CopyScreen, to see the windows as they are
  // while the screen is copied.
  std::function<void(const TRect&)> OnCopyScreen;

  // Empty: one monitor of ScreenSize at the origin.
  std::vector<TRect> MonitorRects;
  QMargins Frame;
  std::set<QWidget*> KeptOffTaskbar;

  QSize PrimaryScreenSize() override { return ScreenSize; }
  std::vector<TRect> Monitors() override;
  QMargins FrameExtents(QWidget*) override { return Frame; }
  void KeepOffTaskbar(QWidget* Window) override { KeptOffTaskbar.insert(Window); }
  // What a close request from the window manager runs, by window.
  std::map<QWidget*, std::function<void()>> CloseHandlers;
  void HandleCloseRequests(QWidget* Window, std::function<void()> OnClose) override {
    CloseHandlers[Window] = std::move(OnClose);
  }
  TRect WorkArea() override { return WorkAreaRect; }
  QPoint CursorPos() override;
  bool IsKeyDown(TKey Key) override;
  QImage CopyScreen(const TRect& Rect) override;
  void SetWindowAlpha(QWidget* Window, int Alpha) override { Windows[Window].Alpha = Alpha; }
  int WindowAlpha(QWidget* Window) override { return Windows[Window].Alpha; }
  bool IsCompositing() override { return Compositing; }
  void SetWindowColorKeyRegion(QWidget* Window, const QRegion& Visible) override {
    Windows[Window].ColorKeyVisible = Visible;
  }
  void ClearWindowColorKey(QWidget* Window) override { Windows[Window].ColorKeyVisible.reset(); }
  std::optional<QRegion> WindowColorKeyRegion(QWidget* Window) override { return Windows[Window].ColorKeyVisible; }
  // The screen counts as repainted at once; every wait is recorded.
  std::unique_ptr<TRepaintWatch> WatchRepaints() override;
  std::vector<QRegion> RepaintWaits;

  std::map<QWidget*, TWindowState> Windows;

  // Hotkeys: every registration attempt in order, the ones in force, and
  // the combinations (modifiers, virtual key) another program holds.
  struct THotKey {
    QWidget* Window = nullptr;
    uint32_t Id = 0;
    uint32_t Modifiers = 0;
    uint32_t VirtualKey = 0;
    THotKeyResult Result = THotKeyResult::Registered;
  };
  std::vector<THotKey> HotKeyAttempts;
  std::vector<THotKey> HotKeys;
  std::set<std::pair<uint32_t, uint32_t>> HeldByOthers;
  std::map<QString, uint32_t> Atoms;

  uint32_t GlobalAddAtom(const QString& Name) override;
  THotKeyResult RegisterHotKey(QWidget* Window, uint32_t Id, uint32_t Modifiers, uint32_t VirtualKey) override;
  void UnregisterHotKey(QWidget* Window, uint32_t Id) override;
  // Plays the user pressing the key: the THotKeyEvent of the hotkey in
  // force for it is delivered at once. False when no hotkey has the key.
  bool PressHotKey(uint32_t Modifiers, uint32_t VirtualKey);

  // The scripted recogniser; without it (HasOcrService false) Korvex uses
  // its own, as on X11.
  TFakeOcrService Ocr;
  bool HasOcrService = true;
  TOcrService* OcrService() override { return HasOcrService ? &Ocr : nullptr; }
};
