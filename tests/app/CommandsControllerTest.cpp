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
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QTest>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "support/TestRuntime.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>

// Automatic translation, mouse translation and the hotkeys, offscreen on the
// fake platform with a scripted OCR engine and a loopback translation server.

namespace {

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

// Waits while Hold is set, at most 20 s (a test that forgets to let go
// fails instead of hanging).
void WaitWhile(const std::atomic<bool>& Hold) {
  for (int Slice = 0; Hold && Slice < 4000; ++Slice)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

// What the OCR engine of these tests finds, and how often it was asked. It
// runs on the pipeline's worker; Records and Fail are changed only while no
// job runs.
struct TEngineScript {
  TIteratorResultList Records = {Record(10, 10, 200, 40, "Hello there.")};
  std::atomic<bool> Fail = false;
  std::atomic<int> Calls = 0;
  // A slow recognition: it goes on while Hold is set; Inside meanwhile.
  std::atomic<bool> Hold = false;
  std::atomic<bool> Inside = false;
};

class TScriptedEngine : public TOCREngine {
public:
  explicit TScriptedEngine(TEngineScript& Script) : FScript(Script) {}
  TIteratorResultList RecognizeLines(const QImage&) override {
    ++FScript.Calls;
    FScript.Inside = true;
    WaitWhile(FScript.Hold);
    FScript.Inside = false;
    if (FScript.Fail)
      throw std::runtime_error("SetImage invalid");
    return FScript.Records;
  }

private:
  TEngineScript& FScript;
};

// One thing the user does on the selection window.
struct TStep {
  enum TKind { Press, Move, Release, RightClick, Escape } Kind;
  QPoint At = {};
};
using enum TStep::TKind;

// Plays Steps on Window back to back, with no turn of the event loop between.
void Play(QWidget* Window, const std::vector<TStep>& Steps) {
  for (const TStep& Step : Steps) {
    switch (Step.Kind) {
    case Press: QTest::mousePress(Window, Qt::LeftButton, {}, Step.At); break;
    case Move: {
      QMouseEvent Event(QEvent::MouseMove, Step.At, Window->mapToGlobal(Step.At), Qt::NoButton, Qt::LeftButton, {});
      QApplication::sendEvent(Window, &Event);
      break;
    }
    case Release: QTest::mouseRelease(Window, Qt::LeftButton, {}, Step.At); break;
    case RightClick: QTest::mouseClick(Window, Qt::RightButton, {}, Step.At); break;
    case Escape: QTest::keyClick(Window, Qt::Key_Escape); break;
    }
  }
}

// The texts of the message boxes in view, modal or not.
QStringList VisibleBoxes() {
  QStringList Texts;
  for (QWidget* Widget : QApplication::topLevelWidgets())
    if (auto* Box = qobject_cast<QMessageBox*>(Widget); Box && Box->isVisible())
      Texts << Box->text();
  return Texts;
}

class CommandsController : public ::testing::Test {
protected:
  void SetUp() override {
    TConfigIni(Runtime.IniPath()).WriteString("Translation", "Server", Server.Url());
    Desktop.Screen = QImage(1920, 1080, QImage::Format_RGB32);
    Desktop.Screen.fill(Qt::white);
  }
  void TearDown() override {
    Engine.Hold = false;
    HoldServer = false;
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

  QWidget* Selection() const { return Form->FSelectionForm.get(); }
  void Drag(QPoint From, QPoint To) { Play(Selection(), {{Press, From}, {Move, To}, {Release, To}}); }
  void Escape() { Play(Selection(), {{TStep::Escape}}); }
  // Runs the pipeline's capture of the selected area to its end (the copy
  // may wait for a repaint first); whether a capture was taken.
  bool Capture(bool ScreenDiff) {
    auto Captured = std::make_shared<std::optional<bool>>();
    Form->Pipeline().CaptureScreenArea(ScreenDiff, [Captured](bool Result) { *Captured = Result; });
    if (!QTest::qWaitFor([&] { return Captured->has_value(); }, 5000)) {
      ADD_FAILURE() << "the capture did not end";
      return false;
    }
    return **Captured;
  }
  bool WaitIdle() {
    return QTest::qWaitFor([this] { return Form->Idle(); }, 10000);
  }

  // Starts automatic translation from its button over (100, 100, 500, 300).
  void StartFromButton() {
    Form->ActAutoTranslate->trigger();
    ASSERT_TRUE(Form->Pipeline().IsSelecting());
    Drag({100, 100}, {500, 300});
    ASSERT_TRUE(QTest::qWaitFor([this] { return Form->TimerAction.isActive(); }, 10000));
    ASSERT_TRUE(WaitIdle());
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

  // A slow translation server: each request waits while HoldServer is set.
  std::atomic<bool> HoldServer = false;
  std::atomic<bool> InServer = false;
  TLoopbackServer Server{[this](const httplib::Request& Request, httplib::Response& Response) {
    InServer = true;
    WaitWhile(HoldServer);
    InServer = false;
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
  EXPECT_EQ(Form->Pipeline().SelectedRect(), (TRect{100, 100, 500, 300}));
  EXPECT_EQ(Engine.Calls, 1);
  EXPECT_EQ(Translations(), 1);
  EXPECT_EQ(Form->AutoTranslateImage(), 0);
  EXPECT_TRUE(Form->mnuAutoTranslate->isChecked());
  EXPECT_TRUE(Form->FTranslateForm->isVisible());
}

TEST_F(CommandsController, ButtonWithACancelledSelectionChangesNothing) {
  Start();
  Form->ActAutoTranslate->trigger();
  ASSERT_TRUE(Form->Pipeline().IsSelecting());
  Escape();
  ASSERT_TRUE(WaitIdle());
  EXPECT_FALSE(Form->TimerAction.isActive());
  EXPECT_FALSE(Form->mnuAutoTranslate->isChecked());
  EXPECT_EQ(Form->AutoTranslateImage(), 1);
  EXPECT_EQ(Desktop.CopyCount, 0);
}

TEST_F(CommandsController, ButtonWhileRunningStopsAndResetsEverything) {
  Start();
  StartFromButton();
  Form->ActAutoTranslate->trigger();
  EXPECT_FALSE(Form->TimerAction.isActive());
  EXPECT_FALSE(Form->mnuAutoTranslate->isChecked());
  EXPECT_FALSE(Form->FTranslateForm->isVisible());
  EXPECT_EQ(Form->AutoTranslateImage(), 1);
  EXPECT_FALSE(Form->Pipeline().IsSelecting()); // no new selection was made
  EXPECT_TRUE(Form->Idle());
}

TEST_F(CommandsController, MenuWithAnAreaStartsTheTimerOnly) {
  Start();
  Form->Pipeline().SetSelectedRect({100, 100, 500, 300});
  Form->mnuAutoTranslate->trigger();
  EXPECT_TRUE(Form->mnuAutoTranslate->isChecked());
  EXPECT_TRUE(Form->TimerAction.isActive());
  EXPECT_EQ(Form->AutoTranslateImage(), 1);
  EXPECT_EQ(Desktop.CopyCount, 0);
  EXPECT_FALSE(Form->Pipeline().IsSelecting()); // and no selection
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
}

TEST_F(CommandsController, TheThreeCommandsStopTheTimerButKeepCheckMarkAndImage) {
  Start();
  StartFromButton();
  for (QAction* Command : {Form->ActSelectArea, Form->ActTranslate, Form->ActSelectFullScreen}) {
    SCOPED_TRACE(Command->text().toStdString());
    Form->TimerAction.start();
    Command->trigger();
    EXPECT_FALSE(Form->TimerAction.isActive());
    if (Form->Pipeline().IsSelecting())
      Escape();
    ASSERT_TRUE(WaitIdle());
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
  const TIteratorResultList Shown = Form->Pipeline().TargetList();
  const QRect Geometry = Form->FTranslateForm->geometry();
  const int Copies = Desktop.CopyCount;
  ASSERT_TRUE(WaitForTicks(5));
  // Each tick looked.
  EXPECT_TRUE(QTest::qWaitFor([&] { return Desktop.CopyCount >= Copies + 5; }, 5000));
  EXPECT_EQ(Engine.Calls, 1);
  EXPECT_EQ(Translations(), 1);
  EXPECT_EQ(Form->Pipeline().TargetList(), Shown);
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
  const TIteratorResultList& Shown = Form->Pipeline().TargetList();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Shown.size() == 1 && Shown[0].Text == "번역:Changed text."; }, 10000));
  EXPECT_EQ(Engine.Calls, 2);
  EXPECT_TRUE(Form->TimerAction.isActive());
}

TEST_F(CommandsController, AFailingTickShowsOneErrorBoxAndTheTimerRunsOn) {
  Start();
  StartFromButton();
  Engine.Fail = true;
  ChangeTheScreen();
  Form->TimerAction.setInterval(20);
  // The user reads the box for a while before answering it; a lasting
  // fault must not stack boxes meanwhile. The box does not block: the
  // timer goes on meanwhile.
  std::vector<QString> Texts;
  int MostBoxesAtOnce = 0;
  QElapsedTimer FirstSight;
  QTimer Reader;
  QObject::connect(&Reader, &QTimer::timeout, [&] {
    QMessageBox* Box = nullptr;
    int Open = 0;
    for (QWidget* Widget : QApplication::topLevelWidgets())
      if (auto* Shown = qobject_cast<QMessageBox*>(Widget); Shown && Shown->isVisible()) {
        ++Open;
        Box = Shown;
      }
    MostBoxesAtOnce = std::max(MostBoxesAtOnce, Open);
    if (!Box)
      return;
    if (!FirstSight.isValid()) {
      FirstSight.start();
      Texts.push_back(Box->text());
      EXPECT_TRUE(Box->property("KorvexError").toBool());
    } else if (FirstSight.elapsed() > 300) {
      Box->button(QMessageBox::Ok)->click();
    }
  });
  Reader.start(5);
  ASSERT_TRUE(QTest::qWaitFor([&] { return FirstSight.isValid() && FirstSight.elapsed() > 300; }, 10000));
  ASSERT_TRUE(QTest::qWaitFor([] { return VisibleBoxes().isEmpty(); }, 10000));
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

// Hotkey 1 leaves automatic translation running; its ticks wait for the
// selection to end.
TEST_F(CommandsController, NoTickRunsDuringASelection) {
  Start();
  Form->Pipeline().SetSelectedRect({100, 100, 500, 300});
  Form->mnuAutoTranslate->trigger();
  Form->TimerAction.setInterval(10);
  ASSERT_TRUE(Desktop.PressHotKey(MOD_CONTROL | MOD_ALT, 'C'));
  ASSERT_TRUE(Form->Pipeline().IsSelecting());
  // The user takes a while over the selection; the timer fires meanwhile.
  ASSERT_TRUE(WaitForTicks(10));
  EXPECT_EQ(Desktop.CopyCount, 0);
  EXPECT_TRUE(Form->Pipeline().IsSelecting());
  EXPECT_TRUE(Selection()->isVisible());
  Escape();
  EXPECT_FALSE(Form->Pipeline().IsSelecting());
  EXPECT_TRUE(Form->TimerAction.isActive());
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
  // The selected area and its capture are not mouse translation's.
  const TRect Selected{30, 40, 330, 240};
  Form->Pipeline().SetSelectedRect(Selected);
  ASSERT_TRUE(Capture(false));
  const QImage Captured = *Form->Pipeline().ScreenBitmap();
  for (const TPointerCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    Desktop.Cursor = Case.Pointer;
    Desktop.CopyCount = 0;
    Form->FTranslateForm->show();
    const TIteratorResultList Before = Form->Pipeline().TargetList();
    const int Translated = Translations();
    TRect Copied;
    Desktop.OnCopyScreen = [&](const TRect& Rect) { Copied = Rect; };
    bool Ended = false;
    Form->MouseTranslate([&] { Ended = true; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return Ended; }, 10000));
    Desktop.OnCopyScreen = nullptr;
    EXPECT_EQ(Desktop.CopyCount, 1);
    EXPECT_EQ(Copied, (TRect{0, 0, 1920, 1080}));
    EXPECT_TRUE(Form->Pipeline().IsIdle());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(Form->Pipeline().SelectedRect(), Selected);
    EXPECT_EQ(*Form->Pipeline().ScreenBitmap(), Captured);
    if (Case.Expected < 0) {
      EXPECT_EQ(Translations(), Translated);
      EXPECT_FALSE(Form->FTranslateForm->isVisible());
      EXPECT_EQ(Form->Pipeline().TargetList(), Before);
      continue;
    }
    const TIteratorResult& Under = Paragraphs[size_t(Case.Expected)];
    EXPECT_EQ(Translations(), Translated + 1);
    TIteratorResult Shown;
    Shown.Left = 2;
    Shown.Top = 2;
    Shown.Right = Under.GetWidth();
    Shown.Bottom = Under.GetHeight();
    Shown.Text = QStringLiteral("번역:") + Under.Text;
    ASSERT_EQ(Form->Pipeline().TargetList().size(), 1u);
    EXPECT_EQ(Form->Pipeline().TargetList()[0], Shown);
    EXPECT_TRUE(Form->FTranslateForm->isVisible());
    EXPECT_EQ(Form->FTranslateForm->geometry(), QRect(Under.Left, Under.Top, Under.GetWidth(), Under.GetHeight()));
  }
}

// A failure reaches the error box instead of the caller; the cursor and the
// pipeline are back as they were.
TEST_F(CommandsController, MouseTranslationRestoresCursorAndSaysWhyWhenRecognitionFails) {
  Start();
  Engine.Fail = true;
  bool Ended = false;
  Form->MouseTranslate([&] { Ended = true; });
  ASSERT_TRUE(QTest::qWaitFor([&] { return Ended; }, 10000));
  EXPECT_TRUE(Form->Pipeline().IsIdle());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(VisibleBoxes(), QStringList{"SetImage invalid"});
  EXPECT_EQ(Translations(), 0);
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
  Form->Pipeline().SetSelectedRect({100, 100, 500, 300});

  // 1: a selection, then a translation of it.
  ASSERT_TRUE(Desktop.PressHotKey(CtrlAlt, 'C'));
  ASSERT_TRUE(Form->Pipeline().IsSelecting());
  Drag({10, 20}, {210, 120});
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Form->Pipeline().SelectedRect(), (TRect{10, 20, 210, 120}));
  EXPECT_EQ(Engine.Calls, 1);

  // 2: the area again, no selection.
  ASSERT_TRUE(Desktop.PressHotKey(CtrlAlt, 'T'));
  EXPECT_FALSE(Form->Pipeline().IsSelecting());
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Engine.Calls, 2);

  // 3: automatic translation on (after a selection) and off.
  ASSERT_TRUE(Desktop.PressHotKey(CtrlAlt, 'A'));
  ASSERT_TRUE(Form->Pipeline().IsSelecting());
  Drag({100, 100}, {500, 300});
  ASSERT_TRUE(QTest::qWaitFor([&] { return Form->TimerAction.isActive(); }, 10000));
  EXPECT_EQ(Form->AutoTranslateImage(), 0);

  // 4: the work area, and automatic translation keeps running.
  ASSERT_TRUE(WaitIdle());
  ASSERT_TRUE(Desktop.PressHotKey(CtrlAlt, 'F'));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Form->Pipeline().SelectedRect(), (TRect{0, 0, 1920, 1040}));
  EXPECT_TRUE(Form->TimerAction.isActive());

  // 5: the paragraph under the pointer, over that paragraph; the selected
  // area stays.
  Desktop.Cursor = {20, 20};
  ASSERT_TRUE(Desktop.PressHotKey(CtrlAlt, 'Z'));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Form->Pipeline().SelectedRect(), (TRect{0, 0, 1920, 1040}));
  ASSERT_EQ(Form->Pipeline().TargetList().size(), 1u);
  EXPECT_EQ(Form->Pipeline().TargetList()[0].Text, "번역:Hello there.");
  EXPECT_EQ(Form->FTranslateForm->geometry(), QRect(10, 10, 190, 30));

  ASSERT_TRUE(Desktop.PressHotKey(CtrlAlt, 'A'));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !Form->TimerAction.isActive(); }, 10000));
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
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Form->Pipeline().SelectedRect(), (TRect{0, 0, 1920, 1040}));
}

TEST_F(CommandsController, TwoHotkeysWithOneTextRunTheFirstCommand) {
  TConfigIni(Runtime.IniPath()).WriteString("General", "HotKey4", " ctrl + ALT + c");
  const std::string Errors = StartAndReadErrors();
  EXPECT_EQ(Errors, "korvex: the hotkey \"ctrl + ALT + c\" of full-screen is the hotkey of select-translate "
                    "already; it runs select-translate only");
  ASSERT_TRUE(Desktop.PressHotKey(CtrlAlt, 'C'));
  EXPECT_TRUE(Form->Pipeline().IsSelecting()); // a selection, not the full screen
  Escape();
  ASSERT_TRUE(WaitIdle());
  EXPECT_TRUE(Form->Pipeline().SelectedRect().IsEmpty());
  EXPECT_EQ(Desktop.CopyCount, 0);
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

// --- A selection cancelled, a job cut short, commands that arrive meanwhile --

// A short Escape (press and release at once) or a right-click ends the
// selection for good: the window goes, and what the user does afterwards
// is translated by nobody.
TEST_F(CommandsController, ACancelledSelectionTranslatesNoLaterDrag) {
  Start();
  const std::pair<const char*, TStep> Cases[] = {{"escape", {TStep::Escape}},
                                                 {"right-click", {RightClick, {300, 300}}}};
  for (const auto& [Name, Cancel] : Cases) {
    SCOPED_TRACE(Name);
    ASSERT_TRUE(Desktop.PressHotKey(CtrlAlt, 'C'));
    ASSERT_TRUE(Form->Pipeline().IsSelecting());
    Play(Selection(), {Cancel});
    EXPECT_FALSE(Selection()->isVisible());
    ASSERT_TRUE(WaitIdle());
    Drag({100, 100}, {500, 300});
    QTest::qWait(100);
    EXPECT_TRUE(Form->Idle());
    EXPECT_TRUE(Form->Pipeline().SelectedRect().IsEmpty());
    EXPECT_EQ(Desktop.CopyCount, 0);
    EXPECT_EQ(Engine.Calls, 0);
    EXPECT_EQ(Translations(), 0);
    EXPECT_FALSE(Form->FTranslateForm->isVisible());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  }
}

// The steps of a job, each held until the test lets it go on: the
// selection waits for the user, recognition for a slow engine, translation
// for a slow server. Reach starts the command and returns once the step
// is under way.
struct TJobStep {
  const char* Name;
  std::function<void()> Reach;
};

class CommandsControllerSteps : public CommandsController {
protected:
  // Each step as a command from its hotkey: select-translate, or translate
  // of the selected area.
  std::vector<TJobStep> Steps() {
    return {
        {"selection",
         [this] {
           ASSERT_TRUE(Desktop.PressHotKey(CtrlAlt, 'C'));
           ASSERT_TRUE(Form->Pipeline().IsSelecting());
           Play(Selection(), {{Press, {10, 10}}, {Move, {50, 50}}});
         }},
        {"recognition",
         [this] {
           Engine.Hold = true;
           ASSERT_TRUE(Desktop.PressHotKey(CtrlAlt, 'T'));
           ASSERT_TRUE(QTest::qWaitFor([this] { return Engine.Inside.load(); }, 10000));
         }},
        {"translation",
         [this] {
           HoldServer = true;
           ASSERT_TRUE(Desktop.PressHotKey(CtrlAlt, 'T'));
           ASSERT_TRUE(QTest::qWaitFor([this] { return InServer.load(); }, 10000));
         }},
    };
  }
  // Lets every held step go on.
  void LetGo() {
    Engine.Hold = false;
    HoldServer = false;
  }
};

// Closing the main window at any step ends the job: nothing is shown
// afterwards (no overlay, no selection window, no error box), and the window
// is destroyed without a crash. A translation under way is given up without
// waiting for the server; a recognition, which cannot be cut short, is
// dropped when it ends.
TEST_F(CommandsControllerSteps, ClosingTheWindowDuringEachStepEndsTheJob) {
  const int Recognitions[] = {0, 1, 1}; // by step: what the job got to
  const int Requests[] = {0, 0, 1};
  const std::vector<TJobStep> All = Steps();
  for (size_t N = 0; N < All.size(); ++N) {
    const TJobStep& Step = All[N];
    SCOPED_TRACE(Step.Name);
    Start();
    const int Translated = Translations();
    Form->Pipeline().SetSelectedRect({100, 100, 500, 300});
    Step.Reach();
    if (HasFatalFailure())
      return;
    Form->close();
    EXPECT_FALSE(Selection()->isVisible());
    Engine.Hold = false; // the engine's step ends in its own time
    EXPECT_TRUE(QTest::qWaitFor([&] { return Form->Pipeline().IsIdle(); }, 5000));
    QTest::qWait(100);
    EXPECT_FALSE(Form->FTranslateForm->isVisible());
    EXPECT_FALSE(Selection()->isVisible());
    EXPECT_EQ(VisibleBoxes(), QStringList());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    // A drag after the end starts nothing.
    Drag({100, 100}, {500, 300});
    QTest::qWait(50);
    EXPECT_TRUE(Form->Pipeline().IsIdle());
    EXPECT_FALSE(Form->FTranslateForm->isVisible());
    EXPECT_EQ(Engine.Calls, Recognitions[N]);
    EXPECT_EQ(Translations() - Translated, Requests[N]);
    LetGo();
    Form.reset();
    Engine.Calls = 0;
  }
}

// A command arriving during a selection ends the selection and then runs; one
// arriving during recognition or translation (pressed twice, even) waits for
// the job, which ends as it would have, and runs once after it.
TEST_F(CommandsControllerSteps, ACommandArrivingDuringEachStepRunsOnceAfter) {
  const int JobsBefore[] = {0, 1, 1}; // by step: jobs the step itself runs
  const std::vector<TJobStep> All = Steps();
  for (size_t N = 0; N < All.size(); ++N) {
    const TJobStep& Step = All[N];
    SCOPED_TRACE(Step.Name);
    Start();
    const int Translated = Translations();
    Form->Pipeline().SetSelectedRect({100, 100, 500, 300});
    Step.Reach();
    if (HasFatalFailure())
      return;
    ASSERT_TRUE(Desktop.PressHotKey(CtrlAlt, 'T'));
    ASSERT_TRUE(Desktop.PressHotKey(CtrlAlt, 'T'));
    if (N == 0) {
      // The selection ended at once, nothing chosen.
      EXPECT_FALSE(Selection()->isVisible());
    } else {
      // The job goes on; the command waits for it.
      QTest::qWait(100);
      EXPECT_EQ(Engine.Calls, 1);
      EXPECT_FALSE(Form->Idle());
    }
    LetGo();
    ASSERT_TRUE(WaitIdle());
    QTest::qWait(100);
    EXPECT_TRUE(Form->Idle());
    EXPECT_EQ(Form->Pipeline().SelectedRect(), (TRect{100, 100, 500, 300}));
    EXPECT_EQ(Engine.Calls, JobsBefore[N] + 1);
    EXPECT_EQ(Translations() - Translated, JobsBefore[N] + 1);
    EXPECT_TRUE(Form->FTranslateForm->isVisible());
    ASSERT_EQ(Form->Pipeline().TargetList().size(), 1u);
    EXPECT_EQ(Form->Pipeline().TargetList()[0].Text, "번역:Hello there.");
    EXPECT_EQ(VisibleBoxes(), QStringList());
    Form.reset();
    Engine.Calls = 0;
  }
}

// An automatic-translation tick gives way: a command arriving while the
// tick's job recognises cancels that job (nothing of it is shown or sent),
// then runs.
TEST_F(CommandsController, ACommandArrivingDuringATickCancelsTheTicksJob) {
  Start();
  Form->Pipeline().SetSelectedRect({100, 100, 500, 300});
  ASSERT_TRUE(Capture(false));
  Form->mnuAutoTranslate->trigger();
  Engine.Hold = true;
  ChangeTheScreen();
  Form->TimerAction.setInterval(20);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Engine.Inside.load(); }, 10000));
  ASSERT_TRUE(Desktop.PressHotKey(CtrlAlt, 'T'));
  Engine.Hold = false;
  ASSERT_TRUE(QTest::qWaitFor([&] { return Engine.Calls >= 2 && !Form->Pipeline().TargetList().empty(); }, 10000));
  // The translate command's result only.
  EXPECT_EQ(Translations(), 1);
  ASSERT_EQ(Form->Pipeline().TargetList().size(), 1u);
  EXPECT_EQ(Form->Pipeline().TargetList()[0].Text, "번역:Hello there.");
  EXPECT_TRUE(Form->TimerAction.isActive());
}

} // namespace
