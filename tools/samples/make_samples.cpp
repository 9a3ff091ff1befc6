// Writes the sample folder that ./run.sh shows: procedural pictures (fractals, gradients,
// patterns, text) in every format the library writes, plus an icon built by hand, since the
// library reads icons but does not write them. The output is the same on every run.
//
//   make_samples DIR
#include <cmath>
#include <array>
#include <complex>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>

#include "bitmap/toolkit_bitmap.h"
#include "codecs/formats.h"
#include "io/velora_io.h"
#include "base/vl_stream.h"
#include "codecs/metafile/metafile_scenes.h"

using namespace velora;

namespace {

using TPixelFn = std::function<TRGB(int x, int y)>;

void Paint24(TBitmap& bmp, int w, int h, const TPixelFn& fn) {
  bmp.Reset(w, h, TPixelFormat::pf24bit);
  for (int y = 0; y < h; ++y) {
    auto* row = reinterpret_cast<TRGB*>(bmp.ScanLine(y));
    for (int x = 0; x < w; ++x) row[x] = fn(x, y);
  }
}

uint8_t Clamp8(double v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); }

// A smooth palette through blue, white, orange and black.
TRGB Palette(double t) {
  t = t - std::floor(t);
  double r = 0.5 + 0.5 * std::cos(6.28318 * (t + 0.00));
  double g = 0.5 + 0.5 * std::cos(6.28318 * (t + 0.15));
  double b = 0.5 + 0.5 * std::cos(6.28318 * (t + 0.35));
  return MakeRGB(Clamp8(255 * r), Clamp8(255 * g), Clamp8(255 * b));
}

TRGB Mandelbrot(int x, int y, int w, int h) {
  double cx = -0.743643887 + (x - w / 2.0) * 0.0000035;
  double cy = 0.131825904 + (y - h / 2.0) * 0.0000035;
  double zx = 0, zy = 0;
  int i = 0;
  const int maxIter = 600;
  while (i < maxIter && zx * zx + zy * zy < 256) {
    double t = zx * zx - zy * zy + cx;
    zy = 2 * zx * zy + cy;
    zx = t;
    ++i;
  }
  if (i == maxIter) return TRGB{};
  double smooth = i + 1 - std::log2(std::log2(zx * zx + zy * zy) / 2);
  return Palette(smooth / 64.0);
}

TRGB Julia(int x, int y, int w, int h) {
  std::complex<double> z((x - w / 2.0) * 3.0 / w, (y - h / 2.0) * 2.0 / h), c(-0.8, 0.156);
  int i = 0;
  while (i < 200 && std::norm(z) < 4) z = z * z + c, ++i;
  return Palette(i / 40.0 + 0.5);
}

TRGB Plasma(int x, int y) {
  double v = std::sin(x / 37.0) + std::sin(y / 23.0) + std::sin((x + y) / 41.0) + std::sin(std::hypot(x - 320, y - 240) / 19.0);
  return MakeRGB(Clamp8(128 + 127 * std::sin(v * 3.14159)), Clamp8(128 + 127 * std::sin(v * 3.14159 + 2.1)),
                 Clamp8(128 + 127 * std::sin(v * 3.14159 + 4.2)));
}

// 5 × 7 glyphs, one byte per row, the low five bits from left to right.
const std::pair<char, std::array<uint8_t, 7>> kGlyphs[] = {
    {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}}, {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}}, {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
    {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}}, {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}}, {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}}, {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}},
    {'G', {0x0F, 0x10, 0x10, 0x17, 0x11, 0x11, 0x0F}}, {' ', {0, 0, 0, 0, 0, 0, 0}},
};

bool GlyphPixel(char c, int gx, int gy) {
  for (const auto& [ch, rows] : kGlyphs)
    if (ch == c) return (rows[size_t(gy)] >> (4 - gx)) & 1;
  return false;
}

// Is (x, y) inside the text drawn at (x0, y0) with square pixels of `scale`?
bool TextPixel(const std::string& text, int x, int y, int x0, int y0, int scale) {
  int gx = (x - x0) / scale, gy = (y - y0) / scale;
  if (x < x0 || y < y0 || gy >= 7) return false;
  size_t index = size_t(gx / 6);
  if (index >= text.size() || gx % 6 == 5) return false;
  return GlyphPixel(text[index], gx % 6, gy);
}

void Set1Bit(TBitmap& bmp, int w, int h, const std::function<bool(int, int)>& white) {
  bmp.Reset(w, h, TPixelFormat::pf1bit);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = bmp.ScanLine(y);
    for (int x = 0; x < w; ++x)
      if (white(x, y)) row[x >> 3] |= uint8_t(0x80 >> (x & 7));
  }
}

// Writers take the depth to write from the parameter record: colour, grey or bilevel.
void SetDepth(TVeloraIO& io, int bitsPerSample, int samplesPerPixel) {
  io.Params().BitsPerSample = bitsPerSample;
  io.Params().SamplesPerPixel = samplesPerPixel;
}

bool Save(TVeloraIO& io, TBitmap& bmp, const std::string& path) {
  io.AttachBitmap(&bmp);
  try {
    io.SaveToFile(path);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_samples: %s\n", e.what());
    return false;
  }
  if (io.Aborting) std::fprintf(stderr, "make_samples: cannot write %s\n", path.c_str());
  return !io.Aborting;
}

void PutLE(std::vector<uint8_t>& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

// A 32 × 32 icon with one 24-bit image and its AND mask (a round badge, transparent corners).
bool WriteIcon(const std::string& path) {
  const int n = 32;
  std::vector<uint8_t> dib;
  PutLE(dib, 40, 4);
  PutLE(dib, n, 4);
  PutLE(dib, 2 * n, 4);  // the XOR image and the AND mask
  PutLE(dib, 1, 2);
  PutLE(dib, 24, 2);
  for (int i = 0; i < 6; ++i) PutLE(dib, 0, 4);
  auto inside = [&](int x, int y) { return std::hypot(x - 15.5, y - 15.5) < 15.5; };
  for (int y = n - 1; y >= 0; --y)  // rows bottom-up
    for (int x = 0; x < n; ++x) {
      TRGB c = inside(x, y) ? Palette(std::hypot(x - 10, y - 10) / 30.0) : TRGB{};
      if (inside(x, y) && TextPixel("V", x, y, 11, 9, 2)) c = MakeRGB(255, 255, 255);
      dib.push_back(c.b);
      dib.push_back(c.g);
      dib.push_back(c.r);
    }
  for (int y = n - 1; y >= 0; --y) {
    uint32_t bits = 0;
    for (int x = 0; x < n; ++x)
      if (!inside(x, y)) bits |= 1u << (31 - x);
    for (int i = 3; i >= 0; --i) dib.push_back(uint8_t(bits >> (8 * i)));
  }
  std::vector<uint8_t> file;
  PutLE(file, 0, 2);
  PutLE(file, 1, 2);  // icon
  PutLE(file, 1, 2);  // one image
  file.push_back(n);
  file.push_back(n);
  file.push_back(0);
  file.push_back(0);
  PutLE(file, 1, 2);
  PutLE(file, 24, 2);
  PutLE(file, uint32_t(dib.size()), 4);
  PutLE(file, 22, 4);
  file.insert(file.end(), dib.begin(), dib.end());
  try {
    TVLFileStream out(path, TVLFileStream::fmCreate);
    out.WriteBuffer(file.data(), int64_t(file.size()));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_samples: %s\n", e.what());
    return false;
  }
  return true;
}

}  // namespace

// The metafiles are written record by record, not drawn by us.
bool WriteBytes(const std::string& path, const mftest::Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return bool(out);
}

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_samples DIR\n");
    return 2;
  }
  std::string dir = argv[1];
  VLInstallLzwCoders();
  TVeloraIO io;
  TBitmap bmp;
  bool ok = true;

  SetDepth(io, 8, 3);
  Paint24(bmp, 1600, 1200, [](int x, int y) { return Mandelbrot(x, y, 1600, 1200); });
  io.Params().JpegQuality = 88;
  ok &= Save(io, bmp, dir + "/fractal-seahorse-valley.jpg");

  Paint24(bmp, 900, 600, [](int x, int y) { return Julia(x, y, 900, 600); });
  ok &= Save(io, bmp, dir + "/julia.png");

  Paint24(bmp, 640, 480, [](int x, int y) { return Plasma(x, y); });
  ok &= Save(io, bmp, dir + "/plasma.bmp");

  Paint24(bmp, 512, 384, [](int x, int y) {
    double r = std::hypot(x - 256, y - 192);
    return Palette(r / 90.0 + std::atan2(y - 192.0, x - 256.0) / 6.28318);
  });
  ok &= Save(io, bmp, dir + "/rings.gif");

  Paint24(bmp, 600, 400, [](int x, int y) {
    bool band = ((x / 40) + (y / 40)) % 2 == 0;
    return band ? MakeRGB(uint8_t(x * 255 / 599), 80, uint8_t(y * 255 / 399)) : MakeRGB(240, 235, 220);
  });
  ok &= Save(io, bmp, dir + "/tiles.pcx");

  Paint24(bmp, 720, 360, [](int x, int y) {
    TRGB c = Palette(x / 720.0);
    double fade = 1.0 - y / 400.0;
    return MakeRGB(Clamp8(c.r * fade), Clamp8(c.g * fade), Clamp8(c.b * fade));
  });
  ok &= Save(io, bmp, dir + "/rainbow-bands.tga");

  Paint24(bmp, 3000, 2000, [](int x, int y) {
    // A large grey-scale "scan": fine rings over a slow gradient.
    double v = 128 + 60 * std::sin(std::hypot(x - 1500, y - 1000) / 9.0) + (x - 1500) / 40.0;
    uint8_t g = Clamp8(v);
    return MakeRGB(g, g, g);
  });
  io.Params().JpegColorSpace = 1;
  ok &= Save(io, bmp, dir + "/scan-large-grey.jpg");
  io.Params().JpegColorSpace = 2;

  SetDepth(io, 8, 1);
  Paint24(bmp, 256, 256, [](int x, int y) {
    uint8_t g = uint8_t((x + y) / 2);
    return MakeRGB(g, g, g);
  });
  ok &= Save(io, bmp, dir + "/ramp-grey.pgm");
  SetDepth(io, 8, 3);

  Paint24(bmp, 400, 300, [](int x, int y) { return Julia(x * 9 / 4, y * 2, 900, 600); });
  ok &= Save(io, bmp, dir + "/julia-small.ppm");

  SetDepth(io, 1, 1);
  Set1Bit(bmp, 640, 200, [](int x, int y) { return !TextPixel("TESSEL VIEWER", x, y, 30, 40, 8); });
  ok &= Save(io, bmp, dir + "/text-1bit.pbm");

  Set1Bit(bmp, 512, 512, [](int x, int y) {
    int cx = x - 256, cy = y - 256;
    return ((x / 32 + y / 32) % 2 == 0) != (cx * cx + cy * cy < 160 * 160);
  });
  ok &= Save(io, bmp, dir + "/pattern-checker-1bit.bmp");

  ok &= WriteIcon(dir + "/velora-badge.ico");
  ok &= WriteBytes(dir + "/chart-quarterly.emf", mftest::ChartEmf());
  ok &= WriteBytes(dir + "/clipart-house.wmf", mftest::ClipArtWmf());
  return ok ? 0 : 1;
}
