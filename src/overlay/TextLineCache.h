#pragma once

#include "overlay/OverlayLayout.h"

#include <QHash>
#include <QImage>
#include <QPoint>

#include <vector>

class QPainter;

// Draws text lines with an opaque background exactly as QPainter::drawText
// does, faster when the same line is drawn again: from the second time on a
// line is copied from a picture of it, made once. Most of a line's pixels
// fall on its own background and are the same whatever lies beneath; the few
// that mix with the surface (a glyph reaching out of its cell) are pictured
// as they come out over the background colour, and the picture is used only
// where the surface there has that colour, which is the case inside the
// line's box. Anywhere else the line is drawn afresh.
class TTextLineCache {
public:
  // Draws Line at X and Baseline with the painter's font, pen and background
  // colour in opaque mode. Font names the painter's font for the cache.
  void DrawLine(QPainter& Canvas, const TCanvasFont& Font, int X, int Baseline, const QString& Line);
  void Clear();

private:
  struct TKey {
    QString Line;
    TCanvasFont Font;
    QRgb Pen = 0;
    QRgb Back = 0;
    int DotsPerMeterX = 0;
    int DotsPerMeterY = 0;
    friend bool operator==(const TKey&, const TKey&) = default;
    friend size_t qHash(const TKey& Key, size_t Seed) {
      return qHashMulti(Seed, Key.Line, Key.Font, Key.Pen, Key.Back, Key.DotsPerMeterX, Key.DotsPerMeterY);
    }
  };
  struct TPicture {
    bool SeenBefore = false;
    bool Usable = false;
    QImage Image;              // alpha 0 (premultiplied) where the line leaves the surface alone
    QPoint Offset;             // of the picture's corner from (X, Baseline)
    std::vector<QPoint> Mixed; // in the picture: pixels right only over the background colour
  };
  static bool CanCopy(const QPainter& Canvas);
  static void MakePicture(const QPainter& Canvas, const QString& Line, TPicture& Picture);

  QHash<TKey, TPicture> FPictures;
  qsizetype FPixels = 0;
};
