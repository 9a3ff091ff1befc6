// A portable anymap read back for comparison in the tool's end-to-end tests.
#pragma once
#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

namespace velora::iotest {

// A portable anymap (P4, P5 or P6 at maxval 255) as red, green, blue bytes per pixel.
struct TRgbImage {
  int width = 0, height = 0;
  char kind = 0;  // '4', '5' or '6'
  std::vector<uint8_t> rgb;

  bool Parse(const std::string& f) {
    size_t pos = 2;
    auto number = [&]() {
      for (;;) {
        while (pos < f.size() && std::isspace(static_cast<unsigned char>(f[pos]))) ++pos;
        if (pos < f.size() && f[pos] == '#') {
          while (pos < f.size() && f[pos] != '\n') ++pos;
          continue;
        }
        break;
      }
      int v = 0;
      while (pos < f.size() && std::isdigit(static_cast<unsigned char>(f[pos]))) v = v * 10 + (f[pos++] - '0');
      return v;
    };
    if (f.size() < 3 || f[0] != 'P' || f[1] < '4' || f[1] > '6') return false;
    kind = f[1];
    width = number();
    height = number();
    if (kind != '4' && number() != 255) return false;
    ++pos;  // the single blank before the raster
    const auto* raster = reinterpret_cast<const uint8_t*>(f.data()) + pos;
    const size_t rowBytes = kind == '4' ? size_t(width + 7) / 8 : size_t(width) * (kind == '5' ? 1 : 3);
    if (f.size() < pos + rowBytes * size_t(height)) return false;
    rgb.clear();
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        const uint8_t* row = raster + rowBytes * size_t(y);
        uint8_t c[3];
        if (kind == '4') c[0] = c[1] = c[2] = (row[x >> 3] & (0x80 >> (x & 7))) ? 0 : 255;
        else if (kind == '5') c[0] = c[1] = c[2] = row[x];
        else c[0] = row[3 * x], c[1] = row[3 * x + 1], c[2] = row[3 * x + 2];
        rgb.insert(rgb.end(), c, c + 3);
      }
    return true;
  }
};

}  // namespace velora::iotest
