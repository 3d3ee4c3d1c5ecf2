#include "app/UnitFormOCR.h"

#include "app/HotKeyCommands.h"

#include "app/Application.h"
#include "app/ToolImages.h"
#include "capture/SelectForm.h"
#include "core/ReusableMemory.h"
#include "core/ScopeExit.h"
#include "ocr/TesseractEngine.h"
#include "ocr/TesseractOcrService.h"
#include "ocr/tesseractocr.h"
#include "overlay/TranslateForm.h"
#include "platform/Platform.h"
#include "settings/ConfigIni.h"
#include "settings/SettingsLocation.h"
#include "text/RemoteOCREngine.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <map>

#include <malloc.h>

const QString ApplicationTitle = QStringLiteral("Korvex v0.1");

namespace {
constexpr int DesignLeft = 200;
constexpr int DesignTop = 200;
constexpr int DesignClientWidth = 373;
constexpr int DesignClientHeight = 273;
constexpr int ToolPanelHeight = 68;
constexpr int ToolButtonWidth = 70;

// The automatic-translation interval, milliseconds. A damaged value must
// not make the timer spin: none or a negative one gives the default, and
// anything shorter than a tenth of a second is raised to it.
int AutoTranslateInterval(int32_t Stored) {
  if (Stored <= 0)
    return Settings::AutoInterval.Default;
  return std::max(Stored, 100);
}
} // namespace

TFormOCR::TFormOCR(const QString& AppDir, TPlatform& Platform, QWidget* Parent, TDataLoad Load)
    : QMainWindow(Parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint),
      FAppDir(QDir(AppDir).absolutePath()), FPlatform(Platform) {
  FormCreate();
  if (Load == TDataLoad::Now) {
    if (!CreateEngines())
      FStartFailed = true;
  } else {
    StartLoadingInBackground();
  }
  // Recognising a large capture frees tens of megabytes at once, which the
  // C library keeps in the heap unless asked; without this the resident
  // memory would stay at the mark of the largest capture ever made. Handing
  // it back costs the next recognition the page faults of fetching it anew
  // (a tenth of a full-screen recognition), so it is done only once the
  // user has stopped asking for a few seconds: translations in a row reuse
  // the heap and the kept picture blocks (ReusableMemory.h) as they are.
  FMemoryRelease.setSingleShot(true);
  FMemoryRelease.setInterval(3000);
  connect(&FMemoryRelease, &QTimer::timeout, this, [] {
    ReusableMemory::Release();
    malloc_trim(0);
  });
  // Another command arriving ends a selection that waits for the user; the
  // new command runs once the selection has returned.
  connect(&FCommands, &TCommandQueue::CommandWaiting, this, [this] {
    if (FPipeline->FBusy)
      FPipeline->FBusy = false;
  });
}

void TFormOCR::RunCommand(const QString& Name, std::function<void()> Command) {
  FCommands.Run(Name, std::move(Command));
}

void TFormOCR::RunFormCommand(const TFormCommand& Command) {
  RunCommand(QString::fromLatin1(Command.Name), [this, &Command] { Command.Run(*this); });
}

void TFormOCR::FormCreate() {
  setWindowTitle(ApplicationTitle);
  setFont(QFont(QStringLiteral("Tahoma"), 8));
  // Beside the executable in a portable runtime folder, else the user's own.
  const QString SettingsFile = SettingsFileFor(FAppDir);
  // A folder that cannot be made is reported by the first write, which needs it.
  CreateSettingsFolder(SettingsFile, nullptr);
  FConfigIni = std::make_unique<TConfigIni>(SettingsFile);
  // Its state starts empty: no area, not busy, no binarisation.
  FPipeline = std::make_unique<TTranslationPipeline>(*FConfigIni, FPlatform, static_cast<TPipelineView&>(*this));

  auto* Central = new QWidget(this);
  CreateMenus();
  CreateToolPanel(Central);
  setCentralWidget(Central);
  move(DesignLeft, DesignTop);
  resize(DpiScaled(DesignClientWidth), DpiScaled(DesignClientHeight) + menuBar()->sizeHint().height());

  RegisterHotKeys();
  ReadConfig();

  CreateRtOcr();

  // Closing ends the program also while a message box or dialog is open.
  FPlatform.HandleCloseRequests(this, [this] { close(); });

  FSelectionForm = std::make_unique<TSelectionForm>(this, FPlatform);
  FTranslateForm = std::make_unique<TTranslationForm>(this, *FConfigIni, FPlatform);
  setWindowTitle(ApplicationTitle);
}

TFormOCR::~TFormOCR() {
  UnregisterHotKeys();
  if (FLoader.joinable())
    FLoader.join();
  // A recognition still running is dropped, then its service ends it and
  // stops its worker; the pipeline is left without the component.
  FRtOcr.reset();
  FPipeline->SetRtOcr(nullptr);
  FOwnOcrService.reset();
  FPipeline.reset(); // the engines and the shown result
  FSelectionForm.reset();
  FTranslateForm.reset(); // writes its own geometry, so the store must still exist
  FConfigIni.reset();
}

bool TFormOCR::CreateEngines() {
  return InstallTesseract(LoadTesseract(FAppDir, FConfigIni->Read(Settings::TesseractLang)));
}

TFormOCR::TLoadedTesseract TFormOCR::LoadTesseract(const QString& AppDir, const QString& Language) {
  // Both folders are taken from the runtime folder, never from the current
  // directory, so Korvex works wherever it is started from.
  const QDir Runtime(AppDir);
  TLoadedTesseract Loaded;
  try {
    Loaded.Engine = std::make_unique<TTesseractOCR5>(Runtime.filePath(QStringLiteral("Tesseract")) + QLatin1Char('/'));
  } catch (const std::exception& Error) {
    Loaded.LibraryError = QString::fromUtf8(Error.what());
    return Loaded;
  }
  Loaded.DataLoaded =
      Loaded.Engine->Initialize(Runtime.filePath(QStringLiteral("tessdata")) + QLatin1Char('/'), Language);
  return Loaded;
}

void TFormOCR::CreateRtOcr() {
  FOcrService = FPlatform.OcrService();
  if (!FOcrService) {
    const QDir Runtime(FAppDir);
    FOwnOcrService =
        std::make_unique<TTesseractOcrService>(Runtime.filePath(QStringLiteral("Tesseract")) + QLatin1Char('/'),
                                               Runtime.filePath(QStringLiteral("tessdata")) + QLatin1Char('/'));
    FOcrService = FOwnOcrService.get();
  }
  FRtOcr = std::make_unique<TRtOcr>(*FOcrService);
  FRtOcr->OnCompleted = [this](TRtOcr* Sender, const TRtOcr::TResult& Result, void* CustomData) {
    RtOcrCompleted(Sender, Result, CustomData);
  };
  FPipeline->SetRtOcr(FRtOcr.get());
  FPipeline->FOCRLanguages = FRtOcr->GetAvailableLanguages();
}

void TFormOCR::RtOcrCompleted(TRtOcr*, const TRtOcr::TResult& Result, void*) { FPipeline->RtOcrCompleted(Result); }

bool TFormOCR::InstallTesseract(TLoadedTesseract Loaded) {
  FPipeline->SetEngine(TOCREngineKind::EasyOCR, std::make_unique<TRemoteOCREngine>(*FConfigIni));
  // Without its libraries Korvex cannot work at all; say why before the
  // start-up failure is reported and the window closes.
  if (!Loaded.LibraryError.isEmpty())
    ShowException(Loaded.LibraryError);
  if (Loaded.Engine)
    FPipeline->SetEngine(TOCREngineKind::Tesseract, std::make_unique<TTesseractEngine>(std::move(Loaded.Engine)));
  if (!Loaded.DataLoaded)
    QMessageBox::critical(this, ApplicationTitle, QStringLiteral("Error loading Tesseract data"), QMessageBox::Ok);
  return Loaded.DataLoaded;
}

void TFormOCR::StartLoadingInBackground() {
  FLoading = true;
  FCommands.SetReady(false);
  // From the event loop, once the window has been sent to the screen: the
  // load would otherwise compete with the window's first appearance for the
  // processor.
  QTimer::singleShot(0, this, [this] {
    FLoader = std::thread([this, AppDir = FAppDir, Language = FConfigIni->Read(Settings::TesseractLang)] {
      FLoaded = LoadTesseract(AppDir, Language);
      // The window takes it over on its own thread; the join there makes
      // everything the worker wrote visible to it.
      QMetaObject::invokeMethod(
          this, [this] { TakeOverLoadedTesseract(); }, Qt::QueuedConnection);
    });
  });
}

void TFormOCR::TakeOverLoadedTesseract() {
  FLoader.join();
  FLoading = false;
  if (InstallTesseract(std::move(FLoaded))) {
    FCommands.SetReady(true);
    return;
  }
  FStartFailed = true;
  FCommands.Clear();
  close();
}

TTesseractOCR5* TFormOCR::Tesseract() const {
  auto* Engine = dynamic_cast<TTesseractEngine*>(FPipeline->Engine(TOCREngineKind::Tesseract));
  return Engine ? &Engine->Tesseract() : nullptr;
}

void TFormOCR::SyncPipelineOptions() {
  TTranslationPipeline::TOptions& Options = FPipeline->Options;
  Options.Engine = mnuWindowsOCR->isChecked() ? TOCREngineKind::WindowsOCR
                   : mnuEasyOCR->isChecked()  ? TOCREngineKind::EasyOCR
                                              : TOCREngineKind::Tesseract;
  Options.TextLine = mnuTextLine->isChecked();
  Options.OCROnly = mnuOCROnly->isChecked();
}

bool TFormOCR::SelectArea() { return FPipeline->SelectArea(); }

bool TFormOCR::SelectAreaAndTranslate() { return FPipeline->SelectAreaAndTranslate(); }

void TFormOCR::SelectFullScreen() {
  QApplication::setOverrideCursor(Qt::CrossCursor);
  // Restored even when recognition fails: a cursor pushed and never popped
  // would stay a cross over every window of the program.
  TScopeExit RestoreCursor([] { QApplication::restoreOverrideCursor(); });
  FPipeline->SelectFullScreen();
}

void TFormOCR::CaptureAndTranslate(bool ScreenDiff) { FPipeline->CaptureAndTranslate(ScreenDiff); }

bool TFormOCR::CaptureScreenArea(bool ScreenDiff) { return FPipeline->CaptureScreenArea(ScreenDiff); }

std::optional<TIteratorResultList> TFormOCR::Recognize() { return FPipeline->Recognize(); }

QString TFormOCR::Translate(const QString& OCRText, QString& ErrorMessage) {
  return FPipeline->Translate(OCRText, ErrorMessage);
}

bool TFormOCR::TranslateOCRList(const TIteratorResultList& OCRList) { return FPipeline->TranslateOCRList(OCRList); }

void TFormOCR::closeEvent(QCloseEvent* Event) {
  TimerAction.stop();
  // A result arriving after the window closed would show an overlay nobody asked for.
  if (FRtOcr)
    FRtOcr->Close();
  // A selection in progress ends as when another command ends it.
  FPipeline->FBusy = false;
  try {
    WriteConfig();
  } catch (const std::exception& Error) {
    // The window still closes; the user learns which settings were not kept.
    QMessageBox::critical(this, ApplicationTitle, QString::fromUtf8(Error.what()), QMessageBox::Ok);
  }
  Event->accept();
  FSelectionForm->hide();
  FTranslateForm->hide();
  emit Closed();
}

void TFormOCR::CreateMenus() {
  auto MakeAction = [this](const QString& Caption, bool Checkable = false) {
    auto* Action = new QAction(Caption, this);
    Action->setCheckable(Checkable);
    return Action;
  };

  ActSelectArea = MakeAction(QStringLiteral("선택 후 번역"));
  ActSelectArea->setToolTip(QStringLiteral("영역을 선택한 후 번역을 시작합니다."));
  ActSelectArea->setIcon(ToolImage(4));
  ActTranslate = MakeAction(QStringLiteral("번역"));
  ActTranslate->setToolTip(QStringLiteral("선택한 영역에 대해 번역을 수행합니다."));
  ActTranslate->setIcon(ToolImage(2));
  ActAutoTranslate = MakeAction(QStringLiteral("자동번역"));
  ActAutoTranslate->setToolTip(QStringLiteral("선택한 영역의 텍스트가 변경될 때마다  자동으로 번역을 수행합니다."));
  ActAutoTranslate->setIcon(ToolImage(1));
  ActSelectFullScreen = MakeAction(QStringLiteral("전체화면 번역"));
  ActSelectFullScreen->setToolTip(QStringLiteral("전체화면에 대해 번역을 수행합니다."));
  ActSelectFullScreen->setIcon(ToolImage(5));
  ActSetup = MakeAction(QStringLiteral("환경 설정"));
  ActSetup->setIcon(ToolImage(3));
  ActClose = MakeAction(QStringLiteral("종료"));
  connect(ActClose, &QAction::triggered, this, &QWidget::close);

  QMenu* System = menuBar()->addMenu(QStringLiteral("시스템"));
  mnuViewArea = System->addAction(QStringLiteral("선택영역 보기"));
  mnuViewTranslation = System->addAction(QStringLiteral("번역 화면 보기"));
  connect(mnuViewTranslation, &QAction::triggered, this, [this] {
    if (FTranslateForm)
      FTranslateForm->setVisible(!FTranslateForm->isVisible());
  });
  mnuStayOnTop = System->addAction(QStringLiteral("창을 최상위 위치로"));
  mnuStayOnTop->setCheckable(true);
  connect(mnuStayOnTop, &QAction::triggered, this, [this](bool Checked) { SetStayOnTop(Checked); });
  System->addAction(ActSetup);
  System->addAction(ActClose);

  QMenu* Capture = menuBar()->addMenu(QStringLiteral("화면 캡처"));
  mnuSelectArea = Capture->addAction(QStringLiteral("영역 선택"));
  mnuCaptureOverlay = Capture->addAction(QStringLiteral("영역선택 화면을 오브레이로 표시"));
  mnuCaptureOverlay->setCheckable(true);
  mnuShowCaputure = Capture->addAction(QStringLiteral("캡처한 이미지를 보여줌"));
  mnuShowCaputure->setCheckable(true);
  connect(mnuShowCaputure, &QAction::triggered, this,
          [this](bool Checked) { FConfigIni->Write(Settings::ShowCaptureImage, Checked); });

  QMenu* OCR = menuBar()->addMenu(QStringLiteral("OCR"));
  QMenu* Engines = OCR->addMenu(QStringLiteral("OCR 엔진"));
  auto* EngineGroup = new QActionGroup(this);
  mnuTesseract = Engines->addAction(QStringLiteral("Tesseract"));
  mnuWindowsOCR = Engines->addAction(QStringLiteral("Windows OCR"));
  mnuEasyOCR = Engines->addAction(QStringLiteral("EasyOCR"));
  for (QAction* Engine : {mnuTesseract, mnuWindowsOCR, mnuEasyOCR}) {
    Engine->setCheckable(true);
    EngineGroup->addAction(Engine);
  }
  mnuTesseract->setChecked(true);
  mnuSelectOCRResult = OCR->addAction(QStringLiteral("이미지 전처리 설정"));
  mnuSelectOCRResult->setToolTip(
      QStringLiteral("이미지 전처리 알고리즘 중에서 가장 정확도가 높은 알고리즘을 선택합니다."));

  QMenu* Translation = menuBar()->addMenu(QStringLiteral("번역"));
  Translation->addAction(ActSelectArea);
  Translation->addAction(ActTranslate);
  Translation->addAction(ActSelectFullScreen);
  Translation->addSeparator();
  mnuEqualArea = Translation->addAction(QStringLiteral("선택영역 위에 번역창 표시"));
  mnuEqualArea->setCheckable(true);
  mnuEqualArea->setChecked(true);
  mnuAutoTranslate = Translation->addAction(QStringLiteral("텍스트 변경 시 자동 번역"));
  mnuAutoTranslate->setCheckable(true);
  mnuOCROnly = Translation->addAction(QStringLiteral("OCR 결과만 확인"));
  mnuOCROnly->setCheckable(true);
  mnuTextLine = Translation->addAction(QStringLiteral("번역시 라인 단위로 번역"));
  mnuTextLine->setCheckable(true);

  for (QAction* Choice : {mnuTesseract, mnuWindowsOCR, mnuEasyOCR, mnuTextLine, mnuOCROnly})
    connect(Choice, &QAction::toggled, this, &TFormOCR::SyncPipelineOptions);
  SyncPipelineOptions();

  // Through the command queue, as remote commands are: one at a time.
  connect(ActSelectArea, &QAction::triggered, this,
          [this] { RunCommand(QStringLiteral("select-translate"), [this] { ActSelectAreaExecute(); }); });
  connect(ActTranslate, &QAction::triggered, this,
          [this] { RunCommand(QStringLiteral("translate"), [this] { ActTranslateExecute(); }); });
  connect(ActSelectFullScreen, &QAction::triggered, this,
          [this] { RunCommand(QStringLiteral("full-screen"), [this] { ActSelectFullScreenExecute(); }); });
  connect(mnuSelectArea, &QAction::triggered, this,
          [this] { RunCommand(QStringLiteral("select-area"), [this] { mnuSelectAreaClick(); }); });
  connect(mnuViewArea, &QAction::triggered, this, &TFormOCR::mnuViewAreaClick);
  connect(ActAutoTranslate, &QAction::triggered, this, &TFormOCR::ActAutoTranslateExecute);
  connect(mnuAutoTranslate, &QAction::triggered, this, &TFormOCR::mnuAutoTranslateClick);
  connect(ActSetup, &QAction::triggered, this, &TFormOCR::ActSetupExecute);
  connect(mnuSelectOCRResult, &QAction::triggered, this, &TFormOCR::mnuSelectOCRResultClick);
  connect(&TimerAction, &QTimer::timeout, this, &TFormOCR::TimerActionTimer);
}

void TFormOCR::CreateToolPanel(QWidget* Central) {
  auto* Layout = new QVBoxLayout(Central);
  Layout->setContentsMargins(0, 0, 0, 0);
  Layout->setSpacing(0);

  auto* Panel = new QWidget(Central);
  int PanelHeight = DpiScaled(ToolPanelHeight);
  Panel->setAutoFillBackground(true);
  QPalette White = Panel->palette();
  White.setColor(QPalette::Window, Qt::white);
  Panel->setPalette(White);
  auto* Buttons = new QHBoxLayout(Panel);
  Buttons->setContentsMargins(0, 0, 0, 0);
  Buttons->setSpacing(0);
  for (QAction* Action : {ActSelectArea, ActTranslate, ActAutoTranslate, ActSelectFullScreen, ActSetup}) {
    auto* Button = new QToolButton(Panel);
    Button->setDefaultAction(Action);
    Button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    Button->setAutoRaise(true);
    Button->setIconSize(QSize(DpiScaled(ToolImageSize), DpiScaled(ToolImageSize)));
    // The design's size at 96 DPI, or more where the caption needs it.
    const QSize Needed = Button->sizeHint();
    Button->setFixedSize(std::max(DpiScaled(ToolButtonWidth), Needed.width()),
                         std::max(DpiScaled(ToolPanelHeight), Needed.height()));
    PanelHeight = std::max(PanelHeight, Button->height());
    Buttons->addWidget(Button);
  }
  Panel->setFixedHeight(PanelHeight);
  Buttons->addStretch();
  Layout->addWidget(Panel);

  Image1 = new QLabel(Central);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Image1->setMinimumSize(1, 1);
  Image1->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
  Layout->addWidget(Image1, 1);
}

int TFormOCR::DpiScaled(int Pixels) const { return int(std::lround(Pixels * logicalDpiY() / 96.0)); }

void TFormOCR::SetStayOnTop(bool OnTop) {
  const bool WasVisible = isVisible();
  setWindowFlag(Qt::WindowStaysOnTopHint, OnTop);
  if (WasVisible)
    show();
}

void TFormOCR::ReadConfig() {
  TConfigIni& Ini = *FConfigIni;
  // One replacement of the file for the whole window, not one per value.
  TConfigIni::TBatch Batch(Ini);
  mnuEqualArea->setChecked(Ini.Read(Settings::EqualArea));
  mnuStayOnTop->setChecked(Ini.Read(Settings::StayOnTop));
  mnuCaptureOverlay->setChecked(Ini.Read(Settings::CaptureOverlay));
  TimerAction.setInterval(AutoTranslateInterval(Ini.Read(Settings::AutoInterval)));
  mnuTextLine->setChecked(Ini.Read(Settings::TextLine));
  mnuShowCaputure->setChecked(Ini.Read(Settings::ShowCaptureImage));
  // Another name, even one differing only in case, leaves the choice as it is.
  if (const auto Engine = OCREngineFromName(Ini.Read(Settings::Engine))) {
    const std::map<TOCREngineKind, QAction*> Items = {{TOCREngineKind::Tesseract, mnuTesseract},
                                                      {TOCREngineKind::WindowsOCR, mnuWindowsOCR},
                                                      {TOCREngineKind::EasyOCR, mnuEasyOCR}};
    Items.at(*Engine)->setChecked(true);
  }
  // Before the geometry: a change of the flag makes a new native window,
  // which Qt would place without the frame.
  if (mnuStayOnTop->isChecked())
    SetStayOnTop(true);

  // The stored values are the frame's, as WriteConfig takes them; the
  // window manager's frame (known before the window is shown where it says)
  // comes off the size, or every start would grow the window by it.
  const QMargins Margins = FPlatform.FrameExtents(this);
  const QSize FrameExtra(Margins.left() + Margins.right(), Margins.top() + Margins.bottom());
  const QRect Frame(frameGeometry().topLeft(), geometry().size() + FrameExtra);
  const int Left = Ini.Read(Settings::MainLeft, Frame.x());
  const int Top = Ini.Read(Settings::MainTop, Frame.y());
  const int Width = Ini.Read(Settings::MainWidth, Frame.width());
  const int Height = Ini.Read(Settings::MainHeight, Frame.height());
  // The client area inside that frame; Qt's move() would take the frame's
  // corner only once it has seen the frame.
  setGeometry(Left + Margins.left(), Top + Margins.top(), std::max(1, Width - FrameExtra.width()),
              std::max(1, Height - FrameExtra.height()));
}

void TFormOCR::WriteConfig() {
  TConfigIni& Ini = *FConfigIni;
  // One replacement of the file for the whole window, not one per value.
  TConfigIni::TBatch Batch(Ini);
  const QRect Frame = frameGeometry();
  Ini.Write(Settings::MainLeft, Frame.x());
  Ini.Write(Settings::MainTop, Frame.y());
  Ini.Write(Settings::MainWidth, Frame.width());
  Ini.Write(Settings::MainHeight, Frame.height());
  Ini.Write(Settings::StayOnTop, mnuStayOnTop->isChecked());
  Ini.Write(Settings::EqualArea, mnuEqualArea->isChecked());
  Ini.Write(Settings::TextLine, mnuTextLine->isChecked());
  Ini.Write(Settings::CaptureOverlay, mnuCaptureOverlay->isChecked());
  Ini.Write(Settings::Engine, OCREngineName(FPipeline->Options.Engine));
  Batch.Commit();
}
