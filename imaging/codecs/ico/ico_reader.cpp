// Icon (ICO) and cursor (CUR) readers: one image of the directory, chosen by index, as a
// toolkit bitmap with its transparent pixels in the background colour and cleared in the
// alpha mask. Images stored as PNG go to the PNG reader.
#include <cmath>
#include <cstring>
#include <string>

#include "codecs/bmp/bmp_codec.h"
#include "codecs/bmp/bmp_dib.h"
#include "codecs/png/png_codec.h"
#include "ico_codec.h"
#include "ico_private.h"
#include "io/image_limits.h"

namespace velora {

using namespace ico;

namespace {

const char* Format(bool cursor) { return cursor ? "CUR" : "ICO"; }

const uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

bool IsIconDirectory(TVLStream& stream, uint16_t type) {
  const int64_t start = stream.Position();
  bool ok = false;
  try {
    if (stream.Size() - start >= kMinStreamSize) {
      uint8_t h[kFileHeaderSize];
      stream.ReadBuffer(h, kFileHeaderSize);
      const int count = h[4] | (h[5] << 8);
      ok = h[0] == 0 && h[1] == 0 && (h[2] | (h[3] << 8)) == type && count != 0;
      for (int i = 0; ok && i < count; ++i) {
        uint8_t e[kEntrySize];
        stream.ReadBuffer(e, kEntrySize);
        TIconDirEntry entry;
        entry.Parse(e);
        const int64_t behind = kFileHeaderSize + int64_t(i + 1) * kEntrySize;
        ok = entry.reserved == 0 && entry.bytesInRes != 0 && entry.imageOffset >= behind;
      }
    }
  } catch (const EVLStreamError&) {
    ok = false;
  }
  stream.SetPosition(start);
  return ok;
}

int DpiFromPelsPerMeter(int32_t pels, int defaultDpi) {
  return pels < 1 ? defaultDpi : int(std::nearbyint(pels / 100.0 * 2.54));
}

int BitsForColours(int colours) {
  int n = 0;
  while ((1 << n) < colours) ++n;
  return n;
}

// PNG images inside the directory (the usual form of large modern icons): the PNG reader
// does the work, compositing over the icon's background where no mask takes the alpha.
void ReadPngImage(TVLStream& stream, TBitmap* bitmap, TIOParamsVals& params, TVLMask* mask, bool headerOnly,
                  TVLProgressRecord& progress, TRGB background) {
  const TRGB saved = params.PngBackground;
  params.PngBackground = background;
  PngReadStream(stream, bitmap, params, mask, headerOnly, progress);
  params.PngBackground = saved;
}

void ReadIconOrCursor(TVLStream& stream, TBitmap* bitmap, TIOParamsVals& params, TVLMask* mask,
                      TVLProgressRecord& progress, bool headerOnly, bool cursor) {
  const int64_t start = stream.Position();
  uint8_t fh[kFileHeaderSize];
  stream.ReadBuffer(fh, kFileHeaderSize);
  if (!cursor && fh[0] == 'B' && fh[1] == 'M') {
    stream.SetPosition(start);
    BmpReadStream(stream, bitmap, stream.Size() - start, headerOnly, progress, params);
    return;
  }
  const int count = fh[4] | (fh[5] << 8);
  const int index = cursor ? params.CurImageIndex : params.IcoImageIndex;
  if (index < 0 || index >= count) return;  // nothing changes, nothing is reported

  uint8_t raw[kEntrySize];
  stream.SetPosition(start + kFileHeaderSize + int64_t(index) * kEntrySize);
  stream.ReadBuffer(raw, kEntrySize);
  TIconDirEntry entry;
  entry.Parse(raw);
  if (cursor) {
    params.CurHotSpotX = entry.planes;
    params.CurHotSpotY = entry.bitCount;
  }
  const TRGB background = cursor ? params.CurBackground : params.IcoBackground;

  stream.SetPosition(start + entry.imageOffset);
  uint8_t ih[kInfoHeaderSize];
  stream.ReadBuffer(ih, 8);
  if (std::memcmp(ih, kPngSignature, 8) == 0) {
    stream.SetPosition(start + entry.imageOffset);
    ReadPngImage(stream, bitmap, params, mask, headerOnly, progress, background);
    return;
  }
  stream.ReadBuffer(ih + 8, kInfoHeaderSize - 8);
  TInfoHeader info;
  info.Parse(ih);

  params.DpiX = DpiFromPelsPerMeter(info.biXPelsPerMeter, DefaultDpiX());
  params.DpiY = DpiFromPelsPerMeter(info.biYPelsPerMeter, DefaultDpiY());

  int bits = cursor ? 0 : entry.bitCount;
  if (info.biBitCount != 0) bits = info.biBitCount;
  if (bits == 0) {
    if (entry.colorCount == 0) {
      progress.Fail(std::string(Format(cursor)) + ": image " + std::to_string(index) + " names no depth and no colours");
      return;
    }
    bits = BitsForColours(entry.colorCount);
  }
  int tableSize = 0;
  if (bits <= 8) {
    tableSize = entry.colorCount == 255 ? 256 : entry.colorCount == 0 ? (1 << bits) : entry.colorCount;
    // A table longer than the depth can index would push the pixels out of place.
    tableSize = std::min(tableSize, 1 << bits);
  }
  if (cursor || bits <= 8) {
    params.BitsPerSample = bits;
    params.SamplesPerPixel = 1;
  } else {
    params.BitsPerSample = 8;
    params.SamplesPerPixel = 3;
  }

  int64_t width = entry.width != 0 ? entry.width : info.biWidth;
  int64_t height = entry.height != 0 ? entry.height : info.biHeight / 2;
  if (!cursor && entry.width != 0 && info.biWidth != 0 && entry.width != info.biWidth && info.biWidth < 2048 &&
      info.biHeight < 2048) {
    width = info.biWidth;
    height = info.biHeight / 2;
  }
  // The colour table follows the information header (whatever size that declares).
  if (info.biSize > kInfoHeaderSize && info.biSize <= 1024) stream.SetPosition(start + entry.imageOffset + info.biSize);
  TIconImage image;
  image.width = int(width);
  image.height = int(height);
  image.bitCount = bits;
  image.background = background;
  params.FreeColorMap();
  if (bits <= 8) {
    std::vector<uint8_t> quads(size_t(tableSize) * 4, 0);
    stream.Read(quads.data(), int64_t(quads.size()));
    for (int i = 0; i < tableSize; ++i) image.colorTable.push_back(TRGB{quads[4 * i], quads[4 * i + 1], quads[4 * i + 2]});
    params.SetColorMap(image.colorTable.data(), tableSize);
  } else if (info.biCompression == bmp::bcBitFields) {
    // The three bit-field masks of a 16- or 32-bit image; 32-bit icons are always blue,
    // green, red, alpha bytes.
    for (uint32_t& m : image.masks) m = stream.ReadU32LE();
  }
  params.Width = image.width;
  params.Height = image.height;
  // A cut-off image keeps the rows it has, but a few bytes may not declare a huge one; the
  // header-only read refuses it too, so that a folder scan does not list it. Every image has
  // its 1-bit AND mask after the colour rows, so even a depth the reader leaves blank (or a
  // colour count that asks for 0 bits) is backed by a bit per pixel.
  const auto backing = [&] { return VLBackingBytes((RowSize(width, bits) + RowSize(width, 1)) * height); };
  const TVLOpenCheck check{Format(cursor), width, height, backing,
                           stream.Size() - stream.Position()};
  if (!VLCheckOpen(check, headerOnly, bitmap, bits == 1 ? TPixelFormat::pf1bit : TPixelFormat::pf24bit, progress))
    return;
  if (mask) {
    mask->Allocate(image.width, image.height, 8);
    mask->Fill(255);
  }
  // Cursors decode what icons decode: the deeper ones too.
  DecodeIconBitmaps(stream, image, *bitmap, mask, progress);
}

void ReadGuarded(TVLStream& stream, TBitmap* bitmap, TIOParamsVals& params, TVLMask* mask,
                 TVLProgressRecord& progress, bool headerOnly, bool cursor) {
  try {
    ReadIconOrCursor(stream, bitmap, params, mask, progress, headerOnly, cursor);
  } catch (const EVLStreamError&) {
    progress.Fail(std::string(Format(cursor)) + ": premature end of data");
  } catch (const std::exception&) {
    progress.Fail(std::string(Format(cursor)) + ": out of memory");
  }
}

}  // namespace

bool IsIcoStream(TVLStream& stream) { return IsIconDirectory(stream, kTypeIcon); }
bool IsCurStream(TVLStream& stream) { return IsIconDirectory(stream, kTypeCursor); }

void IcoReadStream(TVLStream& stream, TBitmap* bitmap, TIOParamsVals& params, TVLMask* alphaMask,
                   TVLProgressRecord& progress, bool headerOnly) {
  ReadGuarded(stream, bitmap, params, alphaMask, progress, headerOnly, false);
}

void CurReadStream(TVLStream& stream, TBitmap* bitmap, TIOParamsVals& params, TVLMask* alphaMask,
                   TVLProgressRecord& progress, bool headerOnly) {
  ReadGuarded(stream, bitmap, params, alphaMask, progress, headerOnly, true);
}

}  // namespace velora
