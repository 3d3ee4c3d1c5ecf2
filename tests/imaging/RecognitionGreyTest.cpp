// The grey picture handed to Tesseract must be exactly the one the library
// makes itself from colour, or recognition would read other line images.
#include "imaging/RecognitionGrey.h"

#include <leptonica/allheaders.h>

#include <gtest/gtest.h>

#include <memory>

namespace {

struct TPixDeleter {
  void operator()(Pix* P) const { pixDestroy(&P); }
};
using TPixPtr = std::unique_ptr<Pix, TPixDeleter>;

// Every 24-bit colour once: 4096 x 4096 pixels, red and green from the
// column, blue from the row.
QImage EveryColour() {
  QImage Picture(4096, 4096, QImage::Format_RGB32);
  for (int Y = 0; Y < Picture.height(); ++Y) {
    auto* Line = reinterpret_cast<QRgb*>(Picture.scanLine(Y));
    for (int X = 0; X < Picture.width(); ++X)
      Line[X] = qRgb(X & 255, (X >> 4 & 0xf0) | (Y >> 8), Y & 255);
  }
  return Picture;
}

// What Tesseract does with a colour picture before it reads its lines:
// Leptonica's conversion of the 32-bit image to 8 bits.
TPixPtr LibraryGrey(const QImage& Picture) {
  TPixPtr Colour(pixCreate(Picture.width(), Picture.height(), 32));
  for (int Y = 0; Y < Picture.height(); ++Y) {
    const auto* Line = reinterpret_cast<const QRgb*>(Picture.constScanLine(Y));
    for (int X = 0; X < Picture.width(); ++X)
      pixSetRGBPixel(Colour.get(), X, Y, qRed(Line[X]), qGreen(Line[X]), qBlue(Line[X]));
  }
  return TPixPtr(pixConvertTo8(Colour.get(), 0));
}

} // namespace

TEST(RecognitionGrey, EveryColourHasTheLibrarysOwnGreyLevel) {
  const QImage Colours = EveryColour();
  const QImage Ours = RecognitionGrey(Colours);
  const TPixPtr Theirs = LibraryGrey(Colours);
  ASSERT_EQ(Ours.format(), QImage::Format_Grayscale8);
  ASSERT_TRUE(Theirs);
  int Different = 0;
  for (int Y = 0; Y < Ours.height(); ++Y)
    for (int X = 0; X < Ours.width(); ++X) {
      l_uint32 Level = 0;
      pixGetPixel(Theirs.get(), X, Y, &Level);
      Different += Ours.constScanLine(Y)[X] != Level;
    }
  EXPECT_EQ(Different, 0);
}

// Other formats give the same levels; grey pictures keep theirs.
TEST(RecognitionGrey, EveryFormatGivesTheSameLevels) {
  QImage Sample = EveryColour().copy(0, 0, 37, 4096); // odd width: no padding assumed
  const QImage Expected = RecognitionGrey(Sample);
  for (const QImage::Format Format : {QImage::Format_ARGB32, QImage::Format_RGBX8888, QImage::Format_RGBA8888,
                                      QImage::Format_RGB888, QImage::Format_ARGB32_Premultiplied}) {
    SCOPED_TRACE(Format);
    EXPECT_EQ(RecognitionGrey(Sample.convertToFormat(Format)), Expected);
  }

  QImage Greys(256, 1, QImage::Format_RGB32);
  QImage Levels(256, 1, QImage::Format_Grayscale8);
  for (int V = 0; V < 256; ++V) {
    Greys.setPixel(V, 0, qRgb(V, V, V));
    Levels.scanLine(0)[V] = uchar(V);
  }
  EXPECT_EQ(RecognitionGrey(Greys), Levels);
  EXPECT_EQ(RecognitionGrey(Levels), Levels);
  EXPECT_TRUE(RecognitionGrey(QImage()).isNull());
}
