// velora resize IN OUT WIDTHxHEIGHT [--filter NAME]: load, resample to the given size, save.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "commands.h"
#include "image_job.h"
#include "io/image_limits.h"
#include "io/velora_io.h"
#include "proc/resample.h"
#include "proc/velora_proc.h"
#include "proc_args.h"

namespace velora::tool {

namespace {

constexpr const char* kResizeUsage =
    "usage: velora resize IN OUT WIDTHxHEIGHT [--filter NAME]\n"
    "  -1 for one side keeps the aspect ratio (200x-1)\n"
    "  NAME: none, triangle, hermite, bell, bspline, lanczos3 (default), mitchell, nearest, linear, fastlinear\n"
    "  1-bit images stay 1-bit with none and become grey with the other filters";

std::string SizeText(int64_t width, int64_t height) { return std::to_string(width) + "x" + std::to_string(height); }

}  // namespace

// "200x150", or −1 for one of the sides: "200x-1".
bool ParseSize(const std::string& text, int& width, int& height) {
  const size_t x = text.find_first_of("xX");
  if (x == std::string::npos || x == 0 || x + 1 >= text.size()) return false;
  auto number = [](const std::string& s, int& out) {
    if (s == "-1") return out = -1, true;
    if (s.empty() || s.find_first_not_of("0123456789") != std::string::npos || s.size() > 9) return false;
    out = std::atoi(s.c_str());
    return out > 0;
  };
  return number(text.substr(0, x), width) && number(text.substr(x + 1), height) && (width > 0 || height > 0);
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
  // The size is checked before anything is read when both sides are given, else once the
  // image's aspect is known.
  auto allowed = [&](int64_t w, int64_t h) {
    if (VLImageSizeAllowed(w, h)) return true;
    Complain("size " + SizeText(w, h) + " is over the pixel limit");
    return false;
  };
  if (width > 0 && height > 0 && !allowed(width, height)) return kExitUsage;
  const auto check = [&](const TBitmap& source) {
    int64_t w = 0, h = 0;
    VLResizedSize(source.Width(), source.Height(), width, height, w, h);
    return allowed(w, h) ? kExitOk : kExitUsage;
  };
  return TransformFile(rest[0], rest[1], check,
                       [&](TVeloraProc& proc) { return proc.ResizeImage(width, height, filter); });
}

}  // namespace velora::tool
