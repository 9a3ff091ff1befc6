// TVLFtImage: the two-dimensional discrete Fourier transform of an image, per colour channel
// or of its gray values, held so that a rectangle of frequencies can be cleared and the image
// transformed back. The FFT page of the preview dialog owns one.
//
// The image is drawn centred into a black N × N square (N the smallest power of two that
// holds it), normalised by its largest value and multiplied by (−1)^(x+y), so the zero
// frequency lies at (N/2, N/2). The transform is unitary: forward then inverse restores the
// input.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "base/progress.h"
#include "base/vl_types.h"
#include "bitmap/toolkit_bitmap.h"

namespace velora {

class TVLFtImage : public TVLObject {
 public:
  enum : uint8_t { kModeEmpty = 0, kModeColour = 1, kModeGray = 2 };
  enum TPlaneIndex { kRed = 0, kGreen = 1, kBlue = 2, kGray = 3 };

  TVLFtImage() = default;
  ~TVLFtImage() override;
  TVLFtImage(const TVLFtImage&) = delete;
  TVLFtImage& operator=(const TVLFtImage&) = delete;

  // The transform of a 24-bit bitmap, mode kModeColour or kModeGray. An empty or other
  // bitmap, a square beyond MaxPixels or one whose planes cannot be allocated leaves the
  // object empty (Mode 0).
  void BuildFromBitmap(const TBitmap& bitmap, uint8_t mode);
  // The bitmap becomes 24-bit, N × N, holding the log-magnitude spectrum. Nothing happens
  // while the object is empty.
  void WriteSpectrum(TBitmap& bitmap);
  // The bitmap becomes 24-bit at the source size, holding the inverse transform stretched to
  // 0..255. Nothing happens while the object is empty.
  void WriteInverse(TBitmap& bitmap);
  // Zeroes the coefficients of columns x0..x1 and rows y0..y1, ends included, cut to the square.
  void ClearRegion(int x0, int y0, int x1, int y1);
  // Deep copy of everything, the progress callback included.
  void AssignFrom(const TVLFtImage& other);

  // Row y of a plane: N real parts, then N imaginary parts; nullptr when the plane is absent.
  float* Row(int plane, int y) { return planes_[plane].rows.empty() ? nullptr : planes_[plane].rows[size_t(y)]; }
  const float* Row(int plane, int y) const {
    return planes_[plane].rows.empty() ? nullptr : planes_[plane].rows[size_t(y)];
  }

  int Size = 0;  // N
  int OffsetX = 0, OffsetY = 0;
  int SourceWidth = 0, SourceHeight = 0;
  uint8_t Mode = kModeEmpty;
  // Reported after each column of each transform, with this object as sender.
  TVLProgressEvent OnProgress;
  // The largest N × N the object takes; a 24-megapixel image would need N = 8192, 1.6 GB of
  // colour planes. Callers with a pixel limit of their own set it to that limit.
  int64_t MaxPixels = int64_t(1) << 28;

 private:
  // N rows of 2N floats in one block, addressed through a row table.
  struct TPlane {
    std::unique_ptr<float[]> block;
    std::vector<float*> rows;
  };

  void FreePlanes();
  void AllocatePlane(TPlane& plane);
  void BuildTables(int n);
  void LoadPlane(const TBitmap& bitmap, int planeNumber);
  void SpectrumInto(TBitmap& bitmap) const;
  void PutLevel(uint8_t* pixel, int planeNumber, double value) const;
  void InverseInto(TBitmap& bitmap);
  int PlaneCount() const { return Mode == kModeColour ? 3 : (Mode == kModeGray ? 1 : 0); }
  int PlaneIndex(int i) const { return Mode == kModeGray ? kGray : i; }
  // Forward (−1) or inverse (+1) 2-D transform of a plane; progress counts `planesDone`
  // finished planes out of PlaneCount().
  void Transform2D(TPlane& plane, float direction, int planesDone);
  void ReportColumn(int column, int planesDone) const;

  // Tables, rebuilt only when N changes.
  std::vector<double> sine_;        // sin(2π i / N)
  std::vector<uint32_t> reverse_;   // i with its log2 N low bits reversed
  std::vector<uint32_t> stage_;     // 2^k, k = 0..log2 N
  std::vector<float> twiddleCos_, twiddleSin_;  // the sine table's values in single precision
  int tableSize_ = 0;
  int log2N_ = 0;
  double scale_ = 1;  // 1 / √N

  TPlane planes_[4];
};

// Rows and columns are transformed this many at a time, one transform per vector lane.
constexpr int kFtBatch = 16;

}  // namespace velora
