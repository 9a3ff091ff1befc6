// libpng plumbing shared by the PNG reader and writer: stream callbacks and error callbacks
// that leave libpng through its longjmp buffer.
#pragma once
#include <png.h>

#include "base/progress.h"
#include "base/vl_stream.h"

namespace velora::png_detail {

// What libpng's io pointer refers to during a read or a write.
struct TPngIO {
  TVLStream* stream = nullptr;
  TVLProgressRecord* progress = nullptr;
};

// Read: a short read is a libpng error (truncated file).
void ReadData(png_structp png, png_bytep data, size_t length);
// Write: a short write sets the abort flag; flush does nothing.
void WriteData(png_structp png, png_bytep data, size_t length);
void FlushData(png_structp png);

// Read errors set the abort flag; both leave through png_longjmp to the adapter's setjmp.
void ReadError(png_structp png, png_const_charp message);
void WriteError(png_structp png, png_const_charp message);
void IgnoreWarning(png_structp png, png_const_charp message);

}  // namespace velora::png_detail
