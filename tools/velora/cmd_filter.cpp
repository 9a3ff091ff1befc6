// velora filter IN OUT NAME [ARGS]: the effects dialog's filters on a file — the 3 × 3 user
// filter (a preset, a kernel or a filter file), the bump map, the lens, the wave and the
// morphological filters. 1-bit images are expanded to 24 bits first, as the filters need.
#include <cstdint>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "commands.h"
#include "image_job.h"
#include "proc/filters.h"
#include "proc/user_filter.h"
#include "proc_args.h"

namespace velora::tool {

namespace {

constexpr const char* kFilterUsage =
    "usage: velora filter IN OUT NAME [ARGS] [--rect X0,Y0,X1,Y1]\n"
    "  NAME: a preset: none blur edges emboss highpass1 highpass2 highpass3 lowpass1 lowpass2\n"
    "        kernel K0,K1,...,K8 DIVISOR   the 3 x 3 weights row by row (divisor 0 counts as 1)\n"
    "        flt FILE                      a user filter file (.flt, 43 bytes)\n"
    "          with any of these three, --save-flt FILE writes the kernel as a filter file\n"
    "        bumpmap X Y W H [--colour R,G,B] [--share N]   light centre and radii, colour\n"
    "                                      (default white), percent of the unlit image (0..100)\n"
    "        lens X Y W H REFRACTION        an elliptic lens centred at X,Y (refraction 1 changes nothing)\n"
    "        wave AMPLITUDE LENGTH [PHASE] [--reflective]   ripples from the centre, phase in degrees\n"
    "        max|min|open|close RADIUS     morphology over a (2 RADIUS + 1)-pixel square\n"
    "  --rect limits the filter to columns X0..X1-1 of rows Y0..Y1-1 (not for lens and wave)";

struct TRect {
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

// The command line after IN and OUT: NAME, its positional values and the options.
struct TFilterArgs {
  std::string name;
  std::vector<std::string> values;
  TRect rect;
  bool rectGiven = false;
  std::string saveFlt;
  TRGB colour = MakeRGB(255, 255, 255);
  int share = 0;
  bool lightGiven = false;  // --colour or --share
  bool reflective = false;
};

using TFilterStep = std::function<void(TBitmap&, const TRect&)>;

bool ParseOption(const std::vector<std::string>& args, size_t& i, TFilterArgs& a) {
  if (args[i] == "--reflective") return a.reflective = true;
  std::string name, value;
  std::vector<int> v;
  if (!TakeOption(args, i, name, value)) return false;
  if (name == "--rect" && ParseIntList(value, ',', 4, 0, 1 << 30, v)) {
    a.rect = {v[0], v[1], v[2], v[3]};
    return a.rectGiven = true;
  }
  if (name == "--save-flt" && !value.empty()) return a.saveFlt = value, true;
  if (name == "--colour" && ParseIntList(value, ',', 3, 0, 255, v)) {
    a.colour = MakeRGB(uint8_t(v[0]), uint8_t(v[1]), uint8_t(v[2]));
    return a.lightGiven = true;
  }
  if (name == "--share" && ParseIntList(value, ',', 1, 0, 100, v)) {
    a.share = v[0];
    return a.lightGiven = true;
  }
  return false;
}

// `count` 32-bit integers from the values.
bool Ints(const std::vector<std::string>& values, size_t count, std::vector<int>& out) {
  if (values.size() != count) return false;
  out.clear();
  for (const std::string& text : values) {
    std::vector<int> one;
    if (!ParseIntList(text, ',', 1, INT32_MIN, INT32_MAX, one)) return false;
    out.push_back(one[0]);
  }
  return true;
}

// The user filter that `a` names (a preset, "kernel" or "flt"). kExitOk with `named` false
// when the name is not one of those; a status for a malformed kernel or an unreadable file.
int ResolveUserFilter(const TFilterArgs& a, TVLUserFilter& filter, bool& named) {
  named = true;
  if (const TVLUserFilterPreset* preset = VLUserFilterPresetByName(a.name)) {
    filter = preset->Filter;
    return a.values.empty() ? kExitOk : kExitUsage;
  }
  if (a.name == "kernel") {
    std::vector<int> k, divisor;
    if (a.values.size() != 2 || !ParseIntList(a.values[0], ',', 9, INT32_MIN, INT32_MAX, k) ||
        !Ints({a.values[1]}, 1, divisor))
      return kExitUsage;
    for (size_t i = 0; i < 9; ++i) filter.Kernel[i] = k[i];
    filter.Divisor = divisor[0];
    return kExitOk;
  }
  if (a.name == "flt") {
    if (a.values.size() != 1) return kExitUsage;
    const std::string& path = a.values[0];
    if (const std::string why = OpenFailureReason(path); !why.empty()) {
      Complain("cannot open " + path + ": " + why);
      return kExitCannotOpen;
    }
    std::string reason;
    if (!VLReadUserFilterFile(path, filter, &reason)) {
      Complain("cannot read " + path + ": " + reason);
      return kExitImageFailed;
    }
    return kExitOk;
  }
  named = false;
  return kExitOk;
}

// The bump map, lens, wave or morphology step that `a` names; false when malformed.
bool MakeEffect(const TFilterArgs& a, TFilterStep& step) {
  std::vector<int> v;
  if (a.name == "bumpmap") {
    if (!Ints(a.values, 4, v)) return false;
    step = [v, colour = a.colour, share = a.share](TBitmap& b, const TRect& r) {
      BumpMap(b, v[0], v[1], v[2], v[3], colour, share, r.x0, r.y0, r.x1, r.y1);
    };
    return true;
  }
  if (a.name == "lens") {
    double refraction = 0;
    if (a.values.size() != 5 || !Ints(std::vector<std::string>(a.values.begin(), a.values.begin() + 4), 4, v) ||
        !ParseNumber(a.values[4], refraction))
      return false;
    step = [v, refraction](TBitmap& b, const TRect&) { Lens(b, v[0], v[1], v[2], v[3], refraction); };
    return true;
  }
  if (a.name == "wave") {
    if (!Ints(a.values, a.values.size() == 3 ? 3 : 2, v)) return false;
    const int phase = v.size() == 3 ? v[2] : 0;
    step = [v, phase, reflective = a.reflective](TBitmap& b, const TRect&) {
      Wave(b, v[0], v[1], phase, reflective);
    };
    return true;
  }
  static const char* const kMorph[] = {"max", "min", "open", "close"};  // in TVLMorphFilter order
  for (int filter = mfMaximum; filter <= mfClosing; ++filter) {
    if (a.name != kMorph[filter]) continue;
    if (a.values.size() != 1 || !ParseIntList(a.values[0], ',', 1, 0, INT32_MAX, v)) return false;
    step = [radius = v[0], filter](TBitmap& b, const TRect& r) {
      MorphFilter(b, radius, filter, r.x0, r.y0, r.x1, r.y1);
    };
    return true;
  }
  return false;
}

// Options that only some filters take.
bool OptionsFit(const TFilterArgs& a, bool userFilter) {
  if (!a.saveFlt.empty() && !userFilter) return false;
  if (a.lightGiven && a.name != "bumpmap") return false;
  if (a.reflective && a.name != "wave") return false;
  return !(a.rectGiven && (a.name == "lens" || a.name == "wave"));
}

}  // namespace

int CmdFilter(const std::vector<std::string>& args) {
  if (WantsHelp(args, kFilterUsage)) return kExitOk;
  std::vector<std::string> positional;
  TFilterArgs a;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string option = args[i];
    if (option.rfind("--", 0) != 0) {
      positional.push_back(option);
    } else if (!ParseOption(args, i, a)) {
      Complain("bad option '" + option + "'\n" + kFilterUsage);
      return kExitUsage;
    }
  }
  if (positional.size() < 3) {
    Complain(kFilterUsage);
    return kExitUsage;
  }
  a.name = positional[2];
  a.values.assign(positional.begin() + 3, positional.end());

  TVLUserFilter user;
  bool userFilter = false;
  TFilterStep step;
  if (const int status = ResolveUserFilter(a, user, userFilter); status != kExitOk) {
    if (status == kExitUsage) Complain(kFilterUsage);
    return status;
  }
  if (userFilter)
    step = [&user](TBitmap& b, const TRect& r) {
      ConvolveUserFilter(b, user.Kernel, user.Divisor, r.x0, r.y0, r.x1, r.y1);
    };
  if ((!userFilter && !MakeEffect(a, step)) || !OptionsFit(a, userFilter)) {
    Complain("bad filter '" + a.name + "' or its arguments\n" + kFilterUsage);
    return kExitUsage;
  }

  TBitmap bitmap;
  TVeloraIO io;
  if (const int status = LoadImage24(io, bitmap, positional[0]); status != kExitOk) return status;
  const TRect rect = a.rectGiven ? a.rect : TRect{0, 0, bitmap.Width(), bitmap.Height()};
  try {
    step(bitmap, rect);
  } catch (const std::bad_alloc&) {
    Complain("not enough memory to filter " + positional[0]);
    return kExitImageFailed;
  }
  if (const int status = SaveImage(io, bitmap, positional[1]); status != kExitOk) return status;
  if (a.saveFlt.empty()) return kExitOk;
  std::string reason;
  if (!VLWriteUserFilterFile(a.saveFlt, user, &reason)) {
    Complain("cannot create " + a.saveFlt + ": " + reason);
    return kExitCannotOpen;
  }
  return kExitOk;
}

}  // namespace velora::tool
