// velora scan FOLDER MASK: the viewer's folder scan, one line per listed entry.
#include <iostream>

#include "commands.h"
#include "io/folder_scan.h"

namespace velora::tool {

namespace {
// Lines go out as the scan finds them, so a long scan shows its progress by itself.
class TPrintSink : public TScanSink {
 public:
  void Add(const TScanEntry& e) override {
    std::cout << e.TopText << '\t' << e.BottomText << '\t' << e.InfoText << '\t' << e.FileName << '\n';
  }
};
}  // namespace

int CmdScan(const std::vector<std::string>& args) {
  if (args.size() != 2) {
    Complain("usage: velora scan FOLDER MASK");
    return kExitUsage;
  }
  TPrintSink sink;
  if (!ScanFolder(args[0], args[1], sink, AutoOrient())) {
    Complain("cannot open " + args[0] + ": " + OpenFailureReason(args[0]));
    return kExitCannotOpen;
  }
  return kExitOk;
}

}  // namespace velora::tool
