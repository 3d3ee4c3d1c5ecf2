#pragma once

#include "platform/Platform.h"

#include <QAbstractNativeEventFilter>
#include <QPointer>
#include <QWidget>

#include <vector>

struct _XDisplay;

// Global hotkeys on X11: a passive grab of the key on the root window, once
// for each state of NumLock and CapsLock so that a lit lock key never
// disables a hotkey. The grabs are made on Qt's own connection, so the key
// presses arrive in Qt's event stream, where this filter turns them into
// THotKeyEvents for the registering window.
class TX11HotKeys : public QAbstractNativeEventFilter {
public:
  // QtDisplay: the Xlib connection of Qt's xcb platform; null where Qt runs
  // on another platform, and every registration then is Unavailable.
  explicit TX11HotKeys(_XDisplay* QtDisplay);
  ~TX11HotKeys() override;
  TX11HotKeys(const TX11HotKeys&) = delete;
  TX11HotKeys& operator=(const TX11HotKeys&) = delete;

  TPlatform::THotKeyResult Register(QWidget* Window, uint32_t Id, uint32_t Modifiers, uint32_t VirtualKey);
  void Unregister(QWidget* Window, uint32_t Id);

  bool nativeEventFilter(const QByteArray& EventType, void* Message, qintptr* Result) override;

private:
  struct TGrab {
    QPointer<QWidget> Window;
    QWidget* Owner = nullptr; // the registering window, also after it is gone
    uint32_t Id = 0;
    unsigned Keycode = 0;
    unsigned Modifiers = 0;        // X modifier mask without the lock keys
    unsigned long LastRelease = 0; // server time of the last key release
  };

  // The grab's key with Modifiers and each combination of the lock keys.
  // True when the server took every one of them.
  bool Grab(unsigned Keycode, unsigned Modifiers);
  void Ungrab(unsigned Keycode, unsigned Modifiers);

  _XDisplay* FDisplay;
  unsigned long FRoot = 0;
  unsigned FNumLockMask = 0;
  std::vector<TGrab> FGrabs;
};

// The X keysym of a Windows virtual-key code; 0 for a code without one.
unsigned long KeysymOfVirtualKey(uint32_t VirtualKey);
