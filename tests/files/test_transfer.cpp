// Renaming, copying and moving: taken names refused or numbered, never overwritten; a move
// across file systems, a full disk, a read-only folder and a vanished file. After every case
// the census of all bytes shows nothing lost (and a copy adds just the copy).
#include "files/transfer.h"

#include "file_fixtures.h"

namespace velora {
namespace {

using namespace filetest;

TEST(RenameFile, TakenAndImproperNamesAreRefused) {
  const struct {
    const char* newName;
    bool ok;
    const char* reasonPart;
  } cases[] = {
      {"b.jpg", true, ""},
      {"taken.jpg", false, "exists"},
      {"", false, "not a file name"},
      {"..", false, "not a file name"},
      {"sub/b.jpg", false, "not a file name"},
      {"a.jpg", true, ""},  // its own name: nothing to do
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.newName);
    TScratch scratch;
    const std::string path = scratch.File("pics/a.jpg", Content("a"));
    scratch.File("pics/taken.jpg", Content("taken"));
    const TCensus before = Census({scratch.Path()});
    const TFileResult result = RenameFile(path, c.newName);
    EXPECT_EQ(result.Ok, c.ok) << result.Reason;
    EXPECT_NE(result.Reason.find(c.reasonPart), std::string::npos) << result.Reason;
    EXPECT_EQ(ReadText(c.ok ? scratch.Path() + "/pics/" + c.newName : path), Content("a"));
    EXPECT_EQ(ReadText(scratch.Path() + "/pics/taken.jpg"), Content("taken"));
    EXPECT_EQ(Census({scratch.Path()}), before);
  }
}

TEST(Transfer, TakenNamesAreNumberedNeverOverwritten) {
  const struct {
    bool move;
    std::vector<std::string> taken;  // in the target folder
    const char* name;
    const char* expected;
  } cases[] = {
      {true, {}, "a.jpg", "a.jpg"},
      {true, {"a.jpg"}, "a.jpg", "a (2).jpg"},
      {true, {"a.jpg", "a (2).jpg"}, "a.jpg", "a (3).jpg"},
      {true, {"README"}, "README", "README (2)"},
      {false, {}, "a.jpg", "a.jpg"},
      {false, {"a.jpg"}, "a.jpg", "a (2).jpg"},
      {false, {"x.tar.gz"}, "x.tar.gz", "x.tar (2).gz"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.move ? "move " : "copy ") + c.name + " -> " + c.expected);
    TScratch scratch;
    const std::string path = scratch.File(std::string("from/") + c.name, Content(c.name));
    const std::string target = scratch.Folder("to");
    for (const std::string& t : c.taken) scratch.File("to/" + t, Content("taken " + t));
    TCensus expected = Census({scratch.Path()});
    if (!c.move) ++expected[Content(c.name)];

    const TFileResult result = c.move ? MoveToFolder(path, target) : CopyToFolder(path, target);
    ASSERT_TRUE(result.Ok) << result.Reason;
    EXPECT_EQ(result.Path, target + "/" + c.expected);
    EXPECT_EQ(ReadText(result.Path), Content(c.name));
    EXPECT_EQ(fs::exists(path), !c.move);
    for (const std::string& t : c.taken) EXPECT_EQ(ReadText(target + "/" + t), Content("taken " + t));
    EXPECT_EQ(Census({scratch.Path()}), expected);
  }
}

TEST(Transfer, MovingIntoItsOwnFolderChangesNothing) {
  TScratch scratch;
  const std::string path = scratch.File("pics/a.jpg", Content("a"));
  const TFileResult result = MoveToFolder(path, scratch.Path() + "/pics/");
  ASSERT_TRUE(result.Ok) << result.Reason;
  EXPECT_EQ(result.Path, path);
  EXPECT_EQ(ReadText(path), Content("a"));
}

// Across file systems the file is copied, flushed and checked before the original goes; its
// modification time comes along (the date order must not change by a move).
TEST(Transfer, AcrossFileSystemsCopiesThenRemoves) {
  for (const bool move : {true, false}) {
    SCOPED_TRACE(move ? "move" : "copy");
    TScratch scratch;
    TTmpfs volume(scratch.Path() + "/volume");
    VELORA_SKIP_WITHOUT_TMPFS(volume);
    const std::string path = scratch.File("from/big.jpg", Content("big", 3 << 20));
    ::chmod(path.c_str(), 0640);
    const timespec times[2] = {{1000000000, 0}, {1234567890, 500}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
    scratch.File("volume/big.jpg", Content("there before"));
    TCensus expected = Census({scratch.Path()});
    if (!move) ++expected[Content("big", 3 << 20)];

    const TFileResult result = move ? MoveToFolder(path, scratch.Path() + "/volume") : CopyToFolder(path, scratch.Path() + "/volume");
    ASSERT_TRUE(result.Ok) << result.Reason;
    EXPECT_EQ(result.Path, scratch.Path() + "/volume/big (2).jpg");
    struct stat st {};
    ASSERT_EQ(::stat(result.Path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1234567890);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(fs::exists(path), !move);
    EXPECT_EQ(Census({scratch.Path()}), expected);
  }
}

TEST(Transfer, AFullDiskLeavesTheOriginalAndNoPart) {
  const struct {
    const char* label;
    bool rlimit;  // else a small tmpfs that fills
  } cases[] = {{"RLIMIT_FSIZE", true}, {"full tmpfs", false}};
  for (const auto& c : cases) {
    for (const bool move : {true, false}) {
      SCOPED_TRACE(std::string(c.label) + (move ? " move" : " copy"));
      TScratch scratch;
      std::optional<TTmpfs> small;
      std::string target = scratch.Folder("to");
      if (!c.rlimit) {
        small.emplace(scratch.Path() + "/small", "64k");
        VELORA_SKIP_WITHOUT_TMPFS(*small);
        target = scratch.Path() + "/small";
      } else if (move) {
        // A move within one file system is a rename that writes nothing: the limit bites
        // only on a copy across devices.
        small.emplace(scratch.Path() + "/other", "8m");
        VELORA_SKIP_WITHOUT_TMPFS(*small);
        target = scratch.Path() + "/other";
      }
      const std::string path = scratch.File("from/a.jpg", Content("a", 200000));
      const TCensus before = Census({scratch.Path()});
      TFileResult result;
      {
        std::optional<TFileSizeLimit> limit;
        if (c.rlimit) limit.emplace(50000);
        result = move ? MoveToFolder(path, target) : CopyToFolder(path, target);
      }
      EXPECT_FALSE(result.Ok);
      EXPECT_NE(result.Reason.find("no space"), std::string::npos) << result.Reason;
      EXPECT_EQ(ReadText(path), Content("a", 200000));
      EXPECT_FALSE(fs::exists(target + "/a.jpg")) << "the half copy is removed";
      EXPECT_EQ(Census({scratch.Path()}), before);
    }
  }
}

TEST(Transfer, AReadOnlyFolderKeepsEverything) {
  // Into a read-only folder, and out of one (the copy is made, but the original cannot be
  // removed: the copy is taken back).
  for (const bool outOf : {false, true}) {
    SCOPED_TRACE(outOf ? "out of" : "into");
    TScratch scratch;
    TReadOnlyFolder locked(scratch.Path() + "/locked", {{"in.jpg", Content("in")}});
    VELORA_SKIP_WITHOUT_READ_ONLY(locked);
    const std::string path = outOf ? scratch.Path() + "/locked/in.jpg" : scratch.File("from/a.jpg", Content("a"));
    const std::string target = outOf ? scratch.Folder("to") : scratch.Path() + "/locked";
    const TCensus before = Census({scratch.Path()});
    const TFileResult result = MoveToFolder(path, target);
    EXPECT_FALSE(result.Ok);
    EXPECT_NE(result.Reason.find("read-only"), std::string::npos) << result.Reason;
    EXPECT_TRUE(fs::exists(path));
    EXPECT_EQ(Census({scratch.Path()}), before);
    if (!outOf) {
      const TFileResult renamed = RenameFile(scratch.Path() + "/locked/in.jpg", "out.jpg");
      EXPECT_FALSE(renamed.Ok);
      EXPECT_NE(renamed.Reason.find("read-only"), std::string::npos) << renamed.Reason;
      EXPECT_EQ(Census({scratch.Path()}), before);
    }
  }
}

TEST(Transfer, AFileGoneSinceItWasSelectedIsReported) {
  TScratch scratch;
  const std::string path = scratch.File("pics/a.jpg", Content("a"));
  const std::string target = scratch.Folder("to");
  fs::remove(path);
  for (const TFileResult& result : {RenameFile(path, "b.jpg"), CopyToFolder(path, target), MoveToFolder(path, target)}) {
    EXPECT_FALSE(result.Ok);
    EXPECT_NE(result.Reason.find("gone"), std::string::npos) << result.Reason;
  }
  EXPECT_TRUE(Census({scratch.Path()}).empty());
}

}  // namespace
}  // namespace velora
