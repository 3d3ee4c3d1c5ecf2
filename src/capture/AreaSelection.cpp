#include "capture/AreaSelection.h"

#include "capture/SelectForm.h"
#include "platform/Monitors.h"
#include "platform/Platform.h"

#include <QCoreApplication>
#include <QThread>

#include <vector>

namespace {

using TKey = TPlatform::TKey;

constexpr int DragPollMs = 50;
// Shift mode needs no pause between passes; a short one keeps it from
// burning a whole core while the user picks the second corner.
constexpr int ShiftPollMs = 5;

TRect NormalizedRect(QPoint A, QPoint B) {
  return {std::min(A.x(), B.x()), std::min(A.y(), B.y()), std::max(A.x(), B.x()), std::max(A.y(), B.y())};
}

} // namespace

std::optional<TRect> RunAreaSelection(TPlatform& Platform, TSelectionForm& Form, bool OverlayMode,
                                      const std::function<bool()>& StillWanted) {
  // The window covers every monitor; its client coordinates are screen
  // coordinates less its origin.
  const TRect Desktop = DesktopRect(Platform);
  const QPoint Origin(Desktop.Left, Desktop.Top);
  const std::vector<TRect> Monitors = Platform.Monitors();
  auto GuideOnMonitorOf = [&](QPoint Cursor) {
    const TRect Monitor = MonitorAt(Monitors, Cursor);
    Form.SetGuideOrigin(QPoint(Monitor.Left, Monitor.Top) - Origin);
  };
  Form.setGeometry(Desktop.Left, Desktop.Top, Desktop.Width(), Desktop.Height());
  Form.SetGuideOrigin(QPoint(0, 0));
  if (Monitors.size() > 1)
    GuideOnMonitorOf(Platform.CursorPos());
  Form.SetOverlay(OverlayMode);
  Form.Start();
  Form.show();
  Form.raise();
  Form.activateWindow();

  QPoint StartPoint(0, 0);
  bool ShiftMode = false;
  bool Started = false;
  bool Released = false;
  QThread::msleep(DragPollMs);

  while (!Platform.IsKeyDown(TKey::Escape)) {
    QCoreApplication::processEvents();
    if (!StillWanted())
      break;
    if (!ShiftMode && Platform.IsKeyDown(TKey::Shift))
      ShiftMode = true;

    const bool ButtonDown = Platform.IsKeyDown(TKey::LeftButton);
    bool Complete = false;
    auto FollowCursor = [&] {
      const QPoint Cursor = Platform.CursorPos();
      if (Cursor - Origin != Form.FCurrentPoint) {
        Form.UpdateSelection(StartPoint - Origin, Cursor - Origin);
        QCoreApplication::processEvents();
      }
    };
    auto SetStart = [&] {
      Started = true;
      StartPoint = Platform.CursorPos();
      Form.FStartPoint = StartPoint - Origin;
      Form.FCurrentPoint = StartPoint - Origin;
    };
    if (!Started && Monitors.size() > 1)
      GuideOnMonitorOf(Platform.CursorPos());

    if (ShiftMode) {
      // Two clicks: the start point follows the cursor until the first
      // release, the frame follows it until the second press.
      if (ButtonDown && !Released) {
        SetStart();
      } else if (!ButtonDown && Started) {
        Released = true;
        FollowCursor();
      } else if (ButtonDown && Released) {
        Complete = true;
      }
    } else {
      if (ButtonDown && !Started)
        SetStart();
      else if (ButtonDown && Started)
        FollowCursor();
      else if (!ButtonDown && Started)
        Complete = true;
    }

    if (Complete)
      return NormalizedRect(StartPoint, Platform.CursorPos());
    QThread::msleep(ShiftMode ? ShiftPollMs : DragPollMs);
  }

  Form.hide();
  return std::nullopt;
}
