// CCITT fax encoders. A row is turned into its changing elements first (whole bytes of one
// colour are skipped a word at a time), and the codings work on those lists.
#include <algorithm>
#include <cstring>

#include "fax_coder.h"
#include "fax_tables.h"

namespace velora {

using namespace fax;

namespace {

constexpr int kSentinels = 3;

// The first position at or after pos whose pixel is not of colour (1 black), or width.
int FindChange(const uint8_t* row, int pos, int width, int colour) {
  const int bytes = (width + 7) >> 3;
  const uint8_t flip = colour ? 0xFF : 0;
  const uint64_t same = colour ? ~uint64_t(0) : 0;
  int byte = pos >> 3;
  uint8_t x = uint8_t((row[byte] ^ flip) & (0xFF >> (pos & 7)));
  while (x == 0) {
    ++byte;
    for (uint64_t word; byte + 8 <= bytes; byte += 8) {
      std::memcpy(&word, row + byte, 8);
      if (word != same) break;
    }
    if (byte >= bytes) return width;
    x = uint8_t(row[byte] ^ flip);
  }
  return std::min(width, (byte << 3) + __builtin_clz(x) - 24);
}

// The changing elements of a row (1 black), then the width as sentinels.
void FindChanges(const uint8_t* row, int width, std::vector<int32_t>& changes) {
  changes.clear();
  int colour = 0;
  for (int pos = FindChange(row, 0, width, 0); pos < width; pos = FindChange(row, pos, width, colour)) {
    changes.push_back(pos);
    colour ^= 1;
  }
  changes.insert(changes.end(), kSentinels, width);
}

class TBitWriter {
 public:
  explicit TBitWriter(TFaxEncoderState& state)
      : state_(state), accumulator_(state.pendingBits), count_(state.pendingCount) {}
  ~TBitWriter() {
    state_.pendingBits = uint32_t(accumulator_ & ((1u << count_) - 1));
    state_.pendingCount = count_;
  }

  void Put(TFaxRunCode code) {
    accumulator_ = accumulator_ << code.length | code.bits;
    count_ += code.length;
    while (count_ >= 8) {
      count_ -= 8;
      state_.output.push_back(uint8_t(accumulator_ >> count_));
    }
  }
  void PutBit(int bit) { Put(TFaxRunCode{uint16_t(bit), 1}); }
  void PadToByte() {
    if (count_ > 0) Put(TFaxRunCode{0, uint8_t(8 - count_)});
  }

  // Make-up codes while 64 or more remain (2560 at most each), then the terminating code.
  void PutRun(const TFaxRunCodes& codes, int run) {
    while (run >= 64) {
      const int units = std::min(run / 64, 40);
      Put(codes.makeUp[units]);
      run -= units * 64;
    }
    Put(codes.terminating[run]);
  }

 private:
  TFaxEncoderState& state_;
  uint64_t accumulator_;
  int count_;
};

const TFaxRunCodes& RunCodes(int colour) { return colour ? BlackCodes() : WhiteCodes(); }

void Encode1D(TBitWriter& out, const std::vector<int32_t>& changes, int width) {
  int previous = 0, colour = 0;
  for (size_t i = 0; changes[i] < width; ++i) {
    out.PutRun(RunCodes(colour), changes[i] - previous);
    previous = changes[i];
    colour ^= 1;
  }
  out.PutRun(RunCodes(colour), width - previous);
}

// The T.4 coding procedure, a0 starting on the imaginary white element before the row.
void Encode2D(TBitWriter& out, const std::vector<int32_t>& reference, const std::vector<int32_t>& current,
              int width) {
  int a0 = -1, colour = 0;
  size_t ci = 0, ri = 0;
  while (a0 < width) {
    while (current[ci] <= a0) ++ci;
    while (reference[ri] <= a0) ++ri;
    const size_t b = ri + ((int(ri) & 1) != colour);
    const int a1 = current[ci], b1 = reference[b], b2 = reference[b + 1];
    if (b2 < a1) {
      out.Put(kPassCode);
      a0 = b2;
    } else if (a1 - b1 >= -3 && a1 - b1 <= 3) {
      out.Put(kVerticalCodes[a1 - b1 + 3]);
      a0 = a1;
      colour ^= 1;
    } else {
      const int a2 = current[ci + 1];
      out.Put(kHorizontalCode);
      out.PutRun(RunCodes(colour), a1 - std::max(a0, 0));
      out.PutRun(RunCodes(colour ^ 1), a2 - a1);
      a0 = a2;
    }
  }
}

void ClearState(TFaxEncoderState& state) { state = TFaxEncoderState{}; }

// Writes the whole bytes coded so far.
void Deliver(TVLStream& stream, TVLProgressRecord& progress, TFaxEncoderState& state) {
  if (state.output.empty()) return;
  const int64_t size = int64_t(state.output.size());
  if (stream.Write(state.output.data(), size) != size) {
    progress.Fail("CCITT: the stream took fewer bytes than written");
    ClearState(state);
    return;
  }
  state.output.clear();
}

// The frame every encoder shares: nothing after a failure, the row's changing elements, the
// coding, the final call's tail, the bytes to the stream.
template <class CodeRow, class Finish>
void EncodeRow(const uint8_t* row, int width, TVLStream& stream, TVLProgressRecord& progress,
               TFaxEncoderState& state, CodeRow codeRow, Finish finish) {
  if (progress.Aborted() || width <= 0) return;
  {
    TBitWriter out(state);
    if (row) {
      if (state.reference.empty()) state.reference.assign(kSentinels, width);
      FindChanges(row, width, state.current);
      codeRow(out);
      state.reference.swap(state.current);
      state.firstRowDone = true;
    } else {
      finish(out);
      out.PadToByte();
    }
  }
  Deliver(stream, progress, state);
  if (!row && !progress.Aborted()) ClearState(state);
}

}  // namespace

void EncodeMhRow(const uint8_t* row, int width, TVLStream& stream, TVLProgressRecord& progress,
                 TFaxEncoderState& state) {
  EncodeRow(
      row, width, stream, progress, state,
      [&](TBitWriter& out) {
        Encode1D(out, state.current, width);
        out.PadToByte();
      },
      [](TBitWriter&) {});
}

// Every row follows an EOL: readers of Group 3 look for one before each row.
void EncodeT4Row(const uint8_t* row, int width, TVLStream& stream, TVLProgressRecord& progress,
                 TFaxEncoderState& state) {
  EncodeRow(
      row, width, stream, progress, state,
      [&](TBitWriter& out) {
        out.Put(kEolCode);
        Encode1D(out, state.current, width);
      },
      [](TBitWriter&) {});
}

void EncodeT4Row2D(const uint8_t* row, int width, TVLStream& stream, TVLProgressRecord& progress,
                   TFaxEncoderState& state) {
  EncodeRow(
      row, width, stream, progress, state,
      [&](TBitWriter& out) {
        out.Put(kEolCode);
        out.PutBit(state.firstRowDone ? 0 : 1);
        if (state.firstRowDone)
          Encode2D(out, state.reference, state.current, width);
        else
          Encode1D(out, state.current, width);
      },
      [](TBitWriter& out) { out.Put(kEolCode); });
}

void EncodeT6Row(const uint8_t* row, int width, TVLStream& stream, TVLProgressRecord& progress,
                 TFaxEncoderState& state) {
  EncodeRow(
      row, width, stream, progress, state,
      [&](TBitWriter& out) { Encode2D(out, state.reference, state.current, width); },
      [](TBitWriter& out) {
        out.Put(kEolCode);
        out.Put(kEolCode);
      });
}

}  // namespace velora
