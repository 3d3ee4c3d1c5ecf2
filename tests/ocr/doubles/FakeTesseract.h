#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

// The script and the record of the scripted Tesseract double
// (libtesseract.so.5 in the fake-tesseract folder). A test reaches it through
// the double's KorvexFakeTesseract() once the binding has loaded it.
struct TFakeTesseract {
  struct TElement {
    bool HasBox = true;
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    std::optional<std::string> Text; // no value: the library gives a null text
    float Confidence = 0;
  };

  // Script.
  int Init3Result = 0;
  int RecognizeResult = 0;
  bool NoIterator = false;
  std::vector<TElement> Elements;

  // Record.
  std::vector<std::string> Calls;
  std::string Init3DataPath, Init3Language;
  struct TImage {
    int Width = 0, Height = 0, BytesPerPixel = 0, BytesPerLine = 0;
    std::vector<unsigned char> Bytes;
  } Image; // the last image given to TessBaseAPISetImage, copied
  std::vector<int> Levels;
  bool MonitorLetsRecognitionRun = false;
  std::set<const char*> TextsOutstanding; // handed out, not yet released
  std::vector<const char*> TextsReleased;

  void Reset() { *this = TFakeTesseract(); }
};

extern "C" TFakeTesseract* KorvexFakeTesseract();
