#include "app/SetupForm.h"

#include "core/Colors.h"
#include "ocr/OCREngine.h"
#include "settings/ConfigIni.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFontDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <exception>
#include <limits>

namespace {

constexpr int DesignClientWidth = 619;
constexpr int DesignClientHeight = 468;
constexpr int HotkeyRowsVisible = 20;
// An interval below this would capture and compare the area without pause.
constexpr int MinAutoIntervalMs = 100;
constexpr int MaxAutoIntervalMs = 3600 * 1000;
// The auto-hide time in seconds; a day is far more than anyone waits.
constexpr int MaxOverlayTimerSeconds = 24 * 3600;

QLabel* HelpLabel(const QString& Caption, const QString& Hint, QWidget* Parent) {
  auto* Label = new QLabel(Caption, Parent);
  Label->setToolTip(Hint);
  Label->setCursor(Qt::WhatsThisCursor);
  return Label;
}

QToolButton* EllipsisButton(QWidget* Parent) {
  auto* Button = new QToolButton(Parent);
  Button->setText(QStringLiteral("..."));
  return Button;
}

// A field and the label naming it, so that the label's mnemonic and screen
// readers find the field.
QLabel* Buddy(QLabel* Label, QWidget* Field) {
  Label->setBuddy(Field);
  return Label;
}

QComboBox* HotkeyBox(QWidget* Parent) {
  auto* Box = new QComboBox(Parent);
  Box->addItems(HotKeyList());
  Box->setMaxVisibleItems(HotkeyRowsVisible);
  return Box;
}

// The colour dialog answers in RGB; the settings store 0x00BBGGRR.
TColor ToTColor(const QColor& Color) { return TColor(Color.red() | (Color.green() << 8) | (Color.blue() << 16)); }

void SelectText(QComboBox* Box, const QString& Text) { Box->setCurrentIndex(Box->findText(Text, Qt::MatchExactly)); }

} // namespace

const QStringList& HotKeyList() {
  static const QStringList List = [] {
    QStringList Items;
    const auto Letters = [&Items](const QString& Prefix) {
      for (char Letter = 'A'; Letter <= 'Z'; ++Letter)
        Items << Prefix + QLatin1Char(Letter);
    };
    const auto FunctionKeys = [&Items](const QString& Prefix) {
      for (int Key = 1; Key <= 12; ++Key)
        Items << Prefix + QStringLiteral("F%1").arg(Key);
    };
    Letters(QStringLiteral("Ctrl+Alt+"));
    Letters(QStringLiteral("Ctrl+Shift+"));
    FunctionKeys(QString());
    FunctionKeys(QStringLiteral("Ctrl+"));
    FunctionKeys(QStringLiteral("Shift+"));
    Letters(QStringLiteral("Cmd+"));
    Letters(QStringLiteral("Ctrl+Cmd+"));
    return Items;
  }();
  return List;
}

TColorSwatch::TColorSwatch(QWidget* Parent) : QFrame(Parent) {
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setMinimumSize(64, 22);
}

void TColorSwatch::SetColor(const QColor& Color) {
  FColor = Color;
  update();
}

void TColorSwatch::paintEvent(QPaintEvent* Event) {
  QPainter Painter(this);
  Painter.fillRect(contentsRect(), FColor);
  Painter.end();
  QFrame::paintEvent(Event);
}

TFormSetup::TFormSetup(TConfigIni& Settings, const QStringList& Languages, QWidget* Parent)
    : QDialog(Parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      FSettings(Settings) {
  FormCreate(Languages);
}

TFormSetup::~TFormSetup() = default;

void TFormSetup::FormCreate(const QStringList& Languages) {
  setWindowTitle(QStringLiteral("환경설정"));
  setFont(QFont(QStringLiteral("Tahoma"), 10));

  // Widgets are created in reading order, row by row, which is also the
  // order the Tab key walks them.
  auto* Layout = new QVBoxLayout(this);
  Layout->addWidget(CreateTranslationGroup());
  Layout->addWidget(CreateOCRGroup(Languages));
  Layout->addWidget(CreateWindowGroup());
  Layout->addWidget(CreateHotkeyGroup());
  Layout->addStretch();

  auto* Buttons = new QHBoxLayout;
  Buttons->addStretch();
  btnOK = new QPushButton(QStringLiteral("확인"), this);
  btnOK->setDefault(true);
  Button2 = new QPushButton(QStringLiteral("취소"), this);
  Buttons->addWidget(btnOK);
  Buttons->addWidget(Button2);
  Layout->addLayout(Buttons);
  connect(btnOK, &QPushButton::clicked, this, &TFormSetup::btnOKClick);
  connect(Button2, &QPushButton::clicked, this, &QDialog::reject);

  FontDialog1 = new QFontDialog(this);
  ColorDialog1 = new QColorDialog(Qt::black, this);

  // The designed size where the captions fit in it, larger where the
  // installed fonts need more room; centred on the screen.
  // A dialog of fixed size, as its window manager frame then says too.
  setFixedSize(sizeHint().expandedTo(QSize(DesignClientWidth, DesignClientHeight)));
  if (const QScreen* Screen = screen())
    move(Screen->availableGeometry().center() - rect().center());
}

QWidget* TFormSetup::CreateTranslationGroup() {
  auto* Group = new QGroupBox(QStringLiteral("번역"), this);
  auto* Grid = new QGridLayout(Group);

  ledServer = new QLineEdit(Group);
  Grid->addWidget(Buddy(new QLabel(QStringLiteral("서버 URL"), Group), ledServer), 0, 0);
  Grid->addWidget(ledServer, 0, 1, 1, 4);

  chkTextLine = new QCheckBox(QStringLiteral("번역시 라인 단위로 번역"), Group);
  Grid->addWidget(chkTextLine, 1, 0, 1, 2);
  nbAutoInterval = new QSpinBox(Group);
  nbAutoInterval->setRange(MinAutoIntervalMs, MaxAutoIntervalMs);
  nbAutoInterval->setSingleStep(100);
  Grid->addWidget(Buddy(HelpLabel(QStringLiteral("자동 번역 간격"),
                                  QStringLiteral("자동번역을 사용하는 경우 자동번역의 시간 간격을 설정합니다."), Group),
                        nbAutoInterval),
                  1, 2);
  Grid->addWidget(nbAutoInterval, 1, 3);
  Grid->addWidget(new QLabel(QStringLiteral("(ms)"), Group), 1, 4);
  Grid->setColumnStretch(1, 1);
  return Group;
}

QWidget* TFormSetup::CreateOCRGroup(const QStringList& Languages) {
  auto* Group = new QGroupBox(QStringLiteral("OCR"), this);
  auto* Grid = new QGridLayout(Group);

  cbxOCREngine = new QComboBox(Group);
  for (TOCREngineKind Kind : {TOCREngineKind::Tesseract, TOCREngineKind::WindowsOCR, TOCREngineKind::EasyOCR})
    cbxOCREngine->addItem(OCREngineName(Kind));
  Grid->addWidget(Buddy(new QLabel(QStringLiteral("OCR 엔진"), Group), cbxOCREngine), 0, 0);
  Grid->addWidget(cbxOCREngine, 0, 1);

  cbxOCRLanguages = new QComboBox(Group);
  cbxOCRLanguages->addItems(Languages);
  cbxOCRLanguages->setCurrentIndex(Languages.isEmpty() ? -1 : 0);
  cbxOCRLanguages->setMinimumContentsLength(12);
  Grid->addWidget(
      Buddy(HelpLabel(QStringLiteral("OCR 언어"), QStringLiteral("Windows OCR에서 사용가능한 언어 목록입니다."), Group),
            cbxOCRLanguages),
      0, 2);
  Grid->addWidget(cbxOCRLanguages, 0, 3);

  chkEnhance = new QCheckBox(QStringLiteral("이미지 자동 보정"), Group);
  chkEnhance->setToolTip(QStringLiteral("OCR 전에 글자와 배경의 밝기, 작은 글자의 크기를 자동으로 보정합니다. "
                                        "이미지 전처리 설정에서 정한 값이 있으면 그 값을 사용합니다."));
  Grid->addWidget(chkEnhance, 1, 0, 1, 4);

  // Kept for the files that hold it; the dialog never offers it.
  chkOCRPreprocess = new QCheckBox(QStringLiteral("이미지 전처리"), Group);
  chkOCRPreprocess->setToolTip(QStringLiteral("OCR 정확도를 높이기 위해 이미지를 전처리한 후 OCR을 수행합니다."));
  chkOCRPreprocess->hide();
  Grid->setColumnStretch(1, 1);
  Grid->setColumnStretch(3, 1);
  return Group;
}

QWidget* TFormSetup::CreateWindowGroup() {
  auto* Group = new QGroupBox(QStringLiteral("번역창"), this);
  auto* Grid = new QGridLayout(Group);
  auto Pair = [](QWidget* Field, QToolButton* Button) {
    auto* Row = new QHBoxLayout;
    Row->setContentsMargins(0, 0, 0, 0);
    Row->addWidget(Field, 1);
    Row->addWidget(Button);
    return Row;
  };

  edFontName = new QLineEdit(Group);
  edFontName->setReadOnly(true);
  edFontName->setEnabled(false);
  sbFont = EllipsisButton(Group);
  Grid->addWidget(Buddy(new QLabel(QStringLiteral("글꼴"), Group), sbFont), 0, 0);
  Grid->addLayout(Pair(edFontName, sbFont), 0, 1);
  nbFontSize = new QSpinBox(Group);
  nbFontSize->setRange(0, 255);
  Grid->addWidget(Buddy(new QLabel(QStringLiteral("글꼴 크기"), Group), nbFontSize), 0, 2);
  auto* SizeRow = new QHBoxLayout;
  SizeRow->addWidget(nbFontSize);
  SizeRow->addWidget(new QLabel(QStringLiteral("(0이면 자동 조정)"), Group));
  SizeRow->addStretch();
  Grid->addLayout(SizeRow, 0, 3);

  plColor = new TColorSwatch(Group);
  sbFontColor = EllipsisButton(Group);
  Grid->addWidget(Buddy(new QLabel(QStringLiteral("글꼴 색상"), Group), sbFontColor), 1, 0);
  Grid->addLayout(Pair(plColor, sbFontColor), 1, 1);
  plTextBackColor = new TColorSwatch(Group);
  sbTextBackColor = EllipsisButton(Group);
  Grid->addWidget(Buddy(new QLabel(QStringLiteral("글꼴 배경색"), Group), sbTextBackColor), 1, 2);
  Grid->addLayout(Pair(plTextBackColor, sbTextBackColor), 1, 3);

  chkOverlay = new QCheckBox(QStringLiteral("텍스트가 없는 영역은 투명화 처리"), Group);
  Grid->addWidget(chkOverlay, 2, 0, 1, 2);
  nbTimer = new QSpinBox(Group);
  nbTimer->setRange(0, MaxOverlayTimerSeconds);
  Grid->addWidget(Buddy(new QLabel(QStringLiteral("다음 시간이 지나면 창을 닫음"), Group), nbTimer), 2, 2);
  auto* TimerRow = new QHBoxLayout;
  TimerRow->addWidget(nbTimer);
  TimerRow->addWidget(new QLabel(QStringLiteral("(초)"), Group));
  TimerRow->addStretch();
  Grid->addLayout(TimerRow, 2, 3);

  chkOCRResult = new QCheckBox(QStringLiteral("OCR 결과 출력"), Group);
  Grid->addWidget(chkOCRResult, 3, 0, 1, 2);
  Grid->setColumnStretch(1, 1);
  Grid->setColumnStretch(3, 1);

  connect(sbFont, &QToolButton::clicked, this, &TFormSetup::sbFontClick);
  connect(sbFontColor, &QToolButton::clicked, this, &TFormSetup::sbFontColorClick);
  connect(sbTextBackColor, &QToolButton::clicked, this, &TFormSetup::sbTextBackColorClick);
  return Group;
}

QWidget* TFormSetup::CreateHotkeyGroup() {
  auto* Group = new QGroupBox(QStringLiteral("단축키"), this);
  auto* Grid = new QGridLayout(Group);
  cbxHotkey1 = HotkeyBox(Group);
  cbxHotkey2 = HotkeyBox(Group);
  cbxHotkey3 = HotkeyBox(Group);
  cbxHotkey4 = HotkeyBox(Group);
  cbxHotkey5 = HotkeyBox(Group);
  const struct {
    QLabel* Label;
    QComboBox* Box;
  } Rows[] = {
      {new QLabel(QStringLiteral("선택 후 번역"), Group), cbxHotkey1},
      {new QLabel(QStringLiteral("번역"), Group), cbxHotkey2},
      {new QLabel(QStringLiteral("자동 번역"), Group), cbxHotkey3},
      {new QLabel(QStringLiteral("전체화면 번역"), Group), cbxHotkey4},
      {HelpLabel(QStringLiteral("마우스 번역"), QStringLiteral("마우스 위치에 있는 단락을 번역합니다."), Group),
       cbxHotkey5},
  };
  // Three to a row: label, list; label, list; label, list.
  for (int I = 0; I < 5; ++I) {
    Grid->addWidget(Buddy(Rows[I].Label, Rows[I].Box), I / 3, (I % 3) * 2);
    Grid->addWidget(Rows[I].Box, I / 3, (I % 3) * 2 + 1);
  }
  Grid->addWidget(new QLabel(QStringLiteral("* 단축키는 프로그램을 재시작해야 적용됩니다."), Group), 2, 0, 1, 6);
  for (int Column : {1, 3, 5})
    Grid->setColumnStretch(Column, 1);
  return Group;
}

void TFormSetup::showEvent(QShowEvent* Event) {
  QDialog::showEvent(Event);
  if (Event->spontaneous())
    return; // shown again after being minimised: the user's edits stay
  try {
    ReadConfig();
  } catch (...) {
    // A value the dialog cannot show must not be overwritten by what the
    // controls happen to hold: the dialog closes, and the error goes to
    // the default error box from the dialog's own event loop, once that
    // loop runs and can be ended.
    QTimer::singleShot(0, this, [this, Error = std::current_exception()] {
      reject();
      std::rethrow_exception(Error);
    });
  }
}

void TFormSetup::ReadConfig() {
  TConfigIni& Ini = FSettings;
  ledServer->setText(Ini.Read(Settings::Server));
  chkTextLine->setChecked(Ini.Read(Settings::TextLine));
  nbAutoInterval->setValue(Ini.Read(Settings::AutoIntervalInDialog));
  nbTimer->setValue(Ini.Read(Settings::OverlayTimer));
  edFontName->setText(Ini.Read(Settings::FontName));
  nbFontSize->setValue(Ini.Read(Settings::FontSize));
  chkOverlay->setChecked(Ini.Read(Settings::OverlayAtCreation));

  const QString FontColor = Ini.Read(Settings::FontColor);
  plColor->SetColor(ColorToQColor(StringToColor(FontColor)));
  plColor->SetCaption(FontColor);
  // A missing key shows the painting default but stores the dialog's own.
  plTextBackColor->SetColor(ColorToQColor(StringToColor(Ini.Read(Settings::TextBackColor))));
  plTextBackColor->SetCaption(Ini.Read(Settings::TextBackColorInDialog));

  chkOCRPreprocess->setChecked(Ini.Read(Settings::Preprocess));
  chkOCRResult->setChecked(Ini.Read(Settings::OCRResult));
  chkEnhance->setChecked(Ini.Read(Settings::Enhance));
  SelectText(cbxOCREngine, Ini.Read(Settings::Engine));
  const int Language = Ini.Read(Settings::OCRLanguage);
  cbxOCRLanguages->setCurrentIndex(Language >= 0 && Language < cbxOCRLanguages->count() ? Language : -1);

  SelectText(cbxHotkey1, Ini.Read(Settings::HotKey1));
  SelectText(cbxHotkey2, Ini.Read(Settings::HotKey2));
  SelectText(cbxHotkey3, Ini.Read(Settings::HotKey3));
  SelectText(cbxHotkey4, Ini.Read(Settings::HotKey4));
  SelectText(cbxHotkey5, Ini.Read(Settings::HotKey5));
}

void TFormSetup::WriteConfig() {
  TConfigIni& Ini = FSettings;
  // One replacement of the file: a failed write leaves every key as it was.
  TConfigIni::TBatch Batch(Ini);
  Ini.Write(Settings::Server, ledServer->text());
  Ini.Write(Settings::TextLine, chkTextLine->isChecked());
  Ini.Write(Settings::AutoInterval, nbAutoInterval->value());
  Ini.Write(Settings::OverlayTimer, nbTimer->value());
  Ini.Write(Settings::FontName, edFontName->text());
  Ini.Write(Settings::FontSize, nbFontSize->value());
  Ini.Write(Settings::FontColor, plColor->Caption());
  Ini.Write(Settings::TextBackColor, plTextBackColor->Caption());
  Ini.Write(Settings::OverlayAtCreation, chkOverlay->isChecked());
  Ini.Write(Settings::Preprocess, chkOCRPreprocess->isChecked());
  Ini.Write(Settings::Engine, cbxOCREngine->currentText());
  Ini.Write(Settings::OCRLanguage, cbxOCRLanguages->currentIndex());
  Ini.Write(Settings::OCRResult, chkOCRResult->isChecked());
  Ini.Write(Settings::HotKey1, cbxHotkey1->currentText());
  Ini.Write(Settings::HotKey2, cbxHotkey2->currentText());
  Ini.Write(Settings::HotKey3, cbxHotkey3->currentText());
  Ini.Write(Settings::HotKey4, cbxHotkey4->currentText());
  Ini.Write(Settings::HotKey5, cbxHotkey5->currentText());
  Ini.Write(Settings::Enhance, chkEnhance->isChecked());
  Batch.Commit();
}

void TFormSetup::sbFontClick() {
  QFont Current(edFontName->text());
  if (nbFontSize->value() > 0)
    Current.setPointSize(nbFontSize->value());
  FontDialog1->setCurrentFont(Current);
  if (FontDialog1->exec() != QDialog::Accepted)
    return;
  edFontName->setText(FontDialog1->selectedFont().family());
  // The font dialog's colour is the desktop's window-text colour, and the
  // font colour takes it; the size keeps the number field's value.
  const TColor WindowText = *IdentToColor(QStringLiteral("clWindowText"));
  plColor->SetColor(ColorToQColor(WindowText));
  plColor->SetCaption(ColorToString(WindowText));
}

void TFormSetup::sbFontColorClick() { PickColor(plColor); }

void TFormSetup::sbTextBackColorClick() { PickColor(plTextBackColor); }

void TFormSetup::PickColor(TColorSwatch* Swatch) {
  // The dialog opens with the last colour confirmed in it, not the swatch's.
  ColorDialog1->setCurrentColor(FLastColor);
  if (ColorDialog1->exec() != QDialog::Accepted)
    return;
  FLastColor = ColorDialog1->selectedColor();
  const TColor Chosen = ToTColor(FLastColor);
  Swatch->SetColor(ColorToQColor(Chosen));
  Swatch->SetCaption(ColorToString(Chosen));
}

void TFormSetup::btnOKClick() {
  // A failed write keeps the dialog open: the error box says why, and the
  // user may try again or cancel.
  WriteConfig();
  accept();
}
