// The TIFF reader on small files written byte by byte: the page walk and its loops, the
// bilevel and grey rules, resolution, tiles at the image's edges, header-only reads, and the
// refusals that keep bad files from crashing or reading as blank pictures.
#include <gtest/gtest.h>

#include <memory>

#include "codecs/tiff/fax_coder.h"
#include "tiff_builder.h"
#include "tiff_reader_test_util.h"

using namespace velora;
using namespace velora::tiff;
using namespace velora::tifftest;

namespace {

std::unique_ptr<TOurRead> Read(const std::vector<uint8_t>& file, int page = 0, bool headerOnly = false) {
  auto r = std::make_unique<TOurRead>();
  TVLBufferStream stream(file.data(), int64_t(file.size()));
  ReadOurs(stream, *r, page, headerOnly);
  return r;
}

std::vector<uint8_t> Filled(size_t n, uint8_t v) { return std::vector<uint8_t>(n, v); }

uint8_t Red(const TBitmap& b, int x, int y) { return b.ScanLine(y)[x * 3 + 2]; }

TEST(TiffReader, PagesAndTheirCount) {
  const auto file = BuildTiff({GreyPage(4, 2, 8, pcBlackIsZero, 2, {Filled(8, 10)}),
                               GreyPage(5, 3, 8, pcBlackIsZero, 3, {Filled(15, 20)}),
                               GreyPage(6, 4, 8, pcBlackIsZero, 4, {Filled(24, 30)})});
  const auto third = Read(file, 2);
  ASSERT_FALSE(third->aborting) << third->reason;
  EXPECT_EQ(third->count, 3);
  EXPECT_EQ(third->params.TiffImageCount, 3);
  EXPECT_EQ(third->bitmap.Width(), 6);
  EXPECT_EQ(Red(third->bitmap, 5, 3), 30);
  EXPECT_EQ(Read(file, 0, true)->params.TiffImageCount, 3);
  const auto beyond = Read(file, 3);
  EXPECT_TRUE(beyond->aborting);
  EXPECT_EQ(beyond->params.TiffImageCount, 3);
}

// Any loop ends the walk: an IFD pointing at itself, or two pointing at each other.
TEST(TiffReader, IfdLoopsEndTheWalk) {
  struct {
    std::vector<int> next;
    int pages;
  } const cases[] = {{{0}, 1}, {{1, 0}, 2}, {{1, 2, 1}, 3}};
  for (const auto& c : cases) {
    std::vector<TPage> pages;
    for (int n : c.next) {
      pages.push_back(GreyPage(2, 2, 8, pcBlackIsZero, 2, {Filled(4, 1)}));
      pages.back().nextPage = n;
    }
    const auto r = Read(BuildTiff(pages), 0, true);
    EXPECT_FALSE(r->aborting) << r->reason;
    EXPECT_EQ(r->params.TiffImageCount, c.pages);
    EXPECT_TRUE(Read(BuildTiff(pages), c.pages)->aborting);
  }
}

// A fax page without PhotometricInterpretation is white paper with black marks.
TEST(TiffReader, FaxPageWithoutPhotometric) {
  const int width = 32;
  const uint8_t rows[3][4] = {{0, 0, 0, 0}, {0xFF, 0, 0, 0x0F}, {0, 0x18, 0, 0}};  // 1 black
  TVLMemoryStream coded;
  TVLLocalProgress progress;
  TFaxEncoderState state;
  for (const auto& row : rows) EncodeT4Row2D(row, width, coded, progress.record, state);
  EncodeT4Row2D(nullptr, width, coded, progress.record, state);
  TPage page = GreyPage(width, 3, 1, 0, 3, {coded.Data()});
  page.entries.erase(page.entries.begin() + 3);  // no PhotometricInterpretation
  page.entries.push_back(Short(tgCompression, {ccCcittT4}));
  page.entries.push_back(Long(tgT4Options, {1}));
  const auto r = Read(BuildTiff({page}));
  ASSERT_FALSE(r->aborting) << r->reason;
  ASSERT_EQ(r->bitmap.PixelFormat(), TPixelFormat::pf1bit);
  for (int y = 0; y < 3; ++y)
    for (int i = 0; i < 4; ++i) EXPECT_EQ(r->bitmap.ScanLine(y)[i], uint8_t(~rows[y][i])) << y << " " << i;
}

TEST(TiffReader, BilevelWhiteIsZeroInvertedBlackIsZeroCopied) {
  for (const uint32_t photometric : {pcWhiteIsZero, pcBlackIsZero}) {
    const auto r = Read(BuildTiff({GreyPage(8, 1, 1, photometric, 1, {{0xF0}})}));
    ASSERT_FALSE(r->aborting) << r->reason;
    EXPECT_EQ(r->bitmap.ScanLine(0)[0], photometric == pcWhiteIsZero ? 0x0F : 0xF0);
  }
}

// 16-bit grey by the high byte, but 12-bit data in the words of one scanner's software.
TEST(TiffReader, SixteenBitGreyAndXandelmoor) {
  struct {
    const char* software;
    uint16_t value;
    uint8_t grey;
  } const cases[] = {{"Xandelmoor v1.1", 4095, 255}, {"Xandelmoor v1.1", 2048, 128}, {"Other", 65535, 255}, {"Other", 4095, 15}};
  for (const auto& c : cases) {
    TPage page = GreyPage(1, 1, 16, pcBlackIsZero, 1, {{uint8_t(c.value), uint8_t(c.value >> 8)}});
    page.entries.push_back(Ascii(tgSoftware, c.software));
    const auto r = Read(BuildTiff({page}));
    ASSERT_FALSE(r->aborting) << r->reason;
    EXPECT_EQ(Red(r->bitmap, 0, 0), c.grey) << c.software << " " << c.value;
  }
}

// 4-bit grey spreads 0..15 over 0..255, 2-bit 0..3.
TEST(TiffReader, ShallowGreyScalesToFullRange) {
  EXPECT_EQ(Red(Read(BuildTiff({GreyPage(2, 1, 4, pcBlackIsZero, 1, {{0xF7}})}))->bitmap, 0, 0), 255);
  EXPECT_EQ(Red(Read(BuildTiff({GreyPage(2, 1, 4, pcBlackIsZero, 1, {{0xF7}})}))->bitmap, 1, 0), 7 * 17);
  EXPECT_EQ(Red(Read(BuildTiff({GreyPage(4, 1, 2, pcBlackIsZero, 1, {{0x1B}})}))->bitmap, 1, 0), 85);
}

TEST(TiffReader, ResolutionInCentimetres) {
  TPage page = GreyPage(1, 1, 8, pcBlackIsZero, 1, {{0}});
  page.entries.push_back(Rational(tgXResolution, 118, 1));
  page.entries.push_back(Rational(tgYResolution, 300, 0));  // a zero denominator counts as 1
  page.entries.push_back(Short(tgResolutionUnit, {3}));
  page.entries.push_back(Rational(tgXPosition, 2, 1));
  const auto r = Read(BuildTiff({page}), 0, true);
  EXPECT_EQ(r->params.DpiX, 299);
  EXPECT_EQ(r->params.DpiY, 762);
  EXPECT_EQ(r->params.TiffXPos, 5);
}

// Tiles go left to right, then down; those overhanging the image are clipped.
TEST(TiffReader, TilesPlacedAndClipped) {
  struct {
    uint32_t size, tile;
    int probeX, probeY, tileAtProbe;
  } const cases[] = {{512, 256, 0, 256, 2}, {512, 256, 256, 0, 1}, {100, 64, 99, 99, 3}, {100, 64, 63, 64, 2}};
  for (const auto& c : cases) {
    TPage page = GreyPage(c.size, c.size, 8, pcBlackIsZero, c.size, {});
    page.entries.pop_back();  // tiles have no RowsPerStrip
    page.entries.push_back(Long(tgTileWidth, {c.tile}));
    page.entries.push_back(Long(tgTileLength, {c.tile}));
    page.tiled = true;
    const uint32_t across = (c.size + c.tile - 1) / c.tile;
    for (uint32_t t = 0; t < across * across; ++t) page.blocks.push_back(Filled(size_t(c.tile) * c.tile, uint8_t(10 + t)));
    const auto r = Read(BuildTiff({page}));
    ASSERT_FALSE(r->aborting) << r->reason;
    ASSERT_EQ(r->bitmap.Width(), int(c.size));
    EXPECT_EQ(Red(r->bitmap, c.probeX, c.probeY), 10 + c.tileAtProbe) << c.size << " at " << c.probeX << "," << c.probeY;
  }
}

TEST(TiffReader, HeaderOnlyPalette) {
  std::vector<uint32_t> map(48);
  for (uint32_t i = 0; i < 16; ++i) map[i] = i * 4096, map[16 + i] = 0xFF00, map[32 + i] = 0;
  TPage page = GreyPage(7, 5, 4, pcPalette, 5, {Filled(20, 0x12)});
  page.entries.push_back(Short(tgColorMap, map));
  TOurRead r;
  r.bitmap.Reset(3, 3, TPixelFormat::pf24bit);
  const auto file = BuildTiff({page});
  TVLBufferStream stream(file.data(), int64_t(file.size()));
  VLInstallLzwCoders();
  TVLLocalProgress progress;
  TiffReadStream(stream, &r.bitmap, r.count, nullptr, true, progress.record, r.params);
  ASSERT_FALSE(progress.aborting) << progress.reason;
  EXPECT_EQ(r.params.Width, 7);
  EXPECT_EQ(r.params.Height, 5);
  EXPECT_EQ(r.params.BitsPerSample, 4);
  EXPECT_EQ(r.params.SamplesPerPixel, 1);
  ASSERT_EQ(r.params.ColorMapCount(), 16);
  EXPECT_EQ(r.params.ColorMap()[2].r, 0x20);
  EXPECT_EQ(r.bitmap.Width(), 3);
  // The full read: index 1 then 2 in every byte.
  const auto full = Read(file);
  ASSERT_FALSE(full->aborting) << full->reason;
  EXPECT_EQ(Red(full->bitmap, 0, 0), 0x10);
  EXPECT_EQ(Red(full->bitmap, 1, 0), 0x20);
}

// Strips covering fewer rows than the image keep what they decoded and fail.
TEST(TiffReader, ShortStripArrayKeepsRowsAndFails) {
  const auto r = Read(BuildTiff({GreyPage(2, 6, 8, pcBlackIsZero, 2, {Filled(4, 50), Filled(4, 60)})}));
  EXPECT_TRUE(r->aborting);
  ASSERT_EQ(r->bitmap.Height(), 6);
  EXPECT_EQ(Red(r->bitmap, 1, 3), 60);
}

// Layouts that must fail with a reason, full and header-only: nothing reads as a blank picture.
TEST(TiffReader, RefusedLayouts) {
  auto with = [](TPage page, std::vector<TEntry> extra) {
    for (auto& e : extra) {
      std::erase_if(page.entries, [&](const TEntry& old) { return old.tag == e.tag; });
      page.entries.push_back(e);
    }
    return BuildTiff({page});
  };
  const TPage grey = GreyPage(4, 4, 8, pcBlackIsZero, 4, {Filled(16, 0)});
  const std::vector<uint8_t> cases[] = {
      with(grey, {Short(tgBitsPerSample, {8, 4}), Short(tgSamplesPerPixel, {2})}),  // unequal samples
      with(grey, {Short(tgPhotometricInterpretation, {pcPalette})}),                 // no ColorMap
      with(grey, {Short(tgPhotometricInterpretation, {pcRgb}), Short(tgSamplesPerPixel, {2}),
                  Short(tgBitsPerSample, {8, 8})}),                                   // RGB of two samples
      with(grey, {Short(tgCompression, {34676})}),                                    // unknown compression
      with(grey, {Short(tgSampleFormat, {3})}),                                       // floating point
      with(grey, {Long(tgImageWidth, {60000}), Long(tgImageLength, {60000})}),        // data cannot back it
      with(grey, {Long(tgTileWidth, {1 << 20}), Long(tgTileLength, {1 << 20})}),      // tiles far beyond the image
      with(grey, {Long(tgImageWidth, {0})}),
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto header = Read(cases[i], 0, true), full = Read(cases[i]);
    EXPECT_TRUE(header->aborting) << i;
    EXPECT_TRUE(full->aborting) << i;
    EXPECT_FALSE(full->reason.empty()) << i;
  }
}

// Of a BitsPerSample list longer than SamplesPerPixel only the first values count; RowsPerStrip
// 0 means the whole image.
TEST(TiffReader, LenientFields) {
  TPage page = GreyPage(2, 3, 8, pcBlackIsZero, 0, {Filled(6, 77)});
  page.entries[2] = Short(tgBitsPerSample, {8, 16, 16});
  const auto r = Read(BuildTiff({page}));
  ASSERT_FALSE(r->aborting) << r->reason;
  EXPECT_EQ(Red(r->bitmap, 1, 2), 77);
}

// Data cut short: a strip with fewer bytes than its rows keeps the rows it has and fails; a
// file cut before its directory fails cleanly.
TEST(TiffReader, TruncatedFiles) {
  const auto r = Read(BuildTiff({GreyPage(16, 32, 8, pcBlackIsZero, 32, {Filled(200, 9)})}));
  EXPECT_TRUE(r->aborting);
  EXPECT_EQ(Red(r->bitmap, 15, 11), 9);
  auto file = BuildTiff({GreyPage(16, 16, 8, pcBlackIsZero, 16, {Filled(256, 9)})});
  for (size_t cut : {size_t(4), size_t(9), size_t(100), file.size() - 20}) {
    std::vector<uint8_t> part(file.begin(), file.begin() + ptrdiff_t(cut));
    EXPECT_TRUE(Read(part)->aborting) << cut;
  }
}

}  // namespace

namespace {

// Orientation 6 (the camera turned clockwise) turns 200 × 100 into 100 × 200; with the
// orientation step off the picture stays as stored.
TEST(TiffReader, OrientationSixTurnsTheSize) {
  TPage page = GreyPage(200, 100, 8, pcBlackIsZero, 100, {Filled(20000, 5)});
  page.entries.push_back(Short(tgOrientation, {6}));
  const auto file = BuildTiff({page});
  const auto r = Read(file);
  ASSERT_FALSE(r->aborting) << r->reason;
  EXPECT_EQ(r->bitmap.Width(), 100);
  EXPECT_EQ(r->bitmap.Height(), 200);
  EXPECT_EQ(r->mask.Width(), 100);
  TOurRead stored;
  TVLBufferStream stream(file.data(), int64_t(file.size()));
  ReadOurs(stream, stored, 0, false, false);
  EXPECT_EQ(stored.bitmap.Width(), 200);
}

}  // namespace
