#pragma once

#include <atomic>

// Work that keeps a thread waiting for long (an HTTP exchange) calls
// KeepWaiting() every few tens of milliseconds. The program installs what
// that does on the GUI thread: it lets the windows repaint and a close of the
// main window through. Without a hook the wait simply goes on.
using TLongWaitHook = bool (*)();

// Hook returns false once the program is ending; null removes it.
void SetLongWaitHook(TLongWaitHook Hook);

// False when the wait should be given up: the program is ending, or the
// work this thread does was cancelled (TWaitCancellation).
bool KeepWaiting();

// While it exists, long waits on the constructing thread give up as soon as
// Cancelled turns true, so a job that nobody wants any more ends its HTTP
// exchange within one wait slice. Scopes nest; the innermost one counts.
class TWaitCancellation {
public:
  explicit TWaitCancellation(const std::atomic<bool>& Cancelled);
  ~TWaitCancellation();
  TWaitCancellation(const TWaitCancellation&) = delete;
  TWaitCancellation& operator=(const TWaitCancellation&) = delete;

  // True when the innermost scope of this thread was cancelled.
  static bool Requested();

private:
  const std::atomic<bool>* FOuter;
};
