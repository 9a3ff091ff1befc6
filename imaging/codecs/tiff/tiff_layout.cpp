// From one IFD to the reader's state and the parameter record: the raster's layout, the
// descriptive and camera fields, and the choice of a conversion, refused when there is none.
#include <algorithm>
#include <cmath>
#include <string>

#include "io/image_limits.h"
#include "tiff_decode.h"

namespace velora::tiff {

namespace {

// Palettes, strip arrays and the like beyond this are no picture's: a hostile count would
// otherwise be read in full before anything is checked.
constexpr uint64_t kMaxArray = uint64_t(1) << 24;

int32_t TruncClamped(double v) {
  if (!(v > 0)) return 0;
  return v >= 2147483647.0 ? 2147483647 : int32_t(v);
}

uint8_t CompressionParam(int code, uint32_t t4Options) {
  switch (code) {
    case ccNone: return 0;
    case ccCcittRle: return 1;
    case ccCcittT4: return (t4Options & 1) ? 3 : 2;
    case ccCcittT6: return 4;
    case ccLzw: return 5;
    case ccOldJpeg: return 6;
    case ccJpeg: return 7;
    case ccPackBits: return 8;
    default: return 9;
  }
}

uint8_t PhotometricParam(int code) { return code == pcCieLab ? 7 : uint8_t(std::clamp(code, 0, 255)); }

template <size_t N>
void CopyReals(const TTiffIfd& ifd, uint16_t tag, double (&into)[N]) {
  const std::vector<double> v = ifd.Reals(tag, N);
  for (size_t i = 0; i < N; ++i) into[i] = i < v.size() ? v[i] : 0;
}

// Larger "profiles" are no colour profiles but damage.
constexpr uint64_t kMaxIccBytes = 16u << 20;

void ReadDescriptiveFields(const TTiffIfd& ifd, TIOParamsVals& p) {
  p.TiffDocumentName = ifd.Text(tgDocumentName);
  p.TiffImageDescription = ifd.Text(tgImageDescription);
  p.TiffPageName = ifd.Text(tgPageName);
  const std::vector<uint64_t> page = ifd.Numbers(tgPageNumber, 2);
  p.TiffPageNumber = page.size() > 0 ? int32_t(page[0]) : 0;
  p.TiffPageCount = page.size() > 1 ? int32_t(page[1]) : 0;
  p.ExifMake = ifd.Text(tgMake);
  p.ExifModel = ifd.Text(tgModel);
  p.ExifDateTime = ifd.Text(tgDateTime);
  p.ExifSoftware = ifd.Text(tgSoftware);
  p.ExifCopyright = ifd.Text(tgCopyright);
  p.ExifOrientation = int32_t(ifd.Number(tgOrientation, 0));
  p.ExifXResolution = ifd.Real(tgXResolution, 0);
  p.ExifYResolution = ifd.Real(tgYResolution, 0);
  p.ExifResolutionUnit = int32_t(ifd.Number(tgResolutionUnit, 0));
  CopyReals(ifd, tgWhitePoint, p.ExifWhitePoint);
  CopyReals(ifd, tgPrimaryChromaticities, p.ExifPrimaryChromaticities);
  CopyReals(ifd, tgYCbCrCoefficients, p.ExifYCbCrCoefficients);
  p.ExifYCbCrPositioning = int32_t(ifd.Number(tgYCbCrPositioning, 0));
  CopyReals(ifd, tgReferenceBlackWhite, p.ExifReferenceBlackWhite);
  p.IccProfile = ifd.Bytes(tgIccProfile, kMaxIccBytes);
}

void ReadResolution(const TTiffIfd& ifd, TIOParamsVals& p) {
  const double f = ifd.Number(tgResolutionUnit, ruInch) == ruCentimeter ? 2.54 : 1.0;
  p.DpiX = TruncClamped(ifd.Real(tgXResolution, 0) * f);
  p.DpiY = TruncClamped(ifd.Real(tgYResolution, 0) * f);
  if (p.DpiX == 0) p.DpiX = DefaultDpiX();
  if (p.DpiY == 0) p.DpiY = DefaultDpiY();
  p.TiffXPos = TruncClamped(ifd.Real(tgXPosition, 0) * f);
  p.TiffYPos = TruncClamped(ifd.Real(tgYPosition, 0) * f);
}

// ColorMap: 3 × 2^bps values, red, green and blue planes of 16-bit values.
bool ReadPalette(const TTiffIfd& ifd, int bps, TTIFFVars& vars) {
  vars.palette.clear();
  if (!ifd.Has(tgColorMap) || bps > 16) return false;
  const uint64_t n = uint64_t(1) << bps;
  const std::vector<uint64_t> map = ifd.Numbers(tgColorMap, 3 * n);
  if (map.size() < 3 * n) return false;
  vars.palette.resize(size_t(n));
  for (uint64_t i = 0; i < n; ++i)
    vars.palette[i] = TRGB{uint8_t(map[2 * n + i] >> 8), uint8_t(map[n + i] >> 8), uint8_t(map[i] >> 8)};
  return true;
}

// The photometric a page is read as: a bilevel page of the fax compressions (or uncompressed)
// marked RGB or unmarked is white paper; an unmarked page of one sample is grey.
int EffectivePhotometric(const TTiffIfd& ifd, int spp, int bps, int compression) {
  const bool marked = ifd.Has(tgPhotometricInterpretation);
  const int photometric = int(ifd.Number(tgPhotometricInterpretation, pcRgb));
  if (photometric != pcRgb) return photometric;
  if (spp == 1 && bps == 1 && compression >= ccNone && compression <= ccCcittT6) return pcWhiteIsZero;
  if (!marked && spp < 3) return pcBlackIsZero;
  return photometric;
}

// The sample after the colour samples goes into the mask when ExtraSamples says it is alpha.
int AlphaSample(const TTiffIfd& ifd, int colourSamples, int spp) {
  if (spp <= colourSamples) return -1;
  const uint64_t extra = ifd.Number(tgExtraSamples, 0);
  return extra == 1 || extra == 2 ? colourSamples : -1;
}

TConversion ChooseConversion(const TTiffIfd& ifd, TTIFFVars& v) {
  const int spp = v.samplesPerPixel, bps = v.bitsPerSample;
  if (v.sampleFormat != 1 && !(v.sampleFormat == 2 && v.photometric == pcCieLab)) return TConversion::cvNone;
  switch (v.compression) {
    case ccOldJpeg:
      // A whole stream, or strips of scan data that the tables (there or in their tags) complete.
      if (v.oldJpegOffset != 0) return TConversion::cvOldJpeg;
      return !v.tiled && ifd.Has(tgStripOffsets) && ifd.Has(tgJPEGQTables) && ifd.Has(tgJPEGDCTables) &&
                     ifd.Has(tgJPEGACTables) && (spp == 1 || spp == 3) && bps == 8
                 ? TConversion::cvOldJpeg
                 : TConversion::cvNone;
    case ccJpeg:
      if (bps != 8 || v.planar == plSeparate || (v.tiled && (v.tileWidth % 8 || v.tileLength % 8))) return TConversion::cvNone;
      if ((v.photometric == pcBlackIsZero && spp == 1) || (v.photometric == pcRgb && spp == 3) ||
          (v.photometric == pcYCbCr && spp == 3) ||
          (v.photometric == pcSeparated && spp == 4 && ifd.Number(tgInkSet, 1) == 1))
        return TConversion::cvJpeg;
      return TConversion::cvNone;
    case ccNone: case ccLzw: case ccPackBits: case ccAdobeDeflate: case ccDeflate:
      break;
    case ccCcittRle: case ccCcittT4: case ccCcittT6:
      if (spp != 1 || bps != 1) return TConversion::cvNone;
      break;
    default:
      return TConversion::cvNone;
  }
  switch (v.photometric) {
    case pcWhiteIsZero:
    case pcBlackIsZero:
      v.alphaSample = AlphaSample(ifd, 1, spp);
      if (spp == 1 && bps == 1) return TConversion::cvBilevel;
      return TConversion::cvGrey;
    case pcRgb:
      if (spp == 1 && bps == 16) return TConversion::cvRgb555;
      if (spp < 3) return TConversion::cvNone;
      v.alphaSample = AlphaSample(ifd, 3, spp);
      return TConversion::cvRgb;
    case pcPalette:
      if (bps > 8 || v.palette.empty()) return TConversion::cvNone;
      v.alphaSample = AlphaSample(ifd, 1, spp);
      if (v.alphaSample < 0 && spp == 2) v.alphaSample = 1;
      return TConversion::cvPalette;
    case pcSeparated:
      if (spp < 4 || ifd.Number(tgInkSet, 1) != 1) return TConversion::cvNone;
      v.alphaSample = AlphaSample(ifd, 4, spp);
      return TConversion::cvCmyk;
    case pcYCbCr:
      if (spp != 3 || bps != 8 || v.ycbcrH > 4 || v.ycbcrV > 4 || v.ycbcrV > v.ycbcrH ||
          (v.planar == plSeparate && (v.ycbcrH != 1 || v.ycbcrV != 1)))
        return TConversion::cvNone;
      return TConversion::cvYCbCr;
    case pcCieLab:
      if (spp < 3 || (bps != 8 && bps != 16)) return TConversion::cvNone;
      v.alphaSample = AlphaSample(ifd, 3, spp);
      return TConversion::cvLab;
    default:
      return TConversion::cvNone;
  }
}

void ReadYCbCr(const TTiffIfd& ifd, TTIFFVars& v) {
  const std::vector<uint64_t> sub = ifd.Numbers(tgYCbCrSubSampling, 2);
  if (sub.size() == 2) v.ycbcrH = int(std::min<uint64_t>(sub[0], 99)), v.ycbcrV = int(std::min<uint64_t>(sub[1], 99));
  if (v.ycbcrH != 1 && v.ycbcrH != 2 && v.ycbcrH != 4) v.ycbcrH = 99;  // refused below
  if (v.ycbcrV != 1 && v.ycbcrV != 2 && v.ycbcrV != 4) v.ycbcrV = 99;
  const std::vector<double> rbw = ifd.Reals(tgReferenceBlackWhite, 6);
  if (rbw.size() == 6)
    for (int i = 0; i < 6; ++i) v.referenceBlackWhite[i] = rbw[size_t(i)];
  const std::vector<double> luma = ifd.Reals(tgYCbCrCoefficients, 3);
  if (luma.size() == 3 && luma[1] > 0) v.lumaRed = luma[0], v.lumaGreen = luma[1], v.lumaBlue = luma[2];
}

// The strip or tile arrays, and the sizes that place them.
bool ReadBlocks(const TTiffIfd& ifd, TTIFFVars& v, const TVLProgressRecord& progress) {
  v.tiled = ifd.Has(tgTileWidth) || ifd.Has(tgTileLength);
  if (v.tiled) {
    v.tileWidth = int64_t(std::min<uint64_t>(ifd.Number(tgTileWidth, 0), INT32_MAX));
    v.tileLength = int64_t(std::min<uint64_t>(ifd.Number(tgTileLength, 0), INT32_MAX));
    if (v.tileWidth <= 0 || v.tileLength <= 0 || !VLImageSizeAllowed(v.tileWidth, v.tileLength)) {
      progress.Fail("TIFF: tiles of " + std::to_string(v.tileWidth) + " x " + std::to_string(v.tileLength));
      return false;
    }
  }
  const bool tileArrays = v.tiled && ifd.Has(tgTileOffsets);
  v.offsets = ifd.Numbers(tileArrays ? tgTileOffsets : tgStripOffsets, kMaxArray);
  v.byteCounts = ifd.Numbers(tileArrays ? tgTileByteCounts : tgStripByteCounts, kMaxArray);
  // RowsPerStrip 0 or beyond the image (2^32 − 1 is common) is the whole image.
  const uint64_t rps = ifd.Number(tgRowsPerStrip, uint64_t(v.height));
  v.rowsPerStrip = rps == 0 || rps > uint64_t(v.height) ? v.height : int64_t(rps);
  // A tile far larger than the image would only size a huge buffer for pixels that are dropped.
  if (v.tiled) {
    const int64_t across = (v.width + v.tileWidth - 1) / v.tileWidth, down = (v.height + v.tileLength - 1) / v.tileLength;
    const double coded = double(across * v.tileWidth) * double(down * v.tileLength);
    if (coded > 4.0 * double(v.width) * double(v.height) + double(1 << 20)) {
      progress.Fail("TIFF: tiles of " + std::to_string(v.tileWidth) + " x " + std::to_string(v.tileLength) +
                    " for a " + std::to_string(v.width) + " x " + std::to_string(v.height) + " image");
      return false;
    }
  }
  if (v.offsets.empty() && v.conversion != TConversion::cvOldJpeg) {
    progress.Fail(v.tiled ? "TIFF: no tile offsets" : "TIFF: no strip offsets");
    return false;
  }
  return true;
}

bool ReadSamples(const TTiffIfd& ifd, TTIFFVars& v, const TVLProgressRecord& progress) {
  const uint64_t spp = ifd.Number(tgSamplesPerPixel, 1);
  if (spp < 1 || spp > uint64_t(kMaxSamplesPerPixel)) {
    progress.Fail("TIFF: " + std::to_string(spp) + " samples per pixel");
    return false;
  }
  v.samplesPerPixel = int(spp);
  // Of a longer list only the first SamplesPerPixel values count.
  std::vector<uint64_t> bits = ifd.Numbers(tgBitsPerSample, spp);
  if (bits.empty()) bits.push_back(1);
  if (std::adjacent_find(bits.begin(), bits.end(), std::not_equal_to<>()) != bits.end()) {
    progress.Fail("TIFF: samples of different sizes");
    return false;
  }
  if (bits[0] < 1 || bits[0] > uint64_t(kMaxBitsPerSample)) {
    progress.Fail("TIFF: " + std::to_string(bits[0]) + " bits per sample");
    return false;
  }
  v.bitsPerSample = int(bits[0]);
  return true;
}

}  // namespace

bool ReadTiffLayout(const TTiffIfd& ifd, TTiffSource& source, TTIFFVars& v, TIOParamsVals& p,
                    const TVLProgressRecord& progress) {
  v.motorola = source.Motorola();
  v.width = int64_t(std::min<uint64_t>(ifd.Number(tgImageWidth, 0), INT32_MAX));
  v.height = int64_t(std::min<uint64_t>(ifd.Number(tgImageLength, 0), INT32_MAX));
  p.Width = int32_t(v.width);
  p.Height = int32_t(v.height);
  v.compression = int(ifd.Number(tgCompression, ccNone));
  v.t4Options = uint32_t(ifd.Number(tgT4Options, 0));
  v.t6Options = uint32_t(ifd.Number(tgT6Options, 0));
  p.TiffCompression = CompressionParam(v.compression, v.t4Options);
  ReadDescriptiveFields(ifd, p);
  ReadResolution(ifd, p);
  if (const uint64_t exif = ifd.Number(tgExifIFD, 0); exif != 0) ReadExifFields(source, exif, p);
  if (!ReadSamples(ifd, v, progress)) return false;
  p.BitsPerSample = v.bitsPerSample;
  p.SamplesPerPixel = v.samplesPerPixel;
  v.photometric = EffectivePhotometric(ifd, v.samplesPerPixel, v.bitsPerSample, v.compression);
  p.TiffPhotometric = PhotometricParam(v.photometric);
  v.planar = v.samplesPerPixel > 1 && ifd.Number(tgPlanarConfiguration, plContiguous) == plSeparate ? plSeparate : plContiguous;
  p.TiffPlanarConfig = int32_t(ifd.Number(tgPlanarConfiguration, 1));
  if (ReadPalette(ifd, v.bitsPerSample, v))
    p.SetColorMap(v.palette.data(), int(v.palette.size()));
  else
    p.FreeColorMap();
  v.orientation = int(ifd.Number(tgOrientation, 1));
  v.fillOrder = int(ifd.Number(tgFillOrder, 1));
  v.predictor = int(ifd.Number(tgPredictor, prNone));
  v.sampleFormat = int(ifd.Number(tgSampleFormat, 1));
  v.software = ifd.Text(tgSoftware);
  v.jpegProc = int(ifd.Number(tgJPEGProc, 0));
  v.oldJpegOffset = ifd.Number(tgJPEGInterchangeFormat, 0);
  v.oldJpegLength = ifd.Number(tgJPEGInterchangeFormatLength, 0);
  v.jpegTables = ifd.Bytes(tgJPEGTables, 1 << 20);
  v.oldJpegQTables = ifd.Numbers(tgJPEGQTables, 4);
  v.oldJpegDcTables = ifd.Numbers(tgJPEGDCTables, 4);
  v.oldJpegAcTables = ifd.Numbers(tgJPEGACTables, 4);
  v.oldJpegRestart = ifd.Number(tgJPEGRestartInterval, 0);
  v.tiled = ifd.Has(tgTileWidth) || ifd.Has(tgTileLength);
  ReadYCbCr(ifd, v);
  v.lzwDecoder = TiffDecompressor(p);

  v.conversion = ChooseConversion(ifd, v);
  v.associatedAlpha = v.alphaSample >= 0 && ifd.Number(tgExtraSamples, 0) == 1;
  // An old-style JPEG stream carries its own size (EXIF thumbnails declare none).
  if ((v.width <= 0 || v.height <= 0) && v.conversion != TConversion::cvOldJpeg) {
    progress.Fail("TIFF: no image size");
    return false;
  }
  if (v.conversion == TConversion::cvNone) {
    progress.Fail("TIFF: photometric " + std::to_string(v.photometric) + " with " +
                  std::to_string(v.samplesPerPixel) + " x " + std::to_string(v.bitsPerSample) +
                  "-bit samples, compression " + std::to_string(v.compression) + " is not read");
    return false;
  }
  if (v.predictor != prNone && !(v.predictor == prHorizontal && (v.bitsPerSample == 8 || v.bitsPerSample == 16))) {
    if (v.compression == ccLzw || v.compression == ccAdobeDeflate || v.compression == ccDeflate) {
      progress.Fail("TIFF: predictor " + std::to_string(v.predictor) + " is not read");
      return false;
    }
  }
  if (v.compression == ccLzw && !v.lzwDecoder) {
    progress.Fail("TIFF: no LZW decoder installed");
    return false;
  }
  // The fax coders give 1 for white; other data gives 1 for the photometric's "one".
  v.invertBits = v.Ccitt() ? v.photometric == pcBlackIsZero : v.photometric == pcWhiteIsZero;
  return ReadBlocks(ifd, v, progress);
}

int64_t DensestCoding(const TTIFFVars& v) {
  const int64_t bw = v.tiled ? v.tileWidth : v.width;
  const int64_t bl = v.tiled ? v.tileLength : v.rowsPerStrip;
  const int64_t across = (v.width + bw - 1) / bw, down = (v.height + bl - 1) / bl;
  const int64_t codedWidth = across * bw, codedHeight = down * bl;
  const int64_t rowBytes = (codedWidth * v.samplesPerPixel * v.bitsPerSample + 7) / 8;
  const int64_t raw = rowBytes * codedHeight;
  int64_t densest = raw;
  switch (v.compression) {
    case ccPackBits: densest = raw / 64; break;        // 2 bytes for 128
    case ccLzw: densest = raw / 2560; break;           // a 12-bit code stands for up to ~3800 bytes
    case ccAdobeDeflate: case ccDeflate: densest = raw / 1032; break;
    case ccCcittRle: densest = codedHeight; break;     // byte-aligned rows
    case ccCcittT4: case ccCcittT6: densest = codedHeight / 8; break;  // a row can be one bit
    case ccJpeg: case ccOldJpeg: densest = (codedWidth / 16) * (codedHeight / 16) / 8; break;
    default: break;
  }
  return std::max<int64_t>(densest, 1);
}

void ReadExifFields(TTiffSource& source, uint64_t offset, TIOParamsVals& p) {
  TTiffIfd exif(source);
  if (!exif.Load(offset)) return;
  p.ExifExposureTime = exif.Real(etExposureTime, 0);
  p.ExifFNumber = exif.Real(etFNumber, 0);
  p.ExifExposureProgram = int32_t(exif.Number(etExposureProgram, 0));
  const std::vector<uint64_t> iso = exif.Numbers(etISOSpeedRatings, 2);
  for (size_t i = 0; i < 2; ++i) p.ExifISOSpeedRatings[i] = i < iso.size() ? int32_t(iso[i]) : 0;
  p.ExifVersion = exif.Text(etExifVersion);
  p.ExifDateTimeOriginal = exif.Text(etDateTimeOriginal);
  p.ExifDateTimeDigitized = exif.Text(etDateTimeDigitized);
  p.ExifCompressedBitsPerPixel = exif.Real(etCompressedBitsPerPixel, 0);
  p.ExifShutterSpeedValue = exif.Real(etShutterSpeedValue, 0);
  p.ExifApertureValue = exif.Real(etApertureValue, 0);
  p.ExifBrightnessValue = exif.Real(etBrightnessValue, 0);
  p.ExifExposureBiasValue = exif.Real(etExposureBiasValue, 0);
  p.ExifMaxApertureValue = exif.Real(etMaxApertureValue, 0);
  p.ExifSubjectDistance = exif.Real(etSubjectDistance, 0);
  p.ExifMeteringMode = int32_t(exif.Number(etMeteringMode, 0));
  p.ExifLightSource = int32_t(exif.Number(etLightSource, 0));
  p.ExifFlash = int32_t(exif.Number(etFlash, 0));
  p.ExifFocalLength = exif.Real(etFocalLength, 0);
  p.ExifSubsecTime = exif.Text(etSubsecTime);
  p.ExifSubsecTimeOriginal = exif.Text(etSubsecTimeOriginal);
  p.ExifSubsecTimeDigitized = exif.Text(etSubsecTimeDigitized);
  p.ExifFlashPixVersion = exif.Text(etFlashpixVersion);
  p.ExifColorSpace = int32_t(exif.Number(etColorSpace, 0));
  p.ExifPixelXDimension = int32_t(exif.Number(etPixelXDimension, 0));
  p.ExifPixelYDimension = int32_t(exif.Number(etPixelYDimension, 0));
  p.ExifRelatedSoundFile = exif.Text(etRelatedSoundFile);
  p.ExifFocalPlaneXResolution = exif.Real(etFocalPlaneXResolution, 0);
  p.ExifFocalPlaneYResolution = exif.Real(etFocalPlaneYResolution, 0);
  p.ExifFocalPlaneResolutionUnit = int32_t(exif.Number(etFocalPlaneResolutionUnit, 0));
  p.ExifExposureIndex = exif.Real(etExposureIndex, 0);
  p.ExifSensingMethod = int32_t(exif.Number(etSensingMethod, 0));
  p.ExifFileSource = int32_t(exif.Number(etFileSource, 0));
  p.ExifSceneType = int32_t(exif.Number(etSceneType, 0));
}

}  // namespace velora::tiff
