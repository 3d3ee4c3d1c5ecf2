#pragma once

// The build's korvex-server as a process of its own on a free loopback port,
// for tests that need the real program.

#include <QDir>
#include <QProcess>
#include <QTcpSocket>
#include <QTest>

class TServerProcess {
public:
  // The server takes a free port itself and names it on its error output, so
  // no other program can take the port between choosing and binding it.
  explicit TServerProcess(QStringList Arguments = {}) {
    Arguments << QStringLiteral("--listen") << QStringLiteral("127.0.0.1:0");
    Process.start(QDir(KORVEX_RUNTIME_DIR).filePath(QStringLiteral("korvex-server")), Arguments);
  }
  ~TServerProcess() { Stop(); }

  // True once the server takes connections.
  bool WaitUntilListening(int TimeoutMs = 10000) {
    if (!Process.waitForStarted(5000))
      return false;
    const QByteArray Marker = "listening on 127.0.0.1:";
    const bool Named = QTest::qWaitFor(
        [&] {
          FErrors += Process.readAllStandardError();
          const qsizetype At = FErrors.indexOf(Marker);
          const qsizetype End = At < 0 ? -1 : FErrors.indexOf('\n', At);
          if (End < 0)
            return false;
          FPort = quint16(FErrors.mid(At + Marker.size(), End - At - Marker.size()).toUInt());
          return true;
        },
        TimeoutMs);
    if (!Named || FPort == 0)
      return false;
    QTcpSocket Socket;
    Socket.connectToHost(QHostAddress::LocalHost, FPort);
    return Socket.waitForConnected(TimeoutMs);
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
  // What the server wrote to its error output so far.
  QString Errors() {
    FErrors += Process.readAllStandardError();
    return QString::fromLocal8Bit(FErrors);
  }

  QProcess Process;

private:
  quint16 FPort = 0;
  QByteArray FErrors;
};
