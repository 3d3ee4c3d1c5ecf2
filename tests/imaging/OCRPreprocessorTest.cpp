#include "imaging/OCRPreprocessor.h"
#include "imaging/GreyLevel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

uint8_t PlainGrey(int R, int G, int B) { return uint8_t(std::nearbyint(R * 0.299 + G * 0.587 + B * 0.114)); }

QImage OnePixel(QRgb Colour, QImage::Format Format = QImage::Format_RGB32) {
  QImage Image(1, 1, QImage::Format_RGB32);
  Image.setPixel(0, 0, Colour);
  return Image.convertToFormat(Format);
}

// Colour bytes of a pixel of an RGB32 image, as B, G, R.
std::array<uint8_t, 3> BGR(const QImage& Image, int X, int Y) {
  const uint8_t* P = Image.constScanLine(Y) + 4 * X;
  return {P[0], P[1], P[2]};
}

TEST(GreyLevel, EveryColourMatchesThePlainDoubleFormula) {
  // All 2^24 colours, once as 4-byte and once as 3-byte pixels: the fast path
  // must agree with the double formula everywhere, the halves included.
  QImage Wide(4096, 4096, QImage::Format_RGB32);
  for (int Y = 0; Y < 4096; ++Y) {
    auto* Row = reinterpret_cast<uint32_t*>(Wide.scanLine(Y));
    for (int X = 0; X < 4096; ++X)
      Row[X] = 0xff000000u | uint32_t(Y * 4096 + X);
  }
  const QImage Narrow = Wide.convertToFormat(QImage::Format_BGR888);
  std::vector<uint8_t> Grey(4096);
  int Mismatches = 0;
  for (const QImage* Image : std::initializer_list<const QImage*>{&Wide, &Narrow}) {
    const int PixelSize = Image == &Wide ? 4 : 3;
    for (int Y = 0; Y < 4096; ++Y) {
      GreyLevels(Image->constScanLine(Y), PixelSize, 4096, Grey.data());
      for (int X = 0; X < 4096; ++X) {
        const uint32_t C = uint32_t(Y * 4096 + X);
        Mismatches += Grey[X] != PlainGrey(int(C >> 16) & 255, int(C >> 8) & 255, int(C) & 255);
      }
    }
  }
  EXPECT_EQ(Mismatches, 0);
}

TEST(GreyLevel, RowLengthsThatEndInsideAVectorBlock) {
  std::mt19937 Random(7);
  for (int Count = 1; Count <= 41; ++Count) {
    for (int PixelSize : {3, 4}) {
      std::vector<uint8_t> Pixels(size_t(Count) * PixelSize);
      for (uint8_t& Byte : Pixels)
        Byte = uint8_t(Random());
      std::vector<uint8_t> Grey(size_t(Count) + 1, 0xAB);
      GreyLevels(Pixels.data(), PixelSize, Count, Grey.data());
      for (int I = 0; I < Count; ++I) {
        const uint8_t* P = Pixels.data() + I * PixelSize;
        ASSERT_EQ(Grey[I], PlainGrey(P[2], P[1], P[0])) << Count << " " << PixelSize << " " << I;
      }
      EXPECT_EQ(Grey[size_t(Count)], 0xAB) << "wrote past the end";
    }
  }
}

struct TBinarizeCase {
  QRgb Colour;
  uint8_t Threshold;
  bool Invert;
  uint8_t Expected;
};

TEST(ImageProcessor, BinarizeEdgeCases) {
  const TBinarizeCase Cases[] = {
      {qRgb(128, 128, 128), 128, false, 0},  {qRgb(129, 129, 129), 128, false, 255},
      {qRgb(128, 128, 128), 128, true, 255}, {qRgb(129, 129, 129), 128, true, 0},
      {qRgb(0, 0, 0), 0, false, 0},          {qRgb(1, 1, 1), 0, false, 255},
      {qRgb(0, 0, 255), 0, false, 255},      {qRgb(255, 255, 255), 255, false, 0},
      {qRgb(255, 255, 255), 255, true, 255}, {qRgb(255, 0, 0), 128, false, 0},
      {qRgb(255, 0, 0), 75, false, 255},     {qRgb(255, 0, 0), 76, false, 0},
  };
  for (const TBinarizeCase& Case : Cases) {
    for (QImage::Format Format : {QImage::Format_RGB32, QImage::Format_BGR888}) {
      QImage Image = OnePixel(Case.Colour, Format);
      TImageProcessor::BinarizeWithGlobalThreshold(Image, Case.Threshold, Case.Invert);
      EXPECT_EQ(Image.format(), QImage::Format_RGB32);
      const std::array<uint8_t, 3> Expected{Case.Expected, Case.Expected, Case.Expected};
      EXPECT_EQ(BGR(Image, 0, 0), Expected) << std::hex << Case.Colour << std::dec << " T=" << int(Case.Threshold)
                                            << " invert=" << Case.Invert << " format=" << Format;
    }
  }
}

TEST(ImageProcessor, GreyOfPureRedIs76AndTheFourthByteIsKept) {
  QImage Image(9, 1, QImage::Format_RGB32);
  for (int X = 0; X < 9; ++X)
    reinterpret_cast<uint32_t*>(Image.scanLine(0))[X] = 0x5aff0000u; // red, fourth byte 0x5a
  TImageProcessor::ConvertToGrayscale(Image);
  for (int X = 0; X < 9; ++X) {
    EXPECT_EQ(BGR(Image, X, 0), (std::array<uint8_t, 3>{76, 76, 76}));
    EXPECT_EQ(Image.constScanLine(0)[4 * X + 3], 0x5a);
  }
}

TEST(ImageProcessor, BinarizingTwiceChangesNothingAndMatchesTheFormula) {
  std::mt19937 Random(11);
  QImage Image(37, 23, QImage::Format_RGB32);
  for (int Y = 0; Y < Image.height(); ++Y)
    for (int X = 0; X < Image.width(); ++X)
      Image.setPixel(X, Y, 0xff000000u | (Random() & 0xffffffu));
  const QImage Original = Image;
  for (int Threshold : {0, 1, 100, 128, 254, 255}) {
    for (bool Invert : {false, true}) {
      QImage Once = Original;
      TImageProcessor::BinarizeWithGlobalThreshold(Once, uint8_t(Threshold), Invert);
      for (int Y = 0; Y < Once.height(); ++Y)
        for (int X = 0; X < Once.width(); ++X) {
          const QRgb C = Original.pixel(X, Y);
          const uint8_t Level = ((PlainGrey(qRed(C), qGreen(C), qBlue(C)) > Threshold) != Invert) ? 255 : 0;
          ASSERT_EQ(BGR(Once, X, Y), (std::array<uint8_t, 3>{Level, Level, Level})) << X << "," << Y;
        }
      if (!Invert) {
        QImage Twice = Once;
        TImageProcessor::BinarizeWithGlobalThreshold(Twice, uint8_t(Threshold), false);
        EXPECT_EQ(Twice, Once) << Threshold;
      }
    }
  }
}

TEST(ImageProcessor, AMissingBitmapIsLeftAlone) {
  QImage Null;
  TImageProcessor::ConvertToGrayscale(Null);
  TImageProcessor::BinarizeWithGlobalThreshold(Null, 128, false);
  EXPECT_TRUE(Null.isNull());
}

TEST(ImageProcessor, OtherFormatsComeOutAs32Bit) {
  for (QImage::Format Format : {QImage::Format_BGR888, QImage::Format_RGB888, QImage::Format_Grayscale8,
                                QImage::Format_Mono, QImage::Format_ARGB32}) {
    QImage Image = OnePixel(qRgb(200, 200, 200), Format);
    TImageProcessor::BinarizeWithGlobalThreshold(Image, 150, false);
    EXPECT_EQ(Image.format(), QImage::Format_RGB32) << Format;
    EXPECT_EQ(BGR(Image, 0, 0), (std::array<uint8_t, 3>{255, 255, 255})) << Format;
  }
}

} // namespace
