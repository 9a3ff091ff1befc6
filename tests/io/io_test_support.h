// Fixtures shared by the I/O front's tests: a scratch folder, a hand-made BMP, and a tiny
// external format ("VLT1") that the tests append to the format registry, so that the front's
// own logic is tested without waiting for any codec.
#pragma once
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "io/format_descriptor.h"
#include "io/image_limits.h"
#include "io/io_private.h"
#include "io/velora_io.h"
#include "test_bytes.h"

namespace velora::iotest {

using testbytes::Bytes;
using testbytes::PutU16;
using testbytes::PutU32;
using testbytes::ReadFileBytes;
using testbytes::WriteFileBytes;

// The settings a program makes once (io/io_params.h), put aside for one test and restored
// after it, so that a test reaches the paths without a coder or with another resolution.
class TScopedLzwCoders {
 public:
  explicit TScopedLzwCoders(const TVLLzwCoders& coders) : saved_(io_detail::SwapLzwCodersForTest(coders)) {}
  ~TScopedLzwCoders() { io_detail::SwapLzwCodersForTest(saved_); }
  TScopedLzwCoders(const TScopedLzwCoders&) = delete;
  TScopedLzwCoders& operator=(const TScopedLzwCoders&) = delete;

 private:
  TVLLzwCoders saved_;
};

class TScopedDefaultDpi {
 public:
  TScopedDefaultDpi(int dpiX, int dpiY) : saved_(io_detail::SwapDefaultDpiForTest(dpiX, dpiY)) {}
  ~TScopedDefaultDpi() { io_detail::SwapDefaultDpiForTest(saved_.first, saved_.second); }
  TScopedDefaultDpi(const TScopedDefaultDpi&) = delete;
  TScopedDefaultDpi& operator=(const TScopedDefaultDpi&) = delete;

 private:
  std::pair<int, int> saved_;
};

// A width × height 24-bit BMP, bottom-up, written byte by byte.
inline Bytes MakeBmp24(int width, int height) {
  const uint32_t row = uint32_t((width * 24 + 31) / 32 * 4);
  Bytes b = {'B', 'M'};
  PutU32(b, 54 + row * height);
  PutU32(b, 0);
  PutU32(b, 54);
  PutU32(b, 40);
  PutU32(b, uint32_t(width));
  PutU32(b, uint32_t(height));
  PutU16(b, 1);
  PutU16(b, 24);
  PutU32(b, 0);
  PutU32(b, row * height);
  PutU32(b, 2835);  // 72 dpi
  PutU32(b, 2835);
  PutU32(b, 0);
  PutU32(b, 0);
  for (int y = 0; y < height; ++y)
    for (uint32_t x = 0; x < row; ++x) b.push_back(uint8_t(x * 7 + y * 31));
  return b;
}

inline bool RunningAsRoot() { return ::geteuid() == 0; }

// A scratch folder removed with its contents at the end of the test.
class TTempDir {
 public:
  TTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "velora_io_test_XXXXXX").string();
    path_ = ::mkdtemp(pattern.data()) ? pattern : std::string();
  }
  ~TTempDir() {
    std::error_code ec;
    // Unreadable fixtures must become removable again.
    for (auto& e : std::filesystem::recursive_directory_iterator(path_, ec))
      std::filesystem::permissions(e.path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
  }
  const std::string& Path() const { return path_; }
  std::string Write(const std::string& name, const Bytes& bytes) const {
    std::string p = path_ + "/" + name;
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return p;
  }
  std::string Write(const std::string& name, const std::string& text) const {
    return Write(name, Bytes(text.begin(), text.end()));
  }
  std::string Mkdir(const std::string& name) const {
    std::string p = path_ + "/" + name;
    std::filesystem::create_directory(p);
    return p;
  }

 private:
  std::string path_;
};

// ---- the "VLT1" test format: magic, u16 width, u16 height, u16 dpiX, u16 dpiY, then
// width × height BGR triples, top row first.
constexpr int32_t kVltType = 100;

inline bool VltTest(TVLStream& s) {
  char magic[4] = {};
  return s.Read(magic, 4) == 4 && std::string(magic, 4) == "VLT1";
}

inline void VltRead(TVLStream& s, TBitmap* bitmap, TIOParamsVals& p, bool headerOnly, TVLProgressRecord& progress) {
  try {
    char magic[4];
    s.ReadBuffer(magic, 4);
    if (std::string(magic, 4) != "VLT1") return progress.Abort();
    p.Width = s.ReadU16LE();
    p.Height = s.ReadU16LE();
    p.DpiX = s.ReadU16LE();
    p.DpiY = s.ReadU16LE();
    p.BitsPerSample = 8;
    p.SamplesPerPixel = 3;
    if (headerOnly) return;
    if (!VLImageSizeAllowed(p.Width, p.Height)) return progress.Abort();
    bitmap->Reset(p.Width, p.Height, TPixelFormat::pf24bit);
    for (int y = 0; y < p.Height; ++y) s.ReadBuffer(bitmap->ScanLine(y), int64_t(p.Width) * 3);
  } catch (const EVLStreamError&) {
    progress.Abort();
  }
}

inline void VltWrite(TVLStream& s, TBitmap& bitmap, TIOParamsVals& p, TVLProgressRecord&) {
  s.WriteBuffer("VLT1", 4);
  s.WriteU16LE(uint16_t(bitmap.Width()));
  s.WriteU16LE(uint16_t(bitmap.Height()));
  s.WriteU16LE(uint16_t(p.DpiX));
  s.WriteU16LE(uint16_t(p.DpiY));
  for (int y = 0; y < bitmap.Height(); ++y) s.WriteBuffer(bitmap.ScanLine(y), int64_t(bitmap.Width()) * 3);
}

inline Bytes MakeVlt(int width, int height, int dpiX = 96, int dpiY = 96) {
  Bytes b = {'V', 'L', 'T', '1'};
  PutU16(b, unsigned(width));
  PutU16(b, unsigned(height));
  PutU16(b, unsigned(dpiX));
  PutU16(b, unsigned(dpiY));
  for (int i = 0; i < width * height * 3; ++i) b.push_back(uint8_t(i * 13 + 1));
  return b;
}

// Appends the test format to the registry for the lifetime of the guard.
class TVltRegistration {
 public:
  explicit TVltRegistration(bool withTest = true) {
    TFileFormatInfo info;
    info.FileType = kVltType;
    info.FullName = "Velora Test Bitmap";
    info.Extensions = "VLT;VLTX";
    info.ReadProc = VltRead;
    info.WriteProc = VltWrite;
    info.TestProc = withTest ? VltTest : nullptr;
    RegisterFileFormat(info);
  }
  ~TVltRegistration() { UnregisterFileFormat(kVltType); }
};

}  // namespace velora::iotest
