// The viewer's one scan of the folder: ScanFolder turns every readable image file matching
// the mask into an entry with three captions. No Qt here: the viewer, the command-line tool
// and the tests share it. (The viewer's own texts, its title, caption and usage message,
// are in app/viewer_texts.h.)
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/vl_types.h"

namespace velora {

// The background of an entry's bottom caption: red 208, green 239, blue 239.
constexpr TColor kScanBottomBackground = 15724496;

// Mask matching as the viewer's directory enumeration does it: "*" and "?", without regard
// to ASCII case; a mask ending in ".*" also matches names without a dot ("*.*" matches all).
bool MatchesFileMask(const std::string& name, const std::string& mask);

// One listed image.
struct TScanEntry {
  std::string FileName;    // folder + "/" + name: the path every later load uses
  std::string TopText;     // 1-based position in the list
  std::string BottomText;  // the directory entry name
  std::string InfoText;    // WxHxBb, e.g. 640x480x24b
  TColor BottomBackground = kScanBottomBackground;
  int32_t FileType = 0;
};

// Where the scan puts its entries. Begin announces how many directory entries match (the
// work to come); Progress follows every one of them, listed or not.
class TScanSink {
 public:
  virtual ~TScanSink() = default;
  virtual void Begin(int matchingCount) { (void)matchingCount; }
  virtual void Add(const TScanEntry& entry) = 0;
  virtual void Progress(int done, int matchingCount) {
    (void)done;
    (void)matchingCount;
  }
};

// A sink that keeps the entries in a list.
class TScanList : public TScanSink {
 public:
  void Add(const TScanEntry& entry) override { Entries.push_back(entry); }
  std::vector<TScanEntry> Entries;
};

// Enumerates folder's entries matching mask in case-insensitive name order, reads the header
// of each (never the pixels) and hands the readable ones to sink, numbered from 1 without
// gaps. ".", "..", subfolders and files that are not images it can read are skipped.
// Returns false when the folder cannot be enumerated (the list then stays empty). With
// uprightPhotos, a photo whose camera recorded it on its side is captioned with its upright
// size, as a view that turns it shows it.
bool ScanFolder(const std::string& folder, const std::string& mask, TScanSink& sink, bool uprightPhotos = false);

// The two steps of ScanFolder, for a scan run in pieces: the names matching mask in list
// order (false when the folder cannot be enumerated), and the header read of one of them
// with io, which fills entry (all but TopText) and says whether the name is listed.
bool ListFolder(const std::string& folder, const std::string& mask, std::vector<std::string>& names);
class TVeloraIO;
bool ScanOne(TVeloraIO& io, const std::string& folder, const std::string& name, TScanEntry& entry);

// The info caption of an image: Width + "x" + Height + "x" + BitsPerSample × SamplesPerPixel + "b".
std::string InfoCaption(int32_t width, int32_t height, int32_t bitsPerSample, int32_t samplesPerPixel);

}  // namespace velora
