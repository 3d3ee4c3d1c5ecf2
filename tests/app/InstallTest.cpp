// cmake --install into a temporary prefix, then the installed tree on its
// own: its links, launcher, man pages and service, where each copy keeps its
// settings, and the installed korvex started on a private X server from a
// folder it cannot write.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QProcess>
#include <QRegularExpression>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct TRun {
  int ExitCode = -1;
  QString Output, Errors;
};

// Runs a program to its end while this process keeps serving events.
TRun RunProgram(const QString& Program, const QStringList& Arguments,
                const QProcessEnvironment& Env = QProcessEnvironment::systemEnvironment()) {
  QProcess Process;
  Process.setProcessEnvironment(Env);
  Process.start(Program, Arguments);
  TRun Result;
  if (!Process.waitForStarted(5000))
    return Result;
  if (!QTest::qWaitFor([&] { return Process.state() == QProcess::NotRunning; }, 60000)) {
    Process.kill();
    Process.waitForFinished(5000);
  }
  Result.ExitCode = Process.exitStatus() == QProcess::NormalExit ? Process.exitCode() : -1;
  Result.Output = QString::fromLocal8Bit(Process.readAllStandardOutput()).trimmed();
  Result.Errors = QString::fromLocal8Bit(Process.readAllStandardError());
  return Result;
}

// Root may write anywhere, so a folder it cannot write only exists for
// another user: as root the test runs korvex as "nobody".
bool AsRoot() { return geteuid() == 0; }
uid_t Nobody() {
  const passwd* Entry = getpwnam("nobody");
  return Entry ? Entry->pw_uid : 65534;
}
QStringList Unprivileged(const QString& Program, const QStringList& Arguments) {
  if (!AsRoot())
    return QStringList{Program} + Arguments;
  const QString Id = QString::number(Nobody());
  return QStringList{"setpriv", "--reuid=" + Id, "--regid=" + Id, "--clear-groups", "--", Program} + Arguments;
}
// A folder of the user who runs korvex.
void HandOver(const QString& Path) {
  if (AsRoot()) {
    ASSERT_EQ(chown(QFile::encodeName(Path).constData(), Nobody(), Nobody()), 0) << Path.toStdString();
  }
}

QStringList ListTree(const QString& Folder) {
  QStringList Names;
  QDirIterator It(Folder, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System,
                  QDirIterator::Subdirectories);
  while (It.hasNext())
    Names << It.next();
  Names.sort();
  return Names;
}

QString ReadGzip(const QString& Path) { return RunProgram("gzip", {"-dc", Path}).Output; }

class Install : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    Prefix = new QTemporaryDir;
    // Everyone may enter it, so korvex can run from it as another user.
    chmod(QFile::encodeName(Prefix->path()).constData(), 0755);
    const TRun Installed = RunProgram(CMAKE_COMMAND, {"--install", KORVEX_BUILD_DIR, "--prefix", Prefix->path()});
    InstallOutput = Installed.Output + Installed.Errors;
    InstallStatus = Installed.ExitCode;
  }
  static void TearDownTestSuite() {
    // Read-only folders cannot be emptied otherwise.
    RunProgram("chmod", {"-R", "u+w", Prefix->path()});
    delete Prefix;
  }
  void SetUp() override { ASSERT_EQ(InstallStatus, 0) << InstallOutput.toStdString(); }

  static QString Installed(const QString& Path) { return QDir(Prefix->path()).filePath(Path); }
  static QString RuntimeFolder() { return Installed("lib/korvex"); }

  static inline QTemporaryDir* Prefix = nullptr;
  static inline QString InstallOutput;
  static inline int InstallStatus = -1;
};

TEST_F(Install, TheInstalledTreeStandsWithoutTheBuildTree) {
  const QString Build = QDir(KORVEX_BUILD_DIR).canonicalPath();
  for (const char* Program : {"korvex", "korvex-server"}) {
    const QFileInfo Link(Installed(QStringLiteral("bin/") + Program));
    EXPECT_TRUE(Link.isSymLink()) << Program;
    EXPECT_EQ(Link.canonicalFilePath(), QFileInfo(QDir(RuntimeFolder()).filePath(Program)).canonicalFilePath());
  }
  // Every link reaches the system, and no text file names the build tree.
  for (const QString& Path : ListTree(Prefix->path())) {
    const QFileInfo Entry(Path);
    if (Entry.isSymLink()) {
      EXPECT_TRUE(Entry.exists()) << "dangling: " << Path.toStdString();
      EXPECT_FALSE(Entry.canonicalFilePath().startsWith(Build)) << Path.toStdString();
    } else if (Entry.isFile() && Entry.size() < 64 * 1024 && !Path.endsWith(".gz")) {
      QFile File(Path);
      ASSERT_TRUE(File.open(QIODevice::ReadOnly));
      EXPECT_FALSE(File.readAll().contains(Build.toUtf8())) << Path.toStdString();
    }
  }
  EXPECT_TRUE(QFileInfo::exists(QDir(RuntimeFolder()).filePath("tessdata/eng.traineddata")));
  EXPECT_TRUE(QFileInfo::exists(QDir(RuntimeFolder()).filePath("Tesseract/libtesseract.so.5")));

  EXPECT_EQ(RunProgram(Installed("bin/korvex"), {"--version"}).Output.toStdString(), "Korvex 0.1");
  const TRun ServerHelp = RunProgram(Installed("bin/korvex-server"), {"--help"});
  EXPECT_EQ(ServerHelp.ExitCode, 0);
  EXPECT_TRUE(ServerHelp.Output.startsWith("Usage: korvex-server")) << ServerHelp.Output.toStdString();

  for (const char* Program : {"korvex", "korvex-server"}) {
    const QString Page = ReadGzip(Installed(QStringLiteral("share/man/man1/%1.1.gz").arg(Program)));
    EXPECT_TRUE(Page.contains(QStringLiteral(".TH ") + QString::fromLatin1(Program).toUpper())) << Program;
    EXPECT_FALSE(Page.contains(Build)) << Program;
  }
  EXPECT_FALSE(QIcon(Installed("share/icons/hicolor/scalable/apps/korvex.svg")).pixmap(48).isNull())
      << "the SVG icon does not load (libqt6svg6 missing?)";
}

TEST_F(Install, TheLauncherAndTheServiceNameTheInstalledPrograms) {
  const QString Launcher = Installed("share/applications/korvex.desktop");
  const TRun Validate = RunProgram("desktop-file-validate", {Launcher});
  EXPECT_EQ(Validate.ExitCode, 0) << Validate.Output.toStdString() << Validate.Errors.toStdString();
  EXPECT_TRUE(Validate.Output.isEmpty()) << Validate.Output.toStdString(); // not even a hint

  QFile Desktop(Launcher);
  ASSERT_TRUE(Desktop.open(QIODevice::ReadOnly));
  const QString Text = QString::fromUtf8(Desktop.readAll());
  const QString Korvex = Installed("bin/korvex");
  EXPECT_TRUE(Text.contains("\nExec=" + Korvex + "\n"));
  EXPECT_TRUE(Text.contains("\nStartupWMClass=Korvex\n"));
  EXPECT_TRUE(Text.contains("\nIcon=korvex\n"));
  for (const char* Name : {"select-translate", "translate", "full-screen", "auto-translate", "mouse-translate"}) {
    EXPECT_TRUE(Text.contains(QStringLiteral("[Desktop Action %1]").arg(Name))) << Name;
    EXPECT_TRUE(Text.contains(QStringLiteral("\nExec=%1 --command %2\n").arg(Korvex, Name))) << Name;
  }

  QFile Service(Installed("lib/systemd/user/korvex-server.service"));
  ASSERT_TRUE(Service.open(QIODevice::ReadOnly));
  const QString Unit = QString::fromUtf8(Service.readAll());
  EXPECT_TRUE(Unit.contains("\nExecStart=" + Installed("bin/korvex-server") + "\n")) << Unit.toStdString();
  EXPECT_TRUE(Unit.contains("\nWantedBy=default.target"));
}

TEST_F(Install, EachCopyNamesTheSettingsFileItUses) {
  QTemporaryDir Scratch;
  chmod(QFile::encodeName(Scratch.path()).constData(), 0755);
  // A portable copy of the installed folder: no mark, readable by everyone.
  const QString Portable = QDir(Scratch.path()).filePath("portable");
  ASSERT_EQ(RunProgram("cp", {"-a", RuntimeFolder(), Portable}).ExitCode, 0);
  ASSERT_TRUE(QFile::remove(QDir(Portable).filePath("per-user-settings")));

  struct TCase {
    const char* What;
    QString Program;
    QString XdgConfigHome; // "-": unset
    QString Expected;
    bool ReadOnly = false;
  };
  const QString Home = QDir(Scratch.path()).filePath("home");
  const std::vector<TCase> Cases = {
      {"the build's runtime folder", QDir(KORVEX_RUNTIME_DIR).filePath("korvex"), "/x/config",
       QDir(KORVEX_RUNTIME_DIR).filePath("Config.ini")},
      {"installed, through bin/", Installed("bin/korvex"), "/x/config", "/x/config/korvex/Config.ini"},
      {"installed, no XDG_CONFIG_HOME", Installed("bin/korvex"), "-", Home + "/.config/korvex/Config.ini"},
      {"installed, relative XDG_CONFIG_HOME", Installed("bin/korvex"), "relative", Home + "/.config/korvex/Config.ini"},
      {"a writable portable copy", QDir(Portable).filePath("korvex"), "/x/config", Portable + "/Config.ini"},
      {"a read-only portable copy", QDir(Portable).filePath("korvex"), "/x/config", "/x/config/korvex/Config.ini",
       true},
  };
  for (const TCase& Case : Cases) {
    QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
    Env.insert("HOME", Home);
    if (Case.XdgConfigHome == "-")
      Env.remove("XDG_CONFIG_HOME");
    else
      Env.insert("XDG_CONFIG_HOME", Case.XdgConfigHome);
    QStringList Command = QStringList{Case.Program, "--config-path"};
    if (Case.ReadOnly) {
      ASSERT_EQ(chmod(QFile::encodeName(Portable).constData(), 0555), 0);
      Command = Unprivileged(Case.Program, {"--config-path"});
    }
    const TRun Answer = RunProgram(Command.first(), Command.mid(1), Env);
    chmod(QFile::encodeName(Portable).constData(), 0755); // so the folder can be removed
    EXPECT_EQ(Answer.ExitCode, 0) << Case.What << ": " << Answer.Errors.toStdString();
    EXPECT_EQ(Answer.Output.toStdString(), Case.Expected.toStdString()) << Case.What;
  }
  // --help says the same.
  EXPECT_TRUE(RunProgram(Installed("bin/korvex"), {"--help"}).Output.contains("This copy uses "));
}

// The installed korvex on a desktop with a window manager and a tray, from
// a runtime folder it cannot write: it keeps its settings in the user's
// folder, which it creates, and leaves the installed tree as it was.
TEST_F(Install, InstalledKorvexKeepsItsSettingsInTheUsersFolder) {
  QProcess WindowManager, TrayHost;
  WindowManager.start("openbox", {"--sm-disable"});
  ASSERT_TRUE(WindowManager.waitForStarted(5000)) << "openbox is missing (scripts/setup installs it)";
  ASSERT_TRUE(QTest::qWaitFor([] { return RunProgram("wmctrl", {"-m"}).ExitCode == 0; }, 20000));
  TrayHost.start("trayer", {"--edge", "bottom", "--align", "right", "--SetDockType", "false"});
  ASSERT_TRUE(TrayHost.waitForStarted(5000)) << "trayer is missing (scripts/setup installs it)";
  ASSERT_TRUE(QTest::qWaitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 20000));

  QTemporaryDir User;
  chmod(QFile::encodeName(User.path()).constData(), 0755);
  const QDir UserDir(User.path());
  for (const char* Folder : {"home", "run"}) {
    ASSERT_TRUE(UserDir.mkdir(Folder));
    HandOver(UserDir.filePath(Folder));
  }
  chmod(QFile::encodeName(UserDir.filePath("run")).constData(), 0700);
  const QString ConfigHome = UserDir.filePath("home/config"); // not there yet

  ASSERT_EQ(RunProgram("chmod", {"-R", "a-w", RuntimeFolder()}).ExitCode, 0);
  const QStringList Before = ListTree(Prefix->path());

  QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
  Env.insert("HOME", UserDir.filePath("home"));
  Env.insert("XDG_CONFIG_HOME", ConfigHome);
  Env.insert("XDG_RUNTIME_DIR", UserDir.filePath("run"));
  QProcess Korvex;
  Korvex.setProcessEnvironment(Env);
  const QStringList Command = Unprivileged(Installed("bin/korvex"), {});
  Korvex.start(Command.first(), Command.mid(1));
  ASSERT_TRUE(Korvex.waitForStarted(5000));

  // The main window, of the class the launcher names (WM_CLASS korvex.Korvex).
  QString Window;
  const bool Shown = QTest::qWaitFor(
      [&] {
        for (const QString& Line : RunProgram("wmctrl", {"-lx"}).Output.split('\n'))
          if (Line.contains(" korvex.Korvex ") && Line.endsWith("Korvex v0.1"))
            Window = Line.section(' ', 0, 0);
        return !Window.isEmpty();
      },
      30000);
  ASSERT_TRUE(Shown) << RunProgram("wmctrl", {"-lx"}).Output.toStdString()
                     << Korvex.readAllStandardError().toStdString();
  // Its icon, drawn from the SVG.
  EXPECT_TRUE(RunProgram("xprop", {"-id", Window, "_NET_WM_ICON"}).Output.contains("Icon (")) << "no window icon";

  // Its tray icon: a window named "Korvex" of its class, inside the tray.
  const QRegularExpression TrayIconWindow(QStringLiteral(R"("Korvex": \("korvex" "Korvex"\))"));
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        return RunProgram("xwininfo", {"-root", "-tree"}).Output.contains(TrayIconWindow);
      },
      20000))
      << "no tray icon";

  // Closing the main window ends Korvex, tray icon or not.
  ASSERT_EQ(RunProgram("wmctrl", {"-i", "-c", Window}).ExitCode, 0);
  const bool Ended = QTest::qWaitFor([&] { return Korvex.state() == QProcess::NotRunning; }, 30000);
  if (!Ended) {
    Korvex.kill();
    Korvex.waitForFinished(5000);
  }
  EXPECT_TRUE(Ended) << "korvex still runs after its window was closed";
  EXPECT_EQ(Korvex.exitCode(), 0) << Korvex.readAllStandardError().toStdString();

  const QString Settings = ConfigHome + "/korvex/Config.ini";
  QFile Stored(Settings);
  ASSERT_TRUE(Stored.open(QIODevice::ReadOnly)) << Settings.toStdString();
  EXPECT_TRUE(Stored.readAll().contains("[General]"));
  EXPECT_EQ(QFileInfo(ConfigHome + "/korvex").permissions() & (QFile::ReadGroup | QFile::ReadOther), 0);
  EXPECT_EQ(ListTree(Prefix->path()).join('\n').toStdString(), Before.join('\n').toStdString());

  RunProgram("chmod", {"-R", "u+w", RuntimeFolder()});
  TrayHost.terminate();
  WindowManager.terminate();
  TrayHost.waitForFinished(5000);
  WindowManager.waitForFinished(5000);
}

} // namespace
