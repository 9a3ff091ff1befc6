// velora histogram IN [--json]: the histogram box's table of an image, one line per level
// ("LEVEL RED GREEN BLUE GRAY") or one JSON object of four 256-entry arrays.
#include <iostream>
#include <string>
#include <vector>

#include "commands.h"
#include "proc/color_adjust.h"
#include "proc_args.h"

namespace velora::tool {

namespace {

constexpr const char* kHistogramUsage = "usage: velora histogram IN [--json]";

void PrintJsonArray(const char* name, const THistogram& table, uint32_t THistogramEntry::*field) {
  std::cout << '"' << name << "\":[";
  for (int v = 0; v < 256; ++v) std::cout << (v ? "," : "") << table[size_t(v)].*field;
  std::cout << ']';
}

}  // namespace

int CmdHistogram(const std::vector<std::string>& args) {
  if (WantsHelp(args, kHistogramUsage)) return kExitOk;
  std::vector<std::string> files;
  bool json = false, unknown = false;
  for (const std::string& a : args) {
    if (a == "--json")
      json = true;
    else if (a.rfind("--", 0) == 0)
      unknown = true;
    else
      files.push_back(a);
  }
  if (files.size() != 1 || unknown) {
    Complain(kHistogramUsage);
    return kExitUsage;
  }
  TBitmap bitmap;
  TVeloraIO io;
  if (const int status = LoadImage24(io, bitmap, files[0]); status != kExitOk) return status;
  THistogram table;
  ComputeHistogram(bitmap, 0, 0, bitmap.Width(), bitmap.Height(), table);
  if (json) {
    std::cout << '{';
    PrintJsonArray("red", table, &THistogramEntry::Red);
    std::cout << ',';
    PrintJsonArray("green", table, &THistogramEntry::Green);
    std::cout << ',';
    PrintJsonArray("blue", table, &THistogramEntry::Blue);
    std::cout << ',';
    PrintJsonArray("gray", table, &THistogramEntry::Gray);
    std::cout << "}\n";
  } else {
    for (int v = 0; v < 256; ++v) {
      const THistogramEntry& e = table[size_t(v)];
      std::cout << v << ' ' << e.Red << ' ' << e.Green << ' ' << e.Blue << ' ' << e.Gray << '\n';
    }
  }
  return kExitOk;
}

}  // namespace velora::tool
