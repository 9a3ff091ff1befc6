// velora mime-types [--globs FILE]: the MIME types of the formats the library reads, ";"-
// separated, as a desktop entry's MimeType line lists them. The names come from the
// desktop's own MIME database (shared-mime-info's globs2, "weight:type:glob" lines), matched
// against the extensions in the format registry: the build writes the viewer's desktop entry
// with it, so a format added to the registry is offered to file managers without a list kept
// by hand.
#include <fstream>
#include <iostream>
#include <set>

#include "commands.h"
#include "io/format_descriptor.h"

namespace velora::tool {

namespace {

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return s;
}

// The lowercase extensions of every format with a reader.
std::set<std::string> ReadableExtensions() {
  std::set<std::string> extensions;
  for (const TVLFormatDescriptor* format : VLBuiltinFormats()) {
    if (!format->Read && !format->MetafileImport) continue;
    const std::string list = format->LoadExtensions ? format->LoadExtensions : format->Extensions ? format->Extensions : "";
    size_t start = 0;
    while (start <= list.size()) {
      const size_t end = std::min(list.find(';', start), list.size());
      if (end > start) extensions.insert(Lower(list.substr(start, end - start)));
      start = end + 1;
    }
  }
  return extensions;
}

}  // namespace

int CmdMimeTypes(const std::vector<std::string>& args) {
  std::string globs = "/usr/share/mime/globs2";
  if (args.size() == 2 && args[0] == "--globs") {
    globs = args[1];
  } else if (!args.empty()) {
    Complain("usage: velora mime-types [--globs FILE]");
    return kExitUsage;
  }
  std::ifstream in(globs);
  if (!in) {
    Complain("cannot open " + globs + ": " + OpenFailureReason(globs));
    return kExitCannotOpen;
  }
  const std::set<std::string> extensions = ReadableExtensions();
  std::set<std::string> types;
  for (std::string line; std::getline(in, line);) {
    // weight:type:glob[:flags]; only image types (".vst" is also a Visio drawing's).
    const size_t first = line.find(':'), second = first == std::string::npos ? first : line.find(':', first + 1);
    if (line.empty() || line[0] == '#' || second == std::string::npos) continue;
    const std::string type = line.substr(first + 1, second - first - 1);
    const std::string glob = line.substr(second + 1, line.find(':', second + 1) - second - 1);
    if (type.rfind("image/", 0) != 0 || glob.rfind("*.", 0) != 0) continue;
    if (extensions.count(Lower(glob.substr(2)))) types.insert(type);
  }
  if (types.empty()) {
    Complain(globs + " names no type of the formats read");
    return kExitImageFailed;
  }
  for (const std::string& type : types) std::cout << type << ';';
  std::cout << '\n';
  return kExitOk;
}

}  // namespace velora::tool
