// GIF LZW encoder: the classic hashing compressor. The string table is an open-addressed hash
// of (prefix code, next byte) pairs, so that extending the current string costs one probe in
// the common case.
#include <algorithm>
#include <vector>

#include "codecs/lzw_hash.h"
#include "gif_codec.h"
#include "gif_private.h"

namespace velora {

namespace {

constexpr int kHashSize = 5003;  // a prime somewhat above the table size
constexpr int kHashShift = 4;
constexpr int kBlockLength = 254;

class TLzwEncoder {
 public:
  explicit TLzwEncoder(int codeSize)
      : codeSize_(codeSize),
        clearCode_(1 << codeSize),
        endCode_(clearCode_ + 1),
        nextFree_(clearCode_ + 2),
        bits_(codeSize + 1),
        maxCode_((1 << bits_) - 1),
        keys_(kHashSize, -1),
        codes_(kHashSize, 0) {}

  // Codes the pixels in the order the walker gives them.
  template <typename Next>
  void Encode(int64_t count, Next next) {
    Output(clearCode_);
    int prefix = next();
    for (int64_t i = 1; i < count; ++i) {
      int c = next();
      int32_t key = (int32_t(c) << gif::kLzwMaxBits) + prefix;
      int slot = (c << kHashShift) ^ prefix;
      if (keys_[slot] == key) {
        prefix = codes_[slot];
        continue;
      }
      if (keys_[slot] >= 0 && LzwProbe(keys_.data(), codes_.data(), kHashSize, key, slot, prefix)) continue;
      Output(prefix);
      prefix = c;
      if (nextFree_ < gif::kLzwTableSize) {
        codes_[slot] = uint16_t(nextFree_++);
        keys_[slot] = key;
      } else {
        ClearTable();
      }
    }
    Output(prefix);
    Output(endCode_);
  }

  // The coded bytes as sub-blocks, with the zero-length terminator.
  std::vector<uint8_t> TakeBlocks() {
    FlushBlock();
    out_.push_back(0);
    return std::move(out_);
  }

 private:
  void ClearTable() {
    std::fill(keys_.begin(), keys_.end(), -1);
    nextFree_ = clearCode_ + 2;
    clearPending_ = true;
    Output(clearCode_);
  }

  void Output(int code) {
    accumulator_ |= uint32_t(code) << accumulatedBits_;
    accumulatedBits_ += bits_;
    while (accumulatedBits_ >= 8) {
      PutByte(uint8_t(accumulator_));
      accumulator_ >>= 8;
      accumulatedBits_ -= 8;
    }
    // The decoder widens its codes one code later than the table grows here.
    if (clearPending_) {
      bits_ = codeSize_ + 1;
      maxCode_ = (1 << bits_) - 1;
      clearPending_ = false;
    } else if (nextFree_ > maxCode_) {
      ++bits_;
      maxCode_ = bits_ == gif::kLzwMaxBits ? gif::kLzwTableSize : (1 << bits_) - 1;
    }
    if (code == endCode_ && accumulatedBits_ > 0) {
      PutByte(uint8_t(accumulator_));
      accumulator_ = 0;
      accumulatedBits_ = 0;
    }
  }

  void PutByte(uint8_t b) {
    block_[blockUsed_++] = b;
    if (blockUsed_ == kBlockLength) FlushBlock();
  }

  void FlushBlock() {
    if (blockUsed_ == 0) return;
    out_.push_back(uint8_t(blockUsed_));
    out_.insert(out_.end(), block_, block_ + blockUsed_);
    blockUsed_ = 0;
  }

  const int codeSize_;
  const int clearCode_;
  const int endCode_;
  int nextFree_;
  int bits_;
  int maxCode_;
  bool clearPending_ = false;
  std::vector<int32_t> keys_;
  std::vector<uint16_t> codes_;
  uint32_t accumulator_ = 0;
  int accumulatedBits_ = 0;
  uint8_t block_[kBlockLength];
  int blockUsed_ = 0;
  std::vector<uint8_t> out_;
};

}  // namespace

void GifLzwEncode(TVLStream& stream, int height, int width, int bitsPerPixel, const uint8_t* indices,
                  bool interlaced) {
  const int codeSize = std::clamp(bitsPerPixel, gif::kLzwMinCodeSize, 8);
  const uint8_t pixelMask = uint8_t((1 << codeSize) - 1);
  stream.WriteU8(uint8_t(codeSize));

  TLzwEncoder encoder(codeSize);
  if (width > 0 && height > 0 && indices) {
    std::vector<int> rows;
    rows.reserve(size_t(height));
    if (interlaced)
      gif::ForEachInterlacedRow(height, [&](int, int row) { rows.push_back(row); });
    else
      for (int row = 0; row < height; ++row) rows.push_back(row);

    size_t rowIndex = 0;
    int x = 0;
    const uint8_t* row = indices + int64_t(rows[0]) * width;
    encoder.Encode(int64_t(width) * height, [&]() -> int {
      if (x == width) {
        x = 0;
        row = indices + int64_t(rows[++rowIndex]) * width;
      }
      return row[x++] & pixelMask;
    });
  }
  std::vector<uint8_t> blocks = encoder.TakeBlocks();
  stream.WriteBuffer(blocks.data(), int64_t(blocks.size()));
}

}  // namespace velora
