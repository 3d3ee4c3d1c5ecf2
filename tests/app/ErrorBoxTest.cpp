#include "app/Application.h"

#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

// Answers the next modal message box, remembering its text.
QString AnswerNextMessageBox() {
  QString Text;
  QTimer Poll;
  QEventLoop Loop;
  QObject::connect(&Poll, &QTimer::timeout, [&] {
    if (auto* Box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      Text = Box->text();
      Box->accept();
      Loop.quit();
    }
  });
  Poll.start(10);
  QTimer::singleShot(5000, &Loop, &QEventLoop::quit);
  Loop.exec();
  return Text;
}

TEST(DefaultErrorBox, AnExceptionEndsTheCommandAndTheProgramRunsOn) {
  int Ran = 0;
  QTimer::singleShot(0, [&] {
    ++Ran;
    throw std::runtime_error("SetImage invalid");
  });
  EXPECT_EQ(AnswerNextMessageBox(), "SetImage invalid");
  EXPECT_EQ(Ran, 1);

  bool Later = false;
  QTimer::singleShot(0, [&] { Later = true; });
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
  EXPECT_TRUE(Later);
}

} // namespace

int main(int argc, char** argv) {
  TApplication App(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
