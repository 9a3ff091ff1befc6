#include <gtest/gtest.h>

#include <memory>

#include "bitmap/vl_virtual_dib_list.h"

using namespace velora;

namespace {
std::unique_ptr<TBitmap> MakeBitmap(int w, int h, uint8_t seed) {
  auto owned = std::make_unique<TBitmap>();
  TBitmap& b = *owned;
  b.Reset(w, h, TPixelFormat::pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w * 3; ++x) b.ScanLine(y)[x] = uint8_t(seed + x + 7 * y);
  return owned;
}
bool SamePixels(const TBitmap& a, const TBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.RowLen() != b.RowLen()) return false;
  return std::equal(a.Bits(), a.Bits() + a.ImageSize(), b.Bits());
}
}  // namespace

TEST(VirtualDIBList, ThumbnailFitsOneBlockAndRoundTrips) {
  TVLVirtualDIBList list;
  auto thumbOwner = MakeBitmap(100, 75, 3);
  TBitmap& thumb = *thumbOwner;
  TVLImageHandle* h = list.AddBitmap(thumb);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->DataSize, 22548);
  EXPECT_EQ(h->BlockSize, 65536);
  EXPECT_EQ(list.GetWidth(h), 100);
  EXPECT_EQ(list.GetHeight(h), 75);
  EXPECT_EQ(list.GetBitCount(h), 24);
  const uint8_t* header = list.GetHeader(h);
  EXPECT_EQ(header[0], 40);
  EXPECT_EQ(header[44], 255);  // colour 1 is white
  TBitmap back;
  list.CopyToBitmap(h, back);
  EXPECT_TRUE(SamePixels(thumb, back));
}

TEST(VirtualDIBList, LargeFirstImageGrowsTheFileOnce) {
  TVLVirtualDIBList list;
  EXPECT_EQ(list.DiskFileSize(), 65536);
  TVLImageHandle* h = list.NewImage(1000, 1000, 24);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->DataSize, 3000048);
  EXPECT_EQ(h->BlockSize, 3014656);
  EXPECT_EQ(list.GrowSize(), 3014656);
  EXPECT_EQ(list.FileSize(), 3080192);
  EXPECT_EQ(list.DiskFileSize(), 3080192);
}

TEST(VirtualDIBList, CacheKeepsTheMostRecentlyUsedViews) {
  TVLVirtualDIBList list;
  list.SetImageCacheSize(10);
  std::vector<TVLImageHandle*> handles;
  auto thumbOwner = MakeBitmap(100, 75, 0);
  TBitmap& thumb = *thumbOwner;
  for (int i = 0; i < 25; ++i) handles.push_back(list.AddBitmap(thumb));
  for (auto* h : handles) ASSERT_NE(list.GetBits(h), nullptr);
  EXPECT_EQ(list.MappedCount(), 10);
  for (int i = 0; i < 25; ++i) EXPECT_EQ(list.IsMapped(handles[i]), i >= 15) << i;
  uint8_t* view = handles[15]->View;
  list.Touch(handles[15]);  // already mapped: no new mapping
  EXPECT_EQ(handles[15]->View, view);
  EXPECT_EQ(list.MappedCount(), 10);
  list.SetImageCacheSize(0);  // treated as 1
  EXPECT_EQ(list.ImageCacheSize(), 1);
}

TEST(VirtualDIBList, ReleasingEverythingShrinksTheFileAndFreedBlocksAreReused) {
  TVLVirtualDIBList list;
  auto thumbOwner = MakeBitmap(100, 75, 0);
  TBitmap& thumb = *thumbOwner;
  TVLImageHandle* a = list.AddBitmap(thumb);
  TVLImageHandle* b = list.AddBitmap(thumb);
  ASSERT_TRUE(a && b);
  int64_t offsetA = a->Offset;
  list.ReleaseImage(a);
  TVLImageHandle* c = list.AddBitmap(thumb);  // first fit takes a's block
  EXPECT_EQ(c->Offset, offsetA);
  list.ReleaseImage(b);
  list.ReleaseImage(c);
  EXPECT_EQ(list.ImageCount(), 0);
  EXPECT_EQ(list.DiskFileSize(), list.GrowSize());
  TVLImageHandle* d = list.AddBitmap(thumb);
  EXPECT_EQ(d->Offset, 0);
}

TEST(VirtualDIBList, CheckOutTwiceSharesOneBitmapUntilBothCheckIns) {
  TVLVirtualDIBList list;
  auto imgOwner = MakeBitmap(20, 10, 9);
  TBitmap& img = *imgOwner;
  TVLImageHandle* h = list.AddBitmap(img);
  TBitmap* first = list.CheckOut(h);
  TBitmap* second = list.CheckOut(h);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first, second);
  EXPECT_TRUE(h->CheckedOut);
  EXPECT_EQ(list.GetBits(h), first->Bits());
  list.CheckIn(first, false);
  EXPECT_TRUE(h->CheckedOut);
  list.CheckIn(second, false);
  EXPECT_FALSE(h->CheckedOut);
}

TEST(VirtualDIBList, WritingBackAnotherSizeMovesTheImageToANewBlock) {
  TVLVirtualDIBList list;
  TVLImageHandle* h = list.AddBitmap(*MakeBitmap(20, 10, 1));
  int64_t oldOffset = h->Offset;
  TBitmap* edit = list.CheckOut(h);
  auto biggerOwner = MakeBitmap(40, 30, 5);
  TBitmap& bigger = *biggerOwner;
  edit->Assign(bigger);
  list.CheckIn(edit, true);
  EXPECT_NE(h->Offset, oldOffset);
  EXPECT_EQ(list.GetWidth(h), 40);
  TBitmap back;
  list.CopyToBitmap(h, back);
  EXPECT_TRUE(SamePixels(bigger, back));
}

TEST(VirtualDIBList, UnwritableTempDirGivesNoViewsButNoCrash) {
  TVLVirtualDIBList list("/nonexistent/velora-test-dir");
  TVLImageHandle* h = list.AddBitmap(*MakeBitmap(4, 4, 0));
  EXPECT_EQ(list.GetBits(h), nullptr);
  EXPECT_EQ(list.GetWidth(h), 0);
  EXPECT_EQ(list.CheckOut(h), nullptr);
}
