#include "toolkit_bitmap.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

namespace velora {

int BitsOfFormat(TPixelFormat pf) {
  switch (pf) {
    case TPixelFormat::pf1bit: return 1;
    case TPixelFormat::pf4bit: return 4;
    case TPixelFormat::pf8bit: return 8;
    case TPixelFormat::pf15bit: return 15;
    case TPixelFormat::pf16bit: return 16;
    case TPixelFormat::pf24bit: return 24;
    case TPixelFormat::pf32bit: return 32;
    default: return 0;
  }
}

TBitmap::TBitmap(int width, int height, TPixelFormat pf) {
  pixelFormat_ = pf;
  ResetPalette();
  SetSize(width, height);
}

TBitmap::~TBitmap() { std::free(bits_); }

void TBitmap::Reallocate(int width, int height, TPixelFormat pf) {
  std::free(bits_);
  bits_ = nullptr;
  width_ = height_ = rowLen_ = 0;
  pixelFormat_ = pf;
  width = std::max(width, 0);
  height = std::max(height, 0);
  int64_t rowLen = RowSize(width, BitsOfFormat(pf));
  if (rowLen > std::numeric_limits<int>::max()) throw std::bad_alloc();
  int64_t size = rowLen * height;
  if (size > 0) {
    // calloc: large blocks come zeroed straight from the kernel, untouched pages cost nothing.
    bits_ = static_cast<uint8_t*>(std::calloc(size_t(size), 1));
    if (!bits_) throw std::bad_alloc();
  }
  width_ = width;
  height_ = height;
  rowLen_ = int(rowLen);
}

void TBitmap::SetSize(int width, int height) {
  if (width == width_ && height == height_) return;
  Reallocate(width, height, pixelFormat_);
}

void TBitmap::SetPixelFormat(TPixelFormat pf) {
  if (pf == pixelFormat_) return;
  Reallocate(width_, height_, pf);
  ResetPalette();
}

void TBitmap::Reset(int width, int height, TPixelFormat pf) {
  SetSize(1, 1);
  SetPixelFormat(pf);
  SetSize(width, height);
}

void TBitmap::ResetPalette() {
  switch (pixelFormat_) {
    case TPixelFormat::pf1bit:
      palette_ = {TRGB{0, 0, 0}, TRGB{255, 255, 255}};
      break;
    case TPixelFormat::pf4bit:
      palette_.resize(16);
      for (int i = 0; i < 16; ++i) palette_[i] = TRGB{uint8_t(i * 17), uint8_t(i * 17), uint8_t(i * 17)};
      break;
    case TPixelFormat::pf8bit:
      palette_.resize(256);
      for (int i = 0; i < 256; ++i) palette_[i] = TRGB{uint8_t(i), uint8_t(i), uint8_t(i)};
      break;
    default:
      palette_.clear();
  }
}

void TBitmap::SetPaletteEntry(int i, TRGB c) {
  if (i >= 0 && i < PaletteCount()) palette_[size_t(i)] = c;
}

void TBitmap::SetPalette(const TRGB* entries, int count) {
  for (int i = 0; i < std::min(count, PaletteCount()); ++i) palette_[size_t(i)] = entries[i];
}

bool TBitmap::Monochrome() const {
  return pixelFormat_ == TPixelFormat::pf1bit && palette_.size() == 2 && palette_[0] == TRGB{0, 0, 0} &&
         palette_[1] == TRGB{255, 255, 255};
}

void TBitmap::Assign(const TBitmap& source) {
  if (&source == this) return;
  Reallocate(source.width_, source.height_, source.pixelFormat_);
  palette_ = source.palette_;
  if (source.bits_) std::memcpy(bits_, source.bits_, size_t(source.ImageSize()));
}

void TBitmap::FreeImage() { Reallocate(0, 0, pixelFormat_); }

void TBitmap::SwapPixels(TBitmap& other) noexcept {
  std::swap(width_, other.width_);
  std::swap(height_, other.height_);
  std::swap(pixelFormat_, other.pixelFormat_);
  std::swap(rowLen_, other.rowLen_);
  std::swap(bits_, other.bits_);
  palette_.swap(other.palette_);
}

int TBitmap::AddChangeHandler(TChangeHandler handler) {
  changeHandlers_.emplace_back(nextHandlerId_, std::move(handler));
  return nextHandlerId_++;
}

void TBitmap::RemoveChangeHandler(int id) {
  std::erase_if(changeHandlers_, [id](const auto& h) { return h.first == id; });
}

void TBitmap::Modified() {
  // A copy: a handler may unsubscribe while being called.
  auto handlers = changeHandlers_;
  for (auto& h : handlers) h.second();
}

}  // namespace velora
