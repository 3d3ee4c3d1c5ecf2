#include "core/ReusableMemory.h"

#include <malloc.h>

#include <cstdlib>
#include <mutex>
#include <vector>

namespace ReusableMemory {

namespace {

// Larger pictures are QImage's own business.
constexpr qsizetype LargestImageBytes = qsizetype{1} << 30;

struct TKeptBlock {
  void* Block;
  size_t Bytes; // usable size
};

struct TPool {
  std::mutex Guard;
  std::vector<TKeptBlock> Kept;
  size_t Total = 0;
};

// Never destroyed: libraries unloaded at exit still give their pictures
// back, possibly after this file's objects would have been destroyed.
TPool& Pool() {
  static TPool* const Instance = new TPool;
  return *Instance;
}

} // namespace

void* Take(size_t Bytes) {
  if (Bytes >= MinKeptBytes) {
    TPool& P = Pool();
    std::lock_guard Lock(P.Guard);
    // The smallest kept block that fits and wastes under an eighth of
    // itself: the same picture size asks for the same bytes every time.
    auto Best = P.Kept.end();
    for (auto It = P.Kept.begin(); It != P.Kept.end(); ++It)
      if (It->Bytes >= Bytes && It->Bytes - Bytes <= It->Bytes / 8 && (Best == P.Kept.end() || It->Bytes < Best->Bytes))
        Best = It;
    if (Best != P.Kept.end()) {
      void* Block = Best->Block;
      P.Total -= Best->Bytes;
      P.Kept.erase(Best);
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
    TPool& P = Pool();
    std::lock_guard Lock(P.Guard);
    if (P.Total + Bytes <= MaxKeptBytes) {
      P.Kept.push_back({Block, Bytes});
      P.Total += Bytes;
      return;
    }
  }
  std::free(Block);
}

void Release() {
  std::vector<TKeptBlock> Freed;
  {
    TPool& P = Pool();
    std::lock_guard Lock(P.Guard);
    Freed.swap(P.Kept);
    P.Total = 0;
  }
  for (const TKeptBlock& Block : Freed)
    std::free(Block.Block);
}

size_t KeptBytes() {
  TPool& P = Pool();
  std::lock_guard Lock(P.Guard);
  return P.Total;
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
