#include "vl_mask.h"

#include <algorithm>

namespace velora {

void TVLMask::Allocate(int width, int height, int bitsPerPixel) {
  Free();
  Width_ = std::max(width, 0);
  Height_ = std::max(height, 0);
  BitsPerPixel_ = bitsPerPixel;
  if (bitsPerPixel == 1)
    RowLen_ = int(RowSize(Width_, 1));
  else if (bitsPerPixel == 8)
    RowLen_ = Width_;
  if (bitsPerPixel == 1 || bitsPerPixel == 8) Bits_.assign(size_t(int64_t(RowLen_) * Height_), 0);
  SetEmptyBox();
  Full_ = false;
}

void TVLMask::Free() {
  Bits_.clear();
  Bits_.shrink_to_fit();
  Width_ = Height_ = BitsPerPixel_ = RowLen_ = 0;
}

void TVLMask::Assign(const TVLMask* source) {
  if (!source) return;
  Allocate(source->Width_, source->Height_, source->BitsPerPixel_);
  Bits_ = source->Bits_;
  X1 = source->X1;
  Y1 = source->Y1;
  X2 = source->X2;
  Y2 = source->Y2;
  Full_ = source->Full_;
}

void TVLMask::UpdateFull(int value) {
  if (Full_ && BitsPerPixel_ == 8 && value != 255) Full_ = false;
}

void TVLMask::SetPixel(int x, int y, int value) {
  if (x < 0 || y < 0 || x >= Width_ || y >= Height_ || Bits_.empty()) return;
  if (value != 0) {
    X1 = std::min(X1, x);
    Y1 = std::min(Y1, y);
    X2 = std::max(X2, x);
    Y2 = std::max(Y2, y);
  }
  UpdateFull(value);
  uint8_t* row = ScanLine(y);
  if (BitsPerPixel_ == 1) {
    uint8_t bit = uint8_t(0x80 >> (x & 7));
    if (value != 0)
      row[x >> 3] |= bit;
    else
      row[x >> 3] &= uint8_t(~bit);
  } else {
    row[x] = uint8_t(value);
  }
}

int TVLMask::GetPixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= Width_ || y >= Height_ || Bits_.empty()) return 0;
  const uint8_t* row = ScanLine(y);
  if (BitsPerPixel_ == 1) return (row[x >> 3] >> (7 - (x & 7))) & 1;
  return row[x];
}

int TVLMask::FillRow(int value, int x1, int y, int x2) {
  if (Bits_.empty()) return 0;
  x1 = std::max(x1, 0);
  x2 = std::min(x2, Width_ - 1);
  y = std::clamp(y, 0, Height_ - 1);
  if (x2 < x1) return 0;
  UpdateFull(value);
  uint8_t* row = ScanLine(y);
  if (BitsPerPixel_ == 1) {
    for (int x = x1; x <= x2; ++x) row[x >> 3] |= uint8_t(0x80 >> (x & 7));
  } else {
    std::fill(row + x1, row + x2 + 1, uint8_t(value));
  }
  return x2 - x1 + 1;
}

void TVLMask::Fill(int value) {
  std::fill(Bits_.begin(), Bits_.end(), uint8_t(value));
  Full_ = !(BitsPerPixel_ == 8 && value != 255);
}

void TVLMask::Empty() {
  Fill(0);
  SetEmptyBox();
}

}  // namespace velora
