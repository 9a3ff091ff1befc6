// Content detection: each signature in its place in the order of tests, the size each test
// demands, the position left untouched; file detection with the extension check.
#include <cstring>

#include "io_test_support.h"

namespace velora {
namespace {

using iotest::Bytes;

Bytes Pad(Bytes b, size_t size, uint8_t fill = 0x33) {
  b.resize(size, fill);
  return b;
}
Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }
Bytes StreamHeader(const char* magic, uint32_t count) {
  Bytes b(magic, magic + 4);
  iotest::PutU32(b, 0);
  iotest::PutU32(b, count);
  return b;
}

int32_t Detect(const Bytes& bytes) {
  TVeloraIO io;
  TVLBufferStream s(bytes.data(), int64_t(bytes.size()));
  return io.DetectStreamFormat(s);
}

struct TDetectCase {
  const char* what;
  Bytes bytes;
  int32_t expected;
};

// The front's own tests. Sizes sit on both sides of each test's minimum.
TEST(FormatDetect, FrontSignaturesAndTheirMinimumSizes) {
  const TDetectCase cases[] = {
      {"JFIF stream header, 13 bytes", Pad(StreamHeader("JFIF", 1), 13), ioJPEG},
      {"JFIF with a fifth character is not the header", Pad(Text("JFIFX"), 20), ioUnknown},
      {"GIF, 14 bytes", Pad(Text("GIF89a"), 14), ioGIF},
      {"GIF, only 13 bytes", Pad(Text("GIF89a"), 13), ioUnknown},
      {"PCX2 stream header, 13 bytes", Pad(StreamHeader("PCX2", 1), 13), ioPCX},
      {"old PCX header, 5 bytes", Pad(Text(std::string("PCX\0", 4)), 5), ioPCX},
      {"old PCX header, only 4 bytes", Text(std::string("PCX\0", 4)), ioUnknown},
      {"BM, 15 bytes", Pad(Text("BM"), 15), ioBMP},
      {"BM, only 14 bytes", Pad(Text("BM"), 14), ioUnknown},
      {"PCX manufacturer and version 5, 129 bytes", Pad(Bytes{10, 5}, 129), ioPCX},
      {"PCX manufacturer, version 6", Pad(Bytes{10, 6}, 129), ioUnknown},
      {"PCX manufacturer, only 128 bytes", Pad(Bytes{10, 0}, 128), ioUnknown},
      {"TIFF stream header, 13 bytes", Pad(StreamHeader("TIFF", 1), 13), ioTIFF},
      {"II, 9 bytes", Pad(Text("II*"), 9), ioTIFF},
      {"MM, 9 bytes", Pad(Text("MM"), 9), ioTIFF},
      {"II, only 8 bytes", Pad(Text("II*"), 8), ioUnknown},
      {"empty", Bytes{}, ioUnknown},
  };
  for (const auto& c : cases) EXPECT_EQ(Detect(c.bytes), c.expected) << c.what;
}

TEST(FormatDetect, EarlierTestsWinOverLaterOnes) {
  iotest::TVltRegistration vlt;
  EXPECT_EQ(Detect(Pad(iotest::MakeVlt(1, 1), 20)), iotest::kVltType);
  // A registry test that accepts everything is asked before the built-in tests.
  TFileFormatInfo greedy{900, "Greedy", "GRD", nullptr, nullptr, [](TVLStream&) { return true; }};
  RegisterFileFormat(greedy);
  EXPECT_EQ(Detect(Pad(Text("BM"), 20)), 900);
  UnregisterFileFormat(900);
  EXPECT_EQ(Detect(Pad(Text("BM"), 20)), ioBMP);
}

TEST(FormatDetect, PositionIsWhereDetectionStartedAndTestsReadFromThere) {
  Bytes data = Pad(Text("xxxx"), 4);
  Bytes gif = Pad(Text("GIF89a"), 20);
  data.insert(data.end(), gif.begin(), gif.end());
  TVLMemoryStream s(data.data(), int64_t(data.size()));
  s.SetPosition(4);
  TVeloraIO io;
  EXPECT_EQ(io.DetectStreamFormat(s), ioGIF);
  EXPECT_EQ(s.Position(), 4);
}

TEST(FormatDetect, TiffStreamHeaderIsDetectedWithoutStreamHeaders) {
  TVeloraIO io;
  ASSERT_FALSE(io.StreamHeaders);
  Bytes b = StreamHeader("TIFF", 8);
  Bytes tiff = {'I', 'I', 42, 0, 8, 0, 0, 0};
  b.insert(b.end(), tiff.begin(), tiff.end());
  TVLBufferStream s(b.data(), int64_t(b.size()));
  EXPECT_EQ(io.DetectStreamFormat(s), ioTIFF);
}

// ---- the codecs' recognition tests, in their places after the front's own -----------------

Bytes MinimalPng() {
  Bytes b = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R', 0, 0, 0, 1, 0, 0, 0, 1,
             8, 2, 0, 0, 0, 0x90, 0x77, 0x53, 0xDE};
  return b;
}

// A 1 × 1 32-bit icon (type 1) or cursor (type 2, hot spot 0, 0).
Bytes MinimalIcon(uint16_t type) {
  Bytes b;
  iotest::PutU16(b, 0);
  iotest::PutU16(b, type);
  iotest::PutU16(b, 1);
  b.insert(b.end(), {1, 1, 0, 0});
  iotest::PutU16(b, type == 1 ? 1 : 0);   // planes, or hot spot x
  iotest::PutU16(b, type == 1 ? 32 : 0);  // bit count, or hot spot y
  iotest::PutU32(b, 48);
  iotest::PutU32(b, 22);
  iotest::PutU32(b, 40);
  iotest::PutU32(b, 1);
  iotest::PutU32(b, 2);
  iotest::PutU16(b, 1);
  iotest::PutU16(b, 32);
  for (int i = 0; i < 6; ++i) iotest::PutU32(b, 0);
  b.insert(b.end(), {10, 20, 30, 255, 0, 0, 0, 0});
  return b;
}

// A 2 × 2 run-length true-colour TGA with the 2.0 footer.
Bytes MinimalTga() {
  Bytes b = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 24, 0x20, 0x83, 10, 20, 30};
  iotest::PutU32(b, 0);
  iotest::PutU32(b, 0);
  const char sig[] = "TRUEVISION-XFILE.";
  b.insert(b.end(), sig, sig + sizeof sig);
  return b;
}

Bytes MinimalPnm() {
  Bytes b = Text("P6\n2 2\n255\n");
  for (int i = 0; i < 12; ++i) b.push_back(uint8_t(i * 20));
  return b;
}

Bytes MinimalJpegStart() {
  Bytes b = {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
  return Pad(b, 64, 0);
}

TEST(FormatDetect, PngSignature) {
  EXPECT_EQ(Detect(MinimalPng()), ioPNG);
}
TEST(FormatDetect, IconAndCursorDirectories) {
  EXPECT_EQ(Detect(MinimalIcon(1)), ioICO);
  EXPECT_EQ(Detect(MinimalIcon(2)), ioCUR);
}
TEST(FormatDetect, TgaHeader) {
  EXPECT_EQ(Detect(MinimalTga()), ioTGA);
}
TEST(FormatDetect, PnmMagic) {
  EXPECT_EQ(Detect(MinimalPnm()), ioPXM);
}
TEST(FormatDetect, JpegStartOfImageComesLast) {
  EXPECT_EQ(Detect(MinimalJpegStart()), ioJPEG);
  // A stream header in front wins over the signature search (test 2 before test 15).
  Bytes headed = StreamHeader("JFIF", 64);
  Bytes jpeg = MinimalJpegStart();
  headed.insert(headed.end(), jpeg.begin(), jpeg.end());
  EXPECT_EQ(Detect(headed), ioJPEG);
}

// ---- file detection and the extension check ------------------------------------------------

TEST(FormatDetectFile, ExtensionMustAgreeWithContent) {
  iotest::TTempDir dir;
  const Bytes bmp = iotest::MakeBmp24(5, 3);
  TVeloraIO io;
  EXPECT_EQ(io.DetectFileFormat(dir.Write("a.bmp", bmp), true), ioBMP);
  EXPECT_EQ(io.DetectFileFormat(dir.Write("b.DIB", bmp), true), ioBMP);
  // A format whose own test refuses the content gives way to the format the content is.
  EXPECT_EQ(io.DetectFileFormat(dir.Write("c.jpg", bmp), true), ioBMP);
  EXPECT_EQ(io.DetectFileFormat(dir.Write("c.jpg", bmp), false), ioBMP);
  // Metafiles have no content test to refuse with: their name stands, against the content.
  EXPECT_EQ(io.DetectFileFormat(dir.Write("c.wmf", bmp), true), ioUnknown);
  EXPECT_EQ(io.DetectFileFormat(dir.Write("d.xyz", bmp), true), ioUnknown);  // not registered
  EXPECT_EQ(io.DetectFileFormat(dir.Write("noext", bmp), true), ioUnknown);
  EXPECT_EQ(io.DetectFileFormat(dir.Path() + "/missing.bmp", false), ioUnknown);
  EXPECT_EQ(io.DetectFileFormat(dir.Path(), false), ioUnknown);
}

// Files other programs wrote under another format's name, and the clipboard's headerless DIB:
// loaded and read header-only as what their content is.
TEST(FormatDetectFile, MisnamedFilesAreReadByTheirContent) {
  iotest::TTempDir dir;
  const Bytes bmp = iotest::MakeBmp24(5, 3);
  const Bytes packedDib(bmp.begin() + 14, bmp.end());  // the file header dropped
  Bytes ppm = {'P', '6', '\n', '5', ' ', '3', '\n', '2', '5', '5', '\n'};
  ppm.resize(ppm.size() + 5 * 3 * 3, 0x80);
  TBitmap picture(5, 3, TPixelFormat::pf24bit);
  TVeloraIO writer;
  writer.AttachBitmap(&picture);
  writer.SaveToFile(dir.Path() + "/written.png");
  const Bytes png = iotest::ReadFileBytes(dir.Path() + "/written.png");
  const struct {
    const char* name;
    const Bytes& content;
    int32_t read;
  } cases[] = {
      {"netpbm.pnm", ppm, ioPXM},  {"png.pbm", png, ioPNG}, {"bitmap.png", bmp, ioBMP},
      {"bitmap.jpg", bmp, ioBMP},  {"clip.dib", packedDib, ioBMP}, {"clip.bmp", packedDib, ioBMP},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.Write(c.name, c.content);
    TBitmap target;
    TVeloraIO io;
    io.AttachBitmap(&target);
    io.LoadFromFile(path);
    EXPECT_FALSE(io.Aborting) << io.AbortReason;
    EXPECT_EQ(io.Params().FileType, c.read);
    EXPECT_EQ(target.Width(), 5);
    EXPECT_EQ(target.Height(), 3);
    TVeloraIO header;
    header.ReadParamsFromFile(path);
    EXPECT_EQ(header.Params().FileType, c.read);
    EXPECT_EQ(header.Params().Width, 5);
  }
  // The packed DIB's pixels are the BMP's, and its content alone names it.
  TBitmap fromBmp, fromDib;
  TVeloraIO io;
  io.AttachBitmap(&fromBmp);
  io.LoadFromFile(dir.Write("whole.bmp", bmp));
  io.AttachBitmap(&fromDib);
  io.LoadFromFile(dir.Write("packed.dib", packedDib));
  for (int y = 0; y < 3; ++y)
    EXPECT_EQ(std::memcmp(fromBmp.ScanLine(y), fromDib.ScanLine(y), 15), 0) << y;
  EXPECT_EQ(io.DetectFileFormat(dir.Write("packed.data", packedDib), false), ioBMP);
  // Text that merely starts like an information header's size is no DIB.
  EXPECT_EQ(io.DetectFileFormat(dir.Write("forty.data", Bytes{40, 0, 0, 0, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h',
                                                              'i', 'j', 'k', 'l', 'm', 'n', 'o', 'p'}),
                                false),
            ioUnknown);
}

TEST(FormatDetectFile, IconNamedCurIsACursor) {
  iotest::TTempDir dir;
  TVeloraIO io;
  EXPECT_EQ(io.DetectFileFormat(dir.Write("icon.cur", MinimalIcon(1)), true), ioCUR);
  EXPECT_EQ(io.DetectFileFormat(dir.Write("icon.ico", MinimalIcon(1)), true), ioICO);
  EXPECT_EQ(io.DetectFileFormat(dir.Write("cursor.ico", MinimalIcon(2)), true), ioICO);
}

}  // namespace
}  // namespace velora
