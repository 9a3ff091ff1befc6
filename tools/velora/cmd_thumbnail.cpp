// velora thumbnail [--size N] [--format EXT] IN... --out DIR: what the multi-view does for one
// entry in thumbnail mode, written to DIR/<source name>.<EXT>.
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <string>

#include "commands.h"
#include "image_job.h"
#include "io/image_limits.h"
#include "io/velora_io.h"
#include "proc/resample.h"

namespace velora::tool {

namespace {

constexpr const char* kThumbUsage = "usage: velora thumbnail [--size N] [--format EXT] IN... --out DIR";

// Thumbnail size of a w × h image in an n × n box: the aspect kept, each side at least 1
// (small images are enlarged).
void FitInBox(int w, int h, int n, int& tw, int& th) {
  const double s = std::min(double(n) / h, double(n) / w);
  tw = std::max(int(w * s), 1);
  th = std::max(int(h * s), 1);
}

std::string BaseName(const std::string& path) {
  std::string name = path.substr(path.find_last_of('/') == std::string::npos ? 0 : path.find_last_of('/') + 1);
  const size_t dot = name.find_last_of('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

int MakeThumbnail(const std::string& in, const std::string& out, int size) {
  TBitmap source;
  TVeloraIO io;
  // A JPEG is decoded at the smallest scale that still covers the box.
  io.Params().JpegScale = 0;
  io.Params().Width = size;
  io.Params().Height = size;
  int status = LoadImage(io, source, in);
  if (status != kExitOk) return status;
  int tw = 0, th = 0;
  FitInBox(source.Width(), source.Height(), size, tw, th);
  TBitmap thumb;
  try {
    thumb.Reset(tw, th, TPixelFormat::pf24bit);
    if (source.BitCount() == 1)
      ReduceBitmap1Bit(source, TRect{0, 0, source.Width(), source.Height()}, thumb);
    else
      ResampleBitmap(source, thumb, rfFastLinear);
  } catch (const std::bad_alloc&) {
    Complain("not enough memory for the thumbnail of " + in);
    return kExitImageFailed;
  }
  return SaveImage(io, thumb, out);
}

}  // namespace

int CmdThumbnail(const std::vector<std::string>& args) {
  int size = 100;
  std::string format = "png", outDir;
  std::vector<std::string> inputs;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& v) {
      if (i + 1 >= args.size()) return false;
      v = args[++i];
      return true;
    };
    std::string v;
    if (a == "--size") {
      if (!value(v) || v.empty() || v.size() > 6 || v.find_first_not_of("0123456789") != std::string::npos ||
          (size = std::atoi(v.c_str())) <= 0) {
        Complain("--size wants a positive number\n" + std::string(kThumbUsage));
        return kExitUsage;
      }
    } else if (a == "--format") {
      if (!value(format) || format.empty()) return Complain(kThumbUsage), kExitUsage;
      if (format[0] == '.') format.erase(0, 1);
    } else if (a == "--out") {
      if (!value(outDir) || outDir.empty()) return Complain(kThumbUsage), kExitUsage;
    } else if (a.rfind("--", 0) == 0) {
      Complain("unknown option " + a + "\n" + kThumbUsage);
      return kExitUsage;
    } else {
      inputs.push_back(a);
    }
  }
  if (inputs.empty() || outDir.empty()) {
    Complain(kThumbUsage);
    return kExitUsage;
  }
  struct stat st {};
  if (::stat(outDir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    Complain("cannot write into " + outDir + ": not a folder");
    return kExitCannotOpen;
  }
  // Every input is tried; the status is that of the first failure.
  int status = kExitOk;
  for (const std::string& in : inputs) {
    const int s = MakeThumbnail(in, outDir + "/" + BaseName(in) + "." + format, size);
    if (status == kExitOk) status = s;
  }
  return status;
}

}  // namespace velora::tool
