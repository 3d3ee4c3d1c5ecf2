#pragma once

#include "core/GlobalTypes.h"

class TPlatform;

#include <QImage>
#include <QPoint>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <vector>

// The borderless, topmost window laid over the screen while an area is being
// selected. It draws the rubber band between FStartPoint and FCurrentPoint,
// its size and the guidance; the selection (TAreaSelection) follows its
// mouse and key events and feeds the two points in.
class TSelectionForm : public QWidget {
  Q_OBJECT

public:
  // One text as the last paint drew it: its top-left corner and the text.
  struct TPaintedText {
    QPoint At;
    QString Text;
  };

  TSelectionForm(QWidget* Owner, TPlatform& Platform);

  // Client coordinates, which are screen coordinates less the window's
  // origin. The controller sets them directly; only UpdateSelection repaints.
  QPoint FStartPoint;
  QPoint FCurrentPoint;

  // Both points (0, 0), repainted.
  void Start();
  void UpdateSelection(QPoint AStartPoint, QPoint ACurrentPoint);
  // Lays the window over R and frames its whole client area.
  void ShowSelection(const TRect& R);
  // Where the guidance goes, in client coordinates: the top-left corner of
  // the monitor under the pointer. Repaints when it moves.
  void SetGuideOrigin(QPoint Origin);

  bool Overlay() const { return FOverlay; }
  // True: the black background is a colour key, so only the frame and the
  // texts are seen over the live screen. False: no colour key and alpha 128,
  // a half-transparent dark layer over the screen.
  void SetOverlay(bool Value);

  bool CheckMouse() const { return FCheckMouse; }
  // While on, the window takes every pointer and key event of the display,
  // wherever the pointer is and whichever window has the focus (taken as
  // soon as the window is on the screen).
  void SetInputGrab(bool Grab);

  // Runs the watch that hides the window on a click outside it.
  void SetCheckMouse(bool Value);

  // The rubber band of FStartPoint and FCurrentPoint, normalised.
  TRect SelectRect() const;
  const std::vector<TPaintedText>& PaintedTexts() const { return FPaintedTexts; }

  // The watch timer, 200 ms.
  QTimer Timer1;

  // Paints the client area onto Canvas, which must be of the client's size.
  void FormPaint(QPainter& Canvas);

protected:
  void paintEvent(QPaintEvent* Event) override;
  void keyPressEvent(QKeyEvent* Event) override;
  void showEvent(QShowEvent* Event) override;

private:
  void FormCreate();
  void Timer1Timer();
  // Hands the non-key part of the last frame to the platform as the
  // window's visible and input-taking area.
  void ApplyColorKey();
  void TakeInputGrab();

  TPlatform& FPlatform;
  bool FCheckMouse = false;
  bool FOverlay = true;
  bool FColorKeyOn = false;
  bool FGrabWanted = false;
  bool FGrabbed = false;
  QRgb FColorKey = 0;
  QImage FFrame;
  QPoint FGuideOrigin;
  // Without a compositing manager a half-transparent window would show as
  // plain black; the dimmed mode then paints a dimmed copy of the screen.
  QImage FBackdrop;
  std::vector<TPaintedText> FPaintedTexts;
};
