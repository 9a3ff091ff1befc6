// WebP reader: the demuxer gives the container's facts and chunks, the decoder a still
// picture straight into the bitmap's rows, the animation decoder the frames of an animation.
#include <webp/decode.h>
#include <webp/demux.h>

#include <memory>
#include <string>
#include <vector>

#include "io/image_limits.h"
#include "io/library_decode.h"
#include "webp_codec.h"

namespace velora {

namespace {

struct TDemuxDeleter {
  void operator()(WebPDemuxer* d) const { WebPDemuxDelete(d); }
};
struct TAnimDeleter {
  void operator()(WebPAnimDecoder* d) const { WebPAnimDecoderDelete(d); }
};

const char* StatusText(VP8StatusCode status) {
  switch (status) {
    case VP8_STATUS_OUT_OF_MEMORY: return "out of memory";
    case VP8_STATUS_INVALID_PARAM: return "invalid parameter";
    case VP8_STATUS_BITSTREAM_ERROR: return "bitstream error";
    case VP8_STATUS_UNSUPPORTED_FEATURE: return "unsupported feature";
    case VP8_STATUS_SUSPENDED: return "suspended";
    case VP8_STATUS_USER_ABORT: return "stopped";
    case VP8_STATUS_NOT_ENOUGH_DATA: return "not enough data (cut off)";
    default: return "decoding failed";
  }
}

// The container as the demuxer sees it, with the bytes it points into.
struct TWebpFile {
  std::vector<uint8_t> bytes;
  std::unique_ptr<WebPDemuxer, TDemuxDeleter> demux;
  int width = 0, height = 0, frames = 0;
  bool alpha = false, animated = false;
};

std::span<const uint8_t> Chunk(const TWebpFile& file, const char* fourcc) {
  WebPChunkIterator it;
  if (!WebPDemuxGetChunk(file.demux.get(), fourcc, 1, &it)) return {};
  std::span<const uint8_t> chunk(it.chunk.bytes, it.chunk.size);
  WebPDemuxReleaseChunkIterator(&it);
  return chunk;
}

// Reads the container and fills the record; false (with a reason) when it is not one.
bool OpenWebp(const TVLReadJob& job, TWebpFile& file) {
  if (!VLReadJobBytes(job, "WebP", file.bytes)) return false;
  const WebPData data{file.bytes.data(), file.bytes.size()};
  WebPDemuxState state = WEBP_DEMUX_PARSE_ERROR;
  file.demux.reset(WebPDemuxPartial(&data, &state));
  if (!file.demux || state != WEBP_DEMUX_DONE) {
    job.progress.Fail(state == WEBP_DEMUX_PARSING_HEADER || state == WEBP_DEMUX_PARSED_HEADER
                          ? "WebP: the file is cut off"
                          : "WebP: not a valid WebP container");
    return false;
  }
  WebPDemuxer* demux = file.demux.get();
  const uint32_t flags = WebPDemuxGetI(demux, WEBP_FF_FORMAT_FLAGS);
  file.width = int(WebPDemuxGetI(demux, WEBP_FF_CANVAS_WIDTH));
  file.height = int(WebPDemuxGetI(demux, WEBP_FF_CANVAS_HEIGHT));
  file.frames = int(WebPDemuxGetI(demux, WEBP_FF_FRAME_COUNT));
  file.animated = (flags & ANIMATION_FLAG) != 0;
  file.alpha = (flags & ALPHA_FLAG) != 0;
  if (!file.animated) {
    // A simple file (VP8 or VP8L alone) has no flags: its bitstream says whether it has alpha.
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(file.bytes.data(), file.bytes.size(), &features) == VP8_STATUS_OK)
      file.alpha = features.has_alpha != 0;
  }
  TIOParamsVals& params = job.params;
  VLSetHeaderFacts(params, file.width, file.height, 8, file.alpha, false);
  params.ImageCount = file.frames;
  const std::span<const uint8_t> icc = Chunk(file, "ICCP");
  params.IccProfile.assign(icc.begin(), icc.end());
  if (params.ImageIndex < 0 || params.ImageIndex >= std::max(file.frames, 1)) {
    job.progress.Fail("WebP: frame " + std::to_string(params.ImageIndex) + " asked, the file has " +
                      std::to_string(file.frames));
    return false;
  }
  return true;
}

int Orientation(const TWebpFile& file) { return VLExifOrientationOf(Chunk(file, "EXIF")); }

// A still picture: without alpha decoded in blue-green-red straight into the bitmap, whose
// rows lie bottom-up in memory (the decoder's flip); with alpha through a buffer.
void DecodeStill(const TVLReadJob& job, const TWebpFile& file) {
  TBitmap& bitmap = *job.bitmap;
  WebPDecoderConfig config;
  if (!WebPInitDecoderConfig(&config)) {
    job.progress.Fail("WebP: library version mismatch");
    return;
  }
  const bool withAlpha = file.alpha && job.alphaMask;
  std::vector<uint8_t> rgba;
  if (withAlpha) {
    rgba.resize(size_t(file.width) * size_t(file.height) * 4);
    config.output.colorspace = MODE_RGBA;
    config.output.u.RGBA.rgba = rgba.data();
    config.output.u.RGBA.stride = file.width * 4;
    config.output.u.RGBA.size = rgba.size();
  } else {
    config.options.flip = 1;
    config.output.colorspace = MODE_BGR;
    config.output.u.RGBA.rgba = bitmap.Bits();
    config.output.u.RGBA.stride = bitmap.RowLen();
    config.output.u.RGBA.size = size_t(bitmap.RowLen()) * size_t(file.height);
  }
  config.output.is_external_memory = 1;
  const VP8StatusCode status = WebPDecode(file.bytes.data(), file.bytes.size(), &config);
  WebPFreeDecBuffer(&config.output);
  if (status != VP8_STATUS_OK) {
    job.progress.Fail(std::string("WebP: ") + StatusText(status));
    return;
  }
  if (withAlpha) VLStoreRows8(rgba.data(), int64_t(file.width) * 4, 4, 0, file.height, bitmap, job.alphaMask);
}

// Frame ImageIndex of an animation, composed as a player shows it.
void DecodeFrame(const TVLReadJob& job, const TWebpFile& file) {
  WebPAnimDecoderOptions options;
  WebPAnimDecoderOptionsInit(&options);
  options.color_mode = MODE_RGBA;
  const WebPData data{file.bytes.data(), file.bytes.size()};
  std::unique_ptr<WebPAnimDecoder, TAnimDeleter> decoder(WebPAnimDecoderNew(&data, &options));
  if (!decoder) {
    job.progress.Fail("WebP: the animation cannot be decoded");
    return;
  }
  uint8_t* frame = nullptr;
  for (int i = 0; i <= job.params.ImageIndex; ++i) {
    int timestamp = 0;
    if (!WebPAnimDecoderGetNext(decoder.get(), &frame, &timestamp)) {
      job.progress.Fail("WebP: frame " + std::to_string(i) + " cannot be decoded");
      return;
    }
  }
  VLStoreRows8(frame, int64_t(file.width) * 4, 4, 0, file.height, *job.bitmap, file.alpha ? job.alphaMask : nullptr);
}

bool CheckOpen(const TVLReadJob& job, const TWebpFile& file) {
  // No ratio of pixels to bytes holds for WebP: a lossless file of a few dozen bytes may carry
  // 16383 x 16383 pixels of one colour. The demuxer has already refused a container whose
  // chunks the file does not hold; what is left to bound is the pixel count.
  const TVLOpenCheck check{"WebP", file.width, file.height};
  return VLCheckOpen(check, job.headerOnly, job.bitmap, TPixelFormat::pf24bit, job.progress);
}

}  // namespace

bool WebpProbe(std::span<const uint8_t> lead) {
  return lead.size() >= 12 && std::equal(lead.begin(), lead.begin() + 4, "RIFF") &&
         std::equal(lead.begin() + 8, lead.begin() + 12, "WEBP");
}

void WebpReadHeader(const TVLReadJob& job) {
  TWebpFile file;
  if (!OpenWebp(job, file)) return;
  CheckOpen(job, file);
  VLTurnUprightIfAsked(job, Orientation(file));
}

void WebpReadPixels(const TVLReadJob& job) {
  TWebpFile file;
  if (!OpenWebp(job, file) || !CheckOpen(job, file)) return;
  VLPrepareAlpha(*job.bitmap, job.alphaMask);
  if (file.animated)
    DecodeFrame(job, file);
  else
    DecodeStill(job, file);
  VLFinishAlpha(job.alphaMask, file.alpha);
  VLTurnUprightIfAsked(job, Orientation(file));
}

}  // namespace velora
