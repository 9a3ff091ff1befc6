// Placeholder until the codec lands: every call fails cleanly.
#include "pcx_codec.h"
namespace velora {
void PcxReadStream(TVLStream&, TBitmap*, TIOParamsVals&, bool, TVLProgressRecord& p, int64_t) { p.Abort(); }
void PcxWriteStream(TVLStream&, TBitmap&, TIOParamsVals&, TVLProgressRecord& p) { p.Abort(); }
void PcxReadFile(const std::string&, TBitmap*, TIOParamsVals&, TVLProgressRecord& p) { p.Abort(); }
}  // namespace velora
