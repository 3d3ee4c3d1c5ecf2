#include "app/CommandQueue.h"

#include <QPointer>
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

void TCommandQueue::RunNow(const QString& Name, std::function<void()> Command) {
  Run(Name, [Command = std::move(Command)](const TDone& Done) {
    // Ended also when it throws; the queue reports the message.
    struct TEnd {
      const TDone& Done;
      ~TEnd() { Done(); }
    } End{Done};
    Command();
  });
}

void TCommandQueue::Forget(const QString& Name) {
  std::erase_if(FPending, [&Name](const auto& Pending) { return Pending.first == Name; });
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

void TCommandQueue::Finished(const std::shared_ptr<bool>& Ended) {
  if (*Ended)
    return;
  *Ended = true;
  FRunning = false;
  FRunningName.clear();
  ScheduleNext();
}

void TCommandQueue::RunNext() {
  if (FRunning || !FReady || FPending.empty())
    return;
  auto [Name, Command] = std::move(FPending.front());
  FPending.pop_front();
  FRunning = true;
  FRunningName = Name;
  auto Ended = std::make_shared<bool>(false);
  // A Done kept by work that outlives the queue does nothing.
  TDone Done = [Queue = QPointer<TCommandQueue>(this), Ended] {
    if (Queue)
      Queue->Finished(Ended);
  };
  try {
    Command(Done);
  } catch (const std::exception& Error) {
    Done();
    if (OnError)
      OnError(QString::fromUtf8(Error.what()));
  } catch (...) {
    Done();
    if (OnError)
      OnError(QStringLiteral("Unknown error"));
  }
}
