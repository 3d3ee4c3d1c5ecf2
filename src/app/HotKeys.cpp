#include "app/HotKeys.h"

#include "platform/Platform.h"

#include <array>

namespace {

// The names of the keys outside the letter, digit and function-key ranges:
// the named keys, the number pad, and the punctuation keys by what they show
// on the US layout. Key names are compared after every space has been taken
// out of the text, so none of them may hold a space.
struct TNamedKey {
  uint8_t Code;
  const char* Name;
};
constexpr std::array<TNamedKey, 44> NamedKeys{{
    {0x08, "BkSp"},  {0x09, "Tab"},  {0x0D, "Enter"}, {0x13, "Pause"}, {0x1B, "Esc"},  {0x20, "Space"}, {0x21, "PgUp"},
    {0x22, "PgDn"},  {0x23, "End"},  {0x24, "Home"},  {0x25, "Left"},  {0x26, "Up"},   {0x27, "Right"}, {0x28, "Down"},
    {0x2C, "Print"}, {0x2D, "Ins"},  {0x2E, "Del"},   {0x5D, "Menu"},  {0x60, "Num0"}, {0x61, "Num1"},  {0x62, "Num2"},
    {0x63, "Num3"},  {0x64, "Num4"}, {0x65, "Num5"},  {0x66, "Num6"},  {0x67, "Num7"}, {0x68, "Num8"},  {0x69, "Num9"},
    {0x6A, "Num*"},  {0x6B, "Num+"}, {0x6D, "Num-"},  {0x6E, "Num."},  {0x6F, "Num/"}, {0xBA, ";"},     {0xBB, "="},
    {0xBC, ","},     {0xBD, "-"},    {0xBE, "."},     {0xBF, "/"},     {0xC0, "`"},    {0xDB, "["},     {0xDC, "\\"},
    {0xDD, "]"},     {0xDE, "'"},
}};

// Takes Prefix off the front of Text when it is there, ignoring case.
bool TakePrefix(QString& Text, QLatin1StringView Prefix) {
  if (!Text.startsWith(Prefix, Qt::CaseInsensitive))
    return false;
  Text.remove(0, Prefix.size());
  return true;
}

} // namespace

QString HotKeyKeyName(uint8_t Key) {
  if (Key >= '0' && Key <= '9')
    return QString(QChar(Key));
  if (Key >= 'A' && Key <= 'Z')
    return QString(QChar(Key));
  if (Key >= 0x70 && Key <= 0x87)
    return QStringLiteral("F%1").arg(Key - 0x6F);
  for (const TNamedKey& Named : NamedKeys)
    if (Named.Code == Key)
      return QString::fromLatin1(Named.Name);
  return {};
}

THotKey StringToHotKey(const QString& Text) {
  QString Rest = Text;
  Rest.remove(QChar(' '));
  THotKey Shift = 0;
  for (;;) {
    if (TakePrefix(Rest, QLatin1StringView("Shift+")))
      Shift |= HotKeyShift::Shift;
    else if (TakePrefix(Rest, QLatin1StringView("^")))
      Shift |= HotKeyShift::Ctrl;
    else if (TakePrefix(Rest, QLatin1StringView("Ctrl+")))
      Shift |= HotKeyShift::Ctrl;
    else if (TakePrefix(Rest, QLatin1StringView("Alt+")))
      Shift |= HotKeyShift::Alt;
    else
      break;
  }
  if (Rest.isEmpty())
    return 0;
  for (int Key = 0x08; Key <= 0xFF; ++Key) {
    const QString Name = HotKeyKeyName(uint8_t(Key));
    if (!Name.isEmpty() && Name.compare(Rest, Qt::CaseInsensitive) == 0)
      return THotKey(Key | Shift);
  }
  return 0;
}

uint32_t ShiftStateToModifiers(TShiftState Shift) {
  uint32_t Modifiers = 0;
  if (Shift & HotKeyShift::Shift)
    Modifiers |= MOD_SHIFT;
  if (Shift & HotKeyShift::Ctrl)
    Modifiers |= MOD_CONTROL;
  if (Shift & HotKeyShift::Alt)
    Modifiers |= MOD_ALT;
  return Modifiers;
}
