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
  // Whether this is the capture itself, untouched.
  bool IsCapture() const;
};

// The pictures worth recognising for a capture of screen text. A plain
// capture (flat background, strong contrast, text large enough) comes back
// alone and untouched. Otherwise: first the best guess ("contrast": the
// background, estimated locally, taken away, the polarity and contrast of
// every region decided on its own), then the capture itself ("original"),
// then the alternatives for coloured text on busy backgrounds ("ink colour":
// the distance from the text's colour) and for shadowed or outlined text
// ("bright side", "dark side", both of them again with their strokes drawn
// bolder where an outline ate into them, and "both sides"). Shadowed or
// outlined text has its own best guess ahead of the rest: "unshadowed" when
// a drop shadow is found, else "outlined", the letters taken from within
// their outline. The capture follows it, then the unshadowed letters drawn
// a pixel bolder ("unshadowed, bolder"), then "contrast". Every picture but the
// original shows the text dark on white, with small text enlarged by a whole
// factor so that boxes map back exactly; text drawn without anti-aliasing is
// enlarged at most twice and softened. Null or empty captures give no
// picture at all; captures beyond a 4K screen's size come back alone and
// untouched.
std::vector<TEnhancedPicture> EnhanceForRecognition(const QImage& Capture);
