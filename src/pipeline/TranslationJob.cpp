#include "pipeline/TranslationJob.h"

#include "text/OCRLayout.h"
#include "text/RESTApi.h"

#include "core/LongWait.h"

#include <algorithm>
#include <stdexcept>

TRecognized GroupLines(TIteratorResultList Lines, const TJobSettings& Settings) {
  using TKind = TRecognized::TKind;
  if (Settings.Engine == TOCREngineKind::Tesseract) {
    if (Settings.TextLine)
      return Lines.empty() ? TRecognized{TKind::NothingFound, {}} : TRecognized{TKind::Records, std::move(Lines)};
    // In segment mode a page without text leaves the shown result in place.
    if (Lines.empty())
      return {TKind::Unchanged, {}};
  } else if (Lines.empty()) {
    return {TKind::NothingFound, {}};
  }
  TIteratorResultList Result = Settings.TextLine ? std::move(Lines) : GroupingToSegment(Lines);
  if (Result.empty())
    return {TKind::NothingFound, {}};
  return {TKind::Records, std::move(Result)};
}

TRecognized RecognizeWith(TOCREngine* Engine, const QImage& Bitmap, const TJobSettings& Settings) {
  if (!Engine) {
    if (Settings.Engine == TOCREngineKind::Tesseract)
      throw std::runtime_error("Tesseract library is not loaded");
    return {}; // an engine this build does not have finds nothing
  }
  Engine->SetEnhance(Settings.Enhance);
  return GroupLines(Engine->RecognizeLines(Bitmap), Settings);
}

TJobOutcome TranslateRecords(const TIteratorResultList& Records, const TJobSettings& Settings,
                             const std::atomic<bool>& Cancelled) {
  using std::chrono::milliseconds;
  using TClock = std::chrono::steady_clock;
  using TKind = TJobOutcome::TKind;
  if (!Settings.OCROnly && Records.size() > MaxTranslatedSegments)
    return {TKind::Failed,
            {},
            QStringLiteral("인식된 문장이 %1개로 너무 많아 번역하지 않았습니다. 한 번에 %2개까지 번역합니다.")
                .arg(Records.size())
                .arg(MaxTranslatedSegments),
            {}};
  const TClock::time_point Deadline = TClock::now() + Settings.Deadline;

  TJobOutcome Outcome;
  Outcome.Records.reserve(Records.size());
  bool TimedOut = false;
  for (const TIteratorResult& Record : Records) {
    if (Cancelled)
      return {TKind::Cancelled, {}, {}, {}};
    TIteratorResult Copy = Record;
    if (!Settings.OCROnly) {
      // Rounded up, so a request cut off by it ends no earlier than the
      // deadline and is recognised below as the deadline's doing.
      const auto Left = std::chrono::ceil<milliseconds>(Deadline - TClock::now());
      if (Left.count() <= 0) {
        TimedOut = true;
        break;
      }
      THttpTimeouts Timeouts = TranslateTimeouts;
      Timeouts.TotalMs = static_cast<int>(std::min<milliseconds::rep>(Timeouts.TotalMs, Left.count()));
      QString ErrorMessage;
      const QString Translation = TranslateLocal(Settings.Server, Record.Text, Settings.SourceLanguage,
                                                 Settings.TargetLanguage, QStringLiteral("N"), ErrorMessage, Timeouts);
      if (Cancelled)
        return {TKind::Cancelled, {}, {}, {}};
      if (!ErrorMessage.isEmpty()) {
        TimedOut = TClock::now() >= Deadline;
        if (!TimedOut)
          return {TKind::Failed, {}, ErrorMessage, {}};
        break;
      }
      Copy.Text = Settings.OCRResult ? Record.Text + QChar(0x0002) + Translation : Translation;
    }
    Outcome.Records.push_back(std::move(Copy));
  }

  if (TimedOut) {
    // With nothing done, the result shown before stays rather than being
    // replaced by an empty one.
    Outcome.Kind = Outcome.Records.empty() ? TKind::Failed : TKind::Shown;
    Outcome.Error = QStringLiteral("번역 시간이 초과되어 %1개 중 %2개만 번역했습니다.")
                        .arg(Records.size())
                        .arg(Outcome.Records.size());
    return Outcome;
  }
  Outcome.Kind = TKind::Shown;
  return Outcome;
}

const TIteratorResult* RecordAt(const TIteratorResultList& List, QPoint Point) {
  for (const TIteratorResult& Record : List)
    if (Point.x() >= Record.Left && Point.x() < Record.Right && Point.y() >= Record.Top && Point.y() < Record.Bottom)
      return &Record;
  return nullptr;
}

std::optional<TParagraph> ParagraphAt(const TIteratorResultList& List, QPoint Point) {
  const TIteratorResult* Under = RecordAt(List, Point);
  if (!Under)
    return std::nullopt;
  TParagraph Paragraph;
  Paragraph.Area = {Under->Left, Under->Top, Under->Right, Under->Bottom};
  Paragraph.Record.Left = 2;
  Paragraph.Record.Top = 2;
  Paragraph.Record.Right = Under->GetWidth();
  Paragraph.Record.Bottom = Under->GetHeight();
  Paragraph.Record.Text = Under->Text;
  return Paragraph;
}

TJobOutcome FinishRecognized(TRecognized Found, const TJobSettings& Settings, std::optional<QPoint> Pointer,
                             const std::atomic<bool>& Cancelled) {
  using TKind = TJobOutcome::TKind;
  if (Cancelled)
    return {TKind::Cancelled, {}, {}, {}};
  switch (Found.Kind) {
  case TRecognized::TKind::Unchanged: return {TKind::Unchanged, {}, {}, {}};
  case TRecognized::TKind::NothingFound: return {Pointer ? TKind::Unchanged : TKind::NothingFound, {}, {}, {}};
  case TRecognized::TKind::Records: break;
  }
  try {
    if (!Pointer)
      return TranslateRecords(Found.Records, Settings, Cancelled);
    const std::optional<TParagraph> Paragraph = ParagraphAt(Found.Records, *Pointer);
    if (!Paragraph)
      return {TKind::Unchanged, {}, {}, {}};
    TJobOutcome Outcome = TranslateRecords({Paragraph->Record}, Settings, Cancelled);
    Outcome.Area = Paragraph->Area;
    return Outcome;
  } catch (const EHttpCancelled&) {
    // The job was cancelled, or the program ends: nobody waits for a word.
    return {TKind::Cancelled, {}, {}, {}};
  } catch (const std::exception& Error) {
    return {Cancelled ? TKind::Cancelled : TKind::Failed, {}, QString::fromUtf8(Error.what()), {}};
  }
}

TJobOutcome RunJob(TOCREngine* Engine, const QImage& Bitmap, const TJobSettings& Settings,
                   std::optional<QPoint> Pointer, const std::atomic<bool>& Cancelled) {
  // HTTP exchanges of this job give up as soon as it is cancelled.
  const TWaitCancellation Scope(Cancelled);
  TRecognized Found;
  try {
    Found = RecognizeWith(Engine, Bitmap, Settings);
  } catch (const EHttpCancelled&) {
    return {TJobOutcome::TKind::Cancelled, {}, {}, {}};
  } catch (const std::exception& Error) {
    return {Cancelled ? TJobOutcome::TKind::Cancelled : TJobOutcome::TKind::Failed,
            {},
            QString::fromUtf8(Error.what()),
            {}};
  }
  return FinishRecognized(std::move(Found), Settings, Pointer, Cancelled);
}
