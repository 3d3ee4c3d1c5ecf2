#include "ocr/tesseractocr.h"

#include "core/ReusableMemory.h"
#include "imaging/RecognitionGrey.h"
#include "ocr/TesseractLanguages.h"
#include "ocr/tesseractocr.capi.h"
#include "ocr/tesseractocr.leptonica.h"
#include "ocr/tesseractocr.utils.h"

#include <QImage>

#include <algorithm>
#include <mutex>
#include <numbers>
#include <stdexcept>

using namespace tesseractocr;

namespace {

struct TResultIteratorDeleter {
  void operator()(TessResultIterator* Iterator) const { capi::TessResultIteratorDelete(Iterator); }
};

struct TPixDeleter {
  void operator()(Pix* Picture) const {
    Pix* Owned = Picture;
    leptonica::pixDestroy(&Owned);
  }
};

constexpr qint64 MaxLibraryImageBytes = qint64{1} << 31;

bool NeverCancel(void*, int) { return false; }
bool CancelWhenSet(void* Flag, int) { return static_cast<const std::atomic<bool>*>(Flag)->load(); }
bool IgnoreProgress(int, int, int, int, int) { return true; }

} // namespace

void TTesseractOCR5::TAPIDeleter::operator()(tesseract::TessBaseAPI* API) const {
  capi::TessBaseAPIEnd(API);
  capi::TessBaseAPIDelete(API);
}

TTesseractOCR5::TTesseractOCR5(const QString& aDllPath) {
  {
    // Engines are made on more than one thread (the start-up load, the
    // recognition service's worker); the first loads the libraries and
    // binds their entry points, and every later one sees them bound.
    static std::mutex LoadingLibraries;
    std::lock_guard Lock(LoadingLibraries);
    if (!capi::hTesseractLib)
      capi::InitTesseractLib(aDllPath);
    if (!capi::hTesseractLib)
      throw std::runtime_error("Tesseract library is not loaded");
    // The libraries' pictures reuse the blocks of the last recognition (see
    // ReusableMemory.h), from before the first engine exists. Pictures made
    // before that came from malloc too and are freed alike.
    if (!leptonica::hLeptonicaLib && leptonica::InitLeptonicaLib(aDllPath))
      leptonica::setPixMemoryManager(&ReusableMemory::Take, &ReusableMemory::GiveBack);
    if (!leptonica::hLeptonicaLib)
      throw std::runtime_error("Leptonica library is not loaded");
  }
  FTessBaseAPI.reset(capi::TessBaseAPICreate());
}

TTesseractOCR5::~TTesseractOCR5() = default;

bool TTesseractOCR5::Initialize(const QString& ADataPath, const QString& ALanguage) {
  if (!FTessBaseAPI)
    return false;
  FDataPath = ADataPath;
  // The library takes a language name as part of a file path: only plain
  // names reach it.
  if (!IsPlainTesseractLanguage(ALanguage)) {
    FInitialized = false;
    return false;
  }
  FInitialized =
      capi::TessBaseAPIInit3(FTessBaseAPI.get(), ADataPath.toUtf8().constData(), ALanguage.toUtf8().constData()) == 0;
  return FInitialized;
}

bool TTesseractOCR5::SetImage(const QImage& ABitmap) {
  if (!FTessBaseAPI || !FInitialized || ABitmap.isNull())
    return false;
  // Pictures whose 32-bit image would reach 2 GiB are refused: Leptonica
  // cannot make such images and the library would crash on them.
  if (static_cast<qint64>(ABitmap.width()) * ABitmap.height() * 4 >= MaxLibraryImageBytes)
    return false;
  // The pixels go over as an 8-bit Leptonica image of the grey levels the
  // library would compute itself (see RecognitionGrey), made here in one
  // pass instead of the library's own copy, conversion and thresholding of
  // the colours.
  const QImage Grey = RecognitionGrey(ABitmap);
  if (Grey.isNull())
    return false;
  const std::unique_ptr<Pix, TPixDeleter> Picture(leptonica::pixCreateNoInit(Grey.width(), Grey.height(), 8));
  if (!Picture)
    return false;
  l_uint32* const Words = leptonica::pixGetData(Picture.get());
  const int WordsPerLine = leptonica::pixGetWpl(Picture.get());
  for (int Y = 0; Y < Grey.height(); ++Y) {
    l_uint32* Out = Words + static_cast<qsizetype>(Y) * WordsPerLine;
    const uchar* Line = Grey.constScanLine(Y);
    // Leptonica keeps four 8-bit pixels to a word, the first in the top byte.
    for (int X = 0; X < Grey.width(); X += 4) {
      l_uint32 Word = 0;
      for (int I = 0; I < 4; ++I)
        Word = (Word << 8) | (X + I < Grey.width() ? Line[X + I] : 0u);
      Out[X / 4] = Word;
    }
  }
  // The library takes a copy; this one goes at the end of the scope.
  capi::TessBaseAPISetImage2(FTessBaseAPI.get(), Picture.get());
  return true;
}

void TTesseractOCR5::Clear() {
  if (FTessBaseAPI)
    capi::TessBaseAPIClear(FTessBaseAPI.get());
}

bool TTesseractOCR5::Recognize(const std::atomic<bool>* Cancel) {
  if (!FTessBaseAPI)
    return false;
  ETEXT_DESC Monitor;
  Monitor.cancel = Cancel ? &CancelWhenSet : &NeverCancel;
  Monitor.cancel_this = const_cast<std::atomic<bool>*>(Cancel);
  Monitor.progress_callback = &IgnoreProgress;
  return capi::TessBaseAPIRecognize(FTessBaseAPI.get(), &Monitor) == 0 && !(Cancel && Cancel->load());
}

void TTesseractOCR5::Execute(TessPageIteratorLevel level, TIteratorResultList& List) {
  if (!Recognize(nullptr))
    return;
  const std::unique_ptr<TessResultIterator, TResultIteratorDeleter> Iterator(
      capi::TessBaseAPIGetIterator(FTessBaseAPI.get()));
  if (!Iterator)
    return;

  // Collected apart so that the caller's list only ever grows by a complete result.
  TIteratorResultList Found;
  do {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    const TessPageIterator* Page = capi::TessResultIteratorGetPageIterator(Iterator.get());
    if (!capi::TessPageIteratorBoundingBox(Page, level, &Left, &Top, &Right, &Bottom))
      Left = Top = Right = Bottom = 0;
    QString Text = PUTF8CharToString(capi::TessResultIteratorGetUTF8Text(Iterator.get(), level), true);
    const float Confidence = capi::TessResultIteratorConfidence(Iterator.get(), level);
    if (static_cast<double>(Confidence) > static_cast<double>(10.0f)) {
      TIteratorResult Record;
      Record.Left = Left;
      Record.Top = Top;
      Record.Right = Right;
      Record.Bottom = Bottom;
      Record.Text = std::move(Text);
      Record.Count = 1;
      Record.MaxLength = 0;
      Record.FFontSize = FontSizeForHeight(static_cast<double>(Bottom) - Top);
      Found.push_back(std::move(Record));
    }
  } while (capi::TessResultIteratorNext(Iterator.get(), level));
  List.insert(List.end(), std::make_move_iterator(Found.begin()), std::make_move_iterator(Found.end()));
}

bool TTesseractOCR5::ExecuteWords(TTesseractWords& Result, const std::atomic<bool>* Cancel) {
  if (!Recognize(Cancel))
    return false;
  const std::unique_ptr<TessResultIterator, TResultIteratorDeleter> Iterator(
      capi::TessBaseAPIGetIterator(FTessBaseAPI.get()));
  if (!Iterator)
    return true; // nothing recognised
  const auto Level = tesseract::RIL_WORD;
  TTesseractWords Found;
  do {
    TessPageIterator* Page = capi::TessResultIteratorGetPageIterator(Iterator.get());
    TTesseractWord Word;
    if (!capi::TessPageIteratorBoundingBox(Page, Level, &Word.Left, &Word.Top, &Word.Right, &Word.Bottom))
      continue; // an empty page has one element without a box
    Word.Text = PUTF8CharToString(capi::TessResultIteratorGetUTF8Text(Iterator.get(), Level), true);
    Word.Confidence = capi::TessResultIteratorConfidence(Iterator.get(), Level);
    Word.StartsLine = capi::TessPageIteratorIsAtBeginningOf(Page, tesseract::RIL_TEXTLINE);
    if (!Found.TextAngle) {
      TessOrientation Orientation{};
      TessWritingDirection Direction{};
      TessTextlineOrder Order{};
      float Deskew = 0;
      capi::TessPageIteratorOrientation(Page, &Orientation, &Direction, &Order, &Deskew);
      // The deskew angle turns the text back to level, anticlockwise, in radians.
      Found.TextAngle = static_cast<double>(Deskew) * 180.0 / std::numbers::pi;
    }
    Found.Words.push_back(std::move(Word));
  } while (capi::TessResultIteratorNext(Iterator.get(), Level));
  Result = std::move(Found);
  return true;
}

std::vector<TRecognizedWord> TTesseractOCR5::RecognizedWords() {
  std::vector<TRecognizedWord> Words;
  if (!FTessBaseAPI)
    return Words;
  // The iterator reads the results the last Recognize left; it recognises nothing again.
  const std::unique_ptr<TessResultIterator, TResultIteratorDeleter> Iterator(
      capi::TessBaseAPIGetIterator(FTessBaseAPI.get()));
  if (!Iterator)
    return Words;
  const auto Level = tesseract::RIL_WORD;
  do {
    QString Text = PUTF8CharToString(capi::TessResultIteratorGetUTF8Text(Iterator.get(), Level), true);
    const int Letters = int(std::count_if(Text.begin(), Text.end(), [](QChar C) { return C.isLetterOrNumber(); }));
    TRect Box;
    const TessPageIterator* Page = capi::TessResultIteratorGetPageIterator(Iterator.get());
    if (Letters > 0 && capi::TessPageIteratorBoundingBox(Page, Level, &Box.Left, &Box.Top, &Box.Right, &Box.Bottom))
      Words.push_back({Letters, capi::TessResultIteratorConfidence(Iterator.get(), Level),
                       capi::TessResultIteratorWordIsFromDictionary(Iterator.get()) != 0, std::move(Text), Box});
  } while (capi::TessResultIteratorNext(Iterator.get(), Level));
  return Words;
}
