// Decoding of one icon or cursor image stored as XOR and AND bitmaps.
#include <algorithm>
#include <cstring>

#include "base/vl_byte_reader.h"
#include "codecs/bmp/bmp_dib.h"
#include "ico_private.h"

namespace velora::ico {

namespace {

inline bool Bit(const uint8_t* row, int x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }

// Reads height bottom-up rows of rowLen bytes; calls store(scanLine, row) for each row that
// is there in full. Returns false when the data ended early.
template <class Store>
bool ReadRows(TVLStream& stream, int height, int64_t rowLen, Store store) {
  std::vector<uint8_t> row(static_cast<size_t>(rowLen));
  for (int r = 0; r < height; ++r) {
    if (stream.Read(row.data(), rowLen) != rowLen) return false;
    store(height - 1 - r, row.data());
  }
  return true;
}

inline uint8_t Blend(uint8_t c, uint8_t bg, int alpha) { return uint8_t((c * alpha + bg * (255 - alpha) + 127) / 255); }

}  // namespace

void TIconDirEntry::Parse(const uint8_t* b) {
  width = b[0];
  height = b[1];
  colorCount = b[2];
  reserved = b[3];
  planes = GetU16LE(b + 4);
  bitCount = GetU16LE(b + 6);
  bytesInRes = GetU32LE(b + 8);
  imageOffset = GetU32LE(b + 12);
}

void TInfoHeader::Parse(const uint8_t* b) {
  biSize = GetU32LE(b);
  biWidth = GetI32LE(b + 4);
  biHeight = GetI32LE(b + 8);
  biPlanes = GetU16LE(b + 12);
  biBitCount = GetU16LE(b + 14);
  biCompression = GetU32LE(b + 16);
  biSizeImage = GetU32LE(b + 20);
  biXPelsPerMeter = GetI32LE(b + 24);
  biYPelsPerMeter = GetI32LE(b + 28);
  biClrUsed = GetU32LE(b + 32);
  biClrImportant = GetU32LE(b + 36);
}

void DecodeIconBitmaps(TVLStream& stream, const TIconImage& image, TBitmap& bitmap, TVLMask* mask,
                       TVLProgressRecord& progress) {
  const int w = image.width, h = image.height, bits = image.bitCount;
  const TRGB bg = image.background;
  // Indexes the colour table does not hold read as black.
  TRGB palette[256] = {};
  std::copy_n(image.colorTable.begin(), std::min<size_t>(image.colorTable.size(), 256), palette);
  progress.per1 = 100.0 / h;
  int rowsDone = 0;
  auto reportRow = [&] { progress.ReportRows(++rowsDone); };

  // 32-bit images carry their own alpha; when every alpha byte is 0 the image is one of the
  // older kind that relies on the AND bitmap instead.
  std::vector<uint8_t> alpha;
  bool anyAlpha = false;
  bool complete = false;
  const int64_t xorRowLen = RowSize(w, bits);
  switch (bits) {
    case 1:
      complete = ReadRows(stream, h, xorRowLen, [&](int y, const uint8_t* row) {
        std::memcpy(bitmap.ScanLine(y), row, size_t(std::min<int64_t>(xorRowLen, bitmap.RowLen())));
        reportRow();
      });
      break;
    case 4:
    case 8:
      complete = ReadRows(stream, h, xorRowLen, [&](int y, const uint8_t* row) {
        auto* px = reinterpret_cast<TRGB*>(bitmap.ScanLine(y));
        for (int x = 0; x < w; ++x) px[x] = palette[bits == 8 ? row[x] : (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15];
        reportRow();
      });
      break;
    case 16: {
      const bmp::TBitField red(image.masks[0]), green(image.masks[1]), blue(image.masks[2]);
      complete = ReadRows(stream, h, xorRowLen, [&](int y, const uint8_t* row) {
        auto* px = reinterpret_cast<TRGB*>(bitmap.ScanLine(y));
        for (int x = 0; x < w; ++x) {
          const uint32_t v = uint32_t(row[2 * x] | row[2 * x + 1] << 8);
          px[x] = TRGB{blue.Extract(v), green.Extract(v), red.Extract(v)};
        }
        reportRow();
      });
      break;
    }
    case 24:
      ReadRows(stream, h, xorRowLen, [&](int y, const uint8_t* row) {
        std::memcpy(bitmap.ScanLine(y), row, size_t(w) * 3);
        reportRow();
      });
      return;  // 24-bit images ignore their AND bitmap
    case 32:
      // The alpha plane grows with the rows really read (bottom row first), so that a short
      // file declaring a huge image neither allocates nor walks more than its data.
      complete = ReadRows(stream, h, xorRowLen, [&](int y, const uint8_t* row) {
        auto* px = reinterpret_cast<TRGB*>(bitmap.ScanLine(y));
        for (int x = 0; x < w; ++x) {
          px[x] = TRGB{row[4 * x], row[4 * x + 1], row[4 * x + 2]};
          alpha.push_back(row[4 * x + 3]);
          anyAlpha = anyAlpha || row[4 * x + 3] != 0;
        }
        reportRow();
      });
      break;
    default: return;  // other depths stay blank
  }

  if (bits == 32 && anyAlpha) {
    const int rowsRead = int(alpha.size() / size_t(w));
    for (int r = 0; r < rowsRead; ++r) {
      const int y = h - 1 - r;
      auto* px = reinterpret_cast<TRGB*>(bitmap.ScanLine(y));
      for (int x = 0; x < w; ++x) {
        const int a = alpha[size_t(int64_t(r) * w + x)];
        if (a == 0)
          px[x] = bg;
        else if (!mask)
          px[x] = TRGB{Blend(px[x].b, bg.b, a), Blend(px[x].g, bg.g, a), Blend(px[x].r, bg.r, a)};
        if (mask) mask->SetPixel(x, y, a);
      }
    }
    return;
  }
  if (!complete) return;

  const bool whiteBackground = bg == TRGB{255, 255, 255};
  ReadRows(stream, h, RowSize(w, 1), [&](int y, const uint8_t* andRow) {
    uint8_t* dest = bitmap.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      if (!Bit(andRow, x)) continue;
      if (mask) mask->SetPixel(x, y, 0);
      if (bits == 1) {
        // The transparent pixel shows the background: its XOR bit flipped when that is white.
        if (whiteBackground) dest[x >> 3] ^= uint8_t(0x80 >> (x & 7));
      } else {
        reinterpret_cast<TRGB*>(dest)[x] = bg;
      }
    }
  });
}

}  // namespace velora::ico
