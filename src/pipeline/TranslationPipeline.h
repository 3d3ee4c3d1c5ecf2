#pragma once

#include "core/GlobalTypes.h"
#include "ocr/OCREngine.h"
#include "ocr/RtOcr.h"
#include "pipeline/JobWorker.h"
#include "pipeline/TranslationJob.h"

#include <QImage>
#include <QObject>
#include <QPoint>
#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>

class TConfigIni;
class TPipelineView;
class TPlatform;

// The way from a screen area to its translations: capture -> recognise ->
// group -> translate, then the hand-over of the result to the view.
//
// The GUI thread only chooses the area and copies the screen; recognition,
// grouping and translation run on a worker thread (or, for the desktop's
// recogniser, in its own service), and the result comes back to the GUI
// thread by a queued call. One selection or job runs at a time; every
// operation returns at once and reports its end through its Done callback,
// on the GUI thread. Failures reach the view's ShowError, never the caller.
//
// The settings store, the platform and the view must outlive the pipeline.
class TTranslationPipeline : public QObject {
  Q_OBJECT

public:
  // The choices the main window's menus make; not stored by the pipeline.
  struct TOptions {
    TOCREngineKind Engine = TOCREngineKind::Tesseract;
    // One record per text line, for every engine; otherwise segments.
    bool TextLine = false;
    // Show the recognised text without asking the translation server.
    bool OCROnly = false;
  };
  using TDone = std::function<void()>;

  TTranslationPipeline(TConfigIni& Settings, TPlatform& Platform, TPipelineView& View);
  // Cancels what runs and waits for the worker's current step to end.
  ~TTranslationPipeline() override;

  // The engine that runs when Kind is chosen; none leaves Kind without one.
  // Engines are used on the worker thread; set them while nothing runs.
  void SetEngine(TOCREngineKind Kind, std::unique_ptr<TOCREngine> Engine);
  TOCREngine* Engine(TOCREngineKind Kind) const;
  // The desktop's recogniser, which answers later; not owned. Without it
  // "Windows OCR" finds nothing.
  void SetRtOcr(TRtOcr* RtOcr) { FRtOcr = RtOcr; }
  // The desktop recogniser's languages, in its order; [OCR] Language is an
  // index into them.
  void SetOCRLanguages(TRtOcr::TLanguages Languages) { FOCRLanguages = std::move(Languages); }
  const TRtOcr::TLanguages& OCRLanguages() const { return FOCRLanguages; }

  // Lets the user choose an area; Done(true) once one was chosen and made
  // the selected area, Done(false) when the user cancelled, Cancel() ended
  // the selection, or something else runs.
  void SelectArea(std::function<void(bool Chosen)> Done);
  // A selection, then the translation of the chosen area.
  void SelectAreaAndTranslate(TDone Done);
  // Translates the work area of the monitor under the pointer, anchored at
  // the monitor's origin; that becomes the selected area.
  void SelectFullScreen(TDone Done);
  // Recognises the whole primary screen and translates the paragraph under
  // the pointer, shown over that paragraph's rectangle; nothing when the
  // pointer is over none. The selected area and its capture stay as they are.
  void MouseTranslate(TDone Done);
  // Translates the selected area; with ScreenDiff, only when it changed
  // since its last capture. Nothing when no area was selected.
  void CaptureAndTranslate(bool ScreenDiff, TDone Done);

  // Ends the selection or job under way; nothing of it is shown. Its Done
  // still runs: at once for a selection, for a job once the step running
  // on the worker has ended (engines are never used by two jobs at once).
  void Cancel();

  bool IsSelecting() const { return FSelecting; }
  // From the copy of the screen to the shown result.
  bool IsWorking() const { return FJob.has_value(); }
  bool IsIdle() const { return !FSelecting && !FJob; }

  // Copies the selected area into the capture, binarised with the chosen
  // threshold, then Captured(true). With ScreenDiff, Captured(false) (the
  // previous capture kept) when the area shows no change against it; the
  // same with no area selected or while something else runs. A platform
  // failure goes to the view's error.
  void CaptureScreenArea(bool ScreenDiff, std::function<void(bool Captured)> Captured);

  const TRect& SelectedRect() const { return FSelectedRect; }
  void SetSelectedRect(const TRect& Rect) { FSelectedRect = Rect; }
  // The last accepted capture of the selected area; none before the first.
  const std::optional<QImage>& ScreenBitmap() const { return FScreenBitmap; }
  // The shown result; the view paints from it.
  const TIteratorResultList& TargetList() const { return FTargetList; }
  // Binarisation threshold of every capture; -1 leaves captures as they are.
  int32_t OCRThreshold() const { return FOCRThreshold; }
  void SetOCRThreshold(int32_t Threshold) { FOCRThreshold = Threshold; }
  // How long the translation of one result may take in all.
  void SetTranslationDeadline(std::chrono::milliseconds Deadline) { FTranslationDeadline = Deadline; }

  // The language of [OCR] Language in OCRLanguages(); throws
  // EOCRLanguageMissing when there is none at that position.
  const TRtOcr::TLanguage& OCRLanguage();
  // One record per line that has words: the union of the word boxes with
  // every edge rounded up, the font size from the unrounded height.
  static TIteratorResultList RecordsOfLines(const TRtOcr::TLines& Lines);
  // What a job needs of the settings and the menus, read now.
  TJobSettings JobSettings();

  TOptions Options;

private:
  struct TJob {
    std::shared_ptr<std::atomic<bool>> Cancelled = std::make_shared<std::atomic<bool>>(false);
    TRect Area;
    // Mouse translation: only the paragraph under this point.
    std::optional<QPoint> Pointer;
    TJobSettings Settings;
    TDone Done;
  };

  // A job over Area begins; it ends in FinishJob.
  void BeginJob(const TRect& Area, std::optional<QPoint> Pointer, TDone Done);
  // Copies Rect once Korvex's windows are out of the way, binarised with
  // the chosen threshold, and hands the copy on; a failure or a cancelled
  // job ends the job instead.
  void CopyArea(const TRect& Rect, std::function<void(QImage)> Copied);
  // Takes Copy as the selected area's capture; with ScreenDiff, only when
  // it shows a change.
  bool AcceptCapture(QImage Copy, bool ScreenDiff);
  // Recognises Bitmap for the job, on the worker or in the desktop's
  // recogniser.
  void Recognize(QImage Bitmap);
  void StartRtOcr(const QImage& Bitmap);
  void RtOcrCompleted(const TRtOcr::TResult& Result);
  // Back on the GUI thread: shows what the job found and ends it.
  void FinishJob(TJobOutcome Outcome);

  TConfigIni& FSettings;
  TPlatform& FPlatform;
  TPipelineView& FView;
  std::map<TOCREngineKind, std::unique_ptr<TOCREngine>> FEngines;
  TRtOcr* FRtOcr = nullptr;
  TRtOcr::TLanguages FOCRLanguages;

  TRect FSelectedRect;
  std::optional<QImage> FScreenBitmap;
  TIteratorResultList FTargetList;
  int32_t FOCRThreshold = -1;
  std::chrono::milliseconds FTranslationDeadline = std::chrono::minutes(3);

  bool FSelecting = false;
  std::optional<TJob> FJob;
  // Last, so it stops (and joins) while everything above still exists.
  TJobWorker FWorker;
};

// [OCR] Language names no language of the desktop's recogniser (or it has
// none); recognition was not started. The message names the number and how
// many languages there are, for the user.
class EOCRLanguageMissing : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};
