#include "capture/ScreenCapture.h"

#include "imaging/GreyLevel.h"

#include <immintrin.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int ChangedGreyDifference = 25;

void RGB32RowToBGR888Scalar(const uint8_t* In, uint8_t* Out, int Count) {
  for (int I = 0; I < Count; ++I) {
    Out[3 * I] = In[4 * I];
    Out[3 * I + 1] = In[4 * I + 1];
    Out[3 * I + 2] = In[4 * I + 2];
  }
}

__attribute__((target("avx2"))) void RGB32RowToBGR888Avx2(const uint8_t* In, uint8_t* Out, int Count) {
  // Drop every fourth byte within each 128-bit lane, then close the gap
  // between the lanes: 8 pixels in, 24 bytes out.
  const __m256i Compact = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0, 1, 2, 4, 5, 6, 8,
                                           9, 10, 12, 13, 14, -1, -1, -1, -1);
  const __m256i Join = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7);
  int I = 0;
  for (; I + 8 <= Count; I += 8) {
    const __m256i V = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(In + 4 * size_t(I)));
    const __m256i Packed = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(V, Compact), Join);
    uint8_t* O = Out + 3 * size_t(I);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(O), _mm256_castsi256_si128(Packed));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(O + 16), _mm256_extracti128_si256(Packed, 1));
  }
  RGB32RowToBGR888Scalar(In + 4 * size_t(I), Out + 3 * size_t(I), Count - I);
}

int CountChangedScalar(const uint8_t* A, const uint8_t* B, int Count) {
  int Changed = 0;
  for (int I = 0; I < Count; ++I)
    Changed += (A[I] > B[I] ? A[I] - B[I] : B[I] - A[I]) > ChangedGreyDifference;
  return Changed;
}

__attribute__((target("avx2"))) int CountChangedAvx2(const uint8_t* A, const uint8_t* B, int Count) {
  const __m256i Limit = _mm256_set1_epi8(char(ChangedGreyDifference));
  const __m256i Zero = _mm256_setzero_si256();
  int Changed = 0;
  int I = 0;
  for (; I + 32 <= Count; I += 32) {
    const __m256i VA = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(A + I));
    const __m256i VB = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(B + I));
    const __m256i Diff = _mm256_or_si256(_mm256_subs_epu8(VA, VB), _mm256_subs_epu8(VB, VA));
    // Diff - 25 saturates to zero exactly for the unchanged pixels.
    const __m256i Unchanged = _mm256_cmpeq_epi8(_mm256_subs_epu8(Diff, Limit), Zero);
    Changed += 32 - __builtin_popcount(uint32_t(_mm256_movemask_epi8(Unchanged)));
  }
  return Changed + CountChangedScalar(A + I, B + I, Count - I);
}

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
  const uint8_t* Row(int Y, bool Simd) {
    uint8_t* Out = FIn + Y * FOutStride;
    if (FCompact) {
      // Writing row Y never reaches the unread rows below it: Y * 24-bit
      // stride + 3 W < (Y + 1) * 32-bit stride.
      const uint8_t* In = FIn + Y * FInStride;
      if (Simd)
        RGB32RowToBGR888Avx2(In, Out, FWidth);
      else
        RGB32RowToBGR888Scalar(In, Out, FWidth);
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

// No colour byte of the two runs differs by more than this, so no pixel of
// them can have changed: the grey levels before rounding then differ by at
// most 24 (the weights sum to 1), and rounding adds less than 1, which stays
// within the 25 a changed pixel must exceed.
constexpr int QuietByteDifference = 24;

bool QuietScalar(const uint8_t* A, const uint8_t* B, int Bytes) {
  for (int I = 0; I < Bytes; ++I)
    if (std::abs(int(A[I]) - int(B[I])) > QuietByteDifference)
      return false;
  return true;
}

__attribute__((target("avx2"))) bool QuietAvx2(const uint8_t* A, const uint8_t* B, int Bytes) {
  const __m256i Limit = _mm256_set1_epi8(char(QuietByteDifference));
  __m256i Over = _mm256_setzero_si256();
  int I = 0;
  for (; I + 32 <= Bytes; I += 32) {
    const __m256i VA = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(A + I));
    const __m256i VB = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(B + I));
    const __m256i Diff = _mm256_or_si256(_mm256_subs_epu8(VA, VB), _mm256_subs_epu8(VB, VA));
    Over = _mm256_or_si256(Over, _mm256_subs_epu8(Diff, Limit));
  }
  return _mm256_testz_si256(Over, Over) && QuietScalar(A + I, B + I, Bytes - I);
}

// Changed pixels of two 24-bit rows. Runs where no colour byte moved by more
// than QuietByteDifference (equal runs among them) are skipped without
// computing grey levels.
int64_t CountChangedRow(const uint8_t* A, const uint8_t* B, int Width, uint8_t* GreyA, uint8_t* GreyB, bool Simd) {
  constexpr int Chunk = 64;
  int64_t Changed = 0;
  int RunStart = -1;
  for (int X = 0; X <= Width; X += Chunk) {
    const int Count = std::min(Chunk, Width - X);
    const bool Quiet = Count <= 0 || (Simd ? QuietAvx2(A + 3 * X, B + 3 * X, 3 * Count)
                                           : QuietScalar(A + 3 * X, B + 3 * X, 3 * Count));
    if (!Quiet && RunStart < 0)
      RunStart = X;
    if ((Quiet || X + Chunk > Width) && RunStart >= 0) {
      const int RunEnd = Quiet ? X : Width;
      const int RunLength = RunEnd - RunStart;
      GreyLevels(A + 3 * RunStart, 3, RunLength, GreyA);
      GreyLevels(B + 3 * RunStart, 3, RunLength, GreyB);
      Changed += Simd ? CountChangedAvx2(GreyA, GreyB, RunLength) : CountChangedScalar(GreyA, GreyB, RunLength);
      RunStart = -1;
    }
  }
  return Changed;
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

  const bool Simd = PixelSimdAvailable();
  TRows Previous(PreviousBitmap);
  TRows Current(CurrentBitmap);
  std::vector<uint8_t> GreyPrevious(size_t(Width), 0);
  std::vector<uint8_t> GreyCurrent(size_t(Width), 0);
  int64_t Changed = 0;
  for (int Y = 0; Y < Height; ++Y) {
    const uint8_t* A = Previous.Row(Y, Simd);
    const uint8_t* B = Current.Row(Y, Simd);
    // Once the count is over the limit the answer is known; the remaining
    // rows are only converted.
    if (!(double(Changed) > Limit))
      Changed += CountChangedRow(A, B, Width, GreyPrevious.data(), GreyCurrent.data(), Simd);
  }
  return double(Changed) > Limit;
}

bool IsSameRect(const TRect& R1, const TRect& R2) {
  return R1.Left == R2.Left && R1.Top == R2.Top && R1.Width() == R2.Width() && R1.Height() == R2.Height();
}
