#pragma once

#include <QImage>

// The grey picture Tesseract reads text from: Leptonica's luminance,
// 0.3 R + 0.5 G + 0.2 B in single precision, rounded half up, which is what
// the library computes itself from a colour picture before it recognises
// the lines. Handing it this picture instead of the colour one gives the
// same line images for recognition and spares the library its own
// conversion and its thresholding of three colour channels (a fifth of a
// full-screen read), at a quarter of the memory.
//
// Format_Grayscale8; a null picture for a null one. Grey pixels (R = G = B)
// keep their level.
QImage RecognitionGrey(const QImage& Picture);
