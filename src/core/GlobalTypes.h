#pragma once

#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

// A rectangle in pixels; Right and Bottom are exclusive.
struct TRect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;

  int32_t Width() const { return Right - Left; }
  int32_t Height() const { return Bottom - Top; }
  bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
  friend bool operator==(const TRect&, const TRect&) = default;
};

// The smallest rectangle holding both A and B.
inline TRect United(const TRect& A, const TRect& B) {
  return {std::min(A.Left, B.Left), std::min(A.Top, B.Top), std::max(A.Right, B.Right), std::max(A.Bottom, B.Bottom)};
}

// Font size estimate of a box: Ceil(0.7 x height), in double precision.
// Clamped to 32 bits: a box from a remote service may span any coordinates.
inline int32_t FontSizeForHeight(double Height) {
  return static_cast<int32_t>(std::clamp(std::ceil(Height * 0.7), double{INT32_MIN}, double{INT32_MAX}));
}

// One recognised box and its text: the record every engine produces and that
// grouping, translation and the overlay pass along. It sits here rather than
// beside the Tesseract engine so that code which never touches Tesseract does
// not depend on it.
struct TIteratorResult {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;
  QString Text;
  int32_t Count = 0;     // engine items joined into this record
  int32_t MaxLength = 0; // longest member text of a segment, in UTF-16 units
  int32_t FFontSize = 0;

  int32_t GetWidth() const { return Right - Left; }
  int32_t GetHeight() const { return Bottom - Top; }
  friend bool operator==(const TIteratorResult&, const TIteratorResult&) = default;
};

// One text item as the remote OCR service delivers it.
struct TOCRItem {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;
  QString Text;
  friend bool operator==(const TOCRItem&, const TOCRItem&) = default;
};

using TIteratorResultList = std::vector<TIteratorResult>;
using TOCRItemList = std::vector<TOCRItem>;

// A remote OCR item as a record: same box and text, font size from its height.
TIteratorResult IteratorResultFromOCRItem(const TOCRItem& Item);
