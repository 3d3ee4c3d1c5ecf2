#include "app/Application.h"
#include "overlay/TranslateForm.h"
#include "platform/fake/FakePlatform.h"
#include "settings/ConfigIni.h"

#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

// The texts of the message boxes that come up within TimeoutMs, modal or
// not, each answered.
QStringList AnswerMessageBoxes(int TimeoutMs) {
  QStringList Texts;
  QTimer Poll;
  QObject::connect(&Poll, &QTimer::timeout, [&] {
    for (QWidget* Window : QApplication::topLevelWidgets())
      if (auto* Box = qobject_cast<QMessageBox*>(Window); Box && Box->isVisible()) {
        Texts << Box->text();
        Box->accept();
      }
  });
  Poll.start(10);
  QTest::qWait(TimeoutMs);
  return Texts;
}

// A colour setting that cannot be converted ends the paint and reaches the
// default error box, once while the same failure repeats paint after paint.
TEST(OverlayPaintError, ReachesTheErrorBoxOnceWhileItRepeats) {
  TFakePlatform Desktop;
  QTemporaryDir Dir;
  TConfigIni Ini(Dir.filePath("Config.ini"));
  Ini.WriteString("TranslationWindow", "FontColor", "reddish");
  {
    TIteratorResultList List{{10, 10, 100, 50, "text", 1, 4, 14}};
    TTranslationForm Form(nullptr, Ini, Desktop);
    Form.resize(300, 200);
    Form.UpdateText(&List);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Form));
    EXPECT_EQ(AnswerMessageBoxes(500), QStringList{"'reddish' is not a valid integer value"});

    Form.repaint();
    Form.update();
    EXPECT_EQ(AnswerMessageBoxes(300), QStringList{});

    Ini.WriteString("TranslationWindow", "FontColor", "clBlack");
    Form.repaint();
    Ini.WriteString("TranslationWindow", "TextBackColor", "greyish");
    Form.repaint();
    EXPECT_EQ(AnswerMessageBoxes(500), QStringList{"'greyish' is not a valid integer value"});
  }
}

} // namespace

int main(int argc, char** argv) {
  qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
  TApplication App(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
