#include "capture/AreaSelection.h"

#include "capture/SelectForm.h"
#include "platform/Monitors.h"
#include "platform/Platform.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace {

TRect NormalizedRect(QPoint A, QPoint B) {
  return {std::min(A.x(), B.x()), std::min(A.y(), B.y()), std::max(A.x(), B.x()), std::max(A.y(), B.y())};
}

// Screen pixels: Korvex's widget coordinates are physical pixels.
QPoint ScreenPos(const QMouseEvent& Event) { return Event.globalPosition().toPoint(); }

} // namespace

TAreaSelection::TAreaSelection(TPlatform& Platform, TSelectionForm& Form) : FPlatform(Platform), FForm(Form) {
  FForm.installEventFilter(this);
}

TAreaSelection::~TAreaSelection() { FForm.removeEventFilter(this); }

void TAreaSelection::Start(bool OverlayMode, TChosen Chosen) {
  Cancel();
  FChosen = std::move(Chosen);
  FShiftMode = FStarted = FReleased = false;
  // The window covers every monitor; its client coordinates are screen
  // coordinates less its origin.
  const TRect Desktop = DesktopRect(FPlatform);
  FOrigin = QPoint(Desktop.Left, Desktop.Top);
  FMonitors = FPlatform.Monitors();
  FForm.setGeometry(Desktop.Left, Desktop.Top, Desktop.Width(), Desktop.Height());
  FForm.SetGuideOrigin(QPoint(0, 0));
  if (FMonitors.size() > 1) {
    const TRect Monitor = MonitorAt(FMonitors, FPlatform.CursorPos());
    FForm.SetGuideOrigin(QPoint(Monitor.Left, Monitor.Top) - FOrigin);
  }
  FForm.SetOverlay(OverlayMode);
  FForm.Start();
  FForm.show();
  FForm.raise();
  FForm.activateWindow();
  FForm.SetInputGrab(true);
}

void TAreaSelection::Cancel() {
  if (Running())
    Finish(std::nullopt);
}

void TAreaSelection::Finish(std::optional<TRect> Area) {
  // Taken first: what Chosen starts may be a new selection.
  TChosen Chosen = std::move(FChosen);
  FChosen = nullptr;
  FForm.SetInputGrab(false);
  if (!Area)
    FForm.hide();
  Chosen(Area);
}

bool TAreaSelection::eventFilter(QObject* Watched, QEvent* Event) {
  if (Watched != &FForm || !Running())
    return false;
  switch (Event->type()) {
  case QEvent::MouseButtonPress:
  case QEvent::MouseButtonDblClick: MousePressed(static_cast<QMouseEvent&>(*Event)); return true;
  case QEvent::MouseMove: MouseMoved(static_cast<QMouseEvent&>(*Event)); return true;
  case QEvent::MouseButtonRelease: MouseReleased(static_cast<QMouseEvent&>(*Event)); return true;
  case QEvent::KeyPress: KeyPressed(static_cast<QKeyEvent&>(*Event)); return true;
  case QEvent::Hide:
    // Hidden by anyone else (closing the program, say): nothing was chosen.
    if (Running())
      Finish(std::nullopt);
    return false;
  default: return false;
  }
}

void TAreaSelection::SetStart(QPoint Cursor) {
  FStarted = true;
  FStartPoint = Cursor;
  FForm.UpdateSelection(Cursor - FOrigin, Cursor - FOrigin);
}

void TAreaSelection::FollowCursor(QPoint Cursor) {
  if (Cursor - FOrigin != FForm.FCurrentPoint)
    FForm.UpdateSelection(FStartPoint - FOrigin, Cursor - FOrigin);
}

void TAreaSelection::MousePressed(const QMouseEvent& Event) {
  if (Event.button() == Qt::RightButton) {
    Cancel();
    return;
  }
  if (Event.button() != Qt::LeftButton)
    return;
  if (Event.modifiers() & Qt::ShiftModifier)
    FShiftMode = true;
  const QPoint Cursor = ScreenPos(Event);
  // Shift mode: the second click ends it.
  if (FShiftMode && FReleased) {
    FollowCursor(Cursor);
    Finish(NormalizedRect(FStartPoint, Cursor));
    return;
  }
  SetStart(Cursor);
}

void TAreaSelection::MouseMoved(const QMouseEvent& Event) {
  const QPoint Cursor = ScreenPos(Event);
  if (!FStarted) {
    if (FMonitors.size() > 1) {
      const TRect Monitor = MonitorAt(FMonitors, Cursor);
      FForm.SetGuideOrigin(QPoint(Monitor.Left, Monitor.Top) - FOrigin);
    }
    return;
  }
  const bool ButtonDown = Event.buttons() & Qt::LeftButton;
  // Shift mode: the start point follows the pointer until the first
  // release, the band follows it afterwards.
  if (FShiftMode && ButtonDown && !FReleased)
    SetStart(Cursor);
  else
    FollowCursor(Cursor);
}

void TAreaSelection::MouseReleased(const QMouseEvent& Event) {
  if (Event.button() != Qt::LeftButton || !FStarted)
    return;
  if (Event.modifiers() & Qt::ShiftModifier)
    FShiftMode = true;
  if (FShiftMode) {
    FReleased = true;
    FollowCursor(ScreenPos(Event));
    return;
  }
  // The band ends where the area does, also without a move before.
  FollowCursor(ScreenPos(Event));
  Finish(NormalizedRect(FStartPoint, ScreenPos(Event)));
}

void TAreaSelection::KeyPressed(const QKeyEvent& Event) {
  if (Event.key() == Qt::Key_Escape)
    Cancel();
  else if (Event.key() == Qt::Key_Shift)
    FShiftMode = true;
}
