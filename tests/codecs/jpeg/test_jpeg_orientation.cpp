// Photos read upright: a JPEG's EXIF Orientation turns the picture when the record asks for
// it, at any decoding scale, with the header-only size agreeing; ImageMagick's -auto-orient
// is the reference where it is installed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "codecs/jpeg/jpeg_codec.h"
#include "io/velora_io.h"
#include "test_bytes.h"

using namespace velora;
using namespace velora::testbytes;

namespace {

// Flat 8 × 8 blocks of distinct colours: the JPEG keeps them within a step or two, and any
// wrong turn or mirror moves a whole block.
void FillBlocks(TBitmap& bmp, int w, int h) {
  bmp.Reset(w, h, TPixelFormat::pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = bmp.ScanLine(y) + 3 * x;
      p[0] = uint8_t(40 * (x / 8));
      p[1] = uint8_t(60 * (y / 8));
      p[2] = uint8_t(x / 8 == 0 && y / 8 == 0 ? 255 : 30);
    }
}

// An APP1 block "Exif\0\0" with a little-endian IFD 0 holding Orientation alone.
std::string ExifWithOrientation(int orientation) {
  Bytes b;
  Append(b, std::string("Exif\0\0II", 8));
  PutU16(b, 42);
  PutU32(b, 8);
  PutU16(b, 1);    // one entry
  PutU16(b, 274);  // Orientation
  PutU16(b, 3);    // SHORT
  PutU32(b, 1);
  PutU16(b, unsigned(orientation));
  PutU16(b, 0);
  PutU32(b, 0);  // no next IFD
  return std::string(b.begin(), b.end());
}

std::filesystem::path TempDir() {
  auto dir = std::filesystem::temp_directory_path() / ("velora_orient_test_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  return dir;
}

std::string WritePhoto(const std::filesystem::path& dir, int orientation, int w, int h) {
  TBitmap src;
  FillBlocks(src, w, h);
  TIOParamsVals params;
  params.JpegQuality = 100;
  const std::string app1 = ExifWithOrientation(orientation);
  params.JpegMarkers.Add(0xE1, app1.data(), int(app1.size()));
  TVLMemoryStream out;
  TVLLocalProgress progress;
  JpegWriteStream(out, src, params, progress.record);
  EXPECT_FALSE(progress.aborting);
  const std::string path = (dir / ("o" + std::to_string(orientation) + ".jpg")).string();
  WriteFileBytes(path, out.Data());
  return path;
}

struct TRead {
  TBitmap bitmap;
  int width = 0, height = 0;  // as the header-only read reports them
};

bool Read(const std::string& path, bool upright, TRead& r, int jpegScale = 1) {
  TVeloraIO io;
  io.Params().JpegApplyOrientation = upright;
  io.ReadParamsFromFile(path);
  r.width = io.Params().Width;
  r.height = io.Params().Height;
  io.AttachBitmap(&r.bitmap);
  io.Params().JpegScale = uint8_t(jpegScale);
  io.LoadFromFile(path);
  return !io.Aborting;
}

int MaxDiff(const TBitmap& a, const TBitmap& b) {
  int worst = 0;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width() * 3; ++x) worst = std::max(worst, std::abs(a.ScanLine(y)[x] - b.ScanLine(y)[x]));
  return worst;
}

bool HaveImageMagick() { return std::system("convert -version >/dev/null 2>&1") == 0; }

}  // namespace

TEST(JpegOrientation, ReadsUprightExactlyAsImageMagickTurnsIt) {
  if (!HaveImageMagick()) GTEST_SKIP() << "ImageMagick not installed";
  const auto dir = TempDir();
  for (int orientation = 1; orientation <= 8; ++orientation) {
    const std::string path = WritePhoto(dir, orientation, 24, 16);
    const std::string ref = (dir / "ref.ppm").string();
    ASSERT_EQ(std::system(("convert '" + path + "' -auto-orient '" + ref + "'").c_str()), 0);
    TRead expected, ours;
    ASSERT_TRUE(Read(ref, false, expected));
    ASSERT_TRUE(Read(path, true, ours)) << orientation;
    ASSERT_EQ(ours.bitmap.Width(), expected.bitmap.Width()) << orientation;
    ASSERT_EQ(ours.bitmap.Height(), expected.bitmap.Height()) << orientation;
    EXPECT_LE(MaxDiff(ours.bitmap, expected.bitmap), 1) << orientation;
    EXPECT_EQ(ours.width, ours.bitmap.Width()) << "header-only width, orientation " << orientation;
    EXPECT_EQ(ours.height, ours.bitmap.Height()) << "header-only height, orientation " << orientation;
  }
  std::filesystem::remove_all(dir);
}

TEST(JpegOrientation, StoredAsItIsUnlessAsked) {
  const auto dir = TempDir();
  TBitmap stored;
  FillBlocks(stored, 24, 16);
  for (int orientation : {3, 6, 8}) {
    TRead r;
    ASSERT_TRUE(Read(WritePhoto(dir, orientation, 24, 16), false, r));
    EXPECT_EQ(r.bitmap.Width(), 24);
    EXPECT_EQ(r.width, 24);
    EXPECT_LE(MaxDiff(r.bitmap, stored), 2) << orientation;
  }
  std::filesystem::remove_all(dir);
}

// A thumbnail decodes at a reduced scale first and turns the few pixels it got.
TEST(JpegOrientation, ReducedScalesTurnAfterDecoding) {
  const auto dir = TempDir();
  const std::string path = WritePhoto(dir, 6, 64, 32);
  TRead full, half;
  ASSERT_TRUE(Read(path, true, full));
  ASSERT_TRUE(Read(path, true, half, 2));
  EXPECT_EQ(full.bitmap.Width(), 32);
  EXPECT_EQ(full.bitmap.Height(), 64);
  EXPECT_EQ(half.bitmap.Width(), 16);
  EXPECT_EQ(half.bitmap.Height(), 32);
  // The top-left block of the stored picture (blue 255) is at the top right once upright.
  EXPECT_GT(full.bitmap.ScanLine(0)[3 * 31 + 2], 200);
  EXPECT_GT(half.bitmap.ScanLine(0)[3 * 15 + 2], 200);
  std::filesystem::remove_all(dir);
}

// The orientation belongs to one file: reading a photo without EXIF after a turned one with
// the same record must not turn it.
TEST(JpegOrientation, AnEarlierFilesOrientationIsNotCarriedOver) {
  const auto dir = TempDir();
  const std::string turned = WritePhoto(dir, 6, 24, 16);
  TBitmap src;
  FillBlocks(src, 24, 16);
  TIOParamsVals params;
  TVLMemoryStream out;
  TVLLocalProgress progress;
  JpegWriteStream(out, src, params, progress.record);
  const std::string plain = (dir / "plain.jpg").string();
  WriteFileBytes(plain, out.Data());

  TBitmap bitmap;
  TVeloraIO io;
  io.AttachBitmap(&bitmap);
  io.Params().JpegApplyOrientation = true;
  io.LoadFromFile(turned);
  EXPECT_EQ(bitmap.Width(), 16);
  io.LoadFromFile(plain);
  EXPECT_EQ(bitmap.Width(), 24);
  std::filesystem::remove_all(dir);
}
