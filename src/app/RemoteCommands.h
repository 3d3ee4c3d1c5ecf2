#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <map>

// Commands handed to the running Korvex from outside the process:
// `korvex --command NAME` connects to a local socket of the Korvex of this
// user and display and names a command, which then runs exactly as its
// hotkey runs it. Desktops that refuse global key grabs (Wayland) bind
// their own shortcuts to it, and scripts drive Korvex with it.
//
// The exchange is one line each way: "COMMAND name\n", answered by "OK\n" or
// "ERROR message\n". The command runs after the answer has gone out, so the
// sender never waits for a selection to end.
//
// Both ends check the user id of the other end (SO_PEERCRED): the server
// drops connections of other users, and the client never hands a command to
// a listener of another user. The socket lives in XDG_RUNTIME_DIR, or in a
// folder of the user's own in the temporary folder, so nobody else can take
// its name first.
class TRemoteCommands : public QObject {
  Q_OBJECT

public:
  explicit TRemoteCommands(QObject* Parent = nullptr);

  // The socket path for this user and display (CommandSocketPath, shared
  // with the client in the launcher); empty, with Error set, when there is
  // no safe place for it.
  static QString ServerName(QString* Error = nullptr);

  void AddCommand(const QString& Name, std::function<void()> Handler);
  bool HasCommand(const QString& Name) const { return FCommands.count(Name) != 0; }
  // Runs the command of that name from the event loop, as a command from
  // outside runs; false, with nothing run, for a name no handler serves.
  // The tray menu drives Korvex through this same table.
  bool Run(const QString& Name);
  // Starts listening. False with Error set when another Korvex already
  // serves this display or the socket cannot be created; it then keeps
  // trying every few seconds, so it takes the commands over once the other
  // Korvex has ended or been killed.
  bool Listen(QString* Error);

  // The client side, SendCommand (CommandClient.h) with Qt strings: hands
  // Name to the running Korvex and waits for its answer. Returns the process
  // exit code (0 done, 1 no Korvex of this user running or no answer, 2
  // refused) and sets Message to what the user should read.
  static int Send(const QString& Name, QString* Message);

private:
  bool TryListen(QString* Error);
  void OnNewConnection();

  QLocalServer FServer;
  QTimer FRetry;
  std::map<QString, std::function<void()>> FCommands;
};
