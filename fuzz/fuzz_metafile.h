// The body of the two metafile targets: the header-only read of the front, then the import's
// probe and drawing at a small size (the picture's own size bounded, so that each input
// finishes quickly; the size rules are ImportMetafile's and tested apart).
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "codecs/metafile/metafile_codec.h"
#include "fuzz_reader.h"

namespace velora::fuzz {

inline int FuzzMetafile(const uint8_t* data, size_t size) {
  if (size > kMaxInput) return 0;
  TVLBufferStream stream(data, int64_t(size));
  TIOParamsVals params;
  TVLLocalProgress header;
  MetafileReadStream({stream, int64_t(size), nullptr, nullptr, params, true, header.record});
  const std::span<const uint8_t> bytes(data, size);
  TVLLocalProgress progress;
  TVLMetafileFacts facts;
  if (!MetafileProbe(bytes, facts, progress.record)) return 0;
  const int width = std::clamp(facts.Width, 2, 96), height = std::clamp(facts.Height, 2, 96);
  TBitmap target;
  target.Reset(width - 1, height - 1, TPixelFormat::pf24bit);
  MetafileDraw(bytes, target, width, height, progress.record);
  return 0;
}

}  // namespace velora::fuzz
