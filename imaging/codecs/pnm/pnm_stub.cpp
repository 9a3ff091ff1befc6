// Placeholder until the codec lands: every call fails cleanly.
#include "pnm_codec.h"
namespace velora {
bool IsPnmStream(TVLStream&) { return false; }
void PnmReadStream(TVLStream&, TBitmap*, TIOParamsVals&, bool, TVLProgressRecord& p) { p.Abort(); }
void PnmWriteStream(TVLStream&, TBitmap&, TIOParamsVals&, TVLProgressRecord& p) { p.Abort(); }
}  // namespace velora
