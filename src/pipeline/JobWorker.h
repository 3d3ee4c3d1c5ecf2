#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// One thread that runs posted work in order, one piece at a time. The
// recognisers are not made to be used from two threads at once; keeping
// every recognition and translation on this one thread means no engine ever
// is, even while a cancelled job still finishes its step.
class TJobWorker {
public:
  TJobWorker();
  // Waits for the piece running now; pieces not started yet are dropped.
  ~TJobWorker();
  TJobWorker(const TJobWorker&) = delete;
  TJobWorker& operator=(const TJobWorker&) = delete;

  void Post(std::function<void()> Work);

private:
  void Run();

  std::mutex FLock;
  std::condition_variable FWake;
  std::deque<std::function<void()>> FQueue;
  bool FStopping = false;
  std::thread FThread;
};
