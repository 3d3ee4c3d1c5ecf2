#include "pipeline/TranslationPipeline.h"
#include "pipeline/PipelineView.h"
#include "platform/fake/FakePlatform.h"
#include "settings/ConfigIni.h"
#include "text/LoopbackServer.h"
#include "text/OCRLayout.h"
#include "text/RESTApi.h"

#include <QCoreApplication>
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

// Whether recognition enhances the capture: only with [OCR] Enhance on (the
// default) and no threshold chosen in the preprocessing picker.
struct TEnhanceCase {
  const char* Stored; // [OCR] Enhance, or none
  int32_t Threshold;
  bool Enhanced;
};
const TEnhanceCase EnhanceCases[] = {
    {nullptr, -1, true}, {"1", -1, true}, {"0", -1, false}, {"1", 128, false}, {"1", 0, false},
};

TEST_F(TranslationPipeline, TheEngineEnhancesWhenTheSettingIsOnAndNoThresholdWasChosen) {
  for (const TEnhanceCase& Case : EnhanceCases) {
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

namespace {

const TOcrLanguage English{"en-US", "English (United States)", "English (United States)", "Latin"};
const TOcrLanguage Korean{"ko-KR", "Korean (South Korea)", "한국어 (대한민국)", "Korean"};

TRtOcr::TWord Word(const char* Text, float X, float Y, float Width, float Height) {
  return {Text, {X, Y, Width, Height}};
}

TOcrResult ServiceResult(const TRtOcr::TLines& Lines) {
  TOcrResult Result;
  for (const TRtOcr::TLine& Line : Lines) {
    TOcrLine& Added = Result.Lines.emplace_back();
    Added.Text = Line.Text;
    for (const TRtOcr::TWord& W : Line.Words)
      Added.Words.push_back({W.Text, {W.Rect.X, W.Rect.Y, W.Rect.Width, W.Rect.Height}});
  }
  return Result;
}

// The pipeline with the desktop's recogniser wired as the main window wires it.
class WindowsOCRPipeline : public TranslationPipeline {
protected:
  void SetUp() override {
    TranslationPipeline::SetUp();
    Desktop.Ocr.Languages = {English, Korean};
    RtOcr.OnCompleted = [this](TRtOcr*, const TRtOcr::TResult& Result, void*) { Pipeline.RtOcrCompleted(Result); };
    Pipeline.SetRtOcr(&RtOcr);
    Pipeline.FOCRLanguages = RtOcr.GetAvailableLanguages();
    Pipeline.Options.Engine = TOCREngineKind::WindowsOCR;
    Pipeline.FSelectedRect = {100, 100, 500, 300};
  }
  // The service ends the oldest recognition on its thread; the result
  // reaches the pipeline through the event loop.
  void Finish(TOcrAsyncStatus Status, const TRtOcr::TLines& Lines = {}) {
    ASSERT_TRUE(Desktop.Ocr.Complete(Status, ServiceResult(Lines)));
    QCoreApplication::processEvents();
  }
  bool Called(const char* Call) const {
    return std::find(View.Calls.begin(), View.Calls.end(), Call) != View.Calls.end();
  }

  TRtOcr RtOcr{Desktop.Ocr};
};

TEST_F(WindowsOCRPipeline, RecognisesTheCaptureInTheConfiguredLanguageAndTranslatesTheLinesWhenTheyArrive) {
  Settings.Write(::Settings::OCRLanguage, 1);
  Settings.Write(::Settings::TextLine, true);
  Pipeline.CaptureAndTranslate(false);
  ASSERT_EQ(Desktop.Ocr.Operations.size(), 1u);
  EXPECT_EQ(Desktop.Ocr.Operations[0]->Language(), Korean);
  EXPECT_EQ(Desktop.Ocr.Operations[0]->Bitmap()->Width(), 400);
  EXPECT_EQ(Desktop.Ocr.Operations[0]->Bitmap()->Height(), 200);
  EXPECT_FALSE(Called("show translation")) << "nothing before the result";

  Finish(TOcrAsyncStatus::Completed, {{"one two", {Word("one", 10, 10, 40, 20), Word("two", 60, 12, 40, 20)}},
                                      {"three", {Word("three", 10, 100, 60, 20)}}});
  ASSERT_EQ(View.Shown.size(), 2u);
  EXPECT_EQ(View.Shown[0].Text, "T:one two");
  EXPECT_EQ((TRect{View.Shown[0].Left, View.Shown[0].Top, View.Shown[0].Right, View.Shown[0].Bottom}),
            (TRect{10, 10, 100, 32}));
  EXPECT_EQ(View.Shown[1].Text, "T:three");
  EXPECT_EQ(View.ShownArea, (TRect{100, 100, 500, 300}));
}

TEST_F(WindowsOCRPipeline, LinesAreFoldedIntoSegmentsUnlessTheStoredSettingSaysLineByLine) {
  const TRtOcr::TLines Lines = {{"first", {Word("first", 10, 10, 80, 20)}},
                                {"second", {Word("second", 10, 32, 90, 20)}}};
  Settings.Write(::Settings::TextLine, false);
  Pipeline.Options.TextLine = true; // the menu's choice steers the Tesseract engine only
  Pipeline.CaptureAndTranslate(false);
  Finish(TOcrAsyncStatus::Completed, Lines);
  const TIteratorResultList Segments = GroupingToSegment(TTranslationPipeline::RecordsOfLines(Lines));
  ASSERT_EQ(View.Shown.size(), Segments.size());
  EXPECT_EQ(View.Shown[0].Left, Segments[0].Left);
  EXPECT_EQ(View.Shown[0].Bottom, Segments[0].Bottom);
}

TEST_F(WindowsOCRPipeline, CancelledFailedAndEmptyResults) {
  struct TCase {
    TOcrAsyncStatus Status;
    bool Hidden;
  };
  for (const TCase& Case : {TCase{TOcrAsyncStatus::Canceled, false}, TCase{TOcrAsyncStatus::Error, false},
                            TCase{TOcrAsyncStatus::Completed, true}}) {
    View.Calls.clear();
    Pipeline.CaptureAndTranslate(false);
    Finish(Case.Status);
    EXPECT_EQ(Called("hide translation"), Case.Hidden);
    EXPECT_FALSE(Called("show translation"));
  }
  EXPECT_TRUE(Server.Requests().empty());
}

TEST_F(WindowsOCRPipeline, ALanguageNumberOutsideTheListSaysSoAndStartsNothing) {
  struct TCase {
    int Index;
    int Languages;
  };
  for (const TCase& Case : {TCase{2, 2}, TCase{-1, 2}, TCase{0, 0}, TCase{5, 0}}) {
    SCOPED_TRACE(testing::Message() << Case.Index << " of " << Case.Languages);
    Settings.Write(::Settings::OCRLanguage, Case.Index);
    Desktop.Ocr.Languages.resize(std::size_t(Case.Languages));
    Pipeline.FOCRLanguages = RtOcr.GetAvailableLanguages();
    try {
      Pipeline.CaptureAndTranslate(false);
      ADD_FAILURE() << "recognition started";
    } catch (const EOCRLanguageMissing& Error) {
      const QString Message = QString::fromUtf8(Error.what());
      EXPECT_TRUE(Message.contains(QStringLiteral("%1번").arg(Case.Index))) << Error.what();
      EXPECT_TRUE(Message.contains(QStringLiteral("%1개").arg(Case.Languages))) << Error.what();
    }
    EXPECT_TRUE(Desktop.Ocr.Operations.empty());
    EXPECT_FALSE(RtOcr.Busy());
  }
}

TEST_F(WindowsOCRPipeline, TheServiceEnhancesWhenTheSettingIsOnAndNoThresholdWasChosen) {
  for (const TEnhanceCase& Case : EnhanceCases) {
    SCOPED_TRACE(testing::Message() << (Case.Stored ? Case.Stored : "none") << ", threshold " << Case.Threshold);
    if (Case.Stored)
      Settings.WriteString("OCR", "Enhance", Case.Stored);
    Pipeline.FOCRThreshold = Case.Threshold;
    Pipeline.FScreenBitmap = QImage(40, 40, QImage::Format_RGB32);
    Pipeline.Recognize();
    ASSERT_FALSE(Desktop.Ocr.Operations.empty());
    EXPECT_EQ(Desktop.Ocr.Operations.back()->Enhance(), Case.Enhanced);
    Finish(TOcrAsyncStatus::Canceled);
  }
}

TEST_F(WindowsOCRPipeline, ASecondCommandWhileTheServiceWorksIsRefused) {
  Pipeline.CaptureAndTranslate(false);
  EXPECT_THROW(Pipeline.CaptureAndTranslate(false), ERtOcrError);
  Finish(TOcrAsyncStatus::Canceled);
  EXPECT_NO_THROW(Pipeline.CaptureAndTranslate(false));
}

TEST(RecordsOfLines, EachLineBoxEnclosesItsWordsInAnyOrderWithEdgesRoundedUp) {
  const TRtOcr::TWord A = Word("alpha", 10.2f, 4.9f, 20.1f, 10.0f); // right 30.3
  const TRtOcr::TWord B = Word("beta", 40.5f, 5.5f, 10.0f, 9.5f);   // right 50.5, bottom 15.0
  const TRtOcr::TWord C = Word("gamma", 3.0f, 6.0f, 5.0f, 8.0f);    // the leftmost, last in order
  for (const TRtOcr::TWords& Words : {TRtOcr::TWords{A, B, C}, TRtOcr::TWords{C, B, A}, TRtOcr::TWords{B, C, A}}) {
    const TIteratorResultList Records = TTranslationPipeline::RecordsOfLines({{"alpha beta gamma", Words}});
    ASSERT_EQ(Records.size(), 1u);
    const TIteratorResult& Record = Records[0];
    EXPECT_EQ((TRect{Record.Left, Record.Top, Record.Right, Record.Bottom}), (TRect{3, 5, 51, 15}));
    EXPECT_EQ(Record.Text, "alpha beta gamma");
    // From the unrounded height 10.1: Ceil(7.07) = 8, where the rounded box would give 7.
    EXPECT_EQ(Record.FFontSize, 8);
    EXPECT_EQ(Record.Count, 0);
    EXPECT_EQ(Record.MaxLength, 0);
  }
  EXPECT_TRUE(TTranslationPipeline::RecordsOfLines({{"no words", {}}}).empty());
  const TIteratorResultList Huge = TTranslationPipeline::RecordsOfLines({{"far", {Word("far", -1e30f, 0, 2e30f, 1)}}});
  ASSERT_EQ(Huge.size(), 1u);
  EXPECT_EQ(Huge[0].Left, INT32_MIN);
  EXPECT_EQ(Huge[0].Right, INT32_MAX);
}

} // namespace
