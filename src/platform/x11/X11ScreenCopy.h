#pragma once

#include "core/GlobalTypes.h"

#include <QImage>

#include <memory>

struct _XDisplay;

// Copies of the root window's pixels: MIT-SHM where the server offers it
// (the pixels arrive through a shared segment kept between calls), plain
// XGetImage otherwise. It uses an X connection of its own, so its shared
// segment can be detached cleanly whatever happens to the platform's one.
// KORVEX_NO_SHM=1 in the environment forces the plain path.
class TX11ScreenCopy {
public:
  // Fallback: the connection used for plain copies when no own connection
  // can be opened.
  explicit TX11ScreenCopy(_XDisplay* Fallback);
  ~TX11ScreenCopy();
  TX11ScreenCopy(const TX11ScreenCopy&) = delete;
  TX11ScreenCopy& operator=(const TX11ScreenCopy&) = delete;

  // Format_RGB32 copy of Rect; parts outside the screen are black.
  QImage Copy(const TRect& Rect);
  bool UsesShm() const;

private:
  struct TState;
  std::unique_ptr<TState> FState;
};
