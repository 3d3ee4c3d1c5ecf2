#include "app/RemoteCommands.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QPointer>
#include <QRegularExpression>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <optional>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int ConnectTimeoutMs = 2000;
constexpr int AnswerTimeoutMs = 5000;
constexpr int RetryMs = 2000;
constexpr qint64 MaxLine = 256;

// Whether Path is a real folder (not a symbolic link) of this user that no
// one else may enter; Why says what is wrong with it otherwise.
bool IsPrivateFolder(const QString& Path, QString* Why) {
  struct stat Info {};
  if (lstat(QFile::encodeName(Path).constData(), &Info) != 0)
    *Why = QStringLiteral("cannot be examined (%1)").arg(QString::fromLocal8Bit(std::strerror(errno)));
  else if (S_ISLNK(Info.st_mode))
    *Why = QStringLiteral("is a symbolic link");
  else if (!S_ISDIR(Info.st_mode))
    *Why = QStringLiteral("is not a folder");
  else if (Info.st_uid != getuid())
    *Why = QStringLiteral("belongs to user id %1").arg(Info.st_uid);
  else if ((Info.st_mode & 077) != 0)
    *Why = QStringLiteral("is open to other users (mode %1)").arg(Info.st_mode & 07777, 4, 8, QLatin1Char('0'));
  else
    return true;
  return false;
}

// The folder the socket lives in, or empty with Error set when the only
// candidate could be reached or replaced by another user.
QString SocketFolder(QString* Error) {
  QString Why;
  const QString Runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (!Runtime.isEmpty() && IsPrivateFolder(Runtime, &Why))
    return Runtime;
  const QString Own = QDir(QDir::tempPath()).filePath(QStringLiteral("korvex-%1").arg(getuid()));
  if (mkdir(QFile::encodeName(Own).constData(), 0700) != 0 && errno != EEXIST) {
    *Error = QStringLiteral("cannot create the folder %1 (%2)").arg(Own, QString::fromLocal8Bit(std::strerror(errno)));
    return {};
  }
  if (!IsPrivateFolder(Own, &Why)) {
    *Error = QStringLiteral("the folder %1 for the command socket %2, so another user could take the "
                            "commands; refusing to use it (remove it to let Korvex create it afresh)")
                 .arg(Own, Why);
    return {};
  }
  return Own;
}

// The user id of the process at the other end of Socket, from the kernel.
std::optional<uid_t> PeerUid(const QLocalSocket& Socket) {
  ucred Credentials{};
  socklen_t Size = sizeof Credentials;
  if (getsockopt(static_cast<int>(Socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &Credentials, &Size) != 0)
    return std::nullopt;
  return Credentials.uid;
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
  QString Ignored;
  QString& Why = Error ? *Error : Ignored;
  const QString Display = qEnvironmentVariable("DISPLAY");
  if (Display.isEmpty()) {
    Why = QStringLiteral("DISPLAY is not set");
    return {};
  }
  QString Safe = Display;
  Safe.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]")), QStringLiteral("_"));
  const QString Folder = SocketFolder(&Why);
  if (Folder.isEmpty())
    return {};
  return QDir(Folder).filePath(QStringLiteral("korvex-%1.socket").arg(Safe));
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
  if (qEnvironmentVariableIsEmpty("DISPLAY")) {
    *Message = QStringLiteral("DISPLAY is not set, so there is no Korvex to send \"%1\" to.").arg(Name);
    return 1;
  }
  QString Error;
  const QString Server = ServerName(&Error);
  if (Server.isEmpty()) {
    *Message = QStringLiteral("Cannot send \"%1\": %2.").arg(Name, Error);
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
  // Whoever listens there must be this user's own Korvex; a listener of
  // anyone else would be handed the user's commands and could fake answers.
  const std::optional<uid_t> Peer = PeerUid(Socket);
  if (Peer != getuid()) {
    Socket.abort();
    *Message =
        QStringLiteral("The command socket %1 is held by %2, not by you; \"%3\" was not sent.")
            .arg(Server, Peer ? QStringLiteral("user id %1").arg(*Peer) : QStringLiteral("an unknown user"), Name);
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
