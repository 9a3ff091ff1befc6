#include "trash.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace velora {

using namespace files_detail;

namespace {

// The absolute path of a file, its folder's links resolved (the file itself may be a link,
// which is what gets trashed).
bool AbsolutePath(const std::string& path, std::string& absolute, std::string& folder) {
  char resolved[PATH_MAX];
  if (!::realpath(FolderOf(path).c_str(), resolved)) return false;
  folder = resolved;
  absolute = (folder == "/" ? "" : folder) + "/" + NameOf(path);
  return true;
}

// The device a path lives on, or of its nearest ancestor that exists (the home trash may not
// have been made yet).
bool DeviceOf(std::string path, dev_t& device) {
  struct stat st {};
  while (::stat(path.c_str(), &st) != 0) {
    if (path == "/" || path.empty()) return false;
    path = FolderOf(path);
  }
  device = st.st_dev;
  return true;
}

// The top folder of the file system that holds `folder`: the last ancestor on the same device.
std::string TopDirOf(std::string folder, dev_t device) {
  struct stat st {};
  while (folder != "/") {
    const std::string parent = FolderOf(folder);
    if (::stat(parent.c_str(), &st) != 0 || st.st_dev != device) break;
    folder = parent;
  }
  return folder;
}

// A folder we may keep trashed files in: a real folder (a link there could lead anywhere)
// owned by us; made 0700 when missing.
bool OwnTrashFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0700) == 0)
    ::chmod(path.c_str(), 0700);
  else if (errno != EEXIST)
    return false;  // errno says why
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid();
}

bool TrashFolders(const std::string& root) {
  return OwnTrashFolder(root) && MakeFolders(root + "/files", 0700) && MakeFolders(root + "/info", 0700);
}

// Writes the info file, which must not exist yet: 0, or the errno.
int WriteInfo(const std::string& infoPath, const std::string& text) {
  const int fd = ::open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return errno;
  int error = 0;
  for (size_t done = 0; done < text.size() && !error;) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno != EINTR) error = errno;
    if (n > 0) done += size_t(n);
  }
  if (!error && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && !error) error = errno;
  if (error) ::unlink(infoPath.c_str());
  return error;
}

}  // namespace

std::string HomeTrash() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data && data[0] == '/') return std::string(data) + "/Trash";
  const char* home = std::getenv("HOME");
  return std::string(home ? home : "") + "/.local/share/Trash";
}

bool FindTrash(const std::string& folder, TTrashPlace& place, std::string& reason) {
  dev_t fileDevice{}, homeDevice{};
  if (!DeviceOf(folder, fileDevice)) {
    reason = Reason("cannot find the folder " + folder, errno);
    return false;
  }
  const std::string home = HomeTrash();
  if (DeviceOf(home, homeDevice) && homeDevice == fileDevice) {
    place = {home, {}};
    // The home trash is made with its parents ($XDG_DATA_HOME may not exist yet).
    if (MakeFolders(FolderOf(home), 0700) && TrashFolders(home)) return true;
    reason = Reason("cannot use the trash " + home, errno);
    return false;
  }
  const std::string top = TopDirOf(folder, fileDevice);
  const std::string base = top == "/" ? "" : top;
  const std::string uid = std::to_string(::getuid());
  // An administrator's shared .Trash counts only as a real, sticky folder: otherwise another
  // user could have planted it to read what we delete.
  struct stat st {};
  const std::string shared = base + "/.Trash";
  if (::lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) &&
      TrashFolders(shared + "/" + uid)) {
    place = {shared + "/" + uid, top};
    return true;
  }
  const std::string own = base + "/.Trash-" + uid;
  if (TrashFolders(own)) {
    place = {own, top};
    return true;
  }
  reason = Reason("no trash on the volume " + top + " (cannot make " + own + ")", errno);
  return false;
}

std::string TrashPercentEncode(const std::string& path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char byte : path) {
    const auto c = static_cast<unsigned char>(byte);
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
        c == '_' || c == '~' || c == '/') {
      out += char(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string TrashInfoText(const std::string& path, const std::tm& when) {
  char date[32];
  std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &when);
  return "[Trash Info]\nPath=" + TrashPercentEncode(path) + "\nDeletionDate=" + date + "\n";
}

TFileResult MoveToTrash(const std::string& path, TTrashedFile& trashed) {
  std::string absolute, folder;
  struct stat st {};
  if (!AbsolutePath(path, absolute, folder) || ::lstat(absolute.c_str(), &st) != 0)
    return TFileResult::Failed(Reason("cannot delete " + path, errno));
  TTrashPlace place;
  std::string reason;
  if (!FindTrash(folder, place, reason)) return TFileResult::Failed("cannot delete " + path + ": " + reason);
  const std::string infoPathText =
      place.TopDir.empty() ? absolute : absolute.substr(place.TopDir == "/" ? 1 : place.TopDir.size() + 1);
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  const std::string info = TrashInfoText(infoPathText, local);
  const std::string name = NameOf(absolute);
  for (int number = 1; number < 100000; ++number) {
    const std::string trashName = NumberedName(name, number);
    const std::string infoPath = place.Root + "/info/" + trashName + ".trashinfo";
    const std::string trashedPath = place.Root + "/files/" + trashName;
    int error = WriteInfo(infoPath, info);
    if (error == EEXIST) continue;
    if (error) return TFileResult::Failed(Reason("cannot delete " + path + ": cannot write into the trash", error));
    error = RenameNoReplace(absolute, trashedPath);
    if (error == 0) {
      trashed = {absolute, trashedPath, infoPath};
      return TFileResult::Done(trashedPath);
    }
    ::unlink(infoPath.c_str());
    if (error != EEXIST) return TFileResult::Failed(Reason("cannot delete " + path, error));
  }
  return TFileResult::Failed("cannot delete " + path + ": the trash has no free name for it");
}

TFileResult RestoreFromTrash(const TTrashedFile& trashed) {
  struct stat st {};
  if (::lstat(trashed.OriginalPath.c_str(), &st) == 0)
    return TFileResult::Failed("cannot restore " + trashed.OriginalPath + ": a file of that name is there now");
  if (::lstat(trashed.TrashedPath.c_str(), &st) != 0)
    return TFileResult::Failed("cannot restore " + trashed.OriginalPath + ": it is no longer in the trash");
  const int error = RenameNoReplace(trashed.TrashedPath, trashed.OriginalPath);
  if (error == EEXIST)
    return TFileResult::Failed("cannot restore " + trashed.OriginalPath + ": a file of that name is there now");
  if (error) return TFileResult::Failed(Reason("cannot restore " + trashed.OriginalPath, error));
  ::unlink(trashed.InfoPath.c_str());
  return TFileResult::Done(trashed.OriginalPath);
}

}  // namespace velora
