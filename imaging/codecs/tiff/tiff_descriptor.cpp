// TIFF as the I/O front sees it: recognised by its stream header or its byte-order mark,
// listed, loaded and saved under its extensions, with pages, which the front adds to a file
// through InsertPage.
#include "tiff_codec.h"
#include "tiff_tags.h"

namespace velora {

namespace {

bool HasTiffStreamHeader(TVLStream& stream, int64_t size) {
  const TVLLeadBytes lead(stream);
  return size > 12 && lead.Have(5) && lead.Text(5) == "TIFF";
}

bool HasByteOrderMark(TVLStream& stream, int64_t size) {
  const TVLLeadBytes lead(stream);
  return size > 8 && lead.Have(2) && (lead.Word() == tiff::kIntelOrder || lead.Word() == tiff::kMotorolaOrder);
}

void ReadTiff(const TVLReadJob& job) {
  int imageCount = 0;
  TiffReadStream(job.stream, job.bitmap, imageCount, job.alphaMask, job.headerOnly, job.progress, job.params, job.size);
}

void WriteTiff(TVLStream& stream, TBitmap& bitmap, TIOParamsVals& params, TVLMask*, TVLProgressRecord& progress) {
  TiffWriteStream(stream, false, bitmap, progress, params);
}

int InsertTiffPage(TVLStream& stream, TBitmap& bitmap, TIOParamsVals& params, TVLProgressRecord& progress) {
  return TiffWriteStream(stream, true, bitmap, progress, params);
}

constexpr TVLSignature kSignatures[] = {{8, HasTiffStreamHeader}, {9, HasByteOrderMark}};

}  // namespace

constinit const TVLFormatDescriptor kTiffDescriptor{
    .FileType = ioTIFF,
    .Name = "TIFF",
    .FullName = "TIFF Bitmap",
    .Extensions = "TIF;TIFF;FAX",
    .SaveExtensions = "TIF;TIFF;FAX",
    .Signatures = kSignatures,
    .Read = ReadTiff,
    .Write = WriteTiff,
    .InsertPage = InsertTiffPage,
    .HasPages = true,
    .ViewDpiAfterFile = true,
    .ViewDpiAfterStream = true,
    .StreamMagic = "TIFF",
    .StreamHeaderRule = TVLStreamHeaderRule::shRequired,
};

}  // namespace velora
