// GIF writer: one image, GIF89a layout, a global colour table of 2^BitsPerSample entries, a
// graphic control extension and LZW data from the encoder referenced by the parameter record
// (or the global slot).
#include <algorithm>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "gif_codec.h"
#include "gif_private.h"
#include "proc/pixel_formats.h"
#include "quant/quantizer.h"

namespace velora {

namespace {

using namespace gif;

// The image reduced to palette indexes, one byte per pixel, rows top to bottom.
struct TIndexedImage {
  int depth = 8;
  std::vector<TRGB> palette;  // 2^depth entries
  std::vector<uint8_t> indices;
  int background = 0;
  int transparent = 0;
};

void UnpackMono(const TBitmap& mono, std::vector<uint8_t>& indices) {
  const int w = mono.Width();
  for (int y = 0; y < mono.Height(); ++y) {
    const uint8_t* src = mono.ScanLine(y);
    uint8_t* dst = indices.data() + int64_t(y) * w;
    for (int x = 0; x < w; ++x) dst[x] = (src[x >> 3] >> (7 - (x & 7))) & 1;
  }
}

// Depth 1: a 1-bit bitmap as it is; two colours as darker, lighter; anything else dithered.
void IndexMono(const TBitmap& bitmap, const TIOParamsVals& params, TIndexedImage& image) {
  image.palette = {TRGB{0, 0, 0}, TRGB{255, 255, 255}};
  if (bitmap.PixelFormat() == TPixelFormat::pf1bit) {
    UnpackMono(bitmap, image.indices);
  } else {
    TRGB colour0, colour1;
    if (std::unique_ptr<TBitmap> two = ReduceToTwoColours(bitmap, colour0, colour1)) {
      image.palette = {colour0, colour1};
      UnpackMono(*two, image.indices);
    } else {
      TBitmap copy;
      CopyBitmap(bitmap, copy);
      DitherToMono(copy);
      UnpackMono(copy, image.indices);
    }
  }
  image.background = NearestPaletteIndex(image.palette.data(), 2, params.GifBackground);
  image.transparent = NearestPaletteIndex(image.palette.data(), 2, params.GifTranspColor);
}

// Depths 2 to 8: the quantizer builds the palette and gives every pixel its index.
void IndexQuantized(const TBitmap& bitmap, const TIOParamsVals& params, TIndexedImage& image) {
  TBitmap expanded;
  const TBitmap* source = &bitmap;
  if (bitmap.PixelFormat() == TPixelFormat::pf1bit) {
    ExpandMonoTo24(bitmap, expanded);
    source = &expanded;
  }
  image.palette.assign(size_t(1) << image.depth, TRGB{});
  TVLQuantizer quantizer(*source, int(image.palette.size()), image.palette.data());
  const int w = source->Width();
  // Neighbouring pixels often share a colour: remember the last lookup.
  TRGB last = {};
  uint8_t lastIndex = uint8_t(quantizer.RGBIndex(last));
  for (int y = 0; y < source->Height(); ++y) {
    const TRGB* src = reinterpret_cast<const TRGB*>(source->ScanLine(y));
    uint8_t* dst = image.indices.data() + int64_t(y) * w;
    for (int x = 0; x < w; ++x) {
      if (!(src[x] == last)) {
        last = src[x];
        lastIndex = uint8_t(quantizer.RGBIndex(last));
      }
      dst[x] = lastIndex;
    }
  }
  image.background = quantizer.RGBIndex(params.GifBackground);
  image.transparent = quantizer.RGBIndex(params.GifTranspColor);
}

void WriteHeader(TVLStream& stream, const TBitmap& bitmap, const TIOParamsVals& params, const TIndexedImage& image) {
  // The version field names the first six bytes; a shorter one is completed from "GIF89a".
  std::string version = params.GifVersion.substr(0, 6);
  version += std::string("GIF89a").substr(version.size());
  stream.WriteBuffer(version.data(), 6);
  stream.WriteU16LE(uint16_t(bitmap.Width()));
  stream.WriteU16LE(uint16_t(bitmap.Height()));
  const int field = image.depth - 1;
  stream.WriteU8(uint8_t(0x80 | (field << 4) | field));
  stream.WriteU8(uint8_t(image.background));
  stream.WriteU8(0);
  std::vector<uint8_t> rgb(image.palette.size() * 3);
  for (size_t i = 0; i < image.palette.size(); ++i) {
    rgb[i * 3] = image.palette[i].r;
    rgb[i * 3 + 1] = image.palette[i].g;
    rgb[i * 3 + 2] = image.palette[i].b;
  }
  stream.WriteBuffer(rgb.data(), int64_t(rgb.size()));
}

void WriteGraphicControl(TVLStream& stream, const TIOParamsVals& params, const TIndexedImage& image) {
  const uint8_t disposal = 2 << 2;  // restore to background
  const uint8_t bytes[] = {kExtensionIntroducer, kGraphicControlLabel, 4,
                           uint8_t((params.GifTransparent ? 1 : 0) | disposal)};
  stream.WriteBuffer(bytes, sizeof bytes);
  stream.WriteU16LE(uint16_t(std::clamp(params.GifDelayTime, 0, 65535)));
  stream.WriteU8(uint8_t(image.transparent));
  stream.WriteU8(0);
}

void WriteImageDescriptor(TVLStream& stream, const TBitmap& bitmap, const TIOParamsVals& params) {
  stream.WriteU8(kImageSeparator);
  stream.WriteU16LE(uint16_t(std::clamp(params.GifXPos, 0, 65535)));
  stream.WriteU16LE(uint16_t(std::clamp(params.GifYPos, 0, 65535)));
  stream.WriteU16LE(uint16_t(bitmap.Width()));
  stream.WriteU16LE(uint16_t(bitmap.Height()));
  stream.WriteU8(params.GifInterlaced ? 0x40 : 0);
}

void WriteImage(TVLStream& stream, TBitmap& bitmap, TIOParamsVals& params, TVLProgressRecord& progress) {
  TGifLzwCompFunc encode = GifCompressor(params);
  const TPixelFormat pf = bitmap.PixelFormat();
  // Nothing is written that could not be completed: no coder, nothing to code, a format the
  // writer does not take, or a size the file's 16-bit fields cannot hold.
  if (!encode) return progress.Fail("GIF: no LZW compressor is installed");
  if (bitmap.Empty() || (pf != TPixelFormat::pf1bit && pf != TPixelFormat::pf24bit))
    return progress.Fail("GIF: only 1- and 24-bit pictures are written");
  if (bitmap.Width() > 65535 || bitmap.Height() > 65535)
    return progress.Fail("GIF: " + std::to_string(bitmap.Width()) + " x " + std::to_string(bitmap.Height()) +
                         " is beyond the format's 65535 pixels a side");

  TIndexedImage image;
  image.depth = std::clamp(params.BitsPerSample, 1, 8);
  image.indices.assign(size_t(int64_t(bitmap.Width()) * bitmap.Height()), 0);
  if (image.depth == 1)
    IndexMono(bitmap, params, image);
  else
    IndexQuantized(bitmap, params, image);

  progress.Report(30);
  if (progress.Aborted()) return;
  WriteHeader(stream, bitmap, params, image);
  WriteGraphicControl(stream, params, image);
  WriteImageDescriptor(stream, bitmap, params);

  progress.Report(70);
  if (progress.Aborted()) return;
  encode(stream, bitmap.Height(), bitmap.Width(), image.depth, image.indices.data(), params.GifInterlaced);
  stream.WriteU8(kTrailer);
  progress.Report(100);
}

}  // namespace

void GifWriteStream(TVLStream& stream, TBitmap& bitmap, TIOParamsVals& params, TVLProgressRecord& progress) {
  progress.Report(0);
  if (progress.Aborted()) return;
  try {
    WriteImage(stream, bitmap, params, progress);
    stream.Flush();
  } catch (const EVLStreamError&) {
    progress.Fail("GIF: the stream refused the data");
  } catch (const std::bad_alloc&) {
    progress.Abort();
  }
}

void GifWriteFile(const std::string& fileName, TBitmap& bitmap, TIOParamsVals& params, TVLProgressRecord& progress) {
  TVLFileStream stream(fileName, TVLFileStream::fmCreate);
  GifWriteStream(stream, bitmap, params, progress);
}

}  // namespace velora
