// Pieces shared by the resampling routines: the kernels, the contributor lists, the two
// weighted-sum passes and the row-band threading.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "parallel_rows.h"
#include "resample.h"

namespace velora::resample_detail {

// K(x) of a filter, in double precision; 0 outside its support.
double Kernel(TResampleFilter filter, double x);
double Support(TResampleFilter filter);

// For every destination index i, the source indexes (mirrored at the edges) and the weights
// that are not zero, in ascending source order: entries start[i] .. start[i + 1] - 1.
struct TContributors {
  std::vector<int32_t> start;
  std::vector<int32_t> index;
  std::vector<double> weight;
  int Count(int i) const { return start[size_t(i) + 1] - start[size_t(i)]; }
};
TContributors BuildContributors(TResampleFilter filter, int srcLen, int dstLen);

// How a clamped weighted sum becomes a byte.
enum class TRounding { Truncate, NearestEven };

// Widens a row of blue, green, red pixels to four double lanes per pixel (the fourth lane
// holds a value of no meaning). Never reads past the row's last pixel.
void WidenRow3(const uint8_t* src, int sw, double* lanes);

// Horizontal pass over rows already widened to 4 double lanes per pixel (in[4x + lane]):
// out[4i + lane] = Σ weight × in[4 × index + lane], summed in contributor order.
void HorizontalSums(const TContributors& cx, const double* in, double* out, int dw);

// Vertical pass for one destination row over byte rows: out[x] = clamp-and-round of
// Σ weight × rows[index][x] for x < n, summed in contributor order.
void VerticalRow(const TContributors& cy, int row, const uint8_t* const* rows, int n, TRounding rounding,
                 uint8_t* out);

// Clamps to 0..255 and rounds one sum.
inline uint8_t ToByte(double v, TRounding rounding);

// Source row y as 3 bytes blue, green, red or 1 grey byte per pixel: either the row itself
// or `scratch` (room for one row plus 4 bytes) filled with it.
using TRowReader = std::function<const uint8_t*(int y, uint8_t* scratch)>;
// Takes finished destination row y.
using TRowWriter = std::function<void(int y, const uint8_t* row)>;
// Rows of a bitmap of any readable format as blue, green, red; empty for unreadable formats.
TRowReader Reader24(const TBitmap& source);
// Rows of a 1-bit bitmap as grey bytes 0 / 255.
TRowReader ReaderBits(const TBitmap& source);
// Grey rows written into all three channels of a 24-bit bitmap.
TRowWriter WriterGreyTo24(TBitmap& dest);

using velora::ParallelRows;

// Whether a resize is big enough to be worth starting threads for (thumbnails and small view
// repaints are not).
inline bool WorthThreads(int sw, int sh, int dw, int dh) {
  return velora::WorthThreads(int64_t(sw) * sh + int64_t(dw) * dh);
}

}  // namespace velora::resample_detail

#include <cmath>
namespace velora::resample_detail {
inline uint8_t ToByte(double v, TRounding rounding) {
  if (!(v > 0)) return 0;
  if (v > 255) v = 255;
  return uint8_t(rounding == TRounding::Truncate ? int(v) : int(std::nearbyint(v)));
}
}  // namespace velora::resample_detail
