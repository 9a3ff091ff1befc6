// Fuzz target: the tga reader over arbitrary bytes (recognition, header-only, full read).
#include "codecs/tga/tga_codec.h"
#include "fuzz_reader.h"

using namespace velora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return fuzz::FuzzReader(
      data, size, [](TVLStream& s) { IsTgaStream(s); },
      [](TVLStream& s, TIOParamsVals& params, TVLProgressRecord& progress) {
        TgaReadStream(s, nullptr, params, true, progress);
      },
      [](TVLStream& s, TBitmap& bitmap, TIOParamsVals& params, TVLProgressRecord& progress) {
        TgaReadStream(s, &bitmap, params, false, progress);
      });
}
