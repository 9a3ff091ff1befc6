// BMP reader: core (12-byte), information (40-byte), OS/2 (64-byte) and longer headers;
// 1, 2, 4, 8, 16, 24 and 32 bits; RLE4, RLE8, bit fields and embedded JPEG or PNG.
#include <algorithm>
#include <cmath>
#include <new>
#include <string>
#include <vector>

#include "bmp_codec.h"
#include "bmp_dib.h"
#include "codecs/jpeg/jpeg_codec.h"
#include "codecs/png/png_codec.h"
#include "io/image_limits.h"
#include "proc/pixel_formats.h"

namespace velora {

namespace {

using namespace bmp;

// What the headers say, gathered once so that one step can check it.
struct TBmpHeader {
  uint32_t size = 0;
  int64_t width = 0;
  int64_t height = 0;  // positive; topDown tells the row order
  bool topDown = false;
  int bitCount = 0;
  uint32_t compression = bcNone;
  int64_t dataLength = 0;  // compressed data length
  uint32_t masks[3] = {0, 0, 0};
  bool masksInHeader = false;
};

int DpiFromPelsPerMeter(int32_t pelsPerMeter, int defaultDpi) {
  const double dpi = std::nearbyint(pelsPerMeter / 100.0 * 2.54);
  // Zero means unknown; a negative density is as meaningless as none.
  return dpi > 0 ? int(dpi) : defaultDpi;
}

class TBmpReader {
 public:
  TBmpReader(TVLStream& stream, TBitmap* bitmap, int64_t dataSize, bool headerOnly, TVLProgressRecord& progress,
             TIOParamsVals& params)
      : Stream(stream), Bitmap(bitmap), DataSize(dataSize), HeaderOnly(headerOnly), Progress(progress),
        Params(params) {}

  void Run();

 private:
  bool ReadHeaders();
  void ReadCoreHeader();
  void ReadInfoHeader();
  void ReadColourTable(int64_t count, int entrySize);
  void DecodePixels();

  void ReadMono();
  void ReadIndexed(int bits);
  void ReadBitFields(int bytesPerPixel);
  void Read24();
  void DecodeRle(bool rle4);
  void DecodeEmbedded();

  // The one way to a palette colour: an index beyond the palette reads as black.
  TRGB PaletteEntry(unsigned index) const { return index < PaletteCount ? Palette[index] : TRGB{}; }
  int64_t FileRowLen() const { return RowSize(Header.width, Header.bitCount); }
  int64_t BackingBytes() const;
  // Rows are stored bottom row first unless the height was negative.
  uint8_t* Row(int64_t fileRow) {
    return Bitmap->ScanLine(int(Header.topDown ? fileRow : Header.height - 1 - fileRow));
  }
  // Progress before each row; false when the caller asked to stop.
  bool BeforeRow(int64_t rowsDone) {
    Progress.ReportRows(int(rowsDone));
    return !Progress.Aborted();
  }

  TVLStream& Stream;
  TBitmap* Bitmap;
  int64_t DataSize;
  bool HeaderOnly;
  TVLProgressRecord& Progress;
  TIOParamsVals& Params;

  int64_t Start = 0;
  TBmpFileHeader FileHeader;
  TBmpHeader Header;
  const TRGB* Palette = nullptr;
  unsigned PaletteCount = 0;
};

void TBmpReader::Run() {
  if (!ReadHeaders()) return;
  if (RowSize(Header.width, std::max(Header.bitCount, 1)) > INT32_MAX) {
    Progress.Fail("BMP: rows of " + std::to_string(Header.width) + " pixels at " + std::to_string(Header.bitCount) +
                  " bits are too long");
    return;
  }
  Palette = Params.ColorMap();
  PaletteCount = unsigned(Params.ColorMapCount());
  const TVLOpenCheck check{"BMP", Header.width, Header.height, [this] { return BackingBytes(); }, Stream.Size() - Stream.Position()};
  const bool decode = VLCheckOpen(check, HeaderOnly, Bitmap,
                                  Header.bitCount == 1 ? TPixelFormat::pf1bit : TPixelFormat::pf24bit, Progress);
  if (Progress.Aborted()) return;
  if (decode) Progress.per1 = 100.0 / double(Header.height);
  DecodePixels();  // a header-only read learns the depth fields there
}

bool TBmpReader::ReadHeaders() {
  Start = Stream.Position();
  // A packed DIB (the clipboard's form, saved as ".dib") starts at the information header:
  // its pixels follow the colour table, and there is no file header to place them.
  if (IsPackedDib(Stream, Stream.Size())) {
    FileHeader = TBmpFileHeader{};
  } else {
    uint8_t fileHeader[kFileHeaderSize];
    Stream.ReadBuffer(fileHeader, kFileHeaderSize);
    FileHeader.Decode(fileHeader);
    if (DataSize < 1 && FileHeader.bfSize != 0) DataSize = FileHeader.bfSize;
    if (FileHeader.bfType != kSignature) {
      Progress.Fail("BMP: no \"BM\" signature");
      return false;
    }
  }
  Header.size = Stream.ReadU32LE();
  Stream.Seek(-4, TSeekOrigin::soCurrent);
  Params.FreeColorMap();
  if (Header.size == kCoreHeaderSize)
    ReadCoreHeader();
  else
    ReadInfoHeader();

  if (Header.compression == bcNone || Header.compression == bcBitFields)
    Params.BmpCompression = 0;
  else if (Header.compression == bcRle8 || Header.compression == bcRle4)
    Params.BmpCompression = 1;

  if (FileHeader.bfOffBits != 0) Stream.SetPosition(Start + FileHeader.bfOffBits);
  if (DataSize > 0) Header.dataLength = DataSize - (Stream.Position() - Start);
  return true;
}

void TBmpReader::ReadCoreHeader() {
  uint8_t b[kCoreHeaderSize];
  Stream.ReadBuffer(b, kCoreHeaderSize);
  Params.BmpVersion = bvCore;
  Header.width = GetU16LE(b + core::bcWidth);
  Header.height = GetU16LE(b + core::bcHeight);
  Header.bitCount = GetU16LE(b + core::bcBitCount);
  Header.compression = bcNone;
  Params.Width = int32_t(Header.width);
  Params.Height = int32_t(Header.height);
  Params.DpiX = DefaultDpiX();
  Params.DpiY = DefaultDpiY();
  if (Header.bitCount <= 8) ReadColourTable(int64_t(1) << Header.bitCount, 3);
}

void TBmpReader::ReadInfoHeader() {
  uint8_t b[64] = {};
  const int64_t stored = std::min<int64_t>(64, Header.size);
  Stream.ReadBuffer(b, stored);
  if (Header.size > 64) Stream.Seek(int64_t(Header.size) - 64, TSeekOrigin::soCurrent);
  Params.BmpVersion = Header.size == kOs2HeaderSize ? bvOs2 : Header.size == kInfoHeaderSize ? bvInfo : bvOther;
  const int32_t height = GetI32LE(b + info::biHeight);
  Header.width = GetI32LE(b + info::biWidth);
  Header.topDown = height < 0;
  Header.height = std::abs(int64_t(height));
  Header.bitCount = GetU16LE(b + info::biBitCount);
  Header.compression = GetU32LE(b + info::biCompression);
  Header.dataLength = GetU32LE(b + info::biSizeImage);
  Params.Width = int32_t(std::clamp<int64_t>(Header.width, INT32_MIN, INT32_MAX));
  Params.Height = int32_t(std::min<int64_t>(Header.height, INT32_MAX));
  Params.DpiX = DpiFromPelsPerMeter(GetI32LE(b + info::biXPelsPerMeter), DefaultDpiX());
  Params.DpiY = DpiFromPelsPerMeter(GetI32LE(b + info::biYPelsPerMeter), DefaultDpiY());

  // The masks sit inside the longer headers, and right behind a shorter one: before the
  // colour table that a 16- or 32-bit file may still carry.
  if (Header.compression == bcBitFields) {
    Header.masksInHeader = Header.size >= kMasksInHeaderSize && Header.size != kOs2HeaderSize;
    if (Header.masksInHeader) {
      Header.masks[0] = GetU32LE(b + info::bV4RedMask);
      Header.masks[1] = GetU32LE(b + info::bV4GreenMask);
      Header.masks[2] = GetU32LE(b + info::bV4BlueMask);
    } else {
      for (uint32_t& mask : Header.masks) mask = Stream.ReadU32LE();
    }
  }

  int64_t colours = GetU32LE(b + info::biClrUsed);
  if (colours == 0 && Header.bitCount <= 8) colours = int64_t(1) << Header.bitCount;
  if (colours > 0) ReadColourTable(colours, 4);
}

// Keeps at most 256 entries and steps over the rest, so that what follows is found.
void TBmpReader::ReadColourTable(int64_t count, int entrySize) {
  const int kept = int(std::min<int64_t>(count, kMaxPaletteEntries));
  std::vector<uint8_t> raw(size_t(kept) * entrySize);
  Stream.ReadBuffer(raw.data(), int64_t(raw.size()));
  if (count > kept) Stream.Seek((count - kept) * entrySize, TSeekOrigin::soCurrent);
  std::vector<TRGB> entries(static_cast<size_t>(kept));
  for (int i = 0; i < kept; ++i) {
    const uint8_t* e = raw.data() + size_t(i) * entrySize;
    entries[size_t(i)] = TRGB{e[0], e[1], e[2]};
  }
  Params.SetColorMap(entries.data(), kept);
}

// A cut-off file decodes the rows it has before it fails, but a few bytes may not declare a
// huge raster. Run-length data can end the image in two bytes, so it is exempt where it is
// decoded; every other header, undecoded depths and combinations included (their bitmap is
// sized and left blank), must be backed as a plain raster of at least one bit per pixel.
int64_t TBmpReader::BackingBytes() const {
  const bool decodedRle = (Header.compression == bcRle4 && Header.bitCount == 4) ||
                          (Header.compression == bcRle8 && Header.bitCount == 8);
  // An embedded JPEG or PNG is checked by its own reader.
  if (decodedRle || Header.compression == bcJpeg || Header.compression == bcPng) return 0;
  return VLBackingBytes(RowSize(Header.width, std::max<int64_t>(Header.bitCount, 1)) * Header.height);
}

void TBmpReader::DecodePixels() {
  // In the 64-byte OS/2 header code 4 means 24-bit run-length data, not a JPEG.
  if (Header.compression == bcJpeg && Params.BmpVersion == bvOs2)
    return Progress.Fail("BMP: OS/2 24-bit run-length data is not decoded");
  if (Header.compression == bcJpeg || Header.compression == bcPng) return DecodeEmbedded();
  const uint32_t code = Header.compression;
  bool decoded = true;  // a depth and compression this reader turns into pixels
  switch (Header.bitCount) {
    case 1:
    case 2:
    case 4:
    case 8:
      Params.BitsPerSample = Header.bitCount, Params.SamplesPerPixel = 1;
      decoded = code == bcNone || (Header.bitCount == 4 && code == bcRle4) || (Header.bitCount == 8 && code == bcRle8);
      if (HeaderOnly || !decoded) break;
      if (Header.bitCount == 1) ReadMono();
      else if (code == bcNone) ReadIndexed(Header.bitCount);
      else DecodeRle(code == bcRle4);
      break;
    case 16:
      Params.BitsPerSample = 5, Params.SamplesPerPixel = 3;
      decoded = code == bcNone || code == bcBitFields;
      if (!HeaderOnly && decoded) ReadBitFields(2);
      break;
    case 24:
      Params.BitsPerSample = 8, Params.SamplesPerPixel = 3;
      if (!HeaderOnly) Read24();
      break;
    case 32:
      Params.BitsPerSample = 8, Params.SamplesPerPixel = 3;
      if (!HeaderOnly) ReadBitFields(4);
      break;
    default:
      decoded = false;
      break;
  }
  // A sized but blank bitmap is not a picture: say what could not be decoded.
  if (!decoded)
    Progress.Fail("BMP: " + std::to_string(Header.bitCount) + "-bit data with compression " +
                  std::to_string(code) + " is not decoded");
}

// Compressions 4 and 5 hold a whole JPEG or PNG file as the pixel data; the adapters read it
// and fill the parameter record with the embedded image's own facts.
void TBmpReader::DecodeEmbedded() {
  if (Header.compression == bcJpeg)
    JpegReadStream(Stream, Bitmap, Params, HeaderOnly, Progress);
  else
    PngReadStream(Stream, Bitmap, Params, nullptr, HeaderOnly, Progress);
  // The adapter's own reason, when it gave one, says more than ours.
  if (Progress.Aborted() && Progress.Reason && Progress.Reason->empty())
    *Progress.Reason = Header.compression == bcJpeg ? "BMP: the embedded JPEG could not be read"
                                                    : "BMP: the embedded PNG could not be read";
}

// 1-bit rows go straight into the 1-bit bitmap when the palette is black and white (in
// either order); any other two colours are kept as colours, through a 24-bit bitmap.
void TBmpReader::ReadMono() {
  const int64_t rowLen = FileRowLen();
  for (int64_t y = 0; y < Header.height; ++y) {
    if (!BeforeRow(y)) break;
    Stream.ReadBuffer(Row(y), rowLen);
  }
  const TRGB white{255, 255, 255}, black{0, 0, 0};
  const TRGB colour0 = PaletteEntry(0), colour1 = PaletteEntry(1);
  if (colour0 == black && colour1 == white) return;
  if (colour0 == white && colour1 == black) return InvertMono(*Bitmap);
  TBitmap mono;
  mono.Assign(*Bitmap);
  Bitmap->Reset(mono.Width(), mono.Height(), TPixelFormat::pf24bit);
  for (int y = 0; y < mono.Height(); ++y) {
    const uint8_t* in = mono.ScanLine(y);
    TRGB* out = reinterpret_cast<TRGB*>(Bitmap->ScanLine(y));
    for (int x = 0; x < mono.Width(); ++x) out[x] = (in[x >> 3] >> (7 - (x & 7))) & 1 ? colour1 : colour0;
  }
}

// 2-, 4- and 8-bit indices, the leftmost pixel in the highest bits of its byte.
void TBmpReader::ReadIndexed(int bits) {
  std::vector<uint8_t> line(static_cast<size_t>(FileRowLen()));
  const int perByte = 8 / bits;
  const unsigned indexMask = (1u << bits) - 1;
  for (int64_t y = 0; y < Header.height; ++y) {
    if (!BeforeRow(y)) break;
    Stream.ReadBuffer(line.data(), int64_t(line.size()));
    TRGB* out = reinterpret_cast<TRGB*>(Row(y));
    for (int64_t x = 0; x < Header.width; ++x) {
      const uint8_t v = line[size_t(x / perByte)];
      out[x] = PaletteEntry((v >> (8 - bits * (1 + x % perByte))) & indexMask);
    }
  }
}

// 16- and 32-bit pixels through their masks: the file's own (bit fields) or the defaults,
// 5-5-5 at 16 bits and blue, green, red bytes (the fourth dropped) at 32.
void TBmpReader::ReadBitFields(int bytesPerPixel) {
  uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
  if (bytesPerPixel == 4) masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
  if (Header.compression == bcBitFields) std::copy(Header.masks, Header.masks + 3, masks);
  const TBitField red(masks[0]), green(masks[1]), blue(masks[2]);
  std::vector<uint8_t> line(static_cast<size_t>(FileRowLen()));
  for (int64_t y = 0; y < Header.height; ++y) {
    if (!BeforeRow(y)) break;
    Stream.ReadBuffer(line.data(), int64_t(line.size()));
    TRGB* out = reinterpret_cast<TRGB*>(Row(y));
    for (int64_t x = 0; x < Header.width; ++x) {
      const uint8_t* p = &line[size_t(x) * bytesPerPixel];
      const uint32_t pixel = bytesPerPixel == 2 ? GetU16LE(p) : GetU32LE(p);
      out[x] = TRGB{blue.Extract(pixel), green.Extract(pixel), red.Extract(pixel)};
    }
  }
}

void TBmpReader::Read24() {
  const int64_t rowLen = FileRowLen();
  for (int64_t y = 0; y < Header.height; ++y) {
    if (!BeforeRow(y)) break;
    Stream.ReadBuffer(Row(y), rowLen);
  }
}

// Runs, deltas and absolute runs that reach past a row or past the image are clipped: only
// pixels inside the bitmap are written, and a move beyond the last row ends decoding.
void TBmpReader::DecodeRle(bool rle4) {
  // Never more than the stream still holds, whatever the header claims.
  const int64_t remaining = std::max<int64_t>(Stream.Size() - Stream.Position(), 0);
  const int64_t length = std::clamp<int64_t>(Header.dataLength, 0, remaining);
  std::vector<uint8_t> data(static_cast<size_t>(length));
  Stream.ReadBuffer(data.data(), length);

  const int64_t width = Header.width, height = Header.height;
  int64_t x = 0, line = 0;
  TRGB* row = reinterpret_cast<TRGB*>(Row(0));
  auto put = [&](unsigned index) {
    if (x < width) row[x] = PaletteEntry(index);
    ++x;
  };
  size_t pos = 0;
  while (pos + 2 <= data.size()) {
    const uint8_t count = data[pos], value = data[pos + 1];
    pos += 2;
    if (count > 0) {
      for (int i = 0; i < count; ++i) put(rle4 ? ((i & 1) ? value & 15 : value >> 4) : value);
      continue;
    }
    if (value == 0) {  // end of line
      x = 0;
      if (++line >= height) break;
      row = reinterpret_cast<TRGB*>(Row(line));
      if (!BeforeRow(line)) break;
    } else if (value == 1) {  // end of bitmap
      break;
    } else if (value == 2) {  // delta
      if (pos + 2 > data.size()) break;
      x += data[pos];
      line += data[pos + 1];
      pos += 2;
      if (line >= height) break;
      row = reinterpret_cast<TRGB*>(Row(line));
    } else {  // absolute run of `value` indices, padded to an even number of bytes
      const size_t bytes = rle4 ? (value + 1u) / 2 : value;
      const size_t padded = bytes + (bytes & 1);
      if (pos + bytes > data.size()) break;
      for (int i = 0; i < value; ++i) {
        const uint8_t b = data[pos + size_t(rle4 ? i / 2 : i)];
        put(rle4 ? ((i & 1) ? b & 15 : b >> 4) : b);
      }
      pos += std::min(padded, data.size() - pos);
    }
  }
}

}  // namespace

bool IsPackedDib(TVLStream& stream, int64_t size) {
  const int64_t start = stream.Position();
  uint8_t b[kInfoHeaderSize] = {};
  const int64_t got = stream.Read(b, kInfoHeaderSize);
  stream.SetPosition(start);
  const uint32_t headerSize = GetU32LE(b + info::biSize);
  if (got < 4 || size - start < int64_t(headerSize)) return false;
  const auto depth = [](unsigned bits, bool core) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 24 || (!core && (bits == 16 || bits == 32));
  };
  if (headerSize == kCoreHeaderSize)
    return GetU16LE(b + core::bcWidth) > 0 && GetU16LE(b + core::bcHeight) > 0 && GetU16LE(b + core::bcPlanes) == 1 &&
           depth(GetU16LE(b + core::bcBitCount), true);
  // The information header and its longer variants, as Windows writes them.
  constexpr uint32_t kSizes[] = {kInfoHeaderSize, kMasksInHeaderSize, 56, kOs2HeaderSize, 108, 124};
  if (std::find(std::begin(kSizes), std::end(kSizes), headerSize) == std::end(kSizes) || got < kInfoHeaderSize)
    return false;
  return GetI32LE(b + info::biWidth) > 0 && GetI32LE(b + info::biHeight) != 0 && GetU16LE(b + info::biPlanes) == 1 &&
         depth(GetU16LE(b + info::biBitCount), false) && GetU32LE(b + info::biCompression) <= bcPng;
}

void BmpReadStream(TVLStream& stream, TBitmap* bitmap, int64_t bmpSize, bool headerOnly, TVLProgressRecord& progress,
                   TIOParamsVals& params) {
  try {
    TBmpReader(stream, bitmap, bmpSize, headerOnly, progress, params).Run();
  } catch (const EVLStreamError&) {
    progress.Fail("BMP: premature end of data");
  } catch (const std::bad_alloc&) {
    progress.Fail("BMP: out of memory");
  }
}

}  // namespace velora
