// Hand-made GIF streams for the GIF tests: an independent LZW encoder (a plain dictionary,
// no hashing) that can clear mid-stream or keep going with a full table, and a file builder.
#pragma once
#include <cstdint>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "test_bytes.h"

namespace giftest {

struct Rgb {
  uint8_t r, g, b;
};

struct RefLzwOptions {
  bool clearWhenFull = true;  // false: keep coding with the full table (deferred clearing)
  std::set<size_t> clearsAt;  // pixel positions before which a clear code is sent
  bool doubleClear = false;   // send those clear codes twice
};

class BitWriter {
 public:
  void Put(uint32_t code, int width) {
    acc_ |= uint64_t(code) << bits_;
    bits_ += width;
    while (bits_ >= 8) {
      bytes.push_back(uint8_t(acc_));
      acc_ >>= 8;
      bits_ -= 8;
    }
  }
  void Flush() {
    if (bits_ > 0) bytes.push_back(uint8_t(acc_));
    acc_ = 0;
    bits_ = 0;
  }
  std::vector<uint8_t> bytes;

 private:
  uint64_t acc_ = 0;
  int bits_ = 0;
};

// The raw code bytes of `pixels` (in transmission order) at minimum code size s.
inline std::vector<uint8_t> RefLzwCodes(const std::vector<uint8_t>& pixels, int s, const RefLzwOptions& opt = {},
                                        int* maxWidth = nullptr) {
  const uint32_t clear = 1u << s, end = clear + 1;
  BitWriter out;
  // What the decoder will do, so that each code goes out at the width it will be read with.
  int decWidth = s + 1, decCount = 0, widest = decWidth;
  uint32_t decNext = clear + 2;
  bool decFull = false;
  auto emit = [&](uint32_t code) {
    out.Put(code, decWidth);
    if (code == clear) {
      decWidth = s + 1;
      decNext = clear + 2;
      decFull = false;
      decCount = 0;
      return;
    }
    if (decCount++ >= 1 && !decFull) {
      if (++decNext == (1u << decWidth)) {
        if (decWidth < 12)
          widest = std::max(widest, ++decWidth);
        else
          decFull = true;
      }
    }
  };
  std::map<std::pair<uint32_t, uint8_t>, uint32_t> dict;
  uint32_t encNext = clear + 2;
  auto reset = [&] {
    dict.clear();
    encNext = clear + 2;
  };
  emit(clear);
  uint32_t w = pixels[0];
  for (size_t p = 1; p < pixels.size(); ++p) {
    uint8_t c = pixels[p];
    if (opt.clearsAt.count(p)) {
      emit(w);
      emit(clear);
      if (opt.doubleClear) emit(clear);
      reset();
      w = c;
      continue;
    }
    auto it = dict.find({w, c});
    if (it != dict.end()) {
      w = it->second;
      continue;
    }
    emit(w);
    if (encNext < 4096) {
      dict[{w, c}] = encNext++;
    } else if (opt.clearWhenFull) {
      emit(clear);
      reset();
    }
    w = c;
  }
  emit(w);
  emit(end);
  out.Flush();
  if (maxWidth) *maxWidth = widest;
  return out.bytes;
}

// Code-size byte, the bytes as sub-blocks of up to 255, the zero terminator.
inline std::vector<uint8_t> SubBlocks(int codeSize, const std::vector<uint8_t>& bytes, bool terminator = true) {
  std::vector<uint8_t> out{uint8_t(codeSize)};
  for (size_t i = 0; i < bytes.size(); i += 255) {
    size_t n = std::min<size_t>(255, bytes.size() - i);
    out.push_back(uint8_t(n));
    out.insert(out.end(), bytes.begin() + i, bytes.begin() + i + n);
  }
  if (terminator) out.push_back(0);
  return out;
}

struct Frame {
  int left = 0, top = 0, width = 1, height = 1;
  std::vector<uint8_t> pixels;  // row order, top to bottom
  std::vector<Rgb> localTable;  // empty: none
  bool interlaced = false;
  bool gce = false;
  int delay = 0;
  bool transparent = false;
  int transparentIndex = 0;
  int disposal = 0;              // in the control extension
  int codeSize = 0;              // 0: from the table size
  std::vector<uint8_t> rawData;  // when set, written instead of coding the pixels
};

using velora::testbytes::PutU16;

inline int SizeField(size_t entries) {
  int f = 0;
  while ((2u << f) < entries) ++f;
  return f;
}

inline void PutTable(std::vector<uint8_t>& v, const std::vector<Rgb>& table) {
  for (size_t i = 0; i < (2u << SizeField(table.size())); ++i) {
    Rgb c = i < table.size() ? table[i] : Rgb{0, 0, 0};
    v.insert(v.end(), {c.r, c.g, c.b});
  }
}

// Rows in the order an interlaced frame sends them.
inline std::vector<uint8_t> InterlaceOrder(const std::vector<uint8_t>& px, int w, int h) {
  std::vector<uint8_t> out;
  const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
  for (int p = 0; p < 4; ++p)
    for (int y = start[p]; y < h; y += step[p]) out.insert(out.end(), px.begin() + y * w, px.begin() + (y + 1) * w);
  return out;
}

inline std::vector<uint8_t> BuildGif(int screenW, int screenH, const std::vector<Rgb>& global,
                                     const std::vector<Frame>& frames, bool trailer = true, int background = 0) {
  std::vector<uint8_t> v{'G', 'I', 'F', '8', '9', 'a'};
  PutU16(v, screenW);
  PutU16(v, screenH);
  int gf = SizeField(global.size());
  v.push_back(uint8_t(global.empty() ? 0 : 0x80 | (gf << 4) | gf));
  v.push_back(uint8_t(background));
  v.push_back(0);
  if (!global.empty()) PutTable(v, global);
  for (const Frame& f : frames) {
    if (f.gce) {
      v.insert(v.end(), {0x21, 0xF9, 4, uint8_t((f.transparent ? 1 : 0) | f.disposal << 2)});
      PutU16(v, f.delay);
      v.insert(v.end(), {uint8_t(f.transparentIndex), 0});
    }
    v.push_back(0x2C);
    PutU16(v, f.left);
    PutU16(v, f.top);
    PutU16(v, f.width);
    PutU16(v, f.height);
    uint8_t packed = f.interlaced ? 0x40 : 0;
    if (!f.localTable.empty()) packed |= uint8_t(0x80 | SizeField(f.localTable.size()));
    v.push_back(packed);
    if (!f.localTable.empty()) PutTable(v, f.localTable);
    if (!f.rawData.empty()) {
      v.insert(v.end(), f.rawData.begin(), f.rawData.end());
    } else {
      size_t entries = f.localTable.empty() ? global.size() : f.localTable.size();
      int s = f.codeSize ? f.codeSize : std::max(2, SizeField(entries) + 1);
      auto order = f.interlaced ? InterlaceOrder(f.pixels, f.width, f.height) : f.pixels;
      auto data = SubBlocks(s, RefLzwCodes(order, s));
      v.insert(v.end(), data.begin(), data.end());
    }
  }
  if (trailer) v.push_back(0x3B);
  return v;
}

}  // namespace giftest
