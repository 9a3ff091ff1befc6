// The numbers a TIFF file is made of: tags, field types and the values the codec names.
// Shared by the reader, the writer and the EXIF walk so that each number is spelled once.
#pragma once
#include <cstdint>

namespace velora::tiff {

constexpr uint16_t kIntelOrder = 0x4949;     // "II": little-endian
constexpr uint16_t kMotorolaOrder = 0x4D4D;  // "MM": big-endian
constexpr uint16_t kClassicVersion = 42;
constexpr uint16_t kBigTiffVersion = 43;

// Field types and their sizes in bytes.
enum TTiffFieldType : uint16_t {
  ftByte = 1,
  ftAscii = 2,
  ftShort = 3,
  ftLong = 4,
  ftRational = 5,
  ftSByte = 6,
  ftUndefined = 7,
  ftSShort = 8,
  ftSLong = 9,
  ftSRational = 10,
  ftFloat = 11,
  ftDouble = 12,
  ftIfd = 13,
  ftLong8 = 16,  // BigTIFF
  ftSLong8 = 17,
  ftIfd8 = 18,
};

// Bytes of one value of `type`, 0 for a type the codec does not know.
constexpr int FieldTypeSize(uint16_t type) {
  switch (type) {
    case ftByte: case ftAscii: case ftSByte: case ftUndefined: return 1;
    case ftShort: case ftSShort: return 2;
    case ftLong: case ftSLong: case ftFloat: case ftIfd: return 4;
    case ftRational: case ftSRational: case ftDouble: case ftLong8: case ftSLong8: case ftIfd8: return 8;
    default: return 0;
  }
}

enum TTiffTag : uint16_t {
  tgNewSubfileType = 254,
  tgImageWidth = 256,
  tgImageLength = 257,
  tgBitsPerSample = 258,
  tgCompression = 259,
  tgPhotometricInterpretation = 262,
  tgFillOrder = 266,
  tgDocumentName = 269,
  tgImageDescription = 270,
  tgMake = 271,
  tgModel = 272,
  tgStripOffsets = 273,
  tgOrientation = 274,
  tgSamplesPerPixel = 277,
  tgRowsPerStrip = 278,
  tgStripByteCounts = 279,
  tgXResolution = 282,
  tgYResolution = 283,
  tgPlanarConfiguration = 284,
  tgPageName = 285,
  tgXPosition = 286,
  tgYPosition = 287,
  tgT4Options = 292,
  tgT6Options = 293,
  tgResolutionUnit = 296,
  tgPageNumber = 297,
  tgTransferFunction = 301,
  tgSoftware = 305,
  tgDateTime = 306,
  tgPredictor = 317,
  tgWhitePoint = 318,
  tgPrimaryChromaticities = 319,
  tgColorMap = 320,
  tgTileWidth = 322,
  tgTileLength = 323,
  tgTileOffsets = 324,
  tgTileByteCounts = 325,
  tgInkSet = 332,
  tgNumberOfInks = 334,
  tgDotRange = 336,
  tgExtraSamples = 338,
  tgSampleFormat = 339,
  tgJPEGTables = 347,
  tgJPEGProc = 512,
  tgJPEGInterchangeFormat = 513,
  tgJPEGInterchangeFormatLength = 514,
  tgJPEGRestartInterval = 515,
  tgJPEGLosslessPredictors = 517,
  tgJPEGPointTransforms = 518,
  tgJPEGQTables = 519,
  tgJPEGDCTables = 520,
  tgJPEGACTables = 521,
  tgYCbCrCoefficients = 529,
  tgYCbCrSubSampling = 530,
  tgYCbCrPositioning = 531,
  tgReferenceBlackWhite = 532,
  tgCopyright = 33432,
  tgExifIFD = 34665,
  tgIccProfile = 34675,
  tgGpsIFD = 34853,
};

// Camera tags of the EXIF sub-IFD.
enum TExifTag : uint16_t {
  etExposureTime = 33434,
  etFNumber = 33437,
  etExposureProgram = 34850,
  etISOSpeedRatings = 34855,
  etExifVersion = 36864,
  etDateTimeOriginal = 36867,
  etDateTimeDigitized = 36868,
  etCompressedBitsPerPixel = 37122,
  etShutterSpeedValue = 37377,
  etApertureValue = 37378,
  etBrightnessValue = 37379,
  etExposureBiasValue = 37380,
  etMaxApertureValue = 37381,
  etSubjectDistance = 37382,
  etMeteringMode = 37383,
  etLightSource = 37384,
  etFlash = 37385,
  etFocalLength = 37386,
  etSubsecTime = 37520,
  etSubsecTimeOriginal = 37521,
  etSubsecTimeDigitized = 37522,
  etFlashpixVersion = 40960,
  etColorSpace = 40961,
  etPixelXDimension = 40962,
  etPixelYDimension = 40963,
  etRelatedSoundFile = 40964,
  etFocalPlaneXResolution = 41486,
  etFocalPlaneYResolution = 41487,
  etFocalPlaneResolutionUnit = 41488,
  etExposureIndex = 41493,
  etSensingMethod = 41495,
  etFileSource = 41728,
  etSceneType = 41729,
};

// Compression tag values.
enum TTiffCompressionCode : uint16_t {
  ccNone = 1,
  ccCcittRle = 2,  // modified Huffman
  ccCcittT4 = 3,   // Group 3
  ccCcittT6 = 4,   // Group 4
  ccLzw = 5,
  ccOldJpeg = 6,
  ccJpeg = 7,
  ccAdobeDeflate = 8,
  ccPackBits = 32773,
  ccDeflate = 32946,
};

// PhotometricInterpretation tag values.
enum TTiffPhotometricCode : uint16_t {
  pcWhiteIsZero = 0,
  pcBlackIsZero = 1,
  pcRgb = 2,
  pcPalette = 3,
  pcTransparencyMask = 4,
  pcSeparated = 5,  // CMYK
  pcYCbCr = 6,
  pcCieLab = 8,
};

// ResolutionUnit values (the EXIF field shares them).
enum TTiffResolutionUnit : uint16_t { ruNone = 1, ruInch = 2, ruCentimeter = 3 };

// PlanarConfiguration values.
enum TTiffPlanarConfiguration : uint16_t { plContiguous = 1, plSeparate = 2 };

// Predictor values.
enum TTiffPredictor : uint16_t { prNone = 1, prHorizontal = 2 };

}  // namespace velora::tiff
