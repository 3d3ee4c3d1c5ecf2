#include "core/LongWait.h"

#include <atomic>

namespace {
std::atomic<TLongWaitHook> Hook{nullptr};
} // namespace

void SetLongWaitHook(TLongWaitHook NewHook) { Hook.store(NewHook); }

bool KeepWaiting() {
  const TLongWaitHook Current = Hook.load();
  return Current ? Current() : true;
}
