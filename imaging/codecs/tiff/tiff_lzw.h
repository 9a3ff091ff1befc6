// The LZW coder of TIFF (Compression 5): codes packed most significant bit first, the code
// width growing one code early (the decoder also takes the old form of early writers), Clear 256, EndOfInformation 257. Programs install the two
// routines into the TIFF slots of io_params.h; the TIFF reader and writer reach them only
// through those slots.
#pragma once
#include <cstdint>

#include "base/vl_stream.h"

namespace velora {

// One row per call. *state is nullptr before the first call of a strip (the call then takes
// data and dataLength as the strip); later calls continue it; data nullptr releases the state
// and returns nullptr. Returns rowLength decoded bytes, or nullptr when the row cannot be
// completed: a decoding error, or EndOfInformation or the end of the strip before the row is
// full. The row is the caller's until the next call, to read or change. Strips in the old
// form (codes least significant bit first, widening without the early change) are decoded too.
uint8_t* TiffLzwDecode(const uint8_t* data, int64_t dataLength, int rowLength, void** state);

// *state nullptr starts an image (a Clear code first); later calls continue it; data nullptr
// finishes it (pending prefix, EndOfInformation, last bits) and releases the state. A stream
// that takes fewer bytes than written releases the state (*state becomes nullptr) and throws
// EVLStreamError, which the writer turns into Aborting.
void TiffLzwEncode(const uint8_t* data, int length, TVLStream& stream, void** state);

namespace tifflzw {
constexpr int kClear = 256;
constexpr int kEndOfInformation = 257;
constexpr int kFirstFree = 258;
constexpr int kMaxBits = 12;
constexpr int kTableSize = 1 << kMaxBits;
}  // namespace tifflzw

}  // namespace velora
