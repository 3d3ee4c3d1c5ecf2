#include "overlay/TranslateForm.h"

#include "imaging/ColorKey.h"
#include "overlay/QtTextMeasurer.h"
#include "platform/Monitors.h"
#include "platform/Platform.h"
#include "settings/ConfigIni.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QWindow>

#include <algorithm>
#include <climits>
#include <cmath>

const QString TTranslationForm::INFORMATION = QStringLiteral("번역 화면을 닫으려면 Escape 키를 누르세요.");

namespace {

constexpr int DesignWidth = 706;
constexpr int DesignHeight = 262;
constexpr int FrameWidth = 2;
constexpr int TextInset = 2;
constexpr int ResizeBorder = 10;
constexpr double LineSpacingFactor = 1.7;
constexpr double LineGapFactor = 0.7;
// X11 windows cannot be larger or lie further out than 16-bit coordinates.
constexpr int MaxCoordinate = 32767;

// From one line's top to the next one's. The spacing is designed in pixels
// at 96 DPI, where the size in points counts as pixels plus a gap of 0.7 of
// it; it grows with the surface's DPI as the glyphs do. It never falls below
// the height of a line (LineHeight), since each line's opaque cell would
// cover the bottom of the line above: fonts with tall ascent and descent
// need more than the design gives, at any DPI.
int64_t LineAdvance(int PointSize, int Dpi, int LineHeight) {
  const int64_t VSpace = std::max<int64_t>(1, int64_t(std::ceil(PointSize * LineGapFactor)));
  const int64_t Design = int64_t(PointSize) + VSpace;
  return std::max<int64_t>(std::llround(double(Design) * Dpi / 96.0), LineHeight);
}

QColor ReadColor(TConfigIni& Store, const TColorSetting& Key) { return ColorToQColor(StringToColor(Store.Read(Key))); }

int32_t ClampToInt(int64_t Value) { return int32_t(std::clamp<int64_t>(Value, INT32_MIN, INT32_MAX)); }

Qt::Edges EdgesOf(TTranslationForm::THitTest Band) {
  switch (Band) {
  case TTranslationForm::HTLEFT: return Qt::LeftEdge;
  case TTranslationForm::HTRIGHT: return Qt::RightEdge;
  case TTranslationForm::HTTOP: return Qt::TopEdge;
  case TTranslationForm::HTBOTTOM: return Qt::BottomEdge;
  case TTranslationForm::HTTOPLEFT: return Qt::TopEdge | Qt::LeftEdge;
  case TTranslationForm::HTTOPRIGHT: return Qt::TopEdge | Qt::RightEdge;
  case TTranslationForm::HTBOTTOMLEFT: return Qt::BottomEdge | Qt::LeftEdge;
  case TTranslationForm::HTBOTTOMRIGHT: return Qt::BottomEdge | Qt::RightEdge;
  default: return {};
  }
}

Qt::CursorShape CursorOf(TTranslationForm::THitTest Band) {
  switch (Band) {
  case TTranslationForm::HTLEFT:
  case TTranslationForm::HTRIGHT: return Qt::SizeHorCursor;
  case TTranslationForm::HTTOP:
  case TTranslationForm::HTBOTTOM: return Qt::SizeVerCursor;
  case TTranslationForm::HTTOPLEFT:
  case TTranslationForm::HTBOTTOMRIGHT: return Qt::SizeFDiagCursor;
  case TTranslationForm::HTTOPRIGHT:
  case TTranslationForm::HTBOTTOMLEFT: return Qt::SizeBDiagCursor;
  default: return Qt::ArrowCursor;
  }
}

} // namespace

TTranslationForm::TTranslationForm(QWidget* Owner, TConfigIni& Settings, TPlatform& Platform)
    : QWidget(Owner, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), FSettings(Settings),
      FPlatform(Platform) {
  FormCreate();
}

TTranslationForm::~TTranslationForm() { FormDestroy(); }

void TTranslationForm::FormCreate() {
  FCanvasFont = {QStringLiteral("굴림체"), 9, false};
  setGeometry(0, 0, DesignWidth, DesignHeight);
  setFocusPolicy(Qt::StrongFocus);
  // It takes the focus only as a full-screen window (FormShow), where
  // Escape is the way to close it.
  setAttribute(Qt::WA_ShowWithoutActivating);
  setMouseTracking(true);
  // Everything is painted into a frame of our own first; the system need not
  // clear the window before.
  setAttribute(Qt::WA_OpaquePaintEvent);
  Timer1.setTimerType(Qt::PreciseTimer);
  Timer1.setInterval(200);
  connect(&Timer1, &QTimer::timeout, this, &TTranslationForm::Timer1Timer);
  FDragging = false;
  FOverlay = true;
  FTextSegmentList = nullptr;
  ReadConfig();
}

void TTranslationForm::FormDestroy() {
  // A destructor cannot report a failed write; the main window's own
  // settings, written just before to the same file, have reported it.
  try {
    WriteConfig();
  } catch (const std::exception&) {
  }
}

void TTranslationForm::ReadConfig() {
  const int Left = std::clamp(FSettings.Read(Settings::OverlayLeft, x()), -MaxCoordinate, MaxCoordinate);
  const int Top = std::clamp(FSettings.Read(Settings::OverlayTop, y()), -MaxCoordinate, MaxCoordinate);
  const int Width = std::clamp(FSettings.Read(Settings::OverlayWidth, width()), 1, MaxCoordinate);
  const int Height = std::clamp(FSettings.Read(Settings::OverlayHeight, height()), 1, MaxCoordinate);
  setGeometry(Left, Top, Width, Height);
  SetOverlay(FSettings.Read(Settings::OverlayAtCreation));
}

void TTranslationForm::WriteConfig() {
  // One replacement of the file for the whole window, not one per value.
  TConfigIni::TBatch Batch(FSettings);
  FSettings.Write(Settings::OverlayLeft, x());
  FSettings.Write(Settings::OverlayTop, y());
  FSettings.Write(Settings::OverlayWidth, width());
  FSettings.Write(Settings::OverlayHeight, height());
  Batch.Commit();
}

void TTranslationForm::UpdateText(const TIteratorResultList* TextSegmentList) {
  FTextSegmentList = TextSegmentList;
  if (!isVisible())
    setVisible(true);
  update();
  const int TimerSeconds = FSettings.Read(Settings::OverlayTimer);
  FCanvasFont.Name = FSettings.Read(Settings::FontName);
  SetOverlay(FSettings.Read(Settings::OverlayOnResult));
  if (TimerSeconds > 0) {
    // A countdown already running with the same interval goes on; a changed
    // interval starts it again.
    const int Interval = int(std::min<int64_t>(int64_t(TimerSeconds) * 1000, INT_MAX));
    if (Timer1.interval() != Interval)
      Timer1.setInterval(Interval);
    if (!Timer1.isActive())
      Timer1.start();
  }
}

void TTranslationForm::SetOverlay(bool Value) {
  FOverlay = Value;
  if (testAttribute(Qt::WA_WState_Created))
    ApplyColorKey();
  update();
}

QRegion TTranslationForm::ColorKeyRegion() {
  if (FBuffer.size() == size()) {
    if (!FBufferRegion)
      FBufferRegion = ColorKeyVisibleRegion(FBuffer, ColorToQColor(FColor).rgb());
    return *FBufferRegion;
  }
  // Nothing painted at this size yet: the frame is visible whatever follows.
  return QRegion(rect()).subtracted(QRegion(rect().adjusted(FrameWidth, FrameWidth, -FrameWidth, -FrameWidth)));
}

void TTranslationForm::ApplyColorKey() {
  if (!FOverlay) {
    if (FAppliedRegion) {
      FPlatform.ClearWindowColorKey(this);
      FAppliedRegion.reset();
    }
    return;
  }
  const QRegion Region = ColorKeyRegion();
  if (FAppliedRegion && *FAppliedRegion == Region)
    return;
  FPlatform.SetWindowColorKeyRegion(this, Region);
  FAppliedRegion = Region;
}

int TTranslationForm::AlphaBlendValue() const { return FPlatform.WindowAlpha(const_cast<TTranslationForm*>(this)); }

void TTranslationForm::SetAlphaBlendValue(int Value) { FPlatform.SetWindowAlpha(this, std::clamp(Value, 0, 255)); }

TRect TTranslationForm::ClientScreenRect() const {
  const QPoint Origin = mapToGlobal(QPoint(0, 0));
  return {Origin.x(), Origin.y(), Origin.x() + width(), Origin.y() + height()};
}

bool TTranslationForm::IsFullScreen() const { return IsFullScreenSize(size()); }

bool TTranslationForm::IsFullScreenSize(QSize Size) const {
  // As large as the monitor it lies on (with one monitor, the screen), or as
  // that monitor's work area, which is what a full-screen translation covers
  // on a desktop with panels or docks. The position is not looked at.
  const TRect Monitor = MonitorAt(FPlatform, geometry().center());
  if (Size == QSize(Monitor.Width(), Monitor.Height()))
    return true;
  const TRect WorkArea = WorkAreaOn(FPlatform, Monitor);
  return Size == QSize(WorkArea.Width(), WorkArea.Height());
}

TQtTextMeasurer& TTranslationForm::MeasurerFor(const QPaintDevice* Device) {
  const int Dpi = Device ? Device->logicalDpiY() : 96;
  if (!FMeasurer || FMeasurer->LogicalDpi() != Dpi) {
    FMeasurer = std::make_unique<TQtTextMeasurer>(Dpi);
    FLayoutCache.Clear();
    FLineCache.Clear();
  }
  return *FMeasurer;
}

void TTranslationForm::SplitParagraph(TLayoutCanvas& Canvas, const QString& Text, int RectWidth, QStringList& Lines) {
  FLayoutCache.SplitParagraph(Canvas, Text, RectWidth, Lines);
}

void TTranslationForm::FormPaint(QPainter& Canvas) {
  const int W = width();
  const int H = height();
  TQtTextMeasurer& Measurer = MeasurerFor(Canvas.device());
  TLayoutCanvas Layout{Measurer, FCanvasFont};
  // The canvas keeps its font from paint to paint, also when one fails.
  struct TKeepFont {
    TCanvasFont& Kept;
    const TLayoutCanvas& Source;
    ~TKeepFont() { Kept = Source.Font; }
  } KeepFont{FCanvasFont, Layout};

  Canvas.setRenderHint(QPainter::Antialiasing, false);
  Canvas.setBackgroundMode(Qt::TransparentMode);
  Canvas.fillRect(QRect(0, 0, W, H), ColorToQColor(FColor));
  QPen Frame(ColorToQColor(clBtnShadow), FrameWidth);
  Frame.setJoinStyle(Qt::MiterJoin);
  Canvas.setPen(Frame);
  Canvas.setBrush(Qt::NoBrush);
  Canvas.drawRect(QRectF(FrameWidth / 2.0, FrameWidth / 2.0, W - FrameWidth, H - FrameWidth));

  if (!FTextSegmentList)
    return;

  if (IsFullScreen()) {
    Layout.Font.Size = 12;
    Layout.Font.Bold = true;
    const double ScreenWidth = W; // full screen: the monitor's width
    const int HintLeft = int(std::ceil(ScreenWidth / 2 - Layout.TextWidth(INFORMATION)));
    Canvas.setFont(Measurer.QtFont(Layout.Font));
    Canvas.setPen(QColor(Qt::red));
    Canvas.drawText(QPointF(HintLeft, 10 + Measurer.Metrics(Layout.Font).ascent()), INFORMATION);
  }

  QStringList Lines;
  for (const TIteratorResult& Item : *FTextSegmentList) {
    const QColor BackColor = ReadColor(FSettings, Settings::TextBackColor);
    // Only the part inside the window can show; cutting the box to it also
    // keeps coordinates from a damaged record inside what QRect can hold.
    const int64_t BoxLeft = std::max<int64_t>(Item.Left, 0), BoxTop = std::max<int64_t>(Item.Top, 0);
    const int64_t BoxRight = std::min<int64_t>(Item.Right, W), BoxBottom = std::min<int64_t>(Item.Bottom, H);
    if (BoxRight > BoxLeft && BoxBottom > BoxTop)
      Canvas.fillRect(QRect(int(BoxLeft), int(BoxTop), int(BoxRight - BoxLeft), int(BoxBottom - BoxTop)), BackColor);

    Lines.clear();
    const int FontSize = FSettings.Read(Settings::FontSize);
    const int BoxWidth = ClampToInt(int64_t(Item.Right) - Item.Left);
    const int BoxHeight = ClampToInt(int64_t(Item.Bottom) - Item.Top);
    if (Item.Text.contains(QChar(0x0002))) {
      const QStringList Parts = Item.Text.split(QChar(0x0002));
      Layout.Font.Size = FontSize != 0 ? FontSize : Item.FFontSize;
      SplitParagraph(Layout, Parts[1], BoxWidth, Lines);
      SplitParagraph(Layout, Parts[0], BoxWidth, Lines);
    } else if (FontSize != 0) {
      Layout.Font.Size = FontSize;
      SplitParagraph(Layout, Item.Text, BoxWidth, Lines);
    } else {
      Layout.Font.Size = FLayoutCache.FindOptimalFontSize(Layout, Item.Text, Layout.Font.Name, BoxWidth, BoxHeight,
                                                          Lines, Item.FFontSize, LineSpacingFactor);
    }

    Layout.Font.Bold = false;
    const QColor FontColor = ReadColor(FSettings, Settings::FontColor);
    const QFontMetrics& Metrics = Measurer.Metrics(Layout.Font);
    const int64_t Advance = LineAdvance(Layout.Font.Size, Measurer.LogicalDpi(), Metrics.height());
    Canvas.setFont(Measurer.QtFont(Layout.Font));
    Canvas.setPen(FontColor);
    Canvas.setBackgroundMode(Qt::OpaqueMode);
    Canvas.setBackground(BackColor);
    const int64_t X = int64_t(Item.Left) + TextInset;
    int64_t Y = int64_t(Item.Top) + TextInset;
    for (const QString& Line : Lines) {
      // Lines are not clipped to the box; only lines that cannot reach the
      // window are left out, which also keeps wild coordinates away from
      // the rasterizer.
      if (Y < H && Y + Metrics.height() > 0 && X < W && X > -MaxCoordinate)
        FLineCache.DrawLine(Canvas, Layout.Font, int(X), int(Y + Metrics.ascent()), Line);
      else if (Advance > 0 && Y >= H)
        break;
      Y += Advance;
    }
    Canvas.setBackgroundMode(Qt::TransparentMode);
  }
}

void TTranslationForm::paintEvent(QPaintEvent*) {
  if (FBuffer.size() != size())
    FBuffer = QImage(size(), QImage::Format_RGB32);
  FBufferRegion.reset();
  std::exception_ptr Error;
  QString Message;
  if (!FBuffer.isNull()) {
    QPainter Canvas(&FBuffer);
    try {
      FormPaint(Canvas);
    } catch (const std::exception& Failure) {
      Error = std::current_exception();
      Message = QString::fromUtf8(Failure.what());
    }
  }
  {
    QPainter Screen(this);
    Screen.drawImage(0, 0, FBuffer);
  }
  if (FOverlay)
    ApplyColorKey();
  if (Error)
    ReportPaintError(Error, Message);
  else
    FReportedPaintError.clear();
}

void TTranslationForm::ReportPaintError(std::exception_ptr Error, const QString& Message) {
  if (Message == FReportedPaintError)
    return;
  FReportedPaintError = Message;
  // Told once the paint is over: whoever shows it must not do so inside it.
  if (isSignalConnected(QMetaMethod::fromSignal(&TTranslationForm::PaintFailed)))
    QTimer::singleShot(0, this, [this, Message] { emit PaintFailed(Message); });
  else
    QTimer::singleShot(0, this, [Error] { std::rethrow_exception(Error); });
}

TTranslationForm::THitTest TTranslationForm::WMNCHitTest(QPoint ClientPoint) const {
  const int X = ClientPoint.x();
  const int Y = ClientPoint.y();
  const int W = width();
  const int H = height();
  if (X < 0 || Y < 0 || X >= W || Y >= H)
    return HTNOWHERE;
  if (Y < ResizeBorder)
    return X < ResizeBorder ? HTTOPLEFT : X > W - ResizeBorder ? HTTOPRIGHT : HTTOP;
  if (Y > H - ResizeBorder)
    return X < ResizeBorder ? HTBOTTOMLEFT : X > W - ResizeBorder ? HTBOTTOMRIGHT : HTBOTTOM;
  if (X < ResizeBorder)
    return HTLEFT;
  if (X > W - ResizeBorder)
    return HTRIGHT;
  return HTCLIENT;
}

void TTranslationForm::StartResize(THitTest Band, QPoint GlobalPos) {
  const Qt::Edges Edges = EdgesOf(Band);
  if (QWindow* Native = windowHandle(); Native && Native->startSystemResize(Edges))
    return;
  FResizeEdges = Edges;
  FResizeStart = GlobalPos;
  FResizeGeometry = geometry();
}

void TTranslationForm::mousePressEvent(QMouseEvent* Event) {
  if (Event->button() != Qt::LeftButton)
    return;
  const THitTest Hit = WMNCHitTest(Event->position().toPoint());
  if (Hit == HTCLIENT) {
    FDragging = true;
    FDragPoint = Event->position().toPoint();
  } else if (Hit != HTNOWHERE) {
    StartResize(Hit, Event->globalPosition().toPoint());
  }
}

void TTranslationForm::mouseMoveEvent(QMouseEvent* Event) {
  const QPoint Global = Event->globalPosition().toPoint();
  if (FResizeEdges) {
    QRect Rect = FResizeGeometry;
    const QPoint Delta = Global - FResizeStart;
    if (FResizeEdges & Qt::LeftEdge)
      Rect.setLeft(std::min(Rect.left() + Delta.x(), Rect.right()));
    if (FResizeEdges & Qt::RightEdge)
      Rect.setRight(std::max(Rect.right() + Delta.x(), Rect.left()));
    if (FResizeEdges & Qt::TopEdge)
      Rect.setTop(std::min(Rect.top() + Delta.y(), Rect.bottom()));
    if (FResizeEdges & Qt::BottomEdge)
      Rect.setBottom(std::max(Rect.bottom() + Delta.y(), Rect.top()));
    setGeometry(Rect);
    return;
  }
  if (FDragging) {
    // Left + x - FDragPoint.x, from the pointer's screen position: the same
    // point, but immune to a move the window system has not reported yet.
    move(Global - FDragPoint);
    return;
  }
  setCursor(CursorOf(WMNCHitTest(Event->position().toPoint())));
}

void TTranslationForm::mouseReleaseEvent(QMouseEvent* Event) {
  if (Event->button() != Qt::LeftButton)
    return;
  FDragging = false;
  FResizeEdges = {};
}

void TTranslationForm::keyPressEvent(QKeyEvent* Event) {
  if (Event->key() == Qt::Key_Escape)
    hide();
}

void TTranslationForm::showEvent(QShowEvent*) {
  FPlatform.KeepOffTaskbar(this);
  // Shape the window before it is mapped, so it never flashes up opaque.
  ApplyColorKey();
  FormShow();
}

void TTranslationForm::FormShow() {
  if (!IsFullScreen())
    return;
  raise();
  activateWindow();
  setFocus(Qt::ActiveWindowFocusReason);
}

void TTranslationForm::closeEvent(QCloseEvent* Event) {
  // The controller uses this one window for the whole run: a close request
  // from the window system only hides it.
  Event->ignore();
  hide();
}

void TTranslationForm::resizeEvent(QResizeEvent* Event) {
  update();
  // The controller shows a result first and lays the window over the area
  // afterwards: a window that becomes full-screen while shown takes the
  // focus too, or the Escape its hint asks for would go elsewhere.
  if (isVisible() && IsFullScreen()) {
    if (!IsFullScreenSize(Event->oldSize()))
      FormShow();
  }
}

void TTranslationForm::Timer1Timer() {
  Timer1.stop();
  hide();
}
