// WebP reader and writer over libwebp (lossy, lossless, alpha, animation through its
// demuxer and animation decoder; metadata through its muxer).
#pragma once
#include <cstdint>
#include <span>

#include "io/format_descriptor.h"

namespace velora {

// "RIFF", a size, "WEBP".
bool WebpProbe(std::span<const uint8_t> lead);
// Size, alpha, frames, the ICC profile and the EXIF orientation, without decoding.
void WebpReadHeader(const TVLReadJob& job);
// Frame ImageIndex (of an animation: as the player shows it, composed on the canvas).
void WebpReadPixels(const TVLReadJob& job);
// Lossy at WebpQuality, or lossless with WebpLossless; the alpha mask's transparency and the
// record's ICC profile go with it.
void WebpWrite(TVLStream& stream, TBitmap& bitmap, TIOParamsVals& params, TVLMask* alphaMask,
               TVLProgressRecord& progress);

extern const TVLFormatDescriptor kWebpDescriptor;

}  // namespace velora
