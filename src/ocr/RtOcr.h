#pragma once

#include "platform/OcrService.h"

#include <QImage>
#include <QObject>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

// The component's own checks: a busy component, an unknown language, a
// rectangle outside the picture.
class ERtOcrError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// A failed call into the recognition service, carrying its result code.
using EWinRtError = EOcrServiceError;

// The desktop's recognition service as a component: lists its languages,
// turns a picture (or a rectangle of it) into a bitmap for the service,
// starts an asynchronous recognition and reports the result as plain lines
// and words with their boxes. The result always reaches its handler on the
// GUI thread, through a queued call, whatever thread the service finishes
// on; so the component lives on the GUI thread, in a program with a
// QCoreApplication. The service must outlive the component.
class TRtOcr : public QObject {
  Q_OBJECT

public:
  struct TLanguage {
    QString DisplayName;
    QString LanguageTag;
    QString NativeName;
    QString Script;
    friend bool operator==(const TLanguage&, const TLanguage&) = default;
  };
  using TLanguages = std::vector<TLanguage>;

  enum TStatus { stCompleted, stCanceled, stError };

  // The service's own records (platform/OcrService.h): boxes in pixels of
  // the recognised bitmap, origin top left; words in the service's order.
  using TSRect = TOcrRect;
  using TWord = TOcrWord;
  using TWords = std::vector<TOcrWord>;
  using TLine = TOcrLine;
  using TLines = std::vector<TOcrLine>;
  struct TResult {
    TStatus Status = stCompleted;
    TLines Lines;
    QString Text;         // the whole text as the service joins it
    double TextAngle = 0; // 0 when the service reports none
  };

  using TCompletedEvent = std::function<void(TRtOcr* Sender, const TResult& Result, void* CustomData)>;
  using TCompletionProc = std::function<void(const TResult& Result)>;

  explicit TRtOcr(TOcrService& Service, QObject* Parent = nullptr);
  // Closes a running recognition and drops it: its completion, when it
  // arrives, calls nothing.
  ~TRtOcr() override;

  // The picture to recognise; assigning copies it.
  const QImage& Picture() const { return FPicture; }
  void SetPicture(const QImage& Picture);

  // Whether recognitions started from now on enhance hard screen text first
  // (for services that can; boxes stay in the picture's pixels). Off until set.
  bool Enhance() const { return FEnhance; }
  void SetEnhance(bool Enhance) { FEnhance = Enhance; }

  // Called with the result of a recognition started with custom data.
  TCompletedEvent OnCompleted;

  // The service's languages, in its order.
  TLanguages GetAvailableLanguages() const;
  TLanguages AvailableLanguages() const { return GetAvailableLanguages(); }

  // Starts recognising the rectangle of Picture (all four bounds 0: the
  // whole picture) and returns at once; the result goes to OnCompleted with
  // CustomData. Throws ERtOcrError "Recognition already started", "Language
  // not available", "Incorrect Left value" (Top, Right, Bottom), or the
  // service's error; nothing is reported then.
  void Recognize(const TLanguage& Language, void* CustomData, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom);
  // The same without custom data.
  void Recognize(const TLanguage& Language, std::nullptr_t, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom) {
    Recognize(Language, static_cast<void*>(nullptr), Left, Top, Right, Bottom);
  }
  // The same, with the result going to Completion instead of OnCompleted.
  void Recognize(const TLanguage& Language, TCompletionProc Completion, int32_t Left, int32_t Top, int32_t Right,
                 int32_t Bottom);

  // Cancels and closes the running recognition, if any. The component stays
  // busy until its completion arrives.
  void Close();
  // A recognition was started and its completion has not arrived yet.
  bool Busy() const { return FAsyncResult != nullptr; }

  // The rectangle of Picture as a BGRA8 bitmap for the service (all bounds
  // 0: the whole picture). Throws ERtOcrError for a bound outside the
  // picture, the service's error for an empty or inverted rectangle.
  static std::shared_ptr<TSoftwareBitmap> PictureToBitmap(const QImage& Picture, int32_t Left, int32_t Top,
                                                          int32_t Right, int32_t Bottom);

private:
  class TCompletedHandler_OcrResult;

  void StartRecognition(const TLanguage& Language, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom,
                        std::shared_ptr<TCompletedHandler_OcrResult> Handler);
  // On the component's thread, with the status the operation ended with.
  void Completed(TOcrOperation* Operation, TOcrAsyncStatus Status, const TCompletedHandler_OcrResult& Handler);

  TOcrService& FService;
  std::shared_ptr<TOcrOperation> FAsyncResult;
  std::shared_ptr<const TSoftwareBitmap> FBitmap;
  QImage FPicture;
  // Close was called on the running operation.
  bool FClosed = false;
  bool FEnhance = false;
};
