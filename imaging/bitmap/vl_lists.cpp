#include "vl_lists.h"

#include <algorithm>
#include <limits>
#include <new>

#include "base/vl_stream.h"

namespace velora {

// ---- TVLList --------------------------------------------------------------------------------

void TVLList::SetCount(int n) {
  n = std::max(n, 0);
  Data_.resize(size_t(n) * size_t(ItemSize_));
  Count_ = n;
  Modified |= 1;
}

void TVLList::Delete(int index) {
  if (index < 0 || index >= Count_) return;
  auto first = Data_.begin() + ptrdiff_t(size_t(index) * size_t(ItemSize_));
  Data_.erase(first, first + ItemSize_);
  --Count_;
  Modified |= 1;
}

void TVLList::Clear() {
  Count_ = 0;
  Data_.clear();
  Data_.shrink_to_fit();
  Modified = 0;
}

void TVLList::Assign(const TVLList* source) {
  if (!source || source == this) return;
  Count_ = source->Count_;
  ItemSize_ = source->ItemSize_;
  Modified = source->Modified;
  Data_ = source->Data_;
}

int TVLList::Add(const void* item) {
  const int index = Count_;
  SetCount(Count_ + 1);
  std::memcpy(Item(index), item, size_t(ItemSize_));
  return index;
}

void TVLIntegerList::Clear() {
  TVLList::Clear();
  ItemSize_ = 4;
  RangeMin = RangeMax = RangeStep = CurrentValue = 0;
}

void TVLIntegerList::Assign(const TVLList* source) {
  TVLList::Assign(source);
  if (auto* s = dynamic_cast<const TVLIntegerList*>(source)) {
    RangeMin = s->RangeMin;
    RangeMax = s->RangeMax;
    RangeStep = s->RangeStep;
    CurrentValue = s->CurrentValue;
  }
}

void TVLDoubleList::Clear() {
  TVLList::Clear();
  ItemSize_ = 8;
  RangeMin = RangeMax = RangeStep = CurrentValue = 0;
}

void TVLDoubleList::Assign(const TVLList* source) {
  TVLList::Assign(source);
  if (auto* s = dynamic_cast<const TVLDoubleList*>(source)) {
    RangeMin = s->RangeMin;
    RangeMax = s->RangeMax;
    RangeStep = s->RangeStep;
    CurrentValue = s->CurrentValue;
  }
}

void TVLRecordList::Clear() { TVLList::Clear(); }

// ---- TVLByteArray ---------------------------------------------------------------------------

void TVLByteArray::Reallocate(int capacity, int keep) {
  std::vector<uint8_t> data(static_cast<size_t>(capacity));
  std::copy_n(Data_.begin(), std::min(keep, Size_), data.begin());
  Data_.swap(data);
  Capacity_ = capacity;
}

void TVLByteArray::SetSize(int n) {
  n = std::max(n, 0);
  // n + Increment must stay an int.
  if (n > std::numeric_limits<int>::max() - Increment_) throw std::bad_alloc();
  if (n > Size_) {
    if (n > Capacity_) Reallocate(n + Increment_, Size_);
  } else if (n < Capacity_ - Increment_) {
    Reallocate(n + Increment_, n);
  }
  Size_ = n;
}

void TVLByteArray::AddByte(uint8_t b) {
  SetSize(Size_ + 1);
  Data_[size_t(Size_ - 1)] = b;
}

int TVLByteArray::AppendFromStream(TVLStream& stream, int count) {
  if (count <= 0) return 0;
  const int start = Size_;
  SetSize(Size_ + count);
  const int64_t got = std::clamp<int64_t>(stream.Read(Data_.data() + start, count), 0, count);
  SetSize(start + int(got));
  return int(got);
}

// ---- THash1 ---------------------------------------------------------------------------------

THash1::THash1(int bits)
    : Bits_(std::clamp(bits, 0, 30)), Size_(1u << Bits_), Buckets_(Size_, 0), States_(Size_, hsEmpty) {}

THash1::~THash1() {
  for (uint32_t i = 0; i < Size_; ++i) {
    if (States_[i] != hsChain) continue;
    for (TNode* n = reinterpret_cast<TNode*>(Buckets_[i]); n;) {
      TNode* next = n->Next;
      delete n;
      n = next;
    }
  }
}

bool THash1::Insert(uintptr_t key) {
  const uint32_t h = Hash(key);
  switch (States_[h]) {
    case hsEmpty:
      Buckets_[h] = key;
      States_[h] = hsSingle;
      break;
    case hsSingle: {
      if (Buckets_[h] == key) return false;
      auto* second = new TNode{key, nullptr};
      Buckets_[h] = reinterpret_cast<uintptr_t>(new TNode{Buckets_[h], second});
      States_[h] = hsChain;
      break;
    }
    default: {
      TNode* n = reinterpret_cast<TNode*>(Buckets_[h]);
      for (;; n = n->Next) {
        if (n->Key == key) return false;
        if (!n->Next) break;
      }
      n->Next = new TNode{key, nullptr};
      break;
    }
  }
  ++Count_;
  return true;
}

bool THash1::Contains(uintptr_t key) const {
  for (uintptr_t k : Keys(Hash(key)))
    if (k == key) return true;
  return false;
}

std::vector<uintptr_t> THash1::Keys(uint32_t bucket) const {
  std::vector<uintptr_t> keys;
  if (States_[bucket] == hsSingle) keys.push_back(Buckets_[bucket]);
  if (States_[bucket] == hsChain)
    for (auto* n = reinterpret_cast<const TNode*>(Buckets_[bucket]); n; n = n->Next) keys.push_back(n->Key);
  return keys;
}

}  // namespace velora
