// velora rotate and velora flip: the processing component's rotation and mirroring on a file.
// 1-bit images stay 1-bit, as the component keeps them; other depths are taken as 24 bits.
#include <string>
#include <vector>

#include "commands.h"
#include "image_job.h"
#include "proc/flip_turn.h"
#include "proc/rotate.h"
#include "proc/velora_proc.h"
#include "proc_args.h"

namespace velora::tool {

namespace {

constexpr const char* kRotateUsage =
    "usage: velora rotate IN OUT ANGLE [--no-antialias] [--background R,G,B]\n"
    "  ANGLE in degrees, counter-clockwise positive (rotate 90 is ImageMagick's -rotate -90);\n"
    "  the corners take the background colour (default black; a 1-bit image fills with white\n"
    "  for any colour but black)";

constexpr const char* kFlipUsage =
    "usage: velora flip IN OUT horizontal|vertical\n"
    "  horizontal mirrors left-right (ImageMagick's -flop), vertical turns upside down (-flip)";

}  // namespace

int CmdRotate(const std::vector<std::string>& args) {
  if (WantsHelp(args, kRotateUsage)) return kExitOk;
  std::vector<std::string> rest;
  bool antialias = true;
  TColor background = clBlack;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string option = args[i];
    std::string name, value;
    std::vector<int> v;
    if (option == "--no-antialias") {
      antialias = false;
    } else if (option.rfind("--", 0) != 0) {
      rest.push_back(option);
    } else if (TakeOption(args, i, name, value) && name == "--background" && ParseIntList(value, ',', 3, 0, 255, v)) {
      background = TColor(v[0] | v[1] << 8 | v[2] << 16);
    } else {
      Complain("bad option '" + option + "'\n" + kRotateUsage);
      return kExitUsage;
    }
  }
  double angle = 0, reduced = 0;
  if (rest.size() != 3 || !ParseNumber(rest[2], angle) || !VLReduceAngle(angle, reduced)) {
    Complain(kRotateUsage);
    return kExitUsage;
  }
  return TransformFile(rest[0], rest[1], {}, [&](TVeloraProc& proc) {
    proc.SetBackground(background);
    return proc.RotateImage(antialias, angle);
  });
}

int CmdFlip(const std::vector<std::string>& args) {
  if (WantsHelp(args, kFlipUsage)) return kExitOk;
  if (args.size() != 3 || (args[2] != "horizontal" && args[2] != "vertical")) {
    Complain(kFlipUsage);
    return kExitUsage;
  }
  const int direction = args[2] == "horizontal" ? fdHorizontal : fdVertical;
  return TransformFile(args[0], args[1], {}, [&](TVeloraProc& proc) { return proc.FlipImage(direction); });
}

}  // namespace velora::tool
