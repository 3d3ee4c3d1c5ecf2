#pragma once

#include "core/GlobalTypes.h"
#include "ocr/OCREngine.h"

#include <QImage>
#include <QPoint>
#include <QString>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <optional>

// The steps of a translation that run off the GUI thread: recognition with a
// synchronous engine, grouping, and translation. They touch no window and no
// settings store: what they need of the settings is read on the GUI thread
// when the job starts (TJobSettings), so a store that the GUI thread writes
// meanwhile is never read from two threads.

struct TJobSettings {
  TOCREngineKind Engine = TOCREngineKind::Tesseract;
  // One record per text line; otherwise lines are folded into segments.
  bool TextLine = false;
  // Show the recognised text without asking the translation server.
  bool OCROnly = false;
  // Every shown text is the recognised one, U+0002 and its translation.
  bool OCRResult = false;
  // Whether the engine enhances hard screen text first.
  bool Enhance = true;
  QString Server;
  QString SourceLanguage = QStringLiteral("en");
  QString TargetLanguage = QStringLiteral("ko");
  // How long the translation of one result may take in all.
  std::chrono::milliseconds Deadline = std::chrono::minutes(3);
};

// What recognition and grouping found.
struct TRecognized {
  enum class TKind {
    Records,      // texts to translate
    NothingFound, // the shown result goes out of view
    Unchanged,    // the shown result stays as it is
  };
  TKind Kind = TKind::Unchanged;
  TIteratorResultList Records;
};

// What a job ends with, as the GUI thread shows it.
struct TJobOutcome {
  enum class TKind {
    Shown,        // Records replace the shown result (Error set: only part of it was translated in time)
    NothingFound, // the shown result goes out of view
    Unchanged,    // nothing to show and nothing to say
    Failed,       // Error is shown; the shown result stays
    Cancelled,    // nobody wants the result any more: nothing is shown
  };
  TKind Kind = TKind::Unchanged;
  TIteratorResultList Records;
  QString Error;
  // Where the records lie on the screen when not over the job's area (the
  // paragraph of a mouse translation).
  std::optional<TRect> Area;
};

// No real screen holds this many texts; more come from a faulty or hostile
// OCR reply, whose translation would keep the server busy for hours.
inline constexpr std::size_t MaxTranslatedSegments = 2000;

// Lines as an engine found them, folded into segments unless the settings
// ask for lines. Where the Tesseract engine found no line in segment mode,
// the shown result stays in place; the other engines hide it.
TRecognized GroupLines(TIteratorResultList Lines, const TJobSettings& Settings);

// Recognises Bitmap with Engine (null: an engine this build lacks, which
// finds nothing; for Tesseract that is an error) and groups the lines.
// Library failures are exceptions.
TRecognized RecognizeWith(TOCREngine* Engine, const QImage& Bitmap, const TJobSettings& Settings);

// Translates every record through the server of Settings, stopping at the
// first failure (Failed, nothing to show) or when Cancelled turns true. Past
// the deadline the records done so far are Shown with a message saying how
// many; with none done it is a failure. More than MaxTranslatedSegments
// records fail before anything is sent.
TJobOutcome TranslateRecords(const TIteratorResultList& Records, const TJobSettings& Settings,
                             const std::atomic<bool>& Cancelled);

// The rest of a job once its lines are known: the records translated, or
// with Pointer only the paragraph under it (none there: Unchanged). Library
// and server failures become Failed with their message; cancellation wins
// over everything.
TJobOutcome FinishRecognized(TRecognized Found, const TJobSettings& Settings, std::optional<QPoint> Pointer,
                             const std::atomic<bool>& Cancelled);

// The whole job after the copy: recognition with Engine, then FinishRecognized.
// Never throws.
TJobOutcome RunJob(TOCREngine* Engine, const QImage& Bitmap, const TJobSettings& Settings,
                   std::optional<QPoint> Pointer, const std::atomic<bool>& Cancelled);

// The first record of List whose rectangle holds Point (left and top edges
// inside, right and bottom edges outside); null when none does.
const TIteratorResult* RecordAt(const TIteratorResultList& List, QPoint Point);

// The record under Point as the one record of its own overlay: the overlay
// lies over the record's rectangle (Area), the text 2 pixels in from its left
// and top edges. None when Point is over no record.
struct TParagraph {
  TRect Area;
  TIteratorResult Record;
};
std::optional<TParagraph> ParagraphAt(const TIteratorResultList& List, QPoint Point);
