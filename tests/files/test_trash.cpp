// Deleting into the trash and putting back: the info file as the desktop's trash layout writes
// it, the trash of another volume, clashing names, a read-only folder and a vanished file.
// After every case the census of all bytes is what it was: nothing is ever lost.
#include "files/trash.h"

#include "file_fixtures.h"

namespace velora {
namespace {

using namespace filetest;

std::tm LocalTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = year - 1900, t.tm_mon = month - 1, t.tm_mday = day;
  t.tm_hour = hour, t.tm_min = minute, t.tm_sec = second;
  return t;
}

TEST(TrashInfo, TheDesktopTrashExampleAndEncoding) {
  const struct {
    const char* path;
    const char* expected;
  } cases[] = {
      // The freedesktop.org trash layout's own example.
      {"foo/bar/meow.bow-wow", "[Trash Info]\nPath=foo/bar/meow.bow-wow\nDeletionDate=2004-08-31T22:32:08\n"},
      {"/home/user/photos/IMG 001.jpg",
       "[Trash Info]\nPath=/home/user/photos/IMG%20001.jpg\nDeletionDate=2004-08-31T22:32:08\n"},
      {"/p/été 100%#?.jpg", "[Trash Info]\nPath=/p/%C3%A9t%C3%A9%20100%25%23%3F.jpg\nDeletionDate=2004-08-31T22:32:08\n"},
      {"/p/a\nPath=/etc/passwd", "[Trash Info]\nPath=/p/a%0APath%3D/etc/passwd\nDeletionDate=2004-08-31T22:32:08\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(TrashInfoText(c.path, LocalTime(2004, 8, 31, 22, 32, 8)), c.expected) << c.path;
}

// The DeletionDate of an info file as local seconds since the epoch.
std::time_t DeletionDateOf(const std::string& info) {
  const size_t at = info.find("DeletionDate=");
  std::tm t{};
  if (at == std::string::npos ||
      std::sscanf(info.c_str() + at, "DeletionDate=%d-%d-%dT%d:%d:%d", &t.tm_year, &t.tm_mon, &t.tm_mday, &t.tm_hour,
                  &t.tm_min, &t.tm_sec) != 6)
    return 0;
  t.tm_year -= 1900, t.tm_mon -= 1, t.tm_isdst = -1;
  return std::mktime(&t);
}

TEST(Trash, HomeTrashThenRestoreKeepsEveryByte) {
  const struct {
    const char* name;
    const char* alreadyTrashed;  // a trashed file of the same name, or nullptr
    bool withoutInfo;            // ... left in files/ without its info file
    const char* trashName;
    const char* encodedPath;  // after the folder's path
  } cases[] = {
      {"photo.jpg", nullptr, false, "photo.jpg", "/photo.jpg"},
      {"IMG 001.jpg", nullptr, false, "IMG 001.jpg", "/IMG%20001.jpg"},
      {"été.png", nullptr, false, "été.png", "/%C3%A9t%C3%A9.png"},
      {"photo.jpg", "photo.jpg", false, "photo (2).jpg", "/photo.jpg"},
      {"photo.jpg", "photo.jpg", true, "photo (2).jpg", "/photo.jpg"},
      {".hidden", ".hidden", false, ".hidden (2)", "/.hidden"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TScratch scratch;
    TScopedDataHome home(scratch.Path() + "/data");
    const std::string folder = scratch.Folder("pics");
    const std::string path = scratch.File(std::string("pics/") + c.name, Content(c.name));
    scratch.File("pics/other.jpg", Content("other"));
    if (c.alreadyTrashed) {
      scratch.File(std::string("data/Trash/files/") + c.alreadyTrashed, Content("earlier"));
      if (!c.withoutInfo) scratch.File(std::string("data/Trash/info/") + c.alreadyTrashed + ".trashinfo", "[Trash Info]\n");
    }
    const TCensus before = Census({scratch.Path()});

    TTrashedFile trashed;
    const std::time_t start = std::time(nullptr);
    const TFileResult result = MoveToTrash(path, trashed);
    ASSERT_TRUE(result.Ok) << result.Reason;
    const std::string trash = scratch.Path() + "/data/Trash";
    EXPECT_EQ(result.Path, trash + "/files/" + c.trashName);
    EXPECT_EQ(trashed.InfoPath, trash + "/info/" + c.trashName + ".trashinfo");
    EXPECT_FALSE(fs::exists(fs::symlink_status(path)));
    EXPECT_EQ(ReadText(result.Path), Content(c.name));
    const std::string info = ReadText(trashed.InfoPath);
    EXPECT_EQ(info.substr(0, info.find("DeletionDate=")),
              "[Trash Info]\nPath=" + TrashPercentEncode(folder) + c.encodedPath + "\n");
    // One info file per trashed file: none left over from a name that was taken.
    const auto infos = std::distance(fs::directory_iterator(trash + "/info"), fs::directory_iterator());
    EXPECT_EQ(infos, c.alreadyTrashed && !c.withoutInfo ? 2 : 1);
    EXPECT_GE(DeletionDateOf(info), start);
    EXPECT_LE(DeletionDateOf(info), std::time(nullptr));
    if (!c.alreadyTrashed) {  // made by us: private
      EXPECT_EQ(fs::status(trash).permissions() & fs::perms::all, fs::perms::owner_all);
    }
    EXPECT_EQ(Census({scratch.Path()}), before);

    const TFileResult restored = RestoreFromTrash(trashed);
    ASSERT_TRUE(restored.Ok) << restored.Reason;
    EXPECT_EQ(ReadText(path), Content(c.name));
    EXPECT_FALSE(fs::exists(trashed.InfoPath));
    EXPECT_FALSE(fs::exists(trashed.TrashedPath));
    EXPECT_EQ(Census({scratch.Path()}), before);
  }
}

TEST(Trash, RestoreRefusesAFileThatCameInItsPlace) {
  TScratch scratch;
  TScopedDataHome home(scratch.Path() + "/data");
  const std::string path = scratch.File("pics/a.jpg", Content("old"));
  TTrashedFile trashed;
  ASSERT_TRUE(MoveToTrash(path, trashed).Ok);
  WriteText(path, Content("new"));
  const TCensus before = Census({scratch.Path()});
  const TFileResult result = RestoreFromTrash(trashed);
  EXPECT_FALSE(result.Ok);
  EXPECT_NE(result.Reason.find("is there now"), std::string::npos) << result.Reason;
  EXPECT_EQ(ReadText(path), Content("new"));
  EXPECT_TRUE(fs::exists(trashed.InfoPath)) << "still in the trash, with its info";
  EXPECT_EQ(Census({scratch.Path()}), before);
}

TEST(Trash, AFileGoneBeforeTheDeleteLeavesNoTrace) {
  TScratch scratch;
  TScopedDataHome home(scratch.Path() + "/data");
  const std::string path = scratch.File("pics/a.jpg", Content("a"));
  fs::remove(path);  // another program was quicker
  TTrashedFile trashed;
  const TFileResult result = MoveToTrash(path, trashed);
  EXPECT_FALSE(result.Ok);
  EXPECT_NE(result.Reason.find("gone"), std::string::npos) << result.Reason;
  EXPECT_TRUE(Census({scratch.Path()}).empty());
}

// A file on another file system goes to that volume's trash, never across devices.
TEST(Trash, AnotherFileSystemUsesItsOwnTrash) {
  const uid_t uid = ::getuid();
  const std::string own = ".Trash-" + std::to_string(uid);
  const std::string sharedOwn = ".Trash/" + std::to_string(uid);
  const struct {
    const char* label;
    int sharedTrash;  // 0: none; 1: a sticky folder; 2: a folder without the sticky bit; 3: a link
    std::string trash;
  } cases[] = {
      {"no .Trash", 0, own},
      {"sticky .Trash", 1, sharedOwn},
      {".Trash not sticky", 2, own},
      {".Trash a link", 3, own},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    TScratch scratch;
    TScopedDataHome home(scratch.Path() + "/data");
    TTmpfs volume(scratch.Path() + "/volume");
    VELORA_SKIP_WITHOUT_TMPFS(volume);
    const std::string top = scratch.Path() + "/volume";
    if (c.sharedTrash == 1 || c.sharedTrash == 2) {
      fs::create_directory(top + "/.Trash");
      ::chmod((top + "/.Trash").c_str(), c.sharedTrash == 1 ? 01777 : 0777);
    } else if (c.sharedTrash == 3) {
      fs::create_directory(scratch.Path() + "/elsewhere");
      ::chmod((scratch.Path() + "/elsewhere").c_str(), 01777);
      fs::create_directory_symlink(scratch.Path() + "/elsewhere", top + "/.Trash");
    }
    const std::string path = scratch.File("volume/sub dir/photo.jpg", Content("photo"));
    const TCensus before = Census({scratch.Path()});

    TTrashedFile trashed;
    const TFileResult result = MoveToTrash(path, trashed);
    ASSERT_TRUE(result.Ok) << result.Reason;
    EXPECT_EQ(result.Path, top + "/" + c.trash + "/files/photo.jpg");
    EXPECT_EQ(ReadText(result.Path), Content("photo"));
    const std::string info = ReadText(top + "/" + c.trash + "/info/photo.jpg.trashinfo");
    EXPECT_EQ(info.substr(0, info.find("DeletionDate=")), "[Trash Info]\nPath=sub%20dir/photo.jpg\n")
        << "relative to the volume's top";
    EXPECT_FALSE(fs::exists(scratch.Path() + "/data/Trash/files/photo.jpg"));
    EXPECT_EQ(fs::status(top + "/" + c.trash).permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_EQ(Census({scratch.Path()}), before);

    ASSERT_TRUE(RestoreFromTrash(trashed).Ok);
    EXPECT_EQ(ReadText(path), Content("photo"));
    EXPECT_EQ(Census({scratch.Path()}), before);
  }
}

TEST(Trash, AReadOnlyFolderKeepsTheFile) {
  TScratch scratch;
  TScopedDataHome home(scratch.Path() + "/data");
  TReadOnlyFolder folder(scratch.Path() + "/locked", {{"a.jpg", Content("a")}});
  VELORA_SKIP_WITHOUT_READ_ONLY(folder);
  const TCensus before = Census({scratch.Path()});
  TTrashedFile trashed;
  const TFileResult result = MoveToTrash(scratch.Path() + "/locked/a.jpg", trashed);
  EXPECT_FALSE(result.Ok);
  EXPECT_NE(result.Reason.find("read-only"), std::string::npos) << result.Reason;
  EXPECT_EQ(ReadText(scratch.Path() + "/locked/a.jpg"), Content("a"));
  EXPECT_EQ(Census({scratch.Path()}), before);
  // No info file left behind for a file that is not in the trash.
  std::error_code ec;
  EXPECT_TRUE(fs::is_empty(scratch.Path() + "/data/Trash/info", ec) || ec);
}

}  // namespace
}  // namespace velora
