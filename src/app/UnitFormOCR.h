#pragma once

#include "ocr/GlobalTypes.h"

#include <QImage>
#include <QMainWindow>
#include <QTimer>

#include <memory>
#include <optional>

class QAction;
class QLabel;
class QToolButton;
class TSelectionForm;
class TTranslationForm;
class TTesseractOCR5;

// The main window and the controller of the whole pipeline: selection,
// capture, recognition, grouping, translation and the hand-over to the
// overlay. Its fields and menu items are public so that tests can drive the
// controller the way the user and the hotkeys do.
class TFormOCR : public QMainWindow {
  Q_OBJECT

public:
  // AppDir is the runtime folder that holds Config.ini, Tesseract/ and
  // tessdata/; the executable's own folder in normal use.
  explicit TFormOCR(const QString& AppDir, QWidget* Parent = nullptr);
  ~TFormOCR() override;

  // True when window creation failed (for example the Tesseract data could
  // not be loaded) and the window must close without being shown.
  bool StartFailed() const { return FStartFailed; }
  const QString& AppDir() const { return FAppDir; }

  // Pipeline operations; a Boolean result is true when the operation did its work.
  bool SelectArea();
  bool SelectAreaAndTranslate();
  void SelectFullScreen();
  void CaptureAndTranslate(bool ScreenDiff);
  bool CaptureScreenArea(bool ScreenDiff);
  std::optional<TIteratorResultList> Recognize();
  QString Translate(const QString& OCRText, QString& ErrorMessage);
  bool TranslateOCRList(const TIteratorResultList& OCRList);
  void ReadConfig();
  void WriteConfig();

  // State, in the order the controller's data model gives it.
  TRect FSelectedRect;
  std::optional<QImage> FScreenBitmap;
  std::unique_ptr<TSelectionForm> FSelectionForm;
  std::unique_ptr<TTranslationForm> FTranslateForm;
  bool FBusy = false;
  TIteratorResultList FTargetList;
  int32_t FOCRThreshold = -1;
  // The main window's own alpha while a selection runs: 0 as designed, so
  // it vanishes; the preprocessing picker sets 255.
  int AlphaBlendValue = 0;

  std::unique_ptr<TTesseractOCR5> Tesseract;

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
  QTimer TimerAction;
  QLabel* Image1 = nullptr;

protected:
  void closeEvent(QCloseEvent* Event) override;

private:
  void FormCreate();
  void CreateMenus();
  void CreateToolPanel(QWidget* Central);
  void SetStayOnTop(bool OnTop);
  // Start-up steps that need the engines: the Tesseract engine and its data.
  bool CreateEngines();
  // The Tesseract branch of Recognize: one record per text line of
  // FScreenBitmap, before any grouping.
  TIteratorResultList RecognizeWithTesseract();
  // Command handlers of the selection and capture commands (FormOCRCapture.cpp).
  void StopAutoTranslation();
  void ActSelectAreaExecute();
  void ActTranslateExecute();
  void ActSelectFullScreenExecute();
  void mnuSelectAreaClick();
  void mnuViewAreaClick();

  QString FAppDir;
  bool FStartFailed = false;
  std::unique_ptr<class TConfigIni> FConfigIni;
};

// The application title, shown as the main window's caption.
extern const QString ApplicationTitle;
