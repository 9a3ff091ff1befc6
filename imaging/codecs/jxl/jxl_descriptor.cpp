// JPEG XL as the I/O front sees it.
#include "jxl_codec.h"

namespace velora {

namespace {

bool HasJxlSignature(TVLStream& stream, int64_t size) {
  const TVLLeadBytes lead(stream);
  return size > 2 && JxlProbe({lead.b, size_t(lead.n)});
}

void ReadJxl(const TVLReadJob& job) { job.headerOnly ? JxlReadHeader(job) : JxlReadPixels(job); }

constexpr TVLSignature kSignatures[] = {{11, HasJxlSignature}};

}  // namespace

constinit const TVLFormatDescriptor kJxlDescriptor{
    .FileType = ioJXL,
    .Name = "JPEG XL",
    .FullName = "JPEG XL Image",
    .Extensions = "JXL",
    .SaveExtensions = "JXL",
    .Signatures = kSignatures,
    .Read = ReadJxl,
    .Write = JxlWrite,
    .HasPages = true,
    .ViewDpiAfterFile = true,
    .ViewDpiAfterStream = true,
};

}  // namespace velora
