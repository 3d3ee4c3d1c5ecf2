#include "ocr/RtOcr.h"

#include <QCoreApplication>
#include <QPointer>

#include <cstring>
#include <optional>

static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "32-bit QImage pixels are read as blue, green, red, fourth byte");

namespace {

void Check(bool Value, const char* Message) {
  if (!Value)
    throw ERtOcrError(Message);
}

std::optional<TOcrLanguage> FindLanguage(TOcrService& Service, const TRtOcr::TLanguage& Language) {
  for (const TOcrLanguage& Offered : Service.AvailableRecognizerLanguages())
    if (Offered.DisplayName == Language.DisplayName && Offered.LanguageTag == Language.LanguageTag &&
        Offered.NativeName == Language.NativeName && Offered.Script == Language.Script)
      return Offered;
  return std::nullopt;
}

// Formats whose pixels lie in memory as blue, green, red and a fourth byte.
bool IsBgraLayout(QImage::Format Format) {
  return Format == QImage::Format_RGB32 || Format == QImage::Format_ARGB32 ||
         Format == QImage::Format_ARGB32_Premultiplied;
}

TRtOcr::TStatus StatusOf(TOcrAsyncStatus Status) {
  switch (Status) {
  case TOcrAsyncStatus::Completed: return TRtOcr::stCompleted;
  case TOcrAsyncStatus::Canceled: return TRtOcr::stCanceled;
  case TOcrAsyncStatus::Started:
  case TOcrAsyncStatus::Error: break;
  }
  return TRtOcr::stError;
}

} // namespace

// Registered with the service: takes the end of an operation on the
// service's thread and hands it to the component's thread. The component is
// only ever touched there, and only while it still exists.
class TRtOcr::TCompletedHandler_OcrResult {
public:
  TCompletedHandler_OcrResult(TRtOcr* RtOcr, void* CustomData) : FRtOcr(RtOcr), FCustomData(CustomData) {}
  TCompletedHandler_OcrResult(TRtOcr* RtOcr, TCompletionProc CompletionProc)
      : FRtOcr(RtOcr), FCompletionProc(std::move(CompletionProc)) {}

  // The application object outlives every service, so it is a safe target
  // for the queued call; the component may be gone by the time it runs.
  static void Invoke(const std::shared_ptr<TCompletedHandler_OcrResult>& Self, TOcrOperation& Operation,
                     TOcrAsyncStatus Status) {
    QCoreApplication* App = QCoreApplication::instance();
    if (!App)
      return;
    QMetaObject::invokeMethod(
        App,
        [Self, Operation = &Operation, Status] {
          if (TRtOcr* RtOcr = Self->FRtOcr.data())
            RtOcr->Completed(Operation, Status, *Self);
        },
        Qt::QueuedConnection);
  }

  QPointer<TRtOcr> FRtOcr;
  void* FCustomData = nullptr;
  TCompletionProc FCompletionProc;
};

TRtOcr::TRtOcr(TOcrService& Service, QObject* Parent) : QObject(Parent), FService(Service) {}

TRtOcr::~TRtOcr() {
  Close();
  FAsyncResult.reset();
  FBitmap.reset();
}

void TRtOcr::SetPicture(const QImage& Picture) { FPicture = Picture; }

TRtOcr::TLanguages TRtOcr::GetAvailableLanguages() const {
  TLanguages Result;
  for (const TOcrLanguage& Language : FService.AvailableRecognizerLanguages())
    Result.push_back({Language.DisplayName, Language.LanguageTag, Language.NativeName, Language.Script});
  return Result;
}

void TRtOcr::Recognize(const TLanguage& Language, void* CustomData, int32_t Left, int32_t Top, int32_t Right,
                       int32_t Bottom) {
  StartRecognition(Language, Left, Top, Right, Bottom, std::make_shared<TCompletedHandler_OcrResult>(this, CustomData));
}

void TRtOcr::Recognize(const TLanguage& Language, TCompletionProc Completion, int32_t Left, int32_t Top, int32_t Right,
                       int32_t Bottom) {
  StartRecognition(Language, Left, Top, Right, Bottom,
                   std::make_shared<TCompletedHandler_OcrResult>(this, std::move(Completion)));
}

void TRtOcr::StartRecognition(const TLanguage& Language, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom,
                              std::shared_ptr<TCompletedHandler_OcrResult> Handler) {
  Check(!FAsyncResult, "Recognition already started");
  const std::optional<TOcrLanguage> Found = FindLanguage(FService, Language);
  Check(Found.has_value(), "Language not available");
  const std::unique_ptr<TOcrRecognizer> Engine = FService.TryCreateFromLanguage(*Found);
  Check(Engine != nullptr, "Language not available");
  std::shared_ptr<const TSoftwareBitmap> Bitmap = PictureToBitmap(FPicture, Left, Top, Right, Bottom);

  Engine->SetEnhance(FEnhance);
  std::shared_ptr<TOcrOperation> Operation = Engine->RecognizeAsync(Bitmap);
  FAsyncResult = Operation;
  FBitmap = std::move(Bitmap);
  FClosed = false;
  try {
    Operation->SetCompleted([Handler = std::move(Handler)](TOcrOperation& Ended, TOcrAsyncStatus Status) {
      TCompletedHandler_OcrResult::Invoke(Handler, Ended, Status);
    });
  } catch (...) {
    // Without a handler the operation would keep the component busy for good.
    Operation->Close();
    FAsyncResult.reset();
    FBitmap.reset();
    throw;
  }
}

void TRtOcr::Close() {
  if (!FAsyncResult)
    return;
  FClosed = true;
  FAsyncResult->Cancel();
  FAsyncResult->Close();
}

void TRtOcr::Completed(TOcrOperation* Operation, TOcrAsyncStatus Status, const TCompletedHandler_OcrResult& Handler) {
  if (!FAsyncResult || FAsyncResult.get() != Operation)
    return; // dropped
  const std::shared_ptr<TOcrOperation> Ended = std::move(FAsyncResult);
  FAsyncResult.reset();
  FBitmap.reset();
  // A closed operation has no result to read, even when it had finished.
  const bool Closed = std::exchange(FClosed, false);
  if (!Handler.FCompletionProc && !OnCompleted)
    return;

  TResult Result;
  Result.Status = Closed && Status == TOcrAsyncStatus::Completed ? stCanceled : StatusOf(Status);
  if (Result.Status == stCompleted) {
    const TOcrResult Recognised = Ended->GetResults();
    Result.Text = Recognised.Text;
    Result.TextAngle = Recognised.TextAngle.value_or(0.0);
    Result.Lines = Recognised.Lines;
  }

  // The handler may destroy the component: nothing touches it afterwards.
  if (Handler.FCompletionProc)
    Handler.FCompletionProc(Result);
  else
    OnCompleted(this, Result, Handler.FCustomData);
}

std::shared_ptr<TSoftwareBitmap> TRtOcr::PictureToBitmap(const QImage& Picture, int32_t Left, int32_t Top,
                                                         int32_t Right, int32_t Bottom) {
  if (Left == 0 && Top == 0 && Right == 0 && Bottom == 0) {
    Right = Picture.width();
    Bottom = Picture.height();
  }
  Check(Left >= 0, "Incorrect Left value");
  Check(Top >= 0, "Incorrect Top value");
  Check(Right > 0 && Right <= Picture.width(), "Incorrect Right value");
  Check(Bottom > 0 && Bottom <= Picture.height(), "Incorrect Bottom value");
  // An empty or inverted rectangle is refused here, by the service.
  std::shared_ptr<TSoftwareBitmap> Bitmap = TSoftwareBitmap::Create(TOcrPixelFormat::Bgra8, Right - Left, Bottom - Top);

  // The fourth byte of a 32-bit picture is copied as it is; other formats
  // get an opaque one from the conversion.
  const QImage Source = IsBgraLayout(Picture.format()) ? Picture : Picture.convertToFormat(QImage::Format_RGB32);
  const std::size_t RowBytes = std::size_t(Bitmap->BytesPerLine());
  uint8_t* Target = Bitmap->Buffer();
  for (int32_t Row = Top; Row < Bottom; ++Row, Target += RowBytes)
    std::memcpy(Target, Source.constScanLine(Row) + std::size_t(Left) * 4, RowBytes);
  return Bitmap;
}
