#include "vl_virtual_dib_list.h"
#include "vl_helpers.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "base/vl_byte_reader.h"

namespace velora {

int StoredBitsOf(const TBitmap& bitmap) { return BitsOfFormat(bitmap.PixelFormat()); }

TVLVirtualDIBList::TVLVirtualDIBList(const std::string& tempDir) : tempDir_(tempDir) { OpenFile(); }

TVLVirtualDIBList::~TVLVirtualDIBList() { Clear(); }

int64_t TVLVirtualDIBList::DiskFileSize() const {
  struct stat st;
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) return -1;
  return int64_t(st.st_size);
}

int TVLVirtualDIBList::IndexOf(const TVLImageHandle* handle) const {
  for (size_t i = 0; i < images_.size(); ++i)
    if (images_[i].get() == handle) return int(i);
  return -1;
}

void TVLVirtualDIBList::UnmapAll() {
  for (TVLImageHandle* h : mapped_) {
    ::munmap(h->View, size_t(h->BlockSize));
    h->View = nullptr;
  }
  mapped_.clear();
}

void TVLVirtualDIBList::CloseFile() {
  UnmapAll();
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void TVLVirtualDIBList::OpenFile() {
  freeBlocks_.clear();
  if (fd_ >= 0) {
    UnmapAll();  // handles stay; they are mapped again on demand
  } else {
    Clear();
    fd_ = VLCreateTempFile(tempDir_);
  }
  // A failure here is not reported: views then fail to map and readers get nothing.
  if (fd_ >= 0 && ::ftruncate(fd_, off_t(fileSize_)) != 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

void TVLVirtualDIBList::Clear() {
  checkedOut_.clear();
  CloseFile();
  images_.clear();
  freeBlocks_.clear();
  allocPos_ = 0;
}

void TVLVirtualDIBList::Touch(TVLImageHandle* handle) {
  if (!handle) return;
  if (handle->View) {
    auto it = std::find(mapped_.begin(), mapped_.end(), handle);
    if (it != mapped_.end()) mapped_.erase(it);
    mapped_.push_back(handle);
    return;
  }
  while (!mapped_.empty() && int(mapped_.size()) + 1 > imageCacheSize_) Unmap(mapped_.front());
  if (fd_ < 0 || handle->Offset + handle->BlockSize > fileSize_) return;
  void* view = ::mmap(nullptr, size_t(handle->BlockSize), PROT_READ | PROT_WRITE, MAP_SHARED, fd_, off_t(handle->Offset));
  if (view == MAP_FAILED) return;
  handle->View = static_cast<uint8_t*>(view);
  mapped_.push_back(handle);
}

void TVLVirtualDIBList::Unmap(TVLImageHandle* handle) {
  if (!handle || !handle->View) return;
  ::munmap(handle->View, size_t(handle->BlockSize));
  handle->View = nullptr;
  std::erase(mapped_, handle);
}

bool TVLVirtualDIBList::AllocateBlock(TVLImageHandle& handle, int width, int height, int bitsPerPixel) {
  if (width < 0 || height < 0) return false;
  int64_t rowLen = RowSize(width, bitsPerPixel);
  int64_t dataSize = rowLen * height + kHeaderSize;
  int64_t blockSize = (dataSize + kBlockAlign - 1) & ~(kBlockAlign - 1);
  if (blockSize > std::numeric_limits<int32_t>::max()) return false;

  auto fit = std::find_if(freeBlocks_.begin(), freeBlocks_.end(),
                          [&](const TFreeBlock& b) { return b.Size >= blockSize; });
  if (fit != freeBlocks_.end()) {
    handle.Offset = fit->Offset;
    freeBlocks_.erase(fit);  // a surplus beyond the block is not kept
  } else {
    // Runs of large images grow the file in few steps: after a block larger than the growth
    // step, the step becomes the previous block plus this one.
    if (growSize_ < blockSize) growSize_ = int32_t(std::min<int64_t>(int64_t(lastBlockSize_) + blockSize,
                                                                  std::numeric_limits<int32_t>::max()));
    lastBlockSize_ = int32_t(blockSize);
    if (allocPos_ > std::numeric_limits<int64_t>::max() - blockSize) return false;
    int64_t end = allocPos_ + blockSize;
    if (end > fileSize_) {
      fileSize_ += growSize_;
      if (end > fileSize_) fileSize_ = end;  // one growth step always holds the new block
      OpenFile();
    }
    handle.Offset = allocPos_;
    allocPos_ = end;
  }
  handle.DataSize = int32_t(dataSize);
  handle.BlockSize = int32_t(blockSize);
  handle.View = nullptr;
  handle.CheckedOut = false;
  return true;
}

void TVLVirtualDIBList::WriteHeader(TVLImageHandle& handle, int width, int height, int bitsPerPixel) {
  Touch(&handle);
  if (!handle.View) return;
  uint8_t* h = handle.View;
  std::memset(h, 0, kHeaderSize);
  PutU32LE(h, 40);
  PutU32LE(h + 4, uint32_t(width));
  PutU32LE(h + 8, uint32_t(height));
  h[12] = 1;
  h[14] = uint8_t(bitsPerPixel);
  h[44] = h[45] = h[46] = 255;  // colour 1 white; colour 0 stays black
}

TVLImageHandle* TVLVirtualDIBList::NewImage(int width, int height, int bitsPerPixel) {
  auto handle = std::make_unique<TVLImageHandle>();
  if (!AllocateBlock(*handle, width, height, bitsPerPixel)) return nullptr;
  TVLImageHandle* h = handle.get();
  images_.push_back(std::move(handle));
  WriteHeader(*h, width, height, bitsPerPixel);
  return h;
}

TVLImageHandle* TVLVirtualDIBList::AddBitmap(const TBitmap& bitmap) {
  TVLImageHandle* h = NewImage(bitmap.Width(), bitmap.Height(), StoredBitsOf(bitmap));
  if (!h || !h->View || bitmap.Empty()) return h;
  // The bitmap's rows are already one bottom-up block with the same row size.
  std::memcpy(h->View + kHeaderSize, bitmap.Bits(), size_t(h->DataSize - kHeaderSize));
  return h;
}

void TVLVirtualDIBList::DeleteImage(int index) {
  if (index < 0 || index >= ImageCount()) return;
  TVLImageHandle* h = images_[size_t(index)].get();
  std::erase_if(checkedOut_, [h](const TCheckedOut& c) { return c.Handle == h; });
  Unmap(h);
  images_.erase(images_.begin() + index);
}

void TVLVirtualDIBList::ReleaseImage(TVLImageHandle* handle) {
  int index = IndexOf(handle);
  if (index < 0) return;
  freeBlocks_.push_back(TFreeBlock{handle->Offset, handle->BlockSize});
  DeleteImage(index);
  if (images_.empty()) {
    // The last image is gone: shrink the file and start again at offset 0.
    fileSize_ = growSize_;
    allocPos_ = 0;
    OpenFile();
  }
}

void TVLVirtualDIBList::CopyToBitmap(TVLImageHandle* handle, TBitmap& bitmap) {
  Touch(handle);
  if (!handle || !handle->View) return;
  const uint8_t* h = handle->View;
  int width = GetI32LE(h + 4), height = GetI32LE(h + 8), bits = h[14];
  if (bits == 1) bitmap.SetPixelFormat(TPixelFormat::pf1bit);
  if (bits == 24) bitmap.SetPixelFormat(TPixelFormat::pf24bit);
  bitmap.SetSize(width, height);
  // A bitmap left in another format gets only what fits in its rows.
  int64_t rowLen = RowSize(width, bits);
  size_t n = size_t(std::min<int64_t>(rowLen, bitmap.RowLen()));
  for (int y = 0; y < height; ++y) std::memcpy(bitmap.ScanLine(height - 1 - y), h + kHeaderSize + y * rowLen, n);
}

void TVLVirtualDIBList::UpdateFromBitmap(TVLImageHandle* handle, const TBitmap& bitmap) {
  Touch(handle);
  if (!handle || !handle->View) return;
  int bits = StoredBitsOf(bitmap);
  const uint8_t* h = handle->View;
  if (GetI32LE(h + 4) != bitmap.Width() || GetI32LE(h + 8) != bitmap.Height() || h[14] != bits) {
    // Another size: a new block for the same handle; the old one is neither reused nor given back.
    Unmap(handle);
    if (!AllocateBlock(*handle, bitmap.Width(), bitmap.Height(), bits)) return;
    WriteHeader(*handle, bitmap.Width(), bitmap.Height(), bits);
    if (FindCheckedOut(handle)) handle->CheckedOut = true;
  }
  if (!handle->View || bitmap.Empty()) return;
  std::memcpy(handle->View + kHeaderSize, bitmap.Bits(), size_t(handle->DataSize - kHeaderSize));
}

TVLVirtualDIBList::TCheckedOut* TVLVirtualDIBList::FindCheckedOut(const TVLImageHandle* handle) {
  for (auto& c : checkedOut_)
    if (c.Handle == handle) return &c;
  return nullptr;
}

TBitmap* TVLVirtualDIBList::CheckOut(TVLImageHandle* handle) {
  Touch(handle);
  if (!handle || !handle->View) return nullptr;
  if (TCheckedOut* c = FindCheckedOut(handle)) {
    ++c->Count;
    return c->Bitmap.get();
  }
  auto bitmap = std::make_unique<TBitmap>();
  CopyToBitmap(handle, *bitmap);
  TBitmap* result = bitmap.get();
  checkedOut_.push_back(TCheckedOut{handle, std::move(bitmap), 1});
  handle->CheckedOut = true;
  return result;
}

void TVLVirtualDIBList::CheckIn(TBitmap* bitmap, bool writeBack) {
  auto it = std::find_if(checkedOut_.begin(), checkedOut_.end(),
                         [bitmap](const TCheckedOut& c) { return c.Bitmap.get() == bitmap; });
  if (it == checkedOut_.end()) return;
  --it->Count;
  TVLImageHandle* handle = it->Handle;
  if (writeBack) UpdateFromBitmap(handle, *bitmap);
  // UpdateFromBitmap may not touch the list, but look the record up again to be safe.
  it = std::find_if(checkedOut_.begin(), checkedOut_.end(),
                    [bitmap](const TCheckedOut& c) { return c.Bitmap.get() == bitmap; });
  if (it != checkedOut_.end() && it->Count <= 0) {
    handle->CheckedOut = false;
    checkedOut_.erase(it);
  }
}

void TVLVirtualDIBList::CheckInByHandle(TVLImageHandle* handle, bool writeBack) {
  if (TCheckedOut* c = FindCheckedOut(handle)) CheckIn(c->Bitmap.get(), writeBack);
}

int TVLVirtualDIBList::GetWidth(TVLImageHandle* handle) {
  if (TCheckedOut* c = FindCheckedOut(handle)) return c->Bitmap->Width();
  Touch(handle);
  return handle && handle->View ? GetI32LE(handle->View + 4) : 0;
}

int TVLVirtualDIBList::GetHeight(TVLImageHandle* handle) {
  if (TCheckedOut* c = FindCheckedOut(handle)) return c->Bitmap->Height();
  Touch(handle);
  return handle && handle->View ? GetI32LE(handle->View + 8) : 0;
}

int TVLVirtualDIBList::GetBitCount(TVLImageHandle* handle) {
  if (TCheckedOut* c = FindCheckedOut(handle)) return StoredBitsOf(*c->Bitmap);
  Touch(handle);
  return handle && handle->View ? handle->View[14] : 0;
}

uint8_t* TVLVirtualDIBList::GetBits(TVLImageHandle* handle) {
  if (TCheckedOut* c = FindCheckedOut(handle)) return c->Bitmap->Bits();
  Touch(handle);
  return handle && handle->View ? handle->View + kHeaderSize : nullptr;
}

uint8_t* TVLVirtualDIBList::GetHeader(TVLImageHandle* handle) {
  if (TCheckedOut* c = FindCheckedOut(handle)) {
    std::memset(scratchHeader_, 0, kHeaderSize);
    PutU32LE(scratchHeader_, 40);
    PutU32LE(scratchHeader_ + 4, uint32_t(c->Bitmap->Width()));
    PutU32LE(scratchHeader_ + 8, uint32_t(c->Bitmap->Height()));
    scratchHeader_[12] = 1;
    scratchHeader_[14] = uint8_t(StoredBitsOf(*c->Bitmap));
    scratchHeader_[44] = scratchHeader_[45] = scratchHeader_[46] = 255;
    return scratchHeader_;
  }
  Touch(handle);
  return handle && handle->View ? handle->View : nullptr;
}

}  // namespace velora
