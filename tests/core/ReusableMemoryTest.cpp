#include "core/ReusableMemory.h"

#include <cstring>
#include <vector>

#include <gtest/gtest.h>

namespace {

constexpr size_t MiB = size_t{1} << 20;

class ReusableMemoryTest : public ::testing::Test {
protected:
  void SetUp() override { ReusableMemory::Release(); }
  void TearDown() override { ReusableMemory::Release(); }
};

TEST_F(ReusableMemoryTest, ALargeBlockGivenBackIsHandedOutAgainForTheSameSize) {
  void* First = ReusableMemory::Take(8 * MiB);
  ASSERT_NE(First, nullptr);
  std::memset(First, 0x5a, 8 * MiB);
  ReusableMemory::GiveBack(First);
  EXPECT_GE(ReusableMemory::KeptBytes(), 8 * MiB);

  // Taken, the block is no longer kept: nobody else can be handed it too.
  void* Again = ReusableMemory::Take(8 * MiB);
  EXPECT_EQ(Again, First);
  EXPECT_EQ(ReusableMemory::KeptBytes(), 0u);
  void* Other = ReusableMemory::Take(8 * MiB);
  EXPECT_NE(Other, Again);
  ReusableMemory::GiveBack(Again);
  ReusableMemory::GiveBack(Other);
  ReusableMemory::Release();
  EXPECT_EQ(ReusableMemory::KeptBytes(), 0u);
}

TEST_F(ReusableMemoryTest, SmallBlocksAndFarLargerBlocksAreNotReused) {
  ReusableMemory::GiveBack(ReusableMemory::Take(ReusableMemory::MinKeptBytes / 2));
  EXPECT_EQ(ReusableMemory::KeptBytes(), 0u);

  // A kept 8 MiB block would waste most of itself on a 2 MiB picture.
  void* Large = ReusableMemory::Take(8 * MiB);
  ReusableMemory::GiveBack(Large);
  void* Smaller = ReusableMemory::Take(2 * MiB);
  EXPECT_NE(Smaller, Large);
  ReusableMemory::GiveBack(Smaller);
  ReusableMemory::GiveBack(nullptr);
}

TEST_F(ReusableMemoryTest, NoMoreThanTheLimitIsKept) {
  std::vector<void*> Blocks;
  for (size_t Taken = 0; Taken < 2 * ReusableMemory::MaxKeptBytes; Taken += 8 * MiB)
    Blocks.push_back(ReusableMemory::Take(8 * MiB));
  for (void* Block : Blocks)
    ReusableMemory::GiveBack(Block);
  EXPECT_LE(ReusableMemory::KeptBytes(), ReusableMemory::MaxKeptBytes);
  EXPECT_GT(ReusableMemory::KeptBytes(), ReusableMemory::MaxKeptBytes / 2);
}

TEST_F(ReusableMemoryTest, AnImageGivesItsPixelsBackWhenItsLastCopyIsGone) {
  QImage Image = ReusableMemory::NewImage(1920, 1080, QImage::Format_RGB32);
  ASSERT_FALSE(Image.isNull());
  EXPECT_EQ(Image.bytesPerLine(), 1920 * 4);
  Image.fill(Qt::red);
  {
    QImage Copy = Image; // shares the pixels
    Image = QImage();
    EXPECT_EQ(ReusableMemory::KeptBytes(), 0u);
    EXPECT_EQ(Copy.pixel(1919, 1079), qRgb(255, 0, 0));
  }
  EXPECT_GE(ReusableMemory::KeptBytes(), size_t(1920) * 1080 * 4);

  // The next picture of that size reuses the block; a write to a shared
  // copy still leaves the other as it was.
  QImage Next = ReusableMemory::NewImage(1920, 1080, QImage::Format_RGB32);
  Next.fill(Qt::blue);
  QImage Shared = Next;
  Shared.setPixel(0, 0, qRgb(0, 255, 0));
  EXPECT_EQ(Next.pixel(0, 0), qRgb(0, 0, 255));

  // Odd widths pad their lines as QImage's own buffers do.
  const QImage Odd = ReusableMemory::NewImage(3, 2, QImage::Format_RGB888);
  EXPECT_EQ(Odd.bytesPerLine(), 12);
  for (const auto& [Width, Height] : {std::pair{0, 10}, {10, 0}, {-5, 10}})
    EXPECT_TRUE(ReusableMemory::NewImage(Width, Height, QImage::Format_RGB32).isNull());
}

} // namespace
