#pragma once

// The build's korvex-server as a process of its own on a free loopback port,
// for tests that need the real program.

#include <QDir>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

class TServerProcess {
public:
  explicit TServerProcess(QStringList Arguments = {}) {
    QTcpServer Probe;
    if (Probe.listen(QHostAddress::LocalHost))
      FPort = Probe.serverPort();
    Probe.close();
    Arguments << QStringLiteral("--listen") << QStringLiteral("127.0.0.1:%1").arg(FPort);
    Process.start(QDir(KORVEX_RUNTIME_DIR).filePath(QStringLiteral("korvex-server")), Arguments);
  }
  ~TServerProcess() { Stop(); }

  // True once the server takes connections.
  bool WaitUntilListening(int TimeoutMs = 10000) {
    return FPort != 0 && Process.waitForStarted(5000) &&
           QTest::qWaitFor(
               [this] {
                 QTcpSocket Socket;
                 Socket.connectToHost(QHostAddress::LocalHost, FPort);
                 return Socket.waitForConnected(100);
               },
               TimeoutMs);
  }
  // Asks the server to end; its exit code, or -1 when it had to be killed.
  int Stop() {
    if (Process.state() == QProcess::NotRunning)
      return Process.exitCode();
    Process.terminate();
    if (Process.waitForFinished(5000))
      return Process.exitStatus() == QProcess::NormalExit ? Process.exitCode() : -1;
    Process.kill();
    Process.waitForFinished(5000);
    return -1;
  }

  quint16 Port() const { return FPort; }
  QString Url() const { return QStringLiteral("http://127.0.0.1:%1").arg(FPort); }

  QProcess Process;

private:
  quint16 FPort = 0;
};
