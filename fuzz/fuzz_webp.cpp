// libFuzzer target for the WebP reader (fuzz/photo_reader.h says what it runs).
#include "codecs/webp/webp_codec.h"
#include "photo_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return velora::fuzz::FuzzPhotoReader(data, size, velora::kWebpDescriptor);
}
