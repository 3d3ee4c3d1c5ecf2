#include "app/RemoteCommands.h"

#include "app/CommandClient.h"

#include <QFile>
#include <QLocalSocket>
#include <QTimer>

#include <optional>
#include <unistd.h>

namespace {

constexpr int ConnectTimeoutMs = 2000;
constexpr int RetryMs = 2000;
constexpr qint64 MaxLine = 256;

std::optional<uid_t> PeerUid(const QLocalSocket& Socket) {
  return SocketPeerUid(static_cast<int>(Socket.socketDescriptor()));
}

} // namespace

TRemoteCommands::TRemoteCommands(QObject* Parent) : QObject(Parent) {
  FServer.setSocketOptions(QLocalServer::UserAccessOption);
  connect(&FServer, &QLocalServer::newConnection, this, &TRemoteCommands::OnNewConnection);
  FRetry.setInterval(RetryMs);
  connect(&FRetry, &QTimer::timeout, this, [this] {
    QString Ignored;
    if (TryListen(&Ignored))
      FRetry.stop();
  });
}

QString TRemoteCommands::ServerName(QString* Error) {
  std::string Why;
  const QString Name = QFile::decodeName(QByteArray::fromStdString(CommandSocketPath(&Why)));
  if (Error && Name.isEmpty())
    *Error = QString::fromStdString(Why);
  return Name;
}

void TRemoteCommands::AddCommand(const QString& Name, std::function<void()> Handler) {
  FCommands[Name] = std::move(Handler);
}

bool TRemoteCommands::Run(const QString& Name) {
  const auto Command = FCommands.find(Name);
  if (Command == FCommands.end())
    return false;
  // From the event loop, not inside the caller's signal (a socket's, a
  // menu's): a selection pumps events for as long as the user takes.
  QTimer::singleShot(0, this, [Handler = Command->second] { Handler(); });
  return true;
}

bool TRemoteCommands::Listen(QString* Error) {
  QString Why;
  if (TryListen(&Why))
    return true;
  if (Error)
    *Error = Why;
  FRetry.start();
  return false;
}

bool TRemoteCommands::TryListen(QString* Error) {
  if (FServer.isListening())
    return true;
  const QString Name = ServerName(Error);
  if (Name.isEmpty())
    return false;
  // Listening replaces a socket file already there (Qt moves the new one
  // into place), so first make sure no Korvex of this user answers on it; a
  // file left by a killed one, or a listener of someone else (only root can
  // place one in this folder), is replaced.
  QLocalSocket Probe;
  Probe.connectToServer(Name);
  if (Probe.waitForConnected(ConnectTimeoutMs)) {
    const bool Ours = PeerUid(Probe) == getuid();
    Probe.abort();
    if (Ours) {
      *Error = QStringLiteral("another Korvex already takes commands for this display");
      return false;
    }
  }
  if (FServer.listen(Name))
    return true;
  if (FServer.serverError() == QAbstractSocket::AddressInUseError) {
    QLocalServer::removeServer(Name);
    if (FServer.listen(Name))
      return true;
  }
  *Error = FServer.errorString();
  return false;
}

void TRemoteCommands::OnNewConnection() {
  while (QLocalSocket* Socket = FServer.nextPendingConnection()) {
    if (PeerUid(*Socket) != getuid()) {
      // Another user's process reached the socket; it never commands ours.
      Socket->abort();
      Socket->deleteLater();
      continue;
    }
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
      if (!HasCommand(Name)) {
        Socket->write(QStringLiteral("ERROR unknown command \"%1\"\n").arg(Name).toUtf8());
        Socket->disconnectFromServer();
        return;
      }
      Socket->write("OK\n");
      Socket->flush();
      Socket->disconnectFromServer();
      Run(Name);
    });
  }
}

int TRemoteCommands::Send(const QString& Name, QString* Message) {
  std::string Said;
  const int ExitCode = SendCommand(Name.toStdString(), &Said);
  *Message = QString::fromStdString(Said);
  return ExitCode;
}
