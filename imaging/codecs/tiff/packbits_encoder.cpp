// A run of two or three bytes costs as much coded as a run as it does inside a literal
// group, and breaking a literal group for it costs one more count byte: only runs of four
// and more are worth a run code.
#include "packbits_encoder.h"

namespace velora {

namespace {

constexpr int kLongestGroup = 128;
constexpr int kShortestRun = 4;

void FlushLiterals(const uint8_t* start, int count, std::vector<uint8_t>& out) {
  if (count == 0) return;
  out.push_back(uint8_t(count - 1));
  out.insert(out.end(), start, start + count);
}

}  // namespace

void PackBitsEncodeRow(const uint8_t* row, int length, std::vector<uint8_t>& out) {
  int literalStart = 0, literalCount = 0;
  int i = 0;
  while (i < length) {
    int run = 1;
    while (i + run < length && run < kLongestGroup && row[i + run] == row[i]) ++run;
    if (run >= kShortestRun) {
      FlushLiterals(row + literalStart, literalCount, out);
      literalCount = 0;
      out.push_back(uint8_t(1 - run));  // -1 .. -127 as a signed byte
      out.push_back(row[i]);
      i += run;
      literalStart = i;
      continue;
    }
    for (int k = 0; k < run; ++k, ++i) {
      if (literalCount == 0) literalStart = i;
      if (++literalCount == kLongestGroup) {
        FlushLiterals(row + literalStart, literalCount, out);
        literalCount = 0;
      }
    }
  }
  FlushLiterals(row + literalStart, literalCount, out);
}

}  // namespace velora
