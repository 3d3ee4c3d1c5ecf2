// TApplication::Quit ends the program from inside nested event loops and
// long waits, which is what closing the main window relies on whatever runs
// then (a dialog, a message box, a timer's command waiting for a server).

#include "app/Application.h"
#include "core/LongWait.h"

#include <QDialog>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

TEST(ApplicationQuit, EndsDialogsMessageBoxesAndLongWaitsAndExecReturnsZero) {
  int DialogResult = -2, BoxResult = -2, WaitPasses = 0;
  bool WaitGaveUp = false, BoxAfterQuitReturned = false;
  QDialog Dialog;
  // A timer's command waits for a server, as automatic translation does...
  QTimer::singleShot(0, [&] {
    while (KeepWaiting())
      ++WaitPasses;
    WaitGaveUp = true;
  });
  // ...while, inside that wait, a dialog runs with a message box on top.
  QTimer::singleShot(10, [&] {
    QTimer::singleShot(10, [&] {
      BoxResult = QMessageBox::information(&Dialog, "Korvex", "box", QMessageBox::Ok);
      // A box opened after the end was asked for returns at once.
      QMessageBox::information(nullptr, "Korvex", "late", QMessageBox::Ok);
      BoxAfterQuitReturned = true;
    });
    DialogResult = Dialog.exec();
  });
  QTimer::singleShot(300, [] { TApplication::Quit(); });
  QTimer::singleShot(20000, [] { std::abort(); }); // a loop that never ends

  EXPECT_EQ(QApplication::exec(), 0);
  EXPECT_TRUE(TApplication::Quitting());
  EXPECT_TRUE(WaitGaveUp);
  EXPECT_GT(WaitPasses, 0);
  EXPECT_EQ(DialogResult, QDialog::Rejected);
  EXPECT_NE(BoxResult, -2);
  EXPECT_TRUE(BoxAfterQuitReturned);
  EXPECT_FALSE(Dialog.isVisible());
}

} // namespace

int main(int argc, char** argv) {
  TApplication App(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
