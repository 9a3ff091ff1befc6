#include "vl_helpers.h"

#include <vector>

#include <unistd.h>

#include <array>
#include <bit>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

namespace velora {

int RunLength(uint32_t mask) {
  if (mask == 0) return 0;
  return std::countr_one(mask >> std::countr_zero(mask));
}

int TopBit(uint32_t value) {
  if (value == 0) return -1;
  const int top = 31 - std::countl_zero(value);
  return std::has_single_bit(value) ? top : top + 1;
}

int64_t RowSizeOfFormat(int64_t width, TPixelFormat pixelFormat) { return RowSize(width, BitsOfFormat(pixelFormat)); }

namespace {
constexpr std::array<uint8_t, 256> kReversed = [] {
  std::array<uint8_t, 256> t{};
  for (int i = 0; i < 256; ++i) {
    int r = 0;
    for (int bit = 0; bit < 8; ++bit)
      if (i & (1 << bit)) r |= 128 >> bit;
    t[size_t(i)] = uint8_t(r);
  }
  return t;
}();
}  // namespace

uint8_t ReverseBits8(uint8_t b) { return kReversed[b]; }

uint32_t ReverseBits32(uint32_t v) {
  return (uint32_t(kReversed[v & 0xFF]) << 24) | (uint32_t(kReversed[(v >> 8) & 0xFF]) << 16) |
         (uint32_t(kReversed[(v >> 16) & 0xFF]) << 8) | uint32_t(kReversed[v >> 24]);
}

double IntPower(double x, int n) {
  // 64 bits: |INT_MIN| does not fit an int.
  uint64_t e = n < 0 ? uint64_t(-int64_t(n)) : uint64_t(n);
  double result = 1;
  for (double base = x; e; e >>= 1, base *= base)
    if (e & 1) result *= base;
  return n < 0 ? 1 / result : result;
}

double Power(double base, double exponent) {
  if (exponent == 0) return 1;
  if (base == 0 && exponent > 0) return 0;
  if (std::trunc(exponent) == exponent && std::abs(exponent) <= std::numeric_limits<int32_t>::max())
    return IntPower(base, int(exponent));
  return std::exp2(exponent * std::log2(base));
}

void Constrain45(int x, int y, int& x0, int& y0) {
  const int dx = std::abs(x - x0);
  const int dy = std::abs(y - y0);
  if (dx + 30 < dy) {
    x0 = x;
  } else if (dy < dx - 30) {
    y0 = y;
  } else if (dx < dy) {
    x0 = x0 < x ? x - dy : x + dy;
  } else {
    y0 = y0 < y ? y - dx : y + dx;
  }
}

namespace {
// The whole text (blanks around it allowed) read as a number with "." as separator.
bool ReadNumber(std::string_view text, double& value) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty() || text.front() == '+') return false;
  double v = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v, std::chars_format::general);
  if (ec != std::errc() || end != text.data() + text.size()) return false;
  value = v;
  return true;
}
}  // namespace

double ParseFloat(std::string_view text, double defaultValue) {
  double value = 0;
  if (ReadNumber(text, value)) return value;
  std::string swapped(text);
  for (char& c : swapped) {
    if (c == ',')
      c = '.';
    else if (c == '.')
      c = ',';
  }
  if (ReadNumber(swapped, value)) return value;
  return defaultValue;
}

// ---- CIE L*a*b* -----------------------------------------------------------------------------

namespace {
double Linearise(uint8_t channel) {
  double v = channel / 255.0;
  v = v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
  return v * 100;
}

double LabF(double t) { return t > 0.008856 ? std::cbrt(t) : 7.787 * t + 16.0 / 116.0; }

int8_t SignedByte(double v) {
  if (v < -128) return -128;
  if (v > 127) return 127;
  return int8_t(std::trunc(v));
}

uint8_t Channel(double v) {
  if (v <= 0) return 0;
  if (v >= 1) return 255;
  return uint8_t(std::trunc(std::sqrt(v) * 256));
}
}  // namespace

TVLLab RGBToLab(TRGB colour) {
  const double r = Linearise(colour.r), g = Linearise(colour.g), b = Linearise(colour.b);
  // XYZ on the 0..100 scale without division by the white point: the L scale below (÷ 550)
  // is built for that range.
  const double x = 0.4124 * r + 0.3576 * g + 0.1805 * b;
  const double y = 0.2126 * r + 0.7152 * g + 0.0722 * b;
  const double z = 0.0193 * r + 0.1192 * g + 0.9505 * b;
  const double fx = LabF(x), fy = LabF(y), fz = LabF(z);
  TVLLab lab;
  const double l = std::trunc((116 * fy - 16) / 550 * 255);
  lab.L = uint8_t(l < 0 ? 0 : l > 255 ? 255 : l);
  lab.a = SignedByte((fx - fy) * 500 / 200 * 128);
  lab.b = SignedByte((fy - fz) * 200 / 500 * 128);
  return lab;
}

TRGB LabToRGB(uint8_t L, int8_t a, int8_t b) {
  const double av = a == -128 ? 128 : a;
  const double bv = b == -128 ? 128 : b;
  const double l = L / 255.0 * 100;
  const double as = (av + 127) / 255 * 200 - 100;
  const double bs = (bv + 127) / 255 * 200 - 100;
  const double fy = (l + 16) / 116;
  const double fx = fy + as / 500;
  const double fz = fy - bs / 200;
  double x, y, z;
  if (l >= 7.9996) {
    x = fx * fx * fx;
    y = fy * fy * fy;
    z = fz * fz * fz;
  } else {
    y = l / 903.3;
    x = y + as / 3893.5;
    z = y - bs / 1557.4;
  }
  const double r = 2.69 * x - 1.276 * y - 0.414 * z;
  const double g = -1.022 * x + 1.978 * y + 0.044 * z;
  const double bl = 0.061 * x - 0.224 * y + 1.163 * z;
  return MakeRGB(Channel(r), Channel(g), Channel(bl));
}

std::string VLTempDirectory() {
  const char* dir = std::getenv("TMPDIR");
  return dir && *dir ? dir : "/tmp";
}

int VLCreateTempFile(const std::string& dir, std::string* name) {
  std::string pattern = dir.empty() ? VLTempDirectory() : dir;
  while (pattern.size() > 1 && pattern.back() == '/') pattern.pop_back();
  pattern += "/veloraXXXXXX";
  std::vector<char> path(pattern.begin(), pattern.end());
  path.push_back('\0');
  const int fd = ::mkstemp(path.data());
  if (fd < 0) return -1;
  ::unlink(path.data());
  if (name) *name = path.data();
  return fd;
}

}  // namespace velora
