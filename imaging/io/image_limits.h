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

}  // namespace velora
