// IPTC records of a JPEG APP13 payload: parse anything, then what was read must survive a
// write and a second read unchanged.
#include <cstdint>
#include <cstdlib>

#include "bitmap/vl_metadata.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 20)) return 0;
  velora::TVLIPTCInfoList list;
  list.ParseIPTC(data, int64_t(size));
  std::vector<uint8_t> payload = list.BuildIPTC();
  velora::TVLIPTCInfoList again;
  again.ParseIPTC(payload.data(), int64_t(payload.size()));
  int expected = 0;
  for (int i = 0; i < list.Count(); ++i) expected += !(list.Item(i).Record == 2 && list.Item(i).Dataset == 0);
  if (again.Count() != expected) std::abort();
  return 0;
}
