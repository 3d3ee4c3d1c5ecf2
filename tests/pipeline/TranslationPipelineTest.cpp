#include "pipeline/TranslationPipeline.h"
#include "pipeline/PipelineView.h"
#include "platform/fake/FakePlatform.h"
#include "settings/ConfigIni.h"
#include "text/LoopbackServer.h"
#include "text/OCRLayout.h"
#include "text/RESTApi.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>

namespace {

constexpr int WaitMs = 10000;

// Records what the pipeline asks of the windows, and plays the user's
// selection: a selection waits until the test answers it with Choose.
class TRecordingView : public TPipelineView {
public:
  std::vector<std::string> Calls;
  TIteratorResultList Shown;
  TRect ShownArea;
  QStringList Errors;

  void Choose(std::optional<TRect> Area) {
    if (auto Chosen = std::exchange(FChosen, nullptr))
      Chosen(Area);
  }
  bool Choosing() const { return static_cast<bool>(FChosen); }
  int Count(const std::string& Call) const { return int(std::count(Calls.begin(), Calls.end(), Call)); }

  void ChooseArea(std::function<void(std::optional<TRect>)> Chosen) override {
    Calls.push_back("choose");
    FChosen = std::move(Chosen);
  }
  void CancelChoice() override {
    Calls.push_back("cancel choice");
    Choose(std::nullopt);
  }
  // Nothing has to move: the copy may be taken at once.
  void HideWindowsFrom(const TRect&, std::function<void()> Hidden) override {
    Calls.push_back("hide windows");
    Hidden();
  }
  void RestoreWindows() override { Calls.push_back("restore windows"); }
  void ShowCapture(const QImage&) override { Calls.push_back("show capture"); }
  void HideTranslation() override { Calls.push_back("hide translation"); }
  void ShowTranslation(const TIteratorResultList& TargetList, const TRect& Area) override {
    Calls.push_back("show translation");
    Shown = TargetList;
    ShownArea = Area;
  }
  void ShowError(const QString& Message) override {
    Calls.push_back("show error");
    Errors << Message;
  }

private:
  std::function<void(std::optional<TRect>)> FChosen;
};

// Answers with the lines it was given and remembers the bitmap's size. It
// runs on the pipeline's worker; while Hold is set it waits there, so a test
// can act during recognition.
class TScriptedEngine : public TOCREngine {
public:
  TIteratorResultList Lines;
  QSize Seen;
  std::optional<bool> Enhanced; // whether the last recognition was asked to enhance
  std::atomic<bool> Hold = false;
  std::atomic<bool> Entered = false;
  TIteratorResultList RecognizeLines(const QImage& Bitmap) override {
    Entered = true;
    while (Hold)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    Seen = Bitmap.size();
    Enhanced = Enhance();
    return Lines;
  }
};

// The Done of one operation: counts its calls, and outlives the test's
// scope should it come late.
struct TEnd {
  std::shared_ptr<int> Calls = std::make_shared<int>(0);
  TTranslationPipeline::TDone Done() const {
    return [Calls = Calls] { ++*Calls; };
  }
  std::function<void(bool)> Chosen() const {
    return [Calls = Calls](bool) { ++*Calls; };
  }
  bool Ran() const { return *Calls > 0; }
  bool Wait() const {
    return QTest::qWaitFor([Calls = Calls] { return *Calls > 0; }, WaitMs);
  }
};

TIteratorResult Line(int32_t Top, const char* Text) { return {10, Top, 200, Top + 20, Text, 1, 0, 14}; }

std::vector<QString> Texts(const TIteratorResultList& List) {
  std::vector<QString> Result;
  for (const TIteratorResult& Record : List)
    Result.push_back(Record.Text);
  return Result;
}

class TranslationPipeline : public ::testing::Test {
protected:
  void SetUp() override {
    Settings.WriteString("Translation", "Server", Server.Url());
    auto Owned = std::make_unique<TScriptedEngine>();
    Engine = Owned.get();
    Pipeline.SetEngine(TOCREngineKind::Tesseract, std::move(Owned));
  }
  void TearDown() override {
    Release = true;
    if (Engine)
      Engine->Hold = false;
  }

  // A translation of the selected area, to its end.
  void Translate() {
    TEnd End;
    Pipeline.CaptureAndTranslate(false, End.Done());
    ASSERT_TRUE(End.Wait());
  }
  // A result over a selected area of 400 x 200, shown before the test's own work.
  void ShowEarlierResult() {
    Pipeline.SetSelectedRect({0, 0, 400, 200});
    Pipeline.Options.TextLine = true;
    Engine->Lines = {Line(0, "earlier")};
    Translate();
    ASSERT_EQ(Texts(Pipeline.TargetList()), std::vector<QString>{"T:earlier"});
    View.Calls.clear();
  }

  QTemporaryDir Dir;
  TConfigIni Settings{Dir.filePath("Config.ini")};
  TFakePlatform Desktop;
  TRecordingView View;

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
  Pipeline.Options.TextLine = true;
  Engine->Lines = {Line(0, "one"), Line(100, "two")};

  TEnd End;
  Pipeline.SelectAreaAndTranslate(End.Done());
  EXPECT_TRUE(Pipeline.IsSelecting());
  EXPECT_FALSE(End.Ran()) << "the selection waits for the user";
  View.Choose(TRect{100, 50, 500, 250});
  ASSERT_TRUE(End.Wait());
  EXPECT_EQ(*End.Calls, 1);
  EXPECT_TRUE(Pipeline.IsIdle());
  EXPECT_EQ(Pipeline.SelectedRect(), (TRect{100, 50, 500, 250}));
  EXPECT_EQ(Desktop.CopyCount, 1);
  EXPECT_EQ(Engine->Seen, QSize(400, 200));
  EXPECT_EQ(View.Calls, (std::vector<std::string>{"choose", "hide windows", "restore windows", "show capture",
                                                  "show translation"}));
  EXPECT_EQ(Texts(View.Shown), (std::vector<QString>{"T:one", "T:two"}));
  EXPECT_EQ(View.ShownArea, Pipeline.SelectedRect());
  EXPECT_EQ(View.Shown, Pipeline.TargetList());
}

TEST_F(TranslationPipeline, TheLanguagePairComesFromTheSettingsWhenTheJobStarts) {
  Pipeline.SetSelectedRect({0, 0, 400, 200});
  Pipeline.Options.TextLine = true;
  Engine->Lines = {Line(0, "one")};
  Translate();
  Settings.WriteString("Translation", "SourceLanguage", "de");
  Settings.WriteString("Translation", "TargetLanguage", "es");
  Engine->Lines = {Line(0, "two")};
  Translate();
  const auto Requests = Server.Requests();
  ASSERT_EQ(Requests.size(), 2u);
  const auto First = nlohmann::json::parse(Requests[0].Body), Second = nlohmann::json::parse(Requests[1].Body);
  EXPECT_EQ(First.at("sl"), "en");
  EXPECT_EQ(First.at("tl"), "ko");
  EXPECT_EQ(Second.at("sl"), "de");
  EXPECT_EQ(Second.at("tl"), "es");
}

TEST_F(TranslationPipeline, ARefusingServerShowsItsReasonOnceAndKeepsTheShownResult) {
  ShowEarlierResult();
  const TIteratorResultList Shown = Pipeline.TargetList();

  Engine->Lines = {Line(0, "two"), Line(100, "refuse")};
  Translate();
  ASSERT_EQ(View.Errors.size(), 1);
  EXPECT_TRUE(View.Errors[0].contains(QStringLiteral("no translation engine for en→ko")))
      << View.Errors[0].toStdString();
  EXPECT_EQ(View.Count("show translation"), 0);
  EXPECT_EQ(View.Count("hide translation"), 0);
  EXPECT_EQ(Pipeline.TargetList(), Shown);
  EXPECT_TRUE(Pipeline.IsIdle());
}

TEST_F(TranslationPipeline, AnotherCallDuringASelectionIsRefusedAndCancelEndsTheSelection) {
  struct TCase {
    const char* Name;
    std::function<void(TTranslationPipeline&, const TEnd&)> Start;
  };
  const TCase Cases[] = {
      {"select", [](TTranslationPipeline& P, const TEnd& E) { P.SelectArea(E.Chosen()); }},
      {"select and translate", [](TTranslationPipeline& P, const TEnd& E) { P.SelectAreaAndTranslate(E.Done()); }},
      {"full screen", [](TTranslationPipeline& P, const TEnd& E) { P.SelectFullScreen(E.Done()); }},
      {"mouse", [](TTranslationPipeline& P, const TEnd& E) { P.MouseTranslate(E.Done()); }},
      {"translate", [](TTranslationPipeline& P, const TEnd& E) { P.CaptureAndTranslate(false, E.Done()); }},
  };
  Engine->Lines = {Line(0, "one")};
  Pipeline.SetSelectedRect({0, 0, 50, 50});
  bool Chosen = true;
  TEnd Selection;
  Pipeline.SelectArea([&Chosen, Done = Selection.Done()](bool Result) {
    Chosen = Result;
    Done();
  });
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    TEnd Second;
    Case.Start(Pipeline, Second);
    EXPECT_EQ(*Second.Calls, 1) << "refused at once";
    EXPECT_TRUE(Pipeline.IsSelecting());
    EXPECT_FALSE(Pipeline.IsWorking());
  }
  QCoreApplication::processEvents();
  EXPECT_EQ(Desktop.CopyCount, 0);
  EXPECT_EQ(View.Calls, std::vector<std::string>{"choose"});
  EXPECT_FALSE(Selection.Ran());

  Pipeline.Cancel();
  EXPECT_EQ(*Selection.Calls, 1);
  EXPECT_FALSE(Chosen);
  EXPECT_FALSE(View.Choosing());
  EXPECT_TRUE(Pipeline.IsIdle());
  EXPECT_EQ(Pipeline.SelectedRect(), (TRect{0, 0, 50, 50}));
}

TEST_F(TranslationPipeline, AFailedCopyBringsTheWindowsBackAndIsShown) {
  struct TCase {
    const char* Name;
    std::function<void(TTranslationPipeline&, const TEnd&)> Start;
  };
  const TCase Cases[] = {
      {"translate", [](TTranslationPipeline& P, const TEnd& E) { P.CaptureAndTranslate(false, E.Done()); }},
      {"full screen", [](TTranslationPipeline& P, const TEnd& E) { P.SelectFullScreen(E.Done()); }},
      {"mouse", [](TTranslationPipeline& P, const TEnd& E) { P.MouseTranslate(E.Done()); }},
  };
  Desktop.OnCopyScreen = [](const TRect&) { throw std::runtime_error("copy failed"); };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    Pipeline.SetSelectedRect({0, 0, 50, 50});
    View.Calls.clear();
    View.Errors.clear();
    TEnd End;
    Case.Start(Pipeline, End);
    ASSERT_TRUE(End.Wait());
    EXPECT_EQ(*End.Calls, 1);
    EXPECT_EQ(View.Errors, QStringList{"copy failed"});
    const auto Hide = std::find(View.Calls.begin(), View.Calls.end(), "hide windows");
    ASSERT_NE(Hide, View.Calls.end());
    ASSERT_NE(Hide + 1, View.Calls.end());
    EXPECT_EQ(*(Hide + 1), "restore windows");
    EXPECT_EQ(View.Count("show capture"), 0);
    EXPECT_TRUE(Pipeline.IsIdle());
  }
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
      // Without the desktop's recogniser, "Windows OCR" finds nothing and
      // leaves the result as it is.
      {"Windows OCR, none in this build", TOCREngineKind::WindowsOCR, false, false},
  };
  Pipeline.SetEngine(TOCREngineKind::EasyOCR, std::make_unique<TScriptedEngine>());
  Pipeline.SetSelectedRect({0, 0, 40, 40});
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    View.Calls.clear();
    Pipeline.Options.Engine = Case.Kind;
    Pipeline.Options.TextLine = Case.TextLine;
    Translate();
    EXPECT_EQ(View.Count("hide translation") == 1, Case.Hidden);
    EXPECT_EQ(View.Count("show translation"), 0);
    EXPECT_TRUE(View.Errors.empty());
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
  Pipeline.SetSelectedRect({0, 0, 40, 40});
  for (const TEnhanceCase& Case : EnhanceCases) {
    SCOPED_TRACE(testing::Message() << (Case.Stored ? Case.Stored : "none") << ", threshold " << Case.Threshold);
    if (Case.Stored)
      Settings.WriteString("OCR", "Enhance", Case.Stored);
    Pipeline.SetOCRThreshold(Case.Threshold);
    Engine->Enhanced.reset();
    Translate();
    EXPECT_EQ(Engine->Enhanced, Case.Enhanced);
  }
}

TEST_F(TranslationPipeline, AMissingTesseractIsShownAsAnError) {
  Pipeline.SetEngine(TOCREngineKind::Tesseract, nullptr);
  Engine = nullptr;
  Pipeline.SetSelectedRect({0, 0, 40, 40});
  Translate();
  EXPECT_EQ(View.Errors, QStringList{"Tesseract library is not loaded"});
  EXPECT_TRUE(Pipeline.IsIdle());
}

TEST_F(TranslationPipeline, PastItsDeadlineTheTranslationShowsTheRecordsDoneAndSaysSo) {
  struct TCase {
    const char* Name;
    std::vector<const char*> Texts;
    QString Message;            // a part of the error shown
    std::vector<QString> Shown; // none: the result shown before stays
  };
  const TCase Cases[] = {
      {"cut in the first request", {"slow", "two"}, "2개 중 0개만", {}},
      {"cut in the third request", {"one", "two", "slow", "four"}, "4개 중 2개만", {"T:one", "T:two"}},
  };
  ShowEarlierResult();
  Pipeline.SetTranslationDeadline(std::chrono::milliseconds(1000));
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    View.Errors.clear();
    const TIteratorResultList Before = Pipeline.TargetList();
    const size_t Sent = Server.Requests().size();
    Engine->Lines.clear();
    for (const char* Text : Case.Texts)
      Engine->Lines.push_back(Line(int32_t(Engine->Lines.size()) * 30, Text));
    Translate();
    ASSERT_EQ(View.Errors.size(), 1);
    EXPECT_TRUE(View.Errors[0].contains(Case.Message)) << View.Errors[0].toStdString();
    if (Case.Shown.empty()) {
      EXPECT_EQ(Pipeline.TargetList(), Before);
    } else {
      EXPECT_EQ(Texts(Pipeline.TargetList()), Case.Shown);
      EXPECT_EQ(View.Shown, Pipeline.TargetList());
    }
    // Nothing after the request that ran out of time was sent.
    const size_t Slow = std::find(Case.Texts.begin(), Case.Texts.end(), std::string("slow")) - Case.Texts.begin();
    EXPECT_EQ(Server.Requests().size() - Sent, Slow + 1);
  }
}

TEST_F(TranslationPipeline, AResultWithMoreTextsThanTheLimitIsNeitherSentNorShown) {
  Pipeline.SetSelectedRect({0, 0, 400, 200});
  Pipeline.Options.TextLine = true;
  Engine->Lines.assign(MaxTranslatedSegments + 1, Line(0, "x"));
  Translate();
  ASSERT_EQ(View.Errors.size(), 1);
  EXPECT_TRUE(View.Errors[0].contains("2000")) << View.Errors[0].toStdString();
  EXPECT_TRUE(Server.Requests().empty());
  EXPECT_EQ(View.Count("show translation"), 0);
  EXPECT_TRUE(Pipeline.TargetList().empty());
}

// Cancel during each step of a job: the shown result stays, nothing is
// said, and the job's Done still runs once its step has ended.
TEST_F(TranslationPipeline, AJobCancelledDuringRecognitionOrTranslationShowsNothing) {
  ShowEarlierResult();
  const TIteratorResultList Before = Pipeline.TargetList();

  // During recognition: the engine is held until after the cancel.
  Engine->Lines = {Line(0, "one")};
  Engine->Hold = true;
  Engine->Entered = false;
  TEnd Recognising;
  Pipeline.CaptureAndTranslate(false, Recognising.Done());
  ASSERT_TRUE(QTest::qWaitFor([this] { return Engine->Entered.load(); }, WaitMs));
  Pipeline.Cancel();
  QTest::qWait(20);
  EXPECT_FALSE(Recognising.Ran()) << "Done waits for the engine's step";
  EXPECT_TRUE(Pipeline.IsWorking());
  Engine->Hold = false;
  ASSERT_TRUE(Recognising.Wait());
  EXPECT_EQ(*Recognising.Calls, 1);
  EXPECT_EQ(Server.Requests().size(), 1u) << "nothing of the cancelled job was sent";

  // During translation: the server answers only when the test ends, so the
  // job ends by giving the exchange up.
  Engine->Lines = {Line(0, "slow")};
  TEnd Translating;
  Pipeline.CaptureAndTranslate(false, Translating.Done());
  ASSERT_TRUE(QTest::qWaitFor([this] { return Server.Requests().size() == 2; }, WaitMs));
  Pipeline.Cancel();
  ASSERT_TRUE(Translating.Wait()) << "the exchange was not given up";
  EXPECT_EQ(*Translating.Calls, 1);

  EXPECT_EQ(View.Count("show translation"), 0);
  EXPECT_EQ(View.Count("hide translation"), 0);
  EXPECT_TRUE(View.Errors.empty()) << View.Errors.join('\n').toStdString();
  EXPECT_EQ(Pipeline.TargetList(), Before);
  EXPECT_TRUE(Pipeline.IsIdle());

  // The pipeline works on as before.
  Engine->Lines = {Line(0, "after")};
  Translate();
  EXPECT_EQ(Texts(Pipeline.TargetList()), std::vector<QString>{"T:after"});
}

TEST_F(TranslationPipeline, ACallWhileAJobRunsIsRefusedAndTheJobsResultIsShown) {
  struct TCase {
    const char* Name;
    std::function<void(TTranslationPipeline&, const TEnd&)> Start;
  };
  const TCase Cases[] = {
      {"select", [](TTranslationPipeline& P, const TEnd& E) { P.SelectArea(E.Chosen()); }},
      {"select and translate", [](TTranslationPipeline& P, const TEnd& E) { P.SelectAreaAndTranslate(E.Done()); }},
      {"full screen", [](TTranslationPipeline& P, const TEnd& E) { P.SelectFullScreen(E.Done()); }},
      {"mouse", [](TTranslationPipeline& P, const TEnd& E) { P.MouseTranslate(E.Done()); }},
      {"translate", [](TTranslationPipeline& P, const TEnd& E) { P.CaptureAndTranslate(false, E.Done()); }},
  };
  Pipeline.SetSelectedRect({0, 0, 400, 200});
  Pipeline.Options.TextLine = true;
  Engine->Lines = {Line(0, "first")};
  Engine->Hold = true;
  TEnd First;
  Pipeline.CaptureAndTranslate(false, First.Done());
  ASSERT_TRUE(QTest::qWaitFor([this] { return Engine->Entered.load(); }, WaitMs));
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    TEnd Second;
    Case.Start(Pipeline, Second);
    EXPECT_EQ(*Second.Calls, 1) << "refused at once";
  }
  EXPECT_EQ(Desktop.CopyCount, 1);
  EXPECT_EQ(View.Count("choose"), 0);
  EXPECT_EQ(View.Count("hide translation"), 0);
  EXPECT_FALSE(First.Ran());

  Engine->Hold = false;
  ASSERT_TRUE(First.Wait());
  EXPECT_EQ(*First.Calls, 1);
  EXPECT_EQ(Texts(View.Shown), std::vector<QString>{"T:first"});
  EXPECT_EQ(Pipeline.SelectedRect(), (TRect{0, 0, 400, 200}));
  EXPECT_TRUE(View.Errors.empty());
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
      Added.Words.push_back({W.Text, {W.BoundingRect.X, W.BoundingRect.Y, W.BoundingRect.Width, W.BoundingRect.Height}});
  }
  return Result;
}

// The pipeline with the desktop's recogniser wired as the main window wires it.
class WindowsOCRPipeline : public TranslationPipeline {
protected:
  void SetUp() override {
    TranslationPipeline::SetUp();
    Desktop.Ocr.Languages = {English, Korean};
    Pipeline.SetRtOcr(&RtOcr);
    Pipeline.SetOCRLanguages(RtOcr.GetAvailableLanguages());
    Pipeline.Options.Engine = TOCREngineKind::WindowsOCR;
    Pipeline.SetSelectedRect({100, 100, 500, 300});
  }
  // The service ends the oldest recognition on its thread; the result
  // reaches the pipeline through the event loop.
  void Finish(TOcrAsyncStatus Status, const TRtOcr::TLines& Lines = {}) {
    ASSERT_TRUE(Desktop.Ocr.Complete(Status, ServiceResult(Lines)));
  }
  // A translation of the selected area whose recognition the service ends
  // with Status and Lines.
  void TranslateWith(TOcrAsyncStatus Status, const TRtOcr::TLines& Lines = {}) {
    TEnd End;
    Pipeline.CaptureAndTranslate(false, End.Done());
    EXPECT_FALSE(End.Ran()) << "the service answers later";
    Finish(Status, Lines);
    ASSERT_TRUE(End.Wait());
    EXPECT_EQ(*End.Calls, 1);
  }

  TRtOcr RtOcr{Desktop.Ocr};
};

TEST_F(WindowsOCRPipeline, RecognisesTheCaptureInTheConfiguredLanguageAndTranslatesTheLinesWhenTheyArrive) {
  Settings.Write(::Settings::OCRLanguage, 1);
  Pipeline.Options.TextLine = true;
  TEnd End;
  Pipeline.CaptureAndTranslate(false, End.Done());
  ASSERT_EQ(Desktop.Ocr.Operations.size(), 1u);
  EXPECT_EQ(Desktop.Ocr.Operations[0]->Language(), Korean);
  EXPECT_EQ(Desktop.Ocr.Operations[0]->Bitmap()->Width(), 400);
  EXPECT_EQ(Desktop.Ocr.Operations[0]->Bitmap()->Height(), 200);
  QCoreApplication::processEvents();
  EXPECT_EQ(View.Count("show translation"), 0) << "nothing before the result";

  Finish(TOcrAsyncStatus::Completed, {{"one two", {Word("one", 10, 10, 40, 20), Word("two", 60, 12, 40, 20)}},
                                      {"three", {Word("three", 10, 100, 60, 20)}}});
  ASSERT_TRUE(End.Wait());
  ASSERT_EQ(View.Shown.size(), 2u);
  EXPECT_EQ(View.Shown[0].Text, "T:one two");
  EXPECT_EQ((TRect{View.Shown[0].Left, View.Shown[0].Top, View.Shown[0].Right, View.Shown[0].Bottom}),
            (TRect{10, 10, 100, 32}));
  EXPECT_EQ(View.Shown[1].Text, "T:three");
  EXPECT_EQ(View.ShownArea, (TRect{100, 100, 500, 300}));
}

TEST_F(WindowsOCRPipeline, TheMenusLineByLineChoiceDecidesNotTheStoredSetting) {
  const TRtOcr::TLines Lines = {{"first", {Word("first", 10, 10, 80, 20)}},
                                {"second", {Word("second", 10, 32, 90, 20)}}};
  const TIteratorResultList Records = TTranslationPipeline::RecordsOfLines(Lines);
  const TIteratorResultList Segments = GroupingToSegment(Records);
  ASSERT_EQ(Segments.size(), 1u) << "the two lines make one segment";
  for (const bool TextLine : {false, true}) {
    SCOPED_TRACE(TextLine ? "lines" : "segments");
    Settings.Write(::Settings::TextLine, !TextLine);
    Pipeline.Options.TextLine = TextLine;
    TranslateWith(TOcrAsyncStatus::Completed, Lines);
    const TIteratorResultList& Expected = TextLine ? Records : Segments;
    ASSERT_EQ(View.Shown.size(), Expected.size());
    for (size_t I = 0; I < Expected.size(); ++I) {
      EXPECT_EQ(View.Shown[I].Text, "T:" + Expected[I].Text);
      EXPECT_EQ(View.Shown[I].Left, Expected[I].Left);
      EXPECT_EQ(View.Shown[I].Bottom, Expected[I].Bottom);
    }
  }
}

TEST_F(WindowsOCRPipeline, CancelledAndEmptyResults) {
  struct TCase {
    TOcrAsyncStatus Status;
    bool Hidden;
  };
  for (const TCase& Case : {TCase{TOcrAsyncStatus::Canceled, false}, TCase{TOcrAsyncStatus::Completed, true}}) {
    View.Calls.clear();
    TranslateWith(Case.Status);
    EXPECT_EQ(View.Count("hide translation") == 1, Case.Hidden);
    EXPECT_EQ(View.Count("show translation"), 0);
    EXPECT_TRUE(View.Errors.empty());
  }
  EXPECT_TRUE(Server.Requests().empty());
}

// Every failure reaches the user; a recognition the service reports as
// failed is one.
TEST_F(WindowsOCRPipeline, AFailedRecognitionIsShownAndKeepsTheResult) {
  TranslateWith(TOcrAsyncStatus::Error);
  EXPECT_EQ(View.Errors.size(), 1) << "a failed recognition says nothing";
  EXPECT_EQ(View.Count("hide translation"), 0);
  EXPECT_EQ(View.Count("show translation"), 0);
}

TEST_F(WindowsOCRPipeline, ALanguageNumberOutsideTheListSaysSoAndStartsNothing) {
  struct TCase {
    int Index;
    int Languages;
  };
  for (const TCase& Case : {TCase{2, 2}, TCase{-1, 2}, TCase{0, 0}, TCase{5, 0}}) {
    SCOPED_TRACE(testing::Message() << Case.Index << " of " << Case.Languages);
    View.Errors.clear();
    Settings.Write(::Settings::OCRLanguage, Case.Index);
    Desktop.Ocr.Languages.resize(std::size_t(Case.Languages));
    Pipeline.SetOCRLanguages(RtOcr.GetAvailableLanguages());
    TEnd End;
    Pipeline.CaptureAndTranslate(false, End.Done());
    ASSERT_TRUE(End.Wait());
    ASSERT_EQ(View.Errors.size(), 1);
    EXPECT_TRUE(View.Errors[0].contains(QStringLiteral("%1번").arg(Case.Index))) << View.Errors[0].toStdString();
    EXPECT_TRUE(View.Errors[0].contains(QStringLiteral("%1개").arg(Case.Languages))) << View.Errors[0].toStdString();
    EXPECT_TRUE(Desktop.Ocr.Operations.empty());
    EXPECT_FALSE(RtOcr.Busy());
    EXPECT_TRUE(Pipeline.IsIdle());
  }
}

TEST_F(WindowsOCRPipeline, TheServiceEnhancesWhenTheSettingIsOnAndNoThresholdWasChosen) {
  for (const TEnhanceCase& Case : EnhanceCases) {
    SCOPED_TRACE(testing::Message() << (Case.Stored ? Case.Stored : "none") << ", threshold " << Case.Threshold);
    if (Case.Stored)
      Settings.WriteString("OCR", "Enhance", Case.Stored);
    Pipeline.SetOCRThreshold(Case.Threshold);
    TranslateWith(TOcrAsyncStatus::Canceled);
    ASSERT_FALSE(Desktop.Ocr.Operations.empty());
    EXPECT_EQ(Desktop.Ocr.Operations.back()->Enhance(), Case.Enhanced);
  }
}

TEST_F(WindowsOCRPipeline, ASecondCommandWhileTheServiceWorksIsRefused) {
  TEnd First, Second;
  Pipeline.CaptureAndTranslate(false, First.Done());
  Pipeline.CaptureAndTranslate(false, Second.Done());
  EXPECT_TRUE(Second.Ran());
  EXPECT_EQ(Desktop.Ocr.Operations.size(), 1u);
  Finish(TOcrAsyncStatus::Completed, {{"one", {Word("one", 10, 10, 40, 20)}}});
  ASSERT_TRUE(First.Wait());
  EXPECT_EQ(Texts(View.Shown), std::vector<QString>{"T:one"});
  TranslateWith(TOcrAsyncStatus::Canceled);
  EXPECT_EQ(Desktop.Ocr.Operations.size(), 2u);
}

TEST_F(WindowsOCRPipeline, AJobCancelledDuringRecognitionShowsNothing) {
  TEnd End;
  Pipeline.CaptureAndTranslate(false, End.Done());
  Pipeline.Cancel();
  QCoreApplication::processEvents();
  EXPECT_FALSE(End.Ran()) << "Done waits for the service's answer";
  // The answer comes after all, with text.
  Finish(TOcrAsyncStatus::Completed, {{"one", {Word("one", 10, 10, 40, 20)}}});
  ASSERT_TRUE(End.Wait());
  EXPECT_EQ(*End.Calls, 1);
  EXPECT_TRUE(View.Calls.end() == std::find(View.Calls.begin(), View.Calls.end(), "show translation"));
  EXPECT_EQ(View.Count("hide translation"), 0);
  EXPECT_TRUE(View.Errors.empty());
  EXPECT_TRUE(Server.Requests().empty());
  EXPECT_TRUE(Pipeline.IsIdle());
}

// Mouse translation recognises the whole screen with the chosen engine and
// shows the paragraph under the pointer alone, over that paragraph; the
// selected area and its capture stay as they were.
TEST_F(WindowsOCRPipeline, MouseTranslationShowsOnlyTheParagraphUnderThePointerWithEveryEngine) {
  // Two lines that make one paragraph, and one far below them.
  const TRtOcr::TLines Lines = {
      {"Hello there,", {Word("Hello", 300, 400, 60, 20), Word("there,", 370, 401, 70, 20)}},
      {"dear reader.", {Word("dear", 300, 425, 50, 20), Word("reader.", 360, 425, 80, 20)}},
      {"Bye", {Word("Bye", 300, 800, 40, 20)}},
  };
  const TIteratorResultList Records = TTranslationPipeline::RecordsOfLines(Lines);
  const TIteratorResultList Segments = GroupingToSegment(Records);
  ASSERT_EQ(Segments.size(), 2u);
  const TIteratorResult& Paragraph = Segments[0];
  const TRect ParagraphRect{Paragraph.Left, Paragraph.Top, Paragraph.Right, Paragraph.Bottom};
  Desktop.Cursor = QPoint(330, 435); // over "dear", the paragraph's second line

  struct TCase {
    const char* Name;
    TOCREngineKind Kind;
  };
  Pipeline.SetEngine(TOCREngineKind::EasyOCR, std::make_unique<TScriptedEngine>());
  for (const TCase& Case : {TCase{"Tesseract", TOCREngineKind::Tesseract}, TCase{"remote OCR", TOCREngineKind::EasyOCR},
                            TCase{"Windows OCR", TOCREngineKind::WindowsOCR}}) {
    SCOPED_TRACE(Case.Name);
    Pipeline.Options.Engine = Case.Kind;
    if (Case.Kind != TOCREngineKind::WindowsOCR)
      static_cast<TScriptedEngine*>(Pipeline.Engine(Case.Kind))->Lines = Records;
    // A translation of the selected area first, whose capture must survive;
    // the screen has a colour of its own for each engine.
    Desktop.Screen = QImage(Desktop.ScreenSize, QImage::Format_RGB32);
    Desktop.Screen.fill(QColor(int(Case.Kind) * 60, 90, 30));
    Pipeline.Options.OCROnly = true;
    if (Case.Kind == TOCREngineKind::WindowsOCR)
      TranslateWith(TOcrAsyncStatus::Completed, Lines);
    else
      Translate();
    Pipeline.Options.OCROnly = false;
    ASSERT_TRUE(Pipeline.ScreenBitmap().has_value());
    const QImage Capture = *Pipeline.ScreenBitmap();
    // The screen changes before the pointer's translation.
    Desktop.Screen = QImage(Desktop.ScreenSize, QImage::Format_RGB32);
    Desktop.Screen.fill(Qt::white);
    const size_t Sent = Server.Requests().size();
    View.Shown.clear();

    TEnd End;
    Pipeline.MouseTranslate(End.Done());
    if (Case.Kind == TOCREngineKind::WindowsOCR) {
      ASSERT_EQ(Desktop.Ocr.Pending(), 1);
      EXPECT_EQ(Desktop.Ocr.Operations.back()->Bitmap()->Width(), 1920);
      EXPECT_EQ(Desktop.Ocr.Operations.back()->Bitmap()->Height(), 1080);
      Finish(TOcrAsyncStatus::Completed, Lines);
    }
    ASSERT_TRUE(End.Wait());
    EXPECT_EQ(*End.Calls, 1);
    if (Case.Kind != TOCREngineKind::WindowsOCR) {
      EXPECT_EQ(static_cast<TScriptedEngine*>(Pipeline.Engine(Case.Kind))->Seen, QSize(1920, 1080));
    }

    ASSERT_EQ(View.Shown.size(), 1u);
    EXPECT_EQ(View.Shown[0].Text, "T:" + Paragraph.Text);
    EXPECT_EQ(View.Shown[0].Left, 2);
    EXPECT_EQ(View.Shown[0].Top, 2);
    EXPECT_EQ(View.ShownArea, ParagraphRect);
    EXPECT_EQ(Server.Requests().size() - Sent, 1u) << "only the paragraph is sent";
    EXPECT_EQ(Pipeline.SelectedRect(), (TRect{100, 100, 500, 300}));
    ASSERT_TRUE(Pipeline.ScreenBitmap().has_value());
    EXPECT_EQ(*Pipeline.ScreenBitmap(), Capture);
    EXPECT_TRUE(View.Errors.empty());
  }
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
