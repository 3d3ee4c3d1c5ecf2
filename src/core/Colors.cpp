#include "core/Colors.h"

#include <QGuiApplication>
#include <QPalette>

#include <array>
#include <utility>

namespace {

constexpr TColor SystemColor(int Index) { return TColor(0xFF000000u | unsigned(Index)); }

struct TNamedColor {
  const char* Name;
  TColor Value;
};

constexpr std::array<TNamedColor, 52> NamedColors{{
    {"clBlack", 0x000000},
    {"clMaroon", 0x000080},
    {"clGreen", 0x008000},
    {"clOlive", 0x008080},
    {"clNavy", 0x800000},
    {"clPurple", 0x800080},
    {"clTeal", 0x808000},
    {"clGray", 0x808080},
    {"clSilver", 0xC0C0C0},
    {"clRed", 0x0000FF},
    {"clLime", 0x00FF00},
    {"clYellow", 0x00FFFF},
    {"clBlue", 0xFF0000},
    {"clFuchsia", 0xFF00FF},
    {"clAqua", 0xFFFF00},
    {"clWhite", 0xFFFFFF},
    {"clMoneyGreen", 0xC0DCC0},
    {"clSkyBlue", 0xF0CAA6},
    {"clCream", 0xF0FBFF},
    {"clMedGray", 0xA4A0A0},
    {"clActiveBorder", SystemColor(10)},
    {"clActiveCaption", SystemColor(2)},
    {"clAppWorkSpace", SystemColor(12)},
    {"clBackground", SystemColor(1)},
    {"clBtnFace", SystemColor(15)},
    {"clBtnHighlight", SystemColor(20)},
    {"clBtnShadow", SystemColor(16)},
    {"clBtnText", SystemColor(18)},
    {"clCaptionText", SystemColor(9)},
    {"clDefault", clDefault},
    {"clGradientActiveCaption", SystemColor(27)},
    {"clGradientInactiveCaption", SystemColor(28)},
    {"clGrayText", SystemColor(17)},
    {"clHighlight", SystemColor(13)},
    {"clHighlightText", SystemColor(14)},
    {"clHotLight", SystemColor(26)},
    {"clInactiveBorder", SystemColor(11)},
    {"clInactiveCaption", SystemColor(3)},
    {"clInactiveCaptionText", SystemColor(19)},
    {"clInfoBk", SystemColor(24)},
    {"clInfoText", SystemColor(23)},
    {"clMenu", SystemColor(4)},
    {"clMenuBar", SystemColor(30)},
    {"clMenuHighlight", SystemColor(29)},
    {"clMenuText", SystemColor(7)},
    {"clNone", clNone},
    {"clScrollBar", SystemColor(0)},
    {"cl3DDkShadow", SystemColor(21)},
    {"cl3DLight", SystemColor(22)},
    {"clWindow", SystemColor(5)},
    {"clWindowFrame", SystemColor(6)},
    {"clWindowText", SystemColor(8)},
}};

// The classic desktop colours, used where the running desktop has no
// counterpart in Qt's palette. Values are 0x00BBGGRR.
TColor DefaultSystemColor(int Index) {
  static constexpr std::array<TColor, 31> Defaults{
      0xC8C8C8, 0x000000, 0xD1B499, 0xDBCDBF, 0xF0F0F0, 0xFFFFFF, 0x646464, 0x000000, 0x000000, 0x000000, 0xB4B4B4,
      0xFCF7F4, 0xABABAB, 0xD77800, 0xFFFFFF, 0xF0F0F0, 0xA0A0A0, 0x6D6D6D, 0x000000, 0x000000, 0xFFFFFF, 0x696969,
      0xE3E3E3, 0x000000, 0xE1FFFF, 0x000000, 0xCC6600, 0xEAD1B9, 0xF2E4D7, 0xFF9933, 0xF0F0F0};
  return Index >= 0 && Index < int(Defaults.size()) ? Defaults[Index] : 0;
}

QColor FromBGR(uint32_t Value) { return QColor(Value & 0xFF, (Value >> 8) & 0xFF, (Value >> 16) & 0xFF); }

// Desktop colours that Qt's palette knows, by index.
std::optional<QPalette::ColorRole> PaletteRole(int Index) {
  switch (Index) {
  case 4:
  case 15:
  case 30: return QPalette::Button;
  case 5: return QPalette::Base;
  case 7:
  case 8: return QPalette::Text;
  case 13:
  case 29: return QPalette::Highlight;
  case 14: return QPalette::HighlightedText;
  case 16: return QPalette::Mid;
  case 18: return QPalette::ButtonText;
  case 20:
  case 22: return QPalette::Light;
  case 21: return QPalette::Dark;
  case 23: return QPalette::ToolTipText;
  case 24: return QPalette::ToolTipBase;
  default: return std::nullopt;
  }
}

} // namespace

std::optional<int32_t> ParseInteger(const QString& Text) {
  const QString S = Text.trimmed();
  qsizetype I = 0;
  bool Negative = false;
  if (I < S.size() && (S[I] == u'-' || S[I] == u'+'))
    Negative = S[I++] == u'-';
  int Base = 10;
  if (I < S.size() && (S[I] == u'$' || S[I] == u'x' || S[I] == u'X')) {
    Base = 16;
    ++I;
  } else if (I + 1 < S.size() && S[I] == u'0' && (S[I + 1] == u'x' || S[I + 1] == u'X')) {
    Base = 16;
    I += 2;
  }
  if (I >= S.size())
    return std::nullopt;
  uint64_t Value = 0;
  for (; I < S.size(); ++I) {
    const int Digit = QChar(S[I]).isDigit() && S[I].unicode() < 128 ? S[I].unicode() - '0'
                      : Base == 16 && S[I].toLower() >= u'a' && S[I].toLower() <= u'f'
                          ? S[I].toLower().unicode() - 'a' + 10
                          : -1;
    if (Digit < 0)
      return std::nullopt;
    Value = Value * Base + Digit;
    if (Value > 0xFFFFFFFFull)
      return std::nullopt;
  }
  if (Base == 16) {
    const auto Wrapped = static_cast<int32_t>(static_cast<uint32_t>(Value));
    return Negative ? static_cast<int32_t>(0u - static_cast<uint32_t>(Wrapped)) : Wrapped;
  }
  if (Negative ? Value > 2147483648ull : Value > 2147483647ull)
    return std::nullopt;
  return Negative ? static_cast<int32_t>(-static_cast<int64_t>(Value)) : static_cast<int32_t>(Value);
}

std::optional<TColor> IdentToColor(const QString& Name) {
  for (const TNamedColor& Named : NamedColors)
    if (Name.compare(QLatin1String(Named.Name), Qt::CaseInsensitive) == 0)
      return Named.Value;
  return std::nullopt;
}

TColor StringToColor(const QString& Text) {
  if (auto Named = IdentToColor(Text))
    return *Named;
  if (auto Number = ParseInteger(Text))
    return *Number;
  throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(Text).toStdString());
}

QString ColorToString(TColor Color) {
  for (const TNamedColor& Named : NamedColors)
    if (Named.Value == Color)
      return QLatin1String(Named.Name);
  return QStringLiteral("$%1").arg(uint32_t(Color), 8, 16, QLatin1Char('0')).toUpper();
}

QColor ColorToQColor(TColor Color) {
  if (Color >= 0)
    return FromBGR(uint32_t(Color));
  const int Index = Color & 0xFF;
  if (auto Role = PaletteRole(Index); Role && qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
    return QGuiApplication::palette().color(QPalette::Active, *Role);
  return FromBGR(uint32_t(DefaultSystemColor(Index)));
}
