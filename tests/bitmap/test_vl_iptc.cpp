#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "bitmap/vl_metadata.h"

using namespace velora;

namespace {

std::vector<uint8_t> Bytes(size_t n, uint8_t seed) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = uint8_t(seed + i * 13);
  return v;
}

uint32_t BE32At(const std::vector<uint8_t>& v, size_t at) {
  return (uint32_t(v[at]) << 24) | (uint32_t(v[at + 1]) << 16) | (uint32_t(v[at + 2]) << 8) | v[at + 3];
}

// Parses from a heap block of exactly `length` bytes, so that a read past it is caught.
void ParseExact(TVLIPTCInfoList& list, const std::vector<uint8_t>& payload, size_t length) {
  std::unique_ptr<uint8_t[]> copy(new uint8_t[length ? length : 1]);
  if (length) std::memcpy(copy.get(), payload.data(), length);
  list.ParseIPTC(copy.get(), int64_t(length));
}

}  // namespace

TEST(VLIPTC, LongRecordUsesTheExtendedTagAndRoundTrips) {
  const auto title = Bytes(5, 1);
  const auto caption = Bytes(40000, 7);
  const uint8_t version[2] = {0, 4};
  TVLIPTCInfoList list;
  list.Add(2, 0, 2, version);  // the record version: not written
  list.Add(2, 5, int(title.size()), title.data());
  list.Add(2, 120, int(caption.size()), caption.data());
  EXPECT_TRUE(list.Modified);

  const std::vector<uint8_t> payload = list.BuildIPTC();
  ASSERT_GE(payload.size(), 26u);
  EXPECT_EQ(std::memcmp(payload.data(), "Photoshop 3.0\0" "8BIM\x04\x04\0\0", 22), 0);
  const uint32_t records = (5 + 5) + (9 + 40000);
  EXPECT_EQ(BE32At(payload, 22), records);
  EXPECT_EQ(payload.size(), 26 + records + 1);  // odd total: one padding byte
  const uint8_t shortTag[5] = {0x1C, 2, 5, 0, 5};
  EXPECT_EQ(std::memcmp(payload.data() + 26, shortTag, 5), 0);
  const uint8_t longTag[9] = {0x1C, 2, 120, 0x80, 0x04, 0x00, 0x00, 0x9C, 0x40};
  EXPECT_EQ(std::memcmp(payload.data() + 36, longTag, 9), 0);

  TVLIPTCInfoList back;
  ParseExact(back, payload, payload.size());
  EXPECT_FALSE(back.Modified);
  ASSERT_EQ(back.Count(), 2);
  EXPECT_EQ(back.Item(0).Record, 2);
  EXPECT_EQ(back.Item(0).Dataset, 5);
  EXPECT_EQ(back.Item(0).Data, title);
  EXPECT_EQ(back.Item(1).Dataset, 120);
  EXPECT_EQ(back.Item(1).Data, caption);
}

TEST(VLIPTC, ResourceSizeThatLooksLikeATagIsNotTakenForARecord) {
  // 5 + 23 = 28 = 0x1C: the header's size bytes end in the tag byte.
  const auto data = Bytes(23, 3);
  TVLIPTCInfoList list;
  list.Add(2, 25, int(data.size()), data.data());
  const auto payload = list.BuildIPTC();
  ASSERT_EQ(payload[25], 0x1C);
  TVLIPTCInfoList back;
  ParseExact(back, payload, payload.size());
  ASSERT_EQ(back.Count(), 1);
  EXPECT_EQ(back.Item(0).Dataset, 25);
  EXPECT_EQ(back.Item(0).Data, data);
}

TEST(VLIPTC, RawRecordsWithoutThePhotoshopHeaderAreRead) {
  const std::vector<uint8_t> raw = {0xAA, 0xBB, 0x1C, 1, 90, 0, 3, 'a', 'b', 'c', 0x1C, 2, 5, 0, 1, 'x', 0x00};
  TVLIPTCInfoList list;
  ParseExact(list, raw, raw.size());
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Item(0).Record, 1);
  EXPECT_EQ(list.Item(0).Data, (std::vector<uint8_t>{'a', 'b', 'c'}));
  EXPECT_EQ(list.Item(1).Data, (std::vector<uint8_t>{'x'}));
}

TEST(VLIPTC, TruncatedOrLyingPayloadsNeverReadPastTheEnd) {
  TVLIPTCInfoList list;
  const auto a = Bytes(40, 1), b = Bytes(33000, 2), c = Bytes(3, 9);
  list.Add(2, 5, int(a.size()), a.data());
  list.Add(2, 120, int(b.size()), b.data());
  list.Add(2, 25, int(c.size()), c.data());
  const auto payload = list.BuildIPTC();
  // Every cut: only whole records come back, each intact.
  for (size_t cut = 0; cut <= payload.size(); cut += (cut < 200 || cut > payload.size() - 200) ? 1 : 997) {
    TVLIPTCInfoList back;
    ParseExact(back, payload, cut);
    ASSERT_LE(back.Count(), 3);
    const std::vector<uint8_t>* expected[3] = {&a, &b, &c};
    for (int i = 0; i < back.Count(); ++i) EXPECT_EQ(back.Item(i).Data, *expected[i]) << "cut " << cut;
  }

  struct Lie {
    const char* what;
    std::vector<uint8_t> bytes;
  } lies[] = {
      {"long length 0xFFFFFFFF", {0x1C, 2, 5, 0x80, 0x04, 0xFF, 0xFF, 0xFF, 0xFF, 1, 2}},
      {"long tag cut short", {0x1C, 2, 5, 0x80, 0x04, 0x00}},
      {"short length beyond", {0x1C, 2, 5, 0x7F, 0xFF, 1, 2, 3}},
      {"tag cut short", {0x1C, 2, 5, 0x00}},
      {"lone tag byte", {0x1C}},
      {"resource larger than payload",
       {'P', 'h', 'o', 't', 'o', 's', 'h', 'o', 'p', ' ', '3', '.', '0', 0, '8', 'B', 'I', 'M', 4, 4, 0, 0, 0x7F,
        0xFF, 0xFF, 0xFF, 0x1C, 2, 5, 0, 2, 'o', 'k'}},
      {"resource name running off",
       {'P', 'h', 'o', 't', 'o', 's', 'h', 'o', 'p', ' ', '3', '.', '0', 0, '8', 'B', 'I', 'M', 3, 0xED, 0xFF}},
      {"header only", {'P', 'h', 'o', 't', 'o', 's', 'h', 'o', 'p', ' ', '3', '.', '0', 0}},
  };
  for (const Lie& lie : lies) {
    TVLIPTCInfoList back;
    back.Add(9, 9, 0, nullptr);
    ParseExact(back, lie.bytes, lie.bytes.size());
    EXPECT_FALSE(back.Modified) << lie.what;
    for (int i = 0; i < back.Count(); ++i) EXPECT_NE(back.Item(i).Record, 9) << lie.what;
    if (std::string(lie.what) == "resource larger than payload") {
      ASSERT_EQ(back.Count(), 1);
      EXPECT_EQ(back.Item(0).Data, (std::vector<uint8_t>{'o', 'k'}));
    } else {
      EXPECT_EQ(back.Count(), 0) << lie.what;
    }
  }
}

TEST(VLIPTC, SkipsResourcesBeforeTheIPTCOne) {
  // A resolution resource (0x03ED) with an odd-length name and odd size holding a 0x1C byte.
  std::vector<uint8_t> p = {'P', 'h', 'o', 't', 'o', 's', 'h', 'o', 'p', ' ', '3', '.', '0', 0};
  const uint8_t res[] = {'8', 'B', 'I', 'M', 0x03, 0xED, 2, 'n', 'm', 0, 0, 0, 0, 3, 0x1C, 0x1C, 0x1C, 0};
  p.insert(p.end(), res, res + sizeof res);
  const uint8_t iptc[] = {'8', 'B', 'I', 'M', 0x04, 0x04, 0, 0, 0, 0, 0, 6, 0x1C, 2, 5, 0, 1, 'T'};
  p.insert(p.end(), iptc, iptc + sizeof iptc);
  TVLIPTCInfoList list;
  ParseExact(list, p, p.size());
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Item(0).Dataset, 5);
  EXPECT_EQ(list.Item(0).Data, (std::vector<uint8_t>{'T'}));
}
