// The main window shown while the recognition data loads behind it: the
// user sees the same message as before when the data is missing, and a
// command given meanwhile runs once the data is there.
#include "app/UnitFormOCR.h"
#include "ocr/tesseractocr.h"
#include "platform/fake/FakePlatform.h"
#include "settings/ConfigIni.h"

#include <QMessageBox>
#include <QTest>

#include <gtest/gtest.h>

#include "support/TestRuntime.h"

namespace {

using TDataLoad = TFormOCR::TDataLoad;

TEST(FormOCRDataLoad, MissingDataShowsTheSameMessageAndTheWindowCloses) {
  TTestRuntimeFolder Runtime;
  TConfigIni(Runtime.IniPath()).WriteString("Tesseract", "lang", "xyz");
  TFakePlatform Desktop;
  TMessageBoxAnswerer User;
  TFormOCR Form(Runtime.Path(), Desktop, nullptr, TDataLoad::InBackground);
  Form.show();
  EXPECT_FALSE(Form.StartFailed());
  int Runs = 0;
  Form.RunCommand("translate", [&] { ++Runs; });
  ASSERT_TRUE(QTest::qWaitFor([&] { return Form.StartFailed(); }, 20000));
  ASSERT_EQ(User.Boxes.size(), 1u);
  EXPECT_EQ(User.Boxes[0].Text, "Error loading Tesseract data");
  EXPECT_EQ(User.Boxes[0].Buttons, QMessageBox::Ok);
  EXPECT_FALSE(Form.isVisible());
  QTest::qWait(50);
  EXPECT_EQ(Runs, 0); // the window that failed runs nothing
}

TEST(FormOCRDataLoad, ACommandGivenWhileTheDataLoadsRunsOnceItIsLoaded) {
  TTestRuntimeFolder Runtime;
  TFakePlatform Desktop;
  TFormOCR Form(Runtime.Path(), Desktop, nullptr, TDataLoad::InBackground);
  Form.show();
  int Runs = 0;
  bool LoadedWhenRun = false;
  Form.RunCommand("translate", [&] {
    ++Runs;
    LoadedWhenRun = !Form.Loading() && Form.Tesseract() != nullptr;
  });
  // The data reaches the window through its event loop, never before.
  EXPECT_EQ(Runs, 0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Runs == 1; }, 20000));
  EXPECT_TRUE(LoadedWhenRun);
  EXPECT_FALSE(Form.StartFailed());
  QTest::qWait(50);
  EXPECT_EQ(Runs, 1);
}

} // namespace
