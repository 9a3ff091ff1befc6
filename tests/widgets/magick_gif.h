// An animated GIF made with ImageMagick at test time: frames at offsets, with transparent
// pixels, under each disposal rule; and ImageMagick's own composition of it (-coalesce).
#pragma once
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace magickgif {

inline bool HaveConvert() { return std::system("convert -version >/dev/null 2>&1") == 0; }

// A 40 x 30 canvas and five frames (delays in hundredths):
//   0  40 x 30 at 0,0, its right quarter transparent      keep        firstDelay
//   1  16 x 12 red at 4,3                                 background  10
//   2  10 x 10 at 20,10, its right half transparent       previous    0 (counts as 100 ms)
//   3  12 x 8 yellow at 24,18                             keep        1 (counts as 100 ms)
//   4  8 x 8 magenta at 2,20                              background  7
inline bool MakeAnimation(const std::string& path, int firstDelay = 5) {
  const std::string command =
      "convert -dispose none -delay " + std::to_string(firstDelay) +
      " \\( -size 40x30 xc:none -fill '#0000ff' -draw 'rectangle 0,0 29,29' -repage 40x30+0+0 \\)"
      " -dispose background -delay 10 \\( -size 16x12 xc:'#ff0000' -repage 40x30+4+3 \\)"
      " -dispose previous -delay 0 \\( -size 10x10 xc:none -fill '#00ff00' -draw 'rectangle 0,0 4,9'"
      " -repage 40x30+20+10 \\)"
      " -dispose none -delay 1 \\( -size 12x8 xc:'#ffff00' -repage 40x30+24+18 \\)"
      " -dispose background -delay 7 \\( -size 8x8 xc:'#ff00ff' -repage 40x30+2+20 \\)"
      " -loop 0 '" + path + "'";
  return std::system(command.c_str()) == 0;
}

// ImageMagick's coalesced frames of `gif` as RGBA bytes, one vector per frame.
inline std::vector<std::vector<unsigned char>> Coalesced(const std::string& gif, const std::string& dir) {
  std::vector<std::vector<unsigned char>> frames;
  const std::string command = "convert '" + gif + "' -coalesce -depth 8 +adjoin 'rgba:" + dir + "/coalesced-%d.raw'";
  if (std::system(command.c_str()) != 0) return frames;
  for (int i = 0;; ++i) {
    std::ifstream in(dir + "/coalesced-" + std::to_string(i) + ".raw", std::ios::binary);
    if (!in) break;
    frames.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return frames;
}

}  // namespace magickgif
