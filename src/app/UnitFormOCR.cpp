#include "app/UnitFormOCR.h"

#include "app/HotKeyCommands.h"

#include "app/Application.h"
#include "app/EngineSetup.h"
#include "app/ToolImages.h"
#include "capture/AreaSelection.h"
#include "capture/SelectForm.h"
#include "core/ReusableMemory.h"
#include "core/ScopeExit.h"
#include "overlay/TranslateForm.h"
#include "platform/Platform.h"
#include "settings/ConfigIni.h"
#include "settings/SettingsLocation.h"

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
    if (!FEngineSetup->LoadNow())
      FStartFailed = true;
  } else {
    FController->Commands().SetReady(false);
    FEngineSetup->LoadInBackground([this](bool DataLoaded) {
      if (DataLoaded) {
        FController->Commands().SetReady(true);
        return;
      }
      FStartFailed = true;
      FController->Commands().Clear();
      close();
    });
  }
  // Recognising a large capture frees tens of megabytes at once, which the
  // C library keeps in the heap unless asked; without this the resident
  // memory would stay at the mark of the largest capture ever made. Handing
  // it back costs the next recognition the page faults of fetching it anew
  // (a tenth of a full-screen recognition), so it is done only once the
  // user has stopped asking for a few seconds: translations in a row reuse
  // the heap and the kept picture blocks (ReusableMemory.h) as they are.
  FRepaintCheck.setInterval(2);
  FRepaintCheck.setTimerType(Qt::PreciseTimer);
  connect(&FRepaintCheck, &QTimer::timeout, this, &TFormOCR::CheckRepaint);
  FMemoryRelease.setSingleShot(true);
  FMemoryRelease.setInterval(3000);
  connect(&FMemoryRelease, &QTimer::timeout, this, [this] {
    // Not while a job works: trimming the heap under a recognition that
    // allocates on the worker holds the GUI thread for as long as it takes.
    if (!FPipeline->IsIdle()) {
      FMemoryRelease.start();
      return;
    }
    ReusableMemory::Release();
    malloc_trim(0);
  });
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

  FController = std::make_unique<TController>(*FConfigIni, FPlatform, *FPipeline, static_cast<TControllerView&>(*this),
                                              TimerAction, *this);
  ReadConfig();

  FEngineSetup = std::make_unique<TEngineSetup>(FAppDir, *FConfigIni, FPlatform, *FPipeline);
  FEngineSetup->OnLibraryError = [](const QString& Message) { ShowException(Message); };
  FEngineSetup->OnDataMissing = [this](const QString& Why) {
    // The window closes after it, so this box may wait for the user.
    QMessageBox Box(QMessageBox::Critical, ApplicationTitle, QStringLiteral("Error loading Tesseract data"),
                    QMessageBox::Ok, this);
    Box.setTextFormat(Qt::PlainText);
    Box.setInformativeText(Why);
    Box.exec();
  };

  // Closing ends the program also while a message box or dialog is open.
  FPlatform.HandleCloseRequests(this, [this] { close(); });

  FSelectionForm = std::make_unique<TSelectionForm>(this, FPlatform);
  FAreaSelection = std::make_unique<TAreaSelection>(FPlatform, *FSelectionForm);
  FTranslateForm = std::make_unique<TTranslationForm>(this, *FConfigIni, FPlatform);
  connect(FTranslateForm.get(), &TTranslationForm::PaintFailed, this,
          [this](const QString& Message) { ShowError(Message); });
  setWindowTitle(ApplicationTitle);
}

TFormOCR::~TFormOCR() {
  FController.reset(); // unregisters the hotkeys
  FRepaintCheck.stop();
  FRepaintWait.reset(); // a copy still waiting goes with the pipeline
  FEngineSetup.reset(); // a load under way, the desktop's recogniser
  FPipeline.reset();    // the engines and the shown result
  FAreaSelection.reset();
  FSelectionForm.reset();
  FTranslateForm.reset(); // writes its own geometry, so the store must still exist
  FConfigIni.reset();
}

bool TFormOCR::Loading() const { return FEngineSetup->Loading(); }
TTesseractOCR5* TFormOCR::Tesseract() const { return FEngineSetup->Tesseract(); }
TOcrService& TFormOCR::OcrService() { return FEngineSetup->OcrService(); }
TRtOcr& TFormOCR::RtOcr() { return FEngineSetup->RtOcr(); }

void TFormOCR::SyncPipelineOptions() {
  TTranslationPipeline::TOptions& Options = FPipeline->Options;
  Options.Engine = mnuWindowsOCR->isChecked() ? TOCREngineKind::WindowsOCR
                   : mnuEasyOCR->isChecked()  ? TOCREngineKind::EasyOCR
                                              : TOCREngineKind::Tesseract;
  Options.TextLine = mnuTextLine->isChecked();
  Options.OCROnly = mnuOCROnly->isChecked();
}

void TFormOCR::closeEvent(QCloseEvent* Event) {
  TimerAction.stop();
  // A selection or job in progress ends; nothing of it is shown.
  FPipeline->Cancel();
  try {
    WriteConfig();
  } catch (const std::exception& Error) {
    // The window still closes, once the user has learnt which settings
    // were not kept; the file's path is shown as it is, never as markup.
    QMessageBox Box(QMessageBox::Critical, ApplicationTitle, QString::fromUtf8(Error.what()), QMessageBox::Ok, this);
    Box.setTextFormat(Qt::PlainText);
    Box.exec();
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

  // Every engine follows the menu's line-by-line choice; the stored value
  // follows the menu at once, so the two never differ.
  connect(mnuTextLine, &QAction::triggered, this,
          [this](bool Checked) { FConfigIni->Write(Settings::TextLine, Checked); });
  for (QAction* Choice : {mnuTesseract, mnuWindowsOCR, mnuEasyOCR, mnuTextLine, mnuOCROnly})
    connect(Choice, &QAction::toggled, this, &TFormOCR::SyncPipelineOptions);
  SyncPipelineOptions();

  // Through the command queue, as remote commands are: one at a time.
  using TCommand = TCommandQueue::TCommand;
  connect(ActSelectArea, &QAction::triggered, this, [this] {
    RunCommand(QStringLiteral("select-translate"),
               TCommand([this](TDone Done) { FController->ActSelectAreaExecute(Done); }));
  });
  connect(ActTranslate, &QAction::triggered, this, [this] {
    RunCommand(QStringLiteral("translate"), TCommand([this](TDone Done) { FController->ActTranslateExecute(Done); }));
  });
  connect(ActSelectFullScreen, &QAction::triggered, this, [this] {
    RunCommand(QStringLiteral("full-screen"),
               TCommand([this](TDone Done) { FController->ActSelectFullScreenExecute(Done); }));
  });
  connect(mnuSelectArea, &QAction::triggered, this, [this] {
    RunCommand(QStringLiteral("select-area"), TCommand([this](TDone Done) { FController->mnuSelectAreaClick(Done); }));
  });
  connect(mnuViewArea, &QAction::triggered, this, &TFormOCR::mnuViewAreaClick);
  connect(ActAutoTranslate, &QAction::triggered, this, [this] { FController->AutoTranslateButton(); });
  connect(mnuAutoTranslate, &QAction::triggered, this,
          [this](bool Checked) { FController->mnuAutoTranslateClick(Checked); });
  connect(ActSetup, &QAction::triggered, this, &TFormOCR::ActSetupExecute);
  connect(mnuSelectOCRResult, &QAction::triggered, this,
          [this] { RunCommand(QStringLiteral("picker"), [this] { mnuSelectOCRResultClick(); }); });
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
