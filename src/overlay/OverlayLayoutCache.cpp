#include "overlay/OverlayLayoutCache.h"

#include <algorithm>

namespace {
// Far more records than a screen holds; beyond it the cache starts afresh.
constexpr qsizetype MaxEntries = 4096;
} // namespace

const TLayoutCache::TEntry* TLayoutCache::Find(const TKey& Key) const {
  auto It = FEntries.constFind(Key);
  return It == FEntries.constEnd() ? nullptr : &*It;
}

void TLayoutCache::Insert(const TKey& Key, TEntry Entry) {
  if (FEntries.size() >= MaxEntries)
    FEntries.clear();
  FEntries.insert(Key, std::move(Entry));
}

void TLayoutCache::Clear() { FEntries.clear(); }

void TLayoutCache::SplitParagraph(TLayoutCanvas& ACanvas, const QString& Text, int RectWidth, QStringList& Lines) {
  const TKey Key{Text, ACanvas.Font, RectWidth, 0, 0, 0, false};
  if (const TEntry* Known = Find(Key)) {
    Lines += Known->Lines;
    return;
  }
  TEntry Entry;
  ::SplitParagraph(ACanvas, Text, RectWidth, Entry.Lines);
  Lines += Entry.Lines;
  Insert(Key, std::move(Entry));
}

int TLayoutCache::FindOptimalFontSize(TLayoutCanvas& ACanvas, const QString& AText, const QString& AFontName,
                                      int ARectWidth, int ARectHeight, QStringList& WrappedLines, int MaxFontSize,
                                      double ALineSpacingFactor) {
  // Without a probe the routine measures nothing and leaves the list as it
  // was; with one, what it leaves does not depend on what the list held.
  if (AText.isEmpty() || ARectWidth < 1 || ARectHeight < 1 || std::min(MaxFontSize, ARectHeight) < MIN_FONTSIZE)
    return ::FindOptimalFontSize(ACanvas, AText, AFontName, ARectWidth, ARectHeight, WrappedLines, MaxFontSize,
                                 ALineSpacingFactor);
  const TKey Key{AText, {AFontName, 0, false}, ARectWidth, ARectHeight, MaxFontSize, ALineSpacingFactor, true};
  if (const TEntry* Known = Find(Key)) {
    WrappedLines = Known->Lines;
    return Known->Size;
  }
  const int Size = ::FindOptimalFontSize(ACanvas, AText, AFontName, ARectWidth, ARectHeight, WrappedLines, MaxFontSize,
                                         ALineSpacingFactor);
  Insert(Key, {Size, WrappedLines});
  return Size;
}
