// JPEG XL reader: libjxl's decoder driven through its events. The orientation is kept as
// stored and applied here when asked, like every other format's; the pixels come in the
// colour space the decoder gives them in (the file's own, or sRGB for XYB-coded pictures
// whose original space it can describe), with that space's ICC profile.
#include <jxl/decode.h>
#include <jxl/resizable_parallel_runner.h>

#include <memory>
#include <string>
#include <vector>

#include "io/image_limits.h"
#include "io/library_decode.h"
#include "jxl_codec.h"

namespace velora {

namespace {

struct TDecoderDeleter {
  void operator()(JxlDecoder* d) const { JxlDecoderDestroy(d); }
};
struct TRunnerDeleter {
  void operator()(void* r) const { JxlResizableParallelRunnerDestroy(r); }
};

// libjxl reports no reason of its own beyond its status.
constexpr const char* kRefused = "JPEG XL: the decoder refused the file (damaged, or not JPEG XL)";

struct TJxlRead {
  std::vector<uint8_t> bytes;
  std::unique_ptr<JxlDecoder, TDecoderDeleter> decoder;
  std::unique_ptr<void, TRunnerDeleter> runner;
  JxlBasicInfo info{};
  JxlPixelFormat format{3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
  std::vector<uint8_t> pixels;
  int frames = 0;
};

bool IsSRGB(const JxlColorEncoding& c) {
  return c.white_point == JXL_WHITE_POINT_D65 && c.transfer_function == JXL_TRANSFER_FUNCTION_SRGB &&
         (c.color_space == JXL_COLOR_SPACE_GRAY ||
          (c.color_space == JXL_COLOR_SPACE_RGB && c.primaries == JXL_PRIMARIES_SRGB));
}

// The profile of the pixels as decoded, unless they are plain sRGB.
void TakeProfile(TJxlRead& read, TIOParamsVals& params) {
  JxlDecoder* dec = read.decoder.get();
  JxlColorEncoding encoding;
  if (JxlDecoderGetColorAsEncodedProfile(dec, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &encoding) == JXL_DEC_SUCCESS &&
      IsSRGB(encoding))
    return;
  size_t size = 0;
  if (JxlDecoderGetICCProfileSize(dec, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &size) != JXL_DEC_SUCCESS || !size)
    return;
  params.IccProfile.resize(size);
  if (JxlDecoderGetColorAsICCProfile(dec, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, params.IccProfile.data(), size) !=
      JXL_DEC_SUCCESS)
    params.IccProfile.clear();
}

bool Start(const TVLReadJob& job, TJxlRead& read, int events) {
  if (!VLReadJobBytes(job, "JPEG XL", read.bytes)) return false;
  read.decoder.reset(JxlDecoderCreate(nullptr));
  if (!read.decoder) {
    job.progress.Fail("JPEG XL: out of memory");
    return false;
  }
  JxlDecoder* dec = read.decoder.get();
  if (JxlDecoderSubscribeEvents(dec, events) != JXL_DEC_SUCCESS || JxlDecoderSetKeepOrientation(dec, JXL_TRUE) != JXL_DEC_SUCCESS ||
      JxlDecoderSetInput(dec, read.bytes.data(), read.bytes.size()) != JXL_DEC_SUCCESS) {
    job.progress.Fail(kRefused);
    return false;
  }
  JxlDecoderCloseInput(dec);
  // The runner is set before the decoder starts; its threads are chosen once the size is known.
  read.runner.reset(JxlResizableParallelRunnerCreate(nullptr));
  if (read.runner) JxlDecoderSetParallelRunner(dec, JxlResizableParallelRunner, read.runner.get());
  return true;
}

// Facts from the basic information; false when the image is refused or the read is over.
bool OnBasicInfo(const TVLReadJob& job, TJxlRead& read) {
  if (JxlDecoderGetBasicInfo(read.decoder.get(), &read.info) != JXL_DEC_SUCCESS) {
    job.progress.Fail(kRefused);
    return false;
  }
  const JxlBasicInfo& info = read.info;
  const bool alpha = info.alpha_bits > 0;
  VLSetHeaderFacts(job.params, int(info.xsize), int(info.ysize), int(info.bits_per_sample), alpha,
                   info.num_color_channels == 1);
  job.params.ImageCount = 1;
  read.format.num_channels = alpha ? 4 : 3;
  if (!info.have_animation && job.params.ImageIndex != 0) {
    job.progress.Fail("JPEG XL: frame " + std::to_string(job.params.ImageIndex) + " asked, the file has 1");
    return false;
  }
  // JPEG XL has no densest coding worth bounding: a few bytes may describe any size.
  const TVLOpenCheck check{"JPEG XL", int64_t(info.xsize), int64_t(info.ysize)};
  const bool decode = VLCheckOpen(check, job.headerOnly, job.bitmap, TPixelFormat::pf24bit, job.progress);
  return decode || (job.headerOnly && !job.progress.Aborted());
}

bool OnNeedBuffer(const TVLReadJob& job, TJxlRead& read) {
  JxlDecoder* dec = read.decoder.get();
  if (read.runner)
    JxlResizableParallelRunnerSetThreads(read.runner.get(),
                                         JxlResizableParallelRunnerSuggestThreads(read.info.xsize, read.info.ysize));
  size_t size = 0;
  if (JxlDecoderImageOutBufferSize(dec, &read.format, &size) != JXL_DEC_SUCCESS) {
    job.progress.Fail(kRefused);
    return false;
  }
  read.pixels.resize(size);
  if (JxlDecoderSetImageOutBuffer(dec, &read.format, read.pixels.data(), size) != JXL_DEC_SUCCESS) {
    job.progress.Fail(kRefused);
    return false;
  }
  return true;
}

// Runs the decoder to its end, or with pixels to the end of frame ImageIndex.
bool Drive(const TVLReadJob& job, TJxlRead& read, bool pixels) {
  JxlDecoder* dec = read.decoder.get();
  for (;;) {
    const JxlDecoderStatus status = JxlDecoderProcessInput(dec);
    switch (status) {
      case JXL_DEC_BASIC_INFO:
        if (!OnBasicInfo(job, read)) return false;
        if (pixels && job.params.ImageIndex > 0) JxlDecoderSkipFrames(dec, size_t(job.params.ImageIndex));
        break;
      case JXL_DEC_COLOR_ENCODING: TakeProfile(read, job.params); break;
      case JXL_DEC_FRAME: ++read.frames; break;
      case JXL_DEC_NEED_IMAGE_OUT_BUFFER:
        if (!OnNeedBuffer(job, read)) return false;
        break;
      case JXL_DEC_FULL_IMAGE: return true;
      case JXL_DEC_SUCCESS:
        if (pixels) {
          job.progress.Fail("JPEG XL: frame " + std::to_string(job.params.ImageIndex) + " asked, the file has fewer");
          return false;
        }
        return true;
      case JXL_DEC_NEED_MORE_INPUT: job.progress.Fail("JPEG XL: the file is cut off"); return false;
      default: job.progress.Fail(kRefused); return false;
    }
  }
}

}  // namespace

bool JxlProbe(std::span<const uint8_t> lead) {
  const JxlSignature signature = JxlSignatureCheck(lead.data(), lead.size());
  return signature == JXL_SIG_CODESTREAM || signature == JXL_SIG_CONTAINER;
}

void JxlReadHeader(const TVLReadJob& job) {
  TJxlRead read;
  if (!Start(job, read, JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FRAME) || !Drive(job, read, false))
    return;
  job.params.ImageCount = std::max(read.frames, 1);
  VLTurnUprightIfAsked(job, int(read.info.orientation));
}

void JxlReadPixels(const TVLReadJob& job) {
  TJxlRead read;
  if (!Start(job, read, JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FULL_IMAGE) || !Drive(job, read, true))
    return;
  TBitmap& bitmap = *job.bitmap;
  const int channels = int(read.format.num_channels);
  if (read.pixels.size() < size_t(bitmap.Width()) * size_t(bitmap.Height()) * size_t(channels)) {
    job.progress.Fail("JPEG XL: the decoded frame is smaller than the image");
    return;
  }
  VLPrepareAlpha(bitmap, job.alphaMask);
  VLStoreRows8(read.pixels.data(), int64_t(bitmap.Width()) * channels, channels, 0, bitmap.Height(), bitmap,
               job.alphaMask);
  VLFinishAlpha(job.alphaMask, channels == 4);
  VLTurnUprightIfAsked(job, int(read.info.orientation));
}

}  // namespace velora
