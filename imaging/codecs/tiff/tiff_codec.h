// TIFF reader and writer with their LZW and CCITT coders. The format's descriptor names no
// reader while it is not built: TIFF files are recognised and listed under their
// extensions, and reading one fails with a reason.
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

void TiffReadStream(TVLStream& stream, TBitmap* bitmap, TIOParamsVals& params, TVLMask* alphaMask,
                    bool headerOnly, TVLProgressRecord& progress);
// Writes the bitmap as one page: a new file at the stream's position, or (insert) a page
// added to the TIFF that starts there, at params.TiffImageIndex (beyond the last page:
// appended). Returns the pages the file has afterwards, 0 when it failed (Aborting).
int TiffWriteStream(TVLStream& stream, bool insert, TBitmap& bitmap, TVLProgressRecord& progress,
                    TIOParamsVals& params);

extern const TVLFormatDescriptor kTiffDescriptor;

}  // namespace velora
