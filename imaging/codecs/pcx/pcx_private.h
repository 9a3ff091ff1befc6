// The PCX file header and the run-length coding shared by the reader and the writer.
#pragma once
#include <cstdint>
#include <vector>

#include "base/vl_types.h"

namespace velora::pcx {

constexpr int kHeaderSize = 128;
constexpr int kPaletteSize = 768;      // 256 × red, green, blue at the end of the file
constexpr uint8_t kPaletteMarker = 12;  // precedes that palette
constexpr uint8_t kManufacturer = 10;

struct TPcxHeader {
  uint8_t manufacturer = kManufacturer;
  uint8_t version = 5;
  uint8_t encoding = 1;
  uint8_t bitsPerPixel = 8;
  uint16_t xmin = 0, ymin = 0, xmax = 0, ymax = 0;
  uint16_t hDpi = 0, vDpi = 0;
  uint8_t palette16[48] = {};  // red, green, blue
  uint8_t planes = 1;
  uint16_t bytesPerLine = 0;
  uint16_t paletteInfo = 1;

  int Width() const { return int(xmax) - int(xmin) + 1; }
  int Height() const { return int(ymax) - int(ymin) + 1; }
  void Parse(const uint8_t* b);
  void Serialize(uint8_t* b) const;
};

// Run-length decoder over a memory block. Runs may carry on from one plane line into the
// next; nothing is ever written past the line asked for, and a run still pending at the
// end of the image is dropped.
class TPcxRleDecoder {
 public:
  TPcxRleDecoder(const uint8_t* data, int64_t size) : data_(data), size_(size) {}
  // Fills count bytes; false when the data ran out (the rest of the line is left as it was).
  bool DecodeLine(uint8_t* line, int64_t count);

 private:
  const uint8_t* data_;
  int64_t size_;
  int64_t pos_ = 0;
  int runLeft_ = 0;
  uint8_t runValue_ = 0;
};

// Appends the run-length coding of one plane line to out (with a zero pad byte when the
// line's length is odd).
void EncodeLine(const uint8_t* line, int count, std::vector<uint8_t>& out);

// Palette from red, green, blue triples to TRGB.
void PaletteFromRGB(const uint8_t* rgb, int count, TRGB* out);

}  // namespace velora::pcx
