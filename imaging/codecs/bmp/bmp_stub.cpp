// Placeholder until the codec lands: every call fails cleanly.
#include "bmp_codec.h"
namespace velora {
void BmpReadStream(TVLStream&, TBitmap*, int64_t, bool, TVLProgressRecord& p, TIOParamsVals&) { p.Abort(); }
void BmpWriteStream(TVLStream&, TBitmap&, TIOParamsVals&, TVLProgressRecord& p) { p.Abort(); }
}  // namespace velora
