// What a file operation answers: done, and where the file is now; or not done, and why, in
// words a user can act on ("cannot write into /media/card: the folder is read-only"). A
// failed operation has left every file as it was.
#pragma once
#include <string>

namespace velora {

struct TFileResult {
  bool Ok = false;
  std::string Path;    // where the file is now (its new name, its copy, its place in the trash)
  std::string Reason;  // why it failed; empty when Ok

  static TFileResult Done(std::string path) { return {true, std::move(path), {}}; }
  static TFileResult Failed(std::string reason) { return {false, {}, std::move(reason)}; }
};

namespace files_detail {

// "what: why", the why said plainly for the errors a user meets (a read-only folder, a full
// disk, a file that is gone), else strerror's text.
std::string Reason(const std::string& what, int error);

// The folder part and the name part of a path ("/a/b.jpg": "/a", "b.jpg"; "b.jpg": ".").
std::string FolderOf(const std::string& path);
std::string NameOf(const std::string& path);

// Renames without ever replacing what is at `to`: 0, or the errno (EEXIST when `to` exists).
// File systems without an atomic no-replace rename get a hard link and an unlink, or, where
// even links are missing (FAT), a check followed by the rename.
int RenameNoReplace(const std::string& from, const std::string& to);

// "name.ext" with a number put in front of the extension: "name (2).ext"; 1 gives the name.
std::string NumberedName(const std::string& name, int number);

// Makes the missing folders of `path`, each with `mode`; false when it is not a folder after.
bool MakeFolders(const std::string& path, unsigned mode);

}  // namespace files_detail
}  // namespace velora
