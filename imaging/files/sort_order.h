// The orders a folder can be listed in, as file managers offer them: by name in natural order
// (img2 before img10, letters without regard to case), by the date a photo was taken (its
// EXIF date, else the file's modification time), by modification time, by size, by type
// (the extension); each reversed on request. Equal keys fall back on the name, so that every
// order is total and a listing never shuffles between two scans.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace velora {

enum class TSortOrder { soName, soDateTaken, soModified, soSize, soType };

// "name", "date-taken", "modified", "size", "type": the words the tool and the settings use.
const char* SortOrderWord(TSortOrder order);
bool SortOrderFromWord(const std::string& word, TSortOrder& order);

// Negative, zero or positive as a comes before, with or after b: runs of digits compare by
// their value (on equal values fewer leading zeros first), everything else byte by byte with
// ASCII letters folded and the dot first ("scan.png", "scan-2.png", "scan2.png"); names equal
// that way compare by their bytes, so that "A" and "a" still have an order.
int NaturalCompare(const std::string& a, const std::string& b);
inline bool NaturalLess(const std::string& a, const std::string& b) { return NaturalCompare(a, b) < 0; }

// What the orders compare of one directory entry.
struct TSortKeys {
  std::string Name;        // the directory entry's name
  int64_t Modified = 0;    // nanoseconds since the epoch
  int64_t DateTaken = 0;   // the EXIF date as local time, in nanoseconds; else Modified
  int64_t Size = 0;        // bytes
};

class TSortComparator {
 public:
  explicit TSortComparator(TSortOrder order = TSortOrder::soName, bool reversed = false)
      : order_(order), reversed_(reversed) {}
  bool operator()(const TSortKeys& a, const TSortKeys& b) const { return reversed_ ? Less(b, a) : Less(a, b); }

 private:
  bool Less(const TSortKeys& a, const TSortKeys& b) const;
  TSortOrder order_;
  bool reversed_;
};

// An EXIF date ("2024:06:01 14:03:05") as local time in nanoseconds since the epoch; false
// for anything else (cameras write blanks or zeros when they do not know).
bool ExifDateToNanoseconds(const std::string& exif, int64_t& nanoseconds);

// The keys of folder/name: the file's times and size, and, for soDateTaken, its EXIF date
// (one header read). False when the file cannot be examined.
bool ReadSortKeys(const std::string& folder, const std::string& name, TSortOrder order, TSortKeys& keys);

// Puts names (entries of folder) in the order; entries that cannot be examined go last, by name.
void SortFolderNames(const std::string& folder, std::vector<std::string>& names, TSortOrder order, bool reversed);

}  // namespace velora
