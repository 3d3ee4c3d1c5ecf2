#include "imaging/RecognitionGrey.h"

#include "core/ReusableMemory.h"

#include <array>
#include <cstdint>

namespace {

// The products of each channel with Leptonica's weights, as single-precision
// floats: summed in the library's order they give its sum to the last bit.
struct TLuminanceTables {
  std::array<float, 256> Red, Green, Blue;
};

const TLuminanceTables& LuminanceTables() {
  static const TLuminanceTables Tables = [] {
    TLuminanceTables T;
    for (int V = 0; V < 256; ++V) {
      T.Red[V] = 0.3f * float(V);
      T.Green[V] = 0.5f * float(V);
      T.Blue[V] = 0.2f * float(V);
    }
    return T;
  }();
  return Tables;
}

} // namespace

QImage RecognitionGrey(const QImage& Picture) {
  if (Picture.isNull())
    return {};
  if (Picture.format() == QImage::Format_Grayscale8)
    return Picture;
  // RGB32 and ARGB32 words are 0xAARRGGBB; every other format goes through
  // RGBX, which keeps red, green and blue as they are and drops alpha.
  const bool Rgb32 = Picture.format() == QImage::Format_RGB32 || Picture.format() == QImage::Format_ARGB32;
  const QImage Source = Rgb32 ? Picture : Picture.convertToFormat(QImage::Format_RGBX8888);
  // A screen's grey picture is megabytes, made on every read: its block is
  // reused from the last one with its pages in place.
  QImage Grey = ReusableMemory::NewImage(Source.width(), Source.height(), QImage::Format_Grayscale8);
  if (Source.isNull() || Grey.isNull())
    return {};
  const TLuminanceTables& T = LuminanceTables();
  const int Width = Source.width();
  auto Level = [&T](int Red, int Green, int Blue) {
    const float Sum = T.Red[Red] + T.Green[Green] + T.Blue[Blue];
    return uchar(int(double(Sum) + 0.5));
  };
  for (int Y = 0; Y < Source.height(); ++Y) {
    uchar* Out = Grey.scanLine(Y);
    if (Rgb32) {
      const auto* In = reinterpret_cast<const QRgb*>(Source.constScanLine(Y));
      for (int X = 0; X < Width; ++X)
        Out[X] = Level(qRed(In[X]), qGreen(In[X]), qBlue(In[X]));
    } else {
      const uchar* In = Source.constScanLine(Y);
      for (int X = 0; X < Width; ++X, In += 4)
        Out[X] = Level(In[0], In[1], In[2]);
    }
  }
  return Grey;
}
