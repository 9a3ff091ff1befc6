// The one limit on the size of a decoded image. Every reader checks the header's width and
// height against it before allocating anything; a file beyond it fails like any bad file.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>

#include "base/progress.h"
#include "bitmap/toolkit_bitmap.h"

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
// The bytes a file must still hold for a raster whose densest coding takes densestBytes.
int64_t VLBackingBytes(int64_t densestBytes);

// A reader's header as the shared check sees it.
struct TVLOpenCheck {
  const char* format;     // the reasons' prefix: "PCX"
  int64_t width, height;  // as declared
  // The least data that can back the raster (VLBackingBytes of the densest coding); asked
  // only once the size is within the limit, so that it may multiply freely. Empty: no check.
  std::function<int64_t()> neededBytes = {};
  int64_t availableBytes = 0;  // what the file has left for the raster
};

// The check every reader makes once, where its header is known and before anything is
// allocated: the pixel limit, the data-backing rule, the header-only return, the target and
// its allocation. True when the reader goes on to decode into the bitmap, which then has the
// declared size and pixelFormat (left as it is without one, for readers whose decoder
// allocates later); false when the read is over, finished (header only) or refused with a
// reason ("PCX: 16000 x 16000 declared, 300 bytes follow"). Header-only reads refuse what full
// reads refuse, so that a folder scan never lists a file that cannot be opened.
bool VLCheckOpen(const TVLOpenCheck& header, bool headerOnly, TBitmap* bitmap, std::optional<TPixelFormat> pixelFormat,
                 TVLProgressRecord& progress);

}  // namespace velora
