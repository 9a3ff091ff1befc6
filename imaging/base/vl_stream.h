// Streams: 64-bit size and position, read, write and seek. Codecs read and write through
// TVLStream only, so the same code serves files and memory.
#pragma once
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace velora {

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class EVLStreamError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
// "Cannot open file %s": a file that cannot be opened for reading.
class EVLFileOpenError : public EVLStreamError {
 public:
  explicit EVLFileOpenError(const std::string& name);
};
// "Cannot create file %s": a file that cannot be created or truncated for writing.
class EVLFileCreateError : public EVLStreamError {
 public:
  explicit EVLFileCreateError(const std::string& name);
};

class TVLStream {
 public:
  virtual ~TVLStream() = default;

  // Reads up to count bytes; returns how many were read (0 at the end).
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  // Writes count bytes; returns how many were written.
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  // Moves the position; returns the new position. Positions beyond the end are allowed.
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
  virtual int64_t Size() = 0;
  // Hands buffered writes on to where they go; throws EVLStreamError when they cannot be
  // written, so a save learns of a full disk before it reports success.
  virtual void Flush() {}

  int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(int64_t position) { Seek(position, TSeekOrigin::soBeginning); }

  // Read or write exactly count bytes, or throw EVLStreamError.
  void ReadBuffer(void* buffer, int64_t count);
  void WriteBuffer(const void* buffer, int64_t count);

  // Little- and big-endian fixed-size values; short reads throw EVLStreamError.
  uint8_t ReadU8();
  uint16_t ReadU16LE();
  uint32_t ReadU32LE();
  uint16_t ReadU16BE();
  uint32_t ReadU32BE();
  void WriteU8(uint8_t v) { WriteBuffer(&v, 1); }
  void WriteU16LE(uint16_t v);
  void WriteU32LE(uint32_t v);
  void WriteU16BE(uint16_t v);
  void WriteU32BE(uint32_t v);
};

// A file opened with POSIX calls, 64-bit offsets, and a read buffer so that codecs may read
// a few bytes at a time without a system call each.
class TVLFileStream : public TVLStream {
 public:
  enum TMode {
    fmOpenRead,       // read only; others may read
    fmCreate,         // create or truncate; read and write
    fmOpenReadWrite,  // an existing file, read and write
  };
  TVLFileStream(const std::string& fileName, TMode mode);
  ~TVLFileStream() override;
  TVLFileStream(const TVLFileStream&) = delete;
  TVLFileStream& operator=(const TVLFileStream&) = delete;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override;
  void Flush() override { FlushWrite(); }
  const std::string& FileName() const { return fileName_; }

 private:
  void FlushWrite();

  std::string fileName_;
  int fd_ = -1;
  int64_t position_ = 0;
  // Read buffer: bytes [bufferStart_, bufferStart_ + bufferLen_) of the file. Left
  // uninitialised, and filled with a few kilobytes the first time: a header-only read of a
  // folder's files needs no more.
  std::unique_ptr<uint8_t[]> buffer_;
  int fills_ = 0;
  int64_t bufferStart_ = 0;
  int64_t bufferLen_ = 0;
  // Pending writes: bytes [writeStart_, writeStart_ + pending_.size()).
  std::vector<uint8_t> pending_;
  int64_t writeStart_ = 0;
  int64_t size_ = -1;  // cached size, -1 when unknown
};

class TVLMemoryStream : public TVLStream {
 public:
  TVLMemoryStream() = default;
  TVLMemoryStream(const void* data, int64_t size);

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return int64_t(data_.size()); }

  uint8_t* Memory() { return data_.data(); }
  const std::vector<uint8_t>& Data() const { return data_; }
  std::vector<uint8_t>& Data() { return data_; }
  void Clear() { data_.clear(); position_ = 0; }
  void SetSize(int64_t size) { data_.resize(size_t(size)); }
  void LoadFromFile(const std::string& fileName);
  void SaveToFile(const std::string& fileName);

 private:
  std::vector<uint8_t> data_;
  int64_t position_ = 0;
};

// A read-only window onto an existing buffer, without copying (fuzzers, mapped files).
class TVLBufferStream : public TVLStream {
 public:
  TVLBufferStream(const void* data, int64_t size) : data_(static_cast<const uint8_t*>(data)), size_(size) {}
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return size_; }

 private:
  const uint8_t* data_;
  int64_t size_;
  int64_t position_ = 0;
};

}  // namespace velora
