#include "transfer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

namespace velora {

using namespace files_detail;

namespace {

constexpr int kMostNumbers = 10000;

class TFd {
 public:
  explicit TFd(int fd) : fd_(fd) {}
  ~TFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int Get() const { return fd_; }
  // Closes now, for the error close reports (the last write-back can fail there).
  int Close() {
    const int result = ::close(fd_);
    fd_ = -1;
    return result == 0 ? 0 : errno;
  }

 private:
  int fd_;
};

int CopyBytes(int from, int to) {
  std::vector<char> buffer(1 << 20);
  for (;;) {
    const ssize_t n = ::read(from, buffer.data(), buffer.size());
    if (n == 0) return 0;
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = ::write(to, buffer.data() + done, size_t(n - done));
      if (w < 0) {
        if (errno == EINTR) continue;
        return errno;
      }
      done += w;
    }
  }
}

// Flushes the folder itself, so that the new name survives a power cut as the data does.
void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// Copies `source` (a regular file, described by `st`) to `target`, which must not exist:
// 0, or the errno, with nothing left at `target`. The copy is on the disk when this returns
// and has the source's size.
int CopyFile(const std::string& source, const struct stat& st, const std::string& target) {
  TFd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.Get() < 0) return errno;
  TFd out(::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 07777));
  if (out.Get() < 0) return errno;
  int error = CopyBytes(in.Get(), out.Get());
  if (!error) {
    const timespec times[2] = {st.st_atim, st.st_mtim};
    ::futimens(out.Get(), times);
    if (::fsync(out.Get()) != 0) error = errno;
  }
  const int closeError = out.Close();
  if (!error) error = closeError;
  struct stat written {};
  if (!error && (::stat(target.c_str(), &written) != 0 || written.st_size != st.st_size)) error = EIO;
  if (error) {
    ::unlink(target.c_str());
    return error;
  }
  SyncFolder(FolderOf(target));
  return 0;
}

bool SameFolder(const std::string& a, const std::string& b) {
  char ra[PATH_MAX], rb[PATH_MAX];
  return ::realpath(a.c_str(), ra) && ::realpath(b.c_str(), rb) && std::string(ra) == rb;
}

bool PlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

// The checks both transfers make first: the file is a regular file that is still there and
// the target a folder. Empty, or the reason.
std::string CheckTransfer(const std::string& path, const std::string& folder, struct stat& st, const char* verb) {
  if (::lstat(path.c_str(), &st) != 0) return Reason(std::string("cannot ") + verb + " " + path, errno);
  if (!S_ISREG(st.st_mode)) return std::string("cannot ") + verb + " " + path + ": not a regular file";
  struct stat target {};
  if (::stat(folder.c_str(), &target) != 0) return Reason(std::string("cannot ") + verb + " into " + folder, errno);
  if (!S_ISDIR(target.st_mode)) return Reason(std::string("cannot ") + verb + " into " + folder, ENOTDIR);
  return "";
}

TFileResult Transfer(const std::string& path, const std::string& folder, bool move) {
  const char* verb = move ? "move" : "copy";
  struct stat st {};
  const std::string problem = CheckTransfer(path, folder, st, verb);
  if (!problem.empty()) return TFileResult::Failed(problem);
  // Moved to where it is: nothing to do (a rename to "name (2)" would surprise).
  if (move && SameFolder(FolderOf(path), folder)) return TFileResult::Done(path);
  const std::string name = NameOf(path);
  const std::string what = std::string("cannot ") + verb + " " + path + " into " + folder;
  bool acrossDevices = !move;
  for (int number = 1; number <= kMostNumbers; ++number) {
    const std::string target = (folder == "/" ? "" : folder) + "/" + NumberedName(name, number);
    if (!acrossDevices) {
      const int error = RenameNoReplace(path, target);
      if (error == 0) return TFileResult::Done(target);
      if (error == EEXIST) continue;
      if (error != EXDEV) return TFileResult::Failed(Reason(what, error));
      acrossDevices = true;
    }
    const int error = CopyFile(path, st, target);
    if (error == EEXIST) continue;
    if (error) return TFileResult::Failed(Reason(what, error));
    if (move && ::unlink(path.c_str()) != 0) {
      // Two files where the user asked for one: take the copy back, the original stays.
      const int unlinkError = errno;
      ::unlink(target.c_str());
      return TFileResult::Failed(Reason("cannot move " + path + ": cannot remove it from its folder", unlinkError));
    }
    return TFileResult::Done(target);
  }
  return TFileResult::Failed(what + ": no free name for it");
}

}  // namespace

TFileResult RenameFile(const std::string& path, const std::string& newName) {
  if (!PlainName(newName)) return TFileResult::Failed("cannot rename " + path + ": \"" + newName + "\" is not a file name");
  const std::string folder = FolderOf(path);
  const std::string target = (folder == "/" ? "" : folder) + "/" + newName;
  if (target == path) return TFileResult::Done(target);
  const int error = RenameNoReplace(path, target);
  if (error == EEXIST) return TFileResult::Failed("cannot rename " + path + ": a file named " + newName + " exists");
  if (error) return TFileResult::Failed(Reason("cannot rename " + path, error));
  return TFileResult::Done(target);
}

TFileResult CopyToFolder(const std::string& path, const std::string& folder) { return Transfer(path, folder, false); }

TFileResult MoveToFolder(const std::string& path, const std::string& folder) { return Transfer(path, folder, true); }

}  // namespace velora
