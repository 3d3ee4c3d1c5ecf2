#include "imaging/DropShadow.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <optional>

using namespace textenhancer;

namespace {

// The sure ink of a line of bold text, as a mask.
TPlane<uint8_t> TextMask(int Width = 220) {
  QImage Image(Width, 40, QImage::Format_Grayscale8);
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

// Mask with Other's pixels added.
TPlane<uint8_t> Joined(TPlane<uint8_t> Mask, const TPlane<uint8_t>& Other) {
  for (size_t I = 0; I < Mask.Values.size(); ++I)
    Mask.Values[I] |= Other.Values[I];
  return Mask;
}

// The pixels within Reach of Letters that Letters leaves free, those of the
// offsets Letters is shifted by joined: an outline, when they lie all around.
TPlane<uint8_t> Ring(const TPlane<uint8_t>& Letters, int Left, int Top, int Right, int Bottom) {
  TPlane<uint8_t> Out(Letters.Width, Letters.Height);
  for (int DY = Top; DY <= Bottom; ++DY)
    for (int DX = Left; DX <= Right; ++DX)
      Out = Joined(Out, Shade(Letters, DX, DY));
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

  EXPECT_FALSE(FindDropShadow(Letters, Ring(Letters, -1, -1, 1, 1)));
  // Nor is an outline that lies wider above and to the left, nor a shade
  // cast upwards: on screens, shadows fall downwards.
  EXPECT_FALSE(FindDropShadow(Letters, Ring(Letters, -2, -2, 1, 1)));
  EXPECT_FALSE(FindDropShadow(Letters, Shade(Letters, -1, -1)));
}

// Dark patches of a photo away from the letters outnumber the shadow's
// pixels; they say nothing of where it lies.
TEST(DropShadow, PatchesAwayFromTheLettersDoNotHideTheShadow) {
  // The letters end before x = 220; the photo's patches lie beyond 240.
  const TPlane<uint8_t> Letters = TextMask(440);
  TPlane<uint8_t> Patches(Letters.Width, Letters.Height);
  for (int Y = 0; Y < Letters.Height; ++Y)
    for (int X = 240; X < Letters.Width; ++X)
      Patches.At(X, Y) = (X / 6 + Y / 6) % 2;
  const TPlane<uint8_t> Dark = Joined(Shade(Letters, 1, 1), Patches);
  const std::optional<TDropShadow> Shadow = FindDropShadow(Letters, Dark);
  ASSERT_TRUE(Shadow);
  EXPECT_EQ(Shadow->DX, 1);
  EXPECT_EQ(Shadow->DY, 1);
  EXPECT_EQ(Shadow->TextSign, 1);
}
