// The TIFF reader against libtiff on a corpus made here: base pictures written through libtiff,
// then recoded by tiffcp (every compression, tiles, separate planes, big-endian, BigTIFF, pages),
// fax2tiff and ImageMagick (grey depths, palettes, CMYK, L*a*b*). Every page must decode to what
// libtiff's RGBA reader (tiff2rgba) gives; L*a*b* goes by libtiff's decoding of the samples and
// the standard sRGB conversion (tiff_lab_reference.h). Skipped without libtiff, and case by case
// without the tool that makes a file.
#include <gtest/gtest.h>

#ifdef VELORA_HAVE_LIBTIFF
#include <tiffio.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>

#include "codecs/tiff/tiff_tags.h"
#include "tiff_lab_reference.h"
#include "tiff_reader_test_util.h"

using namespace velora;
using namespace velora::tifftest;
namespace fs = std::filesystem;

namespace {

constexpr int kW = 77, kH = 45;  // odd sizes: partial strips, tiles and bytes

bool HaveTool(const std::string& name) { return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0; }

bool Shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// A picture with smooth areas, edges and noise, channel by channel.
uint16_t Sample(int x, int y, int c, int bps) {
  const uint32_t max = (1u << bps) - 1;
  const double smooth = (x * (c + 1) * 13 + y * (3 - c) * 7) % 256 / 255.0;
  const double edge = ((x / 9 + y / 7) % 2) ? 0.2 : 0.0;
  const double noise = ((x * 7919 + y * 104729 + c * 31) % 17) / 170.0;
  return uint16_t(std::lround(std::fmod(smooth + edge + noise, 1.0) * max));
}

struct TBase {
  uint16_t photometric, spp, bps;
  int width = kW, height = kH;
  uint16_t extra = 0;  // ExtraSamples value for the last sample, 0 for none
  uint16_t ycbcrH = 0, ycbcrV = 0;
};

// Writes a base picture through libtiff, uncompressed, 8 rows a strip.
void WriteBase(const std::string& path, const TBase& b) {
  TIFF* t = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(t, nullptr);
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, b.width);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, b.height);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, b.spp);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, b.bps);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, b.photometric);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 8);
  TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
  if (b.extra) {
    uint16_t extra = b.extra;
    TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &extra);
  }
  if (b.photometric == PHOTOMETRIC_PALETTE) {
    std::vector<uint16_t> r(1u << b.bps), g(r.size()), bl(r.size());
    for (size_t i = 0; i < r.size(); ++i)
      r[i] = uint16_t(i * 65535 / (r.size() - 1)), g[i] = uint16_t((i * 40503) & 0xFFFF), bl[i] = uint16_t(65535 - r[i]);
    TIFFSetField(t, TIFFTAG_COLORMAP, r.data(), g.data(), bl.data());
  }
  if (b.photometric == PHOTOMETRIC_YCBCR) {
    // Raw units: ycbcrH × ycbcrV luma samples, then Cb and Cr, for each block of pixels.
    TIFFSetField(t, TIFFTAG_YCBCRSUBSAMPLING, b.ycbcrH, b.ycbcrV);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 8);
    const int ux = (b.width + b.ycbcrH - 1) / b.ycbcrH, uy = (8 + b.ycbcrV - 1) / b.ycbcrV;
    const int unit = b.ycbcrH * b.ycbcrV + 2;
    for (int s = 0; s * 8 < b.height; ++s) {
      std::vector<uint8_t> strip(size_t(ux) * uy * unit);
      for (size_t i = 0; i < strip.size(); ++i) strip[i] = uint8_t(Sample(int(i % 97), s * 8 + int(i / 97), 0, 8));
      TIFFWriteRawStrip(t, uint32_t(s), strip.data(), tmsize_t(strip.size()));
    }
    TIFFClose(t);
    return;
  }
  const tmsize_t rowBytes = (tmsize_t(b.width) * b.spp * b.bps + 7) / 8;
  std::vector<uint8_t> row(static_cast<size_t>(rowBytes));
  for (int y = 0; y < b.height; ++y) {
    std::fill(row.begin(), row.end(), 0);
    for (int x = 0; x < b.width; ++x)
      for (int c = 0; c < b.spp; ++c) {
        const uint16_t v = Sample(x, y, c, b.bps);
        const int64_t i = int64_t(x) * b.spp + c;
        if (b.bps == 16)
          std::memcpy(&row[size_t(i * 2)], &v, 2);
        else if (b.bps == 8)
          row[size_t(i)] = uint8_t(v);
        else
          for (int k = 0; k < b.bps; ++k)
            if ((v >> (b.bps - 1 - k)) & 1) row[size_t((i * b.bps + k) / 8)] |= uint8_t(0x80 >> ((i * b.bps + k) % 8));
      }
    TIFFWriteScanline(t, row.data(), uint32_t(y), 0);
  }
  TIFFClose(t);
}

// A bilevel page of text-like strokes.
void WriteBilevel(const std::string& path) {
  TIFF* t = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(t, nullptr);
  const int w = 203, h = 97;
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 16);
  std::vector<uint8_t> row((w + 7) / 8);
  std::mt19937 rng(7);
  for (int y = 0; y < h; ++y) {
    std::fill(row.begin(), row.end(), 0);
    for (int x = 0; x < w; ++x)
      if ((y % 24 < 14) && ((x / 3 + y / 5) % 5 == 0 || rng() % 11 == 0)) row[size_t(x / 8)] |= uint8_t(0x80 >> (x % 8));
    TIFFWriteScanline(t, row.data(), uint32_t(y), 0);
  }
  TIFFClose(t);
}

// A page as libtiff's RGBA reader gives it, top row first.
bool LibtiffPicture(const std::string& path, int page, TPicture& out) {
  TIFF* t = TIFFOpen(path.c_str(), "r");
  if (!t) return false;
  bool ok = TIFFSetDirectory(t, uint16_t(page)) != 0;
  uint32_t w = 0, h = 0;
  TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w);
  TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h);
  std::vector<uint32_t> raster(size_t(w) * h);
  ok = ok && TIFFReadRGBAImageOriented(t, w, h, raster.data(), ORIENTATION_TOPLEFT, 0);
  TIFFClose(t);
  out = TPicture{int(w), int(h), {}};
  for (uint32_t p : raster) out.rgb.insert(out.rgb.end(), {uint8_t(TIFFGetR(p)), uint8_t(TIFFGetG(p)), uint8_t(TIFFGetB(p))});
  return ok;
}

bool ReadPpm(const std::string& ppm, TPicture& out) {
  std::ifstream in(ppm, std::ios::binary);
  std::string magic;
  int w = 0, h = 0, max = 0;
  in >> magic >> w >> h >> max;
  in.get();
  out = TPicture{w, h, std::vector<uint8_t>(size_t(w) * h * 3)};
  in.read(reinterpret_cast<char*>(out.rgb.data()), std::streamsize(out.rgb.size()));
  return magic == "P6" && bool(in);
}

// A page as ImageMagick gives it in sRGB.
bool MagickPicture(const std::string& path, int page, const std::string& options, TPicture& out) {
  const std::string ppm = path + ".ppm";
  return Shell("convert '" + path + "[" + std::to_string(page) + "]' " + options + " -depth 8 ppm:'" + ppm + "'") &&
         ReadPpm(ppm, out);
}

class TiffReaderCorpus : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = (fs::temp_directory_path() / ("velora-tiff-corpus-" + std::to_string(::getpid()))).string();
    fs::create_directories(dir_);
    WriteBase(P("rgb.tif"), {PHOTOMETRIC_RGB, 3, 8});
    WriteBase(P("grey.tif"), {PHOTOMETRIC_MINISBLACK, 1, 8});
    WriteBase(P("grey2.tif"), {PHOTOMETRIC_MINISBLACK, 1, 2});
    WriteBase(P("grey4.tif"), {PHOTOMETRIC_MINISWHITE, 1, 4});
    WriteBase(P("grey16.tif"), {PHOTOMETRIC_MINISBLACK, 1, 16});
    WriteBase(P("pal8.tif"), {PHOTOMETRIC_PALETTE, 1, 8});
    WriteBase(P("pal4.tif"), {PHOTOMETRIC_PALETTE, 1, 4});
    WriteBase(P("pal2.tif"), {PHOTOMETRIC_PALETTE, 1, 2});
    WriteBase(P("rgb16.tif"), {PHOTOMETRIC_RGB, 3, 16});
    WriteBase(P("cmyk.tif"), {PHOTOMETRIC_SEPARATED, 4, 8});
    WriteBase(P("cmyk16.tif"), {PHOTOMETRIC_SEPARATED, 4, 16});
    WriteBase(P("ycbcr11.tif"), {PHOTOMETRIC_YCBCR, 3, 8, kW, kH, 0, 1, 1});
    WriteBase(P("ycbcr21.tif"), {PHOTOMETRIC_YCBCR, 3, 8, kW, kH, 0, 2, 1});
    WriteBase(P("ycbcr22.tif"), {PHOTOMETRIC_YCBCR, 3, 8, kW, kH, 0, 2, 2});
    WriteBilevel(P("bw.tif"));
  }
  static void TearDownTestSuite() { fs::remove_all(dir_); }
  static std::string P(const std::string& name) { return dir_ + "/" + name; }
  static std::string dir_;
};
std::string TiffReaderCorpus::dir_;

struct TCase {
  const char* name;     // the file made
  const char* command;  // the shell command making it in the corpus folder; empty: a base file
  const char* tool;     // what the command needs
  int pages = 1;
  int tolerance = 0;
  bool magick = false;  // ImageMagick's sRGB, where libtiff's RGBA reader has no conversion
};

const TCase kCases[] = {
    {"rgb.tif", "", ""},
    {"grey.tif", "", ""},
    {"grey2.tif", "", ""},
    {"grey4.tif", "", ""},
    {"grey16.tif", "", ""},
    {"pal8.tif", "", ""},
    {"pal4.tif", "", ""},
    {"pal2.tif", "", ""},
    {"rgb16.tif", "", "", 1, 1},
    {"cmyk.tif", "", ""},
    {"cmyk16.tif", "", "convert", 1, 2, true},
    {"ycbcr11.tif", "", "", 1, 2},
    {"ycbcr21.tif", "", "", 1, 2},
    {"ycbcr22.tif", "", "", 1, 2},
    {"bw.tif", "", ""},
    {"packbits.tif", "tiffcp -c packbits rgb.tif packbits.tif", "tiffcp"},
    {"lzw.tif", "tiffcp -c lzw rgb.tif lzw.tif", "tiffcp"},
    {"lzw2.tif", "tiffcp -c lzw:2 rgb.tif lzw2.tif", "tiffcp"},
    {"zip.tif", "tiffcp -c zip rgb.tif zip.tif", "tiffcp"},
    {"zip2.tif", "tiffcp -c zip:2 rgb.tif zip2.tif", "tiffcp"},
    {"grey_zip2.tif", "tiffcp -c zip:2 grey.tif grey_zip2.tif", "tiffcp"},
    {"grey16_lzw2.tif", "tiffcp -c lzw:2 grey16.tif grey16_lzw2.tif", "tiffcp"},
    {"rgb16_lzw2.tif", "tiffcp -c lzw:2 rgb16.tif rgb16_lzw2.tif", "tiffcp", 1, 1},
    {"rgb16_be_lzw2.tif", "tiffcp -B -c lzw:2 rgb16.tif rgb16_be_lzw2.tif", "tiffcp", 1, 1},
    {"cmyk_lzw2.tif", "tiffcp -c lzw:2 cmyk.tif cmyk_lzw2.tif", "tiffcp"},
    {"pal4_packbits.tif", "tiffcp -c packbits pal4.tif pal4_packbits.tif", "tiffcp"},
    {"jpeg_ycbcr.tif", "tiffcp -c jpeg -r 16 rgb.tif jpeg_ycbcr.tif", "tiffcp", 1, 2},
    {"jpeg_rgb.tif", "tiffcp -c jpeg:r -r 16 rgb.tif jpeg_rgb.tif", "tiffcp", 1, 2},
    {"jpeg_grey.tif", "tiffcp -c jpeg -r 16 grey.tif jpeg_grey.tif", "tiffcp", 1, 2},
    {"jpeg_tiles.tif", "tiffcp -c jpeg -t -w 32 -l 16 rgb.tif jpeg_tiles.tif", "tiffcp", 1, 2},
    // libjpeg hands CMYK over as stored: a TIFF's inks are plain, not Adobe's inverted ones.
    {"jpeg_cmyk.tif", "tiffcp -c jpeg -r 16 cmyk.tif jpeg_cmyk.tif", "tiffcp", 1, 2},
    {"jpeg_cmyk_tiles.tif", "tiffcp -c jpeg -t -w 32 -l 32 cmyk.tif jpeg_cmyk_tiles.tif", "tiffcp", 1, 2},
    {"tiles.tif", "tiffcp -t -w 32 -l 16 rgb.tif tiles.tif", "tiffcp"},
    {"tiles_lzw2.tif", "tiffcp -c lzw:2 -t -w 16 -l 32 rgb.tif tiles_lzw2.tif", "tiffcp"},
    {"separate.tif", "tiffcp -p separate rgb.tif separate.tif", "tiffcp"},
    {"separate_lzw2.tif", "tiffcp -p separate -c lzw:2 rgb.tif separate_lzw2.tif", "tiffcp"},
    {"separate_tiles.tif", "tiffcp -p separate -t -w 32 -l 32 cmyk.tif separate_tiles.tif", "tiffcp"},
    {"bigendian.tif", "tiffcp -B -c lzw rgb.tif bigendian.tif", "tiffcp"},
    {"bigtiff.tif", "tiffcp -8 -c zip:2 rgb.tif bigtiff.tif", "tiffcp"},
    {"bigtiff_tiles.tif", "tiffcp -8 -B -t -w 32 -l 32 grey.tif bigtiff_tiles.tif", "tiffcp"},
    {"strips3.tif", "tiffcp -r 3 -c packbits rgb.tif strips3.tif", "tiffcp"},
    {"three.tif", "tiffcp rgb.tif grey.tif bw.tif three.tif", "tiffcp", 3},
    {"bw_none.tif", "tiffcp -c none bw.tif bw_none.tif", "tiffcp"},
    {"bw_packbits.tif", "tiffcp -c packbits bw.tif bw_packbits.tif", "tiffcp"},
    {"bw_g3.tif", "tiffcp -c g3:1d bw.tif bw_g3.tif", "tiffcp"},
    {"bw_g3fill.tif", "tiffcp -c g3:1d:fill bw.tif bw_g3fill.tif", "tiffcp"},
    {"bw_g32d.tif", "tiffcp -c g3:2d bw.tif bw_g32d.tif", "tiffcp"},
    {"bw_g4.tif", "tiffcp -c g4 bw.tif bw_g4.tif", "tiffcp"},
    {"bw_g4_lsb.tif", "tiffcp -c g4 -f lsb2msb bw.tif bw_g4_lsb.tif", "tiffcp"},
    {"bw_tiles.tif", "tiffcp -c g4 -t -w 64 -l 32 bw.tif bw_tiles.tif", "tiffcp"},
    {"magick_grey2.tif", "convert grey.tif -depth 2 magick_grey2.tif", "convert"},
    {"magick_grey4.tif", "convert grey.tif -depth 4 magick_grey4.tif", "convert"},
    {"magick_grey16.tif", "convert grey.tif -depth 16 magick_grey16.tif", "convert"},
    {"magick_palette.tif", "convert rgb.tif -colors 200 -type Palette magick_palette.tif", "convert"},
    {"magick_palette16.tif", "convert rgb.tif -colors 16 -type Palette magick_palette16.tif", "convert"},
    {"magick_cmyk.tif", "convert rgb.tif -colorspace CMYK magick_cmyk.tif", "convert"},
};

TEST_F(TiffReaderCorpus, EveryPageDecodesAsLibtiffDoes) {
  for (const TCase& c : kCases) {
    SCOPED_TRACE(c.name);
    if (*c.tool && !HaveTool(c.tool)) continue;
    if (*c.command) {
      ASSERT_TRUE(Shell("cd '" + dir_ + "' && " + c.command));
    }
    for (int page = 0; page < c.pages; ++page) {
      SCOPED_TRACE(page);
      TPicture expected;
      if (c.magick)
        ASSERT_TRUE(MagickPicture(P(c.name), page, "-colorspace sRGB", expected));
      else
        ASSERT_TRUE(LibtiffPicture(P(c.name), page, expected));
      TOurRead header, full;
      ReadOursFile(P(c.name), header, page, true);
      ReadOursFile(P(c.name), full, page);
      ASSERT_FALSE(full.aborting) << full.reason;
      ASSERT_FALSE(header.aborting) << header.reason;
      EXPECT_EQ(header.params.Width, expected.width);
      EXPECT_EQ(header.params.Height, expected.height);
      EXPECT_EQ(header.params.TiffImageCount, c.pages);
      EXPECT_EQ(header.params.BitsPerSample, full.params.BitsPerSample);
      EXPECT_LE(MaxDifference(PictureOf(full.bitmap), expected), c.tolerance);
    }
  }
}

// fax2tiff takes raw Group 3 data: the strip of a one-strip Group 3 file.
TEST_F(TiffReaderCorpus, Fax2tiffPage) {
  if (!HaveTool("tiffcp") || !HaveTool("fax2tiff")) GTEST_SKIP() << "no tiffcp or fax2tiff";
  ASSERT_TRUE(Shell("cd '" + dir_ + "' && tiffcp -c g3:1d -r 1000 bw.tif g3one.tif"));
  TIFF* t = TIFFOpen(P("g3one.tif").c_str(), "r");
  ASSERT_NE(t, nullptr);
  std::vector<uint8_t> raw(size_t(TIFFRawStripSize(t, 0)));
  TIFFReadRawStrip(t, 0, raw.data(), tmsize_t(raw.size()));
  TIFFClose(t);
  std::ofstream(P("page.g3"), std::ios::binary).write(reinterpret_cast<const char*>(raw.data()), std::streamsize(raw.size()));
  ASSERT_TRUE(Shell("cd '" + dir_ + "' && fax2tiff -M -X 203 -o fax.tif page.g3"));
  TPicture expected;
  ASSERT_TRUE(LibtiffPicture(P("fax.tif"), 0, expected));
  TOurRead full;
  ReadOursFile(P("fax.tif"), full, 0);
  ASSERT_FALSE(full.aborting) << full.reason;
  EXPECT_EQ(full.bitmap.PixelFormat(), TPixelFormat::pf1bit);
  EXPECT_EQ(MaxDifference(PictureOf(full.bitmap), expected), 0);
}

// Every corner of the byte space of 8-bit L*a*b* (L from 0 to 255, a* and b* from -128 to 127),
// written by libtiff, reads as libtiff decodes the samples.
TEST_F(TiffReaderCorpus, LabAsLibtiffDecodesIt) {
  std::vector<std::array<uint8_t, 3>> grid;
  for (int l = 0; l < 256; l += 51)
    for (int a = -128; a < 128; a += 17)
      for (int b = -128; b < 128; b += 17) grid.push_back({uint8_t(l), uint8_t(a), uint8_t(b)});
  grid.push_back({255, 127, 127});
  const std::string path = P("lab_grid.tif");
  TIFF* t = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(t, nullptr);
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, uint32_t(grid.size()));
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, 1);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_CIELAB);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFWriteScanline(t, grid.data(), 0, 0);
  TIFFClose(t);

  TOurRead full;
  ReadOursFile(path, full, 0);
  ASSERT_FALSE(full.aborting) << full.reason;
  TPicture expected{int(grid.size()), 1, {}};
  for (const auto& lab : grid) {
    const auto rgb = LibtiffLabToSrgb(lab[0], lab[1], lab[2]);
    expected.rgb.insert(expected.rgb.end(), rgb.begin(), rgb.end());
  }
  // libtiff decodes in single precision.
  EXPECT_LE(MaxDifference(PictureOf(full.bitmap), expected), 1);
}

// ImageMagick's own L*a*b* files: as libtiff decodes their samples, and, where a* and b* are
// not negative (ImageMagick is a unit off on negative ones), as ImageMagick shows them.
TEST_F(TiffReaderCorpus, LabOfImageMagick) {
  if (!HaveTool("convert")) GTEST_SKIP() << "no ImageMagick";
  ASSERT_TRUE(Shell("cd '" + dir_ + "' && convert xc:white xc:black xc:red xc:lime xc:blue xc:gray50 xc:'#87504a' "
                    "xc:'#e0b090' xc:'#6090d0' xc:'#204010' xc:magenta xc:'#c03020' xc:'#f0e0d0' +append "
                    "-colorspace Lab -depth 8 magick_lab.tif"));
  TPicture magick;
  ASSERT_TRUE(MagickPicture(P("magick_lab.tif"), 0, "-colorspace sRGB", magick));
  TIFF* t = TIFFOpen(P("magick_lab.tif").c_str(), "r");
  ASSERT_NE(t, nullptr);
  std::vector<uint8_t> samples(size_t(TIFFScanlineSize(t)));
  const bool readable = TIFFReadScanline(t, samples.data(), 0, 0) == 1;
  TIFFClose(t);
  ASSERT_TRUE(readable);
  ASSERT_EQ(samples.size(), size_t(magick.width) * 3);

  TOurRead full;
  ReadOursFile(P("magick_lab.tif"), full, 0);
  ASSERT_FALSE(full.aborting) << full.reason;
  const TPicture ours = PictureOf(full.bitmap);
  ASSERT_EQ(ours.width, magick.width);
  int againstLibtiff = 0, againstMagick = 0, positive = 0;
  for (size_t x = 0; x < size_t(ours.width); ++x) {
    const uint8_t* lab = &samples[x * 3];
    const auto reference = LibtiffLabToSrgb(lab[0], lab[1], lab[2]);
    const bool signsAgree = lab[1] < 128 && lab[2] < 128;
    positive += signsAgree;
    for (size_t c = 0; c < 3; ++c) {
      const int v = ours.rgb[x * 3 + c];
      againstLibtiff = std::max(againstLibtiff, std::abs(v - reference[c]));
      if (signsAgree) againstMagick = std::max(againstMagick, std::abs(v - magick.rgb[x * 3 + c]));
    }
  }
  EXPECT_LE(againstLibtiff, 1);
  EXPECT_GE(positive, 5);
  EXPECT_LE(againstMagick, 3);
}

// Alpha goes to the mask; the colour is read as stored, as ImageMagick shows it.
TEST_F(TiffReaderCorpus, AlphaIntoTheMask) {
  struct {
    const char* name;
    TBase base;
  } const cases[] = {
      {"rgba.tif", {PHOTOMETRIC_RGB, 4, 8, kW, kH, EXTRASAMPLE_UNASSALPHA}},
      {"greya.tif", {PHOTOMETRIC_MINISBLACK, 2, 8, kW, kH, EXTRASAMPLE_UNASSALPHA}},
      {"rgba16.tif", {PHOTOMETRIC_RGB, 4, 16, kW, kH, EXTRASAMPLE_UNASSALPHA}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteBase(P(c.name), c.base);
    TOurRead full;
    ReadOursFile(P(c.name), full, 0);
    ASSERT_FALSE(full.aborting) << full.reason;
    const int alpha = c.base.spp - 1;
    const TPicture ours = PictureOf(full.bitmap);
    ASSERT_EQ(full.mask.Width(), kW);
    ASSERT_EQ(full.mask.Height(), kH);
    int worst = 0;
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        const int shift = c.base.bps - 8;
        worst = std::max(worst, std::abs(full.mask.ScanLine(y)[x] - (Sample(x, y, alpha, c.base.bps) >> shift)));
        for (int ch = 0; ch < 3; ++ch) {
          const int expected = Sample(x, y, alpha == 1 ? 0 : ch, c.base.bps) >> shift;
          worst = std::max(worst, std::abs(ours.rgb[size_t((y * kW + x) * 3 + ch)] - expected));
        }
      }
    EXPECT_EQ(worst, 0);
  }
}

// Every Orientation turns the picture and its alpha upright as ImageMagick's -auto-orient does.
TEST_F(TiffReaderCorpus, OrientationsAsImageMagickTurnsThem) {
  if (!HaveTool("convert") || !HaveTool("tiffset")) GTEST_SKIP() << "no ImageMagick or tiffset";
  WriteBase(P("oriented.tif"), {PHOTOMETRIC_RGB, 4, 8, 37, 21, EXTRASAMPLE_UNASSALPHA});
  for (int orientation = 1; orientation <= 8; ++orientation) {
    SCOPED_TRACE(orientation);
    const std::string name = "o" + std::to_string(orientation) + ".tif";
    ASSERT_TRUE(Shell("cd '" + dir_ + "' && cp oriented.tif " + name + " && tiffset -s 274 " +
                      std::to_string(orientation) + " " + name));
    TPicture colour, alpha;
    ASSERT_TRUE(MagickPicture(P(name), 0, "-auto-orient -alpha off", colour));
    ASSERT_TRUE(MagickPicture(P(name), 0, "-auto-orient -alpha extract -type TrueColor", alpha));
    TOurRead full;
    ReadOursFile(P(name), full, 0);
    ASSERT_FALSE(full.aborting) << full.reason;
    EXPECT_EQ(MaxDifference(PictureOf(full.bitmap), colour), 0);
    ASSERT_EQ(full.mask.Width(), alpha.width);
    ASSERT_EQ(full.mask.Height(), alpha.height);
    int worst = 0;
    for (int y = 0; y < alpha.height; ++y)
      for (int x = 0; x < alpha.width; ++x)
        worst = std::max(worst, std::abs(full.mask.ScanLine(y)[x] - alpha.rgb[size_t((y * alpha.width + x) * 3)]));
    EXPECT_EQ(worst, 0);
    EXPECT_EQ(full.params.Width, colour.width);
  }
}


// ---- pages other programs write ------------------------------------------------------------

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

double MeanDifference(const TPicture& a, const TPicture& b) {
  if (a.rgb.size() != b.rgb.size() || a.rgb.empty()) return 256;
  double sum = 0;
  for (size_t i = 0; i < a.rgb.size(); ++i) sum += std::abs(int(a.rgb[i]) - int(b.rgb[i]));
  return sum / double(a.rgb.size());
}

// The segments of a JPEG file: marker and the segment's bytes from its 0xFF on; the scan's
// entropy-coded data is the segment after SOS, up to the next marker other than a restart.
struct TJpegSegment {
  uint8_t marker;
  std::vector<uint8_t> bytes;
};
std::vector<TJpegSegment> JpegSegments(const std::vector<uint8_t>& j) {
  std::vector<TJpegSegment> out{{0xD8, {0xFF, 0xD8}}};
  size_t i = 2;
  while (i + 4 <= j.size()) {
    const uint8_t m = j[i + 1];
    if (m == 0xD9) break;
    const size_t end = i + 2 + size_t(j[i + 2] << 8 | j[i + 3]);
    out.push_back({m, {j.begin() + ptrdiff_t(i), j.begin() + ptrdiff_t(end)}});
    i = end;
    if (m == 0xDA) {
      size_t k = i;
      while (k + 1 < j.size() && !(j[k] == 0xFF && j[k + 1] != 0 && (j[k + 1] < 0xD0 || j[k + 1] > 0xD7))) ++k;
      out.push_back({0, {j.begin() + ptrdiff_t(i), j.begin() + ptrdiff_t(k)}});
      i = k;
    }
  }
  return out;
}

// A page of compression 6 or 7 written byte by byte: the stream (or tables) at
// JPEGInterchangeFormat when given, then the strips; entries as tag, type, values.
std::vector<uint8_t> JpegTiff(uint32_t w, uint32_t h, uint16_t compression, uint16_t photometric,
                              const std::vector<uint8_t>& interchange, const std::vector<std::vector<uint8_t>>& strips,
                              uint32_t rowsPerStrip, std::vector<uint16_t> subsampling = {}) {
  std::vector<uint8_t> f = {'I', 'I', 42, 0, 0, 0, 0, 0};
  auto u16 = [&](uint32_t v) { f.push_back(uint8_t(v)), f.push_back(uint8_t(v >> 8)); };
  auto u32 = [&](uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); };
  const uint32_t interchangeAt = uint32_t(f.size());
  f.insert(f.end(), interchange.begin(), interchange.end());
  std::vector<uint32_t> offsets, counts;
  for (const auto& s : strips) offsets.push_back(uint32_t(f.size())), counts.push_back(uint32_t(s.size())), f.insert(f.end(), s.begin(), s.end());
  // Arrays of more than one value go before the IFD.
  auto array = [&](const std::vector<uint32_t>& v) {
    if (f.size() % 2) f.push_back(0);
    const uint32_t at = uint32_t(f.size());
    for (uint32_t x : v) u32(x);
    return at;
  };
  const uint32_t offsetsAt = offsets.size() > 1 ? array(offsets) : offsets[0];
  const uint32_t countsAt = counts.size() > 1 ? array(counts) : counts[0];
  if (f.size() % 2) f.push_back(0);
  const uint32_t bitsAt = uint32_t(f.size());
  u16(8), u16(8), u16(8);
  if (f.size() % 2) f.push_back(0);
  const uint32_t ifd = uint32_t(f.size());
  f[4] = uint8_t(ifd), f[5] = uint8_t(ifd >> 8), f[6] = uint8_t(ifd >> 16), f[7] = uint8_t(ifd >> 24);
  struct E { uint16_t tag, type; uint32_t count, value; };
  std::vector<E> e = {{256, 4, 1, w}, {257, 4, 1, h}, {258, 3, 3, bitsAt}, {259, 3, 1, compression},
                      {262, 3, 1, photometric}, {273, 4, uint32_t(offsets.size()), offsetsAt}, {277, 3, 1, 3},
                      {279, 4, uint32_t(counts.size()), countsAt}};
  if (rowsPerStrip) e.push_back({278, 4, 1, rowsPerStrip});
  if (!interchange.empty()) e.push_back({513, 4, 1, interchangeAt}), e.push_back({514, 4, 1, uint32_t(interchange.size())});
  if (!subsampling.empty()) e.push_back({530, 3, 2, uint32_t(subsampling[0] | subsampling[1] << 16)});
  std::sort(e.begin(), e.end(), [](const E& a, const E& b) { return a.tag < b.tag; });
  u16(uint32_t(e.size()));
  for (const E& x : e) {
    u16(x.tag), u16(x.type), u32(x.count);
    if (x.type == 3 && x.count == 1) u16(x.value), u16(0);
    else u32(x.value);
  }
  u32(0);
  return f;
}

void WriteAll(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// The base picture as a PPM for the JPEG tools.
void WritePpm(const std::string& path) {
  std::ofstream out(path, std::ios::binary);
  out << "P6\n" << kW << " " << kH << "\n255\n";
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x)
      for (int c = 0; c < 3; ++c) out.put(char(Sample(x, y, c, 8)));
}

// RGB held in a JPEG stream whose markers say YCbCr (identifiers 1, 2, 3, no Adobe marker, as
// some writers store it): the page's photometric decides, as libtiff reads it.
TEST_F(TiffReaderCorpus, JpegRgbGoesByThePhotometric) {
  if (!HaveTool("cjpeg")) GTEST_SKIP() << "no cjpeg";
  WritePpm(P("base.ppm"));
  ASSERT_TRUE(Shell("cjpeg -rgb -quality 95 -outfile '" + P("rgb.jpg") + "' '" + P("base.ppm") + "'"));
  std::vector<uint8_t> stream;
  for (TJpegSegment& s : JpegSegments(ReadAll(P("rgb.jpg")))) {
    if (s.marker == 0xEE) continue;  // the Adobe marker that names RGB
    if (s.marker == 0xC0 || s.marker == 0xC1)
      for (int c = 0; c < 3; ++c) s.bytes[10 + 3 * c] = uint8_t(c + 1);
    if (s.marker == 0xDA)
      for (int c = 0; c < 3; ++c) s.bytes[5 + 2 * c] = uint8_t(c + 1);
    stream.insert(stream.end(), s.bytes.begin(), s.bytes.end());
  }
  stream.insert(stream.end(), {0xFF, 0xD9});
  WriteAll(P("jpeg_rgb_ids.tif"), JpegTiff(kW, kH, 7, PHOTOMETRIC_RGB, {}, {stream}, kH));
  TPicture expected;
  ASSERT_TRUE(LibtiffPicture(P("jpeg_rgb_ids.tif"), 0, expected));
  TOurRead full;
  ReadOursFile(P("jpeg_rgb_ids.tif"), full, 0);
  ASSERT_FALSE(full.aborting) << full.reason;
  EXPECT_LE(MaxDifference(PictureOf(full.bitmap), expected), 1);
}

// Old-style JPEG (compression 6) as old scanners and fax software wrote it: the tables and
// frame at JPEGInterchangeFormat, each strip a run of entropy-coded data between restart
// points; one strip without RowsPerStrip; and a whole stream there. Read as libtiff reads them.
TEST_F(TiffReaderCorpus, OldStyleJpegAsLibtiffReadsIt) {
  if (!HaveTool("cjpeg") || !HaveTool("djpeg")) GTEST_SKIP() << "no cjpeg or djpeg";
  WritePpm(P("base.ppm"));
  // Restart markers at every MCU row: 8 image rows for 2 x 1 sampling.
  ASSERT_TRUE(Shell("cjpeg -sample 2x1 -restart 1 -quality 90 -outfile '" + P("sub21.jpg") + "' '" + P("base.ppm") + "'"));
  ASSERT_TRUE(Shell("cjpeg -sample 2x1 -quality 90 -outfile '" + P("sub21_one.jpg") + "' '" + P("base.ppm") + "'"));
  ASSERT_TRUE(Shell("cjpeg -sample 2x2 -quality 90 -outfile '" + P("sub22.jpg") + "' '" + P("base.ppm") + "'"));
  // Tables and frame, then the scan's data cut at its restart markers.
  auto split = [&](const std::string& jpg, bool withScanHeader) {
    std::vector<uint8_t> header;
    std::vector<std::vector<uint8_t>> strips;
    for (const TJpegSegment& s : JpegSegments(ReadAll(P(jpg)))) {
      if (s.marker == 0xDA) {
        if (withScanHeader) header.insert(header.end(), s.bytes.begin(), s.bytes.end());
        continue;
      }
      if (s.marker == 0xDD) continue;  // the restart interval is the reader's to work out
      if (s.marker != 0) {
        header.insert(header.end(), s.bytes.begin(), s.bytes.end());
        continue;
      }
      strips.emplace_back();
      for (size_t i = 0; i < s.bytes.size(); ++i) {
        if (s.bytes[i] == 0xFF && i + 1 < s.bytes.size() && s.bytes[i + 1] >= 0xD0 && s.bytes[i + 1] <= 0xD7) {
          strips.emplace_back();
          ++i;
          continue;
        }
        strips.back().push_back(s.bytes[i]);
      }
    }
    return std::make_pair(header, strips);
  };
  const auto [header21, strips21] = split("sub21.jpg", true);
  ASSERT_EQ(strips21.size(), size_t((kH + 7) / 8));
  WriteAll(P("ojpeg_strips.tif"), JpegTiff(kW, kH, 6, PHOTOMETRIC_YCBCR, header21, strips21, 8, {2, 1}));
  const auto [headerOne, stripOne] = split("sub21_one.jpg", true);
  ASSERT_EQ(stripOne.size(), 1u);
  WriteAll(P("ojpeg_one_strip.tif"), JpegTiff(kW, kH, 6, PHOTOMETRIC_YCBCR, headerOne, stripOne, 0, {2, 1}));
  const auto [header22, strips22] = split("sub22.jpg", true);
  const std::vector<uint8_t> whole = ReadAll(P("sub22.jpg"));
  // The whole stream there, the strip its scan data (where writers of such pages point it).
  WriteAll(P("ojpeg_whole.tif"), JpegTiff(kW, kH, 6, PHOTOMETRIC_YCBCR, whole, strips22, kH, {2, 2}));
  // Without the scan's header the reader writes one (libtiff takes the components'
  // identifiers as 0 then, and fails).
  const auto [tablesOnly, stripsNoScan] = split("sub21.jpg", false);
  WriteAll(P("ojpeg_no_scan_header.tif"), JpegTiff(kW, kH, 6, PHOTOMETRIC_YCBCR, tablesOnly, stripsNoScan, 8, {2, 1}));
  const struct {
    const char* name;
    const char* from;  // the stream the page was cut from
    bool libtiffReads;
  } pages[] = {{"ojpeg_strips.tif", "sub21.jpg", true},
               {"ojpeg_one_strip.tif", "sub21_one.jpg", true},
               {"ojpeg_whole.tif", "sub22.jpg", false},  // libtiff decodes its strip, not the whole stream
               {"ojpeg_no_scan_header.tif", "sub21.jpg", false}};
  for (const auto& [name, from, libtiffReads] : pages) {
    SCOPED_TRACE(name);
    TOurRead full;
    ReadOursFile(P(name), full, 0);
    ASSERT_FALSE(full.aborting) << full.reason;
    TPicture expected;
    if (libtiffReads) {
      ASSERT_TRUE(LibtiffPicture(P(name), 0, expected));
      // libtiff reads the page too, but upsamples the chroma its own way (by repeating it, and
      // not always in the same place), some 12 levels off libjpeg's decoding of the stream on
      // average on this noisy picture: the exact check is libjpeg's below.
      EXPECT_LE(MeanDifference(PictureOf(full.bitmap), expected), 16.0);
    }
    // libjpeg's own decoding of the stream the page was cut from.
    const std::string jpg = P(from);
    TPicture fromJpeg;
    ASSERT_TRUE(Shell("djpeg -outfile '" + jpg + ".ppm' '" + jpg + "'"));
    ASSERT_TRUE(ReadPpm(jpg + ".ppm", fromJpeg));
    EXPECT_EQ(MaxDifference(PictureOf(full.bitmap), fromJpeg), 0);
  }
}

// Associated (premultiplied) alpha divided out, 8 and 16 bits, in one plane, in separate
// planes and in tiles: multiplied back as libtiff's RGBA reader multiplies, the colours give
// what libtiff gives, for every alpha (where alpha is small, a unit of premultiplied colour
// is many of ours).
TEST_F(TiffReaderCorpus, AssociatedAlphaDividedOutAsLibtiffKeepsIt) {
  if (!HaveTool("tiffcp")) GTEST_SKIP() << "no tiffcp";
  const int w = 256, h = 48;
  for (const int bps : {8, 16})
  for (const bool planar : {false, true}) {
    const std::string b = std::to_string(bps) + (planar ? "_planar" : "");
    const std::string base = P("assoc" + b + ".tif");
    TIFF* t = TIFFOpen(base.c_str(), "w");
    ASSERT_NE(t, nullptr);
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 4);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, bps);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, planar ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 16);
    uint16_t extra = EXTRASAMPLE_ASSOCALPHA;
    TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &extra);
    const uint32_t max = (1u << bps) - 1;
    // Every alpha along a row; colours from none to full coverage of it.
    const auto sample = [&](int x, int y, int c) {
      const uint32_t a = std::min(bps == 8 ? uint32_t(x) : uint32_t(x) * 257 + uint32_t(y * 5 % 257), max);
      return c == 3 ? a : a * uint32_t((y * 37 + c * 91 + x * 3) % 256) / 255;
    };
    std::vector<uint8_t> row(size_t(w) * 4 * bps / 8);
    for (int plane = 0; plane < (planar ? 4 : 1); ++plane)
      for (int y = 0; y < h; ++y) {
        const int per = planar ? 1 : 4;
        for (int x = 0; x < w; ++x)
          for (int k = 0; k < per; ++k) {
            const uint32_t v = sample(x, y, planar ? plane : k);
            if (bps == 8) row[size_t(x * per + k)] = uint8_t(v);
            else std::memcpy(&row[size_t((x * per + k) * 2)], &v, 2);
          }
        TIFFWriteScanline(t, row.data(), uint32_t(y), uint16_t(plane));
      }
    TIFFClose(t);
    std::vector<std::string> names = {"assoc" + b + ".tif"};
    if (!planar) {
      ASSERT_TRUE(Shell("cd '" + dir_ + "' && tiffcp -t -w 32 -l 16 assoc" + b + ".tif assoc" + b + "_tiled.tif && tiffcp -c lzw:2 assoc" + b + ".tif assoc" + b + "_lzw2.tif"));
      names.insert(names.end(), {"assoc" + b + "_tiled.tif", "assoc" + b + "_lzw2.tif"});
    }
    for (const std::string& name : names) {
      SCOPED_TRACE(name);
      TIFF* in = TIFFOpen(P(name).c_str(), "r");
      ASSERT_NE(in, nullptr);
      std::vector<uint32_t> raster(size_t(w) * h);
      ASSERT_TRUE(TIFFReadRGBAImageOriented(in, w, h, raster.data(), ORIENTATION_TOPLEFT, 0));
      TIFFClose(in);
      TOurRead full;
      ReadOursFile(P(name), full, 0);
      ASSERT_FALSE(full.aborting) << full.reason;
      const TPicture ours = PictureOf(full.bitmap);
      int worstColour = 0, worstAlpha = 0;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          const uint32_t p = raster[size_t(y * w + x)];
          const int a = int(TIFFGetA(p));
          worstAlpha = std::max(worstAlpha, std::abs(full.mask.ScanLine(y)[x] - a));
          const int theirs[3] = {int(TIFFGetR(p)), int(TIFFGetG(p)), int(TIFFGetB(p))};
          for (int c = 0; c < 3; ++c) {
            const int back = (ours.rgb[size_t((y * w + x) * 3 + c)] * a + 127) / 255;
            worstColour = std::max(worstColour, std::abs(back - theirs[c]));
          }
        }
      // 16-bit samples come to 8 bits by their high byte here, by rounding in libtiff.
      EXPECT_LE(worstAlpha, bps == 8 ? 0 : 1);
      EXPECT_LE(worstColour, bps == 8 ? 0 : 1);
    }
  }
}

}  // namespace
#endif  // VELORA_HAVE_LIBTIFF
