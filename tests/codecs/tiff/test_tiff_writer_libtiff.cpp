// What we write, as libtiff and ImageMagick read it: every compression and colour form, as a
// new file and as a page inserted in front of it. `tiffinfo -D` (which decodes every strip)
// must have nothing to say, and the pixels must come back: exactly, CMYK within 1 (the
// conversion divides twice), L*a*b* midtones within 3 as libtiff decodes the samples and within
// 6 in ImageMagick. 8-bit L*a*b* is too coarse for more near the faces of the sRGB cube: each of
// L, a*, b* rounded to its nearest step, (0, 200, 255) comes back with red 22.
// Skipped where libtiff is not installed.
#include <gtest/gtest.h>

#ifdef VELORA_HAVE_LIBTIFF
#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>

#include "io/io_test_support.h"
#include "io/tool_runner.h"
#include "tiff_lab_reference.h"
#include "tiff_writer_test_util.h"

using namespace velora;
using namespace velora::tifftest;

namespace {

struct TPagePixels {
  int width = 0, height = 0;
  std::vector<TRGB> pixels;  // top row first
};

TPagePixels PixelsOf(const TBitmap& bitmap) {
  TPagePixels p{bitmap.Width(), bitmap.Height(), {}};
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) {
      const uint8_t* row = bitmap.ScanLine(y);
      if (bitmap.PixelFormat() == TPixelFormat::pf1bit) {
        const uint8_t v = (row[x / 8] & (0x80 >> (x % 8))) ? 255 : 0;
        p.pixels.push_back({v, v, v});
      } else {
        p.pixels.push_back(reinterpret_cast<const TRGB*>(row)[x]);
      }
    }
  return p;
}

// Every page of the file as libtiff reads it: through its RGBA interface, or (lab) its L*a*b*
// samples as libtiff decodes them, turned into sRGB by the standard conversion.
std::vector<TPagePixels> LibtiffPages(const std::string& path, bool lab = false) {
  std::vector<TPagePixels> pages;
  TIFF* t = TIFFOpen(path.c_str(), "r");
  if (!t) return pages;
  do {
    uint32_t w = 0, h = 0;
    TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h);
    TPagePixels p{int(w), int(h), {}};
    if (lab) {
      std::vector<uint8_t> samples(size_t(w) * h * 3);
      if (TIFFReadEncodedStrip(t, 0, samples.data(), tmsize_t(samples.size())) == tmsize_t(samples.size()))
        for (size_t i = 0; i < samples.size(); i += 3) {
          const auto rgb = LibtiffLabToSrgb(samples[i], samples[i + 1], samples[i + 2]);
          p.pixels.push_back({rgb[2], rgb[1], rgb[0]});
        }
    } else {
      std::vector<uint32_t> rgba(size_t(w) * h);
      if (TIFFReadRGBAImageOriented(t, w, h, rgba.data(), ORIENTATION_TOPLEFT, 0))
        for (uint32_t v : rgba) p.pixels.push_back({uint8_t(TIFFGetB(v)), uint8_t(TIFFGetG(v)), uint8_t(TIFFGetR(v))});
    }
    pages.push_back(std::move(p));
  } while (TIFFReadDirectory(t));
  TIFFClose(t);
  return pages;
}

// Page `page` through ImageMagick, as sRGB.
TPagePixels MagickPage(const std::string& path, int page, int width, int height) {
  const std::string raw = path + ".rgb";
  TPagePixels p{width, height, {}};
  const std::string command = "convert " + iotest::Quote(path + "[" + std::to_string(page) + "]") +
                              " -colorspace sRGB -depth 8 rgb:" + iotest::Quote(raw) + " 2>/dev/null";
  if (std::system(command.c_str()) != 0) return p;
  const auto bytes = testbytes::ReadFileBytes(raw);
  for (size_t i = 0; i + 2 < bytes.size(); i += 3) p.pixels.push_back({bytes[i + 2], bytes[i + 1], bytes[i]});
  return p;
}

::testing::AssertionResult Near(const TPagePixels& actual, const TPagePixels& expected, int tolerance) {
  if (actual.width != expected.width || actual.height != expected.height || actual.pixels.size() != expected.pixels.size())
    return ::testing::AssertionFailure() << "size " << actual.width << " x " << actual.height << " ("
                                         << actual.pixels.size() << " pixels), expected " << expected.width << " x "
                                         << expected.height;
  for (size_t i = 0; i < actual.pixels.size(); ++i) {
    const TRGB a = actual.pixels[i], e = expected.pixels[i];
    if (std::abs(a.r - e.r) > tolerance || std::abs(a.g - e.g) > tolerance || std::abs(a.b - e.b) > tolerance)
      return ::testing::AssertionFailure() << "pixel " << i % size_t(actual.width) << ", " << i / size_t(actual.width)
                                           << ": " << int(a.r) << "," << int(a.g) << "," << int(a.b) << ", expected "
                                           << int(e.r) << "," << int(e.g) << "," << int(e.b);
  }
  return ::testing::AssertionSuccess();
}

TEST(TiffWriterLibtiff, EveryFormReadsBackAsNewFileAndInsertedPage) {
  if (std::system("command -v tiffinfo >/dev/null 2>&1") != 0) GTEST_SKIP() << "tiffinfo is not installed";
  const struct {
    const char* name;
    int compression;
    int photometric;
    bool bilevel;
    int tolerance;
    bool magick;  // read through ImageMagick rather than libtiff's RGBA interface
  } cases[] = {
      {"bilevel none", 0, 2, true, 0, false},    {"bilevel PackBits", 8, 2, true, 0, false},
      {"bilevel LZW", 5, 2, true, 0, false},     {"bilevel modified Huffman", 1, 2, true, 0, false},
      {"bilevel Group 3", 2, 2, true, 0, false}, {"bilevel Group 3 2-D", 3, 2, true, 0, false},
      {"bilevel Group 4", 4, 2, true, 0, false}, {"RGB none", 0, 2, false, 0, false},
      {"RGB PackBits", 8, 2, false, 0, false},   {"RGB LZW", 5, 2, false, 0, false},
      {"CMYK none", 0, 5, false, 1, false},      {"CMYK PackBits", 8, 5, false, 1, false},
      {"CMYK LZW", 5, 5, false, 1, false},       {"L*a*b* none", 0, 7, false, 6, true},
      {"L*a*b* PackBits", 8, 7, false, 6, true}, {"L*a*b* LZW", 5, 7, false, 6, true},
  };
  const bool haveMagick = std::system("command -v convert >/dev/null 2>&1") == 0;
  iotest::TTempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto first = c.bilevel ? MonoPicture(61, 29) : c.magick ? MidtonePicture(37, 23) : ColourPicture(37, 23);
    auto second = c.bilevel ? MonoPicture(1728, 40) : c.magick ? MidtonePicture(19, 31) : ColourPicture(19, 31);
    TVLMemoryStream stream;
    TIOParamsVals params;
    SetWriterParams(params, c.compression, c.photometric, c.bilevel);
    ASSERT_EQ(WriteTiff(stream, *first, params).pages, 1);
    params.TiffImageIndex = 0;
    stream.SetPosition(0);
    ASSERT_EQ(WriteTiff(stream, *second, params, true).pages, 2);
    const std::string path = dir.Path() + "/page.tif";
    stream.SaveToFile(path);

    const std::string err = dir.Path() + "/tiffinfo.err";
    std::system(("tiffinfo -D " + iotest::Quote(path) + " >/dev/null 2>" + iotest::Quote(err)).c_str());
    EXPECT_EQ(iotest::Slurp(err), "");

    const TPagePixels expected[2] = {PixelsOf(*second), PixelsOf(*first)};
    if (c.magick) {
      // Midtones, read back within 3 as libtiff decodes the samples (each is rounded to a whole
      // step); ImageMagick reads a negative a* or b* a unit too high, which costs up to 6 here.
      const auto pages = LibtiffPages(path, true);
      ASSERT_EQ(pages.size(), 2u);
      for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(Near(pages[size_t(i)], expected[i], 3)) << "page " << i << ", standard conversion";
        if (haveMagick) {
          EXPECT_TRUE(Near(MagickPage(path, i, expected[i].width, expected[i].height), expected[i], c.tolerance))
              << "page " << i << ", ImageMagick";
        }
      }
    } else {
      const auto pages = LibtiffPages(path);
      ASSERT_EQ(pages.size(), 2u);
      for (int i = 0; i < 2; ++i) EXPECT_TRUE(Near(pages[size_t(i)], expected[i], c.tolerance)) << "page " << i;
    }
  }
}

}  // namespace

#endif  // VELORA_HAVE_LIBTIFF
