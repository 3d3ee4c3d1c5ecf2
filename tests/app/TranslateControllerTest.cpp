#include "app/UnitFormOCR.h"
#include "overlay/TranslateForm.h"
#include "platform/fake/FakePlatform.h"
#include "settings/ConfigIni.h"
#include "text/LoopbackServer.h"

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

namespace {

using nlohmann::json;

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

// The translation server of these tests: "/translate" answers "번역:" and the
// text; "/ocr" answers whatever the test put in OCRReply. FailAt makes the
// n-th translation (counted from 1) fail with a reply that is not JSON.
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
    Form->Pipeline().FSelectedRect = {100, 200, 500, 400};
  }

  void TearDown() override { Form.reset(); }

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
    for (const auto& R : Form->Pipeline().FTargetList)
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
    const json Reply = {{"translated_text", "번역:" + json::parse(Request.body).at("q").get<std::string>()}};
    Response.set_content(Reply.dump(), "application/json");
  }};
  TTestRuntimeFolder Runtime;
  TFakePlatform Desktop;
  std::unique_ptr<TFormOCR> Form;
};

TEST_F(TranslateController, TranslatesEveryRecordInOrderAndShowsThemOverTheArea) {
  ASSERT_TRUE(Form->TranslateOCRList(ThreeSegments));
  EXPECT_EQ(TranslatedTexts(), (std::vector<QString>{"First one.", "Second.", "Third"}));
  ASSERT_EQ(Form->Pipeline().FTargetList.size(), 3u);
  for (size_t I = 0; I < 3; ++I) {
    TIteratorResult Expected = ThreeSegments[I];
    Expected.Text = QStringLiteral("번역:") + ThreeSegments[I].Text;
    EXPECT_EQ(Form->Pipeline().FTargetList[I], Expected);
  }
  EXPECT_TRUE(Form->FTranslateForm->isVisible());
  EXPECT_EQ(Form->FTranslateForm->geometry(), QRect(100, 200, 400, 200));
}

TEST_F(TranslateController, WithoutEqualAreaTheOverlayKeepsItsPlace) {
  Form->mnuEqualArea->setChecked(false);
  Form->FTranslateForm->setGeometry(10, 20, 300, 100);
  ASSERT_TRUE(Form->TranslateOCRList(ThreeSegments));
  EXPECT_TRUE(Form->FTranslateForm->isVisible());
  EXPECT_EQ(Form->FTranslateForm->geometry(), QRect(10, 20, 300, 100));
}

TEST_F(TranslateController, AFailureStopsTheLoopAndShowsNothing) {
  ASSERT_TRUE(Form->TranslateOCRList({Record(1, 2, 3, 4, "earlier")}));
  Form->FTranslateForm->hide();
  const TIteratorResultList Shown = Form->Pipeline().FTargetList;

  Script.Translations = 0;
  Script.FailAt = 2;
  EXPECT_FALSE(Form->TranslateOCRList(ThreeSegments));
  EXPECT_EQ(Script.Translations, 2);
  EXPECT_FALSE(Form->FTranslateForm->isVisible());
  // The list the overlay paints from still holds the last shown result.
  EXPECT_EQ(Form->Pipeline().FTargetList, Shown);
}

TEST_F(TranslateController, AnUnreachableServerShowsNothing) {
  Form->Settings().WriteString("Translation", "Server", UnusedLoopbackUrl());
  EXPECT_FALSE(Form->TranslateOCRList(ThreeSegments));
  EXPECT_FALSE(Form->FTranslateForm->isVisible());
}

TEST_F(TranslateController, OCROnlySendsNothingAndShowsTheRecognisedText) {
  Form->mnuOCROnly->setChecked(true);
  ASSERT_TRUE(Form->TranslateOCRList(ThreeSegments));
  EXPECT_TRUE(Server.Requests().empty());
  EXPECT_EQ(Form->Pipeline().FTargetList, ThreeSegments);
  EXPECT_TRUE(Form->FTranslateForm->isVisible());
}

TEST_F(TranslateController, OCRResultJoinsTextAndTranslationWithU0002) {
  Form->Settings().WriteBool("OCR", "OCRResult", true);
  ASSERT_TRUE(Form->TranslateOCRList(ThreeSegments));
  const QChar Join(0x0002);
  EXPECT_EQ(TargetTexts(),
            (std::vector<QString>{"First one." + QString(Join) + "번역:First one.",
                                  "Second." + QString(Join) + "번역:Second.", "Third" + QString(Join) + "번역:Third"}));
}

TEST_F(TranslateController, TheServerIsReadForEveryRecord) {
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
  ASSERT_TRUE(Form->TranslateOCRList(ThreeSegments));
  EXPECT_EQ(TargetTexts(), (std::vector<QString>{"first", "second", "second"}));
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

std::vector<QString> Texts(const TIteratorResultList& List) {
  std::vector<QString> Result;
  for (const auto& R : List)
    Result.push_back(R.Text);
  return Result;
}

TEST_F(TranslateController, EasyOCRGroupsWordsIntoSegmentsUnlessTheStoredSettingSaysLines) {
  Script.OCRReply = ThreeLinesOfWords;
  Form->mnuEasyOCR->setChecked(true);
  Form->mnuShowCaputure->setChecked(true);
  Form->Pipeline().FScreenBitmap = QImage(200, 180, QImage::Format_RGB32);
  Form->Pipeline().FScreenBitmap->fill(Qt::white);

  // The menu item says lines; the stored setting (false) decides.
  Form->mnuTextLine->setChecked(true);
  const auto Segments = Form->Recognize();
  ASSERT_TRUE(Segments);
  EXPECT_EQ(Texts(*Segments), (std::vector<QString>{"Hello there, dear reader.", "Bye"}));
  EXPECT_EQ((*Segments)[0].Count, 2);
  EXPECT_EQ((*Segments)[0].FFontSize, 14);
  EXPECT_EQ(Form->Image1->pixmap().size(), QSize(200, 180));
  const auto Requests = Server.Requests();
  ASSERT_EQ(Requests.size(), 1u);
  EXPECT_EQ(Requests[0].Path, "/ocr");
  EXPECT_EQ(Requests[0].Header("paragraph"), "False");
  EXPECT_EQ(Requests[0].Body.substr(0, 2), "BM");

  Form->Settings().WriteBool("Translation", "TextLine", true);
  Form->mnuTextLine->setChecked(false);
  const auto Lines = Form->Recognize();
  ASSERT_TRUE(Lines);
  EXPECT_EQ(Texts(*Lines), (std::vector<QString>{"Hello there,", "dear reader.", "Bye"}));

  // And on through translation to the overlay.
  ASSERT_TRUE(Form->TranslateOCRList(*Lines));
  EXPECT_EQ(TargetTexts(), (std::vector<QString>{"번역:Hello there,", "번역:dear reader.", "번역:Bye"}));
  EXPECT_TRUE(Form->FTranslateForm->isVisible());
}

TEST_F(TranslateController, EasyOCRFindingNothingHidesTheOverlay) {
  Form->mnuEasyOCR->setChecked(true);
  Form->Pipeline().FScreenBitmap = QImage(50, 50, QImage::Format_RGB32);
  Form->Pipeline().FScreenBitmap->fill(Qt::white);
  const std::string Replies[] = {
      "[]",
      // Words whose texts are all empty: nothing is left after grouping.
      R"([{"left":1,"top":1,"right":9,"bottom":9,"text":""},{"left":1,"top":30,"right":9,"bottom":40,"text":""}])",
      // A malformed reply is a failed request, not an error box.
      R"([{"left":1.5,"top":1,"right":9,"bottom":9,"text":"x"}])"};
  for (const std::string& Reply : Replies) {
    Script.OCRReply = Reply;
    Form->FTranslateForm->show();
    EXPECT_FALSE(Form->Recognize()) << Reply;
    EXPECT_FALSE(Form->FTranslateForm->isVisible()) << Reply;
  }
  Form->Settings().WriteString("Translation", "Server", UnusedLoopbackUrl());
  Form->FTranslateForm->show();
  EXPECT_FALSE(Form->Recognize());
  EXPECT_FALSE(Form->FTranslateForm->isVisible());
}

TEST_F(TranslateController, NoCaptureNoRecognition) {
  Form->mnuEasyOCR->setChecked(true);
  Form->FTranslateForm->show();
  EXPECT_FALSE(Form->Recognize());
  EXPECT_TRUE(Server.Requests().empty());
  EXPECT_TRUE(Form->FTranslateForm->isVisible());
}

QImage TextImage(const QStringList& Lines) {
  QImage Image(900, 60 + 70 * Lines.size(), QImage::Format_RGB32);
  Image.fill(Qt::white);
  QPainter Painter(&Image);
  Painter.setPen(Qt::black);
  Painter.setFont(QFont("DejaVu Sans", 32));
  for (int I = 0; I < Lines.size(); ++I)
    Painter.drawText(30, 70 + 70 * I, Lines[I]);
  return Image;
}

TEST_F(TranslateController, TesseractLinesBecomeSegmentsUnlessTheMenuSaysLines) {
  Form->mnuTesseract->setChecked(true);
  Form->Pipeline().FScreenBitmap = TextImage({"The quick brown fox", "jumps over the dog"});
  Form->mnuTextLine->setChecked(true);
  const auto Lines = Form->Recognize();
  ASSERT_TRUE(Lines);
  ASSERT_EQ(Lines->size(), 2u);
  Form->mnuTextLine->setChecked(false);
  const auto Segments = Form->Recognize();
  ASSERT_TRUE(Segments);
  ASSERT_EQ(Segments->size(), 1u);
  EXPECT_EQ((*Segments)[0].Count, 2);
  EXPECT_EQ((*Segments)[0].Text, (*Lines)[0].Text + " " + (*Lines)[1].Text);
}

TEST_F(TranslateController, TesseractFindingNothing) {
  Form->mnuTesseract->setChecked(true);
  Form->Pipeline().FScreenBitmap = QImage(200, 100, QImage::Format_RGB32);
  Form->Pipeline().FScreenBitmap->fill(Qt::white);
  // Segment mode: no list, and the overlay is left as it was.
  Form->mnuTextLine->setChecked(false);
  Form->FTranslateForm->show();
  EXPECT_FALSE(Form->Recognize());
  EXPECT_TRUE(Form->FTranslateForm->isVisible());
  // Line mode: the empty line list hides the overlay.
  Form->mnuTextLine->setChecked(true);
  EXPECT_FALSE(Form->Recognize());
  EXPECT_FALSE(Form->FTranslateForm->isVisible());
}

} // namespace
