// The body shared by the reader targets: the recognition test, the header-only read (no
// bitmap), then the full read into a fresh bitmap, all from the start of one stream. The
// format's calls come in as callables so each target names only what differs.
#pragma once
#include <cstddef>
#include <cstdint>

#include "bitmap/toolkit_bitmap.h"
#include "io/io_params.h"
#include "base/progress.h"
#include "base/vl_stream.h"

namespace velora::fuzz {

// Larger inputs only slow the fuzzer down; nothing in a reader needs them to be reached.
constexpr size_t kMaxInput = size_t(1) << 20;

// For the formats without a recognition test.
inline void NoRecognition(TVLStream&) {}

// recognize(stream); readHeader(stream, params, record); readFull(stream, bitmap, params,
// record). The header read's params carry into the full read; the abort flag does not.
template <class Recognize, class ReadHeader, class ReadFull>
int FuzzReader(const uint8_t* data, size_t size, Recognize recognize, ReadHeader readHeader, ReadFull readFull) {
  if (size > kMaxInput) return 0;
  TVLBufferStream stream(data, int64_t(size));
  recognize(stream);
  stream.SetPosition(0);
  TIOParamsVals params;
  TVLLocalProgress progress;
  readHeader(stream, params, progress.record);
  stream.SetPosition(0);
  progress.aborting = false;
  TBitmap bitmap;
  readFull(stream, bitmap, params, progress.record);
  return 0;
}

}  // namespace velora::fuzz
