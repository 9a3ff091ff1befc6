// velora: the imaging library from the command line. Every command goes through TVeloraIO
// as the viewer does, so what the tool says is what the viewer would do.
#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "codecs/formats.h"
#include "commands.h"
#include "io/image_limits.h"

namespace {

using namespace velora::tool;

struct TCommand {
  const char* name;
  int (*run)(const std::vector<std::string>& args);
  const char* synopsis;
};

const TCommand kCommands[] = {
    {"info", CmdInfo, "info [--json] FILE...      header of each file"},
    {"scan", CmdScan, "scan [--sort ORDER] [--reverse] FOLDER MASK  the viewer's folder scan; ORDER: name,\n"
                      "                                    date-taken, modified, size, type"},
    {"convert", CmdConvert, "convert [--bits N] [--colors N] [--equalize-dpi] IN OUT\n"
                            "          [--compression none|packbits|lzw|mh|g3|g3-2d|g4] [--photometric rgb|cmyk|lab]\n"
                            "                                    load IN, save OUT (format by extension)"},
    {"resize", CmdResize, "resize IN OUT WxH [--filter NAME]  resample (-1 for one side keeps the aspect)"},
    {"thumbnail", CmdThumbnail, "thumbnail ...              make a thumbnail"},
    {"adjust", CmdAdjust, "adjust IN OUT OP...        colour adjustments (--help for the list)"},
    {"histogram", CmdHistogram, "histogram IN [--json]      the red, green, blue and gray histogram"},
    {"fft", CmdFft, "fft IN OUT [--gray] [--clear X0,Y0,X1,Y1]... [--inverse]  spectrum or inverse"},
    {"filter", CmdFilter, "filter IN OUT NAME [ARGS] [--rect X0,Y0,X1,Y1]  user filter, bump map, lens, wave,\n"
                          "                                    morphology (--help for the list)"},
    {"rotate", CmdRotate, "rotate IN OUT ANGLE [--no-antialias] [--background R,G,B]  degrees, counter-clockwise"},
    {"flip", CmdFlip, "flip IN OUT horizontal|vertical  mirror left-right or turn upside down"},
    {"mime-types", CmdMimeTypes, "mime-types [--globs FILE]  the MIME types of the formats read (desktop entry)"},
};

void PrintUsage(std::ostream& out) {
  out << "usage: velora [--max-pixels N] [--auto-orient] COMMAND ARGS...\n\ncommands:\n";
  for (const auto& c : kCommands) out << "  velora " << c.synopsis << "\n";
  out << "\n--auto-orient (anywhere) reads photos upright, turned by their EXIF Orientation.\n";
  out << "\nexit status: 0 success, 1 an image could not be read or written, 2 usage error,\n"
         "3 a file could not be opened or created\n";
}

// "--max-pixels N" or "--max-pixels=N" anywhere: sets the decoder's pixel limit.
bool TakeMaxPixels(std::vector<std::string>& args) {
  for (size_t i = 0; i < args.size(); ++i) {
    std::string value;
    size_t width = 1;
    if (args[i] == "--max-pixels") {
      if (i + 1 >= args.size()) return false;
      value = args[i + 1];
      width = 2;
    } else if (args[i].rfind("--max-pixels=", 0) == 0) {
      value = args[i].substr(13);
    } else {
      continue;
    }
    char* end = nullptr;
    long long n = std::strtoll(value.c_str(), &end, 10);
    if (value.empty() || *end != '\0' || n <= 0) return false;
    velora::VLSetMaxPixels(n);
    args.erase(args.begin() + long(i), args.begin() + long(i + width));
    --i;
  }
  return true;
}

// "--auto-orient" anywhere: every command reads photos upright.
void TakeAutoOrient(std::vector<std::string>& args) {
  const auto flag = std::remove(args.begin(), args.end(), std::string("--auto-orient"));
  if (flag == args.end()) return;
  args.erase(flag, args.end());
  SetAutoOrient(true);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
    PrintUsage(std::cout);
    return kExitOk;
  }
  if (!TakeMaxPixels(args)) {
    Complain("--max-pixels needs a positive number");
    return kExitUsage;
  }
  TakeAutoOrient(args);
  if (args.empty()) {
    PrintUsage(std::cerr);
    return kExitUsage;
  }
  velora::VLInstallLzwCoders();
  const std::string name = args[0];
  args.erase(args.begin());
  for (const auto& c : kCommands) {
    if (name == c.name) return c.run(args);
  }
  Complain("unknown command '" + name + "'");
  PrintUsage(std::cerr);
  return kExitUsage;
}
