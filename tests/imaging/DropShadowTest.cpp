#include "imaging/DropShadow.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <optional>

using namespace textenhancer;

namespace {

// The sure ink of a line of bold text, as a mask.
TPlane<uint8_t> TextMask() {
  QImage Image(220, 40, QImage::Format_Grayscale8);
  Image.fill(0);
  QPainter Painter(&Image);
  QFont Font(QStringLiteral("DejaVu Sans"));
  Font.setPixelSize(18);
  Font.setBold(true);
  Painter.setFont(Font);
  Painter.setPen(Qt::white);
  Painter.drawText(10, 28, QStringLiteral("Shadow of the hills"));
  Painter.end();
  TPlane<uint8_t> Mask(Image.width(), Image.height());
  for (int Y = 0; Y < Image.height(); ++Y)
    for (int X = 0; X < Image.width(); ++X)
      Mask.At(X, Y) = Image.constScanLine(Y)[X] > 128;
  return Mask;
}

// Mask shifted by DX, DY, where Mask itself is not: what a shadow shows.
TPlane<uint8_t> Shade(const TPlane<uint8_t>& Mask, int DX, int DY) {
  TPlane<uint8_t> Out(Mask.Width, Mask.Height);
  for (int Y = 0; Y < Mask.Height; ++Y)
    for (int X = 0; X < Mask.Width; ++X) {
      const int BX = X - DX, BY = Y - DY;
      Out.At(X, Y) = !Mask.At(X, Y) && BX >= 0 && BY >= 0 && BX < Mask.Width && BY < Mask.Height && Mask.At(BX, BY);
    }
  return Out;
}

} // namespace

// The shadow's offset and side come out of the two sides' sure ink; an
// outline, which lies on every side of the letters alike, is no shadow.
TEST(DropShadow, TheOffsetOfAShadowIsFoundAndAnOutlineIsNone) {
  const TPlane<uint8_t> Letters = TextMask();
  struct TCase {
    int DX, DY;
  };
  for (const TCase Case : {TCase{1, 1}, TCase{2, 1}, TCase{0, 2}, TCase{-1, 2}}) {
    SCOPED_TRACE(testing::Message() << Case.DX << "," << Case.DY);
    const std::optional<TDropShadow> Bright = FindDropShadow(Letters, Shade(Letters, Case.DX, Case.DY));
    ASSERT_TRUE(Bright);
    EXPECT_EQ(Bright->DX, Case.DX);
    EXPECT_EQ(Bright->DY, Case.DY);
    EXPECT_EQ(Bright->TextSign, 1);
    // Dark letters with a light shadow: the sides change places.
    const std::optional<TDropShadow> Dark = FindDropShadow(Shade(Letters, Case.DX, Case.DY), Letters);
    ASSERT_TRUE(Dark);
    EXPECT_EQ(Dark->TextSign, -1);
  }

  TPlane<uint8_t> Outline(Letters.Width, Letters.Height);
  for (int DY = -1; DY <= 1; ++DY)
    for (int DX = -1; DX <= 1; ++DX) {
      const TPlane<uint8_t> Ring = Shade(Letters, DX, DY);
      for (size_t I = 0; I < Ring.Values.size(); ++I)
        Outline.Values[I] |= Ring.Values[I];
    }
  EXPECT_FALSE(FindDropShadow(Letters, Outline));
}
