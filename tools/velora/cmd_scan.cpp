// velora scan [--sort ORDER] [--reverse] FOLDER MASK: the viewer's folder scan, one line per
// listed entry, in the order the viewer lists them with that choice.
#include <iostream>

#include "commands.h"
#include "files/sort_order.h"
#include "io/folder_scan.h"
#include "io/velora_io.h"

namespace velora::tool {

int CmdScan(const std::vector<std::string>& args) {
  TSortOrder order = TSortOrder::soName;
  bool reversed = false, sorted = false;
  std::vector<std::string> rest;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--sort" && i + 1 < args.size() && SortOrderFromWord(args[i + 1], order)) {
      sorted = true;
      ++i;
    } else if (args[i] == "--reverse") {
      reversed = sorted = true;
    } else {
      rest.push_back(args[i]);
    }
  }
  if (rest.size() != 2) {
    Complain("usage: velora scan [--sort name|date-taken|modified|size|type] [--reverse] FOLDER MASK");
    return kExitUsage;
  }
  const std::string& folder = rest[0];
  std::vector<std::string> names;
  if (!ListFolder(folder, rest[1], names)) {
    Complain("cannot open " + folder + ": " + OpenFailureReason(folder));
    return kExitCannotOpen;
  }
  // Without a choice the scan's own order stands (the design's, case-insensitive by name).
  if (sorted) SortFolderNames(folder, names, order, reversed);
  TVeloraIO io;
  io.Params().JpegApplyOrientation = AutoOrient();
  int listed = 0;
  // Lines go out as the scan finds them, so a long scan shows its progress by itself.
  for (const std::string& name : names) {
    TScanEntry e;
    if (!ScanOne(io, folder, name, e)) continue;
    std::cout << ++listed << '\t' << e.BottomText << '\t' << e.InfoText << '\t' << e.FileName << '\n';
  }
  return kExitOk;
}

}  // namespace velora::tool
