#include "vl_metadata.h"

#include <cstring>

namespace velora {

int TVLMarkerList::IndexOf(uint8_t code) const {
  for (size_t i = 0; i < codes_.size(); ++i)
    if (codes_[i] == code) return int(i);
  return -1;
}

int TVLMarkerList::Add(uint8_t code, const void* data, int length) {
  const auto* p = static_cast<const uint8_t*>(data);
  codes_.push_back(code);
  data_.emplace_back(p, p + (length > 0 ? length : 0));
  return Count() - 1;
}

void TVLMarkerList::Replace(int i, uint8_t code, int length, const void* data) {
  const auto* p = static_cast<const uint8_t*>(data);
  codes_[size_t(i)] = code;
  data_[size_t(i)].assign(p, p + (length > 0 ? length : 0));
}

void TVLMarkerList::Delete(int i) {
  if (i < 0 || i >= Count()) return;
  codes_.erase(codes_.begin() + i);
  data_.erase(data_.begin() + i);
}

void TVLMarkerList::Clear() {
  codes_.clear();
  data_.clear();
}

void TVLMarkerList::Assign(const TVLMarkerList& source) {
  if (&source == this) return;
  codes_ = source.codes_;
  data_ = source.data_;
}

int TVLIPTCInfoList::Add(int record, int dataset, int length, const void* data) {
  const auto* p = static_cast<const uint8_t*>(data);
  records_.push_back(TRecord{record, dataset, std::vector<uint8_t>(p, p + (length > 0 ? length : 0))});
  Modified = true;
  return Count() - 1;
}

void TVLIPTCInfoList::Clear() {
  records_.clear();
  Modified = true;
}

void TVLIPTCInfoList::Assign(const TVLIPTCInfoList& source) {
  if (&source != this) records_ = source.records_;
  Modified = true;
}

}  // namespace velora
