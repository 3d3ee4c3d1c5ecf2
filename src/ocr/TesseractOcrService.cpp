#include "ocr/TesseractOcrService.h"

#include "imaging/EnhancedRecognition.h"
#include "imaging/WordReadings.h"

#include "ocr/TesseractLanguages.h"
#include "ocr/tesseractocr.h"
#include "platform/OcrOperation.h"

#include <QImage>

#include <optional>
#include <pthread.h>
#include <utility>
#include <vector>

namespace {

// Words at or below it are noise, as in the text-line engine.
constexpr float MinimumConfidence = 10.0f;

} // namespace

class TTesseractOcrService::TOperation : public TOcrOperationState {
public:
  TOperation(QString Code, std::shared_ptr<const TSoftwareBitmap> Bitmap, bool Enhance)
      : FCode(std::move(Code)), FBitmap(std::move(Bitmap)), FEnhance(Enhance) {}
  const QString FCode;
  const std::shared_ptr<const TSoftwareBitmap> FBitmap;
  const bool FEnhance;
};

class TTesseractOcrService::TRecognizer : public TOcrRecognizer {
public:
  TRecognizer(TTesseractOcrService& Service, QString Code) : FService(Service), FCode(std::move(Code)) {}
  std::shared_ptr<TOcrOperation> RecognizeAsync(std::shared_ptr<const TSoftwareBitmap> Bitmap) override {
    if (!Bitmap)
      throw EOcrServiceError(OcrServiceCode::InvalidArgument, QStringLiteral("No bitmap to recognise"));
    auto Operation = std::make_shared<TOperation>(FCode, std::move(Bitmap), FEnhance);
    FService.Start(Operation);
    return Operation;
  }
  void SetEnhance(bool Enhance) override { FEnhance = Enhance; }

private:
  TTesseractOcrService& FService;
  const QString FCode;
  bool FEnhance = false;
};

TTesseractOcrService::TTesseractOcrService(const QString& DllPath, const QString& DataPath)
    : FDllPath(DllPath), FDataPath(DataPath) {}

TTesseractOcrService::~TTesseractOcrService() {
  {
    std::lock_guard Lock(FMutex);
    FStopping = true;
    for (const std::shared_ptr<TOperation>& Waiting : FQueue)
      Waiting->Cancel();
    if (FRunning)
      FRunning->Cancel();
  }
  FWake.notify_all();
  if (FWorker.joinable())
    FWorker.join();
  // The API instance goes on this thread, after the worker has let go of it.
  FTesseract.reset();
}

std::vector<TOcrLanguage> TTesseractOcrService::AvailableRecognizerLanguages() {
  std::vector<TOcrLanguage> Result;
  for (const TTesseractLanguage& Installed : InstalledTesseractLanguages(FDataPath))
    Result.push_back(Installed.Language);
  return Result;
}

std::unique_ptr<TOcrRecognizer> TTesseractOcrService::TryCreateFromLanguage(const TOcrLanguage& Language) {
  for (const TTesseractLanguage& Installed : InstalledTesseractLanguages(FDataPath))
    if (Installed.Language.LanguageTag == Language.LanguageTag)
      return std::make_unique<TRecognizer>(*this, Installed.Code);
  return nullptr;
}

void TTesseractOcrService::Start(std::shared_ptr<TOperation> Operation) {
  {
    std::lock_guard Lock(FMutex);
    if (FStopping)
      throw EOcrServiceError(OcrServiceCode::IllegalMethodCall, QStringLiteral("The service is closing"));
    // Started before the operation is queued: a thread that cannot start
    // leaves nothing behind that would never end.
    if (!FWorker.joinable()) {
      FWorker = std::thread([this] { Run(); });
      // Named from here, so that it carries the name from the start.
      pthread_setname_np(FWorker.native_handle(), WorkerThreadName);
    }
    FQueue.push_back(std::move(Operation));
  }
  FWake.notify_one();
}

void TTesseractOcrService::Run() {
  for (;;) {
    std::shared_ptr<TOperation> Operation;
    {
      std::unique_lock Lock(FMutex);
      FWake.wait(Lock, [this] { return FStopping || !FQueue.empty(); });
      if (FQueue.empty())
        return; // stopping, nothing left
      Operation = std::move(FQueue.front());
      FQueue.pop_front();
      FRunning = Operation;
    }
    Process(*Operation);
    std::lock_guard Lock(FMutex);
    FRunning.reset();
  }
}

void TTesseractOcrService::Process(TOperation& Operation) {
  if (Operation.CancelRequested())
    return Operation.End(TOcrAsyncStatus::Canceled, {});
  TOcrAsyncStatus Status = TOcrAsyncStatus::Error;
  TOcrResult Result;
  try {
    // The libraries are loaded by the first recognition, on the worker: a
    // program that makes the service at start-up does not wait for them.
    if (!FTesseract && !FLoadFailed) {
      try {
        FTesseract = std::make_unique<TTesseractOCR5>(FDllPath);
      } catch (const std::exception&) {
        FLoadFailed = true; // every recognition ends with an error
      }
    }
    if (FTesseract && FLoadedCode != Operation.FCode) {
      FLoadedCode.clear();
      if (FTesseract->Initialize(FDataPath, Operation.FCode))
        FLoadedCode = Operation.FCode;
    }
    if (FTesseract && !FLoadedCode.isEmpty()) {
      const bool Recognized =
          Operation.FEnhance ? RecognizeEnhanced(Operation, Result) : RecognizeAsItIs(Operation, Result);
      if (Recognized)
        Status = TOcrAsyncStatus::Completed;
    }
  } catch (const std::exception&) {
    Status = TOcrAsyncStatus::Error; // ends like any failed recognition
  }
  if (Status != TOcrAsyncStatus::Completed && Operation.CancelRequested())
    Status = TOcrAsyncStatus::Canceled;
  Operation.End(Status, std::move(Result));
}

bool TTesseractOcrService::RecognizeAsItIs(const TOperation& Operation, TOcrResult& Result) {
  TTesseractWords Words;
  if (!SetImage(Pixels(*Operation.FBitmap)) || !FTesseract->ExecuteWords(Words, &Operation.CancelFlag()))
    return false;
  Result = ResultFromWords(Words);
  return true;
}

bool TTesseractOcrService::RecognizeEnhanced(const TOperation& Operation, TOcrResult& Result) {
  auto Read = [&](const QImage& Picture, TTesseractWords& Words) {
    return !Operation.CancelRequested() && SetImage(Picture) &&
           FTesseract->ExecuteWords(Words, &Operation.CancelFlag());
  };
  const QImage Capture = Pixels(*Operation.FBitmap);
  TTesseractWords AsItIs;
  std::optional<std::vector<TRecognizedWord>> AsItIsWords;
  const std::vector<TEnhancedPicture> Pictures = EnhanceWhile(Capture, [&] {
    if (Read(Capture, AsItIs))
      AsItIsWords = FTesseract->RecognizedWords();
  });
  std::vector<TTesseractWords> Found(Pictures.size());
  const std::optional<TChosenPicture> Chosen =
      ChooseRecognizedPicture(Pictures.size(), [&](size_t I) -> std::optional<std::vector<TRecognizedWord>> {
        std::optional<std::vector<TRecognizedWord>> Words;
        if (Pictures[I].IsCapture()) {
          Found[I] = std::move(AsItIs);
          Words = std::exchange(AsItIsWords, std::nullopt);
        } else if (Read(Pictures[I].Image, Found[I])) {
          Words = FTesseract->RecognizedWords();
        }
        if (Words)
          for (TRecognizedWord& Word : *Words)
            Word.Box = Pictures[I].ToCapture(Word.Box);
        return Words;
      });
  if (!Chosen)
    return false;
  const TEnhancedPicture& Best = Pictures[Chosen->Index];
  TTesseractWords& BestWords = Found[Chosen->Index];
  // The chosen words are those of BestWords that hold letters, in the same
  // order: the better readings go in where text and box agree, stray marks
  // and lines in which no word reads as text are left out (their words
  // emptied).
  size_t Next = 0, LineStart = 0;
  std::vector<TRecognizedWord> LineWords;
  auto EndLine = [&](size_t End) {
    if (!ReadsAsText(LineWords))
      for (size_t I = LineStart; I < End; ++I)
        BestWords.Words[I].Text.clear();
    LineWords.clear();
    LineStart = End;
  };
  for (size_t I = 0; I < BestWords.Words.size(); ++I) {
    TTesseractWord& Word = BestWords.Words[I];
    if (Word.StartsLine && I > LineStart)
      EndLine(I);
    if (Next == Chosen->Words.size())
      continue;
    const TRecognizedWord& Same = Chosen->Words[Next];
    if (Word.Text != Same.Text || Best.ToCapture({Word.Left, Word.Top, Word.Right, Word.Bottom}) != Same.Box)
      continue;
    LineWords.push_back(Same);
    if (!Chosen->Replacements[Next].isEmpty())
      Word.Text = Chosen->Replacements[Next];
    else if (IsStrayMark(Same))
      Word.Text.clear();
    ++Next;
  }
  EndLine(BestWords.Words.size());
  Result = ResultFromWords(BestWords);
  // A whole factor: dividing the picture's boxes gives the bitmap's exactly.
  const float Scale = float(Best.Scale);
  for (TOcrLine& Line : Result.Lines)
    for (TOcrWord& Word : Line.Words) {
      TOcrRect& Box = Word.BoundingRect;
      Box = {Box.X / Scale, Box.Y / Scale, Box.Width / Scale, Box.Height / Scale};
    }
  return true;
}

bool TTesseractOcrService::SetImage(const QImage& Picture) { return FTesseract->SetImage(Picture); }

QImage TTesseractOcrService::Pixels(const TSoftwareBitmap& Bitmap) {
  // Blue, green, red and a fourth byte are the bytes of a 32-bit QImage on
  // this machine.
  return QImage(Bitmap.Buffer(), Bitmap.Width(), Bitmap.Height(), Bitmap.BytesPerLine(), QImage::Format_RGB32);
}

TOcrResult TTesseractOcrService::ResultFromWords(const TTesseractWords& Words) {
  TOcrResult Result;
  bool NewLine = true;
  for (const TTesseractWord& Word : Words.Words) {
    NewLine = NewLine || Word.StartsLine;
    if (Word.Confidence <= MinimumConfidence || Word.Text.trimmed().isEmpty())
      continue;
    if (NewLine || Result.Lines.empty())
      Result.Lines.emplace_back();
    NewLine = false;
    TOcrLine& Line = Result.Lines.back();
    const TOcrRect Box{float(Word.Left), float(Word.Top), float(Word.Right - Word.Left), float(Word.Bottom - Word.Top)};
    Line.Words.push_back({Word.Text.trimmed(), Box});
  }
  QStringList Texts;
  for (TOcrLine& Line : Result.Lines) {
    QStringList LineWords;
    for (const TOcrWord& Word : Line.Words)
      LineWords << Word.Text;
    Line.Text = LineWords.join(QLatin1Char(' '));
    Texts << Line.Text;
  }
  Result.Text = Texts.join(QLatin1Char('\n'));
  if (!Result.Lines.empty())
    Result.TextAngle = Words.TextAngle;
  return Result;
}
