// The one limit on the size of a decoded image. Every reader checks the header's width and
// height against it before allocating anything; a file beyond it fails like any bad file.
#pragma once
#include <cstdint>

namespace velora {

constexpr int64_t kDefaultMaxPixels = int64_t(1) << 28;

// The current limit in pixels (width × height); settable by callers and `velora --max-pixels`.
int64_t VLMaxPixels();
void VLSetMaxPixels(int64_t maxPixels);

// True when an image of width × height pixels may be decoded: both sides positive, the
// product within the limit.
bool VLImageSizeAllowed(int64_t width, int64_t height);

// Readers that keep what a cut-off file holds (the rest of the image stays black) still
// refuse a header the file cannot back. When even the densest coding the format allows would
// need more than kMaxDataShortfall times the bytes the file has left, the header is no longer
// that of a cut-off image: decoding it would only clear a huge bitmap for a few bytes of data,
// and the viewer would then spend seconds making a black thumbnail of it. The header-only
// read makes the same check, so that a folder scan never lists a file that cannot be opened.
constexpr int64_t kMaxDataShortfall = 16;

// True when availableBytes can back a raster whose densest coding takes densestBytes.
bool VLDataCanBackImage(int64_t densestBytes, int64_t availableBytes);

}  // namespace velora
