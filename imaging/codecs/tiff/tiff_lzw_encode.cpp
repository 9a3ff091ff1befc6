// TIFF LZW encoder: the hashing compressor of the GIF writer with TIFF's conventions (codes
// most significant bit first, the width growing one code early). The string table is an
// open-addressed hash of (prefix code, next byte) pairs, one probe per byte in the common case.
// The hash has 9001 slots rather than the GIF encoder's 5003: a table of up to 3836 strings
// then fills it less than half, so that a miss (every code emitted) ends after a probe or two;
// the codes written are the same whatever the size.
#include <algorithm>
#include <memory>

#include "codecs/lzw_hash.h"
#include "tiff_lzw.h"

namespace velora {

namespace {

using namespace tifflzw;

constexpr int kHashSize = 9001;  // a prime above twice the strings a table holds
constexpr int kHashShift = 5;    // (255 << 5) ^ 4095 stays inside the hash
constexpr int kBlockLength = 254;
// The last code handed out before the table is cleared; the decoder, one code behind, then
// never defines more than 4094 codes and never needs a thirteenth bit.
constexpr int kLastFree = 4093;

class TLzwEncoder {
 public:
  explicit TLzwEncoder(TVLStream& stream) {
    std::fill(std::begin(keys_), std::end(keys_), -1);
    Output(kClear, stream);
  }

  // The state lives in locals while a row is coded: the byte stores into the output block
  // would otherwise make the compiler reload every member after each of them.
  void Encode(const uint8_t* data, int length, TVLStream& stream) {
    int i = 0;
    if (prefix_ < 0 && length > 0) prefix_ = data[i++];
    int prefix = prefix_, nextFree = nextFree_, width = width_, limit = limit_, bits = bits_, used = blockUsed_;
    uint64_t accumulator = accumulator_;
    int32_t* const keys = keys_;
    uint16_t* const codes = codes_;
    uint8_t* const block = block_;
    auto output = [&](int code) {
      accumulator |= uint64_t(code) << (64 - bits - width);
      bits += width;
      while (bits >= 8) {
        block[used++] = uint8_t(accumulator >> 56);
        accumulator <<= 8;
        bits -= 8;
        if (used == kBlockLength) {
          blockUsed_ = used;
          Flush(stream);
          used = 0;
        }
      }
    };
    for (; i < length; ++i) {
      const int c = data[i];
      const int32_t key = (int32_t(c) << kMaxBits) + prefix;
      int slot = (c << kHashShift) ^ prefix;
      if (keys[slot] == key) {
        prefix = codes[slot];
        continue;
      }
      if (keys[slot] >= 0 && LzwProbe(keys, codes, kHashSize, key, slot, prefix)) continue;
      output(prefix);
      // The decoder, one code behind, widens when its table reaches the limit: one code early.
      if (nextFree >= limit && width < kMaxBits) {
        ++width;
        limit = width == kMaxBits ? kTableSize - 1 : (1 << width) - 1;
      }
      prefix = c;
      if (nextFree <= kLastFree) {
        codes[slot] = uint16_t(nextFree++);
        keys[slot] = key;
      } else {
        std::fill(keys, keys + kHashSize, -1);
        nextFree = kFirstFree;
        output(kClear);
        width = 9, limit = 511;
      }
    }
    prefix_ = prefix, nextFree_ = nextFree, width_ = width, limit_ = limit, bits_ = bits, blockUsed_ = used;
    accumulator_ = accumulator;
  }

  void Finish(TVLStream& stream) {
    if (prefix_ >= 0) Output(prefix_, stream);
    Output(kEndOfInformation, stream);
    if (bits_ > 0) PutByte(uint8_t(accumulator_ >> 56), stream);
    Flush(stream);
  }

 private:
  void Output(int code, TVLStream& stream) {
    accumulator_ |= uint64_t(code) << (64 - bits_ - width_);
    bits_ += width_;
    while (bits_ >= 8) {
      PutByte(uint8_t(accumulator_ >> 56), stream);
      accumulator_ <<= 8;
      bits_ -= 8;
    }
    if (code == kClear) {
      width_ = 9;
      limit_ = 511;
    } else if (nextFree_ >= limit_ && width_ < kMaxBits) {
      // The decoder, one code behind, widens when its table reaches the limit: one code early.
      ++width_;
      limit_ = width_ == kMaxBits ? kTableSize - 1 : (1 << width_) - 1;
    }
  }

  void PutByte(uint8_t b, TVLStream& stream) {
    block_[blockUsed_++] = b;
    if (blockUsed_ == kBlockLength) Flush(stream);
  }

  void Flush(TVLStream& stream) {
    if (blockUsed_ == 0) return;
    const int64_t written = stream.Write(block_, blockUsed_);
    if (written != blockUsed_) throw EVLStreamError("TIFF LZW: the stream took fewer bytes than written");
    blockUsed_ = 0;
  }

  int prefix_ = -1;  // the current string's code; -1 before the first byte
  int nextFree_ = kFirstFree;
  int width_ = 9;
  int limit_ = 511;
  int32_t keys_[kHashSize];
  uint16_t codes_[kHashSize] = {};
  uint64_t accumulator_ = 0;  // filled from its most significant end
  int bits_ = 0;
  uint8_t block_[kBlockLength];
  int blockUsed_ = 0;
};

}  // namespace

void TiffLzwEncode(const uint8_t* data, int length, TVLStream& stream, void** state) {
  std::unique_ptr<TLzwEncoder> encoder(static_cast<TLzwEncoder*>(*state));
  *state = nullptr;
  if (data == nullptr) {
    if (encoder) encoder->Finish(stream);
    return;  // released, also when Finish throws
  }
  if (!encoder) encoder = std::make_unique<TLzwEncoder>(stream);
  encoder->Encode(data, length, stream);
  *state = encoder.release();
}

}  // namespace velora
