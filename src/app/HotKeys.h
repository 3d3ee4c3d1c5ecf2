#pragma once

#include <QString>

#include <cstdint>

// A hotkey value as the settings' hotkey texts describe it: the virtual-key
// code in the low byte and the modifiers in the high bits. The codes are the
// Windows virtual-key codes, so stored texts and values mean the same key on
// every platform; the platform layer maps them to its own keys.
using THotKey = uint16_t;

namespace HotKeyShift {
inline constexpr THotKey Shift = 0x2000;
inline constexpr THotKey Ctrl = 0x4000;
inline constexpr THotKey Alt = 0x8000;
} // namespace HotKeyShift

// The modifiers of a hotkey value (any of the HotKeyShift bits).
using TShiftState = THotKey;

// Parses a hotkey text such as "Ctrl+Alt+C", "^F5" or "shift + f1": spaces
// are ignored, the prefixes "Shift+", "Ctrl+", "^" (Ctrl) and "Alt+" may come
// in any order and repeat, and the rest must be one key name, compared
// without regard to case. 0 when the text names no key (empty, an unknown
// name, or anything with "Cmd+", which no key has).
THotKey StringToHotKey(const QString& Text);

// The name of virtual-key code Key in hotkey texts ("BkSp", "A", "F12",
// ";"); empty for a code without one.
QString HotKeyKeyName(uint8_t Key);

// The platform's modifier flags for the Shift, Ctrl and Alt of Shift
// (MOD_SHIFT, MOD_CONTROL, MOD_ALT); nothing else is mapped.
uint32_t ShiftStateToModifiers(TShiftState Shift);
