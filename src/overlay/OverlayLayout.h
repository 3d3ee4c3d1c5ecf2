#pragma once

#include <QHashFunctions>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <limits>

// The font of a drawing surface as the layout routines see it: a name, a
// size in points and the one style they switch (bold or plain).
struct TCanvasFont {
  QString Name;
  int Size = 0;
  bool Bold = false;
  friend bool operator==(const TCanvasFont&, const TCanvasFont&) = default;
};

size_t qHash(const TCanvasFont& Font, size_t Seed = 0);

// Pixel measurements of text in a font. The layout routines need nothing
// else of the window system, so tests give them a stub with exact widths.
class TTextMeasurer {
public:
  virtual ~TTextMeasurer() = default;
  virtual int TextWidth(const TCanvasFont& Font, QStringView Text) = 0;
  virtual int TextHeight(const TCanvasFont& Font, QStringView Text) = 0;
  // The font's height as font records state it: negative for the height of
  // the characters without internal leading, in pixels.
  virtual int FontHeight(const TCanvasFont& Font) = 0;
};

// A measuring surface with a current font, the way a drawing canvas has one.
struct TLayoutCanvas {
  TTextMeasurer& Measurer;
  TCanvasFont Font;

  int TextWidth(QStringView Text) const { return Measurer.TextWidth(Font, Text); }
  int TextHeight(QStringView Text) const { return Measurer.TextHeight(Font, Text); }
};

struct TTextSize {
  int32_t Width = 0;
  int32_t Height = 0;
  friend bool operator==(const TTextSize&, const TTextSize&) = default;
};

// What GetTextDimensions answers when a single word is wider than the room.
constexpr TTextSize NoFitTextSize{std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::max()};

// The smallest size the automatic fitting tries, in points.
constexpr int MIN_FONTSIZE = 8;

// Wraps AText at spaces into lines no wider than AvailableWidth in AFontName
// at AFontSize points (plain), appends them to WrappedLines and returns the
// block's width and height; NoFitTextSize when one word alone is too wide.
// The canvas font is the same before and after.
TTextSize GetTextDimensions(TLayoutCanvas& ACanvas, const QString& AText, const QString& AFontName, int AFontSize,
                            QStringList& WrappedLines, int AvailableWidth, double ALineSpacingFactor);

// The largest size from MIN_FONTSIZE up to min(MaxFontSize, ARectHeight) at
// which AText wrapped by GetTextDimensions fits ARectWidth x ARectHeight,
// with its lines left in WrappedLines; 0 when none fits. Binary search.
int FindOptimalFontSize(TLayoutCanvas& ACanvas, const QString& AText, const QString& AFontName, int ARectWidth,
                        int ARectHeight, QStringList& WrappedLines, int MaxFontSize, double ALineSpacingFactor);

// Breaks Text into lines by characters in the canvas's current font: a line
// closes as soon as its characters plus the width of "AAAA" exceed RectWidth,
// keeping the character that overflowed. A character outside the Basic
// Multilingual Plane (a surrogate pair) counts as one character.
void SplitParagraph(TLayoutCanvas& ACanvas, const QString& Text, int RectWidth, QStringList& Lines);
