// libjpeg plumbing shared by the JPEG reader and writer: the error manager that leaves
// through longjmp, and the stream source and destination managers.
#pragma once
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include <jpeglib.h>
#include <jerror.h>

#include "base/progress.h"
#include "base/vl_stream.h"

namespace velora::jpeg_detail {

constexpr size_t kStreamBufferSize = 65536;
// A hostile progressive file may hold thousands of tiny scans; real files have at most a few
// dozen. Past this the file is treated as corrupt.
constexpr int kMaxScans = 1000;
// Large images get fewer: at most this many block decodes over all scans, but never fewer
// than kMinScans scans (ordinary progressive files have about ten).
constexpr int64_t kMaxScanBlocks = int64_t(1) << 25;
constexpr int kMinScans = 32;

// JFIF density units (0 is an aspect ratio only).
constexpr UINT8 kDensityDotsPerInch = 1;
constexpr UINT8 kDensityDotsPerCentimeter = 2;

// libjpeg's error manager, followed by what the adapter needs. error_exit never returns into
// libjpeg: it jumps back to the setjmp of the adapter frame that made the call, so no C++
// exception ever crosses libjpeg's C frames.
struct TErrorManager {
  jpeg_error_mgr pub;
  jmp_buf jump;
  const TVLProgressRecord* progress = nullptr;  // cleared when errors must not fail the read
  int warnings = 0;
  int lastCode = 0;
};

// Installs the error manager into `cinfo->err` (before creating the object).
jpeg_error_mgr* InitErrorManager(TErrorManager& em, const TVLProgressRecord& progress);

// Reading from a TVLStream, 64 KB at a time. A header-only read starts with a few kilobytes
// and doubles them at each refill: most headers end within the first one.
struct TSourceManager {
  jpeg_source_mgr pub;
  TVLStream* stream = nullptr;
  const TVLProgressRecord* progress = nullptr;
  bool startOfFile = true;
  size_t fillSize = kStreamBufferSize;
  JOCTET buffer[kStreamBufferSize];
};
void InstallSource(j_decompress_ptr cinfo, TSourceManager& src, TVLStream& stream, const TVLProgressRecord& progress);

// Writing to a TVLStream, 64 KB at a time; a short write sets the abort flag.
struct TDestinationManager {
  jpeg_destination_mgr pub;
  TVLStream* stream = nullptr;
  const TVLProgressRecord* progress = nullptr;
  JOCTET buffer[kStreamBufferSize];
};
void InstallDestination(j_compress_ptr cinfo, TDestinationManager& dest, TVLStream& stream,
                        const TVLProgressRecord& progress);

J_DCT_METHOD DctMethodOf(int jpegDCTMethod);

}  // namespace velora::jpeg_detail
