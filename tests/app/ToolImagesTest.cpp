#include "app/ToolImages.h"

#include <QImage>
#include <QPixmap>

#include <gtest/gtest.h>

namespace {

int OpaquePixels(const QPixmap& Picture) {
  const QImage Image = Picture.toImage().convertToFormat(QImage::Format_ARGB32);
  int Count = 0;
  for (int Y = 0; Y < Image.height(); ++Y)
    for (int X = 0; X < Image.width(); ++X)
      Count += qAlpha(Image.pixel(X, Y)) > 128;
  return Count;
}

// The pictures are drawn when first shown; every one of them, enabled or
// disabled, at the tool buttons' size and smaller.
TEST(ToolImages, EveryPictureIsDrawnWhenShown) {
  for (int Index = 0; Index < 6; ++Index)
    for (QIcon::Mode Mode : {QIcon::Normal, QIcon::Disabled})
      for (int Size : {ToolImageSize, 16}) {
        const QPixmap Picture = ToolImage(Index).pixmap(QSize(Size, Size), Mode);
        EXPECT_EQ(Picture.size(), QSize(Size, Size)) << Index;
        EXPECT_GT(OpaquePixels(Picture), Size * Size / 20) << Index << " mode " << Mode << " size " << Size;
      }
}

} // namespace
