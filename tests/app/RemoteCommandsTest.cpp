#include "app/RemoteCommands.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

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

// korvex is a launcher that sends commands without loading Qt; only the C
// and C++ runtimes may be among the shared objects it needs.
TEST_F(RemoteCommands, TheLauncherNeedsNoQt) {
  QProcess Readelf;
  Readelf.start("readelf", {"-d", QDir(KORVEX_RUNTIME_DIR).filePath("korvex")});
  ASSERT_TRUE(Readelf.waitForFinished(10000));
  ASSERT_EQ(Readelf.exitCode(), 0) << Readelf.readAllStandardError().toStdString();
  QStringList Needed;
  static const QRegularExpression Entry(QStringLiteral(R"(\(NEEDED\)\s+Shared library: \[([^\]]+)\])"));
  for (auto Match = Entry.globalMatch(QString::fromLocal8Bit(Readelf.readAllStandardOutput())); Match.hasNext();)
    Needed << Match.next().captured(1);
  EXPECT_TRUE(Needed.contains("libc.so.6")) << Needed.join(' ').toStdString();
  static const QRegularExpression Runtime(QStringLiteral(R"(^(libc|libm|libstdc\+\+|libgcc_s|ld-linux.*)\.so.*$)"));
  for (const QString& Library : Needed)
    EXPECT_TRUE(Runtime.match(Library).hasMatch()) << "korvex needs " << Library.toStdString();
}

// The launcher and the GUI program answer a command alike, with the words
// and the exit code scripts have always seen.
TEST_F(RemoteCommands, LauncherAndProgramSayTheSameWithoutAKorvex) {
  const QString Expected = QStringLiteral("korvex: No running Korvex for display %1. Start Korvex first.\n")
                               .arg(qEnvironmentVariable("DISPLAY"));
  const std::vector<std::pair<QString, QStringList>> Cases = {
      {"korvex", {"--command", "translate"}},
      {"korvex", {"--command=translate"}},
      {"korvex-gui", {"--command", "translate"}},
  };
  for (const auto& [Program, Arguments] : Cases) {
    QProcess Process;
    Process.start(QDir(KORVEX_RUNTIME_DIR).filePath(Program), Arguments);
    ASSERT_TRUE(Process.waitForFinished(10000)) << Program.toStdString();
    EXPECT_EQ(Process.exitCode(), 1) << Program.toStdString() << " " << Arguments.join(' ').toStdString();
    EXPECT_EQ(QString::fromLocal8Bit(Process.readAllStandardError()), Expected) << Program.toStdString();
    EXPECT_TRUE(Process.readAllStandardOutput().isEmpty()) << Program.toStdString();
  }
}

// Everything but a command goes to the GUI program beside the launcher,
// with the arguments as given and Tesseract's OpenMP limit already in the
// environment (the user's own limit kept), so that the GUI program need not
// start itself afresh to set it.
TEST_F(RemoteCommands, TheLauncherStartsTheGuiProgramWithTheOpenMPLimitSet) {
  QTemporaryDir Folder;
  ASSERT_TRUE(Folder.isValid());
  ASSERT_TRUE(QFile::copy(QDir(KORVEX_RUNTIME_DIR).filePath("korvex"), Folder.filePath("korvex")));
  QFile Gui(Folder.filePath("korvex-gui"));
  ASSERT_TRUE(Gui.open(QIODevice::WriteOnly));
  Gui.write("#!/bin/sh\necho \"$OMP_THREAD_LIMIT $*\"\n");
  Gui.close();
  Gui.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  for (const auto& [Limit, Expected] :
       std::vector<std::pair<QString, QString>>{{"", "1 --version"}, {"3", "3 --version"}}) {
    QProcess Launcher;
    QProcessEnvironment Environment = QProcessEnvironment::systemEnvironment();
    Environment.remove("OMP_THREAD_LIMIT");
    if (!Limit.isEmpty())
      Environment.insert("OMP_THREAD_LIMIT", Limit);
    Launcher.setProcessEnvironment(Environment);
    Launcher.start(Folder.filePath("korvex"), {"--version"});
    ASSERT_TRUE(Launcher.waitForFinished(10000));
    EXPECT_EQ(QString::fromLocal8Bit(Launcher.readAllStandardOutput()).trimmed(), Expected);
  }
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

// A system user made for these tests, so faults between two users can be
// shown; only root can make one, so the tests needing it skip without root.
class TOtherUser : public ::testing::Environment {
public:
  static const TOtherUser* Get() {
    static TOtherUser* const Instance = [] {
      auto* User = new TOtherUser;
      ::testing::AddGlobalTestEnvironment(User);
      User->Create();
      return User;
    }();
    return Instance->FUid == 0 ? nullptr : Instance;
  }
  uid_t Uid() const { return FUid; }
  gid_t Gid() const { return FGid; }
  void TearDown() override {
    if (FUid != 0)
      QProcess::execute("userdel", {FName});
  }

private:
  void Create() {
    if (geteuid() != 0)
      return;
    FName = QStringLiteral("korvex-test-%1").arg(QRandomGenerator::global()->generate() % 1000000);
    // Retried: other builds on this machine may hold the user database's lock.
    for (int Try = 0; Try < 20; ++Try) {
      if (QProcess::execute("useradd", {"--system", "--no-create-home", FName}) == 0)
        break;
      QTest::qWait(100);
    }
    if (const passwd* Entry = getpwnam(FName.toLocal8Bit().constData())) {
      FUid = Entry->pw_uid;
      FGid = Entry->pw_gid;
    }
  }
  QString FName;
  uid_t FUid = 0;
  gid_t FGid = 0;
};

#define REQUIRE_OTHER_USER(User)                                                                                       \
  const TOtherUser* User = TOtherUser::Get();                                                                          \
  if (!User)                                                                                                           \
    GTEST_SKIP() << "needs root to create a second user for this test";

// A child process, under the given ids, that the test ends by its pid.
class TChild {
public:
  // Body runs in the forked child and may only make plain system calls.
  TChild(uid_t Uid, gid_t Gid, const std::function<int(int Report)>& Body) {
    int Pipe[2];
    if (pipe(Pipe) != 0)
      return;
    FPid = fork();
    if (FPid == 0) {
      close(Pipe[0]);
      if (Uid != geteuid() &&
          (setgroups(0, nullptr) != 0 || setresgid(Gid, Gid, Gid) != 0 || setresuid(Uid, Uid, Uid) != 0))
        _exit(100);
      _exit(Body(Pipe[1]));
    }
    close(Pipe[1]);
    FReport = Pipe[0];
  }
  ~TChild() {
    Kill();
    if (FReport >= 0)
      close(FReport);
  }
  void Kill() {
    if (FPid > 0) {
      kill(FPid, SIGKILL);
      waitpid(FPid, nullptr, 0);
      FPid = -1;
    }
  }
  // Waits, serving events, until the child has ended; its exit status.
  int Wait() {
    int Status = 0;
    const bool Ended = QTest::qWaitFor([&] { return waitpid(FPid, &Status, WNOHANG) == FPid; }, 10000);
    if (Ended)
      FPid = -1;
    return Ended && WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
  }
  // What the child has reported so far, without waiting for more; with
  // WaitForFirst, waits for its first byte (its "ready").
  QByteArray Report(bool WaitForFirst = false) {
    QByteArray Got;
    pollfd Poll{FReport, POLLIN, 0};
    while (poll(&Poll, 1, WaitForFirst && Got.isEmpty() ? 10000 : 0) > 0 && (Poll.revents & POLLIN)) {
      char Buffer[256];
      const ssize_t Size = read(FReport, Buffer, sizeof Buffer);
      if (Size <= 0)
        break;
      Got.append(Buffer, Size);
    }
    return Got;
  }

private:
  pid_t FPid = -1;
  int FReport = -1;
};

sockaddr_un Address(const char* Path) {
  sockaddr_un Result{};
  Result.sun_family = AF_UNIX;
  std::strncpy(Result.sun_path, Path, sizeof Result.sun_path - 1);
  return Result;
}

// Listens on Path, reports "R" once listening, then answers every line it
// is sent with "OK\n" and reports the line: a listener planted by a
// stranger, or a Korvex that is then killed.
std::function<int(int)> Listener(const QByteArray& Path) {
  return [Path](int Report) {
    const int Fd = socket(AF_UNIX, SOCK_STREAM, 0);
    const sockaddr_un Where = Address(Path.constData());
    if (Fd < 0 || bind(Fd, reinterpret_cast<const sockaddr*>(&Where), sizeof Where) != 0 || listen(Fd, 8) != 0)
      return 3;
    if (write(Report, "R", 1) != 1)
      return 4;
    for (;;) {
      const int Client = accept(Fd, nullptr, nullptr);
      if (Client < 0)
        continue;
      char Buffer[256];
      const ssize_t Size = read(Client, Buffer, sizeof Buffer);
      if (Size > 0 && write(Report, Buffer, Size) == Size && write(Client, "OK\n", 3) != 3)
        return 5;
      close(Client);
    }
  };
}

// Commands with a temporary folder of the test's own in place of /tmp, and
// XDG_RUNTIME_DIR unset unless a test sets it.
class RemoteCommandsSafety : public RemoteCommands {
protected:
  void SetUp() override {
    RemoteCommands::SetUp();
    ASSERT_TRUE(FTemp.isValid());
    // Open to everyone with the sticky bit, as /tmp is.
    ASSERT_EQ(chmod(FTemp.path().toLocal8Bit().constData(), 01777), 0);
    FOldTmp = qgetenv("TMPDIR");
    FOldRuntime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", FTemp.path().toLocal8Bit());
    qunsetenv("XDG_RUNTIME_DIR");
  }
  void TearDown() override {
    Restore("TMPDIR", FOldTmp);
    Restore("XDG_RUNTIME_DIR", FOldRuntime);
  }
  static void Restore(const char* Name, const QByteArray& Value) {
    if (Value.isNull())
      qunsetenv(Name);
    else
      qputenv(Name, Value);
  }
  QString Tmp() const { return FTemp.path(); }
  // A directory of this user's with mode 0700 as XDG_RUNTIME_DIR.
  QString UseRuntimeDir() {
    const QString Dir = QDir(Tmp()).filePath("runtime");
    EXPECT_TRUE(QDir().mkpath(Dir));
    EXPECT_EQ(chmod(Dir.toLocal8Bit().constData(), 0700), 0);
    qputenv("XDG_RUNTIME_DIR", Dir.toLocal8Bit());
    return Dir;
  }
  // Where Korvex put its socket before it had a folder of its own: a name
  // anyone can take first in the shared temporary folder.
  QString OldPredictablePath() const {
    QString Display = qEnvironmentVariable("DISPLAY");
    Display.replace(':', '_');
    return QDir(Tmp()).filePath(QStringLiteral("korvex-%1-%2").arg(getuid()).arg(Display));
  }
  static mode_t ModeOf(const QString& Path) {
    struct stat Info {};
    return lstat(Path.toLocal8Bit().constData(), &Info) == 0 ? Info.st_mode : 0;
  }

private:
  QTemporaryDir FTemp;
  QByteArray FOldTmp, FOldRuntime;
};

// Waits until the command socket answers, then checks that `korvex --command
// translate` reaches the handler that counts into Ran.
void ExpectTranslateReaches(const int& Ran) {
  EXPECT_TRUE(QTest::qWaitFor(
      [] {
        QLocalSocket Probe;
        Probe.connectToServer(TRemoteCommands::ServerName());
        return Probe.waitForConnected(1000);
      },
      15000));
  EXPECT_EQ(SendFromOutside("translate").ExitCode, 0);
  EXPECT_TRUE(QTest::qWaitFor([&] { return Ran == 1; }, 2000));
}

TEST_F(RemoteCommandsSafety, WithoutXdgRuntimeDirTheSocketIsInAFolderOfTheUserWithMode0700) {
  TRemoteCommands Commands;
  Commands.AddCommand("translate", [] {});
  QString Error;
  ASSERT_TRUE(Commands.Listen(&Error)) << Error.toStdString();
  const QString Folder = QDir(Tmp()).filePath(QStringLiteral("korvex-%1").arg(getuid()));
  EXPECT_TRUE(TRemoteCommands::ServerName().startsWith(Folder + '/')) << TRemoteCommands::ServerName().toStdString();
  EXPECT_TRUE(S_ISDIR(ModeOf(Folder)));
  EXPECT_EQ(ModeOf(Folder) & 07777, 0700u);
  EXPECT_EQ(SendFromOutside("translate").ExitCode, 0);
}

TEST_F(RemoteCommandsSafety, AnXdgRuntimeDirOthersCanEnterIsNotUsed) {
  const QString Runtime = UseRuntimeDir();
  EXPECT_TRUE(TRemoteCommands::ServerName().startsWith(Runtime + '/'));
  ASSERT_EQ(chmod(Runtime.toLocal8Bit().constData(), 0777), 0);
  EXPECT_FALSE(TRemoteCommands::ServerName().startsWith(Runtime + '/')) << TRemoteCommands::ServerName().toStdString();
  TRemoteCommands Commands;
  Commands.AddCommand("translate", [] {});
  QString Error;
  ASSERT_TRUE(Commands.Listen(&Error)) << Error.toStdString();
  EXPECT_EQ(SendFromOutside("translate").ExitCode, 0);
}

TEST_F(RemoteCommandsSafety, AFolderOthersCanReachOrASymlinkIsRefused) {
  const QString Folder = QDir(Tmp()).filePath(QStringLiteral("korvex-%1").arg(getuid()));
  const QString Elsewhere = QDir(Tmp()).filePath("elsewhere");
  const std::vector<std::pair<const char*, std::function<void()>>> Cases = {
      {"open to everyone",
       [&] {
         ASSERT_TRUE(QDir().mkpath(Folder));
         ASSERT_EQ(chmod(Folder.toLocal8Bit().constData(), 0777), 0);
       }},
      {"open to the group",
       [&] {
         ASSERT_TRUE(QDir().mkpath(Folder));
         ASSERT_EQ(chmod(Folder.toLocal8Bit().constData(), 0750), 0);
       }},
      {"a symlink to a folder with mode 0700",
       [&] {
         ASSERT_TRUE(QDir().mkpath(Elsewhere));
         ASSERT_EQ(chmod(Elsewhere.toLocal8Bit().constData(), 0700), 0);
         ASSERT_TRUE(QFile::link(Elsewhere, Folder));
       }},
  };
  for (const auto& [Name, Plant] : Cases) {
    SCOPED_TRACE(Name);
    QFile::remove(Folder);
    QDir(Folder).removeRecursively();
    Plant();
    TRemoteCommands Commands;
    Commands.AddCommand("translate", [] {});
    QString Error;
    EXPECT_FALSE(Commands.Listen(&Error));
    EXPECT_TRUE(Error.contains(Folder)) << Error.toStdString();
    const TRun Run = SendFromOutside("translate");
    EXPECT_EQ(Run.ExitCode, 1);
    EXPECT_TRUE(Run.Error.contains(Folder)) << Run.Error.toStdString();
  }
}

TEST_F(RemoteCommandsSafety, AKilledKorvexIsTakenOverBeforeAndAfterTheNextOneStarts) {
  for (const bool KilledBeforeStart : {true, false}) {
    SCOPED_TRACE(KilledBeforeStart ? "killed before the next one starts" : "killed while the next one runs");
    QFile::remove(TRemoteCommands::ServerName());
    TChild First(geteuid(), getegid(), Listener(TRemoteCommands::ServerName().toLocal8Bit()));
    ASSERT_EQ(First.Report(true), "R");
    if (KilledBeforeStart)
      First.Kill(); // leaves its socket file behind, as kill -9 does
    TRemoteCommands Next;
    int Ran = 0;
    Next.AddCommand("translate", [&] { ++Ran; });
    QString Error;
    EXPECT_EQ(Next.Listen(&Error), KilledBeforeStart) << Error.toStdString();
    First.Kill();
    ExpectTranslateReaches(Ran);
  }
}

TEST_F(RemoteCommandsSafety, WhenTheFirstKorvexEndsTheSecondTakesTheCommandsOver) {
  auto First = std::make_unique<TRemoteCommands>();
  First->AddCommand("translate", [] {});
  QString Error;
  ASSERT_TRUE(First->Listen(&Error)) << Error.toStdString();
  TRemoteCommands Second;
  int Ran = 0;
  Second.AddCommand("translate", [&] { ++Ran; });
  ASSERT_FALSE(Second.Listen(&Error));
  First.reset();
  ExpectTranslateReaches(Ran);
}

TEST_F(RemoteCommandsSafety, WhatAnotherUserPlantsAtTheOldTmpPathDoesNotTurnCommandsOff) {
  REQUIRE_OTHER_USER(Other);
  const QByteArray Path = OldPredictablePath().toLocal8Bit();
  const std::vector<std::pair<const char*, std::function<int(int)>>> Plants = {
      {"a plain file",
       [Path](int Report) {
         const int Fd = open(Path.constData(), O_CREAT | O_WRONLY, 0644);
         return Fd >= 0 && close(Fd) == 0 && write(Report, "R", 1) == 1 ? 0 : 3;
       }},
      {"a listening socket", Listener(Path)},
  };
  for (const auto& [Name, Plant] : Plants) {
    SCOPED_TRACE(Name);
    QFile::remove(OldPredictablePath());
    TChild Stranger(Other->Uid(), Other->Gid(), Plant);
    ASSERT_EQ(Stranger.Report(true), "R");
    TRemoteCommands Commands;
    int Ran = 0;
    Commands.AddCommand("translate", [&] { ++Ran; });
    QString Error;
    EXPECT_TRUE(Commands.Listen(&Error)) << Error.toStdString();
    EXPECT_EQ(SendFromOutside("translate").ExitCode, 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return Ran == 1; }, 2000));
    EXPECT_EQ(Stranger.Report().toStdString(), "");
  }
}

TEST_F(RemoteCommandsSafety, TheClientRefusesAListenerOfAnotherUser) {
  REQUIRE_OTHER_USER(Other);
  UseRuntimeDir();
  // The stranger listens where it may write, and root moves the socket to
  // where the client connects: the worst case, a listener in our own place.
  const QString Planted = QDir(Tmp()).filePath("planted.socket");
  TChild Stranger(Other->Uid(), Other->Gid(), Listener(Planted.toLocal8Bit()));
  ASSERT_EQ(Stranger.Report(true), "R");
  ASSERT_EQ(rename(Planted.toLocal8Bit().constData(), TRemoteCommands::ServerName().toLocal8Bit().constData()), 0);
  const TRun Run = SendFromOutside("translate");
  EXPECT_NE(Run.ExitCode, 0);
  EXPECT_TRUE(Run.Error.contains(QStringLiteral("user id %1").arg(Other->Uid()))) << Run.Error.toStdString();
  EXPECT_EQ(Stranger.Report().toStdString(), "");
}

TEST_F(RemoteCommandsSafety, TheServerDropsAConnectionOfAnotherUserWithoutRunningIt) {
  REQUIRE_OTHER_USER(Other);
  const QString Runtime = UseRuntimeDir();
  TRemoteCommands Commands;
  int Ran = 0;
  Commands.AddCommand("translate", [&] { ++Ran; });
  QString Error;
  ASSERT_TRUE(Commands.Listen(&Error)) << Error.toStdString();
  // Let the stranger reach the socket, so only the check of its user stops it.
  const QByteArray Path = TRemoteCommands::ServerName().toLocal8Bit();
  ASSERT_EQ(chmod(Runtime.toLocal8Bit().constData(), 0711), 0);
  ASSERT_EQ(chmod(Path.constData(), 0777), 0);
  TChild Stranger(Other->Uid(), Other->Gid(), [Path](int Report) {
    const int Fd = socket(AF_UNIX, SOCK_STREAM, 0);
    const sockaddr_un Where = Address(Path.constData());
    if (Fd < 0 || connect(Fd, reinterpret_cast<const sockaddr*>(&Where), sizeof Where) != 0)
      return 3;
    if (write(Fd, "COMMAND translate\n", 18) != 18)
      return 0; // dropped before it could even send
    char Buffer[64];
    ssize_t Size;
    while ((Size = read(Fd, Buffer, sizeof Buffer)) > 0)
      if (write(Report, Buffer, Size) != Size)
        return 4;
    return 0;
  });
  EXPECT_EQ(Stranger.Wait(), 0);
  EXPECT_EQ(Stranger.Report().toStdString(), "");
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
  EXPECT_EQ(Ran, 0);
  // Closed again, or our own client would not use this folder.
  ASSERT_EQ(chmod(Runtime.toLocal8Bit().constData(), 0700), 0);
  EXPECT_EQ(SendFromOutside("translate").ExitCode, 0);
  EXPECT_TRUE(QTest::qWaitFor([&] { return Ran == 1; }, 2000));
  QCoreApplication::processEvents();
  EXPECT_EQ(Ran, 1);
}

} // namespace
