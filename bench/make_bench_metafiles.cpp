// Writes the metafiles the side-by-side comparison draws: the sample chart with scatter
// markers up to 5000 records on a 2001-pixel page (a 2000-pixel target), and the sample clip
// art with flowers up to 5000 records at 207 units per inch (about 2000 pixels at 96 dpi).
#include <cstdio>
#include <fstream>
#include <string>

#include "codecs/metafile/metafile_scenes.h"

namespace {

bool Write(const std::string& path, const velora::mftest::Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return bool(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_bench_metafiles DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  const bool ok = Write(dir + "/chart5000.emf", velora::mftest::ChartEmf(5000, 2001)) &&
                  Write(dir + "/clipart5000.wmf", velora::mftest::ClipArtWmf(5000, 207));
  return ok ? 0 : 1;
}
