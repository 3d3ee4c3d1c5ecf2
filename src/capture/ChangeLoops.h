#pragma once

#include <cstdint>
#include <cstdlib>

// The pixel loops of the change test, shared by ScreenCapture.cpp and the
// AVX2 versions in ScreenCaptureAVX2.cpp, which finish their rows with the
// plain loops.

// A pixel has changed when its grey level moved by more than this.
constexpr int ChangedGreyDifference = 25;

// No colour byte of the two runs differs by more than this, so no pixel of
// them can have changed: the grey levels before rounding then differ by at
// most 24 (the weights sum to 1), and rounding adds less than 1, which stays
// within the 25 a changed pixel must exceed.
constexpr int QuietByteDifference = 24;

struct TPlainChangeLoops {
  // Drops the fourth byte of each of Count 32-bit pixels.
  static void RGB32RowToBGR888(const uint8_t* In, uint8_t* Out, int Count) {
    for (int I = 0; I < Count; ++I) {
      Out[3 * I] = In[4 * I];
      Out[3 * I + 1] = In[4 * I + 1];
      Out[3 * I + 2] = In[4 * I + 2];
    }
  }

  // How many of the Count grey levels differ by more than ChangedGreyDifference.
  static int CountChanged(const uint8_t* A, const uint8_t* B, int Count) {
    int Changed = 0;
    for (int I = 0; I < Count; ++I)
      Changed += (A[I] > B[I] ? A[I] - B[I] : B[I] - A[I]) > ChangedGreyDifference;
    return Changed;
  }

  // Whether no byte differs by more than QuietByteDifference.
  static bool Quiet(const uint8_t* A, const uint8_t* B, int Bytes) {
    for (int I = 0; I < Bytes; ++I)
      if (std::abs(int(A[I]) - int(B[I])) > QuietByteDifference)
        return false;
    return true;
  }
};

// The same for CPUs with AVX2, defined in ScreenCaptureAVX2.cpp: CMake builds
// that file, and sets KORVEX_AVX2, only for x86-64, and these run only where
// PixelSimdAvailable(). The definitions carry the avx2 target attribute, so
// they are never inlined into code built for any x86-64 CPU.
struct TAvx2ChangeLoops {
  static void RGB32RowToBGR888(const uint8_t* In, uint8_t* Out, int Count);
  static int CountChanged(const uint8_t* A, const uint8_t* B, int Count);
  static bool Quiet(const uint8_t* A, const uint8_t* B, int Bytes);
};
