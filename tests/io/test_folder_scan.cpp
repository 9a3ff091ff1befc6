// The viewer's command-line texts and its folder scan: masks, order, numbering, captions and
// what is left out.
#include <cstdio>

#include "io/folder_scan.h"
#include "viewer_texts.h"
#include "io_test_support.h"
#include "codecs/jpeg/oriented_photo.h"

namespace velora {
namespace {

TEST(ViewerCommandLine, UsageTextAndCaption) {
  EXPECT_STREQ(kViewerUsageText,
               "Incorrect number of parameters !\n\nUsage: TesselImageViewer <Folder> <FileMask>\n"
               "Example: TesselImageViewer ~/Pictures/Medical 'A1964*.*'");
  EXPECT_EQ(ViewerCaption("/home/me/pics", "*.jpg"), "Tessel Image Viewer [/home/me/pics/*.jpg]");
  EXPECT_EQ(ViewerCaption("pics/", "*"), "Tessel Image Viewer [pics//*]") << "the folder is taken unchanged";
  EXPECT_EQ(kScanBottomBackground, RGBColor(208, 239, 239));
}

// A folder that cannot be shown is said plainly (the viewer exits with status 2).
TEST(ViewerCommandLine, FolderProblems) {
  const std::string dir = ::testing::TempDir();
  EXPECT_EQ(FolderProblem(dir), "");
  EXPECT_EQ(FolderProblem(dir + "/no-such-folder"), "The folder " + dir + "/no-such-folder does not exist.");
  const std::string file = dir + "/velora_folder_problem.txt";
  FILE* f = std::fopen(file.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  EXPECT_EQ(FolderProblem(file), file + " is a file, not a folder.");
  std::remove(file.c_str());
}

TEST(ViewerCommandLine, HelpListsTheKeys) {
  const std::string help = ViewerHelpText();
  EXPECT_NE(help.find("Usage: TesselImageViewer <Folder> <FileMask>"), std::string::npos);
  EXPECT_NE(help.find("TesselImageViewer <File>"), std::string::npos);  // the forms a file manager uses
  for (int i = 0; i < kViewerKeyCount; ++i) EXPECT_NE(help.find(kViewerKeys[i].Keys), std::string::npos);
  EXPECT_NE(help.find("  F, F11"), std::string::npos);
}

TEST(FileMask, StarQuestionMarkAndCase) {
  const struct {
    const char* name;
    const char* mask;
    bool matches;
  } cases[] = {
      {"photo.jpg", "*.*", true},     {"README", "*.*", true},        {".hidden", "*.*", true},
      {"photo.JPG", "*.jpg", true},   {"photo.jpeg", "*.jpg", false}, {"a.jpg", "?.jpg", true},
      {"ab.jpg", "?.jpg", false},     {"A1964x.bmp", "a1964*.*", true}, {"A1964", "A1964*.*", true},
      {"B1964.bmp", "A1964*.*", false}, {"x.tar.gz", "*.gz", true},     {"abc", "a*c", true},
      {"abd", "a*c", false},          {"aXbXc", "a*b*c", true},       {"file", "*", true},
      {"file.txt", "file", false},
  };
  for (const auto& c : cases) EXPECT_EQ(MatchesFileMask(c.name, c.mask), c.matches) << c.name << " ~ " << c.mask;
}

// Records what the scan reports, progress included.
class TRecordingSink : public TScanList {
 public:
  void Begin(int count) override { announced = count; }
  void Progress(int done, int count) override {
    EXPECT_EQ(count, announced);
    EXPECT_EQ(done, lastDone + 1);
    lastDone = done;
  }
  int announced = -1;
  int lastDone = 0;
};

TEST(FolderScan, OrderNumberingCaptionsAndSkippedEntries) {
  iotest::TVltRegistration vlt;
  iotest::TTempDir dir;
  dir.Write("b.vlt", iotest::MakeVlt(4, 3));
  dir.Write("A.vlt", iotest::MakeVlt(640, 480));
  dir.Write("a0.txt", std::string("not an image"));         // matched by the mask, not readable
  dir.Write("ab.vlt", std::string("VLT"));                  // truncated
  dir.Mkdir("aa.vlt");                                      // a subfolder
  dir.Write("C.VLT", iotest::MakeVlt(1, 2));
  dir.Write("d.bmp", iotest::MakeVlt(2, 2));                // content and extension disagree

  TRecordingSink sink;
  ASSERT_TRUE(ScanFolder(dir.Path(), "*.*", sink));
  EXPECT_EQ(sink.announced, 7);
  EXPECT_EQ(sink.lastDone, 7);
  ASSERT_EQ(sink.Entries.size(), 3u);
  const char* names[] = {"A.vlt", "b.vlt", "C.VLT"};
  const char* infos[] = {"640x480x24b", "4x3x24b", "1x2x24b"};
  for (size_t i = 0; i < 3; ++i) {
    const TScanEntry& e = sink.Entries[i];
    EXPECT_EQ(e.TopText, std::to_string(i + 1));
    EXPECT_EQ(e.BottomText, names[i]);
    EXPECT_EQ(e.FileName, dir.Path() + "/" + names[i]);
    EXPECT_EQ(e.InfoText, infos[i]);
    EXPECT_EQ(e.BottomBackground, 15724496u);
  }
}

TEST(FolderScan, MaskNarrowsTheList) {
  iotest::TVltRegistration vlt;
  iotest::TTempDir dir;
  dir.Write("x1.vlt", iotest::MakeVlt(1, 1));
  dir.Write("x2.vlt", iotest::MakeVlt(1, 1));
  dir.Write("y1.vlt", iotest::MakeVlt(1, 1));
  TScanList list;
  ASSERT_TRUE(ScanFolder(dir.Path(), "X?.VLT", list));
  ASSERT_EQ(list.Entries.size(), 2u);
  EXPECT_EQ(list.Entries[1].BottomText, "x2.vlt");
}

TEST(FolderScan, UnreadableFileIsLeftOut) {
  iotest::TVltRegistration vlt;
  iotest::TTempDir dir;
  dir.Write("a.vlt", iotest::MakeVlt(1, 1));
  const std::string locked = dir.Write("b.vlt", iotest::MakeVlt(1, 1));
  ::chmod(locked.c_str(), 0);
  if (::access(locked.c_str(), R_OK) == 0) GTEST_SKIP() << "running as a user who reads every file";
  TScanList list;
  ASSERT_TRUE(ScanFolder(dir.Path(), "*.*", list));
  ASSERT_EQ(list.Entries.size(), 1u);
  EXPECT_EQ(list.Entries[0].BottomText, "a.vlt");
}

TEST(FolderScan, PipesAndDevicesAreLeftOutWithoutWaiting) {
  iotest::TTempDir dir;
  dir.Write("a.vlt", iotest::MakeVlt(1, 1));
  iotest::TVltRegistration vlt;
  // A reader of a FIFO would wait for a writer forever; the scan must just skip it.
  ASSERT_EQ(::mkfifo((dir.Path() + "/b.vlt").c_str(), 0644), 0);
  ASSERT_EQ(::symlink("/dev/zero", (dir.Path() + "/c.vlt").c_str()), 0);
  TScanList list;
  ASSERT_TRUE(ScanFolder(dir.Path(), "*.*", list));
  ASSERT_EQ(list.Entries.size(), 1u);
  EXPECT_EQ(list.Entries[0].BottomText, "a.vlt");
}

TEST(FolderScan, MissingFolderGivesNothing) {
  TScanList list;
  EXPECT_FALSE(ScanFolder("/no/such/folder/anywhere", "*.*", list));
  EXPECT_TRUE(list.Entries.empty());
}

TEST(FolderScan, BitmapsListedByTheirHeaders) {
  iotest::TTempDir dir;
  dir.Write("five.bmp", iotest::MakeBmp24(5, 3));
  dir.Write("notes.txt", std::string("text"));
  dir.Mkdir("sub");
  dir.Write("png.bmp", std::string("\x89PNG\r\n\x1a\n0000000000000000", 24));
  TScanList list;
  ASSERT_TRUE(ScanFolder(dir.Path(), "*.*", list));
  ASSERT_EQ(list.Entries.size(), 1u);
  EXPECT_EQ(list.Entries[0].TopText, "1");
  EXPECT_EQ(list.Entries[0].BottomText, "five.bmp");
  EXPECT_EQ(list.Entries[0].InfoText, "5x3x24b");
}

// The viewer's scan captions a photo taken on its side with the size it is shown at; a plain
// scan keeps the stored size. One record reads both files: the turn must not outlive its file.
TEST(FolderScan, UprightPhotosAreCaptionedUpright) {
  iotest::TTempDir dir;
  orienttest::WritePhoto(dir.Path() + "/a.jpg", 6, 48, 32);
  orienttest::WritePhoto(dir.Path() + "/b.jpg", 1, 48, 32);
  for (const bool upright : {false, true}) {
    TScanList list;
    ASSERT_TRUE(ScanFolder(dir.Path(), "*.jpg", list, upright));
    ASSERT_EQ(list.Entries.size(), 2u);
    EXPECT_EQ(list.Entries[0].InfoText, upright ? "32x48x24b" : "48x32x24b");
    EXPECT_EQ(list.Entries[1].InfoText, "48x32x24b");
  }
}

// One I/O component reads every header of the scan. A GIF whose header is sound but that holds
// no image reports no size of its own; it must not be listed with the size of the file before it.
TEST(FolderScan, FileWithoutImageIsNotListedWithTheSizeBeforeIt) {
  iotest::TTempDir dir;
  dir.Write("a.bmp", iotest::MakeBmp24(5, 3));
  const std::string noImage("GIF89a\x08\x00\x06\x00\x00\x00\x00\x3B", 14);  // screen 8 x 6, then the trailer
  dir.Write("b.gif", noImage);
  TScanList list;
  ASSERT_TRUE(ScanFolder(dir.Path(), "*.*", list));
  ASSERT_EQ(list.Entries.size(), 1u);
  EXPECT_EQ(list.Entries[0].BottomText, "a.bmp");
}

}  // namespace
}  // namespace velora
