// The adjust, histogram and fft commands, run as a user runs them, held against a plain
// reference of the formulas (tests/tools/adjust_reference.py) written apart from the library.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "io/velora_io.h"

using namespace velora;

namespace {

class ToolAdjust : public ::testing::Test {
 protected:
  void SetUp() override {
    tool_ = VELORA_TOOL_PATH;
    if (::access(tool_.c_str(), X_OK) != 0) GTEST_SKIP() << "no velora tool at " << tool_;
    char tmpl[] = "/tmp/velora-adjust-XXXXXX";
    ASSERT_TRUE(::mkdtemp(tmpl));
    dir_ = tmpl;
    // 37 × 23: ramps, products and a few pure colours, every channel reaching 0 and 255.
    TBitmap b(37, 23, TPixelFormat::pf24bit);
    for (int y = 0; y < 23; ++y)
      for (int x = 0; x < 37; ++x) {
        uint8_t* p = b.ScanLine(y) + 3 * x;
        p[0] = uint8_t(x * 7 + y * 3);
        p[1] = uint8_t((x * y * 5) % 256);
        p[2] = uint8_t(255 - y * 11);
        if (x == 0) p[0] = p[1] = p[2] = uint8_t(y * 255 / 22);
        if (x == 1) p[y % 3] = 255, p[(y + 1) % 3] = 0;
      }
    Save(b, In());
  }
  void TearDown() override {
    if (!dir_.empty()) std::system(("rm -rf '" + dir_ + "'").c_str());
  }
  std::string In() const { return dir_ + "/in.ppm"; }
  void Save(TBitmap& b, const std::string& path) {
    TVeloraIO io;
    io.AttachBitmap(&b);
    io.SaveToFile(path);
    ASSERT_FALSE(io.Aborting) << path;
  }
  static int Status(int rc) { return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1; }
  // A hanging command is killed after a minute and fails the test.
  int Run(const std::string& args, const std::string& out = "/dev/null") {
    return Status(std::system(("timeout 60 " + tool_ + " " + args + " >" + out + " 2>/dev/null").c_str()));
  }
  bool Load(const std::string& path, TBitmap& b) {
    TVeloraIO io;
    io.AttachBitmap(&b);
    io.LoadFromFile(path);
    return !io.Aborting && b.PixelFormat() == TPixelFormat::pf24bit;
  }
  static bool SamePixels(const TBitmap& a, const TBitmap& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
    for (int y = 0; y < a.Height(); ++y)
      if (std::memcmp(a.ScanLine(y), b.ScanLine(y), size_t(a.Width()) * 3) != 0) return false;
    return true;
  }
  static std::string ReadFile(const std::string& path) {
    std::ifstream f(path);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
  }
  // The reference script, or "" when python3 is not there.
  std::string Reference() {
    if (Status(std::system("command -v python3 >/dev/null 2>&1")) != 0) return "";
    return std::string("python3 ") + VELORA_SOURCE_DIR + "/tests/tools/adjust_reference.py";
  }

  std::string tool_, dir_;
};

}  // namespace

TEST_F(ToolAdjust, EachAdjustmentEqualsThePlainReference) {
  const std::string ref = Reference();
  if (ref.empty()) GTEST_SKIP() << "no python3";
  static const char* const kOps[] = {
      "--contrast 20 --brightness 10",
      "--contrast -100",
      "--contrast -37",
      "--contrast 100",
      "--rgb 30,-40,255",
      "--hsv 20,10,-5",
      "--hsv -180,-100,100",
      "--hsv 73,0,0",
      "--hsl 20,10,-5",
      "--hsl 180,0,0",
      "--hsl -90,-30,40",
      "--threshold 100,200",
      "--threshold 10:100:200,20:150:250",
      "--levels 30,220",
      "--levels 0,0",
      "--levels 255,255",
      "--levels 10:20:30,200:100:50",
      "--equalize",
      "--equalize --rect 5,3,30,20",
      "--rect 0,0,10,50 --contrast 30 --hsv 10,0,0",
      "--levels 20,230 --equalize --contrast -50",
  };
  for (const char* op : kOps) {
    const std::string got = dir_ + "/got.ppm", want = dir_ + "/want.ppm";
    ASSERT_EQ(Run("adjust " + In() + " " + got + " " + op), 0) << op;
    ASSERT_EQ(Status(std::system((ref + " adjust " + In() + " " + want + " " + op).c_str())), 0) << op;
    TBitmap a, b;
    ASSERT_TRUE(Load(got, a)) << op;
    ASSERT_TRUE(Load(want, b)) << op;
    EXPECT_TRUE(SamePixels(a, b)) << op;
  }
}

TEST_F(ToolAdjust, NeutralValuesLeaveEveryPixel) {
  const std::string out = dir_ + "/out.ppm";
  ASSERT_EQ(Run("adjust " + In() + " " + out +
                " --contrast 0 --brightness 0 --rgb 0,0,0 --hsv 0,0,0 --hsl 0,0,0 --threshold 0,255 --levels 0,255"),
            0);
  TBitmap a, b;
  ASSERT_TRUE(Load(In(), a));
  ASSERT_TRUE(Load(out, b));
  EXPECT_TRUE(SamePixels(a, b));
}

TEST_F(ToolAdjust, HundredPixelsEqualizeAndEnd) {
  TBitmap small(10, 10, TPixelFormat::pf24bit);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) std::memset(small.ScanLine(y) + 3 * x, (x * 37 + y * 11) % 256, 3);
  Save(small, dir_ + "/small.ppm");
  ASSERT_EQ(Run("adjust " + dir_ + "/small.ppm " + dir_ + "/eq.ppm --equalize"), 0);
  const std::string ref = Reference();
  if (ref.empty()) return;
  ASSERT_EQ(Status(std::system((ref + " adjust " + dir_ + "/small.ppm " + dir_ + "/want.ppm --equalize").c_str())), 0);
  TBitmap a, b;
  ASSERT_TRUE(Load(dir_ + "/eq.ppm", a));
  ASSERT_TRUE(Load(dir_ + "/want.ppm", b));
  EXPECT_TRUE(SamePixels(a, b));
}

TEST_F(ToolAdjust, HistogramMatchesTheReference) {
  const std::string ref = Reference();
  if (ref.empty()) GTEST_SKIP() << "no python3";
  ASSERT_EQ(Run("histogram " + In(), dir_ + "/got.txt"), 0);
  ASSERT_EQ(Status(std::system((ref + " histogram " + In() + " >" + dir_ + "/want.txt").c_str())), 0);
  const std::string got = ReadFile(dir_ + "/got.txt");
  EXPECT_EQ(std::count(got.begin(), got.end(), '\n'), 256);
  EXPECT_EQ(got, ReadFile(dir_ + "/want.txt"));
  ASSERT_EQ(Run("histogram --json " + In(), dir_ + "/got.json"), 0);
  const std::string json = ReadFile(dir_ + "/got.json");
  EXPECT_EQ(json.rfind("{\"red\":[", 0), 0u);
  EXPECT_NE(json.find("],\"gray\":["), std::string::npos);
}

TEST_F(ToolAdjust, OneBitInputIsExpandedFirst) {
  TBitmap mono(9, 4, TPixelFormat::pf1bit);
  for (int y = 0; y < 4; ++y) mono.ScanLine(y)[0] = 0xA5;
  Save(mono, dir_ + "/mono.pbm");
  ASSERT_EQ(Run("adjust " + dir_ + "/mono.pbm " + dir_ + "/out.ppm --rgb -10,0,0"), 0);
  TBitmap out;
  ASSERT_TRUE(Load(dir_ + "/out.ppm", out));
  const uint8_t* p = out.ScanLine(2);
  EXPECT_EQ(p[2], 245);  // a white pixel with red lowered
  EXPECT_EQ(p[1], 255);
  EXPECT_EQ(p[3 + 2], 0);  // a black one stays black
}

TEST_F(ToolAdjust, FftRoundTripIsWithinOne) {
  // 100 × 60, every channel reaching 255: the stretched inverse then comes back at scale 1.
  TBitmap b(100, 60, TPixelFormat::pf24bit);
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 100; ++x) {
      uint8_t* p = b.ScanLine(y) + 3 * x;
      p[0] = uint8_t(x * 255 / 99);
      p[1] = uint8_t((x * 13 + y * 29) % 256);
      p[2] = uint8_t(y * 255 / 59);
    }
  Save(b, dir_ + "/f.ppm");
  for (const char* mode : {"", " --gray"}) {
    ASSERT_EQ(Run(std::string("fft ") + dir_ + "/f.ppm " + dir_ + "/inv.ppm --inverse" + mode), 0) << mode;
    TBitmap inv;
    ASSERT_TRUE(Load(dir_ + "/inv.ppm", inv));
    ASSERT_EQ(inv.Width(), 100);
    ASSERT_EQ(inv.Height(), 60);
    // Gray: the largest gray value is the one that comes back as 255.
    int largestGray = 0;
    auto gray = [&](int x, int y) {
      const uint8_t* p = b.ScanLine(y) + 3 * x;
      return (21 * p[2] + 71 * p[1] + 7 * p[0]) / 100;
    };
    for (int y = 0; y < 60; ++y)
      for (int x = 0; x < 100; ++x) largestGray = std::max(largestGray, gray(x, y));
    double worst = 0;
    for (int y = 0; y < 60; ++y)
      for (int x = 0; x < 100; ++x)
        for (int c = 0; c < 3; ++c) {
          const double want = *mode ? gray(x, y) * 255.0 / largestGray : b.ScanLine(y)[3 * x + c];
          worst = std::max(worst, std::abs(inv.ScanLine(y)[3 * x + c] - want));
        }
    EXPECT_LE(worst, 1) << mode;
  }
}

TEST_F(ToolAdjust, FlatImageSpectrumIsOnePointAtTheCentre) {
  TBitmap flat(64, 64, TPixelFormat::pf24bit);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      uint8_t* p = flat.ScanLine(y) + 3 * x;
      p[0] = 200, p[1] = 140, p[2] = 90;
    }
  Save(flat, dir_ + "/flat.ppm");
  ASSERT_EQ(Run("fft " + dir_ + "/flat.ppm " + dir_ + "/sp.ppm"), 0);
  TBitmap sp;
  ASSERT_TRUE(Load(dir_ + "/sp.ppm", sp));
  ASSERT_EQ(sp.Width(), 64);
  ASSERT_EQ(sp.Height(), 64);
  int lit = 0;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      const uint8_t* p = sp.ScanLine(y) + 3 * x;
      const bool centre = x == 32 && y == 32;
      if (p[0] || p[1] || p[2]) ++lit;
      if (centre) {
        EXPECT_TRUE(p[0] == 255 && p[1] == 255 && p[2] == 255);
      }
    }
  EXPECT_EQ(lit, 1);
}

TEST_F(ToolAdjust, OnePixelNeitherCrashesNorHangs) {
  TBitmap one(1, 1, TPixelFormat::pf24bit);
  one.ScanLine(0)[1] = 77;
  Save(one, dir_ + "/one.ppm");
  const std::string in = dir_ + "/one.ppm ", out = dir_ + "/o.ppm";
  for (const std::string& args : {"fft " + in + out, "fft " + in + out + " --inverse --clear 0,0,5,5",
                                  "adjust " + in + out + " --equalize --hsl 30,0,0", "histogram " + in})
    EXPECT_EQ(Run(args), 0) << args;
}

TEST_F(ToolAdjust, ExitStatuses) {
  const std::string io = In() + " " + dir_ + "/o.ppm ";
  struct {
    std::string args;
    int status;
  } const kCases[] = {
      {"adjust " + io, 2},                          // no operation
      {"adjust " + io + "--contrast 101", 2},
      {"adjust " + io + "--brightness -101", 2},
      {"adjust " + io + "--rgb 1,2", 2},
      {"adjust " + io + "--rgb 1,2,256", 2},
      {"adjust " + io + "--hsv 181,0,0", 2},
      {"adjust " + io + "--hsl 0,101,0", 2},
      {"adjust " + io + "--threshold 300,1", 2},
      {"adjust " + io + "--levels 1:2,3", 2},
      {"adjust " + io + "--levels x,3", 2},
      {"adjust " + io + "--rect 1,2,3", 2},
      {"adjust " + io + "--blur 3", 2},
      {"adjust " + io + "--contrast", 2},
      {"histogram", 2},
      {"histogram " + In() + " --xml", 2},
      {"fft " + io + "--clear 1,2,3", 2},
      {"fft " + In(), 2},
      {"adjust " + dir_ + "/missing.ppm " + dir_ + "/o.ppm --equalize", 3},
      {"histogram " + dir_ + "/missing.ppm", 3},
      {"fft " + In() + " " + dir_ + "/nodir/o.ppm", 3},
      {"--max-pixels 1000 fft " + io, 1},  // the 64 × 64 square is over the limit
      {"adjust --help", 0},
      {"--max-pixels 5000 fft " + io + "--inverse", 0},
  };
  for (const auto& c : kCases) EXPECT_EQ(Run(c.args), c.status) << c.args;
}
