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

TEST(Records, NewRecordIsAllZero) {
  const TIteratorResult R;
  EXPECT_EQ(R, (TIteratorResult{0, 0, 0, 0, QString(), 0, 0, 0}));
}

TEST(Records, SizesArePlainDifferences) {
  TIteratorResult R;
  R.Left = 50;
  R.Right = 10;
  R.Top = 100;
  R.Bottom = 110;
  EXPECT_EQ(R.GetWidth(), -40);
  EXPECT_EQ(R.GetHeight(), 10);
}

TEST(Records, CopiesAreIndependent) {
  TIteratorResult A;
  A.Text = QStringLiteral("abc");
  TIteratorResult B = A;
  B.Text += QStringLiteral("d");
  B.Left = 9;
  EXPECT_EQ(A.Text, "abc");
  EXPECT_EQ(A.Left, 0);
}

TEST(Records, RemoteItemBecomesARecord) {
  const TIteratorResult R = IteratorResultFromOCRItem(TOCRItem{5, 10, 50, 30, QStringLiteral("abc")});
  EXPECT_EQ(R, (TIteratorResult{5, 10, 50, 30, QStringLiteral("abc"), 0, 0, 14}));
}

} // namespace
