// libFuzzer target for the AVIF reader (fuzz/photo_reader.h says what it runs).
#include "codecs/avif/avif_codec.h"
#include "photo_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return velora::fuzz::FuzzPhotoReader(data, size, velora::kAvifDescriptor);
}
