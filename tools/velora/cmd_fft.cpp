// velora fft IN OUT [--gray] [--clear X0,Y0,X1,Y1]... [--inverse]: the frequency-domain image
// of a file, as the preview dialog's FFT page shows it: the spectrum (N × N, the zero
// frequency at (N/2, N/2)) or, with --inverse, the image transformed back after the clears.
#include <string>
#include <vector>

#include "commands.h"
#include "image_job.h"
#include "io/image_limits.h"
#include "proc/ft_image.h"
#include "proc_args.h"

namespace velora::tool {

namespace {

constexpr const char* kFftUsage =
    "usage: velora fft IN OUT [--gray] [--clear X0,Y0,X1,Y1]... [--inverse]\n"
    "  --clear zeroes a rectangle of frequencies (square coordinates, ends included)";

struct TClear {
  int x0, y0, x1, y1;
};

}  // namespace

int CmdFft(const std::vector<std::string>& args) {
  if (WantsHelp(args, kFftUsage)) return kExitOk;
  std::vector<std::string> files;
  std::vector<TClear> clears;
  bool gray = false, inverse = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string option = args[i];
    std::string name, value;
    std::vector<int> v;
    if (args[i] == "--gray") {
      gray = true;
    } else if (args[i] == "--inverse") {
      inverse = true;
    } else if (args[i].rfind("--", 0) != 0) {
      files.push_back(args[i]);
    } else if (TakeOption(args, i, name, value) && name == "--clear" &&
               ParseIntList(value, ',', 4, 0, 1 << 30, v)) {
      clears.push_back({v[0], v[1], v[2], v[3]});
    } else {
      Complain("bad option '" + option + "'\n" + kFftUsage);
      return kExitUsage;
    }
  }
  if (files.size() != 2) {
    Complain(kFftUsage);
    return kExitUsage;
  }
  TBitmap bitmap;
  TVeloraIO io;
  if (const int status = LoadImage24(io, bitmap, files[0]); status != kExitOk) return status;
  TVLFtImage ft;
  ft.MaxPixels = VLMaxPixels();
  ft.BuildFromBitmap(bitmap, gray ? TVLFtImage::kModeGray : TVLFtImage::kModeColour);
  if (ft.Mode == TVLFtImage::kModeEmpty) {
    int n = 1;
    while (n < std::max(bitmap.Width(), bitmap.Height())) n <<= 1;
    Complain("cannot transform " + files[0] + ": the " + std::to_string(n) + " x " + std::to_string(n) +
             " square is over the pixel limit or does not fit in memory");
    return kExitImageFailed;
  }
  for (const TClear& c : clears) ft.ClearRegion(c.x0, c.y0, c.x1, c.y1);
  TBitmap out;
  if (inverse)
    ft.WriteInverse(out);
  else
    ft.WriteSpectrum(out);
  if (out.Empty()) {
    Complain("not enough memory to write the transform of " + files[0]);
    return kExitImageFailed;
  }
  return SaveImage(io, out, files[1]);
}

}  // namespace velora::tool
