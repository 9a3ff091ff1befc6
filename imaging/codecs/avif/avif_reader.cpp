// AVIF reader: libavif parses the container and decodes the frame; its own YUV to RGB step
// reduces 10 and 12 bits to 8, exactly as avifdec does when asked for 8 bits.
#include <avif/avif.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "io/image_limits.h"
#include "io/isobmff_brands.h"
#include "io/library_decode.h"
#include "avif_codec.h"

namespace velora {

namespace {

struct TDecoderDeleter {
  void operator()(avifDecoder* d) const { avifDecoderDestroy(d); }
};
using TDecoder = std::unique_ptr<avifDecoder, TDecoderDeleter>;

void FailWith(const TVLReadJob& job, const avifDecoder& decoder, avifResult result) {
  std::string reason = std::string("AVIF: ") + avifResultToString(result);
  if (decoder.diag.error[0]) reason += std::string(" (") + decoder.diag.error + ")";
  job.progress.Fail(reason);
}

// The rotation and mirror properties as the EXIF Orientation that does the same: irot turns
// by quarters counter-clockwise, then imir exchanges top and bottom (mode 0) or left and
// right (mode 1).
int OrientationOf(const avifImage& image) {
  static constexpr int kByTurnAndMirror[4][3] = {{1, 4, 2}, {8, 5, 7}, {3, 2, 4}, {6, 7, 5}};
  const int turn = image.transformFlags & AVIF_TRANSFORM_IROT ? image.irot.angle & 3 : 0;
  const int mirror = image.transformFlags & AVIF_TRANSFORM_IMIR ? 1 + (image.imir.mode & 1) : 0;
  if (turn || mirror) return kByTurnAndMirror[turn][mirror];
  // Without those, a camera's EXIF may still say how to hold the picture.
  return VLExifOrientationOf({image.exif.data, image.exif.size});
}

// The decoder parsed, its limits set from ours; the record filled from the container.
TDecoder OpenAvif(const TVLReadJob& job, std::vector<uint8_t>& bytes) {
  if (!VLReadJobBytes(job, "AVIF", bytes)) return nullptr;
  TDecoder decoder(avifDecoderCreate());
  if (!decoder) {
    job.progress.Fail("AVIF: out of memory");
    return nullptr;
  }
  decoder->maxThreads = 1;
  decoder->imageSizeLimit = uint32_t(std::min<int64_t>(VLMaxPixels(), AVIF_DEFAULT_IMAGE_SIZE_LIMIT));
  avifResult result = avifDecoderSetIOMemory(decoder.get(), bytes.data(), bytes.size());
  if (result == AVIF_RESULT_OK) result = avifDecoderParse(decoder.get());
  if (result != AVIF_RESULT_OK) {
    FailWith(job, *decoder, result);
    return nullptr;
  }
  const avifImage& image = *decoder->image;
  TIOParamsVals& params = job.params;
  // The depth as stored; the pixels come at 8 bits.
  VLSetHeaderFacts(params, int(image.width), int(image.height), int(image.depth), decoder->alphaPresent,
                   image.yuvFormat == AVIF_PIXEL_FORMAT_YUV400);
  params.ImageCount = decoder->imageCount;
  params.IccProfile.assign(image.icc.data, image.icc.data + image.icc.size);
  if (params.ImageIndex < 0 || params.ImageIndex >= decoder->imageCount) {
    job.progress.Fail("AVIF: frame " + std::to_string(params.ImageIndex) + " asked, the file has " +
                      std::to_string(decoder->imageCount));
    return nullptr;
  }
  return decoder;
}

// AV1 has no densest coding worth bounding, but the container says where the frame's data
// lies: a file that ends before it is refused before a bitmap is made (and not listed).
bool CheckOpen(const TVLReadJob& job, const avifDecoder& decoder, size_t fileSize) {
  const avifImage& image = *decoder.image;
  avifExtent extent{};
  const bool located =
      avifDecoderNthImageMaxExtent(&decoder, uint32_t(job.params.ImageIndex), &extent) == AVIF_RESULT_OK;
  const int64_t available = int64_t(fileSize);
  const TVLOpenCheck check{"AVIF", image.width, image.height,
                           [&] { return located ? int64_t(extent.offset + extent.size) : available + 1; }, available};
  return VLCheckOpen(check, job.headerOnly, job.bitmap, TPixelFormat::pf24bit, job.progress);
}

}  // namespace

bool AvifProbe(std::span<const uint8_t> lead) {
  return VLHasBrand(VLFtypBrands(lead), {"avif", "avis"});
}

void AvifReadHeader(const TVLReadJob& job) {
  std::vector<uint8_t> bytes;
  const TDecoder decoder = OpenAvif(job, bytes);
  if (!decoder) return;
  CheckOpen(job, *decoder, bytes.size());
  VLTurnUprightIfAsked(job, OrientationOf(*decoder->image));
}

void AvifReadPixels(const TVLReadJob& job) {
  std::vector<uint8_t> bytes;
  const TDecoder decoder = OpenAvif(job, bytes);
  if (!decoder || !CheckOpen(job, *decoder, bytes.size())) return;
  avifResult result = avifDecoderNthImage(decoder.get(), uint32_t(job.params.ImageIndex));
  if (result != AVIF_RESULT_OK) {
    FailWith(job, *decoder, result);
    return;
  }
  const avifImage& image = *decoder->image;
  TBitmap& bitmap = *job.bitmap;
  if (int(image.width) != bitmap.Width() || int(image.height) != bitmap.Height()) {
    job.progress.Fail("AVIF: a frame of another size than the sequence");
    return;
  }
  const bool alpha = image.alphaPlane != nullptr;
  avifRGBImage rgb;
  avifRGBImageSetDefaults(&rgb, &image);
  rgb.depth = 8;
  rgb.format = alpha ? AVIF_RGB_FORMAT_RGBA : AVIF_RGB_FORMAT_BGR;
  // The bitmap's rows lie bottom-up and libavif takes no negative step: through a buffer.
  avifRGBImageAllocatePixels(&rgb);
  result = avifImageYUVToRGB(&image, &rgb);
  if (result == AVIF_RESULT_OK) {
    VLPrepareAlpha(bitmap, job.alphaMask);
    if (alpha) {
      VLStoreRows8(rgb.pixels, rgb.rowBytes, 4, 0, int(image.height), bitmap, job.alphaMask);
    } else {
      for (int y = 0; y < int(image.height); ++y)
        std::memcpy(bitmap.ScanLine(y), rgb.pixels + size_t(y) * rgb.rowBytes, size_t(image.width) * 3);
    }
    VLFinishAlpha(job.alphaMask, alpha);
  }
  avifRGBImageFreePixels(&rgb);
  if (result != AVIF_RESULT_OK) {
    FailWith(job, *decoder, result);
    return;
  }
  VLTurnUprightIfAsked(job, OrientationOf(image));
}

}  // namespace velora
