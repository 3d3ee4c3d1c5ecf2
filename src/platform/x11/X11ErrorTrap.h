#pragma once

// Only for the x11 layer's .cpp files: it brings in Xlib.
#include <X11/Xlib.h>

// Catches X errors of the calls made while it lives instead of letting
// Xlib's default handler end the process (or Qt's log them). Xlib's handler
// is process-wide, hence the static state; everything runs on the GUI
// thread. Follow the calls with XSync so their errors arrive in time.
class TXErrorTrap {
public:
  TXErrorTrap() : FOld(XSetErrorHandler(&Handler)) {
    Failed = false;
    LastError = 0;
  }
  ~TXErrorTrap() { XSetErrorHandler(FOld); }
  TXErrorTrap(const TXErrorTrap&) = delete;
  TXErrorTrap& operator=(const TXErrorTrap&) = delete;

  static inline bool Failed = false;
  // The error code of the last error caught (BadAccess, BadValue, ...).
  static inline int LastError = 0;

private:
  static int Handler(Display*, XErrorEvent* Error) {
    Failed = true;
    LastError = Error->error_code;
    return 0;
  }
  XErrorHandler FOld;
};
