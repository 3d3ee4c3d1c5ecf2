#pragma once

#include <QColor>
#include <QDialog>
#include <QFrame>
#include <QStringList>

class QCheckBox;
class QColorDialog;
class QComboBox;
class QFontDialog;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QToolButton;
class TConfigIni;

// The 140 hotkey texts every hotkey list of the settings dialog offers, in
// the dialog's order. The "Cmd+" ones are kept for files that hold them; the
// hotkey parser does not know them, so such a hotkey stays unregistered.
const QStringList& HotKeyList();

// A colour swatch: the colour the user sees, and beside it the colour's text
// as Config.ini stores it ("clGray", "$00E2E2E2"). The two may disagree: a
// missing TextBackColor shows clGray but is stored as "$00E2E2E2".
class TColorSwatch : public QFrame {
  Q_OBJECT

public:
  explicit TColorSwatch(QWidget* Parent = nullptr);

  QColor Color() const { return FColor; }
  void SetColor(const QColor& Color);
  // Never shown; what confirming the dialog writes.
  const QString& Caption() const { return FCaption; }
  void SetCaption(const QString& Caption) { FCaption = Caption; }

protected:
  void paintEvent(QPaintEvent* Event) override;

private:
  QColor FColor;
  QString FCaption;
};

// The settings dialog ("환경설정"): reads Config.ini each time it is shown
// and writes every one of its keys when the user confirms; Cancel writes
// nothing. A stored colour that is neither a name nor a number makes showing
// fail with the conversion error; the dialog then closes without writing.
class TFormSetup : public QDialog {
  Q_OBJECT

public:
  // Languages: the display names of the OS OCR languages, in the engine's
  // order; [OCR] Language is a position in it. Settings must outlive the
  // dialog.
  TFormSetup(TConfigIni& Settings, const QStringList& Languages, QWidget* Parent = nullptr);
  ~TFormSetup() override;

  // Loads every control from the settings, with the dialog's own defaults.
  void ReadConfig();
  // Stores every control, changed or not, in one replacement of the file.
  void WriteConfig();

  // "번역"
  QLineEdit* ledServer = nullptr;
  QCheckBox* chkTextLine = nullptr;
  QSpinBox* nbAutoInterval = nullptr;
  // "OCR"
  QComboBox* cbxOCREngine = nullptr;
  QCheckBox* chkOCRPreprocess = nullptr; // hidden; its value is still stored
  QComboBox* cbxOCRLanguages = nullptr;
  QCheckBox* chkEnhance = nullptr;
  // "번역창"
  QLineEdit* edFontName = nullptr;
  QToolButton* sbFont = nullptr;
  QSpinBox* nbFontSize = nullptr;
  TColorSwatch* plColor = nullptr;
  QToolButton* sbFontColor = nullptr;
  TColorSwatch* plTextBackColor = nullptr;
  QToolButton* sbTextBackColor = nullptr;
  QCheckBox* chkOverlay = nullptr;
  QSpinBox* nbTimer = nullptr;
  QCheckBox* chkOCRResult = nullptr;
  // "단축키"
  QComboBox* cbxHotkey1 = nullptr;
  QComboBox* cbxHotkey2 = nullptr;
  QComboBox* cbxHotkey3 = nullptr;
  QComboBox* cbxHotkey4 = nullptr;
  QComboBox* cbxHotkey5 = nullptr;

  QPushButton* btnOK = nullptr;
  QPushButton* Button2 = nullptr; // "취소"

  // Created with the dialog; the colour dialog serves both colour buttons
  // and opens with the colour it last had.
  QFontDialog* FontDialog1 = nullptr;
  QColorDialog* ColorDialog1 = nullptr;

protected:
  void showEvent(QShowEvent* Event) override;

private:
  void FormCreate(const QStringList& Languages);
  QWidget* CreateTranslationGroup();
  QWidget* CreateOCRGroup(const QStringList& Languages);
  QWidget* CreateWindowGroup();
  QWidget* CreateHotkeyGroup();

  void sbFontClick();
  void sbFontColorClick();
  void sbTextBackColorClick();
  void PickColor(TColorSwatch* Swatch);
  void btnOKClick();

  TConfigIni& FSettings;
  QColor FLastColor = Qt::black;
};
