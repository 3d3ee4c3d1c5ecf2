#include "overlay/OverlayLayout.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace {

// Exact, predictable metrics: every character is as wide as the font size in
// points (unless listed in Widths), "Tg" is twice the size high. Every call
// is recorded.
class TStubMeasurer : public TTextMeasurer {
public:
  std::map<char32_t, int> Widths;
  int FixedTextHeight = -1; // >= 0: the height of every text
  int FontHeightValue = 0;
  std::vector<std::pair<TCanvasFont, QString>> Calls;

  int CharWidth(const TCanvasFont& Font, char32_t Code) const {
    auto It = Widths.find(Code);
    return It != Widths.end() ? It->second : Font.Size;
  }
  int TextWidth(const TCanvasFont& Font, QStringView Text) override {
    Calls.emplace_back(Font, Text.toString());
    int Width = 0;
    for (char32_t Code : Text.toUcs4())
      Width += CharWidth(Font, Code);
    return Width;
  }
  int TextHeight(const TCanvasFont& Font, QStringView Text) override {
    Calls.emplace_back(Font, Text.toString());
    return FixedTextHeight >= 0 ? FixedTextHeight : 2 * Font.Size;
  }
  int FontHeight(const TCanvasFont&) override { return FontHeightValue; }

  // The sizes the search probed, in order (each probe measures at one size).
  std::vector<int> ProbedSizes() const {
    std::vector<int> Sizes;
    for (const auto& [Font, Text] : Calls)
      if (Sizes.empty() || Sizes.back() != Font.Size)
        Sizes.push_back(Font.Size);
    return Sizes;
  }
};

struct TDimensionsCase {
  const char* Name;
  QString Text;
  int FontSize;
  int AvailableWidth;
  double Factor;
  int TgHeight; // -1: twice the size
  int FontHeight;
  TTextSize Expected;
  QStringList ExpectedLines;
};

class GetTextDimensionsTable : public ::testing::TestWithParam<TDimensionsCase> {};

TEST_P(GetTextDimensionsTable, WrapsAndMeasures) {
  const TDimensionsCase& Case = GetParam();
  TStubMeasurer Stub;
  Stub.FixedTextHeight = Case.TgHeight;
  Stub.FontHeightValue = Case.FontHeight;
  const TCanvasFont Before{"Canvas", 5, true};
  TLayoutCanvas Canvas{Stub, Before};
  QStringList Lines{"kept"};
  const TTextSize Size =
      GetTextDimensions(Canvas, Case.Text, "Arial", Case.FontSize, Lines, Case.AvailableWidth, Case.Factor);
  EXPECT_EQ(Size, Case.Expected);
  EXPECT_EQ(Lines, QStringList{"kept"} + Case.ExpectedLines);
  EXPECT_EQ(Canvas.Font, Before);
  for (const auto& [Font, Text] : Stub.Calls)
    EXPECT_EQ(Font, (TCanvasFont{"Arial", Case.FontSize, false})) << Text.toStdString();
}

const TTextSize NoFit = NoFitTextSize;

INSTANTIATE_TEST_SUITE_P(
    Cases, GetTextDimensionsTable,
    ::testing::Values(
        TDimensionsCase{"EmptyText", "", 10, 50, 1.7, -1, 0, {0, 0}, {}},
        TDimensionsCase{"SizeBelowOne", "aa", 0, 50, 1.7, -1, 0, {0, 0}, {}},
        TDimensionsCase{"NoWidth", "aa", 10, 0, 1.7, -1, 0, {0, 0}, {}},
        // Tg 20 px, 1.7: 2 x 34 - 14.
        TDimensionsCase{"TwoLines", "aa bb cc", 10, 50, 1.7, -1, 0, {50, 54}, {"aa bb", "cc"}},
        TDimensionsCase{"ThreeLines88", "aaaa bbbb cccc", 10, 40, 1.7, -1, 0, {40, 88}, {"aaaa", "bbbb", "cccc"}},
        TDimensionsCase{"SingleCharacter", "a", 10, 50, 1.7, -1, 0, {10, 20}, {"a"}},
        TDimensionsCase{"WordWiderThanRoom", "aa bbbbbbb cc", 10, 50, 1.7, -1, 0, NoFit, {}},
        TDimensionsCase{"NoFitKeepsEarlierLines", "aa bb cc dddddddd", 10, 50, 1.7, -1, 0, NoFit, {"aa bb"}},
        TDimensionsCase{"SpacesOnly", "    ", 10, 50, 1.7, -1, 0, {0, 0}, {}},
        TDimensionsCase{"RepeatedSpacesSkipped", "  aa   bb ", 10, 100, 1.7, -1, 0, {50, 20}, {"aa bb"}},
        // 5 x 1.5 = 7.5 -> 8, 5 x 0.5 = 2.5 -> 2; 3 x 1.5 = 4.5 -> 4, 1.5 -> 2.
        TDimensionsCase{"HalfToEvenDown", "a", 10, 50, 1.5, 5, 0, {10, 6}, {"a"}},
        TDimensionsCase{"HalfToEvenUp", "a", 10, 50, 1.5, 3, 0, {10, 2}, {"a"}},
        TDimensionsCase{"NoSpacingFactor", "aa bb", 10, 20, 1.0, -1, 0, {20, 40}, {"aa", "bb"}},
        // "Tg" without height: the font's |height| 13, 22.1 -> 22, 9.1 -> 9.
        TDimensionsCase{"FontHeightFallback", "a", 10, 50, 1.7, 0, -13, {10, 13}, {"a"}}),
    [](const ::testing::TestParamInfo<TDimensionsCase>& Info) { return Info.param.Name; });

struct TSearchCase {
  const char* Name;
  QString Text;
  int RectWidth;
  int RectHeight;
  int MaxFontSize;
  int Expected;
  std::vector<int> ExpectedProbes; // empty: not checked
  int LowestProbe;
  int HighestProbe;
  bool ListUntouched = false;
};

class FindOptimalFontSizeTable : public ::testing::TestWithParam<TSearchCase> {};

TEST_P(FindOptimalFontSizeTable, SearchesWithinBounds) {
  const TSearchCase& Case = GetParam();
  TStubMeasurer Stub;
  TLayoutCanvas Canvas{Stub, {"Canvas", 9, false}};
  QStringList Lines{"before"};
  const int Size =
      FindOptimalFontSize(Canvas, Case.Text, "Arial", Case.RectWidth, Case.RectHeight, Lines, Case.MaxFontSize, 1.7);
  EXPECT_EQ(Size, Case.Expected);
  const std::vector<int> Probes = Stub.ProbedSizes();
  if (!Case.ExpectedProbes.empty()) {
    EXPECT_EQ(Probes, Case.ExpectedProbes);
  }
  for (int Probe : Probes) {
    EXPECT_GE(Probe, Case.LowestProbe);
    EXPECT_LE(Probe, Case.HighestProbe);
  }
  if (Case.ListUntouched) {
    EXPECT_EQ(Lines, QStringList{"before"});
  }
  if (Size > 0 && !Case.ListUntouched) {
    // The lines are those of the size found, whatever size was probed last.
    TStubMeasurer Fresh;
    TLayoutCanvas Other{Fresh, {}};
    QStringList Expected;
    GetTextDimensions(Other, Case.Text, "Arial", Size, Expected, Case.RectWidth, 1.7);
    EXPECT_EQ(Lines, Expected);
  }
}

// With the stub a one-line text at size s is 2s high, a character s wide.
INSTANTIATE_TEST_SUITE_P(
    Cases, FindOptimalFontSizeTable,
    ::testing::Values(
        TSearchCase{"Max40Box100", "a", 1000, 100, 40, 40, {24, 32, 36, 38, 39, 40}, 8, 40},
        TSearchCase{"Max6TriesNothing", "a", 1000, 100, 6, 0, {}, 0, 0, true},
        TSearchCase{"Max0TriesNothing", "a", 1000, 100, 0, 0, {}, 0, 0, true},
        TSearchCase{"BoundByBoxHeight", "a", 1000, 20, 40, 10, {}, 8, 20},
        TSearchCase{"WordTooWideAt8", "abcdefghij", 70, 100, 40, 0, {24, 15, 11, 9, 8}, 8, 40},
        TSearchCase{"SpacesOnlyClimbsToTheTop", "   ", 100, 30, 40, 30, {}, 8, 30},
        // 13 fits, 14 (probed last) wraps differently and does not.
        TSearchCase{"LastProbeTooLarge", "aa bb cc dd ee ff gg hh", 150, 120, 40, 13, {24, 15, 11, 13, 14}, 8, 40},
        TSearchCase{"EmptyText", "", 100, 100, 40, 8, {}, 0, 0, true},
        TSearchCase{"NoWidth", "a", 0, 100, 40, 8, {}, 0, 0, true},
        TSearchCase{"NoHeight", "a", 100, 0, 40, 8, {}, 0, 0, true}),
    [](const ::testing::TestParamInfo<TSearchCase>& Info) { return Info.param.Name; });

// The search as plainly written: every probe wraps all of the text, and the
// lines of the size found are made once more at the end.
int PlainSearch(TLayoutCanvas& Canvas, const QString& Text, int Width, int Height, QStringList& Lines, int Max) {
  int Low = MIN_FONTSIZE, High = std::min(Max, Height), Optimal = 0;
  while (Low <= High) {
    const int Mid = std::max(Low + (High - Low) / 2, MIN_FONTSIZE);
    Lines.clear();
    const TTextSize Size = GetTextDimensions(Canvas, Text, "Arial", Mid, Lines, Width, 1.7);
    if (Size.Width <= Width && Size.Height <= Height) {
      Optimal = Mid;
      Low = Mid + 1;
    } else {
      High = Mid - 1;
    }
  }
  if (Optimal > 0) {
    Lines.clear();
    GetTextDimensions(Canvas, Text, "Arial", Optimal, Lines, Width, 1.7);
  }
  return Optimal;
}

TEST(FindOptimalFontSize, AnswersAsThePlainSearchDoes) {
  uint32_t Seed = 12345;
  const auto Next = [&](uint32_t Range) {
    Seed = Seed * 1103515245u + 12345u;
    return (Seed >> 8) % Range;
  };
  for (int Case = 0; Case < 2000; ++Case) {
    QString Text;
    for (uint32_t Word = 0, Words = 1 + Next(25); Word < Words; ++Word)
      Text += QString(int(1 + Next(Case % 5 == 0 ? 14 : 7)), QChar(u'a' + Next(26))) + QString(int(Next(3)), u' ');
    const int Width = 20 + int(Next(300)), Height = 5 + int(Next(200)), Max = int(Next(60));
    TStubMeasurer Stub;
    Stub.Widths[U'm'] = 0; // not every text grows with the size
    TLayoutCanvas Canvas{Stub, {}};
    QStringList Expected{"old"}, Lines{"old"};
    const int ExpectedSize = PlainSearch(Canvas, Text, Width, Height, Expected, Max);
    ASSERT_EQ(FindOptimalFontSize(Canvas, Text, "Arial", Width, Height, Lines, Max, 1.7), ExpectedSize)
        << Text.toStdString() << " " << Width << "x" << Height << " max " << Max;
    ASSERT_EQ(Lines, Expected) << Text.toStdString() << " " << Width << "x" << Height << " max " << Max;
  }
}

TEST(FindOptimalFontSize, LeavesTheCanvasFontAsItWas) {
  TStubMeasurer Stub;
  const TCanvasFont Before{"Canvas", 11, true};
  TLayoutCanvas Canvas{Stub, Before};
  QStringList Lines;
  FindOptimalFontSize(Canvas, "aa bb cc dd", "Arial", 100, 100, Lines, 30, 1.7);
  EXPECT_EQ(Canvas.Font, Before);
}

const QString Emoji = QString::fromUcs4(U"\U0001F600");

struct TSplitCase {
  const char* Name;
  QString Text;
  int RectWidth;
  QStringList Expected;
};

class SplitParagraphTable : public ::testing::TestWithParam<TSplitCase> {};

// Characters 10 wide, so "AAAA" reserves 40 of the width.
TEST_P(SplitParagraphTable, BreaksByCharacters) {
  const TSplitCase& Case = GetParam();
  TStubMeasurer Stub;
  const TCanvasFont Font{"Canvas", 10, true};
  TLayoutCanvas Canvas{Stub, Font};
  QStringList Lines{"kept"};
  SplitParagraph(Canvas, Case.Text, Case.RectWidth, Lines);
  EXPECT_EQ(Lines, QStringList{"kept"} + Case.Expected);
  ASSERT_FALSE(Stub.Calls.empty());
  EXPECT_EQ(Stub.Calls.front().second, "AAAA");
  for (const auto& [Measured, Text] : Stub.Calls) {
    EXPECT_EQ(Measured, Font);
    EXPECT_FALSE(Text.size() == 1 && Text[0].isSurrogate() && Case.Text.contains(Emoji))
        << "half of a surrogate pair measured alone";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitParagraphTable,
    ::testing::Values(
        // 40 + 7 x 10 = 110 > 100: the seventh character closes the line and stays on it.
        TSplitCase{"ReserveAndOverflowStays", "abcdefghij", 100, {"abcdefg", "hij"}},
        TSplitCase{"LastLineOneCharacter", "abcdefgh", 100, {"abcdefg", "h"}},
        TSplitCase{"SingleCharacter", "a", 100, {"a"}}, TSplitCase{"EmptyText", "", 100, {}},
        TSplitCase{"ExactFitDoesNotBreak", "abcdef", 100, {"abcdef"}},
        TSplitCase{"NarrowerThanReserve", "abc", 30, {"a", "b", "c"}},
        TSplitCase{"SpacesAreCharacters", "ab de  hi j", 100, {"ab de  ", "hi j"}},
        TSplitCase{"SurrogatePairKeptWhole", "abcdef" + Emoji + "gh", 100, {"abcdef" + Emoji, "gh"}},
        TSplitCase{"SurrogatePairStartsALine", "abcdefg" + Emoji + "h", 100, {"abcdefg", Emoji + "h"}},
        TSplitCase{
            "LoneSurrogateIsOneUnit", QString("ab") + QChar(0xD83D) + "c", 100, {QString("ab") + QChar(0xD83D) + "c"}}),
    [](const ::testing::TestParamInfo<TSplitCase>& Info) { return Info.param.Name; });

TEST(SplitParagraph, MeasuresAPairOutsideTheBmpAsOneCharacter) {
  TStubMeasurer Stub;
  Stub.Widths[0x1F600] = 70; // alone it overflows 40 + 70 > 100
  TLayoutCanvas Canvas{Stub, {"Canvas", 10, false}};
  QStringList Lines;
  SplitParagraph(Canvas, "a" + Emoji + "b", 100, Lines);
  EXPECT_EQ(Lines, (QStringList{"a" + Emoji, "b"}));
  bool AskedForThePair = false;
  for (const auto& Call : Stub.Calls)
    AskedForThePair = AskedForThePair || Call.second == Emoji;
  EXPECT_TRUE(AskedForThePair);
}

} // namespace
