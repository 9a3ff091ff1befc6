// `velora convert` into TIFF: the compression and colour form asked for on the command line
// reach the writer, a CCITT coding makes the page bilevel (and says so when that loses
// colours), and the TIFF options are refused for other formats.
#include "codecs/tiff/tiff_tags.h"
#include "codecs/tiff/tiff_writer_test_util.h"
#include "io_test_support.h"
#include "tool_runner.h"

namespace velora {
namespace {

using namespace velora::tiff;

TEST(VeloraConvertTiff, OptionsChooseCompressionAndColourForm) {
  if (!std::filesystem::exists(VELORA_TOOL_PATH)) GTEST_SKIP() << "the velora tool is not built";
  iotest::TTempDir dir;
  const std::string bmp = dir.Write("colour.bmp", iotest::MakeBmp24(9, 5));
  const struct {
    std::vector<std::string> options;
    uint16_t compression, photometric;
    uint32_t samples;
    bool saysReduced;
  } cases[] = {
      {{}, ccNone, pcRgb, 3, false},
      {{"--compression", "g4"}, ccCcittT6, pcWhiteIsZero, 1, true},
      {{"--compression", "mh"}, ccCcittRle, pcWhiteIsZero, 1, true},
      {{"--compression", "g3-2d"}, ccCcittT4, pcWhiteIsZero, 1, true},
      {{"--compression", "lzw", "--photometric", "cmyk"}, ccLzw, pcSeparated, 4, false},
      {{"--photometric", "lab", "--compression", "packbits"}, ccPackBits, pcCieLab, 3, false},
      {{"--bits", "1", "--compression", "lzw"}, ccLzw, pcBlackIsZero, 1, false},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"convert"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const std::string out = dir.Path() + "/out.tif";
    args.insert(args.end(), {bmp, out});
    const iotest::TRun run = iotest::Velora(args);
    SCOPED_TRACE(run.err);
    ASSERT_EQ(run.status, 0);
    EXPECT_EQ(run.err.find("black and white") != std::string::npos, c.saysReduced);
    const auto chain = tifftest::ParseChain(testbytes::ReadFileBytes(out));
    ASSERT_EQ(chain.size(), 1u);
    EXPECT_EQ(chain[0][tgCompression].U(), c.compression);
    EXPECT_EQ(chain[0][tgPhotometricInterpretation].U(), c.photometric);
    EXPECT_EQ(chain[0][tgSamplesPerPixel].U(), c.samples);
  }
  EXPECT_EQ(iotest::Velora({"convert", "--compression", "zip", bmp, dir.Path() + "/z.tif"}).status, 2);
  EXPECT_EQ(iotest::Velora({"convert", "--compression", "g4", bmp, dir.Path() + "/z.png"}).status, 2);
  EXPECT_EQ(iotest::Velora({"convert", "--photometric", "ycbcr", bmp, dir.Path() + "/z.tif"}).status, 2);
}

}  // namespace
}  // namespace velora
