// Placeholder until the codec lands: every call fails cleanly.
#include "tga_codec.h"
namespace velora {
bool IsTgaStream(TVLStream&) { return false; }
void TgaReadStream(TVLStream&, TBitmap*, TIOParamsVals&, bool, TVLProgressRecord& p) { p.Abort(); }
void TgaWriteStream(TVLStream&, TBitmap&, TIOParamsVals&, TVLProgressRecord& p) { p.Abort(); }
}  // namespace velora
