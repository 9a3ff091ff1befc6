// `velora --auto-orient`: convert, resize, thumbnail and info take a photo upright by its EXIF
// Orientation; without the flag every command reads it as it is stored.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "codecs/jpeg/oriented_photo.h"
#include "io/tool_runner.h"
#include "io/velora_io.h"

namespace velora {
namespace {

using iotest::TRun;
using iotest::Velora;

// Which quarter of a picture holds the bright blue block that was the stored top-left one.
enum TCorner { ckTopLeft, ckTopRight, ckBottomLeft, ckBottomRight, ckNowhere };

TCorner BlueCorner(const TBitmap& b) {
  const int w = b.Width(), h = b.Height();
  const std::pair<int, int> places[] = {{0, 0}, {w - 1, 0}, {0, h - 1}, {w - 1, h - 1}};
  for (int i = 0; i < 4; ++i)
    if (b.ScanLine(places[i].second)[3 * places[i].first] > 200) return TCorner(i);
  return ckNowhere;
}

class AutoOrient : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(VELORA_TOOL_PATH)) GTEST_SKIP() << "the velora tool is not built";
    // Stored 64 × 32; Orientation 6 stands it up as 32 × 64, the top-left block at the top right.
    photo = orienttest::WritePhoto(dir.Path() + "/side.jpg", 6, 64, 32);
  }
  void Load(const std::string& path, TBitmap& b) {
    TVeloraIO io;
    io.AttachBitmap(&b);
    io.LoadFromFile(path);
    EXPECT_FALSE(io.Aborting) << path;
  }
  iotest::TTempDir dir;
  std::string photo;
};

TEST_F(AutoOrient, ImageCommandsTurnOnlyWithTheFlag) {
  const std::string out = dir.Path() + "/out";
  std::filesystem::create_directory(out);
  const struct {
    std::vector<std::string> args;
    std::string result;
    int w, h;  // stored; the upright result has them the other way round, except resize
    bool sizeFixed;
  } cases[] = {
      {{"convert", photo, out + "/side.ppm"}, out + "/side.ppm", 64, 32, false},
      {{"resize", photo, out + "/side.bmp", "40x40"}, out + "/side.bmp", 40, 40, true},
      {{"thumbnail", "--size", "16", photo, "--out", out}, out + "/side.png", 16, 8, false},
  };
  for (const auto& c : cases) {
    for (const bool flag : {false, true}) {
      SCOPED_TRACE(c.args[0] + (flag ? " --auto-orient" : ""));
      std::vector<std::string> args = c.args;
      if (flag) args.insert(args.end(), "--auto-orient");
      const TRun r = Velora(args);
      ASSERT_EQ(r.status, 0) << r.err;
      TBitmap b;
      Load(c.result, b);
      const bool swap = flag && !c.sizeFixed;
      EXPECT_EQ(b.Width(), swap ? c.h : c.w);
      EXPECT_EQ(b.Height(), swap ? c.w : c.h);
      EXPECT_EQ(BlueCorner(b), flag ? ckTopRight : ckTopLeft);
    }
  }
}

// The flag may come first, as the usage line shows it; info gives the size the picture will have.
TEST_F(AutoOrient, InfoGivesTheUprightSize) {
  TRun r = Velora({"info", "--json", photo});
  EXPECT_NE(r.out.find("\"Width\":64,\"Height\":32"), std::string::npos) << r.out;
  r = Velora({"--auto-orient", "info", "--json", photo});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\"Width\":32,\"Height\":64"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace velora
