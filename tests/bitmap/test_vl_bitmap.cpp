#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bitmap/vl_bitmap.h"

using namespace velora;
namespace fs = std::filesystem;

namespace {

// Points TMPDIR somewhere for the life of the object.
class ScopedTmpDir {
 public:
  explicit ScopedTmpDir(const std::string& dir) {
    if (const char* old = std::getenv("TMPDIR")) old_ = old, hadOld_ = true;
    setenv("TMPDIR", dir.c_str(), 1);
  }
  ~ScopedTmpDir() {
    if (hadOld_)
      setenv("TMPDIR", old_.c_str(), 1);
    else
      unsetenv("TMPDIR");
  }

 private:
  std::string old_;
  bool hadOld_ = false;
};

// A fresh empty directory for temporary files, removed at the end.
class FreshDir {
 public:
  explicit FreshDir(const char* tag) {
    path_ = fs::path(testing::TempDir()) / (std::string("vlbmp_") + tag + "_" + std::to_string(getpid()));
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~FreshDir() {
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, ec);
    fs::remove_all(path_, ec);
  }
  std::string str() const { return path_.string(); }
  bool IsEmpty() const { return fs::is_empty(path_); }

 private:
  fs::path path_;
};

uint8_t Pattern(int row, int i) { return uint8_t(row * 31 + i * 7 + 1); }

void FillRow(uint8_t* p, int row, int len) {
  for (int i = 0; i < len; ++i) p[i] = Pattern(row, i);
}

bool RowHolds(const uint8_t* p, int row, int len) {
  for (int i = 0; i < len; ++i)
    if (p[i] != Pattern(row, i)) return false;
  return true;
}

std::vector<uint8_t> ReadFileAt(int fd, int64_t offset, size_t len) {
  std::vector<uint8_t> out(len);
  EXPECT_EQ(pread(fd, out.data(), len, off_t(offset)), ssize_t(len));
  return out;
}

}  // namespace

TEST(VLBitmapLayout, RowLengthFollowsTheRowSizeRuleInEveryStore) {
  struct Case {
    int w, h;
    TVLPixelFormat pf;
    int rowLen;
  } cases[] = {{3, 2, px1Bit, 4}, {5, 1, px24RGB, 16}, {1, 1, px16Grey, 4}, {33, 1, px1Bit, 8}, {4, 1, px8Grey, 4}};
  for (TVLStorageLocation loc : {slMemory, slFile, slDIB}) {
    for (const Case& c : cases) {
      TVLBitmap bmp;
      bmp.SetDefaultLocation(loc);
      bmp.Allocate(c.w, c.h, c.pf);
      EXPECT_EQ(bmp.RowLen(), c.rowLen) << int(loc) << " " << c.w << "x" << c.h << " pf " << int(c.pf);
      ASSERT_NE(bmp.Alpha(), nullptr);
      EXPECT_TRUE(bmp.Alpha()->IsAlpha());
      EXPECT_EQ(bmp.Alpha()->PixelFormat(), px8Grey);
      EXPECT_EQ(bmp.Alpha()->Location(), bmp.Location());
      EXPECT_EQ(bmp.Alpha()->Alpha(), nullptr);
    }
  }
}

TEST(VLBitmapLayout, EmptySizeStoresTheSizeButNothingElse) {
  TVLBitmap bmp;
  bmp.Allocate(0, 10, px24RGB);
  EXPECT_EQ(bmp.Width(), 0);
  EXPECT_EQ(bmp.Height(), 10);
  EXPECT_EQ(bmp.RowLen(), 0);
  EXPECT_EQ(bmp.Alpha(), nullptr);
  EXPECT_EQ(bmp.FileHandle(), -1);
}

TEST(VLBitmapLayout, HeapRowsAreBottomUp) {
  TVLBitmap bmp;
  bmp.SetDefaultLocation(slMemory);
  bmp.Allocate(5, 4, px24RGB);
  ASSERT_EQ(bmp.Location(), slMemory);
  uint8_t* bottom = bmp.GetScanline(3);
  EXPECT_EQ(bmp.GetScanline(0), bottom + 3 * 16);
  EXPECT_EQ(bmp.GetScanline(2), bottom + 16);
}

TEST(VLBitmapLayout, FileRowsAreTopDownFromOffsetZero) {
  FreshDir dir("topdown");
  ScopedTmpDir tmp(dir.str());
  TVLBitmap bmp;
  bmp.Allocate(5, 3, px24RGB);
  ASSERT_EQ(bmp.Location(), slFile);
  for (int y = 0; y < 3; ++y) FillRow(bmp.GetScanline(y), y, 16);
  for (int y = 0; y < 3; ++y) {
    auto bytes = ReadFileAt(bmp.FileHandle(), int64_t(y) * 16, 16);
    EXPECT_TRUE(RowHolds(bytes.data(), y, 16)) << "row " << y;
  }
}

TEST(VLBitmapLayout, ViewWindowIsAlignedTo65536) {
  for (int64_t k : {0, 1, 125, 70000}) {
    const TVLMapWindow w = VLMapWindow(65536 * k + 65000, 1000);
    EXPECT_EQ(w.ViewOffset, 65536 * k);
    EXPECT_EQ(w.ViewLength, 66000);
    EXPECT_EQ(w.Delta, 65000);
  }
  const TVLMapWindow exact = VLMapWindow(3 * 65536, 300);
  EXPECT_EQ(exact.ViewOffset, 3 * 65536);
  EXPECT_EQ(exact.ViewLength, 300);
  EXPECT_EQ(exact.Delta, 0);
}

TEST(VLBitmapLayout, FileRowStraddlingAViewBoundaryRoundTrips) {
  // RowLen 1000: row 8257 starts at 65536 × 125 + 65000 and crosses the next 65536 boundary.
  FreshDir dir("straddle");
  ScopedTmpDir tmp(dir.str());
  TVLBitmap bmp;
  bmp.Allocate(1000, 8300, px8Grey);
  ASSERT_EQ(bmp.Location(), slFile);
  for (int y : {8256, 8257, 8258}) FillRow(bmp.GetScanline(y), y, 1000);
  for (int y : {8256, 8257, 8258}) {
    EXPECT_TRUE(RowHolds(bmp.GetScanline(y), y, 1000)) << y;
    auto bytes = ReadFileAt(bmp.FileHandle(), int64_t(y) * 1000, 1000);
    EXPECT_TRUE(RowHolds(bytes.data(), y, 1000)) << y;
  }
}

TEST(VLBitmapFile, ImageLargerThan4GiBKeepsFarRowsAndLeavesNoFile) {
  FreshDir dir("big");
  ScopedTmpDir tmp(dir.str());
  {
    TVLBitmap bmp;
    bmp.Allocate(100000, 15000, px24RGB);  // 300000 × 15000 = 4.5 GB, sparse
    ASSERT_EQ(bmp.Location(), slFile);
    EXPECT_EQ(bmp.ImageSize(), int64_t(300000) * 15000);
    struct stat st {};
    ASSERT_EQ(fstat(bmp.FileHandle(), &st), 0);
    EXPECT_EQ(int64_t(st.st_size), int64_t(300000) * 15000);
    // Rows past 4 GiB (row 14317 starts beyond 2^32), the last row and the first.
    const int rows[] = {14317, 14999, 0, 14316};
    for (int y : rows) FillRow(bmp.GetScanline(y), y, 300000);
    for (int y : rows) EXPECT_TRUE(RowHolds(bmp.GetScanline(y), y, 300000)) << y;
    auto tail = ReadFileAt(bmp.FileHandle(), int64_t(14999) * 300000, 64);
    EXPECT_TRUE(RowHolds(tail.data(), 14999, 64));
    // Only the touched rows take disk space, and the name is gone already.
    ASSERT_EQ(fstat(bmp.FileHandle(), &st), 0);
    EXPECT_LT(int64_t(st.st_blocks) * 512, int64_t(64) << 20);
    EXPECT_FALSE(fs::exists(bmp.TempFileName()));
    EXPECT_TRUE(dir.IsEmpty());
    ASSERT_NE(bmp.Alpha(), nullptr);
    EXPECT_EQ(bmp.Alpha()->Location(), slFile);
  }
  EXPECT_TRUE(dir.IsEmpty());
}

TEST(VLBitmapFile, MissingOrUnwritableTempDirFallsBackToHeap) {
  FreshDir dir("fallback");
  const std::string file = dir.str() + "/plainfile";
  { std::FILE* f = std::fopen(file.c_str(), "w"); ASSERT_NE(f, nullptr); std::fclose(f); }
  const std::string readOnly = dir.str() + "/readonly";
  fs::create_directories(readOnly);
  fs::permissions(readOnly, fs::perms::owner_read | fs::perms::owner_exec);
  std::vector<std::string> dirs = {dir.str() + "/missing/deeper", file};
  if (geteuid() != 0) dirs.push_back(readOnly);  // root writes anywhere
  for (const std::string& d : dirs) {
    ScopedTmpDir tmp(d);
    TVLBitmap bmp;
    bmp.Allocate(7, 5, px24RGB);
    EXPECT_EQ(bmp.Location(), slMemory) << d;
    ASSERT_NE(bmp.Alpha(), nullptr);
    EXPECT_EQ(bmp.Alpha()->Location(), slMemory) << d;
    for (int y = 0; y < 5; ++y) FillRow(bmp.GetScanline(y), y, bmp.RowLen());
    for (int y = 0; y < 5; ++y) EXPECT_TRUE(RowHolds(bmp.GetScanline(y), y, bmp.RowLen()));
  }
}

TEST(VLBitmapFile, SizeBeyond32BitRowsThrowsBadAlloc) {
  TVLBitmap bmp;
  bmp.SetDefaultLocation(slMemory);
  EXPECT_THROW(bmp.Allocate(INT_MAX, 2, px24RGB), std::bad_alloc);
  EXPECT_EQ(bmp.Width(), 0);
  EXPECT_EQ(bmp.RowLen(), 0);
  EXPECT_EQ(bmp.Alpha(), nullptr);
  TVLWorkBitmap work;
  EXPECT_THROW(work.Allocate(INT_MAX, 2, 32), std::bad_alloc);
  EXPECT_EQ(work.Bits(), nullptr);
}

TEST(VLBitmapConvert, Grey16BecomesHighBytesOfAn8BitGreyBitmap) {
  for (TVLStorageLocation loc : {slMemory, slFile}) {
    TVLBitmap bmp;
    bmp.SetDefaultLocation(loc);
    bmp.Allocate(3, 2, px16Grey);
    const uint16_t v[2][3] = {{0x0000, 0x12FF, 0xFF01}, {0x8080, 0x7F00, 0xABCD}};
    for (int y = 0; y < 2; ++y) {
      uint8_t* p = bmp.GetScanline(y);
      for (int x = 0; x < 3; ++x) p[2 * x] = uint8_t(v[y][x]), p[2 * x + 1] = uint8_t(v[y][x] >> 8);
    }
    TBitmap out(1, 1, TPixelFormat::pf24bit);
    bmp.CopyToBitmap(out);
    ASSERT_EQ(out.PixelFormat(), TPixelFormat::pf8bit);
    ASSERT_EQ(out.Width(), 3);
    ASSERT_EQ(out.Height(), 2);
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 3; ++x) EXPECT_EQ(out.ScanLine(y)[x], v[y][x] >> 8) << x << "," << y;
    EXPECT_EQ(out.PaletteEntry(200), (TRGB{200, 200, 200}));
  }
}

TEST(VLBitmapConvert, HighColourAndTrueColourSourcesBecome24Bit) {
  struct Case {
    TPixelFormat pf;
    std::vector<uint8_t> pixel;  // source bytes of one pixel
    TRGB expected;
  } cases[] = {
      {TPixelFormat::pf15bit, {0xFF, 0x7F}, MakeRGB(248, 248, 248)},
      {TPixelFormat::pf15bit, {0x00, 0x7C}, MakeRGB(248, 0, 0)},
      {TPixelFormat::pf15bit, {0x34, 0x12}, MakeRGB(32, 136, 160)},  // r 4, g 17, b 20
      {TPixelFormat::pf15bit, {0x00, 0x80}, MakeRGB(0, 0, 0)},       // the spare top bit is no colour
      {TPixelFormat::pf16bit, {0x00, 0xF8}, MakeRGB(248, 0, 0)},
      {TPixelFormat::pf16bit, {0xE0, 0x07}, MakeRGB(0, 252, 0)},
      {TPixelFormat::pf16bit, {0x1F, 0x00}, MakeRGB(0, 0, 248)},
      {TPixelFormat::pf16bit, {0x34, 0x12}, MakeRGB(16, 68, 160)},  // r 2, g 17, b 20
      {TPixelFormat::pf32bit, {10, 20, 30, 40}, TRGB{10, 20, 30}},
      {TPixelFormat::pf24bit, {10, 20, 30}, TRGB{10, 20, 30}},
  };
  for (const Case& c : cases) {
    TBitmap src(3, 2, c.pf);
    const size_t bpp = c.pixel.size();
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 3; ++x) std::memcpy(src.ScanLine(y) + x * bpp, c.pixel.data(), bpp);
    TVLBitmap bmp;
    bmp.SetDefaultLocation(slMemory);
    bmp.CopyFromBitmap(src);
    ASSERT_EQ(bmp.PixelFormat(), px24RGB);
    ASSERT_EQ(bmp.Width(), 3);
    for (int y = 0; y < 2; ++y) {
      const uint8_t* row = bmp.GetScanline(y);
      for (int x = 0; x < 3; ++x) {
        TRGB got{row[3 * x], row[3 * x + 1], row[3 * x + 2]};
        EXPECT_EQ(got, c.expected) << "format " << int(c.pf) << " pixel " << x << "," << y;
      }
    }
  }
}

TEST(VLBitmapConvert, PaletteSourcesBecomeOneIndexPerByte) {
  // 4 bits: the high nibble is the left pixel.
  TBitmap four(3, 1, TPixelFormat::pf4bit);
  four.ScanLine(0)[0] = 0x3A;
  four.ScanLine(0)[1] = 0x70;
  four.SetPaletteEntry(10, MakeRGB(1, 2, 3));
  TVLBitmap bmp;
  bmp.CopyFromBitmap(four);
  ASSERT_EQ(bmp.PixelFormat(), px8Palette);
  EXPECT_EQ(bmp.PaletteCount(), 256);
  const uint8_t* row = bmp.GetScanline(0);
  EXPECT_EQ(row[0], 3);
  EXPECT_EQ(row[1], 10);
  EXPECT_EQ(row[2], 7);
  EXPECT_EQ(bmp.Palette()[10], MakeRGB(1, 2, 3));

  // 1 bit with a colour palette: indexes 0 and 1, most significant bit first.
  TBitmap one(10, 1, TPixelFormat::pf1bit);
  one.SetPaletteEntry(1, MakeRGB(255, 0, 0));
  one.ScanLine(0)[0] = 0xA0;
  one.ScanLine(0)[1] = 0x40;
  bmp.CopyFromBitmap(one);
  ASSERT_EQ(bmp.PixelFormat(), px8Palette);
  row = bmp.GetScanline(0);
  const uint8_t expected[10] = {1, 0, 1, 0, 0, 0, 0, 0, 0, 1};
  for (int x = 0; x < 10; ++x) EXPECT_EQ(row[x], expected[x]) << x;
  EXPECT_EQ(bmp.Palette()[1], MakeRGB(255, 0, 0));

  // Monochrome stays 1 bit and round-trips.
  TBitmap mono(10, 2, TPixelFormat::pf1bit);
  mono.ScanLine(1)[0] = 0x81;
  bmp.CopyFromBitmap(mono);
  ASSERT_EQ(bmp.PixelFormat(), px1Bit);
  TBitmap back;
  bmp.CopyToBitmap(back);
  EXPECT_EQ(back.PixelFormat(), TPixelFormat::pf1bit);
  EXPECT_TRUE(back.Monochrome());
  EXPECT_EQ(back.ScanLine(1)[0], 0x81);

  // Device-dependent bitmaps are not taken.
  TBitmap device(2, 2, TPixelFormat::pfDevice);
  bmp.CopyFromBitmap(device);
  EXPECT_EQ(bmp.PixelFormat(), px1Bit);
  EXPECT_EQ(bmp.Width(), 10);
}

TEST(VLBitmapStorage, SetLocationKeepsPixelsPaletteAndAlpha) {
  FreshDir dir("setloc");
  ScopedTmpDir tmp(dir.str());
  for (TVLPixelFormat pf : {px24RGB, px8Palette, px1Bit}) {
    TVLBitmap bmp;
    bmp.Allocate(37, 9, pf);
    ASSERT_EQ(bmp.Location(), slFile);
    const int len = bmp.RowLen();
    for (int y = 0; y < 9; ++y) FillRow(bmp.GetScanline(y), y, len);
    for (int y = 0; y < 9; ++y) FillRow(bmp.Alpha()->GetScanline(y), y + 100, bmp.Alpha()->RowLen());
    if (pf == px8Palette) bmp.Palette()[200] = MakeRGB(9, 8, 7);
    for (TVLStorageLocation loc : {slMemory, slDIB, slFile, slDIB, slMemory}) {
      bmp.SetLocation(loc);
      ASSERT_EQ(bmp.Location(), loc);
      ASSERT_EQ(bmp.PixelFormat(), pf);
      ASSERT_EQ(bmp.Width(), 37);
      for (int y = 0; y < 9; ++y) EXPECT_TRUE(RowHolds(bmp.GetScanline(y), y, len)) << int(loc) << " row " << y;
      for (int y = 0; y < 9; ++y)
        EXPECT_TRUE(RowHolds(bmp.Alpha()->GetScanline(y), y + 100, bmp.Alpha()->RowLen())) << int(loc);
      if (pf == px8Palette) {
        EXPECT_EQ(bmp.Palette()[200], MakeRGB(9, 8, 7));
        if (loc == slDIB) {
          EXPECT_EQ(bmp.DIB()->PaletteEntry(200), MakeRGB(9, 8, 7));
        }
      }
    }
  }
  EXPECT_TRUE(dir.IsEmpty());
}

TEST(VLBitmapStorage, Grey16MovedIntoAToolkitBitmapKeepsItsHighBytes) {
  TVLBitmap bmp;
  bmp.SetDefaultLocation(slMemory);
  bmp.Allocate(2, 1, px16Grey);
  uint8_t* p = bmp.GetScanline(0);
  p[0] = 0x11, p[1] = 0xAA, p[2] = 0x22, p[3] = 0xBB;
  bmp.SetLocation(slDIB);
  ASSERT_EQ(bmp.PixelFormat(), px8Grey);
  EXPECT_EQ(bmp.GetScanline(0)[0], 0xAA);
  EXPECT_EQ(bmp.GetScanline(0)[1], 0xBB);
}

TEST(VLBitmapStorage, MoveToHandsOverStoreAndLocation) {
  FreshDir dir("move");
  ScopedTmpDir tmp(dir.str());
  TVLBitmap src, dest;
  src.Allocate(4, 3, px24RGB);
  ASSERT_EQ(src.Location(), slFile);
  for (int y = 0; y < 3; ++y) FillRow(src.GetScanline(y), y, 12);
  dest.SetDefaultLocation(slMemory);
  dest.Allocate(2, 2, px8Grey);
  src.MoveTo(dest);
  EXPECT_EQ(dest.Location(), slFile);
  EXPECT_EQ(dest.Width(), 4);
  EXPECT_NE(dest.Alpha(), nullptr);
  for (int y = 0; y < 3; ++y) EXPECT_TRUE(RowHolds(dest.GetScanline(y), y, 12));
  EXPECT_EQ(src.Width(), 0);
  EXPECT_EQ(src.PixelFormat(), pxNone);
  EXPECT_EQ(src.FileHandle(), -1);
  EXPECT_EQ(src.Alpha(), nullptr);
  EXPECT_EQ(src.Location(), slFile);
}

TEST(VLBitmapStorage, TrueColourRoundTripsThroughTheToolkitBitmapInEveryStore) {
  TBitmap src(13, 7, TPixelFormat::pf24bit);
  for (int y = 0; y < 7; ++y) FillRow(src.ScanLine(y), y, src.RowLen());
  for (TVLStorageLocation loc : {slMemory, slFile, slDIB}) {
    TVLBitmap bmp;
    bmp.SetDefaultLocation(loc);
    bmp.CopyFromBitmap(src);
    TBitmap out;
    bmp.CopyToBitmap(out);
    ASSERT_EQ(out.PixelFormat(), TPixelFormat::pf24bit);
    ASSERT_EQ(out.Width(), 13);
    for (int y = 0; y < 7; ++y) EXPECT_EQ(std::memcmp(out.ScanLine(y), src.ScanLine(y), 39), 0) << int(loc) << " " << y;
  }
}

TEST(VLWorkBitmap, RowsAreBottomUpAndReallocationOnlyOnChange) {
  TVLWorkBitmap work(5, 3, 24);
  EXPECT_EQ(work.RowLen(), 16);
  EXPECT_EQ(work.GetScanline(2), work.Bits());
  EXPECT_EQ(work.GetScanline(0), work.Bits() + 32);
  work.Allocate(5, 3, 24);
  EXPECT_EQ(work.RowLen(), 16);
  work.Allocate(6, 3, 8);
  EXPECT_EQ(work.RowLen(), 8);
  work.Free();
  EXPECT_EQ(work.Bits(), nullptr);
  EXPECT_EQ(work.Width(), 0);
  TVLWorkBitmap none(0, 4, 24);
  EXPECT_EQ(none.Bits(), nullptr);
}
