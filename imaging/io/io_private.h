// Helpers shared by the I/O front's source files: names, extensions and the 12-byte stream
// header that travels in front of TIFF, JPEG and PCX data in streams.
#pragma once
#include <cstdint>
#include <string>
#include <utility>

#include "io_params.h"
#include "base/vl_stream.h"

namespace velora {
struct TVLFormatDescriptor;
}

namespace velora::io_detail {

constexpr int kStreamHeaderSize = 12;

// Why a header-only read answers FileType 0 for content no test recognises.
constexpr const char* kUnrecognised = "not an image format this library recognises";

// ASCII lower case; the rest of the bytes (UTF-8 names) stay as they are.
std::string LowerCase(std::string text);
bool SameTextCI(const std::string& a, const std::string& b);

// The extension of a file name without its dot, as written ("JPG"), or "" when the last
// path component has no dot.
std::string ExtensionOf(const std::string& name);

// Reads up to `count` bytes at the stream's position without moving it; returns how many.
int64_t PeekBytes(TVLStream& stream, void* buffer, int64_t count);

// Text of the first `count` bytes up to the first zero byte.
std::string BytesAsText(const uint8_t* bytes, int count);

// A stream header read at the current position (which moves past the 12 bytes); false when
// fewer than 12 bytes remain. magic is the text of the first 5 bytes up to a zero byte.
struct TStreamHeader {
  uint8_t raw[kStreamHeaderSize] = {};
  std::string magic;
  uint32_t count = 0;
};
bool ReadStreamHeader(TVLStream& stream, TStreamHeader& header);
void WriteStreamHeader(TVLStream& stream, const char magic[4], uint32_t count);

// Tests only, and only while nothing reads: put other coders or another default resolution
// in place regardless of the set-once rule and answer what was there, so that a test can
// reach the paths without a coder and put things back afterwards.
TVLLzwCoders SwapLzwCodersForTest(const TVLLzwCoders& coders);
std::pair<int, int> SwapDefaultDpiForTest(int dpiX, int dpiY);

// Whether one of the format's own content tests takes the stream at its position (kept).
bool OwnTestAccepts(TVLStream& stream, const TVLFormatDescriptor& format);
// The format a file named for `named` is read as when its content was detected as `detected`:
// that content's built-in format when the named format's own tests refuse the stream, else
// nullptr (the name decides). Formats without content tests (metafiles) are never overruled.
const TVLFormatDescriptor* ContentOverName(TVLStream& stream, const TVLFormatDescriptor& named, int32_t detected);

}  // namespace velora::io_detail
