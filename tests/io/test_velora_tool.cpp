// The `velora` tool's contract: exit statuses, messages on standard error, its output lines.
#include <sstream>

#include "codecs/tiff/tiff_builder.h"
#include "io_test_support.h"
#include "tool_runner.h"

namespace velora {
namespace {

using iotest::TRun;
using iotest::Velora;

class VeloraTool : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(VELORA_TOOL_PATH)) GTEST_SKIP() << "the velora tool is not built";
  }
  iotest::TTempDir dir;
};

TEST_F(VeloraTool, UsageErrorsExitTwo) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"frobnicate"},
      {"info"},
      {"info", "--json"},
      {"scan", "onlyfolder"},
      {"convert", "in.bmp"},
      {"--max-pixels", "lots", "info", "a.bmp"},
      {"--max-pixels"},
  };
  for (const auto& args : cases) {
    TRun r = Velora(args);
    EXPECT_EQ(r.status, 2) << (args.empty() ? "(none)" : args[0]);
    EXPECT_FALSE(r.err.empty());
  }
}

TEST_F(VeloraTool, InfoReportsWhatItCannotOpenOrRead) {
  const std::string missing = dir.Path() + "/missing.bmp";
  TRun r = Velora({"info", missing});
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.err.find("cannot open " + missing + ": "), std::string::npos) << r.err;

  const std::string text = dir.Write("notes.txt", std::string("hello"));
  r = Velora({"info", "--json", text});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot read " + text + ": "), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "{\"file\":\"" + text +
                       "\",\"FileType\":0,\"format\":\"\",\"Width\":0,\"Height\":0,\"BitsPerSample\":0,"
                       "\"SamplesPerPixel\":0,\"DpiX\":0,\"DpiY\":0,\"ImageCount\":0,\"caption\":\"\","
                       "\"error\":\"not an image format this library recognises\"}\n");
  // One line per file, the worst status wins.
  r = Velora({"info", "--json", text, missing});
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2);
}

TEST_F(VeloraTool, ScanAndConvertFailures) {
  TRun r = Velora({"scan", dir.Path() + "/nowhere", "*.*"});
  EXPECT_EQ(r.status, 3);
  r = Velora({"scan", dir.Path(), "*.*"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");

  r = Velora({"convert", dir.Path() + "/missing.bmp", dir.Path() + "/out.bmp"});
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.err.find("cannot open"), std::string::npos);
  r = Velora({"convert", dir.Write("x.xyz", std::string("data")), dir.Path() + "/out.bmp"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot read"), std::string::npos);
}

// Every refusal says why, in the words of the reader, the writer or the I/O front.
TEST_F(VeloraTool, FailuresGiveTheirReason) {
  const iotest::Bytes bmp = iotest::MakeBmp24(5, 3);
  const std::string five = dir.Write("five.bmp", bmp);
  const struct {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"info", dir.Write("five.wmf", bmp)},
       "cannot read " + dir.Path() + "/five.wmf: its extension names Windows Metafile, its content is "
                                     "Windows Bitmap"},
      {{"info", dir.Write("five.xyz", bmp)},
       "cannot read " + dir.Path() + "/five.xyz: the extension \"xyz\" names no format (the content is Windows Bitmap)"},
      {{"convert", dir.Path() + "/five.xyz", dir.Path() + "/out.bmp"},
       "cannot read " + dir.Path() + "/five.xyz: no reader for the extension \"xyz\""},
      {{"convert", five, dir.Path() + "/out.ico"}, "cannot write " + dir.Path() + "/out.ico: no writer for the extension \"ico\""},
      {{"convert", dir.Write("page.tif", std::string("II*\0\x08\0\0\0\0\0")), dir.Path() + "/out.bmp"},
       "cannot read " + dir.Path() + "/page.tif: TIFF: no header"},
      {{"--max-pixels", "10", "convert", five, dir.Path() + "/out.bmp"},
       "cannot read " + five + ": BMP: 5 x 3 declared, beyond the limit of 10 pixels"},
      {{"info", dir.Write("short.bmp", iotest::Bytes(bmp.begin(), bmp.begin() + 40))},
       "cannot read " + dir.Path() + "/short.bmp: BMP: premature end of data"},
  };
  for (const auto& c : cases) {
    const TRun r = Velora(c.args);
    EXPECT_EQ(r.status, 1) << c.message;
    EXPECT_EQ(r.err, "velora: " + c.message + "\n");
  }
}

TEST_F(VeloraTool, WorksOnABitmap) {
  const std::string bmp = dir.Write("five.bmp", iotest::MakeBmp24(5, 3));
  TRun r = Velora({"info", "--json", bmp});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\"FileType\":5,\"format\":\"Windows Bitmap\",\"Width\":5,\"Height\":3"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("\"caption\":\"5x3x24b\""), std::string::npos);

  r = Velora({"scan", dir.Path(), "*.BMP"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "1\tfive.bmp\t5x3x24b\t" + bmp + "\n");

  r = Velora({"convert", bmp, dir.Path() + "/copy.bmp"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(std::filesystem::exists(dir.Path() + "/copy.bmp"));
  r = Velora({"convert", bmp, dir.Path() + "/no/such/dir/copy.bmp"});
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.err.find("cannot create"), std::string::npos);
  r = Velora({"convert", bmp, dir.Path() + "/copy.ico"});
  EXPECT_EQ(r.status, 1);

  r = Velora({"--max-pixels", "10", "convert", bmp, dir.Path() + "/small.bmp"});
  EXPECT_EQ(r.status, 1) << "15 pixels are beyond a limit of 10";
}

// info counts the pages of a TIFF; convert --page picks one.
TEST_F(VeloraTool, PagesOfATiff) {
  using namespace tifftest;
  const std::string tif = dir.Write("three.tif", BuildTiff({GreyPage(4, 2, 8, 1, 2, {iotest::Bytes(8, 10)}),
                                                            GreyPage(5, 3, 8, 1, 3, {iotest::Bytes(15, 20)}),
                                                            GreyPage(6, 4, 8, 1, 4, {iotest::Bytes(24, 30)})}));
  TRun r = Velora({"info", "--json", tif});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\"Width\":4,\"Height\":2"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"ImageCount\":3"), std::string::npos) << r.out;
  r = Velora({"info", tif});
  EXPECT_NE(r.out.find(", 3 pages"), std::string::npos) << r.out;

  r = Velora({"convert", "--page", "2", tif, dir.Path() + "/third.bmp"});
  EXPECT_EQ(r.status, 0) << r.err;
  r = Velora({"info", "--json", dir.Path() + "/third.bmp"});
  EXPECT_NE(r.out.find("\"Width\":6,\"Height\":4"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"ImageCount\":1"), std::string::npos) << r.out;
  r = Velora({"convert", "--page", "3", tif, dir.Path() + "/fourth.bmp"});
  EXPECT_EQ(r.status, 1);
}

TEST_F(VeloraTool, ScanInTheChosenOrder) {
  // Written largest first: name order, size order and their reversals all differ.
  dir.Write("img10.bmp", iotest::MakeBmp24(9, 9));
  dir.Write("IMG2.bmp", iotest::MakeBmp24(5, 5));
  dir.Write("img1.bmp", iotest::MakeBmp24(7, 7));
  const struct {
    std::vector<std::string> options;
    std::string names;
  } cases[] = {
      {{}, "img1.bmp img10.bmp IMG2.bmp "},  // the design's order, unchanged by default
      {{"--sort", "name"}, "img1.bmp IMG2.bmp img10.bmp "},
      {{"--sort", "name", "--reverse"}, "img10.bmp IMG2.bmp img1.bmp "},
      {{"--sort", "size"}, "IMG2.bmp img1.bmp img10.bmp "},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"scan"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.push_back(dir.Path());
    args.push_back("*.bmp");
    const TRun r = Velora(args);
    ASSERT_EQ(r.status, 0) << r.err;
    std::string names, numbers;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
      numbers += line.substr(0, line.find('\t')) + " ";
      const size_t start = line.find('\t') + 1;
      names += line.substr(start, line.find('\t', start) - start) + " ";
    }
    EXPECT_EQ(names, c.names) << c.options.size();
    EXPECT_EQ(numbers, "1 2 3 ") << "the captions follow the new positions";
  }
  EXPECT_EQ(Velora({"scan", "--sort", "colour", dir.Path(), "*.bmp"}).status, 2);
}

TEST_F(VeloraTool, MimeTypesOfTheFormatsRead) {
  const std::string globs = dir.Write("globs2",
                                      std::string("# comment\n"
                                                  "50:image/jpeg:*.jpg\n"
                                                  "50:image/jpeg:*.jpeg\n"
                                                  "50:application/vnd.visio:*.vst\n"  // not an image type
                                                  "50:image/x-tga:*.vst\n"
                                                  "50:image/png:*.PNG\n"
                                                  "50:image/x-nothing-we-read:*.zzz\n"
                                                  "50:image/x-bmp-like:bmp*\n"));  // not an extension glob
  TRun r = Velora({"mime-types", "--globs", globs});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "image/jpeg;image/png;image/x-tga;\n");
  r = Velora({"mime-types", "--globs", dir.Path() + "/none"});
  EXPECT_EQ(r.status, 3);
}

}  // namespace
}  // namespace velora
