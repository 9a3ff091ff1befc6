// The toolkit bitmap: the device-independent bitmap every reader fills, every writer reads
// and every view shows. No Qt inside; views wrap its rows in a QImage to draw them.
//
// Rows form one block with the bottom row first in memory, each row padded to a multiple of
// 4 bytes; ScanLine(0) is the top row. 24-bit pixels are blue, green, red; 1-bit pixels are
// most significant bit first with the palette black (0), white (1).
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "base/vl_types.h"

namespace velora {

enum class TPixelFormat : uint8_t {
  pfDevice,  // device-dependent: never taken from
  pf1bit,
  pf4bit,
  pf8bit,
  pf15bit,  // 5-5-5
  pf16bit,  // 5-6-5
  pf24bit,
  pf32bit,
  pfCustom,
};

// Bits per pixel of a toolkit pixel format, 0 for device-dependent and custom formats.
int BitsOfFormat(TPixelFormat pf);

class TBitmap {
 public:
  TBitmap() = default;
  TBitmap(int width, int height, TPixelFormat pf);
  ~TBitmap();
  TBitmap(const TBitmap&) = delete;
  TBitmap& operator=(const TBitmap&) = delete;

  int Width() const { return width_; }
  int Height() const { return height_; }
  TPixelFormat PixelFormat() const { return pixelFormat_; }
  int BitCount() const { return BitsOfFormat(pixelFormat_); }
  // Bytes per row: ((width × bits + 31) div 32) × 4.
  int RowLen() const { return rowLen_; }
  int64_t ImageSize() const { return int64_t(rowLen_) * height_; }
  bool Empty() const { return width_ <= 0 || height_ <= 0; }

  // Changing size or format reallocates the pixels: the content afterwards is all zero.
  // Setting the size or format the bitmap already has keeps the content.
  // A size whose pixels cannot be held throws std::bad_alloc and leaves the bitmap empty (0 × 0).
  void SetWidth(int width) { SetSize(width, height_); }
  void SetHeight(int height) { SetSize(width_, height); }
  void SetSize(int width, int height);
  void SetPixelFormat(TPixelFormat pf);
  // 1 × 1, then the format, then the size: the order every reader follows.
  void Reset(int width, int height, TPixelFormat pf);

  // Row `row`, 0 = top row. Valid until the next change of size or format.
  uint8_t* ScanLine(int row) { return bits_ + int64_t(height_ - 1 - row) * rowLen_; }
  const uint8_t* ScanLine(int row) const { return bits_ + int64_t(height_ - 1 - row) * rowLen_; }
  // The whole bottom-up pixel block (the bottom row's address), nullptr when empty.
  uint8_t* Bits() { return bits_; }
  const uint8_t* Bits() const { return bits_; }

  // Palette of 1-, 4- and 8-bit bitmaps (2, 16, 256 entries; other formats have none).
  int PaletteCount() const { return int(palette_.size()); }
  const TRGB* Palette() const { return palette_.data(); }
  TRGB PaletteEntry(int i) const { return palette_[size_t(i)]; }
  void SetPaletteEntry(int i, TRGB c);
  void SetPalette(const TRGB* entries, int count);
  // A 1-bit bitmap is monochrome while its palette is black, white.
  bool Monochrome() const;

  // Copy of another bitmap's size, format, palette and pixels.
  void Assign(const TBitmap& source);
  // Releases the pixels: 0 × 0, format kept.
  void FreeImage();
  // Exchanges size, format, palette and pixels with `other`; change handlers stay with each
  // bitmap. A routine that builds a new picture (a quarter turn) hands it over without a copy.
  void SwapPixels(TBitmap& other) noexcept;

  // The "modified" notification: a control showing the bitmap subscribes and repaints.
  using TChangeHandler = std::function<void()>;
  int AddChangeHandler(TChangeHandler handler);
  void RemoveChangeHandler(int id);
  void Modified();

 private:
  void Reallocate(int width, int height, TPixelFormat pf);
  void ResetPalette();

  int width_ = 0;
  int height_ = 0;
  TPixelFormat pixelFormat_ = TPixelFormat::pf24bit;
  int rowLen_ = 0;
  uint8_t* bits_ = nullptr;
  std::vector<TRGB> palette_;
  std::vector<std::pair<int, TChangeHandler>> changeHandlers_;
  int nextHandlerId_ = 1;
};

// Bytes per row of `width` pixels at `bits` bits per pixel: ((width × bits + 31) div 32) × 4.
inline int64_t RowSize(int64_t width, int64_t bits) { return ((width * bits + 31) / 32) * 4; }

}  // namespace velora
