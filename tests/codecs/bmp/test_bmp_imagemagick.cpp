// BMP files written by ImageMagick decode to the pixels ImageMagick itself decodes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "codecs/bmp/bmp_fixture.h"
#include "codecs/bmp/bmp_dib.h"
#include "quant/photo_like.h"

using namespace velora;
using namespace velora::testing;

namespace {

namespace fs = std::filesystem;

bool HaveConvert() { return std::system("convert -version >/dev/null 2>&1") == 0; }

std::vector<uint8_t> Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A binary P6 file with 8-bit samples: width, height, and the pixels top row first.
struct TPpm {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
  bool Parse(const std::vector<uint8_t>& f) {
    size_t pos = 0;
    auto token = [&]() {
      std::string t;
      while (pos < f.size()) {
        if (f[pos] == '#') {
          while (pos < f.size() && f[pos] != '\n') ++pos;
        } else if (std::isspace(f[pos])) {
          if (!t.empty()) break;
          ++pos;
        } else {
          t += char(f[pos++]);
        }
      }
      return t;
    };
    if (token() != "P6") return false;
    width = std::stoi(token()), height = std::stoi(token());
    if (std::stoi(token()) != 255) return false;
    ++pos;
    if (f.size() - pos < size_t(width) * height * 3) return false;
    rgb.assign(f.begin() + long(pos), f.begin() + long(pos) + long(width) * height * 3);
    return true;
  }
};

class BmpImageMagick : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveConvert()) GTEST_SKIP() << "ImageMagick convert is not installed";
    dir_ = fs::temp_directory_path() / ("velora_bmp_im_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    TBitmap photo;
    MakePhotoLike(photo, 45, 29);
    std::ofstream out(dir_ / "source.ppm", std::ios::binary);
    out << "P6\n45 29\n255\n";
    for (int y = 0; y < photo.Height(); ++y)
      for (int x = 0; x < photo.Width(); ++x) {
        const TRGB c = reinterpret_cast<const TRGB*>(photo.ScanLine(y))[x];
        out.put(char(c.r)).put(char(c.g)).put(char(c.b));
      }
  }
  void TearDown() override {
    if (!dir_.empty()) fs::remove_all(dir_);
  }

  // Writes the source through convert with the options, reads it back with ours and with
  // ImageMagick, and compares: exactly, 16-bit channels widened as ImageMagick widens them.
  void Check(const std::string& name, const std::string& options, const std::string& prefix, int bits,
             int expectedVersion) {
    SCOPED_TRACE(name);
    const fs::path bmp = dir_ / (name + ".bmp"), ppm = dir_ / (name + ".ppm");
    const std::string make = "convert '" + (dir_ / "source.ppm").string() + "' " + options + " " + prefix + "'" +
                             bmp.string() + "' 2>/dev/null";
    ASSERT_EQ(std::system(make.c_str()), 0) << make;
    const std::string decode =
        "convert '" + bmp.string() + "' -depth 8 -type TrueColor ppm:'" + ppm.string() + "' 2>/dev/null";
    ASSERT_EQ(std::system(decode.c_str()), 0) << decode;
    TPpm reference;
    ASSERT_TRUE(reference.Parse(Slurp(ppm)));
    const std::vector<uint8_t> file = Slurp(bmp);
    TBmpRead r(file);
    ASSERT_FALSE(r.aborted);
    EXPECT_EQ(velora::GetU16LE(file.data() + (file[14] == 12 ? 24 : 28)), bits);
    EXPECT_EQ(r.params.BmpVersion, expectedVersion);
    ASSERT_EQ(r.bitmap.Width(), reference.width);
    ASSERT_EQ(r.bitmap.Height(), reference.height);
    int mismatches = 0;
    for (int y = 0; y < reference.height; ++y)
      for (int x = 0; x < reference.width; ++x) {
        const uint8_t* ref = &reference.rgb[(size_t(y) * reference.width + x) * 3];
        TRGB ours;
        if (r.bitmap.PixelFormat() == TPixelFormat::pf1bit) {
          const uint8_t v = (r.bitmap.ScanLine(y)[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
          ours = TRGB{v, v, v};
        } else {
          ours = r.Pixel(x, y);
        }
        const TRGB expected = MakeRGB(ref[0], ref[1], ref[2]);
        if (!(ours == expected) && mismatches++ < 3)
          ADD_FAILURE() << "pixel " << x << "," << y << ": ours " << int(ours.r) << "," << int(ours.g) << ","
                        << int(ours.b) << " ImageMagick " << int(ref[0]) << "," << int(ref[1]) << "," << int(ref[2]);
      }
    EXPECT_EQ(mismatches, 0);
  }

  fs::path dir_;
};

}  // namespace

TEST_F(BmpImageMagick, OneBit) {
  Check("bilevel", "-type Bilevel", "BMP3:", 1, 1);
  Check("bilevel_core", "-type Bilevel", "BMP2:", 1, 2);
  Check("bilevel_v5", "-type Bilevel", "BMP:", 1, 0);
}

TEST_F(BmpImageMagick, FourBit) {
  Check("palette16", "-type Palette -colors 16", "BMP3:", 4, 1);
  Check("palette16_core", "-type Palette -colors 16", "BMP2:", 4, 2);
  Check("palette16_v5", "-type Palette -colors 16", "BMP:", 4, 0);
}

TEST_F(BmpImageMagick, EightBitPlainAndRle) {
  Check("palette", "-type Palette -colors 200", "BMP3:", 8, 1);
  Check("palette_rle", "-type Palette -colors 200 -compress RLE", "BMP3:", 8, 1);
  Check("palette_core", "-type Palette -colors 200", "BMP2:", 8, 2);
  Check("palette_v5_rle", "-type Palette -colors 60 -compress RLE", "BMP:", 8, 0);
}

TEST_F(BmpImageMagick, SixteenBitFields) {
  Check("rgb565", "-type TrueColor -define bmp:subtype=RGB565", "BMP:", 16, 0);
  Check("rgb555", "-type TrueColor -define bmp:subtype=RGB555", "BMP:", 16, 0);
}

TEST_F(BmpImageMagick, TwentyFourAndThirtyTwoBits) {
  Check("truecolor", "-type TrueColor", "BMP3:", 24, 1);
  Check("truecolor_core", "-type TrueColor", "BMP2:", 24, 2);
  Check("truecolor_v5", "-type TrueColor", "BMP:", 24, 0);
  Check("truecolor_alpha", "-type TrueColorAlpha -alpha set", "BMP:", 32, 0);
}
