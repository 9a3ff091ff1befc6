// What the readers over a decoding library share (WebP, AVIF, HEIF, JPEG XL): those
// libraries take the whole file in memory, hand back rows of 8-bit samples in their own
// order, and leave the orientation and the alpha to the caller.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "format_descriptor.h"

namespace velora {

// The largest file such a reader takes into memory.
constexpr int64_t kMaxLibraryInputBytes = int64_t(1) << 30;

// The job's data, from the stream's position: job.size bytes, or up to the end when the
// size is 0. False, with "FORMAT: ..." as the reason, when it is empty or beyond the cap.
bool VLReadJobBytes(const TVLReadJob& job, const char* format, std::vector<uint8_t>& bytes);

// Rows of `channels` 8-bit samples per pixel (1 grey, 2 grey and alpha, 3 red green blue,
// 4 with alpha), top row first, into the bitmap (already of the right size, 24 bits) and,
// when there is one, the alpha into the mask; rows [first, first + count).
void VLStoreRows8(const uint8_t* pixels, int64_t stride, int channels, int first, int count, TBitmap& bitmap,
                  TVLMask* mask);
// The mask made ready for VLStoreRows8: the bitmap's size, opaque.
void VLPrepareAlpha(const TBitmap& bitmap, TVLMask* mask);
// The mask's box once all rows are in.
void VLFinishAlpha(TVLMask* mask, bool hadAlpha);

// The EXIF Orientation (1 to 8) of a TIFF structure as these containers carry it (with or
// without the "Exif\0\0" prefix); 0 when there is none.
int VLExifOrientationOf(std::span<const uint8_t> exif);

// When the record asks for upright photos (JpegApplyOrientation): the picture and its mask
// turned by the orientation, or, in a header-only read, the width and height exchanged for
// the orientations that lie on their side; ExifOrientation then says 1. A picture that
// cannot be turned stays as stored.
void VLTurnUprightIfAsked(const TVLReadJob& job, int orientation);

// Sets the facts every reader's header gives, for an 8-bit picture of 3 or 4 samples.
void VLSetHeaderFacts(TIOParamsVals& params, int width, int height, int bitsPerSample, bool alpha, bool grey);

}  // namespace velora

namespace velora {

// The other way, for the writers over such libraries: the picture as red, green, blue (and
// alpha, when the mask has transparency of the picture's size) rows, top row first, with no
// padding. A picture of another depth than 24 bits is expanded first.
struct TVLInterleaved {
  std::vector<uint8_t> samples;
  int width = 0, height = 0, channels = 3;
};
TVLInterleaved VLInterleave(const TBitmap& bitmap, const TVLMask* alphaMask);

}  // namespace velora
