#include "app/SetupForm.h"
#include "app/Application.h"
#include "app/UnitFormOCR.h"
#include "platform/fake/FakePlatform.h"
#include "settings/ConfigIni.h"

#include <QAction>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QEventLoop>
#include <QFile>
#include <QFontDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QToolButton>

#include <gtest/gtest.h>

#include "support/TestRuntime.h"

namespace {

const QStringList Languages = {QStringLiteral("English (United States)"), QStringLiteral("한국어")};

class SetupForm : public ::testing::Test {
protected:
  QString IniPath() const { return Dir.filePath(QStringLiteral("Config.ini")); }
  void WriteFile(const QByteArray& Data) {
    QFile File(IniPath());
    ASSERT_TRUE(File.open(QIODevice::WriteOnly));
    File.write(Data);
  }
  QByteArray FileData() const {
    QFile File(IniPath());
    return File.open(QIODevice::ReadOnly) ? File.readAll() : QByteArray("<no file>");
  }
  // The file's non-empty lines, section headers included, in file order.
  QStringList FileLines() const {
    QStringList Lines = QString::fromUtf8(FileData()).split(QLatin1Char('\n'));
    Lines.removeAll(QString());
    return Lines;
  }

  QTemporaryDir Dir;
  TConfigIni Ini{IniPath()};
};

TEST_F(SetupForm, ConfirmingWithoutChangesWritesEveryKeyInOrderWithTheDialogsDefaults) {
  TFormSetup Dialog(Ini, Languages);
  Dialog.show();
  // The swatch shows the painting default while the stored text is the
  // dialog's own.
  EXPECT_EQ(Dialog.plTextBackColor->Color(), QColor(0x80, 0x80, 0x80));
  EXPECT_EQ(Dialog.plTextBackColor->Caption(), "$00E2E2E2");
  EXPECT_EQ(Dialog.plColor->Color(), QColor(Qt::black));
  EXPECT_TRUE(Dialog.chkOCRPreprocess->isHidden());
  EXPECT_TRUE(Dialog.chkEnhance->isVisible());
  Dialog.btnOK->click();
  EXPECT_EQ(Dialog.result(), QDialog::Accepted);
  EXPECT_EQ(FileLines(), QStringList({
                             "[Translation]",       "Server=http://127.0.0.1:5000",
                             "TextLine=0",          "AutoInterval=2000",
                             "[TranslationWindow]", "Timer=0",
                             "FontName=맑은 고딕",  "FontSize=14",
                             "FontColor=clBlack",   "TextBackColor=$00E2E2E2",
                             "Overlay=1",           "[OCR]",
                             "Preprocess=0",        "Engine=Tesseract",
                             "Language=0",          "OCRResult=0",
                             "Enhance=1",           "[General]",
                             "HotKey1=Ctrl+Alt+C",  "HotKey2=Ctrl+Alt+T",
                             "HotKey3=Ctrl+Alt+A",  "HotKey4=Ctrl+Alt+F",
                             "HotKey5=Ctrl+Alt+Z",
                         }));
}

TEST_F(SetupForm, StoredValuesAreShownAndWrittenBackUnchanged) {
  WriteFile("[Translation]\nServer=http://10.0.0.1:8080\nTextLine=1\nAutoInterval=750\n"
            "[TranslationWindow]\nTimer=7\nFontName=굴림체\nFontSize=0\nFontColor=$00112233\n"
            "TextBackColor=clInfoBk\nOverlay=0\n"
            "[OCR]\nPreprocess=1\nEngine=EasyOCR\nLanguage=1\nOCRResult=1\nEnhance=0\n"
            "[General]\nHotKey1=F5\nHotKey2=Ctrl+Cmd+Q\nHotKey3=Shift+F12\nHotKey4=Ctrl+Shift+B\nHotKey5=Ctrl+F1\n");
  const QByteArray Before = FileData();
  TFormSetup Dialog(Ini, Languages);
  Dialog.show();
  EXPECT_EQ(Dialog.ledServer->text(), "http://10.0.0.1:8080");
  EXPECT_EQ(Dialog.nbAutoInterval->value(), 750);
  EXPECT_EQ(Dialog.edFontName->text(), "굴림체");
  EXPECT_EQ(Dialog.plColor->Color(), QColor(0x33, 0x22, 0x11)); // stored blue, green, red
  EXPECT_EQ(Dialog.cbxOCRLanguages->currentText(), "한국어");
  EXPECT_EQ(Dialog.cbxHotkey2->currentText(), "Ctrl+Cmd+Q");
  Dialog.btnOK->click();
  EXPECT_EQ(FileData(), Before);
}

TEST_F(SetupForm, ValuesOutsideTheListsOrRangesAreWrittenAsNoneOrTheNearestEnd) {
  struct TCase {
    const char* Section;
    const char* Key;
    const char* Stored;
    const char* Written;
  };
  const TCase Cases[] = {
      {"General", "HotKey3", "Ctrl+Alt+1", ""}, // not in the hotkey list
      {"General", "HotKey1", "ctrl+alt+c", ""}, // the list compares case
      {"OCR", "Engine", "tesseract", ""},       // nor an engine name in another case
      {"OCR", "Engine", "Windows OCR", "Windows OCR"},
      {"OCR", "Language", "2", "-1"}, // one past the end of two languages
      {"OCR", "Language", "-4", "-1"},
      {"OCR", "Language", "$1", "1"},
      // Numbers beyond a field's range come back at its nearest end.
      {"TranslationWindow", "FontSize", "300", "255"},
      {"Translation", "AutoInterval", "0", "100"}, // no capture loop without a pause
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(std::string(Case.Key) + "=" + Case.Stored);
    Ini.WriteString(Case.Section, Case.Key, QString::fromUtf8(Case.Stored));
    TFormSetup Dialog(Ini, Languages);
    Dialog.show();
    Dialog.btnOK->click();
    EXPECT_EQ(Ini.ReadString(Case.Section, Case.Key, "<missing>"), QString::fromUtf8(Case.Written));
  }
}

TEST_F(SetupForm, EveryHotkeyListHoldsTheSame140KeysInOrder) {
  const QStringList& Keys = HotKeyList();
  ASSERT_EQ(Keys.size(), 140);
  const std::pair<int, const char*> Marks[] = {
      {0, "Ctrl+Alt+A"}, {25, "Ctrl+Alt+Z"},  {26, "Ctrl+Shift+A"}, {51, "Ctrl+Shift+Z"}, {52, "F1"},
      {63, "F12"},       {64, "Ctrl+F1"},     {76, "Shift+F1"},     {87, "Shift+F12"},    {88, "Cmd+A"},
      {113, "Cmd+Z"},    {114, "Ctrl+Cmd+A"}, {139, "Ctrl+Cmd+Z"}};
  for (const auto& [Index, Text] : Marks)
    EXPECT_EQ(Keys[Index], Text) << Index;
  EXPECT_EQ(QStringList(Keys).removeDuplicates(), 0);
  TFormSetup Dialog(Ini, Languages);
  for (QComboBox* Box :
       {Dialog.cbxHotkey1, Dialog.cbxHotkey2, Dialog.cbxHotkey3, Dialog.cbxHotkey4, Dialog.cbxHotkey5}) {
    ASSERT_EQ(Box->count(), 140);
    for (int I = 0; I < 140; ++I)
      ASSERT_EQ(Box->itemText(I), Keys[I]);
    EXPECT_EQ(Box->maxVisibleItems(), 20);
  }
}

TEST_F(SetupForm, CancelLeavesTheFileByteForByteAfterFontAndColoursWerePicked) {
  // Comments, odd spacing and CRLF line ends: all must survive.
  WriteFile("; mine\r\n[TranslationWindow]\r\nFontName = Tahoma\r\nFontColor=clRed\r\n\r\n[Other]\r\nX=1\r\n");
  const QByteArray Before = FileData();
  TFormSetup Dialog(Ini, Languages);
  Dialog.show();
  {
    TNextDialog<QFontDialog> User([](QFontDialog* Fonts) {
      QFont Chosen = Fonts->currentFont();
      Chosen.setFamily(QStringLiteral("Noto Sans CJK KR"));
      Chosen.setPointSize(30);
      Fonts->setCurrentFont(Chosen);
      Fonts->accept();
    });
    Dialog.sbFont->click();
    ASSERT_TRUE(User.Seen);
  }
  // The font's name comes over, its size does not, and the font colour
  // becomes the desktop's window-text colour.
  EXPECT_EQ(Dialog.edFontName->text(), "Noto Sans CJK KR");
  EXPECT_EQ(Dialog.nbFontSize->value(), 14);
  EXPECT_EQ(Dialog.plColor->Caption(), "clWindowText");
  EXPECT_EQ(Dialog.plColor->Color(), QApplication::palette().color(QPalette::Active, QPalette::Text));
  {
    TNextDialog<QColorDialog> User([](QColorDialog* Colors) {
      Colors->setCurrentColor(QColor(0x12, 0x34, 0x56));
      Colors->accept();
    });
    Dialog.sbTextBackColor->click();
    ASSERT_TRUE(User.Seen);
  }
  EXPECT_EQ(Dialog.plTextBackColor->Caption(), "$00563412");
  Dialog.Button2->click();
  EXPECT_EQ(Dialog.result(), QDialog::Rejected);
  EXPECT_EQ(FileData(), Before);
}

TEST_F(SetupForm, TheColourDialogOpensWithTheLastColourConfirmedInIt) {
  TFormSetup Dialog(Ini, Languages);
  Dialog.show();
  std::vector<QColor> OpenedWith;
  auto Pick = [&](QToolButton* Button, std::optional<QColor> Choice) {
    TNextDialog<QColorDialog> User([&](QColorDialog* Colors) {
      OpenedWith.push_back(Colors->currentColor());
      if (!Choice)
        return Colors->reject();
      Colors->setCurrentColor(*Choice);
      Colors->accept();
    });
    Button->click();
    ASSERT_TRUE(User.Seen);
  };
  Pick(Dialog.sbFontColor, QColor(Qt::red));
  Pick(Dialog.sbTextBackColor, QColor(Qt::green)); // opens red, not the swatch's grey
  Pick(Dialog.sbFontColor, std::nullopt);          // opens green; cancelled
  Pick(Dialog.sbTextBackColor, QColor(0xE2, 0xE2, 0xE2));
  EXPECT_EQ(OpenedWith,
            (std::vector<QColor>{QColor(Qt::black), QColor(Qt::red), QColor(Qt::green), QColor(Qt::green)}));
  EXPECT_EQ(Dialog.plColor->Caption(), "clRed");
  EXPECT_EQ(Dialog.plColor->Color(), QColor(Qt::red));
  EXPECT_EQ(Dialog.plTextBackColor->Caption(), "$00E2E2E2");
}

TEST_F(SetupForm, AColourThatIsNoColourFailsShowingWithTheConversionErrorAndWritesNothing) {
  WriteFile("[TranslationWindow]\nTextBackColor=greyish\n");
  const QByteArray Before = FileData();
  TMessageBoxAnswerer User;
  TFormSetup Dialog(Ini, Languages);
  QTimer::singleShot(5000, &Dialog, [&] { Dialog.btnOK->click(); }); // a dialog left open fails the test
  EXPECT_EQ(Dialog.exec(), QDialog::Rejected);
  // The error box does not wait: it is answered once it shows.
  ASSERT_TRUE(WaitUntil([&] { return !User.Boxes.empty(); }));
  EXPECT_EQ(User.Texts(), QStringList{"'greyish' is not a valid integer value"});
  EXPECT_EQ(FileData(), Before);
}

TEST_F(SetupForm, AFailedWriteKeepsTheDialogOpenAndTheErrorReachesTheErrorBox) {
  // A folder where the file should be: the replacement cannot happen.
  ASSERT_TRUE(QDir(Dir.path()).mkdir(QStringLiteral("Config.ini")));
  TMessageBoxAnswerer User;
  TFormSetup Dialog(Ini, Languages);
  QTimer::singleShot(0, &Dialog, [&] { Dialog.btnOK->click(); });
  QTimer::singleShot(300, &Dialog, [&] {
    EXPECT_TRUE(Dialog.isVisible());
    Dialog.Button2->click();
  });
  EXPECT_EQ(Dialog.exec(), QDialog::Rejected);
  ASSERT_TRUE(WaitUntil([&] { return !User.Boxes.empty(); }));
  ASSERT_EQ(User.Boxes.size(), 1u);
  EXPECT_TRUE(User.Boxes[0].Text.startsWith("Unable to write to ")) << User.Boxes[0].Text.toStdString();
}

// The command "환경 설정" in the main window: the dialog opens, and after OK
// the window's own options follow the file.
TEST(SetupCommand, ConfirmingReloadsTheMainWindowsSettings) {
  TTestRuntimeFolder Runtime;
  TFakePlatform Desktop;
  Desktop.Ocr.Languages = {{"de-DE", "Deutsch (Deutschland)", "Deutsch (Deutschland)", "Latin"},
                           {"ko-KR", "한국어 (대한민국)", "한국어 (대한민국)", "Hangul"}};
  TMessageBoxAnswerer Boxes;
  TFormOCR Form(Runtime.Path(), Desktop);
  ASSERT_FALSE(Form.StartFailed()) << Boxes.Texts().join('\n').toStdString();
  Form.show();
  ASSERT_TRUE(Form.ActSetup->isEnabled());
  Form.TimerAction.start(); // automatic translation running
  QStringList Listed;
  TNextDialog<TFormSetup> User([&Listed](TFormSetup* Dialog) {
    for (int I = 0; I < Dialog->cbxOCRLanguages->count(); ++I)
      Listed << Dialog->cbxOCRLanguages->itemText(I);
    Dialog->nbAutoInterval->setValue(3500);
    Dialog->cbxOCREngine->setCurrentText(QStringLiteral("EasyOCR"));
    Dialog->chkTextLine->setChecked(true);
    Dialog->btnOK->click();
  });
  Form.ActSetup->trigger();
  ASSERT_TRUE(User.Seen);
  EXPECT_EQ(Listed, QStringList({"Deutsch (Deutschland)", "한국어 (대한민국)"})); // the desktop's, in its order
  EXPECT_FALSE(Form.TimerAction.isActive());
  EXPECT_EQ(Form.TimerAction.interval(), 3500);
  EXPECT_TRUE(Form.mnuEasyOCR->isChecked());
  EXPECT_TRUE(Form.mnuTextLine->isChecked());
  EXPECT_EQ(Form.Pipeline().Options.Engine, TOCREngineKind::EasyOCR);

  // Cancel leaves the window's options alone.
  TNextDialog<TFormSetup> Canceller([](TFormSetup* Dialog) {
    Dialog->nbAutoInterval->setValue(9000);
    Dialog->Button2->click();
  });
  Form.ActSetup->trigger();
  ASSERT_TRUE(Canceller.Seen);
  EXPECT_EQ(Form.TimerAction.interval(), 3500);
}

} // namespace

int main(int argc, char** argv) {
  qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
  TApplication App(argc, argv);
  InstallFontSubstitutes();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
