// The user filter file and the filters' arguments. The first 43 bytes are read as a filter
// file and, when they are one, applied to a small picture; each further group of 16 bytes gives
// four 32-bit arguments to the bump map, the lens, the wave and the morphology in turn, which
// take any values a caller may pass.
#include <cstdint>
#include <cstring>

#include "proc/filters.h"
#include "proc/user_filter.h"

namespace {

struct TArgs {
  int32_t v[4];
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velora;
  if (size > 4096) return 0;
  TBitmap b(13, 9, TPixelFormat::pf24bit);
  for (int y = 0; y < 9; ++y)
    for (int i = 0; i < 39; ++i) b.ScanLine(y)[i] = uint8_t(size ? data[size_t(y * 39 + i) % size] : i * y);
  TVLUserFilter filter;
  if (VLDecodeUserFilter(data, size, filter))
    ConvolveUserFilter(b, filter.Kernel, filter.Divisor, -1, 2, 40, 8);
  size_t at = size < size_t(kUserFilterFileSize) ? size : size_t(kUserFilterFileSize);
  for (int step = 0; at + sizeof(TArgs) <= size; at += sizeof(TArgs), ++step) {
    TArgs a;
    std::memcpy(&a, data + at, sizeof a);
    switch (step % 4) {
      case 0: BumpMap(b, a.v[0], a.v[1], a.v[2], a.v[3], MakeRGB(200, 100, 50), a.v[0] ^ a.v[3], 1, -3, 12, 30); break;
      case 1: Lens(b, a.v[0], a.v[1], a.v[2], a.v[3], double(a.v[0]) / 7 + double(a.v[3]) * 1e-3); break;
      case 2: Wave(b, a.v[0], a.v[1], a.v[2], a.v[3] & 1); break;
      default: MorphFilter(b, a.v[0], a.v[1] & 3, a.v[2] % 20, a.v[3] % 20, 13, 9); break;
    }
  }
  return 0;
}
