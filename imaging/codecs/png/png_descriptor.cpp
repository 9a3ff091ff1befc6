// PNG as the I/O front sees it, with the background it composites transparent pixels over.
#include "png_codec.h"

namespace velora {

namespace {

bool HasPngSignature(TVLStream& stream, int64_t size) { return size > 8 && IsPngStream(stream); }

void ReadPng(const TVLReadJob& job) {
  PngReadStream(job.stream, job.bitmap, job.params, job.alphaMask, job.headerOnly, job.progress);
}

void WritePng(TVLStream& stream, TBitmap& bitmap, TIOParamsVals& params, TVLMask* alphaMask,
              TVLProgressRecord& progress) {
  PngWriteStream(stream, bitmap, params, alphaMask, progress);
}

// A file read composites over the component's background, and the file's own bKGD (when the
// reader found one) becomes the component's background afterwards.
void PresetPngBackground(TIOParamsVals& params, TRGB background) { params.PngBackground = background; }
bool PngBackgroundOf(const TIOParamsVals& params, TRGB& colour) {
  colour = params.PngBackground;
  return true;
}

constexpr TVLSignature kSignatures[] = {{10, HasPngSignature}};

}  // namespace

constinit const TVLFormatDescriptor kPngDescriptor{
    .FileType = ioPNG,
    .Name = "PNG",
    .FullName = "Portable Network Graphics",
    .Extensions = "PNG",
    .SaveExtensions = "PNG",
    .Signatures = kSignatures,
    .Read = ReadPng,
    .Write = WritePng,
    .ViewDpiAfterFile = true,
    .ViewDpiAfterStream = true,
    .BeforeFileRead = PresetPngBackground,
    .BackgroundAfterRead = PngBackgroundOf,
};

}  // namespace velora
