// Replays fuzz inputs without libFuzzer: every file named on the command line, and every
// file inside every directory named, is handed to LLVMFuzzerTestOneInput once.
// It also catches hangs: the slowest input is reported, and the run fails when one input took
// longer than the limit (5 s, or VELORA_REPLAY_LIMIT_MS). The limit is loose on purpose so that
// sanitizer and debug builds on a busy machine pass; a reader that loops on bad data does not.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

struct TSlowest {
  double ms = 0;
  std::string path;
};

void RunFile(const std::filesystem::path& path, TSlowest& slowest) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto start = std::chrono::steady_clock::now();
  LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  if (ms >= slowest.ms) slowest = {ms, path.string()};
}

double LimitMs() {
  const char* env = std::getenv("VELORA_REPLAY_LIMIT_MS");
  return env && *env ? std::atof(env) : 5000.0;
}

}  // namespace

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  int count = 0;
  TSlowest slowest;
  for (int i = 1; i < argc; ++i) {
    fs::path p(argv[i]);
    if (fs::is_directory(p)) {
      for (const auto& entry : fs::recursive_directory_iterator(p))
        if (entry.is_regular_file()) { RunFile(entry.path(), slowest); ++count; }
    } else if (fs::is_regular_file(p)) {
      RunFile(p, slowest);
      ++count;
    }
  }
  std::printf("replayed %d inputs; slowest %.1f ms: %s\n", count, slowest.ms, slowest.path.c_str());
  if (slowest.ms > LimitMs()) {
    std::printf("FAIL: %s took %.0f ms, over the %.0f ms limit (a reader that hangs on bad data?)\n",
                slowest.path.c_str(), slowest.ms, LimitMs());
    return 1;
  }
  return 0;
}
