// Header-only reads never raise: whatever cannot be read answers FileType 0, with FileName
// set all the same; a readable header fills Params without touching any bitmap.
#include "io_test_support.h"

namespace velora {
namespace {

using iotest::Bytes;

TEST(HeaderOnly, FilesThatCannotBeReadAnswerZero) {
  iotest::TTempDir dir;
  iotest::TVltRegistration vlt;
  Bytes truncated = iotest::MakeVlt(4, 4);
  truncated.resize(7);  // cut inside the header
  const struct {
    const char* what;
    std::string path;
  } cases[] = {
      {"missing", dir.Path() + "/missing.vlt"},
      {"empty", dir.Write("empty.vlt", Bytes{})},
      {"truncated header", dir.Write("short.vlt", truncated)},
      {"directory", dir.Mkdir("folder.vlt")},
      {"text", dir.Write("notes.vlt", std::string("just some words, no image here"))},
      {"truncated BMP", dir.Write("short.bmp", Bytes{'B', 'M', 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15})},
  };
  TVeloraIO io;
  for (const auto& c : cases) {
    io.Params().FileType = 42;
    EXPECT_NO_THROW(io.ReadParamsFromFile(c.path)) << c.what;
    EXPECT_EQ(io.Params().FileType, 0) << c.what;
    EXPECT_EQ(io.Params().FileName, c.path) << c.what;
    EXPECT_NO_THROW(io.ReadParamsFromFileFormat(c.path, iotest::kVltType)) << c.what;
    EXPECT_EQ(io.Params().FileType, 0) << c.what;
  }
}

TEST(HeaderOnly, UnreadableFileAnswersZero) {
  iotest::TTempDir dir;
  iotest::TVltRegistration vlt;
  const std::string path = dir.Write("locked.vlt", iotest::MakeVlt(3, 2));
  ::chmod(path.c_str(), 0);
  if (::access(path.c_str(), R_OK) == 0) GTEST_SKIP() << "running as a user who reads every file";
  TVeloraIO io;
  EXPECT_NO_THROW(io.ReadParamsFromFile(path));
  EXPECT_EQ(io.Params().FileType, 0);
}

TEST(HeaderOnly, ReadableHeaderFillsParamsAndLeavesTheBitmapAlone) {
  iotest::TTempDir dir;
  iotest::TVltRegistration vlt;
  TBitmap target(2, 2, TPixelFormat::pf24bit);
  TVeloraIO io;
  io.AttachBitmap(&target);
  const std::string path = dir.Write("a.vlt", iotest::MakeVlt(7, 5, 300, 150));
  io.ReadParamsFromFile(path);
  EXPECT_EQ(io.Params().FileType, iotest::kVltType);
  EXPECT_EQ(io.Params().Width, 7);
  EXPECT_EQ(io.Params().Height, 5);
  EXPECT_EQ(io.Params().DpiX, 300);
  EXPECT_EQ(io.Params().DpiY, 150);  // no resolution equalising without pixels
  EXPECT_EQ(target.Width(), 2);

  // The stream form: same answer, no file name.
  const Bytes bytes = iotest::MakeVlt(9, 4);
  TVLBufferStream s(bytes.data(), int64_t(bytes.size()));
  io.ReadParamsFromStream(s);
  EXPECT_EQ(io.Params().FileType, iotest::kVltType);
  EXPECT_EQ(io.Params().Width, 9);
  EXPECT_EQ(io.Params().FileName, "");
}

TEST(HeaderOnly, ExceptionsOfAnExternalReaderAreSwallowed) {
  TFileFormatInfo thrower{901, "Thrower", "THR",
                          [](TVLStream&, TBitmap*, TIOParamsVals&, bool, TVLProgressRecord&) {
                            throw std::runtime_error("boom");
                          },
                          nullptr, [](TVLStream& s) { return s.Size() > 0; }};
  RegisterFileFormat(thrower);
  iotest::TTempDir dir;
  TVeloraIO io;
  EXPECT_NO_THROW(io.ReadParamsFromFile(dir.Write("x.thr", std::string("anything"))));
  EXPECT_EQ(io.Params().FileType, 0);
  UnregisterFileFormat(901);
}

TEST(HeaderOnly, ValidBmpHeader) {
  iotest::TTempDir dir;
  TVeloraIO io;  // no bitmap at all
  io.ReadParamsFromFile(dir.Write("five.bmp", iotest::MakeBmp24(5, 3)));
  EXPECT_EQ(io.Params().FileType, ioBMP);
  EXPECT_EQ(io.Params().Width, 5);
  EXPECT_EQ(io.Params().Height, 3);
  EXPECT_EQ(io.Params().BitsPerSample * io.Params().SamplesPerPixel, 24);
}

}  // namespace
}  // namespace velora
