#include "overlay/OverlayLayout.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// Rounds to the nearest integer, halves to the even neighbour, and keeps the
// result inside 32 bits.
int64_t RoundHalfEven(double Value) {
  const double Rounded = std::nearbyint(Value);
  if (!(Rounded > double(std::numeric_limits<int32_t>::min())))
    return std::numeric_limits<int32_t>::min();
  if (!(Rounded < double(std::numeric_limits<int32_t>::max())))
    return std::numeric_limits<int32_t>::max();
  return int64_t(Rounded);
}

int32_t Saturate(int64_t Value) {
  return int32_t(std::clamp<int64_t>(Value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

// Puts the canvas font back on every way out of GetTextDimensions.
class TFontRestorer {
public:
  explicit TFontRestorer(TLayoutCanvas& Canvas) : FCanvas(Canvas), FSaved(Canvas.Font) {}
  ~TFontRestorer() { FCanvas.Font = FSaved; }
  TFontRestorer(const TFontRestorer&) = delete;
  TFontRestorer& operator=(const TFontRestorer&) = delete;

private:
  TLayoutCanvas& FCanvas;
  TCanvasFont FSaved;
};

} // namespace

namespace {

// GetTextDimensions, which may stop early once the block is certain to be
// taller than HeightLimit (none when negative): the lines are then incomplete
// and CutShort is set.
// Every size it answers in full is the size GetTextDimensions answers.
TTextSize WrapText(TLayoutCanvas& ACanvas, const QString& AText, const QString& AFontName, int AFontSize,
                   QStringList& WrappedLines, int AvailableWidth, double ALineSpacingFactor, int64_t HeightLimit,
                   bool& CutShort) {
  CutShort = false;
  if (AText.isEmpty() || AFontSize < 1 || AvailableWidth < 1)
    return {0, 0};
  TFontRestorer Restore(ACanvas);
  ACanvas.Font.Name = AFontName;
  ACanvas.Font.Size = AFontSize;
  ACanvas.Font.Bold = false;

  // The height of n lines, n x EffectiveLineHeight less one spacing.
  int64_t EffectiveLineHeight = 0;
  int64_t LastLineSaving = 0;
  const auto MeasureLineHeight = [&] {
    int SingleLinePixelHeight = ACanvas.TextHeight(u"Tg");
    if (SingleLinePixelHeight <= 0)
      SingleLinePixelHeight = std::abs(ACanvas.Measurer.FontHeight(ACanvas.Font));
    EffectiveLineHeight = RoundHalfEven(SingleLinePixelHeight * ALineSpacingFactor);
    if (ALineSpacingFactor > 1.0)
      LastLineSaving = RoundHalfEven(SingleLinePixelHeight * (ALineSpacingFactor - 1.0));
  };
  const auto BlockHeight = [&](int64_t Lines) { return Lines * EffectiveLineHeight - LastLineSaving; };
  // More lines only make the block taller when a line has height.
  const bool MayStopEarly = HeightLimit >= 0;
  if (MayStopEarly)
    MeasureLineHeight();

  int LineCount = 0;
  int MaxLineWidth = 0;
  QString CurrentLine;
  // The width of CurrentLine is always one measured before (as a test line
  // or as a lone word), so closing a line needs no second measurement.
  int CurrentWidth = 0;
  const auto CloseLine = [&] {
    WrappedLines.append(CurrentLine);
    ++LineCount;
    MaxLineWidth = std::max(MaxLineWidth, CurrentWidth);
  };
  for (QStringView Word : QStringView(AText).split(u' ')) {
    if (Word.isEmpty())
      continue;
    QString TestLine;
    TestLine.reserve(CurrentLine.size() + 1 + Word.size());
    if (!CurrentLine.isEmpty())
      TestLine.append(CurrentLine).append(u' ');
    TestLine.append(Word);
    const int TestWidth = ACanvas.TextWidth(TestLine);
    if (TestWidth <= AvailableWidth) {
      CurrentLine = TestLine;
      CurrentWidth = TestWidth;
      continue;
    }
    const int WordWidth = CurrentLine.isEmpty() ? TestWidth : ACanvas.TextWidth(Word);
    if (WordWidth > AvailableWidth)
      return NoFitTextSize;
    if (!CurrentLine.isEmpty())
      CloseLine();
    CurrentLine = Word.toString();
    CurrentWidth = WordWidth;
    // The closed lines and the one begun are there whatever follows.
    if (MayStopEarly && EffectiveLineHeight > 0 && BlockHeight(LineCount + 1) > HeightLimit) {
      CutShort = true;
      return {MaxLineWidth, Saturate(BlockHeight(LineCount + 1))};
    }
  }
  if (!CurrentLine.isEmpty())
    CloseLine();
  if (LineCount == 0)
    return {0, 0};
  if (!MayStopEarly)
    MeasureLineHeight();
  return {MaxLineWidth, Saturate(BlockHeight(LineCount))};
}

} // namespace

size_t qHash(const TCanvasFont& Font, size_t Seed) { return qHashMulti(Seed, Font.Name, Font.Size, Font.Bold); }

TTextSize GetTextDimensions(TLayoutCanvas& ACanvas, const QString& AText, const QString& AFontName, int AFontSize,
                            QStringList& WrappedLines, int AvailableWidth, double ALineSpacingFactor) {
  bool CutShort = false;
  return WrapText(ACanvas, AText, AFontName, AFontSize, WrappedLines, AvailableWidth, ALineSpacingFactor, -1, CutShort);
}

int FindOptimalFontSize(TLayoutCanvas& ACanvas, const QString& AText, const QString& AFontName, int ARectWidth,
                        int ARectHeight, QStringList& WrappedLines, int MaxFontSize, double ALineSpacingFactor) {
  if (AText.isEmpty() || ARectWidth < 1 || ARectHeight < 1)
    return MIN_FONTSIZE;
  int64_t LowFontSize = MIN_FONTSIZE;
  int64_t HighFontSize = std::min(MaxFontSize, ARectHeight);
  int OptimalSize = 0;
  int LastProbe = 0;
  bool LastCutShort = false;
  QStringList OptimalLines;
  // A height that saturates the size pair cannot be told from the limit.
  const int64_t HeightLimit = ARectHeight < std::numeric_limits<int32_t>::max() ? ARectHeight : -1;
  while (LowFontSize <= HighFontSize) {
    const int MidFontSize = int(std::max<int64_t>(LowFontSize + (HighFontSize - LowFontSize) / 2, MIN_FONTSIZE));
    WrappedLines.clear();
    // A probe that is already too tall need not wrap the rest of the text:
    // it is rejected either way.
    const TTextSize Size = WrapText(ACanvas, AText, AFontName, MidFontSize, WrappedLines, ARectWidth,
                                    ALineSpacingFactor, HeightLimit, LastCutShort);
    LastProbe = MidFontSize;
    if (Size.Width <= ARectWidth && Size.Height <= ARectHeight) {
      OptimalSize = MidFontSize;
      OptimalLines = WrappedLines;
      LowFontSize = int64_t(MidFontSize) + 1;
    } else {
      HighFontSize = int64_t(MidFontSize) - 1;
    }
  }
  if (OptimalSize > 0) {
    // The lines of the best size, kept from its probe rather than wrapped
    // once more.
    if (LastProbe != OptimalSize)
      WrappedLines = OptimalLines;
  } else if (LastCutShort) {
    // Nothing fits: the list holds the last probe's lines, all of them.
    WrappedLines.clear();
    GetTextDimensions(ACanvas, AText, AFontName, LastProbe, WrappedLines, ARectWidth, ALineSpacingFactor);
  }
  return OptimalSize;
}

void SplitParagraph(TLayoutCanvas& ACanvas, const QString& Text, int RectWidth, QStringList& Lines) {
  const int64_t InitWidth = ACanvas.TextWidth(u"AAAA");
  int64_t CurW = InitWidth;
  qsizetype LineStart = 0;
  qsizetype I = 0;
  while (I < Text.size()) {
    const qsizetype Length = Text[I].isHighSurrogate() && I + 1 < Text.size() && Text[I + 1].isLowSurrogate() ? 2 : 1;
    CurW += ACanvas.TextWidth(QStringView(Text).mid(I, Length));
    I += Length;
    if (CurW > RectWidth) {
      Lines.append(Text.mid(LineStart, I - LineStart));
      LineStart = I;
      CurW = InitWidth;
    }
  }
  if (LineStart < Text.size())
    Lines.append(Text.mid(LineStart));
}
