#include "overlay/TextLineCache.h"

#include <QPainter>

namespace {
// About 40 MB of pictures; beyond it the cache starts afresh.
constexpr qsizetype MaxPixels = 10'000'000;
} // namespace

bool TTextLineCache::CanCopy(const QPainter& Canvas) {
  const QPaintDevice* Device = Canvas.device();
  if (!Device || Device->devType() != QInternal::Image)
    return false;
  const auto* Target = static_cast<const QImage*>(Device);
  return Target->format() == QImage::Format_RGB32 && Canvas.transform().isIdentity() && !Canvas.hasClipping() &&
         Canvas.compositionMode() == QPainter::CompositionMode_SourceOver && Canvas.opacity() == 1.0 &&
         Canvas.pen().color().alpha() == 255 && Canvas.background().color().alpha() == 255 &&
         Canvas.background().style() == Qt::SolidPattern;
}

// The line is drawn over black, over white and over its background colour,
// on surfaces like the target. A pixel the same over black and white is the
// line's own; one untouched in both is left alone; any other mixes the line
// with what lies beneath and is taken as it comes out over the background.
void TTextLineCache::MakePicture(const QPainter& Canvas, const QString& Line, TPicture& Picture) {
  const auto* Target = static_cast<const QImage*>(Canvas.device());
  const QFontMetrics Metrics(Canvas.font(), Target);
  const int Margin = Metrics.height();
  const QSize Size(Metrics.horizontalAdvance(Line) + 2 * Margin, Metrics.height() + 2 * Margin);
  const QPoint Origin(Margin, Margin + Metrics.ascent());
  const auto Draw = [&](const QColor& Beneath) {
    QImage Surface(Size, QImage::Format_RGB32);
    Surface.setDotsPerMeterX(Target->dotsPerMeterX());
    Surface.setDotsPerMeterY(Target->dotsPerMeterY());
    Surface.fill(Beneath);
    QPainter Painter(&Surface);
    Painter.setRenderHints(Canvas.renderHints());
    Painter.setFont(Canvas.font());
    Painter.setPen(Canvas.pen());
    Painter.setBackgroundMode(Qt::OpaqueMode);
    Painter.setBackground(Canvas.background());
    Painter.drawText(Origin, Line);
    return Surface;
  };
  const QImage OverBlack = Draw(Qt::black);
  const QImage OverWhite = Draw(Qt::white);
  const QImage OverBack = Draw(Canvas.background().color());

  enum TKind : uint8_t { Untouched, Own, Mixed };
  std::vector<TKind> Kinds(size_t(Size.width()) * Size.height());
  QRect Used;
  for (int Y = 0; Y < Size.height(); ++Y) {
    const auto* Black = reinterpret_cast<const QRgb*>(OverBlack.constScanLine(Y));
    const auto* White = reinterpret_cast<const QRgb*>(OverWhite.constScanLine(Y));
    for (int X = 0; X < Size.width(); ++X) {
      const TKind Kind = Black[X] == White[X]                                                 ? Own
                         : (Black[X] & 0xFFFFFFu) == 0 && (White[X] & 0xFFFFFFu) == 0xFFFFFFu ? Untouched
                                                                                              : Mixed;
      Kinds[size_t(Y) * Size.width() + X] = Kind;
      if (Kind != Untouched)
        Used |= QRect(X, Y, 1, 1);
    }
  }
  // Ink at the border may have gone further than the surface reached.
  if (Used.isEmpty() || Used.left() == 0 || Used.top() == 0 || Used.right() == Size.width() - 1 ||
      Used.bottom() == Size.height() - 1)
    return;

  bool AllOpaque = true;
  for (int Y = Used.top(); Y <= Used.bottom() && AllOpaque; ++Y)
    for (int X = Used.left(); X <= Used.right() && AllOpaque; ++X)
      AllOpaque = Kinds[size_t(Y) * Size.width() + X] != Untouched;
  // A picture without holes is copied rather than blended.
  QImage Image(Used.size(), AllOpaque ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied);
  for (int Y = Used.top(); Y <= Used.bottom(); ++Y) {
    const auto* Back = reinterpret_cast<const QRgb*>(OverBack.constScanLine(Y));
    auto* Out = reinterpret_cast<QRgb*>(Image.scanLine(Y - Used.top()));
    for (int X = Used.left(); X <= Used.right(); ++X) {
      const TKind Kind = Kinds[size_t(Y) * Size.width() + X];
      Out[X - Used.left()] = Kind == Untouched ? 0 : Back[X] | 0xFF000000u;
      if (Kind == Mixed)
        Picture.Mixed.emplace_back(X - Used.left(), Y - Used.top());
    }
  }
  Picture.Image = Image;
  Picture.Offset = Used.topLeft() - Origin;
  Picture.Usable = true;
}

void TTextLineCache::DrawLine(QPainter& Canvas, const TCanvasFont& Font, int X, int Baseline, const QString& Line) {
  if (Line.isEmpty() || !CanCopy(Canvas)) {
    Canvas.drawText(QPoint(X, Baseline), Line);
    return;
  }
  const auto* Target = static_cast<const QImage*>(Canvas.device());
  const TKey Key{Line,
                 Font,
                 Canvas.pen().color().rgb(),
                 Canvas.background().color().rgb(),
                 Target->dotsPerMeterX(),
                 Target->dotsPerMeterY()};
  auto It = FPictures.find(Key);
  if (It == FPictures.end()) {
    // Most lines are drawn once; only a line drawn again is pictured.
    if (FPixels >= MaxPixels) {
      FPictures.clear();
      FPixels = 0;
    }
    TPicture Seen;
    Seen.SeenBefore = true;
    FPictures.insert(Key, Seen);
    Canvas.drawText(QPoint(X, Baseline), Line);
    return;
  }
  TPicture& Picture = *It;
  if (Picture.SeenBefore) {
    Picture.SeenBefore = false;
    MakePicture(Canvas, Line, Picture);
    FPixels += Picture.Image.width() * Picture.Image.height();
  }
  const QPoint Corner = QPoint(X, Baseline) + Picture.Offset;
  bool Copy = Picture.Usable;
  if (Copy && !Picture.Mixed.empty()) {
    const QRgb Back = Canvas.background().color().rgb() & 0xFFFFFFu;
    for (const QPoint& Pixel : Picture.Mixed) {
      const QPoint At = Corner + Pixel;
      if (Target->rect().contains(At) && (Target->pixel(At) & 0xFFFFFFu) != Back) {
        Copy = false;
        break;
      }
    }
  }
  if (Copy)
    Canvas.drawImage(Corner, Picture.Image);
  else
    Canvas.drawText(QPoint(X, Baseline), Line);
}

void TTextLineCache::Clear() {
  FPictures.clear();
  FPixels = 0;
}
