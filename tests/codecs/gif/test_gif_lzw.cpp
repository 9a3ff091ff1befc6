// The GIF LZW coder on its own: round trips through our encoder, and hand-made code streams
// from an independent encoder for the cases a real file may hold.
#include <gtest/gtest.h>

#include <random>

#include "codecs/gif/gif_codec.h"
#include "codecs/gif/gif_test_util.h"

using namespace velora;
using namespace giftest;

namespace {

std::vector<uint8_t> RandomPixels(size_t n, int colours, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> px(n);
  for (auto& p : px) p = uint8_t(rng() % colours);
  return px;
}

// Decodes `data`; returns the output (prefilled with 0xEE) and whether the decoder accepted it
// (left the stream past the data rather than where it started).
std::pair<std::vector<uint8_t>, bool> Decode(const std::vector<uint8_t>& data, int w, int h, bool interlaced) {
  TVLBufferStream stream(data.data(), int64_t(data.size()));
  std::vector<uint8_t> out(size_t(w) * h, 0xEE);
  GifLzwDecode(stream, h, w, out.data(), interlaced);
  return {out, stream.Position() != 0};
}

struct RoundTrip {
  int colours, bits, w, h;
  bool interlaced;
};

class GifLzwRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(GifLzwRoundTrip, DecodesWhatTheEncoderWrote) {
  const RoundTrip c = GetParam();
  auto px = RandomPixels(size_t(c.w) * c.h, c.colours, 7 + c.colours);
  TVLMemoryStream stream;
  GifLzwEncode(stream, c.h, c.w, c.bits, px.data(), c.interlaced);
  const auto& data = stream.Data();
  ASSERT_EQ(data.back(), 0);  // terminator
  auto [out, ok] = Decode(data, c.w, c.h, c.interlaced);
  EXPECT_TRUE(ok);
  EXPECT_EQ(out, px);
  // The decoder consumes exactly the code-size byte, the sub-blocks and the terminator.
  TVLBufferStream again(data.data(), int64_t(data.size()));
  GifLzwDecode(again, c.h, c.w, out.data(), c.interlaced);
  EXPECT_EQ(again.Position(), int64_t(data.size()));
}

INSTANTIATE_TEST_SUITE_P(Colours, GifLzwRoundTrip,
                         ::testing::Values(RoundTrip{2, 1, 37, 23, false}, RoundTrip{2, 1, 37, 23, true},
                                           RoundTrip{16, 4, 61, 40, false}, RoundTrip{16, 4, 61, 40, true},
                                           RoundTrip{256, 8, 300, 300, false},  // clears at code 4096
                                           RoundTrip{256, 8, 300, 300, true}, RoundTrip{3, 2, 1, 10, true},
                                           RoundTrip{5, 3, 1, 1, false}));

TEST(GifLzw, IdenticalPixelsMakeAShortStream) {
  std::vector<uint8_t> px(4096, 3);
  TVLMemoryStream stream;
  GifLzwEncode(stream, 64, 64, 2, px.data(), false);
  EXPECT_LT(stream.Size(), 200);
  EXPECT_EQ(Decode(stream.Data(), 64, 64, false).first, px);
}

TEST(GifLzw, OneBitImageUsesMinimumCodeSizeTwo) {
  std::vector<uint8_t> px = {0, 1, 1, 0, 1, 0, 0, 1};
  TVLMemoryStream stream;
  GifLzwEncode(stream, 2, 4, 1, px.data(), false);
  EXPECT_EQ(stream.Data()[0], 2);
  EXPECT_EQ(Decode(stream.Data(), 4, 2, false).first, px);
}

TEST(GifLzw, MinimumCodeSizeOutsideTwoToNineIsRefused) {
  std::vector<uint8_t> px = {1, 0, 1, 1};
  for (int s : {1, 10}) {
    auto data = SubBlocks(s, RefLzwCodes(px, s));
    auto [out, ok] = Decode(data, 4, 1, false);
    EXPECT_FALSE(ok) << s;
    EXPECT_EQ(out, std::vector<uint8_t>(4, 0xEE)) << s;
  }
  std::vector<uint8_t> px8 = {200, 7, 200, 200, 7};
  auto [out, ok] = Decode(SubBlocks(8, RefLzwCodes(px8, 8)), 5, 1, false);
  EXPECT_TRUE(ok);
  EXPECT_EQ(out, px8);
}

TEST(GifLzw, InterlacedOneByTenFillsRowsPassByPass) {
  std::vector<uint8_t> sent = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};  // the k-th row sent holds k
  auto [out, ok] = Decode(SubBlocks(4, RefLzwCodes(sent, 4)), 1, 10, true);
  ASSERT_TRUE(ok);
  const int rowOrder[10] = {0, 8, 4, 2, 6, 1, 3, 5, 7, 9};
  for (int k = 0; k < 10; ++k) EXPECT_EQ(out[rowOrder[k]], k) << "row " << rowOrder[k];
}

TEST(GifLzw, CodeWidthReachesTwelveBitsAndTheTableIsCleared) {
  auto px = RandomPixels(60000, 4, 11);
  int widest = 0;
  auto data = SubBlocks(2, RefLzwCodes(px, 2, {}, &widest));
  ASSERT_EQ(widest, 12);
  auto [out, ok] = Decode(data, 300, 200, false);
  EXPECT_TRUE(ok);
  EXPECT_EQ(out, px);
}

TEST(GifLzw, ClearCodesMidStream) {
  auto px = RandomPixels(5000, 8, 3);
  for (bool twice : {false, true}) {
    RefLzwOptions opt;
    opt.clearsAt = {1, 77, 78, 2000, 4999};
    opt.doubleClear = twice;
    auto [out, ok] = Decode(SubBlocks(3, RefLzwCodes(px, 3, opt)), 100, 50, false);
    EXPECT_TRUE(ok);
    EXPECT_EQ(out, px);
  }
}

TEST(GifLzw, FullTableContinuesWithoutClearCode) {
  auto px = RandomPixels(120000, 4, 5);
  RefLzwOptions opt;
  opt.clearWhenFull = false;
  auto [out, ok] = Decode(SubBlocks(2, RefLzwCodes(px, 2, opt)), 400, 300, false);
  EXPECT_TRUE(ok);
  EXPECT_EQ(out, px);
}

TEST(GifLzw, CodeForUndefinedEntryStopsAndKeepsWhatWasDecoded) {
  // s = 2: clear 4, end 5, first free 6. After "1 2 3" entries 6 and 7 exist and codes are
  // 4 bits wide; code 15 is undefined.
  BitWriter bits;
  for (uint32_t c : {4u, 1u, 2u, 3u}) bits.Put(c, 3);
  for (uint32_t c : {15u, 1u, 5u}) bits.Put(c, 4);
  bits.Flush();
  auto [out, ok] = Decode(SubBlocks(2, bits.bytes), 6, 1, false);
  EXPECT_FALSE(ok);
  EXPECT_EQ(out, (std::vector<uint8_t>{1, 2, 3, 0xEE, 0xEE, 0xEE}));
}

TEST(GifLzw, CodesBeyondTheFrameAreDiscarded) {
  std::vector<uint8_t> px(500);
  for (size_t i = 0; i < px.size(); ++i) px[i] = uint8_t(i * 7 % 16);
  auto data = SubBlocks(4, RefLzwCodes(px, 4));
  auto [out, ok] = Decode(data, 7, 3, false);  // 21 pixels only: the rest overruns the frame
  EXPECT_TRUE(ok);
  EXPECT_EQ(out, std::vector<uint8_t>(px.begin(), px.begin() + 21));
  auto [outI, okI] = Decode(data, 7, 3, true);
  EXPECT_TRUE(okI);
}

TEST(GifLzw, TruncatedDataKeepsTheDecodedPrefix) {
  auto px = RandomPixels(2000, 16, 9);
  auto codes = RefLzwCodes(px, 4);
  codes.resize(codes.size() / 2);
  auto data = SubBlocks(4, codes, /*terminator=*/false);
  auto [out, ok] = Decode(data, 50, 40, false);
  EXPECT_FALSE(ok);
  size_t same = 0;
  while (same < px.size() && out[same] == px[same]) ++same;
  EXPECT_GT(same, 500u);
  EXPECT_EQ(out.back(), 0xEE);
  // The empty stream and a lone code-size byte are refused too.
  EXPECT_FALSE(Decode({}, 1, 1, false).second);
  EXPECT_FALSE(Decode({2}, 1, 1, false).second);
  EXPECT_FALSE(Decode({2, 0}, 1, 1, false).second);
}

}  // namespace
