#include "app/UnitFormOCR.h"
#include "capture/SelectForm.h"
#include "ocr/OCREngine.h"
#include "overlay/TranslateForm.h"
#include "platform/fake/FakePlatform.h"
#include "settings/ConfigIni.h"
#include "text/LoopbackServer.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPainter>
#include <QRegularExpression>
#include <QTest>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "support/TestRuntime.h"

#include <atomic>
#include <stdexcept>

// Automatic translation, mouse translation and the hotkeys, offscreen on the
// fake platform with a scripted OCR engine and a loopback translation server.

namespace {

using TKey = TPlatform::TKey;

TIteratorResult Record(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom, const QString& Text) {
  TIteratorResult R;
  R.Left = Left;
  R.Top = Top;
  R.Right = Right;
  R.Bottom = Bottom;
  R.Text = Text;
  R.Count = 3;
  R.MaxLength = 7;
  R.FFontSize = 12;
  return R;
}

// What the OCR engine of these tests finds, and how often it was asked.
struct TEngineScript {
  TIteratorResultList Records = {Record(10, 10, 200, 40, "Hello there.")};
  bool Fail = false;
  int Calls = 0;
};

class TScriptedEngine : public TOCREngine {
public:
  explicit TScriptedEngine(TEngineScript& Script) : FScript(Script) {}
  TIteratorResultList RecognizeLines(const QImage&) override {
    ++FScript.Calls;
    if (FScript.Fail)
      throw std::runtime_error("SetImage invalid");
    return FScript.Records;
  }

private:
  TEngineScript& FScript;
};

// One pass of the selection loop: where the pointer is and what is down.
struct TPass {
  bool Button = false;
  QPoint Cursor;
  bool Escape = false;
};

class CommandsController : public ::testing::Test {
protected:
  void SetUp() override {
    TConfigIni(Runtime.IniPath()).WriteString("Translation", "Server", Server.Url());
    Desktop.Screen = QImage(1920, 1080, QImage::Format_RGB32);
    Desktop.Screen.fill(Qt::white);
  }
  void TearDown() override {
    Desktop.OnPoll = nullptr;
    Form.reset();
  }

  void Start() {
    TMessageBoxAnswerer User;
    Form = std::make_unique<TFormOCR>(Runtime.Path(), Desktop);
    ASSERT_FALSE(Form->StartFailed()) << User.Texts().join('\n').toStdString();
    Form->Pipeline().SetEngine(TOCREngineKind::Tesseract, std::make_unique<TScriptedEngine>(Engine));
    Form->mnuTextLine->setChecked(true); // the engine's records as they are
    Form->show();
  }

  // Plays the passes of the selection loop, one per pass; the last stays.
  void Script(std::vector<TPass> Passes) {
    Desktop.KeyQueries.clear();
    Desktop.OnPoll = [this, Passes] {
      const int Pass = std::clamp(Desktop.KeyQueries[TKey::Escape], 1, int(Passes.size()));
      const TPass& Now = Passes[size_t(Pass - 1)];
      Desktop.Cursor = Now.Cursor;
      Desktop.KeysDown.clear();
      if (Now.Button)
        Desktop.KeysDown.insert(TKey::LeftButton);
      if (Now.Escape)
        Desktop.KeysDown.insert(TKey::Escape);
    };
  }
  void ScriptDrag(QPoint From, QPoint To) { Script({{false, From}, {true, From}, {true, To}, {false, To}}); }
  void ScriptEscape() { Script({{false, {}, true}}); }

  // Starts automatic translation from its button over (100, 100, 500, 300).
  void StartFromButton() {
    ScriptDrag({100, 100}, {500, 300});
    Form->ActAutoTranslate->trigger();
    Desktop.OnPoll = nullptr;
    ASSERT_TRUE(Form->TimerAction.isActive());
  }

  int Translations() const { return int(Server.Requests().size()); }

  // What Korvex said on standard error while starting (Qt's own notes aside).
  std::string StartAndReadErrors() {
    testing::internal::CaptureStderr();
    Start();
    const QStringList Lines = QString::fromStdString(testing::internal::GetCapturedStderr()).split('\n');
    return Lines.filter(QRegularExpression("^korvex: ")).join('\n').toStdString();
  }

  // Waits until TimerAction has fired Count more times.
  bool WaitForTicks(int Count) {
    int Ticks = 0;
    const auto Connection = QObject::connect(&Form->TimerAction, &QTimer::timeout, [&] { ++Ticks; });
    const bool Done = QTest::qWaitFor([&] { return Ticks >= Count; }, 10000);
    QObject::disconnect(Connection);
    return Done;
  }

  void ChangeTheScreen() {
    QPainter Painter(&Desktop.Screen);
    Painter.fillRect(QRect(100, 100, 200, 100), Qt::black); // a quarter of the area
  }

  std::atomic<int> FailTranslations = 0;
  TLoopbackServer Server{[](const httplib::Request& Request, httplib::Response& Response) {
    const auto Text = nlohmann::json::parse(Request.body).at("q").get<std::string>();
    Response.set_content(nlohmann::json{{"translated_text", "번역:" + Text}}.dump(), "application/json");
  }};
  TTestRuntimeFolder Runtime;
  TFakePlatform Desktop;
  TEngineScript Engine;
  std::unique_ptr<TFormOCR> Form;
};

// --- Automatic translation: the state table, row by row ---------------------

TEST_F(CommandsController, ButtonWithASelectionTranslatesOnceAndStartsTheTimer) {
  Start();
  EXPECT_TRUE(Form->ActAutoTranslate->isEnabled());
  EXPECT_TRUE(Form->mnuAutoTranslate->isEnabled());
  EXPECT_EQ(Form->AutoTranslateImage(), 1);
  StartFromButton();
  EXPECT_EQ(Form->Pipeline().FSelectedRect, (TRect{100, 100, 500, 300}));
  EXPECT_EQ(Engine.Calls, 1);
  EXPECT_EQ(Translations(), 1);
  EXPECT_EQ(Form->AutoTranslateImage(), 0);
  EXPECT_TRUE(Form->mnuAutoTranslate->isChecked());
  EXPECT_TRUE(Form->Pipeline().FBusy);
  EXPECT_TRUE(Form->FTranslateForm->isVisible());
}

TEST_F(CommandsController, ButtonWithACancelledSelectionChangesNothing) {
  Start();
  ScriptEscape();
  Form->ActAutoTranslate->trigger();
  EXPECT_FALSE(Form->TimerAction.isActive());
  EXPECT_FALSE(Form->mnuAutoTranslate->isChecked());
  EXPECT_EQ(Form->AutoTranslateImage(), 1);
  EXPECT_FALSE(Form->Pipeline().FBusy);
  EXPECT_EQ(Desktop.CopyCount, 0);
}

TEST_F(CommandsController, ButtonWhileRunningStopsAndResetsEverything) {
  Start();
  StartFromButton();
  Form->ActAutoTranslate->trigger();
  EXPECT_FALSE(Form->TimerAction.isActive());
  EXPECT_FALSE(Form->mnuAutoTranslate->isChecked());
  EXPECT_FALSE(Form->FTranslateForm->isVisible());
  EXPECT_FALSE(Form->Pipeline().FBusy);
  EXPECT_EQ(Form->AutoTranslateImage(), 1);
  EXPECT_EQ(Desktop.KeyQueries[TKey::Escape], 4); // no new selection was made
}

TEST_F(CommandsController, MenuWithAnAreaStartsTheTimerOnly) {
  Start();
  Form->Pipeline().FSelectedRect = {100, 100, 500, 300};
  Form->mnuAutoTranslate->trigger();
  EXPECT_TRUE(Form->mnuAutoTranslate->isChecked());
  EXPECT_TRUE(Form->TimerAction.isActive());
  EXPECT_EQ(Form->AutoTranslateImage(), 1);
  EXPECT_FALSE(Form->Pipeline().FBusy);
  EXPECT_EQ(Desktop.CopyCount, 0);
  EXPECT_EQ(Desktop.KeyQueries[TKey::Escape], 0); // and no selection
}

TEST_F(CommandsController, MenuWithoutAnAreaSaysSoAndKeepsTheCheckMark) {
  Start();
  TMessageBoxAnswerer User;
  Form->mnuAutoTranslate->trigger();
  ASSERT_EQ(User.Boxes.size(), 1u);
  EXPECT_EQ(User.Boxes[0].Text, "번역할 영역을 선택하지 않았습니다.\n영역 선택을 먼저 해주세요.");
  EXPECT_EQ(User.Boxes[0].Buttons, QMessageBox::Ok);
  EXPECT_FALSE(Form->TimerAction.isActive());
  EXPECT_TRUE(Form->mnuAutoTranslate->isChecked());
}

TEST_F(CommandsController, MenuOffStopsAndHidesTheOverlayOnly) {
  Start();
  StartFromButton();
  Form->mnuAutoTranslate->trigger(); // unchecks
  EXPECT_FALSE(Form->TimerAction.isActive());
  EXPECT_FALSE(Form->FTranslateForm->isVisible());
  EXPECT_EQ(Form->AutoTranslateImage(), 0);
  EXPECT_TRUE(Form->Pipeline().FBusy);
}

TEST_F(CommandsController, TheThreeCommandsStopTheTimerButKeepCheckMarkAndImage) {
  Start();
  StartFromButton();
  for (QAction* Command : {Form->ActSelectArea, Form->ActTranslate, Form->ActSelectFullScreen}) {
    SCOPED_TRACE(Command->text().toStdString());
    Form->TimerAction.start();
    ScriptEscape();
    Command->trigger();
    Desktop.OnPoll = nullptr;
    EXPECT_FALSE(Form->TimerAction.isActive());
    EXPECT_TRUE(Form->mnuAutoTranslate->isChecked());
    EXPECT_EQ(Form->AutoTranslateImage(), 0);
  }
}

TEST_F(CommandsController, SettingsStopTheTimerAndShowImage1) {
  Start();
  StartFromButton();
  // The user cancels the settings dialog.
  QTimer User;
  QObject::connect(&User, &QTimer::timeout, [] {
    if (auto* Dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
      Dialog->reject();
  });
  User.start(10);
  EXPECT_TRUE(Form->ActSetup->isEnabled());
  Form->ActSetup->trigger();
  EXPECT_FALSE(Form->TimerAction.isActive());
  EXPECT_EQ(Form->AutoTranslateImage(), 1);
  EXPECT_TRUE(Form->mnuAutoTranslate->isChecked());
}

TEST_F(CommandsController, ATickOnAnUnchangedScreenRecognisesAndSendsNothing) {
  Start();
  StartFromButton();
  Form->TimerAction.setInterval(20);
  const TIteratorResultList Shown = Form->Pipeline().FTargetList;
  const QRect Geometry = Form->FTranslateForm->geometry();
  const int Copies = Desktop.CopyCount;
  ASSERT_TRUE(WaitForTicks(5));
  EXPECT_GE(Desktop.CopyCount, Copies + 5); // each tick looked
  EXPECT_EQ(Engine.Calls, 1);
  EXPECT_EQ(Translations(), 1);
  EXPECT_EQ(Form->Pipeline().FTargetList, Shown);
  EXPECT_TRUE(Form->FTranslateForm->isVisible());
  EXPECT_EQ(Form->FTranslateForm->geometry(), Geometry);
  EXPECT_EQ(Desktop.Windows[Form->FTranslateForm.get()].Alpha, 255);
}

TEST_F(CommandsController, ATickAfterAChangeTranslatesAgain) {
  Start();
  StartFromButton();
  Engine.Records = {Record(5, 5, 120, 30, "Changed text.")};
  ChangeTheScreen();
  Form->TimerAction.setInterval(20);
  ASSERT_TRUE(WaitForTicks(1));
  EXPECT_EQ(Engine.Calls, 2);
  ASSERT_EQ(Form->Pipeline().FTargetList.size(), 1u);
  EXPECT_EQ(Form->Pipeline().FTargetList[0].Text, "번역:Changed text.");
  EXPECT_TRUE(Form->TimerAction.isActive());
}

TEST_F(CommandsController, AFailingTickShowsOneErrorBoxAndTheTimerRunsOn) {
  Start();
  StartFromButton();
  Engine.Fail = true;
  ChangeTheScreen();
  Form->TimerAction.setInterval(20);
  // The user reads the box for a while before answering it; a lasting
  // fault must not stack boxes meanwhile.
  std::vector<QString> Texts;
  int MostBoxesAtOnce = 0;
  QElapsedTimer FirstSight;
  QTimer Reader;
  QObject::connect(&Reader, &QTimer::timeout, [&] {
    int Open = 0;
    for (QWidget* Widget : QApplication::topLevelWidgets())
      if (qobject_cast<QMessageBox*>(Widget) && Widget->isVisible())
        ++Open;
    MostBoxesAtOnce = std::max(MostBoxesAtOnce, Open);
    auto* Box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!Box)
      return;
    if (!FirstSight.isValid()) {
      FirstSight.start();
      Texts.push_back(Box->text());
    } else if (FirstSight.elapsed() > 300) {
      Box->button(QMessageBox::Ok)->click();
    }
  });
  Reader.start(5);
  ASSERT_TRUE(QTest::qWaitFor([&] { return FirstSight.isValid() && FirstSight.elapsed() > 300; }, 10000));
  ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activeModalWidget() == nullptr; }, 10000));
  // The timer runs on; the failed capture was taken, so the screen is
  // unchanged for the next ticks.
  EXPECT_TRUE(Form->TimerAction.isActive());
  ASSERT_TRUE(WaitForTicks(3));
  Reader.stop();
  ASSERT_EQ(Texts.size(), 1u);
  EXPECT_EQ(Texts.front(), "SetImage invalid");
  EXPECT_EQ(MostBoxesAtOnce, 1);
  EXPECT_EQ(Engine.Calls, 2);
}

TEST_F(CommandsController, NoTickRunsDuringASelection) {
  Start();
  Form->Pipeline().FSelectedRect = {100, 100, 500, 300};
  Form->mnuAutoTranslate->trigger();
  Form->TimerAction.setInterval(10);
  int CopiesDuringSelection = -1;
  // The user takes a while over the selection; the timer fires meanwhile.
  QElapsedTimer Clock;
  Clock.start();
  Desktop.OnPoll = [&] {
    Desktop.KeysDown.clear();
    if (Clock.elapsed() > 300) {
      CopiesDuringSelection = Desktop.CopyCount;
      Desktop.KeysDown.insert(TKey::Escape);
    }
  };
  EXPECT_FALSE(Form->SelectAreaAndTranslate());
  EXPECT_EQ(CopiesDuringSelection, 0);
  EXPECT_TRUE(Form->TimerAction.isActive());
}

TEST_F(CommandsController, ASecondSelectionCommandDuringASelectionIsIgnored) {
  Start();
  int Nested = -1;
  Desktop.OnPoll = [&] {
    if (Nested == -1)
      Nested = Form->SelectArea() ? 1 : 0; // e.g. the hotkey pressed again
    Desktop.KeysDown = {TKey::Escape};
  };
  EXPECT_FALSE(Form->SelectArea());
  EXPECT_EQ(Nested, 0);
}

TEST_F(CommandsController, TheIntervalComesFromTheSettingsAndStaysSane) {
  const std::pair<const char*, int> Cases[] = {{"2500", 2500}, {"100", 100},  {"5", 100},
                                               {"0", 1000},    {"-20", 1000}, {"abc", 1000}};
  for (const auto& [Stored, Interval] : Cases) {
    SCOPED_TRACE(Stored);
    TConfigIni(Runtime.IniPath()).WriteString("Translation", "AutoInterval", Stored);
    Start();
    EXPECT_EQ(Form->TimerAction.interval(), Interval);
    Form.reset();
  }
}

// --- Mouse translation -------------------------------------------------------

const TIteratorResultList Paragraphs = {
    Record(100, 100, 300, 150, "First paragraph."),
    Record(100, 200, 300, 260, "Second paragraph."),
    Record(250, 120, 400, 170, "Overlapping the first."),
};

struct TPointerCase {
  const char* Name;
  QPoint Pointer;
  int Expected; // index into Paragraphs, -1 for none
};

TEST_F(CommandsController, MouseTranslationTranslatesTheRecordUnderThePointer) {
  Start();
  Engine.Records = Paragraphs;
  const TPointerCase Cases[] = {
      {"left and top edges are inside", {100, 100}, 0},
      {"last pixel inside", {299, 149}, 0},
      {"right edge is outside", {300, 110}, -1},
      {"bottom edge is outside", {150, 150}, -1},
      {"between paragraphs", {150, 170}, -1},
      {"the second", {120, 230}, 1},
      {"two overlap: the first in the list", {260, 130}, 0},
      {"only the third", {350, 160}, 2},
  };
  for (const TPointerCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    Desktop.Cursor = Case.Pointer;
    Desktop.CopyCount = 0;
    Form->Pipeline().FTargetList.clear();
    Form->FTranslateForm->show();
    const int Before = Translations();
    TRect Copied;
    Desktop.OnCopyScreen = [&](const TRect& Rect) { Copied = Rect; };
    Form->MouseTranslate();
    EXPECT_EQ(Copied, (TRect{0, 0, 1920, 1080}));
    EXPECT_FALSE(Form->Pipeline().FBusy);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    if (Case.Expected < 0) {
      EXPECT_EQ(Translations(), Before);
      EXPECT_FALSE(Form->FTranslateForm->isVisible());
      EXPECT_TRUE(Form->Pipeline().FTargetList.empty());
      EXPECT_EQ(Form->Pipeline().FSelectedRect, (TRect{0, 0, 1920, 1080}));
      continue;
    }
    const TIteratorResult& Under = Paragraphs[size_t(Case.Expected)];
    EXPECT_EQ(Translations(), Before + 1);
    EXPECT_EQ(Form->Pipeline().FSelectedRect, (TRect{Under.Left, Under.Top, Under.Right, Under.Bottom}));
    TIteratorResult Shown;
    Shown.Left = 2;
    Shown.Top = 2;
    Shown.Right = Under.GetWidth();
    Shown.Bottom = Under.GetHeight();
    Shown.Text = QStringLiteral("번역:") + Under.Text;
    ASSERT_EQ(Form->Pipeline().FTargetList.size(), 1u);
    EXPECT_EQ(Form->Pipeline().FTargetList[0], Shown);
    EXPECT_TRUE(Form->FTranslateForm->isVisible());
    EXPECT_EQ(Form->FTranslateForm->geometry(), QRect(Under.Left, Under.Top, Under.GetWidth(), Under.GetHeight()));
  }
}

TEST_F(CommandsController, MouseTranslationRestoresCursorAndBusyWhenRecognitionFails) {
  Start();
  Engine.Fail = true;
  EXPECT_THROW(Form->MouseTranslate(), std::runtime_error);
  EXPECT_FALSE(Form->Pipeline().FBusy);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// --- Hotkeys -------------------------------------------------------------------

constexpr uint32_t CtrlAlt = MOD_CONTROL | MOD_ALT;

TEST_F(CommandsController, TheFiveDefaultHotkeysAreRegisteredAndRemoved) {
  Start();
  ASSERT_EQ(Desktop.HotKeys.size(), 5u);
  const char Keys[] = {'C', 'T', 'A', 'F', 'Z'};
  for (size_t N = 0; N < 5; ++N) {
    const auto& HotKey = Desktop.HotKeys[N];
    EXPECT_EQ(HotKey.Window, Form.get());
    EXPECT_EQ(HotKey.Id, Desktop.Atoms.at(QStringLiteral("OCRHotkey%1").arg(N + 1)));
    EXPECT_EQ(HotKey.Modifiers, CtrlAlt);
    EXPECT_EQ(HotKey.VirtualKey, uint32_t(Keys[N]));
  }
  Form.reset();
  EXPECT_TRUE(Desktop.HotKeys.empty());
}

TEST_F(CommandsController, EachHotkeyRunsItsCommand) {
  Start();
  Form->Pipeline().FSelectedRect = {100, 100, 500, 300};

  // 1: a selection, then a translation of it.
  ScriptDrag({10, 20}, {210, 120});
  ASSERT_TRUE(Desktop.PressHotKey(CtrlAlt, 'C'));
  Desktop.OnPoll = nullptr;
  EXPECT_EQ(Form->Pipeline().FSelectedRect, (TRect{10, 20, 210, 120}));
  EXPECT_EQ(Engine.Calls, 1);

  // 2: the area again, no selection.
  Desktop.KeyQueries.clear();
  ASSERT_TRUE(Desktop.PressHotKey(CtrlAlt, 'T'));
  EXPECT_EQ(Engine.Calls, 2);
  EXPECT_EQ(Desktop.KeyQueries[TKey::Escape], 0);

  // 3: automatic translation on (after a selection) and off.
  ScriptDrag({100, 100}, {500, 300});
  ASSERT_TRUE(Desktop.PressHotKey(CtrlAlt, 'A'));
  Desktop.OnPoll = nullptr;
  EXPECT_TRUE(Form->TimerAction.isActive());
  EXPECT_EQ(Form->AutoTranslateImage(), 0);

  // 4: the work area, and automatic translation keeps running.
  ASSERT_TRUE(Desktop.PressHotKey(CtrlAlt, 'F'));
  EXPECT_EQ(Form->Pipeline().FSelectedRect, (TRect{0, 0, 1920, 1040}));
  EXPECT_TRUE(Form->TimerAction.isActive());

  // 5: the paragraph under the pointer.
  Desktop.Cursor = {20, 20};
  ASSERT_TRUE(Desktop.PressHotKey(CtrlAlt, 'Z'));
  EXPECT_EQ(Form->Pipeline().FSelectedRect, (TRect{10, 10, 200, 40}));

  ASSERT_TRUE(Desktop.PressHotKey(CtrlAlt, 'A'));
  EXPECT_FALSE(Form->TimerAction.isActive());
  EXPECT_EQ(Form->AutoTranslateImage(), 1);
}

TEST_F(CommandsController, AHotkeyHeldByAnotherProgramLeavesTheOthersWorking) {
  Desktop.HeldByOthers.insert({CtrlAlt, 'T'});
  const std::string Errors = StartAndReadErrors();
  EXPECT_EQ(Errors, "korvex: the hotkey \"Ctrl+Alt+T\" of translate is taken by another program; it does nothing "
                    "in this Korvex");
  EXPECT_EQ(Desktop.HotKeys.size(), 4u);
  EXPECT_FALSE(Desktop.PressHotKey(CtrlAlt, 'T'));
  ASSERT_TRUE(Desktop.PressHotKey(CtrlAlt, 'F'));
  EXPECT_EQ(Form->Pipeline().FSelectedRect, (TRect{0, 0, 1920, 1040}));
}

TEST_F(CommandsController, TwoHotkeysWithOneTextRunTheFirstCommand) {
  TConfigIni(Runtime.IniPath()).WriteString("General", "HotKey4", " ctrl + ALT + c");
  const std::string Errors = StartAndReadErrors();
  EXPECT_EQ(Errors, "korvex: the hotkey \"ctrl + ALT + c\" of full-screen is the hotkey of select-translate "
                    "already; it runs select-translate only");
  ScriptEscape();
  ASSERT_TRUE(Desktop.PressHotKey(CtrlAlt, 'C'));
  Desktop.OnPoll = nullptr;
  EXPECT_GT(Desktop.KeyQueries[TKey::Escape], 0); // a selection, not the full screen
  EXPECT_TRUE(Form->Pipeline().FSelectedRect.IsEmpty());
}

TEST_F(CommandsController, TextsWithoutAKeyRegisterNothingThatWorks) {
  {
    TConfigIni Ini(Runtime.IniPath());
    Ini.WriteString("General", "HotKey1", "Cmd+A");
    Ini.WriteString("General", "HotKey2", "");
  }
  const std::string Errors = StartAndReadErrors();
  // Still attempted, with key code 0 and no modifiers.
  ASSERT_EQ(Desktop.HotKeyAttempts.size(), 5u);
  for (size_t N : {0, 1}) {
    EXPECT_EQ(Desktop.HotKeyAttempts[N].VirtualKey, 0u);
    EXPECT_EQ(Desktop.HotKeyAttempts[N].Modifiers, 0u);
  }
  EXPECT_EQ(Desktop.HotKeys.size(), 3u);
  // An empty text switches a hotkey off without a word.
  EXPECT_EQ(Errors, "korvex: the hotkey \"Cmd+A\" of select-translate names no key of this keyboard; it does "
                    "nothing");
}

} // namespace
