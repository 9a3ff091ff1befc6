// AVIF reader and writer over libavif (8, 10 and 12 bits, reduced to 8 as avifdec does;
// sequences frame by frame).
#pragma once
#include <cstdint>
#include <span>

#include "io/format_descriptor.h"

namespace velora {

// An ISO base media file whose brands name AVIF ("avif", "avis").
bool AvifProbe(std::span<const uint8_t> lead);
void AvifReadHeader(const TVLReadJob& job);
// Frame ImageIndex of a sequence (0 for a still picture).
void AvifReadPixels(const TVLReadJob& job);
// At AvifQuality and AvifSpeed, or lossless (AvifLossless: 4:4:4, identity matrix); the
// alpha mask's transparency and the record's ICC profile go with it.
void AvifWrite(TVLStream& stream, TBitmap& bitmap, TIOParamsVals& params, TVLMask* alphaMask,
               TVLProgressRecord& progress);

extern const TVLFormatDescriptor kAvifDescriptor;

}  // namespace velora
