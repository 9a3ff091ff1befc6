// TIFF LZW decoder. The table keeps, for each code, the code of its prefix, its length and its
// first and last bytes; a string is written from its end by following the prefix links, so no
// code ever needs an allocation of its own.
#include <cstring>
#include <memory>
#include <vector>

#include "tiff_lzw.h"

namespace velora {

namespace {

using namespace tifflzw;

struct TLzwEntry {
  uint16_t prefix;
  uint16_t length;
  uint8_t last;
  uint8_t first;
};

class TLzwDecoder {
 public:
  TLzwDecoder(const uint8_t* data, int64_t dataLength, int rowLength)
      : data_(data), dataBits_(uint64_t(dataLength > 0 ? dataLength : 0) * 8), rowLength_(rowLength),
        buffer_(size_t(rowLength) + kTableSize) {
    for (int c = 0; c < 256; ++c) table_[c] = {0, 1, uint8_t(c), uint8_t(c)};
    ResetTable();
    // Old-style strips start with a Clear code sent least significant bit first: a zero byte,
    // then a byte with its lowest bit set. Decoding them the new way gives garbage.
    if (dataLength >= 2 && data[0] == 0 && (data[1] & 1)) failed_ = true;
  }

  uint8_t* DecodeRow() {
    if (failed_) return nullptr;
    if (used_ > 0) {
      std::memmove(buffer_.data(), buffer_.data() + used_, size_t(fill_ - used_));
      fill_ -= used_;
      used_ = 0;
    }
    while (fill_ < rowLength_ && !ended_) DecodeCode();
    if (failed_ || fill_ < rowLength_) return nullptr;
    used_ = rowLength_;
    return buffer_.data();
  }

 private:
  void ResetTable() {
    defined_ = kFirstFree;
    width_ = 9;
    previous_ = -1;
  }

  // The next code, or -1 when the strip holds fewer bits than a code.
  int ReadCode() {
    if (bitPos_ + uint64_t(width_) > dataBits_) return -1;
    const uint64_t byte = bitPos_ >> 3;
    uint32_t window;
    if (byte + 4 <= dataBits_ >> 3) {
      window = uint32_t(data_[byte]) << 24 | uint32_t(data_[byte + 1]) << 16 | uint32_t(data_[byte + 2]) << 8 |
               data_[byte + 3];
    } else {
      window = 0;
      for (uint64_t i = 0; i < 4; ++i)
        window = window << 8 | (byte + i < dataBits_ >> 3 ? data_[byte + i] : 0);
    }
    const int code = int((window << (bitPos_ & 7)) >> (32 - width_));
    bitPos_ += uint64_t(width_);
    return code;
  }

  void DecodeCode() {
    int code = ReadCode();
    if (code < 0 || code == kEndOfInformation) {
      ended_ = true;
      return;
    }
    if (code == kClear) {
      ResetTable();
      started_ = true;
      return;
    }
    if (previous_ < 0) {
      // Right after a Clear (or at the start) only a single byte has a string yet.
      if (code > kEndOfInformation) {
        failed_ = true;
        return;
      }
      Emit(code);
      if (!started_) AddEntry(code, table_[code].first);  // the very first code is its own predecessor
      started_ = true;
      previous_ = code;
      return;
    }
    started_ = true;
    if (code < defined_) {
      Emit(code);
      if (!AddEntry(previous_, table_[code].first)) return;
    } else {
      // Codes past the next free one are taken as the next free one.
      if (!AddEntry(previous_, table_[previous_].first)) return;
      code = defined_ - 1;
      Emit(code);
    }
    previous_ = code;
  }

  bool AddEntry(int prefix, uint8_t last) {
    if (defined_ >= kTableSize) {
      failed_ = true;
      return false;
    }
    const TLzwEntry& p = table_[prefix];
    table_[defined_] = {uint16_t(prefix), uint16_t(p.length + 1), last, p.first};
    ++defined_;
    // One code early: the width grows when the table reaches 511, 1023 and 2047 codes.
    if (defined_ == 511 || defined_ == 1023 || defined_ == 2047) ++width_;
    return true;
  }

  void Emit(int code) {
    const int length = table_[code].length;
    uint8_t* out = buffer_.data() + fill_ + length;
    do {
      *--out = table_[code].last;
      code = table_[code].prefix;
    } while (out != buffer_.data() + fill_);
    fill_ += length;
  }

  const uint8_t* data_;
  const uint64_t dataBits_;
  const int rowLength_;
  uint64_t bitPos_ = 0;
  TLzwEntry table_[kTableSize];
  int defined_ = kFirstFree;
  int width_ = 9;
  int previous_ = -1;
  bool started_ = false;
  bool ended_ = false;
  bool failed_ = false;
  // A row plus the longest string a code can add past it.
  std::vector<uint8_t> buffer_;
  int fill_ = 0;
  int used_ = 0;
};

}  // namespace

uint8_t* TiffLzwDecode(const uint8_t* data, int64_t dataLength, int rowLength, void** state) {
  auto* decoder = static_cast<TLzwDecoder*>(*state);
  if (data == nullptr) {
    delete decoder;
    *state = nullptr;
    return nullptr;
  }
  if (decoder == nullptr) {
    if (rowLength < 0) return nullptr;
    decoder = new TLzwDecoder(data, dataLength, rowLength);
    *state = decoder;
  }
  return decoder->DecodeRow();
}

}  // namespace velora
