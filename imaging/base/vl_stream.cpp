#include "vl_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace velora {

EVLFileOpenError::EVLFileOpenError(const std::string& name) : EVLStreamError("Cannot open file " + name) {}
EVLFileCreateError::EVLFileCreateError(const std::string& name) : EVLStreamError("Cannot create file " + name) {}

void TVLStream::ReadBuffer(void* buffer, int64_t count) {
  if (count > 0 && Read(buffer, count) != count) throw EVLStreamError("Stream read error");
}

void TVLStream::WriteBuffer(const void* buffer, int64_t count) {
  if (count > 0 && Write(buffer, count) != count) throw EVLStreamError("Stream write error");
}

uint8_t TVLStream::ReadU8() {
  uint8_t v;
  ReadBuffer(&v, 1);
  return v;
}
uint16_t TVLStream::ReadU16LE() {
  uint8_t b[2];
  ReadBuffer(b, 2);
  return uint16_t(b[0] | (b[1] << 8));
}
uint32_t TVLStream::ReadU32LE() {
  uint8_t b[4];
  ReadBuffer(b, 4);
  return uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24);
}
uint16_t TVLStream::ReadU16BE() {
  uint8_t b[2];
  ReadBuffer(b, 2);
  return uint16_t((b[0] << 8) | b[1]);
}
uint32_t TVLStream::ReadU32BE() {
  uint8_t b[4];
  ReadBuffer(b, 4);
  return (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | uint32_t(b[3]);
}
void TVLStream::WriteU16LE(uint16_t v) {
  uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
  WriteBuffer(b, 2);
}
void TVLStream::WriteU32LE(uint32_t v) {
  uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
  WriteBuffer(b, 4);
}
void TVLStream::WriteU16BE(uint16_t v) {
  uint8_t b[2] = {uint8_t(v >> 8), uint8_t(v)};
  WriteBuffer(b, 2);
}
void TVLStream::WriteU32BE(uint32_t v) {
  uint8_t b[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
  WriteBuffer(b, 4);
}

// ---- file stream ----------------------------------------------------------------------------

namespace {
constexpr int64_t kReadBufferSize = 65536;
constexpr int64_t kFirstFillSize = 4096;
constexpr size_t kWriteBufferSize = 65536;
}  // namespace

TVLFileStream::TVLFileStream(const std::string& fileName, TMode mode) : fileName_(fileName) {
  int flags = mode == fmOpenRead ? O_RDONLY : mode == fmCreate ? (O_RDWR | O_CREAT | O_TRUNC) : O_RDWR;
  // O_NONBLOCK: opening a FIFO or a device for reading must not wait for a writer; such
  // files are refused just below, and on regular files the flag changes nothing.
  fd_ = ::open(fileName.c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0666);
  if (fd_ < 0) {
    if (mode == fmCreate) throw EVLFileCreateError(fileName);
    throw EVLFileOpenError(fileName);
  }
  // Only regular files are streams: a directory opens on POSIX but cannot be read.
  struct stat st;
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd_);
    fd_ = -1;
    if (mode == fmCreate) throw EVLFileCreateError(fileName);
    throw EVLFileOpenError(fileName);
  }
}

TVLFileStream::~TVLFileStream() {
  if (fd_ >= 0) {
    // Saves flush before they report; here only what nobody waits for is left.
    try {
      FlushWrite();
    } catch (...) {
    }
    ::close(fd_);
  }
}

void TVLFileStream::FlushWrite() {
  if (pending_.empty()) return;
  const uint8_t* p = pending_.data();
  size_t left = pending_.size();
  int64_t at = writeStart_;
  while (left > 0) {
    ssize_t n = ::pwrite(fd_, p, left, at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      pending_.clear();
      throw EVLStreamError("Stream write error");
    }
    p += n;
    left -= size_t(n);
    at += n;
  }
  pending_.clear();
}

int64_t TVLFileStream::Read(void* buffer, int64_t count) {
  if (count <= 0) return 0;
  FlushWrite();
  auto* out = static_cast<uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count) {
    if (position_ >= bufferStart_ && position_ < bufferStart_ + bufferLen_) {
      int64_t n = std::min(count - done, bufferStart_ + bufferLen_ - position_);
      std::memcpy(out + done, buffer_.get() + (position_ - bufferStart_), size_t(n));
      done += n;
      position_ += n;
      continue;
    }
    // Large reads go straight into the caller's buffer.
    if (count - done >= kReadBufferSize) {
      ssize_t n = ::pread(fd_, out + done, size_t(count - done), position_);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += n;
      position_ += n;
      continue;
    }
    if (!buffer_) buffer_.reset(new uint8_t[kReadBufferSize]);
    const int64_t fill = fills_++ == 0 ? kFirstFillSize : kReadBufferSize;
    ssize_t n = ::pread(fd_, buffer_.get(), size_t(fill), position_);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      bufferLen_ = 0;
      break;
    }
    bufferStart_ = position_;
    bufferLen_ = n;
  }
  return done;
}

int64_t TVLFileStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  bufferLen_ = 0;  // the read buffer may now be stale
  if (!pending_.empty() && writeStart_ + int64_t(pending_.size()) != position_) FlushWrite();
  if (pending_.empty()) writeStart_ = position_;
  const auto* in = static_cast<const uint8_t*>(buffer);
  pending_.insert(pending_.end(), in, in + count);
  position_ += count;
  if (size_ >= 0) size_ = std::max(size_, position_);
  if (pending_.size() >= kWriteBufferSize) FlushWrite();
  return count;
}

int64_t TVLFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = origin == TSeekOrigin::soBeginning ? 0 : origin == TSeekOrigin::soCurrent ? position_ : Size();
  int64_t p = base + offset;
  if (p < 0) p = 0;
  position_ = p;
  return position_;
}

int64_t TVLFileStream::Size() {
  FlushWrite();
  struct stat st;
  if (::fstat(fd_, &st) != 0) return 0;
  return int64_t(st.st_size);
}

// ---- memory streams ------------------------------------------------------------------------

TVLMemoryStream::TVLMemoryStream(const void* data, int64_t size)
    : data_(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size) {}

int64_t TVLMemoryStream::Read(void* buffer, int64_t count) {
  if (count <= 0 || position_ >= int64_t(data_.size())) return 0;
  int64_t n = std::min(count, int64_t(data_.size()) - position_);
  std::memcpy(buffer, data_.data() + position_, size_t(n));
  position_ += n;
  return n;
}

int64_t TVLMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  if (position_ + count > int64_t(data_.size())) data_.resize(size_t(position_ + count));
  std::memcpy(data_.data() + position_, buffer, size_t(count));
  position_ += count;
  return count;
}

int64_t TVLMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = origin == TSeekOrigin::soBeginning ? 0 : origin == TSeekOrigin::soCurrent ? position_ : Size();
  position_ = std::max<int64_t>(base + offset, 0);
  return position_;
}

void TVLMemoryStream::LoadFromFile(const std::string& fileName) {
  TVLFileStream f(fileName, TVLFileStream::fmOpenRead);
  data_.resize(size_t(f.Size()));
  data_.resize(size_t(f.Read(data_.data(), int64_t(data_.size()))));
  position_ = 0;
}

void TVLMemoryStream::SaveToFile(const std::string& fileName) {
  TVLFileStream f(fileName, TVLFileStream::fmCreate);
  f.WriteBuffer(data_.data(), int64_t(data_.size()));
}

int64_t TVLBufferStream::Read(void* buffer, int64_t count) {
  if (count <= 0 || position_ >= size_) return 0;
  int64_t n = std::min(count, size_ - position_);
  std::memcpy(buffer, data_ + position_, size_t(n));
  position_ += n;
  return n;
}

int64_t TVLBufferStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = origin == TSeekOrigin::soBeginning ? 0 : origin == TSeekOrigin::soCurrent ? position_ : size_;
  position_ = std::max<int64_t>(base + offset, 0);
  return position_;
}

}  // namespace velora
