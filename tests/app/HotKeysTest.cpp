#include "app/HotKeys.h"
#include "platform/Platform.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace {

using namespace HotKeyShift;

constexpr THotKey CtrlAltC = Ctrl | Alt | 'C';

struct TCase {
  const char* Text;
  THotKey Expected;
};

TEST(StringToHotKey, Table) {
  const TCase Cases[] = {
      {"Ctrl+Alt+C", CtrlAltC},
      {"ctrl+alt+c", CtrlAltC},
      {"CTRL+ALT+C", CtrlAltC},
      {" Ctrl + Alt + C ", CtrlAltC},
      {"^Alt+C", CtrlAltC},
      {"Alt+Ctrl+C", CtrlAltC},
      {"Alt+^C", CtrlAltC},
      {"Ctrl+Ctrl+Alt+C", CtrlAltC}, // prefixes may repeat
      {"Shift+Ctrl+Alt+C", Shift | CtrlAltC},
      {"F5", 0x74},
      {"Shift+F5", Shift | 0x74},
      {"Ctrl+F12", Ctrl | 0x7B},
      {"F24", 0x87},
      {"Cmd+A", 0},
      {"Ctrl+Cmd+A", 0},
      {"Cmd+Ctrl+A", 0},
      {"", 0},
      {"   ", 0},
      {"Ctrl+", 0},
      {"Ctrl+Alt+", 0},
      {"^", 0},
      {"Shift", 0}, // no "+": a key name, and no key is called that
      {"Ctrl+Alt+CC", 0},
      {"Ctrl+Alt+Ä", 0},
      {"F0", 0},
      {"F25", 0},
      {"Win+A", 0},
      {"Ctrl-Alt-C", 0},
      {"Ctrl+Alt+C+", 0},
      {"Ctrl+Page Up", 0}, // only "PgUp" names that key
      {"Ctrl+PgUp", Ctrl | 0x21},
      {"Ctrl+Num 5", Ctrl | 0x65}, // spaces go before the name is looked up
      {"Alt+;", Alt | 0xBA},
      {"Alt+\\", Alt | 0xDC},
  };
  for (const TCase& Case : Cases)
    EXPECT_EQ(StringToHotKey(QString::fromUtf8(Case.Text)), Case.Expected) << '"' << Case.Text << '"';
}

TEST(StringToHotKey, EveryNamedKey) {
  const std::pair<const char*, int> Named[] = {
      {"BkSp", 0x08}, {"Tab", 0x09},   {"Enter", 0x0D}, {"Esc", 0x1B},  {"Space", 0x20},
      {"PgUp", 0x21}, {"PgDn", 0x22},  {"End", 0x23},   {"Home", 0x24}, {"Left", 0x25},
      {"Up", 0x26},   {"Right", 0x27}, {"Down", 0x28},  {"Ins", 0x2D},  {"Del", 0x2E},
  };
  for (const auto& [Name, Code] : Named) {
    EXPECT_EQ(StringToHotKey(QString::fromLatin1(Name)), Code) << Name;
    EXPECT_EQ(StringToHotKey(QStringLiteral("Shift+") + QString::fromLatin1(Name).toLower()), Shift | Code) << Name;
    EXPECT_EQ(HotKeyKeyName(uint8_t(Code)), QLatin1String(Name));
  }
  for (char Letter = 'A'; Letter <= 'Z'; ++Letter) {
    EXPECT_EQ(StringToHotKey(QString(QChar(Letter))), THotKey(Letter));
    EXPECT_EQ(StringToHotKey(QString(QChar(Letter)).toLower()), THotKey(Letter));
  }
  for (char Digit = '0'; Digit <= '9'; ++Digit)
    EXPECT_EQ(StringToHotKey(QStringLiteral("Alt+") + QChar(Digit)), Alt | THotKey(Digit));
  for (int N = 1; N <= 24; ++N)
    EXPECT_EQ(StringToHotKey(QStringLiteral("f%1").arg(N)), THotKey(0x6F + N)) << N;
}

TEST(StringToHotKey, NoKeyNameHoldsASpace) {
  // Spaces are taken out of the text first, so such a name could never match.
  for (int Key = 0; Key <= 0xFF; ++Key)
    EXPECT_FALSE(HotKeyKeyName(uint8_t(Key)).contains(' ')) << Key;
  for (int Key = 0x08; Key <= 0xFF; ++Key) {
    const QString Name = HotKeyKeyName(uint8_t(Key));
    if (!Name.isEmpty()) {
      EXPECT_EQ(StringToHotKey(Name), Key) << Name.toStdString(); // no two codes share a name
    }
  }
}

// The 140 texts the settings dialog offers for each hotkey.
QStringList SettingsDialogHotKeys() {
  QStringList Texts;
  for (const char* Prefix : {"Ctrl+Alt+", "Ctrl+Shift+"})
    for (char Letter = 'A'; Letter <= 'Z'; ++Letter)
      Texts << QString::fromLatin1(Prefix) + QChar(Letter);
  for (const char* Prefix : {"", "Ctrl+", "Shift+"})
    for (int N = 1; N <= 12; ++N)
      Texts << QStringLiteral("%1F%2").arg(QLatin1String(Prefix)).arg(N);
  for (const char* Prefix : {"Cmd+", "Ctrl+Cmd+"})
    for (char Letter = 'A'; Letter <= 'Z'; ++Letter)
      Texts << QString::fromLatin1(Prefix) + QChar(Letter);
  return Texts;
}

TEST(StringToHotKey, TheSettingsDialogList) {
  const QStringList Texts = SettingsDialogHotKeys();
  ASSERT_EQ(Texts.size(), 140);
  int NonZero = 0;
  for (int I = 0; I < Texts.size(); ++I) {
    const THotKey Value = StringToHotKey(Texts[I]);
    SCOPED_TRACE(Texts[I].toStdString());
    if (I < 88) {
      ++NonZero;
      const int Letter = I < 52 ? 'A' + I % 26 : 0x70 + (I - 52) % 12;
      const THotKey Shifts[] = {Ctrl | Alt, Ctrl | Shift, 0, Ctrl, Shift};
      const int Group = I < 52 ? I / 26 : 2 + (I - 52) / 12;
      EXPECT_EQ(Value, THotKey(Shifts[Group] | Letter));
    } else {
      EXPECT_EQ(Value, 0);
    }
  }
  EXPECT_EQ(NonZero, 88);
}

TEST(ShiftStateToModifiers, MapsShiftCtrlAltOnly) {
  EXPECT_EQ(ShiftStateToModifiers(0), 0u);
  EXPECT_EQ(ShiftStateToModifiers(Shift), MOD_SHIFT);
  EXPECT_EQ(ShiftStateToModifiers(Ctrl), MOD_CONTROL);
  EXPECT_EQ(ShiftStateToModifiers(Alt), MOD_ALT);
  EXPECT_EQ(ShiftStateToModifiers(Shift | Ctrl | Alt), 7u);
  EXPECT_EQ(MOD_SHIFT, 4u);
  EXPECT_EQ(MOD_CONTROL, 2u);
  EXPECT_EQ(MOD_ALT, 1u);
  EXPECT_EQ(ShiftStateToModifiers(CtrlAltC), MOD_CONTROL | MOD_ALT); // the key code is not a modifier
}

} // namespace
