// velora adjust IN OUT OP...: the colour adjustments of the processing library on a file, in
// the order given, each on the previous one's result.
#include <functional>
#include <string>
#include <vector>

#include "commands.h"
#include "image_job.h"
#include "proc/color_adjust.h"
#include "proc_args.h"

namespace velora::tool {

namespace {

constexpr const char* kAdjustUsage =
    "usage: velora adjust IN OUT OP... [--rect X0,Y0,X1,Y1]\n"
    "  OP: --contrast C, --brightness B (-100..100), --rgb R,G,B (-255..255 each),\n"
    "      --hsv H,S,V, --hsl H,S,L (H -180..180, S, V, L -100..100),\n"
    "      --threshold LOW,HIGH, --levels LOW,HIGH (a level 0..255, or R:G:B), --equalize\n"
    "  The operations run in the order given; --rect limits them all (right and bottom ends excluded).";

struct TRect {
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};
using TAdjustStep = std::function<void(TBitmap&, const TRect&)>;

// A level for all three channels ("128") or one per channel ("R:G:B").
bool ParseLevel(const std::string& text, TRGB& colour) {
  std::vector<int> v;
  if (ParseIntList(text, ':', 1, 0, 255, v)) {
    colour = MakeRGB(uint8_t(v[0]), uint8_t(v[0]), uint8_t(v[0]));
    return true;
  }
  if (!ParseIntList(text, ':', 3, 0, 255, v)) return false;
  colour = MakeRGB(uint8_t(v[0]), uint8_t(v[1]), uint8_t(v[2]));
  return true;
}

bool ParseLevelPair(const std::string& text, TRGB& low, TRGB& high) {
  const size_t comma = text.find(',');
  return comma != std::string::npos && ParseLevel(text.substr(0, comma), low) &&
         ParseLevel(text.substr(comma + 1), high);
}

// Turns option args[i] (with its value) into a step; false for a malformed or unknown option.
bool ParseStep(const std::vector<std::string>& args, size_t& i, std::vector<TAdjustStep>& steps, TRect& rect,
               bool& rectGiven) {
  if (args[i] == "--equalize") {
    steps.push_back([](TBitmap& b, const TRect& r) { EqualizeHistogram(b, r.x0, r.y0, r.x1, r.y1); });
    return true;
  }
  std::string name, value;
  if (!TakeOption(args, i, name, value)) return false;
  std::vector<int> v;
  if (name == "--contrast" || name == "--brightness") {
    if (!ParseIntList(value, ',', 1, -100, 100, v)) return false;
    const int c = v[0];
    if (name == "--brightness")
      steps.push_back([c](TBitmap& b, const TRect& r) { ShiftRGB(b, r.x0, r.y0, r.x1, r.y1, c, c, c); });
    else
      steps.push_back([c](TBitmap& b, const TRect& r) {
        // The means of the image as this step gets it.
        int mr, mg, mb;
        ChannelMeans(b, 0, 0, b.Width(), b.Height(), mr, mg, mb);
        AdjustContrast(b, r.x0, r.y0, r.x1, r.y1, c, mr, mg, mb);
      });
  } else if (name == "--rgb") {
    if (!ParseIntList(value, ',', 3, -255, 255, v)) return false;
    steps.push_back([v](TBitmap& b, const TRect& r) { ShiftRGB(b, r.x0, r.y0, r.x1, r.y1, v[0], v[1], v[2]); });
  } else if (name == "--hsv" || name == "--hsl") {
    if (!ParseIntList(value, ',', 3, -180, 180, v) || v[1] < -100 || v[1] > 100 || v[2] < -100 || v[2] > 100)
      return false;
    const auto adjust = name == "--hsv" ? AdjustHSV : AdjustHSL;
    steps.push_back([v, adjust](TBitmap& b, const TRect& r) {
      adjust(b, r.x0, r.y0, r.x1, r.y1, v[0], v[1], v[2], nullptr);
    });
  } else if (name == "--threshold" || name == "--levels") {
    TRGB low, high;
    if (!ParseLevelPair(value, low, high)) return false;
    if (name == "--threshold")
      steps.push_back([=](TBitmap& b, const TRect& r) {
        ApplyThreshold(b, r.x0, r.y0, r.x1, r.y1, low, high, MakeRGB(0, 0, 0), MakeRGB(255, 255, 255));
      });
    else
      steps.push_back([=](TBitmap& b, const TRect& r) { StretchLevels(b, r.x0, r.y0, r.x1, r.y1, low, high); });
  } else if (name == "--rect") {
    if (!ParseIntList(value, ',', 4, 0, 1 << 30, v)) return false;
    rect = {v[0], v[1], v[2], v[3]};
    rectGiven = true;
  } else {
    return false;
  }
  return true;
}

}  // namespace

int CmdAdjust(const std::vector<std::string>& args) {
  if (WantsHelp(args, kAdjustUsage)) return kExitOk;
  std::vector<std::string> files;
  std::vector<TAdjustStep> steps;
  TRect rect;
  bool rectGiven = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string option = args[i];
    if (option.rfind("--", 0) != 0) {
      files.push_back(option);
    } else if (!ParseStep(args, i, steps, rect, rectGiven)) {
      Complain("bad option '" + option + "'\n" + kAdjustUsage);
      return kExitUsage;
    }
  }
  if (files.size() != 2 || steps.empty()) {
    Complain(kAdjustUsage);
    return kExitUsage;
  }
  TBitmap bitmap;
  TVeloraIO io;
  if (const int status = LoadImage24(io, bitmap, files[0]); status != kExitOk) return status;
  if (!rectGiven) rect = {0, 0, bitmap.Width(), bitmap.Height()};
  try {
    for (const TAdjustStep& step : steps) step(bitmap, rect);
  } catch (const std::bad_alloc&) {
    Complain("not enough memory to adjust " + files[0]);
    return kExitImageFailed;
  }
  return SaveImage(io, bitmap, files[1]);
}

}  // namespace velora::tool
