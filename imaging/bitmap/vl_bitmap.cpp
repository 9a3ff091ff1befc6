#include "vl_bitmap.h"
#include "vl_helpers.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <utility>
#include <vector>

namespace velora {

int BitsOfVLFormat(TVLPixelFormat pf) {
  switch (pf) {
    case px1Bit: return 1;
    case px8Palette:
    case px8Grey: return 8;
    case px16Grey: return 16;
    case px24RGB: return 24;
    default: return 0;
  }
}

namespace {

// Views start at multiples of 65536, the granularity the design computes with; should the
// page size ever exceed it, the page size has to be used instead.
int64_t MapGranularity() {
  static const int64_t granularity = [] {
    long page = sysconf(_SC_PAGESIZE);
    return (page > 0 && kVLMapGranularity % page != 0) ? int64_t(page) : kVLMapGranularity;
  }();
  return granularity;
}

int32_t CheckedRowLen(int width, int bits) {
  int64_t rowLen = RowSize(width, bits);
  if (rowLen > std::numeric_limits<int32_t>::max()) throw std::bad_alloc();
  return int32_t(rowLen);
}

TPixelFormat ToolkitFormatOf(TVLPixelFormat pf) {
  switch (pf) {
    case px1Bit: return TPixelFormat::pf1bit;
    case px24RGB: return TPixelFormat::pf24bit;
    default: return TPixelFormat::pf8bit;
  }
}

void SetGreyRamp(TBitmap& bitmap) {
  TRGB ramp[256];
  for (int i = 0; i < 256; ++i) ramp[i] = TRGB{uint8_t(i), uint8_t(i), uint8_t(i)};
  bitmap.SetPalette(ramp, 256);
}

}  // namespace

// ---- TVLBitmap: storage ---------------------------------------------------------------------

TVLBitmap::~TVLBitmap() { FreeImage(); }

std::unique_ptr<TVLBitmap> TVLBitmap::CreateAlpha(int width, int height, TVLStorageLocation location) {
  auto alpha = std::make_unique<TVLBitmap>();
  alpha->IsAlpha_ = true;
  alpha->Location_ = location;
  alpha->Allocate(width, height, px8Grey);
  return alpha;
}

void TVLBitmap::Allocate(int width, int height, TVLPixelFormat pixelFormat) {
  FreeImage();
  Width_ = width;
  Height_ = height;
  PixelFormat_ = pixelFormat;
  if (width <= 0 || height <= 0 || pixelFormat == pxNone) return;
  try {
    AllocateStorage();
  } catch (...) {
    // Leave a consistent empty image behind, never a size without storage.
    FreeImage();
    throw;
  }
}

void TVLBitmap::AllocateStorage() {
  // The size check comes first so that an impossible size creates no alpha plane or file.
  const int32_t rowLen = CheckedRowLen(Width_, BitsOfVLFormat(PixelFormat_));
  if (!IsAlpha_) Alpha_ = CreateAlpha(Width_, Height_, Location_);
  if (PixelFormat_ == px8Palette) {
    Palette_.reset(new TRGB[256]());
    PaletteCount_ = 256;
  }
  BitCount_ = uint32_t(BitsOfVLFormat(PixelFormat_));
  RowLen_ = rowLen;
  const int64_t size = int64_t(RowLen_) * Height_;

  if (Location_ == slFile && !AllocateFile(size)) Location_ = slMemory;
  switch (Location_) {
    case slMemory:
      if (uint64_t(size) > std::numeric_limits<size_t>::max()) throw std::bad_alloc();
      // Zeroed like the other two stores, so an image reads the same whatever its storage.
      MemoryBits_ = static_cast<uint8_t*>(std::calloc(size_t(size), 1));
      if (!MemoryBits_) throw std::bad_alloc();
      break;
    case slDIB:
      DIB_ = std::make_unique<TBitmap>();
      if (PixelFormat_ == px16Grey) {
        // A toolkit bitmap has no 16-bit grey: the image becomes 8-bit grey.
        PixelFormat_ = px8Grey;
        BitCount_ = 8;
        RowLen_ = CheckedRowLen(Width_, 8);
      }
      DIB_->Reset(Width_, Height_, ToolkitFormatOf(PixelFormat_));
      break;
    default:
      break;
  }
}

bool TVLBitmap::AllocateFile(int64_t size) {
  std::string path;
  // Unlinked at once: the file lives as long as the descriptor and never outlives the process.
  const int fd = VLCreateTempFile({}, &path);
  if (fd < 0) return false;
  struct stat st {};
  if (size > std::numeric_limits<off_t>::max() || ftruncate(fd, off_t(size)) != 0 || fstat(fd, &st) != 0 ||
      int64_t(st.st_size) != size) {
    close(fd);
    return false;
  }
  FileHandle_ = fd;
  TempFileName_ = path;
  return true;
}

void TVLBitmap::UnmapView() {
  if (MappedView_) munmap(MappedView_, size_t(MappedLength_));
  MappedView_ = nullptr;
  MappedLength_ = 0;
}

void TVLBitmap::CloseFile() {
  UnmapView();
  if (FileHandle_ >= 0) close(FileHandle_);
  FileHandle_ = -1;
  TempFileName_.clear();
}

uint8_t* TVLBitmap::GetScanline(int row) {
  switch (Location_) {
    case slMemory:
      return MemoryBits_ + int64_t(RowLen_) * (Height_ - row - 1);
    case slDIB:
      return DIB_->ScanLine(row);
    default:
      break;
  }
  UnmapView();
  const TVLMapWindow view = VLMapWindow(int64_t(row) * RowLen_, RowLen_, MapGranularity());
  // The file is sparse: reserve the row's blocks now, so that a full disk is an out-of-memory
  // exception here and not a bus error at the first write through the mapping.
  if (fallocate(FileHandle_, 0, off_t(view.ViewOffset + view.Delta), off_t(RowLen_)) != 0 &&
      (errno == ENOSPC || errno == EDQUOT))
    throw std::bad_alloc();
  void* p = mmap(nullptr, size_t(view.ViewLength), PROT_READ | PROT_WRITE, MAP_SHARED, FileHandle_,
                 off_t(view.ViewOffset));
  if (p == MAP_FAILED) throw std::bad_alloc();
  MappedView_ = p;
  MappedLength_ = view.ViewLength;
  return static_cast<uint8_t*>(p) + view.Delta;
}

void TVLBitmap::FreeImage() {
  Alpha_.reset();
  Palette_.reset();
  PaletteCount_ = 0;
  CloseFile();
  std::free(MemoryBits_);
  MemoryBits_ = nullptr;
  DIB_.reset();
  Width_ = Height_ = 0;
  BitCount_ = 0;
  RowLen_ = 0;
}

void TVLBitmap::MoveTo(TVLBitmap& dest) {
  if (&dest == this) return;
  dest.FreeImage();
  dest.Width_ = std::exchange(Width_, 0);
  dest.Height_ = std::exchange(Height_, 0);
  dest.BitCount_ = std::exchange(BitCount_, 0);
  dest.MappedView_ = std::exchange(MappedView_, nullptr);
  dest.MappedLength_ = std::exchange(MappedLength_, 0);
  dest.FileHandle_ = std::exchange(FileHandle_, -1);
  dest.TempFileName_ = std::move(TempFileName_);
  TempFileName_.clear();
  dest.RowLen_ = std::exchange(RowLen_, 0);
  dest.PixelFormat_ = std::exchange(PixelFormat_, pxNone);
  dest.Palette_ = std::move(Palette_);
  dest.PaletteCount_ = std::exchange(PaletteCount_, 0);
  dest.Alpha_ = std::move(Alpha_);
  dest.IsAlpha_ = IsAlpha_;
  dest.MemoryBits_ = std::exchange(MemoryBits_, nullptr);
  dest.DIB_ = std::move(DIB_);
  dest.Location_ = Location_;
}

namespace {

// Copies the rows of `from` into `to` (same height), turning 16-bit grey into 8-bit grey
// when the new store has no 16-bit form.
void CopyRows(TVLBitmap& from, TVLBitmap& to) {
  const bool highBytes = from.PixelFormat() == px16Grey && to.PixelFormat() == px8Grey;
  const int width = from.Width();
  const size_t len = size_t(std::min(from.RowLen(), to.RowLen()));
  std::vector<uint8_t> row(size_t(from.RowLen()));
  for (int y = 0; y < from.Height(); ++y) {
    // Through a buffer: both may be the same kind of file store, each with one view.
    std::memcpy(row.data(), from.GetScanline(y), row.size());
    uint8_t* dst = to.GetScanline(y);
    if (highBytes)
      for (int x = 0; x < width; ++x) dst[x] = row[size_t(2 * x + 1)];
    else
      std::memcpy(dst, row.data(), len);
  }
}

}  // namespace

void TVLBitmap::SetLocation(TVLStorageLocation location) {
  if (Location_ == location) return;
  if (Empty()) {
    // Nothing stored yet: keep the size and format, change where the next image goes.
    Location_ = location;
    return;
  }
  TVLBitmap old;
  MoveTo(old);
  Location_ = location;
  Allocate(old.Width(), old.Height(), old.PixelFormat());
  CopyRows(old, *this);
  for (int i = 0; i < std::min(old.PaletteCount(), PaletteCount_); ++i) Palette_[size_t(i)] = old.Palette()[i];
  ApplyPaletteToDIB();
  // The new alpha plane would otherwise hold zeros where the old one had content.
  if (Alpha_ && old.Alpha() && !old.Alpha()->Empty()) CopyRows(*old.Alpha(), *Alpha_);
}

void TVLBitmap::ApplyPaletteToDIB() {
  if (Location_ == slDIB && DIB_ && PaletteCount_ >= 1) DIB_->SetPalette(Palette_.get(), PaletteCount_);
}

// ---- TVLBitmap: toolkit bitmap conversion ---------------------------------------------------

void TVLBitmap::CopyToBitmap(TBitmap& bitmap) {
  bitmap.SetSize(1, 1);
  switch (PixelFormat_) {
    case px1Bit: {
      bitmap.SetPixelFormat(TPixelFormat::pf1bit);
      const TRGB bw[2] = {TRGB{0, 0, 0}, TRGB{255, 255, 255}};
      bitmap.SetPalette(bw, 2);
      break;
    }
    case px8Palette:
      bitmap.SetPixelFormat(TPixelFormat::pf8bit);
      bitmap.SetPalette(Palette_.get(), PaletteCount_);
      break;
    case px8Grey:
    case px16Grey:
      bitmap.SetPixelFormat(TPixelFormat::pf8bit);
      SetGreyRamp(bitmap);
      break;
    case px24RGB:
      bitmap.SetPixelFormat(TPixelFormat::pf24bit);
      break;
    default:
      break;
  }
  bitmap.SetSize(Width_, Height_);
  if (Empty() || RowLen_ == 0) return;
  if (PixelFormat_ == px16Grey) {
    for (int y = 0; y < Height_; ++y) {
      const uint8_t* src = GetScanline(y);
      uint8_t* dst = bitmap.ScanLine(y);
      for (int x = 0; x < Width_; ++x) dst[x] = src[2 * x + 1];
    }
    return;
  }
  const size_t len = size_t(std::min(RowLen_, bitmap.RowLen()));
  for (int y = 0; y < Height_; ++y) std::memcpy(bitmap.ScanLine(y), GetScanline(y), len);
}

void TVLBitmap::CopyFromBitmap(const TBitmap& bitmap) {
  if (&bitmap == DIB_.get()) {
    // Allocate would free the source first: take it from a copy.
    TBitmap copy;
    copy.Assign(bitmap);
    CopyFromBitmap(copy);
    return;
  }
  const int w = bitmap.Width(), h = bitmap.Height();
  auto takePalette = [&] {
    for (int i = 0; i < std::min(bitmap.PaletteCount(), PaletteCount_); ++i) Palette_[size_t(i)] = bitmap.PaletteEntry(i);
  };
  switch (bitmap.PixelFormat()) {
    case TPixelFormat::pf1bit:
      if (bitmap.Monochrome()) {
        Allocate(w, h, px1Bit);
        for (int y = 0; y < Height_ && RowLen_ > 0; ++y)
          std::memcpy(GetScanline(y), bitmap.ScanLine(y), size_t(std::min(RowLen_, bitmap.RowLen())));
      } else {
        Allocate(w, h, px8Palette);
        takePalette();
        for (int y = 0; y < Height_ && RowLen_ > 0; ++y) {
          const uint8_t* src = bitmap.ScanLine(y);
          uint8_t* dst = GetScanline(y);
          for (int x = 0; x < w; ++x) dst[x] = (src[x >> 3] >> (7 - (x & 7))) & 1;
        }
      }
      break;
    case TPixelFormat::pf4bit:
      Allocate(w, h, px8Palette);
      takePalette();
      for (int y = 0; y < Height_ && RowLen_ > 0; ++y) {
        const uint8_t* src = bitmap.ScanLine(y);
        uint8_t* dst = GetScanline(y);
        for (int x = 0; x < w; ++x) dst[x] = (x & 1) ? (src[x >> 1] & 15) : (src[x >> 1] >> 4);
      }
      break;
    case TPixelFormat::pf8bit:
      Allocate(w, h, px8Palette);
      takePalette();
      for (int y = 0; y < Height_ && RowLen_ > 0; ++y)
        std::memcpy(GetScanline(y), bitmap.ScanLine(y), size_t(std::min(RowLen_, bitmap.RowLen())));
      break;
    case TPixelFormat::pf15bit:
    case TPixelFormat::pf16bit: {
      const bool is565 = bitmap.PixelFormat() == TPixelFormat::pf16bit;
      Allocate(w, h, px24RGB);
      for (int y = 0; y < Height_ && RowLen_ > 0; ++y) {
        const uint8_t* src = bitmap.ScanLine(y);
        uint8_t* dst = GetScanline(y);
        for (int x = 0; x < w; ++x) {
          const unsigned v = unsigned(src[2 * x]) | (unsigned(src[2 * x + 1]) << 8);
          uint8_t* p = dst + 3 * x;
          p[0] = uint8_t((v & 31) << 3);
          if (is565) {
            p[1] = uint8_t(((v >> 5) & 63) << 2);
            p[2] = uint8_t((v >> 11) << 3);
          } else {
            p[1] = uint8_t(((v >> 5) & 31) << 3);
            p[2] = uint8_t(((v >> 10) & 31) << 3);
          }
        }
      }
      break;
    }
    case TPixelFormat::pf24bit:
      Allocate(w, h, px24RGB);
      for (int y = 0; y < Height_ && RowLen_ > 0; ++y)
        std::memcpy(GetScanline(y), bitmap.ScanLine(y), size_t(std::min(RowLen_, bitmap.RowLen())));
      break;
    case TPixelFormat::pf32bit:
      Allocate(w, h, px24RGB);
      for (int y = 0; y < Height_ && RowLen_ > 0; ++y) {
        const uint8_t* src = bitmap.ScanLine(y);
        uint8_t* dst = GetScanline(y);
        for (int x = 0; x < w; ++x) std::memcpy(dst + 3 * x, src + 4 * x, 3);
      }
      break;
    default:
      return;  // device-dependent and custom formats are not taken
  }
  ApplyPaletteToDIB();
}

// ---- TVLWorkBitmap --------------------------------------------------------------------------

TVLWorkBitmap::TVLWorkBitmap(int width, int height, int bitsPerPixel) {
  if (width > 0 && height > 0) Allocate(width, height, bitsPerPixel);
}

void TVLWorkBitmap::Allocate(int width, int height, int bitsPerPixel) {
  if (width == Width_ && height == Height_ && bitsPerPixel == BitCount_ && (Bits_ || width <= 0 || height <= 0))
    return;
  Free();
  const int64_t rowLen = RowSize(std::max(width, 0), std::max(bitsPerPixel, 0));
  if (rowLen > std::numeric_limits<int32_t>::max()) throw std::bad_alloc();
  const int64_t size = rowLen * std::max(height, 0);
  if (size > 0) {
    Bits_ = static_cast<uint8_t*>(std::malloc(size_t(size)));
    if (!Bits_) throw std::bad_alloc();
  }
  Width_ = width;
  Height_ = height;
  BitCount_ = bitsPerPixel;
  RowLen_ = int(rowLen);
}

void TVLWorkBitmap::Free() {
  std::free(Bits_);
  Bits_ = nullptr;
  Width_ = Height_ = BitCount_ = RowLen_ = 0;
}

}  // namespace velora
