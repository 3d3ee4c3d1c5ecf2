#include "pipeline/TranslationPipeline.h"

#include "capture/ScreenCapture.h"
#include "core/ScopeExit.h"
#include "imaging/OCRPreprocessor.h"
#include "pipeline/PipelineView.h"
#include "platform/Monitors.h"
#include "platform/Platform.h"
#include "settings/ConfigIni.h"
#include "text/OCRLayout.h"
#include "text/RESTApi.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <stdexcept>

namespace {
constexpr float ChangeThreshold = 0.02f;
constexpr float BinarizedChangeThreshold = 0.005f;
} // namespace

TTranslationPipeline::TTranslationPipeline(TConfigIni& Settings, TPlatform& Platform, TPipelineView& View)
    : FSettings(Settings), FPlatform(Platform), FView(View) {}

TTranslationPipeline::~TTranslationPipeline() = default;

void TTranslationPipeline::SetEngine(TOCREngineKind Kind, std::unique_ptr<TOCREngine> Engine) {
  FEngines[Kind] = std::move(Engine);
}

TOCREngine* TTranslationPipeline::Engine(TOCREngineKind Kind) const {
  const auto It = FEngines.find(Kind);
  return It == FEngines.end() ? nullptr : It->second.get();
}

bool TTranslationPipeline::SelectArea() {
  if (FSelecting)
    return false;
  FSelecting = true;
  TScopeExit Done([this] { FSelecting = false; });
  FBusy = true;
  const std::optional<TRect> Area = FView.ChooseArea([this] { return FBusy; });
  FBusy = false;
  if (!Area)
    return false;
  FSelectedRect = *Area;
  return true;
}

bool TTranslationPipeline::SelectAreaAndTranslate() {
  if (FWorking)
    return false;
  if (!SelectArea())
    return false;
  CaptureAndTranslate(false);
  return true;
}

void TTranslationPipeline::SelectFullScreen() {
  if (FWorking)
    return;
  FWorking = true;
  TScopeExit Done([this] { FWorking = false; });
  FView.HideTranslation();
  FBusy = true;
  // A refusing server or a failing engine ends the command with an error;
  // the flag must not stay set for the commands after it.
  TScopeExit ClearBusy([this] { FBusy = false; });
  // The work area of the monitor under the pointer, anchored at the
  // monitor's origin; with one monitor, at the screen's origin.
  const std::vector<TRect> Monitors = FPlatform.Monitors();
  const TRect Monitor = Monitors.size() > 1 ? MonitorAt(Monitors, FPlatform.CursorPos()) : Monitors.front();
  const TRect WorkArea = WorkAreaOn(FPlatform, Monitor);
  FSelectedRect = {Monitor.Left, Monitor.Top, Monitor.Left + WorkArea.Width(), Monitor.Top + WorkArea.Height()};
  if (CaptureScreenArea(false)) {
    if (auto List = Recognize(); List && !List->empty())
      TranslateOCRList(*List);
  }
}

const TIteratorResult* RecordAt(const TIteratorResultList& List, QPoint Point) {
  for (const TIteratorResult& Record : List)
    if (Point.x() >= Record.Left && Point.x() < Record.Right && Point.y() >= Record.Top && Point.y() < Record.Bottom)
      return &Record;
  return nullptr;
}

void TTranslationPipeline::MouseTranslate() {
  FView.HideTranslation();
  FBusy = true;
  TScopeExit ClearBusy([this] { FBusy = false; });
  const QSize Screen = FPlatform.PrimaryScreenSize();
  FSelectedRect = {0, 0, Screen.width(), Screen.height()};
  CaptureScreenArea(false);
  // The capture starts at the screen origin, so the pointer's screen
  // position is its position in the capture too.
  const QPoint Cursor = FPlatform.CursorPos();
  const std::optional<TIteratorResultList> List = Recognize();
  if (!List)
    return;
  const TIteratorResult* Under = RecordAt(*List, Cursor);
  if (!Under)
    return;
  FSelectedRect = {Under->Left, Under->Top, Under->Right, Under->Bottom};
  // The one record fills the overlay laid over the paragraph, 2 pixels in
  // from its left and top edges.
  TIteratorResult Paragraph;
  Paragraph.Left = 2;
  Paragraph.Top = 2;
  Paragraph.Right = Under->GetWidth();
  Paragraph.Bottom = Under->GetHeight();
  Paragraph.Text = Under->Text;
  TranslateOCRList({Paragraph});
}

void TTranslationPipeline::CaptureAndTranslate(bool ScreenDiff) {
  if (FSelectedRect.IsEmpty() || FWorking)
    return;
  FWorking = true;
  TScopeExit Done([this] { FWorking = false; });
  if (!CaptureScreenArea(ScreenDiff))
    return;
  if (auto List = Recognize(); List && !List->empty())
    TranslateOCRList(*List);
}

bool TTranslationPipeline::CaptureScreenArea(bool ScreenDiff) {
  if (FSelectedRect.IsEmpty())
    return false;

  QImage CurrentBitmap;
  {
    FView.HideWindowsFrom(FSelectedRect);
    TScopeExit Restore([this] { FView.RestoreWindows(); });
    CurrentBitmap = FPlatform.CopyScreen(FSelectedRect);
    if (FOCRThreshold != -1)
      TImageProcessor::BinarizeWithGlobalThreshold(CurrentBitmap, uint8_t(FOCRThreshold), false);
  }
  if (!FScreenBitmap)
    FScreenBitmap.emplace();

  if (ScreenDiff) {
    const float Threshold = FOCRThreshold == -1 ? ChangeThreshold : BinarizedChangeThreshold;
    // The change test calls a capture of another size "no change"; after the
    // area was chosen anew that would reject every capture for good, so a new
    // size counts as a change here.
    const bool NewSize = FScreenBitmap->size() != CurrentBitmap.size();
    if (!IsChangedScreen(*FScreenBitmap, CurrentBitmap, Threshold) && !NewSize)
      return false;
  }
  *FScreenBitmap = std::move(CurrentBitmap);
  return true;
}

std::optional<TIteratorResultList> TTranslationPipeline::NothingFound() {
  FView.HideTranslation();
  return std::nullopt;
}

std::optional<TIteratorResultList> TTranslationPipeline::Recognize() {
  if (!FScreenBitmap)
    return std::nullopt;
  FView.ShowCapture(*FScreenBitmap);
  // The capture step binarised with the same threshold already; again
  // changes nothing, but a bitmap put here by another way gets it too.
  if (FOCRThreshold != -1)
    TImageProcessor::BinarizeWithGlobalThreshold(*FScreenBitmap, uint8_t(FOCRThreshold), false);

  // A threshold the user chose in the preprocessing picker wins over the
  // automatic enhancement.
  const bool Enhance = FOCRThreshold == -1 && FSettings.Read(Settings::Enhance);
  if (Options.Engine == TOCREngineKind::WindowsOCR) {
    StartRtOcr(Enhance);
    return std::nullopt;
  }

  TOCREngine* Recognizer = Engine(Options.Engine);
  if (!Recognizer) {
    if (Options.Engine == TOCREngineKind::Tesseract)
      throw std::runtime_error("Tesseract library is not loaded");
    return std::nullopt; // an engine this build does not have finds nothing
  }
  Recognizer->SetEnhance(Enhance);
  TIteratorResultList Lines = Recognizer->RecognizeLines(*FScreenBitmap);

  if (Options.Engine == TOCREngineKind::Tesseract) {
    // In segment mode a page without text leaves the shown result in place.
    std::optional<TIteratorResultList> Result;
    if (Options.TextLine)
      Result = std::move(Lines);
    else if (!Lines.empty())
      Result = GroupingToSegment(Lines);
    if (Result && Result->empty())
      return NothingFound();
    return Result;
  }

  if (Lines.empty())
    return NothingFound();
  TIteratorResultList Result = FSettings.Read(Settings::TextLine) ? std::move(Lines) : GroupingToSegment(Lines);
  if (Result.empty())
    return NothingFound();
  return Result;
}

void TTranslationPipeline::StartRtOcr(bool Enhance) {
  if (!FRtOcr)
    return; // a build without the desktop's recogniser finds nothing
  const TRtOcr::TLanguage& Language = OCRLanguage();
  FRtOcr->SetPicture(*FScreenBitmap);
  FRtOcr->SetEnhance(Enhance);
  FRtOcr->Recognize(Language, nullptr, 0, 0, 0, 0);
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
    double Left = Line.Words.front().Rect.X;
    double Top = Line.Words.front().Rect.Y;
    double Right = Left + Line.Words.front().Rect.Width;
    double Bottom = Top + Line.Words.front().Rect.Height;
    for (const TRtOcr::TWord& Word : Line.Words) {
      Left = std::min(Left, double{Word.Rect.X});
      Top = std::min(Top, double{Word.Rect.Y});
      Right = std::max(Right, double{Word.Rect.X} + Word.Rect.Width);
      Bottom = std::max(Bottom, double{Word.Rect.Y} + Word.Rect.Height);
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

void TTranslationPipeline::RtOcrCompleted(const TRtOcr::TResult& Result) {
  if (Result.Status != TRtOcr::stCompleted)
    return;
  const TIteratorResultList Lines = RecordsOfLines(Result.Lines);
  if (Lines.empty()) {
    FView.HideTranslation();
    return;
  }
  if (FSettings.Read(Settings::TextLine))
    TranslateOCRList(Lines);
  else
    TranslateOCRList(GroupingToSegment(Lines));
}

QString TTranslationPipeline::Translate(const QString& OCRText, QString& ErrorMessage) {
  return Translate(OCRText, ErrorMessage, TranslateTimeouts);
}

QString TTranslationPipeline::Translate(const QString& OCRText, QString& ErrorMessage, const THttpTimeouts& Timeouts) {
  // Read for every text, so a server or pair changed in the settings is used at once.
  const QString Server = FSettings.Read(Settings::Server);
  return TranslateLocal(Server, OCRText, FSettings.Read(Settings::SourceLanguage),
                        FSettings.Read(Settings::TargetLanguage), QStringLiteral("N"), ErrorMessage, Timeouts);
}

bool TTranslationPipeline::TranslateOCRList(const TIteratorResultList& OCRList) {
  using std::chrono::milliseconds;
  using TClock = std::chrono::steady_clock;
  if (!Options.OCROnly && OCRList.size() > MaxTranslatedSegments)
    throw ETooManySegments(
        QStringLiteral("인식된 문장이 %1개로 너무 많아 번역하지 않았습니다. 한 번에 %2개까지 번역합니다.")
            .arg(OCRList.size())
            .arg(MaxTranslatedSegments)
            .toStdString());
  const TClock::time_point Deadline = TClock::now() + FTranslationDeadline;

  // The new result is collected apart from FTargetList, which the view
  // paints from: a failure part-way leaves the shown result intact.
  TIteratorResultList TargetList;
  TargetList.reserve(OCRList.size());
  QString ErrorMessage;
  bool TimedOut = false;
  for (const TIteratorResult& Record : OCRList) {
    TIteratorResult Copy = Record;
    const QString OCRText = Record.Text;
    if (!Options.OCROnly) {
      // Rounded up, so a request cut off by it ends no earlier than the
      // deadline and is recognised below as the deadline's doing.
      const auto Left = std::chrono::ceil<milliseconds>(Deadline - TClock::now());
      if (Left.count() <= 0) {
        TimedOut = true;
        break;
      }
      THttpTimeouts Timeouts = TranslateTimeouts;
      Timeouts.TotalMs = static_cast<int>(std::min<milliseconds::rep>(Timeouts.TotalMs, Left.count()));
      const QString Translation = Translate(OCRText, ErrorMessage, Timeouts);
      Copy.Text = FSettings.Read(Settings::OCRResult) ? OCRText + QChar(0x0002) + Translation : Translation;
      if (!ErrorMessage.isEmpty()) {
        TimedOut = TClock::now() >= Deadline;
        break;
      }
    }
    TargetList.push_back(std::move(Copy));
  }

  if (TimedOut) {
    const std::size_t Done = TargetList.size();
    // With nothing done, the result shown before stays rather than being
    // replaced by an empty one.
    if (Done > 0) {
      FTargetList = std::move(TargetList);
      FView.ShowTranslation(FTargetList, FSelectedRect);
    }
    throw ETranslationTimeout(QStringLiteral("번역 시간이 초과되어 %1개 중 %2개만 번역했습니다.")
                                  .arg(OCRList.size())
                                  .arg(Done)
                                  .toStdString());
  }
  if (!ErrorMessage.isEmpty())
    return false;

  FTargetList = std::move(TargetList);
  FView.ShowTranslation(FTargetList, FSelectedRect);
  return true;
}
