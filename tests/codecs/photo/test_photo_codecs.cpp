// The photo formats' writers and refusals, end to end through the tool: lossless round trips
// are exact (colour and alpha), lossy ones near; damaged, cut-off or oversized files and
// missing pages are refused with a reason, by the header-only read too (so a folder scan
// never lists what cannot be opened).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "io/pnm_image.h"
#include "io/tool_runner.h"

namespace velora::iotest {
namespace {

bool Have(const std::string& tool) { return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0; }

class PhotoCodecs : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Have("convert")) GTEST_SKIP() << "ImageMagick makes the sources and reads the results";
    ASSERT_TRUE(Shell("convert -size 97x61 gradient:'#1f8a3c-#e0307a' -swirl 120 -depth 8 PNG24:source.png && "
                      "convert source.png \\( -size 97x61 gradient: \\) -alpha off -compose copy_opacity -composite "
                      "PNG32:alpha.png"));
  }
  bool Shell(const std::string& command) {
    return std::system(("cd " + Quote(dir_.Path()) + " && " + command).c_str()) == 0;
  }
  std::string Path(const std::string& name) const { return dir_.Path() + "/" + name; }
  // The largest difference of any sample of colour, or of alpha.
  int Worst(const std::string& a, const std::string& b, bool alpha) {
    auto plane = [&](const std::string& name) {
      EXPECT_TRUE(Shell("convert " + name + (alpha ? " -alpha extract pgm:" : " -alpha off ppm:") + "plane.pnm"));
      TRgbImage image;
      EXPECT_TRUE(image.Parse(Slurp(Path("plane.pnm"))));
      return image;
    };
    const TRgbImage x = plane(a), y = plane(b);
    EXPECT_EQ(x.rgb.size(), y.rgb.size());
    int worst = 0;
    for (size_t i = 0; i < x.rgb.size() && i < y.rgb.size(); ++i) worst = std::max(worst, std::abs(x.rgb[i] - y.rgb[i]));
    return worst;
  }
  TTempDir dir_;
};

TEST_F(PhotoCodecs, RoundTrips) {
  struct TCase {
    const char* file;
    std::vector<std::string> options;
    int tolerance;  // on colour; alpha is exact in the lossless cases
  };
  const TCase cases[] = {
      {"l.webp", {"--lossless"}, 0}, {"l.jxl", {}, 0},           {"l.avif", {"--lossless"}, 0},
      {"q.webp", {"--quality", "90"}, 40}, {"q.avif", {"--quality", "90", "--speed", "9"}, 40},
  };
  for (const char* source : {"source.png", "alpha.png"})
    for (const TCase& c : cases) {
      SCOPED_TRACE(std::string(source) + " to " + c.file);
      std::vector<std::string> args = {"convert"};
      args.insert(args.end(), c.options.begin(), c.options.end());
      args.insert(args.end(), {Path(source), Path(c.file)});
      TRun run = Velora(args);
      ASSERT_EQ(run.status, 0) << run.err;
      run = Velora({"convert", Path(c.file), Path("back.png")});
      ASSERT_EQ(run.status, 0) << run.err;
      EXPECT_LE(Worst(source, "back.png", false), c.tolerance);
      if (std::string(source) == "alpha.png" && c.tolerance == 0) EXPECT_EQ(Worst(source, "back.png", true), 0);
    }
}

TEST_F(PhotoCodecs, RefusalsGiveTheirReason) {
  ASSERT_EQ(Velora({"convert", Path("source.png"), Path("a.webp")}).status, 0);
  ASSERT_EQ(Velora({"convert", Path("source.png"), Path("a.avif")}).status, 0);
  ASSERT_TRUE(Shell("head -c 40 a.webp > cut.webp && head -c 300 a.avif > cut.avif && "
                    "printf 'RIFF\\377\\377\\377\\177WEBPVP8 garbage' > bad.webp"));
  struct TCase {
    std::vector<std::string> args;
    const char* reason;
  };
  const TCase cases[] = {
      {{"info", Path("cut.webp")}, "WebP: the file is cut off"},
      {{"info", Path("bad.webp")}, "WebP: "},
      {{"info", Path("cut.avif")}, "AVIF: 97 x 61 declared, 300 bytes follow"},
      {{"--max-pixels", "1000", "info", Path("a.webp")}, "WebP: 97 x 61 declared, beyond the limit of 1000 pixels"},
      {{"--max-pixels", "1000", "info", Path("a.avif")}, "AVIF: "},
      {{"convert", "--page", "1", Path("a.webp"), Path("x.png")}, "WebP: frame 1 asked, the file has 1"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.reason);
    const TRun run = Velora(c.args);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(c.reason), std::string::npos) << run.err;
  }
}

}  // namespace
}  // namespace velora::iotest
