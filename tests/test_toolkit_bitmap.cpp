#include <gtest/gtest.h>

#include "bitmap/toolkit_bitmap.h"

using namespace velora;

TEST(ToolkitBitmap, RowsAreBottomUpWithPaddedRowSize) {
  TBitmap bmp;
  bmp.Reset(5, 3, TPixelFormat::pf24bit);
  EXPECT_EQ(bmp.RowLen(), 16);
  EXPECT_EQ(bmp.ScanLine(2), bmp.Bits());
  EXPECT_EQ(bmp.ScanLine(0), bmp.Bits() + 2 * 16);
  bmp.Reset(3, 2, TPixelFormat::pf1bit);
  EXPECT_EQ(bmp.RowLen(), 4);
  EXPECT_TRUE(bmp.Monochrome());
}

TEST(ToolkitBitmap, ImpossibleSizeThrowsAndLeavesEmpty) {
  TBitmap bmp;
  bmp.SetPixelFormat(TPixelFormat::pf24bit);
  EXPECT_THROW(bmp.SetSize(0x7FFFFFFF, 0x7FFFFFFF), std::bad_alloc);
  EXPECT_EQ(bmp.Width(), 0);
  EXPECT_EQ(bmp.Bits(), nullptr);
}

TEST(ToolkitBitmap, ModifiedNotifiesSubscribersUntilRemoved) {
  TBitmap bmp;
  int calls = 0;
  int id = bmp.AddChangeHandler([&] { ++calls; });
  bmp.Modified();
  bmp.RemoveChangeHandler(id);
  bmp.Modified();
  EXPECT_EQ(calls, 1);
}
