#include "platform/fake/FakePlatform.h"

#include <QPainter>

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
