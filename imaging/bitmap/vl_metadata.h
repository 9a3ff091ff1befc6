// The metadata lists that travel in the parameter record: JPEG markers kept from a file, and
// IPTC records of a JPEG's APP13 marker.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace velora {

// Markers saved by the JPEG reader and written back by the JPEG writer: each a code
// (0xE0..0xEF for APPn, 0xFE for COM) and its payload.
class TVLMarkerList {
 public:
  int Count() const { return int(codes_.size()); }
  uint8_t Code(int i) const { return codes_[size_t(i)]; }
  const uint8_t* Data(int i) const { return data_[size_t(i)].data(); }
  int Size(int i) const { return int(data_[size_t(i)].size()); }
  int IndexOf(uint8_t code) const;
  int Add(uint8_t code, const void* data, int length);
  void Replace(int i, uint8_t code, int length, const void* data);
  void Delete(int i);
  void Clear();
  void Assign(const TVLMarkerList& source);

 private:
  std::vector<uint8_t> codes_;
  std::vector<std::vector<uint8_t>> data_;
};

// IPTC records: record number, dataset number and the data of each.
class TVLIPTCInfoList {
 public:
  struct TRecord {
    int32_t Record = 0;
    int32_t Dataset = 0;
    std::vector<uint8_t> Data;
  };

  int Count() const { return int(records_.size()); }
  const TRecord& Item(int i) const { return records_[size_t(i)]; }
  bool Modified = false;

  int Add(int record, int dataset, int length, const void* data);
  void Clear();
  void Assign(const TVLIPTCInfoList& source);
  // Reads the records of an APP13 payload; never reads past `length` bytes. Modified := false.
  void ParseIPTC(const uint8_t* data, int64_t length);
  // Encodes every record (but 2:0) into a new APP13 payload.
  std::vector<uint8_t> BuildIPTC() const;

 private:
  std::vector<TRecord> records_;
};

}  // namespace velora
