// Stand-ins for the IPTC coder of the metadata lists while it is being written: weak, so the
// real definitions replace them as soon as they are linked. Delete this file when they land.
#include "bitmap/vl_metadata.h"

namespace velora {

[[gnu::weak]] void TVLIPTCInfoList::ParseIPTC(const uint8_t*, int64_t) { Modified = false; }

[[gnu::weak]] std::vector<uint8_t> TVLIPTCInfoList::BuildIPTC() const { return {}; }

}  // namespace velora
