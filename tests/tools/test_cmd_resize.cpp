// The resize and thumbnail commands, run as a user runs them.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "io/velora_io.h"
#include "proc/resample.h"

using namespace velora;

namespace {

class ToolResize : public ::testing::Test {
 protected:
  void SetUp() override {
    tool_ = VELORA_TOOL_PATH;
    if (::access(tool_.c_str(), X_OK) != 0) GTEST_SKIP() << "no velora tool at " << tool_;
    char tmpl[] = "/tmp/velora-resize-XXXXXX";
    ASSERT_TRUE(::mkdtemp(tmpl));
    dir_ = tmpl;
    // 40 × 20 with a diagonal ramp in each channel.
    source_.Reset(40, 20, TPixelFormat::pf24bit);
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 40; ++x) {
        uint8_t* p = source_.ScanLine(y) + 3 * x;
        p[0] = uint8_t(x * 6);
        p[1] = uint8_t(y * 12);
        p[2] = uint8_t((x * y) % 256);
      }
    TVeloraIO io;
    io.AttachBitmap(&source_);
    io.SaveToFile(dir_ + "/in.png");
    ASSERT_FALSE(io.Aborting);
  }
  void TearDown() override {
    if (!dir_.empty()) std::system(("rm -rf '" + dir_ + "'").c_str());
  }
  int Run(const std::string& args) {
    int rc = std::system((tool_ + " " + args + " 2>/dev/null").c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  }
  bool Load(const std::string& path, TBitmap& b) {
    TVeloraIO io;
    io.AttachBitmap(&b);
    io.LoadFromFile(path);
    return !io.Aborting;
  }

  std::string tool_, dir_;
  TBitmap source_;
};

}  // namespace

TEST_F(ToolResize, ResizeWritesTheResamplersPixels) {
  for (const char* filter : {"lanczos3", "fastlinear", "mitchell"}) {
    ASSERT_EQ(Run("resize " + dir_ + "/in.png " + dir_ + "/out.png 23x7 --filter " + filter), 0) << filter;
    TBitmap got, want(23, 7, TPixelFormat::pf24bit);
    ASSERT_TRUE(Load(dir_ + "/out.png", got));
    ASSERT_EQ(got.Width(), 23);
    ASSERT_EQ(got.Height(), 7);
    TResampleFilter f = std::string(filter) == "lanczos3" ? rfLanczos3 : std::string(filter) == "mitchell" ? rfMitchell : rfFastLinear;
    ResampleBitmap(source_, want, f);
    for (int y = 0; y < 7; ++y) EXPECT_EQ(0, std::memcmp(got.ScanLine(y), want.ScanLine(y), 23 * 3)) << filter;
  }
}

TEST_F(ToolResize, ExitStatuses) {
  EXPECT_EQ(Run("resize " + dir_ + "/in.png " + dir_ + "/o.png 10"), 2);
  EXPECT_EQ(Run("resize " + dir_ + "/in.png " + dir_ + "/o.png 0x10"), 2);
  EXPECT_EQ(Run("resize " + dir_ + "/in.png " + dir_ + "/o.png 10x10 --filter blur"), 2);
  EXPECT_EQ(Run("resize " + dir_ + "/missing.png " + dir_ + "/o.png 10x10"), 3);
  EXPECT_EQ(Run("thumbnail " + dir_ + "/in.png"), 2);
  EXPECT_EQ(Run("thumbnail " + dir_ + "/in.png --out " + dir_ + "/nowhere"), 3);
}

TEST_F(ToolResize, ThumbnailFitsTheBoxKeepingTheAspect) {
  const std::string th = dir_ + "/th";
  ASSERT_EQ(::mkdir(th.c_str(), 0755), 0);
  // Default box 100: the 40 × 20 source is enlarged to 100 × 50, named after its source.
  ASSERT_EQ(Run("thumbnail " + dir_ + "/in.png --out " + th), 0);
  TBitmap big;
  ASSERT_TRUE(Load(th + "/in.png", big));
  EXPECT_EQ(big.Width(), 100);
  EXPECT_EQ(big.Height(), 50);

  ASSERT_EQ(Run("thumbnail --size 16 --format png " + dir_ + "/in.png --out " + th), 0);
  TBitmap small, want(16, 8, TPixelFormat::pf24bit);
  ASSERT_TRUE(Load(th + "/in.png", small));
  ASSERT_EQ(small.Width(), 16);
  ASSERT_EQ(small.Height(), 8);
  FastResizeBitmap(source_, want);
  for (int y = 0; y < 8; ++y) EXPECT_EQ(0, std::memcmp(small.ScanLine(y), want.ScanLine(y), 16 * 3));
}
