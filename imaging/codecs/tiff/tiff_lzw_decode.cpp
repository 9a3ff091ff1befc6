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

// Eight bytes, so that defining a code is one store.
struct alignas(8) TLzwEntry {
  uint16_t prefix;
  uint16_t length;
  uint8_t last;
  uint8_t first;
  uint16_t unused;
};

class TLzwDecoder {
 public:
  TLzwDecoder(const uint8_t* data, int64_t dataLength, int rowLength)
      : data_(data), dataBits_(uint64_t(dataLength > 0 ? dataLength : 0) * 8), rowLength_(rowLength),
        buffer_(new uint8_t[size_t(rowLength) + kTableSize]) {
    for (int c = 0; c < 256; ++c) table_[c] = {0, 1, uint8_t(c), uint8_t(c), 0};
    // Old-style strips start with a Clear code sent least significant bit first: a zero byte,
    // then a byte with its lowest bit set. Decoding them the new way gives garbage.
    if (dataLength >= 2 && data[0] == 0 && (data[1] & 1)) failed_ = true;
  }

  uint8_t* DecodeRow() {
    if (failed_) return nullptr;
    if (used_ > 0) {
      std::memmove(buffer_.get(), buffer_.get() + used_, size_t(fill_ - used_));
      fill_ -= used_;
      used_ = 0;
    }
    if (fill_ < rowLength_ && !ended_) DecodeCodes();
    if (failed_ || fill_ < rowLength_) return nullptr;
    used_ = rowLength_;
    return buffer_.get();
  }

 private:
  // Decodes codes until the buffer holds a row, the strip ends or a code is bad. The state
  // lives in locals here: the byte stores into the buffer would otherwise make the compiler
  // reload every member after each of them.
  void DecodeCodes() {
    TLzwEntry* const table = table_;
    uint8_t* const out = buffer_.get();
    const uint8_t* const data = data_;
    const uint64_t dataBits = dataBits_;
    // Four bytes can be read at once up to here; never in a strip of fewer than four bytes.
    const int64_t fastEnd = int64_t(dataBits_) - 32;
    uint64_t bitPos = bitPos_;
    int fill = fill_, defined = defined_, width = width_, previous = previous_;
    bool started = started_;
    while (fill < rowLength_) {
      int code;
      if (int64_t(bitPos) <= fastEnd) {
        uint32_t window;
        std::memcpy(&window, data + (bitPos >> 3), 4);
        code = int((__builtin_bswap32(window) << (bitPos & 7)) >> (32 - width));
      } else if (bitPos + uint64_t(width) <= dataBits) {
        code = SlowCode(bitPos, width);
      } else {
        ended_ = true;  // the strip holds fewer bits than a code
        break;
      }
      bitPos += uint64_t(width);
      if (code == kEndOfInformation) {
        ended_ = true;
        break;
      }
      if (code == kClear) {
        defined = kFirstFree, width = 9, previous = -1, started = true;
        continue;
      }
      if (previous < 0) {
        // Right after a Clear (or at the start) only a single byte has a string yet.
        if (code > kEndOfInformation) {
          failed_ = true;
          break;
        }
        out[fill++] = uint8_t(code);
        if (!started) {  // the very first code of a strip without a Clear is its own predecessor
          table[defined] = {uint16_t(code), 2, uint8_t(code), uint8_t(code), 0};
          ++defined;
          started = true;
        }
        previous = code;
        continue;
      }
      // Codes past the next free one are taken as the next free one: the previous string
      // followed by its own first byte.
      const bool known = code < defined;
      if (defined >= kTableSize) {
        failed_ = true;
        break;
      }
      const TLzwEntry& p = table[previous];
      if (!known) code = defined;
      table[defined] = {uint16_t(previous), uint16_t(p.length + 1), known ? table[code].first : p.first, p.first, 0};
      ++defined;
      // One code early: the width grows when the table reaches 511, 1023 and 2047 codes.
      width += (defined == 511) | (defined == 1023) | (defined == 2047);
      if (code < 256) {
        out[fill++] = uint8_t(code);
      } else {
        const int length = table[code].length;
        uint8_t* end = out + fill + length;
        for (int c = code; end != out + fill; c = table[c].prefix) *--end = table[c].last;
        fill += length;
      }
      previous = code;
    }
    bitPos_ = bitPos, fill_ = fill, defined_ = defined, width_ = width, previous_ = previous, started_ = started;
  }

  // A code near the end of the strip, where four bytes cannot be read at once.
  int SlowCode(uint64_t bitPos, int width) const {
    const uint64_t byte = bitPos >> 3, bytes = dataBits_ >> 3;
    uint32_t window = 0;
    for (uint64_t i = 0; i < 4; ++i) window = window << 8 | (byte + i < bytes ? data_[byte + i] : 0);
    return int((window << (bitPos & 7)) >> (32 - width));
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
  std::unique_ptr<uint8_t[]> buffer_;  // left uninitialised: only decoded bytes are read
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
