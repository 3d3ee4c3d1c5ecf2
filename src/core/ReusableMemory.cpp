#include "core/ReusableMemory.h"

#include <malloc.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace ReusableMemory {

namespace {

struct TKeptBlock {
  void* Block;
  size_t Bytes; // usable size
};

// Larger pictures are QImage's own business.
constexpr qsizetype LargestImageBytes = qsizetype{1} << 30;

std::mutex Guard;
std::vector<TKeptBlock> Kept;
size_t Total = 0;

} // namespace

void* Take(size_t Bytes) {
  if (Bytes >= MinKeptBytes) {
    std::lock_guard Lock(Guard);
    // The smallest kept block that fits and wastes under an eighth of
    // itself: the same picture size asks for the same bytes every time.
    auto Best = Kept.end();
    for (auto It = Kept.begin(); It != Kept.end(); ++It)
      if (It->Bytes >= Bytes && It->Bytes - Bytes <= It->Bytes / 8 && (Best == Kept.end() || It->Bytes < Best->Bytes))
        Best = It;
    if (Best != Kept.end()) {
      void* Block = Best->Block;
      Total -= Best->Bytes;
      Kept.erase(Best);
      return Block;
    }
  }
  return std::malloc(Bytes);
}

void GiveBack(void* Block) {
  if (!Block)
    return;
  const size_t Bytes = malloc_usable_size(Block);
  if (Bytes >= MinKeptBytes) {
    std::lock_guard Lock(Guard);
    if (Total + Bytes <= MaxKeptBytes) {
      Kept.push_back({Block, Bytes});
      Total += Bytes;
      return;
    }
  }
  std::free(Block);
}

void Release() {
  std::vector<TKeptBlock> Freed;
  {
    std::lock_guard Lock(Guard);
    Freed.swap(Kept);
    Total = 0;
  }
  for (const TKeptBlock& Block : Freed)
    std::free(Block.Block);
}

size_t KeptBytes() {
  std::lock_guard Lock(Guard);
  return Total;
}

QImage NewImage(int Width, int Height, QImage::Format Format) {
  if (Width <= 0 || Height <= 0)
    return QImage();
  // Lines padded to 4 bytes, as QImage's own buffers are.
  const qsizetype BytesPerLine = (qsizetype(Width) * QImage::toPixelFormat(Format).bitsPerPixel() + 31) / 32 * 4;
  // Sizes no screen has are left to QImage, which refuses what it cannot hold.
  if (BytesPerLine > LargestImageBytes / Height)
    return QImage(Width, Height, Format);
  void* Block = Take(size_t(BytesPerLine) * size_t(Height));
  if (!Block)
    return QImage();
  return QImage(static_cast<uchar*>(Block), Width, Height, BytesPerLine, Format, &GiveBack, Block);
}

} // namespace ReusableMemory
