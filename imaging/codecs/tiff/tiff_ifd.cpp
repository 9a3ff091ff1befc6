// The header, the IFD chain and the entry values of a TIFF, bounded by the data throughout.
#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "tiff_ifd.h"

namespace velora::tiff {

namespace {
// A directory holds a few dozen entries; more than this is no directory a writer made.
constexpr uint64_t kMaxEntries = 4096;
}  // namespace

TTiffSource::TTiffSource(TVLStream& stream, int64_t size) : stream_(stream) {
  base_ = stream.Position();
  const int64_t rest = std::max<int64_t>(stream.Size() - base_, 0);
  size_ = size > 0 ? std::min(size, rest) : rest;
}

uint32_t TTiffSource::Long(const uint8_t* p) const {
  return motorola_ ? uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]
                   : uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

uint64_t TTiffSource::Long8(const uint8_t* p) const {
  const uint64_t a = Long(p), b = Long(p + 4);
  return motorola_ ? a << 32 | b : b << 32 | a;
}

bool TTiffSource::ReadAt(uint64_t offset, void* buffer, uint64_t count) {
  if (!Covers(offset, count)) return false;
  if (count == 0) return true;
  stream_.SetPosition(base_ + int64_t(offset));
  return stream_.Read(buffer, int64_t(count)) == int64_t(count);
}

bool TTiffSource::ReadHeader(const TVLProgressRecord& progress) {
  uint8_t h[16] = {};
  if (!ReadAt(0, h, 8)) {
    progress.Fail("TIFF: no header");
    return false;
  }
  const uint16_t order = uint16_t(h[0] | h[1] << 8);
  if (order != kIntelOrder && order != kMotorolaOrder) {
    progress.Fail("TIFF: byte order neither II nor MM");
    return false;
  }
  motorola_ = order == kMotorolaOrder;
  // The version is not checked (some writers put anything there) unless it says BigTIFF.
  bigTiff_ = Word(h + 2) == kBigTiffVersion;
  if (!bigTiff_) {
    firstIfd_ = Long(h + 4);
    return true;
  }
  if (!ReadAt(0, h, 16) || Word(h + 4) != 8) {
    progress.Fail("TIFF: BigTIFF header with offsets of other than 8 bytes");
    return false;
  }
  firstIfd_ = Long8(h + 8);
  return true;
}

bool TTiffIfd::Load(uint64_t offset) {
  entries_.clear();
  TTiffSource& s = *source_;
  const bool big = s.BigTiff();
  uint8_t countBytes[8];
  if (!s.ReadAt(offset, countBytes, big ? 8 : 2)) return false;
  const uint64_t count = big ? s.Long8(countBytes) : s.Word(countBytes);
  const uint64_t entrySize = big ? 20 : 12;
  if (count > kMaxEntries) return false;
  std::vector<uint8_t> raw(size_t(count * entrySize));
  if (!s.ReadAt(offset + (big ? 8 : 2), raw.data(), raw.size())) return false;
  entries_.reserve(size_t(count));
  for (uint64_t i = 0; i < count; ++i) {
    const uint8_t* p = raw.data() + i * entrySize;
    TTiffEntry e;
    e.tag = s.Word(p);
    e.type = s.Word(p + 2);
    e.count = big ? s.Long8(p + 4) : s.Long(p + 4);
    const uint8_t* field = p + (big ? 12 : 8);
    const int fieldSize = big ? 8 : 4;
    std::memcpy(e.field, field, size_t(fieldSize));
    const uint64_t typeSize = uint64_t(FieldTypeSize(e.type));
    // count × type size in 64 bits: a count near 2^64 must not wrap into "fits the field".
    e.inlined = typeSize != 0 && e.count <= uint64_t(fieldSize) / typeSize;
    e.offset = big ? s.Long8(field) : s.Long(field);
    entries_.push_back(e);
  }
  // Writers keep the entries sorted; a file that does not is still read, by the first entry of a tag.
  std::stable_sort(entries_.begin(), entries_.end(), [](const TTiffEntry& a, const TTiffEntry& b) { return a.tag < b.tag; });
  return true;
}

const TTiffEntry* TTiffIfd::Find(uint16_t tag) const {
  auto it = std::lower_bound(entries_.begin(), entries_.end(), tag,
                             [](const TTiffEntry& e, uint16_t t) { return e.tag < t; });
  return it != entries_.end() && it->tag == tag ? &*it : nullptr;
}

bool TTiffIfd::ValueBytes(const TTiffEntry& e, uint64_t count, std::vector<uint8_t>& out) const {
  const uint64_t typeSize = uint64_t(FieldTypeSize(e.type));
  if (typeSize == 0) return false;
  count = std::min(count, e.count);
  // Values said to lie outside the data are not there at all: nothing is sized for them.
  if (!e.inlined && !source_->Covers(e.offset, count * typeSize)) return false;
  out.resize(size_t(count * typeSize));
  if (out.empty()) return true;
  if (e.inlined) {
    std::memcpy(out.data(), e.field, out.size());
    return true;
  }
  return source_->ReadAt(e.offset, out.data(), out.size());
}

std::vector<uint64_t> TTiffIfd::Numbers(uint16_t tag, uint64_t maxCount) const {
  std::vector<uint64_t> values;
  const TTiffEntry* e = Find(tag);
  std::vector<uint8_t> raw;
  if (!e || !ValueBytes(*e, maxCount, raw)) return values;
  const TTiffSource& s = *source_;
  const size_t typeSize = size_t(FieldTypeSize(e->type));
  const size_t n = raw.size() / typeSize;
  values.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    const uint8_t* p = raw.data() + i * typeSize;
    switch (e->type) {
      case ftByte: case ftUndefined: case ftAscii: values.push_back(p[0]); break;
      case ftSByte: values.push_back(uint64_t(int64_t(int8_t(p[0])))); break;
      case ftShort: values.push_back(s.Word(p)); break;
      case ftSShort: values.push_back(uint64_t(int64_t(int16_t(s.Word(p))))); break;
      case ftLong: case ftIfd: values.push_back(s.Long(p)); break;
      case ftSLong: values.push_back(uint64_t(int64_t(int32_t(s.Long(p))))); break;
      case ftLong8: case ftSLong8: case ftIfd8: values.push_back(s.Long8(p)); break;
      case ftRational: {
        const uint32_t d = s.Long(p + 4);
        values.push_back(s.Long(p) / (d ? d : 1));
        break;
      }
      default: values.push_back(0); break;  // signed rationals and floats hold no count or size
    }
  }
  return values;
}

uint64_t TTiffIfd::Number(uint16_t tag, uint64_t def) const {
  const std::vector<uint64_t> v = Numbers(tag, 1);
  return v.empty() ? def : v[0];
}

std::vector<double> TTiffIfd::Reals(uint16_t tag, uint64_t maxCount) const {
  std::vector<double> values;
  const TTiffEntry* e = Find(tag);
  if (!e) return values;
  if (e->type != ftRational && e->type != ftSRational && e->type != ftFloat && e->type != ftDouble) {
    for (uint64_t v : Numbers(tag, maxCount)) values.push_back(double(int64_t(v)));
    return values;
  }
  std::vector<uint8_t> raw;
  if (!ValueBytes(*e, maxCount, raw)) return values;
  const TTiffSource& s = *source_;
  const size_t typeSize = size_t(FieldTypeSize(e->type));
  for (size_t i = 0; i + typeSize <= raw.size(); i += typeSize) {
    const uint8_t* p = raw.data() + i;
    switch (e->type) {
      case ftRational: {
        const uint32_t d = s.Long(p + 4);
        values.push_back(double(s.Long(p)) / (d ? d : 1));
        break;
      }
      case ftSRational: {
        const int32_t d = int32_t(s.Long(p + 4));
        values.push_back(double(int32_t(s.Long(p))) / (d ? d : 1));
        break;
      }
      case ftFloat: {
        const uint32_t bits = s.Long(p);
        float f;
        std::memcpy(&f, &bits, 4);
        values.push_back(double(f));
        break;
      }
      default: {
        const uint64_t bits = s.Long8(p);
        double d;
        std::memcpy(&d, &bits, 8);
        values.push_back(d);
        break;
      }
    }
  }
  return values;
}

double TTiffIfd::Real(uint16_t tag, double def) const {
  const std::vector<double> v = Reals(tag, 1);
  return v.empty() ? def : v[0];
}

std::string TTiffIfd::Text(uint16_t tag) const {
  const TTiffEntry* e = Find(tag);
  std::vector<uint8_t> raw;
  // Longer texts than this are no descriptive field a viewer shows.
  constexpr uint64_t kMaxText = 65536;
  if (!e || FieldTypeSize(e->type) != 1 || !ValueBytes(*e, kMaxText, raw)) return {};
  const auto end = std::find(raw.begin(), raw.end(), uint8_t(0));
  return std::string(raw.begin(), end);
}

std::vector<uint8_t> TTiffIfd::Bytes(uint16_t tag, uint64_t maxCount) const {
  const TTiffEntry* e = Find(tag);
  std::vector<uint8_t> raw;
  if (!e || FieldTypeSize(e->type) != 1 || !ValueBytes(*e, maxCount, raw)) return {};
  return raw;
}

TTiffChain WalkIfdChain(TTiffSource& source, int index) {
  TTiffChain chain;
  std::unordered_set<uint64_t> seen;
  const bool big = source.BigTiff();
  uint64_t offset = source.FirstIfd();
  while (offset != 0 && chain.count < kMaxPages && seen.insert(offset).second) {
    uint8_t countBytes[8];
    if (!source.ReadAt(offset, countBytes, big ? 8 : 2)) break;
    const uint64_t entries = big ? source.Long8(countBytes) : source.Word(countBytes);
    const uint64_t entrySize = big ? 20 : 12;
    if (entries > kMaxEntries) break;
    const uint64_t nextAt = offset + (big ? 8 : 2) + entries * entrySize;
    if (chain.count == index) chain.selected = offset;
    ++chain.count;
    uint8_t next[8] = {};
    // A directory whose next offset is cut off is the last one.
    if (!source.ReadAt(nextAt, next, big ? 8 : 4)) break;
    offset = big ? source.Long8(next) : source.Long(next);
  }
  return chain;
}

}  // namespace velora::tiff
