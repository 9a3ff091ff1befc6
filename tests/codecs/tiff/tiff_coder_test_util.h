// Shared by the TIFF coder tests: bit strings written by hand, the pictures the fax tests code
// (1 bit per pixel, 1 black, as the encoders take them) and whole-strip coding with our coders.
#pragma once
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/progress.h"
#include "base/vl_stream.h"
#include "codecs/tiff/fax_coder.h"

namespace velora::tifftest {

using Bytes = std::vector<uint8_t>;

// Bits given as '0'/'1' text, most significant bit first, padded with zeros to a byte.
inline Bytes BitsToBytes(const std::string& bits) {
  Bytes out((bits.size() + 7) / 8, 0);
  for (size_t i = 0; i < bits.size(); ++i)
    if (bits[i] == '1') out[i / 8] |= uint8_t(0x80 >> (i % 8));
  return out;
}

inline std::string BytesToBits(const Bytes& bytes) {
  std::string s;
  for (uint8_t b : bytes)
    for (int i = 7; i >= 0; --i) s += ((b >> i) & 1) ? '1' : '0';
  return s;
}

inline Bytes ReverseBits(Bytes bytes) {
  for (auto& b : bytes) {
    uint8_t r = 0;
    for (int i = 0; i < 8; ++i) r |= uint8_t(((b >> i) & 1) << (7 - i));
    b = r;
  }
  return bytes;
}

// Equal byte strings, or where they first differ (gtest would print every byte).
inline ::testing::AssertionResult SameBytes(const Bytes& actual, const Bytes& expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  size_t i = 0;
  while (i < actual.size() && i < expected.size() && actual[i] == expected[i]) ++i;
  return ::testing::AssertionFailure() << "sizes " << actual.size() << " and " << expected.size()
                                       << ", first difference at byte " << i;
}

inline int RowBytes(int width) { return (width + 7) / 8; }

enum class TPattern { White, Black, Alternating, Text };

// rows × RowBytes(width) bytes, 1 black. Text: lines of glyph-like strokes with gaps between
// lines and words, the kind of page fax coding is made for.
inline Bytes MakePage(int width, int rows, TPattern pattern, uint32_t seed = 1) {
  const int rb = RowBytes(width);
  Bytes page(size_t(rb) * rows, 0);
  auto set = [&](int x, int y) { page[size_t(y) * rb + x / 8] |= uint8_t(0x80 >> (x % 8)); };
  std::mt19937 rng(seed);
  for (int y = 0; y < rows; ++y) {
    for (int x = 0; x < width; ++x) {
      switch (pattern) {
        case TPattern::White: break;
        case TPattern::Black: set(x, y); break;
        case TPattern::Alternating:
          if ((x + y) % 2) set(x, y);
          break;
        case TPattern::Text: break;
      }
    }
  }
  if (pattern == TPattern::Text) {
    // Glyphs are 6..14 pixel cells of vertical and horizontal strokes on 24-row text lines.
    for (int top = 2; top + 16 < rows + 16; top += 24) {
      int x = 3 + int(rng() % 5);
      while (x < width) {
        const int glyph = 6 + int(rng() % 9);
        const uint32_t shape = rng();
        for (int y = top; y < top + 16 && y < rows; ++y)
          for (int gx = x; gx < x + glyph && gx < width; ++gx) {
            const int cx = gx - x, cy = y - top;
            const bool stem = (shape & 1) && cx < 2;
            const bool bar = ((shape >> 1) & 1) && (cy == 7 || cy == 8);
            const bool cap = ((shape >> 2) & 1) && cy < 2;
            const bool right = ((shape >> 3) & 1) && cx >= glyph - 2;
            if (stem || bar || cap || right) set(gx, y);
          }
        x += glyph + 2 + ((rng() % 6 == 0) ? 10 : 0);
      }
    }
  }
  return page;
}

enum class TFaxCoding { Mh, G3OneD, G3TwoD, G4 };

// Codes the rows with our encoders; the strip's bytes, most significant bit first.
inline Bytes EncodeFax(TFaxCoding coding, const Bytes& page, int width, int rows) {
  TVLMemoryStream stream;
  TVLLocalProgress progress;
  TFaxEncoderState state;
  auto encode = [&](const uint8_t* row) {
    switch (coding) {
      case TFaxCoding::Mh: EncodeMhRow(row, width, stream, progress.record, state); break;
      case TFaxCoding::G3OneD: EncodeT4Row(row, width, stream, progress.record, state); break;
      case TFaxCoding::G3TwoD: EncodeT4Row2D(row, width, stream, progress.record, state); break;
      case TFaxCoding::G4: EncodeT6Row(row, width, stream, progress.record, state); break;
    }
  };
  for (int y = 0; y < rows; ++y) encode(page.data() + size_t(y) * RowBytes(width));
  encode(nullptr);
  return stream.Data();
}

// Decodes rows with our decoders and inverts them to the encoders' convention (1 black), the
// padding bits of each row's last byte cleared.
inline Bytes DecodeFax(TFaxCoding coding, const Bytes& strip, int width, int rows, int fillOrder,
                       bool fillBits = false) {
  const int rb = RowBytes(width);
  Bytes page(size_t(rb) * rows, 0);
  TFaxReferenceLine reference;
  reference.Reset(width);
  int64_t bit = 0, byte = 0;
  for (int y = 0; y < rows; ++y) {
    uint8_t* row = page.data() + size_t(y) * rb;
    const int64_t size = int64_t(strip.size());
    switch (coding) {
      case TFaxCoding::Mh:
        byte += DecodeMhRow(row, strip.data() + byte, size - byte, width, fillOrder);
        break;
      case TFaxCoding::G3OneD: bit = DecodeT4Row(row, strip.data(), size, width, fillOrder, bit); break;
      case TFaxCoding::G3TwoD:
      case TFaxCoding::G4:
        bit = DecodeT4T6Row2D(row, strip.data(), size, fillBits, fillOrder, bit, reference, width);
        break;
    }
    for (int i = 0; i < rb; ++i) row[i] = uint8_t(~row[i]);
    if (width % 8) row[rb - 1] &= uint8_t(0xFF << (8 - width % 8));
  }
  return page;
}

// Photo-like bytes: smooth gradients with a little noise, as LZW meets them in photographs.
inline Bytes PhotoLike(size_t n, uint32_t seed, int rowLength = 3000) {
  std::mt19937 rng(seed);
  Bytes out(n);
  for (size_t i = 0; i < n; ++i) {
    const int x = int(i % rowLength), y = int(i / rowLength);
    out[i] = uint8_t((x / 7 + y / 5 + (x * y) / 4000) % 256 / 2 + 64 + int(rng() % 6));
  }
  return out;
}

}  // namespace velora::tifftest
