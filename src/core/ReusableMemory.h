#pragma once

#include <QImage>

#include <cstddef>

// Large picture buffers kept for the next picture after use.
//
// A full-screen recognition allocates the same few megabyte-sized pictures
// every time: the screen copy, the library's own copies of it, its grey and
// black-and-white versions. Fresh from the C library each of them is new
// memory, and the processor takes a page fault for every 4 KiB the first
// time it is written: thousands per recognition, about a tenth of its time.
// Kept here instead, a buffer of the same size is handed out again with its
// pages still in place. What is kept is freed by Release(),
// which the application calls once translations pause, so memory stays
// claimed only while the user is working.
//
// Every block comes from malloc, so a block taken here may be freed with
// free() and any malloc'd block may be given back here. Thread-safe.
namespace ReusableMemory {

// Blocks smaller than this are never kept: the C library reuses those well.
inline constexpr size_t MinKeptBytes = size_t{1} << 20;
// At most this much is kept at once; a block that would go over is freed.
inline constexpr size_t MaxKeptBytes = size_t{48} << 20;

// A block of at least Bytes: a kept one of about that size, else a new one.
void* Take(size_t Bytes);
// Keeps Block for reuse when it is large and there is room, else frees it.
void GiveBack(void* Block);
// Frees every kept block.
void Release();
// The bytes kept right now.
size_t KeptBytes();

// A picture whose pixels live in a reusable block, returned to the pool when
// the last copy of the picture is gone. Null when memory is short.
QImage NewImage(int Width, int Height, QImage::Format Format);

} // namespace ReusableMemory
