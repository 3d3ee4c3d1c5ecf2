#include "platform/x11/X11HotKeys.h"

#include "platform/x11/X11ErrorTrap.h"

#include <QCoreApplication>
#include <QWidget>

#include <X11/XKBlib.h>
#include <X11/keysym.h>
#include <xcb/xproto.h>

#include <algorithm>
#include <array>

namespace {

// Virtual-key codes outside the letter, digit and function-key ranges.
struct TKeyMapping {
  uint8_t VirtualKey;
  KeySym Sym;
};
constexpr std::array<TKeyMapping, 44> KeyMappings{{
    {0x08, XK_BackSpace},   {0x09, XK_Tab},        {0x0D, XK_Return},       {0x13, XK_Pause},       {0x1B, XK_Escape},
    {0x20, XK_space},       {0x21, XK_Prior},      {0x22, XK_Next},         {0x23, XK_End},         {0x24, XK_Home},
    {0x25, XK_Left},        {0x26, XK_Up},         {0x27, XK_Right},        {0x28, XK_Down},        {0x2C, XK_Print},
    {0x2D, XK_Insert},      {0x2E, XK_Delete},     {0x5D, XK_Menu},         {0x60, XK_KP_0},        {0x61, XK_KP_1},
    {0x62, XK_KP_2},        {0x63, XK_KP_3},       {0x64, XK_KP_4},         {0x65, XK_KP_5},        {0x66, XK_KP_6},
    {0x67, XK_KP_7},        {0x68, XK_KP_8},       {0x69, XK_KP_9},         {0x6A, XK_KP_Multiply}, {0x6B, XK_KP_Add},
    {0x6D, XK_KP_Subtract}, {0x6E, XK_KP_Decimal}, {0x6F, XK_KP_Divide},    {0xBA, XK_semicolon},   {0xBB, XK_equal},
    {0xBC, XK_comma},       {0xBD, XK_minus},      {0xBE, XK_period},       {0xBF, XK_slash},       {0xC0, XK_grave},
    {0xDB, XK_bracketleft}, {0xDC, XK_backslash},  {0xDD, XK_bracketright}, {0xDE, XK_apostrophe},
}};

unsigned ModifierMask(uint32_t Modifiers) {
  unsigned Mask = 0;
  if (Modifiers & MOD_SHIFT)
    Mask |= ShiftMask;
  if (Modifiers & MOD_CONTROL)
    Mask |= ControlMask;
  if (Modifiers & MOD_ALT)
    Mask |= Mod1Mask;
  return Mask;
}

// The modifier bit that NumLock sets on this server; Mod2 where no key has it.
unsigned FindNumLockMask(Display* Dpy) {
  const KeyCode NumLock = XKeysymToKeycode(Dpy, XK_Num_Lock);
  XModifierKeymap* Map = XGetModifierMapping(Dpy);
  unsigned Mask = 0;
  if (Map && NumLock != 0) {
    for (int Modifier = 0; Modifier < 8 && Mask == 0; ++Modifier)
      for (int I = 0; I < Map->max_keypermod; ++I)
        if (Map->modifiermap[Modifier * Map->max_keypermod + I] == NumLock)
          Mask = 1u << Modifier;
  }
  if (Map)
    XFreeModifiermap(Map);
  return Mask ? Mask : Mod2Mask;
}

} // namespace

unsigned long KeysymOfVirtualKey(uint32_t VirtualKey) {
  if (VirtualKey >= '0' && VirtualKey <= '9')
    return XK_0 + (VirtualKey - '0');
  if (VirtualKey >= 'A' && VirtualKey <= 'Z')
    return XK_a + (VirtualKey - 'A');
  if (VirtualKey >= 0x70 && VirtualKey <= 0x87)
    return XK_F1 + (VirtualKey - 0x70);
  for (const TKeyMapping& Mapping : KeyMappings)
    if (Mapping.VirtualKey == VirtualKey)
      return Mapping.Sym;
  return 0;
}

TX11HotKeys::TX11HotKeys(_XDisplay* QtDisplay) : FDisplay(QtDisplay) {
  if (!FDisplay)
    return;
  FRoot = DefaultRootWindow(FDisplay);
  FNumLockMask = FindNumLockMask(FDisplay);
  QCoreApplication::instance()->installNativeEventFilter(this);
}

TX11HotKeys::~TX11HotKeys() {
  // Qt's connection closes with the application; after that there is
  // nothing left to ungrab or to filter.
  if (!FDisplay || !QCoreApplication::instance())
    return;
  QCoreApplication::instance()->removeNativeEventFilter(this);
  for (const TGrab& Grab : FGrabs)
    Ungrab(Grab.Keycode, Grab.Modifiers);
}

bool TX11HotKeys::Grab(unsigned Keycode, unsigned Modifiers) {
  TXErrorTrap Trap;
  for (unsigned Locks : {0u, unsigned(LockMask), FNumLockMask, LockMask | FNumLockMask})
    XGrabKey(FDisplay, int(Keycode), Modifiers | Locks, FRoot, False, GrabModeAsync, GrabModeAsync);
  XSync(FDisplay, False);
  return !TXErrorTrap::Failed;
}

void TX11HotKeys::Ungrab(unsigned Keycode, unsigned Modifiers) {
  // Releases only this client's grabs: a combination another client holds
  // stays with it.
  TXErrorTrap Trap;
  for (unsigned Locks : {0u, unsigned(LockMask), FNumLockMask, LockMask | FNumLockMask})
    XUngrabKey(FDisplay, int(Keycode), Modifiers | Locks, FRoot);
  XSync(FDisplay, False);
}

TPlatform::THotKeyResult TX11HotKeys::Register(QWidget* Target, uint32_t Id, uint32_t Modifiers, uint32_t VirtualKey) {
  using TResult = TPlatform::THotKeyResult;
  if (!FDisplay)
    return TResult::Unavailable;
  const KeySym Sym = KeysymOfVirtualKey(VirtualKey);
  const KeyCode Keycode = Sym ? XKeysymToKeycode(FDisplay, Sym) : 0;
  if (Keycode == 0)
    return TResult::UnknownKey;
  const unsigned XMask = ModifierMask(Modifiers);
  // The server lets a client grab the same key twice; the second hotkey
  // would only ever shadow the first, so it is refused as another
  // program's would be.
  const bool InUse = std::any_of(FGrabs.begin(), FGrabs.end(), [&](const TGrab& Other) {
    return (Other.Keycode == Keycode && Other.Modifiers == XMask) || (Other.Owner == Target && Other.Id == Id);
  });
  if (InUse)
    return TResult::Taken;
  if (!Grab(Keycode, XMask)) {
    // BadAccess: another client holds at least one combination. The ones
    // that were taken would make a half-working hotkey; give them back.
    Ungrab(Keycode, XMask);
    return TResult::Taken;
  }
  FGrabs.push_back({Target, Target, Id, Keycode, XMask, 0});
  return TResult::Registered;
}

void TX11HotKeys::Unregister(QWidget* Target, uint32_t Id) {
  const auto It = std::find_if(FGrabs.begin(), FGrabs.end(),
                               [&](const TGrab& Grab) { return Grab.Owner == Target && Grab.Id == Id; });
  if (It == FGrabs.end())
    return;
  Ungrab(It->Keycode, It->Modifiers);
  FGrabs.erase(It);
}

bool TX11HotKeys::nativeEventFilter(const QByteArray& EventType, void* Message, qintptr*) {
  if (EventType != "xcb_generic_event_t")
    return false;
  const auto* Event = static_cast<const xcb_generic_event_t*>(Message);
  const uint8_t Kind = Event->response_type & 0x7F;
  if (Kind != XCB_KEY_PRESS && Kind != XCB_KEY_RELEASE)
    return false;
  // Key release events share the layout of key presses.
  const auto* Key = reinterpret_cast<const xcb_key_press_event_t*>(Event);
  // Typed into one of Korvex's own windows: no hotkey, unless that window
  // holds the keyboard (the area selection does), which keeps the root
  // window's hotkeys from ever seeing the key.
  if (Key->event != FRoot && !QWidget::keyboardGrabber())
    return false;
  const unsigned Modifiers = Key->state & (ShiftMask | ControlMask | Mod1Mask);
  const auto It = std::find_if(FGrabs.begin(), FGrabs.end(), [&](const TGrab& Grab) {
    return Grab.Keycode == Key->detail && Grab.Modifiers == Modifiers;
  });
  if (It == FGrabs.end())
    return false;
  if (Kind == XCB_KEY_RELEASE) {
    It->LastRelease = Key->time;
    return true;
  }
  // A held key repeats as release and press at one and the same time; a
  // hotkey runs its command once per press.
  if (It->LastRelease != 0 && Key->time == It->LastRelease)
    return true;
  if (It->Window)
    QCoreApplication::postEvent(It->Window, new THotKeyEvent(It->Id));
  return true;
}
