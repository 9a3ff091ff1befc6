// The two record players behind MetafileDraw and the helpers they share.
#pragma once
#include <cairo.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "base/progress.h"
#include "io/format_descriptor.h"

namespace velora::metafile {

// Reads a little-endian value at any address (WMF records are only 2-byte aligned).
template <class T>
T Get(const uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

bool EmfProbe(std::span<const uint8_t> bytes, TVLMetafileFacts& facts, TVLProgressRecord& progress);
bool WmfProbe(std::span<const uint8_t> bytes, TVLMetafileFacts& facts, TVLProgressRecord& progress);
bool EmfHasPlus(std::span<const uint8_t> bytes);
void EmfPlay(std::span<const uint8_t> bytes, cairo_surface_t* surface, int width, int height, TVLProgressRecord& progress);
void WmfPlay(std::span<const uint8_t> bytes, cairo_surface_t* surface, int width, int height, TVLProgressRecord& progress);

// An embedded device-independent bitmap as a cairo image, read by the BMP reader: the
// information header with its colour table, and the pixel bits apart (EMF) or packed behind
// them (WMF). Null for a bitmap that cannot be read or is beyond kMaxDibPixels.
using TSurfacePtr = std::shared_ptr<cairo_surface_t>;
constexpr int64_t kMaxDibPixels = int64_t(1) << 24;
TSurfacePtr DecodeDib(const uint8_t* bmi, size_t bmiSize, const uint8_t* bits, size_t bitsSize);
TSurfacePtr DecodePackedDib(const uint8_t* dib, size_t size);
// The DIB's height as its header gives it: negative for top-down rows.
int32_t DibHeight(const uint8_t* bmi, size_t bmiSize);
// SetDIBitsToDevice's bits are a band of the DIB: scans scan lines from startScan on,
// numbered from the bottom in a bottom-up DIB. The band becomes an image of its own, so that
// a source rectangle reaching past it draws only the rows the record has; top is the source
// rectangle's top row in the band's image (top row first) for the rectangle whose scan
// lines start at srcY and span rows.
struct TDibBand {
  TSurfacePtr image;
  double top = 0;
};
TDibBand DecodeDibBand(const uint8_t* bmi, size_t bmiSize, const uint8_t* bits, size_t bitsSize, uint32_t startScan,
                       uint32_t scans, double srcY, double rows);
TDibBand DecodePackedDibBand(const uint8_t* dib, size_t size, uint32_t startScan, uint32_t scans, double srcY,
                             double rows);
// A copy of the image with an alpha channel: alphaOf(x, y, pixel) for each pixel
// (0x00RRGGBB), its colour held to its alpha as cairo's premultiplied pixels need (multiply:
// scaled by it, for an opaque image; else clamped to it, for colours multiplied already).
TSurfacePtr WithAlpha(cairo_surface_t* image, const std::function<uint8_t(int, int, uint32_t)>& alphaOf,
                      bool multiply = false);
// AlphaBlend's per-pixel alpha: the fourth bytes of a 32-bit DIB without compression over
// the image the BMP reader made of it (its colours already multiplied by them). Null for any
// other DIB or when its bits are short.
TSurfacePtr DibAlpha(cairo_surface_t* image, const uint8_t* bmi, size_t bmiSize, const uint8_t* bits, size_t bitsSize);

// Record text as UTF-8: UTF-16LE (EMF's W records) and single-byte text (the A records, WMF).
std::string Utf16ToUtf8(const uint8_t* p, size_t units);
void AppendUtf8(std::string& out, uint32_t character);
std::string AnsiToUtf8(const uint8_t* p, size_t bytes);

}  // namespace velora::metafile
