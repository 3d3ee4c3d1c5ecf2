#include "app/CommandQueue.h"

#include <QCoreApplication>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

namespace {

// A command that, while it runs, lets the event loop deliver what arrives
// meanwhile, as a message box does.
void RunEventsFor(int Ms) { QTest::qWait(Ms); }

bool QueueEmpties(const TCommandQueue& Queue) {
  return QTest::qWaitFor([&] { return !Queue.IsRunning() && !Queue.HasPending(); }, 5000);
}

// A command that ends later, when its Done is called from the event loop
// (a selection waiting for the user, a job on the worker).
TEST(CommandQueue, ACommandArrivingBeforeDoneRunsOnceAfterIt) {
  TCommandQueue Queue;
  QStringList Log;
  Queue.Run("translate", [&](TCommandQueue::TDone Done) {
    Log << "first begins";
    QTimer::singleShot(0, [&] { Queue.RunNow("full-screen", [&] { Log << "second"; }); });
    QTimer::singleShot(50, [&, Done] {
      Log << "first ends";
      Done();
    });
  });
  EXPECT_EQ(Queue.Running(), "translate");
  ASSERT_TRUE(QTest::qWaitFor([&] { return Log.size() == 3; }, 5000)) << Log.join(", ").toStdString();
  QTest::qWait(50);
  EXPECT_EQ(Log, QStringList({"first begins", "first ends", "second"}));
  EXPECT_TRUE(Queue.Running().isEmpty());
}

// The synchronous form: a command that runs a nested loop meanwhile.
TEST(CommandQueue, ACommandArrivingDuringANestedLoopRunsOnceAfterIt) {
  TCommandQueue Queue;
  QStringList Log;
  Queue.RunNow("translate", [&] {
    Log << "first begins";
    QTimer::singleShot(0, [&] { Queue.RunNow("full-screen", [&] { Log << "second"; }); });
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
  Queue.RunNow("select-translate", [&] {
    for (int Press = 0; Press < 3; ++Press)
      Queue.RunNow("translate", [&] { ++Translations; });
    Queue.RunNow("full-screen", [&] { ++FullScreens; });
    Queue.RunNow("translate", [&] { ++Translations; });
  });
  ASSERT_TRUE(QueueEmpties(Queue));
  EXPECT_EQ(Translations, 1);
  EXPECT_EQ(FullScreens, 1);
}

TEST(CommandQueue, CommandsWaitUntilTheQueueIsReady) {
  TCommandQueue Queue;
  Queue.SetReady(false);
  int Runs = 0;
  Queue.RunNow("translate", [&] { ++Runs; });
  QTest::qWait(20);
  EXPECT_EQ(Runs, 0);
  Queue.SetReady(true);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Runs == 1; }, 5000));
  QTest::qWait(20);
  EXPECT_EQ(Runs, 1);
}

// Whatever a command throws ends it; the message goes to OnError, never out
// of Run into the event dispatch that called it.
TEST(CommandQueue, AFailingCommandIsReportedAndTheNextOneRuns) {
  struct TCase {
    const char* Name;
    std::function<void(TCommandQueue&, std::function<void()> Body)> Start;
  };
  const TCase Cases[] = {
      {"RunNow", [](TCommandQueue& Queue, std::function<void()> Body) { Queue.RunNow("translate", Body); }},
      {"Run, before Done",
       [](TCommandQueue& Queue, std::function<void()> Body) {
         Queue.Run("translate", [Body](TCommandQueue::TDone) { Body(); });
       }},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    TCommandQueue Queue;
    QStringList Errors;
    Queue.OnError = [&](const QString& Message) { Errors << Message; };
    bool NextRan = false;
    EXPECT_NO_THROW(Case.Start(Queue, [&] {
      Queue.RunNow("full-screen", [&] { NextRan = true; });
      throw std::runtime_error("SetImage invalid");
    }));
    EXPECT_EQ(Errors, QStringList{"SetImage invalid"});
    EXPECT_TRUE(QTest::qWaitFor([&] { return NextRan; }, 5000));
    EXPECT_TRUE(QueueEmpties(Queue));
  }
}

TEST(CommandQueue, TheRunningCommandHearsThatAnotherWaits) {
  TCommandQueue Queue;
  int Heard = 0;
  QObject::connect(&Queue, &TCommandQueue::CommandWaiting, [&] { ++Heard; });
  Queue.RunNow("select-translate", [&] { Queue.RunNow("translate", [] {}); });
  EXPECT_EQ(Heard, 1);
}

// A Done called twice must not end the command that runs after it, and one
// kept past the queue's end does nothing.
TEST(CommandQueue, OnlyTheFirstDoneCounts) {
  TCommandQueue::TDone Kept;
  {
    TCommandQueue Queue;
    Queue.Run("translate", [&](TCommandQueue::TDone Done) {
      Kept = Done;
      Done();
    });
    EXPECT_FALSE(Queue.IsRunning());
    Queue.Run("full-screen", [](TCommandQueue::TDone) {});
    EXPECT_EQ(Queue.Running(), "full-screen");
    Kept();
    EXPECT_EQ(Queue.Running(), "full-screen");
    Queue.RunNow("picker", [] {});
    QTest::qWait(20);
    EXPECT_TRUE(Queue.HasPending()); // still waits for full-screen
  }
  Kept();
}

} // namespace
