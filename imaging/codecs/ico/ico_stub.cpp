// Placeholder until the codec lands: every call fails cleanly.
#include "ico_codec.h"
namespace velora {
bool IsIcoStream(TVLStream&) { return false; }
bool IsCurStream(TVLStream&) { return false; }
void IcoReadStream(TVLStream&, TBitmap*, TIOParamsVals&, TVLMask*, TVLProgressRecord& p, bool) { p.Abort(); }
void CurReadStream(TVLStream&, TBitmap*, TIOParamsVals&, TVLMask*, TVLProgressRecord& p, bool) { p.Abort(); }
}  // namespace velora
