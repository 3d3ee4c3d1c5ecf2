#include "pipeline/TranslationPipeline.h"
#include "pipeline/PipelineView.h"
#include "platform/fake/FakePlatform.h"
#include "settings/ConfigIni.h"
#include "text/LoopbackServer.h"
#include "text/RESTApi.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace {

// Records what the pipeline asks of the windows, and plays the user's
// selection.
class TRecordingView : public TPipelineView {
public:
  std::optional<TRect> Chosen;
  // Runs inside the selection, as a hotkey command would.
  std::function<void()> DuringSelection;
  std::vector<std::string> Calls;
  TIteratorResultList Shown;
  TRect ShownArea;

  std::optional<TRect> ChooseArea(const std::function<bool()>& StillWanted) override {
    Calls.push_back("choose");
    if (DuringSelection)
      DuringSelection();
    return StillWanted() ? Chosen : std::nullopt;
  }
  void HideWindowsFrom(const TRect&) override { Calls.push_back("hide windows"); }
  void RestoreWindows() override { Calls.push_back("restore windows"); }
  void ShowCapture(const QImage&) override { Calls.push_back("show capture"); }
  void HideTranslation() override { Calls.push_back("hide translation"); }
  void ShowTranslation(const TIteratorResultList& TargetList, const TRect& Area) override {
    Calls.push_back("show translation");
    Shown = TargetList;
    ShownArea = Area;
  }
};

// Answers with the lines it was given and remembers the bitmap's size.
class TScriptedEngine : public TOCREngine {
public:
  TIteratorResultList Lines;
  QSize Seen;
  std::optional<bool> Enhanced; // whether the last recognition was asked to enhance
  TIteratorResultList RecognizeLines(const QImage& Bitmap) override {
    Seen = Bitmap.size();
    Enhanced = Enhance();
    return Lines;
  }
};

TIteratorResult Line(int32_t Top, const char* Text) { return {10, Top, 200, Top + 20, Text, 1, 0, 14}; }

class TranslationPipeline : public ::testing::Test {
protected:
  void SetUp() override {
    Settings.WriteString("Translation", "Server", Server.Url());
    auto Owned = std::make_unique<TScriptedEngine>();
    Engine = Owned.get();
    Pipeline.SetEngine(TOCREngineKind::Tesseract, std::move(Owned));
  }

  QTemporaryDir Dir;
  TConfigIni Settings{Dir.filePath("Config.ini")};
  TFakePlatform Desktop;
  TRecordingView View;
  void TearDown() override { Release = true; }

  // Lets the server answer "slow"; set when the test ends.
  std::atomic<bool> Release = false;
  // Translates "x" to "T:x"; refuses "refuse" the way a server without an
  // engine for the pair does; answers "slow" only when the test ends (or
  // after twenty seconds).
  TLoopbackServer Server{[this](const httplib::Request& Request, httplib::Response& Response) {
    const auto Text = nlohmann::json::parse(Request.body).at("q").get<std::string>();
    for (int I = 0; Text == "slow" && !Release && I < 2000; ++I)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (Text == "refuse") {
      Response.status = 400;
      Response.set_content(R"({"error":"no translation engine for en→ko"})", "application/json");
      return;
    }
    Response.set_content(nlohmann::json{{"translated_text", "T:" + Text}}.dump(), "application/json");
  }};
  TTranslationPipeline Pipeline{Settings, Desktop, View};
  TScriptedEngine* Engine = nullptr;
};

TEST_F(TranslationPipeline, SelectsCapturesRecognisesTranslatesAndShowsOverTheArea) {
  View.Chosen = TRect{100, 50, 500, 250};
  Pipeline.Options.TextLine = true;
  Engine->Lines = {Line(0, "one"), Line(100, "two")};

  ASSERT_TRUE(Pipeline.SelectAreaAndTranslate());
  EXPECT_FALSE(Pipeline.FBusy);
  EXPECT_EQ(Pipeline.FSelectedRect, (TRect{100, 50, 500, 250}));
  EXPECT_EQ(Desktop.CopyCount, 1);
  EXPECT_EQ(Engine->Seen, QSize(400, 200));
  EXPECT_EQ(View.Calls, (std::vector<std::string>{"choose", "hide windows", "restore windows", "show capture",
                                                  "show translation"}));
  ASSERT_EQ(View.Shown.size(), 2u);
  EXPECT_EQ(View.Shown[0].Text, "T:one");
  EXPECT_EQ(View.Shown[1].Text, "T:two");
  EXPECT_EQ(View.ShownArea, Pipeline.FSelectedRect);
  EXPECT_EQ(View.Shown, Pipeline.FTargetList);
}

TEST_F(TranslationPipeline, TheLanguagePairComesFromTheSettings) {
  QString Error;
  Pipeline.Translate("one", Error);
  Settings.WriteString("Translation", "SourceLanguage", "de");
  Settings.WriteString("Translation", "TargetLanguage", "es");
  Pipeline.Translate("two", Error);
  const auto Requests = Server.Requests();
  ASSERT_EQ(Requests.size(), 2u);
  const auto First = nlohmann::json::parse(Requests[0].Body), Second = nlohmann::json::parse(Requests[1].Body);
  EXPECT_EQ(First.at("sl"), "en");
  EXPECT_EQ(First.at("tl"), "ko");
  EXPECT_EQ(Second.at("sl"), "de");
  EXPECT_EQ(Second.at("tl"), "es");
}

TEST_F(TranslationPipeline, ARefusingServerEndsTheCommandWithItsReasonAndKeepsTheShownResult) {
  Pipeline.FSelectedRect = {0, 0, 400, 200};
  Pipeline.Options.TextLine = true;
  Engine->Lines = {Line(0, "one")};
  Pipeline.CaptureAndTranslate(false);
  const TIteratorResultList Shown = Pipeline.FTargetList;
  ASSERT_EQ(Shown.size(), 1u);

  Engine->Lines = {Line(0, "two"), Line(100, "refuse")};
  try {
    Pipeline.SelectFullScreen();
    ADD_FAILURE() << "no exception";
  } catch (const EServerError& Refused) {
    EXPECT_NE(std::string(Refused.what()).find("no translation engine for en→ko"), std::string::npos);
  }
  EXPECT_EQ(Pipeline.FTargetList, Shown);
  EXPECT_FALSE(Pipeline.FBusy);
}

TEST_F(TranslationPipeline, ACommandThatRunsDuringTheSelectionEndsIt) {
  View.Chosen = TRect{0, 0, 10, 10};
  View.DuringSelection = [this] { Pipeline.SelectFullScreen(); };
  EXPECT_FALSE(Pipeline.SelectAreaAndTranslate());
  // The full-screen translation took the work area; the selection kept nothing.
  EXPECT_EQ(Pipeline.FSelectedRect, (TRect{0, 0, 1920, 1040}));
  EXPECT_FALSE(Pipeline.FBusy);
}

TEST_F(TranslationPipeline, TheWindowsComeBackWhenTheCopyFails) {
  Pipeline.FSelectedRect = {0, 0, 50, 50};
  Desktop.OnCopyScreen = [](const TRect&) { throw std::runtime_error("copy failed"); };
  EXPECT_THROW(Pipeline.CaptureAndTranslate(false), std::runtime_error);
  EXPECT_EQ(View.Calls, (std::vector<std::string>{"hide windows", "restore windows"}));
}

TEST_F(TranslationPipeline, WhatAnEngineThatFindsNothingDoesToTheShownResult) {
  struct TCase {
    const char* Name;
    TOCREngineKind Kind;
    bool TextLine;
    bool Hidden; // the shown result goes out of view
  };
  const TCase Cases[] = {
      {"Tesseract, segments: the result stays", TOCREngineKind::Tesseract, false, false},
      {"Tesseract, lines", TOCREngineKind::Tesseract, true, true},
      {"remote OCR", TOCREngineKind::EasyOCR, false, true},
  };
  Pipeline.SetEngine(TOCREngineKind::EasyOCR, std::make_unique<TScriptedEngine>());
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    View.Calls.clear();
    Pipeline.Options.Engine = Case.Kind;
    Pipeline.Options.TextLine = Case.TextLine;
    Pipeline.FScreenBitmap = QImage(40, 40, QImage::Format_RGB32);
    EXPECT_FALSE(Pipeline.Recognize().has_value());
    const bool Hidden = std::find(View.Calls.begin(), View.Calls.end(), "hide translation") != View.Calls.end();
    EXPECT_EQ(Hidden, Case.Hidden);
  }
  EXPECT_TRUE(Server.Requests().empty());
}

TEST_F(TranslationPipeline, TheEngineEnhancesWhenTheSettingIsOnAndNoThresholdWasChosen) {
  struct TCase {
    const char* Stored; // [OCR] Enhance, or none
    int32_t Threshold;
    bool Enhanced;
  };
  const TCase Cases[] = {
      {nullptr, -1, true}, {"1", -1, true}, {"0", -1, false}, {"1", 128, false}, {"1", 0, false},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(testing::Message() << (Case.Stored ? Case.Stored : "none") << ", threshold " << Case.Threshold);
    if (Case.Stored)
      Settings.WriteString("OCR", "Enhance", Case.Stored);
    Pipeline.FOCRThreshold = Case.Threshold;
    Pipeline.FScreenBitmap = QImage(40, 40, QImage::Format_RGB32);
    Engine->Enhanced.reset();
    Pipeline.Recognize();
    EXPECT_EQ(Engine->Enhanced, Case.Enhanced);
  }
}

TEST_F(TranslationPipeline, AnEngineThisBuildLacksFindsNothingButAMissingTesseractIsAnError) {
  Pipeline.FScreenBitmap = QImage(40, 40, QImage::Format_RGB32);
  Pipeline.Options.Engine = TOCREngineKind::WindowsOCR;
  EXPECT_FALSE(Pipeline.Recognize().has_value());
  Pipeline.SetEngine(TOCREngineKind::Tesseract, nullptr);
  Pipeline.Options.Engine = TOCREngineKind::Tesseract;
  EXPECT_THROW(Pipeline.Recognize(), std::runtime_error);
}

TEST_F(TranslationPipeline, PastItsDeadlineTheTranslationShowsTheRecordsDoneAndSaysSo) {
  struct TCase {
    const char* Name;
    std::vector<const char*> Texts;
    std::string Message;        // a part of the exception's message
    std::vector<QString> Shown; // none: the result shown before stays
  };
  const TCase Cases[] = {
      {"cut in the first request", {"slow", "two"}, "2개 중 0개만", {}},
      {"cut in the third request", {"one", "two", "slow", "four"}, "4개 중 2개만", {"T:one", "T:two"}},
  };
  Pipeline.FSelectedRect = {0, 0, 400, 200};
  Pipeline.Options.TextLine = true;
  Engine->Lines = {Line(0, "before")};
  Pipeline.CaptureAndTranslate(false);
  Pipeline.FTranslationDeadline = std::chrono::milliseconds(1000);
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    const TIteratorResultList Before = Pipeline.FTargetList;
    const size_t Sent = Server.Requests().size();
    Engine->Lines.clear();
    for (const char* Text : Case.Texts)
      Engine->Lines.push_back(Line(int32_t(Engine->Lines.size()) * 30, Text));
    try {
      Pipeline.CaptureAndTranslate(false);
      ADD_FAILURE() << "no exception";
    } catch (const ETranslationTimeout& TimedOut) {
      EXPECT_NE(std::string(TimedOut.what()).find(Case.Message), std::string::npos) << TimedOut.what();
    }
    if (Case.Shown.empty()) {
      EXPECT_EQ(Pipeline.FTargetList, Before);
    } else {
      std::vector<QString> Texts;
      for (const TIteratorResult& Record : Pipeline.FTargetList)
        Texts.push_back(Record.Text);
      EXPECT_EQ(Texts, Case.Shown);
      EXPECT_EQ(View.Shown, Pipeline.FTargetList);
    }
    // Nothing after the request that ran out of time was sent.
    const size_t Slow = std::find(Case.Texts.begin(), Case.Texts.end(), std::string("slow")) - Case.Texts.begin();
    EXPECT_EQ(Server.Requests().size() - Sent, Slow + 1);
  }
}

TEST_F(TranslationPipeline, AResultWithMoreTextsThanTheLimitIsNeitherSentNorShown) {
  Pipeline.FSelectedRect = {0, 0, 400, 200};
  Pipeline.Options.TextLine = true;
  Engine->Lines.assign(TTranslationPipeline::MaxTranslatedSegments + 1, Line(0, "x"));
  try {
    Pipeline.CaptureAndTranslate(false);
    ADD_FAILURE() << "no exception";
  } catch (const ETooManySegments& TooMany) {
    EXPECT_NE(std::string(TooMany.what()).find("2000"), std::string::npos) << TooMany.what();
  }
  EXPECT_TRUE(Server.Requests().empty());
  EXPECT_EQ(std::count(View.Calls.begin(), View.Calls.end(), "show translation"), 0);
  EXPECT_TRUE(Pipeline.FTargetList.empty());
}

} // namespace
