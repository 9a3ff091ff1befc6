// PackBits (TIFF compression 32773) coding of one row: runs of four or more equal bytes
// become a count and the byte, everything else goes out as literal groups.
#pragma once
#include <cstdint>
#include <vector>

namespace velora {

// Appends the coded form of the `length` bytes at row to out.
void PackBitsEncodeRow(const uint8_t* row, int length, std::vector<uint8_t>& out);

}  // namespace velora
