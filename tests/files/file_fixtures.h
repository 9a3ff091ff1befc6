// Fixtures of the file operations' tests: a scratch folder with a private home trash, a
// tmpfs of our own (another file system; skipped by name where mounting is not permitted),
// read-only folders, a full disk, and the census of every file's bytes that shows no byte
// was lost.
#pragma once
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>

namespace velora::filetest {

namespace fs = std::filesystem;

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// Distinct bytes per name, so that a file that ends up under another name is still recognised.
inline std::string Content(const std::string& name, size_t size = 3000) {
  std::string bytes;
  uint32_t x = 2166136261u;
  for (char c : name) x = (x ^ uint8_t(c)) * 16777619u;
  for (size_t i = 0; i < size; ++i) bytes += char((x = x * 1103515245 + 12345) >> 24);
  return bytes;
}

// The bytes of every regular file under the roots (info files of the trash aside), counted by
// content: equal censuses before and after mean every byte is still somewhere.
using TCensus = std::map<std::string, int>;
inline TCensus Census(std::initializer_list<std::string> roots) {
  TCensus census;
  for (const std::string& root : roots) {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); it != fs::recursive_directory_iterator(); it.increment(ec))
      if (it->is_regular_file() && it->path().extension() != ".trashinfo") ++census[ReadText(it->path())];
  }
  return census;
}

class TScratch {
 public:
  TScratch() {
    std::string pattern = (fs::temp_directory_path() / "velora_files_test_XXXXXX").string();
    path_ = ::mkdtemp(pattern.data()) ? pattern : std::string();
  }
  ~TScratch() {
    std::error_code ec;
    for (auto& e : fs::recursive_directory_iterator(path_, ec))
      fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
  }
  const std::string& Path() const { return path_; }
  std::string Folder(const std::string& name) const {
    fs::create_directories(path_ + "/" + name);
    return path_ + "/" + name;
  }
  std::string File(const std::string& relative, const std::string& bytes) const {
    const std::string p = path_ + "/" + relative;
    fs::create_directories(fs::path(p).parent_path());
    WriteText(p, bytes);
    return p;
  }

 private:
  std::string path_;
};

// XDG_DATA_HOME pointed at a scratch folder while alive: the home trash is the test's own.
class TScopedDataHome {
 public:
  explicit TScopedDataHome(const std::string& path) {
    if (const char* old = std::getenv("XDG_DATA_HOME")) saved_ = old;
    ::setenv("XDG_DATA_HOME", path.c_str(), 1);
  }
  ~TScopedDataHome() {
    if (saved_)
      ::setenv("XDG_DATA_HOME", saved_->c_str(), 1);
    else
      ::unsetenv("XDG_DATA_HOME");
  }

 private:
  std::optional<std::string> saved_;
};

// A tmpfs mounted at `path` while alive: another file system, optionally small (a disk that
// fills) or read-only. Mounted() is false where the test may not mount (not root).
class TTmpfs {
 public:
  explicit TTmpfs(const std::string& path, const std::string& size = "4m") : path_(path) {
    fs::create_directories(path);
    mounted_ = ::mount("tmpfs", path.c_str(), "tmpfs", 0, ("size=" + size + ",mode=0755").c_str()) == 0;
  }
  ~TTmpfs() {
    if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
  }
  bool Mounted() const { return mounted_; }
  bool MakeReadOnly() {
    return ::mount("tmpfs", path_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
  }

 private:
  std::string path_;
  bool mounted_ = false;
};

#define VELORA_SKIP_WITHOUT_TMPFS(tmpfs) \
  if (!(tmpfs).Mounted()) GTEST_SKIP() << "another file system: cannot mount a tmpfs here (needs root)"

// Files may grow to `bytes` only while alive: a longer write fails as on a full disk.
class TFileSizeLimit {
 public:
  explicit TFileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);  // the failed write answers EFBIG instead
    rlimit limit{bytes, saved_.rlim_max};
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~TFileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, oldHandler_);
  }

 private:
  rlimit saved_{};
  void (*oldHandler_)(int) = nullptr;
};

// A folder nobody but root may write into. As root permissions do not hold, and the folder
// is a read-only tmpfs instead (skipped where that cannot be mounted).
class TReadOnlyFolder {
 public:
  // Fills `path` with `files` (name, bytes), then makes it read-only.
  TReadOnlyFolder(const std::string& path, const std::map<std::string, std::string>& files) : path_(path) {
    if (::geteuid() == 0) {
      tmpfs_.emplace(path);
      if (!tmpfs_->Mounted()) return;
    } else {
      fs::create_directories(path);
    }
    for (const auto& [name, bytes] : files) WriteText(path + "/" + name, bytes);
    ready_ = ::geteuid() == 0 ? tmpfs_->MakeReadOnly() : ::chmod(path.c_str(), 0555) == 0;
  }
  ~TReadOnlyFolder() {
    if (!tmpfs_) ::chmod(path_.c_str(), 0755);
  }
  bool Ready() const { return ready_; }

 private:
  std::string path_;
  std::optional<TTmpfs> tmpfs_;
  bool ready_ = false;
};

#define VELORA_SKIP_WITHOUT_READ_ONLY(folder) \
  if (!(folder).Ready()) GTEST_SKIP() << "read-only folder: as root, needs a read-only tmpfs, which cannot be mounted here"

}  // namespace velora::filetest
