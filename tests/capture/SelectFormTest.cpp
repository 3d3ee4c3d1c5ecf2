#include "capture/SelectForm.h"
#include "core/Colors.h"
#include "platform/fake/FakePlatform.h"

#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class SelectionForm : public ::testing::Test {
protected:
  void SetUp() override {
    Form = std::make_unique<TSelectionForm>(nullptr, Desktop);
    Form->setGeometry(0, 0, 1920, 1080);
  }
  void TearDown() override { Form.reset(); }

  QImage Painted() {
    QImage Frame(Form->size(), QImage::Format_RGB32);
    QPainter Canvas(&Frame);
    Form->FormPaint(Canvas);
    return Frame;
  }

  // Pixels in the text colour (neither black nor the red of the frame) inside Area.
  static int TextPixels(const QImage& Frame, const QRect& Area) {
    int Count = 0;
    for (int Y = Area.top(); Y <= Area.bottom(); ++Y)
      for (int X = Area.left(); X <= Area.right(); ++X) {
        const QRgb P = Frame.pixel(X, Y);
        Count += qRgb(qRed(P), qGreen(P), qBlue(P)) != qRgb(0, 0, 0) && qRed(P) != 255;
      }
    return Count;
  }

  TFakePlatform Desktop;
  TFakePlatform* Fake = &Desktop;
  std::unique_ptr<TSelectionForm> Form;
};

TEST_F(SelectionForm, GuideLinesBeforeAnyMovement) {
  Form->Start();
  const QImage Frame = Painted();
  ASSERT_EQ(Form->PaintedTexts().size(), 2u);
  EXPECT_EQ(Form->PaintedTexts()[0].At, QPoint(3, 3));
  EXPECT_EQ(Form->PaintedTexts()[0].Text,
            "마우스를 눌러 시작 위치를 정한 다음 마우스를 누른 상태에서 끝 위치로 이동하세요.");
  EXPECT_EQ(Form->PaintedTexts()[1].At, QPoint(3, 20));
  EXPECT_EQ(Form->PaintedTexts()[1].Text, "또는 Shift 키를 누른 상태에서 시작점과 끝 점을 지정하세요.");
  EXPECT_GT(TextPixels(Frame, QRect(3, 3, 300, 30)), 50);
  EXPECT_EQ(TextPixels(Frame, QRect(0, 40, 1920, 1040)), 0);
}

TEST_F(SelectionForm, RubberBandWithItsSizeBelowTheFarCorner) {
  Form->UpdateSelection(QPoint(500, 400), QPoint(100, 300));
  EXPECT_EQ(Form->SelectRect(), (TRect{100, 300, 500, 400}));
  const QImage Frame = Painted();
  ASSERT_EQ(Form->PaintedTexts().size(), 1u);
  EXPECT_EQ(Form->PaintedTexts()[0].At, QPoint(510, 405));
  EXPECT_EQ(Form->PaintedTexts()[0].Text, "(400 x 100) 취소/닫기는 ESC");
  // The frame in red on all four edges, the text only right of and below the far corner.
  for (QPoint Edge : {QPoint(300, 300), QPoint(300, 400), QPoint(100, 350), QPoint(500, 350)})
    EXPECT_EQ(Frame.pixel(Edge), qRgb(255, 0, 0)) << Edge.x() << "," << Edge.y();
  EXPECT_EQ(Frame.pixel(300, 350), qRgb(0, 0, 0));
  EXPECT_GT(TextPixels(Frame, QRect(510, 405, 300, 25)), 50);
  EXPECT_EQ(TextPixels(Frame, QRect(0, 0, 509, 1080)), 0);
  EXPECT_EQ(TextPixels(Frame, QRect(0, 0, 1920, 404)), 0);
}

TEST_F(SelectionForm, ShowSelectionFramesTheWholeWindow) {
  Form->ShowSelection({50, 60, 250, 160});
  EXPECT_EQ(Form->geometry(), QRect(50, 60, 200, 100));
  EXPECT_EQ(Form->FStartPoint, QPoint(0, 0));
  EXPECT_EQ(Form->FCurrentPoint, QPoint(200, 100));
  const QImage Frame = Painted();
  EXPECT_EQ(Frame.pixel(0, 50), qRgb(255, 0, 0));
  EXPECT_EQ(Frame.pixel(100, 0), qRgb(255, 0, 0));
  EXPECT_EQ(Frame.pixel(100, 50), qRgb(0, 0, 0));
}

TEST_F(SelectionForm, DisplayModes) {
  Form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
  Form->UpdateSelection(QPoint(100, 100), QPoint(300, 200));
  // Created with white as the key: nothing is white, the whole window shows.
  ASSERT_TRUE(Fake->Windows[Form.get()].ColorKeyVisible.has_value());
  EXPECT_EQ(*Fake->Windows[Form.get()].ColorKeyVisible, QRegion(Form->rect()));

  Form->SetOverlay(true);
  Form->repaint();
  ASSERT_TRUE(Fake->Windows[Form.get()].ColorKeyVisible.has_value());
  const QRegion Visible = *Fake->Windows[Form.get()].ColorKeyVisible;
  EXPECT_TRUE(Visible.contains(QPoint(200, 100)));  // frame
  EXPECT_TRUE(Visible.contains(QPoint(100, 150)));  // frame
  EXPECT_FALSE(Visible.contains(QPoint(200, 150))); // black inside
  EXPECT_FALSE(Visible.contains(QPoint(1000, 700)));
  EXPECT_EQ(Fake->Windows[Form.get()].Alpha, 255);

  Form->SetOverlay(false);
  EXPECT_FALSE(Fake->Windows[Form.get()].ColorKeyVisible.has_value());
  EXPECT_EQ(Fake->Windows[Form.get()].Alpha, 128);

  Form->SetOverlay(true);
  EXPECT_TRUE(Fake->Windows[Form.get()].ColorKeyVisible.has_value());
  EXPECT_EQ(Fake->Windows[Form.get()].Alpha, 128); // the alpha stays
}

TEST_F(SelectionForm, DimmedModeWithoutACompositorShowsTheScreenDimmed) {
  Fake->Compositing = false;
  Fake->Screen = QImage(1920, 1080, QImage::Format_RGB32);
  Fake->Screen.fill(QColor(200, 100, 50));
  Form->SetOverlay(false);
  EXPECT_EQ(Fake->Windows[Form.get()].Alpha, 255);
  const QRgb Dimmed = Painted().pixel(1000, 700);
  EXPECT_NEAR(qRed(Dimmed), 100, 2);
  EXPECT_NEAR(qGreen(Dimmed), 50, 2);
  EXPECT_NEAR(qBlue(Dimmed), 25, 2);

  Fake->Compositing = true;
  Form->SetOverlay(false);
  EXPECT_EQ(Fake->Windows[Form.get()].Alpha, 128);
  EXPECT_EQ(Painted().pixel(1000, 700), qRgb(0, 0, 0));
}

TEST_F(SelectionForm, WatchHidesOnAPressOutside) {
  Form->ShowSelection({100, 100, 300, 200});
  Form->show();
  Form->SetCheckMouse(true);
  EXPECT_TRUE(Form->Timer1.isActive());
  Fake->KeysDown.insert(TPlatform::TKey::LeftButton);
  Fake->Cursor = QPoint(150, 150); // inside
  QTest::qWait(450);
  EXPECT_TRUE(Form->isVisible());
  Fake->Cursor = QPoint(350, 150);
  Fake->KeysDown.clear(); // outside, but no press
  QTest::qWait(450);
  EXPECT_TRUE(Form->isVisible());
  Fake->KeysDown.insert(TPlatform::TKey::LeftButton);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !Form->isVisible(); }, 3000));
  EXPECT_FALSE(Form->Timer1.isActive());
  EXPECT_TRUE(Form->CheckMouse());
}

TEST_F(SelectionForm, EscapeHidesIt) {
  Form->show();
  QTest::keyClick(Form.get(), Qt::Key_Escape);
  EXPECT_FALSE(Form->isVisible());
}

} // namespace
