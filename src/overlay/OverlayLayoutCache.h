#pragma once

#include "overlay/OverlayLayout.h"

#include <QHash>

// Remembers what the layout routines answered, so that painting the same
// records again measures nothing. The routines are pure functions of their
// arguments and the measurer's answers, so a remembered answer is the answer;
// one cache serves one measurer.
class TLayoutCache {
public:
  // As ::SplitParagraph; the lines are appended to Lines.
  void SplitParagraph(TLayoutCanvas& ACanvas, const QString& Text, int RectWidth, QStringList& Lines);
  // As ::FindOptimalFontSize; WrappedLines is replaced by the lines it leaves.
  int FindOptimalFontSize(TLayoutCanvas& ACanvas, const QString& AText, const QString& AFontName, int ARectWidth,
                          int ARectHeight, QStringList& WrappedLines, int MaxFontSize, double ALineSpacingFactor);
  void Clear();

private:
  struct TKey {
    QString Text;
    TCanvasFont Font; // the canvas font; only the name for the fitting
    int Width = 0;
    int Height = 0;
    int MaxFontSize = 0;
    double Factor = 0;
    bool Fitting = false;
    friend bool operator==(const TKey&, const TKey&) = default;
    friend size_t qHash(const TKey& Key, size_t Seed) {
      return qHashMulti(Seed, Key.Text, Key.Font, Key.Width, Key.Height, Key.MaxFontSize, Key.Factor, Key.Fitting);
    }
  };
  struct TEntry {
    int Size = 0;
    QStringList Lines;
  };
  const TEntry* Find(const TKey& Key) const;
  void Insert(const TKey& Key, TEntry Entry);

  QHash<TKey, TEntry> FEntries;
};
