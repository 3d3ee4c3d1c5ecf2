#pragma once

#include "app/CommandQueue.h"
#include "app/Controller.h"
#include "core/GlobalTypes.h"
#include "ocr/RtOcr.h"
#include "pipeline/PipelineView.h"
#include "pipeline/TranslationPipeline.h"
#include "platform/Platform.h"

#include <QElapsedTimer>
#include <QImage>
#include <QMainWindow>
#include <QTimer>

#include <array>
#include <memory>
#include <optional>
#include <thread>

class QAction;
class QLabel;
class TAreaSelection;
class TConfigIni;
class TEngineSetup;
struct TFormCommand;
class TOcrService;
class TPlatform;
class TRepaintWatch;
class TSelectionForm;
class TTesseractOCR5;
class TTranslationForm;

// The main window: the menus and tool buttons, their commands, the capture
// preview, and the windows the translation pipeline works with (the selection
// window and the translation overlay). It only shows: the controller
// (TController) runs the commands, the pipeline does the work, and the
// window's operations of the same names hand over to them. Menu items and
// windows are public so that tests can drive the window the way the user and
// the hotkeys do.
class TFormOCR : public QMainWindow, private TPipelineView, private TControllerView {
  Q_OBJECT

public:
  // When the Tesseract libraries and data are loaded: before the
  // constructor returns, or on a worker thread that the constructor starts,
  // so the window can be shown meanwhile. Commands wait for the data; when
  // it cannot be loaded the window says so as it would have at start and
  // closes, with StartFailed() true.
  enum class TDataLoad { Now, InBackground };

  // AppDir is the runtime folder that holds Tesseract/ and tessdata/; the
  // executable's own folder in normal use. Config.ini is beside them in a
  // portable folder, else the user's own (SettingsFileFor). Platform must
  // outlive the window.
  TFormOCR(const QString& AppDir, TPlatform& Platform, QWidget* Parent = nullptr, TDataLoad Load = TDataLoad::Now);
  ~TFormOCR() override;

  // True when window creation failed (for example the Tesseract data could
  // not be loaded) and the window must close without being shown.
  bool StartFailed() const { return FStartFailed; }
  // True while the recognition data is still being loaded in the background.
  bool Loading() const;

  using TDone = TCommandQueue::TDone;

  // The controller's (TController) queue of commands: remote commands,
  // hotkeys and buttons come through here.
  void RunCommand(const QString& Name, std::function<void()> Command) { FController->RunCommand(Name, Command); }
  void RunCommand(const QString& Name, TCommandQueue::TCommand Command) { FController->RunCommand(Name, Command); }
  void RunFormCommand(const TFormCommand& Command) { FController->RunFormCommand(Command); }
  // True while no command runs or waits and the pipeline is idle.
  bool Idle() const { return FController->Idle(); }
  TController& Controller() { return *FController; }
  const QString& AppDir() const { return FAppDir; }

  TTranslationPipeline& Pipeline() { return *FPipeline; }
  TConfigIni& Settings() { return *FConfigIni; }
  // The Tesseract API instance of the Tesseract engine; null without one.
  TTesseractOCR5* Tesseract() const;
  // The desktop's recognition service ("Windows OCR"): the platform's own,
  // or Korvex's Tesseract-backed one where the platform has none. Dialogs
  // that recognise with it place a TRtOcr of their own over it.
  TOcrService& OcrService();
  // The main window's component over it, which the pipeline recognises with.
  TRtOcr& RtOcr();
  // Its languages as read at start; [OCR] Language is an index into them.
  const TRtOcr::TLanguages& OCRLanguages() const { return FPipeline->OCRLanguages(); }

  // The controller's commands. Each starts and returns; Done runs once the
  // work has ended, on the GUI thread.
  void SelectArea(std::function<void(bool Chosen)> Done) { FController->SelectArea(std::move(Done)); }
  void SelectAreaAndTranslate(TDone Done = {}) { FController->SelectAreaAndTranslate(std::move(Done)); }
  void SelectFullScreen(TDone Done = {}) { FController->SelectFullScreen(std::move(Done)); }
  void CaptureAndTranslate(bool ScreenDiff, TDone Done = {}) {
    FController->CaptureAndTranslate(ScreenDiff, std::move(Done));
  }
  void ReadConfig();
  void WriteConfig();
  // The settings dialog, modal; true when the user confirmed, and the
  // dialog has written its settings.
  bool RunSetupDialog();
  // The preprocessing picker: a sample of the screen, a threshold chosen in
  // its dialog, the pipeline's threshold set on OK and off on Cancel.
  void mnuSelectOCRResultClick();

  // Automatic translation on (after a selection) or off, as its hotkey
  // switches it.
  void ActAutoTranslateExecute(TDone Done = {}) { FController->ActAutoTranslateExecute(std::move(Done)); }
  // Translates the paragraph under the mouse pointer.
  void MouseTranslate(TDone Done = {}) { FController->MouseTranslate(std::move(Done)); }
  // The picture the automatic-translation button shows: 1, or 0 (stop)
  // while automatic translation started by the button or hotkey runs.
  int AutoTranslateImage() const { return FController->AutoTranslateImage(); }

  std::unique_ptr<TSelectionForm> FSelectionForm;
  std::unique_ptr<TTranslationForm> FTranslateForm;
  // The main window's own alpha while a selection runs: 0 as designed, so
  // it vanishes; the preprocessing picker sets 255.
  int AlphaBlendValue = 0;

  // Commands (tool buttons and menu items share them) and menu items.
  QAction* ActSelectArea = nullptr;
  QAction* ActTranslate = nullptr;
  QAction* ActAutoTranslate = nullptr;
  QAction* ActSelectFullScreen = nullptr;
  QAction* ActSetup = nullptr;
  QAction* ActClose = nullptr;
  QAction* mnuViewArea = nullptr;
  QAction* mnuViewTranslation = nullptr;
  QAction* mnuStayOnTop = nullptr;
  QAction* mnuSelectArea = nullptr;
  QAction* mnuCaptureOverlay = nullptr;
  QAction* mnuShowCaputure = nullptr;
  QAction* mnuTesseract = nullptr;
  QAction* mnuWindowsOCR = nullptr;
  QAction* mnuEasyOCR = nullptr;
  QAction* mnuSelectOCRResult = nullptr;
  QAction* mnuEqualArea = nullptr;
  QAction* mnuAutoTranslate = nullptr;
  QAction* mnuOCROnly = nullptr;
  QAction* mnuTextLine = nullptr;
  // The automatic-translation timer; the controller runs it.
  QTimer TimerAction;
  QLabel* Image1 = nullptr;

signals:
  // The window has closed: whatever ran in it has been told to end, and the
  // program ends with it (main connects this to TApplication::Quit).
  void Closed();

protected:
  void closeEvent(QCloseEvent* Event) override;
  bool event(QEvent* Event) override;

private:
  void FormCreate();
  void CreateMenus();
  void CreateToolPanel(QWidget* Central);
  void SetStayOnTop(bool OnTop);
  // A design size in pixels at 96 DPI, scaled to the screen's DPI, which
  // the fonts follow.
  int DpiScaled(int Pixels) const;
  // Hands the menus' engine and mode choices to the pipeline.
  void SyncPipelineOptions();

  void mnuViewAreaClick();
  void ActSetupExecute();
  // Display names of the OS OCR languages, in the engine's order.
  QStringList OCRLanguageNames() const;
  // The picker's recognition of its screen sample (FormOCRPicker.cpp) with
  // the engine named in the settings: none when that engine did not answer.
  std::optional<TIteratorResultList> PickerOCR(const QImage& Bitmap);
  std::optional<TIteratorResultList> PickerOSOCR(const QImage& Bitmap);

  // What the controller asks of the window (FormOCRView.cpp).
  void ShowAutoTranslateImage(int Index) override;
  void CheckAutoTranslateMenu(bool Checked) override;
  void HideTranslationWindow() override;
  void KeepChosenAreaInView() override;
  void LowerWindow() override;
  void ShowNotice(const QString& Message) override;

  // What the pipeline asks of the windows (FormOCRView.cpp).
  void ChooseArea(std::function<void(std::optional<TRect>)> Chosen) override;
  void CancelChoice() override;
  void HideWindowsFrom(const TRect& Area, std::function<void()> Hidden) override;
  // One look at the repaints a copy waits for (HideWindowsFrom).
  void CheckRepaint();
  void RestoreWindows() override;
  void ShowCapture(const QImage& Bitmap) override;
  void HideTranslation() override;
  void ShowTranslation(const TIteratorResultList& TargetList, const TRect& Area) override;
  void ShowError(const QString& Message) override;

  QString FAppDir;
  TPlatform& FPlatform;
  bool FStartFailed = false;
  std::unique_ptr<TConfigIni> FConfigIni;
  std::unique_ptr<TTranslationPipeline> FPipeline;
  std::unique_ptr<TEngineSetup> FEngineSetup;
  std::unique_ptr<TController> FController;
  std::unique_ptr<TAreaSelection> FAreaSelection;
  bool FPickerRunning = false;
  // The overlay just hidden and the watch over the screen beneath it: a
  // copy right after (a full-screen translation) waits for that repaint
  // too. Dropped once the command has ended.
  struct TUncovered {
    std::unique_ptr<TRepaintWatch> Watch;
    QRegion Region;
  };
  std::optional<TUncovered> FUncovered;
  // The copy waiting for the screen beneath Korvex's windows to be drawn,
  // looked at every few milliseconds until it is or the limit has passed.
  struct TRepaintWait {
    std::unique_ptr<TRepaintWatch> Watch;
    QRegion Region;
    std::function<void()> Hidden;
    QElapsedTimer Clock;
  };
  std::optional<TRepaintWait> FRepaintWait;
  QTimer FRepaintCheck;
  // Alphas that HideWindowsFrom changed, to be restored; -1 where unchanged.
  int FHiddenOverlayAlpha = -1;
  int FHiddenMainAlpha = -1;
  // Hands freed memory back to the system shortly after a result is shown.
  QTimer FMemoryRelease;
};

// The application title, shown as the main window's caption.
extern const QString ApplicationTitle;
