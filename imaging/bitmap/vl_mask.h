// TVLMask: a one-plane raster of an image's size. 1 bit per pixel it is a selection; 8 bits
// per pixel it is the alpha channel of a view's image. It keeps the bounding box of its set
// pixels so that every operation touches only that rectangle.
#pragma once
#include <cstdint>
#include <vector>

#include "toolkit_bitmap.h"

namespace velora {

class TVLMask {
 public:
  static constexpr int32_t kEmptyBox = 2147483647;

  TVLMask() = default;

  int Width() const { return Width_; }
  int Height() const { return Height_; }
  int BitsPerPixel() const { return BitsPerPixel_; }
  int RowLen() const { return RowLen_; }
  bool Full() const { return Full_; }
  void SetFull(bool full) { Full_ = full; }

  // Bounding box of set pixels, inclusive; empty: X1 = Y1 = 2147483647, X2 = Y2 = 0.
  int32_t X1 = kEmptyBox, Y1 = kEmptyBox, X2 = 0, Y2 = 0;

  void Allocate(int width, int height, int bitsPerPixel);
  void Free();
  void Assign(const TVLMask* source);
  // Exchanges the plane (size, depth, pixels, box) with `other`: a mask made elsewhere (on a
  // reader's thread) is handed over without a copy. The drawing buffers stay.
  void SwapPlane(TVLMask& other) noexcept;

  void SetPixel(int x, int y, int value);
  int GetPixel(int x, int y) const;
  bool IsSelected(int x, int y) const { return GetPixel(x, y) != 0; }
  // Row y (0 = top); rows are stored bottom-up.
  uint8_t* ScanLine(int y) { return Bits_.data() + int64_t(Height_ - 1 - y) * RowLen_; }
  const uint8_t* ScanLine(int y) const { return Bits_.data() + int64_t(Height_ - 1 - y) * RowLen_; }
  uint8_t* Bits() { return Bits_.data(); }
  int FillRow(int value, int x1, int y, int x2);
  void Fill(int value);
  bool IsEmpty() const { return X1 == kEmptyBox; }
  void Empty();
  void SetEmptyBox() { X1 = Y1 = kEmptyBox; X2 = Y2 = 0; }
  // After the plane was written directly (a reader's alpha rows): the box of its non-zero
  // pixels, and whether an 8-bit plane is fully opaque.
  void UpdateBoxFromPixels();

  // A point whose X is this separates polygons in FillPolygons.
  static constexpr int32_t kPolygonSeparator = 1048575;
  void FillPolygons(int value, const TPoint* points, int count);
  void FillPolygon(int value, const TPoint* points, int count);
  // Moves the set area; dx and dy are shrunk (clip false) or the box trimmed (clip true).
  void Translate(int& dx, int& dy, bool clip);
  // Copies (1-bit mask) or blends (8-bit mask) src into dest through the mask.
  void CopyMasked(TBitmap& dest, const TBitmap& src, bool srcAtBox, bool destAtBox) const;

  // Drawing into a 24-bit target (a view's back buffer): the 1-bit plane stretched with an
  // XOR of the destination, and the moving dashed border ("ants").
  void DrawInverted(TBitmap& target, int destX, int destY, int destW, int destH, int srcX, int srcY, int srcW,
                    int srcH);
  void DrawAnts(TBitmap& target, int destX, int destY, int phase, TColor colour1, TColor colour2, int srcX, int srcY,
                int srcW, int srcH, int destW, int destH);

 private:
  void UpdateFull(int value);
  void ScaleIntoAnts(int srcX, int srcY, int srcW, int srcH, int destW, int destH, int64_t xs, int64_t ys);
  bool AntsBit(int c, int r) const {
    return (AntsBuffer_[size_t(int64_t(AntsHeight_ - 1 - r) * AntsRowLen_ + (c >> 3))] >> (7 - (c & 7))) & 1;
  }

  int Width_ = 0;
  int Height_ = 0;
  int BitsPerPixel_ = 0;
  int RowLen_ = 0;
  bool Full_ = false;
  std::vector<uint8_t> Bits_;
  // Scaled 1-bit copy of the visible part, kept between calls while the view size stays.
  std::vector<uint8_t> AntsBuffer_;
  int AntsWidth_ = 0;
  int AntsHeight_ = 0;
  int AntsRowLen_ = 0;
};

}  // namespace velora
