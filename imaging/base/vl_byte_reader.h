// TVLByteReader: byte-at-a-time reading over a stream through a block buffer, for the codecs
// whose data come in tokens or packets (PNM text, TGA run-length packets). It never throws and
// never reads past the stream's end: Get answers false there, Read answers how much it found.
// Beside it, the little-endian numbers of the binary headers (BMP, ICO, PCX, TGA).
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "vl_stream.h"

namespace velora {

// Little-endian numbers in bytes already read (a file header taken in one block) or about to
// be written.
inline uint16_t GetU16LE(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline uint32_t GetU32LE(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline int32_t GetI32LE(const uint8_t* p) { return int32_t(GetU32LE(p)); }
inline void PutU16LE(uint8_t* p, uint16_t v) { p[0] = uint8_t(v), p[1] = uint8_t(v >> 8); }
inline void PutU32LE(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

class TVLByteReader {
 public:
  explicit TVLByteReader(TVLStream& stream, int bufferSize = 8192)
      : stream_(stream), buffer_(size_t(std::max(bufferSize, 16))) {}

  bool Get(uint8_t& b) {
    if (pos_ == len_ && !Fill()) return false;
    b = buffer_[pos_++];
    return true;
  }
  // Looks at the next byte without consuming it.
  bool Peek(uint8_t& b) {
    if (pos_ == len_ && !Fill()) return false;
    b = buffer_[pos_];
    return true;
  }
  // Copies up to count bytes; returns how many there were.
  int64_t Read(void* dest, int64_t count) {
    auto* out = static_cast<uint8_t*>(dest);
    int64_t done = 0;
    while (done < count) {
      if (pos_ == len_) {
        // Large requests bypass the buffer.
        if (count - done >= int64_t(buffer_.size())) {
          int64_t n = stream_.Read(out + done, count - done);
          if (n <= 0) break;
          done += n;
          continue;
        }
        if (!Fill()) break;
      }
      int64_t n = std::min<int64_t>(count - done, len_ - pos_);
      std::memcpy(out + done, buffer_.data() + pos_, size_t(n));
      pos_ += n;
      done += n;
    }
    return done;
  }
  // The bytes still to come: those buffered and those the stream has after its position.
  int64_t Remaining() { return (len_ - pos_) + std::max<int64_t>(stream_.Size() - stream_.Position(), 0); }
  bool AtEnd() {
    uint8_t b;
    return !Peek(b);
  }

 private:
  bool Fill() {
    if (eof_) return false;
    int64_t n = stream_.Read(buffer_.data(), int64_t(buffer_.size()));
    if (n <= 0) {
      eof_ = true;
      return false;
    }
    pos_ = 0;
    len_ = n;
    return true;
  }

  TVLStream& stream_;
  std::vector<uint8_t> buffer_;
  int64_t pos_ = 0;
  int64_t len_ = 0;
  bool eof_ = false;
};

}  // namespace velora
