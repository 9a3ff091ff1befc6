// libpng callbacks and the signature test.
#include <exception>
#include <string>

#include "png_codec.h"
#include "png_private.h"

namespace velora {
namespace png_detail {

namespace {
TPngIO& IOOf(png_structp png) { return *static_cast<TPngIO*>(png_get_io_ptr(png)); }
TPngIO& ErrorIOOf(png_structp png) { return *static_cast<TPngIO*>(png_get_error_ptr(png)); }
}  // namespace

void ReadData(png_structp png, png_bytep data, size_t length) {
  TPngIO& io = IOOf(png);
  int64_t got = 0;
  try {
    got = io.stream->Read(data, int64_t(length));
  } catch (const std::exception&) {
    got = 0;
  }
  if (got != int64_t(length)) png_error(png, "premature end of data");
}

void WriteData(png_structp png, png_bytep data, size_t length) {
  TPngIO& io = IOOf(png);
  int64_t written = 0;
  try {
    written = io.stream->Write(data, int64_t(length));
  } catch (const std::exception&) {
    written = 0;
  }
  if (written != int64_t(length)) io.progress->Fail("PNG: the stream took only part of the data");
}

void FlushData(png_structp) {}

void ReadError(png_structp png, png_const_charp message) {
  // libpng's own words ("IHDR: CRC error") say best what went wrong.
  ErrorIOOf(png).progress->Fail(std::string("PNG: ") + (message ? message : "damaged data"));
  png_longjmp(png, 1);
}

void WriteError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

void IgnoreWarning(png_structp, png_const_charp) {}

}  // namespace png_detail

bool IsPngStream(TVLStream& stream) {
  png_byte signature[8];
  int64_t got = 0;
  try {
    got = stream.Read(signature, 8);
    stream.Seek(-got, TSeekOrigin::soCurrent);
  } catch (const std::exception&) {
    return false;
  }
  return got == 8 && png_sig_cmp(signature, 0, 8) == 0;
}

}  // namespace velora
