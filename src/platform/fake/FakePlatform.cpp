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
