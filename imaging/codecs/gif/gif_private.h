// Structures and constants shared by the GIF reader, writer and LZW coder.
#pragma once
#include <cstdint>

#include "base/vl_types.h"

namespace velora::gif {

constexpr uint8_t kExtensionIntroducer = 0x21;
constexpr uint8_t kImageSeparator = 0x2C;
constexpr uint8_t kTrailer = 0x3B;
constexpr uint8_t kGraphicControlLabel = 0xF9;

// Logical screen descriptor, as it follows the six signature bytes.
struct TGifScreen {
  uint16_t width = 0;
  uint16_t height = 0;
  uint8_t packed = 0;  // bit 7 global table, bits 4-6 colour resolution, bits 0-2 table size
  uint8_t background = 0;
  uint8_t aspect = 0;

  bool HasGlobalTable() const { return (packed & 0x80) != 0; }
  int TableSizeField() const { return packed & 7; }
};

// Image descriptor, without its 0x2C separator.
struct TGifImageDescriptor {
  uint16_t left = 0;
  uint16_t top = 0;
  uint16_t width = 0;
  uint16_t height = 0;
  uint8_t packed = 0;  // bit 7 local table, bit 6 interlaced, bits 0-2 table size

  bool HasLocalTable() const { return (packed & 0x80) != 0; }
  bool Interlaced() const { return (packed & 0x40) != 0; }
  int TableSizeField() const { return packed & 7; }
};

// The four data bytes of a graphic control extension.
struct TGifGraphicControl {
  uint8_t packed = 0;  // bit 0 transparency, bits 2-4 disposal
  uint16_t delay = 0;  // hundredths of a second
  uint8_t transparentIndex = 0;

  bool Transparent() const { return (packed & 1) != 0; }
  int Disposal() const { return (packed >> 2) & 7; }
};

// Number of entries of a colour table whose size field is n.
inline int TableEntries(int sizeField) { return 1 << (sizeField + 1); }

// LZW limits shared by the coder's two halves.
constexpr int kLzwMaxBits = 12;
constexpr int kLzwTableSize = 1 << kLzwMaxBits;
constexpr int kLzwMinCodeSize = 2;
constexpr int kLzwMaxCodeSize = 9;

// Interlaced row order: pass p starts at kPassStart[p] and steps by kPassStep[p].
constexpr int kPassStart[4] = {0, 4, 2, 1};
constexpr int kPassStep[4] = {8, 8, 4, 2};

// Row of the k-th row written in an interlaced frame of `height` rows (k < height).
template <typename F>
void ForEachInterlacedRow(int height, F&& visit) {
  int k = 0;
  for (int pass = 0; pass < 4; ++pass)
    for (int row = kPassStart[pass]; row < height; row += kPassStep[pass]) visit(k++, row);
}

}  // namespace velora::gif
