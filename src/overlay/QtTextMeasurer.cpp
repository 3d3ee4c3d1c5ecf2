#include "overlay/QtTextMeasurer.h"

#include <algorithm>
#include <cmath>

namespace {
// Enough for every font size that has been in use at once; a paint uses a
// handful, an automatic fit adds a few per box.
constexpr qsizetype MaxCachedFonts = 512;
} // namespace

TQtTextMeasurer::TQtTextMeasurer(int LogicalDpi) : FLogicalDpi(LogicalDpi), FDevice(1, 1, QImage::Format_RGB32) {
  const int DotsPerMeter = int(std::lround(LogicalDpi / 0.0254));
  FDevice.setDotsPerMeterX(DotsPerMeter);
  FDevice.setDotsPerMeterY(DotsPerMeter);
}

int TQtTextMeasurer::DrawnPointSize(int Size) { return Size < 1 ? MIN_FONTSIZE : std::min(Size, MaxPointSize); }

TQtTextMeasurer::TEntry& TQtTextMeasurer::EntryFor(const TCanvasFont& Font) {
  if (FLast && Font == FLastFont)
    return *FLast;
  auto It = FEntries.find(Font);
  if (It == FEntries.end()) {
    if (FEntries.size() >= MaxCachedFonts)
      FEntries.clear();
    QFont Drawn(Font.Name);
    Drawn.setPointSize(DrawnPointSize(Font.Size));
    Drawn.setBold(Font.Bold);
    It = FEntries.insert(Font, std::make_shared<TEntry>(Drawn, &FDevice));
  }
  FLastFont = Font;
  FLast = It->get();
  return *FLast;
}

int TQtTextMeasurer::TextWidth(const TCanvasFont& Font, QStringView Text) {
  TEntry& Entry = EntryFor(Font);
  const bool OneCharacter =
      Text.size() == 1 || (Text.size() == 2 && Text[0].isHighSurrogate() && Text[1].isLowSurrogate());
  if (!OneCharacter)
    return Entry.Metrics.horizontalAdvance(Text.toString());
  const char32_t Code = Text.size() == 1 ? Text[0].unicode() : QChar::surrogateToUcs4(Text[0], Text[1]);
  auto It = Entry.CharWidths.constFind(Code);
  if (It != Entry.CharWidths.constEnd())
    return *It;
  const int Width = Entry.Metrics.horizontalAdvance(Text.toString());
  Entry.CharWidths.insert(Code, Width);
  return Width;
}

// A single line's pixel height does not depend on its text in Qt's metrics:
// it is the font's ascent plus descent, as for "Tg".
int TQtTextMeasurer::TextHeight(const TCanvasFont& Font, QStringView) { return EntryFor(Font).Metrics.height(); }

int TQtTextMeasurer::FontHeight(const TCanvasFont& Font) {
  return -int(std::lround(DrawnPointSize(Font.Size) * FLogicalDpi / 72.0));
}
