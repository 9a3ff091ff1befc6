// JPEG reader and writer over libjpeg (interface 62).
#pragma once
#include <stdexcept>
#include <cstdint>
#include <string>

#include "bitmap/toolkit_bitmap.h"
#include "bitmap/vl_mask.h"
#include "io/format_descriptor.h"
#include "io/io_params.h"
#include "base/progress.h"
#include "base/vl_stream.h"

namespace velora {

// Raised by the JPEG writer: "JPeg corrupted file".
class EVLJpegException : public std::runtime_error {
 public:
  EVLJpegException() : std::runtime_error("JPeg corrupted file") {}
};

// Position of the first start-of-image signature within the next 100 bytes, or -1; the
// stream position is left unchanged.
int64_t FindJpegStart(TVLStream& stream);
// How the stream holds its components when a container says so, whatever the stream's own
// markers suggest: jcMarked goes by the markers (four components inverted, 255 no ink, as
// Adobe's files have them); a TIFF says plain inks (0 no ink) for PhotometricInterpretation 5,
// RGB without a colour transform for 2, YCbCr for 6.
enum class TJpegComponents { jcMarked, jcPlainCmyk, jcRgb, jcYCbCr };
void JpegReadStream(TVLStream& stream, TBitmap* bitmap, TIOParamsVals& params, bool headerOnly,
                    TVLProgressRecord& progress, TJpegComponents components = TJpegComponents::jcMarked);
void JpegWriteStream(TVLStream& stream, TBitmap& bitmap, TIOParamsVals& params, TVLProgressRecord& progress);

// The metadata step after every JPEG read: IPTC from the first APP13 marker, EXIF from an
// APP1 "Exif" block.
void ApplyJpegMetadata(TIOParamsVals& params);
// The EXIF half: the TIFF structure after the 6-byte "Exif" prefix of an APP1 block.
void ApplyJpegExifBlock(TIOParamsVals& params, const uint8_t* block, int64_t size);
// The Orientation of IFD 0 in an APP1 "Exif" block, found without the TIFF reader (the
// decoder asks before it picks its scale); 0 when the block holds none.
int JpegExifOrientation(const uint8_t* app1, int64_t size);
// Once the picture was turned upright, the EXIF block says so (Orientation 1), so that a file
// written from this record is not turned a second time by whoever reads it.
void MarkJpegUpright(TIOParamsVals& params);
// Orientations 5 to 8 lie on their side: upright, width and height change places.
inline bool JpegOrientationLiesOnItsSide(int orientation) { return orientation >= 5 && orientation <= 8; }
// Before a JPEG write: when IptcInfo was changed, its encoding replaces the first APP13
// marker (or joins the list as a new one).
void PrepareJpegMarkers(TIOParamsVals& params);

// The profile from the APP2 "ICC_PROFILE" markers, pieced together (IccProfileBroken when
// the pieces do not make one); before a write, those markers made afresh from IccProfile.
void ReadJpegIccProfile(TIOParamsVals& params);
void PrepareJpegIccMarkers(TIOParamsVals& params);

extern const TVLFormatDescriptor kJpegDescriptor;

}  // namespace velora
