#include "app/CommandQueue.h"

#include "core/ScopeExit.h"

#include <QTimer>

#include <algorithm>

void TCommandQueue::Run(const QString& Name, TCommand Command) {
  if (FReady && !FRunning && FPending.empty()) {
    FPending.emplace_back(Name, std::move(Command));
    RunNext();
    return;
  }
  const bool Waiting =
      std::any_of(FPending.begin(), FPending.end(), [&Name](const auto& Pending) { return Pending.first == Name; });
  if (!Waiting)
    FPending.emplace_back(Name, std::move(Command));
  if (FRunning)
    emit CommandWaiting();
}

void TCommandQueue::SetReady(bool Ready) {
  FReady = Ready;
  if (FReady)
    ScheduleNext();
}

void TCommandQueue::ScheduleNext() {
  if (FScheduled || FRunning || !FReady || FPending.empty())
    return;
  // From the event loop, so that what the last command showed is painted
  // before the next one starts.
  FScheduled = true;
  QTimer::singleShot(0, this, [this] {
    FScheduled = false;
    RunNext();
  });
}

void TCommandQueue::RunNext() {
  if (FRunning || !FReady || FPending.empty())
    return;
  TCommand Command = std::move(FPending.front().second);
  FPending.pop_front();
  FRunning = true;
  // A command that fails with an exception still lets the next one run.
  TScopeExit Done([this] {
    FRunning = false;
    ScheduleNext();
  });
  Command();
}
