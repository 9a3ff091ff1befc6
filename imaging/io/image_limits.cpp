#include "image_limits.h"

#include <algorithm>
#include <atomic>
#include <string>

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

int64_t VLBackingBytes(int64_t densestBytes) {
  return (std::max<int64_t>(densestBytes, 0) + kMaxDataShortfall - 1) / kMaxDataShortfall;
}

bool VLDataCanBackImage(int64_t densestBytes, int64_t availableBytes) {
  return VLBackingBytes(densestBytes) <= availableBytes;
}

bool VLCheckOpen(const TVLOpenCheck& header, bool headerOnly, TBitmap* bitmap, std::optional<TPixelFormat> pixelFormat,
                 TVLProgressRecord& progress) {
  const std::string size = std::to_string(header.width) + " x " + std::to_string(header.height);
  const std::string format = header.format;
  if (header.width <= 0 || header.height <= 0) {
    progress.Fail(format + ": " + size + " declared, an empty image");
    return false;
  }
  if (!VLImageSizeAllowed(header.width, header.height)) {
    progress.Fail(format + ": " + size + " declared, beyond the limit of " + std::to_string(VLMaxPixels()) +
                  " pixels");
    return false;
  }
  if (header.neededBytes && header.neededBytes() > header.availableBytes) {
    progress.Fail(format + ": " + size + " declared, " + std::to_string(std::max<int64_t>(header.availableBytes, 0)) +
                  " bytes follow");
    return false;
  }
  if (headerOnly) return false;
  if (!bitmap) {
    progress.Fail(format + ": no bitmap to read into");
    return false;
  }
  if (pixelFormat) bitmap->Reset(int(header.width), int(header.height), *pixelFormat);
  return true;
}

}  // namespace velora
