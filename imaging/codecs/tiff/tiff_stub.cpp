// TIFF arrives with its coders in the next round; until then reading and writing fail cleanly.
#include "tiff_codec.h"
namespace velora {
void TiffReadStream(TVLStream&, TBitmap*, TIOParamsVals&, TVLMask*, bool, TVLProgressRecord& p) { p.Abort(); }
void TiffWriteStream(TVLStream&, TBitmap&, TIOParamsVals&, TVLProgressRecord& p) { p.Abort(); }
}  // namespace velora
