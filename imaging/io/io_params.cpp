#include "io_params.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>

#include "velora_io.h"
#include "bitmap/view_link.h"

namespace velora {

TGifLzwDecompFunc DefGifLzwDecompFunc = nullptr;
TGifLzwCompFunc DefGifLzwCompFunc = nullptr;
TTiffLzwDecompFunc DefTiffLzwDecompFunc = nullptr;
TTiffLzwCompFunc DefTiffLzwCompFunc = nullptr;

namespace {
int gDefaultDpiX = 96;
int gDefaultDpiY = 96;
}  // namespace

int DefaultDpiX() { return gDefaultDpiX; }
int DefaultDpiY() { return gDefaultDpiY; }
void SetDefaultDpi(int dpiX, int dpiY) {
  gDefaultDpiX = dpiX > 0 ? dpiX : 96;
  gDefaultDpiY = dpiY > 0 ? dpiY : 96;
}

double VLDateToday() {
  // Days from 30 Dec 1899 to 1 Jan 1970 are 25569.
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  local.tm_hour = 12;  // noon: immune to daylight-saving shifts when converting back
  local.tm_min = local.tm_sec = 0;
  std::time_t noon = timegm(&local);
  return double(noon / 86400 + 25569);
}

TIOParamsVals::TIOParamsVals(TVeloraIO* owner) : IO(owner) { ResetParams(); }

TIOParamsVals::~TIOParamsVals() = default;

void TIOParamsVals::SetColorMap(const TRGB* entries, int count) {
  if (count <= 0 || !entries) {
    ColorMap_.clear();
    return;
  }
  ColorMap_.assign(entries, entries + count);
}

void TIOParamsVals::FreeColorMap() { ColorMap_.clear(); }

void TIOParamsVals::ResetParams() {
  FreeColorMap();
  FileName.clear();
  FileType = 0;
  BitsPerSample = 8;
  SamplesPerPixel = 3;
  if (IO) {
    if (TBitmap* target = IO->GetTarget()) {
      Width = target->Width();
      Height = target->Height();
    }
    if (TVLViewLink* view = IO->AttachedVelora()) {
      DpiX = view->DpiX();
      DpiY = view->DpiY();
    }
  }
  TiffCompression = 0;
  TiffImageIndex = 0;
  TiffPhotometric = 2;
  TiffPlanarConfig = 1;
  TiffXPos = TiffYPos = 0;
  TiffDocumentName.clear();
  TiffImageDescription.clear();
  TiffPageName.clear();
  TiffPageNumber = TiffPageCount = 0;
  TiffLzwDecompressor = DefTiffLzwDecompFunc;
  TiffLzwCompressor = DefTiffLzwCompFunc;
  TiffApplyOrientation = true;
  TiffImageCount = 0;

  GifVersion = "GIF89a";
  GifImageIndex = 0;
  GifXPos = GifYPos = 0;
  GifDelayTime = 0;
  GifTransparent = false;
  GifTranspColor = TRGB{};
  GifInterlaced = false;
  GifWinWidth = GifWinHeight = 0;
  GifBackground = TRGB{};
  GifRatio = 0;
  GifLzwDecompressor = DefGifLzwDecompFunc;
  GifLzwCompressor = DefGifLzwCompFunc;
  GifImageCount = 0;

  JpegColorSpace = 2;
  JpegQuality = 50;
  JpegDCTMethod = 0;
  JpegOptimalHuffman = false;
  JpegSmoothing = 0;
  JpegProgressive = false;
  JpegScale = 1;
  JpegScaleUsed = 1;

  PcxVersion = 5;
  PcxCompression = 1;
  BmpVersion = 1;
  BmpCompression = 0;
  IcoImageIndex = 0;
  IcoBackground = TRGB{255, 255, 255};
  CurImageIndex = 0;
  CurHotSpotX = CurHotSpotY = 0;
  CurBackground = TRGB{255, 255, 255};
  PngInterlaced = false;
  PngBackground = TRGB{};
  PngFilter = 0;
  PngCompression = 5;
  TgaXPos = TgaYPos = 0;
  TgaCompressed = true;
  TgaImageId.clear();
  TgaAuthor.clear();
  TgaDate = VLDateToday();
  TgaJobName.clear();
  TgaKeyColor = TRGB{};
  TgaAspectRatio = 1.0;
  TgaGamma = 2.2;
  TgaGrayscale = false;

  JpegMarkers.Clear();
  IptcInfo.Clear();
  PxmComments.clear();
  ExifThumbnail.Reset(1, 1, TPixelFormat::pf24bit);
  ResetExif();
}

void TIOParamsVals::ResetExif() {
  ExifImageDescription.clear();
  ExifMake.clear();
  ExifModel.clear();
  ExifSoftware.clear();
  ExifDateTime.clear();
  ExifCopyright.clear();
  ExifOrientation = 0;
  ExifXResolution = ExifYResolution = 0;
  ExifResolutionUnit = 0;
  std::fill(std::begin(ExifWhitePoint), std::end(ExifWhitePoint), 0.0);
  std::fill(std::begin(ExifPrimaryChromaticities), std::end(ExifPrimaryChromaticities), 0.0);
  std::fill(std::begin(ExifYCbCrCoefficients), std::end(ExifYCbCrCoefficients), 0.0);
  ExifYCbCrPositioning = 0;
  std::fill(std::begin(ExifReferenceBlackWhite), std::end(ExifReferenceBlackWhite), 0.0);
  ExifExposureTime = ExifFNumber = 0;
  ExifExposureProgram = 0;
  ExifISOSpeedRatings[0] = ExifISOSpeedRatings[1] = 0;
  ExifVersion.clear();
  ExifFlashPixVersion.clear();
  ExifDateTimeOriginal.clear();
  ExifDateTimeDigitized.clear();
  ExifCompressedBitsPerPixel = ExifShutterSpeedValue = ExifApertureValue = ExifBrightnessValue = 0;
  ExifExposureBiasValue = ExifMaxApertureValue = ExifSubjectDistance = ExifFocalLength = 0;
  ExifMeteringMode = ExifLightSource = ExifFlash = 0;
  ExifSubsecTime.clear();
  ExifSubsecTimeOriginal.clear();
  ExifSubsecTimeDigitized.clear();
  ExifColorSpace = ExifPixelXDimension = ExifPixelYDimension = 0;
  ExifRelatedSoundFile.clear();
  ExifFocalPlaneXResolution = ExifFocalPlaneYResolution = 0;
  ExifFocalPlaneResolutionUnit = 0;
  ExifExposureIndex = 0;
  ExifSensingMethod = ExifFileSource = ExifSceneType = 0;
}

void TIOParamsVals::AssignExif(const TIOParamsVals& s) {
  ExifImageDescription = s.ExifImageDescription;
  ExifMake = s.ExifMake;
  ExifModel = s.ExifModel;
  ExifSoftware = s.ExifSoftware;
  ExifDateTime = s.ExifDateTime;
  ExifCopyright = s.ExifCopyright;
  ExifOrientation = s.ExifOrientation;
  ExifXResolution = s.ExifXResolution;
  ExifYResolution = s.ExifYResolution;
  ExifResolutionUnit = s.ExifResolutionUnit;
  std::copy(std::begin(s.ExifWhitePoint), std::end(s.ExifWhitePoint), ExifWhitePoint);
  std::copy(std::begin(s.ExifPrimaryChromaticities), std::end(s.ExifPrimaryChromaticities), ExifPrimaryChromaticities);
  std::copy(std::begin(s.ExifYCbCrCoefficients), std::end(s.ExifYCbCrCoefficients), ExifYCbCrCoefficients);
  ExifYCbCrPositioning = s.ExifYCbCrPositioning;
  std::copy(std::begin(s.ExifReferenceBlackWhite), std::end(s.ExifReferenceBlackWhite), ExifReferenceBlackWhite);
  ExifExposureTime = s.ExifExposureTime;
  ExifFNumber = s.ExifFNumber;
  ExifExposureProgram = s.ExifExposureProgram;
  ExifISOSpeedRatings[0] = s.ExifISOSpeedRatings[0];
  ExifISOSpeedRatings[1] = s.ExifISOSpeedRatings[1];
  ExifVersion = s.ExifVersion;
  ExifFlashPixVersion = s.ExifFlashPixVersion;
  ExifDateTimeOriginal = s.ExifDateTimeOriginal;
  ExifDateTimeDigitized = s.ExifDateTimeDigitized;
  ExifCompressedBitsPerPixel = s.ExifCompressedBitsPerPixel;
  ExifShutterSpeedValue = s.ExifShutterSpeedValue;
  ExifApertureValue = s.ExifApertureValue;
  ExifBrightnessValue = s.ExifBrightnessValue;
  ExifExposureBiasValue = s.ExifExposureBiasValue;
  ExifMaxApertureValue = s.ExifMaxApertureValue;
  ExifSubjectDistance = s.ExifSubjectDistance;
  ExifFocalLength = s.ExifFocalLength;
  ExifMeteringMode = s.ExifMeteringMode;
  ExifLightSource = s.ExifLightSource;
  ExifFlash = s.ExifFlash;
  ExifSubsecTime = s.ExifSubsecTime;
  ExifSubsecTimeOriginal = s.ExifSubsecTimeOriginal;
  ExifSubsecTimeDigitized = s.ExifSubsecTimeDigitized;
  ExifColorSpace = s.ExifColorSpace;
  ExifPixelXDimension = s.ExifPixelXDimension;
  ExifPixelYDimension = s.ExifPixelYDimension;
  ExifRelatedSoundFile = s.ExifRelatedSoundFile;
  ExifFocalPlaneXResolution = s.ExifFocalPlaneXResolution;
  ExifFocalPlaneYResolution = s.ExifFocalPlaneYResolution;
  ExifFocalPlaneResolutionUnit = s.ExifFocalPlaneResolutionUnit;
  ExifExposureIndex = s.ExifExposureIndex;
  ExifSensingMethod = s.ExifSensingMethod;
  ExifFileSource = s.ExifFileSource;
  ExifSceneType = s.ExifSceneType;
}

void TIOParamsVals::AssignParams(const TIOParamsVals& s) {
  if (&s == this) return;
  FileName = s.FileName;
  FileType = s.FileType;
  BitsPerSample = s.BitsPerSample;
  SamplesPerPixel = s.SamplesPerPixel;
  Width = s.Width;
  Height = s.Height;
  DpiX = s.DpiX;
  DpiY = s.DpiY;
  ColorMap_ = s.ColorMap_;

  TiffCompression = s.TiffCompression;
  TiffImageIndex = s.TiffImageIndex;
  TiffPhotometric = s.TiffPhotometric;
  TiffPlanarConfig = s.TiffPlanarConfig;
  TiffXPos = s.TiffXPos;
  TiffYPos = s.TiffYPos;
  TiffDocumentName = s.TiffDocumentName;
  TiffImageDescription = s.TiffImageDescription;
  TiffPageName = s.TiffPageName;
  TiffPageNumber = s.TiffPageNumber;
  TiffPageCount = s.TiffPageCount;
  TiffLzwDecompressor = s.TiffLzwDecompressor;
  TiffLzwCompressor = s.TiffLzwCompressor;
  TiffApplyOrientation = s.TiffApplyOrientation;
  TiffImageCount = s.TiffImageCount;

  GifVersion = s.GifVersion;
  GifImageIndex = s.GifImageIndex;
  GifXPos = s.GifXPos;
  GifYPos = s.GifYPos;
  GifDelayTime = s.GifDelayTime;
  GifTransparent = s.GifTransparent;
  GifTranspColor = s.GifTranspColor;
  GifInterlaced = s.GifInterlaced;
  GifWinWidth = s.GifWinWidth;
  GifWinHeight = s.GifWinHeight;
  GifBackground = s.GifBackground;
  GifRatio = s.GifRatio;
  GifLzwDecompressor = s.GifLzwDecompressor;
  GifLzwCompressor = s.GifLzwCompressor;
  GifImageCount = s.GifImageCount;

  JpegColorSpace = s.JpegColorSpace;
  JpegQuality = s.JpegQuality;
  JpegDCTMethod = s.JpegDCTMethod;
  JpegOptimalHuffman = s.JpegOptimalHuffman;
  JpegSmoothing = s.JpegSmoothing;
  JpegProgressive = s.JpegProgressive;
  JpegScale = s.JpegScale;
  JpegMarkers.Assign(s.JpegMarkers);
  JpegScaleUsed = s.JpegScaleUsed;

  PcxVersion = s.PcxVersion;
  PcxCompression = s.PcxCompression;
  BmpVersion = s.BmpVersion;
  BmpCompression = s.BmpCompression;
  IcoImageIndex = s.IcoImageIndex;
  IcoBackground = s.IcoBackground;
  CurImageIndex = s.CurImageIndex;
  CurHotSpotX = s.CurHotSpotX;
  CurHotSpotY = s.CurHotSpotY;
  CurBackground = s.CurBackground;
  PngInterlaced = s.PngInterlaced;
  PngBackground = s.PngBackground;
  PngFilter = s.PngFilter;
  PngCompression = s.PngCompression;
  TgaXPos = s.TgaXPos;
  TgaYPos = s.TgaYPos;
  TgaCompressed = s.TgaCompressed;
  TgaImageId = s.TgaImageId;
  TgaAuthor = s.TgaAuthor;
  TgaDate = s.TgaDate;
  TgaJobName = s.TgaJobName;
  TgaKeyColor = s.TgaKeyColor;
  TgaAspectRatio = s.TgaAspectRatio;
  TgaGamma = s.TgaGamma;
  TgaGrayscale = s.TgaGrayscale;
  PxmComments = s.PxmComments;

  IptcInfo.Assign(s.IptcInfo);
  ExifThumbnail.Assign(s.ExifThumbnail);
  AssignExif(s);
}

}  // namespace velora
