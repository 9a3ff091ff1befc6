// Targa as the I/O front sees it. The registry lists "PIX" among the Targa extensions, the
// loader and saver take "WIN" instead: a ".pix" file is recognised by a folder scan but not
// opened by name, as the design has it.
#include "tga_codec.h"

namespace velora {

namespace {

bool HasTgaHeader(TVLStream& stream, int64_t) { return IsTgaStream(stream); }

void ReadTga(const TVLReadJob& job) { TgaReadStream(job.stream, job.bitmap, job.params, job.headerOnly, job.progress); }

constexpr TVLSignature kSignatures[] = {{13, HasTgaHeader}};

}  // namespace

constinit const TVLFormatDescriptor kTgaDescriptor{
    .FileType = ioTGA,
    .Name = "TGA",
    .FullName = "Targa Bitmap",
    .Extensions = "TGA;TARGA;VDA;ICB;VST;PIX",
    .LoadExtensions = "TGA;TARGA;VDA;ICB;VST;WIN",
    .SaveExtensions = "TGA;TARGA;VDA;ICB;VST;WIN",
    .Signatures = kSignatures,
    .Read = ReadTga,
    .Write = VLWriteWithoutAlpha<TgaWriteStream>,
    .AlphaReset = true,
    .ViewDpiAfterFile = true,
};

}  // namespace velora
