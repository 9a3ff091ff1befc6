// velora resize IN OUT WIDTHxHEIGHT [--filter NAME]: load, resample to the given size, save.
#include <cstdlib>
#include <exception>
#include <string>

#include "bitmap/vl_mask.h"
#include "commands.h"
#include "image_job.h"
#include "io/image_limits.h"
#include "io/velora_io.h"
#include "proc/resample.h"

namespace velora::tool {

namespace {

constexpr const char* kResizeUsage =
    "usage: velora resize IN OUT WIDTHxHEIGHT [--filter NAME]\n"
    "  NAME: none, triangle, hermite, bell, bspline, lanczos3 (default), mitchell, nearest, linear, fastlinear";

}  // namespace

bool ParseSize(const std::string& text, int& width, int& height) {
  const size_t x = text.find_first_of("xX");
  if (x == std::string::npos || x == 0 || x + 1 >= text.size()) return false;
  auto number = [](const std::string& s, int& out) {
    if (s.empty() || s.find_first_not_of("0123456789") != std::string::npos || s.size() > 9) return false;
    out = std::atoi(s.c_str());
    return out > 0;
  };
  return number(text.substr(0, x), width) && number(text.substr(x + 1), height);
}

// Resamples `source` into `dest` of width × height as the processing resize does: 1-bit images
// keep 1 bit unfiltered, become grey through the 1-bit resampler otherwise.
void ResizeInto(const TBitmap& source, TBitmap& dest, int width, int height, TResampleFilter filter) {
  dest.Reset(width, height, source.BitCount() == 1 && filter == rfNone ? TPixelFormat::pf1bit : TPixelFormat::pf24bit);
  if (filter == rfNone)
    StretchBitmap(source, dest);
  else if (source.BitCount() == 1)
    ResampleBitmap1Bit(source, dest, filter);
  else
    ResampleBitmap(source, dest, filter);
}

int CmdResize(const std::vector<std::string>& args) {
  std::vector<std::string> rest;
  TResampleFilter filter = rfLanczos3;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--filter" || args[i].rfind("--filter=", 0) == 0) {
      std::string name;
      if (args[i] == "--filter") {
        if (i + 1 >= args.size()) return Complain(kResizeUsage), kExitUsage;
        name = args[++i];
      } else {
        name = args[i].substr(9);
      }
      if (!ResampleFilterByName(name, filter)) {
        Complain("unknown filter '" + name + "'\n" + kResizeUsage);
        return kExitUsage;
      }
    } else {
      rest.push_back(args[i]);
    }
  }
  int width = 0, height = 0;
  if (rest.size() != 3 || !ParseSize(rest[2], width, height)) {
    Complain(kResizeUsage);
    return kExitUsage;
  }
  if (!VLImageSizeAllowed(width, height)) {
    Complain("size " + rest[2] + " is over the pixel limit");
    return kExitUsage;
  }

  TBitmap source;
  TVeloraIO io;
  int status = LoadImage(io, source, rest[0]);
  if (status != kExitOk) return status;
  TBitmap dest;
  try {
    ResizeInto(source, dest, width, height, filter);
  } catch (const std::bad_alloc&) {
    Complain("not enough memory for " + rest[2]);
    return kExitImageFailed;
  }
  return SaveImage(io, dest, rest[1]);
}

}  // namespace velora::tool
