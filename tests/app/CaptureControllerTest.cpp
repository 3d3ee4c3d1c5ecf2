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
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

using TKey = TPlatform::TKey;

// What the user does during one pass of the selection loop.
struct TPass {
  bool Button = false;
  QPoint Cursor;
  bool Shift = false;
  bool Escape = false;
};

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

  // Plays Passes, one per pass of the loop (each pass starts by asking for
  // Escape); the last state stays. Also notes how the windows look meanwhile.
  void Script(std::vector<TPass> Passes) {
    Fake->KeyQueries.clear();
    Fake->OnPoll = [this, Passes] {
      const int Pass = std::clamp(Fake->KeyQueries[TKey::Escape], 1, int(Passes.size()));
      const TPass& Now = Passes[size_t(Pass - 1)];
      Fake->Cursor = Now.Cursor;
      Fake->KeysDown.clear();
      if (Now.Button)
        Fake->KeysDown.insert(TKey::LeftButton);
      if (Now.Shift)
        Fake->KeysDown.insert(TKey::Shift);
      if (Now.Escape)
        Fake->KeysDown.insert(TKey::Escape);
      MainAlphaDuringLoop = Fake->Windows[Form.get()].Alpha;
      SelectionAlphaDuringLoop = Fake->Windows[Form->FSelectionForm.get()].Alpha;
      CursorDuringLoop = QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : Qt::ArrowCursor;
      StartPoints.push_back(Form->FSelectionForm->FStartPoint);
    };
  }

  QTemporaryDir Dir;
  TFakePlatform Desktop;
  TFakePlatform* Fake = &Desktop;
  std::unique_ptr<TFormOCR> Form;
  int MainAlphaDuringLoop = -1;
  int SelectionAlphaDuringLoop = -1;
  Qt::CursorShape CursorDuringLoop = Qt::ArrowCursor;
  std::vector<QPoint> StartPoints;
};

struct TSelectionCase {
  const char* Name;
  std::vector<TPass> Passes;
  bool Result;
  TRect Rect; // FSelectedRect afterwards
};

TEST_F(CaptureController, SelectionLoop) {
  const TRect Before{1, 2, 3, 4};
  const TSelectionCase Cases[] = {
      {"drag",
       {{false, {500, 400}}, {true, {500, 400}}, {true, {300, 350}}, {true, {100, 300}}, {false, {100, 300}}},
       true,
       {100, 300, 500, 400}},
      {"click without movement",
       {{false, {700, 500}}, {true, {700, 500}}, {false, {700, 500}}},
       true,
       {700, 500, 700, 500}},
      {"shift: two clicks",
       {{true, {10, 10}, true}, {true, {20, 20}, true}, {false, {25, 25}}, {false, {200, 100}}, {true, {200, 100}}},
       true,
       {20, 20, 200, 100}},
      {"shift pressed during a drag",
       {{false, {0, 0}},
        {true, {500, 400}},
        {true, {450, 380}, true},
        {true, {440, 370}, true},
        {false, {460, 390}},
        {false, {600, 500}},
        {true, {600, 500}}},
       true,
       {440, 370, 600, 500}},
      {"escape",
       {{false, {0, 0}}, {true, {500, 400}}, {true, {300, 300}}, {true, {300, 300}, false, true}},
       false,
       Before},
  };
  for (const TSelectionCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    Form->Pipeline().FSelectedRect = Before;
    Form->FTranslateForm->show();
    StartPoints.clear();
    Script(Case.Passes);
    EXPECT_EQ(Form->SelectArea(), Case.Result);
    Fake->OnPoll = nullptr;
    EXPECT_EQ(Form->Pipeline().FSelectedRect, Case.Rect);
    EXPECT_FALSE(Form->Pipeline().FBusy);
    EXPECT_FALSE(Form->FTranslateForm->isVisible());
    // A finished selection stays in view for its caller; a cancelled one goes.
    EXPECT_EQ(Form->FSelectionForm->isVisible(), Case.Result);
    EXPECT_EQ(Form->FSelectionForm->geometry(), QRect(0, 0, 1920, 1080));
    EXPECT_EQ(MainAlphaDuringLoop, 0);
    EXPECT_EQ(Fake->Windows[Form.get()].Alpha, 255);
    EXPECT_EQ(SelectionAlphaDuringLoop, 128); // "overlay" display mode off: dimmed
    EXPECT_EQ(CursorDuringLoop, Qt::CrossCursor);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    Form->FSelectionForm->hide();
  }
}

TEST_F(CaptureController, DragShowsTheSizeTextAtTheFarCorner) {
  Script({{false, {500, 400}}, {true, {500, 400}}, {true, {100, 300}}, {false, {100, 300}}});
  ASSERT_TRUE(Form->SelectArea());
  const auto& Texts = Form->FSelectionForm->PaintedTexts();
  ASSERT_EQ(Texts.size(), 1u);
  EXPECT_EQ(Texts[0].At, QPoint(510, 405));
  EXPECT_EQ(Texts[0].Text, "(400 x 100) 취소/닫기는 ESC");
}

TEST_F(CaptureController, ShiftModeStartFollowsTheCursorUntilTheFirstRelease) {
  Script({{true, {10, 10}, true},
          {true, {20, 20}, true},
          {true, {30, 40}, true},
          {false, {35, 45}},
          {false, {200, 100}},
          {true, {200, 100}}});
  ASSERT_TRUE(Form->SelectArea());
  // Start points the window held at the start of passes 2..5.
  ASSERT_GE(StartPoints.size(), 5u);
  EXPECT_EQ(Form->Pipeline().FSelectedRect, (TRect{30, 40, 200, 100}));
  EXPECT_EQ(Form->FSelectionForm->FStartPoint, QPoint(30, 40));
  EXPECT_EQ(Form->FSelectionForm->FCurrentPoint, QPoint(200, 100));
}

TEST_F(CaptureController, ACommandThatClearsBusyEndsTheSelection) {
  Form->mnuCaptureOverlay->setChecked(true);
  bool Scheduled = false;
  Script({{false, {0, 0}}, {true, {500, 400}}, {true, {300, 300}}});
  auto Play = Fake->OnPoll;
  Fake->OnPoll = [&, Play] {
    Play();
    // While the loop runs, a hotkey starts a full-screen translation.
    if (!Scheduled && Fake->KeyQueries[TKey::Escape] == 2) {
      Scheduled = true;
      QTimer::singleShot(0, Form.get(), [&] { Form->SelectFullScreen(); });
    }
  };
  Fake->WorkAreaRect = {0, 40, 1920, 1080};
  EXPECT_FALSE(Form->SelectArea());
  Fake->OnPoll = nullptr;
  EXPECT_FALSE(Form->Pipeline().FBusy);
  EXPECT_FALSE(Form->FSelectionForm->isVisible());
  EXPECT_EQ(Fake->Windows[Form.get()].Alpha, 255);
  // The full-screen command's area, anchored at the screen origin.
  EXPECT_EQ(Form->Pipeline().FSelectedRect, (TRect{0, 0, 1920, 1040}));
  EXPECT_EQ(SelectionAlphaDuringLoop, 255); // "overlay" display mode: colour key, no dimming
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
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
  Form->Pipeline().FSelectedRect = {10, 20, 110, 70};
  Form->FSelectionForm->show();
  bool SelectionVisibleAtCopy = true;
  Fake->OnCopyScreen = [&](const TRect&) { SelectionVisibleAtCopy = Form->FSelectionForm->isVisible(); };
  ASSERT_TRUE(Form->CaptureScreenArea(false));
  EXPECT_FALSE(SelectionVisibleAtCopy);
  ASSERT_TRUE(Form->Pipeline().FScreenBitmap);
  EXPECT_EQ(Form->Pipeline().FScreenBitmap->convertToFormat(QImage::Format_RGB32), Fake->Screen.copy(10, 20, 100, 50));
}

TEST_F(CaptureController, EmptyAreaCapturesNothing) {
  for (TRect Empty : {TRect{}, TRect{10, 10, 10, 50}, TRect{10, 10, 50, 10}, TRect{50, 10, 10, 50}}) {
    Form->Pipeline().FSelectedRect = Empty;
    EXPECT_FALSE(Form->CaptureScreenArea(false));
    EXPECT_FALSE(Form->CaptureScreenArea(true));
  }
  EXPECT_EQ(Fake->CopyCount, 0);
  EXPECT_FALSE(Form->Pipeline().FScreenBitmap);
}

TEST_F(CaptureController, ChangeDetectionThresholds) {
  struct TCase {
    int Threshold; // FOCRThreshold
    int Changed;   // pixels changed on the 100 x 100 area between the captures
    bool Accepted;
  } Cases[] = {{-1, 200, false}, {-1, 201, true}, {128, 50, false}, {128, 51, true}};
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(testing::Message() << "threshold " << Case.Threshold << ", " << Case.Changed << " pixels");
    Fake->Screen = QImage(1920, 1080, QImage::Format_RGB32);
    Fake->Screen.fill(QColor(20, 20, 20));
    Form->Pipeline().FOCRThreshold = Case.Threshold;
    Form->Pipeline().FSelectedRect = {300, 200, 400, 300};
    ASSERT_TRUE(Form->CaptureScreenArea(false));
    const QImage First = *Form->Pipeline().FScreenBitmap;
    ChangePixels(Fake->Screen, 300, 200, 100, Case.Changed, 230);
    EXPECT_EQ(Form->CaptureScreenArea(true), Case.Accepted);
    QImage Expected = First;
    if (Case.Accepted) {
      Expected = Fake->Screen.copy(300, 200, 100, 100);
      if (Case.Threshold != -1)
        TImageProcessor::BinarizeWithGlobalThreshold(Expected, uint8_t(Case.Threshold), false);
    }
    EXPECT_EQ(Form->Pipeline().FScreenBitmap->convertToFormat(QImage::Format_RGB32),
              Expected.convertToFormat(QImage::Format_RGB32));
  }
}

TEST_F(CaptureController, BinarizesWithTheChosenThreshold) {
  Fake->Screen = Gradient({1920, 1080});
  Form->Pipeline().FOCRThreshold = 100;
  Form->Pipeline().FSelectedRect = {0, 0, 256, 10};
  ASSERT_TRUE(Form->CaptureScreenArea(false));
  const QImage Capture = Form->Pipeline().FScreenBitmap->convertToFormat(QImage::Format_RGB32);
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
  Form->Pipeline().FSelectedRect = {0, 0, 100, 100};
  ASSERT_TRUE(Form->CaptureScreenArea(false));
  Form->Pipeline().FSelectedRect = {0, 0, 300, 200};
  EXPECT_TRUE(Form->CaptureScreenArea(true));
  EXPECT_EQ(Form->Pipeline().FScreenBitmap->size(), QSize(300, 200));
  EXPECT_FALSE(Form->CaptureScreenArea(true)); // same size, same pixels
}

TEST_F(CaptureController, AnOverlayOnTheAreaIsTransparentDuringTheCopy) {
  Fake->Screen = Gradient({1920, 1080});
  Form->FTranslateForm->setGeometry(200, 100, 300, 150);
  Form->FTranslateForm->show();
  Form->FTranslateForm->SetAlphaBlendValue(200);
  int AlphaAtCopy = -1;
  Fake->OnCopyScreen = [&](const TRect&) { AlphaAtCopy = Form->FTranslateForm->AlphaBlendValue(); };

  Form->Pipeline().FSelectedRect = {200, 100, 500, 250};
  ASSERT_TRUE(Form->CaptureScreenArea(false));
  EXPECT_EQ(AlphaAtCopy, 0);
  EXPECT_EQ(Form->FTranslateForm->AlphaBlendValue(), 200);

  Form->Pipeline().FSelectedRect = {200, 100, 500, 251}; // overlapping, not the same
  ASSERT_TRUE(Form->CaptureScreenArea(false));
  EXPECT_EQ(AlphaAtCopy, 200);
}

TEST_F(CaptureController, TheMainWindowIsNotCapturedWhereItCoversTheArea) {
  Form->move(200, 200);
  int AlphaAtCopy = -1;
  Fake->OnCopyScreen = [&](const TRect&) { AlphaAtCopy = Fake->Windows[Form.get()].Alpha; };
  Form->Pipeline().FSelectedRect = {150, 150, 400, 400};
  ASSERT_TRUE(Form->CaptureScreenArea(false));
  EXPECT_EQ(AlphaAtCopy, 0);
  EXPECT_EQ(Fake->Windows[Form.get()].Alpha, 255);
  Form->Pipeline().FSelectedRect = {1000, 800, 1100, 900};
  ASSERT_TRUE(Form->CaptureScreenArea(false));
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
    Form->Pipeline().FSelectedRect = Case.Area;
    ASSERT_TRUE(Form->CaptureScreenArea(false));
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
  Form->SelectFullScreen();
  ASSERT_EQ(Fake->RepaintWaits.size(), 1u);
  EXPECT_EQ(Fake->RepaintWaits[0], Boxes.translated(1000, 500) + QRegion(200, 200, 373, 300));
}

TEST_F(CaptureController, SelectionCommandsStopAutomaticTranslationFirst) {
  for (QAction* Command : {Form->ActSelectArea, Form->ActSelectFullScreen}) {
    Form->TimerAction.start();
    Script({{false, {0, 0}, false, true}}); // Escape at once
    Command->trigger();
    Fake->OnPoll = nullptr;
    EXPECT_FALSE(Form->TimerAction.isActive()) << Command->text().toStdString();
    EXPECT_FALSE(Form->Pipeline().FBusy);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  }
  EXPECT_EQ(Form->Pipeline().FSelectedRect, (TRect{0, 0, 1920, 1040})); // the full-screen command's work area
}

TEST_F(CaptureController, SelectAreaMenuShowsTheFrameForASecond) {
  Script({{false, {50, 60}}, {true, {50, 60}}, {true, {250, 160}}, {false, {250, 160}}});
  Form->mnuSelectArea->trigger();
  QElapsedTimer Since;
  Since.start();
  Fake->OnPoll = nullptr;
  EXPECT_EQ(Form->Pipeline().FSelectedRect, (TRect{50, 60, 250, 160}));
  EXPECT_TRUE(Form->FSelectionForm->isVisible());
  EXPECT_EQ(Fake->CopyCount, 0);
  QTest::qWait(600);
  if (Since.elapsed() < 950) { // unless this process was held up meanwhile
    EXPECT_TRUE(Form->FSelectionForm->isVisible());
  }
  EXPECT_TRUE(QTest::qWaitFor([&] { return !Form->FSelectionForm->isVisible(); }, 3000));
  EXPECT_GE(Since.elapsed(), 1000);
}

TEST_F(CaptureController, ViewAreaTogglesTheStoredSelection) {
  Form->Pipeline().FSelectedRect = {50, 60, 250, 160};
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
  Form->Pipeline().FSelectedRect = {};
  Form->ActTranslate->trigger();
  EXPECT_FALSE(Form->TimerAction.isActive());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(Fake->CopyCount, 0); // no area: nothing captured
}

} // namespace
