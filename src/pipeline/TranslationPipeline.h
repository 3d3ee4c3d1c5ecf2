#pragma once

#include "core/GlobalTypes.h"
#include "ocr/OCREngine.h"
#include "ocr/RtOcr.h"
#include "text/RESTApi.h"

#include <QImage>
#include <QPoint>
#include <QString>

#include <chrono>
#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>

// The translation of one result ran out of time. The records translated
// before the deadline were shown; the message says how many, for the user.
class ETranslationTimeout : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// A result held more texts than the pipeline translates at once; nothing
// was sent or shown. The message names the limit, for the user.
class ETooManySegments : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// The first record of List whose rectangle holds Point (left and top edges
// inside, right and bottom edges outside); null when none does.
const TIteratorResult* RecordAt(const TIteratorResultList& List, QPoint Point);
// [OCR] Language names no language of the desktop's recogniser (or it has
// none); recognition was not started. The message names the number and how
// many languages there are, for the user.
class EOCRLanguageMissing : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

class TConfigIni;
class TPipelineView;
class TPlatform;

// The way from a screen area to its translations: capture -> recognise ->
// group -> translate, then the hand-over of the result to the view. It runs
// on the GUI thread and blocks while an engine or the translation server
// works. The settings store, the platform and the view must outlive it.
class TTranslationPipeline {
public:
  // The choices the main window's menus make; not stored by the pipeline.
  struct TOptions {
    TOCREngineKind Engine = TOCREngineKind::Tesseract;
    // The Tesseract engine's line-or-segment choice. The other engines
    // follow the stored setting instead; the two differ only while the menu
    // item has been toggled since the settings were last read.
    bool TextLine = false;
    // Show the recognised text without asking the translation server.
    bool OCROnly = false;
  };

  TTranslationPipeline(TConfigIni& Settings, TPlatform& Platform, TPipelineView& View);
  ~TTranslationPipeline();

  // The engine that runs when Kind is chosen; none leaves Kind without one.
  void SetEngine(TOCREngineKind Kind, std::unique_ptr<TOCREngine> Engine);
  TOCREngine* Engine(TOCREngineKind Kind) const;
  // The desktop's recogniser, which answers later, in RtOcrCompleted; not
  // owned. Without it "Windows OCR" finds nothing.
  void SetRtOcr(TRtOcr* RtOcr) { FRtOcr = RtOcr; }

  // Each returns true when it did its work. One selection runs at a time:
  // SelectArea called while one runs (from a command that came in during
  // it) returns false at once.
  bool SelectArea();
  bool IsSelecting() const { return FSelecting; }
  bool SelectAreaAndTranslate();
  // Translates the work area of the monitor under the pointer, anchored at
  // the monitor's origin.
  void SelectFullScreen();
  // Recognises the whole primary screen and translates the one record under
  // the pointer, shown over that record's rectangle; nothing when the
  // pointer is over no record.
  void MouseTranslate();
  // With ScreenDiff, only when the area changed since the last capture.
  void CaptureAndTranslate(bool ScreenDiff);
  bool CaptureScreenArea(bool ScreenDiff);
  // The records of FScreenBitmap, grouped into lines or segments; none when
  // there is nothing to translate. "Windows OCR" only starts recognising
  // with the language [OCR] Language and returns none; its result arrives in
  // RtOcrCompleted. Throws EOCRLanguageMissing when that language does not
  // exist, ERtOcrError while a recognition runs.
  std::optional<TIteratorResultList> Recognize();
  // The result of the desktop's recogniser: one record per line, its box
  // enclosing the line's words, grouped into segments unless [Translation]
  // TextLine; then translated and shown. A cancelled or failed recognition
  // changes nothing; one without lines hides the shown result.
  void RtOcrCompleted(const TRtOcr::TResult& Result);
  // One record per line that has words: the union of the word boxes with
  // every edge rounded up, the font size from the unrounded height.
  static TIteratorResultList RecordsOfLines(const TRtOcr::TLines& Lines);
  // The language of [OCR] Language in FOCRLanguages; throws
  // EOCRLanguageMissing when there is none at that position.
  const TRtOcr::TLanguage& OCRLanguage();
  // One text through the translation server named in the settings.
  QString Translate(const QString& OCRText, QString& ErrorMessage);
  // Translates every record and shows the result; on the first failure
  // nothing is shown and the shown result stays as it was. Throws
  // ETooManySegments, before sending anything, when there are more than
  // MaxTranslatedSegments records to translate; throws ETranslationTimeout
  // past FTranslationDeadline, after showing the records done (if any).
  bool TranslateOCRList(const TIteratorResultList& OCRList);

  // No real screen holds this many texts; more come from a faulty or hostile
  // OCR reply, whose one-by-one translation would block for hours.
  static constexpr std::size_t MaxTranslatedSegments = 2000;

  TOptions Options;

  // State shared by the commands; commands that run while a selection waits
  // see and change it too.
  TRect FSelectedRect;
  std::optional<QImage> FScreenBitmap;
  // True while a selection runs; a command that clears it ends the selection.
  bool FBusy = false;
  // True from capture to shown result. A long wait in between lets timers
  // run (KeepWaiting); a capture-and-translate they start meanwhile is
  // dropped instead of running inside the one under way.
  bool FWorking = false;
  // The shown result; the view paints from it.
  TIteratorResultList FTargetList;
  // The desktop recogniser's languages, in its order; [OCR] Language is an
  // index into them.
  TRtOcr::TLanguages FOCRLanguages;
  // Binarisation threshold of every capture; -1 leaves captures as they are.
  int32_t FOCRThreshold = -1;
  // How long the translation of one result may take in all; every request
  // of it is cut off at this deadline too.
  std::chrono::milliseconds FTranslationDeadline = std::chrono::minutes(3);

private:
  std::optional<TIteratorResultList> NothingFound();
  // Enhance: the service enhances hard screen text first.
  void StartRtOcr(bool Enhance);
  QString Translate(const QString& OCRText, QString& ErrorMessage, const THttpTimeouts& Timeouts);

  bool FSelecting = false;
  TConfigIni& FSettings;
  TPlatform& FPlatform;
  TPipelineView& FView;
  std::map<TOCREngineKind, std::unique_ptr<TOCREngine>> FEngines;
  TRtOcr* FRtOcr = nullptr;
};
