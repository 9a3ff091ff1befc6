// Run-length coding of one row of palette indices (one index per byte), shared by RLE8 and
// RLE4; every coded row ends with the end-of-line record 0, 0.
#pragma once
#include <cstdint>
#include <vector>

namespace velora::bmp {

void EncodeRleRow(const uint8_t* indices, int count, bool rle4, std::vector<uint8_t>& out);

}  // namespace velora::bmp
