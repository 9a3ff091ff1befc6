// `velora convert` keeps the picture: every pixel where the target format can hold it, the
// stored size unless asked to equalise the resolution, and a word on standard error when the
// format forces a reduction.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "io/io_test_support.h"
#include "io/pnm_image.h"
#include "io/tool_runner.h"

namespace velora {
namespace {

using iotest::TRgbImage;
using iotest::TRun;
using iotest::Velora;

// A binary PPM or PGM of width x height whose pixel i is colourOf(i) as red, green, blue.
template <class ColourOf>
std::string MakePnm(bool grey, int width, int height, ColourOf colourOf) {
  std::string f = std::string(grey ? "P5\n" : "P6\n") + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
  for (int i = 0; i < width * height; ++i) {
    const std::array<uint8_t, 3> c = colourOf(i);
    if (grey)
      f += char(c[0]);
    else
      f.append({char(c[0]), char(c[1]), char(c[2])});
  }
  return f;
}

class ConvertKeepsPicture : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(VELORA_TOOL_PATH)) GTEST_SKIP() << "the velora tool is not built";
  }
  std::string Write(const std::string& name, const std::string& bytes) {
    return dir.Write(name, iotest::Bytes(bytes.begin(), bytes.end()));
  }
  TRgbImage ReadPnm(const std::string& path) {
    TRgbImage image;
    EXPECT_TRUE(image.Parse(iotest::Slurp(path))) << path;
    return image;
  }
  iotest::TTempDir dir;
};

// A 256-colour picture, a grey one of all 256 levels, a 16-colour one and a 1000-colour one go
// through every lossless format and back to PPM without one pixel moving.
TEST_F(ConvertKeepsPicture, EveryPixelThroughEveryLosslessFormat) {
  struct TSource {
    const char* name;
    std::string file;
    char ppmKind;  // what a PPM of it is written as
  } sources[] = {
      {"256 colours", Write("c256.ppm", MakePnm(false, 32, 8, [](int i) {
                              return std::array<uint8_t, 3>{uint8_t(i), uint8_t(i * 37 + 11), uint8_t(255 - i)};
                            })), '6'},
      {"grey", Write("grey.pgm", MakePnm(true, 32, 8, [](int i) {
                       return std::array<uint8_t, 3>{uint8_t(i), uint8_t(i), uint8_t(i)};
                     })), '5'},
      {"16 colours", Write("c16.ppm", MakePnm(false, 17, 5, [](int i) {
                             return std::array<uint8_t, 3>{uint8_t(i % 16 * 13 + 1), 200, uint8_t(i % 16 * 5)};
                           })), '6'},
      {"1000 colours", Write("c1000.ppm", MakePnm(false, 40, 25, [](int i) {
                               return std::array<uint8_t, 3>{uint8_t(i % 10 * 25), uint8_t(i / 10 % 10 * 25), uint8_t(i / 100 * 25)};
                             })), '6'},
  };
  for (const TSource& source : sources) {
    const TRgbImage original = ReadPnm(source.file);
    const bool fitsGif = std::string(source.name) != "1000 colours";
    // Each picture starts once as read from PNM (24 bits or grey) and once from a GIF, where it
    // is a palette picture, so that both the true-colour and the palette paths are taken.
    std::vector<std::string> origins = {source.file};
    if (fitsGif) {
      origins.push_back(dir.Path() + "/origin.gif");
      ASSERT_EQ(Velora({"convert", source.file, origins.back()}).status, 0);
    }
    for (const std::string& origin : origins)
      for (const char* ext : {"gif", "bmp", "png", "tga", "pcx", "ppm"}) {
        SCOPED_TRACE(std::string(source.name) + " from " + origin.substr(origin.size() - 3) + " as " + ext);
        // Through the format once, then from it again, so that the format is both written and read.
        const std::string first = dir.Path() + "/first." + ext, back = dir.Path() + "/back.ppm";
        TRun r = Velora({"convert", origin, first});
        ASSERT_EQ(r.status, 0) << r.err;
        if (!fitsGif && std::string(ext) == "gif") {
          EXPECT_NE(r.err.find("GIF holds at most 256 colours"), std::string::npos) << r.err;
          continue;
        }
        EXPECT_EQ(r.err, "");
        r = Velora({"convert", first, back});
        ASSERT_EQ(r.status, 0) << r.err;
        const TRgbImage got = ReadPnm(back);
        EXPECT_EQ(got.kind, source.ppmKind);
        ASSERT_EQ(got.width, original.width);
        ASSERT_EQ(got.height, original.height);
        EXPECT_EQ(got.rgb, original.rgb);
      }
  }
  // A grey PNG is a grey PNG (colour type 0), not a palette.
  const std::string png = dir.Path() + "/grey.png";
  ASSERT_EQ(Velora({"convert", sources[1].file, png}).status, 0);
  EXPECT_EQ(iotest::ReadFileBytes(png).at(25), 0);
}

TEST_F(ConvertKeepsPicture, BitsAndColoursAskForAReduction) {
  const std::string source = Write("c1000.ppm", MakePnm(false, 40, 25, [](int i) {
    return std::array<uint8_t, 3>{uint8_t(i % 10 * 25), uint8_t(i / 10 % 10 * 25), uint8_t(i / 100 * 25)};
  }));
  struct TCase {
    std::vector<std::string> options;
    const char* ext;
    int maxColours;
  } cases[] = {
      {{"--bits", "4"}, "bmp", 16},
      {{"--colors", "8"}, "png", 8},
      {{"--colors", "100", "--bits", "8"}, "gif", 100},
      {{"--bits", "1"}, "pcx", 2},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.options[0] + " " + c.options[1] + " " + c.ext);
    std::vector<std::string> args = {"convert"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const std::string out = dir.Path() + "/reduced." + c.ext, back = dir.Path() + "/back.ppm";
    args.insert(args.end(), {source, out});
    TRun r = Velora(args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "") << "a reduction asked for is not a surprise";
    ASSERT_EQ(Velora({"convert", out, back}).status, 0);
    const TRgbImage got = ReadPnm(back);
    std::vector<uint32_t> colours;
    for (size_t i = 0; i + 2 < got.rgb.size(); i += 3) colours.push_back(uint32_t(got.rgb[i]) << 16 | got.rgb[i + 1] << 8 | got.rgb[i + 2]);
    std::sort(colours.begin(), colours.end());
    colours.erase(std::unique(colours.begin(), colours.end()), colours.end());
    EXPECT_LE(int(colours.size()), c.maxColours);
    EXPECT_GT(colours.size(), 1u);
  }
  for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
           {"--bits", "3"}, {"--colors", "1"}, {"--colors", "300"}, {"--bits"}, {"--frobnicate"}}) {
    std::vector<std::string> args = {"convert"};
    args.insert(args.end(), bad.begin(), bad.end());
    args.insert(args.end(), {source, dir.Path() + "/x.bmp"});
    EXPECT_EQ(Velora(args).status, 2) << bad[0];
  }
}

// A BMP of 72 x 144 dpi keeps its 5 x 3 pixels unless --equalize-dpi asks for square pixels
// (then the shorter side is resampled to the lower resolution: 3 rows at 144 dpi become 1 at 72).
TEST_F(ConvertKeepsPicture, StoredSizeUnlessAskedToEqualiseTheResolution) {
  iotest::Bytes bmp = iotest::MakeBmp24(5, 3);
  bmp[42] = 0x16, bmp[43] = 0x16;  // biYPelsPerMeter 5654: 144 dpi
  const std::string in = dir.Write("tall.bmp", bmp), out = dir.Path() + "/out.ppm";
  ASSERT_EQ(Velora({"convert", in, out}).status, 0);
  TRgbImage kept = ReadPnm(out);
  EXPECT_EQ(kept.width, 5);
  EXPECT_EQ(kept.height, 3);
  ASSERT_EQ(Velora({"convert", "--equalize-dpi", in, out}).status, 0);
  TRgbImage square = ReadPnm(out);
  EXPECT_EQ(square.width, 5);
  EXPECT_EQ(square.height, 1);
}

}  // namespace
}  // namespace velora
