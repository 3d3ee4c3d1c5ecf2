#pragma once

// Work that keeps the GUI thread waiting for long (an HTTP exchange) calls
// KeepWaiting() every few tens of milliseconds. The program installs what
// that does: it lets the windows repaint and a close of the main window
// through. Without a hook the wait simply goes on.
using TLongWaitHook = bool (*)();

// Hook returns false once the program is ending; null removes it.
void SetLongWaitHook(TLongWaitHook Hook);

// False when the wait should be given up because the program is ending.
bool KeepWaiting();
