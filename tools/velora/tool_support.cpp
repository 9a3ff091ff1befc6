#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>

#include "commands.h"
#include "io/io_params.h"

namespace velora::tool {

namespace {
bool gAutoOrient = false;
}  // namespace

void SetAutoOrient(bool on) { gAutoOrient = on; }
bool AutoOrient() { return gAutoOrient; }

std::string OpenFailureReason(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::strerror(errno);
  struct stat st {};
  std::string reason;
  if (::fstat(fd, &st) != 0)
    reason = std::strerror(errno);
  else if (S_ISDIR(st.st_mode))
    reason = std::strerror(EISDIR);
  else if (!S_ISREG(st.st_mode))
    reason = "not a regular file";
  ::close(fd);
  return reason;
}

std::string CreateFailureReason(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return std::strerror(EISDIR);
    return ::access(path.c_str(), W_OK) == 0 ? std::string() : std::strerror(errno);
  }
  std::string dir = path.substr(0, path.find_last_of('/') == std::string::npos ? 0 : path.find_last_of('/'));
  if (path.find('/') == std::string::npos) dir = ".";
  if (dir.empty()) dir = "/";
  return ::access(dir.c_str(), W_OK | X_OK) == 0 ? std::string() : std::strerror(errno);
}

void Complain(const std::string& text) { std::cerr << "velora: " << text << "\n"; }

}  // namespace velora::tool
