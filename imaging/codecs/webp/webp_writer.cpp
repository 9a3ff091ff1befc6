// WebP writer: libwebp's encoder, then its muxer when an ICC profile goes with the picture.
#include <webp/encode.h>
#include <webp/mux.h>

#include <algorithm>
#include <string>

#include "io/library_decode.h"
#include "webp_codec.h"

namespace velora {

namespace {

const char* EncodingErrorText(WebPEncodingError error) {
  switch (error) {
    case VP8_ENC_ERROR_OUT_OF_MEMORY:
    case VP8_ENC_ERROR_BITSTREAM_OUT_OF_MEMORY: return "out of memory";
    case VP8_ENC_ERROR_BAD_DIMENSION: return "the picture is larger than 16383 pixels a side";
    case VP8_ENC_ERROR_FILE_TOO_BIG: return "the picture is too large for a WebP file";
    case VP8_ENC_ERROR_USER_ABORT: return "stopped";
    default: return "encoding failed";
  }
}

// The encoded bitstream into a container with the ICCP chunk.
bool WithProfile(const WebPMemoryWriter& encoded, const std::vector<uint8_t>& icc, WebPData& out) {
  WebPMux* mux = WebPMuxNew();
  if (!mux) return false;
  const WebPData image{encoded.mem, encoded.size};
  const WebPData profile{icc.data(), icc.size()};
  const bool ok = WebPMuxSetImage(mux, &image, 0) == WEBP_MUX_OK &&
                  WebPMuxSetChunk(mux, "ICCP", &profile, 0) == WEBP_MUX_OK && WebPMuxAssemble(mux, &out) == WEBP_MUX_OK;
  WebPMuxDelete(mux);
  return ok;
}

}  // namespace

void WebpWrite(TVLStream& stream, TBitmap& bitmap, TIOParamsVals& params, TVLMask* alphaMask,
               TVLProgressRecord& progress) {
  const TVLInterleaved picture = VLInterleave(bitmap, alphaMask);
  WebPConfig config;
  WebPPicture pic;
  if (!WebPConfigInit(&config) || !WebPPictureInit(&pic)) {
    progress.Fail("WebP: library version mismatch");
    return;
  }
  config.lossless = params.WebpLossless ? 1 : 0;
  config.quality = float(std::clamp(params.WebpQuality, 0, 100));
  // Lossless keeps the colour under fully transparent pixels too, so that a round trip is exact.
  config.exact = 1;
  pic.use_argb = 1;
  pic.width = picture.width;
  pic.height = picture.height;
  const int stride = picture.width * picture.channels;
  const int imported = picture.channels == 4 ? WebPPictureImportRGBA(&pic, picture.samples.data(), stride)
                                             : WebPPictureImportRGB(&pic, picture.samples.data(), stride);
  WebPMemoryWriter writer;
  WebPMemoryWriterInit(&writer);
  pic.writer = WebPMemoryWrite;
  pic.custom_ptr = &writer;
  if (!imported || !WebPEncode(&config, &pic)) {
    progress.Fail(std::string("WebP: ") + EncodingErrorText(pic.error_code));
  } else if (params.IccProfile.empty()) {
    stream.WriteBuffer(writer.mem, int64_t(writer.size));
  } else {
    WebPData assembled{};
    if (WithProfile(writer, params.IccProfile, assembled))
      stream.WriteBuffer(assembled.bytes, int64_t(assembled.size));
    else
      progress.Fail("WebP: the ICC profile cannot be added");
    WebPDataClear(&assembled);
  }
  WebPMemoryWriterClear(&writer);
  WebPPictureFree(&pic);
}

}  // namespace velora
