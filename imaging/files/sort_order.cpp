#include "sort_order.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "io/velora_io.h"

namespace velora {

namespace {

constexpr struct {
  TSortOrder order;
  const char* word;
} kWords[] = {{TSortOrder::soName, "name"},
              {TSortOrder::soDateTaken, "date-taken"},
              {TSortOrder::soModified, "modified"},
              {TSortOrder::soSize, "size"},
              {TSortOrder::soType, "type"}};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
char Fold(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

// A character's place in name order: letters without case, and the dot before everything, so
// that "scan.png" comes before "scan-2.png" and "scan2.png", as file managers list them.
int Rank(char c) { return c == '.' ? 0 : static_cast<unsigned char>(Fold(c)); }

// The extension, folded, without the dot; empty for none (a leading dot starts a hidden name).
std::string TypeOf(const std::string& name) {
  const size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || dot == 0) return {};
  std::string type = name.substr(dot + 1);
  for (char& c : type) c = Fold(c);
  return type;
}

int64_t Nanoseconds(const timespec& t) { return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec; }

}  // namespace

const char* SortOrderWord(TSortOrder order) {
  for (const auto& w : kWords)
    if (w.order == order) return w.word;
  return "name";
}

bool SortOrderFromWord(const std::string& word, TSortOrder& order) {
  for (const auto& w : kWords)
    if (word == w.word) {
      order = w.order;
      return true;
    }
  return false;
}

int NaturalCompare(const std::string& a, const std::string& b) {
  size_t i = 0, j = 0;
  int zeros = 0;  // the first difference in leading zeros of equal numbers ("img2", "img02")
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      // Compare the numbers by value: without leading zeros, the longer run is larger, and
      // runs of one length compare digit by digit. Any length fits, unlike a conversion.
      size_t si = i, sj = j;
      while (si < a.size() && a[si] == '0') ++si;
      while (sj < b.size() && b[sj] == '0') ++sj;
      size_t ei = si, ej = sj;
      while (ei < a.size() && IsDigit(a[ei])) ++ei;
      while (ej < b.size() && IsDigit(b[ej])) ++ej;
      if (ei - si != ej - sj) return ei - si < ej - sj ? -1 : 1;
      if (const int c = a.compare(si, ei - si, b, sj, ej - sj)) return c;
      if (!zeros && si - i != sj - j) zeros = si - i < sj - j ? -1 : 1;
      i = ei, j = ej;
      continue;
    }
    const int ca = Rank(a[i]), cb = Rank(b[j]);
    if (ca != cb) return ca < cb ? -1 : 1;
    ++i, ++j;
  }
  if (i < a.size() || j < b.size()) return i < a.size() ? 1 : -1;
  if (zeros) return zeros;
  // Equal but for case: the bytes decide, upper case first.
  return a.compare(b);
}

bool TSortComparator::Less(const TSortKeys& a, const TSortKeys& b) const {
  switch (order_) {
    case TSortOrder::soName: break;
    case TSortOrder::soDateTaken:
      if (a.DateTaken != b.DateTaken) return a.DateTaken < b.DateTaken;
      break;
    case TSortOrder::soModified:
      if (a.Modified != b.Modified) return a.Modified < b.Modified;
      break;
    case TSortOrder::soSize:
      if (a.Size != b.Size) return a.Size < b.Size;
      break;
    case TSortOrder::soType:
      if (const int c = NaturalCompare(TypeOf(a.Name), TypeOf(b.Name))) return c < 0;
      break;
  }
  return NaturalCompare(a.Name, b.Name) < 0;
}

bool ExifDateToNanoseconds(const std::string& exif, int64_t& nanoseconds) {
  std::tm t{};
  char rest = 0;
  if (std::sscanf(exif.c_str(), "%4d:%2d:%2d %2d:%2d:%2d%c", &t.tm_year, &t.tm_mon, &t.tm_mday, &t.tm_hour, &t.tm_min,
                  &t.tm_sec, &rest) != 6)
    return false;
  if (t.tm_year < 1800 || t.tm_mon < 1 || t.tm_mon > 12 || t.tm_mday < 1 || t.tm_mday > 31 || t.tm_hour > 23 ||
      t.tm_min > 59 || t.tm_sec > 60)
    return false;
  t.tm_year -= 1900;
  t.tm_mon -= 1;
  t.tm_isdst = -1;  // the camera's clock showed local time, summer or winter
  const std::time_t seconds = std::mktime(&t);
  if (seconds == std::time_t(-1)) return false;
  nanoseconds = int64_t(seconds) * 1000000000;
  return true;
}

bool ReadSortKeys(const std::string& folder, const std::string& name, TSortOrder order, TSortKeys& keys) {
  const std::string path = folder + "/" + name;
  struct stat st {};
  keys = {};
  keys.Name = name;
  if (::stat(path.c_str(), &st) != 0) return false;
  keys.Modified = keys.DateTaken = Nanoseconds(st.st_mtim);
  keys.Size = int64_t(st.st_size);
  if (order == TSortOrder::soDateTaken && S_ISREG(st.st_mode)) {
    TVeloraIO io;
    io.ReadParamsFromFile(path);
    int64_t taken = 0;
    if (ExifDateToNanoseconds(io.Params().ExifDateTimeOriginal, taken)) keys.DateTaken = taken;
  }
  return true;
}

void SortFolderNames(const std::string& folder, std::vector<std::string>& names, TSortOrder order, bool reversed) {
  struct TEntry {
    TSortKeys keys;
    bool known;
  };
  std::vector<TEntry> entries;
  entries.reserve(names.size());
  for (const std::string& name : names) {
    TEntry e;
    e.known = ReadSortKeys(folder, name, order, e.keys);
    entries.push_back(std::move(e));
  }
  const TSortComparator less(order, reversed);
  std::sort(entries.begin(), entries.end(), [&](const TEntry& a, const TEntry& b) {
    if (a.known != b.known) return a.known;
    return a.known ? less(a.keys, b.keys) : NaturalLess(a.keys.Name, b.keys.Name);
  });
  for (size_t i = 0; i < names.size(); ++i) names[i] = std::move(entries[i].keys.Name);
}

}  // namespace velora
