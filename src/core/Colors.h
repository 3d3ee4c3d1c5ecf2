#pragma once

#include <QColor>
#include <QString>

#include <cstdint>
#include <optional>
#include <stdexcept>

// A colour as stored in the settings: 0x00BBGGRR, red in the lowest byte.
// Negative values (high byte FF) name a desktop colour by its index, as the
// "clBtnFace"-style names do.
using TColor = int32_t;

// A stored value that is neither a colour name nor a number.
class EConvertError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

constexpr TColor clBlack = 0x000000;
constexpr TColor clGray = 0x808080;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clBtnShadow = TColor(0xFF000010);
constexpr TColor clInfoBk = TColor(0xFF000018);
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

// "clGray", "$00808080", "0x808080" or "8421504" to a colour; throws
// EConvertError for anything else.
TColor StringToColor(const QString& Text);
// The colour's name when it has one, else "$" and eight hexadecimal digits.
QString ColorToString(TColor Color);
std::optional<TColor> IdentToColor(const QString& Name);
// Resolves a desktop colour to the colour it currently stands for.
QColor ColorToQColor(TColor Color);

// Whole-string integer parse: decimal with an optional sign, or hexadecimal
// after "$", "x" or "0x"; hexadecimal wraps into 32 bits. No value when the
// text is not such a number.
std::optional<int32_t> ParseInteger(const QString& Text);
