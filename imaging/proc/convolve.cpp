// The 3 × 3 user filter.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "filters.h"
#include "proc_area.h"

namespace velora {

using namespace proc_detail;

namespace {

// One source row with its edge pixels repeated once at each end, so that the window of every
// column of the image reads three neighbours without a test.
void LoadPaddedRow(const TBitmap& bitmap, int y, std::vector<uint8_t>& padded) {
  const int w = bitmap.Width();
  const uint8_t* row = bitmap.ScanLine(y);
  std::memcpy(padded.data() + 3, row, size_t(w) * 3);
  std::memcpy(padded.data(), row, 3);
  std::memcpy(padded.data() + 3 * (size_t(w) + 1), row + 3 * (size_t(w) - 1), 3);
}

// The weighted sum of the nine neighbours of byte i of the area's row (counted from its first
// pixel), in the type T.
template <class T>
T WindowSum(const uint8_t* const rows[3], const T k[9], int i) {
  T s = 0;
  for (int r = 0; r < 3; ++r) {
    const uint8_t* p = rows[r] + i;
    s += k[3 * r] * T(p[0]) + k[3 * r + 1] * T(p[3]) + k[3 * r + 2] * T(p[6]);
  }
  return s;
}

// Sums of kernels whose reach is at most this go through a table of their quotients: the
// presets reach a few thousand, and a lookup costs far less than a division.
constexpr int64_t kQuotientTableReach = 1 << 16;

// The weights come from a file and may be any 32-bit values: the sums are 64-bit unless the
// largest one possible fits in 32 bits.
struct TKernel {
  int32_t k32[9];
  int64_t k64[9];
  int64_t divisor;
  int64_t reach = 0;  // the largest |sum|
  std::vector<uint8_t> quotients;  // clamp(s div divisor) at s + reach

  TKernel(const std::array<int32_t, 9>& kernel, int32_t d) : divisor(d == 0 ? 1 : d) {
    for (int i = 0; i < 9; ++i) {
      k64[i] = kernel[size_t(i)];
      reach += std::llabs(k64[i]) * 255;
    }
    for (int i = 0; i < 9; ++i) k32[i] = reach <= INT32_MAX ? kernel[size_t(i)] : 0;
    if (reach <= kQuotientTableReach) {
      quotients.resize(size_t(2 * reach + 1));
      for (int64_t s = -reach; s <= reach; ++s) quotients[size_t(s + reach)] = uint8_t(Clamp255(s / divisor));
    }
  }

  void FilterRow(const uint8_t* const rows[3], int bytes, uint8_t* out) const {
    if (!quotients.empty()) {
      const uint8_t* q = quotients.data() + reach;
      for (int i = 0; i < bytes; ++i) out[i] = q[WindowSum<int32_t>(rows, k32, i)];
    } else if (reach <= INT32_MAX) {
      for (int i = 0; i < bytes; ++i) out[i] = uint8_t(Clamp255(WindowSum<int32_t>(rows, k32, i) / divisor));
    } else {
      for (int i = 0; i < bytes; ++i) out[i] = uint8_t(Clamp255(WindowSum<int64_t>(rows, k64, i) / divisor));
    }
  }
};

}  // namespace

void ConvolveUserFilter(TBitmap& bitmap, const std::array<int32_t, 9>& kernel, int32_t divisor, int x0, int y0,
                        int x1, int y1, const TVLProgressRecord* progress) {
  if (!Takes24(bitmap)) return;
  const TVLArea a = CutArea(bitmap, x0, y0, x1, y1);
  if (a.Empty()) return;
  const TKernel k(kernel, divisor);

  // Rows above, at and below y as they were before the pass: the row above has been written
  // by the time y is filtered, so a copy of it is kept.
  const size_t paddedLen = (size_t(bitmap.Width()) + 2) * 3;
  std::vector<uint8_t> above(paddedLen), at(paddedLen), below(paddedLen);
  const int last = bitmap.Height() - 1;
  LoadPaddedRow(bitmap, std::max(a.y0 - 1, 0), above);
  LoadPaddedRow(bitmap, a.y0, at);
  const int bytes = a.Width() * 3;
  for (int y = a.y0; y < a.y1; ++y) {
    LoadPaddedRow(bitmap, std::min(y + 1, last), below);
    // Padded pixel p + 1 is image pixel p: the window of x starts at padded pixel x.
    const size_t start = size_t(a.x0) * 3;
    const uint8_t* rows[3] = {above.data() + start, at.data() + start, below.data() + start};
    uint8_t* out = bitmap.ScanLine(y) + start;
    k.FilterRow(rows, bytes, out);
    std::swap(above, at);
    std::swap(at, below);
    ReportRowDone(progress, a, y);
  }
}

}  // namespace velora
