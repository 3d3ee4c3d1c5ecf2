#include "capture/SelectForm.h"

#include "core/Colors.h"
#include "imaging/ColorKey.h"
#include "platform/Platform.h"

#include <QKeyEvent>
#include <QPainter>
#include <QWindow>

#include <cmath>

namespace {
const QString GuideLine1 =
    QStringLiteral("마우스를 눌러 시작 위치를 정한 다음 마우스를 누른 상태에서 끝 위치로 이동하세요.");
const QString GuideLine2 = QStringLiteral("또는 Shift 키를 누른 상태에서 시작점과 끝 점을 지정하세요.");
constexpr int WatchInterval = 200;
constexpr int DimmedAlpha = 128;
} // namespace

TSelectionForm::TSelectionForm(QWidget* Owner, TPlatform& Platform)
    : QWidget(Owner, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), FPlatform(Platform) {
  FormCreate();
}

void TSelectionForm::FormCreate() {
  setFont(QFont(QStringLiteral("Segoe UI")));
  setAttribute(Qt::WA_OpaquePaintEvent);
  setCursor(Qt::CrossCursor);
  // The band follows the pointer also between the two clicks of Shift mode.
  setMouseTracking(true);
  FCheckMouse = false;
  FOverlay = true;
  // White as the key: nothing painted is white, so until the first
  // SetOverlay the window is an opaque black surface.
  FColorKeyOn = true;
  FColorKey = qRgb(255, 255, 255);
  Timer1.setInterval(WatchInterval);
  connect(&Timer1, &QTimer::timeout, this, &TSelectionForm::Timer1Timer);
}

void TSelectionForm::Start() { UpdateSelection(QPoint(0, 0), QPoint(0, 0)); }

void TSelectionForm::UpdateSelection(QPoint AStartPoint, QPoint ACurrentPoint) {
  FStartPoint = AStartPoint;
  FCurrentPoint = ACurrentPoint;
  repaint();
}

void TSelectionForm::ShowSelection(const TRect& R) {
  setGeometry(R.Left, R.Top, R.Width(), R.Height());
  UpdateSelection(QPoint(0, 0), QPoint(R.Width(), R.Height()));
}

void TSelectionForm::SetGuideOrigin(QPoint Origin) {
  if (Origin == FGuideOrigin)
    return;
  FGuideOrigin = Origin;
  update();
}

void TSelectionForm::showEvent(QShowEvent*) { FPlatform.KeepOffTaskbar(this); }

void TSelectionForm::SetInputGrab(bool Grab) {
  FGrabWanted = Grab;
  if (Grab) {
    FGrabbed = false;
    TakeInputGrab();
    return;
  }
  if (FGrabbed || QWidget::mouseGrabber() == this)
    releaseMouse();
  if (QWidget::keyboardGrabber() == this)
    releaseKeyboard();
  FGrabbed = false;
}

void TSelectionForm::TakeInputGrab() {
  if (!FGrabWanted || FGrabbed || !isVisible())
    return;
  grabMouse();
  grabKeyboard();
  // The window system grants a grab only to a window on the screen; until
  // the first paint it may not be there yet, and the paint asks again.
  if (QWindow* Native = windowHandle())
    FGrabbed = Native->setMouseGrabEnabled(true) && Native->setKeyboardGrabEnabled(true);
}

void TSelectionForm::SetOverlay(bool Value) {
  FOverlay = Value;
  if (Value) {
    FColorKeyOn = true;
    FColorKey = qRgb(0, 0, 0); // the window's own colour
    ApplyColorKey();
  } else {
    FColorKeyOn = false;
    FPlatform.ClearWindowColorKey(this);
    if (FPlatform.IsCompositing()) {
      FBackdrop = QImage();
      FPlatform.SetWindowAlpha(this, DimmedAlpha);
    } else {
      const QRect Area = geometry();
      FBackdrop =
          FPlatform.CopyScreen({Area.left(), Area.top(), Area.left() + Area.width(), Area.top() + Area.height()});
      FPlatform.SetWindowAlpha(this, 255);
    }
  }
  // Switching back to the key leaves the alpha as it is: frame and texts
  // then stay half-transparent.
  update();
}

void TSelectionForm::SetCheckMouse(bool Value) {
  FCheckMouse = Value;
  if (Value)
    Timer1.start();
  else
    Timer1.stop();
}

TRect TSelectionForm::SelectRect() const {
  return {std::min(FStartPoint.x(), FCurrentPoint.x()), std::min(FStartPoint.y(), FCurrentPoint.y()),
          std::max(FStartPoint.x(), FCurrentPoint.x()), std::max(FStartPoint.y(), FCurrentPoint.y())};
}

void TSelectionForm::Timer1Timer() {
  const QPoint Cursor = FPlatform.CursorPos();
  if (FPlatform.IsKeyDown(TPlatform::TKey::LeftButton) && !geometry().contains(Cursor)) {
    hide();
    Timer1.stop();
  }
}

void TSelectionForm::keyPressEvent(QKeyEvent* Event) {
  if (Event->key() == Qt::Key_Escape)
    hide();
  else
    QWidget::keyPressEvent(Event);
}

void TSelectionForm::FormPaint(QPainter& Canvas) {
  FPaintedTexts.clear();
  Canvas.fillRect(rect(), Qt::black);
  if (!FOverlay && !FBackdrop.isNull()) {
    // What a window of this alpha would look like over the screen.
    Canvas.drawImage(0, 0, FBackdrop);
    Canvas.fillRect(rect(), QColor(0, 0, 0, DimmedAlpha));
  }
  const TRect Band = SelectRect();
  if (Band.Width() > 0 || Band.Height() > 0) {
    Canvas.setPen(QPen(Qt::red, 2));
    Canvas.setBrush(Qt::NoBrush);
    Canvas.drawRect(QRectF(Band.Left, Band.Top, Band.Width(), Band.Height()));
  }
  QFont Font = font();
  Font.setPointSize(10);
  Canvas.setFont(Font);
  Canvas.setPen(ColorToQColor(clBtnShadow));
  const QFontMetrics Metrics(Font);
  auto TextOut = [&](int X, int Y, const QString& Text) {
    Canvas.drawText(QPoint(X, Y + Metrics.ascent()), Text);
    FPaintedTexts.push_back({QPoint(X, Y), Text});
  };
  // The design's offsets are pixels at 96 DPI; they grow with the font.
  auto Scaled = [this](int Pixels) { return int(std::lround(Pixels * logicalDpiY() / 96.0)); };
  if (Band.IsEmpty()) {
    TextOut(FGuideOrigin.x() + Scaled(3), FGuideOrigin.y() + Scaled(3), GuideLine1);
    TextOut(FGuideOrigin.x() + Scaled(3), FGuideOrigin.y() + Scaled(20), GuideLine2);
  } else {
    TextOut(Band.Right + Scaled(10), Band.Bottom + Scaled(5),
            QStringLiteral("(%1 x %2) 취소/닫기는 ESC").arg(Band.Width()).arg(Band.Height()));
  }
}

void TSelectionForm::paintEvent(QPaintEvent*) {
  // Painted into a frame of our own first: the colour key needs the pixels.
  if (FFrame.size() != size())
    FFrame = QImage(size(), QImage::Format_RGB32);
  {
    QPainter Canvas(&FFrame);
    FormPaint(Canvas);
  }
  QPainter Screen(this);
  Screen.drawImage(0, 0, FFrame);
  Screen.end();
  if (FColorKeyOn)
    ApplyColorKey();
  TakeInputGrab();
}

void TSelectionForm::ApplyColorKey() {
  if (!FColorKeyOn)
    return;
  if (FFrame.size() != size()) {
    // Nothing painted at this size yet: the whole window is black.
    FPlatform.SetWindowColorKeyRegion(this, FColorKey == qRgb(0, 0, 0) ? QRegion() : QRegion(rect()));
    return;
  }
  FPlatform.SetWindowColorKeyRegion(this, ColorKeyVisibleRegion(FFrame, FColorKey));
}
