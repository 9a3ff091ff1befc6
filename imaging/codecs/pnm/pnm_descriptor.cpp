// The portable bitmap, greymap and pixmap family as the I/O front sees it.
#include "pnm_codec.h"

namespace velora {

namespace {

bool HasPnmHeader(TVLStream& stream, int64_t) { return IsPnmStream(stream); }

void ReadPnm(const TVLReadJob& job) { PnmReadStream(job.stream, job.bitmap, job.params, job.headerOnly, job.progress); }

constexpr TVLSignature kSignatures[] = {{14, HasPnmHeader}};

}  // namespace

// The files carry no resolution, so the view keeps its own.
constinit const TVLFormatDescriptor kPnmDescriptor{
    .FileType = ioPXM,
    .Name = "PNM",
    .FullName = "Portable Pixmap, GreyMap, BitMap",
    .Extensions = "PXM;PPM;PGM;PBM;PNM",
    .SaveExtensions = "PXM;PBM;PGM;PPM",
    .Signatures = kSignatures,
    .Read = ReadPnm,
    .Write = VLWriteWithoutAlpha<PnmWriteStream>,
    .AlphaReset = true,
};

}  // namespace velora
