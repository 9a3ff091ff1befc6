// The 3 × 3 user filter as the effects dialog and the tool keep it: nine kernel weights and a
// divisor, the nine named presets, and the 43-byte filter file (extension "flt").
#pragma once
#include <array>
#include <cstdint>
#include <string>

namespace velora {

struct TVLUserFilter {
  // k[3 × row + column], rows from the top: k[3r + c] weights the pixel at row offset r − 1
  // and column offset c − 1.
  std::array<int32_t, 9> Kernel{0, 0, 0, 0, 1, 0, 0, 0, 0};
  int32_t Divisor = 0;  // 0 counts as 1
  friend bool operator==(const TVLUserFilter&, const TVLUserFilter&) = default;
};

struct TVLUserFilterPreset {
  const char* Caption;  // as the dialog lists it: "High Pass 1"
  const char* Name;     // as the tool takes it: "highpass1"
  TVLUserFilter Filter;
};

constexpr int kUserFilterPresetCount = 9;
// None, Blur, Edges, Emboss, High Pass 1..3, Low Pass 1..2, in the dialog's order.
const std::array<TVLUserFilterPreset, kUserFilterPresetCount>& VLUserFilterPresets();
// The preset of that tool name, nullptr for any other name.
const TVLUserFilterPreset* VLUserFilterPresetByName(const std::string& name);

constexpr int kUserFilterFileSize = 43;
// The file's bytes: 1, 3, 3, the nine weights and the divisor as 32-bit little-endian values.
std::array<uint8_t, kUserFilterFileSize> VLEncodeUserFilter(const TVLUserFilter& filter);
// False, `filter` untouched, unless `size` ≥ 43 and the bytes start 1, 3, 3.
bool VLDecodeUserFilter(const uint8_t* bytes, size_t size, TVLUserFilter& filter);

// Reading and writing the file. Both answer false, with a reason ("not a filter file", or the
// system's word for an open failure) and `filter` untouched, when they do not succeed.
bool VLReadUserFilterFile(const std::string& path, TVLUserFilter& filter, std::string* reason = nullptr);
bool VLWriteUserFilterFile(const std::string& path, const TVLUserFilter& filter, std::string* reason = nullptr);

}  // namespace velora
