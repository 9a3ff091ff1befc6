// The EXIF block of a JPEG through the TIFF reader: the fields of IFD 0 and its camera sub-IFD,
// the thumbnail of IFD 1, the resolution rule, and blocks that must never fail the JPEG read.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "codecs/tiff/tiff_builder.h"
#include "codecs/formats.h"
#include "io/format_descriptor.h"
#include "io/velora_io.h"
#include "test_bytes.h"

using namespace velora;
using namespace velora::tiff;
using namespace velora::tifftest;

namespace {

std::vector<uint8_t> EncodeJpeg(int width, int height, TIOParamsVals& params) {
  TBitmap picture(width, height, TPixelFormat::pf24bit);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width * 3; ++x) picture.ScanLine(y)[x] = uint8_t(x * 9 + y * 17);
  TVLMemoryStream out;
  TVLLocalProgress progress;
  VLFindBuiltinFormat(ioJPEG)->Write(out, picture, params, nullptr, progress.record);
  return out.Data();
}

// The camera sub-IFD, little-endian, to sit at `at`: ExposureTime 1/250, FNumber 28/10, ISO 200,
// ExifVersion "0230".
std::vector<uint8_t> CameraIfd(uint32_t at) {
  using testbytes::PutU16;
  using testbytes::PutU32;
  std::vector<uint8_t> b;
  const uint32_t values = at + 2 + 4 * 12 + 4;
  PutU16(b, 4);
  PutU16(b, etExposureTime), PutU16(b, ftRational), PutU32(b, 1), PutU32(b, values);
  PutU16(b, etFNumber), PutU16(b, ftRational), PutU32(b, 1), PutU32(b, values + 8);
  PutU16(b, etISOSpeedRatings), PutU16(b, ftShort), PutU32(b, 1), PutU32(b, 200);
  PutU16(b, etExifVersion), PutU16(b, ftUndefined), PutU32(b, 4), b.insert(b.end(), {'0', '2', '3', '0'});
  PutU32(b, 0);
  PutU32(b, 1), PutU32(b, 250), PutU32(b, 28), PutU32(b, 10);
  return b;
}

// "Exif", two zero bytes, then a TIFF of IFD 0 (fields, camera sub-IFD) and IFD 1 (a JPEG
// thumbnail of 8 x 6).
std::vector<uint8_t> ExifBlock(uint32_t resolutionUnit, uint32_t xResolution) {
  TIOParamsVals thumbParams;
  const std::vector<uint8_t> thumbnail = EncodeJpeg(8, 6, thumbParams);
  auto build = [&](uint32_t cameraAt, uint32_t thumbnailAt) {
    TPage fields;
    fields.entries = {Ascii(tgMake, "Velora Camera"), Ascii(tgImageDescription, "a lake"),
                      Rational(tgXResolution, xResolution, 100), Rational(tgYResolution, xResolution, 100),
                      Short(tgResolutionUnit, {resolutionUnit}), Long(tgExifIFD, {cameraAt})};
    TPage thumb;
    thumb.entries = {Short(tgCompression, {ccOldJpeg}), Long(tgJPEGInterchangeFormat, {thumbnailAt}),
                     Long(tgJPEGInterchangeFormatLength, {uint32_t(thumbnail.size())})};
    thumb.blocks = {thumbnail};
    return BuildTiff({fields, thumb});
  };
  std::vector<uint8_t> tiff = build(0, 0);
  const uint32_t thumbnailAt =
      uint32_t(std::search(tiff.begin(), tiff.end(), thumbnail.begin(), thumbnail.end()) - tiff.begin());
  tiff = build(uint32_t(tiff.size()), thumbnailAt);
  const std::vector<uint8_t> camera = CameraIfd(uint32_t(tiff.size()));
  tiff.insert(tiff.end(), camera.begin(), camera.end());
  std::vector<uint8_t> block = {'E', 'x', 'i', 'f', 0, 0};
  block.insert(block.end(), tiff.begin(), tiff.end());
  return block;
}

struct TLoaded {
  TBitmap bitmap;
  TVeloraIO io;
};

void Load(const std::vector<uint8_t>& block, int dpi, TLoaded& out) {
  VLInstallLzwCoders();
  TIOParamsVals params;
  params.DpiX = params.DpiY = dpi;
  params.JpegMarkers.Add(0xE1, block.data(), int(block.size()));
  const std::vector<uint8_t> file = EncodeJpeg(16, 8, params);
  TVLBufferStream stream(file.data(), int64_t(file.size()));
  out.io.AttachBitmap(&out.bitmap);
  out.io.LoadFromStream(stream);
}

TEST(JpegExif, FieldsThumbnailAndResolution) {
  TLoaded r;
  Load(ExifBlock(2, 7200), 1, r);
  ASSERT_FALSE(r.io.Aborting) << r.io.AbortReason;
  const TIOParamsVals& p = r.io.Params();
  EXPECT_EQ(p.ExifMake, "Velora Camera");
  EXPECT_EQ(p.ExifImageDescription, "a lake");
  EXPECT_DOUBLE_EQ(p.ExifExposureTime, 1.0 / 250);
  EXPECT_DOUBLE_EQ(p.ExifFNumber, 2.8);
  EXPECT_EQ(p.ExifISOSpeedRatings[0], 200);
  EXPECT_EQ(p.ExifVersion, "0230");
  EXPECT_EQ(p.ExifThumbnail.Width(), 8);
  EXPECT_EQ(p.ExifThumbnail.Height(), 6);
  // A 1 x 1 JFIF density is only an aspect ratio: the camera's 72 dpi take its place.
  EXPECT_EQ(p.DpiX, 72);
  EXPECT_EQ(p.DpiY, 72);
  EXPECT_EQ(r.bitmap.Width(), 16);
}

TEST(JpegExif, ResolutionRule) {
  struct {
    uint32_t unit, resolution;  // resolution × 100
    int density, dpi;
  } const cases[] = {{3, 2835, 1, 72}, {2, 7200, 300, 300}};
  for (const auto& c : cases) {
    TLoaded r;
    Load(ExifBlock(c.unit, c.resolution), c.density, r);
    ASSERT_FALSE(r.io.Aborting) << r.io.AbortReason;
    EXPECT_EQ(r.io.Params().DpiX, c.dpi) << c.unit;
  }
}

// A block cut anywhere, or holding no TIFF, leaves the JPEG read good.
TEST(JpegExif, DamagedBlocksNeverFailTheRead) {
  const std::vector<uint8_t> whole = ExifBlock(2, 7200);
  for (size_t cut : {size_t(6), size_t(10), size_t(30), whole.size() / 2, whole.size() - 40}) {
    std::vector<uint8_t> part(whole.begin(), whole.begin() + ptrdiff_t(cut));
    TLoaded r;
    Load(part, 96, r);
    EXPECT_FALSE(r.io.Aborting) << cut << ": " << r.io.AbortReason;
    EXPECT_EQ(r.bitmap.Width(), 16) << cut;
    EXPECT_FALSE(r.io.Params().ExifThumbnail.Empty()) << cut;
  }
}

}  // namespace
