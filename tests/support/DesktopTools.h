#pragma once

// Pieces the X11 tests share: running a desktop tool (xdotool, xrandr …)
// while the test keeps serving its own windows, and a plain window of large
// English text for Korvex to read.

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPoint>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTest>
#include <QWidget>

#include <utility>
#include <vector>

// Runs Program to its end while this process keeps serving its windows: the
// exit code, -1 when it could not start, -2 when it ran over 20 s.
inline int RunTool(const QString& Program, const QStringList& Arguments, QString* Errors = nullptr) {
  QProcess Process;
  Process.start(Program, Arguments);
  if (!Process.waitForStarted(5000))
    return -1;
  if (!QTest::qWaitFor([&] { return Process.state() == QProcess::NotRunning; }, 20000))
    return -2;
  if (Errors)
    *Errors = QString::fromLocal8Bit(Process.readAllStandardError());
  return Process.exitCode();
}

// xdotool with Arguments, as RunTool runs it.
inline int Xdo(const QStringList& Arguments) { return RunTool(QStringLiteral("xdotool"), Arguments); }

// Whether Copy (a few pixels around a point) holds the red of the selection
// window's frame.
inline bool HasSelectionFrameRed(const QImage& Copy) {
  for (int Y = 0; Y < Copy.height(); ++Y)
    for (int X = 0; X < Copy.width(); ++X) {
      const QRgb P = Copy.pixel(X, Y);
      if (qRed(P) > 120 && qGreen(P) < 60 && qBlue(P) < 60)
        return true;
    }
  return false;
}

// A frameless white window with black 40-pixel DejaVu Sans lines, each at
// its baseline point. Lines may change while it is shown (repaint after).
class TLargeTextWindow : public QWidget {
public:
  TLargeTextWindow(const QRect& Geometry, std::vector<std::pair<QPoint, QString>> ALines,
                   Qt::WindowFlags ExtraFlags = {})
      : QWidget(nullptr, Qt::FramelessWindowHint | ExtraFlags), Lines(std::move(ALines)) {
    setGeometry(Geometry);
  }

  std::vector<std::pair<QPoint, QString>> Lines;

protected:
  void paintEvent(QPaintEvent*) override {
    QPainter Canvas(this);
    Canvas.fillRect(rect(), Qt::white);
    Canvas.setPen(Qt::black);
    QFont Font(QStringLiteral("DejaVu Sans"));
    Font.setPixelSize(40);
    Canvas.setFont(Font);
    for (const auto& [Baseline, Text] : Lines)
      Canvas.drawText(Baseline, Text);
  }
};
