#include "app/CommandQueue.h"

#include <QCoreApplication>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

// A command that, while it runs, lets the event loop deliver what arrives
// meanwhile, as a selection or a message box does.
void RunEventsFor(int Ms) { QTest::qWait(Ms); }

TEST(CommandQueue, ACommandArrivingWhileOneRunsRunsOnceAfterIt) {
  TCommandQueue Queue;
  QStringList Log;
  Queue.Run("translate", [&] {
    Log << "first begins";
    QTimer::singleShot(0, [&] { Queue.Run("full-screen", [&] { Log << "second"; }); });
    RunEventsFor(50);
    Log << "first ends";
  });
  ASSERT_TRUE(QTest::qWaitFor([&] { return Log.size() == 3; }, 5000)) << Log.join(", ").toStdString();
  QTest::qWait(50);
  EXPECT_EQ(Log, QStringList({"first begins", "first ends", "second"}));
}

TEST(CommandQueue, ACommandAlreadyWaitingIsNotQueuedAgain) {
  TCommandQueue Queue;
  int Translations = 0, FullScreens = 0;
  Queue.Run("select-translate", [&] {
    for (int Press = 0; Press < 3; ++Press)
      Queue.Run("translate", [&] { ++Translations; });
    Queue.Run("full-screen", [&] { ++FullScreens; });
    Queue.Run("translate", [&] { ++Translations; });
  });
  ASSERT_TRUE(QTest::qWaitFor([&] { return !Queue.IsRunning() && !Queue.HasPending(); }, 5000));
  EXPECT_EQ(Translations, 1);
  EXPECT_EQ(FullScreens, 1);
}

TEST(CommandQueue, CommandsWaitUntilTheQueueIsReady) {
  TCommandQueue Queue;
  Queue.SetReady(false);
  int Runs = 0;
  Queue.Run("translate", [&] { ++Runs; });
  QTest::qWait(20);
  EXPECT_EQ(Runs, 0);
  Queue.SetReady(true);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Runs == 1; }, 5000));
  QTest::qWait(20);
  EXPECT_EQ(Runs, 1);
}

TEST(CommandQueue, AFailingCommandStillLetsTheNextOneRun) {
  TCommandQueue Queue;
  bool NextRan = false;
  EXPECT_THROW(Queue.Run("translate",
                         [&] {
                           Queue.Run("full-screen", [&] { NextRan = true; });
                           throw std::runtime_error("SetImage invalid");
                         }),
               std::runtime_error);
  EXPECT_FALSE(Queue.IsRunning());
  EXPECT_TRUE(QTest::qWaitFor([&] { return NextRan; }, 5000));
}

TEST(CommandQueue, TheRunningCommandHearsThatAnotherWaits) {
  TCommandQueue Queue;
  int Heard = 0;
  QObject::connect(&Queue, &TCommandQueue::CommandWaiting, [&] { ++Heard; });
  Queue.Run("select-translate", [&] { Queue.Run("translate", [] {}); });
  EXPECT_EQ(Heard, 1);
}

} // namespace
