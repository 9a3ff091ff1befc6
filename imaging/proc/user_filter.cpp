#include "user_filter.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace velora {

namespace {

constexpr std::array<TVLUserFilterPreset, kUserFilterPresetCount> kPresets{{
    {"None", "none", {{0, 0, 0, 0, 1, 0, 0, 0, 0}, 0}},
    {"Blur", "blur", {{1, 1, 1, 1, 1, 1, 1, 1, 1}, 9}},
    {"Edges", "edges", {{1, 1, 1, 1, -8, 1, 1, 1, 1}, 1}},
    {"Emboss", "emboss", {{-1, 0, 1, -1, 1, 1, -1, 0, 1}, 1}},
    {"High Pass 1", "highpass1", {{0, -1, 0, -1, 5, -1, 0, -1, 0}, 1}},
    {"High Pass 2", "highpass2", {{-1, -1, -1, -1, 9, -1, -1, -1, -1}, 1}},
    {"High Pass 3", "highpass3", {{1, -2, 1, -2, 5, -2, 1, -2, 1}, 1}},
    {"Low Pass 1", "lowpass1", {{1, 1, 1, 1, 1, 1, 1, 1, 1}, 10}},
    {"Low Pass 2", "lowpass2", {{1, 2, 1, 2, 4, 2, 1, 2, 1}, 16}},
}};

void PutInt32(uint8_t* p, int32_t v) {
  const uint32_t u = uint32_t(v);
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(u >> (8 * i));
}

int32_t GetInt32(const uint8_t* p) {
  return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
}

void SetReason(std::string* reason, const std::string& text) {
  if (reason) *reason = text;
}

}  // namespace

const std::array<TVLUserFilterPreset, kUserFilterPresetCount>& VLUserFilterPresets() { return kPresets; }

const TVLUserFilterPreset* VLUserFilterPresetByName(const std::string& name) {
  for (const TVLUserFilterPreset& p : kPresets)
    if (name == p.Name) return &p;
  return nullptr;
}

std::array<uint8_t, kUserFilterFileSize> VLEncodeUserFilter(const TVLUserFilter& filter) {
  std::array<uint8_t, kUserFilterFileSize> bytes{1, 3, 3};
  for (int i = 0; i < 9; ++i) PutInt32(&bytes[size_t(3 + 4 * i)], filter.Kernel[size_t(i)]);
  PutInt32(&bytes[39], filter.Divisor);
  return bytes;
}

bool VLDecodeUserFilter(const uint8_t* bytes, size_t size, TVLUserFilter& filter) {
  if (!bytes || size < size_t(kUserFilterFileSize) || bytes[0] != 1 || bytes[1] != 3 || bytes[2] != 3) return false;
  for (int i = 0; i < 9; ++i) filter.Kernel[size_t(i)] = GetInt32(bytes + 3 + 4 * i);
  filter.Divisor = GetInt32(bytes + 39);
  return true;
}

bool VLReadUserFilterFile(const std::string& path, TVLUserFilter& filter, std::string* reason) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    SetReason(reason, std::strerror(errno));
    return false;
  }
  uint8_t bytes[kUserFilterFileSize];
  size_t got = 0;
  while (got < sizeof bytes) {
    const ssize_t n = ::read(fd, bytes + got, sizeof bytes - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += size_t(n);
  }
  ::close(fd);
  if (!VLDecodeUserFilter(bytes, got, filter)) {
    SetReason(reason, "not a filter file");
    return false;
  }
  return true;
}

bool VLWriteUserFilterFile(const std::string& path, const TVLUserFilter& filter, std::string* reason) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    SetReason(reason, std::strerror(errno));
    return false;
  }
  const auto bytes = VLEncodeUserFilter(filter);
  size_t put = 0;
  while (put < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + put, bytes.size() - put);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    put += size_t(n);
  }
  const bool closed = ::close(fd) == 0;
  if (put != bytes.size() || !closed) {
    SetReason(reason, std::strerror(errno ? errno : EIO));
    return false;
  }
  return true;
}

}  // namespace velora
