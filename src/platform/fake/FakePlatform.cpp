#include "platform/fake/FakePlatform.h"

#include <QCoreApplication>
#include <QPainter>
#include <QWidget>

#include <algorithm>

QPoint TFakePlatform::CursorPos() {
  if (OnPoll)
    OnPoll();
  return Cursor;
}

bool TFakePlatform::IsKeyDown(TKey Key) {
  ++KeyQueries[Key];
  if (OnPoll)
    OnPoll();
  return KeysDown.count(Key) != 0;
}

QImage TFakePlatform::CopyScreen(const TRect& Rect) {
  ++CopyCount;
  if (OnCopyScreen)
    OnCopyScreen(Rect);
  QImage Copy(std::max(0, Rect.Width()), std::max(0, Rect.Height()), QImage::Format_RGB32);
  Copy.fill(Qt::black);
  if (!Screen.isNull() && !Copy.isNull()) {
    QPainter Painter(&Copy);
    Painter.drawImage(QPoint(-Rect.Left, -Rect.Top), Screen);
  }
  return Copy;
}

uint32_t TFakePlatform::GlobalAddAtom(const QString& Name) {
  // String atoms of a desktop start at 0xC000.
  const auto [It, Added] = Atoms.emplace(Name, uint32_t(0xC000 + Atoms.size()));
  return It->second;
}

TPlatform::THotKeyResult TFakePlatform::RegisterHotKey(QWidget* Window, uint32_t Id, uint32_t Modifiers,
                                                       uint32_t VirtualKey) {
  THotKey Attempt{Window, Id, Modifiers, VirtualKey, THotKeyResult::Registered};
  const bool InUse = std::any_of(HotKeys.begin(), HotKeys.end(), [&](const THotKey& Other) {
    return (Other.Modifiers == Modifiers && Other.VirtualKey == VirtualKey) ||
           (Other.Window == Window && Other.Id == Id);
  });
  if (VirtualKey == 0 || VirtualKey > 0xFF)
    Attempt.Result = THotKeyResult::UnknownKey;
  else if (InUse || HeldByOthers.count({Modifiers, VirtualKey}))
    Attempt.Result = THotKeyResult::Taken;
  HotKeyAttempts.push_back(Attempt);
  if (Attempt.Result == THotKeyResult::Registered)
    HotKeys.push_back(Attempt);
  return Attempt.Result;
}

void TFakePlatform::UnregisterHotKey(QWidget* Window, uint32_t Id) {
  std::erase_if(HotKeys, [&](const THotKey& HotKey) { return HotKey.Window == Window && HotKey.Id == Id; });
}

bool TFakePlatform::PressHotKey(uint32_t Modifiers, uint32_t VirtualKey) {
  const auto It = std::find_if(HotKeys.begin(), HotKeys.end(), [&](const THotKey& HotKey) {
    return HotKey.Modifiers == Modifiers && HotKey.VirtualKey == VirtualKey;
  });
  if (It == HotKeys.end())
    return false;
  THotKeyEvent Event(It->Id);
  QCoreApplication::sendEvent(It->Window, &Event);
  return true;
}

std::vector<TRect> TFakePlatform::Monitors() {
  if (!MonitorRects.empty())
    return MonitorRects;
  return {TRect{0, 0, ScreenSize.width(), ScreenSize.height()}};
}

namespace {
class TFakeRepaintWatch : public TRepaintWatch {
public:
  explicit TFakeRepaintWatch(std::vector<QRegion>& Waits) : FWaits(Waits) {}
  bool WaitUntilRepainted(const QRegion& Region, std::chrono::milliseconds) override {
    FWaits.push_back(Region);
    return true;
  }

private:
  std::vector<QRegion>& FWaits;
};
} // namespace

std::unique_ptr<TRepaintWatch> TFakePlatform::WatchRepaints() {
  return std::make_unique<TFakeRepaintWatch>(RepaintWaits);
}
