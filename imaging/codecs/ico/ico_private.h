// Icon and cursor file structures: the directory and the device-independent bitmap each
// image is stored as (an information header without a file header, the XOR and AND
// bitmaps), and the decoder that turns one such image into a toolkit bitmap.
#pragma once
#include <cstdint>
#include <vector>

#include "bitmap/toolkit_bitmap.h"
#include "bitmap/vl_mask.h"
#include "base/progress.h"
#include "base/vl_stream.h"

namespace velora::ico {

constexpr int kFileHeaderSize = 6;
constexpr int kEntrySize = 16;
constexpr int kInfoHeaderSize = 40;
constexpr int kMinStreamSize = 23;  // a header, one entry and at least one byte of data
constexpr uint16_t kTypeIcon = 1;
constexpr uint16_t kTypeCursor = 2;

struct TIconDirEntry {
  uint8_t width = 0;
  uint8_t height = 0;
  uint8_t colorCount = 0;
  uint8_t reserved = 0;
  uint16_t planes = 0;    // cursor: hot spot x
  uint16_t bitCount = 0;  // cursor: hot spot y
  uint32_t bytesInRes = 0;
  uint32_t imageOffset = 0;
  void Parse(const uint8_t* b);
};

struct TInfoHeader {
  uint32_t biSize = 0;
  int32_t biWidth = 0;
  int32_t biHeight = 0;
  uint16_t biPlanes = 0;
  uint16_t biBitCount = 0;
  uint32_t biCompression = 0;
  uint32_t biSizeImage = 0;
  int32_t biXPelsPerMeter = 0;
  int32_t biYPelsPerMeter = 0;
  uint32_t biClrUsed = 0;
  uint32_t biClrImportant = 0;
  void Parse(const uint8_t* b);
};

// What the reader decided about one image before decoding it.
struct TIconImage {
  int width = 0;
  int height = 0;
  int bitCount = 0;
  std::vector<TRGB> colorTable;  // blue, green, red
  uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};  // red, green, blue of 16-bit pixels
  TRGB background;
};

// Reads the XOR and AND bitmaps that follow the colour table at the stream's position into
// bitmap (already sized: 1-bit for 1-bit images, else 24-bit) and mask (8-bit, filled with
// 255, or nullptr). Short data leaves the pixels it does not reach as they were.
void DecodeIconBitmaps(TVLStream& stream, const TIconImage& image, TBitmap& bitmap, TVLMask* mask,
                       TVLProgressRecord& progress);

}  // namespace velora::ico
