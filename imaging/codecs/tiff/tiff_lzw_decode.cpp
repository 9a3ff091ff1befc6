// TIFF LZW decoder. Every string a code stands for has already been written once, by the codes
// before it: a new code is the previous code's output followed by one more byte. So the table
// keeps, for each code, where its string lies in the decoded output and how long it is, and
// writing a code is one copy from earlier output, a few wide moves for the short strings noise
// makes. The decoded bytes since the last Clear therefore stay in the history buffer until a
// Clear lets them go.
#include <algorithm>
#include <cstring>
#include <memory>

#include "tiff_lzw.h"

namespace velora {

namespace {

using namespace tifflzw;

struct TLzwString {
  uint32_t start;  // in the history buffer
  uint32_t length;
};

// The history buffer starts with the 256 single bytes, so that a one-byte code is copied like
// any other, and two bytes for the string a strip without a leading Clear defines first.
constexpr uint32_t kFirstPair = 256;
constexpr uint32_t kDataStart = 264;
// Strings are copied sixteen bytes at a time: up to fifteen bytes past a string's end are read
// and written, so the buffer keeps that much beyond the longest string.
constexpr uint32_t kChunk = 16;
constexpr int64_t kLongestString = kTableSize;

// The source may end right before the destination, or (a code past the defined ones) run into
// it: each chunk is loaded whole before it is stored, and only bytes before the destination
// are ever needed.
inline void CopyString(uint8_t* to, const uint8_t* from, uint32_t length) {
  uint8_t* const end = to + length;
  do {
    uint8_t chunk[kChunk];
    std::memcpy(chunk, from, kChunk);
    std::memcpy(to, chunk, kChunk);
    to += kChunk, from += kChunk;
  } while (to < end);
}

class TLzwDecoder {
 public:
  TLzwDecoder(const uint8_t* data, int64_t dataLength, int rowLength)
      : data_(data), dataBits_(uint64_t(dataLength > 0 ? dataLength : 0) * 8), rowLength_(rowLength),
        row_(new uint8_t[size_t(rowLength) + 1]) {
    Allocate(std::max<int64_t>(kDataStart + RoomForRow(), 32 * 1024));
    for (uint32_t c = 0; c < 256; ++c) {
      history_[c] = uint8_t(c);
      table_[c] = {c, 1};
    }
    // Old-style strips (the "compat" form of early writers) start with a Clear code sent least
    // significant bit first: a zero byte, then a byte with its lowest bit set. Their codes are
    // packed that way throughout and widen only when the table is full at that width.
    oldStyle_ = dataLength >= 2 && data[0] == 0 && (data[1] & 1);
  }

  uint8_t* DecodeRow() {
    if (failed_) return nullptr;
    rowStart_ += taken_;
    taken_ = 0;
    MakeRoom();
    if (fill_ < rowStart_ + rowLength_ && !ended_) oldStyle_ ? DecodeCodes<true>() : DecodeCodes<false>();
    if (failed_ || fill_ < rowStart_ + rowLength_) return nullptr;
    taken_ = rowLength_;
    // Later codes copy from these bytes, and callers change their rows (undoing a predictor):
    // they get a copy.
    std::memcpy(row_.get(), history_.get() + rowStart_, size_t(rowLength_));
    return row_.get();
  }

 private:
  // The bytes a row needs past its start: the row, the longest string a code can add past it
  // and the copies' overrun.
  int64_t RoomForRow() const { return int64_t(rowLength_) + kLongestString + kChunk; }

  void Allocate(int64_t capacity) {
    std::unique_ptr<uint8_t[]> bigger(new uint8_t[size_t(capacity)]);  // only written bytes are used
    if (history_) std::memcpy(bigger.get(), history_.get(), fill_);
    history_ = std::move(bigger);
    capacity_ = capacity;
  }

  // Before a row: drops the history no code can reach any more (before the last Clear, and
  // rows already handed out), and grows the buffer when what is kept with the room for the
  // row fills more than half of it, so that moving the kept bytes costs a constant per
  // decoded byte.
  void MakeRoom() {
    if (rowStart_ + RoomForRow() <= capacity_) return;
    const uint32_t keep = std::min(rowStart_, epochStart_);
    const uint32_t shift = keep - kDataStart;
    if (shift > 0) {
      std::memmove(history_.get() + kDataStart, history_.get() + keep, fill_ - keep);
      for (int c = kFirstFree; c < defined_; ++c)
        if (table_[c].start >= kDataStart) table_[c].start -= shift;
      fill_ -= shift, rowStart_ -= shift, epochStart_ -= shift;
      if (previousStart_ >= kDataStart) previousStart_ -= shift;
    }
    const int64_t needed = int64_t(fill_) + RoomForRow();
    if (needed > capacity_ / 2) Allocate(2 * needed);
  }

  // Decodes codes until the history holds the row, the strip ends or a code is bad. The state
  // lives in locals here: the byte stores into the buffer would otherwise make the compiler
  // reload every member after each of them.
  template <bool kOldStyle>
  void DecodeCodes() {
    TLzwString* const table = table_;
    uint8_t* const out = history_.get();
    const uint8_t* const data = data_;
    const uint64_t dataBits = dataBits_;
    // Four bytes can be read at once up to here; never in a strip of fewer than four bytes.
    const int64_t fastEnd = int64_t(dataBits_) - 32;
    const uint32_t rowEnd = rowStart_ + uint32_t(rowLength_);
    uint64_t bitPos = bitPos_;
    uint32_t fill = fill_, previousStart = previousStart_, previousLength = previousLength_;
    int defined = defined_, width = width_;
    bool started = started_;
    while (fill < rowEnd) {
      int code;
      if (int64_t(bitPos) <= fastEnd) {
        uint32_t window;
        std::memcpy(&window, data + (bitPos >> 3), 4);
        if constexpr (kOldStyle)
          code = int((window >> (bitPos & 7)) & ((1u << width) - 1));  // a little-endian machine's load
        else
          code = int((__builtin_bswap32(window) << (bitPos & 7)) >> (32 - width));
      } else if (bitPos + uint64_t(width) <= dataBits) {
        code = SlowCode<kOldStyle>(bitPos, width);
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
        defined = kFirstFree, width = 9, previousLength = 0, started = true, epochStart_ = fill;
        continue;
      }
      if (previousLength == 0) {
        // Right after a Clear (or at the start) only a single byte has a string yet.
        if (code > kEndOfInformation) {
          failed_ = true;
          break;
        }
        out[fill] = uint8_t(code);
        if (!started) {  // the very first code of a strip without a Clear is its own predecessor
          out[kFirstPair] = out[kFirstPair + 1] = uint8_t(code);
          table[defined++] = {kFirstPair, 2};
          started = true;
        }
        previousStart = fill++, previousLength = 1;
        continue;
      }
      if (defined >= kTableSize) {
        failed_ = true;
        break;
      }
      // The new code is the previous string and the first byte of this one, which lands right
      // behind it in the output.
      table[defined] = {previousStart, previousLength + 1};
      uint32_t length;
      if (code < defined) {
        length = table[code].length;
        CopyString(out + fill, out + table[code].start, length);
      } else {
        // A code past the defined ones is taken as the next free one: the previous string
        // followed by its own first byte.
        length = previousLength + 1;
        CopyString(out + fill, out + previousStart, previousLength);
        out[fill + previousLength] = out[previousStart];
      }
      ++defined;
      // One code early: the width grows when the table reaches 511, 1023 and 2047 codes; the
      // old style waits for 512, 1024 and 2048.
      if constexpr (kOldStyle)
        width += (defined == 512) | (defined == 1024) | (defined == 2048);
      else
        width += (defined == 511) | (defined == 1023) | (defined == 2047);
      previousStart = fill, previousLength = length;
      fill += length;
    }
    bitPos_ = bitPos, fill_ = fill, previousStart_ = previousStart, previousLength_ = previousLength;
    defined_ = defined, width_ = width, started_ = started;
  }

  // A code near the end of the strip, where four bytes cannot be read at once.
  template <bool kOldStyle>
  int SlowCode(uint64_t bitPos, int width) const {
    const uint64_t byte = bitPos >> 3, bytes = dataBits_ >> 3;
    uint32_t window = 0;
    if constexpr (kOldStyle) {
      for (uint64_t i = 0; i < 4; ++i) window |= uint32_t(byte + i < bytes ? data_[byte + i] : 0) << (8 * i);
      return int((window >> (bitPos & 7)) & ((1u << width) - 1));
    }
    for (uint64_t i = 0; i < 4; ++i) window = window << 8 | (byte + i < bytes ? data_[byte + i] : 0);
    return int((window << (bitPos & 7)) >> (32 - width));
  }

  const uint8_t* data_;
  const uint64_t dataBits_;
  const int rowLength_;
  uint64_t bitPos_ = 0;
  TLzwString table_[kTableSize];
  int defined_ = kFirstFree;
  int width_ = 9;
  // Where the previous code's string was written, and its length; 0 before the first code
  // after a Clear.
  uint32_t previousStart_ = 0;
  uint32_t previousLength_ = 0;
  bool started_ = false;
  bool ended_ = false;
  bool failed_ = false;
  bool oldStyle_ = false;
  std::unique_ptr<uint8_t[]> row_;
  std::unique_ptr<uint8_t[]> history_;
  int64_t capacity_ = 0;
  uint32_t epochStart_ = kDataStart;  // where the output since the last Clear starts
  uint32_t rowStart_ = kDataStart;
  uint32_t taken_ = 0;  // the row handed out by the last call
  uint32_t fill_ = kDataStart;
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
