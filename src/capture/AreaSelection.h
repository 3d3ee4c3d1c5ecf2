#pragma once

#include "core/GlobalTypes.h"

#include <QObject>
#include <QPoint>

#include <functional>
#include <optional>
#include <vector>

class QKeyEvent;
class QMouseEvent;
class TPlatform;
class TSelectionForm;

// The interactive choice of a screen area on the selection window, driven by
// that window's own mouse and key events: nothing polls, sleeps or waits in
// a loop of its own. The window takes the pointer and the keyboard while a
// selection runs, so even a press, drag and release within a few
// milliseconds, or a 5 ms Escape, reaches it.
//
// Two ways to choose: press, drag and release; or, once Shift has been held,
// click the start point and click the end point. Escape or a right-click
// cancels. The rubber band follows the pointer; with several monitors the
// guidance sits on the one under the pointer.
class TAreaSelection : public QObject {
  Q_OBJECT

public:
  using TChosen = std::function<void(std::optional<TRect> Area)>;

  TAreaSelection(TPlatform& Platform, TSelectionForm& Form);
  ~TAreaSelection() override;

  // Lays Form over every monitor and shows it. Chosen runs once: with the
  // area between the two corners, normalised (Left and Top the smaller
  // coordinates), Form still shown; or with none when the user cancelled
  // (or Cancel ran), Form hidden. A selection already running is cancelled
  // first.
  void Start(bool OverlayMode, TChosen Chosen);
  // Ends a running selection as the user's Escape does.
  void Cancel();
  bool Running() const { return static_cast<bool>(FChosen); }

protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
  void MousePressed(const QMouseEvent& Event);
  void MouseMoved(const QMouseEvent& Event);
  void MouseReleased(const QMouseEvent& Event);
  void KeyPressed(const QKeyEvent& Event);
  void SetStart(QPoint Cursor);
  void FollowCursor(QPoint Cursor);
  void Finish(std::optional<TRect> Area);

  TPlatform& FPlatform;
  TSelectionForm& FForm;
  TChosen FChosen;
  QPoint FOrigin;
  std::vector<TRect> FMonitors;
  QPoint FStartPoint;
  bool FShiftMode = false;
  bool FStarted = false;
  bool FReleased = false;
};
