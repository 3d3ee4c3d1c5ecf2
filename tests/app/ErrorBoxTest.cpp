#include "app/ErrorBox.h"
#include "app/Application.h"
#include "ocr/RtOcr.h"
#include "platform/fake/FakeOcrService.h"

#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

// Answers the next error box (it does not wait for the user: no loop runs
// inside whoever showed it), remembering its text.
QString AnswerNextMessageBox() {
  QString Text;
  QTimer Poll;
  QEventLoop Loop;
  QObject::connect(&Poll, &QTimer::timeout, [&] {
    for (QWidget* Window : QApplication::topLevelWidgets()) {
      auto* Box = qobject_cast<QMessageBox*>(Window);
      if (!Box || !Box->isVisible())
        continue;
      Text = Box->text();
      EXPECT_EQ(Box->textFormat(), Qt::PlainText);
      Box->accept();
      Loop.quit();
      return;
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

// The desktop recogniser's result arrives through a queued call; a failure
// in its handler (a refusing translation server, say) reaches the box too.
TEST(DefaultErrorBox, AFailureInTheRecognitionResultsHandlerIsShown) {
  TFakeOcrService Service;
  Service.Languages = {{"en-US", "English (United States)", "English (United States)", "Latin"}};
  TRtOcr RtOcr(Service);
  RtOcr.SetPicture(QImage(20, 10, QImage::Format_RGB32));
  RtOcr.OnCompleted = [](TRtOcr*, const TRtOcr::TResult&, void*) { throw std::runtime_error("Refused"); };
  RtOcr.Recognize(RtOcr.GetAvailableLanguages().at(0), nullptr, 0, 0, 0, 0);
  ASSERT_TRUE(Service.Complete(TOcrAsyncStatus::Completed));
  EXPECT_EQ(AnswerNextMessageBox(), "Refused");
  EXPECT_FALSE(RtOcr.Busy());
}

// Whoever answers at the server writes the reason; it never becomes markup,
// a picture from disk or a link, and the same failure again while its box
// is open opens no second one.
TEST(DefaultErrorBox, AServersReasonIsPlainTextAndShownOnce) {
  const QString Reason =
      QStringLiteral("<img src=\"/tmp/x.png\"><font size=7 color=red>BIG</font> <a href=x>click</a>");
  ShowErrorBox(Reason);
  ShowErrorBox(Reason);
  int Open = 0;
  for (QWidget* Window : QApplication::topLevelWidgets())
    Open += qobject_cast<QMessageBox*>(Window) && Window->isVisible();
  EXPECT_EQ(Open, 1);
  EXPECT_EQ(AnswerNextMessageBox(), Reason);
}

} // namespace

int main(int argc, char** argv) {
  TApplication App(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
