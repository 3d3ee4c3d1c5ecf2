#include "app/UnitFormOCR.h"
#include "capture/SelectForm.h"
#include "imaging/OCRPreprocessor.h"
#include "overlay/TranslateForm.h"
#include "platform/fake/FakePlatform.h"
#include "support/RuntimeFolder.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>

namespace {

// One thing the user does on the selection window.
struct TStep {
  enum TKind { Press, Move, Release, RightClick, Escape, ShiftKey } Kind;
  QPoint At = {};
  bool Shift = false; // the mouse event carries the Shift modifier
};
using enum TStep::TKind;

// Plays Steps on Window back to back, with no turn of the event loop
// between them, as events queued by a fast user arrive.
// Whether the left button is down, from one Play to the next.
bool Held = false;

void Play(QWidget* Window, const std::vector<TStep>& Steps) {
  for (const TStep& Step : Steps) {
    const Qt::KeyboardModifiers Modifiers = Step.Shift ? Qt::ShiftModifier : Qt::NoModifier;
    switch (Step.Kind) {
    case Press:
      QTest::mousePress(Window, Qt::LeftButton, Modifiers, Step.At);
      Held = true;
      break;
    case Move: {
      // QTest's own move carries no buttons without a press it made itself.
      QMouseEvent Event(QEvent::MouseMove, Step.At, Window->mapToGlobal(Step.At), Qt::NoButton,
                        Held ? Qt::LeftButton : Qt::NoButton, Modifiers);
      QApplication::sendEvent(Window, &Event);
      break;
    }
    case Release:
      QTest::mouseRelease(Window, Qt::LeftButton, Modifiers, Step.At);
      Held = false;
      break;
    case RightClick: QTest::mouseClick(Window, Qt::RightButton, Modifiers, Step.At); break;
    case Escape: QTest::keyClick(Window, Qt::Key_Escape); break;
    case ShiftKey: QTest::keyPress(Window, Qt::Key_Shift); break;
    }
  }
}

class CaptureController : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(Dir.isValid());
    ASSERT_TRUE(LinkRecognitionData(Dir.path()));
    Form = std::make_unique<TFormOCR>(Dir.path(), Desktop);
    ASSERT_FALSE(Form->StartFailed());
    Form->show();
  }
  void TearDown() override { Form.reset(); }

  QWidget* Selection() const { return Form->FSelectionForm.get(); }
  // Starts a selection as the select-area operation does; Chosen holds its
  // outcome once it has ended.
  void StartSelection() {
    Chosen.reset();
    Form->SelectArea([this](bool Result) { Chosen = Result; });
  }
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
    return QTest::qWaitFor([this] { return Form->Idle(); }, 30000);
  }

  // Something asked of the window outside the command queue.
  struct TOperation {
    const char* Name;
    std::function<void(std::function<void()> Done)> Start;
  };
  // During a selection, each of Cases ends at once and leaves the
  // selection running.
  void ExpectOperationsDuringASelectionDoNothing(const std::vector<TOperation>& Cases);

  QTemporaryDir Dir;
  TFakePlatform Desktop;
  TFakePlatform* Fake = &Desktop;
  std::unique_ptr<TFormOCR> Form;
  std::optional<bool> Chosen;
};

struct TSelectionCase {
  const char* Name;
  std::vector<TStep> Steps;
  bool Result;
  TRect Rect; // the selected area afterwards
};

TEST_F(CaptureController, Selection) {
  const TRect Before{1, 2, 3, 4};
  const TSelectionCase Cases[] = {
      {"drag",
       {{Move, {500, 400}}, {Press, {500, 400}}, {Move, {300, 350}}, {Move, {100, 300}}, {Release, {100, 300}}},
       true,
       {100, 300, 500, 400}},
      {"fast drag", {{Press, {40, 50}}, {Move, {640, 450}}, {Release, {640, 450}}}, true, {40, 50, 640, 450}},
      {"click without movement",
       {{Move, {700, 500}}, {Press, {700, 500}}, {Release, {700, 500}}},
       true,
       {700, 500, 700, 500}},
      {"shift: two clicks",
       {{Press, {10, 10}, true}, {Move, {20, 20}, true}, {Release, {25, 25}}, {Move, {200, 100}}, {Press, {200, 100}}},
       true,
       {20, 20, 200, 100}},
      {"shift key, then two clicks",
       {{ShiftKey}, {Press, {10, 10}}, {Release, {10, 10}}, {Move, {200, 100}}, {Press, {200, 100}}},
       true,
       {10, 10, 200, 100}},
      {"shift pressed during a drag",
       {{Move, {0, 0}},
        {Press, {500, 400}},
        {ShiftKey},
        {Move, {450, 380}, true},
        {Move, {440, 370}, true},
        {Release, {460, 390}},
        {Move, {600, 500}},
        {Press, {600, 500}}},
       true,
       {440, 370, 600, 500}},
      {"escape", {{Move, {0, 0}}, {Press, {500, 400}}, {Move, {300, 300}}, {Escape}}, false, Before},
      {"escape before anything", {{Escape}}, false, Before},
      {"right-click",
       {{Move, {0, 0}}, {Press, {500, 400}}, {Move, {300, 300}}, {RightClick, {300, 300}}},
       false,
       Before},
      {"right-click before anything", {{RightClick, {300, 300}}}, false, Before},
      {"shift mode, right-click instead of the second click",
       {{Press, {10, 10}, true}, {Release, {10, 10}}, {Move, {200, 100}}, {RightClick, {200, 100}}},
       false,
       Before},
  };
  for (const TSelectionCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    Form->Pipeline().SetSelectedRect(Before);
    Form->FTranslateForm->show();
    StartSelection();
    // Waiting for the user now.
    ASSERT_FALSE(Chosen.has_value());
    EXPECT_TRUE(Form->Pipeline().IsSelecting());
    EXPECT_TRUE(Selection()->isVisible());
    EXPECT_FALSE(Form->FTranslateForm->isVisible());
    EXPECT_EQ(Selection()->geometry(), QRect(0, 0, 1920, 1080));
    EXPECT_EQ(Fake->Windows[Form.get()].Alpha, 0);
    EXPECT_EQ(Fake->Windows[Selection()].Alpha, 128); // "overlay" display mode off: dimmed
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::CrossCursor);

    Play(Selection(), Case.Steps);
    ASSERT_TRUE(Chosen.has_value());
    EXPECT_EQ(*Chosen, Case.Result);
    EXPECT_EQ(Form->Pipeline().SelectedRect(), Case.Rect);
    EXPECT_TRUE(Form->Pipeline().IsIdle());
    EXPECT_FALSE(Form->FTranslateForm->isVisible());
    // A finished selection stays in view for its caller, its band on the
    // area; a cancelled one goes.
    EXPECT_EQ(Selection()->isVisible(), Case.Result);
    if (Case.Result) {
      EXPECT_EQ(Form->FSelectionForm->SelectRect(), Case.Rect);
    }
    EXPECT_EQ(Fake->Windows[Form.get()].Alpha, 255);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
    EXPECT_EQ(QWidget::keyboardGrabber(), nullptr);
    QTest::keyRelease(Selection(), Qt::Key_Shift);
    Selection()->hide();
    // What the user does afterwards on the window reaches no selection.
    Play(Selection(), {{Press, {5, 5}}, {Move, {50, 50}}, {Release, {50, 50}}});
    EXPECT_EQ(Form->Pipeline().SelectedRect(), Case.Rect);
    EXPECT_EQ(Fake->CopyCount, 0);
  }
}

// The chosen frame stays in view (the select-area menu shows it for a
// second): its band must lie on the chosen area also when no move came
// between the last press or release and the click that ends the selection.
TEST_F(CaptureController, TheBandEndsOnTheChosenAreaWithoutAMoveBefore) {
  const TSelectionCase Cases[] = {
      {"released elsewhere without a move between",
       {{Press, {300, 200}}, {Release, {900, 700}}},
       true,
       {300, 200, 900, 700}},
      {"shift: the second click without a move before it",
       {{Press, {10, 10}, true}, {Release, {10, 10}}, {Press, {200, 100}}},
       true,
       {10, 10, 200, 100}},
  };
  for (const TSelectionCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    StartSelection();
    Play(Selection(), Case.Steps);
    ASSERT_EQ(Chosen, true);
    EXPECT_EQ(Form->Pipeline().SelectedRect(), Case.Rect);
    EXPECT_EQ(Form->FSelectionForm->SelectRect(), Case.Rect);
  }
}

TEST_F(CaptureController, DragShowsTheSizeTextAtTheFarCorner) {
  StartSelection();
  Play(Selection(), {{Move, {500, 400}}, {Press, {500, 400}}, {Move, {100, 300}}, {Release, {100, 300}}});
  ASSERT_EQ(Chosen, true);
  const auto& Texts = Form->FSelectionForm->PaintedTexts();
  // Painted from the event loop.
  ASSERT_TRUE(QTest::qWaitFor([&] { return Texts.size() == 1 && Texts[0].Text.startsWith("(400"); }, 5000));
  EXPECT_EQ(Texts[0].At, QPoint(510, 405));
  EXPECT_EQ(Texts[0].Text, "(400 x 100) 취소/닫기는 ESC");
}

TEST_F(CaptureController, ShiftModeStartFollowsTheCursorUntilTheFirstRelease) {
  StartSelection();
  struct TPoints {
    TStep Step;
    QPoint Start, Current; // the band afterwards
  };
  const TPoints Steps[] = {
      {{Press, {10, 10}, true}, {10, 10}, {10, 10}}, {{Move, {20, 20}, true}, {20, 20}, {20, 20}},
      {{Move, {30, 40}, true}, {30, 40}, {30, 40}},  {{Release, {35, 45}}, {30, 40}, {35, 45}},
      {{Move, {200, 100}}, {30, 40}, {200, 100}},
  };
  for (const TPoints& Step : Steps) {
    SCOPED_TRACE(testing::Message() << Step.Step.Kind << " at " << Step.Step.At.x() << "," << Step.Step.At.y());
    Play(Selection(), {Step.Step});
    EXPECT_EQ(Form->FSelectionForm->FStartPoint, Step.Start);
    EXPECT_EQ(Form->FSelectionForm->FCurrentPoint, Step.Current);
    EXPECT_FALSE(Chosen.has_value());
  }
  Play(Selection(), {{Press, {200, 100}}});
  ASSERT_EQ(Chosen, true);
  EXPECT_EQ(Form->Pipeline().SelectedRect(), (TRect{30, 40, 200, 100}));
}

// A command arriving during a selection ends it, then runs.
TEST_F(CaptureController, ACommandArrivingDuringASelectionEndsItThenRuns) {
  Form->mnuCaptureOverlay->setChecked(true);
  Fake->WorkAreaRect = {0, 40, 1920, 1080};
  Form->ActSelectArea->trigger();
  ASSERT_TRUE(Form->Pipeline().IsSelecting());
  EXPECT_EQ(Fake->Windows[Selection()].Alpha, 255); // "overlay" display mode: colour key, no dimming
  Play(Selection(), {{Move, {0, 0}}, {Press, {500, 400}}, {Move, {300, 300}}});
  Form->ActSelectFullScreen->trigger();
  EXPECT_FALSE(Form->Pipeline().IsSelecting());
  EXPECT_FALSE(Selection()->isVisible());
  EXPECT_EQ(Fake->Windows[Form.get()].Alpha, 255);
  ASSERT_TRUE(WaitIdle());
  // The full-screen command's area, anchored at the screen origin.
  EXPECT_EQ(Form->Pipeline().SelectedRect(), (TRect{0, 0, 1920, 1040}));
  EXPECT_EQ(Fake->CopyCount, 1);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// Outside the command queue, an operation asked for during a selection ends
// at once and leaves the selection running.
TEST_F(CaptureController, AnOperationDuringASelectionDoesNothing) {
  ExpectOperationsDuringASelectionDoNothing({
      {"select-area", [this](auto Done) { Form->SelectArea([Done](bool) { Done(); }); }},
      {"select-translate", [this](auto Done) { Form->SelectAreaAndTranslate(Done); }},
      {"full-screen", [this](auto Done) { Form->SelectFullScreen(Done); }},
      {"mouse-translate", [this](auto Done) { Form->MouseTranslate(Done); }},
  });
}

// The translation of the selected area too: its copy would hide the
// selection window, and so end the selection, under the user's hands.
TEST_F(CaptureController, ATranslationDuringASelectionDoesNothing) {
  ExpectOperationsDuringASelectionDoNothing({
      {"translate", [this](auto Done) { Form->CaptureAndTranslate(false, Done); }},
      {"translate if changed", [this](auto Done) { Form->CaptureAndTranslate(true, Done); }},
  });
}

void CaptureController::ExpectOperationsDuringASelectionDoNothing(const std::vector<TOperation>& Cases) {
  Fake->Screen = QImage(1920, 1080, QImage::Format_RGB32);
  Fake->Screen.fill(Qt::white);
  for (const TOperation& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    Form->Pipeline().SetSelectedRect({100, 100, 300, 200});
    StartSelection();
    bool Ended = false;
    Case.Start([&] { Ended = true; });
    EXPECT_TRUE(Ended);
    EXPECT_TRUE(Form->Pipeline().IsSelecting());
    EXPECT_TRUE(Selection()->isVisible());
    EXPECT_FALSE(Chosen.has_value());
    EXPECT_EQ(Fake->CopyCount, 0);
    Play(Selection(), {{Escape}});
    EXPECT_EQ(Chosen, false);
    ASSERT_TRUE(WaitIdle());
    Fake->CopyCount = 0;
  }
}

QImage Gradient(QSize Size) {
  QImage Image(Size, QImage::Format_RGB32);
  for (int Y = 0; Y < Size.height(); ++Y)
    for (int X = 0; X < Size.width(); ++X)
      Image.setPixel(X, Y, qRgb(X % 256, Y % 256, (X + Y) % 256));
  return Image;
}

// Paints Count pixels of the area at (Left, Top) from the top-left corner on
// in a grey that differs from the gradient.
void ChangePixels(QImage& Screen, int Left, int Top, int Width, int Count, int Level) {
  for (int I = 0; I < Count; ++I)
    Screen.setPixel(Left + I % Width, Top + I / Width, qRgb(Level, Level, Level));
}

TEST_F(CaptureController, CaptureCopiesTheAreaWithTheSelectionHidden) {
  Fake->Screen = Gradient({1920, 1080});
  Form->Pipeline().SetSelectedRect({10, 20, 110, 70});
  Form->FSelectionForm->show();
  bool SelectionVisibleAtCopy = true;
  Fake->OnCopyScreen = [&](const TRect&) { SelectionVisibleAtCopy = Form->FSelectionForm->isVisible(); };
  ASSERT_TRUE(Capture(false));
  EXPECT_FALSE(SelectionVisibleAtCopy);
  ASSERT_TRUE(Form->Pipeline().ScreenBitmap());
  EXPECT_EQ(Form->Pipeline().ScreenBitmap()->convertToFormat(QImage::Format_RGB32), Fake->Screen.copy(10, 20, 100, 50));
}

TEST_F(CaptureController, EmptyAreaCapturesNothing) {
  for (TRect Empty : {TRect{}, TRect{10, 10, 10, 50}, TRect{10, 10, 50, 10}, TRect{50, 10, 10, 50}}) {
    Form->Pipeline().SetSelectedRect(Empty);
    EXPECT_FALSE(Capture(false));
    EXPECT_FALSE(Capture(true));
  }
  EXPECT_EQ(Fake->CopyCount, 0);
  EXPECT_FALSE(Form->Pipeline().ScreenBitmap());
}

TEST_F(CaptureController, ChangeDetectionThresholds) {
  struct TCase {
    int Threshold; // the binarisation threshold
    int Changed;   // pixels changed on the 100 x 100 area between the captures
    bool Accepted;
  } Cases[] = {{-1, 200, false}, {-1, 201, true}, {128, 50, false}, {128, 51, true}};
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(testing::Message() << "threshold " << Case.Threshold << ", " << Case.Changed << " pixels");
    Fake->Screen = QImage(1920, 1080, QImage::Format_RGB32);
    Fake->Screen.fill(QColor(20, 20, 20));
    Form->Pipeline().SetOCRThreshold(Case.Threshold);
    Form->Pipeline().SetSelectedRect({300, 200, 400, 300});
    ASSERT_TRUE(Capture(false));
    const QImage First = *Form->Pipeline().ScreenBitmap();
    ChangePixels(Fake->Screen, 300, 200, 100, Case.Changed, 230);
    EXPECT_EQ(Capture(true), Case.Accepted);
    QImage Expected = First;
    if (Case.Accepted) {
      Expected = Fake->Screen.copy(300, 200, 100, 100);
      if (Case.Threshold != -1)
        TImageProcessor::BinarizeWithGlobalThreshold(Expected, uint8_t(Case.Threshold), false);
    }
    EXPECT_EQ(Form->Pipeline().ScreenBitmap()->convertToFormat(QImage::Format_RGB32),
              Expected.convertToFormat(QImage::Format_RGB32));
  }
}

TEST_F(CaptureController, BinarizesWithTheChosenThreshold) {
  Fake->Screen = Gradient({1920, 1080});
  Form->Pipeline().SetOCRThreshold(100);
  Form->Pipeline().SetSelectedRect({0, 0, 256, 10});
  ASSERT_TRUE(Capture(false));
  const QImage Capture = Form->Pipeline().ScreenBitmap()->convertToFormat(QImage::Format_RGB32);
  for (int X = 0; X < 256; ++X) {
    const QRgb Source = Fake->Screen.pixel(X, 5);
    const double Grey = qRed(Source) * 0.299 + qGreen(Source) * 0.587 + qBlue(Source) * 0.114;
    const QRgb Expected = std::nearbyint(Grey) > 100 ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
    ASSERT_EQ(Capture.pixel(X, 5), Expected) << X;
  }
}

// The area chosen anew with another size: automatic translation must take the
// first capture of it instead of calling every one of them "no change".
TEST_F(CaptureController, ANewAreaSizeCountsAsAChange) {
  Fake->Screen = Gradient({1920, 1080});
  Form->Pipeline().SetSelectedRect({0, 0, 100, 100});
  ASSERT_TRUE(Capture(false));
  Form->Pipeline().SetSelectedRect({0, 0, 300, 200});
  EXPECT_TRUE(Capture(true));
  EXPECT_EQ(Form->Pipeline().ScreenBitmap()->size(), QSize(300, 200));
  EXPECT_FALSE(Capture(true)); // same size, same pixels
}

TEST_F(CaptureController, AnOverlayOnTheAreaIsTransparentDuringTheCopy) {
  Fake->Screen = Gradient({1920, 1080});
  Form->FTranslateForm->setGeometry(200, 100, 300, 150);
  Form->FTranslateForm->show();
  Form->FTranslateForm->SetAlphaBlendValue(200);
  int AlphaAtCopy = -1;
  Fake->OnCopyScreen = [&](const TRect&) { AlphaAtCopy = Form->FTranslateForm->AlphaBlendValue(); };

  Form->Pipeline().SetSelectedRect({200, 100, 500, 250});
  ASSERT_TRUE(Capture(false));
  EXPECT_EQ(AlphaAtCopy, 0);
  EXPECT_EQ(Form->FTranslateForm->AlphaBlendValue(), 200);

  Form->Pipeline().SetSelectedRect({200, 100, 500, 251}); // overlapping, not the same
  ASSERT_TRUE(Capture(false));
  EXPECT_EQ(AlphaAtCopy, 200);
}

TEST_F(CaptureController, TheMainWindowIsNotCapturedWhereItCoversTheArea) {
  Form->move(200, 200);
  int AlphaAtCopy = -1;
  Fake->OnCopyScreen = [&](const TRect&) { AlphaAtCopy = Fake->Windows[Form.get()].Alpha; };
  Form->Pipeline().SetSelectedRect({150, 150, 400, 400});
  ASSERT_TRUE(Capture(false));
  EXPECT_EQ(AlphaAtCopy, 0);
  EXPECT_EQ(Fake->Windows[Form.get()].Alpha, 255);
  Form->Pipeline().SetSelectedRect({1000, 800, 1100, 900});
  ASSERT_TRUE(Capture(false));
  EXPECT_EQ(AlphaAtCopy, 255);
}

// The copy waits for a repaint only where one of Korvex's own windows lay
// over the area, and only for what it covered there: the overlay's visible
// boxes, the main window's part of the area.
TEST_F(CaptureController, TheCopyWaitsOnlyForWhatKorvexsWindowsCovered) {
  Form->setGeometry(200, 200, 373, 300);
  Form->FTranslateForm->setGeometry(1000, 500, 400, 200);
  Form->FTranslateForm->show();
  const QRegion Boxes = QRegion(10, 10, 100, 20) + QRegion(10, 50, 300, 20);
  Fake->SetWindowColorKeyRegion(Form->FTranslateForm.get(), Boxes);
  struct TCase {
    const char* Name;
    TRect Area;
    QRegion Waited; // empty: no wait at all
  };
  const TCase Cases[] = {
      {"nothing of Korvex there", {1500, 800, 1600, 900}, {}},
      {"the overlay exactly on the area", {1000, 500, 1400, 700}, Boxes.translated(1000, 500)},
      {"the overlay overlapping but elsewhere", {1000, 500, 1400, 701}, {}},
      {"the main window across the area", {100, 100, 300, 300}, QRegion(200, 200, 100, 100)},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    Fake->RepaintWaits.clear();
    Form->Pipeline().SetSelectedRect(Case.Area);
    ASSERT_TRUE(Capture(false));
    if (Case.Waited.isEmpty()) {
      EXPECT_TRUE(Fake->RepaintWaits.empty());
    } else {
      ASSERT_EQ(Fake->RepaintWaits.size(), 1u);
      EXPECT_EQ(Fake->RepaintWaits[0], Case.Waited);
    }
  }

  // A full-screen translation hides the overlay first; its copy waits for
  // the screen beneath the overlay as well as beneath the main window.
  Fake->RepaintWaits.clear();
  Fake->WorkAreaRect = {0, 0, 1920, 1080};
  Form->FTranslateForm->show();
  bool Ended = false;
  Form->SelectFullScreen([&] { Ended = true; });
  ASSERT_TRUE(QTest::qWaitFor([&] { return Ended; }, 30000));
  ASSERT_EQ(Fake->RepaintWaits.size(), 1u);
  EXPECT_EQ(Fake->RepaintWaits[0], Boxes.translated(1000, 500) + QRegion(200, 200, 373, 300));
}

TEST_F(CaptureController, SelectionCommandsStopAutomaticTranslationFirst) {
  for (QAction* Command : {Form->ActSelectArea, Form->ActSelectFullScreen}) {
    SCOPED_TRACE(Command->text().toStdString());
    Form->TimerAction.start();
    Command->trigger();
    EXPECT_FALSE(Form->TimerAction.isActive());
    if (Form->Pipeline().IsSelecting())
      Play(Selection(), {{Escape}});
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  }
  EXPECT_EQ(Form->Pipeline().SelectedRect(), (TRect{0, 0, 1920, 1040})); // the full-screen command's work area
}

TEST_F(CaptureController, SelectAreaMenuShowsTheFrameForASecond) {
  Form->mnuSelectArea->trigger();
  ASSERT_TRUE(Form->Pipeline().IsSelecting());
  Play(Selection(), {{Move, {50, 60}}, {Press, {50, 60}}, {Move, {250, 160}}, {Release, {250, 160}}});
  QElapsedTimer Since;
  Since.start();
  EXPECT_EQ(Form->Pipeline().SelectedRect(), (TRect{50, 60, 250, 160}));
  EXPECT_TRUE(Form->FSelectionForm->isVisible());
  EXPECT_EQ(Fake->CopyCount, 0);
  QTest::qWait(600);
  if (Since.elapsed() < 950) { // unless this process was held up meanwhile
    EXPECT_TRUE(Form->FSelectionForm->isVisible());
  }
  EXPECT_TRUE(QTest::qWaitFor([&] { return !Form->FSelectionForm->isVisible(); }, 3000));
  EXPECT_GE(Since.elapsed(), 1000);
  EXPECT_TRUE(Form->Idle());
}

TEST_F(CaptureController, ViewAreaTogglesTheStoredSelection) {
  Form->Pipeline().SetSelectedRect({50, 60, 250, 160});
  Form->mnuViewArea->trigger();
  EXPECT_TRUE(Form->FSelectionForm->isVisible());
  EXPECT_TRUE(Form->FSelectionForm->CheckMouse());
  EXPECT_EQ(Form->FSelectionForm->geometry(), QRect(50, 60, 200, 100));
  Form->mnuViewArea->trigger();
  EXPECT_FALSE(Form->FSelectionForm->isVisible());
  EXPECT_FALSE(Form->FSelectionForm->CheckMouse());
}

TEST_F(CaptureController, TranslateCommandStopsAutomaticTranslationAndRestoresTheCursor) {
  Form->TimerAction.start();
  Form->Pipeline().SetSelectedRect({});
  Form->ActTranslate->trigger();
  EXPECT_FALSE(Form->TimerAction.isActive());
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(Fake->CopyCount, 0); // no area: nothing captured
}

} // namespace
