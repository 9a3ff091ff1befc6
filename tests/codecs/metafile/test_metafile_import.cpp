// ImportMetafile's size rules and failures, and metafiles in the header-only road of the
// folder scan.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

#include "codecs/metafile/metafile_builder.h"
#include "codecs/metafile/metafile_codec.h"
#include "io/folder_scan.h"
#include "io/io_test_support.h"
#include "io/velora_io.h"
#include "test_bytes.h"

namespace velora {
namespace {

using namespace mftest;

// An EMF of w × h pixels at the screen's 96 dpi, with one rectangle.
Bytes ScreenEmf(int w, int h) {
  TEmfBuilder emf(w, h, kScreenPixels, kScreenMillimetres);
  emf.Brush(Rgb(10, 20, 30)).Rect(0, 0, w / 2, h / 2);
  return emf.Finish();
}

struct TSizeCase {
  int width, height;
  int targetWidth, targetHeight;
};

TEST(ImportMetafile, SizeRules) {
  iotest::TTempDir dir;
  const std::string name = dir.Write("wide.emf", ScreenEmf(4000, 1000));
  const TSizeCase cases[] = {
      {-1, -1, 2799, 699},    // the own size, capped at 2800, one pixel less
      {400, -1, 399, 99},     // the height from the width
      {-1, 100, 399, 99},     // the width from the height
      {300, 200, 299, 199},   // both given
      {9000, 10, 2799, 2},    // both given, capped: 10 × 2800 div 9000 = 3
      {1, 1, 1, 1},           // a picture of one pixel keeps one
  };
  for (const TSizeCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
    TBitmap target;
    TVeloraIO io;
    io.AttachBitmap(&target);
    io.ImportMetafile(name, c.width, c.height);
    ASSERT_FALSE(io.Aborting) << io.AbortReason;
    EXPECT_EQ(target.Width(), c.targetWidth);
    EXPECT_EQ(target.Height(), c.targetHeight);
    EXPECT_EQ(target.PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_EQ(io.Params().FileType, ioEMF);
    EXPECT_EQ(io.Params().Width, c.targetWidth);
    EXPECT_EQ(io.Params().Height, c.targetHeight);
    EXPECT_EQ(io.Params().DpiX, DefaultDpiX());
    EXPECT_EQ(io.Params().FileName, name);
  }
}

TEST(ImportMetafile, ZeroSideDoesNothing) {
  iotest::TTempDir dir;
  const std::string name = dir.Write("a.emf", ScreenEmf(40, 30));
  TBitmap target;
  target.Reset(7, 5, TPixelFormat::pf24bit);
  TVeloraIO io;
  io.AttachBitmap(&target);
  io.Params().FileType = ioBMP;
  for (auto [w, h] : {std::pair{0, -1}, std::pair{-1, 0}, std::pair{0, 0}}) {
    io.ImportMetafile(name, w, h);
    EXPECT_FALSE(io.Aborting);
    EXPECT_EQ(target.Width(), 7);
    EXPECT_EQ(io.Params().FileType, ioBMP);
  }
}

TEST(ImportMetafile, FailuresSayWhy) {
  iotest::TTempDir dir;
  TWmfBuilder wmf(1440, 1440, 1440);
  wmf.Rect(0, 0, 100, 100);
  Bytes placeable = wmf.Finish();
  // Without its placeable header (the first 22 bytes) a WMF has no size.
  const Bytes bare(placeable.begin() + 22, placeable.end());
  Bytes shortEmf = ScreenEmf(40, 30);
  shortEmf.resize(60);
  Bytes emptyFrame = ScreenEmf(40, 30);
  std::fill(emptyFrame.begin() + 8, emptyFrame.begin() + 40, 0);   // bounds and frame
  std::fill(emptyFrame.begin() + 16, emptyFrame.begin() + 24, 0xFF);  // bounds (0, 0, -1, -1): empty
  Bytes cutRecord = ScreenEmf(40, 30);
  cutRecord.resize(cutRecord.size() - 30);
  // Nesting and clipping beyond the bounds that keep playing cheap.
  TEmfBuilder deep(40, 30);
  for (int i = 0; i < 1025; ++i) deep.Add(U_EMRSAVEDC_set());
  // Clipping by paths stacks up in cairo (rectangles merge into one area and cost nothing).
  TEmfBuilder clipped(40, 30);
  for (int i = 0; i < 65; ++i) {
    clipped.Add(U_EMRBEGINPATH_set()).Add(U_EMRELLIPSE_set(U_RECTL{0, 0, 40 - i / 2, 30})).Add(U_EMRENDPATH_set());
    clipped.Add(U_EMRSELECTCLIPPATH_set(U_RGN_AND));
  }
  const struct {
    const char* name;
    Bytes bytes;
    const char* reason;
  } cases[] = {
      {"bare.wmf", bare, "WMF: no placeable header, the picture has no size"},
      {"short.emf", shortEmf, "EMF: file too short for its header"},
      {"empty.emf", emptyFrame, "EMF: empty picture frame"},
      {"cut.emf", cutRecord, "EMF: record"},
      {"deep.emf", deep.Finish(), "EMF: SaveDC nested deeper than 1024"},
      {"clipped.emf", clipped.Finish(), "EMF: more than 64 clipping paths"},
      {"text.wmf", Bytes{'h', 'e', 'l', 'l', 'o'}, "WMF: no placeable header"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string name = dir.Write(c.name, c.bytes);
    TBitmap target;
    TVeloraIO io;
    io.AttachBitmap(&target);
    io.LoadFromFile(name);
    EXPECT_TRUE(io.Aborting);
    EXPECT_EQ(io.AbortReason.rfind(c.reason, 0), 0u) << io.AbortReason;
    // The header-only read refuses what the import refuses, except what lies in the records
    // behind a sound header.
    io.ReadParamsFromFile(name);
    const bool soundHeader = c.name == std::string("cut.emf") || c.name == std::string("deep.emf") ||
                             c.name == std::string("clipped.emf");
    EXPECT_EQ(io.Params().FileType, soundHeader ? ioEMF : ioUnknown);
  }
}

TEST(ImportMetafile, ListedByTheFolderScanWithTheImportSize) {
  iotest::TTempDir dir;
  dir.Write("chart.emf", ScreenEmf(4000, 1000));
  TWmfBuilder wmf(1440, 720, 1440);  // 96 × 48 pixels
  wmf.Rect(0, 0, 100, 100);
  dir.Write("clip.WMF", wmf.Finish());
  dir.Write("notes.emf", std::string("not a metafile"));
  TScanList sink;
  ASSERT_TRUE(ScanFolder(dir.Path(), "*.*", sink));
  ASSERT_EQ(sink.Entries.size(), 2u);
  EXPECT_EQ(sink.Entries[0].BottomText, "chart.emf");
  EXPECT_EQ(sink.Entries[0].InfoText, "2799x699x24b");
  EXPECT_EQ(sink.Entries[0].FileType, ioEMF);
  EXPECT_EQ(sink.Entries[1].BottomText, "clip.WMF");
  EXPECT_EQ(sink.Entries[1].InfoText, "95x47x24b");
  EXPECT_EQ(sink.Entries[1].FileType, ioWMF);
}

TEST(MetafileDraw, BitmapRecordEndingTheFileReadsNothingPastIt) {
  // A StretchDIB record that ends the file 16 bytes into its DIB's header, put right before a
  // page that may not be read: a read past the file's end stops the test.
  const std::string path = std::string(VELORA_SOURCE_DIR) + "/tests/corpus/wmf/stretchdib-header-past-the-record.wmf";
  const Bytes bytes = testbytes::ReadFileBytes(path);
  ASSERT_FALSE(bytes.empty()) << path;
  const size_t page = size_t(sysconf(_SC_PAGESIZE));
  ASSERT_LE(bytes.size(), page);
  void* pages = mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(pages, MAP_FAILED);
  uint8_t* end = static_cast<uint8_t*>(pages) + page;
  ASSERT_EQ(mprotect(end, page, PROT_NONE), 0);
  std::memcpy(end - bytes.size(), bytes.data(), bytes.size());
  TBitmap target;
  target.Reset(99, 99, TPixelFormat::pf24bit);
  TVLLocalProgress progress;
  MetafileDraw({end - bytes.size(), bytes.size()}, target, 100, 100, progress.record);
  munmap(pages, 2 * page);
}

}  // namespace
}  // namespace velora
