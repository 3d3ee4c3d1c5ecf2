#include "app/UnitFormOCR.h"

#include "app/ConfigIni.h"
#include "app/ToolImages.h"
#include "capture/SelectForm.h"
#include "ocr/tesseractocr.h"
#include "overlay/TranslateForm.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QToolButton>
#include <QVBoxLayout>

const QString ApplicationTitle = QStringLiteral("Korvex v0.1");

namespace {
constexpr int DesignLeft = 200;
constexpr int DesignTop = 200;
constexpr int DesignClientWidth = 373;
constexpr int DesignClientHeight = 273;
constexpr int ToolPanelHeight = 68;
constexpr int ToolButtonWidth = 70;
} // namespace

TFormOCR::TFormOCR(const QString& AppDir, QWidget* Parent)
    : QMainWindow(Parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint),
      FAppDir(QDir(AppDir).absolutePath()) {
  FormCreate();
}

void TFormOCR::FormCreate() {
  setWindowTitle(ApplicationTitle);
  setFont(QFont(QStringLiteral("Tahoma"), 8));
  FSelectedRect = {};
  FBusy = false;
  FOCRThreshold = -1;

  FConfigIni = std::make_unique<TConfigIni>(QDir(FAppDir).filePath(QStringLiteral("Config.ini")));
  ConfigIni = FConfigIni.get();

  auto* Central = new QWidget(this);
  CreateMenus();
  CreateToolPanel(Central);
  setCentralWidget(Central);
  move(DesignLeft, DesignTop);
  resize(DesignClientWidth, DesignClientHeight + menuBar()->sizeHint().height());

  // Global hotkeys are registered here once their support exists.
  ReadConfig();

  if (!CreateEngines()) {
    QMessageBox::critical(this, ApplicationTitle, QStringLiteral("Error loading Tesseract data"), QMessageBox::Ok);
    FStartFailed = true;
  }

  FTargetList.clear();
  FSelectionForm = std::make_unique<TSelectionForm>(this);
  FTranslateForm = std::make_unique<TTranslationForm>(this);
  setWindowTitle(ApplicationTitle);
}

TFormOCR::~TFormOCR() {
  Tesseract.reset();
  FTargetList.clear();
  FSelectionForm.reset();
  FTranslateForm.reset(); // writes its own geometry, so the store must still exist
  ConfigIni = nullptr;
  FConfigIni.reset();
}

void TFormOCR::closeEvent(QCloseEvent* Event) {
  TimerAction.stop();
  try {
    WriteConfig();
  } catch (const std::exception& Error) {
    // The window still closes; the user learns which settings were not kept.
    QMessageBox::critical(this, ApplicationTitle, QString::fromUtf8(Error.what()), QMessageBox::Ok);
  }
  Event->accept();
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
  connect(mnuShowCaputure, &QAction::triggered, this, [](bool Checked) {
    ConfigIni->WriteBool(QStringLiteral("Capture"), QStringLiteral("ShowCaptureImage"), Checked);
  });

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

  // Commands whose handlers are not in this build yet stay disabled, so the
  // menu never offers something that silently does nothing.
  for (QAction* Pending : {ActAutoTranslate, ActSetup, mnuSelectOCRResult, mnuAutoTranslate, mnuWindowsOCR})
    Pending->setEnabled(false);

  connect(ActSelectArea, &QAction::triggered, this, &TFormOCR::ActSelectAreaExecute);
  connect(ActTranslate, &QAction::triggered, this, &TFormOCR::ActTranslateExecute);
  connect(ActSelectFullScreen, &QAction::triggered, this, &TFormOCR::ActSelectFullScreenExecute);
  connect(mnuSelectArea, &QAction::triggered, this, &TFormOCR::mnuSelectAreaClick);
  connect(mnuViewArea, &QAction::triggered, this, &TFormOCR::mnuViewAreaClick);
}

void TFormOCR::CreateToolPanel(QWidget* Central) {
  auto* Layout = new QVBoxLayout(Central);
  Layout->setContentsMargins(0, 0, 0, 0);
  Layout->setSpacing(0);

  auto* Panel = new QWidget(Central);
  Panel->setFixedHeight(ToolPanelHeight);
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
    Button->setIconSize(QSize(ToolImageSize, ToolImageSize));
    Button->setFixedSize(ToolButtonWidth, ToolPanelHeight);
    Buttons->addWidget(Button);
  }
  Buttons->addStretch();
  Layout->addWidget(Panel);

  Image1 = new QLabel(Central);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Image1->setMinimumSize(1, 1);
  Image1->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
  Layout->addWidget(Image1, 1);
}

void TFormOCR::SetStayOnTop(bool OnTop) {
  const bool WasVisible = isVisible();
  setWindowFlag(Qt::WindowStaysOnTopHint, OnTop);
  if (WasVisible)
    show();
}

void TFormOCR::ReadConfig() {
  const QString General = QStringLiteral("General");
  const QRect Frame = frameGeometry();
  const QSize FrameExtra = Frame.size() - geometry().size();
  const int Left = ConfigIni->ReadInteger(General, QStringLiteral("Left"), Frame.x());
  const int Top = ConfigIni->ReadInteger(General, QStringLiteral("Top"), Frame.y());
  const int Width = ConfigIni->ReadInteger(General, QStringLiteral("Width"), Frame.width());
  const int Height = ConfigIni->ReadInteger(General, QStringLiteral("Height"), Frame.height());
  move(Left, Top);
  resize(std::max(1, Width - FrameExtra.width()), std::max(1, Height - FrameExtra.height()));

  mnuEqualArea->setChecked(ConfigIni->ReadBool(QStringLiteral("TranslationWindow"), QStringLiteral("EqualArea"), true));
  mnuStayOnTop->setChecked(ConfigIni->ReadBool(General, QStringLiteral("StayOnTop"), false));
  mnuCaptureOverlay->setChecked(ConfigIni->ReadBool(QStringLiteral("Capture"), QStringLiteral("Overlay"), false));
  TimerAction.setInterval(ConfigIni->ReadInteger(QStringLiteral("Translation"), QStringLiteral("AutoInterval"), 1000));
  mnuTextLine->setChecked(ConfigIni->ReadBool(QStringLiteral("Translation"), QStringLiteral("TextLine"), false));
  mnuShowCaputure->setChecked(ConfigIni->ReadBool(QStringLiteral("Capture"), QStringLiteral("ShowCaptureImage"), true));
  const QString Engine =
      ConfigIni->ReadString(QStringLiteral("OCR"), QStringLiteral("Engine"), QStringLiteral("Tesseract"));
  if (Engine == QLatin1String("Tesseract"))
    mnuTesseract->setChecked(true);
  else if (Engine == QLatin1String("Windows OCR"))
    mnuWindowsOCR->setChecked(true);
  else if (Engine == QLatin1String("EasyOCR"))
    mnuEasyOCR->setChecked(true);
  if (mnuStayOnTop->isChecked())
    SetStayOnTop(true);
}

void TFormOCR::WriteConfig() {
  const QString General = QStringLiteral("General");
  const QRect Frame = frameGeometry();
  ConfigIni->WriteInteger(General, QStringLiteral("Left"), Frame.x());
  ConfigIni->WriteInteger(General, QStringLiteral("Top"), Frame.y());
  ConfigIni->WriteInteger(General, QStringLiteral("Width"), Frame.width());
  ConfigIni->WriteInteger(General, QStringLiteral("Height"), Frame.height());
  ConfigIni->WriteBool(General, QStringLiteral("StayOnTop"), mnuStayOnTop->isChecked());
  ConfigIni->WriteBool(QStringLiteral("TranslationWindow"), QStringLiteral("EqualArea"), mnuEqualArea->isChecked());
  ConfigIni->WriteBool(QStringLiteral("Translation"), QStringLiteral("TextLine"), mnuTextLine->isChecked());
  ConfigIni->WriteBool(QStringLiteral("Capture"), QStringLiteral("Overlay"), mnuCaptureOverlay->isChecked());
  ConfigIni->WriteString(QStringLiteral("OCR"), QStringLiteral("Engine"),
                         mnuWindowsOCR->isChecked() ? QStringLiteral("Windows OCR")
                         : mnuEasyOCR->isChecked()  ? QStringLiteral("EasyOCR")
                                                    : QStringLiteral("Tesseract"));
}
