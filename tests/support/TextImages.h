#pragma once

// Pictures of text that the tests and benchmarks render themselves.

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QStringList>

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
