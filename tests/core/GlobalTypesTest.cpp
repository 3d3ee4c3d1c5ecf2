#include "core/GlobalTypes.h"

#include <gtest/gtest.h>

namespace {

TEST(Records, FontSizeIsTheCeilingOfSevenTenthsOfTheHeight) {
  const int32_t Expected[] = {0,  1,  2,  3,  3,  4,  5,  5,  6,  7,  7,  8,  9,  10, 10, 11, 12, 12, 13, 14, 14,
                              15, 16, 17, 17, 18, 19, 19, 20, 21, 21, 22, 23, 24, 24, 25, 26, 26, 27, 28, 28};
  for (int H = 0; H <= 40; ++H)
    EXPECT_EQ(FontSizeForHeight(H), Expected[H]) << H;
  for (int H : {100, 1080, 1999, 2000, 4321})
    EXPECT_EQ(FontSizeForHeight(H), (7 * H + 9) / 10) << H;
}

TEST(Records, EqualityWeighsEveryField) {
  const TIteratorResult Base{1, 2, 3, 4, QStringLiteral("text"), 5, 6, 7};
  auto Changed = [&](auto Change) {
    TIteratorResult R = Base;
    Change(R);
    return R;
  };
  const TIteratorResult OneFieldOff[] = {
      Changed([](TIteratorResult& R) { R.Left = 0; }),
      Changed([](TIteratorResult& R) { R.Top = 0; }),
      Changed([](TIteratorResult& R) { R.Right = 0; }),
      Changed([](TIteratorResult& R) { R.Bottom = 0; }),
      Changed([](TIteratorResult& R) { R.Text = QStringLiteral("Text"); }),
      Changed([](TIteratorResult& R) { R.Count = 0; }),
      Changed([](TIteratorResult& R) { R.MaxLength = 0; }),
      Changed([](TIteratorResult& R) { R.FFontSize = 0; }),
  };
  EXPECT_TRUE(Base == Changed([](TIteratorResult&) {}));
  for (size_t I = 0; I < std::size(OneFieldOff); ++I) {
    EXPECT_FALSE(Base == OneFieldOff[I]) << "field " << I;
    EXPECT_FALSE(OneFieldOff[I] == Base) << "field " << I;
  }

  const TOCRItem Item{1, 2, 3, 4, QStringLiteral("text")};
  const TOCRItem ItemsOff[] = {{0, 2, 3, 4, QStringLiteral("text")},
                               {1, 0, 3, 4, QStringLiteral("text")},
                               {1, 2, 0, 4, QStringLiteral("text")},
                               {1, 2, 3, 0, QStringLiteral("text")},
                               {1, 2, 3, 4, QStringLiteral("tex")}};
  EXPECT_TRUE(Item == (TOCRItem{1, 2, 3, 4, QStringLiteral("text")}));
  for (const TOCRItem& Off : ItemsOff)
    EXPECT_FALSE(Item == Off) << Off.Left << " " << Off.Top << " " << Off.Right << " " << Off.Bottom;

  const TRect Rect{1, 2, 3, 4};
  EXPECT_TRUE(Rect == (TRect{1, 2, 3, 4}));
  for (const TRect& Off : {TRect{0, 2, 3, 4}, TRect{1, 0, 3, 4}, TRect{1, 2, 0, 4}, TRect{1, 2, 3, 0}})
    EXPECT_FALSE(Rect == Off) << Off.Left << " " << Off.Top << " " << Off.Right << " " << Off.Bottom;
}

// Right and Bottom are exclusive: the size is the plain difference, negative
// for a reversed box, and a box without width or height is empty.
TEST(Records, SizesOfABox) {
  struct TCase {
    int32_t Left, Top, Right, Bottom;
    int32_t Width, Height;
    bool Empty;
  } Cases[] = {
      {5, 10, 50, 30, 45, 20, false}, {5, 10, 6, 11, 1, 1, false},       {5, 10, 5, 30, 0, 20, true},
      {5, 10, 50, 10, 45, 0, true},   {50, 100, 10, 110, -40, 10, true}, {-20, -30, -5, -1, 15, 29, false},
  };
  for (const TCase& C : Cases) {
    const TIteratorResult R{C.Left, C.Top, C.Right, C.Bottom, QString(), 0, 0, 0};
    const TRect Rect{C.Left, C.Top, C.Right, C.Bottom};
    EXPECT_EQ(R.GetWidth(), C.Width) << C.Left << " " << C.Right;
    EXPECT_EQ(R.GetHeight(), C.Height) << C.Top << " " << C.Bottom;
    EXPECT_EQ(Rect.Width(), C.Width) << C.Left << " " << C.Right;
    EXPECT_EQ(Rect.Height(), C.Height) << C.Top << " " << C.Bottom;
    EXPECT_EQ(Rect.IsEmpty(), C.Empty) << C.Left << " " << C.Top << " " << C.Right << " " << C.Bottom;
  }
}

// The box of a remote item may span any 32-bit coordinates: its height is
// taken without 32-bit overflow and the font size clamped rather than wrapped.
TEST(Records, RemoteItemFontSizeSurvivesExtremeBoxes) {
  struct TCase {
    int32_t Top, Bottom;
    int32_t FontSize;
  } Cases[] = {
      {INT32_MIN, INT32_MAX, INT32_MAX},
      {INT32_MAX, INT32_MIN, INT32_MIN},
      {0, INT32_MAX, 1503238553},
      {INT32_MIN, 0, 1503238554},
      {-10, 0, 7},
      {10, 0, -7},
  };
  for (const TCase& C : Cases) {
    const TOCRItem Item{-3, C.Top, 9, C.Bottom, QStringLiteral("x")};
    EXPECT_EQ(IteratorResultFromOCRItem(Item),
              (TIteratorResult{-3, C.Top, 9, C.Bottom, QStringLiteral("x"), 0, 0, C.FontSize}))
        << C.Top << " " << C.Bottom;
  }
  EXPECT_EQ(FontSizeForHeight(1e12), INT32_MAX);
  EXPECT_EQ(FontSizeForHeight(-1e12), INT32_MIN);
}

TEST(Records, RemoteItemBecomesARecord) {
  const TIteratorResult R = IteratorResultFromOCRItem(TOCRItem{5, 10, 50, 30, QStringLiteral("abc")});
  EXPECT_EQ(R, (TIteratorResult{5, 10, 50, 30, QStringLiteral("abc"), 0, 0, 14}));
}

} // namespace
