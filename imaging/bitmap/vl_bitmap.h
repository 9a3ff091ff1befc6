// TVLBitmap: the library's own image store. Its pixels live on the heap, in a toolkit bitmap,
// or — the default — in a temporary file mapped one row at a time, so that many large images
// (undo copies) do not weigh on the address space.
//
// TVLWorkBitmap: a plain heap pixel buffer, scratch space for the resampler.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "toolkit_bitmap.h"
#include "base/vl_types.h"

namespace velora {

enum TVLPixelFormat : uint8_t {
  pxNone = 0,
  px1Bit = 1,      // 8 pixels per byte, most significant bit first; 0 black, 1 white
  px8Palette = 2,  // index into the bitmap's palette
  px8Grey = 3,
  px16Grey = 4,  // little-endian 0..65535
  px24RGB = 5,   // blue, green, red
};

enum TVLStorageLocation : uint8_t {
  slMemory = 0,  // one heap block, rows bottom-up
  slFile = 1,    // a mapped temporary file, rows top-down
  slDIB = 2,     // an owned toolkit bitmap
};

// Bits per pixel of a TVLPixelFormat (0 for pxNone).
int BitsOfVLFormat(TVLPixelFormat pf);

// The file view that reaches `rowLen` bytes at file offset `offset`: views start at a multiple
// of the allocation granularity, so the view begins below the row and the row sits `Delta`
// bytes into it.
struct TVLMapWindow {
  int64_t ViewOffset = 0;  // where the view starts in the file (a multiple of the granularity)
  int64_t ViewLength = 0;  // bytes mapped: Delta + rowLen
  int64_t Delta = 0;       // the row's first byte, relative to the view's start
};
constexpr int64_t kVLMapGranularity = 65536;
constexpr TVLMapWindow VLMapWindow(int64_t offset, int64_t rowLen, int64_t granularity = kVLMapGranularity) {
  return TVLMapWindow{offset - offset % granularity, offset % granularity + rowLen, offset % granularity};
}

class TVLBitmap {
 public:
  TVLBitmap() = default;
  ~TVLBitmap();
  TVLBitmap(const TVLBitmap&) = delete;
  TVLBitmap& operator=(const TVLBitmap&) = delete;

  // A px8Grey alpha plane of the given size and storage mode.
  static std::unique_ptr<TVLBitmap> CreateAlpha(int width, int height, TVLStorageLocation location);

  int Width() const { return Width_; }
  int Height() const { return Height_; }
  uint32_t BitCount() const { return BitCount_; }
  int RowLen() const { return RowLen_; }
  TVLPixelFormat PixelFormat() const { return PixelFormat_; }
  TVLStorageLocation Location() const { return Location_; }
  bool IsAlpha() const { return IsAlpha_; }
  bool Empty() const { return Width_ <= 0 || Height_ <= 0 || PixelFormat_ == pxNone; }
  // RowLen × Height.
  int64_t ImageSize() const { return int64_t(RowLen_) * (Height_ > 0 ? Height_ : 0); }

  // Up to 256 entries, only for px8Palette (PaletteCount 256), nullptr otherwise.
  TRGB* Palette() { return Palette_.get(); }
  const TRGB* Palette() const { return Palette_.get(); }
  int PaletteCount() const { return PaletteCount_; }

  // The alpha plane (px8Grey, same size and storage mode), nullptr for an alpha plane itself
  // or an empty image.
  TVLBitmap* Alpha() { return Alpha_.get(); }
  const TVLBitmap* Alpha() const { return Alpha_.get(); }

  // Name of the temporary file (slFile); the file itself is unlinked as soon as it is created.
  const std::string& TempFileName() const { return TempFileName_; }
  // Descriptor of that file, −1 when there is none.
  int FileHandle() const { return FileHandle_; }
  // The owned toolkit bitmap in slDIB, nullptr otherwise.
  TBitmap* DIB() { return DIB_.get(); }

  // Releases the current image, stores the size and format and allocates storage in the
  // current Location. slFile falls back to slMemory (silently) when the temporary file cannot
  // be had. A size whose bytes cannot be counted in 64 bits or held throws std::bad_alloc.
  void Allocate(int width, int height, TVLPixelFormat pixelFormat);
  // Row `row`, 0 = top. In slFile the pointer stays valid only until the next GetScanline on
  // this bitmap: never hold two rows of one bitmap.
  uint8_t* GetScanline(int row);
  // Releases everything; Width, Height, BitCount, RowLen := 0. Location and format are kept.
  void FreeImage();
  // Ownership transfer: dest gets every field, Location included; this becomes empty (its own
  // Location stays).
  void MoveTo(TVLBitmap& dest);
  // Changes the storage mode keeping the pixels, the palette and the alpha plane's content.
  void SetLocation(TVLStorageLocation location);
  // For an empty bitmap only the mode used by the next Allocate.
  void SetDefaultLocation(TVLStorageLocation location) { Location_ = location; }

  void CopyToBitmap(TBitmap& bitmap);
  // Takes a toolkit bitmap of 1, 4, 8, 15, 16, 24 or 32 bits; device and custom formats are
  // not taken (the bitmap stays as it was).
  void CopyFromBitmap(const TBitmap& bitmap);
  // slDIB with a palette: the palette goes to the owned toolkit bitmap.
  void ApplyPaletteToDIB();

 private:
  void AllocateStorage();
  bool AllocateFile(int64_t size);
  void CloseFile();
  void UnmapView();

  int Width_ = 0;
  int Height_ = 0;
  uint32_t BitCount_ = 0;
  void* MappedView_ = nullptr;
  int64_t MappedLength_ = 0;
  int FileHandle_ = -1;
  std::string TempFileName_;
  int RowLen_ = 0;
  TVLPixelFormat PixelFormat_ = pxNone;
  std::unique_ptr<TRGB[]> Palette_;
  int PaletteCount_ = 0;
  std::unique_ptr<TVLBitmap> Alpha_;
  bool IsAlpha_ = false;
  uint8_t* MemoryBits_ = nullptr;
  std::unique_ptr<TBitmap> DIB_;
  TVLStorageLocation Location_ = slFile;
};

class TVLWorkBitmap {
 public:
  TVLWorkBitmap() = default;
  // Allocates when width and height are > 0.
  TVLWorkBitmap(int width, int height, int bitsPerPixel);
  ~TVLWorkBitmap() { Free(); }
  TVLWorkBitmap(const TVLWorkBitmap&) = delete;
  TVLWorkBitmap& operator=(const TVLWorkBitmap&) = delete;

  int Width() const { return Width_; }
  int Height() const { return Height_; }
  int BitCount() const { return BitCount_; }
  int RowLen() const { return RowLen_; }
  // The bottom-up block of RowLen × Height bytes (not initialised).
  uint8_t* Bits() { return Bits_; }

  // Nothing when all three are unchanged; otherwise frees and allocates anew. Throws
  // std::bad_alloc for sizes that cannot be held.
  void Allocate(int width, int height, int bitsPerPixel);
  uint8_t* GetScanline(int row) { return Bits_ + int64_t(Height_ - row - 1) * RowLen_; }
  void Free();

 private:
  int Width_ = 0;
  int Height_ = 0;
  int BitCount_ = 0;
  int RowLen_ = 0;
  uint8_t* Bits_ = nullptr;
};

}  // namespace velora
