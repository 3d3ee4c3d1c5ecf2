#include "platform/Platform.h"

#include <QPainter>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

// A window whose every pixel is known: colour from position.
QRgb PatternAt(int X, int Y) { return qRgb((X * 7) & 255, (Y * 5) & 255, (X + Y) & 255); }

class TPatternWindow : public QWidget {
public:
  TPatternWindow() : QWidget(nullptr, Qt::FramelessWindowHint) {
    Pattern = QImage(300, 200, QImage::Format_RGB32);
    for (int Y = 0; Y < 200; ++Y)
      for (int X = 0; X < 300; ++X)
        Pattern.setPixel(X, Y, PatternAt(X, Y));
    setGeometry(50, 60, 300, 200);
  }
  QImage Pattern;

protected:
  void paintEvent(QPaintEvent*) override { QPainter(this).drawImage(0, 0, Pattern); }
};

std::unique_ptr<TPlatform> X11Platform(bool Shm) {
  if (Shm)
    qunsetenv("KORVEX_NO_SHM");
  else
    qputenv("KORVEX_NO_SHM", "1");
  QString Error;
  auto Platform = CreateX11Platform(&Error);
  EXPECT_TRUE(Platform) << Error.toStdString();
  return Platform;
}

TEST(ScreenCopyX11, SharedAndPlainCopiesShowTheScreen) {
  TPatternWindow Window;
  Window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Window));
  QTest::qWait(100);
  auto Shared = X11Platform(true);
  auto Plain = X11Platform(false);
  ASSERT_TRUE(Shared && Plain);

  // Growing, shrinking and repeated sizes: the shared segment is reused
  // when it fits and replaced when it does not.
  const TRect Rects[] = {
      {50, 60, 350, 260}, {60, 70, 61, 71}, {50, 60, 350, 260}, {0, 0, 1920, 1080}, {100, 100, 250, 200}};
  for (const TRect& Rect : Rects) {
    SCOPED_TRACE(testing::Message() << Rect.Left << "," << Rect.Top << " " << Rect.Width() << "x" << Rect.Height());
    const QImage A = Shared->CopyScreen(Rect);
    const QImage B = Plain->CopyScreen(Rect);
    ASSERT_EQ(A.size(), QSize(Rect.Width(), Rect.Height()));
    EXPECT_EQ(A.format(), QImage::Format_RGB32);
    EXPECT_EQ(A, B);
    // Every byte as Qt expects of RGB32, the fourth 0xff included.
    const int X = 60 - Rect.Left + 5, Y = 70 - Rect.Top + 5;
    if (X >= 0 && Y >= 0 && X < A.width() && Y < A.height()) {
      EXPECT_EQ(reinterpret_cast<const uint32_t*>(A.constScanLine(Y))[X],
                PatternAt(X + Rect.Left - 50, Y + Rect.Top - 60));
    }
  }
}

TEST(ScreenCopyX11, PartsOutsideTheScreenAreBlack) {
  TPatternWindow Window;
  Window.move(0, 0);
  Window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Window));
  QTest::qWait(100);
  for (bool Shm : {true, false}) {
    auto X11 = X11Platform(Shm);
    const QImage Copy = X11->CopyScreen({-10, -20, 30, 40});
    ASSERT_EQ(Copy.size(), QSize(40, 60));
    EXPECT_EQ(Copy.pixel(5, 5), qRgb(0, 0, 0)) << Shm;
    EXPECT_EQ(Copy.pixel(5, 25), qRgb(0, 0, 0)) << Shm;
    EXPECT_EQ(Copy.pixel(15, 25), PatternAt(5, 5)) << Shm;
    const QImage Away = X11->CopyScreen({3000, 3000, 3010, 3010});
    EXPECT_EQ(Away.size(), QSize(10, 10));
    EXPECT_EQ(Away.pixel(0, 0), qRgb(0, 0, 0)) << Shm;
  }
}

} // namespace
