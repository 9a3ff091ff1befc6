// Fuzz target: the EMF player over arbitrary bytes (header-only read, probe, drawing).
#include "fuzz_metafile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return velora::fuzz::FuzzMetafile(data, size); }
