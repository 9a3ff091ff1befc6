// The libjpeg managers of the adapter and the start-of-image search.
#include <algorithm>
#include <cstring>
#include <exception>
#include <string>

#include "jpeg_codec.h"
#include "jpeg_private.h"

namespace velora {
namespace jpeg_detail {
namespace {

TErrorManager& ManagerOf(j_common_ptr cinfo) { return *reinterpret_cast<TErrorManager*>(cinfo->err); }

void ErrorExit(j_common_ptr cinfo) {
  TErrorManager& em = ManagerOf(cinfo);
  em.lastCode = cinfo->err->msg_code;
  if (em.progress) {
    // libjpeg's own words say best what went wrong; its standard formatter is borrowed for them.
    jpeg_error_mgr standard;
    jpeg_std_error(&standard);
    char message[JMSG_LENGTH_MAX] = {};
    standard.format_message(cinfo, message);
    em.progress->Fail(std::string("JPEG: ") + message);
  }
  std::longjmp(em.jump, 1);
}

void EmitMessage(j_common_ptr cinfo, int level) {
  if (level != -1) return;
  TErrorManager& em = ManagerOf(cinfo);
  ++em.warnings;
  em.lastCode = cinfo->err->msg_code;
  cinfo->err->num_warnings++;
}

void OutputMessage(j_common_ptr) {}
void FormatMessage(j_common_ptr, char* buffer) { buffer[0] = 0; }

void ResetErrorManager(j_common_ptr cinfo) {
  TErrorManager& em = ManagerOf(cinfo);
  em.warnings = 0;
  em.lastCode = 0;
  cinfo->err->num_warnings = 0;
  cinfo->err->msg_code = 0;
}

// ---- source --------------------------------------------------------------------------------

TSourceManager& SourceOf(j_decompress_ptr cinfo) { return *reinterpret_cast<TSourceManager*>(cinfo->src); }

void InitSource(j_decompress_ptr cinfo) { SourceOf(cinfo).startOfFile = true; }

boolean FillInputBuffer(j_decompress_ptr cinfo) {
  TSourceManager& src = SourceOf(cinfo);
  int64_t got = 0;
  try {
    got = src.stream->Read(src.buffer, int64_t(src.fillSize));
    src.fillSize = std::min(src.fillSize * 2, kStreamBufferSize);
  } catch (const std::exception&) {
    got = 0;  // a failing stream ends the data like its end would
  }
  if (got <= 0) {
    if (src.startOfFile && src.progress) src.progress->Fail("JPEG: no data");
    // An end-of-image marker lets libjpeg finish the image with what it has.
    WARNMS(cinfo, JWRN_JPEG_EOF);
    src.buffer[0] = 0xFF;
    src.buffer[1] = JPEG_EOI;
    got = 2;
  }
  src.pub.next_input_byte = src.buffer;
  src.pub.bytes_in_buffer = size_t(got);
  src.startOfFile = false;
  return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long numBytes) {
  if (numBytes <= 0) return;
  jpeg_source_mgr& pub = *cinfo->src;
  while (numBytes > long(pub.bytes_in_buffer)) {
    numBytes -= long(pub.bytes_in_buffer);
    FillInputBuffer(cinfo);
  }
  pub.next_input_byte += numBytes;
  pub.bytes_in_buffer -= size_t(numBytes);
}

void TermSource(j_decompress_ptr) {}

// ---- destination ---------------------------------------------------------------------------

TDestinationManager& DestOf(j_compress_ptr cinfo) { return *reinterpret_cast<TDestinationManager*>(cinfo->dest); }

void WriteOut(TDestinationManager& dest, size_t count) {
  if (count == 0) return;
  int64_t written = 0;
  try {
    written = dest.stream->Write(dest.buffer, int64_t(count));
  } catch (const std::exception&) {
    written = 0;
  }
  if (written < int64_t(count) && dest.progress) dest.progress->Fail("JPEG: the stream took only part of the data");
}

void InitDestination(j_compress_ptr cinfo) {
  TDestinationManager& dest = DestOf(cinfo);
  dest.pub.next_output_byte = dest.buffer;
  dest.pub.free_in_buffer = kStreamBufferSize;
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
  TDestinationManager& dest = DestOf(cinfo);
  WriteOut(dest, kStreamBufferSize);
  dest.pub.next_output_byte = dest.buffer;
  dest.pub.free_in_buffer = kStreamBufferSize;
  return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
  TDestinationManager& dest = DestOf(cinfo);
  WriteOut(dest, kStreamBufferSize - dest.pub.free_in_buffer);
  dest.pub.next_output_byte = dest.buffer;
  dest.pub.free_in_buffer = kStreamBufferSize;
}

}  // namespace

jpeg_error_mgr* InitErrorManager(TErrorManager& em, const TVLProgressRecord& progress) {
  jpeg_std_error(&em.pub);
  em.pub.error_exit = ErrorExit;
  em.pub.emit_message = EmitMessage;
  em.pub.output_message = OutputMessage;
  em.pub.format_message = FormatMessage;
  em.pub.reset_error_mgr = ResetErrorManager;
  em.progress = &progress;
  em.warnings = 0;
  em.lastCode = 0;
  return &em.pub;
}

void InstallSource(j_decompress_ptr cinfo, TSourceManager& src, TVLStream& stream, const TVLProgressRecord& progress) {
  src.stream = &stream;
  src.progress = &progress;
  src.startOfFile = true;
  src.fillSize = kStreamBufferSize;
  src.pub.init_source = InitSource;
  src.pub.fill_input_buffer = FillInputBuffer;
  src.pub.skip_input_data = SkipInputData;
  src.pub.resync_to_restart = jpeg_resync_to_restart;
  src.pub.term_source = TermSource;
  src.pub.bytes_in_buffer = 0;
  src.pub.next_input_byte = nullptr;
  cinfo->src = &src.pub;
}

void InstallDestination(j_compress_ptr cinfo, TDestinationManager& dest, TVLStream& stream,
                        const TVLProgressRecord& progress) {
  dest.stream = &stream;
  dest.progress = &progress;
  dest.pub.init_destination = InitDestination;
  dest.pub.empty_output_buffer = EmptyOutputBuffer;
  dest.pub.term_destination = TermDestination;
  cinfo->dest = &dest.pub;
}

J_DCT_METHOD DctMethodOf(int jpegDCTMethod) {
  switch (jpegDCTMethod) {
    case 1: return JDCT_IFAST;
    case 2: return JDCT_FLOAT;
    default: return JDCT_ISLOW;
  }
}

}  // namespace jpeg_detail

int64_t FindJpegStart(TVLStream& stream) {
  const int64_t start = stream.Position();
  uint8_t window[102];
  int64_t got = 0;
  try {
    got = stream.Read(window, sizeof(window));
  } catch (const std::exception&) {
    got = 0;
  }
  stream.SetPosition(start);
  for (int64_t p = 0; p + 3 <= got; ++p)
    if (window[p] == 0xFF && window[p + 1] == 0xD8 && window[p + 2] == 0xFF) return start + p;
  return -1;
}

}  // namespace velora
