// JPEG XL reader and lossless writer over libjxl.
#pragma once
#include <cstdint>
#include <span>

#include "io/format_descriptor.h"

namespace velora {

// A bare codestream (FF 0A) or the container's signature box.
bool JxlProbe(std::span<const uint8_t> lead);
void JxlReadHeader(const TVLReadJob& job);
// Frame ImageIndex of an animation, as shown (composed); 0 for a still picture.
void JxlReadPixels(const TVLReadJob& job);
// Lossless, 8 bits a sample, with the alpha mask's transparency and the record's ICC profile.
void JxlWrite(TVLStream& stream, TBitmap& bitmap, TIOParamsVals& params, TVLMask* alphaMask,
              TVLProgressRecord& progress);

extern const TVLFormatDescriptor kJxlDescriptor;

}  // namespace velora
