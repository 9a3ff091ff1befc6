// Helpers shared by the I/O front's source files: names, extensions and the 12-byte stream
// header that travels in front of TIFF, JPEG and PCX data in streams.
#pragma once
#include <cstdint>
#include <string>

#include "io_params.h"
#include "base/vl_stream.h"

namespace velora::io_detail {

constexpr int kStreamHeaderSize = 12;

// ASCII lower case; the rest of the bytes (UTF-8 names) stay as they are.
std::string LowerCase(std::string text);
bool SameTextCI(const std::string& a, const std::string& b);

// The extension of a file name with its dot, lower-cased (".jpg"), or "" when the last path
// component has no dot.
std::string LowerExtension(const std::string& name);

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

// The JPEG metadata step: IPTC from the first APP13 marker, EXIF from an APP1 "Exif" block.
void ApplyJpegMetadata(TIOParamsVals& params);
// The EXIF half: the TIFF structure after the 6-byte "Exif" prefix of an APP1 block. It reads
// through the TIFF reader, so it lands together with that reader's EXIF support.
void ApplyJpegExifBlock(TIOParamsVals& params, const uint8_t* block, int64_t size);
// Before a JPEG write: when IptcInfo was changed, its encoding replaces the first APP13
// marker (or joins the list as a new one).
void PrepareJpegMarkers(TIOParamsVals& params);

}  // namespace velora::io_detail
