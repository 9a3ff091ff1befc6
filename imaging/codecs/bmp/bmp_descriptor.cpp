// The Windows bitmap as the I/O front sees it.
#include "bmp_codec.h"
#include "bmp_dib.h"

namespace velora {

namespace {

bool HasBmpSignature(TVLStream& stream, int64_t size) {
  const TVLLeadBytes lead(stream);
  return size > 14 && lead.Have(2) && lead.Word() == bmp::kSignature;
}

void ReadBmp(const TVLReadJob& job) {
  BmpReadStream(job.stream, job.bitmap, job.size, job.headerOnly, job.progress, job.params);
}

// A packed DIB is recognised late, after every format with a signature of its own.
bool HasPackedDib(TVLStream& stream, int64_t size) { return IsPackedDib(stream, size); }

constexpr TVLSignature kSignatures[] = {{6, HasBmpSignature}, {14, HasPackedDib}};

}  // namespace

constinit const TVLFormatDescriptor kBmpDescriptor{
    .FileType = ioBMP,
    .Name = "BMP",
    .FullName = "Windows Bitmap",
    .Extensions = "BMP;DIB;RLE",
    .SaveExtensions = "BMP;DIB;RLE",
    .Signatures = kSignatures,
    .Read = ReadBmp,
    .Write = VLWriteWithoutAlpha<BmpWriteStream>,
    .AlphaReset = true,
    .ViewDpiAfterFile = true,
};

}  // namespace velora
