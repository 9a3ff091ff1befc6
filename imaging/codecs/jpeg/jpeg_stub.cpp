// Placeholder until the codec lands: every call fails cleanly.
#include "jpeg_codec.h"
namespace velora {
int64_t FindJpegStart(TVLStream&) { return -1; }
void JpegReadStream(TVLStream&, TBitmap*, TIOParamsVals&, bool, TVLProgressRecord& p) { p.Abort(); }
void JpegWriteStream(TVLStream&, TBitmap&, TIOParamsVals&, TVLProgressRecord& p) { p.Abort(); }
}  // namespace velora
