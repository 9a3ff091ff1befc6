#include <gtest/gtest.h>

#include <cstring>

#include "bitmap/vl_lists.h"
#include "base/vl_stream.h"

using namespace velora;

TEST(VLList, AddDeleteAndAssignKeepItemsAndOwnFields) {
  TVLIntegerList list;
  EXPECT_EQ(list.ItemSize(), 4);
  for (int v : {10, 20, 30, 40}) list.Add(v);
  EXPECT_EQ(list.Modified & 1, 1);
  list.Delete(1);
  list.Delete(7);   // ignored
  list.Delete(-1);  // ignored
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Value(0), 10);
  EXPECT_EQ(list.Value(1), 30);
  EXPECT_EQ(list.Value(2), 40);
  list.RangeMax = 99;

  TVLIntegerList copy;
  copy.Assign(&list);
  EXPECT_EQ(copy.Count(), 3);
  EXPECT_EQ(copy.Value(2), 40);
  EXPECT_EQ(copy.RangeMax, 99);
  copy.Assign(nullptr);
  EXPECT_EQ(copy.Count(), 3);

  list.SetCount(1);
  EXPECT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Value(0), 10);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.Modified, 0);
  EXPECT_EQ(list.RangeMax, 0);

  TVLDoubleList doubles;
  EXPECT_EQ(doubles.ItemSize(), 8);
  doubles.Add(2.5);
  EXPECT_EQ(doubles.Value(0), 2.5);

  struct Pt {
    int x, y;
  };
  TVLRecordList points(sizeof(Pt));
  Pt p{3, 4};
  points.Add(&p);
  points.Add(&p);
  points.At<Pt>(1).y = 9;
  EXPECT_EQ(points.At<Pt>(0).y, 4);
  EXPECT_EQ(points.At<Pt>(1).y, 9);
}

TEST(VLByteArray, GrowsAndShrinksInSteps) {
  TVLByteArray bytes;
  EXPECT_EQ(bytes.Capacity(), 8192);
  for (int i = 0; i < 8192; ++i) bytes.AddByte(uint8_t(i));
  EXPECT_EQ(bytes.Capacity(), 8192);
  bytes.AddByte(0x5A);
  EXPECT_EQ(bytes.Size(), 8193);
  EXPECT_EQ(bytes.Capacity(), 8193 + 8192);
  EXPECT_EQ(bytes.Data()[8192], 0x5A);
  EXPECT_EQ(bytes.Data()[300], uint8_t(300));

  bytes.SetSize(8193 + 1);  // within capacity
  EXPECT_EQ(bytes.Capacity(), 8193 + 8192);
  bytes.SetSize(8193);  // shrinking, not below Capacity − Increment
  EXPECT_EQ(bytes.Capacity(), 8193 + 8192);
  bytes.SetSize(100);  // further: the block shrinks to n + Increment
  EXPECT_EQ(bytes.Capacity(), 100 + 8192);
  EXPECT_EQ(bytes.Data()[99], 99);
}

TEST(VLByteArray, AppendFromStreamKeepsOnlyWhatWasRead) {
  const uint8_t src[5] = {1, 2, 3, 4, 5};
  TVLBufferStream stream(src, sizeof src);
  TVLByteArray bytes;
  bytes.AddByte(9);
  EXPECT_EQ(bytes.AppendFromStream(stream, 3), 3);
  EXPECT_EQ(bytes.AppendFromStream(stream, 10), 2);
  ASSERT_EQ(bytes.Size(), 6);
  const uint8_t expected[6] = {9, 1, 2, 3, 4, 5};
  EXPECT_EQ(std::memcmp(bytes.Data(), expected, 6), 0);
}

TEST(THash1, CollidingKeysChainInTheirBucket) {
  THash1 hash(4);
  EXPECT_EQ(hash.Size(), 16u);
  EXPECT_TRUE(hash.Insert(1));
  EXPECT_EQ(hash.State(1), THash1::hsSingle);
  EXPECT_TRUE(hash.Insert(17));
  EXPECT_EQ(hash.State(1), THash1::hsChain);
  EXPECT_TRUE(hash.Insert(33));
  EXPECT_FALSE(hash.Insert(17));
  EXPECT_FALSE(hash.Insert(1));
  EXPECT_FALSE(hash.Insert(33));
  EXPECT_EQ(hash.Count(), 3);
  EXPECT_EQ(hash.Keys(1), (std::vector<uintptr_t>{1, 17, 33}));
  EXPECT_EQ(hash.State(0), THash1::hsEmpty);
  EXPECT_TRUE(hash.Insert(2));
  EXPECT_TRUE(hash.Contains(33));
  EXPECT_FALSE(hash.Contains(49));
  EXPECT_EQ(hash.Count(), 4);
}
