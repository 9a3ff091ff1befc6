// AVIF writer: the picture to YUV through libavif's own conversion, then its AV1 encoder.
#include <avif/avif.h>

#include <algorithm>
#include <string>

#include "io/library_decode.h"
#include "avif_codec.h"

namespace velora {

namespace {

// Quality 100 is the finest quantizer, 0 the coarsest.
int QuantizerOf(int quality) { return (100 - std::clamp(quality, 0, 100)) * AVIF_QUANTIZER_WORST_QUALITY / 100; }

std::string Reason(const char* step, avifResult result, const avifDiagnostics* diag) {
  std::string reason = std::string("AVIF: ") + step + ": " + avifResultToString(result);
  if (diag && diag->error[0]) reason += std::string(" (") + diag->error + ")";
  return reason;
}

}  // namespace

void AvifWrite(TVLStream& stream, TBitmap& bitmap, TIOParamsVals& params, TVLMask* alphaMask,
               TVLProgressRecord& progress) {
  TVLInterleaved picture = VLInterleave(bitmap, alphaMask);
  const bool lossless = params.AvifLossless;
  avifImage* image = avifImageCreate(uint32_t(picture.width), uint32_t(picture.height), 8,
                                     lossless ? AVIF_PIXEL_FORMAT_YUV444 : AVIF_PIXEL_FORMAT_YUV420);
  avifEncoder* encoder = avifEncoderCreate();
  avifRWData output = AVIF_DATA_EMPTY;
  if (!image || !encoder) {
    progress.Fail("AVIF: out of memory");
  } else {
    if (lossless) {
      // Lossless AV1 codes the samples as given: RGB itself, as the identity matrix says.
      image->matrixCoefficients = AVIF_MATRIX_COEFFICIENTS_IDENTITY;
      image->yuvRange = AVIF_RANGE_FULL;
    }
    if (!params.IccProfile.empty()) avifImageSetProfileICC(image, params.IccProfile.data(), params.IccProfile.size());
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, image);
    rgb.depth = 8;
    rgb.format = picture.channels == 4 ? AVIF_RGB_FORMAT_RGBA : AVIF_RGB_FORMAT_RGB;
    rgb.pixels = picture.samples.data();
    rgb.rowBytes = uint32_t(picture.width * picture.channels);
    avifResult result = avifImageRGBToYUV(image, &rgb);
    if (result != AVIF_RESULT_OK) {
      progress.Fail(Reason("conversion", result, nullptr));
    } else {
      encoder->speed = std::clamp(params.AvifSpeed, AVIF_SPEED_SLOWEST, AVIF_SPEED_FASTEST);
      encoder->minQuantizer = encoder->maxQuantizer = lossless ? 0 : QuantizerOf(params.AvifQuality);
      encoder->minQuantizerAlpha = encoder->maxQuantizerAlpha = lossless ? 0 : QuantizerOf(params.AvifQuality);
      result = avifEncoderWrite(encoder, image, &output);
      if (result != AVIF_RESULT_OK)
        progress.Fail(Reason("encoding", result, &encoder->diag));
      else
        stream.WriteBuffer(output.data, int64_t(output.size));
    }
  }
  avifRWDataFree(&output);
  if (encoder) avifEncoderDestroy(encoder);
  if (image) avifImageDestroy(image);
}

}  // namespace velora
