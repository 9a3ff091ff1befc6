// Small containers shared by the library: flat arrays of fixed-size items (TVLList and its
// kinds), a growable byte buffer and a set of pointer-sized keys.
#pragma once
#include <cstdint>
#include <cstring>
#include <vector>

namespace velora {

class TVLStream;

// A flat array of Count items of ItemSize bytes each. Modified bit 0 is set by every change.
class TVLList {
 public:
  TVLList() = default;
  virtual ~TVLList() = default;
  TVLList(const TVLList&) = delete;
  TVLList& operator=(const TVLList&) = delete;

  int Count() const { return Count_; }
  int ItemSize() const { return ItemSize_; }
  uint8_t Modified = 0;

  // n items, the first min(Count, n) kept (new ones zeroed).
  virtual void SetCount(int n);
  // Ignored outside 0..Count − 1.
  virtual void Delete(int index);
  virtual void Clear();
  // Count, ItemSize, Modified and the items (kinds also copy their own fields). Nothing for
  // no source.
  virtual void Assign(const TVLList* source);

  // Appends a copy of ItemSize bytes at `item`; returns its index.
  int Add(const void* item);
  // Address of item `index` (no range check).
  uint8_t* Item(int index) { return Data_.data() + size_t(index) * size_t(ItemSize_); }
  const uint8_t* Item(int index) const { return Data_.data() + size_t(index) * size_t(ItemSize_); }

 protected:
  explicit TVLList(int itemSize) : ItemSize_(itemSize) {}
  int Count_ = 0;
  int ItemSize_ = 0;
  std::vector<uint8_t> Data_;
};

// Ranges and value lists of scanner capabilities.
class TVLIntegerList : public TVLList {
 public:
  TVLIntegerList() { Clear(); }
  int32_t RangeMin = 0, RangeMax = 0, RangeStep = 0, CurrentValue = 0;

  void Clear() override;
  void Assign(const TVLList* source) override;
  int Add(int32_t value) { return TVLList::Add(&value); }
  int32_t Value(int index) const {
    int32_t v;
    std::memcpy(&v, Item(index), sizeof v);
    return v;
  }
};

class TVLDoubleList : public TVLList {
 public:
  TVLDoubleList() { Clear(); }
  double RangeMin = 0, RangeMax = 0, RangeStep = 0, CurrentValue = 0;

  void Clear() override;
  void Assign(const TVLList* source) override;
  int Add(double value) { return TVLList::Add(&value); }
  double Value(int index) const {
    double v;
    std::memcpy(&v, Item(index), sizeof v);
    return v;
  }
};

// Items of a size given at construction (polygon points of the selections, for one).
class TVLRecordList : public TVLList {
 public:
  explicit TVLRecordList(int itemSize) : TVLList(itemSize) { Clear(); }
  void Clear() override;
  template <typename T>
  T& At(int index) {
    return *reinterpret_cast<T*>(Item(index));
  }
};

// A byte buffer that grows and shrinks in steps of Increment, so that appending byte by byte
// reallocates once every 8192 bytes.
class TVLByteArray {
 public:
  TVLByteArray() : Data_(size_t(Capacity_)) {}

  int Size() const { return Size_; }
  int Capacity() const { return Capacity_; }
  int Increment() const { return Increment_; }
  uint8_t* Data() { return Data_.data(); }
  const uint8_t* Data() const { return Data_.data(); }

  void SetSize(int n);
  void AddByte(uint8_t b);
  // Appends up to count bytes read from the stream; returns how many were read.
  int AppendFromStream(TVLStream& stream, int count);

 private:
  void Reallocate(int capacity, int keep);
  int Size_ = 0;
  int Capacity_ = 8192;
  int Increment_ = 8192;
  std::vector<uint8_t> Data_;
};

// A set of pointer-sized keys in 2^Bits buckets; colliding keys form a chain per bucket.
class THash1 {
 public:
  explicit THash1(int bits);
  ~THash1();
  THash1(const THash1&) = delete;
  THash1& operator=(const THash1&) = delete;

  enum : uint8_t { hsEmpty = 0, hsSingle = 1, hsChain = 2 };

  int Bits() const { return Bits_; }
  uint32_t Size() const { return Size_; }
  int Count() const { return Count_; }
  uint32_t Hash(uintptr_t key) const { return uint32_t(key & (Size_ - 1)); }
  // True when the key was new.
  bool Insert(uintptr_t key);
  bool Contains(uintptr_t key) const;
  // Bucket inspection: its state and its keys in chain order.
  uint8_t State(uint32_t bucket) const { return States_[bucket]; }
  std::vector<uintptr_t> Keys(uint32_t bucket) const;

 private:
  struct TNode {
    uintptr_t Key;
    TNode* Next;
  };
  int Bits_;
  uint32_t Size_;
  int Count_ = 0;
  // A key (state 1) or the head of a chain (state 2).
  std::vector<uintptr_t> Buckets_;
  std::vector<uint8_t> States_;
};

}  // namespace velora
