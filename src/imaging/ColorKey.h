#pragma once

#include <QImage>
#include <QRegion>

// The part of Image whose pixels are not the key colour (alpha ignored), as
// a region of bands of rectangles, ready to become a window shape.
QRegion ColorKeyVisibleRegion(const QImage& Image, QRgb Key);
