// The TIFF LZW coder on its own: round trips, and hand-made code streams for what the encoder
// never writes (early width change read back, bad first codes, cut strips, old-style data).
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "codecs/tiff/tiff_lzw.h"
#include "tiff_coder_test_util.h"

using namespace velora;
using namespace velora::tifftest;

namespace {

Bytes Encode(const Bytes& data, int rowLength) {
  TVLMemoryStream stream;
  void* state = nullptr;
  for (size_t at = 0; at < data.size(); at += size_t(rowLength))
    TiffLzwEncode(data.data() + at, int(std::min<size_t>(size_t(rowLength), data.size() - at)), stream, &state);
  TiffLzwEncode(nullptr, 0, stream, &state);
  EXPECT_EQ(state, nullptr);
  return stream.Data();
}

// Decodes rows of rowLength until the decoder refuses; the bytes of the rows it gave. Each row
// is overwritten once taken, as a caller undoing a predictor does: the rows after must not
// change.
Bytes Decode(const Bytes& strip, int rowLength, int maxRows) {
  Bytes out;
  void* state = nullptr;
  for (int r = 0; r < maxRows; ++r) {
    uint8_t* row = TiffLzwDecode(strip.data(), int64_t(strip.size()), rowLength, &state);
    if (!row) break;
    out.insert(out.end(), row, row + rowLength);
    std::fill(row, row + rowLength, uint8_t(0xEE));
  }
  EXPECT_EQ(TiffLzwDecode(nullptr, 0, 0, &state), nullptr);
  EXPECT_EQ(state, nullptr);
  return out;
}

// Codes written most significant bit first at the widths the caller gives.
struct TCodeWriter {
  std::string bits;
  void Put(int code, int width) {
    for (int i = width - 1; i >= 0; --i) bits += ((code >> i) & 1) ? '1' : '0';
  }
  tifftest::Bytes Data() const { return BitsToBytes(bits); }
};

// The codes of a strip, read the way TIFF defines them; counts the codes defined at each Clear.
std::vector<int> DefinedAtEachClear(const Bytes& strip) {
  const std::string bits = BytesToBits(strip);
  std::vector<int> counts;
  size_t at = 0;
  int width = 9, defined = 258;
  bool afterClear = true;
  while (at + size_t(width) <= bits.size()) {
    const int code = std::stoi(bits.substr(at, size_t(width)), nullptr, 2);
    at += size_t(width);
    if (code == 257) break;
    if (code == 256) {
      counts.push_back(defined);
      width = 9, defined = 258, afterClear = true;
      continue;
    }
    if (!afterClear) ++defined;
    afterClear = false;
    if (defined == 511 || defined == 1023 || defined == 2047) ++width;
  }
  return counts;
}

struct TRoundTrip {
  const char* name;
  size_t size;
  int rowLength;
  int kind;  // 0 repeating pattern, 1 random, 2 constant, 3 photo-like
};

class TiffLzwRoundTrip : public ::testing::TestWithParam<TRoundTrip> {};

TEST_P(TiffLzwRoundTrip, DecodesWhatItEncoded) {
  const TRoundTrip c = GetParam();
  Bytes data(c.size);
  std::mt19937 rng(5);
  for (size_t i = 0; i < data.size(); ++i)
    data[i] = c.kind == 0 ? uint8_t("TIFF-LZW"[i % 8] + i % 3) : c.kind == 1 ? uint8_t(rng()) : c.kind == 2 ? 0x5A : 0;
  if (c.kind == 3) data = PhotoLike(c.size, 9);
  const Bytes strip = Encode(data, c.rowLength);
  EXPECT_TRUE(SameBytes(Decode(strip, c.rowLength, int(c.size / size_t(c.rowLength)) + 1), data));
}

INSTANTIATE_TEST_SUITE_P(Rows, TiffLzwRoundTrip,
                         ::testing::Values(TRoundTrip{"Pattern1", 1000, 1, 0}, TRoundTrip{"Pattern10000", 10000, 10000, 0},
                                           TRoundTrip{"Pattern1000", 1000, 1000, 0},
                                           TRoundTrip{"Random", 300000, 1500, 1},
                                           TRoundTrip{"Constant", 200000, 4000, 2},
                                           // strings thousands of bytes long, kept across rows up to a Clear
                                           TRoundTrip{"ConstantPastAClear", 8000000, 1000, 2},
                                           TRoundTrip{"PhotoLike", 600000, 3000, 3}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TiffLzw, ClearsAfterEvery3836NewCodes) {
  Bytes data(400000);
  std::mt19937 rng(11);
  for (auto& b : data) b = uint8_t(rng());
  const std::vector<int> counts = DefinedAtEachClear(Encode(data, 4000));
  ASSERT_GE(counts.size(), 4u);
  EXPECT_EQ(counts.front(), 258);  // the Clear the strip starts with
  for (size_t i = 1; i < counts.size(); ++i) EXPECT_EQ(counts[i], 258 + 3836) << "Clear " << i;
}

TEST(TiffLzw, ClearThenEndOfInformationDecodesToNothing) {
  TCodeWriter w;
  w.Put(256, 9);
  w.Put(257, 9);
  void* state = nullptr;
  const Bytes strip = w.Data();
  EXPECT_EQ(TiffLzwDecode(strip.data(), int64_t(strip.size()), 1, &state), nullptr);
  TiffLzwDecode(nullptr, 0, 0, &state);
}

TEST(TiffLzw, ReadsTheCodeAfter510With10Bits) {
  // 254 literals after the Clear define codes 258..510; the next code has 10 bits.
  TCodeWriter w;
  Bytes expected;
  w.Put(256, 9);
  for (int i = 0; i < 254; ++i) {
    w.Put(i, 9);
    expected.push_back(uint8_t(i));
  }
  w.Put('A', 10);
  w.Put(258, 10);  // the string 0, 1
  w.Put(257, 10);
  expected.insert(expected.end(), {'A', 0, 1});
  EXPECT_TRUE(SameBytes(Decode(w.Data(), 1, 1000), expected));
}

TEST(TiffLzw, RefusesWhatItCannotDecode) {
  struct TCase {
    const char* name;
    Bytes strip;
  };
  TCodeWriter firstAbove257, clearThenAbove257;
  firstAbove257.Put(300, 9);
  clearThenAbove257.Put(256, 9);
  clearThenAbove257.Put(259, 9);
  const TCase cases[] = {
      {"first code above 257", firstAbove257.Data()},
      {"code above 257 right after a Clear", clearThenAbove257.Data()},
  };
  for (const TCase& c : cases) {
    void* state = nullptr;
    EXPECT_EQ(TiffLzwDecode(c.strip.data(), int64_t(c.strip.size()), 1, &state), nullptr) << c.name;
    TiffLzwDecode(nullptr, 0, 0, &state);
  }
}

// A row the strip cannot complete is refused, never handed back with bytes of the row before.
TEST(TiffLzw, ShortRowsAreRefused) {
  Bytes data(64);
  for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 7);
  const Bytes strip = Encode(data, 64);
  for (const int64_t cut : {int64_t(strip.size()), int64_t(strip.size()) - 8}) {
    void* state = nullptr;
    const uint8_t* row = TiffLzwDecode(strip.data(), cut, 40, &state);
    ASSERT_NE(row, nullptr);
    EXPECT_TRUE(std::equal(row, row + 40, data.begin()));
    // 24 bytes remain (fewer when cut): the second row of 40 cannot be completed.
    EXPECT_EQ(TiffLzwDecode(strip.data(), cut, 40, &state), nullptr);
    TiffLzwDecode(nullptr, 0, 0, &state);
  }
}

// Every cut of a strip, and the strip with bytes flipped, decode without a fault.
TEST(TiffLzw, CutAndDamagedStripsEndSafely) {
  const Bytes data = PhotoLike(20000, 3, 500);
  const Bytes strip = Encode(data, 500);
  std::mt19937 rng(2);
  for (size_t cut = 0; cut < strip.size(); cut += 37) {
    Bytes damaged(strip.begin(), strip.begin() + long(cut));
    if (!damaged.empty() && cut % 2) damaged[rng() % damaged.size()] ^= uint8_t(1 + rng() % 255);
    const Bytes out = Decode(damaged, 500, 100);
    EXPECT_LE(out.size(), data.size());
  }
}

// A stream that takes fewer bytes than written.
class TFullStream : public TVLMemoryStream {
 public:
  int64_t Write(const void*, int64_t) override { return 0; }
};

TEST(TiffLzw, ShortWritesThrowAndReleaseTheState) {
  const Bytes data = PhotoLike(5000, 1);
  TFullStream stream;
  void* state = nullptr;
  EXPECT_THROW(
      {
        for (int i = 0; i < 10; ++i) TiffLzwEncode(data.data(), int(data.size()), stream, &state);
        TiffLzwEncode(nullptr, 0, stream, &state);
      },
      EVLStreamError);
  EXPECT_EQ(state, nullptr);
}

}  // namespace
