// HEIF/HEIC reader over libheif: the primary image, the other top-level images as pages.
#pragma once
#include <cstdint>
#include <span>

#include "io/format_descriptor.h"

namespace velora {

// An ISO base media file whose brands name HEIF ("heic", "mif1", ...) and not AVIF, which
// has a reader of its own.
bool HeifProbe(std::span<const uint8_t> lead);
void HeifReadHeader(const TVLReadJob& job);
// Page ImageIndex: 0 the primary image, then the other top-level images in file order. The
// file's rotation and mirror properties are always applied, as by every HEIF reader: in
// HEIF they are part of the picture, not a hint (the EXIF orientation is not looked at).
void HeifReadPixels(const TVLReadJob& job);

extern const TVLFormatDescriptor kHeifDescriptor;

}  // namespace velora
