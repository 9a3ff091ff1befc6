// The JPEG metadata around the codec: IPTC records in APP13 (read after every JPEG read,
// written before every JPEG write when changed) and the EXIF block of APP1.
#include <algorithm>
#include <cstring>
#include <exception>

#include "codecs/tiff/tiff_tags.h"
#include "jpeg_codec.h"

namespace velora {

namespace {
constexpr uint8_t kApp1 = 0xE1;
constexpr uint8_t kApp13 = 0xED;

bool IsExifBlock(const uint8_t* data, int size) { return size >= 4 && std::memcmp(data, "Exif", 4) == 0; }

// "Exif", two zero bytes, then a TIFF structure.
constexpr int64_t kExifPrefix = 6;

// A thumbnail is a JPEG that may carry an EXIF block of its own; one level of nesting is all a
// camera writes, and a hostile block must not nest without end.
thread_local int exifDepth = 0;

void CopyExifFields(const TIOParamsVals& from, TIOParamsVals& to) {
  to.ExifImageDescription = from.TiffImageDescription;
  to.ExifMake = from.ExifMake, to.ExifModel = from.ExifModel, to.ExifSoftware = from.ExifSoftware;
  to.ExifDateTime = from.ExifDateTime, to.ExifCopyright = from.ExifCopyright;
  to.ExifOrientation = from.ExifOrientation;
  to.ExifXResolution = from.ExifXResolution, to.ExifYResolution = from.ExifYResolution;
  to.ExifResolutionUnit = from.ExifResolutionUnit;
  std::memcpy(to.ExifWhitePoint, from.ExifWhitePoint, sizeof to.ExifWhitePoint);
  std::memcpy(to.ExifPrimaryChromaticities, from.ExifPrimaryChromaticities, sizeof to.ExifPrimaryChromaticities);
  std::memcpy(to.ExifYCbCrCoefficients, from.ExifYCbCrCoefficients, sizeof to.ExifYCbCrCoefficients);
  to.ExifYCbCrPositioning = from.ExifYCbCrPositioning;
  std::memcpy(to.ExifReferenceBlackWhite, from.ExifReferenceBlackWhite, sizeof to.ExifReferenceBlackWhite);
  to.ExifExposureTime = from.ExifExposureTime, to.ExifFNumber = from.ExifFNumber;
  to.ExifExposureProgram = from.ExifExposureProgram;
  std::memcpy(to.ExifISOSpeedRatings, from.ExifISOSpeedRatings, sizeof to.ExifISOSpeedRatings);
  to.ExifVersion = from.ExifVersion, to.ExifFlashPixVersion = from.ExifFlashPixVersion;
  to.ExifDateTimeOriginal = from.ExifDateTimeOriginal, to.ExifDateTimeDigitized = from.ExifDateTimeDigitized;
  to.ExifCompressedBitsPerPixel = from.ExifCompressedBitsPerPixel;
  to.ExifShutterSpeedValue = from.ExifShutterSpeedValue, to.ExifApertureValue = from.ExifApertureValue;
  to.ExifBrightnessValue = from.ExifBrightnessValue, to.ExifExposureBiasValue = from.ExifExposureBiasValue;
  to.ExifMaxApertureValue = from.ExifMaxApertureValue, to.ExifSubjectDistance = from.ExifSubjectDistance;
  to.ExifFocalLength = from.ExifFocalLength;
  to.ExifMeteringMode = from.ExifMeteringMode, to.ExifLightSource = from.ExifLightSource, to.ExifFlash = from.ExifFlash;
  to.ExifSubsecTime = from.ExifSubsecTime, to.ExifSubsecTimeOriginal = from.ExifSubsecTimeOriginal;
  to.ExifSubsecTimeDigitized = from.ExifSubsecTimeDigitized;
  to.ExifColorSpace = from.ExifColorSpace;
  to.ExifPixelXDimension = from.ExifPixelXDimension, to.ExifPixelYDimension = from.ExifPixelYDimension;
  to.ExifRelatedSoundFile = from.ExifRelatedSoundFile;
  to.ExifFocalPlaneXResolution = from.ExifFocalPlaneXResolution;
  to.ExifFocalPlaneYResolution = from.ExifFocalPlaneYResolution;
  to.ExifFocalPlaneResolutionUnit = from.ExifFocalPlaneResolutionUnit;
  to.ExifExposureIndex = from.ExifExposureIndex;
  to.ExifSensingMethod = from.ExifSensingMethod, to.ExifFileSource = from.ExifFileSource;
  to.ExifSceneType = from.ExifSceneType;
}

// One page of the block's TIFF structure through the TIFF reader, on its own progress record:
// nothing in the block can fail the JPEG read.
bool ReadExifPage(const TVLFormatDescriptor& tiff, const uint8_t* data, int64_t size, int page, TBitmap* into,
                  TIOParamsVals& scratch) {
  TVLBufferStream stream(data, size);
  scratch.TiffImageIndex = page;
  scratch.TiffApplyOrientation = false;
  TVLLocalProgress progress;
  tiff.Read({stream, size, into, nullptr, scratch, into == nullptr, progress.record});
  return !progress.aborting;
}
}  // namespace

void ApplyJpegMetadata(TIOParamsVals& params) {
  const TVLMarkerList& markers = params.JpegMarkers;
  const int iptc = markers.IndexOf(kApp13);
  if (iptc >= 0) params.IptcInfo.ParseIPTC(markers.Data(iptc), markers.Size(iptc));
  for (int i = 0; i < markers.Count(); ++i)
    if (markers.Code(i) == kApp1 && IsExifBlock(markers.Data(i), markers.Size(i))) {
      ApplyJpegExifBlock(params, markers.Data(i), markers.Size(i));
      break;
    }
}

// The TIFF reader is reached through the format table, as the front reaches it: the JPEG codec
// needs no TIFF header, and the TIFF reader's JPEG strips reach this codec the same way.
void ApplyJpegExifBlock(TIOParamsVals& params, const uint8_t* block, int64_t size) {
  const TVLFormatDescriptor* tiff = VLFindBuiltinFormat(ioTIFF);
  if (!tiff || !tiff->Read || size <= kExifPrefix || exifDepth > 1) return;
  ++exifDepth;
  try {
    const uint8_t* data = block + kExifPrefix;
    const int64_t length = size - kExifPrefix;
    // IFD 0 holds the fields and no image: a header-only read, whatever it concludes.
    TIOParamsVals scratch;
    ReadExifPage(*tiff, data, length, 0, nullptr, scratch);
    CopyExifFields(scratch, params);
    // IFD 1 is the thumbnail, kept as far as it decodes.
    TIOParamsVals thumbnail;
    if (scratch.TiffImageCount > 1) ReadExifPage(*tiff, data, length, 1, &params.ExifThumbnail, thumbnail);
    if (scratch.TiffImageCount <= 1 || params.ExifThumbnail.Empty()) params.ExifThumbnail.Reset(1, 1, TPixelFormat::pf24bit);
  } catch (const std::exception&) {
    params.ExifThumbnail.Reset(1, 1, TPixelFormat::pf24bit);
  }
  --exifDepth;
  // An aspect-ratio-only density (1 × 1) gives way to the camera's resolution.
  if (params.DpiX == 1 && params.DpiY == 1) {
    const double f = params.ExifResolutionUnit == tiff::ruCentimeter ? 2.54 : 1.0;
    params.DpiX = int32_t(std::clamp(params.ExifXResolution * f, 0.0, 2147483647.0));
    params.DpiY = int32_t(std::clamp(params.ExifYResolution * f, 0.0, 2147483647.0));
  }
}

void PrepareJpegMarkers(TIOParamsVals& params) {
  if (!params.IptcInfo.Modified) return;
  const std::vector<uint8_t> app13 = params.IptcInfo.BuildIPTC();
  const int i = params.JpegMarkers.IndexOf(kApp13);
  if (i >= 0)
    params.JpegMarkers.Replace(i, kApp13, int(app13.size()), app13.data());
  else
    params.JpegMarkers.Add(kApp13, app13.data(), int(app13.size()));
}

}  // namespace velora
