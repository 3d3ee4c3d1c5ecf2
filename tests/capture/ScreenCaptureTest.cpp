#include "capture/ScreenCapture.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>

namespace {

uint8_t PlainGrey(int R, int G, int B) { return uint8_t(std::nearbyint(R * 0.299 + G * 0.587 + B * 0.114)); }

// The change test written out plainly: Qt's conversion, the double formula
// per pixel, the float limit.
bool PlainIsChanged(const QImage& Previous, const QImage& Current, float Threshold) {
  if (Previous.isNull() || Previous.size() != Current.size())
    return false;
  const QImage A = Previous.convertToFormat(QImage::Format_RGB32);
  const QImage B = Current.convertToFormat(QImage::Format_RGB32);
  int Changed = 0;
  for (int Y = 0; Y < A.height(); ++Y)
    for (int X = 0; X < A.width(); ++X) {
      const QRgb P = A.pixel(X, Y), C = B.pixel(X, Y);
      const int D = std::abs(PlainGrey(qRed(P), qGreen(P), qBlue(P)) - PlainGrey(qRed(C), qGreen(C), qBlue(C)));
      Changed += D > 25;
    }
  const float Limit = float(double(A.width() * A.height()) * double(Threshold));
  return Changed > Limit;
}

QImage Grey(int Width, int Height, int Level, QImage::Format Format = QImage::Format_RGB32) {
  QImage Image(Width, Height, Format);
  Image.fill(QColor(Level, Level, Level));
  return Image;
}

// A copy of Base whose first Count pixels are Level.
QImage WithChangedPixels(const QImage& Base, int Count, int Level) {
  QImage Image = Base.copy();
  for (int I = 0; I < Count; ++I)
    Image.setPixelColor(I % Image.width(), I / Image.width(), QColor(Level, Level, Level));
  return Image;
}

TEST(IsSameRect, SameCornerAndSize) {
  struct TCase {
    TRect R1, R2;
    bool Same;
  } Cases[] = {
      {{10, 20, 110, 70}, {10, 20, 110, 70}, true},
      {{10, 20, 110, 70}, {11, 20, 111, 70}, false},
      {{10, 20, 110, 70}, {10, 21, 110, 71}, false},
      {{10, 20, 110, 70}, {10, 20, 111, 70}, false},
      {{10, 20, 110, 70}, {10, 20, 110, 69}, false},
      {{0, 0, 0, 0}, {0, 0, 0, 0}, true},
      // Only corner and size count: two degenerate rectangles of equal (negative) size agree.
      {{5, 5, 3, 3}, {5, 5, 3, 3}, true},
  };
  for (const TCase& Case : Cases)
    EXPECT_EQ(IsSameRect(Case.R1, Case.R2), Case.Same) << Case.R1.Left << "," << Case.R1.Top;
}

TEST(IsChangedScreen, CountsMustExceedTheLimit) {
  const QImage Base = Grey(100, 100, 100);
  struct TCase {
    int Pixels;
    int Level; // new grey of the changed pixels (base 100)
    float Threshold;
    bool Changed;
  } Cases[] = {
      {0, 100, 0.02f, false},  {200, 130, 0.02f, false},  {201, 130, 0.02f, true}, {50, 130, 0.005f, false},
      {51, 130, 0.005f, true}, {201, 125, 0.02f, false},  {201, 126, 0.02f, true}, {201, 75, 0.02f, false},
      {201, 74, 0.02f, true},  {10000, 255, 0.02f, true}, {1, 126, 0.0f, true},    {0, 100, 0.0f, false},
  };
  for (const TCase& Case : Cases) {
    QImage Previous = Base.copy();
    QImage Current = WithChangedPixels(Base, Case.Pixels, Case.Level);
    EXPECT_EQ(IsChangedScreen(Previous, Current, Case.Threshold), Case.Changed)
        << Case.Pixels << " pixels at " << Case.Level << ", T=" << Case.Threshold;
  }
}

TEST(IsChangedScreen, LeavesBothBitmapsIn24BitWithTheirColours) {
  for (QImage::Format Format : {QImage::Format_RGB32, QImage::Format_BGR888, QImage::Format_ARGB32,
                                QImage::Format_RGB888, QImage::Format_Grayscale8}) {
    QImage Previous(13, 5, QImage::Format_RGB32);
    for (int Y = 0; Y < 5; ++Y)
      for (int X = 0; X < 13; ++X)
        Previous.setPixel(X, Y, qRgb(X * 19, Y * 50, (X + Y) * 10));
    Previous = Previous.convertToFormat(Format);
    QImage Current = Previous.copy();
    const QImage Original = Previous.convertToFormat(QImage::Format_RGB32);
    EXPECT_FALSE(IsChangedScreen(Previous, Current, 0.02f));
    for (const QImage* Image : {&Previous, &Current}) {
      EXPECT_EQ(Image->format(), QImage::Format_BGR888) << Format;
      EXPECT_EQ(Image->convertToFormat(QImage::Format_RGB32), Original) << Format;
    }
  }
}

TEST(IsChangedScreen, DifferentSizesOrNoPreviousBitmapAreNoChange) {
  QImage Previous = Grey(100, 100, 0);
  QImage Current = Grey(100, 99, 255);
  EXPECT_FALSE(IsChangedScreen(Previous, Current, 0.02f));
  EXPECT_EQ(Previous.format(), QImage::Format_RGB32);
  EXPECT_EQ(Current.format(), QImage::Format_RGB32);
  QImage Missing;
  EXPECT_FALSE(IsChangedScreen(Missing, Current, 0.02f));
  EXPECT_TRUE(Missing.isNull());
}

// Colours sorted by grey level, with the colours whose exact sum lies on a
// rounding half kept apart: those are where a fast integer path could go wrong.
struct TPalette {
  std::vector<QRgb> ByGrey[256];
  std::vector<QRgb> HalvesByGrey[256];

  TPalette() {
    std::mt19937 Random(3);
    for (uint32_t C = 0; C < (1u << 24); ++C) {
      const int R = int(C >> 16), G = int(C >> 8) & 255, B = int(C) & 255;
      const uint8_t Level = PlainGrey(R, G, B);
      if ((299 * R + 587 * G + 114 * B) % 1000 == 500) {
        if (HalvesByGrey[Level].size() < 64)
          HalvesByGrey[Level].push_back(0xff000000u | C);
      } else if (Random() % 4096 == 0 && ByGrey[Level].size() < 64) {
        ByGrey[Level].push_back(0xff000000u | C);
      }
    }
  }

  QRgb Pick(int Level, bool Half, std::mt19937& Random) const {
    Level = std::clamp(Level, 0, 255);
    const auto& Pool = Half && !HalvesByGrey[Level].empty() ? HalvesByGrey[Level] : ByGrey[Level];
    if (Pool.empty())
      return qRgb(Level, Level, Level);
    return Pool[Random() % Pool.size()];
  }
};

TEST(IsChangedScreen, AgreesWithThePlainComputationOnRandomAndAdversarialImages) {
  static const TPalette Palette;
  std::mt19937 Random(2024);
  const QImage::Format Formats[] = {QImage::Format_RGB32, QImage::Format_BGR888, QImage::Format_RGB888};
  for (int Round = 0; Round < 600; ++Round) {
    const int Width = 1 + int(Random() % 70), Height = 1 + int(Random() % 12);
    QImage Previous(Width, Height, QImage::Format_RGB32), Current(Width, Height, QImage::Format_RGB32);
    // Random colours; halves only; grey steps of 24..27 on halves; all
    // colour bytes moved by about 24..27 (around the bound below which a
    // pixel cannot have changed).
    const int Style = Round % 4;
    for (int Y = 0; Y < Height; ++Y)
      for (int X = 0; X < Width; ++X) {
        if (Style == 0) {
          Previous.setPixel(X, Y, 0xff000000u | (Random() & 0xffffffu));
          Current.setPixel(X, Y, Random() % 3 ? Previous.pixel(X, Y) : 0xff000000u | (Random() & 0xffffffu));
          continue;
        }
        if (Style == 3) {
          // All three bytes move the same way by Reach - 2 .. Reach.
          const QRgb P = Palette.Pick(int(Random() % 256), Random() % 2, Random);
          const int Reach = std::array{24, 25, 26, 27}[Random() % 4];
          const int Sign = Random() % 2 ? 1 : -1;
          auto Move = [&](int Channel) { return std::clamp(Channel + Sign * (Reach - int(Random() % 3)), 0, 255); };
          Previous.setPixel(X, Y, P);
          Current.setPixel(X, Y, qRgb(Move(qRed(P)), Move(qGreen(P)), Move(qBlue(P))));
          continue;
        }
        const int Level = int(Random() % 256);
        const int Step = Style == 1 ? int(Random() % 60) - 30 : (Random() % 2 ? 1 : -1) * (24 + int(Random() % 4));
        Previous.setPixel(X, Y, Palette.Pick(Level, true, Random));
        Current.setPixel(X, Y, Palette.Pick(Level + Step, Random() % 4 != 0, Random));
      }
    Previous = Previous.convertToFormat(Formats[Random() % 3]);
    Current = Current.convertToFormat(Formats[Random() % 3]);
    // Thresholds around the actual share of changed pixels probe the limit.
    const float Thresholds[] = {0.0f,
                                0.005f,
                                0.02f,
                                0.5f,
                                float(Random() % 101) / 100.0f,
                                float(Random() % (Width * Height + 1)) / float(Width * Height)};
    for (float Threshold : Thresholds) {
      QImage A = Previous, B = Current;
      const bool Expected = PlainIsChanged(A, B, Threshold);
      ASSERT_EQ(IsChangedScreen(A, B, Threshold), Expected)
          << "round " << Round << " size " << Width << "x" << Height << " T=" << Threshold;
      ASSERT_EQ(A.convertToFormat(QImage::Format_RGB32), Previous.convertToFormat(QImage::Format_RGB32));
      ASSERT_EQ(B.convertToFormat(QImage::Format_RGB32), Current.convertToFormat(QImage::Format_RGB32));
    }
  }
}

} // namespace
