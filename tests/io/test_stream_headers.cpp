// The 12-byte stream headers of TIFF, JPEG and PCX streams: where the readers start and where
// they leave the stream, what a wrong header does, what the writers put in front.
#include "io_test_support.h"

namespace velora {
namespace {

using iotest::Bytes;

Bytes Header(const char* magic, uint32_t count) {
  Bytes b(magic, magic + 4);
  iotest::PutU32(b, 0);
  iotest::PutU32(b, count);
  return b;
}

// A header, `count` bytes of (unreadable) data, then a trailer that must not be consumed.
Bytes Headed(const char* magic, uint32_t count) {
  Bytes b = Header(magic, count);
  b.resize(b.size() + count, 0x5A);
  b.insert(b.end(), {'N', 'E', 'X', 'T'});
  return b;
}

TEST(StreamHeaders, ReaderLeavesTheStreamAfterTheCountedData) {
  const struct {
    const char* magic;
    int32_t fileType;
    bool streamHeaders;
  } cases[] = {{"TIFF", ioTIFF, true}, {"PCX2", ioPCX, true}, {"JFIF", ioJPEG, true}, {"JFIF", ioJPEG, false}};
  for (const auto& c : cases) {
    Bytes bytes = Headed(c.magic, 40);
    TVLMemoryStream s(bytes.data(), int64_t(bytes.size()));
    TBitmap target;
    TVeloraIO io;
    io.AttachBitmap(&target);
    io.StreamHeaders = c.streamHeaders;
    io.LoadFromStreamFormat(s, c.fileType);
    EXPECT_EQ(s.Position(), 12 + 40) << c.magic;
    EXPECT_EQ(io.Params().FileType, c.fileType) << c.magic;
    EXPECT_GT(target.Width(), 0) << c.magic;  // whatever the reader made of it, a showable bitmap
  }
}

TEST(StreamHeaders, WrongHeaderReadsNothing) {
  for (int32_t fileType : {ioTIFF, ioPCX}) {
    Bytes bytes = Headed("XXXX", 40);
    TVLMemoryStream s(bytes.data(), int64_t(bytes.size()));
    TBitmap target(3, 3, TPixelFormat::pf24bit);
    TVeloraIO io;
    io.AttachBitmap(&target);
    io.StreamHeaders = true;
    io.Params().FileType = 77;
    io.LoadFromStreamFormat(s, fileType);
    EXPECT_TRUE(io.Aborting) << fileType;
    EXPECT_EQ(io.Params().FileType, 77) << "a refused stream changes nothing";
    EXPECT_EQ(target.Width(), 3);
  }
}

TEST(StreamHeaders, WritersPutTheHeaderInFront) {
  TBitmap target(4, 2, TPixelFormat::pf24bit);
  for (int32_t fileType : {ioTIFF, ioJPEG}) {
    TVLMemoryStream s;
    s.WriteBuffer("pre", 3);
    TVeloraIO io;
    io.AttachBitmap(&target);
    io.StreamHeaders = true;
    io.SaveToStream(s, fileType);
    const Bytes& d = s.Data();
    ASSERT_GE(d.size(), 15u);
    EXPECT_EQ(std::string(d.begin() + 3, d.begin() + 7), fileType == ioTIFF ? "TIFF" : "JFIF");
    const uint32_t count = d[11] | d[12] << 8 | d[13] << 16 | uint32_t(d[14]) << 24;
    EXPECT_EQ(count, d.size() - 15) << "the count covers what the writer wrote after the header";
    EXPECT_EQ(s.Position(), int64_t(d.size()));
  }
}

TEST(StreamHeaders, NoHeaderWithoutStreamHeaders) {
  TBitmap target(4, 2, TPixelFormat::pf24bit);
  TVLMemoryStream s;
  TVeloraIO io;
  io.AttachBitmap(&target);
  io.SaveToStream(s, ioTIFF);
  EXPECT_TRUE(s.Data().size() < 4 || std::string(s.Data().begin(), s.Data().begin() + 4) != "TIFF");
}

// Round trips through the real writers and readers, once they are there.
void RoundTrip(int32_t fileType) {
  TBitmap source(6, 4, TPixelFormat::pf24bit);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 18; ++x) source.ScanLine(y)[x] = uint8_t(x * 10 + y * 40);
  TVLMemoryStream s;
  TVeloraIO writer;
  writer.AttachBitmap(&source);
  writer.StreamHeaders = true;
  writer.SaveToStream(s, fileType);
  ASSERT_FALSE(writer.Aborting);
  s.WriteBuffer("TAIL", 4);
  s.SetPosition(0);

  TBitmap back;
  TVeloraIO reader;
  reader.AttachBitmap(&back);
  reader.StreamHeaders = true;
  reader.LoadFromStream(s);
  ASSERT_FALSE(reader.Aborting);
  EXPECT_EQ(reader.Params().FileType, fileType);
  EXPECT_EQ(back.Width(), 6);
  EXPECT_EQ(back.Height(), 4);
  EXPECT_EQ(s.Position(), s.Size() - 4);
}

TEST(StreamHeaders, PcxRoundTrip) {
  RoundTrip(ioPCX);
}
TEST(StreamHeaders, TiffRoundTrip) {
  const TVLFormatDescriptor* tiff = VLFindBuiltinFormat(ioTIFF);
  if (!tiff->Write || !tiff->Read) GTEST_SKIP() << "no TIFF reader or writer";
  RoundTrip(ioTIFF);
}
TEST(StreamHeaders, JpegRoundTrip) {
  RoundTrip(ioJPEG);
}

}  // namespace
}  // namespace velora
