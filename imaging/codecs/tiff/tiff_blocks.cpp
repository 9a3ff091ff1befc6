// The strip and tile walk. Strips are tiles as wide as the image: each block is read, its lines
// decompressed into a buffer of the block's own size, and its rows converted into the bitmap,
// clipped to the image, so that no tile enlarges the bitmap and no row is written outside it.
// Separate planes are decompressed side by side and their samples interleaved per row.
#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "codecs/jpeg/jpeg_codec.h"
#include "tiff_decode.h"

namespace velora::tiff {

namespace {

struct TBlockGrid {
  int64_t bw, bl;           // block width and length
  int64_t across, down;     // blocks per plane row and column
  int64_t rowsPerLine = 1;  // image rows per decoded line (v for subsampled YCbCr)
  int64_t lineBytes = 0;    // bytes of one decoded line of one plane

  TBlockGrid(const TTIFFVars& v)
      : bw(v.tiled ? v.tileWidth : v.width),
        bl(v.tiled ? v.tileLength : v.rowsPerStrip),
        across((v.width + bw - 1) / bw),
        down((v.height + bl - 1) / bl) {
    if (v.Subsampled()) {
      rowsPerLine = v.ycbcrV;
      lineBytes = (bw + v.ycbcrH - 1) / v.ycbcrH * (v.ycbcrH * v.ycbcrV + 2);
    } else {
      lineBytes = (bw * v.SamplesPerPlane() * v.bitsPerSample + 7) / 8;
    }
  }
  int64_t PerPlane() const { return across * down; }
};

void ReverseBits(std::vector<uint8_t>& data) {
  static const auto table = [] {
    std::array<uint8_t, 256> t{};
    for (int i = 0; i < 256; ++i) {
      int r = 0;
      for (int b = 0; b < 8; ++b) r |= ((i >> b) & 1) << (7 - b);
      t[size_t(i)] = uint8_t(r);
    }
    return t;
  }();
  for (uint8_t& b : data) b = table[b];
}

// The coded bytes of block idx: within the data, a missing or zero count meaning up to its end.
// Uncompressed blocks take no more than their decoded size.
bool ReadBlock(TTiffSource& source, const TTIFFVars& v, size_t idx, int64_t decodedBytes, std::vector<uint8_t>& raw) {
  if (idx >= v.offsets.size()) return false;
  const uint64_t offset = v.offsets[idx];
  if (offset >= uint64_t(source.Size())) return false;
  const uint64_t left = uint64_t(source.Size()) - offset;
  uint64_t count = idx < v.byteCounts.size() && v.byteCounts[idx] != 0 ? v.byteCounts[idx] : left;
  count = std::min(count, left);
  if (v.compression == ccNone) count = std::min<uint64_t>(count, uint64_t(decodedBytes));
  raw.resize(size_t(count));
  if (!source.ReadAt(offset, raw.data(), count)) return false;
  if (v.fillOrder == 2 && !v.Ccitt()) ReverseBits(raw);
  return true;
}

// A row of the 1-bit bitmap from a bilevel line; tiles at byte boundaries are copied by the byte.
void PutBilevelRow(const TTIFFVars& v, const uint8_t* line, int64_t x0, int64_t cols, uint8_t* row) {
  const uint8_t flip = v.invertBits ? 0xFF : 0x00;
  if (x0 % 8 == 0) {
    uint8_t* out = row + x0 / 8;
    const int64_t whole = cols / 8;
    for (int64_t i = 0; i < whole; ++i) out[i] = line[i] ^ flip;
    if (const int rest = int(cols % 8)) {
      const uint8_t keep = uint8_t(0xFF >> rest);
      out[whole] = uint8_t((out[whole] & keep) | ((line[whole] ^ flip) & ~keep));
    }
    return;
  }
  for (int64_t i = 0; i < cols; ++i) {
    const int bit = ((line[i >> 3] >> (7 - (i & 7))) & 1) ^ (flip & 1);
    const int64_t x = x0 + i;
    if (bit) row[x >> 3] |= uint8_t(0x80 >> (x & 7));
    else row[x >> 3] &= uint8_t(~(0x80 >> (x & 7)));
  }
}

struct TBlockWalk {
  TTiffSource& source;
  const TTIFFVars& v;
  TBitmap& bitmap;
  TVLMask* mask;
  const TVLProgressRecord& progress;
  TBlockGrid grid;
  std::vector<std::vector<uint8_t>> planes;
  std::vector<uint8_t> raw;
  std::vector<uint16_t> samples;

  bool predicted() const {
    return v.predictor == prHorizontal && (v.compression == ccLzw || v.compression == ccAdobeDeflate || v.compression == ccDeflate);
  }

  // Line `line` of the block at (x0, y0), cols pixels of it inside the image.
  void ConvertLine(int64_t line, int64_t x0, int64_t y0, int64_t cols) {
    const int64_t lb = grid.lineBytes;
    if (v.conversion == TConversion::cvBilevel) {
      PutBilevelRow(v, planes[0].data() + line * lb, x0, cols, bitmap.ScanLine(int(y0 + line)));
      return;
    }
    if (v.Subsampled()) {
      uint8_t* rows[4] = {};
      for (int j = 0; j < v.ycbcrV; ++j) {
        const int64_t y = y0 + line * v.ycbcrV + j;
        if (y < v.height) rows[j] = bitmap.ScanLine(int(y)) + x0 * 3;
      }
      ConvertYCbCrUnits(v, planes[0].data() + line * lb, cols, v.ycbcrV, rows);
      return;
    }
    const int spp = v.samplesPerPixel;
    const int y = int(y0 + line);
    if (v.conversion == TConversion::cvRgb && spp == 3 && v.bitsPerSample == 8 && v.Planes() == 1) {
      ConvertRgb8(planes[0].data() + line * lb, cols, predicted(), bitmap.ScanLine(y) + x0 * 3);
      return;
    }
    for (int p = 0; p < v.Planes(); ++p)
      UnpackSamples(planes[size_t(p)].data() + line * lb, v.bitsPerSample, v.motorola, cols * v.SamplesPerPlane(),
                    samples.data() + p, v.Planes() == 1 ? 1 : spp);
    if (predicted()) UndoPredictor(samples.data(), cols, spp, v.bitsPerSample);
    if (v.associatedAlpha) DivideAlphaOut(v, samples.data(), cols);
    ConvertSamples(v, samples.data(), cols, bitmap.ScanLine(y) + x0 * 3, mask ? mask->ScanLine(y) + x0 : nullptr);
  }

  // Decodes block b of every plane and converts the lines all planes have; false when the
  // data ran short (a reason given).
  bool DecodeBlock(int64_t b) {
    const int64_t x0 = (b % grid.across) * grid.bw, y0 = (b / grid.across) * grid.bl;
    const int64_t rows = std::min(grid.bl, v.height - y0), cols = std::min(grid.bw, v.width - x0);
    const int64_t lines = (rows + grid.rowsPerLine - 1) / grid.rowsPerLine;
    int64_t good = lines;
    for (int p = 0; p < v.Planes(); ++p) {
      const size_t idx = size_t(p * grid.PerPlane() + b);
      if (!ReadBlock(source, v, idx, grid.lineBytes * lines, raw)) {
        good = 0;
        break;
      }
      // Decompressors see the block's full width: predictors and fax rows run over all of it.
      good = std::min(good, Decompress(v, raw, grid.lineBytes, lines, grid.bw, planes[size_t(p)]));
    }
    for (int64_t line = 0; line < good; ++line) ConvertLine(line, x0, y0, cols);
    if (!v.tiled) progress.ReportRows(int(y0 + std::min(rows, good * grid.rowsPerLine)));
    if (good == lines) return true;
    progress.Fail(std::string("TIFF: ") + (v.tiled ? "tile " : "strip ") + std::to_string(b) + " holds " +
                  std::to_string(good) + " of " + std::to_string(lines) + " rows");
    return false;
  }
};

// Compression 7: each block is a JPEG stream, completed by the shared tables.
bool DecodeJpegBlock(TTiffSource& source, const TTIFFVars& v, const TBlockGrid& grid, int64_t b, TBitmap& bitmap,
                     const TVLProgressRecord& progress) {
  const int64_t x0 = (b % grid.across) * grid.bw, y0 = (b / grid.across) * grid.bl;
  const int64_t rows = std::min(grid.bl, v.height - y0), cols = std::min(grid.bw, v.width - x0);
  std::vector<uint8_t> raw;
  if (!ReadBlock(source, v, size_t(b), INT64_MAX, raw)) {
    progress.Fail("TIFF: JPEG " + std::string(v.tiled ? "tile " : "strip ") + std::to_string(b) + " missing");
    return false;
  }
  std::vector<uint8_t> stream;
  // The tables less their end-of-image marker, then the block less its start-of-image marker.
  const std::vector<uint8_t>& t = v.jpegTables;
  size_t tablesEnd = t.size();
  if (tablesEnd >= 2 && t[tablesEnd - 2] == 0xFF && t[tablesEnd - 1] == 0xD9) tablesEnd -= 2;
  size_t dataStart = 0;
  if (tablesEnd > 0 && raw.size() >= 2 && raw[0] == 0xFF && raw[1] == 0xD8) dataStart = 2;
  stream.reserve(tablesEnd + raw.size());
  stream.insert(stream.end(), t.begin(), t.begin() + ptrdiff_t(tablesEnd));
  stream.insert(stream.end(), raw.begin() + ptrdiff_t(dataStart), raw.end());
  TBitmap tile;
  // The photometric says how the stream holds its components, as libtiff takes it: a TIFF's
  // inks are plain, and its RGB is stored without a colour transform whatever the markers say.
  const TJpegComponents components = v.photometric == pcSeparated ? TJpegComponents::jcPlainCmyk
                                     : v.photometric == pcRgb     ? TJpegComponents::jcRgb
                                     : v.photometric == pcYCbCr   ? TJpegComponents::jcYCbCr
                                                                  : TJpegComponents::jcMarked;
  if (!DecodeJpegStream(stream, tile, progress, components)) return false;
  const int64_t w = std::min<int64_t>(cols, tile.Width()), h = std::min<int64_t>(rows, tile.Height());
  for (int64_t y = 0; y < h; ++y)
    std::memcpy(bitmap.ScanLine(int(y0 + y)) + x0 * 3, tile.ScanLine(int(y)), size_t(w * 3));
  if (!v.tiled) progress.ReportRows(int(y0 + h));
  if (w == cols && h == rows) return true;
  progress.Fail("TIFF: JPEG block " + std::to_string(b) + " smaller than its place");
  return false;
}

}  // namespace

bool DecodeJpegStream(const std::vector<uint8_t>& data, TBitmap& into, const TVLProgressRecord& progress,
                      TJpegComponents components) {
  TVLBufferStream stream(data.data(), int64_t(data.size()));
  TIOParamsVals scratch;
  scratch.JpegScale = 1;
  TVLLocalProgress local;
  JpegReadStream(stream, &into, scratch, false, local.record, components);
  if (!local.aborting) return true;
  progress.Fail("TIFF: JPEG data: " + local.reason);
  return false;
}

void DecodeTiffBlocks(TTiffSource& source, const TTIFFVars& v, TBitmap& bitmap, TVLMask* mask,
                      TVLProgressRecord& progress) {
  TBlockGrid grid(v);
  progress.per1 = 100.0 / double(v.height);
  const int64_t blocks = grid.PerPlane();
  // The decoders count a line's bytes in an int.
  if (grid.lineBytes > INT32_MAX / 2) {
    progress.Fail("TIFF: rows of " + std::to_string(grid.lineBytes) + " bytes");
    return;
  }
  if (v.conversion == TConversion::cvJpeg) {
    for (int64_t b = 0; b < blocks && !progress.Aborted(); ++b)
      if (!DecodeJpegBlock(source, v, grid, b, bitmap, progress)) return;
    return;
  }
  TBlockWalk walk{source, v, bitmap, mask, progress, grid, {}, {}, {}};
  walk.planes.resize(size_t(v.Planes()));
  walk.samples.resize(size_t(grid.bw * v.samplesPerPixel));
  for (int64_t b = 0; b < blocks && !progress.Aborted(); ++b)
    if (!walk.DecodeBlock(b)) return;
}

}  // namespace velora::tiff
