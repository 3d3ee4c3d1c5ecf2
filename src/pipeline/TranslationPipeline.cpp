#include "pipeline/TranslationPipeline.h"

#include "capture/ScreenCapture.h"
#include "core/LongWait.h"
#include "core/ScopeExit.h"
#include "imaging/OCRPreprocessor.h"
#include "pipeline/PipelineView.h"
#include "platform/Monitors.h"
#include "platform/Platform.h"
#include "settings/ConfigIni.h"
#include "text/OCRLayout.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr float ChangeThreshold = 0.02f;
constexpr float BinarizedChangeThreshold = 0.005f;
} // namespace

TTranslationPipeline::TTranslationPipeline(TConfigIni& Settings, TPlatform& Platform, TPipelineView& View)
    : FSettings(Settings), FPlatform(Platform), FView(View) {}

TTranslationPipeline::~TTranslationPipeline() {
  if (FJob)
    *FJob->Cancelled = true;
}

void TTranslationPipeline::SetEngine(TOCREngineKind Kind, std::unique_ptr<TOCREngine> Engine) {
  FEngines[Kind] = std::move(Engine);
}

TOCREngine* TTranslationPipeline::Engine(TOCREngineKind Kind) const {
  const auto It = FEngines.find(Kind);
  return It == FEngines.end() ? nullptr : It->second.get();
}

TJobSettings TTranslationPipeline::JobSettings() {
  TJobSettings Settings;
  Settings.Engine = Options.Engine;
  Settings.TextLine = Options.TextLine;
  Settings.OCROnly = Options.OCROnly;
  Settings.OCRResult = FSettings.Read(Settings::OCRResult);
  // A threshold the user chose in the preprocessing picker wins over the
  // automatic enhancement.
  Settings.Enhance = FOCRThreshold == -1 && FSettings.Read(Settings::Enhance);
  Settings.Server = FSettings.Read(Settings::Server);
  Settings.SourceLanguage = FSettings.Read(Settings::SourceLanguage);
  Settings.TargetLanguage = FSettings.Read(Settings::TargetLanguage);
  Settings.Deadline = FTranslationDeadline;
  return Settings;
}

void TTranslationPipeline::SelectArea(std::function<void(bool)> Done) {
  if (!IsIdle()) {
    Done(false);
    return;
  }
  FSelecting = true;
  FView.ChooseArea([this, Done = std::move(Done)](std::optional<TRect> Area) {
    FSelecting = false;
    if (Area)
      FSelectedRect = *Area;
    Done(Area.has_value());
  });
}

void TTranslationPipeline::SelectAreaAndTranslate(TDone Done) {
  SelectArea([this, Done = std::move(Done)](bool Chosen) {
    if (Chosen)
      CaptureAndTranslate(false, Done);
    else
      Done();
  });
}

void TTranslationPipeline::SelectFullScreen(TDone Done) {
  if (!IsIdle()) {
    Done();
    return;
  }
  FView.HideTranslation();
  // The work area of the monitor under the pointer, anchored at the
  // monitor's origin; with one monitor, at the screen's origin.
  const std::vector<TRect> Monitors = FPlatform.Monitors();
  const TRect Monitor = Monitors.size() > 1 ? MonitorAt(Monitors, FPlatform.CursorPos()) : Monitors.front();
  const TRect WorkArea = WorkAreaOn(FPlatform, Monitor);
  FSelectedRect = {Monitor.Left, Monitor.Top, Monitor.Left + WorkArea.Width(), Monitor.Top + WorkArea.Height()};
  CaptureAndTranslate(false, std::move(Done));
}

void TTranslationPipeline::MouseTranslate(TDone Done) {
  if (!IsIdle()) {
    Done();
    return;
  }
  FView.HideTranslation();
  const QSize Screen = FPlatform.PrimaryScreenSize();
  const TRect Whole{0, 0, Screen.width(), Screen.height()};
  // The capture starts at the screen origin, so the pointer's screen
  // position is its position in the capture too.
  BeginJob(Whole, FPlatform.CursorPos(), std::move(Done));
  CopyArea(Whole, [this](QImage Copy) { Recognize(std::move(Copy)); });
}

void TTranslationPipeline::CaptureAndTranslate(bool ScreenDiff, TDone Done) {
  if (FSelectedRect.IsEmpty() || !IsIdle()) {
    Done();
    return;
  }
  BeginJob(FSelectedRect, std::nullopt, std::move(Done));
  CopyArea(FSelectedRect, [this, ScreenDiff](QImage Copy) {
    if (!AcceptCapture(std::move(Copy), ScreenDiff)) {
      FinishJob({});
      return;
    }
    Recognize(*FScreenBitmap);
  });
}

void TTranslationPipeline::CaptureScreenArea(bool ScreenDiff, std::function<void(bool Captured)> Captured) {
  if (FSelectedRect.IsEmpty() || !IsIdle()) {
    Captured(false);
    return;
  }
  BeginJob(FSelectedRect, std::nullopt, {});
  CopyArea(FSelectedRect, [this, ScreenDiff, Captured = std::move(Captured)](QImage Copy) {
    const bool Accepted = AcceptCapture(std::move(Copy), ScreenDiff);
    FinishJob({});
    Captured(Accepted);
  });
}

void TTranslationPipeline::Cancel() {
  if (FSelecting)
    FView.CancelChoice();
  if (FJob) {
    *FJob->Cancelled = true;
    if (FRtOcr && FRtOcr->Busy())
      FRtOcr->Close();
  }
}

void TTranslationPipeline::BeginJob(const TRect& Area, std::optional<QPoint> Pointer, TDone Done) {
  FJob.emplace();
  FJob->Area = Area;
  FJob->Pointer = Pointer;
  FJob->Settings = JobSettings();
  FJob->Done = std::move(Done);
}

void TTranslationPipeline::CopyArea(const TRect& Rect, std::function<void(QImage)> Copied) {
  FView.HideWindowsFrom(Rect, [this, Rect, Copied = std::move(Copied)] {
    if (!FJob)
      return;
    if (*FJob->Cancelled) {
      FView.RestoreWindows();
      FinishJob({});
      return;
    }
    QImage Copy;
    try {
      Copy = FPlatform.CopyScreen(Rect);
    } catch (const std::exception& Error) {
      FView.RestoreWindows();
      FinishJob({TJobOutcome::TKind::Failed, {}, QString::fromUtf8(Error.what()), {}});
      return;
    }
    FView.RestoreWindows();
    if (FOCRThreshold != -1)
      TImageProcessor::BinarizeWithGlobalThreshold(Copy, uint8_t(FOCRThreshold), false);
    Copied(std::move(Copy));
  });
}

bool TTranslationPipeline::AcceptCapture(QImage Copy, bool ScreenDiff) {
  if (ScreenDiff && FScreenBitmap) {
    const float Threshold = FOCRThreshold == -1 ? ChangeThreshold : BinarizedChangeThreshold;
    // The change test calls a capture of another size "no change"; after the
    // area was chosen anew that would reject every capture for good, so a new
    // size counts as a change here.
    const bool NewSize = FScreenBitmap->size() != Copy.size();
    if (!IsChangedScreen(*FScreenBitmap, Copy, Threshold) && !NewSize)
      return false;
  }
  FScreenBitmap = std::move(Copy);
  return true;
}

void TTranslationPipeline::Recognize(QImage Bitmap) {
  FView.ShowCapture(Bitmap);
  if (FJob->Settings.Engine == TOCREngineKind::WindowsOCR) {
    try {
      StartRtOcr(Bitmap);
    } catch (const std::exception& Error) {
      FinishJob({TJobOutcome::TKind::Failed, {}, QString::fromUtf8(Error.what()), {}});
    }
    return;
  }
  FWorker.Post([this, Recognizer = Engine(FJob->Settings.Engine), Bitmap = std::move(Bitmap), Settings = FJob->Settings,
                Pointer = FJob->Pointer, Cancelled = FJob->Cancelled] {
    TJobOutcome Outcome = RunJob(Recognizer, Bitmap, Settings, Pointer, *Cancelled);
    QMetaObject::invokeMethod(
        this, [this, Outcome = std::move(Outcome)]() mutable { FinishJob(std::move(Outcome)); }, Qt::QueuedConnection);
  });
}

void TTranslationPipeline::StartRtOcr(const QImage& Bitmap) {
  if (!FRtOcr) {
    // A build without the desktop's recogniser finds nothing.
    FinishJob({});
    return;
  }
  const TRtOcr::TLanguage& Language = OCRLanguage();
  FRtOcr->SetPicture(Bitmap);
  FRtOcr->SetEnhance(FJob->Settings.Enhance);
  FRtOcr->Recognize(
      Language, TRtOcr::TCompletionProc([this](const TRtOcr::TResult& Result) { RtOcrCompleted(Result); }), 0, 0, 0, 0);
}

void TTranslationPipeline::RtOcrCompleted(const TRtOcr::TResult& Result) {
  if (!FJob)
    return;
  // A cancelled recognition changes nothing; a failed one says so and
  // leaves the shown result as it is.
  if (Result.Status == TRtOcr::stCanceled) {
    FinishJob({});
    return;
  }
  if (Result.Status != TRtOcr::stCompleted) {
    FinishJob({TJobOutcome::TKind::Failed, {}, QStringLiteral("Windows OCR 문자 인식에 실패했습니다."), {}});
    return;
  }
  TIteratorResultList Lines = RecordsOfLines(Result.Lines);
  FWorker.Post([this, Lines = std::move(Lines), Settings = FJob->Settings, Pointer = FJob->Pointer,
                Cancelled = FJob->Cancelled]() mutable {
    const TWaitCancellation Scope(*Cancelled);
    TJobOutcome Outcome = FinishRecognized(GroupLines(std::move(Lines), Settings), Settings, Pointer, *Cancelled);
    QMetaObject::invokeMethod(
        this, [this, Outcome = std::move(Outcome)]() mutable { FinishJob(std::move(Outcome)); }, Qt::QueuedConnection);
  });
}

void TTranslationPipeline::FinishJob(TJobOutcome Outcome) {
  if (!FJob)
    return;
  TJob Job = std::move(*FJob);
  FJob.reset();
  using TKind = TJobOutcome::TKind;
  const TKind Kind = *Job.Cancelled ? TKind::Cancelled : Outcome.Kind;
  switch (Kind) {
  case TKind::Shown:
    FTargetList = std::move(Outcome.Records);
    FView.ShowTranslation(FTargetList, Outcome.Area.value_or(Job.Area));
    if (!Outcome.Error.isEmpty())
      FView.ShowError(Outcome.Error);
    break;
  case TKind::NothingFound: FView.HideTranslation(); break;
  case TKind::Failed: FView.ShowError(Outcome.Error); break;
  case TKind::Unchanged:
  case TKind::Cancelled: break;
  }
  if (Job.Done)
    Job.Done();
}

const TRtOcr::TLanguage& TTranslationPipeline::OCRLanguage() {
  const int32_t Index = FSettings.Read(Settings::OCRLanguage);
  const auto Count = static_cast<int64_t>(FOCRLanguages.size());
  if (Index < 0 || Index >= Count) {
    const QString Message = Count == 0
                                ? QStringLiteral("OCR 언어 %1번을 사용할 수 없습니다. 설치된 OCR 언어가 없습니다(0개). "
                                                 "tessdata 폴더에 언어 데이터를 설치하세요.")
                                      .arg(Index)
                                : QStringLiteral("OCR 언어 %1번이 없습니다. 설치된 OCR 언어는 %2개(0~%3번)입니다. "
                                                 "환경 설정에서 OCR 언어를 다시 선택하세요.")
                                      .arg(Index)
                                      .arg(Count)
                                      .arg(Count - 1);
    throw EOCRLanguageMissing(Message.toStdString());
  }
  return FOCRLanguages[std::size_t(Index)];
}

TIteratorResultList TTranslationPipeline::RecordsOfLines(const TRtOcr::TLines& Lines) {
  // Float edges far outside the 32-bit range (a faulty service) are clamped.
  auto CeilEdge = [](double Edge) {
    return static_cast<int32_t>(std::clamp(std::ceil(Edge), double{INT32_MIN}, double{INT32_MAX}));
  };
  TIteratorResultList Records;
  Records.reserve(Lines.size());
  for (const TRtOcr::TLine& Line : Lines) {
    if (Line.Words.empty())
      continue; // no box to put it in
    double Left = Line.Words.front().BoundingRect.X;
    double Top = Line.Words.front().BoundingRect.Y;
    double Right = Left + Line.Words.front().BoundingRect.Width;
    double Bottom = Top + Line.Words.front().BoundingRect.Height;
    for (const TRtOcr::TWord& Word : Line.Words) {
      Left = std::min(Left, double{Word.BoundingRect.X});
      Top = std::min(Top, double{Word.BoundingRect.Y});
      Right = std::max(Right, double{Word.BoundingRect.X} + Word.BoundingRect.Width);
      Bottom = std::max(Bottom, double{Word.BoundingRect.Y} + Word.BoundingRect.Height);
    }
    TIteratorResult Record;
    Record.Left = CeilEdge(Left);
    Record.Top = CeilEdge(Top);
    Record.Right = CeilEdge(Right);
    Record.Bottom = CeilEdge(Bottom);
    Record.Text = Line.Text;
    Record.FFontSize = FontSizeForHeight(Bottom - Top);
    Records.push_back(std::move(Record));
  }
  return Records;
}
