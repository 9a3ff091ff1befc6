// The commands of the `velora` tool, one function each, taking the arguments after the
// command's name and returning the process's exit status.
#pragma once
#include <string>
#include <vector>

namespace velora::tool {

// Exit statuses of every command.
enum TExitStatus {
  kExitOk = 0,
  kExitImageFailed = 1,  // a reader or writer aborted
  kExitUsage = 2,
  kExitCannotOpen = 3,   // a file could not be opened or created
};

int CmdInfo(const std::vector<std::string>& args);
int CmdScan(const std::vector<std::string>& args);
int CmdConvert(const std::vector<std::string>& args);
int CmdResize(const std::vector<std::string>& args);
int CmdThumbnail(const std::vector<std::string>& args);
int CmdAdjust(const std::vector<std::string>& args);
int CmdHistogram(const std::vector<std::string>& args);
int CmdFft(const std::vector<std::string>& args);
int CmdFilter(const std::vector<std::string>& args);
int CmdRotate(const std::vector<std::string>& args);
int CmdFlip(const std::vector<std::string>& args);
int CmdMimeTypes(const std::vector<std::string>& args);

// Why a path cannot be opened for reading ("No such file or directory", "Is a directory"),
// or "" when it can.
std::string OpenFailureReason(const std::string& path);
// Why a file cannot be created, or "" when it can be (the probe leaves no file behind).
std::string CreateFailureReason(const std::string& path);
// Messages go to standard error as "velora: <text>".
void Complain(const std::string& text);

// "--auto-orient", given anywhere on the command line: photos are read upright, turned by
// their EXIF Orientation (as ImageMagick's -auto-orient). Off by default: a file is read as
// it is stored.
void SetAutoOrient(bool on);
bool AutoOrient();

}  // namespace velora::tool
