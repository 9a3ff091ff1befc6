// CCITT fax decoders. Codes are found through the lookup tables of fax_tables.h, several bits
// at a time; a row is decoded into its changing elements and then painted, white first and
// black runs cleared a byte at a time where they cover whole bytes. The two-dimensional modes
// find b1 and b2 in the reference line's changing elements.
#include <algorithm>
#include <cstring>

#include "fax_coder.h"
#include "fax_tables.h"

namespace velora {

using namespace fax;

struct TFaxLineAccess {
  static std::vector<int32_t>& Changes(TFaxReferenceLine& line) { return line.changes_; }
  static std::vector<int32_t>& Spare(TFaxReferenceLine& line) { return line.spare_; }
};

namespace {

// b1 and b2 may be looked up one and two places past the last change found.
constexpr int kSentinels = 3;

struct TReverseTable {
  uint8_t bits[256];
  constexpr TReverseTable() : bits() {
    for (int i = 0; i < 256; ++i) {
      int r = 0;
      for (int b = 0; b < 8; ++b) r |= ((i >> b) & 1) << (7 - b);
      bits[i] = uint8_t(r);
    }
  }
};
constexpr TReverseTable kReverse;

// Reads the data most significant bit first (FillOrder 1) or least significant bit first
// (FillOrder 2); past the end of the data it reads zeros, which AtEnd tells apart.
class TFaxBitReader {
 public:
  TFaxBitReader(const uint8_t* data, int64_t size, int fillOrder, int64_t bitPosition)
      : data_(data), size_(size > 0 ? size : 0), endBits_(size_ * 8), reverse_(fillOrder == 2) {
    Seek(bitPosition);
  }

  int64_t Position() const { return position_; }
  bool AtEnd() const { return position_ >= endBits_; }
  // Whether a code of this many bits would run past the end of the data.
  bool Cut(int length) const { return position_ + length > endBits_; }

  void Seek(int64_t bitPosition) {
    position_ = std::clamp<int64_t>(bitPosition, 0, endBits_);
    nextByte_ = position_ >> 3;
    accumulator_ = 0;
    count_ = 0;
    Refill();
    const int offset = int(position_ & 7);
    accumulator_ <<= offset;
    count_ -= offset;
  }

  uint32_t Peek() {
    if (count_ < kFaxPeekBits) Refill();
    return uint32_t(accumulator_ >> (64 - kFaxPeekBits));
  }

  void Skip(int n) {
    accumulator_ = n < 64 ? accumulator_ << n : 0;
    count_ -= n;
    position_ += n;
  }

  int Bit() {
    const int bit = int(Peek() >> (kFaxPeekBits - 1));
    Skip(1);
    return bit;
  }

  void SkipToEnd() { Seek(endBits_); }

  // Skips zero bits up to the next one bit (left unread) or the end of the data.
  void SkipZeros() {
    for (;;) {
      Refill();
      if (accumulator_ != 0) {
        Skip(__builtin_clzll(accumulator_));
        break;
      }
      Skip(count_);
      if (AtEnd()) break;
    }
    if (position_ > endBits_) SkipToEnd();
  }

 private:
  void Refill() {
    while (count_ <= 56) {
      uint8_t b = nextByte_ < size_ ? data_[nextByte_] : 0;
      if (reverse_) b = kReverse.bits[b];
      accumulator_ |= uint64_t(b) << (56 - count_);
      count_ += 8;
      ++nextByte_;
    }
  }

  const uint8_t* data_;
  const int64_t size_;
  const int64_t endBits_;
  const bool reverse_;
  int64_t position_ = 0;
  int64_t nextByte_ = 0;
  uint64_t accumulator_ = 0;  // the next count_ bits, from the most significant end
  int count_ = 0;
};

// The changing elements of the row being decoded; their parity is always the colour at the
// end of the row so far, and positions at or past the width are not changes of the row. A run
// of length 0 stays as two changes at one place, as libtiff keeps it: the next row finds its
// b1 and b2 among them. A third change there cancels the second, so the list never holds more
// than two changes a pixel.
class TRowChanges {
 public:
  TRowChanges(std::vector<int32_t>& storage, int width) : storage_(storage), width_(width) {
    storage_.resize(2 * size_t(width) + kSentinels + 1);
    data_ = storage_.data();
  }
  void Add(int position) {
    if (position >= width_) return;
    if (count_ > 1 && data_[count_ - 1] == position && data_[count_ - 2] == position)
      --count_;
    else
      data_[count_++] = position;
  }
  int Colour() const { return count_ & 1; }  // 0 white, 1 black
  // The row is white from position on, as libtiff (and so what other readers show) leaves a
  // row whose coding ends early or goes wrong.
  void WhiteFrom(int position) {
    if (Colour()) Add(std::max(position, 0));
  }
  // A two-dimensional row ended early at a0: what pass modes added since the last change keeps
  // its colour up to a0, where a change closes it, and the row is white from there.
  void EndAt(int a0) {
    if (a0 > (count_ > 0 ? data_[count_ - 1] : 0)) Add(a0);
    WhiteFrom(a0);
  }
  // A run that reaches past the row's end is dropped whole, from the last change on (the
  // stretches pass modes added to it included), and the row is white from there.
  void DropRunPastEnd() { WhiteFrom(count_ > 0 ? data_[count_ - 1] : 0); }
  bool Empty() const { return count_ == 0; }
  int Count() const { return count_; }
  const int32_t* Data() const { return data_; }
  // Ends the list as a reference line: the width as the change after the last.
  void Seal() {
    storage_.resize(size_t(count_) + kSentinels);
    std::fill(storage_.begin() + count_, storage_.end(), width_);
  }

 private:
  std::vector<int32_t>& storage_;
  int32_t* data_;
  int width_;
  int count_ = 0;
};

enum class TRowEnd { Width, Eol, Data, EndOfBlock };

// Clears pixels [from, to) of a row (0 is black).
void PaintBlack(uint8_t* row, int from, int to) {
  if (from >= to) return;
  const int first = from >> 3, last = (to - 1) >> 3;
  const uint8_t head = uint8_t(0xFF >> (from & 7));
  const uint8_t tail = uint8_t(0xFF << (7 - ((to - 1) & 7)));
  if (first == last) {
    row[first] &= uint8_t(~(head & tail));
    return;
  }
  row[first] &= uint8_t(~head);
  std::memset(row + first + 1, 0, size_t(last - first - 1));
  row[last] &= uint8_t(~tail);
}

void PaintRow(uint8_t* row, int width, const TRowChanges& changes) {
  std::memset(row, 0xFF, size_t(width + 7) / 8);
  const int32_t* c = changes.Data();
  const int n = changes.Count();
  for (int i = 0; i < n; i += 2) PaintBlack(row, c[i], i + 1 < n ? c[i + 1] : width);
}

// Reads one code of the colour's tables at the reader, skipping bits that start none.
// Returns the code, or a code of kind fcInvalid when the data ended first.
TFaxCode ReadRunCode(TFaxBitReader& reader, const TFaxCode* lookup) {
  for (;;) {
    if (reader.AtEnd()) return {0, 0, fcInvalid};
    TFaxCode code = lookup[reader.Peek()];
    if (code.kind == fcZeros) {
      reader.SkipZeros();
      if (reader.AtEnd()) return {0, 0, fcInvalid};
      reader.Skip(1);
      return {0, 0, fcEol};  // an EOL behind fill
    }
    if (reader.Cut(code.length)) {
      reader.SkipToEnd();
      return {0, 0, fcInvalid};
    }
    reader.Skip(code.length);
    if (code.kind == fcInvalid || code.kind == fcZeroPrefix) continue;
    return code;
  }
}

// One-dimensional decoding of a row into changes, which are empty on entry. A row cut short
// by an EOL or the end of the data is white from where its codes ended; a run past the row's
// end is dropped.
TRowEnd DecodeRuns1D(TFaxBitReader& reader, TRowChanges& changes, int width) {
  int position = 0;
  bool anyRun = false, makeUp = false;
  const auto endEarly = [&] {
    if (position > width) changes.DropRunPastEnd();
    else changes.WhiteFrom(position);
  };
  while (position < width || makeUp) {
    const TFaxCode code = ReadRunCode(reader, changes.Colour() ? BlackLookup() : WhiteLookup());
    if (code.kind == fcInvalid) {  // the data ended
      endEarly();
      return TRowEnd::Data;
    }
    if (code.kind == fcEol) {
      if (!anyRun) continue;
      endEarly();
      return TRowEnd::Eol;
    }
    anyRun = true;
    position = std::min(position + code.value, width + (1 << 16));  // make-up codes may run far past
    makeUp = code.kind == fcMakeUp;
    if (makeUp) continue;
    if (position > width) {
      changes.DropRunPastEnd();
      return TRowEnd::Width;
    }
    changes.Add(position);
  }
  return TRowEnd::Width;
}

// A run of horizontal mode: make-up codes and a terminating code; 0 for an EOL. Sets
// ended when the data ended.
int ReadHorizontalRun(TFaxBitReader& reader, const TFaxCode* lookup, bool& ended) {
  int run = 0;
  for (;;) {
    const TFaxCode code = ReadRunCode(reader, lookup);
    if (code.kind == fcInvalid) {
      ended = true;
      return run;
    }
    if (code.kind == fcEol) return run;
    run = std::min(run + code.value, 1 << 24);
    if (code.kind == fcTerminating) return run;
  }
}

// Uncompressed mode (T.4 4.2.3): code words of up to five pixels, n white ones and a black one
// for n zeros and a one (n < 5), five white ones for "000001"; n zeros and a one, for n from
// 6 to 10, leave the mode after n - 6 white pixels, the next bit giving the colour a0 has
// then. Returns the new a0.
int DecodeUncompressed(TFaxBitReader& reader, TRowChanges& changes, int a0, int width) {
  a0 = std::max(a0, 0);
  const auto paint = [&](int colour, int count) {
    if (count <= 0 || a0 >= width) return;
    if (changes.Colour() != colour) changes.Add(a0);
    a0 = std::min(a0 + count, width);
  };
  while (!reader.AtEnd()) {
    const uint32_t bits = reader.Peek();
    const int zeros = bits == 0 ? kFaxPeekBits : __builtin_clz(bits) - (32 - kFaxPeekBits);
    if (zeros > 10 || reader.Cut(zeros + 1)) break;  // no code of the mode: leave it
    reader.Skip(zeros + 1);
    if (zeros < 5) {
      paint(0, zeros);
      paint(1, 1);
    } else if (zeros == 5) {
      paint(0, 5);
    } else {
      paint(0, zeros - 6);
      const int colour = reader.AtEnd() ? 0 : reader.Bit();
      if (changes.Colour() != colour && a0 < width) changes.Add(a0);
      break;
    }
  }
  return a0;
}

TRowEnd DecodeRow2D(TFaxBitReader& reader, const int32_t* reference, TRowChanges& changes, int width,
                    bool fillBits, bool group4) {
  int a0 = -1;  // the imaginary white element before the row
  int ri = 0;   // the first reference change right of a0
  const TFaxCode* modes = ModeLookup();
  while (a0 < width) {
    if (reader.AtEnd()) {  // the rest of the row stays white
      changes.EndAt(a0);
      return TRowEnd::Data;
    }
    const TFaxCode code = modes[reader.Peek()];
    if (reader.Cut(code.length) && code.kind != fcZeros) {
      reader.SkipToEnd();
      continue;
    }
    while (reference[ri] <= a0) ++ri;
    const int b = ri + ((ri & 1) != changes.Colour());
    const int b1 = reference[b], b2 = reference[b + 1];
    switch (code.kind) {
      case fcPass:
        reader.Skip(code.length);
        a0 = b2;
        break;
      case fcHorizontal: {
        reader.Skip(code.length);
        bool ended = false;
        const int colour = changes.Colour();
        const int run1 = ReadHorizontalRun(reader, colour ? BlackLookup() : WhiteLookup(), ended);
        const int run2 = ended ? 0 : ReadHorizontalRun(reader, colour ? WhiteLookup() : BlackLookup(), ended);
        const int64_t a1 = std::max(a0, 0) + int64_t(run1), a2 = a1 + run2;
        if (a1 > width) {
          changes.DropRunPastEnd();
        } else {
          changes.Add(int(a1));
          if (a2 <= width) changes.Add(int(a2));
          else if (a1 < width) changes.DropRunPastEnd();  // a second run from the row's end adds nothing
        }
        a0 = int(std::min<int64_t>(a2, width));
        break;
      }
      case fcVertical: {
        reader.Skip(code.length);
        const int64_t a1 = int64_t(b1) + code.value;
        // A change before a0 is no coding: the row ends there, white; one past the end loses
        // the run that led to it.
        if (a1 < std::max(a0, 0)) {
          changes.EndAt(a0);
          return TRowEnd::Width;
        }
        if (a1 > width) changes.DropRunPastEnd();
        else changes.Add(int(a1));
        a0 = int(std::min<int64_t>(a1, width));
        break;
      }
      case fcUncompressed:
        reader.Skip(code.length);
        a0 = DecodeUncompressed(reader, changes, a0, width);
        break;
      case fcZeros:
      case fcEol: {
        const int64_t eolStart = reader.Position();
        if (code.kind == fcZeros) {
          if (!fillBits) {
            // Without fill, twelve zero bits are consumed and mean nothing.
            if (reader.Cut(12))
              reader.SkipToEnd();
            else
              reader.Skip(12);
            break;
          }
          reader.SkipZeros();
          if (reader.AtEnd()) continue;
          reader.Skip(1);
        } else {
          reader.Skip(code.length);
        }
        if (a0 >= 0 || !changes.Empty()) {
          reader.Seek(eolStart);  // the EOL belongs to the next row
          return TRowEnd::Eol;    // a black run goes on to the row end
        }
        if (group4) return TRowEnd::EndOfBlock;
        if (reader.AtEnd()) continue;
        if (reader.Bit() == 1) return DecodeRuns1D(reader, changes, width);
        break;
      }
      default:
        reader.Skip(1);
        break;
    }
  }
  return TRowEnd::Width;
}

int CheckedFillOrder(int fillOrder) { return fillOrder == 2 ? 2 : 1; }

}  // namespace

void TFaxReferenceLine::Reset(int width) { changes_.assign(kSentinels, std::max(width, 0)); }

int64_t DecodeMhRow(uint8_t* row, const uint8_t* data, int64_t dataSize, int width, int fillOrder, bool* cut) {
  if (width <= 0) return 0;
  TFaxBitReader reader(data, dataSize, CheckedFillOrder(fillOrder), 0);
  std::vector<int32_t> storage;
  TRowChanges changes(storage, width);
  const TRowEnd end = DecodeRuns1D(reader, changes, width);
  PaintRow(row, width, changes);
  if (cut) *cut = end == TRowEnd::Data;
  return std::min((reader.Position() + 7) / 8, std::max<int64_t>(dataSize, 0));
}

int64_t DecodeT4Row(uint8_t* row, const uint8_t* data, int64_t dataSize, int width, int fillOrder,
                    int64_t bitPosition, bool* cut) {
  if (width <= 0) return bitPosition;
  TFaxBitReader reader(data, dataSize, CheckedFillOrder(fillOrder), bitPosition);
  std::vector<int32_t> storage;
  TRowChanges changes(storage, width);
  const TRowEnd end = DecodeRuns1D(reader, changes, width);
  PaintRow(row, width, changes);
  if (cut) *cut = end == TRowEnd::Data;
  return reader.Position();
}

int64_t DecodeT4T6Row2D(uint8_t* row, const uint8_t* data, int64_t dataSize, bool fillBits, int fillOrder,
                        int64_t bitPosition, TFaxReferenceLine& referenceLine, int width, bool* cut,
                        bool* endOfBlock) {
  if (width <= 0) return bitPosition;
  std::vector<int32_t>& reference = TFaxLineAccess::Changes(referenceLine);
  // A line of another width (or none yet) is taken as all white.
  if (reference.size() < size_t(kSentinels) || reference.back() != width) referenceLine.Reset(width);
  TFaxBitReader reader(data, dataSize, CheckedFillOrder(fillOrder), bitPosition);
  std::vector<int32_t>& storage = TFaxLineAccess::Spare(referenceLine);
  TRowChanges changes(storage, width);
  const TRowEnd end = DecodeRow2D(reader, reference.data(), changes, width, fillBits, endOfBlock != nullptr);
  if (endOfBlock) *endOfBlock = end == TRowEnd::EndOfBlock;
  PaintRow(row, width, changes);
  changes.Seal();
  reference.swap(storage);
  if (cut) *cut = end == TRowEnd::Data;
  return reader.Position();
}

}  // namespace velora
