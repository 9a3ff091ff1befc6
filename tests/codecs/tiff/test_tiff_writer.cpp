// The TIFF writer's pages as bytes: the entries each choice of the record gives, where pages
// are inserted, and the files and streams it refuses to write into. What libtiff makes of
// the pages is checked in test_tiff_writer_libtiff.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>

#include "codecs/tiff/packbits_encoder.h"
#include "codecs/tiff/tiff_cielab.h"
#include "codecs/tiff/tiff_tags.h"
#include "io/io_test_support.h"
#include "tiff_writer_test_util.h"

using namespace velora;
using namespace velora::tifftest;
using namespace velora::tiff;

namespace {

std::vector<uint8_t> WrittenFile(TBitmap& bitmap, TIOParamsVals& params) {
  TVLMemoryStream stream;
  const TWritten w = WriteTiff(stream, bitmap, params);
  EXPECT_EQ(w.pages, 1) << w.reason;
  EXPECT_FALSE(w.aborting) << w.reason;
  return stream.Data();
}

struct TFormCase {
  const char* name;
  bool mono;          // a 1-bit bitmap (else the colour picture)
  bool bilevel;       // BitsPerSample = SamplesPerPixel = 1
  int compression;    // TiffCompression
  int photometric;    // TiffPhotometric
  bool noLzwEncoder;
  uint16_t tiffCompression;
  uint16_t tiffPhotometric;
  uint32_t samples;
  bool predictor;
  int t4Options;  // -1: no entry
};

TEST(TiffWriter, EntriesFollowTheRecord) {
  const TFormCase cases[] = {
      {"1-bit Group 4", true, true, 4, 2, false, ccCcittT6, pcWhiteIsZero, 1, false, -1},
      {"1-bit uncompressed", true, true, 0, 2, false, ccNone, pcBlackIsZero, 1, false, -1},
      {"1-bit modified Huffman", true, true, 1, 2, false, ccCcittRle, pcWhiteIsZero, 1, false, -1},
      {"1-bit Group 3 1-D", true, true, 2, 2, false, ccCcittT4, pcWhiteIsZero, 1, false, 0},
      {"1-bit Group 3 2-D", true, true, 3, 2, false, ccCcittT4, pcWhiteIsZero, 1, false, 1},
      {"1-bit LZW", true, true, 5, 2, false, ccLzw, pcBlackIsZero, 1, false, -1},
      {"1-bit PackBits", true, true, 8, 2, false, ccPackBits, pcBlackIsZero, 1, false, -1},
      {"colour as bilevel, Group 4", false, true, 4, 2, false, ccCcittT6, pcWhiteIsZero, 1, false, -1},
      {"1-bit bitmap as RGB", true, false, 0, 2, false, ccNone, pcRgb, 3, false, -1},
      {"RGB LZW", false, false, 5, 2, false, ccLzw, pcRgb, 3, true, -1},
      {"RGB LZW without an encoder", false, false, 5, 2, true, ccNone, pcRgb, 3, false, -1},
      {"RGB PackBits", false, false, 8, 2, false, ccPackBits, pcRgb, 3, false, -1},
      {"RGB asking for Group 4", false, false, 4, 2, false, ccNone, pcRgb, 3, false, -1},
      {"grey photometric on 24 bits", false, false, 0, 1, false, ccNone, pcRgb, 3, false, -1},
      {"CMYK", false, false, 0, 5, false, ccNone, pcSeparated, 4, false, -1},
      {"CMYK LZW", false, false, 5, 5, false, ccLzw, pcSeparated, 4, false, -1},
      {"L*a*b* LZW", false, false, 5, 7, false, ccLzw, pcCieLab, 3, true, -1},
  };
  for (const TFormCase& c : cases) {
    SCOPED_TRACE(c.name);
    auto bitmap = c.mono ? MonoPicture() : ColourPicture();
    TIOParamsVals params;
    SetWriterParams(params, c.compression, c.photometric, c.bilevel);
    // Without an encoder means neither the record's nor the global slot's: another test in
    // this process may have installed the coders.
    std::optional<iotest::TScopedLzwCoders> none;
    if (c.noLzwEncoder) {
      none.emplace(TVLLzwCoders{});
      params.TiffLzwCompressor = nullptr;
    }
    params.TiffPageNumber = 1, params.TiffPageCount = 2;  // so that Predictor must follow PageNumber
    const auto file = WrittenFile(*bitmap, params);
    none.reset();
    const auto chain = ParseChain(file);
    ASSERT_EQ(chain.size(), 1u);
    const TIfd& ifd = chain[0];
    EXPECT_TRUE(std::is_sorted(ifd.order.begin(), ifd.order.end()));
    EXPECT_EQ(ifd[tgImageWidth].U(), uint32_t(bitmap->Width()));
    EXPECT_EQ(ifd[tgImageLength].U(), uint32_t(bitmap->Height()));
    EXPECT_EQ(ifd[tgCompression].U(), c.tiffCompression);
    EXPECT_EQ(ifd[tgPhotometricInterpretation].U(), c.tiffPhotometric);
    EXPECT_EQ(ifd[tgSamplesPerPixel].U(), c.samples);
    ASSERT_EQ(ifd[tgBitsPerSample].count, c.samples);
    for (uint32_t i = 0; i < c.samples; ++i) EXPECT_EQ(ifd[tgBitsPerSample].U(i), c.samples == 1 ? 1u : 8u);
    EXPECT_EQ(ifd.Has(tgPredictor), c.predictor);
    if (c.predictor) {
      EXPECT_EQ(ifd[tgPredictor].U(), 2u);
    }
    EXPECT_EQ(ifd.Has(tgT4Options), c.t4Options >= 0);
    if (c.t4Options >= 0) {
      EXPECT_EQ(ifd[tgT4Options].U(), uint32_t(c.t4Options));
    }
    EXPECT_EQ(ifd[tgRowsPerStrip].U(), uint32_t(bitmap->Height()));
    EXPECT_LE(uint64_t(ifd[tgStripOffsets].U()) + ifd[tgStripByteCounts].U(), ifd.offset);
    EXPECT_EQ(ifd.offset % 2, 0u);
    if (c.tiffPhotometric == pcSeparated) {
      EXPECT_EQ(params.SamplesPerPixel, 4);
    }
  }
}

TEST(TiffWriter, UncompressedBilevelStripHoldsTheBitmapRows) {
  auto bitmap = MonoPicture();
  TIOParamsVals params;
  SetWriterParams(params, 0, 2, true);
  const auto file = WrittenFile(*bitmap, params);
  const TIfd ifd = ParseChain(file).at(0);
  const size_t rowBytes = size_t(bitmap->Width() + 7) / 8;
  ASSERT_EQ(ifd[tgStripByteCounts].U(), rowBytes * size_t(bitmap->Height()));
  for (int y = 0; y < bitmap->Height(); ++y)
    ASSERT_EQ(std::memcmp(&file[ifd[tgStripOffsets].U() + y * rowBytes], bitmap->ScanLine(y), rowBytes), 0) << y;
}

TEST(TiffWriter, DescriptiveEntriesAsTheRecordHasThem) {
  auto bitmap = ColourPicture(5, 4);
  TIOParamsVals params;
  SetWriterParams(params, 0);
  params.TiffImageDescription = "ab";  // with its zero, short enough to lie in the entry
  params.TiffPageName = "Page one";
  params.TiffXPos = 2;
  auto file = WrittenFile(*bitmap, params);
  TIfd ifd = ParseChain(file).at(0);
  EXPECT_FALSE(ifd.Has(tgDocumentName));  // empty: no entry
  ASSERT_TRUE(ifd.Has(tgImageDescription));
  EXPECT_EQ(ifd[tgImageDescription].count, 3u);
  EXPECT_EQ(std::string(ifd[tgImageDescription].bytes.begin(), ifd[tgImageDescription].bytes.end()),
            std::string("ab\0", 3));
  EXPECT_EQ(ifd[tgPageName].count, 9u);
  EXPECT_EQ(ifd[tgPageName].bytes.back(), 0);
  EXPECT_EQ(ifd[tgXPosition].U(0), 20000u);
  EXPECT_EQ(ifd[tgXPosition].U(1), 10000u);
  EXPECT_EQ(ifd[tgYPosition].U(0), 0u);
  EXPECT_EQ(ifd[tgXResolution].U(0), 300u);
  EXPECT_EQ(ifd[tgXResolution].U(1), 1u);
  EXPECT_EQ(ifd[tgYResolution].U(0), 150u);
  EXPECT_EQ(ifd[tgResolutionUnit].U(), 2u);
  EXPECT_FALSE(ifd.Has(tgPageNumber));  // both values zero

  params.TiffDocumentName = "Scans";
  params.TiffPageNumber = 0, params.TiffPageCount = 3;
  file = WrittenFile(*bitmap, params);
  ifd = ParseChain(file).at(0);
  ASSERT_TRUE(ifd.Has(tgDocumentName));
  EXPECT_EQ(std::string(ifd[tgDocumentName].bytes.begin(), ifd[tgDocumentName].bytes.end()), std::string("Scans\0", 6));
  EXPECT_EQ(ifd[tgPageNumber].U(0), 0u);
  EXPECT_EQ(ifd[tgPageNumber].U(1), 3u);
}

// A file of pages of widths 10, 11, ... written by the writer itself, new then appended.
std::vector<uint8_t> PagesOfWidths(int pages) {
  TVLMemoryStream stream;
  for (int i = 0; i < pages; ++i) {
    auto bitmap = ColourPicture(10 + i, 3);
    TIOParamsVals params;
    SetWriterParams(params, 5);
    params.TiffImageIndex = i;
    stream.SetPosition(0);
    EXPECT_EQ(WriteTiff(stream, *bitmap, params, i > 0).pages, i + 1);
  }
  return stream.Data();
}

std::vector<uint32_t> ChainWidths(const std::vector<uint8_t>& file) {
  std::vector<uint32_t> widths;
  for (const TIfd& ifd : ParseChain(file)) widths.push_back(ifd[tgImageWidth].U());
  return widths;
}

TEST(TiffWriter, InsertsThePageWhereTheIndexSays) {
  const struct {
    int index;
    std::vector<uint32_t> widths;
  } cases[] = {{0, {20, 10, 11}}, {1, {10, 20, 11}}, {2, {10, 11, 20}}, {5, {10, 11, 20}}};
  const auto twoPages = PagesOfWidths(2);
  ASSERT_EQ(ChainWidths(twoPages), (std::vector<uint32_t>{10, 11}));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.index);
    TVLMemoryStream stream(twoPages.data(), int64_t(twoPages.size()));
    auto bitmap = ColourPicture(20, 5);
    TIOParamsVals params;
    SetWriterParams(params, 8);
    params.TiffImageIndex = c.index;
    const TWritten w = WriteTiff(stream, *bitmap, params, true);
    EXPECT_EQ(w.pages, 3) << w.reason;
    EXPECT_EQ(ChainWidths(stream.Data()), c.widths);
  }
}

// The writer's offsets count from the TIFF's first byte, wherever it starts in the stream.
TEST(TiffWriter, OffsetsCountFromTheStartOfTheTiff) {
  TVLMemoryStream stream;
  const uint8_t lead[12] = {'T', 'I', 'F', 'F'};
  stream.WriteBuffer(lead, sizeof lead);
  auto bitmap = ColourPicture(9, 4);
  TIOParamsVals params;
  SetWriterParams(params, 0);
  ASSERT_EQ(WriteTiff(stream, *bitmap, params).pages, 1);
  stream.SetPosition(12);
  ASSERT_EQ(WriteTiff(stream, *bitmap, params, true).pages, 2);
  const std::vector<uint8_t> tiff(stream.Data().begin() + 12, stream.Data().end());
  EXPECT_EQ(ChainWidths(tiff), (std::vector<uint32_t>{9, 9}));
}

void PutU32At(std::vector<uint8_t>& f, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) f[at + size_t(i)] = uint8_t(v >> (8 * i));
}

// Inserts a small page that must be refused: no pages, Aborting; returns the reason.
std::string RefusedInsertion(TVLStream& stream, int index) {
  auto bitmap = ColourPicture(4, 4);
  TIOParamsVals params;
  SetWriterParams(params, 0);
  params.TiffImageIndex = index;
  const TWritten w = WriteTiff(stream, *bitmap, params, true);
  EXPECT_EQ(w.pages, 0);
  EXPECT_TRUE(w.aborting);
  return w.reason;
}

TEST(TiffWriter, RefusesToInsertIntoAChainItCannotFollow) {
  const auto good = PagesOfWidths(2);
  const auto chain = ParseChain(good);
  const uint32_t first = chain[0].offset, second = chain[1].offset;
  auto nextFieldOf = [&](uint32_t ifd) { return ifd + 2 + 12 * uint32_t(good[ifd] | good[ifd + 1] << 8); };
  const struct {
    const char* name;
    std::function<void(std::vector<uint8_t>&)> damage;
  } cases[] = {
      {"big-endian", [](auto& f) { f[0] = f[1] = 'M'; }},
      {"BigTIFF", [](auto& f) { f[2] = 43; }},
      {"cut header", [](auto& f) { f.resize(6); }},
      {"self-pointing IFD", [&](auto& f) { PutU32At(f, nextFieldOf(first), first); }},
      {"two IFDs in a loop", [&](auto& f) { PutU32At(f, nextFieldOf(second), first); }},
      {"IFD past the end", [&](auto& f) { PutU32At(f, 4, uint32_t(f.size()) + 100); }},
      {"IFD at 4 GiB - 1", [&](auto& f) { PutU32At(f, 4, 0xFFFFFFFF); }},
      {"entries past the end", [&](auto& f) { f[second] = 0xFF, f[second + 1] = 0xFF; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto damaged = good;
    c.damage(damaged);
    TVLMemoryStream stream(damaged.data(), int64_t(damaged.size()));
    EXPECT_FALSE(RefusedInsertion(stream, 5).empty());
    EXPECT_EQ(stream.Data(), damaged);  // nothing written
  }
}

// A stream that holds a small TIFF and then claims to run on past 4 GiB: bytes beyond the
// TIFF read as zeros and writes there are only counted.
class TFarStream : public TVLStream {
 public:
  explicit TFarStream(std::vector<uint8_t> head) : head_(std::move(head)) {}
  int64_t Read(void* buffer, int64_t count) override {
    const int64_t n = std::max<int64_t>(0, std::min(count, kSize - position_));
    auto* out = static_cast<uint8_t*>(buffer);
    for (int64_t i = 0; i < n; ++i) out[i] = position_ + i < int64_t(head_.size()) ? head_[size_t(position_ + i)] : 0;
    position_ += n;
    return n;
  }
  int64_t Write(const void* buffer, int64_t count) override {
    for (int64_t i = 0; i < count; ++i)
      if (position_ + i < int64_t(head_.size())) head_[size_t(position_ + i)] = static_cast<const uint8_t*>(buffer)[i];
    position_ += count;
    return count;
  }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    const int64_t from = origin == TSeekOrigin::soBeginning ? 0 : origin == TSeekOrigin::soCurrent ? position_ : kSize;
    return position_ = std::max<int64_t>(0, from + offset);
  }
  int64_t Size() override { return kSize; }
  const std::vector<uint8_t>& Head() const { return head_; }

 private:
  static constexpr int64_t kSize = (int64_t(1) << 32) + 10;
  std::vector<uint8_t> head_;
  int64_t position_ = 0;
};

TEST(TiffWriter, FailsRatherThanWriteAnOffsetPast4GiB) {
  const auto twoPages = PagesOfWidths(2);
  TFarStream stream(twoPages);
  const std::string reason = RefusedInsertion(stream, 0);
  EXPECT_NE(reason.find("4 GiB"), std::string::npos) << reason;
  EXPECT_EQ(stream.Head(), twoPages);  // the chain still leads to the two pages
}

// A stream that takes `room` bytes and then refuses more, counting the writes tried after
// the first refusal.
class TFullStream : public TVLMemoryStream {
 public:
  explicit TFullStream(int64_t room) : room_(room) {}
  int64_t Write(const void* buffer, int64_t count) override {
    if (refused_) ++writesAfterRefusal;
    const int64_t n = std::clamp<int64_t>(room_ - Position(), 0, count);
    if (n < count) refused_ = true;
    return TVLMemoryStream::Write(buffer, n);
  }
  int writesAfterRefusal = 0;

 private:
  int64_t room_;
  bool refused_ = false;
};

TEST(TiffWriter, ARefusedWriteFailsThePageAndWritesNoIfd) {
  const struct {
    const char* name;
    int compression;
    bool bilevel;
  } cases[] = {{"none", 0, false},       {"PackBits", 8, false}, {"LZW", 5, false},         {"LZW bilevel", 5, true},
               {"modified Huffman", 1, true}, {"Group 3", 2, true}, {"Group 3 2-D", 3, true}, {"Group 4", 4, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto bitmap = c.bilevel ? MonoPicture(300, 200) : ColourPicture(300, 200);
    TIOParamsVals params;
    SetWriterParams(params, c.compression, 2, c.bilevel);
    TFullStream stream(100);  // room for the header and the first bytes of the strip
    TWritten w;
    ASSERT_NO_THROW(w = WriteTiff(stream, *bitmap, params));
    EXPECT_EQ(w.pages, 0);
    EXPECT_TRUE(w.aborting);
    EXPECT_FALSE(w.reason.empty());
    EXPECT_EQ(stream.writesAfterRefusal, 0);
  }
}

// The decoding rule of PackBits, to check that every coded row gives its bytes back (and
// that the encoder never writes the no-op count).
std::vector<uint8_t> UnpackBits(const std::vector<uint8_t>& in) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i < in.size();) {
    const int n = int8_t(in[i++]);
    if (n >= 0) {
      out.insert(out.end(), in.begin() + long(i), in.begin() + long(i) + n + 1);
      i += size_t(n) + 1;
    } else if (n != -128) {
      out.insert(out.end(), size_t(1 - n), in[i++]);
    } else {
      ADD_FAILURE() << "the no-op code at " << i - 1;
    }
  }
  return out;
}

TEST(PackBitsEncoder, RunsOfFourAndMoreAndGroupsOfAtMost128) {
  std::vector<uint8_t> distinct(200);
  for (size_t i = 0; i < distinct.size(); ++i) distinct[i] = uint8_t(i);
  const struct {
    const char* name;
    std::vector<uint8_t> row;
    std::vector<uint8_t> coded;  // empty: only the round trip is checked
  } cases[] = {
      {"run of four", {7, 7, 7, 7}, {0xFD, 7}},
      {"run of three stays literal", {1, 7, 7, 7, 2}, {4, 1, 7, 7, 7, 2}},
      {"literals, run, literal", {1, 2, 9, 9, 9, 9, 9, 3}, {1, 1, 2, 0xFC, 9, 0, 3}},
      {"run of 130", std::vector<uint8_t>(130, 5), {0x81, 5, 1, 5, 5}},
      {"single byte", {42}, {0, 42}},
      {"200 distinct bytes", distinct, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> coded;
    PackBitsEncodeRow(c.row.data(), int(c.row.size()), coded);
    if (!c.coded.empty()) {
      EXPECT_EQ(coded, c.coded);
    }
    EXPECT_EQ(UnpackBits(coded), c.row);
  }
  std::vector<uint8_t> coded;
  PackBitsEncodeRow(distinct.data(), int(distinct.size()), coded);
  EXPECT_EQ(coded[0], 127);  // a full group of 128, then the 72 others
  EXPECT_EQ(coded[129], 71);
}

TEST(TiffCieLab, StandardValuesOfSrgbColours) {
  const struct {
    TRGB colour;
    int l, a, b;
  } cases[] = {
      {{255, 255, 255}, 255, 0, 0},  // white: L* 100
      {{0, 0, 0}, 0, 0, 0},
      {{0, 0, 255}, 136, 80, 67},    // red: L* 53.24, a* 80.09, b* 67.20
      {{0, 255, 0}, 224, -86, 83},   // green: 87.73, -86.18, 83.18
      {{255, 0, 0}, 82, 79, -108},   // blue: 32.30, 79.19, -107.86
      {{128, 128, 128}, 137, 0, 0},  // mid grey: L* 53.59
  };
  for (const auto& c : cases) {
    uint8_t lab[3];
    SrgbToTiffLab(c.colour, lab);
    EXPECT_NEAR(lab[0], c.l, 1) << int(c.colour.r) << "," << int(c.colour.g) << "," << int(c.colour.b);
    EXPECT_NEAR(int8_t(lab[1]), c.a, 1);
    EXPECT_NEAR(int8_t(lab[2]), c.b, 1);
  }
}

// The front's way to pages: a file named .tif grows by one page per call.
TEST(TiffWriter, InsertToFileStartsAFileAndAddsPages) {
  iotest::TTempDir dir;
  const std::string name = dir.Path() + "/pages.tif";
  auto first = ColourPicture(10, 3), second = ColourPicture(11, 3);
  TVeloraIO io;
  SetWriterParams(io.Params(), 5);
  io.AttachBitmap(first.get());
  EXPECT_EQ(io.InsertToFile(name), 1);
  io.AttachBitmap(second.get());
  io.Params().TiffImageIndex = 0;
  EXPECT_EQ(io.InsertToFile(name), 2) << io.AbortReason;
  EXPECT_EQ(ChainWidths(testbytes::ReadFileBytes(name)), (std::vector<uint32_t>{11, 10}));

  EXPECT_EQ(io.InsertToFile(dir.Path() + "/pages.png"), 0);
  EXPECT_TRUE(io.Aborting);
  io.SaveToFile(name);  // a save starts the file again
  EXPECT_FALSE(io.Aborting) << io.AbortReason;
  EXPECT_EQ(ChainWidths(testbytes::ReadFileBytes(name)), (std::vector<uint32_t>{11}));
}

}  // namespace
