// TVLVirtualDIBList: many images in one growing temporary file, each a packed
// device-independent bitmap (48-byte header with a two-colour table, then the rows bottom-up)
// in a block aligned to 65536 bytes. Only the ImageCacheSize most recently used blocks are
// mapped, so thousands of thumbnails cost address space only for the visible ones, and those
// are drawn straight from the mapping without a copy.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "toolkit_bitmap.h"

namespace velora {

struct TVLImageHandle {
  int64_t Offset = 0;     // block position in the file
  int32_t DataSize = 0;   // RowLen × height + 48
  int32_t BlockSize = 0;  // allocated size, a multiple of 65536
  uint8_t* View = nullptr;
  bool CheckedOut = false;
};

class TVLVirtualDIBList {
 public:
  static constexpr int kHeaderSize = 48;
  static constexpr int64_t kBlockAlign = 65536;

  explicit TVLVirtualDIBList(const std::string& tempDir = std::string());
  ~TVLVirtualDIBList();
  TVLVirtualDIBList(const TVLVirtualDIBList&) = delete;
  TVLVirtualDIBList& operator=(const TVLVirtualDIBList&) = delete;

  TVLImageHandle* AddBitmap(const TBitmap& bitmap);
  TVLImageHandle* NewImage(int width, int height, int bitsPerPixel);
  void ReleaseImage(TVLImageHandle* handle);
  void DeleteImage(int index);
  void CopyToBitmap(TVLImageHandle* handle, TBitmap& bitmap);
  void UpdateFromBitmap(TVLImageHandle* handle, const TBitmap& bitmap);
  TBitmap* CheckOut(TVLImageHandle* handle);
  void CheckIn(TBitmap* bitmap, bool writeBack);
  void CheckInByHandle(TVLImageHandle* handle, bool writeBack);

  int GetWidth(TVLImageHandle* handle);
  int GetHeight(TVLImageHandle* handle);
  int GetBitCount(TVLImageHandle* handle);
  // The pixel rows, bottom row first; valid until another image is touched.
  uint8_t* GetBits(TVLImageHandle* handle);
  // The 48-byte header with its two-colour table; valid until another image is touched.
  uint8_t* GetHeader(TVLImageHandle* handle);

  void Touch(TVLImageHandle* handle);
  void Unmap(TVLImageHandle* handle);
  void Clear();
  void OpenFile();

  int ImageCacheSize() const { return imageCacheSize_; }
  void SetImageCacheSize(int size) { imageCacheSize_ = size < 1 ? 1 : size; }

  int ImageCount() const { return int(images_.size()); }
  int IndexOf(const TVLImageHandle* handle) const;
  TVLImageHandle* Image(int index) const { return images_[size_t(index)].get(); }
  int64_t FileSize() const { return fileSize_; }
  int64_t AllocPos() const { return allocPos_; }
  int32_t GrowSize() const { return growSize_; }
  int MappedCount() const { return int(mapped_.size()); }
  bool IsMapped(const TVLImageHandle* handle) const { return handle && handle->View; }
  // The file's length on disk (the store keeps it at FileSize); -1 without a file.
  int64_t DiskFileSize() const;

 private:
  struct TFreeBlock {
    int64_t Offset;
    int64_t Size;
  };
  struct TCheckedOut {
    TVLImageHandle* Handle;
    std::unique_ptr<TBitmap> Bitmap;
    int Count;
  };

  bool AllocateBlock(TVLImageHandle& handle, int width, int height, int bitsPerPixel);
  void WriteHeader(TVLImageHandle& handle, int width, int height, int bitsPerPixel);
  void UnmapAll();
  void CloseFile();
  TCheckedOut* FindCheckedOut(const TVLImageHandle* handle);

  std::string tempDir_;
  int fd_ = -1;
  int64_t fileSize_ = 65536;
  std::vector<std::unique_ptr<TVLImageHandle>> images_;
  std::vector<TVLImageHandle*> mapped_;  // least recently used first
  std::vector<TFreeBlock> freeBlocks_;
  int64_t allocPos_ = 0;
  int32_t growSize_ = 65536;
  int imageCacheSize_ = 10;
  std::vector<TCheckedOut> checkedOut_;
  int32_t lastBlockSize_ = 0;
  uint8_t scratchHeader_[kHeaderSize] = {};
};

// Bits per pixel of a stored toolkit bitmap: 1, 4, 8, 15, 16, 24 or 32; 0 for other formats.
int StoredBitsOf(const TBitmap& bitmap);

}  // namespace velora
