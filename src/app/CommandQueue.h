#pragma once

#include <QObject>
#include <QString>

#include <deque>
#include <functional>
#include <memory>
#include <utility>

// Runs the main window's commands one at a time, whoever starts them
// (remote commands, hotkeys, buttons). A command runs until it calls the
// Done it was given, which may be long after it returned: a selection waits
// for the user, a translation for its job. A command that arrives meanwhile,
// or before the window is ready, waits and runs once, after it; it is
// neither dropped nor run inside the running one. A command that is already
// waiting is not queued a second time, so a hotkey pressed again and again
// during a slow translation runs it once more, not once per press.
//
// Nothing a command throws leaves the queue: it ends the command, and its
// message goes to the error handler (OnError), the program's error box.
class TCommandQueue : public QObject {
  Q_OBJECT

public:
  // Ends the command it was given to; calls after the first do nothing.
  using TDone = std::function<void()>;
  using TCommand = std::function<void(TDone Done)>;

  explicit TCommandQueue(QObject* Parent = nullptr) : QObject(Parent) {}

  // Runs Command now when nothing runs and the queue is ready; otherwise
  // keeps it for later. Name tells commands apart.
  void Run(const QString& Name, TCommand Command);
  // A command that has ended when it returns.
  void RunNow(const QString& Name, std::function<void()> Command);
  // Commands wait while the queue is not ready; they start once it is.
  void SetReady(bool Ready);
  // Forgets the waiting commands, for a window that will not run them.
  void Clear() { FPending.clear(); }
  // Forgets the waiting commands called Name.
  void Forget(const QString& Name);

  bool IsRunning() const { return FRunning; }
  bool HasPending() const { return !FPending.empty(); }
  // The name of the command running now; empty when none runs.
  const QString& Running() const { return FRunningName; }

  // Where the message of a command that threw goes.
  std::function<void(const QString& Message)> OnError;

signals:
  // A command was kept to wait for the one running; the running one may
  // want to end early (a selection waiting for the user, say).
  void CommandWaiting();

private:
  void RunNext();
  void ScheduleNext();
  void Finished(const std::shared_ptr<bool>& Ended);

  bool FRunning = false;
  bool FReady = true;
  bool FScheduled = false;
  QString FRunningName;
  std::deque<std::pair<QString, TCommand>> FPending;
};
