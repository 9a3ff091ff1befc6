// Portable-anymap reader: P1..P6 into a 1-bit (P1, P4) or 24-bit toolkit bitmap.
#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include "io/image_limits.h"
#include "pnm_codec.h"
#include "pnm_private.h"

namespace velora {
namespace pnm {

std::string ReadToken(TVLByteReader& in) {
  uint8_t c = 0;
  do {
    if (!in.Get(c)) return {};
  } while (c != '#' && !IsAlnum(c));
  std::string token(1, char(c));
  if (c == '#') {
    while (in.Peek(c) && c != '\n' && c != '\r') {
      in.Get(c);
      token.push_back(char(c));
    }
    size_t first = token.find_first_not_of(" \t", 1);
    size_t last = token.find_last_not_of(" \t");
    std::string comment = "#";
    if (first != std::string::npos) comment.append(token, first, last - first + 1);
    return comment;
  }
  while (in.Get(c) && IsAlnum(c))
    if (token.size() < kMaxTokenLength) token.push_back(char(c));
  return token;
}

int64_t TokenNumber(const std::string& token) {
  if (token.empty() || token.size() > 10) return -1;
  int64_t v = 0;
  for (char c : token) {
    if (c < '0' || c > '9') return -1;
    v = v * 10 + (c - '0');
  }
  return v > 0x7FFFFFFF ? -1 : v;
}

void ReadHeader(TVLByteReader& in, TPnmHeader& header, std::vector<std::string>* comments, int maxTokens) {
  // Fields in file order: magic, width, height and (not for bitmaps) the maximum.
  int field = 0;
  for (int n = 0; n < maxTokens; ++n) {
    std::string token = ReadToken(in);
    if (token.empty()) return;
    if (token[0] == '#') {
      if (comments) comments->push_back(token.substr(1));
      continue;
    }
    switch (field++) {
      case 0:
        header.magic = token;
        if (header.IsBitmap()) header.maxValue = 1;
        if (!comments && header.Kind() == 0) return;  // recognition: no magic, no anymap
        break;
      case 1: header.width = TokenNumber(token); break;
      case 2:
        header.height = TokenNumber(token);
        if (header.IsBitmap()) return;
        break;
      default: header.maxValue = TokenNumber(token); return;
    }
  }
}

}  // namespace pnm

using namespace pnm;

namespace {

// The next raster number of an ASCII grey or pixel map; false at the end of the data. A
// token that is no number counts as 0.
bool NextSample(TVLByteReader& in, int64_t& value) {
  std::string token = ReadToken(in);
  if (token.empty()) return false;
  value = std::max<int64_t>(TokenNumber(token), 0);
  return true;
}

// v of 0..maximum onto 0..255; values above the maximum saturate.
inline uint8_t Scale(int64_t v, int64_t maximum) {
  if (v >= maximum) return 255;
  return uint8_t(v * 255 / maximum);  // exact Trunc(v / maximum × 255)
}

void ReadP1(TVLByteReader& in, TBitmap& bmp, TVLProgressRecord& progress) {
  const int w = bmp.Width(), h = bmp.Height();
  for (int y = 0; y < h; ++y) {
    uint8_t* row = bmp.ScanLine(y);
    for (int x = 0; x < w;) {
      uint8_t c;
      if (!in.Get(c)) return;
      if (c == '0')
        row[x >> 3] |= uint8_t(0x80 >> (x & 7)), ++x;
      else if (c == '1')
        row[x >> 3] &= uint8_t(~(0x80 >> (x & 7))), ++x;
    }
    if (y + 1 < h) progress.ReportRows(y + 1);
    if (progress.Aborted()) return;
  }
}

void ReadAsciiMap(TVLByteReader& in, TBitmap& bmp, int samples, int64_t maximum, TVLProgressRecord& progress) {
  for (int y = 0; y < bmp.Height(); ++y) {
    uint8_t* row = bmp.ScanLine(y);
    for (int x = 0; x < bmp.Width(); ++x) {
      uint8_t rgb[3];
      for (int s = 0; s < samples; ++s) {
        int64_t v;
        if (!NextSample(in, v)) return;
        rgb[s] = Scale(v, maximum);
      }
      if (samples == 1) rgb[1] = rgb[2] = rgb[0];
      row[3 * x] = rgb[2];
      row[3 * x + 1] = rgb[1];
      row[3 * x + 2] = rgb[0];
    }
    progress.ReportRows(y + 1);
    if (progress.Aborted()) return;
  }
}

void ReadP4(TVLByteReader& in, TBitmap& bmp, TVLProgressRecord& progress) {
  const int64_t rowBytes = (int64_t(bmp.Width()) + 7) / 8;
  for (int y = 0; y < bmp.Height(); ++y) {
    int64_t got = in.Read(bmp.ScanLine(y), rowBytes);
    progress.ReportRows(y + 1);
    if (got < rowBytes || progress.Aborted()) break;
  }
  // The file's 1 is black, the bitmap's 0 is.
  uint8_t* bits = bmp.Bits();
  for (int64_t i = 0; i < bmp.ImageSize(); ++i) bits[i] = uint8_t(~bits[i]);
}

// P5 and P6: one or two bytes per sample (two, most significant first, when the maximum is
// above 255).
void ReadBinaryMap(TVLByteReader& in, TBitmap& bmp, int samples, int64_t maximum, TVLProgressRecord& progress) {
  const int bytesPerSample = maximum > 255 ? 2 : 1;
  const int64_t rowBytes = int64_t(bmp.Width()) * samples * bytesPerSample;
  // A P6 map with a one-byte maximum is taken as it is; grey maps are stretched.
  const bool scale = bytesPerSample == 2 || (samples == 1 && maximum < 255);
  std::vector<uint8_t> line(static_cast<size_t>(rowBytes));
  for (int y = 0; y < bmp.Height(); ++y) {
    int64_t got = in.Read(line.data(), rowBytes);
    int64_t pixels = got / (samples * bytesPerSample);
    uint8_t* row = bmp.ScanLine(y);
    const uint8_t* p = line.data();
    for (int64_t x = 0; x < pixels; ++x) {
      uint8_t rgb[3];
      for (int s = 0; s < samples; ++s, p += bytesPerSample) {
        int64_t v = bytesPerSample == 2 ? (p[0] << 8 | p[1]) : p[0];
        rgb[s] = scale ? Scale(v, maximum) : uint8_t(v);
      }
      if (samples == 1) rgb[1] = rgb[2] = rgb[0];
      row[3 * x] = rgb[2];
      row[3 * x + 1] = rgb[1];
      row[3 * x + 2] = rgb[0];
    }
    progress.ReportRows(y + 1);
    if (got < rowBytes || progress.Aborted()) return;
  }
}

// The fewest bytes any file with this header can code its raster in: a character per P1
// pixel, a digit and a separator per P2 and P3 sample, the rows of P4, P5 and P6 as they are.
int64_t DensestRaster(const TPnmHeader& h) {
  const int64_t pixels = h.width * h.height;
  const int64_t sampleBytes = h.maxValue > 255 ? 2 : 1;
  switch (h.Kind()) {
    case 1: return pixels;
    case 2: return 2 * pixels;
    case 3: return 6 * pixels;
    case 4: return (h.width + 7) / 8 * h.height;
    case 5: return pixels * sampleBytes;
    default: return 3 * pixels * sampleBytes;
  }
}

}  // namespace

bool IsPnmStream(TVLStream& stream) {
  const int64_t start = stream.Position();
  bool result = false;
  try {
    TVLByteReader in(stream, 512);
    TPnmHeader header;
    ReadHeader(in, header, nullptr, 501);
    result = header.Kind() != 0 && header.width > 0 && header.height > 0;
  } catch (const std::exception&) {
    result = false;
  }
  stream.SetPosition(start);
  return result;
}

void PnmReadStream(TVLStream& stream, TBitmap* bitmap, TIOParamsVals& params, bool headerOnly,
                   TVLProgressRecord& progress) {
  try {
    TVLByteReader in(stream);
    TPnmHeader header;
    params.PxmComments.clear();
    ReadHeader(in, header, &params.PxmComments, 0x7FFFFFFF);
    // A number that overflowed reads as −1, like one the file does not have.
    if (header.width < 0 || header.height < 0 || header.maxValue < 0) {
      progress.Fail("PNM: the header ends early or holds a number beyond 32 bits");
      return;
    }
    // The maximum must be a usable divisor and fit two bytes.
    if (header.maxValue == 0 || header.maxValue > kMaxSampleValue) {
      progress.Fail("PNM: maximum sample value " + std::to_string(header.maxValue));
      return;
    }
    params.FreeColorMap();
    params.Width = int32_t(header.width);
    params.Height = int32_t(header.height);
    params.DpiX = DefaultDpiX();
    params.DpiY = DefaultDpiY();
    progress.per1 = 100.0 / double(std::max<int64_t>(header.height, 1));
    const int kind = header.Kind();
    if (kind == 0) {
      progress.Fail("PNM: no P1 to P6 signature");
      return;
    }
    const bool colour = kind == 3 || kind == 6;
    params.BitsPerSample = header.IsBitmap() ? 1 : header.maxValue > 255 ? 16 : 8;
    params.SamplesPerPixel = colour ? 3 : 1;
    const TVLOpenCheck check{"PNM", header.width, header.height, [&header] { return VLBackingBytes(DensestRaster(header)); },
                             in.Remaining()};
    if (!VLCheckOpen(check, headerOnly, bitmap, header.IsBitmap() ? TPixelFormat::pf1bit : TPixelFormat::pf24bit,
                     progress))
      return;
    switch (kind) {
      case 1: ReadP1(in, *bitmap, progress); break;
      case 2: ReadAsciiMap(in, *bitmap, 1, header.maxValue, progress); break;
      case 3: ReadAsciiMap(in, *bitmap, 3, header.maxValue, progress); break;
      case 4: ReadP4(in, *bitmap, progress); break;
      case 5: ReadBinaryMap(in, *bitmap, 1, header.maxValue, progress); break;
      case 6: ReadBinaryMap(in, *bitmap, 3, header.maxValue, progress); break;
    }
  } catch (const EVLStreamError&) {
    // What was decoded stays.
    progress.Fail("PNM: premature end of data");
  } catch (const std::exception&) {
    progress.Fail("PNM: out of memory");
  }
}

}  // namespace velora
