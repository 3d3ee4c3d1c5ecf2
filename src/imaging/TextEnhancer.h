#pragma once

#include "core/GlobalTypes.h"

#include <QImage>

#include <vector>

// One picture to hand a recogniser in place of a capture, and the way back
// from its pixels to the capture's.
struct TEnhancedPicture {
  QImage Image;  // Format_RGB32, or the capture itself for the "original" method
  int Scale = 1; // picture pixels per capture pixel, along each axis
  const char* Method = "original";

  // The capture pixels under Box (picture pixels): each edge divided by
  // Scale, outwards, so the result covers exactly the capture pixels whose
  // enlarged copies Box touches.
  TRect ToCapture(const TRect& Box) const;
};

// The pictures worth recognising for a capture of screen text, best guess
// first. A plain capture (one flat background, strong contrast, text large
// enough) comes back alone and untouched. Otherwise each picture shows the
// text dark on white whatever its colours were: the background, estimated
// locally, is taken away, the polarity of every region of the capture is
// decided on its own, and small text is enlarged by a whole factor so that
// boxes map back exactly. Null or empty captures give no picture at all;
// captures beyond a 4K screen's size come back alone and untouched.
std::vector<TEnhancedPicture> EnhanceForRecognition(const QImage& Capture);
