#pragma once

#include "platform/OcrService.h"

#include <QImage>
#include <QString>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

class TTesseractOCR5;
struct TTesseractWords;

// Korvex's own recognition service for desktops without one: Tesseract at
// word level, with an API instance of its own that only its worker thread
// uses, so it never waits for or disturbs the Tesseract engine of the
// controller. Recognitions run one after another in the order started; each
// ends on the worker thread. The languages are the trained data installed in
// the data folder. OpenMP threads follow the process's OMP_THREAD_LIMIT,
// which korvex sets at start (tesseractocr::LimitOpenMPThreads).
class TTesseractOcrService : public TOcrService {
public:
  // DllPath is the folder of the Tesseract and Leptonica libraries, DataPath
  // that of the trained data, both ending with a separator. The libraries
  // are loaded by the first recognition; when they cannot be, every
  // recognition ends with the status Error.
  TTesseractOcrService(const QString& DllPath, const QString& DataPath);
  // Cancels what runs and what waits (their handlers still run, with the
  // status Canceled) and waits for the worker thread to end.
  ~TTesseractOcrService() override;
  TTesseractOcrService(const TTesseractOcrService&) = delete;
  TTesseractOcrService& operator=(const TTesseractOcrService&) = delete;

  std::vector<TOcrLanguage> AvailableRecognizerLanguages() override;
  std::unique_ptr<TOcrRecognizer> TryCreateFromLanguage(const TOcrLanguage& Language) override;

  // The worker thread's name, as the system lists it.
  static constexpr const char* WorkerThreadName = "korvex-ocr";

  // Korvex's recognition of a bitmap at word level, lines and words in
  // reading order; what the worker runs for every operation.
  static TOcrResult ResultFromWords(const TTesseractWords& Words);

private:
  class TOperation;
  class TRecognizer;

  void Start(std::shared_ptr<TOperation> Operation);
  void Run();
  void Process(TOperation& Operation);
  // The operation's bitmap recognised as it is into Result; false when the
  // recognition failed or was cancelled.
  bool RecognizeAsItIs(const TOperation& Operation, TOcrResult& Result);
  // The same for the enhanced pictures of the bitmap (imaging/TextEnhancer.h):
  // each recognised at word level, the one whose words Tesseract is surest
  // of kept, its word boxes divided by the picture's scale back into the
  // bitmap's pixels. Cancelling stops it between and during the pictures.
  bool RecognizeEnhanced(const TOperation& Operation, TOcrResult& Result);
  // The one place where pixels go into the library.
  bool SetImage(const QImage& Picture);
  // The bitmap's pixels, wrapped, not copied.
  static QImage Pixels(const TSoftwareBitmap& Bitmap);

  const QString FDllPath;
  const QString FDataPath;
  // Made and used by the worker only; freed once the worker has ended.
  std::unique_ptr<TTesseractOCR5> FTesseract;
  bool FLoadFailed = false;
  QString FLoadedCode;

  std::mutex FMutex;
  std::condition_variable FWake;
  std::deque<std::shared_ptr<TOperation>> FQueue;
  std::shared_ptr<TOperation> FRunning;
  bool FStopping = false;
  std::thread FWorker; // started with the first recognition
};
