// Photos read upright: a JPEG's EXIF Orientation turns the picture when the record asks for
// it, at any decoding scale, with the header-only size agreeing; ImageMagick's -auto-orient
// is the reference where it is installed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "io/io_test_support.h"
#include "io/velora_io.h"
#include "oriented_photo.h"

using namespace velora;
using namespace velora::orienttest;

namespace {

struct TRead {
  TBitmap bitmap;
  TVLMask alpha;
  int width = 0, height = 0;  // as the header-only read reports them
  int scaleUsed = 0;
};

struct TReadOptions {
  bool upright = false;
  int jpegScale = 1;
  int wantedW = 0, wantedH = 0;  // with jpegScale 0 (automatic)
};

bool Read(const std::string& path, TRead& r, TReadOptions o) {
  TVeloraIO io;
  io.Params().JpegApplyOrientation = o.upright;
  io.Params().JpegScale = uint8_t(o.jpegScale);
  io.Params().Width = o.wantedW, io.Params().Height = o.wantedH;
  io.ReadParamsFromFile(path);
  r.width = io.Params().Width;
  r.height = io.Params().Height;
  io.AttachBitmap(&r.bitmap);
  io.SetAlphaMask(&r.alpha);
  io.Params().Width = o.wantedW, io.Params().Height = o.wantedH;
  io.LoadFromFile(path);
  r.scaleUsed = io.Params().JpegScaleUsed;
  return !io.Aborting;
}

int MaxDiff(const TBitmap& a, const TBitmap& b) { return UprightDifference(a, b, 1); }

bool HaveImageMagick() { return std::system("convert -version >/dev/null 2>&1") == 0; }

class JpegOrientation : public ::testing::Test {
 protected:
  std::string Photo(int orientation, int w = 48, int h = 32, TExifLayout layout = {}) {
    return WritePhoto(dir.Path() + "/o" + std::to_string(orientation) + ".jpg", orientation, w, h, layout);
  }
  iotest::TTempDir dir;
};

}  // namespace

// Eight photos, Orientation 1 to 8: upright when asked, as ImageMagick turns them; the stored
// picture otherwise; the header-only size and the alpha mask agree with the pixels either way.
TEST_F(JpegOrientation, EightOrientationsReadUprightOnlyWhenAsked) {
  const bool magick = HaveImageMagick();
  TRead plain;  // the stored picture as the decoder gives it
  ASSERT_TRUE(Read(Photo(1), plain, {}));
  for (int orientation = 1; orientation <= 8; ++orientation) {
    SCOPED_TRACE("orientation " + std::to_string(orientation));
    const std::string path = Photo(orientation);
    TRead stored, upright;
    ASSERT_TRUE(Read(path, stored, {}));
    ASSERT_TRUE(Read(path, upright, {.upright = true}));
    EXPECT_EQ(MaxDiff(stored.bitmap, plain.bitmap), 0);
    EXPECT_EQ(UprightDifference(upright.bitmap, plain.bitmap, orientation), 0);
    for (const TRead* r : {&stored, &upright}) {
      EXPECT_EQ(r->width, r->bitmap.Width());
      EXPECT_EQ(r->height, r->bitmap.Height());
      EXPECT_EQ(r->alpha.Width(), r->bitmap.Width());
      EXPECT_EQ(r->alpha.Height(), r->bitmap.Height());
    }
    if (!magick) continue;
    const std::string ref = dir.Path() + "/ref.ppm";
    ASSERT_EQ(std::system(("convert '" + path + "' -auto-orient '" + ref + "'").c_str()), 0);
    TRead theirs;
    ASSERT_TRUE(Read(ref, theirs, {}));
    ASSERT_EQ(upright.bitmap.Width(), theirs.bitmap.Width());
    ASSERT_EQ(upright.bitmap.Height(), theirs.bitmap.Height());
    EXPECT_LE(MaxDiff(upright.bitmap, theirs.bitmap), 1);
  }
  if (!magick) GTEST_SKIP() << "turned as the EXIF table says; ImageMagick not installed for the comparison";
}

// A thumbnail decodes at a reduced scale first and turns the few pixels it got; a big-endian
// block, as many cameras write, and a LONG value are found as well.
TEST_F(JpegOrientation, ReducedScalesAndBlockLayouts) {
  const struct {
    int orientation, scale;
    TExifLayout layout;
  } cases[] = {{6, 2, {}}, {8, 3, {.bigEndian = true}}, {5, 4, {.longValue = true}}, {3, 2, {true, true}}};
  for (const auto& c : cases) {
    SCOPED_TRACE("orientation " + std::to_string(c.orientation) + ", scale " + std::to_string(c.scale));
    const std::string path = Photo(c.orientation, 128, 64, c.layout);
    TRead stored, upright;
    ASSERT_TRUE(Read(path, stored, {.jpegScale = c.scale}));
    ASSERT_TRUE(Read(path, upright, {.upright = true, .jpegScale = c.scale}));
    EXPECT_EQ(UprightDifference(upright.bitmap, stored.bitmap, c.orientation), 0);
    EXPECT_EQ(upright.width, upright.bitmap.Width());
    EXPECT_EQ(upright.height, upright.bitmap.Height());
  }
}

// The automatic scale measures the wanted size against the picture as it will stand: a
// 128 × 64 photo that stands as 64 × 128, wanted at 16 × 32, needs only a quarter.
TEST_F(JpegOrientation, AutomaticScaleGoesByTheUprightSize) {
  const std::string path = Photo(6, 128, 64);
  TRead upright, stored;
  ASSERT_TRUE(Read(path, upright, {.upright = true, .jpegScale = 0, .wantedW = 16, .wantedH = 32}));
  EXPECT_EQ(upright.scaleUsed, 4);
  EXPECT_EQ(upright.bitmap.Width(), 16);
  EXPECT_EQ(upright.bitmap.Height(), 32);
  ASSERT_TRUE(Read(path, stored, {.jpegScale = 0, .wantedW = 16, .wantedH = 32}));
  EXPECT_EQ(stored.scaleUsed, 2);
}

// The orientation belongs to one file: reading a photo without EXIF after a turned one with
// the same record must not turn it.
TEST_F(JpegOrientation, AnEarlierFilesOrientationIsNotCarriedOver) {
  const std::string turned = Photo(6);
  const std::string plain = dir.Path() + "/plain.jpg";
  testbytes::WriteFileBytes(plain, EncodePhoto(48, 32, ""));
  TBitmap bitmap;
  TVeloraIO io;
  io.AttachBitmap(&bitmap);
  io.Params().JpegApplyOrientation = true;
  io.LoadFromFile(turned);
  EXPECT_EQ(bitmap.Width(), 32);
  io.LoadFromFile(plain);
  EXPECT_EQ(bitmap.Width(), 48);
}

// A photo saved after an upright read says it is upright: whoever reads the copy must not
// turn it once more.
TEST_F(JpegOrientation, ASavedCopyIsNotTurnedAgain) {
  for (const TExifLayout layout : {TExifLayout{}, TExifLayout{.bigEndian = true, .longValue = true}}) {
    TBitmap bitmap;
    TVeloraIO io;
    io.AttachBitmap(&bitmap);
    io.Params().JpegApplyOrientation = true;
    io.LoadFromFile(Photo(8, 48, 32, layout));
    const std::string copy = dir.Path() + "/copy.jpg";
    io.SaveToFile(copy);
    ASSERT_FALSE(io.Aborting);
    TRead again;
    ASSERT_TRUE(Read(copy, again, {.upright = true}));
    EXPECT_EQ(again.bitmap.Width(), 32);
    EXPECT_EQ(again.bitmap.Height(), 48);
    EXPECT_GT(again.bitmap.ScanLine(40)[3 * 8], 200) << "the stored top-left block stands at the bottom left";
  }
}
