// The JPEG metadata around the codec: IPTC records in APP13 (read after every JPEG read,
// written before every JPEG write when changed) and the EXIF block of APP1.
#include <algorithm>
#include <cstring>
#include <exception>
#include <vector>

#include "base/vl_byte_reader.h"

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

namespace {

// Where IFD 0 of an EXIF block keeps its Orientation: the value's place in the block (width
// 2 for a SHORT, 4 for a LONG, as a camera may write either), or width 0 when a plain walk of
// IFD 0 finds none.
struct TOrientationValue {
  int64_t at = 0;
  int width = 0;
  bool bigEndian = false;
};

constexpr uint16_t kOrientationTag = 274;
constexpr uint16_t kShort = 3, kLong = 4;

TOrientationValue FindOrientationValue(const uint8_t* block, int64_t size) {
  TOrientationValue v;
  if (size < kExifPrefix + 8 || !IsExifBlock(block, int(std::min<int64_t>(size, 8)))) return v;
  const uint8_t* tiff = block + kExifPrefix;
  const int64_t length = size - kExifPrefix;
  if (tiff[0] != tiff[1] || (tiff[0] != 'I' && tiff[0] != 'M')) return v;
  const bool big = tiff[0] == 'M';
  auto u16 = [&](int64_t at) { return big ? uint16_t(tiff[at] << 8 | tiff[at + 1]) : GetU16LE(tiff + at); };
  auto u32 = [&](int64_t at) { return big ? uint32_t(u16(at)) << 16 | u16(at + 2) : GetU32LE(tiff + at); };
  const int64_t ifd = u32(4);
  if (ifd < 8 || ifd + 2 > length) return v;
  const int64_t entries = std::min<int64_t>(u16(ifd), (length - ifd - 2) / 12);
  for (int64_t i = 0; i < entries; ++i) {
    const int64_t entry = ifd + 2 + 12 * i;
    const uint16_t type = u16(entry + 2);
    if (u16(entry) != kOrientationTag || (type != kShort && type != kLong) || u32(entry + 4) != 1) continue;
    return {kExifPrefix + entry + 8, type == kShort ? 2 : 4, big};
  }
  return v;
}

}  // namespace

int JpegExifOrientation(const uint8_t* app1, int64_t size) {
  const TOrientationValue v = FindOrientationValue(app1, size);
  uint32_t value = 0;
  for (int i = 0; i < v.width; ++i) {
    const int shift = 8 * (v.bigEndian ? v.width - 1 - i : i);
    value |= uint32_t(app1[v.at + i]) << shift;
  }
  return value <= 8 ? int(value) : 0;
}

void MarkJpegUpright(TIOParamsVals& params) {
  TVLMarkerList& markers = params.JpegMarkers;
  for (int i = 0; i < markers.Count(); ++i) {
    if (markers.Code(i) != kApp1 || !IsExifBlock(markers.Data(i), markers.Size(i))) continue;
    const TOrientationValue v = FindOrientationValue(markers.Data(i), markers.Size(i));
    if (v.width == 0) return;
    std::vector<uint8_t> block(markers.Data(i), markers.Data(i) + markers.Size(i));
    for (int b = 0; b < v.width; ++b) block[size_t(v.at + b)] = 0;
    block[size_t(v.at + (v.bigEndian ? v.width - 1 : 0))] = 1;
    markers.Replace(i, kApp1, int(block.size()), block.data());
    return;
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
