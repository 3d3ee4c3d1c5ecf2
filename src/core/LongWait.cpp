#include "core/LongWait.h"

namespace {
std::atomic<TLongWaitHook> Hook{nullptr};
thread_local const std::atomic<bool>* CancelFlag = nullptr;
} // namespace

void SetLongWaitHook(TLongWaitHook NewHook) { Hook.store(NewHook); }

bool KeepWaiting() {
  if (TWaitCancellation::Requested())
    return false;
  const TLongWaitHook Current = Hook.load();
  return Current ? Current() : true;
}

TWaitCancellation::TWaitCancellation(const std::atomic<bool>& Cancelled) : FOuter(CancelFlag) {
  CancelFlag = &Cancelled;
}

TWaitCancellation::~TWaitCancellation() { CancelFlag = FOuter; }

bool TWaitCancellation::Requested() { return CancelFlag && CancelFlag->load(); }
