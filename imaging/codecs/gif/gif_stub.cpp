// Placeholder until the codec lands: every call fails cleanly.
#include "gif_codec.h"
namespace velora {
void GifReadStream(TVLStream&, TBitmap*, int& n, TVLMask*, bool, TVLProgressRecord& p, TIOParamsVals&) { n = 0; p.Abort(); }
void GifWriteStream(TVLStream&, TBitmap&, TIOParamsVals&, TVLProgressRecord& p) { p.Abort(); }
void GifReadFile(const std::string&, TBitmap*, int& n, TVLMask*, TVLProgressRecord& p, TIOParamsVals&) { n = 0; p.Abort(); }
void GifWriteFile(const std::string&, TBitmap&, TIOParamsVals&, TVLProgressRecord& p) { p.Abort(); }
void GifLzwDecode(TVLStream&, int, int, uint8_t*, bool) {}
void GifLzwEncode(TVLStream&, int, int, int, const uint8_t*, bool) {}
}  // namespace velora
