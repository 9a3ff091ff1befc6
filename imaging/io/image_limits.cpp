#include "image_limits.h"

#include <algorithm>
#include <atomic>

namespace velora {

namespace {
std::atomic<int64_t> gMaxPixels{kDefaultMaxPixels};
}

int64_t VLMaxPixels() { return gMaxPixels.load(std::memory_order_relaxed); }
void VLSetMaxPixels(int64_t maxPixels) { gMaxPixels.store(maxPixels, std::memory_order_relaxed); }

bool VLImageSizeAllowed(int64_t width, int64_t height) {
  if (width <= 0 || height <= 0) return false;
  // Both sides are 32-bit in every header, so the product cannot overflow 64 bits.
  if (width > 0x7FFFFFFF || height > 0x7FFFFFFF) return false;
  return width * height <= VLMaxPixels();
}

bool VLDataCanBackImage(int64_t densestBytes, int64_t availableBytes) {
  const int64_t needed = (std::max<int64_t>(densestBytes, 0) + kMaxDataShortfall - 1) / kMaxDataShortfall;
  return needed <= availableBytes;
}

}  // namespace velora
