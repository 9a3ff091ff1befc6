// The rotate, flip, resize and filter commands, run as a user runs them: their pixels are
// those of the processing routines on the same picture, 1-bit pictures keep 1 bit where the
// component keeps it, filter files are read and written, bad arguments and files give the
// tool's exit statuses; and the quarter turns and mirrors are exactly ImageMagick's.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "io/pnm_image.h"
#include "io/tool_runner.h"
#include "proc/filter_fixtures.h"
#include "proc/filters.h"
#include "proc/flip_turn.h"
#include "proc/pixel_formats.h"
#include "proc/user_filter.h"
#include "proc/velora_proc.h"

using namespace velora;
using namespace velora::iotest;
using velora::test::Random1;
using velora::test::SamePixels;
using velora::test::Varied;

namespace {

class ToolFilters : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::access(VELORA_TOOL_PATH, X_OK) != 0) GTEST_SKIP() << "no velora tool at " << VELORA_TOOL_PATH;
    TBitmap colour, mono;
    Varied(colour, 37, 23);
    std::mt19937 rng(37);
    Random1(mono, 37, 13, rng);
    Save(colour, In24());
    Save(mono, In1());
  }
  std::string Path(const std::string& name) const { return dir_.Path() + "/" + name; }
  std::string In24() const { return Path("in.ppm"); }
  std::string In1() const { return Path("in.pbm"); }
  static void Save(TBitmap& b, const std::string& path) {
    TVeloraIO io;
    io.AttachBitmap(&b);
    io.SaveToFile(path);
    ASSERT_FALSE(io.Aborting) << path;
  }
  static bool Load(const std::string& path, TBitmap& b) {
    TVeloraIO io;
    io.AttachBitmap(&b);
    io.LoadFromFile(path);
    return !io.Aborting && !b.Empty();
  }
  // What the routine makes of the file, as the tool loads it (1-bit expanded unless kept).
  static void Expected(const std::string& in, bool keepOneBit, const std::function<void(TBitmap&)>& op, TBitmap& b) {
    ASSERT_TRUE(Load(in, b));
    if (b.BitCount() == 1 && !keepOneBit) {
      TBitmap expanded;
      ExpandMonoTo24(b, expanded);
      b.Assign(expanded);
    }
    op(b);
  }
  // The component's operation on a bitmap, as the tool runs it.
  static std::function<void(TBitmap&)> OnProc(std::function<void(TVeloraProc&)> op) {
    return [op](TBitmap& b) {
      TVeloraProc proc;
      proc.AutoUndo = false;
      proc.AttachBitmap(&b);
      op(proc);
    };
  }

  TTempDir dir_;
};

struct TCase {
  const char* what;
  std::vector<std::string> args;  // after IN OUT
  std::function<void(TBitmap&)> op;
};

}  // namespace

TEST_F(ToolFilters, RotateFlipAndResizeGoThroughTheComponent) {
  struct {
    const char* command;
    std::vector<std::string> args;
    std::function<void(TVeloraProc&)> op;
  } const kCases[] = {
      {"rotate", {"90"}, [](TVeloraProc& p) { p.RotateImage(true, 90); }},
      {"rotate", {"-30"}, [](TVeloraProc& p) { p.RotateImage(true, -30); }},
      {"rotate", {"12.5", "--no-antialias", "--background", "10,20,30"},
       [](TVeloraProc& p) { p.SetBackground(RGBColor(10, 20, 30)); p.RotateImage(false, 12.5); }},
      {"flip", {"horizontal"}, [](TVeloraProc& p) { p.FlipImage(fdHorizontal); }},
      {"flip", {"vertical"}, [](TVeloraProc& p) { p.FlipImage(fdVertical); }},
      {"resize", {"20x-1", "--filter", "mitchell"}, [](TVeloraProc& p) { p.ResizeImage(20, -1, rfMitchell); }},
      {"resize", {"-1x50", "--filter", "none"}, [](TVeloraProc& p) { p.ResizeImage(-1, 50, rfNone); }},
      {"resize", {"30x9"}, [](TVeloraProc& p) { p.ResizeImage(30, 9, rfLanczos3); }},
  };
  for (const std::string& in : {In24(), In1()}) {
    const bool oneBit = in == In1();
    for (const auto& c : kCases) {
      std::vector<std::string> args = {c.command, in, Path(oneBit ? "out.pbm" : "out.ppm")};
      args.insert(args.end(), c.args.begin(), c.args.end());
      const std::string what = std::string(c.command) + " " + c.args[0] + (oneBit ? " 1-bit" : " 24-bit");
      // 1-bit pictures resampled through a filter become grey: written as PPM.
      if (oneBit && c.command == std::string("resize") && c.args.back() != "none") args[2] = Path("out.ppm");
      const TRun run = Velora(args);
      ASSERT_EQ(run.status, 0) << what << ": " << run.err;
      TBitmap got, want;
      ASSERT_TRUE(Load(args[2], got)) << what;
      Expected(in, true, OnProc(c.op), want);
      EXPECT_EQ(got.BitCount(), want.BitCount()) << what;
      EXPECT_TRUE(SamePixels(got, want)) << what;
    }
  }
}

TEST_F(ToolFilters, EveryFilterNameGivesTheRoutinesPixels) {
  const auto user = [](const char* name) { return VLUserFilterPresetByName(name)->Filter; };
  const TCase kCases[] = {
      {"preset", {"emboss"},
       [&](TBitmap& b) { ConvolveUserFilter(b, user("emboss").Kernel, 1, 0, 0, b.Width(), b.Height()); }},
      {"preset in a rectangle", {"highpass3", "--rect", "3,4,20,17"},
       [&](TBitmap& b) { ConvolveUserFilter(b, user("highpass3").Kernel, 1, 3, 4, 20, 17); }},
      {"kernel", {"kernel", "1,-2,300,0,5,-70000,1,1,1", "-7"},
       [](TBitmap& b) { ConvolveUserFilter(b, {1, -2, 300, 0, 5, -70000, 1, 1, 1}, -7, 0, 0, 37, 23); }},
      {"bump map", {"bumpmap", "10", "8", "20", "15", "--colour", "255,128,0", "--share", "30"},
       [](TBitmap& b) { BumpMap(b, 10, 8, 20, 15, MakeRGB(255, 128, 0), 30, 0, 0, 37, 23); }},
      {"bump map defaults, rectangle", {"bumpmap", "-3", "5", "9", "9", "--rect", "0,2,30,20"},
       [](TBitmap& b) { BumpMap(b, -3, 5, 9, 9, MakeRGB(255, 255, 255), 0, 0, 2, 30, 20); }},
      {"lens", {"lens", "18", "11", "24", "20", "1.7"}, [](TBitmap& b) { Lens(b, 18, 11, 24, 20, 1.7); }},
      {"wave", {"wave", "3", "7"}, [](TBitmap& b) { Wave(b, 3, 7, 0, false); }},
      {"wave with phase, reflective", {"wave", "2", "5", "90", "--reflective"},
       [](TBitmap& b) { Wave(b, 2, 5, 90, true); }},
      {"maximum", {"max", "1"}, [](TBitmap& b) { MorphFilter(b, 1, mfMaximum, 0, 0, 37, 23); }},
      {"minimum in a rectangle", {"min", "3", "--rect=5,5,30,40"},
       [](TBitmap& b) { MorphFilter(b, 3, mfMinimum, 5, 5, 30, 40); }},
      {"opening", {"open", "2"}, [](TBitmap& b) { MorphFilter(b, 2, mfOpening, 0, 0, 37, 23); }},
      {"closing", {"close", "1"}, [](TBitmap& b) { MorphFilter(b, 1, mfClosing, 0, 0, 37, 23); }},
  };
  for (const TCase& c : kCases) {
    std::vector<std::string> args = {"filter", In24(), Path("out.ppm")};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const TRun run = Velora(args);
    ASSERT_EQ(run.status, 0) << c.what << ": " << run.err;
    TBitmap got, want;
    ASSERT_TRUE(Load(Path("out.ppm"), got)) << c.what;
    Expected(In24(), false, c.op, want);
    EXPECT_TRUE(SamePixels(got, want)) << c.what;
  }
  // A 1-bit picture is filtered as 24 bits.
  ASSERT_EQ(Velora({"filter", In1(), Path("mono.ppm"), "blur"}).status, 0);
  TBitmap got, want;
  ASSERT_TRUE(Load(Path("mono.ppm"), got));
  Expected(In1(), false, [&](TBitmap& b) { ConvolveUserFilter(b, user("blur").Kernel, 9, 0, 0, 37, 13); }, want);
  EXPECT_EQ(got.BitCount(), 24);
  EXPECT_TRUE(SamePixels(got, want));
}

TEST_F(ToolFilters, FilterFilesAreWrittenAndRead) {
  // --save-flt writes the kernel in force, whichever way it was named.
  ASSERT_EQ(Velora({"filter", In24(), Path("a.ppm"), "lowpass2", "--save-flt", Path("lp2.flt")}).status, 0);
  const auto lp2 = VLEncodeUserFilter(VLUserFilterPresetByName("lowpass2")->Filter);
  EXPECT_EQ(ReadFileBytes(Path("lp2.flt")), Bytes(lp2.begin(), lp2.end()));
  ASSERT_EQ(Velora({"filter", In24(), Path("b.ppm"), "kernel", "0,-1,0,-1,500,-1,0,-1,0", "-123", "--save-flt",
                    Path("k.flt")})
                .status,
            0);
  // Read back, the file gives the same pixels as the kernel it was saved from, and saving it
  // again gives the same bytes.
  ASSERT_EQ(Velora({"filter", In24(), Path("c.ppm"), "flt", Path("k.flt"), "--save-flt", Path("k2.flt")}).status, 0);
  EXPECT_EQ(Slurp(Path("b.ppm")), Slurp(Path("c.ppm")));
  EXPECT_EQ(ReadFileBytes(Path("k.flt")), ReadFileBytes(Path("k2.flt")));

  // A short or foreign file is no filter file; a missing one cannot be opened.
  Bytes cut = ReadFileBytes(Path("k.flt"));
  cut.pop_back();
  dir_.Write("short.flt", cut);
  dir_.Write("foreign.flt", std::string(43, '\x01'));
  for (const char* bad : {"short.flt", "foreign.flt"}) {
    const TRun run = Velora({"filter", In24(), Path("d.ppm"), "flt", Path(bad)});
    EXPECT_EQ(run.status, 1) << bad;
    EXPECT_NE(run.err.find("not a filter file"), std::string::npos) << run.err;
  }
  EXPECT_EQ(Velora({"filter", In24(), Path("d.ppm"), "flt", Path("missing.flt")}).status, 3);
  EXPECT_EQ(Velora({"filter", In24(), Path("d.ppm"), "blur", "--save-flt", Path("no/such/dir.flt")}).status, 3);
}

TEST_F(ToolFilters, ExitStatuses) {
  const std::string in = In24(), out = Path("x.ppm");
  struct {
    std::vector<std::string> args;
    int status;
  } const kCases[] = {
      {{"filter", in, out}, 2},
      {{"filter", in, out, "sharpen"}, 2},
      {{"filter", in, out, "blur", "3"}, 2},
      {{"filter", in, out, "kernel", "1,1,1,1,1,1,1,1", "1"}, 2},
      {{"filter", in, out, "kernel", "1,1,1,1,1,1,1,1,1"}, 2},
      {{"filter", in, out, "kernel", "1,1,1,1,1,1,1,1,1", "4294967296"}, 2},
      {{"filter", in, out, "lens", "1", "2", "3", "4"}, 2},
      {{"filter", in, out, "lens", "1", "2", "3", "4", "nan"}, 2},
      {{"filter", in, out, "lens", "1", "2", "3", "4", "2", "--rect", "0,0,5,5"}, 2},
      {{"filter", in, out, "wave", "1", "2", "--colour", "1,2,3"}, 2},
      {{"filter", in, out, "max", "-1"}, 2},
      {{"filter", in, out, "max", "2", "--save-flt", Path("m.flt")}, 2},
      {{"filter", in, out, "bumpmap", "1", "2", "3", "4", "--share", "101"}, 2},
      {{"filter", in, out, "blur", "--rect", "1,2,3"}, 2},
      {{"filter", Path("missing.ppm"), out, "blur"}, 3},
      {{"rotate", in, out}, 2},
      {{"rotate", in, out, "ninety"}, 2},
      {{"rotate", in, out, "1e308"}, 2},
      {{"rotate", in, out, "30", "--background", "256,0,0"}, 2},
      {{"rotate", Path("missing.ppm"), out, "30"}, 3},
      {{"flip", in, out, "diagonal"}, 2},
      {{"flip", in, out}, 2},
      {{"resize", in, out, "-1x-1"}, 2},
      {{"resize", in, out, "0x-1"}, 2},
      {{"resize", in, out, "-2x10"}, 2},
      // The kept side is checked against the pixel limit once the picture's aspect is known.
      {{"--max-pixels", "1000", "resize", in, out, "100x-1"}, 2},
      {{"--max-pixels", "1000", "resize", in, out, "40x-1"}, 0},
      {{"filter", "--help"}, 0},
      {{"--help"}, 0},
  };
  for (const auto& c : kCases) {
    std::string line;
    for (const auto& a : c.args) line += a + " ";
    EXPECT_EQ(Velora(c.args).status, c.status) << line;
  }
  const std::string help = Velora({"--help"}).out;
  for (const char* command : {"velora filter", "velora rotate", "velora flip", "velora resize"})
    EXPECT_NE(help.find(command), std::string::npos) << command;
}

TEST_F(ToolFilters, QuarterTurnsAndMirrorsAreImageMagicks) {
  if (std::system("command -v convert >/dev/null 2>&1") != 0) GTEST_SKIP() << "ImageMagick is not installed";
  // Counter-clockwise here is ImageMagick's negative angle.
  struct {
    std::vector<std::string> ours;
    const char* theirs;
  } const kCases[] = {
      {{"rotate", "90"}, "-rotate -90"},   {{"rotate", "180"}, "-rotate -180"}, {{"rotate", "270"}, "-rotate -270"},
      {{"rotate", "-90"}, "-rotate 90"},   {{"rotate", "360"}, "-rotate -360"}, {{"flip", "horizontal"}, "-flop"},
      {{"flip", "vertical"}, "-flip"},
  };
  for (const std::string& in : {In24(), In1()}) {
    const std::string ext = in == In1() ? ".pbm" : ".ppm";
    for (const auto& c : kCases) {
      const std::string what = c.ours[0] + " " + c.ours[1] + " " + ext;
      const TRun run = Velora({c.ours[0], in, Path("ours" + ext), c.ours[1]});
      ASSERT_EQ(run.status, 0) << what << ": " << run.err;
      const std::string convert =
          "convert " + Quote(in) + " " + c.theirs + " " + Quote(Path("theirs" + ext)) + " 2>/dev/null";
      ASSERT_EQ(std::system(convert.c_str()), 0) << convert;
      TRgbImage ours, theirs;
      ASSERT_TRUE(ours.Parse(Slurp(Path("ours" + ext)))) << what;
      ASSERT_TRUE(theirs.Parse(Slurp(Path("theirs" + ext)))) << what;
      EXPECT_EQ(ours.kind, in == In1() ? '4' : '6') << what;  // 1 bit stays 1 bit
      ASSERT_EQ(ours.width, theirs.width) << what;
      ASSERT_EQ(ours.height, theirs.height) << what;
      EXPECT_TRUE(ours.rgb == theirs.rgb) << what;
    }
  }
}
