// Placeholder until the codec lands: every call fails cleanly.
#include "png_codec.h"
namespace velora {
bool IsPngStream(TVLStream&) { return false; }
void PngReadStream(TVLStream&, TBitmap*, TIOParamsVals&, TVLMask*, bool, TVLProgressRecord& p) { p.Abort(); }
void PngWriteStream(TVLStream&, TBitmap&, TIOParamsVals&, TVLMask*, TVLProgressRecord& p) { p.Abort(); }
}  // namespace velora
