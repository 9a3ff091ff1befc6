// The TIFF reader's view of a file: the header, the chain of image file directories and the
// values of their entries, every offset and size checked against the data before it is read.
// Classic TIFF (version 42) and BigTIFF (43) look the same from here.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "base/progress.h"
#include "base/vl_stream.h"
#include "tiff_tags.h"

namespace velora::tiff {

// Pages beyond this are not counted: no real document holds more, and a hostile chain of tiny
// IFDs would otherwise keep a folder scan busy.
constexpr int kMaxPages = 65536;

// One 12-byte (BigTIFF: 20-byte) directory entry. Values that fit the entry's value field are
// kept as its raw bytes; larger ones lie at `offset`.
struct TTiffEntry {
  uint16_t tag = 0;
  uint16_t type = 0;
  uint64_t count = 0;
  uint64_t offset = 0;   // meaningful when !inlined
  uint8_t field[8] = {}; // the value field as stored
  bool inlined = false;
};

// The data of a TIFF: a stream window starting at the file header, in the file's byte order.
class TTiffSource {
 public:
  // size 0: up to the end of the stream.
  TTiffSource(TVLStream& stream, int64_t size);

  bool ReadHeader(const TVLProgressRecord& progress);
  bool BigTiff() const { return bigTiff_; }
  bool Motorola() const { return motorola_; }
  uint64_t FirstIfd() const { return firstIfd_; }
  int64_t Size() const { return size_; }
  // Bytes [offset, offset + count) of the data; false (nothing read) when they are not all there.
  bool ReadAt(uint64_t offset, void* buffer, uint64_t count);
  bool Covers(uint64_t offset, uint64_t count) const {
    return offset <= uint64_t(size_) && count <= uint64_t(size_) - offset;
  }

  uint16_t Word(const uint8_t* p) const { return motorola_ ? uint16_t(p[0] << 8 | p[1]) : uint16_t(p[1] << 8 | p[0]); }
  uint32_t Long(const uint8_t* p) const;
  uint64_t Long8(const uint8_t* p) const;

 private:
  TVLStream& stream_;
  int64_t base_ = 0;
  int64_t size_ = 0;
  bool motorola_ = false;
  bool bigTiff_ = false;
  uint64_t firstIfd_ = 0;
};

// One directory with its entries, sorted by tag, and the typed reads of their values.
class TTiffIfd {
 public:
  TTiffIfd(TTiffSource& source) : source_(&source) {}
  // Reads the entries of the directory at offset; false when it is not within the data.
  bool Load(uint64_t offset);
  const TTiffEntry* Find(uint16_t tag) const;
  bool Has(uint16_t tag) const { return Find(tag) != nullptr; }

  // The first value as an unsigned integer (any integer type; rationals truncated), or def.
  uint64_t Number(uint16_t tag, uint64_t def) const;
  // Every value as an unsigned integer, at most maxCount of them; empty when the tag is
  // missing or its values are not within the data.
  std::vector<uint64_t> Numbers(uint16_t tag, uint64_t maxCount) const;
  // Values as doubles (rationals divided, a zero denominator counting as 1).
  std::vector<double> Reals(uint16_t tag, uint64_t maxCount) const;
  double Real(uint16_t tag, double def) const;
  // ASCII up to its first zero; undefined-type bytes as text.
  std::string Text(uint16_t tag) const;
  // The raw bytes of the values (JPEGTables), empty when not within the data.
  std::vector<uint8_t> Bytes(uint16_t tag, uint64_t maxCount) const;

 private:
  bool ValueBytes(const TTiffEntry& e, uint64_t count, std::vector<uint8_t>& out) const;

  TTiffSource* source_;
  std::vector<TTiffEntry> entries_;
};

// The page walk: the offset of the IFD numbered `index` and the number of IFDs in the chain.
// The chain ends at a zero offset, an offset outside the data, an IFD seen before (any loop)
// or kMaxPages. selected is 0 when the page is not there.
struct TTiffChain {
  uint64_t selected = 0;
  int count = 0;
};
TTiffChain WalkIfdChain(TTiffSource& source, int index);

}  // namespace velora::tiff
