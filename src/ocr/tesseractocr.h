#pragma once

// The Tesseract engine.
class TTesseractOCR5 {
public:
  virtual ~TTesseractOCR5() = default;
};
