#pragma once

#include "core/GlobalTypes.h"
#include "imaging/EnhancedRecognition.h"

#include <tesseract/publictypes.h>

#include <QString>

#include <atomic>
#include <memory>
#include <optional>
#include <vector>

class QImage;
namespace tesseract {
class TessBaseAPI;
}

using TessPageIteratorLevel = tesseract::PageIteratorLevel;

// One word of a word-level recognition, box in pixels of the image.
struct TTesseractWord {
  QString Text;
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  float Confidence = 0;
  bool StartsLine = false; // the first word of a text line
};

struct TTesseractWords {
  std::vector<TTesseractWord> Words; // in reading order
  // How far the text leans, in degrees clockwise; none without text.
  std::optional<double> TextAngle;
};

// One Tesseract API instance: holds the current input image and recognises it
// into records, one per element of a chosen level. Use from one thread only.
class TTesseractOCR5 {
public:
  // Loads the libraries from aDllPath (a folder ending with a separator)
  // unless they are loaded already, whatever folder that was. Throws
  // std::runtime_error "Tesseract library is not loaded" / "Leptonica library
  // is not loaded", or the binding's own error.
  explicit TTesseractOCR5(const QString& aDllPath);
  ~TTesseractOCR5();
  TTesseractOCR5(const TTesseractOCR5&) = delete;
  TTesseractOCR5& operator=(const TTesseractOCR5&) = delete;

  // True when the trained data of ALanguage (for example "eng" or "eng+kor")
  // loaded from ADataPath. A name that is not plain (IsPlainTesseractLanguage
  // in ocr/TesseractLanguages.h) never reaches the library;
  // TesseractLanguageProblem there gives the user's message for a failure.
  bool Initialize(const QString& ADataPath, const QString& ALanguage);
  // Hands the library an exact copy of the bitmap's colours, whatever its
  // format (alpha is ignored). False without trained data (the library
  // ignores images then), for a null bitmap or for one too large for the
  // library; the library then keeps the image it had.
  bool SetImage(const QImage& ABitmap);
  // Recognises the image and appends one record per element of the level
  // whose confidence is above 10, in reading order. The list is left as it
  // was when recognition fails.
  void Execute(TessPageIteratorLevel level, TIteratorResultList& List);
  // Recognises the image at word level: every word, whatever its
  // confidence. False when recognition failed or stopped because *Cancel
  // (polled while it runs; may be null) turned true.
  bool ExecuteWords(TTesseractWords& Result, const std::atomic<bool>* Cancel);
  // Frees the image and the recognition results the library keeps after a
  // recognition (tens of megabytes for a full screen), but not the trained
  // data. The next recognition needs a SetImage first.
  void Clear();
  // Every word of the last recognition, however unsure, with its letter
  // count and confidence; empty before the first Execute.
  std::vector<TRecognizedWord> RecognizedWords();

  const QString& DataPath() const { return FDataPath; }

private:
  bool Recognize(const std::atomic<bool>* Cancel);

  struct TAPIDeleter {
    void operator()(tesseract::TessBaseAPI* API) const;
  };

  std::unique_ptr<tesseract::TessBaseAPI, TAPIDeleter> FTessBaseAPI;
  QString FDataPath;
  bool FInitialized = false;
};
