// The GIF container as the I/O front sees it.
#include <cstring>

#include "gif_codec.h"

namespace velora {

namespace {

bool HasGifSignature(TVLStream& stream, int64_t size) {
  const TVLLeadBytes lead(stream);
  return size > 13 && lead.Have(3) && std::memcmp(lead.b, "GIF", 3) == 0;
}

void ReadGif(const TVLReadJob& job) {
  int imageCount = 0;
  GifReadStream(job.stream, job.bitmap, imageCount, job.alphaMask, job.headerOnly, job.progress, job.params);
}

// The frame's transparent colour, else the screen's background.
bool GifBackgroundOf(const TIOParamsVals& params, TRGB& colour) {
  colour = params.GifTransparent ? params.GifTranspColor : params.GifBackground;
  return true;
}

constexpr TVLSignature kSignatures[] = {{3, HasGifSignature}};

}  // namespace

constinit const TVLFormatDescriptor kGifDescriptor{
    .FileType = ioGIF,
    .Name = "GIF",
    .FullName = "CompuServe Bitmap",
    .Extensions = "GIF",
    .SaveExtensions = "GIF",
    .Signatures = kSignatures,
    .Read = ReadGif,
    .Write = VLWriteWithoutAlpha<GifWriteStream>,
    .HasPages = true,
    .ViewDpiAfterFile = true,
    .BackgroundAfterRead = GifBackgroundOf,
};

}  // namespace velora
