#pragma once

#include <QObject>
#include <QString>

#include <deque>
#include <functional>
#include <utility>

// Runs the main window's commands one at a time, whoever starts them
// (remote commands, hotkeys). A command that arrives while another runs, or
// before the window is ready, waits and runs once, after it; it is neither
// dropped nor run inside the running one. A command that is already
// waiting is not queued a second time, so a hotkey pressed again and again
// during a slow translation runs it once more, not once per press.
class TCommandQueue : public QObject {
  Q_OBJECT

public:
  using TCommand = std::function<void()>;

  explicit TCommandQueue(QObject* Parent = nullptr) : QObject(Parent) {}

  // Runs Command now when nothing runs and the queue is ready; otherwise
  // keeps it for later. Name tells commands apart.
  void Run(const QString& Name, TCommand Command);
  // Commands wait while the queue is not ready; they start once it is.
  void SetReady(bool Ready);
  // Forgets the waiting commands, for a window that will not run them.
  void Clear() { FPending.clear(); }

  bool IsRunning() const { return FRunning; }
  bool HasPending() const { return !FPending.empty(); }

signals:
  // A command was kept to wait for the one running; the running one may
  // want to end early (a selection waiting for the user, say).
  void CommandWaiting();

private:
  void RunNext();
  void ScheduleNext();

  bool FRunning = false;
  bool FReady = true;
  bool FScheduled = false;
  std::deque<std::pair<QString, TCommand>> FPending;
};
