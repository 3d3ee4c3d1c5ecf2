#include "app/ToolImages.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

void DrawArrowCircle(QPainter& P) {
  P.setPen(QPen(QColor(0x1f, 0x7a, 0x3d), 4, Qt::SolidLine, Qt::RoundCap));
  P.drawArc(QRect(8, 8, 32, 32), 30 * 16, 300 * 16);
  QPainterPath Head;
  Head.moveTo(38, 4);
  Head.lineTo(42, 17);
  Head.lineTo(29, 15);
  P.fillPath(Head, QColor(0x1f, 0x7a, 0x3d));
}

void DrawTranslate(QPainter& P) {
  P.setPen(Qt::NoPen);
  P.setBrush(QColor(0x2b, 0x6c, 0xb0));
  P.drawRoundedRect(QRect(2, 4, 26, 26), 5, 5);
  P.setBrush(QColor(0xe0, 0x6c, 0x2b));
  P.drawRoundedRect(QRect(20, 18, 26, 26), 5, 5);
  QFont Font = P.font();
  Font.setPixelSize(18);
  Font.setBold(true);
  P.setFont(Font);
  P.setPen(Qt::white);
  P.drawText(QRect(2, 4, 26, 26), Qt::AlignCenter, QStringLiteral("A"));
  P.drawText(QRect(20, 18, 26, 26), Qt::AlignCenter, QStringLiteral("가"));
}

void DrawGear(QPainter& P) {
  P.setPen(QPen(QColor(0x55, 0x55, 0x55), 6, Qt::SolidLine, Qt::RoundCap));
  for (int I = 0; I < 8; ++I) {
    P.save();
    P.translate(24, 24);
    P.rotate(I * 45);
    P.drawLine(0, -14, 0, -20);
    P.restore();
  }
  P.setPen(QPen(QColor(0x55, 0x55, 0x55), 5));
  P.setBrush(Qt::NoBrush);
  P.drawEllipse(QPoint(24, 24), 11, 11);
}

void DrawSelection(QPainter& P) {
  P.setPen(QPen(QColor(0x2b, 0x6c, 0xb0), 3, Qt::DashLine));
  P.drawRect(QRect(5, 7, 30, 24));
  P.setPen(QPen(Qt::black, 3));
  P.drawLine(30, 26, 44, 44);
  P.drawLine(30, 26, 30, 40);
  P.drawLine(30, 26, 43, 29);
}

void DrawFullScreen(QPainter& P) {
  P.setPen(QPen(QColor(0x33, 0x33, 0x33), 3));
  P.setBrush(QColor(0xd6, 0xe9, 0xfa));
  P.drawRect(QRect(4, 6, 40, 28));
  P.drawLine(24, 34, 24, 40);
  P.drawLine(14, 42, 34, 42);
}

void DrawStop(QPainter& P) {
  P.setPen(Qt::NoPen);
  P.setBrush(QColor(0xc6, 0x28, 0x28));
  P.drawRoundedRect(QRect(8, 8, 32, 32), 4, 4);
}

} // namespace

QIcon ToolImage(int Index) {
  // Drawn at the design size and larger, so that the buttons of a
  // high-DPI screen get a sharp picture of their size.
  QIcon Icon;
  for (const double Scale : {1.0, 1.5, 2.0, 3.0}) {
    const int Size = int(ToolImageSize * Scale);
    QPixmap Picture(Size, Size);
    Picture.fill(Qt::transparent);
    QPainter P(&Picture);
    P.setRenderHint(QPainter::Antialiasing);
    P.scale(Scale, Scale);
    switch (Index) {
    case 0: DrawStop(P); break;
    case 1: DrawArrowCircle(P); break;
    case 2: DrawTranslate(P); break;
    case 3: DrawGear(P); break;
    case 4: DrawSelection(P); break;
    default: DrawFullScreen(P); break;
    }
    P.end();
    Icon.addPixmap(Picture);
  }
  return Icon;
}

QIcon ApplicationIcon() { return QIcon::fromTheme(QStringLiteral("korvex"), QIcon(QStringLiteral(":/korvex.svg"))); }
