// WebP, AVIF, HEIF and JPEG XL files made by the formats' own encoders (and ImageMagick)
// decode exactly as the formats' own decoders give them (dwebp, avifdec, heif-convert, djxl,
// after the same reduction to 8 bits), colour and alpha, and their headers say what the
// encoder was told. Checked end to end through `velora convert FILE OUT.png` and
// `velora info --json`; a case whose tools are not installed is skipped.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "io/pnm_image.h"
#include "io/tool_runner.h"

namespace velora::iotest {
namespace {

bool Have(const std::string& tool) { return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0; }

struct THeader {
  int width, height, bits, samples, count;
};

struct TCase {
  const char* name;
  std::vector<std::string> tools;
  const char* file;       // made in the scratch folder from the sources below
  const char* make;       // shell command writing `file`
  const char* reference;  // shell command writing ref.png (or any file ImageMagick reads) from `file`
  std::vector<std::string> options;  // before IN in `velora convert` and `velora info`
  THeader header;
  bool alpha = false;  // the alpha planes are compared too
};

// source.png: 97 x 61 of many colours (odd sizes give padded rows and odd chroma edges);
// grey.png its grey; negative.png and flipped.png for second images and frames; alpha.png
// with a gradient of transparency; orient6.exif a TIFF header whose IFD 0 holds
// Orientation 6 (turn 90 degrees clockwise to show).
const char* kMakeSources =
    "convert -size 97x61 gradient:'#1f8a3c-#e0307a' -swirl 120 -depth 8 PNG24:source.png && "
    "convert source.png -colorspace Gray -depth 8 grey.png && "
    "convert source.png -negate PNG24:negative.png && convert source.png -flip PNG24:flipped.png && "
    "convert source.png \\( -size 97x61 gradient: \\) -alpha off -compose copy_opacity -composite PNG32:alpha.png && "
    "printf 'II*\\000\\010\\000\\000\\000\\001\\000\\022\\001\\003\\000\\001\\000\\000\\000\\006\\000\\000\\000"
    "\\000\\000\\000\\000' > orient6.exif";

const TCase kCases[] = {
    // WebP
    {"cwebp lossy", {"cwebp", "dwebp"}, "a.webp", "cwebp -quiet -q 80 source.png -o a.webp",
     "dwebp -quiet a.webp -o ref.png", {}, {97, 61, 8, 3, 1}},
    {"cwebp lossless with alpha", {"cwebp", "dwebp"}, "b.webp", "cwebp -quiet -lossless -exact alpha.png -o b.webp",
     "dwebp -quiet b.webp -o ref.png", {}, {97, 61, 8, 4, 1}, true},
    {"cwebp lossy with alpha", {"cwebp", "dwebp"}, "c.webp", "cwebp -quiet -q 70 alpha.png -o c.webp",
     "dwebp -quiet c.webp -o ref.png", {}, {97, 61, 8, 4, 1}, true},
    {"cwebp grey", {"cwebp", "dwebp"}, "g.webp", "cwebp -quiet -q 90 grey.png -o g.webp",
     "dwebp -quiet g.webp -o ref.png", {}, {97, 61, 8, 3, 1}},
    // An animation's container declares alpha (the canvas may show through), so 4 samples.
    {"img2webp animation, frame 2", {"img2webp"}, "anim.webp",
     "img2webp -lossless source.png -d 80 flipped.png negative.png -o anim.webp >/dev/null 2>&1",
     "cp negative.png ref.png", {"--page", "2"}, {97, 61, 8, 4, 3}},
    {"webpmux EXIF orientation 6, stored", {"cwebp", "dwebp", "webpmux"}, "o.webp",
     "cwebp -quiet -q 80 source.png -o plain.webp && webpmux -set exif orient6.exif plain.webp -o o.webp >/dev/null",
     "dwebp -quiet o.webp -o ref.png", {}, {97, 61, 8, 3, 1}},
    {"webpmux EXIF orientation 6, upright", {"cwebp", "dwebp", "webpmux"}, "o.webp",
     "cwebp -quiet -q 80 source.png -o plain.webp && webpmux -set exif orient6.exif plain.webp -o o.webp >/dev/null",
     "dwebp -quiet o.webp -o r.png && convert r.png -rotate 90 ref.png", {"--auto-orient"}, {61, 97, 8, 3, 1}},
    // AVIF
    {"avifenc 8 bits 4:2:0", {"avifenc", "avifdec"}, "a.avif", "avifenc -s 8 -y 420 source.png a.avif >/dev/null",
     "avifdec -d 8 a.avif ref.png >/dev/null", {}, {97, 61, 8, 3, 1}},
    {"avifenc 10 bits 4:4:4", {"avifenc", "avifdec"}, "b.avif", "avifenc -s 8 -d 10 -y 444 source.png b.avif >/dev/null",
     "avifdec -d 8 b.avif ref.png >/dev/null", {}, {97, 61, 10, 3, 1}},
    {"avifenc 12 bits with alpha", {"avifenc", "avifdec"}, "c.avif", "avifenc -s 8 -d 12 alpha.png c.avif >/dev/null",
     "avifdec -d 8 c.avif ref.png >/dev/null", {}, {97, 61, 12, 4, 1}, true},
    {"avifenc grey 4:0:0", {"avifenc", "avifdec"}, "g.avif", "avifenc -s 8 -y 400 grey.png g.avif >/dev/null",
     "avifdec -d 8 g.avif ref.png >/dev/null", {}, {97, 61, 8, 1, 1}},
    {"avifenc irot 1 imir 0, stored", {"avifenc", "avifdec"}, "o.avif",
     "avifenc -s 8 --irot 1 --imir 0 source.png o.avif >/dev/null", "avifdec -d 8 o.avif ref.png >/dev/null", {},
     {97, 61, 8, 3, 1}},
    {"avifenc irot 1 imir 0, upright", {"avifenc", "avifdec"}, "o.avif",
     "avifenc -s 8 --irot 1 --imir 0 source.png o.avif >/dev/null",
     "avifdec -d 8 o.avif r.png >/dev/null && convert r.png -rotate -90 -flip ref.png", {"--auto-orient"},
     {61, 97, 8, 3, 1}},
    // HEIF
    {"heif-enc colour", {"heif-enc", "heif-convert"}, "a.heic", "heif-enc -q 80 source.png -o a.heic >/dev/null 2>&1",
     "heif-convert a.heic ref.png >/dev/null", {}, {97, 61, 8, 3, 1}},
    {"heif-enc with alpha", {"heif-enc", "heif-convert"}, "b.heic", "heif-enc -q 80 alpha.png -o b.heic >/dev/null 2>&1",
     "heif-convert b.heic ref.png >/dev/null", {}, {97, 61, 8, 4, 1}, true},
    {"heif-enc grey", {"heif-enc", "heif-convert"}, "g.heic", "heif-enc -q 80 grey.png -o g.heic >/dev/null 2>&1",
     "heif-convert g.heic ref.png >/dev/null", {}, {97, 61, 8, 3, 1}},
    // The second top-level image decodes as the same picture encoded alone.
    {"heif-enc two images, the second", {"heif-enc", "heif-convert"}, "two.heic",
     "heif-enc -q 80 source.png negative.png -o two.heic >/dev/null 2>&1",
     "heif-enc -q 80 negative.png -o one.heic >/dev/null 2>&1 && heif-convert one.heic ref.png >/dev/null",
     {"--page", "1"}, {97, 61, 8, 3, 2}},
    // JPEG XL
    {"cjxl lossy", {"cjxl", "djxl"}, "a.jxl", "cjxl source.png a.jxl >/dev/null 2>&1", "djxl a.jxl ref.png >/dev/null 2>&1",
     {}, {97, 61, 8, 3, 1}},
    {"cjxl lossless", {"cjxl", "djxl"}, "b.jxl", "cjxl -d 0 source.png b.jxl >/dev/null 2>&1",
     "cp source.png ref.png", {}, {97, 61, 8, 3, 1}},
    {"cjxl lossless with alpha", {"cjxl", "djxl"}, "c.jxl", "cjxl -d 0 alpha.png c.jxl >/dev/null 2>&1",
     "djxl c.jxl ref.png >/dev/null 2>&1", {}, {97, 61, 8, 4, 1}, true},
    {"cjxl grey", {"cjxl", "djxl"}, "g.jxl", "cjxl -d 1 grey.png g.jxl >/dev/null 2>&1", "djxl g.jxl ref.png >/dev/null 2>&1",
     {}, {97, 61, 8, 1, 1}},
};

class PhotoReferences : public ::testing::Test {
 protected:
  bool Shell(const std::string& command) {
    return std::system(("cd " + Quote(dir_.Path()) + " && " + command).c_str()) == 0;
  }
  // The colour (and, with alpha, the alpha plane as grey) of a file ImageMagick reads.
  TRgbImage Plane(const std::string& file, bool alpha) {
    const std::string out = dir_.Path() + "/plane.pnm";
    EXPECT_TRUE(Shell("convert " + file + (alpha ? " -alpha extract" : " -alpha off") + " -depth 8 " +
                      (alpha ? "pgm:" : "ppm:") + out));
    TRgbImage image;
    EXPECT_TRUE(image.Parse(Slurp(out))) << file;
    return image;
  }
  void ExpectSamePlane(const std::string& ours, bool alpha) {
    const TRgbImage want = Plane("ref.png", alpha), got = Plane(ours, alpha);
    ASSERT_EQ(got.width, want.width);
    ASSERT_EQ(got.height, want.height);
    int differing = 0;
    for (size_t i = 0; i < want.rgb.size(); ++i) differing += want.rgb[i] != got.rgb[i];
    EXPECT_EQ(differing, 0) << (alpha ? "alpha" : "colour") << ": " << differing << " of " << want.rgb.size()
                            << " samples differ";
  }
  void ExpectHeader(const std::string& file, const TCase& c) {
    std::vector<std::string> args = c.options;
    if (!args.empty() && args[0] == "--page") args.erase(args.begin(), args.begin() + 2);
    args.insert(args.begin(), "info");
    args.push_back("--json");
    args.push_back(file);
    const TRun run = Velora(args);
    ASSERT_EQ(run.status, 0) << run.err;
    const THeader& h = c.header;
    for (const std::string& field :
         {"\"Width\":" + std::to_string(h.width), "\"Height\":" + std::to_string(h.height),
          "\"BitsPerSample\":" + std::to_string(h.bits), "\"SamplesPerPixel\":" + std::to_string(h.samples),
          "\"ImageCount\":" + std::to_string(h.count)})
      EXPECT_NE(run.out.find(field), std::string::npos) << field << " not in " << run.out;
  }
  TTempDir dir_;
};

TEST_F(PhotoReferences, DecodeAsTheFormatsOwnDecoders) {
  if (!Have("convert")) GTEST_SKIP() << "ImageMagick makes the sources and is not installed";
  ASSERT_TRUE(Shell(kMakeSources));
  int checked = 0;
  for (const TCase& c : kCases) {
    SCOPED_TRACE(c.name);
    bool present = true;
    for (const std::string& tool : c.tools) present = present && Have(tool);
    if (!present) continue;
    ASSERT_TRUE(Shell(c.make)) << c.make;
    ASSERT_TRUE(Shell(c.reference)) << c.reference;
    const std::string file = dir_.Path() + "/" + c.file, ours = dir_.Path() + "/ours.png";
    std::vector<std::string> args = {"convert"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.insert(args.end(), {file, ours});
    const TRun run = Velora(args);
    ASSERT_EQ(run.status, 0) << run.err;
    ExpectSamePlane("ours.png", false);
    if (c.alpha) ExpectSamePlane("ours.png", true);
    ExpectHeader(file, c);
    ++checked;
  }
  std::printf("%d of %zu reference cases checked\n", checked, std::size(kCases));
}

}  // namespace
}  // namespace velora::iotest
