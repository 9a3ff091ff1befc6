// The CCITT fax coder on its own: hand-made codes for the cases the tables and the modes must
// get right, round trips of every coding, and damaged strips.
#include <gtest/gtest.h>

#include <random>

#include "codecs/tiff/fax_coder.h"
#include "tiff_coder_test_util.h"

using namespace velora;
using namespace velora::tifftest;

namespace {

// Our decoders' rows (1 white) from pages written 1 black: the page inverted.
Bytes AllWhiteRow(int width) { return Bytes(size_t(RowBytes(width)), 0xFF); }

TEST(Fax, ModifiedHuffmanWhiteRowOf1728) {
  // Make-up 1728 and terminating 0, padded to whole bytes.
  const Bytes data = BitsToBytes(std::string("010011011") + "00110101");
  Bytes row(216, 0);
  bool cut = true;
  EXPECT_EQ(DecodeMhRow(row.data(), data.data(), int64_t(data.size()), 1728, 1, &cut), 3);
  EXPECT_FALSE(cut);
  EXPECT_EQ(row, AllWhiteRow(1728));
}

TEST(Fax, RunOf2600IsCodedAs2560And40) {
  const Bytes page(size_t(RowBytes(2600)), 0);
  const Bytes strip = EncodeFax(TFaxCoding::Mh, page, 2600, 1);
  EXPECT_EQ(BytesToBits(strip), std::string("000000011111") + "00101001" + "0000");
  EXPECT_TRUE(SameBytes(DecodeFax(TFaxCoding::Mh, strip, 2600, 1, 1), page));
}

// Group 3 readers look for an EOL before each row (libtiff reads rows without one as blank),
// so every one-dimensional Group 3 row follows an EOL; modified Huffman rows have none.
TEST(Fax, Group3OneDimensionalRowsFollowAnEol) {
  const Bytes page = {0x00, 0x00};  // two white rows of 8
  EXPECT_EQ(BytesToBits(EncodeFax(TFaxCoding::G3OneD, page, 8, 2)),
            std::string("000000000001") + "10011" + "000000000001" + "10011" + "000000");
  EXPECT_EQ(BytesToBits(EncodeFax(TFaxCoding::Mh, page, 8, 2)), std::string("10011000") + "10011000");
}

TEST(Fax, Group3TwoDimensionalPageWithAOneDimensionalRow) {
  // Width 16. Row 0 (1-D): white 4, black 8, white 4. Row 1 (1-D by its tag): white 2, black
  // 12, white 2. Rows 2 and 3 (2-D): V0 three times, a copy of the row above.
  const std::string eol = "000000000001";
  const std::string bits = eol + "1" + "1011" + "000101" + "1011" +  //
                           eol + "1" + "0111" + "0000111" + "0111" +  //
                           eol + "0" + "111" + eol + "0" + "111" + eol;
  const Bytes data = BitsToBytes(bits);
  const Bytes expected = {0x0F, 0xF0, 0x3F, 0xFC, 0x3F, 0xFC, 0x3F, 0xFC};  // 1 black
  EXPECT_TRUE(SameBytes(DecodeFax(TFaxCoding::G3TwoD, data, 16, 4, 1), expected));
}

TEST(Fax, FillOrder2ReadsTheBitReversedData) {
  const int width = 300, rows = 40;
  const Bytes page = MakePage(width, rows, TPattern::Text, 4);
  for (TFaxCoding coding : {TFaxCoding::Mh, TFaxCoding::G3OneD, TFaxCoding::G3TwoD, TFaxCoding::G4}) {
    const Bytes strip = EncodeFax(coding, page, width, rows);
    EXPECT_TRUE(SameBytes(DecodeFax(coding, ReverseBits(strip), width, rows, 2), page)) << int(coding);
    EXPECT_TRUE(SameBytes(DecodeFax(coding, strip, width, rows, 1), page)) << int(coding);
  }
}

TEST(Fax, Group4StripEndsWithTwoEols) {
  const Bytes page = MakePage(200, 30, TPattern::Text, 8);
  const Bytes strip = EncodeFax(TFaxCoding::G4, page, 200, 30);
  EXPECT_TRUE(SameBytes(DecodeFax(TFaxCoding::G4, strip, 200, 30, 1), page));
  std::string bits = BytesToBits(strip);
  bits.erase(bits.find_last_of('1') + 1);  // the padding
  ASSERT_GE(bits.size(), 24u);
  EXPECT_EQ(bits.substr(bits.size() - 24), "000000000001000000000001");
  EXPECT_LT(BytesToBits(strip).size() - bits.size(), 8u);
}

// Every coding gives back what it coded, at the widths where codes change (1, a byte, the
// make-up tables, past the longest make-up code) and for the pictures that stress them.
TEST(Fax, EveryCodingRoundTrips) {
  const int widths[] = {1, 7, 8, 9, 1728, 2480, 2561, 5000};
  const TPattern patterns[] = {TPattern::White, TPattern::Black, TPattern::Alternating, TPattern::Text};
  for (TFaxCoding coding : {TFaxCoding::Mh, TFaxCoding::G3OneD, TFaxCoding::G3TwoD, TFaxCoding::G4})
    for (int width : widths)
      for (TPattern pattern : patterns) {
        const int rows = pattern == TPattern::Text ? 40 : 4;
        const Bytes page = MakePage(width, rows, pattern, uint32_t(width));
        const Bytes strip = EncodeFax(coding, page, width, rows);
        EXPECT_TRUE(SameBytes(DecodeFax(coding, strip, width, rows, 1), page))
            << "coding " << int(coding) << " width " << width << " pattern " << int(pattern);
      }
}

// a0 = -1 is the imaginary white element: the first horizontal run counts from pixel 0, in
// the encoder and the decoder.
TEST(Fax, FirstHorizontalRunCountsFromPixel0) {
  const Bytes page = {0x18};  // width 8, pixels 3 and 4 black
  const Bytes strip = EncodeFax(TFaxCoding::G4, page, 8, 1);
  // Horizontal, white 3, black 2; then V0 onto the end of the row.
  EXPECT_EQ(BytesToBits(strip).substr(0, 10), "001" "1000" "11" "1");
  EXPECT_TRUE(SameBytes(DecodeFax(TFaxCoding::G4, strip, 8, 1, 1), page));
}

// Vertical codes that would put a1 before a0 or past the row end are clipped to the row.
// Vertical codes outside the row end it as libtiff does: a run past the end is dropped (the
// row white from its start), a change before a0 is no coding (the row white from a0, the
// codes after it left for the next row).
TEST(Fax, VerticalCodesOutsideTheRowEndItAsLibtiffDoes) {
  struct TCase {
    const char* name;
    Bytes referenceRow;  // 1 black, width 8
    std::string bits;
    uint8_t expected;  // 1 black
  };
  const TCase cases[] = {
      {"VR3 past the end of a white line", {0x00}, "0000011", 0x00},
      {"VL3 before pixel 0, then V0", {0xFF}, "0000010" "1", 0x00},
      // V0 onto pixel 2; VL3 from b1 = 4 would put a1 at 1, behind a0; then V0 to the end.
      {"VL3 behind a0 in mid-row", {0x30}, "1" "0000010" "1", 0x00},
  };
  for (const TCase& c : cases) {
    // The reference row goes in as a first Group 4 row of the same strip.
    Bytes strip = EncodeFax(TFaxCoding::G4, c.referenceRow, 8, 1);
    std::string bits = BytesToBits(strip);
    const std::string eols = "000000000001000000000001";
    bits = bits.substr(0, bits.rfind(eols)) + c.bits;
    TFaxReferenceLine reference;
    reference.Reset(8);
    const Bytes data = BitsToBytes(bits);
    uint8_t row[1];
    bool cut = false;
    int64_t at = DecodeT4T6Row2D(row, data.data(), int64_t(data.size()), false, 1, 0, reference, 8, &cut);
    at = DecodeT4T6Row2D(row, data.data(), int64_t(data.size()), false, 1, at, reference, 8, &cut);
    EXPECT_EQ(uint8_t(~row[0]), c.expected) << c.name;
    EXPECT_LE(at, int64_t(data.size()) * 8) << c.name;
  }
}

// The one-dimensional decoders stop at the end of the data and say so.
TEST(Fax, OneDimensionalRowsStopAtTheEndOfTheData) {
  const Bytes page = MakePage(1728, 1, TPattern::Alternating);
  const Bytes strip = EncodeFax(TFaxCoding::G3OneD, page, 1728, 1);
  const Bytes half(strip.begin(), strip.begin() + long(strip.size() / 2));
  Bytes row(216);
  bool cut = false;
  const int64_t at = DecodeT4Row(row.data(), half.data(), int64_t(half.size()), 1728, 1, 0, &cut);
  EXPECT_TRUE(cut);
  EXPECT_LE(at, int64_t(half.size()) * 8);
  EXPECT_EQ(row.back(), 0xFF);  // the rest of the row is white
  cut = false;
  EXPECT_EQ(DecodeMhRow(row.data(), half.data(), int64_t(half.size()), 1728, 1, &cut), int64_t(half.size()));
  EXPECT_TRUE(cut);
}

// Strips cut inside a code, random bits, EOL floods and zero floods end every row without a
// fault and without reading past the data (ASan and UBSan builds watch the accesses).
TEST(Fax, DamagedStripsEndTheirRows) {
  const int width = 700, rows = 30;
  const Bytes page = MakePage(width, rows, TPattern::Text, 3);
  std::vector<Bytes> strips;
  for (TFaxCoding coding : {TFaxCoding::G3TwoD, TFaxCoding::G4}) {
    const Bytes strip = EncodeFax(coding, page, width, rows);
    for (size_t cut = 1; cut < strip.size(); cut += 13) strips.emplace_back(strip.begin(), strip.begin() + long(cut));
  }
  std::mt19937 rng(7);
  for (int i = 0; i < 20; ++i) {
    Bytes random(size_t(50 + rng() % 400));
    for (auto& b : random) b = uint8_t(rng());
    strips.push_back(random);
  }
  strips.push_back(Bytes(300, 0));                                   // a zero flood
  strips.push_back(BitsToBytes(std::string(600, '0') + "1"));        // EOL behind long fill
  std::string eols;
  for (int i = 0; i < 200; ++i) eols += "0000000000011";
  strips.push_back(BitsToBytes(eols));                               // EOL, 1-D tag, again and again
  strips.push_back(BitsToBytes(std::string(900, '1')));              // V0 forever
  std::string back;
  for (int i = 0; i < 300; ++i) back += "0000010" "0000011" "0001";  // stepping back and forth
  strips.push_back(BitsToBytes(back));
  for (const Bytes& s : strips)
    for (int fillOrder : {1, 2}) {
      Bytes row(size_t(RowBytes(width)));
      TFaxReferenceLine reference;
      reference.Reset(width);
      int64_t bit2D = 0, bit1D = 0, byte = 0;
      const int64_t size = int64_t(s.size());
      for (int y = 0; y < rows; ++y) {
        bit2D = DecodeT4T6Row2D(row.data(), s.data(), size, y % 2 == 0, fillOrder, bit2D, reference, width);
        bit1D = DecodeT4Row(row.data(), s.data(), size, width, fillOrder, bit1D);
        byte += DecodeMhRow(row.data(), s.data() + byte, size - byte, width, fillOrder);
        ASSERT_LE(bit2D, size * 8);
        ASSERT_LE(bit1D, size * 8);
        ASSERT_LE(byte, size);
      }
    }
}

class TShortStream : public TVLMemoryStream {
 public:
  int64_t Write(const void* buffer, int64_t count) override {
    return TVLMemoryStream::Write(buffer, count > 1 ? count - 1 : count);
  }
};

TEST(Fax, ShortWritesAbortAndClearTheState) {
  const Bytes page = MakePage(1000, 30, TPattern::Text, 2);
  TShortStream stream;
  TVLLocalProgress progress;
  TFaxEncoderState state;
  for (int y = 0; y < 30; ++y) EncodeT6Row(page.data() + y * RowBytes(1000), 1000, stream, progress.record, state);
  EncodeT6Row(nullptr, 1000, stream, progress.record, state);
  EXPECT_TRUE(progress.aborting);
  EXPECT_FALSE(progress.reason.empty());
  EXPECT_TRUE(state.reference.empty());
  EXPECT_TRUE(state.output.empty());
  EXPECT_EQ(state.pendingCount, 0);
}

}  // namespace
