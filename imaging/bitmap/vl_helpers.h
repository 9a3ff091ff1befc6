// Bit, byte, arithmetic and colour-space helpers shared by the codecs, the view and the
// processing routines.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "toolkit_bitmap.h"
#include "base/vl_types.h"

namespace velora {

// Consecutive set bits from the lowest set bit (0 for 0): the width of a colour bit field.
int RunLength(uint32_t mask);
// −1 for 0; the index of a single set bit; otherwise one more than the highest set bit's index
// (the bits needed to hold the value's range).
int TopBit(uint32_t value);
// RowSize(width, BitsOfFormat(pixelFormat)).
int64_t RowSizeOfFormat(int64_t width, TPixelFormat pixelFormat);

uint8_t ReverseBits8(uint8_t b);
uint32_t ReverseBits32(uint32_t v);
// Mask of pixel i in a 1-bit row.
inline uint8_t BitMask(int i) { return uint8_t(128 >> (i & 7)); }
inline uint16_t Swap16(uint16_t v) { return uint16_t((v >> 8) | (v << 8)); }
inline uint32_t Swap32(uint32_t v) {
  return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}

// x^n by repeated squaring; 1 for n = 0; 1 / x^|n| for n < 0.
double IntPower(double x, int n);
// 1 for exponent 0; 0 for base 0 and exponent > 0; IntPower for integral exponents within 32
// bits; else 2^(exponent × log2(base)).
double Power(double base, double exponent);

// Snaps the end (x0, y0) of a drag that starts at (x, y) to a vertical, horizontal or
// diagonal line.
void Constrain45(int x, int y, int& x0, int& y0);

// A number written with "." or "," as the decimal separator; `defaultValue` when neither reads.
double ParseFloat(std::string_view text, double defaultValue = 0);

// The operating-system check of the original platform: never that system here.
inline bool IsWindowsXP() { return false; }

// The 3-byte CIE L*a*b* pixel of the TIFF codec: L unsigned, a and b signed.
struct TVLLab {
  uint8_t L = 0;
  int8_t a = 0;
  int8_t b = 0;
  friend bool operator==(const TVLLab&, const TVLLab&) = default;
};
// The TIFF Lab writer's encoding. Its L scale is its own (white gives 242, not 255) and the
// reader below does not invert it exactly; the TIFF files it writes depend on it.
TVLLab RGBToLab(TRGB colour);
// The TIFF Lab reader's decoding; a or b of −128 is taken as 128.
TRGB LabToRGB(uint8_t L, int8_t a, int8_t b);

// The temporary directory: $TMPDIR, else /tmp, without a trailing slash.
std::string VLTempDirectory();
// A new temporary file with the prefix "velora" in dir (the temporary directory when empty;
// a trailing slash is ignored), created exclusively and removed from the directory at once,
// so that nothing is left behind even when the process dies. The descriptor, or -1; name
// takes the path it had.
int VLCreateTempFile(const std::string& dir = {}, std::string* name = nullptr);

}  // namespace velora
