// Runs the `velora` tool as a shell would, capturing its exit status, standard output and
// standard error, for the tests that check the tool end to end.
#pragma once
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "io_test_support.h"

namespace velora::iotest {

struct TRun {
  int status = -1;
  std::string out, err;
};

// Single-quotes s for sh, so that paths with spaces or quotes reach the tool unchanged.
inline std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

inline std::string Slurp(const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

inline TRun Velora(const std::vector<std::string>& args) {
  static TTempDir scratch;
  std::string command = Quote(VELORA_TOOL_PATH);
  for (const auto& a : args) command += " " + Quote(a);
  const std::string out = scratch.Path() + "/out", err = scratch.Path() + "/err";
  command += " >" + Quote(out) + " 2>" + Quote(err);
  TRun run;
  const int raw = std::system(command.c_str());
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.out = Slurp(out);
  run.err = Slurp(err);
  return run;
}

}  // namespace velora::iotest
