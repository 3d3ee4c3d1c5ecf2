#include "app/EngineSetup.h"

#include "ocr/TesseractEngine.h"
#include "ocr/TesseractLanguages.h"
#include "ocr/TesseractOcrService.h"
#include "ocr/tesseractocr.h"
#include "pipeline/TranslationPipeline.h"
#include "platform/Platform.h"
#include "settings/ConfigIni.h"
#include "text/RemoteOCREngine.h"

#include <QDir>
#include <QTimer>

namespace {
// Both folders are taken from the runtime folder, never from the current
// directory, so Korvex works wherever it is started from.
QString LibraryFolder(const QString& AppDir) { return QDir(AppDir).filePath(QStringLiteral("Tesseract")) + '/'; }
QString DataFolder(const QString& AppDir) { return QDir(AppDir).filePath(QStringLiteral("tessdata")) + '/'; }
} // namespace

TEngineSetup::TEngineSetup(const QString& AppDir, TConfigIni& Settings, TPlatform& Platform,
                           TTranslationPipeline& Pipeline)
    : FAppDir(AppDir), FSettings(Settings), FPipeline(Pipeline) {
  FOcrService = Platform.OcrService();
  if (!FOcrService) {
    FOwnOcrService = std::make_unique<TTesseractOcrService>(LibraryFolder(FAppDir), DataFolder(FAppDir));
    FOcrService = FOwnOcrService.get();
  }
  FRtOcr = std::make_unique<TRtOcr>(*FOcrService);
  FPipeline.SetRtOcr(FRtOcr.get());
  FPipeline.SetOCRLanguages(FRtOcr->GetAvailableLanguages());
}

TEngineSetup::~TEngineSetup() {
  if (FLoader.joinable())
    FLoader.join();
  // A recognition still running is dropped, then its service ends it and
  // stops its worker; the pipeline is left without the component.
  FPipeline.SetRtOcr(nullptr);
  FRtOcr.reset();
  FOwnOcrService.reset();
}

TEngineSetup::TLoadedTesseract TEngineSetup::LoadTesseract(const QString& AppDir, const QString& Language) {
  TLoadedTesseract Loaded;
  Loaded.Language = Language;
  try {
    Loaded.Engine = std::make_unique<TTesseractOCR5>(LibraryFolder(AppDir));
  } catch (const std::exception& Error) {
    Loaded.LibraryError = QString::fromUtf8(Error.what());
    return Loaded;
  }
  Loaded.DataLoaded = Loaded.Engine->Initialize(DataFolder(AppDir), Language);
  return Loaded;
}

bool TEngineSetup::LoadNow() { return Install(LoadTesseract(FAppDir, FSettings.Read(Settings::TesseractLang))); }

void TEngineSetup::LoadInBackground(std::function<void(bool)> Loaded) {
  FLoading = true;
  // From the event loop, once the window has been sent to the screen: the
  // load would otherwise compete with the window's first appearance for the
  // processor.
  QTimer::singleShot(0, this, [this, Loaded = std::move(Loaded)] {
    FLoader = std::thread([this, Loaded, Language = FSettings.Read(Settings::TesseractLang)] {
      FLoaded = LoadTesseract(FAppDir, Language);
      // Taken over on the GUI thread; the join there makes everything the
      // worker wrote visible to it.
      QMetaObject::invokeMethod(
          this,
          [this, Loaded] {
            FLoader.join();
            FLoading = false;
            Loaded(Install(std::move(FLoaded)));
          },
          Qt::QueuedConnection);
    });
  });
}

bool TEngineSetup::Install(TLoadedTesseract Loaded) {
  FPipeline.SetEngine(TOCREngineKind::EasyOCR, std::make_unique<TRemoteOCREngine>(FSettings));
  // Without its libraries Korvex cannot work at all; say why before the
  // start-up failure is reported.
  if (!Loaded.LibraryError.isEmpty() && OnLibraryError)
    OnLibraryError(Loaded.LibraryError);
  if (Loaded.Engine)
    FPipeline.SetEngine(TOCREngineKind::Tesseract, std::make_unique<TTesseractEngine>(std::move(Loaded.Engine)));
  if (!Loaded.DataLoaded && OnDataMissing)
    OnDataMissing(TesseractLanguageProblem(DataFolder(FAppDir), Loaded.Language).value_or(QString()));
  return Loaded.DataLoaded;
}

TTesseractOCR5* TEngineSetup::Tesseract() const {
  auto* Engine = dynamic_cast<TTesseractEngine*>(FPipeline.Engine(TOCREngineKind::Tesseract));
  return Engine ? &Engine->Tesseract() : nullptr;
}
