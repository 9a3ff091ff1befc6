// Targa header layout and the date arithmetic of the extension area.
#include "tga_private.h"

#include <cmath>
#include <cstring>

#include "base/vl_byte_reader.h"

namespace velora::tga {

namespace {
// Days from 1 Jan 1970 of a proleptic Gregorian date (Howard Hinnant's algorithm).
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = int(doy - (153 * mp + 2) / 5 + 1);
  m = int(mp < 10 ? mp + 3 : mp - 9);
  y = int(yoe + era * 400 + (m <= 2));
}

constexpr int64_t kDaysTo1970 = 25569;  // from 30 Dec 1899
}  // namespace

void TTgaHeader::Parse(const uint8_t* b) {
  idLength = b[0];
  colorMapType = b[1];
  imageType = b[2];
  mapFirst = GetU16LE(b + 3);
  mapLength = GetU16LE(b + 5);
  mapEntrySize = b[7];
  xOrigin = GetU16LE(b + 8);
  yOrigin = GetU16LE(b + 10);
  width = GetU16LE(b + 12);
  height = GetU16LE(b + 14);
  depth = b[16];
  descriptor = b[17];
}

void TTgaHeader::Serialize(uint8_t* b) const {
  b[0] = idLength;
  b[1] = colorMapType;
  b[2] = imageType;
  PutU16LE(b + 3, mapFirst);
  PutU16LE(b + 5, mapLength);
  b[7] = mapEntrySize;
  PutU16LE(b + 8, xOrigin);
  PutU16LE(b + 10, yOrigin);
  PutU16LE(b + 12, width);
  PutU16LE(b + 14, height);
  b[16] = depth;
  b[17] = descriptor;
}

bool ImageTypeAccepted(int t) {
  for (int kind : {ttColorMapped, ttTrueColor, ttGrey})
    if (t == kind || t == kind + kRleType) return true;
  return false;
}

// 15 is the depth many writers give 5-5-5 pixels; it reads as 16.
bool DepthAccepted(int d) { return d == 1 || d == 4 || d == 8 || d == 15 || d == 16 || d == 24 || d == 32; }

bool EncodeDateTime(int year, int month, int day, int hour, int minute, int second, double& value) {
  static const int kDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > kDays[month - 1]) return false;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (month == 2 && day == 29 && !leap) return false;
  if (hour > 23 || minute > 59 || second > 59) return false;
  value = double(DaysFromCivil(year, month, day) + kDaysTo1970) + (hour * 3600 + minute * 60 + second) / 86400.0;
  return true;
}

void DecodeDateTime(double value, int& year, int& month, int& day, int& hour, int& minute, int& second) {
  if (!std::isfinite(value) || value < -693593 || value > 2958466) value = 0;  // years 1..9999
  const double whole = std::floor(value);
  CivilFromDays(int64_t(whole) - kDaysTo1970, year, month, day);
  int seconds = int(std::lround((value - whole) * 86400.0));
  if (seconds >= 86400) seconds = 86399;
  hour = seconds / 3600;
  minute = seconds / 60 % 60;
  second = seconds % 60;
}

}  // namespace velora::tga
