// Files made by other encoders (ImageMagick, Pillow, netpbm, libjpeg-turbo) decode as those
// projects' own decoders give them: checked end to end through `velora convert FILE OUT.ppm`,
// exactly for lossless formats and within 1 for JPEG. A case whose tools are not installed is
// skipped.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "io/pnm_image.h"
#include "io/tool_runner.h"

namespace velora::iotest {
namespace {

bool Have(const std::string& tool) { return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0; }

struct TCase {
  const char* name;
  std::vector<std::string> tools;  // every program the two commands need
  const char* file;                // made in the scratch folder from source.ppm, grey.pgm, few.ppm
  const char* make;                // shell command writing `file`
  const char* reference;           // shell command decoding `file` into ref.pnm
  int tolerance;
};

// The sources: a 97 x 61 colour picture of many colours, its grey version, and a version with
// 200 and one with 12 colours. Odd sizes give padded rows; colours off any grid show rounding.
const char* kMakeSources =
    "convert -size 97x61 gradient:'#1f8a3c-#e0307a' -swirl 120 -depth 8 source.ppm && "
    "convert source.ppm -colorspace Gray -depth 8 grey.pgm && "
    "convert source.ppm +dither -colors 200 -depth 8 few.ppm && "
    "convert source.ppm +dither -colors 12 -depth 8 twelve.ppm";

const TCase kCases[] = {
    // netpbm
    {"netpbm PCX, 200 colours", {"ppmtopcx", "pcxtoppm"}, "a.pcx", "ppmtopcx few.ppm > a.pcx 2>/dev/null",
     "pcxtoppm a.pcx > ref.pnm", 0},
    {"netpbm PCX, 12 colours (4 planes)", {"ppmtopcx", "pcxtoppm"}, "b.pcx", "ppmtopcx twelve.ppm > b.pcx 2>/dev/null",
     "pcxtoppm b.pcx > ref.pnm", 0},
    {"netpbm PCX, 24 bits", {"ppmtopcx", "pcxtoppm"}, "c.pcx", "ppmtopcx -24bit source.ppm > c.pcx 2>/dev/null",
     "pcxtoppm c.pcx > ref.pnm", 0},
    {"netpbm PCX, grey", {"ppmtopcx", "pcxtoppm"}, "d.pcx", "ppmtopcx grey.pgm > d.pcx 2>/dev/null",
     "pcxtoppm d.pcx > ref.pnm", 0},
    {"netpbm BMP, palette", {"ppmtobmp", "bmptopnm"}, "a.bmp", "ppmtobmp few.ppm > a.bmp 2>/dev/null",
     "bmptopnm a.bmp > ref.pnm 2>/dev/null", 0},
    {"netpbm TGA, colour map", {"ppmtotga", "tgatoppm"}, "a.tga", "ppmtotga -cmap few.ppm > a.tga 2>/dev/null",
     "tgatoppm a.tga > ref.pnm 2>/dev/null", 0},
    {"netpbm TGA, grey run-length", {"ppmtotga", "tgatoppm"}, "b.tga", "ppmtotga -mono grey.pgm > b.tga 2>/dev/null",
     "tgatoppm b.tga > ref.pnm 2>/dev/null", 0},
    {"netpbm PNG, palette", {"pnmtopng", "pngtopnm"}, "a.png", "pnmtopng few.ppm > a.png 2>/dev/null",
     "pngtopnm a.png > ref.pnm", 0},
    {"netpbm GIF", {"pamtogif", "giftopnm"}, "a.gif", "pamtogif few.ppm > a.gif 2>/dev/null",
     "giftopnm a.gif > ref.pnm 2>/dev/null", 0},
    // ImageMagick
    {"ImageMagick BMP 5-6-5", {"convert"}, "m565.bmp", "convert source.ppm -define bmp:subtype=RGB565 BMP:m565.bmp",
     "convert m565.bmp -depth 8 ppm:ref.pnm", 0},
    {"ImageMagick BMP 5-5-5", {"convert"}, "m555.bmp", "convert source.ppm -define bmp:subtype=RGB555 BMP:m555.bmp",
     "convert m555.bmp -depth 8 ppm:ref.pnm", 0},
    {"ImageMagick BMP 8-bit, 40-byte header", {"convert"}, "m8.bmp", "convert few.ppm -type Palette BMP3:m8.bmp",
     "convert m8.bmp -depth 8 ppm:ref.pnm", 0},
    {"ImageMagick GIF", {"convert"}, "m.gif", "convert few.ppm m.gif", "convert m.gif -depth 8 ppm:ref.pnm", 0},
    {"ImageMagick PNG grey", {"convert"}, "mg.png", "convert grey.pgm -define png:color-type=0 mg.png",
     "convert mg.png -depth 8 ppm:ref.pnm", 0},
    {"ImageMagick PNG8", {"convert"}, "m8.png", "convert few.ppm PNG8:m8.png", "convert m8.png -depth 8 ppm:ref.pnm", 0},
    {"ImageMagick PCX", {"convert"}, "m.pcx", "convert few.ppm m.pcx", "convert m.pcx -depth 8 ppm:ref.pnm", 0},
    // ImageMagick 6 stores a TGA's top row first yet marks the rows bottom-up, and reads its own
    // files back the same way; netpbm and Pillow honour the mark, as we do.
    {"ImageMagick TGA", {"convert", "tgatoppm"}, "m.tga", "convert source.ppm m.tga",
     "tgatoppm m.tga > ref.pnm 2>/dev/null", 0},
    {"ImageMagick PGM", {"convert"}, "m.pgm", "convert grey.pgm m.pgm", "convert m.pgm -depth 8 ppm:ref.pnm", 0},
    // Pillow
    {"Pillow BMP palette", {"/usr/bin/python3"}, "p.bmp",
     "/usr/bin/python3 -c \"from PIL import Image; Image.open('few.ppm').convert('P', palette=Image.ADAPTIVE, "
     "colors=200).save('p.bmp')\"",
     "/usr/bin/python3 -c \"from PIL import Image; Image.open('p.bmp').convert('RGB').save('ref.pnm', 'PPM')\"", 0},
    {"Pillow TGA grey with alpha", {"/usr/bin/python3"}, "pla.tga",
     "/usr/bin/python3 -c \"from PIL import Image; g = Image.open('grey.pgm'); g.putalpha(200); g.save('pla.tga')\"",
     "/usr/bin/python3 -c \"from PIL import Image; Image.open('pla.tga').convert('L').save('ref.pnm', 'PPM')\"", 0},
    {"Pillow TGA run-length", {"/usr/bin/python3"}, "prle.tga",
     "/usr/bin/python3 -c \"from PIL import Image; Image.open('source.ppm').save('prle.tga', rle=True)\"",
     "/usr/bin/python3 -c \"from PIL import Image; Image.open('prle.tga').convert('RGB').save('ref.pnm', 'PPM')\"", 0},
    {"Pillow PNG grey", {"/usr/bin/python3"}, "pg.png",
     "/usr/bin/python3 -c \"from PIL import Image; Image.open('grey.pgm').save('pg.png')\"",
     "/usr/bin/python3 -c \"from PIL import Image; Image.open('pg.png').convert('RGB').save('ref.pnm', 'PPM')\"", 0},
    {"Pillow GIF", {"/usr/bin/python3"}, "p.gif",
     "/usr/bin/python3 -c \"from PIL import Image; Image.open('few.ppm').convert('P', palette=Image.ADAPTIVE, "
     "colors=200).save('p.gif')\"",
     "/usr/bin/python3 -c \"from PIL import Image; Image.open('p.gif').convert('RGB').save('ref.pnm', 'PPM')\"", 0},
    // libjpeg-turbo
    {"cjpeg colour", {"cjpeg", "djpeg"}, "a.jpg", "cjpeg -quality 90 source.ppm > a.jpg", "djpeg -pnm a.jpg > ref.pnm", 1},
    {"cjpeg grey", {"cjpeg", "djpeg"}, "g.jpg", "cjpeg -grayscale grey.pgm > g.jpg", "djpeg -pnm g.jpg > ref.pnm", 1},
};

class ReferenceDecoders : public ::testing::Test {
 protected:
  bool Shell(const std::string& command) {
    return std::system(("cd " + Quote(dir_.Path()) + " && " + command).c_str()) == 0;
  }
  TTempDir dir_;
};

TEST_F(ReferenceDecoders, VeloraDecodesAsTheirOwnDecoders) {
  if (!Have("convert")) GTEST_SKIP() << "ImageMagick makes the source pictures and is not installed";
  ASSERT_TRUE(Shell(kMakeSources));
  int checked = 0;
  for (const TCase& c : kCases) {
    SCOPED_TRACE(c.name);
    bool present = true;
    for (const std::string& tool : c.tools) present = present && Have(tool);
    if (c.tools[0] == "/usr/bin/python3" && present)
      present = std::system("/usr/bin/python3 -c 'import PIL' 2>/dev/null") == 0;
    if (!present) continue;
    ASSERT_TRUE(Shell(c.make)) << c.make;
    ASSERT_TRUE(Shell(c.reference)) << c.reference;
    const std::string file = dir_.Path() + "/" + c.file, ours = dir_.Path() + "/ours.ppm";
    const TRun run = Velora({"convert", file, ours});
    ASSERT_EQ(run.status, 0) << run.err;
    TRgbImage want, got;
    ASSERT_TRUE(want.Parse(Slurp(dir_.Path() + "/ref.pnm")));
    ASSERT_TRUE(got.Parse(Slurp(ours)));
    ASSERT_EQ(got.width, want.width);
    ASSERT_EQ(got.height, want.height);
    int worst = 0, differing = 0;
    for (size_t i = 0; i < want.rgb.size(); ++i) {
      const int d = std::abs(int(want.rgb[i]) - int(got.rgb[i]));
      worst = std::max(worst, d);
      differing += d != 0;
    }
    EXPECT_LE(worst, c.tolerance) << differing << " of " << want.rgb.size() << " samples differ";
    ++checked;
  }
  std::printf("%d of %zu reference cases checked\n", checked, std::size(kCases));
}

}  // namespace
}  // namespace velora::iotest
