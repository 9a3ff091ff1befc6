// Colour profiles: read from JPEG, PNG, TIFF and the photo formats, kept through a
// conversion, converted to sRGB as ImageMagick's -profile and Little CMS's tificc convert
// (perceptual intent, no black point compensation: both tools' defaults), an sRGB profile
// changing nothing, and a profile that cannot be used leaving the picture as it is.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "io/colour_profile.h"
#include "io/pnm_image.h"
#include "io/tool_runner.h"

namespace velora::iotest {
namespace {

bool Have(const std::string& tool) { return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0; }

constexpr const char* kAdobe = "/usr/share/color/icc/compatibleWithAdobeRGB1998.icc";
constexpr const char* kSRGB = "/usr/share/color/icc/sRGB.icc";

// Display P3 as phones tag their photos: the P3 primaries, D65, the sRGB curve. Debian ships
// none, so it is built here with Little CMS.
std::vector<uint8_t> DisplayP3() {
  const cmsCIExyY d65{0.3127, 0.3290, 1.0};
  const cmsCIExyYTRIPLE p3{{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
  const cmsFloat64Number srgbCurve[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
  cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, srgbCurve);
  cmsToneCurve* curves[3] = {curve, curve, curve};
  cmsHPROFILE profile = cmsCreateRGBProfile(&d65, &p3, curves);
  cmsMLU* description = cmsMLUalloc(nullptr, 1);
  cmsMLUsetASCII(description, "en", "US", "Display P3");
  cmsWriteTag(profile, cmsSigProfileDescriptionTag, description);
  cmsUInt32Number size = 0;
  cmsSaveProfileToMem(profile, nullptr, &size);
  std::vector<uint8_t> bytes(size);
  cmsSaveProfileToMem(profile, bytes.data(), &size);
  cmsMLUfree(description);
  cmsCloseProfile(profile);
  cmsFreeToneCurve(curve);
  return bytes;
}

class ColourProfiles : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Have("convert")) GTEST_SKIP() << "ImageMagick makes the files and is not installed";
    dir_.Write("p3.icc", DisplayP3());
    ASSERT_TRUE(Shell("convert -size 97x61 gradient:'#1f8a3c-#e0307a' -swirl 120 -depth 8 PNG24:source.png"));
  }
  bool Shell(const std::string& command) {
    return std::system(("cd " + Quote(dir_.Path()) + " && " + command).c_str()) == 0;
  }
  std::string Path(const std::string& name) const { return dir_.Path() + "/" + name; }
  TRgbImage Pixels(const std::string& name) {
    EXPECT_TRUE(Shell("convert " + name + " -depth 8 ppm:pixels.ppm"));
    TRgbImage image;
    EXPECT_TRUE(image.Parse(Slurp(Path("pixels.ppm")))) << name;
    return image;
  }
  // The largest difference of any sample.
  int Worst(const std::string& a, const std::string& b) {
    const TRgbImage x = Pixels(a), y = Pixels(b);
    EXPECT_EQ(x.rgb.size(), y.rgb.size());
    int worst = 0;
    for (size_t i = 0; i < x.rgb.size() && i < y.rgb.size(); ++i) worst = std::max(worst, std::abs(x.rgb[i] - y.rgb[i]));
    return worst;
  }
  std::string Info(const std::string& name) {
    const TRun run = Velora({"info", Path(name)});
    EXPECT_EQ(run.status, 0) << run.err;
    return run.out;
  }
  TTempDir dir_;
};

TEST_F(ColourProfiles, ConvertToSRGBAsImageMagickDoes) {
  struct TCase {
    const char* profile;
    const char* description;
  };
  for (const TCase& c : {TCase{"p3.icc", "Display P3"}, TCase{kAdobe, "Adobe"}}) {
    SCOPED_TRACE(c.profile);
    ASSERT_TRUE(Shell(std::string("convert source.png -profile ") + c.profile + " -quality 95 tagged.jpg"));
    EXPECT_NE(Info("tagged.jpg").find(c.description), std::string::npos) << Info("tagged.jpg");
    ASSERT_TRUE(Shell(std::string("convert tagged.jpg -intent Perceptual -profile ") + kSRGB + " ref.png"));
    ASSERT_EQ(Velora({"convert", "--to-srgb", Path("tagged.jpg"), Path("ours.png")}).status, 0);
    EXPECT_LE(Worst("ref.png", "ours.png"), 1);
    // The picture differs from the unconverted one: the conversion did something.
    ASSERT_EQ(Velora({"convert", Path("tagged.jpg"), Path("stored.png")}).status, 0);
    EXPECT_GT(Worst("stored.png", "ours.png"), 8);
    EXPECT_EQ(Info("ours.png").find("profile"), std::string::npos) << "sRGB is written without a profile";
  }
}

TEST_F(ColourProfiles, ConvertToSRGBAsTificcDoes) {
  if (!Have("tificc")) GTEST_SKIP() << "liblcms2-utils is not installed";
  ASSERT_TRUE(Shell(std::string("convert source.png -profile ") + kAdobe + " -compress none tagged.tif"));
  ASSERT_TRUE(Shell("tificc -t0 tagged.tif ref.tif"));
  ASSERT_EQ(Velora({"convert", "--to-srgb", Path("tagged.tif"), Path("ours.png")}).status, 0);
  EXPECT_LE(Worst("ref.tif", "ours.png"), 1);
}

TEST_F(ColourProfiles, AnSRGBProfileChangesNothing) {
  ASSERT_TRUE(Shell(std::string("convert source.png -profile ") + kSRGB + " tagged.png"));
  ASSERT_EQ(Velora({"convert", "--to-srgb", Path("tagged.png"), Path("ours.png")}).status, 0);
  EXPECT_EQ(Worst("source.png", "ours.png"), 0);
}

// By default a conversion keeps the pixels as stored and writes the profile into every
// format that holds one.
TEST_F(ColourProfiles, ConversionKeepsTheProfile) {
  ASSERT_TRUE(Shell("convert source.png -profile p3.icc tagged.png"));
  for (const char* out : {"k.jpg", "k.png", "k.tif", "k.webp", "k.avif", "k.jxl"}) {
    SCOPED_TRACE(out);
    ASSERT_EQ(Velora({"convert", Path("tagged.png"), Path(out)}).status, 0);
    EXPECT_NE(Info(out).find("profile \"Display P3\""), std::string::npos) << Info(out);
  }
  EXPECT_EQ(Worst("source.png", "k.png"), 0);
}

TEST(ColourProfileUse, ABrokenProfileLeavesThePicture) {
  TBitmap bitmap;
  bitmap.Reset(4, 2, TPixelFormat::pf24bit);
  std::memset(bitmap.ScanLine(0), 77, 12);
  TIOParamsVals params;
  params.IccProfile.assign(200, 0x5A);
  VLConvertToOutputProfile(bitmap, params);
  EXPECT_TRUE(params.IccProfileBroken);
  EXPECT_EQ(bitmap.ScanLine(0)[5], 77);
  EXPECT_EQ(VLIccDescription(params.IccProfile), "");
}

}  // namespace
}  // namespace velora::iotest
