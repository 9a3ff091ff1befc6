#include "proc_args.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <iostream>

#include "commands.h"
#include "image_job.h"
#include "proc/pixel_formats.h"

namespace velora::tool {

bool ParseIntList(const std::string& text, char separator, size_t count, int lo, int hi, std::vector<int>& out) {
  out.clear();
  size_t start = 0;
  while (true) {
    const size_t end = text.find(separator, start);
    const std::string item = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (item.empty() || item.size() > 12) return false;
    char* stop = nullptr;
    errno = 0;
    const long v = std::strtol(item.c_str(), &stop, 10);
    if (*stop != '\0' || errno != 0 || v < lo || v > hi || std::isspace((unsigned char)item[0])) return false;
    out.push_back(int(v));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return out.size() == count;
}

bool TakeOption(const std::vector<std::string>& args, size_t& i, std::string& name, std::string& value) {
  const size_t eq = args[i].find('=');
  if (eq != std::string::npos) {
    name = args[i].substr(0, eq);
    value = args[i].substr(eq + 1);
    return true;
  }
  name = args[i];
  if (i + 1 >= args.size()) return false;
  value = args[++i];
  return true;
}

bool WantsHelp(const std::vector<std::string>& args, const char* usage) {
  for (const std::string& a : args)
    if (a == "--help" || a == "-h") {
      std::cout << usage << "\n";
      return true;
    }
  return false;
}

bool ParseNumber(const std::string& text, double& out) {
  if (text.empty() || std::isspace((unsigned char)text[0])) return false;
  char* stop = nullptr;
  out = std::strtod(text.c_str(), &stop);
  return *stop == '\0' && std::isfinite(out);
}

int LoadImage24(TVeloraIO& io, TBitmap& bitmap, const std::string& path, bool keepOneBit) {
  const int status = LoadImage(io, bitmap, path);
  if (status != kExitOk) return status;
  try {
    if (bitmap.PixelFormat() == TPixelFormat::pf1bit) {
      if (keepOneBit) return kExitOk;
      TBitmap expanded;
      ExpandMonoTo24(bitmap, expanded);
      bitmap.Assign(expanded);
    } else if (bitmap.PixelFormat() != TPixelFormat::pf24bit) {
      ConvertTo24Bit(bitmap);
    }
  } catch (const std::bad_alloc&) {
    Complain("not enough memory for a 24-bit copy of " + path);
    return kExitImageFailed;
  }
  return kExitOk;
}

}  // namespace velora::tool

namespace velora::tool {

int TransformFile(const std::string& in, const std::string& out, const TCheck& check,
                  const std::function<bool(TVeloraProc&)>& operation) {
  TBitmap bitmap;
  TVeloraIO io;
  if (const int status = LoadImage24(io, bitmap, in, true); status != kExitOk) return status;
  if (check)
    if (const int status = check(bitmap); status != kExitOk) return status;
  TVeloraProc proc;
  proc.AutoUndo = false;
  proc.AttachBitmap(&bitmap);
  if (!operation(proc)) {
    Complain("not enough memory to transform " + in);
    return kExitImageFailed;
  }
  return SaveImage(io, bitmap, out);
}

}  // namespace velora::tool
