#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

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
class TRemoteCommands : public QObject {
  Q_OBJECT

public:
  explicit TRemoteCommands(QObject* Parent = nullptr);

  // The socket name for this user and display: inside XDG_RUNTIME_DIR when
  // the session has one, else a name per user id in the temporary folder.
  // Empty when DISPLAY is not set.
  static QString ServerName();

  void AddCommand(const QString& Name, std::function<void()> Handler);
  // Starts listening. False with Error set when another Korvex already
  // serves this display or the socket cannot be created.
  bool Listen(QString* Error);

  // The client side: hands Name to the running Korvex and waits for its
  // answer. Returns the process exit code (0 done, 1 no Korvex running or
  // no answer, 2 refused) and sets Message to what the user should read.
  static int Send(const QString& Name, QString* Message);

private:
  void OnNewConnection();

  QLocalServer FServer;
  std::map<QString, std::function<void()>> FCommands;
};
