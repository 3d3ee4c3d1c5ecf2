#include "imaging/ColorKey.h"

#include <cstring>
#include <utility>
#include <vector>

QRegion ColorKeyVisibleRegion(const QImage& Image, QRgb Key) {
  if (Image.isNull())
    return {};
  const QImage Pixels = Image.format() == QImage::Format_RGB32 || Image.format() == QImage::Format_ARGB32
                            ? Image
                            : Image.convertToFormat(QImage::Format_RGB32);
  const uint32_t KeyRgb = Key & 0xFFFFFFu;
  const int Width = Pixels.width();
  const int Height = Pixels.height();

  // Rows with the same runs of visible pixels fold into one band, which is
  // the form QRegion::setRects wants: y-x sorted, equal heights per band, no
  // two rectangles touching side by side.
  std::vector<QRect> Rects;
  std::vector<std::pair<int, int>> Band, Row;
  int BandTop = 0;
  const auto CloseBand = [&](int Bottom) {
    for (const auto& [X0, X1] : Band)
      Rects.emplace_back(X0, BandTop, X1 - X0, Bottom - BandTop);
  };
  const size_t RowBytes = size_t(Width) * sizeof(uint32_t);
  for (int Y = 0; Y < Height; ++Y) {
    const auto* Line = reinterpret_cast<const uint32_t*>(Pixels.constScanLine(Y));
    // A row like the one above has its runs; whole bands of background and
    // of box are such rows.
    if (Y > 0 && std::memcmp(Line, Pixels.constScanLine(Y - 1), RowBytes) == 0)
      continue;
    Row.clear();
    int X = 0;
    while (X < Width) {
      while (X < Width && (Line[X] & 0xFFFFFFu) == KeyRgb)
        ++X;
      if (X == Width)
        break;
      const int Start = X;
      while (X < Width && (Line[X] & 0xFFFFFFu) != KeyRgb)
        ++X;
      Row.emplace_back(Start, X);
    }
    if (Row != Band) {
      CloseBand(Y);
      Band.swap(Row);
      BandTop = Y;
    }
  }
  CloseBand(Height);

  QRegion Region;
  if (!Rects.empty())
    Region.setRects(Rects.data(), int(Rects.size()));
  return Region;
}
