// What the processing commands (adjust, histogram, fft) share: number lists on the command
// line and images taken as 24-bit, the only depth the processing routines work on.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "bitmap/toolkit_bitmap.h"
#include "io/velora_io.h"
#include "proc/velora_proc.h"

namespace velora::tool {

// `count` integers in lo..hi separated by `separator` ("20,10,-5"); false when malformed or
// out of range.
bool ParseIntList(const std::string& text, char separator, size_t count, int lo, int hi, std::vector<int>& out);
// Option args[i] as its name and value, given as "--name VALUE" (i is moved past the value)
// or "--name=VALUE"; false when the value is missing.
bool TakeOption(const std::vector<std::string>& args, size_t& i, std::string& name, std::string& value);
// True, after printing `usage` to standard output, when the arguments ask for --help.
bool WantsHelp(const std::vector<std::string>& args, const char* usage);
// LoadImage, then a 1-bit (or any other) image is expanded to 24 bits; with `keepOneBit` a
// 1-bit image stays as it is, for the operations that work on 1 bit too (flip, rotate, resize).
int LoadImage24(TVeloraIO& io, TBitmap& bitmap, const std::string& path, bool keepOneBit = false);
// Loads `in` (1-bit kept), runs `operation` on a processing component attached to it without
// undo, and saves `out`. `check` (may be empty) looks at the loaded image first and answers an
// exit status; an operation that answers false left the image as it was for want of memory.
using TCheck = std::function<int(const TBitmap&)>;
int TransformFile(const std::string& in, const std::string& out, const TCheck& check,
                  const std::function<bool(TVeloraProc&)>& operation);
// A decimal number ("30", "-0.5", "1e3"); false when malformed or not finite.
bool ParseNumber(const std::string& text, double& out);

}  // namespace velora::tool
