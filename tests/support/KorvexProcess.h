#pragma once

// The build's korvex, started from a runtime folder of the test's own (its
// Config.ini beside a copy of the executable), for tests of the program as
// the user runs it.

#include "app/RemoteCommands.h"
#include "support/RuntimeFolder.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TKorvexProcess {
public:
  TKorvexProcess() {
    MakeRuntimeFolder(Dir.path());
    Process.setProcessChannelMode(QProcess::SeparateChannels);
  }
  ~TKorvexProcess() { Stop(); }

  QString Program() const { return Dir.filePath("korvex"); }
  QString IniPath() const { return Dir.filePath("Config.ini"); }

  void WriteConfig(const QByteArray& Text) const {
    QFile Ini(IniPath());
    if (Ini.open(QIODevice::WriteOnly))
      Ini.write(Text);
  }
  QByteArray ReadConfig() const {
    QFile Ini(IniPath());
    return Ini.open(QIODevice::ReadOnly) ? Ini.readAll() : QByteArray();
  }

  // Starts korvex with Environment added to the test's own; true once it
  // takes commands.
  bool Start(const QProcessEnvironment& Environment = {}) {
    QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
    for (const QString& Name : Environment.keys())
      Env.insert(Name, Environment.value(Name));
    Process.setProcessEnvironment(Env);
    Process.start(Program(), {});
    if (!Process.waitForStarted(5000))
      return false;
    return QTest::qWaitFor([this] { return Process.state() != QProcess::Running || TakesCommands(); }, 20000) &&
           Process.state() == QProcess::Running;
  }

  // Whether a korvex of this display answers on the command socket.
  static bool TakesCommands() {
    QLocalSocket Probe;
    Probe.connectToServer(TRemoteCommands::ServerName());
    return Probe.waitForConnected(100);
  }

  // `korvex --command Name`; its exit code.
  int Command(const QString& Name) const {
    QProcess Tool;
    Tool.start(Program(), {"--command", Name});
    if (!Tool.waitForStarted(5000))
      return -1;
    if (!QTest::qWaitFor([&] { return Tool.state() == QProcess::NotRunning; }, 20000))
      return -2;
    return Tool.exitCode();
  }

  // True when korvex ends within TimeoutMs, this process serving its own
  // windows meanwhile.
  bool WaitForEnd(int TimeoutMs) {
    return QTest::qWaitFor([this] { return Process.state() == QProcess::NotRunning; }, TimeoutMs);
  }

  void Stop() {
    if (Process.state() == QProcess::NotRunning)
      return;
    Process.terminate();
    if (!Process.waitForFinished(5000))
      Process.kill();
    Process.waitForFinished(5000);
  }

  QTemporaryDir Dir;
  QProcess Process;
};
