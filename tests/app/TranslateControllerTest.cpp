#include "app/UnitFormOCR.h"
#include "overlay/TranslateForm.h"
#include "platform/fake/FakePlatform.h"
#include "settings/ConfigIni.h"
#include "text/LoopbackServer.h"
#include "text/RESTApi.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include "support/TestRuntime.h"
#include <nlohmann/json.hpp>

#include <atomic>
#include <memory>

namespace {

using nlohmann::json;

constexpr int WaitMs = 60000;

TIteratorResult Record(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom, const QString& Text) {
  TIteratorResult R;
  R.Left = Left;
  R.Top = Top;
  R.Right = Right;
  R.Bottom = Bottom;
  R.Text = Text;
  R.Count = 2;
  R.MaxLength = 5;
  R.FFontSize = 14;
  return R;
}

const TIteratorResultList ThreeSegments = {Record(0, 0, 100, 20, "First one."), Record(0, 40, 90, 60, "Second."),
                                           Record(5, 80, 120, 100, "Third")};

// An engine that finds the records it was given in every capture.
class TListEngine : public TOCREngine {
public:
  explicit TListEngine(TIteratorResultList Records) : FRecords(std::move(Records)) {}
  TIteratorResultList RecognizeLines(const QImage&) override { return FRecords; }

private:
  TIteratorResultList FRecords;
};

// The translation server of these tests: "/translate" answers "번역:" and the
// text, and refuses "refuse" as a server without the language pair does;
// "/ocr" answers whatever the test put in OCRReply. FailAt makes the n-th
// translation (counted from 1) fail with a reply that is not JSON.
struct TServerScript {
  std::atomic<int> Translations = 0;
  std::atomic<int> FailAt = 0;
  std::string OCRReply = "[]";
};

class TranslateController : public ::testing::Test {
protected:
  void SetUp() override {
    {
      TConfigIni Ini(Runtime.IniPath());
      Ini.WriteString("Translation", "Server", Server.Url());
    }
    // A start-up failure shows a modal box; answer it so the test fails
    // instead of waiting for a user.
    TMessageBoxAnswerer User;
    Form = std::make_unique<TFormOCR>(Runtime.Path(), Desktop);
    ASSERT_FALSE(Form->StartFailed()) << User.Texts().join('\n').toStdString();
    Form->Pipeline().SetSelectedRect({100, 200, 500, 400});
  }

  void TearDown() override { Form.reset(); }

  // The window's translation of the selected area, to its end.
  void Translate() {
    auto Ended = std::make_shared<bool>(false);
    Form->CaptureAndTranslate(false, [Ended] { *Ended = true; });
    ASSERT_TRUE(WaitUntil([Ended] { return *Ended; }, WaitMs));
    EXPECT_TRUE(Form->Idle());
  }
  // The same, where the engine finds List, line by line.
  void TranslateList(const TIteratorResultList& List) {
    Form->Pipeline().SetEngine(TOCREngineKind::Tesseract, std::make_unique<TListEngine>(List));
    Form->mnuTesseract->setChecked(true);
    Form->mnuTextLine->setChecked(true);
    Translate();
  }

  // The texts of the error boxes open now, which are then closed.
  static QStringList TakeErrorBoxes() {
    QStringList Texts;
    for (QWidget* Window : QApplication::topLevelWidgets()) {
      auto* Box = qobject_cast<QMessageBox*>(Window);
      if (!Box || !Box->isVisible())
        continue;
      EXPECT_TRUE(Box->property("KorvexError").toBool()) << Box->text().toStdString();
      EXPECT_EQ(Box->windowModality(), Qt::NonModal);
      Texts << Box->text();
      Box->close();
    }
    return Texts;
  }

  // The texts sent to /translate, in order, after checking the fixed members.
  std::vector<QString> TranslatedTexts() const {
    std::vector<QString> Texts;
    for (const auto& Request : Server.Requests()) {
      if (Request.Path != "/translate")
        continue;
      const json Body = json::parse(Request.Body);
      EXPECT_EQ(Body.at("sl"), "en");
      EXPECT_EQ(Body.at("tl"), "ko");
      EXPECT_EQ(Body.at("hn"), "N");
      Texts.push_back(QString::fromStdString(Body.at("q").get<std::string>()));
    }
    return Texts;
  }

  std::vector<QString> TargetTexts() const {
    std::vector<QString> Texts;
    for (const auto& R : Form->Pipeline().TargetList())
      Texts.push_back(R.Text);
    return Texts;
  }

  TServerScript Script;
  TLoopbackServer Server{[this](const httplib::Request& Request, httplib::Response& Response) {
    if (Request.path == "/ocr") {
      Response.set_content(Script.OCRReply, "application/json");
      return;
    }
    const int Number = ++Script.Translations;
    if (Number == Script.FailAt) {
      Response.set_content("busy", "text/plain");
      return;
    }
    const std::string Text = json::parse(Request.body).at("q").get<std::string>();
    if (Text == "refuse") {
      Response.status = 400;
      Response.set_content(R"({"error":"no translation engine for en→ko"})", "application/json");
      return;
    }
    Response.set_content(json{{"translated_text", "번역:" + Text}}.dump(), "application/json");
  }};
  TTestRuntimeFolder Runtime;
  TFakePlatform Desktop;
  std::unique_ptr<TFormOCR> Form;
};

TEST_F(TranslateController, TranslatesEveryRecordInOrderAndShowsThemOverTheArea) {
  TranslateList(ThreeSegments);
  EXPECT_EQ(TranslatedTexts(), (std::vector<QString>{"First one.", "Second.", "Third"}));
  ASSERT_EQ(Form->Pipeline().TargetList().size(), 3u);
  for (size_t I = 0; I < 3; ++I) {
    TIteratorResult Expected = ThreeSegments[I];
    Expected.Text = QStringLiteral("번역:") + ThreeSegments[I].Text;
    EXPECT_EQ(Form->Pipeline().TargetList()[I], Expected);
  }
  EXPECT_TRUE(Form->FTranslateForm->isVisible());
  EXPECT_EQ(Form->FTranslateForm->geometry(), QRect(100, 200, 400, 200));
  EXPECT_TRUE(TakeErrorBoxes().isEmpty());
}

TEST_F(TranslateController, WithoutEqualAreaTheOverlayKeepsItsPlace) {
  Form->mnuEqualArea->setChecked(false);
  Form->FTranslateForm->setGeometry(10, 20, 300, 100);
  TranslateList(ThreeSegments);
  EXPECT_TRUE(Form->FTranslateForm->isVisible());
  EXPECT_EQ(Form->FTranslateForm->geometry(), QRect(10, 20, 300, 100));
}

TEST_F(TranslateController, AFailureStopsTheLoopShowsItsMessageAndNothingElse) {
  TranslateList({Record(1, 2, 3, 4, "earlier")});
  Form->FTranslateForm->hide();
  const TIteratorResultList Shown = Form->Pipeline().TargetList();

  Script.Translations = 0;
  Script.FailAt = 2;
  TranslateList(ThreeSegments);
  EXPECT_EQ(Script.Translations, 2);
  EXPECT_EQ(TakeErrorBoxes(), QStringList{QString::fromUtf16(TranslateReplyMessage)});
  EXPECT_FALSE(Form->FTranslateForm->isVisible());
  // The list the overlay paints from still holds the last shown result.
  EXPECT_EQ(Form->Pipeline().TargetList(), Shown);
}

// No server and a refusing one: one error box each, with the client's or the
// server's own words, and the result on screen stays as it was.
TEST_F(TranslateController, NoServerAndARefusalEachShowOneErrorBoxAndKeepTheShownResult) {
  struct TCase {
    const char* Name;
    QString Server; // empty: the test's own
    QString Text;   // the one record found
    QString Message;
  };
  const TCase Cases[] = {
      {"no server running", UnusedLoopbackUrl(), "Second.", QString::fromUtf16(TranslateTransportMessage)},
      {"a refusing server", {}, "refuse", "no translation engine for en→ko"},
  };
  TranslateList({Record(1, 2, 30, 40, "earlier")});
  ASSERT_EQ(TargetTexts(), std::vector<QString>{"번역:earlier"});
  const TIteratorResultList Shown = Form->Pipeline().TargetList();
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    Form->Settings().WriteString("Translation", "Server", Case.Server.isEmpty() ? Server.Url() : Case.Server);
    TranslateList({Record(1, 2, 30, 40, Case.Text)});
    const QStringList Boxes = TakeErrorBoxes();
    ASSERT_EQ(Boxes.size(), 1);
    EXPECT_TRUE(Boxes[0].contains(Case.Message)) << Boxes[0].toStdString();
    EXPECT_TRUE(Form->FTranslateForm->isVisible());
    EXPECT_EQ(Form->Pipeline().TargetList(), Shown);
  }
}

// The same command pressed again while one fails is not run after it: it
// would only wait as long again for the same failure.
TEST_F(TranslateController, ARepeatOfAFailingCommandIsNotQueued) {
  Form->Pipeline().SetEngine(TOCREngineKind::Tesseract,
                             std::make_unique<TListEngine>(TIteratorResultList{Record(1, 2, 30, 40, "refuse")}));
  Form->mnuTesseract->setChecked(true);
  Form->mnuTextLine->setChecked(true);
  Form->ActTranslate->trigger();
  Form->ActTranslate->trigger(); // waits for the first
  ASSERT_TRUE(WaitUntil([this] { return Form->Idle(); }, WaitMs));
  EXPECT_EQ(TranslatedTexts().size(), 1u);
  EXPECT_EQ(TakeErrorBoxes().size(), 1);
  // Pressed once more afterwards, it runs.
  Form->ActTranslate->trigger();
  ASSERT_TRUE(WaitUntil([this] { return Form->Idle(); }, WaitMs));
  EXPECT_EQ(TranslatedTexts().size(), 2u);
}

TEST_F(TranslateController, OCROnlySendsNothingAndShowsTheRecognisedText) {
  Form->mnuOCROnly->setChecked(true);
  TranslateList(ThreeSegments);
  EXPECT_TRUE(Server.Requests().empty());
  EXPECT_EQ(Form->Pipeline().TargetList(), ThreeSegments);
  EXPECT_TRUE(Form->FTranslateForm->isVisible());
}

TEST_F(TranslateController, OCRResultJoinsTextAndTranslationWithU0002) {
  Form->Settings().WriteBool("OCR", "OCRResult", true);
  TranslateList(ThreeSegments);
  const QChar Join(0x0002);
  EXPECT_EQ(TargetTexts(),
            (std::vector<QString>{"First one." + QString(Join) + "번역:First one.",
                                  "Second." + QString(Join) + "번역:Second.", "Third" + QString(Join) + "번역:Third"}));
}

// The settings are read as a translation starts: one translation asks one
// server, and a server changed meanwhile serves the next one.
TEST_F(TranslateController, TheServerIsReadForEveryTranslation) {
  // The first server's handler points the settings at a second server.
  TLoopbackServer Second([](const httplib::Request&, httplib::Response& Response) {
    Response.set_content(R"({"translated_text":"second"})", "application/json");
  });
  const QString IniPath = Runtime.IniPath();
  TLoopbackServer First([&](const httplib::Request&, httplib::Response& Response) {
    TConfigIni(IniPath).WriteString("Translation", "Server", Second.Url());
    Response.set_content(R"({"translated_text":"first"})", "application/json");
  });
  Form->Settings().WriteString("Translation", "Server", First.Url());
  TranslateList(ThreeSegments);
  EXPECT_EQ(TargetTexts(), (std::vector<QString>{"first", "first", "first"}));
  TranslateList(ThreeSegments);
  EXPECT_EQ(TargetTexts(), (std::vector<QString>{"second", "second", "second"}));
}

// Words of two lines close together and one line further down, as /ocr
// returns them.
const std::string ThreeLinesOfWords = R"([
  {"left":10,"top":10,"right":50,"bottom":30,"text":"Hello"},
  {"left":60,"top":11,"right":110,"bottom":31,"text":"there,"},
  {"left":10,"top":35,"right":60,"bottom":55,"text":"dear"},
  {"left":70,"top":35,"right":120,"bottom":55,"text":"reader."},
  {"left":10,"top":150,"right":60,"bottom":170,"text":"Bye"}
])";

TEST_F(TranslateController, EasyOCRGroupsWordsIntoSegmentsUnlessTheMenuSaysLines) {
  Script.OCRReply = ThreeLinesOfWords;
  Form->mnuEasyOCR->setChecked(true);
  Form->mnuShowCaputure->setChecked(true);
  Form->mnuOCROnly->setChecked(true);

  // The stored setting says lines; the menu (segments) decides.
  Form->Settings().WriteBool("Translation", "TextLine", true);
  Form->mnuTextLine->setChecked(false);
  Translate();
  EXPECT_EQ(TargetTexts(), (std::vector<QString>{"Hello there, dear reader.", "Bye"}));
  ASSERT_FALSE(Form->Pipeline().TargetList().empty());
  EXPECT_EQ(Form->Pipeline().TargetList()[0].Count, 2);
  EXPECT_EQ(Form->Pipeline().TargetList()[0].FFontSize, 14);
  EXPECT_EQ(Form->Image1->pixmap().size(), QSize(400, 200));
  const auto Requests = Server.Requests();
  ASSERT_EQ(Requests.size(), 1u);
  EXPECT_EQ(Requests[0].Path, "/ocr");
  EXPECT_EQ(Requests[0].Header("paragraph"), "False");
  EXPECT_EQ(Requests[0].Body.substr(0, 2), "BM");

  // The user switches to lines in the menu, which the stored setting follows;
  // and on through translation to the overlay.
  Form->mnuTextLine->trigger();
  ASSERT_TRUE(Form->mnuTextLine->isChecked());
  EXPECT_TRUE(TConfigIni(Runtime.IniPath()).ReadBool("Translation", "TextLine", false));
  Form->mnuOCROnly->setChecked(false);
  Translate();
  EXPECT_EQ(TargetTexts(), (std::vector<QString>{"번역:Hello there,", "번역:dear reader.", "번역:Bye"}));
  EXPECT_TRUE(Form->FTranslateForm->isVisible());
}

TEST_F(TranslateController, WhatEasyOCRFindingNothingOrFailingDoesToTheOverlay) {
  struct TCase {
    const char* Name;
    std::string Reply;
    bool Reachable;
    bool Hidden;     // the overlay goes out of view
    QString Message; // the one error box; none: no box
  };
  const TCase Cases[] = {
      {"no words", "[]", true, true, {}},
      {"words whose texts are all empty: nothing is left after grouping",
       R"([{"left":1,"top":1,"right":9,"bottom":9,"text":""},{"left":1,"top":30,"right":9,"bottom":40,"text":""}])",
       true,
       true,
       {}},
      {"a malformed reply", R"([{"left":1.5,"top":1,"right":9,"bottom":9,"text":"x"}])", true, false,
       QString::fromUtf16(OCRReplyMessage)},
      {"no server running", "[]", false, false, QString::fromUtf16(OCRTransportMessage)},
  };
  Form->mnuEasyOCR->setChecked(true);
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    Script.OCRReply = Case.Reply;
    Form->Settings().WriteString("Translation", "Server", Case.Reachable ? Server.Url() : UnusedLoopbackUrl());
    Form->FTranslateForm->show();
    Translate();
    EXPECT_EQ(!Form->FTranslateForm->isVisible(), Case.Hidden);
    EXPECT_EQ(TakeErrorBoxes(), Case.Message.isEmpty() ? QStringList() : QStringList{Case.Message});
  }
  EXPECT_TRUE(TranslatedTexts().empty());
}

TEST_F(TranslateController, NoAreaNoRecognition) {
  Form->mnuEasyOCR->setChecked(true);
  Form->Pipeline().SetSelectedRect({});
  Form->FTranslateForm->show();
  Translate();
  EXPECT_TRUE(Server.Requests().empty());
  EXPECT_EQ(Desktop.CopyCount, 0);
  EXPECT_TRUE(Form->FTranslateForm->isVisible());
}

// The screen white, with Lines written at the selected area's corner.
void PutTextOnScreen(TFakePlatform& Desktop, const QStringList& Lines) {
  Desktop.Screen = QImage(Desktop.ScreenSize, QImage::Format_RGB32);
  Desktop.Screen.fill(Qt::white);
  QPainter Painter(&Desktop.Screen);
  Painter.setPen(Qt::black);
  Painter.setFont(QFont("DejaVu Sans", 32));
  for (int I = 0; I < Lines.size(); ++I)
    Painter.drawText(130, 270 + 70 * I, Lines[I]);
}

TEST_F(TranslateController, TesseractLinesBecomeSegmentsUnlessTheMenuSaysLines) {
  PutTextOnScreen(Desktop, {"The quick brown fox", "jumps over the dog"});
  Form->Pipeline().SetSelectedRect({100, 200, 1000, 400});
  Form->mnuTesseract->setChecked(true);
  Form->mnuOCROnly->setChecked(true);
  Form->mnuTextLine->setChecked(true);
  Translate();
  const TIteratorResultList Lines = Form->Pipeline().TargetList();
  ASSERT_EQ(Lines.size(), 2u);
  Form->mnuTextLine->setChecked(false);
  Translate();
  const TIteratorResultList& Segments = Form->Pipeline().TargetList();
  ASSERT_EQ(Segments.size(), 1u);
  EXPECT_EQ(Segments[0].Count, 2);
  EXPECT_EQ(Segments[0].Text, Lines[0].Text + " " + Lines[1].Text);
}

TEST_F(TranslateController, TesseractFindingNothing) {
  PutTextOnScreen(Desktop, {});
  Form->mnuTesseract->setChecked(true);
  Form->mnuOCROnly->setChecked(true);
  // Segment mode: the overlay is left as it was.
  Form->mnuTextLine->setChecked(false);
  Form->FTranslateForm->show();
  Translate();
  EXPECT_TRUE(Form->FTranslateForm->isVisible());
  // Line mode: the empty line list hides the overlay.
  Form->mnuTextLine->setChecked(true);
  Translate();
  EXPECT_FALSE(Form->FTranslateForm->isVisible());
  EXPECT_TRUE(TakeErrorBoxes().isEmpty());
}

} // namespace
