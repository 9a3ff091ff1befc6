// The user filter file: its 43 bytes, the files it refuses without touching the kernel, and
// weights beyond the dialog's −100..100 kept through a round trip.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "io/io_test_support.h"
#include "proc/user_filter.h"

using namespace velora;

using iotest::Bytes;
using iotest::ReadFileBytes;

TEST(UserFilterFile, NonePresetIsWrittenByteForByte) {
  iotest::TTempDir dir;
  const std::string path = dir.Path() + "/none.flt";
  ASSERT_NE(VLUserFilterPresetByName("none"), nullptr);
  ASSERT_TRUE(VLWriteUserFilterFile(path, VLUserFilterPresetByName("none")->Filter));
  Bytes want(43, 0);
  want[0] = 1, want[1] = 3, want[2] = 3;
  want[3 + 4 * 4] = 1;  // the centre weight, little-endian
  EXPECT_EQ(ReadFileBytes(path), want);
  // Writing again truncates: a longer file left at the path ends up 43 bytes too.
  dir.Write("none.flt", std::string(100, 'x'));
  ASSERT_TRUE(VLWriteUserFilterFile(path, VLUserFilterPresetByName("none")->Filter));
  EXPECT_EQ(ReadFileBytes(path).size(), 43u);
}

TEST(UserFilterFile, RoundTripKeepsAnyThirtyTwoBitValue) {
  iotest::TTempDir dir;
  const std::string path = dir.Path() + "/wide.flt";
  const TVLUserFilter wide{{INT32_MIN, -101, 101, 0, INT32_MAX, -1, 256, -65536, 1 << 24}, -1000};
  ASSERT_TRUE(VLWriteUserFilterFile(path, wide));
  TVLUserFilter back;
  std::string reason;
  ASSERT_TRUE(VLReadUserFilterFile(path, back, &reason)) << reason;
  EXPECT_EQ(back, wide);
  // Bytes after the 43 are not the filter's business.
  Bytes longer = ReadFileBytes(path);
  longer.push_back(0x55);
  TVLUserFilter fromLonger;
  EXPECT_TRUE(VLReadUserFilterFile(dir.Write("longer.flt", longer), fromLonger));
  EXPECT_EQ(fromLonger, wide);
}

TEST(UserFilterFile, ForeignOrShortFilesLeaveTheFilterAsItWas) {
  iotest::TTempDir dir;
  const auto good = VLEncodeUserFilter(TVLUserFilter{{1, 2, 3, 4, 5, 6, 7, 8, 9}, 45});
  Bytes full(good.begin(), good.end());
  struct {
    const char* what;
    Bytes bytes;
  } const kCases[] = {
      {"empty", {}},
      {"one byte short", Bytes(full.begin(), full.end() - 1)},
      {"header only", {1, 3, 3}},
      {"a 5 x 5 kernel", [&] { auto b = full; b[1] = b[2] = 5; return b; }()},
      {"version 2", [&] { auto b = full; b[0] = 2; return b; }()},
      {"a PNG", {0x89, 'P', 'N', 'G', 13, 10, 26, 10}},
  };
  const TVLUserFilter kept = VLUserFilterPresets()[3].Filter;
  for (const auto& c : kCases) {
    TVLUserFilter filter = kept;
    std::string reason;
    EXPECT_FALSE(VLReadUserFilterFile(dir.Write("f.flt", c.bytes), filter, &reason)) << c.what;
    EXPECT_EQ(reason, "not a filter file") << c.what;
    EXPECT_EQ(filter, kept) << c.what;
  }
  TVLUserFilter filter = kept;
  std::string reason;
  EXPECT_FALSE(VLReadUserFilterFile(dir.Path() + "/missing.flt", filter, &reason));
  EXPECT_EQ(reason, "No such file or directory");
  EXPECT_FALSE(VLWriteUserFilterFile(dir.Path() + "/no/such/dir.flt", filter, &reason));
  EXPECT_EQ(filter, kept);
}

TEST(UserFilterFile, PresetsByToolName) {
  // Every preset is reachable by its tool name, and the names are those the tool documents.
  const char* const kNames[] = {"none",      "blur",      "edges",    "emboss",  "highpass1",
                                "highpass2", "highpass3", "lowpass1", "lowpass2"};
  for (int i = 0; i < kUserFilterPresetCount; ++i) {
    const TVLUserFilterPreset* p = VLUserFilterPresetByName(kNames[i]);
    ASSERT_NE(p, nullptr) << kNames[i];
    EXPECT_EQ(p, &VLUserFilterPresets()[size_t(i)]) << kNames[i];
  }
  EXPECT_EQ(VLUserFilterPresetByName("Blur"), nullptr);
  EXPECT_EQ(VLUserFilterPresetByName("kernel"), nullptr);
}
