// The brands of an ISO base media file (HEIF, AVIF): its leading "ftyp" box names a major
// brand and the compatible ones, which say what the file holds.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/vl_stream.h"

namespace velora {

// The most of the file the brand tests look at.
constexpr size_t kFtypProbeBytes = 64;

// The brands in the "ftyp" box at the start of lead (as much of it as lead holds); empty
// when lead does not start with one.
std::vector<std::string> VLFtypBrands(std::span<const uint8_t> lead);
bool VLHasBrand(const std::vector<std::string>& brands, std::initializer_list<const char*> wanted);
// A content test over the first kFtypProbeBytes at the stream's position (size: the stream's).
bool VLProbeFtyp(TVLStream& stream, int64_t size, bool (*probe)(std::span<const uint8_t> lead));

}  // namespace velora
