#include "text/OCRLayout.h"

#include <gtest/gtest.h>

#include <array>

namespace {

// A box with its engine font size (Ceil(0.7 x height)) unless one is given.
TIteratorResult Box(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom, const QString& Text = "w",
                    int32_t FontSize = -1) {
  TIteratorResult R;
  R.Left = Left;
  R.Top = Top;
  R.Right = Right;
  R.Bottom = Bottom;
  R.Text = Text;
  R.FFontSize = FontSize >= 0 ? FontSize : FontSizeForHeight(double(Bottom) - Top);
  return R;
}

struct TPairCase {
  const char* Name;
  TIteratorResult V1, V2;
  bool Expected;
};

void PrintTo(const TPairCase& Case, std::ostream* Out) { *Out << Case.Name; }

class SameLine : public ::testing::TestWithParam<TPairCase> {};

TEST_P(SameLine, Rule) { EXPECT_EQ(IsSameLine(GetParam().V1, GetParam().V2), GetParam().Expected); }

// V1 is 20 high (font size 14) at 100..120 unless a case says otherwise.
INSTANTIATE_TEST_SUITE_P(
    Rules, SameLine,
    ::testing::Values(
        // Centre of the shorter V2 (height 10) inside V1, both bounds inclusive.
        TPairCase{"ShorterCentreInside", Box(0, 100, 50, 120), Box(60, 110, 80, 120), true},
        TPairCase{"ShorterCentreOnBottom", Box(0, 100, 50, 120), Box(60, 115, 80, 125), true},
        TPairCase{"ShorterCentreBelowBottom", Box(0, 100, 50, 120), Box(60, 116, 80, 126), false},
        TPairCase{"ShorterCentreOnTop", Box(0, 100, 50, 120), Box(60, 95, 80, 105), true},
        TPairCase{"ShorterCentreAboveTop", Box(0, 100, 50, 120), Box(60, 94, 80, 104), false},
        // The centre keeps its half pixel: 109 + 11 / 2 = 114.5.
        TPairCase{"HalfPixelCentreOutside", Box(0, 100, 50, 114), Box(60, 109, 80, 120), false},
        TPairCase{"HalfPixelCentreInside", Box(0, 100, 50, 115), Box(60, 109, 80, 120), true},
        // V1 shorter: its centre (105) must lie in V2.
        TPairCase{"PreviousShorterInside", Box(0, 100, 50, 110), Box(60, 80, 80, 105), true},
        TPairCase{"PreviousShorterOutside", Box(0, 100, 50, 110), Box(60, 80, 80, 104), false},
        // Equal heights: V1's centre (105) against V2.
        TPairCase{"TieCentreOnTop", Box(0, 100, 50, 110), Box(60, 105, 80, 115), true},
        TPairCase{"TieCentreAboveTop", Box(0, 100, 50, 110), Box(60, 106, 80, 116), false},
        // The centre is a single-precision float: 16777217 becomes 16777216.
        TPairCase{"CentreRoundedToFloat", Box(0, 16777217, 50, 16777217), Box(60, 16777217, 80, 16777300), false},
        // Gap up to 10 x the larger font size (14): 140 joins, 141 does not.
        TPairCase{"GapOneHundred", Box(0, 100, 50, 120), Box(150, 110, 170, 120), true},
        TPairCase{"GapExactlyTenW", Box(0, 100, 50, 120), Box(190, 110, 210, 120), true},
        TPairCase{"GapOneMore", Box(0, 100, 50, 120), Box(191, 110, 211, 120), false},
        TPairCase{"GapUsesLargerFontOfV2", Box(0, 100, 50, 120, "w", 7), Box(190, 100, 210, 120, "w", 14), true},
        TPairCase{"GapWithFontSizesAsGiven", Box(0, 100, 50, 120, "w", 1), Box(61, 100, 80, 120, "w", 1), false},
        TPairCase{"OverlappingBoxes", Box(0, 100, 50, 120), Box(20, 100, 70, 120), true},
        // A word starting left of the previous one starts a new line.
        TPairCase{"SameLeft", Box(30, 100, 50, 120), Box(30, 100, 80, 120), true},
        TPairCase{"LeftOfPrevious", Box(30, 100, 50, 120), Box(29, 100, 80, 120), false}),
    [](const auto& Info) { return std::string(Info.param.Name); });

class SameSegment : public ::testing::TestWithParam<TPairCase> {};

TEST_P(SameSegment, Rule) { EXPECT_EQ(IsSameSegment(GetParam().V1, GetParam().V2), GetParam().Expected); }

const QString Bullet = QString(QChar(0x2022)) + " item";
const QString Dash = QString(QChar(0x2014)) + " item";

// Lines are 20 high; V1 at 100..120 with Left 100 unless a case says otherwise.
INSTANTIATE_TEST_SUITE_P(
    Rules, SameSegment,
    ::testing::Values(
        // Rule 4: gap G = |V2.Top - V1.Bottom| against V2's height; G = H joins.
        TPairCase{"GapEqualsHeight", Box(100, 100, 300, 120), Box(100, 140, 300, 160), true},
        TPairCase{"GapOneMore", Box(100, 100, 300, 120), Box(100, 141, 300, 161), false},
        TPairCase{"GapAgainstLowerLineHeight", Box(100, 100, 300, 120), Box(100, 150, 300, 180), true},
        TPairCase{"OverlapCountsAsGap", Box(100, 100, 300, 120), Box(100, 105, 300, 125), true},
        TPairCase{"DeepOverlapIsAGap", Box(100, 100, 300, 120), Box(100, 90, 300, 95), false},
        // Rule 3: V2 sticking out left by more than 2 x the smaller height (2 x 10).
        TPairCase{"OutdentTwiceW", Box(100, 100, 300, 120), Box(80, 125, 300, 135), true},
        TPairCase{"OutdentMore", Box(100, 100, 300, 120), Box(79, 125, 300, 135), false},
        TPairCase{"IndentAnyAmount", Box(100, 100, 300, 120), Box(900, 125, 1000, 145), true},
        // Rule 2: a bulleted line starts a segment.
        TPairCase{"BulletStartsSegment", Box(100, 100, 300, 120), Box(100, 125, 300, 145, Bullet), false},
        TPairCase{"DashStartsSegment", Box(100, 100, 300, 120), Box(100, 125, 300, 145, Dash), false},
        TPairCase{"HyphenIsNoBullet", Box(100, 100, 300, 120), Box(100, 125, 300, 145, "- item"), true},
        TPairCase{"EnDashIsNoBullet", Box(100, 100, 300, 120), Box(100, 125, 300, 145, QString(QChar(0x2013)) + " x"),
                  true},
        TPairCase{"BulletNotAtStart", Box(100, 100, 300, 120), Box(100, 125, 300, 145, "a " + Bullet), true},
        // Rule 1: under a bulleted line, indented by more than W (20) and G < H.
        TPairCase{"IndentedSubItem", Box(100, 100, 300, 120, Bullet), Box(121, 130, 300, 150, Bullet), true},
        TPairCase{"SubItemIndentNotMore", Box(100, 100, 300, 120, Bullet), Box(120, 130, 300, 150, Bullet), false},
        TPairCase{"SubItemGapStrict", Box(100, 100, 300, 120, Bullet), Box(121, 140, 300, 160, Bullet), false},
        TPairCase{"SubItemGapBelowH", Box(100, 100, 300, 120, Bullet), Box(121, 139, 300, 159, Bullet), true},
        TPairCase{"DashSubItem", Box(100, 100, 300, 120, Dash), Box(121, 130, 300, 150, Dash), true},
        TPairCase{"BulletThenPlainLine", Box(100, 100, 300, 120, Bullet), Box(100, 140, 300, 160), true},
        TPairCase{"BulletThenIndentedGapEqualsH", Box(100, 100, 300, 120, Bullet), Box(121, 140, 300, 160), true}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST(GroupingToTextLine, EmptyInputGivesEmptyList) { EXPECT_TRUE(GroupingToTextLine({}).empty()); }

TEST(GroupingToSegment, EmptyInputGivesEmptyList) { EXPECT_TRUE(GroupingToSegment({}).empty()); }

TEST(GroupingToTextLine, SingleWordTakesItsFontSizeFromItsHeight) {
  TIteratorResult Word = Box(5, 10, 50, 30, "abc", 99);
  Word.MaxLength = 4;
  const TIteratorResultList Lines = GroupingToTextLine({Word});
  ASSERT_EQ(Lines.size(), 1u);
  EXPECT_EQ(Lines[0].Count, 1);
  EXPECT_EQ(Lines[0].FFontSize, 14);
  EXPECT_EQ(Lines[0].MaxLength, 4);
  EXPECT_EQ(Lines[0].Text, "abc");
  EXPECT_TRUE(GroupingToTextLine({Box(5, 10, 50, 30, "")}).empty());
}

TEST(GroupingToTextLine, JoinsWordsOfALine) {
  // 20 high, then 10 high 100 px to the right, then a taller word: the line
  // takes the tallest word's extent, not the union.
  const TIteratorResultList Lines = GroupingToTextLine({Box(10, 100, 50, 120, "Hello"), Box(150, 105, 170, 115, "big"),
                                                        Box(175, 98, 200, 122, "W"), Box(205, 101, 230, 119, "x")});
  ASSERT_EQ(Lines.size(), 1u);
  EXPECT_EQ(Lines[0].Text, "Hello big W x");
  EXPECT_EQ(Lines[0].Count, 4);
  EXPECT_EQ((std::array{Lines[0].Left, Lines[0].Top, Lines[0].Right, Lines[0].Bottom}), (std::array{10, 98, 230, 122}));
  EXPECT_EQ(Lines[0].FFontSize, 7);
  EXPECT_EQ(Lines[0].MaxLength, 0);
}

TEST(GroupingToTextLine, EqualHeightKeepsTheFirstExtent) {
  const TIteratorResultList Lines = GroupingToTextLine({Box(10, 100, 50, 120, "a"), Box(60, 102, 90, 122, "b")});
  ASSERT_EQ(Lines.size(), 1u);
  EXPECT_EQ(Lines[0].Top, 100);
  EXPECT_EQ(Lines[0].Bottom, 120);
}

TEST(GroupingToTextLine, LeftZeroCountsAsNotSet) {
  const TIteratorResultList Lines = GroupingToTextLine({Box(0, 100, 50, 120, "a"), Box(60, 100, 90, 120, "b")});
  ASSERT_EQ(Lines.size(), 1u);
  EXPECT_EQ(Lines[0].Left, 60);
}

TEST(GroupingToTextLine, ALaterLineCopiesItsFirstWord) {
  TIteratorResult Second = Box(10, 200, 40, 220, "next", 3);
  Second.MaxLength = 9;
  Second.Count = 42;
  const TIteratorResultList Lines = GroupingToTextLine({Box(10, 100, 50, 120, "one"), Second});
  ASSERT_EQ(Lines.size(), 2u);
  EXPECT_EQ(Lines[1].FFontSize, 3);
  EXPECT_EQ(Lines[1].MaxLength, 9);
  EXPECT_EQ(Lines[1].Count, 1);
  EXPECT_EQ(Lines[1].Text, "next");
}

TEST(GroupingToTextLine, EmptyTextsDoubleSpacesAndDropLoneEmptyWords) {
  const TIteratorResultList Lines =
      GroupingToTextLine({Box(10, 100, 20, 120, "a"), Box(30, 100, 40, 120, ""), Box(50, 100, 60, 120, "b"),
                          Box(10, 300, 20, 320, ""), Box(10, 500, 20, 520, ""), Box(30, 500, 40, 520, "")});
  ASSERT_EQ(Lines.size(), 2u);
  EXPECT_EQ(Lines[0].Text, "a  b");
  EXPECT_EQ(Lines[1].Text, " ");
  EXPECT_EQ(Lines[1].Count, 2);
  EXPECT_TRUE(GroupingToTextLine({Box(10, 100, 20, 120, ""), Box(10, 300, 20, 320, "")}).empty());
}

TEST(GroupingToSegment, JoinsLinesIntoSegments) {
  const QString Smile = QString::fromUtf8("\xF0\x9F\x98\x80\xF0\x9F\x98\x80"); // two UTF-16 pairs
  const TIteratorResultList Segments = GroupingToSegment(
      {Box(100, 100, 400, 120, "first line", 14), Box(90, 125, 380, 141, Smile, 11), Box(100, 145, 420, 165, "ab", 12),
       Box(100, 300, 200, 320, Bullet, 14), Box(130, 325, 250, 345, Bullet, 14)});
  ASSERT_EQ(Segments.size(), 2u);
  const TIteratorResult& A = Segments[0];
  EXPECT_EQ(A.Text, "first line " + Smile + " ab");
  EXPECT_EQ((std::array{A.Left, A.Top, A.Right, A.Bottom}), (std::array{90, 100, 420, 165}));
  EXPECT_EQ(A.Count, 3);
  EXPECT_EQ(A.MaxLength, 10);
  EXPECT_EQ(A.FFontSize, 11);
  const TIteratorResult& B = Segments[1];
  EXPECT_EQ(B.Text, Bullet + " " + Bullet);
  EXPECT_EQ((std::array{B.Left, B.Top, B.Right, B.Bottom}), (std::array{100, 300, 250, 345}));
  EXPECT_EQ(B.Count, 2);
  EXPECT_EQ(B.MaxLength, 6);
}

TEST(GroupingToSegment, StartAndRestartSetCountAndMaxLength) {
  TIteratorResult First = Box(10, 100, 50, 120, "abc", 9);
  First.Count = 7;
  First.MaxLength = 99;
  TIteratorResult Later = Box(10, 400, 50, 420, "longer", 5);
  Later.Count = 7;
  Later.MaxLength = 99;
  const TIteratorResultList Segments = GroupingToSegment({First, Later});
  ASSERT_EQ(Segments.size(), 2u);
  EXPECT_EQ(Segments[0].Count, 1);
  EXPECT_EQ(Segments[0].MaxLength, 3);
  EXPECT_EQ(Segments[0].FFontSize, 9);
  EXPECT_EQ(Segments[1].Count, 1);
  EXPECT_EQ(Segments[1].MaxLength, 6);
  EXPECT_EQ(Segments[1].FFontSize, 5);
}

TEST(GroupingToSegment, TopAndLeftZeroCountAsNotSet) {
  // A first line at the image's top-left corner: the second line's extent
  // replaces it rather than being united with it.
  const TIteratorResultList Segments = GroupingToSegment({Box(0, 0, 100, 20, "a"), Box(5, 20, 90, 36, "b")});
  ASSERT_EQ(Segments.size(), 1u);
  EXPECT_EQ((std::array{Segments[0].Left, Segments[0].Top, Segments[0].Right, Segments[0].Bottom}),
            (std::array{5, 20, 100, 36}));
}

TEST(GroupingToSegment, EmptyTextsDropOnlyLoneEmptyLines) {
  const TIteratorResultList Segments =
      GroupingToSegment({Box(10, 100, 50, 120, ""), Box(10, 300, 50, 320, "x"), Box(10, 322, 50, 342, "")});
  ASSERT_EQ(Segments.size(), 1u);
  EXPECT_EQ(Segments[0].Text, "x ");
  EXPECT_EQ(Segments[0].MaxLength, 1);
}

TEST(Grouping, WordsOfAPageBecomeLinesThenSegments) {
  auto Word = [](int32_t Left, int32_t Top, const QString& Text) {
    return Box(Left, Top, Left + 10 * int32_t(Text.size()), Top + 20, Text);
  };
  const TIteratorResultList Words = {Word(10, 10, "The"),   Word(50, 11, "quick"), Word(110, 10, "fox"),
                                     Word(10, 35, "jumps"), Word(70, 36, "over."), Word(10, 120, "Next"),
                                     Word(60, 121, "one")};
  const TIteratorResultList Lines = GroupingToTextLine(Words);
  ASSERT_EQ(Lines.size(), 3u);
  EXPECT_EQ(Lines[0].Text, "The quick fox");
  EXPECT_EQ(Lines[1].Text, "jumps over.");
  EXPECT_EQ(Lines[2].Text, "Next one");
  const TIteratorResultList Segments = GroupingToSegment(Lines);
  ASSERT_EQ(Segments.size(), 2u);
  EXPECT_EQ(Segments[0].Text, "The quick fox jumps over.");
  EXPECT_EQ(Segments[0].Count, 2);
  EXPECT_EQ((std::array{Segments[0].Left, Segments[0].Top, Segments[0].Right, Segments[0].Bottom}),
            (std::array{10, 10, 140, 55}));
  EXPECT_EQ(Segments[1].Text, "Next one");
  EXPECT_EQ(Words.size(), 7u); // the input is left as it was
  EXPECT_EQ(Lines[0].Count, 3);
}

} // namespace
