// The CCITT fax coder of TIFF compressions 2 (modified Huffman), 3 (Group 3, one- or
// two-dimensional) and 4 (Group 4), called directly by the TIFF reader and writer.
//
// Decoded rows hold one bit per pixel, most significant bit first, 1 white and 0 black; the
// rows given to the encoders use the opposite convention, 0 white and 1 black, as the writer's
// inverted bitmap has them. Every decoder is bounded by the data size: a row that reaches the
// end of the data ends there, its remaining pixels white, and *cut is set when given.
#pragma once
#include <cstdint>
#include <vector>

#include "base/progress.h"
#include "base/vl_stream.h"

namespace velora {

// The reference line of two-dimensional decoding: the previous row of the strip, kept as its
// changing elements (the pixel positions where the colour changes, the first to black), which
// is what the decoder looks b1 and b2 up in. Reset makes it the all-white line a strip starts
// with; each two-dimensional row leaves its own changing elements here.
class TFaxReferenceLine {
 public:
  void Reset(int width);
  const std::vector<int32_t>& Changes() const { return changes_; }

 private:
  friend struct TFaxLineAccess;
  std::vector<int32_t> changes_;  // ends with the width repeated, so b1 and b2 always exist
  std::vector<int32_t> spare_;
};

// One byte-aligned modified-Huffman row from the start of data; returns the whole bytes used.
int64_t DecodeMhRow(uint8_t* row, const uint8_t* data, int64_t dataSize, int width, int fillOrder,
                    bool* cut = nullptr);
// One one-dimensional Group 3 row from bitPosition; returns the new bit position.
int64_t DecodeT4Row(uint8_t* row, const uint8_t* data, int64_t dataSize, int width, int fillOrder,
                    int64_t bitPosition, bool* cut = nullptr);
// One row of Group 3 with the two-dimensional option, or of Group 4; returns the new bit
// position. fillBits: EOLs may be preceded by fill (T4Options bit 2). Group 4 has no EOL but
// the end-of-block mark (two of them): given endOfBlock, an EOL at the row's start is that
// mark, the row is white and *endOfBlock is set.
int64_t DecodeT4T6Row2D(uint8_t* row, const uint8_t* data, int64_t dataSize, bool fillBits, int fillOrder,
                        int64_t bitPosition, TFaxReferenceLine& referenceLine, int width, bool* cut = nullptr,
                        bool* endOfBlock = nullptr);

// What an encoder keeps between the rows of a strip: the bits not yet making a whole byte,
// and the previous row for the two-dimensional codings. A new state (or one after a final
// call) starts a strip.
struct TFaxEncoderState {
  uint32_t pendingBits = 0;
  int pendingCount = 0;
  bool firstRowDone = false;
  std::vector<int32_t> reference;  // the previous row's changing elements
  std::vector<int32_t> current;
  std::vector<uint8_t> output;
};

// Each codes one row (row nullptr: the final call of the strip, which writes what is pending
// and clears the state) and writes the whole bytes to the stream. A stream that takes fewer
// bytes sets Aborting (with a reason) and clears the state; calls after that write nothing.
void EncodeMhRow(const uint8_t* row, int width, TVLStream& stream, TVLProgressRecord& progress,
                 TFaxEncoderState& state);
void EncodeT4Row(const uint8_t* row, int width, TVLStream& stream, TVLProgressRecord& progress,
                 TFaxEncoderState& state);
void EncodeT4Row2D(const uint8_t* row, int width, TVLStream& stream, TVLProgressRecord& progress,
                   TFaxEncoderState& state);
void EncodeT6Row(const uint8_t* row, int width, TVLStream& stream, TVLProgressRecord& progress,
                 TFaxEncoderState& state);

}  // namespace velora
