// The decompressors of one strip or tile: each fills whole lines of the block and says how many
// it completed, never reading past the strip's bytes nor writing past the block.
#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "fax_coder.h"
#include "tiff_decode.h"

namespace velora::tiff {

namespace {

int64_t CopyLines(const std::vector<uint8_t>& raw, int64_t lineBytes, int64_t lines, uint8_t* out) {
  const int64_t whole = std::min<int64_t>(int64_t(raw.size()) / lineBytes, lines);
  std::memcpy(out, raw.data(), size_t(whole * lineBytes));
  return whole;
}

// Runs may cross rows (some writers code the strip as one run list) but never the strip's end.
int64_t PackBitsLines(const std::vector<uint8_t>& raw, int64_t lineBytes, int64_t lines, uint8_t* out) {
  const int64_t total = lineBytes * lines;
  int64_t done = 0;
  size_t i = 0;
  while (done < total && i < raw.size()) {
    const int n = int8_t(raw[i++]);
    if (n >= 0) {
      const int64_t count = std::min<int64_t>({n + 1, total - done, int64_t(raw.size() - i)});
      std::memcpy(out + done, raw.data() + i, size_t(count));
      i += size_t(n + 1);
      done += count;
    } else if (n != -128) {
      if (i >= raw.size()) break;
      const int64_t count = std::min<int64_t>(1 - n, total - done);
      std::memset(out + done, raw[i++], size_t(count));
      done += count;
    }
  }
  return done / lineBytes;
}

int64_t LzwLines(const TTIFFVars& vars, const std::vector<uint8_t>& raw, int64_t lineBytes, int64_t lines,
                 uint8_t* out) {
  void* state = nullptr;
  int64_t done = 0;
  for (; done < lines; ++done) {
    const uint8_t* row = vars.lzwDecoder(raw.data(), int64_t(raw.size()), int(lineBytes), &state);
    if (!row) break;
    std::memcpy(out + done * lineBytes, row, size_t(lineBytes));
  }
  vars.lzwDecoder(nullptr, 0, 0, &state);
  return done;
}

int64_t InflateLines(const std::vector<uint8_t>& raw, int64_t lineBytes, int64_t lines, uint8_t* out) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return 0;
  const int64_t total = lineBytes * lines;
  int64_t done = 0;
  const uint8_t* in = raw.data();
  int64_t inLeft = int64_t(raw.size());
  int status = Z_OK;
  // zlib counts in 32 bits: feed and take at most 1 GiB at a time.
  constexpr int64_t kChunk = int64_t(1) << 30;
  while (done < total && status == Z_OK) {
    z.next_in = const_cast<Bytef*>(in);
    z.avail_in = uInt(std::min(inLeft, kChunk));
    z.next_out = out + done;
    z.avail_out = uInt(std::min(total - done, kChunk));
    const uInt inBefore = z.avail_in, outBefore = z.avail_out;
    status = inflate(&z, Z_NO_FLUSH);
    in += inBefore - z.avail_in;
    inLeft -= inBefore - z.avail_in;
    done += outBefore - z.avail_out;
    if (status == Z_BUF_ERROR && inLeft == 0) break;
    if (status == Z_BUF_ERROR) status = Z_OK;
  }
  inflateEnd(&z);
  return done / lineBytes;
}

int64_t FaxLines(const TTIFFVars& vars, const std::vector<uint8_t>& raw, int64_t lineBytes, int64_t lines,
                 int64_t width, uint8_t* out) {
  const uint8_t* data = raw.data();
  const int64_t size = int64_t(raw.size());
  const bool fillBits = (vars.t4Options & 4) != 0;
  const bool twoD = vars.compression == ccCcittT6 || (vars.compression == ccCcittT4 && (vars.t4Options & 1));
  TFaxReferenceLine reference;
  reference.Reset(int(width));
  int64_t bit = 0, byte = 0;
  const bool group4 = vars.compression == ccCcittT6;
  for (int64_t r = 0; r < lines; ++r) {
    uint8_t* row = out + r * lineBytes;
    bool cut = false, endOfBlock = false;
    if (vars.compression == ccCcittRle)
      byte += DecodeMhRow(row, data + byte, size - byte, int(width), vars.fillOrder, &cut);
    else if (twoD)
      bit = DecodeT4T6Row2D(row, data, size, fillBits, vars.fillOrder, bit, reference, int(width), &cut,
                            group4 ? &endOfBlock : nullptr);
    else
      bit = DecodeT4Row(row, data, size, int(width), vars.fillOrder, bit, &cut);
    if (endOfBlock) {
      // Group 4 data may end its block before the strip's last row, as libtiff reads it: the
      // rows after the mark are white.
      std::memset(row, 0xFF, size_t((lines - r) * lineBytes));
      return lines;
    }
    if (cut) return r;
  }
  return lines;
}

}  // namespace

int64_t Decompress(const TTIFFVars& vars, const std::vector<uint8_t>& raw, int64_t lineBytes, int64_t lines,
                   int64_t pixelsPerLine, std::vector<uint8_t>& out) {
  out.resize(size_t(lineBytes * lines));
  switch (vars.compression) {
    case ccNone: return CopyLines(raw, lineBytes, lines, out.data());
    case ccPackBits: return PackBitsLines(raw, lineBytes, lines, out.data());
    case ccLzw: return LzwLines(vars, raw, lineBytes, lines, out.data());
    case ccAdobeDeflate: case ccDeflate: return InflateLines(raw, lineBytes, lines, out.data());
    case ccCcittRle: case ccCcittT4: case ccCcittT6:
      return FaxLines(vars, raw, lineBytes, lines, pixelsPerLine, out.data());
    default: return 0;
  }
}

}  // namespace velora::tiff
