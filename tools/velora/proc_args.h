// What the processing commands (adjust, histogram, fft) share: number lists on the command
// line and images taken as 24-bit, the only depth the processing routines work on.
#pragma once
#include <string>
#include <vector>

#include "bitmap/toolkit_bitmap.h"
#include "io/velora_io.h"

namespace velora::tool {

// `count` integers in lo..hi separated by `separator` ("20,10,-5"); false when malformed or
// out of range.
bool ParseIntList(const std::string& text, char separator, size_t count, int lo, int hi, std::vector<int>& out);
// Option args[i] as its name and value, given as "--name VALUE" (i is moved past the value)
// or "--name=VALUE"; false when the value is missing.
bool TakeOption(const std::vector<std::string>& args, size_t& i, std::string& name, std::string& value);
// True, after printing `usage` to standard output, when the arguments ask for --help.
bool WantsHelp(const std::vector<std::string>& args, const char* usage);
// LoadImage, then a 1-bit (or any other) image is expanded to 24 bits.
int LoadImage24(TVeloraIO& io, TBitmap& bitmap, const std::string& path);

}  // namespace velora::tool
