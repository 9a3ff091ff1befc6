// Loading and saving through the front: dispatch by extension and identifier, open and create
// failures, target consistency after a failed read, conversion before writing, resolution
// equalising, the JPEG writers' IPTC marker.
#include <sys/resource.h>

#include <csignal>
#include <cstring>

#include "codecs/jpeg/jpeg_codec.h"
#include "io/io_private.h"
#include "io_test_support.h"

namespace velora {
namespace {

using iotest::Bytes;

TEST(IoLoad, UnknownExtensionAbortsAndClearsTheFileFields) {
  iotest::TTempDir dir;
  TBitmap target(3, 3, TPixelFormat::pf24bit);
  TVeloraIO io;
  io.AttachBitmap(&target);
  io.Params().FileName = "old";
  io.Params().FileType = ioBMP;
  io.LoadFromFile(dir.Write("a.xyz", std::string("data")));
  EXPECT_TRUE(io.Aborting);
  EXPECT_EQ(io.Params().FileType, 0);
  EXPECT_EQ(io.Params().FileName, "");
  EXPECT_EQ(target.Width(), 3);
}

TEST(IoLoad, MissingFileRaisesCannotOpen) {
  iotest::TTempDir dir;
  TBitmap target;
  TVeloraIO io;
  io.AttachBitmap(&target);
  const std::string name = dir.Path() + "/missing.bmp";
  try {
    io.LoadFromFile(name);
    FAIL() << "no exception";
  } catch (const EVLFileOpenError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file " + name);
  }
  EXPECT_THROW(io.LoadFromFileFormat(name, ioPNG), EVLFileOpenError);
  EXPECT_THROW(io.LoadFromFile(dir.Path() + "/folder.png"), EVLFileOpenError);
}

TEST(IoSave, UncreatableFileRaisesCannotCreate) {
  iotest::TTempDir dir;
  TBitmap target(2, 2, TPixelFormat::pf24bit);
  TVeloraIO io;
  io.AttachBitmap(&target);
  EXPECT_THROW(io.SaveToFile(dir.Path() + "/no/such/folder/x.bmp"), EVLFileCreateError);
  io.SaveToFile(dir.Path() + "/x.ico");  // there is no icon writer
  EXPECT_TRUE(io.Aborting);
  io.SaveToFile("");
  EXPECT_FALSE(io.Aborting);
}

// While alive, files may grow to `bytes` only: a write past it fails as on a full disk.
class TFileSizeLimit {
 public:
  explicit TFileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);  // the failed write answers EFBIG instead
    rlimit limit{bytes, saved_.rlim_max};
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~TFileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, oldHandler_);
  }

 private:
  rlimit saved_{};
  void (*oldHandler_)(int) = nullptr;
};

TEST(IoSave, AFullDiskFailsTheSave) {
  // The last buffered bytes reach the file only after the writer returns: a save whose file
  // could not be written whole must say so, not report success.
  iotest::TTempDir dir;
  TBitmap target(100, 100, TPixelFormat::pf24bit);
  uint32_t noise = 1;  // no compression brings it under the limit
  for (int y = 0; y < 100; ++y)
    for (int i = 0; i < 300; ++i) target.ScanLine(y)[i] = uint8_t((noise = noise * 1103515245 + 12345) >> 24);
  for (const char* name : {"x.bmp", "x.png", "x.tif", "x.pcx", "x.jpg"}) {
    TVeloraIO io;
    io.AttachBitmap(&target);
    {
      TFileSizeLimit full(1000);
      io.SaveToFile(dir.Path() + "/" + name);
    }
    EXPECT_TRUE(io.Aborting) << name;
    EXPECT_FALSE(io.AbortReason.empty()) << name;
    io.SaveToFile(dir.Path() + "/" + name);
    EXPECT_FALSE(io.Aborting) << name;
  }
}

TEST(IoLoad, WithoutTargetNothingHappens) {
  TVeloraIO io;
  io.Aborting = true;
  EXPECT_NO_THROW(io.LoadFromFile("/no/such/file.bmp"));
  EXPECT_FALSE(io.Aborting);
  EXPECT_NO_THROW(io.SaveToFile("/no/such/file.bmp"));
  EXPECT_FALSE(io.Aborting);
}

TEST(IoLoad, ExternalFormatRoundTripByExtensionAndByContent) {
  iotest::TVltRegistration vlt;
  iotest::TTempDir dir;
  TBitmap source(3, 2, TPixelFormat::pf24bit);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 9; ++x) source.ScanLine(y)[x] = uint8_t(1 + x + 20 * y);
  TVeloraIO writer;
  writer.AttachBitmap(&source);
  writer.Params().DpiX = writer.Params().DpiY = 72;
  const std::string path = dir.Path() + "/pic.VLT";
  writer.SaveToFile(path);
  ASSERT_FALSE(writer.Aborting);
  EXPECT_EQ(writer.Params().FileType, iotest::kVltType);

  TBitmap back;
  TVeloraIO reader;
  reader.AttachBitmap(&back);
  int changes = 0;
  back.AddChangeHandler([&] { ++changes; });
  reader.LoadFromFile(path);
  ASSERT_FALSE(reader.Aborting);
  EXPECT_EQ(reader.Params().FileName, path);
  EXPECT_EQ(reader.Params().FileType, iotest::kVltType);
  ASSERT_EQ(back.Width(), 3);
  ASSERT_EQ(back.Height(), 2);
  EXPECT_EQ(0, std::memcmp(back.ScanLine(1), source.ScanLine(1), 9));
  EXPECT_EQ(changes, 1) << "the target is marked modified once";

  TVLMemoryStream s;
  writer.SaveToStream(s, iotest::kVltType);
  s.SetPosition(0);
  TBitmap fromStream;
  reader.AttachBitmap(&fromStream);
  reader.LoadFromStream(s);
  EXPECT_FALSE(reader.Aborting);
  EXPECT_EQ(reader.Params().FileName, "");
  EXPECT_EQ(fromStream.Width(), 3);
}

TEST(IoLoad, UnknownIdentifierAborts) {
  TBitmap target;
  TVeloraIO io;
  io.AttachBitmap(&target);
  Bytes b(20, 0);
  TVLBufferStream s(b.data(), int64_t(b.size()));
  io.LoadFromStreamFormat(s, 555);
  EXPECT_TRUE(io.Aborting);
  io.LoadFromStreamFormat(s, ioWMF);  // metafiles come from files only
  EXPECT_TRUE(io.Aborting);
  TVLMemoryStream out;
  io.SaveToStream(out, ioICO);
  EXPECT_TRUE(io.Aborting);
}

TEST(IoLoad, FailedReadLeavesAShowableTarget) {
  TFileFormatInfo broken{902, "Broken", "BRK",
                         [](TVLStream&, TBitmap* b, TIOParamsVals&, bool, TVLProgressRecord& p) {
                           b->Reset(1, 1, TPixelFormat::pf8bit);
                           b->SetSize(0, 0);
                           p.Abort();
                         },
                         nullptr, nullptr};
  RegisterFileFormat(broken);
  iotest::TTempDir dir;
  TBitmap target(5, 5, TPixelFormat::pf24bit);
  TVeloraIO io;
  io.AttachBitmap(&target);
  io.LoadFromFile(dir.Write("x.brk", std::string("zz")));
  UnregisterFileFormat(902);
  EXPECT_TRUE(io.Aborting);
  EXPECT_FALSE(target.Empty());
  EXPECT_EQ(target.PixelFormat(), TPixelFormat::pf24bit);
}

TEST(IoSave, EightBitTargetBecomesTwentyFourBitsBeforeWriting) {
  iotest::TVltRegistration vlt;
  TBitmap target(2, 1, TPixelFormat::pf8bit);
  target.SetPaletteEntry(7, TRGB{10, 20, 30});
  target.ScanLine(0)[0] = 7;
  target.ScanLine(0)[1] = 0;
  TVeloraIO io;
  io.AttachBitmap(&target);
  TVLMemoryStream s;
  io.SaveToStream(s, iotest::kVltType);
  EXPECT_FALSE(io.Aborting);
  EXPECT_EQ(target.PixelFormat(), TPixelFormat::pf24bit) << "the caller's bitmap changes format";
  const uint8_t* p = target.ScanLine(0);
  EXPECT_EQ(p[0], 10);
  EXPECT_EQ(p[1], 20);
  EXPECT_EQ(p[2], 30);
}

// ---- resolution equalising -----------------------------------------------------------------

struct TDpiCase {
  int width, height, dpiX, dpiY;
  int expectWidth, expectHeight, expectDpi;
};

TEST(EqualizeDpi, StretchesTheShorterAxisDirection) {
  iotest::TVltRegistration vlt;
  const TDpiCase cases[] = {
      {300, 200, 100, 200, 300, 100, 100},
      {200, 300, 100, 200, 400, 300, 200},
      {10, 10, 72, 72, 10, 10, 72},
  };
  for (const auto& c : cases) {
    const Bytes bytes = iotest::MakeVlt(c.width, c.height, c.dpiX, c.dpiY);
    TVLBufferStream s(bytes.data(), int64_t(bytes.size()));
    TBitmap target;
    TVeloraIO io;
    io.AttachBitmap(&target);
    io.LoadFromStream(s);
    ASSERT_FALSE(io.Aborting);
    EXPECT_EQ(target.Width(), c.expectWidth);
    EXPECT_EQ(target.Height(), c.expectHeight);
    EXPECT_EQ(io.Params().Width, c.expectWidth);
    EXPECT_EQ(io.Params().Height, c.expectHeight);
    EXPECT_EQ(io.Params().DpiX, c.expectDpi);
    EXPECT_EQ(io.Params().DpiY, c.expectDpi);
  }
}

TEST(EqualizeDpi, OffWhenNotAskedAndRefusedWhenAbsurd) {
  iotest::TVltRegistration vlt;
  {
    const Bytes bytes = iotest::MakeVlt(30, 20, 100, 200);
    TVLBufferStream s(bytes.data(), int64_t(bytes.size()));
    TBitmap target;
    TVeloraIO io;
    io.AttachBitmap(&target);
    io.AutoAdjustDPI = false;
    io.LoadFromStream(s);
    EXPECT_EQ(target.Height(), 20);
    EXPECT_EQ(io.Params().DpiY, 200);
  }
  // 1 dpi against 65535 would ask for a picture of 300 × 13 million pixels; a ratio just past
  // 16 is no pixel shape either, while 16 itself is still obeyed.
  const TDpiCase cases[] = {
      {300, 200, 65535, 1, 300, 200, 65535},
      {20, 30, 100, 1700, 20, 30, 100},
      {20, 30, 1700, 100, 20, 30, 1700},
      {20, 30, 100, 1600, 320, 30, 1600},
  };
  for (const auto& c : cases) {
    const Bytes bytes = iotest::MakeVlt(c.width, c.height, c.dpiX, c.dpiY);
    TVLBufferStream s(bytes.data(), int64_t(bytes.size()));
    TBitmap target;
    TVeloraIO io;
    io.AttachBitmap(&target);
    io.LoadFromStream(s);
    EXPECT_EQ(target.Width(), c.expectWidth) << c.dpiX << " x " << c.dpiY;
    EXPECT_EQ(target.Height(), c.expectHeight) << c.dpiX << " x " << c.dpiY;
    EXPECT_EQ(io.Params().DpiX, c.expectDpi) << c.dpiX << " x " << c.dpiY;
  }
}

TEST(EqualizeDpi, AlphaMaskFollowsTheTarget) {
  TBitmap target(30, 20, TPixelFormat::pf24bit);
  TVLMask alpha;
  alpha.Allocate(30, 20, 8);
  alpha.Fill(255);
  TVeloraIO io;
  io.AttachBitmap(&target);
  io.SetAlphaMask(&alpha);
  io.Params().Width = 30;
  io.Params().Height = 20;
  io.Params().DpiX = 50;
  io.Params().DpiY = 100;
  io.EqualizeDpi();
  EXPECT_EQ(target.Height(), 10);
  EXPECT_EQ(alpha.Width(), 30);
  EXPECT_EQ(alpha.Height(), 10);
}

// ---- JPEG metadata handled by the front -----------------------------------------------------

TEST(JpegMetadata, ChangedIptcReplacesTheFirstApp13BeforeWriting) {
  TIOParamsVals p;
  p.JpegMarkers.Add(0xE1, "Exif", 4);
  p.JpegMarkers.Add(0xED, "old", 3);
  p.JpegMarkers.Add(0xED, "second", 6);
  p.IptcInfo.Add(2, 120, 5, "hello");
  ASSERT_TRUE(p.IptcInfo.Modified);
  PrepareJpegMarkers(p);
  ASSERT_EQ(p.JpegMarkers.Count(), 3);
  EXPECT_EQ(p.JpegMarkers.Code(1), 0xED);
  const std::vector<uint8_t> expected = p.IptcInfo.BuildIPTC();
  ASSERT_EQ(p.JpegMarkers.Size(1), int(expected.size()));
  EXPECT_TRUE(expected.empty() || std::memcmp(p.JpegMarkers.Data(1), expected.data(), expected.size()) == 0);
  EXPECT_EQ(p.JpegMarkers.Size(2), 6);

  TIOParamsVals q;
  PrepareJpegMarkers(q);  // a fresh record's IPTC counts as changed: one marker appended
  EXPECT_EQ(q.JpegMarkers.IndexOf(0xED), 0);
  q.IptcInfo.Modified = false;
  q.JpegMarkers.Clear();
  PrepareJpegMarkers(q);
  EXPECT_EQ(q.JpegMarkers.Count(), 0);
}

TEST(JpegMetadata, App13IsParsedAfterARead) {
  TIOParamsVals p;
  p.JpegMarkers.Add(0xED, "Photoshop 3.0", 14);
  ASSERT_TRUE(p.IptcInfo.Modified);
  ApplyJpegMetadata(p);
  EXPECT_FALSE(p.IptcInfo.Modified);
}

TEST(JpegMetadata, BmpSavedAsJpegGetsAnEmptyApp13) {
  iotest::TTempDir dir;
  TBitmap target;
  TVeloraIO io;
  io.AttachBitmap(&target);
  io.LoadFromFile(dir.Write("a.bmp", iotest::MakeBmp24(5, 3)));
  ASSERT_FALSE(io.Aborting);
  io.SaveToFile(dir.Path() + "/a.jpg");
  ASSERT_FALSE(io.Aborting);
  const int i = io.Params().JpegMarkers.IndexOf(0xED);
  ASSERT_GE(i, 0);
  EXPECT_EQ(0, std::memcmp(io.Params().JpegMarkers.Data(i), "Photoshop 3.0", 13));
}

TEST(IoLoad, BmpLoadResetsTheAlphaMask) {
  iotest::TTempDir dir;
  TBitmap target;
  TVLMask alpha;
  alpha.Allocate(2, 2, 8);
  TVeloraIO io;
  io.AttachBitmap(&target);
  io.SetAlphaMask(&alpha);
  io.LoadFromFile(dir.Write("a.bmp", iotest::MakeBmp24(5, 3)));
  ASSERT_FALSE(io.Aborting);
  EXPECT_EQ(alpha.Width(), 5);
  EXPECT_EQ(alpha.Height(), 3);
  EXPECT_EQ(alpha.GetPixel(4, 2), 255);
}

}  // namespace
}  // namespace velora
