// JPEG as the I/O front sees it: the codec plus the metadata step, and the "JFIF" stream
// header that is honoured whether or not StreamHeaders is set.
#include "jpeg_codec.h"

#include <utility>

#include "proc/flip_turn.h"

namespace velora {

namespace {

bool HasJfifStreamHeader(TVLStream& stream, int64_t size) {
  const TVLLeadBytes lead(stream);
  return size > 12 && lead.Have(12) && lead.Text(5) == "JFIF";
}

// Tried last of all formats: a start-of-image marker may sit anywhere in the first bytes.
bool HasJpegStart(TVLStream& stream, int64_t) { return FindJpegStart(stream) >= 0; }

// After the decode, at whatever scale it ran, so that a thumbnail turns its few pixels only.
// A picture that cannot be turned (no memory for the turned copy) is kept as stored. The
// alpha mask needs no turn: the front makes it afresh, opaque, at the turned size.
void TurnUpright(const TVLReadJob& job) {
  TIOParamsVals& params = job.params;
  const int orientation = params.ExifOrientation;
  if (orientation < 2 || orientation > 8 || job.progress.Aborted()) return;
  if (!job.headerOnly) {
    if (!job.bitmap || !VLApplyOrientation(*job.bitmap, nullptr, orientation)) return;
  }
  if (JpegOrientationLiesOnItsSide(orientation)) {
    std::swap(params.Width, params.Height);
    std::swap(params.DpiX, params.DpiY);
  }
  MarkJpegUpright(params);
}

void ReadJpeg(const TVLReadJob& job) {
  // The orientation is this file's alone: a value left by an earlier read must not turn it.
  job.params.ExifOrientation = 0;
  JpegReadStream(job.stream, job.bitmap, job.params, job.headerOnly, job.progress);
  ApplyJpegMetadata(job.params);
  ReadJpegIccProfile(job.params);
  if (job.params.JpegApplyOrientation) TurnUpright(job);
}

void WriteJpeg(TVLStream& stream, TBitmap& bitmap, TIOParamsVals& params, TVLMask*, TVLProgressRecord& progress) {
  PrepareJpegMarkers(params);
  PrepareJpegIccMarkers(params);
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
