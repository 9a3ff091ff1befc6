// Renaming a file, and copying or moving it into another folder, without ever losing a byte
// or overwriting a file: a name that is taken is refused (rename) or numbered ("name (2).jpg",
// copy and move). Within one file system a move is a rename; across file systems the file is
// copied, flushed to the disk and checked by size before the original goes. A failure leaves
// the original where it was and removes what was half written.
#pragma once
#include <string>

#include "file_result.h"

namespace velora {

// Gives the file the name `newName` in its folder; refused when that name is taken, or is not
// a plain name (empty, "." or "..", or with a "/").
TFileResult RenameFile(const std::string& path, const std::string& newName);

// A copy of the file in `folder`, keeping its name (numbered when taken), its permissions and
// its modification time.
TFileResult CopyToFolder(const std::string& path, const std::string& folder);
// The file moved into `folder`, named as CopyToFolder names it.
TFileResult MoveToFolder(const std::string& path, const std::string& folder);

}  // namespace velora
