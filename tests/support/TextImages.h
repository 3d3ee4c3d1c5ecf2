#pragma once

// Pictures of text that the tests and benchmarks render themselves.

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <QStringList>

#include <algorithm>
#include <vector>

// Black DejaVu Sans lines on white, one per band of LineHeight pixels,
// vertically centred in their band and Margin pixels in from the left.
inline QImage RenderTextLines(const QStringList& Lines, int Width, int LineHeight, int PixelSize, int Margin = 20) {
  QImage Image(Width, LineHeight * int(Lines.size()), QImage::Format_RGB32);
  Image.fill(Qt::white);
  QPainter Painter(&Image);
  QFont Font(QStringLiteral("DejaVu Sans"));
  Font.setPixelSize(PixelSize);
  Painter.setFont(Font);
  Painter.setPen(Qt::black);
  for (int I = 0; I < Lines.size(); ++I)
    Painter.drawText(QRect(Margin, I * LineHeight, Width - 2 * Margin, LineHeight), Qt::AlignLeft | Qt::AlignVCenter,
                     Lines[I]);
  return Image;
}

// The 800 x 200 picture of four English lines that the recognition
// benchmarks measure, so their figures compare.
inline QImage FourLineBenchmarkPicture() {
  return RenderTextLines({QStringLiteral("Korvex reads the text on the screen"),
                          QStringLiteral("and sends every line it finds"),
                          QStringLiteral("to the translation server, then shows"),
                          QStringLiteral("the translations over the same place.")},
                         800, 50, 30, 16);
}

// Lines of words rendered as RenderTextLines does, with the box of every
// word's ink (pixels darker than mid-grey), in picture pixels.
struct TRenderedWords {
  QImage Picture;
  struct TWordInk {
    QString Text;
    QRect Ink;
  };
  std::vector<std::vector<TWordInk>> Lines;
};

inline TRenderedWords RenderWordLines(const QStringList& Lines, int Width, int LineHeight, int PixelSize,
                                      int Margin = 20) {
  TRenderedWords Result;
  Result.Picture = RenderTextLines(Lines, Width, LineHeight, PixelSize, Margin);
  QFont Font(QStringLiteral("DejaVu Sans"));
  Font.setPixelSize(PixelSize);
  const QFontMetrics Metrics(Font);
  for (int I = 0; I < Lines.size(); ++I) {
    auto& Words = Result.Lines.emplace_back();
    int X = Margin;
    for (const QString& Word : Lines[I].split(QLatin1Char(' '))) {
      const int Advance = Metrics.horizontalAdvance(Word);
      QRect Ink;
      // Ink of a glyph may overhang its advance by a pixel or two.
      for (int Y = I * LineHeight; Y < (I + 1) * LineHeight; ++Y)
        for (int Px = std::max(0, X - 2); Px < std::min(Width, X + Advance + 2); ++Px)
          if (qGray(Result.Picture.pixel(Px, Y)) < 128)
            Ink |= QRect(Px, Y, 1, 1);
      Words.push_back({Word, Ink});
      X += Metrics.horizontalAdvance(Word + QLatin1Char(' '));
    }
  }
  return Result;
}
