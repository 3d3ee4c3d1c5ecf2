#pragma once

#include "platform/OcrService.h"

#include <atomic>
#include <mutex>

// The state of one recognition as every service keeps it: the handler, the
// status it ended with, its result, and the requests to cancel and close.
// Safe to use from any thread; a service's worker polls CancelRequested()
// while it recognises and calls End() once. Header only, like the interface.
class TOcrOperationState : public TOcrOperation {
public:
  void SetCompleted(TCompletedHandler Handler) override {
    std::unique_lock Lock(FMutex);
    if (FHandler)
      throw EOcrServiceError(OcrServiceCode::IllegalMethodCall,
                             QStringLiteral("The completion handler is set already"));
    FHandler = std::move(Handler);
    if (FStatus == TOcrAsyncStatus::Started)
      return;
    const TOcrAsyncStatus Ended = FStatus;
    TCompletedHandler Call = FHandler;
    Lock.unlock();
    Call(*this, Ended);
  }

  TOcrAsyncStatus Status() const override {
    std::lock_guard Lock(FMutex);
    return FStatus;
  }

  TOcrResult GetResults() override {
    std::lock_guard Lock(FMutex);
    if (FStatus != TOcrAsyncStatus::Completed || FClosed)
      throw EOcrServiceError(OcrServiceCode::IllegalMethodCall, QStringLiteral("The operation has no result to read"));
    return FResult;
  }

  void Cancel() override { FCancelRequested = true; }

  void Close() override {
    std::lock_guard Lock(FMutex);
    FCancelRequested = true;
    FClosed = true;
    FResult = {};
  }

  // Ends the operation and calls its handler, if one is set, on the calling
  // thread. Only the first call counts.
  void End(TOcrAsyncStatus Status, TOcrResult Result) {
    TCompletedHandler Call;
    {
      std::lock_guard Lock(FMutex);
      if (FStatus != TOcrAsyncStatus::Started || Status == TOcrAsyncStatus::Started)
        return;
      FStatus = Status;
      if (!FClosed)
        FResult = std::move(Result);
      Call = FHandler;
    }
    if (Call)
      Call(*this, Status);
  }

  bool CancelRequested() const { return FCancelRequested; }
  // For a recognizer that polls the request without a lock.
  const std::atomic<bool>& CancelFlag() const { return FCancelRequested; }
  bool Closed() const {
    std::lock_guard Lock(FMutex);
    return FClosed;
  }

private:
  mutable std::mutex FMutex;
  TCompletedHandler FHandler;
  TOcrAsyncStatus FStatus = TOcrAsyncStatus::Started;
  TOcrResult FResult;
  bool FClosed = false;
  std::atomic<bool> FCancelRequested{false};
};
