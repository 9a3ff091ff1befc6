// JPEG as the I/O front sees it: the codec plus the metadata step, and the "JFIF" stream
// header that is honoured whether or not StreamHeaders is set.
#include "jpeg_codec.h"

namespace velora {

namespace {

bool HasJfifStreamHeader(TVLStream& stream, int64_t size) {
  const TVLLeadBytes lead(stream);
  return size > 12 && lead.Have(12) && lead.Text(5) == "JFIF";
}

// Tried last of all formats: a start-of-image marker may sit anywhere in the first bytes.
bool HasJpegStart(TVLStream& stream, int64_t) { return FindJpegStart(stream) >= 0; }

void ReadJpeg(const TVLReadJob& job) {
  JpegReadStream(job.stream, job.bitmap, job.params, job.headerOnly, job.progress);
  ApplyJpegMetadata(job.params);
}

void WriteJpeg(TVLStream& stream, TBitmap& bitmap, TIOParamsVals& params, TVLMask*, TVLProgressRecord& progress) {
  PrepareJpegMarkers(params);
  JpegWriteStream(stream, bitmap, params, progress);
}

constexpr TVLSignature kSignatures[] = {{2, HasJfifStreamHeader}, {15, HasJpegStart}};

}  // namespace

constinit const TVLFormatDescriptor kJpegDescriptor{
    .FileType = ioJPEG,
    .Name = "JPEG",
    .FullName = "JPEG Bitmap",
    .Extensions = "JPG;JPEG;JPE",
    .SaveExtensions = "JPG;JPEG;JPE",
    .Signatures = kSignatures,
    .Read = ReadJpeg,
    .Write = WriteJpeg,
    .AlphaReset = true,
    .ViewDpiAfterFile = true,
    .ViewDpiAfterStream = true,
    .StreamMagic = "JFIF",
    .StreamHeaderRule = TVLStreamHeaderRule::shAlways,
};

}  // namespace velora
