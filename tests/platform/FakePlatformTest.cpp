#include "platform/fake/FakePlatform.h"
#include "app/UnitFormOCR.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "support/TestRuntime.h"

namespace {

TEST(FakePlatform, CopiesTheVirtualScreenWithBlackOutsideIt) {
  TFakePlatform Fake;
  Fake.Screen = QImage(100, 50, QImage::Format_RGB32);
  Fake.Screen.fill(QColor(10, 20, 30));
  const QImage Copy = Fake.CopyScreen({90, 40, 110, 60});
  ASSERT_EQ(Copy.size(), QSize(20, 20));
  EXPECT_EQ(Copy.pixelColor(0, 0), QColor(10, 20, 30));
  EXPECT_EQ(Copy.pixelColor(9, 9), QColor(10, 20, 30));
  EXPECT_EQ(Copy.pixelColor(10, 0), QColor(Qt::black));
  EXPECT_EQ(Copy.pixelColor(0, 10), QColor(Qt::black));
  EXPECT_EQ(Fake.CopyCount, 1);
}

TEST(FakePlatform, PollHookPlaysTheUser) {
  TFakePlatform Fake;
  int Polls = 0;
  Fake.OnPoll = [&] {
    ++Polls;
    Fake.Cursor = QPoint(Polls, 2 * Polls);
    if (Polls == 2)
      Fake.KeysDown.insert(TPlatform::TKey::LeftButton);
  };
  EXPECT_EQ(Fake.CursorPos(), QPoint(1, 2));
  EXPECT_TRUE(Fake.IsKeyDown(TPlatform::TKey::LeftButton));
  EXPECT_FALSE(Fake.IsKeyDown(TPlatform::TKey::Escape));
}

TEST(FakePlatform, TheControllerRunsWithoutAnXServer) {
  TFakePlatform Desktop;
  TTestRuntimeFolder Runtime;
  {
    TFormOCR Form(Runtime.Path(), Desktop);
    ASSERT_FALSE(Form.StartFailed());
    Form.show();
    Form.mnuTextLine->trigger();
    Form.close();
  }
  EXPECT_TRUE(QFile::exists(Runtime.IniPath()));
}

} // namespace
