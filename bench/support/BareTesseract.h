#pragma once

// The plain Tesseract C API sequence a program without Korvex would use, on
// the library Korvex loads at run time: raw pixels in, text lines with boxes
// and confidences out. The benchmarks set Korvex's paths beside it.

#include "ocr/tesseractocr.capi.h"

#include <QImage>
#include <QString>

#include <string>
#include <vector>

struct TBareLine {
  int Left, Top, Right, Bottom;
  std::string Text;
  float Confidence;
  bool StartsLine = false; // words only
};

// The plain C API sequence a program without Korvex would use: raw pixels
// in, text lines with boxes and confidences out.
class TBareTesseract {
public:
  TBareTesseract() : FAPI(tesseractocr::capi::TessBaseAPICreate()) {}
  ~TBareTesseract() {
    tesseractocr::capi::TessBaseAPIEnd(FAPI);
    tesseractocr::capi::TessBaseAPIDelete(FAPI);
  }
  bool Init(const QString& DataPath) {
    return tesseractocr::capi::TessBaseAPIInit3(FAPI, DataPath.toUtf8().constData(), "eng") == 0;
  }

  // Text lines, as Korvex's engine reads them.
  std::vector<TBareLine> Recognize(const QImage& Rgba) { return RecognizeAt(Rgba, tesseract::RIL_TEXTLINE); }

  // Word level, as the recognition service reads it: boxes, texts,
  // confidences and where each text line begins.
  std::vector<TBareLine> RecognizeWords(const QImage& Rgba) { return RecognizeAt(Rgba, tesseract::RIL_WORD); }

private:
  std::vector<TBareLine> RecognizeAt(const QImage& Rgba, TessPageIteratorLevel Level) {
    using namespace tesseractocr;
    std::vector<TBareLine> Found;
    capi::TessBaseAPISetImage(FAPI, Rgba.constBits(), Rgba.width(), Rgba.height(), 4,
                              static_cast<int>(Rgba.bytesPerLine()));
    if (capi::TessBaseAPIRecognize(FAPI, nullptr) != 0)
      return Found;
    TessResultIterator* Iterator = capi::TessBaseAPIGetIterator(FAPI);
    if (!Iterator)
      return Found;
    do {
      TBareLine Item{};
      TessPageIterator* Page = capi::TessResultIteratorGetPageIterator(Iterator);
      capi::TessPageIteratorBoundingBox(Page, Level, &Item.Left, &Item.Top, &Item.Right, &Item.Bottom);
      if (char* Text = capi::TessResultIteratorGetUTF8Text(Iterator, Level)) {
        Item.Text = Text;
        capi::TessDeleteText(Text);
      }
      Item.Confidence = capi::TessResultIteratorConfidence(Iterator, Level);
      if (Level == tesseract::RIL_WORD)
        Item.StartsLine = capi::TessPageIteratorIsAtBeginningOf(Page, tesseract::RIL_TEXTLINE);
      if (Item.Confidence > 10.0f)
        Found.push_back(std::move(Item));
    } while (capi::TessResultIteratorNext(Iterator, Level));
    capi::TessResultIteratorDelete(Iterator);
    return Found;
  }

  TessBaseAPI* FAPI;
};
