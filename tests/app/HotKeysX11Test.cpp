#include "app/UnitFormOCR.h"
#include "ocr/OCREngine.h"
#include "platform/Platform.h"
#include "settings/ConfigIni.h"

#include <QAction>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <gtest/gtest.h>

#include "support/TestRuntime.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <atomic>

// The five global hotkeys on a private X server, pressed with XTest
// (xdotool), also with NumLock or CapsLock lit and with one of them grabbed
// by another client first.

namespace {

// What the OCR engine of these tests finds, and how often it was asked. It
// runs on the pipeline's worker; Records is changed only while no job runs.
struct TEngineScript {
  TIteratorResultList Records;
  std::atomic<int> Calls = 0;
};

class TScriptedEngine : public TOCREngine {
public:
  explicit TScriptedEngine(TEngineScript& Script) : FScript(Script) {}
  TIteratorResultList RecognizeLines(const QImage&) override {
    ++FScript.Calls;
    return FScript.Records;
  }

private:
  TEngineScript& FScript;
};

// Runs xdotool with Arguments to its end while this process serves events.
bool Xdotool(const QStringList& Arguments) {
  QProcess Process;
  Process.start(QStringLiteral("xdotool"), Arguments);
  if (!Process.waitForStarted(5000))
    return false;
  if (!QTest::qWaitFor([&] { return Process.state() == QProcess::NotRunning; }, 10000))
    return false;
  return Process.exitStatus() == QProcess::NormalExit && Process.exitCode() == 0;
}

// A second client of the X server, as another program would be.
class TOtherClient {
public:
  TOtherClient() : FDisplay(XOpenDisplay(nullptr)) {}
  ~TOtherClient() {
    if (FDisplay)
      XCloseDisplay(FDisplay);
  }
  // True when the server let this client grab the key on the root window.
  bool Grab(KeySym Sym, unsigned Modifiers) {
    Failed = false;
    const XErrorHandler Old = XSetErrorHandler([](Display*, XErrorEvent*) {
      Failed = true;
      return 0;
    });
    XGrabKey(FDisplay, XKeysymToKeycode(FDisplay, Sym), Modifiers, DefaultRootWindow(FDisplay), False, GrabModeAsync,
             GrabModeAsync);
    XSync(FDisplay, False);
    XSetErrorHandler(Old);
    return !Failed;
  }
  unsigned LockedModifiers() {
    XkbStateRec State{};
    XkbGetState(FDisplay, XkbUseCoreKbd, &State);
    return State.locked_mods;
  }
  static inline bool Failed = false;

private:
  Display* FDisplay;
};

class HotKeysX11 : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    QString Error;
    Desktop = CreateX11Platform(&Error);
    ASSERT_TRUE(Desktop) << Error.toStdString();
  }
  static void TearDownTestSuite() { Desktop.reset(); }

  void TearDown() override {
    End();
    Form.reset();
  }

  // Starts the main window; returns what it said on standard error.
  std::string Start() {
    testing::internal::CaptureStderr();
    {
      TMessageBoxAnswerer User;
      Form = std::make_unique<TFormOCR>(Runtime.Path(), *Desktop);
    }
    const QStringList Lines = QString::fromStdString(testing::internal::GetCapturedStderr()).split('\n');
    EXPECT_FALSE(Form->StartFailed());
    Form->Pipeline().SetEngine(TOCREngineKind::Tesseract, std::make_unique<TScriptedEngine>(Engine));
    Form->mnuTextLine->setChecked(true);
    Form->mnuOCROnly->setChecked(true); // no translation server needed
    Form->move(1500, 800);
    Form->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
    // A selection started by a hotkey ends as soon as it has been seen.
    QObject::connect(&SelectionWatch, &QTimer::timeout, [this] {
      if (Form && Form->Pipeline().IsSelecting()) {
        ++Selections;
        Form->Pipeline().Cancel();
      }
    });
    SelectionWatch.start(10);
    return Lines.filter(QRegularExpression("^korvex: ")).join('\n').toStdString();
  }
  void End() { SelectionWatch.stop(); }

  // Presses Keys (xdotool's names) and waits until Done() holds.
  bool Press(const char* Keys, const std::function<bool()>& Done) {
    if (!Xdotool({QStringLiteral("key"), QString::fromLatin1(Keys)}))
      return false;
    return QTest::qWaitFor(Done, 10000);
  }

  // Presses each of the five default hotkeys and checks that its command ran.
  void PressAllFive() {
    TTranslationPipeline& Pipeline = Form->Pipeline();

    const int SelectionsBefore = Selections;
    EXPECT_TRUE(Press("ctrl+alt+c", [&] { return Selections == SelectionsBefore + 1; })) << "select-translate";

    Pipeline.SetSelectedRect({100, 100, 300, 200});
    int CallsBefore = Engine.Calls;
    EXPECT_TRUE(Press("ctrl+alt+t", [&] { return Engine.Calls == CallsBefore + 1 && Form->Idle(); })) << "translate";
    ASSERT_TRUE(Pipeline.ScreenBitmap());
    EXPECT_EQ(Pipeline.ScreenBitmap()->size(), QSize(200, 100));

    Form->mnuAutoTranslate->trigger(); // on, from the menu
    EXPECT_TRUE(Form->TimerAction.isActive());
    EXPECT_TRUE(Press("ctrl+alt+a", [&] { return !Form->TimerAction.isActive(); })) << "auto-translate";
    EXPECT_FALSE(Form->mnuAutoTranslate->isChecked());

    Pipeline.SetSelectedRect({1, 2, 3, 4});
    EXPECT_TRUE(Press("ctrl+alt+f", [&] {
      return Pipeline.SelectedRect() == TRect{0, 0, 1920, 1080} && Form->Idle();
    })) << "full-screen";

    // The paragraph under the pointer, shown over it; the selected area stays.
    Engine.Records = {Record(10, 10, 200, 40)};
    EXPECT_TRUE(Xdotool({"mousemove", "20", "20"}));
    CallsBefore = Engine.Calls;
    EXPECT_TRUE(Press("ctrl+alt+z", [&] { return Engine.Calls == CallsBefore + 1 && Form->Idle(); }))
        << "mouse-translate";
    EXPECT_EQ(Pipeline.SelectedRect(), (TRect{0, 0, 1920, 1080}));
    ASSERT_EQ(Pipeline.TargetList().size(), 1u);
    EXPECT_EQ(Pipeline.TargetList()[0].Text, "Some text");
    Engine.Records.clear();
  }

  static TIteratorResult Record(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom) {
    TIteratorResult R;
    R.Left = Left;
    R.Top = Top;
    R.Right = Right;
    R.Bottom = Bottom;
    R.Text = QStringLiteral("Some text");
    return R;
  }

  static inline std::unique_ptr<TPlatform> Desktop;
  TTestRuntimeFolder Runtime;
  TEngineScript Engine;
  std::unique_ptr<TFormOCR> Form;
  QTimer SelectionWatch;
  int Selections = 0;
};

TEST_F(HotKeysX11, EachDefaultHotkeyRunsItsCommandWhateverTheLockKeys) {
  EXPECT_EQ(Start(), "");
  TOtherClient Keyboard;
  {
    SCOPED_TRACE("no lock key");
    ASSERT_EQ(Keyboard.LockedModifiers() & (LockMask | Mod2Mask), 0u);
    PressAllFive();
  }
  {
    SCOPED_TRACE("NumLock on");
    ASSERT_TRUE(Xdotool({"key", "Num_Lock"}));
    ASSERT_NE(Keyboard.LockedModifiers() & Mod2Mask, 0u);
    PressAllFive();
    ASSERT_TRUE(Xdotool({"key", "Num_Lock"}));
  }
  {
    SCOPED_TRACE("CapsLock on");
    ASSERT_TRUE(Xdotool({"key", "Caps_Lock"}));
    ASSERT_NE(Keyboard.LockedModifiers() & LockMask, 0u);
    PressAllFive();
    ASSERT_TRUE(Xdotool({"key", "Caps_Lock"}));
  }
}

TEST_F(HotKeysX11, AHotkeyGrabbedByAnotherClientLeavesTheOtherFourWorking) {
  TOtherClient Other;
  ASSERT_TRUE(Other.Grab(XK_t, ControlMask | Mod1Mask));
  EXPECT_EQ(Start(), "korvex: the hotkey \"Ctrl+Alt+T\" of translate is taken by another program; it does nothing in "
                     "this Korvex");
  // Still running; the others work.
  const int SelectionsBefore = Selections;
  EXPECT_TRUE(Press("ctrl+alt+c", [&] { return Selections == SelectionsBefore + 1; }));
  Form->Pipeline().SetSelectedRect({1, 2, 3, 4});
  EXPECT_TRUE(Press("ctrl+alt+f", [&] { return Form->Pipeline().SelectedRect() == TRect{0, 0, 1920, 1080}; }));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Form->Idle(); }, 10000));
  // Korvex left none of the four lock variants of the refused key grabbed:
  // the other client keeps it, and a third gets BadAccess only from it.
  Form->Pipeline().SetSelectedRect({100, 100, 300, 200});
  const int Calls = Engine.Calls;
  ASSERT_TRUE(Xdotool({"key", "ctrl+alt+t"}));
  QTest::qWait(200);
  EXPECT_EQ(Engine.Calls, Calls);
}

TEST_F(HotKeysX11, TwoHotkeysWithOneTextRunTheFirstCommand) {
  TConfigIni(Runtime.IniPath()).WriteString("General", "HotKey2", "Ctrl+Alt+C");
  EXPECT_EQ(Start(), "korvex: the hotkey \"Ctrl+Alt+C\" of translate is the hotkey of select-translate already; it "
                     "runs select-translate only");
  Form->Pipeline().SetSelectedRect({100, 100, 300, 200});
  const int SelectionsBefore = Selections;
  EXPECT_TRUE(Press("ctrl+alt+c", [&] { return Selections == SelectionsBefore + 1; }));
  EXPECT_EQ(Engine.Calls, 0); // no translation of the old area
}

TEST_F(HotKeysX11, TheGrabsEndWithTheWindow) {
  Start();
  TOtherClient Other;
  EXPECT_FALSE(Other.Grab(XK_c, ControlMask | Mod1Mask));
  EXPECT_FALSE(Other.Grab(XK_c, ControlMask | Mod1Mask | LockMask));
  End();
  Form.reset();
  EXPECT_TRUE(Other.Grab(XK_c, ControlMask | Mod1Mask));
  EXPECT_TRUE(Other.Grab(XK_z, ControlMask | Mod1Mask | Mod2Mask | LockMask));
}

TEST(HotKeysX11Platform, EveryNamedKeyCanBeGrabbedAndReleased) {
  QString Error;
  const std::unique_ptr<TPlatform> Platform = CreateX11Platform(&Error);
  ASSERT_TRUE(Platform) << Error.toStdString();
  QWidget Window;
  const uint32_t Id = Platform->GlobalAddAtom(QStringLiteral("KorvexTestHotkey"));
  EXPECT_NE(Id, 0u);
  EXPECT_EQ(Platform->GlobalAddAtom(QStringLiteral("KorvexTestHotkey")), Id);
  std::vector<uint32_t> Codes;
  for (uint32_t Code = '0'; Code <= '9'; ++Code)
    Codes.push_back(Code);
  for (uint32_t Code = 'A'; Code <= 'Z'; ++Code)
    Codes.push_back(Code);
  for (uint32_t Code = 0x70; Code <= 0x7B; ++Code) // F1 ... F12
    Codes.push_back(Code);
  for (uint32_t Code : {0x08, 0x09, 0x0D, 0x1B, 0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28, 0x2D, 0x2E})
    Codes.push_back(Code);
  for (uint32_t Code : Codes) {
    EXPECT_EQ(Platform->RegisterHotKey(&Window, Id, MOD_CONTROL | MOD_SHIFT, Code),
              TPlatform::THotKeyResult::Registered)
        << Code;
    Platform->UnregisterHotKey(&Window, Id);
  }
  EXPECT_EQ(Platform->RegisterHotKey(&Window, Id, MOD_CONTROL, 0), TPlatform::THotKeyResult::UnknownKey);
  EXPECT_EQ(Platform->RegisterHotKey(&Window, Id, MOD_CONTROL, 0x10), TPlatform::THotKeyResult::UnknownKey);
}

} // namespace
