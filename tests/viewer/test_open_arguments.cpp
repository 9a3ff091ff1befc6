// The viewer's command line: the design's folder-and-mask form and the forms a file manager
// and a shell user pass (a file, a folder, several files), options anywhere.
#include "open_arguments.h"

#include "../files/file_fixtures.h"

namespace velora {
namespace {

using namespace filetest;
using TKind = TOpenRequest::TKind;

TEST(OpenArguments, EveryForm) {
  TScratch scratch;
  const std::string dir = scratch.Folder("pics");
  const std::string a = scratch.File("pics/a.jpg", "a"), b = scratch.File("pics/b.png", "b");
  const std::string c = scratch.File("other/c.gif", "c");
  const struct {
    std::vector<std::string> args;
    TKind kind;
    std::string folder, mask, selected;
    std::vector<std::string> files, skipped;
    bool cache = true;
  } cases[] = {
      {{}, TKind::okUsage},
      {{"--no-thumbnail-cache"}, TKind::okUsage, "", "", "", {}, {}, false},
      {{dir, "A1964*.*"}, TKind::okFolder, dir, "A1964*.*"},
      {{dir, "a.jpg"}, TKind::okFolder, dir, "a.jpg"},  // a mask, even when it names a file
      {{"/no/such/folder", "*.jpg"}, TKind::okFolder, "/no/such/folder", "*.jpg"},  // the window reports it
      {{dir}, TKind::okFolder, dir, "*.*"},
      {{"--no-thumbnail-cache", dir}, TKind::okFolder, dir, "*.*", "", {}, {}, false},
      {{a}, TKind::okFolder, dir, "*.*", "a.jpg"},
      {{"/no/such/file.jpg"}, TKind::okError},
      {{a, "*.*"}, TKind::okFolder, a, "*.*"},  // a file for a folder: said by the window
      {{a, c}, TKind::okFiles, "", "", "", {a, c}},
      {{c, a, b}, TKind::okFiles, "", "", "", {c, a, b}},  // in the order given
      {{a, "/gone.jpg", dir, b}, TKind::okFiles, "", "", "", {a, b}, {"/gone.jpg", dir}},
      {{"/gone.jpg", "/gone2.jpg", dir}, TKind::okError, "", "", "", {}, {"/gone.jpg", "/gone2.jpg", dir}},
  };
  for (const auto& t : cases) {
    std::string line;
    for (const auto& arg : t.args) line += arg + " ";
    SCOPED_TRACE(line);
    const TOpenRequest r = ParseOpenArguments(t.args);
    EXPECT_EQ(r.Kind, t.kind);
    EXPECT_EQ(r.Folder, t.folder);
    EXPECT_EQ(r.Mask, t.mask);
    EXPECT_EQ(r.Selected, t.selected);
    EXPECT_EQ(r.Files, t.files);
    EXPECT_EQ(r.Skipped, t.skipped);
    EXPECT_EQ(r.ThumbnailCache, t.cache);
    EXPECT_EQ(r.Error.empty(), t.kind != TKind::okError);
  }
  // A bare file name: its folder is the current one.
  const std::string here = fs::current_path().string();
  fs::current_path(dir);
  const TOpenRequest bare = ParseOpenArguments({"b.png"});
  fs::current_path(here);
  EXPECT_EQ(bare.Folder, ".");
  EXPECT_EQ(bare.Selected, "b.png");
}

TEST(OpenArguments, SeveralFilesAsEntriesOfAFolder) {
  TScratch scratch;
  const std::string a = scratch.File("pics/a.jpg", "a"), b = scratch.File("pics/b.png", "b");
  const std::string c = scratch.File("other/c.gif", "c");
  std::string folder;
  std::vector<std::string> names;
  FilesAsFolderEntries({b, a}, folder, names);
  EXPECT_EQ(folder, fs::canonical(scratch.Path() + "/pics").string());
  EXPECT_EQ(names, std::vector<std::string>({"b.png", "a.jpg"}));
  FilesAsFolderEntries({a, c}, folder, names);
  EXPECT_EQ(folder, "");
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(folder + "/" + names[1], fs::canonical(c).string()) << "joined back into the path";
}

}  // namespace
}  // namespace velora
