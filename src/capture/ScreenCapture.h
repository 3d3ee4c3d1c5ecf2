#pragma once

#include "core/GlobalTypes.h"

#include <QImage>

// True when CurrentBitmap differs enough from PreviousBitmap to be worth
// recognising again: more than (W x H) x Threshold pixels whose grey levels
// differ by more than 25. A null PreviousBitmap or bitmaps of different sizes
// count as no change. Both bitmaps are left in Format_BGR888 (bytes B, G, R),
// except when the sizes differ, where both are left untouched.
bool IsChangedScreen(QImage& PreviousBitmap, QImage& CurrentBitmap, float Threshold);

// True when both rectangles have the same top-left corner and the same size.
bool IsSameRect(const TRect& R1, const TRect& R2);
