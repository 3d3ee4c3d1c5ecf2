#include "app/RemoteCommands.h"

#include <QDir>
#include <QLocalSocket>
#include <QPointer>
#include <QRegularExpression>
#include <QTimer>

#include <unistd.h>

namespace {

constexpr int ConnectTimeoutMs = 2000;
constexpr int AnswerTimeoutMs = 5000;
constexpr qint64 MaxLine = 256;

} // namespace

TRemoteCommands::TRemoteCommands(QObject* Parent) : QObject(Parent) {
  FServer.setSocketOptions(QLocalServer::UserAccessOption);
  connect(&FServer, &QLocalServer::newConnection, this, &TRemoteCommands::OnNewConnection);
}

QString TRemoteCommands::ServerName() {
  const QString Display = qEnvironmentVariable("DISPLAY");
  if (Display.isEmpty())
    return {};
  QString Safe = Display;
  Safe.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]")), QStringLiteral("_"));
  const QString RuntimeDir = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (!RuntimeDir.isEmpty() && QDir(RuntimeDir).exists())
    return QDir(RuntimeDir).filePath(QStringLiteral("korvex-%1.socket").arg(Safe));
  return QStringLiteral("korvex-%1-%2").arg(getuid()).arg(Safe);
}

void TRemoteCommands::AddCommand(const QString& Name, std::function<void()> Handler) {
  FCommands[Name] = std::move(Handler);
}

bool TRemoteCommands::Listen(QString* Error) {
  const QString Name = ServerName();
  if (Name.isEmpty()) {
    if (Error)
      *Error = QStringLiteral("DISPLAY is not set");
    return false;
  }
  // Listening replaces a socket file already there (Qt moves the new one
  // into place), so first make sure no Korvex answers on it; a file left by
  // a crashed one may be replaced.
  QLocalSocket Probe;
  Probe.connectToServer(Name);
  if (Probe.waitForConnected(ConnectTimeoutMs)) {
    if (Error)
      *Error = QStringLiteral("another Korvex already takes commands for this display");
    return false;
  }
  if (FServer.listen(Name))
    return true;
  if (FServer.serverError() == QAbstractSocket::AddressInUseError) {
    QLocalServer::removeServer(Name);
    if (FServer.listen(Name))
      return true;
  }
  if (Error)
    *Error = FServer.errorString();
  return false;
}

void TRemoteCommands::OnNewConnection() {
  while (QLocalSocket* Socket = FServer.nextPendingConnection()) {
    connect(Socket, &QLocalSocket::disconnected, Socket, &QObject::deleteLater);
    connect(Socket, &QLocalSocket::readyRead, this, [this, Socket] {
      if (!Socket->canReadLine()) {
        if (Socket->bytesAvailable() > MaxLine)
          Socket->disconnectFromServer(); // not a client of ours
        return;
      }
      const QString Line = QString::fromUtf8(Socket->readLine(MaxLine)).trimmed();
      const QString Prefix = QStringLiteral("COMMAND ");
      const QString Name = Line.startsWith(Prefix) ? Line.mid(Prefix.size()).trimmed() : QString();
      const auto Command = FCommands.find(Name);
      if (Command == FCommands.end()) {
        Socket->write(QStringLiteral("ERROR unknown command \"%1\"\n").arg(Name).toUtf8());
        Socket->disconnectFromServer();
        return;
      }
      Socket->write("OK\n");
      Socket->flush();
      Socket->disconnectFromServer();
      // Run from the event loop, not inside this socket's signal: a
      // selection pumps events for as long as the user takes.
      QTimer::singleShot(0, this, [Handler = Command->second] { Handler(); });
    });
  }
}

int TRemoteCommands::Send(const QString& Name, QString* Message) {
  const QString Server = ServerName();
  if (Server.isEmpty()) {
    *Message = QStringLiteral("DISPLAY is not set, so there is no Korvex to send \"%1\" to.").arg(Name);
    return 1;
  }
  QLocalSocket Socket;
  Socket.connectToServer(Server);
  if (!Socket.waitForConnected(ConnectTimeoutMs)) {
    const bool NobodyThere =
        Socket.error() == QLocalSocket::ServerNotFoundError || Socket.error() == QLocalSocket::ConnectionRefusedError;
    *Message = QStringLiteral("No running Korvex for display %1%2. Start Korvex first.")
                   .arg(qEnvironmentVariable("DISPLAY"),
                        NobodyThere ? QString() : QStringLiteral(" (%1)").arg(Socket.errorString()));
    return 1;
  }
  Socket.write(QStringLiteral("COMMAND %1\n").arg(Name).toUtf8());
  Socket.flush();
  QByteArray Answer;
  while (!Answer.contains('\n') && Answer.size() < MaxLine) {
    if (Socket.bytesAvailable() == 0 && !Socket.waitForReadyRead(AnswerTimeoutMs))
      break;
    Answer += Socket.readAll();
  }
  const QString Reply = QString::fromUtf8(Answer).trimmed();
  if (Reply == QLatin1String("OK")) {
    Message->clear();
    return 0;
  }
  if (Reply.startsWith(QLatin1String("ERROR "))) {
    *Message = QStringLiteral("Korvex refused the command: %1").arg(Reply.mid(6));
    return 2;
  }
  *Message = QStringLiteral("Korvex did not answer the command \"%1\".").arg(Name);
  return 1;
}
