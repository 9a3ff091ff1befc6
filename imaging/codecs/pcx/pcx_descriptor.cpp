// PaintBrush as the I/O front sees it: recognised by its stream headers (new and old) or by
// the manufacturer byte and version of a bare file.
#include "pcx_codec.h"
#include "pcx_private.h"

namespace velora {

namespace {

bool HasPcxStreamHeader(TVLStream& stream, int64_t size) {
  const TVLLeadBytes lead(stream);
  return size > 12 && lead.Have(5) && lead.Text(5) == "PCX2";
}

bool HasOldPcxStreamHeader(TVLStream& stream, int64_t size) {
  const TVLLeadBytes lead(stream);
  return size > 4 && lead.Have(4) && lead.Text(4) == "PCX";
}

// Only a file longer than its 128-byte header counts: two bytes alone say little.
bool HasPcxManufacturer(TVLStream& stream, int64_t size) {
  const TVLLeadBytes lead(stream);
  return size > pcx::kHeaderSize && lead.Have(2) && lead.b[0] == pcx::kManufacturer && lead.b[1] <= 5;
}

void ReadPcx(const TVLReadJob& job) {
  PcxReadStream(job.stream, job.bitmap, job.params, job.headerOnly, job.progress, job.size);
}

constexpr TVLSignature kSignatures[] = {{4, HasPcxStreamHeader}, {5, HasOldPcxStreamHeader}, {7, HasPcxManufacturer}};

}  // namespace

constinit const TVLFormatDescriptor kPcxDescriptor{
    .FileType = ioPCX,
    .Name = "PCX",
    .FullName = "PaintBrush",
    .Extensions = "PCX",
    .SaveExtensions = "PCX",
    .Signatures = kSignatures,
    .Read = ReadPcx,
    .Write = VLWriteWithoutAlpha<PcxWriteStream>,
    .AlphaReset = true,
    .ViewDpiAfterFile = true,
    .ViewDpiAfterStream = true,
    .NamesFileFirst = true,
    .StreamMagic = "PCX2",
    .StreamHeaderRule = TVLStreamHeaderRule::shRequiredOld,
};

}  // namespace velora
