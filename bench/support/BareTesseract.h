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

  std::vector<TBareLine> Recognize(const QImage& Rgba) {
    std::vector<TBareLine> Lines;
    tesseractocr::capi::TessBaseAPISetImage(FAPI, Rgba.constBits(), Rgba.width(), Rgba.height(), 4,
                                            static_cast<int>(Rgba.bytesPerLine()));
    if (tesseractocr::capi::TessBaseAPIRecognize(FAPI, nullptr) != 0)
      return Lines;
    TessResultIterator* Iterator = tesseractocr::capi::TessBaseAPIGetIterator(FAPI);
    if (!Iterator)
      return Lines;
    const auto Level = tesseract::RIL_TEXTLINE;
    do {
      TBareLine Line{};
      tesseractocr::capi::TessPageIteratorBoundingBox(tesseractocr::capi::TessResultIteratorGetPageIterator(Iterator),
                                                      Level, &Line.Left, &Line.Top, &Line.Right, &Line.Bottom);
      if (char* Text = tesseractocr::capi::TessResultIteratorGetUTF8Text(Iterator, Level)) {
        Line.Text = Text;
        tesseractocr::capi::TessDeleteText(Text);
      }
      Line.Confidence = tesseractocr::capi::TessResultIteratorConfidence(Iterator, Level);
      if (Line.Confidence > 10.0f)
        Lines.push_back(std::move(Line));
    } while (tesseractocr::capi::TessResultIteratorNext(Iterator, Level));
    tesseractocr::capi::TessResultIteratorDelete(Iterator);
    return Lines;
  }

private:
  TessBaseAPI* FAPI;
};
