#pragma once

#include "core/Colors.h"
#include "core/GlobalTypes.h"
#include "overlay/OverlayLayout.h"
#include "overlay/OverlayLayoutCache.h"
#include "overlay/TextLineCache.h"

#include <QImage>
#include <QRegion>
#include <QTimer>
#include <QWidget>

#include <exception>
#include <memory>
#include <optional>

class QPainter;
class TConfigIni;
class TPlatform;
class TQtTextMeasurer;

// The borderless, topmost window that shows the translations laid over the
// captured area: each record's box filled and its text wrapped inside. In
// overlay mode everything painted in the window's own colour is see-through
// and lets the mouse through to what lies beneath.
class TTranslationForm : public QWidget {
  Q_OBJECT

public:
  // Hit-test answers for the point of a mouse press, by window-system code.
  enum THitTest {
    HTNOWHERE = 0,
    HTCLIENT = 1,
    HTLEFT = 10,
    HTRIGHT = 11,
    HTTOP = 12,
    HTTOPLEFT = 13,
    HTTOPRIGHT = 14,
    HTBOTTOM = 15,
    HTBOTTOMLEFT = 16,
    HTBOTTOMRIGHT = 17,
  };

  // Drawn at the top of a full-screen window, since Escape is then the only
  // way to close it.
  static const QString INFORMATION;

  // Settings is read at every paint and written when the window goes; both
  // it and Platform must outlive the window.
  TTranslationForm(QWidget* Owner, TConfigIni& Settings, TPlatform& Platform);
  ~TTranslationForm() override;

  // Shows the records of TextSegmentList. The list stays the caller's and
  // must live as long as this window may paint.
  void UpdateText(const TIteratorResultList* TextSegmentList);

  bool Overlay() const { return FOverlay; }
  void SetOverlay(bool Value);

  // Window alpha 0..255; 0 makes the window vanish from the screen and from
  // screen copies while it stays shown.
  int AlphaBlendValue() const;
  void SetAlphaBlendValue(int Value);

  // The client area in screen pixels, Right and Bottom exclusive.
  TRect ClientScreenRect() const;

  // The background colour, which is also the see-through colour.
  TColor Color() const { return FColor; }
  // As large as its monitor or as that monitor's work area: then it takes
  // the focus when shown and paints the Escape hint.
  bool IsFullScreen() const;

  // Paints the client area as the window shows it, onto any surface of the
  // client's size. Reads the box and text settings for every record; a colour
  // setting that cannot be converted ends the paint with EConvertError.
  void FormPaint(QPainter& Canvas);

  // What a press at ClientPoint does: HTCLIENT drags the window, the border
  // bands resize it.
  THitTest WMNCHitTest(QPoint ClientPoint) const;

  // The font the paint handler measures and draws with; its name comes from
  // the settings at every UpdateText, size and style from the last paint.
  const TCanvasFont& CanvasFont() const { return FCanvasFont; }

  // Hides the window some seconds after a result is shown ("Timer" setting).
  QTimer Timer1;

signals:
  // A paint ended on a setting that cannot be converted (the message of its
  // EConvertError); once while the same failure repeats. Without a receiver
  // the error goes to the event loop's error handler instead.
  void PaintFailed(const QString& Message);

protected:
  void paintEvent(QPaintEvent* Event) override;
  void mousePressEvent(QMouseEvent* Event) override;
  void mouseMoveEvent(QMouseEvent* Event) override;
  void mouseReleaseEvent(QMouseEvent* Event) override;
  void keyPressEvent(QKeyEvent* Event) override;
  void showEvent(QShowEvent* Event) override;
  void closeEvent(QCloseEvent* Event) override;
  void resizeEvent(QResizeEvent* Event) override;

private:
  void FormCreate();
  void FormDestroy();
  void Timer1Timer();
  void FormShow();
  void ReadConfig();
  bool IsFullScreenSize(QSize Size) const;
  void WriteConfig();
  void SplitParagraph(TLayoutCanvas& Canvas, const QString& Text, int RectWidth, QStringList& Lines);

  TQtTextMeasurer& MeasurerFor(const QPaintDevice* Device);
  // The visible part of the last painted frame; the frame ring before any.
  QRegion ColorKeyRegion();
  void ApplyColorKey();
  // Hands a failed paint's error on (PaintFailed) once the paint is over,
  // and only once while the same error repeats.
  void ReportPaintError(std::exception_ptr Error, const QString& Message);
  void StartResize(THitTest Band, QPoint GlobalPos);

  TConfigIni& FSettings;
  TPlatform& FPlatform;
  const TIteratorResultList* FTextSegmentList = nullptr;
  bool FDragging = false;
  QPoint FDragPoint;
  bool FOverlay = true;
  TColor FColor = clWhite;
  TCanvasFont FCanvasFont;

  // A resize that this window carries out itself, where no window manager
  // takes it over.
  Qt::Edges FResizeEdges;
  QPoint FResizeStart;
  QRect FResizeGeometry;

  std::unique_ptr<TQtTextMeasurer> FMeasurer;
  TLayoutCache FLayoutCache; // of FMeasurer's answers
  TTextLineCache FLineCache;
  QImage FBuffer; // the last painted frame
  std::optional<QRegion> FBufferRegion;
  std::optional<QRegion> FAppliedRegion;
  QString FReportedPaintError;
};
