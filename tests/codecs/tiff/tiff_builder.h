// Small TIFFs written byte by byte for the reader's tests: little-endian pages of entries and
// strips (or tiles), chained in order unless a test points an IFD elsewhere.
#pragma once
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "codecs/tiff/tiff_tags.h"
#include "test_bytes.h"

namespace velora::tifftest {

struct TEntry {
  uint16_t tag;
  uint16_t type;
  std::vector<uint32_t> values;  // ASCII: the bytes, BYTE and UNDEFINED: one per value
};

struct TPage {
  std::vector<TEntry> entries;
  std::vector<std::vector<uint8_t>> blocks;  // strips, or tiles when tiled
  bool tiled = false;
  int nextPage = -2;  // -2: the following page (0 after the last); else the IFD of that page
};

inline TEntry Short(uint16_t tag, std::vector<uint32_t> v) { return {tag, tiff::ftShort, std::move(v)}; }
inline TEntry Long(uint16_t tag, std::vector<uint32_t> v) { return {tag, tiff::ftLong, std::move(v)}; }
inline TEntry Rational(uint16_t tag, uint32_t num, uint32_t den) { return {tag, tiff::ftRational, {num, den}}; }
inline TEntry Ascii(uint16_t tag, const std::string& s) {
  TEntry e{tag, tiff::ftAscii, {}};
  for (char c : s) e.values.push_back(uint8_t(c));
  e.values.push_back(0);
  return e;
}

// A grey or bilevel page: width × height, bps bits, one strip per block given.
inline TPage GreyPage(uint32_t width, uint32_t height, uint32_t bps, uint32_t photometric, uint32_t rowsPerStrip,
                      std::vector<std::vector<uint8_t>> strips) {
  TPage p;
  p.entries = {Long(tiff::tgImageWidth, {width}), Long(tiff::tgImageLength, {height}),
               Short(tiff::tgBitsPerSample, {bps}), Short(tiff::tgPhotometricInterpretation, {photometric}),
               Long(tiff::tgRowsPerStrip, {rowsPerStrip})};
  p.blocks = std::move(strips);
  return p;
}

inline std::vector<uint8_t> BuildTiff(std::vector<TPage> pages) {
  using testbytes::PutU16;
  using testbytes::PutU32;
  std::vector<uint8_t> out = {'I', 'I', 42, 0, 0, 0, 0, 0};
  auto pad = [&] { if (out.size() % 2) out.push_back(0); };
  std::vector<uint32_t> ifdAt(pages.size());
  std::vector<size_t> nextField(pages.size());
  for (size_t n = 0; n < pages.size(); ++n) {
    TPage& page = pages[n];
    std::vector<uint32_t> offsets, counts;
    for (const auto& b : page.blocks) {
      offsets.push_back(uint32_t(out.size()));
      counts.push_back(uint32_t(b.size()));
      out.insert(out.end(), b.begin(), b.end());
    }
    if (!page.blocks.empty()) {
      page.entries.push_back(Long(page.tiled ? tiff::tgTileOffsets : tiff::tgStripOffsets, offsets));
      page.entries.push_back(Long(page.tiled ? tiff::tgTileByteCounts : tiff::tgStripByteCounts, counts));
    }
    std::sort(page.entries.begin(), page.entries.end(), [](const TEntry& a, const TEntry& b) { return a.tag < b.tag; });
    // Values too large for the entry go first.
    std::vector<uint32_t> valueAt(page.entries.size(), 0);
    for (size_t i = 0; i < page.entries.size(); ++i) {
      const TEntry& e = page.entries[i];
      const int size = tiff::FieldTypeSize(e.type);
      const size_t count = e.type == tiff::ftRational ? e.values.size() / 2 : e.values.size();
      if (count * size <= 4) continue;
      pad();
      valueAt[i] = uint32_t(out.size());
      for (uint32_t v : e.values) {
        if (size == 1) out.push_back(uint8_t(v));
        else if (size == 2) PutU16(out, v);
        else PutU32(out, v);
      }
    }
    pad();
    ifdAt[n] = uint32_t(out.size());
    PutU16(out, unsigned(page.entries.size()));
    for (size_t i = 0; i < page.entries.size(); ++i) {
      const TEntry& e = page.entries[i];
      const int size = tiff::FieldTypeSize(e.type);
      PutU16(out, e.tag);
      PutU16(out, e.type);
      PutU32(out, uint32_t(e.type == tiff::ftRational ? e.values.size() / 2 : e.values.size()));
      if (valueAt[i]) {
        PutU32(out, valueAt[i]);
        continue;
      }
      std::vector<uint8_t> field;
      for (uint32_t v : e.values) {
        if (size == 1) field.push_back(uint8_t(v));
        else if (size == 2) PutU16(field, v);
        else PutU32(field, v);
      }
      field.resize(4, 0);
      out.insert(out.end(), field.begin(), field.end());
    }
    nextField[n] = out.size();
    PutU32(out, 0);
  }
  out[4] = uint8_t(ifdAt.empty() ? 0 : ifdAt[0]), out[5] = uint8_t(ifdAt.empty() ? 0 : ifdAt[0] >> 8);
  out[6] = uint8_t(ifdAt.empty() ? 0 : ifdAt[0] >> 16), out[7] = uint8_t(ifdAt.empty() ? 0 : ifdAt[0] >> 24);
  for (size_t n = 0; n < pages.size(); ++n) {
    const int to = pages[n].nextPage == -2 ? (n + 1 < pages.size() ? int(n + 1) : -1) : pages[n].nextPage;
    const uint32_t next = to < 0 ? 0 : ifdAt[size_t(to)];
    for (int k = 0; k < 4; ++k) out[nextField[n] + size_t(k)] = uint8_t(next >> (8 * k));
  }
  return out;
}

}  // namespace velora::tifftest
