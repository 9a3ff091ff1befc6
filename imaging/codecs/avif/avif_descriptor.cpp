// AVIF as the I/O front sees it.
#include "avif_codec.h"
#include "io/isobmff_brands.h"

namespace velora {

namespace {

bool HasAvifBrand(TVLStream& stream, int64_t size) { return VLProbeFtyp(stream, size, AvifProbe); }

void ReadAvif(const TVLReadJob& job) { job.headerOnly ? AvifReadHeader(job) : AvifReadPixels(job); }

constexpr TVLSignature kSignatures[] = {{11, HasAvifBrand}};

}  // namespace

constinit const TVLFormatDescriptor kAvifDescriptor{
    .FileType = ioAVIF,
    .Name = "AVIF",
    .FullName = "AV1 Image File",
    .Extensions = "AVIF;AVIFS",
    .SaveExtensions = "AVIF",
    .Signatures = kSignatures,
    .Read = ReadAvif,
    .Write = AvifWrite,
    .HasPages = true,
    .ViewDpiAfterFile = true,
    .ViewDpiAfterStream = true,
};

}  // namespace velora
