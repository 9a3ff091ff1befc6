#include "isobmff_brands.h"

#include <algorithm>

namespace velora {

std::vector<std::string> VLFtypBrands(std::span<const uint8_t> lead) {
  std::vector<std::string> brands;
  if (lead.size() < 16 || !std::equal(lead.begin() + 4, lead.begin() + 8, "ftyp")) return brands;
  const size_t boxSize = size_t(lead[0]) << 24 | size_t(lead[1]) << 16 | size_t(lead[2]) << 8 | lead[3];
  if (boxSize < 16) return brands;
  const size_t end = std::min(boxSize, lead.size());
  auto brandAt = [&](size_t at) { return std::string(reinterpret_cast<const char*>(lead.data()) + at, 4); };
  brands.push_back(brandAt(8));  // major; the minor version follows it
  for (size_t at = 16; at + 4 <= end; at += 4) brands.push_back(brandAt(at));
  return brands;
}

bool VLHasBrand(const std::vector<std::string>& brands, std::initializer_list<const char*> wanted) {
  for (const std::string& b : brands)
    for (const char* w : wanted)
      if (b == w) return true;
  return false;
}

}  // namespace velora

namespace velora {

bool VLProbeFtyp(TVLStream& stream, int64_t size, bool (*probe)(std::span<const uint8_t> lead)) {
  uint8_t lead[kFtypProbeBytes];
  const int64_t n = stream.Read(lead, std::min<int64_t>(size, int64_t(sizeof lead)));
  return probe({lead, size_t(std::max<int64_t>(n, 0))});
}

}  // namespace velora
