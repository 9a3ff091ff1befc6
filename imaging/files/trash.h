// Deleting a file the way the desktop does: into the desktop's trash (the
// freedesktop.org trash layout), from where the file manager (or Ctrl+Z here) can put it back. A file goes to
// the trash of its own volume, so that nothing is ever copied across devices to be deleted:
// the home trash ($XDG_DATA_HOME/Trash) when the file shares its file system, else the
// volume's $topdir/.Trash/$uid (when .Trash is a real folder with the sticky bit) or
// $topdir/.Trash-$uid. The file is only ever renamed into the trash, never unlinked: if that
// cannot be done, it stays where it was and the answer says why.
#pragma once
#include <ctime>
#include <string>

#include "file_result.h"

namespace velora {

// A file in the trash, as MoveToTrash left it: what RestoreFromTrash needs to put it back.
struct TTrashedFile {
  std::string OriginalPath;  // absolute
  std::string TrashedPath;   // <trash>/files/NAME
  std::string InfoPath;      // <trash>/info/NAME.trashinfo
};

// The home trash: $XDG_DATA_HOME/Trash, else ~/.local/share/Trash.
std::string HomeTrash();

// The trash a file in `folder` (absolute, symbolic links resolved) goes to, and the folder its
// info's Path is relative to (empty for the home trash, whose Paths are absolute). False, with
// the reason, when the volume has no usable trash.
struct TTrashPlace {
  std::string Root;    // holds files/ and info/
  std::string TopDir;  // the volume's top folder, or empty
};
bool FindTrash(const std::string& folder, TTrashPlace& place, std::string& reason);

// A path as the info file's Path holds it: every byte outside A-Z a-z 0-9 - . _ ~ / as %XX.
std::string TrashPercentEncode(const std::string& path);
// The info file's whole text for `path` (not yet encoded) deleted at the local time `when`.
std::string TrashInfoText(const std::string& path, const std::tm& when);

// Moves the file (or symbolic link) to its volume's trash under a name no other trashed file
// has, its info file written first, as the desktop's trash layout orders.
TFileResult MoveToTrash(const std::string& path, TTrashedFile& trashed);
// Puts a trashed file back at its place and removes its info file; refused when a file of
// that name has come there since.
TFileResult RestoreFromTrash(const TTrashedFile& trashed);

}  // namespace velora
