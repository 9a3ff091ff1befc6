#include "file_result.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace velora::files_detail {

std::string Reason(const std::string& what, int error) {
  const char* why = nullptr;
  switch (error) {
    case EROFS: why = "the file system is read-only"; break;
    case EACCES:
    case EPERM: why = "permission denied (the folder is read-only for you)"; break;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: why = "no space left on the device"; break;
    case ENOENT: why = "the file is gone (removed or renamed by another program)"; break;
    case EEXIST: why = "a file of that name exists"; break;
    case ENOTDIR: why = "not a folder"; break;
    default: why = std::strerror(error); break;
  }
  return what + ": " + why;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

int RenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // The file system cannot rename without replacing: a new link fails when the name is taken.
  if (::link(from.c_str(), to.c_str()) == 0) {
    if (::unlink(from.c_str()) == 0) return 0;
    const int error = errno;
    ::unlink(to.c_str());
    return error;
  }
  if (errno != EPERM && errno != ENOSYS && errno != EOPNOTSUPP) return errno;
  struct stat st {};
  if (::lstat(to.c_str(), &st) == 0) return EEXIST;
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

std::string NumberedName(const std::string& name, int number) {
  if (number <= 1) return name;
  // A leading dot starts a hidden name, not an extension.
  const size_t dot = name.find_last_of('.');
  const bool hasExtension = dot != std::string::npos && dot > 0;
  const std::string stem = hasExtension ? name.substr(0, dot) : name;
  const std::string extension = hasExtension ? name.substr(dot) : std::string();
  return stem + " (" + std::to_string(number) + ")" + extension;
}

bool MakeFolders(const std::string& path, unsigned mode) {
  for (size_t end = 1; end <= path.size(); ++end) {
    if (end < path.size() && path[end] != '/') continue;
    const std::string prefix = path.substr(0, end);
    if (::mkdir(prefix.c_str(), mode) == 0)
      ::chmod(prefix.c_str(), mode);  // in spite of the umask
    else if (errno != EEXIST)
      return false;
  }
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace velora::files_detail
