// JPEG XL writer: lossless only, which is what a conversion into it is for here (a
// lossless round trip is exact).
#include <jxl/encode.h>

#include <memory>
#include <string>
#include <vector>

#include "io/library_decode.h"
#include "jxl_codec.h"

namespace velora {

namespace {

struct TEncoderDeleter {
  void operator()(JxlEncoder* e) const { JxlEncoderDestroy(e); }
};

std::string Reason(JxlEncoder* encoder) {
  switch (JxlEncoderGetError(encoder)) {
    case JXL_ENC_ERR_OOM: return "JPEG XL: out of memory";
    case JXL_ENC_ERR_NOT_SUPPORTED: return "JPEG XL: not supported by the encoder";
    case JXL_ENC_ERR_API_USAGE: return "JPEG XL: the encoder refused the picture's description";
    case JXL_ENC_ERR_BAD_INPUT: return "JPEG XL: the encoder refused the picture (or its ICC profile)";
    default: return "JPEG XL: encoding failed";
  }
}

bool Describe(JxlEncoder* encoder, const TVLInterleaved& picture, const std::vector<uint8_t>& icc) {
  JxlBasicInfo info;
  JxlEncoderInitBasicInfo(&info);
  info.xsize = uint32_t(picture.width);
  info.ysize = uint32_t(picture.height);
  info.bits_per_sample = 8;
  info.num_color_channels = 3;
  info.uses_original_profile = JXL_TRUE;  // lossless: no XYB
  if (picture.channels == 4) {
    info.alpha_bits = 8;
    info.num_extra_channels = 1;
  }
  if (JxlEncoderSetBasicInfo(encoder, &info) != JXL_ENC_SUCCESS) return false;
  if (!icc.empty()) return JxlEncoderSetICCProfile(encoder, icc.data(), icc.size()) == JXL_ENC_SUCCESS;
  JxlColorEncoding srgb;
  JxlColorEncodingSetToSRGB(&srgb, JXL_FALSE);
  return JxlEncoderSetColorEncoding(encoder, &srgb) == JXL_ENC_SUCCESS;
}

bool Encode(JxlEncoder* encoder, std::vector<uint8_t>& out) {
  out.resize(1 << 16);
  uint8_t* next = out.data();
  size_t avail = out.size();
  for (;;) {
    const JxlEncoderStatus status = JxlEncoderProcessOutput(encoder, &next, &avail);
    if (status == JXL_ENC_SUCCESS) break;
    if (status != JXL_ENC_NEED_MORE_OUTPUT) return false;
    const size_t used = size_t(next - out.data());
    out.resize(out.size() * 2);
    next = out.data() + used;
    avail = out.size() - used;
  }
  out.resize(size_t(next - out.data()));
  return true;
}

}  // namespace

void JxlWrite(TVLStream& stream, TBitmap& bitmap, TIOParamsVals& params, TVLMask* alphaMask,
              TVLProgressRecord& progress) {
  const TVLInterleaved picture = VLInterleave(bitmap, alphaMask);
  std::unique_ptr<JxlEncoder, TEncoderDeleter> encoder(JxlEncoderCreate(nullptr));
  if (!encoder) {
    progress.Fail("JPEG XL: out of memory");
    return;
  }
  JxlEncoderFrameSettings* settings = JxlEncoderFrameSettingsCreate(encoder.get(), nullptr);
  const JxlPixelFormat format{uint32_t(picture.channels), JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
  std::vector<uint8_t> out;
  if (!settings || !Describe(encoder.get(), picture, params.IccProfile) ||
      JxlEncoderSetFrameLossless(settings, JXL_TRUE) != JXL_ENC_SUCCESS ||
      JxlEncoderAddImageFrame(settings, &format, picture.samples.data(), picture.samples.size()) != JXL_ENC_SUCCESS) {
    progress.Fail(Reason(encoder.get()));
    return;
  }
  JxlEncoderCloseInput(encoder.get());
  if (!Encode(encoder.get(), out)) {
    progress.Fail(Reason(encoder.get()));
    return;
  }
  stream.WriteBuffer(out.data(), int64_t(out.size()));
}

}  // namespace velora
