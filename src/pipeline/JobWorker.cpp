#include "pipeline/JobWorker.h"

TJobWorker::TJobWorker() : FThread([this] { Run(); }) {}

TJobWorker::~TJobWorker() {
  {
    std::lock_guard Guard(FLock);
    FStopping = true;
    FQueue.clear();
  }
  FWake.notify_all();
  FThread.join();
}

void TJobWorker::Post(std::function<void()> Work) {
  {
    std::lock_guard Guard(FLock);
    FQueue.push_back(std::move(Work));
  }
  FWake.notify_one();
}

void TJobWorker::Run() {
  for (;;) {
    std::function<void()> Work;
    {
      std::unique_lock Guard(FLock);
      FWake.wait(Guard, [this] { return FStopping || !FQueue.empty(); });
      if (FStopping)
        return;
      Work = std::move(FQueue.front());
      FQueue.pop_front();
    }
    Work();
  }
}
