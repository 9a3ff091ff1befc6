// IPTC records in a JPEG APP13 payload: a Photoshop "8BIM" resource 0x0404 holding
// IPTC-IIM datasets (0x1C, record, dataset, length, data).
#include <algorithm>
#include <cstring>
#include <limits>

#include "vl_metadata.h"

namespace velora {

namespace {

constexpr char kPhotoshop[] = "Photoshop 3.0";  // followed by a zero byte
constexpr size_t kPhotoshopLen = sizeof kPhotoshop;  // with the zero
constexpr int kHeaderSize = 26;
constexpr uint8_t kTagMarker = 0x1C;
constexpr int kLongLength = 32768;

uint32_t BE32(const uint8_t* p) { return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3]; }

void PutBE32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}

// Finds the data of the IPTC resource (0x0404) among the 8BIM resources that follow the
// Photoshop signature. False when the payload is not laid out that way.
bool FindIPTCResource(const uint8_t* data, int64_t length, int64_t& start, int64_t& end) {
  if (length < int64_t(kPhotoshopLen) || std::memcmp(data, kPhotoshop, kPhotoshopLen) != 0) return false;
  int64_t pos = kPhotoshopLen;
  while (pos + 4 + 2 + 1 <= length && std::memcmp(data + pos, "8BIM", 4) == 0) {
    const int id = (data[pos + 4] << 8) | data[pos + 5];
    // The name: a Pascal string padded to an even length, its length byte included.
    int64_t nameLen = 1 + int64_t(data[pos + 6]);
    nameLen += nameLen & 1;
    int64_t sizePos = pos + 6 + nameLen;
    if (sizePos + 4 > length) return false;
    const int64_t size = BE32(data + sizePos);
    const int64_t dataPos = sizePos + 4;
    if (id == 0x0404) {
      start = dataPos;
      end = std::min(length, dataPos + size);
      return true;
    }
    pos = dataPos + size + (size & 1);
  }
  return false;
}

}  // namespace

void TVLIPTCInfoList::ParseIPTC(const uint8_t* data, int64_t length) {
  records_.clear();
  if (!data || length <= 0) {
    Modified = false;
    return;
  }
  // Within the IPTC resource when the payload has the Photoshop layout: the header's size
  // bytes may themselves hold 0x1C and must not be taken for a record.
  int64_t pos = 0, end = length;
  if (!FindIPTCResource(data, length, pos, end)) pos = 0, end = length;
  while (pos < end && data[pos] != kTagMarker) ++pos;
  while (pos + 5 <= end && data[pos] == kTagMarker) {
    const int record = data[pos + 1];
    const int dataset = data[pos + 2];
    int64_t size, dataPos;
    if (data[pos + 3] & 0x80) {
      if (pos + 9 > end) break;
      size = BE32(data + pos + 5);
      dataPos = pos + 9;
    } else {
      size = (data[pos + 3] << 8) | data[pos + 4];
      dataPos = pos + 5;
    }
    if (size > end - dataPos) break;
    records_.push_back(TRecord{record, dataset, std::vector<uint8_t>(data + dataPos, data + dataPos + size)});
    pos = dataPos + size;
  }
  Modified = false;
}

std::vector<uint8_t> TVLIPTCInfoList::BuildIPTC() const {
  std::vector<uint8_t> out(kHeaderSize, 0);
  std::memcpy(out.data(), kPhotoshop, kPhotoshopLen);
  std::memcpy(out.data() + 14, "8BIM", 4);
  out[18] = 0x04;
  out[19] = 0x04;
  // 20..21: empty name; 22..25: resource size, below.
  for (const TRecord& r : records_) {
    if (r.Record == 2 && r.Dataset == 0) continue;  // the record version is not written
    const uint32_t len = uint32_t(r.Data.size());
    out.push_back(kTagMarker);
    out.push_back(uint8_t(r.Record));
    out.push_back(uint8_t(r.Dataset));
    if (len < uint32_t(kLongLength)) {
      out.push_back(uint8_t(len >> 8));
      out.push_back(uint8_t(len));
    } else {
      out.push_back(0x80);
      out.push_back(0x04);
      uint8_t be[4];
      PutBE32(be, len);
      out.insert(out.end(), be, be + 4);
    }
    out.insert(out.end(), r.Data.begin(), r.Data.end());
  }
  PutBE32(out.data() + 22, uint32_t(out.size() - kHeaderSize));
  if (out.size() & 1) out.push_back(0);
  return out;
}

}  // namespace velora
