#pragma once

#include "ocr/RtOcr.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <thread>

class TConfigIni;
class TOcrService;
class TPlatform;
class TTesseractOCR5;
class TTranslationPipeline;

// The recognisers Korvex works with, set up at start and handed to the
// pipeline: the Tesseract engine with its libraries and data (loaded at
// once, or on a worker thread while the window is shown), the remote OCR
// engine, and the desktop's recogniser with the component over it (the
// platform's own, or Korvex's Tesseract-backed one where it has none).
//
// Shows nothing itself: what the user must hear of goes to OnLibraryError
// (the libraries could not be loaded) and OnDataMissing (the trained data
// of the configured language could not be loaded).
class TEngineSetup : public QObject {
  Q_OBJECT

public:
  // AppDir is the runtime folder that holds Tesseract/ and tessdata/. All
  // arguments must outlive the set-up. The desktop's recogniser is set up
  // at once.
  TEngineSetup(const QString& AppDir, TConfigIni& Settings, TPlatform& Platform, TTranslationPipeline& Pipeline);
  // Waits for a load under way; takes the desktop's recogniser away from
  // the pipeline.
  ~TEngineSetup() override;

  std::function<void(const QString& Message)> OnLibraryError;
  // Why, when known: a language name that is not one, a missing file.
  std::function<void(const QString& Why)> OnDataMissing;

  // Loads the Tesseract engine and its data now; false when the data could
  // not be loaded.
  bool LoadNow();
  // Starts loading them on a worker thread; Loaded runs on the GUI thread
  // once they are in the pipeline, with false when the data could not be
  // loaded.
  void LoadInBackground(std::function<void(bool DataLoaded)> Loaded);
  bool Loading() const { return FLoading; }

  // The Tesseract API instance of the Tesseract engine; null without one.
  TTesseractOCR5* Tesseract() const;
  TOcrService& OcrService() { return *FOcrService; }
  TRtOcr& RtOcr() { return *FRtOcr; }

private:
  // What loading the Tesseract libraries and data gave; made without
  // touching a widget, so it may run on a worker thread.
  struct TLoadedTesseract {
    std::unique_ptr<TTesseractOCR5> Engine;
    bool DataLoaded = false;
    QString LibraryError; // set when the libraries could not be loaded
    QString Language;
  };
  static TLoadedTesseract LoadTesseract(const QString& AppDir, const QString& Language);
  // Hands the engines to the pipeline; false when the data is missing,
  // after telling why.
  bool Install(TLoadedTesseract Loaded);

  QString FAppDir;
  TConfigIni& FSettings;
  TTranslationPipeline& FPipeline;
  // Korvex's own recognition service, where the platform has none.
  std::unique_ptr<TOcrService> FOwnOcrService;
  TOcrService* FOcrService = nullptr;
  std::unique_ptr<TRtOcr> FRtOcr;
  bool FLoading = false;
  std::thread FLoader;
  TLoadedTesseract FLoaded;
};
