// WebP as the I/O front sees it.
#include "webp_codec.h"

namespace velora {

namespace {

bool HasWebpSignature(TVLStream& stream, int64_t size) {
  const TVLLeadBytes lead(stream);
  return size > 12 && WebpProbe({lead.b, size_t(lead.n)});
}

void ReadWebp(const TVLReadJob& job) { job.headerOnly ? WebpReadHeader(job) : WebpReadPixels(job); }

constexpr TVLSignature kSignatures[] = {{11, HasWebpSignature}};

}  // namespace

constinit const TVLFormatDescriptor kWebpDescriptor{
    .FileType = ioWEBP,
    .Name = "WebP",
    .FullName = "WebP Image",
    .Extensions = "WEBP",
    .SaveExtensions = "WEBP",
    .Signatures = kSignatures,
    .Read = ReadWebp,
    .Write = WebpWrite,
    .HasPages = true,
    .ViewDpiAfterFile = true,
    .ViewDpiAfterStream = true,
};

}  // namespace velora
