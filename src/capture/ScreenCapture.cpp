#include "capture/ScreenCapture.h"

#include "capture/ChangeLoops.h"
#include "imaging/GreyLevel.h"

#include <algorithm>
#include <vector>

namespace {

// Rows of one bitmap on their way to Format_BGR888. An RGB32 capture is
// compacted to 24 bits inside its own buffer, row by row during the
// comparison, so each row is read from memory once and no second buffer has
// to be allocated (and faulted in) per timer tick; any other format goes
// through Qt first.
class TRows {
public:
  explicit TRows(QImage& Bitmap) {
    if (Bitmap.format() == QImage::Format_RGB32) {
      AdoptAs24Bit(Bitmap);
      return;
    }
    if (Bitmap.format() != QImage::Format_BGR888)
      Bitmap.convertTo(QImage::Format_BGR888);
    FIn = const_cast<uint8_t*>(Bitmap.constBits()); // read only: no conversion pending
    FInStride = FOutStride = Bitmap.bytesPerLine();
    FWidth = Bitmap.width();
  }

  // Row Y in 24 bits; compacts it first where needed. Rows are asked for in order.
  template <class TLoops> const uint8_t* Row(int Y) {
    uint8_t* Out = FIn + Y * FOutStride;
    if (FCompact) {
      // Writing row Y never reaches the unread rows below it: Y * 24-bit
      // stride + 3 W < (Y + 1) * 32-bit stride.
      const uint8_t* In = FIn + Y * FInStride;
      TLoops::RGB32RowToBGR888(In, Out, FWidth);
    }
    return Out;
  }

private:
  void AdoptAs24Bit(QImage& Bitmap) {
    // The RGB32 image stays alive as the owner of the buffer that the 24-bit
    // image now describes.
    auto* Owner = new QImage(std::move(Bitmap));
    FIn = Owner->bits(); // sole owner: no copy
    FInStride = Owner->bytesPerLine();
    FWidth = Owner->width();
    FOutStride = (3 * qsizetype(FWidth) + 3) & ~qsizetype(3);
    FCompact = true;
    Bitmap = QImage(
        FIn, FWidth, Owner->height(), FOutStride, QImage::Format_BGR888,
        [](void* Info) { delete static_cast<QImage*>(Info); }, Owner);
  }

  uint8_t* FIn = nullptr;
  qsizetype FInStride = 0;
  qsizetype FOutStride = 0;
  int FWidth = 0;
  bool FCompact = false;
};

// Changed pixels of two 24-bit rows. Runs where no colour byte moved by more
// than QuietByteDifference (equal runs among them) are skipped without
// computing grey levels.
template <class TLoops>
int64_t CountChangedRow(const uint8_t* A, const uint8_t* B, int Width, uint8_t* GreyA, uint8_t* GreyB) {
  constexpr int Chunk = 64;
  int64_t Changed = 0;
  int RunStart = -1;
  for (int X = 0; X <= Width; X += Chunk) {
    const int Count = std::min(Chunk, Width - X);
    const bool Quiet = Count <= 0 || TLoops::Quiet(A + 3 * X, B + 3 * X, 3 * Count);
    if (!Quiet && RunStart < 0)
      RunStart = X;
    if ((Quiet || X + Chunk > Width) && RunStart >= 0) {
      const int RunEnd = Quiet ? X : Width;
      const int RunLength = RunEnd - RunStart;
      GreyLevels(A + 3 * RunStart, 3, RunLength, GreyA);
      GreyLevels(B + 3 * RunStart, 3, RunLength, GreyB);
      Changed += TLoops::CountChanged(GreyA, GreyB, RunLength);
      RunStart = -1;
    }
  }
  return Changed;
}

// Whether more than Limit pixels changed between the two bitmaps, which are
// left in Format_BGR888.
template <class TLoops> bool ChangedOverLimit(QImage& PreviousBitmap, QImage& CurrentBitmap, double Limit) {
  const int Width = CurrentBitmap.width();
  const int Height = CurrentBitmap.height();
  TRows Previous(PreviousBitmap);
  TRows Current(CurrentBitmap);
  std::vector<uint8_t> GreyPrevious(size_t(Width), 0);
  std::vector<uint8_t> GreyCurrent(size_t(Width), 0);
  int64_t Changed = 0;
  for (int Y = 0; Y < Height; ++Y) {
    const uint8_t* A = Previous.Row<TLoops>(Y);
    const uint8_t* B = Current.Row<TLoops>(Y);
    // Once the count is over the limit the answer is known; the remaining
    // rows are only converted.
    if (!(double(Changed) > Limit))
      Changed += CountChangedRow<TLoops>(A, B, Width, GreyPrevious.data(), GreyCurrent.data());
  }
  return double(Changed) > Limit;
}

} // namespace

bool IsChangedScreen(QImage& PreviousBitmap, QImage& CurrentBitmap, float Threshold) {
  if (PreviousBitmap.isNull() || PreviousBitmap.size() != CurrentBitmap.size())
    return false;
  const int Width = CurrentBitmap.width();
  const int Height = CurrentBitmap.height();
  const double Limit = float(double(int64_t(Width) * Height) * double(Threshold));
  if (&PreviousBitmap == &CurrentBitmap) {
    PreviousBitmap.convertTo(QImage::Format_BGR888);
    return 0 > Limit;
  }

#if KORVEX_AVX2
  if (PixelSimdAvailable())
    return ChangedOverLimit<TAvx2ChangeLoops>(PreviousBitmap, CurrentBitmap, Limit);
#endif
  return ChangedOverLimit<TPlainChangeLoops>(PreviousBitmap, CurrentBitmap, Limit);
}

bool IsSameRect(const TRect& R1, const TRect& R2) {
  return R1.Left == R2.Left && R1.Top == R2.Top && R1.Width() == R2.Width() && R1.Height() == R2.Height();
}
