#include "app/RemoteCommands.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

namespace {

struct TRun {
  int ExitCode = -1;
  QString Error;
};

// Runs `korvex --command Name` while this process keeps serving events.
TRun SendFromOutside(const QString& Name) {
  QProcess Process;
  Process.start(QDir(KORVEX_RUNTIME_DIR).filePath("korvex"), {"--command", Name});
  EXPECT_TRUE(Process.waitForStarted(5000));
  EXPECT_TRUE(QTest::qWaitFor([&] { return Process.state() == QProcess::NotRunning; }, 10000));
  return {Process.exitCode(), QString::fromLocal8Bit(Process.readAllStandardError())};
}

class RemoteCommands : public ::testing::Test {
protected:
  void SetUp() override {
    // A display name of this test's own, so the socket is its own too.
    qputenv("DISPLAY",
            QStringLiteral(":korvex-test-%1-%2").arg(QCoreApplication::applicationPid()).arg(++Counter).toLocal8Bit());
  }
  static inline int Counter = 0;
};

TEST_F(RemoteCommands, ACommandRunsItsHandlerAfterTheAnswer) {
  TRemoteCommands Commands;
  int Translations = 0, FullScreens = 0;
  Commands.AddCommand("translate", [&] { ++Translations; });
  Commands.AddCommand("full-screen", [&] { ++FullScreens; });
  QString Error;
  ASSERT_TRUE(Commands.Listen(&Error)) << Error.toStdString();

  const TRun Run = SendFromOutside("translate");
  EXPECT_EQ(Run.ExitCode, 0) << Run.Error.toStdString();
  EXPECT_TRUE(QTest::qWaitFor([&] { return Translations == 1; }, 2000));
  EXPECT_EQ(Translations, 1);
  EXPECT_EQ(FullScreens, 0);

  const TRun Unknown = SendFromOutside("make-coffee");
  EXPECT_EQ(Unknown.ExitCode, 2);
  EXPECT_TRUE(Unknown.Error.contains("unknown command")) << Unknown.Error.toStdString();
  QTest::qWait(50);
  EXPECT_EQ(Translations + FullScreens, 1);
}

TEST_F(RemoteCommands, WithoutARunningKorvexItSaysSoAndFails) {
  const TRun Run = SendFromOutside("translate");
  EXPECT_EQ(Run.ExitCode, 1);
  EXPECT_TRUE(Run.Error.contains("No running Korvex")) << Run.Error.toStdString();
}

TEST_F(RemoteCommands, ASecondKorvexDoesNotStealTheSocket) {
  TRemoteCommands First;
  int Ran = 0;
  First.AddCommand("translate", [&] { ++Ran; });
  QString Error;
  ASSERT_TRUE(First.Listen(&Error));
  TRemoteCommands Second;
  EXPECT_FALSE(Second.Listen(&Error));
  EXPECT_TRUE(Error.contains("another Korvex")) << Error.toStdString();
  EXPECT_EQ(SendFromOutside("translate").ExitCode, 0);
  EXPECT_TRUE(QTest::qWaitFor([&] { return Ran == 1; }, 2000));
  EXPECT_EQ(Ran, 1);
}

TEST_F(RemoteCommands, ASocketLeftByACrashedKorvexIsTakenOver) {
  // A socket file nobody listens on, as a killed Korvex leaves it.
  const QString Name = TRemoteCommands::ServerName();
  const QString Path = Name.startsWith('/') ? Name : QDir(QDir::tempPath()).filePath(Name);
  {
    QFile Stale(Path);
    ASSERT_TRUE(Stale.open(QIODevice::WriteOnly));
  }
  TRemoteCommands Commands;
  Commands.AddCommand("full-screen", [] {});
  QString Error;
  EXPECT_TRUE(Commands.Listen(&Error)) << Error.toStdString();
  EXPECT_EQ(SendFromOutside("full-screen").ExitCode, 0);
}

} // namespace
