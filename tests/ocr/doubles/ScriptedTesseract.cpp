// The entry points that the engine calls, played from a script. Defined with
// the prototypes of the installed C API header, so a signature the binding
// expects differently fails to compile here.
#include "FakeTesseract.h"

#include <leptonica/allheaders.h>
#include <tesseract/capi.h>

#include <cstring>

namespace {

TFakeTesseract Fake;
size_t Position = 0;
// Any addresses will do: the engine only passes the handles back.
int APIObject, IteratorObject;

TessBaseAPI* API() { return reinterpret_cast<TessBaseAPI*>(&APIObject); }
TessResultIterator* Iterator() { return reinterpret_cast<TessResultIterator*>(&IteratorObject); }

const TFakeTesseract::TElement* Current() {
  return Position < Fake.Elements.size() ? &Fake.Elements[Position] : nullptr;
}

} // namespace

extern "C" {

TFakeTesseract* KorvexFakeTesseract() { return &Fake; }

void TessDeleteText(const char* text) {
  Fake.TextsOutstanding.erase(text);
  Fake.TextsReleased.push_back(text);
  delete[] text;
}

TessBaseAPI* TessBaseAPICreate() {
  Fake.Calls.push_back("Create");
  return API();
}

void TessBaseAPIEnd(TessBaseAPI* handle) {
  if (handle == API())
    Fake.Calls.push_back("End");
}

void TessBaseAPIDelete(TessBaseAPI* handle) {
  if (handle == API())
    Fake.Calls.push_back("Delete");
}

int TessBaseAPIInit3(TessBaseAPI*, const char* datapath, const char* language) {
  Fake.Calls.push_back("Init3");
  Fake.Init3DataPath = datapath ? datapath : "(null)";
  Fake.Init3Language = language ? language : "(null)";
  return Fake.Init3Result;
}

void TessBaseAPISetImage(TessBaseAPI*, const unsigned char* imagedata, int width, int height, int bytes_per_pixel,
                         int bytes_per_line) {
  Fake.Calls.push_back("SetImage");
  Fake.Image = {width, height, bytes_per_pixel, bytes_per_line,
                std::vector<unsigned char>(imagedata, imagedata + static_cast<size_t>(height) * bytes_per_line)};
}

// Recorded as the bytes the library reads from a 32-bit image: red, green,
// blue and the fourth byte of every word, from the top.
void TessBaseAPISetImage2(TessBaseAPI*, struct Pix* pix) {
  Fake.Calls.push_back("SetImage");
  // Bytes as the raw SetImage takes them: one a pixel for 8-bit images,
  // R, G, B, A for 32-bit ones. Leptonica keeps the first pixel of each
  // word in its top byte.
  const int Width = pixGetWidth(pix), Height = pixGetHeight(pix), WordsPerLine = pixGetWpl(pix);
  const int BytesPerPixel = pixGetDepth(pix) / 8;
  const l_uint32* Words = pixGetData(pix);
  std::vector<unsigned char> Bytes;
  for (int Y = 0; Y < Height; ++Y) {
    const l_uint32* Line = Words + static_cast<size_t>(Y) * WordsPerLine;
    for (int X = 0; X < Width; ++X) {
      if (BytesPerPixel == 1)
        Bytes.push_back(static_cast<unsigned char>(Line[X / 4] >> (24 - 8 * (X % 4))));
      else
        for (int Shift : {24, 16, 8, 0})
          Bytes.push_back(static_cast<unsigned char>(Line[X] >> Shift));
    }
  }
  Fake.Image = {Width, Height, BytesPerPixel, BytesPerPixel * Width, std::move(Bytes)};
}

int TessBaseAPIRecognize(TessBaseAPI*, ETEXT_DESC* monitor) {
  Fake.Calls.push_back("Recognize");
  Fake.MonitorLetsRecognitionRun = monitor && monitor->cancel && monitor->progress_callback &&
                                   !monitor->cancel(monitor->cancel_this, 1) && monitor->progress_callback2 &&
                                   monitor->progress_callback2(monitor, 0, 10, 10, 0);
  return Fake.RecognizeResult;
}

TessResultIterator* TessBaseAPIGetIterator(TessBaseAPI*) {
  Fake.Calls.push_back("GetIterator");
  Position = 0;
  return Fake.NoIterator ? nullptr : Iterator();
}

void TessResultIteratorDelete(TessResultIterator* handle) {
  if (handle == Iterator())
    Fake.Calls.push_back("IteratorDelete");
}

TessPageIterator* TessResultIteratorGetPageIterator(TessResultIterator* handle) {
  return reinterpret_cast<TessPageIterator*>(handle);
}

BOOL TessPageIteratorBoundingBox(const TessPageIterator*, TessPageIteratorLevel level, int* left, int* top, int* right,
                                 int* bottom) {
  Fake.Levels.push_back(level);
  const TFakeTesseract::TElement* Element = Current();
  // Like the library, a missing box may leave anything in the outputs.
  if (!Element || !Element->HasBox) {
    *left = *top = *right = *bottom = 999;
    return FALSE;
  }
  *left = Element->Left;
  *top = Element->Top;
  *right = Element->Right;
  *bottom = Element->Bottom;
  return TRUE;
}

char* TessResultIteratorGetUTF8Text(const TessResultIterator*, TessPageIteratorLevel level) {
  Fake.Levels.push_back(level);
  const TFakeTesseract::TElement* Element = Current();
  if (!Element || !Element->Text)
    return nullptr;
  char* Text = new char[Element->Text->size() + 1];
  std::memcpy(Text, Element->Text->c_str(), Element->Text->size() + 1);
  Fake.TextsOutstanding.insert(Text);
  return Text;
}

float TessResultIteratorConfidence(const TessResultIterator*, TessPageIteratorLevel level) {
  Fake.Levels.push_back(level);
  const TFakeTesseract::TElement* Element = Current();
  return Element ? Element->Confidence : 0.0f;
}

BOOL TessResultIteratorNext(TessResultIterator*, TessPageIteratorLevel level) {
  Fake.Levels.push_back(level);
  if (Position + 1 >= Fake.Elements.size())
    return FALSE;
  ++Position;
  return TRUE;
}

} // extern "C"
