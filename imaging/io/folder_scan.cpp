#include "folder_scan.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>

#include "io_private.h"
#include "velora_io.h"

namespace velora {

std::string InfoCaption(int32_t width, int32_t height, int32_t bitsPerSample, int32_t samplesPerPixel) {
  return std::to_string(width) + "x" + std::to_string(height) + "x" +
         std::to_string(int64_t(bitsPerSample) * samplesPerPixel) + "b";
}

namespace {

char Fold(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

// Glob match with backtracking over the last "*": linear in practice, never exponential.
bool Glob(const std::string& name, const std::string& mask) {
  size_t n = 0, m = 0, starMask = std::string::npos, starName = 0;
  while (n < name.size()) {
    if (m < mask.size() && (mask[m] == '?' || (mask[m] != '*' && Fold(mask[m]) == Fold(name[n])))) {
      ++n;
      ++m;
    } else if (m < mask.size() && mask[m] == '*') {
      starMask = m++;
      starName = n;
    } else if (starMask != std::string::npos) {
      m = starMask + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

bool LessCaseInsensitive(const std::string& a, const std::string& b) {
  const std::string la = io_detail::LowerCase(a), lb = io_detail::LowerCase(b);
  return la != lb ? la < lb : a < b;
}

bool IsSubfolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

bool MatchesFileMask(const std::string& name, const std::string& mask) {
  if (Glob(name, mask)) return true;
  // "name.*" also stands for the name without any extension.
  if (mask.size() >= 2 && mask.compare(mask.size() - 2, 2, ".*") == 0 && name.find('.') == std::string::npos)
    return Glob(name, mask.substr(0, mask.size() - 2));
  return false;
}

bool ListFolder(const std::string& folder, const std::string& mask, std::vector<std::string>& names) {
  names.clear();
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
  if (!dir) return false;
  while (const dirent* entry = ::readdir(dir.get())) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (MatchesFileMask(name, mask)) names.push_back(std::move(name));
  }
  dir.reset();
  std::sort(names.begin(), names.end(), LessCaseInsensitive);
  return true;
}

bool ScanOne(TVeloraIO& io, const std::string& folder, const std::string& name, TScanEntry& entry) {
  const std::string path = folder + "/" + name;
  if (IsSubfolder(path)) return false;
  TIOParamsVals& params = io.Params();
  io.ReadParamsFromFile(path);
  if (params.FileType == ioUnknown) return false;
  entry.FileName = path;
  entry.BottomText = name;
  entry.InfoText = InfoCaption(params.Width, params.Height, params.BitsPerSample, params.SamplesPerPixel);
  entry.FileType = params.FileType;
  return true;
}

bool ScanFolder(const std::string& folder, const std::string& mask, TScanSink& sink, bool uprightPhotos) {
  std::vector<std::string> names;
  if (!ListFolder(folder, mask, names)) {
    sink.Begin(0);
    return false;
  }
  const int count = int(names.size());
  sink.Begin(count);
  TVeloraIO io;  // free-standing: no view, no bitmap
  io.Params().JpegApplyOrientation = uprightPhotos;
  int listed = 0;
  for (int i = 0; i < count; ++i) {
    TScanEntry entry;
    if (ScanOne(io, folder, names[size_t(i)], entry)) {
      entry.TopText = std::to_string(++listed);
      sink.Add(entry);
    }
    sink.Progress(i + 1, count);
  }
  return true;
}

}  // namespace velora
