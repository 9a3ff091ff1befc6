// Metafiles through the tool: what `velora convert` draws them on, and what `velora info`
// says of EMF+ records.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "bitmap/vl_mask.h"
#include "codecs/metafile/metafile_builder.h"
#include "codecs/metafile/metafile_codec.h"
#include "io/tool_runner.h"
#include "io/velora_io.h"

namespace velora {
namespace {

using namespace mftest;
using iotest::Velora;

// A 100 × 100 EMF with a black square 20..60 and nothing else.
Bytes BlackSquare(bool withEmfPlus = false) {
  TEmfBuilder emf(100, 100, kScreenPixels, kScreenMillimetres);
  if (withEmfPlus) {
    // An EMF+ header record in a comment: "EMF+", then type 0x4001, flags, sizes, version.
    const char plus[] = "EMF+\x01\x40\x00\x00\x1C\x00\x00\x00\x10\x00\x00\x00\x02\x10\xC0\xDB\x00\x00\x00\x00"
                        "\x60\x00\x00\x00\x60\x00\x00\x00";
    emf.Add(U_EMRCOMMENT_set(sizeof plus - 1, plus));
  }
  emf.Brush(Rgb(0, 0, 0)).Stock(U_NULL_PEN).Rect(20, 20, 60, 60);
  return emf.Finish();
}

struct TLoaded {
  TBitmap bitmap;
  TVLMask alpha;
  TRGB At(int x, int y) const {
    const uint8_t* p = bitmap.ScanLine(y) + 3 * x;
    return TRGB{p[0], p[1], p[2]};
  }
  int Alpha(int x, int y) const { return alpha.Full() ? 255 : alpha.GetPixel(x, y); }
};

class ToolMetafile : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(VELORA_TOOL_PATH)) GTEST_SKIP() << "the velora tool is not built";
  }
  void Load(const std::string& path, TLoaded& out) {
    TVeloraIO io;
    io.AttachBitmap(&out.bitmap);
    io.SetAlphaMask(&out.alpha);
    io.LoadFromFile(path);
    ASSERT_FALSE(io.Aborting) << io.AbortReason;
  }
  iotest::TTempDir dir_;
};

TEST_F(ToolMetafile, DrawnOnWhiteWithWhatWasDrawnOpaque) {
  const std::string in = dir_.Write("square.emf", BlackSquare());
  const std::string png = dir_.Path() + "/square.png", bmp = dir_.Path() + "/square.bmp";
  ASSERT_EQ(Velora({"convert", in, png}).status, 0);
  ASSERT_EQ(Velora({"convert", in, bmp}).status, 0);
  TLoaded withAlpha, opaque;
  Load(png, withAlpha);
  Load(bmp, opaque);
  // PNG: the square opaque black, the rest transparent. BMP: black on white.
  EXPECT_EQ(withAlpha.At(40, 40), (TRGB{0, 0, 0}));
  EXPECT_EQ(withAlpha.Alpha(40, 40), 255);
  EXPECT_EQ(withAlpha.Alpha(80, 80), 0);
  EXPECT_EQ(opaque.At(40, 40), (TRGB{0, 0, 0}));
  EXPECT_EQ(opaque.At(80, 80), (TRGB{255, 255, 255}));
}

TEST_F(ToolMetafile, BackgroundOptionChoosesWhatItIsDrawnOn) {
  const std::string in = dir_.Write("square.emf", BlackSquare());
  const std::string png = dir_.Path() + "/square.png";
  ASSERT_EQ(Velora({"convert", "--background", "0,0,255", in, png}).status, 0);
  TLoaded out;
  Load(png, out);
  EXPECT_EQ(out.At(80, 80), (TRGB{255, 0, 0}));
  EXPECT_EQ(out.Alpha(80, 80), 255);
  EXPECT_EQ(out.At(40, 40), (TRGB{0, 0, 0}));
  EXPECT_EQ(Velora({"convert", "--background", "0,0", in, png}).status, 2);
}

TEST_F(ToolMetafile, InfoSaysEmfPlusRecordsAreNotDrawn) {
  const std::string plain = dir_.Write("plain.emf", BlackSquare()), plus = dir_.Write("plus.emf", BlackSquare(true));
  EXPECT_EQ(Velora({"info", plain}).out.find("EMF+"), std::string::npos);
  EXPECT_NE(Velora({"info", plus}).out.find("EMF+ records not drawn"), std::string::npos);
  EXPECT_NE(Velora({"info", "--json", plus}).out.find("\"EmfPlus\":true"), std::string::npos);
}

}  // namespace
}  // namespace velora
