// HEIF as the I/O front sees it: read only (an encoder for HEVC is not what users convert to).
#include "heif_codec.h"
#include "io/isobmff_brands.h"

namespace velora {

namespace {

bool HasHeifBrand(TVLStream& stream, int64_t size) { return VLProbeFtyp(stream, size, HeifProbe); }

void ReadHeif(const TVLReadJob& job) { job.headerOnly ? HeifReadHeader(job) : HeifReadPixels(job); }

constexpr TVLSignature kSignatures[] = {{11, HasHeifBrand}};

}  // namespace

constinit const TVLFormatDescriptor kHeifDescriptor{
    .FileType = ioHEIF,
    .Name = "HEIF",
    .FullName = "High Efficiency Image File",
    .Extensions = "HEIC;HEIF;HIF",
    .SaveExtensions = "",
    .Signatures = kSignatures,
    .Read = ReadHeif,
    .HasPages = true,
    .ViewDpiAfterFile = true,
    .ViewDpiAfterStream = true,
};

}  // namespace velora
