// The folder's orders: natural names, each key with its tie on the name, reversal, the EXIF
// date read from a photo, and the keys of real files.
#include "files/sort_order.h"

#include <fcntl.h>

#include <algorithm>

#include "codecs/jpeg/oriented_photo.h"
#include "file_fixtures.h"

namespace velora {
namespace {

using namespace filetest;

TEST(NaturalOrder, AsFileManagersList) {
  // Each list is in the expected order already; sorting a reversed copy must give it back.
  const std::vector<std::vector<std::string>> lists = {
      {"img1.jpg", "img2.jpg", "img10.jpg", "img100.jpg"},
      {"a", "B", "c", "D"},
      {"IMG_9.jpg", "img_10.JPG", "Img_11.jpg"},
      {"x1y2", "x1y10", "x2y1"},
      {"img2.jpg", "img02.jpg", "img002.jpg"},  // same value: fewer zeros first, by the bytes
      {"photo", "photo 1", "photo1", "photo2"},
      {"9", "10", "99999999999999999999998", "99999999999999999999999"},  // beyond 64 bits
      {"A.jpg", "a.jpg"},                                                 // equal but for case
      {"scan.png", "scan-2.png", "scan2.png"},
  };
  for (const auto& expected : lists) {
    std::vector<std::string> sorted(expected.rbegin(), expected.rend());
    std::sort(sorted.begin(), sorted.end(), NaturalLess);
    EXPECT_EQ(sorted, expected) << expected.front() << "...";
  }
  EXPECT_EQ(NaturalCompare("img10", "img10"), 0);
}

TEST(SortComparator, EachOrderAndItsReversal) {
  // name, modified, date taken, size
  const std::vector<TSortKeys> entries = {
      {"b10.jpg", 300, 100, 5}, {"b2.png", 100, 300, 7}, {"a.gif", 200, 200, 5}, {"c", 200, 50, 1}};
  const struct {
    TSortOrder order;
    std::vector<std::string> expected;
  } cases[] = {
      {TSortOrder::soName, {"a.gif", "b2.png", "b10.jpg", "c"}},
      {TSortOrder::soModified, {"b2.png", "a.gif", "c", "b10.jpg"}},  // a tie on 200: by name
      {TSortOrder::soDateTaken, {"c", "b10.jpg", "a.gif", "b2.png"}},
      {TSortOrder::soSize, {"c", "a.gif", "b10.jpg", "b2.png"}},
      {TSortOrder::soType, {"c", "a.gif", "b10.jpg", "b2.png"}},  // no extension first
  };
  for (const auto& c : cases) {
    for (const bool reversed : {false, true}) {
      SCOPED_TRACE(std::string(SortOrderWord(c.order)) + (reversed ? " reversed" : ""));
      std::vector<TSortKeys> sorted = entries;
      std::sort(sorted.begin(), sorted.end(), TSortComparator(c.order, reversed));
      std::vector<std::string> names;
      for (const auto& e : sorted) names.push_back(e.Name);
      std::vector<std::string> expected = c.expected;
      if (reversed) std::reverse(expected.begin(), expected.end());
      EXPECT_EQ(names, expected);
    }
  }
}

TEST(SortOrder, WordsAndExifDates) {
  for (const TSortOrder order :
       {TSortOrder::soName, TSortOrder::soDateTaken, TSortOrder::soModified, TSortOrder::soSize, TSortOrder::soType}) {
    TSortOrder back{};
    EXPECT_TRUE(SortOrderFromWord(SortOrderWord(order), back));
    EXPECT_EQ(back, order);
  }
  TSortOrder unused{};
  EXPECT_FALSE(SortOrderFromWord("colour", unused));

  int64_t a = 0, b = 0;
  ASSERT_TRUE(ExifDateToNanoseconds("2019:05:04 10:20:30", a));
  ASSERT_TRUE(ExifDateToNanoseconds("2019:05:04 10:20:31", b));
  EXPECT_EQ(b - a, 1000000000);
  for (const char* bad : {"", "0000:00:00 00:00:00", "    :  :     :  :  ", "2019:13:04 10:20:30", "2019-05-04"})
    EXPECT_FALSE(ExifDateToNanoseconds(bad, a)) << bad;
}

// "Exif\0\0", a TIFF header, IFD 0 pointing to an EXIF IFD that holds DateTimeOriginal.
std::string ExifWithDateTaken(const std::string& date) {
  testbytes::Bytes b;
  testbytes::Append(b, std::string("Exif\0\0II", 8));
  testbytes::PutU16(b, 42), testbytes::PutU32(b, 8);
  testbytes::PutU16(b, 1);  // IFD 0 at 8
  testbytes::PutU16(b, 0x8769), testbytes::PutU16(b, 4), testbytes::PutU32(b, 1), testbytes::PutU32(b, 26);
  testbytes::PutU32(b, 0);
  testbytes::PutU16(b, 1);  // the EXIF IFD at 26
  testbytes::PutU16(b, 0x9003), testbytes::PutU16(b, 2), testbytes::PutU32(b, 20), testbytes::PutU32(b, 44);
  testbytes::PutU32(b, 0);
  testbytes::Append(b, date.substr(0, 19));  // at 44
  b.push_back(0);
  return std::string(b.begin(), b.end());
}

void SetModified(const std::string& path, time_t seconds) {
  const timespec times[2] = {{seconds, 0}, {seconds, 0}};
  ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

TEST(SortFolderNames, KeysComeFromTheFiles) {
  TScratch scratch;
  const std::string folder = scratch.Folder("pics");
  int64_t taken = 0;
  ASSERT_TRUE(ExifDateToNanoseconds("2001:01:01 12:00:00", taken));
  const time_t takenSeconds = time_t(taken / 1000000000);
  // old.jpg was taken first but copied last; new.jpg has no date and counts by its file time.
  testbytes::WriteFileBytes(folder + "/old.jpg",
                            orienttest::EncodePhoto(8, 8, ExifWithDateTaken("2001:01:01 12:00:00")));
  testbytes::WriteFileBytes(folder + "/new.jpg", orienttest::EncodePhoto(8, 8, ""));
  WriteText(folder + "/big.txt", std::string(50000, 'x'));
  SetModified(folder + "/old.jpg", takenSeconds + 3000);
  SetModified(folder + "/new.jpg", takenSeconds + 1000);
  SetModified(folder + "/big.txt", takenSeconds + 2000);
  const struct {
    TSortOrder order;
    std::vector<std::string> expected;
  } cases[] = {
      {TSortOrder::soName, {"big.txt", "new.jpg", "old.jpg"}},
      {TSortOrder::soDateTaken, {"old.jpg", "new.jpg", "big.txt"}},
      {TSortOrder::soModified, {"new.jpg", "big.txt", "old.jpg"}},
      {TSortOrder::soType, {"new.jpg", "old.jpg", "big.txt"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> names = {"old.jpg", "gone.jpg", "big.txt", "new.jpg"};
    SortFolderNames(folder, names, c.order, false);
    std::vector<std::string> expected = c.expected;
    expected.push_back("gone.jpg");  // cannot be examined: last
    EXPECT_EQ(names, expected) << SortOrderWord(c.order);
  }
}

}  // namespace
}  // namespace velora
