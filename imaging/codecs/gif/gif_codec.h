// GIF container (reader of any frame, single-image GIF89a writer) and its LZW coder.
#pragma once
#include <cstdint>
#include <string>

#include "bitmap/toolkit_bitmap.h"
#include "bitmap/vl_mask.h"
#include "io/format_descriptor.h"
#include "io/io_params.h"
#include "base/progress.h"
#include "base/vl_stream.h"

namespace velora {

void GifReadStream(TVLStream& stream, TBitmap* bitmap, int& imageCount, TVLMask* alphaMask, bool headerOnly,
                   TVLProgressRecord& progress, TIOParamsVals& params);
void GifWriteStream(TVLStream& stream, TBitmap& bitmap, TIOParamsVals& params, TVLProgressRecord& progress);
// Open (others may read) or create the file, call the stream form, close whatever happens.
void GifReadFile(const std::string& fileName, TBitmap* bitmap, int& imageCount, TVLMask* alphaMask,
                 TVLProgressRecord& progress, TIOParamsVals& params);
void GifWriteFile(const std::string& fileName, TBitmap& bitmap, TIOParamsVals& params, TVLProgressRecord& progress);

// The LZW coder, installed into the global slots by the programs.
void GifLzwDecode(TVLStream& stream, int height, int width, uint8_t* output, bool interlaced);
void GifLzwEncode(TVLStream& stream, int height, int width, int bitsPerPixel, const uint8_t* indices,
                  bool interlaced);

extern const TVLFormatDescriptor kGifDescriptor;

}  // namespace velora
