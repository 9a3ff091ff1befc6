// The structures of a BMP file (a device-independent bitmap behind a file header), shared by
// the reader and the writer, and by the icon reader, whose images are the same bitmaps without
// the file header. All numbers in the file are little-endian.
#pragma once
#include <cstdint>
#include <cstring>

#include "base/vl_byte_reader.h"
#include "proc/pixel_formats.h"

namespace velora::bmp {

constexpr uint16_t kSignature = 0x4D42;  // "BM"
constexpr int kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kOs2HeaderSize = 64;
// Headers from this size on (the V4 and V5 variants) hold the three colour masks at
// offsets 40, 44 and 48.
constexpr uint32_t kMasksInHeaderSize = 52;
constexpr int kMaxPaletteEntries = 256;

enum TBmpCompressionCode : uint32_t { bcNone = 0, bcRle8 = 1, bcRle4 = 2, bcBitFields = 3, bcJpeg = 4, bcPng = 5 };

// BmpVersion of the parameter record.
enum : uint8_t { bvOther = 0, bvInfo = 1, bvCore = 2, bvOs2 = 3 };

struct TBmpFileHeader {
  uint16_t bfType = 0;
  uint32_t bfSize = 0;
  uint16_t bfReserved1 = 0;
  uint16_t bfReserved2 = 0;
  uint32_t bfOffBits = 0;

  void Decode(const uint8_t (&b)[kFileHeaderSize]) {
    bfType = GetU16LE(b), bfSize = GetU32LE(b + 2), bfReserved1 = GetU16LE(b + 6), bfReserved2 = GetU16LE(b + 8);
    bfOffBits = GetU32LE(b + 10);
  }
  void Encode(uint8_t (&b)[kFileHeaderSize]) const {
    PutU16LE(b, bfType), PutU32LE(b + 2, bfSize), PutU16LE(b + 6, bfReserved1), PutU16LE(b + 8, bfReserved2);
    PutU32LE(b + 10, bfOffBits);
  }
};

// One colour channel of a bit-field pixel: where its mask sits and how wide it is (the
// consecutive 1-bits from the lowest set bit).
struct TBitField {
  uint32_t mask = 0;
  int shift = 0;
  int width = 0;

  explicit TBitField(uint32_t m) : mask(m) {
    if (m == 0) return;
    while (!(m & 1)) m >>= 1, ++shift;
    for (; m & 1; m >>= 1) ++width;
  }
  // The channel as a byte: narrower channels repeat their bits downwards, so that a 5-bit
  // white reads 255 and not 248; wider ones keep their top 8 bits (a zero mask gives 0).
  uint8_t Extract(uint32_t pixel) const { return WidenChannel((pixel & mask) >> shift, width); }
};

// Offsets inside the information header (40 bytes and the longer variants).
namespace info {
constexpr int biSize = 0, biWidth = 4, biHeight = 8, biPlanes = 12, biBitCount = 14, biCompression = 16,
              biSizeImage = 20, biXPelsPerMeter = 24, biYPelsPerMeter = 28, biClrUsed = 32,
              biClrImportant = 36, bV4RedMask = 40, bV4GreenMask = 44, bV4BlueMask = 48;
}
// Offsets inside the 12-byte core header.
namespace core {
constexpr int bcSize = 0, bcWidth = 4, bcHeight = 6, bcPlanes = 8, bcBitCount = 10;
}

}  // namespace velora::bmp
