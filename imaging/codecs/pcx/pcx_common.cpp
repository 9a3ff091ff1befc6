// PCX header layout and run-length coding.
#include "pcx_private.h"

#include <algorithm>
#include <cstring>

#include "base/vl_byte_reader.h"

namespace velora::pcx {

void TPcxHeader::Parse(const uint8_t* b) {
  manufacturer = b[0];
  version = b[1];
  encoding = b[2];
  bitsPerPixel = b[3];
  xmin = GetU16LE(b + 4);
  ymin = GetU16LE(b + 6);
  xmax = GetU16LE(b + 8);
  ymax = GetU16LE(b + 10);
  hDpi = GetU16LE(b + 12);
  vDpi = GetU16LE(b + 14);
  std::memcpy(palette16, b + 16, 48);
  planes = b[65];
  bytesPerLine = GetU16LE(b + 66);
  paletteInfo = GetU16LE(b + 68);
}

void TPcxHeader::Serialize(uint8_t* b) const {
  std::memset(b, 0, kHeaderSize);
  b[0] = manufacturer;
  b[1] = version;
  b[2] = encoding;
  b[3] = bitsPerPixel;
  PutU16LE(b + 4, xmin);
  PutU16LE(b + 6, ymin);
  PutU16LE(b + 8, xmax);
  PutU16LE(b + 10, ymax);
  PutU16LE(b + 12, hDpi);
  PutU16LE(b + 14, vDpi);
  std::memcpy(b + 16, palette16, 48);
  b[65] = planes;
  PutU16LE(b + 66, bytesPerLine);
  PutU16LE(b + 68, paletteInfo);
}

bool TPcxRleDecoder::DecodeLine(uint8_t* line, int64_t count) {
  int64_t done = 0;
  while (done < count) {
    if (runLeft_ > 0) {
      int n = int(std::min<int64_t>(runLeft_, count - done));
      std::memset(line + done, runValue_, size_t(n));
      done += n;
      runLeft_ -= n;
      continue;
    }
    if (pos_ >= size_) return false;
    uint8_t b = data_[pos_++];
    if (b >= 0xC0) {
      if (pos_ >= size_) return false;
      runLeft_ = b & 0x3F;
      runValue_ = data_[pos_++];
    } else {
      line[done++] = b;
    }
  }
  return true;
}

void EncodeLine(const uint8_t* line, int count, std::vector<uint8_t>& out) {
  for (int i = 0; i < count;) {
    int run = 1;
    while (i + run < count && run < 63 && line[i + run] == line[i]) ++run;
    if (run > 1 || line[i] >= 0xC0) out.push_back(uint8_t(0xC0 + run));
    out.push_back(line[i]);
    i += run;
  }
  if (count & 1) out.push_back(0);
}

void PaletteFromRGB(const uint8_t* rgb, int count, TRGB* out) {
  for (int i = 0; i < count; ++i) out[i] = MakeRGB(rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]);
}

}  // namespace velora::pcx
