#pragma once

#include "overlay/OverlayLayout.h"

#include <QFont>
#include <QFontMetrics>
#include <QHash>
#include <QImage>

#include <memory>

// Measures with Qt's font metrics at a given resolution, the same fonts the
// overlay then draws with. Fonts and the widths of single characters are
// kept per font: the layout asks for the same ones over and over.
class TQtTextMeasurer : public TTextMeasurer {
public:
  // LogicalDpi is the vertical resolution of the surface drawn on.
  explicit TQtTextMeasurer(int LogicalDpi);

  int TextWidth(const TCanvasFont& Font, QStringView Text) override;
  int TextHeight(const TCanvasFont& Font, QStringView Text) override;
  int FontHeight(const TCanvasFont& Font) override;

  int LogicalDpi() const { return FLogicalDpi; }
  // The font that draws what was measured in Font.
  const QFont& QtFont(const TCanvasFont& Font) { return EntryFor(Font).Font; }
  const QFontMetrics& Metrics(const TCanvasFont& Font) { return EntryFor(Font).Metrics; }

  // Sizes the toolkit cannot show (below one point) are measured and drawn
  // at MIN_FONTSIZE; sizes beyond any screen at MaxPointSize.
  static constexpr int MaxPointSize = 4096;
  static int DrawnPointSize(int Size);

private:
  struct TEntry {
    TEntry(const QFont& F, const QPaintDevice* Device) : Font(F), Metrics(F, Device) {}
    QFont Font;
    QFontMetrics Metrics;
    QHash<char32_t, int> CharWidths;
  };
  TEntry& EntryFor(const TCanvasFont& Font);

  int FLogicalDpi;
  QImage FDevice; // carries the resolution for QFontMetrics
  QHash<TCanvasFont, std::shared_ptr<TEntry>> FEntries;
  TCanvasFont FLastFont;
  TEntry* FLast = nullptr;
};
