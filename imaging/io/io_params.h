// TIOParamsVals: the parameter record of an image file. Readers fill it with what they learn
// of the file; writers take from it how to write.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bitmap/toolkit_bitmap.h"
#include "bitmap/vl_metadata.h"
#include "base/vl_types.h"

namespace velora {

class TVLStream;
class TVeloraIO;

// Format identifiers, shared by the whole I/O layer and indexing the format registry.
enum : int32_t {
  ioUnknown = 0,
  ioTIFF = 1,
  ioGIF = 2,
  ioJPEG = 3,
  ioPCX = 4,
  ioBMP = 5,
  ioICO = 6,
  ioCUR = 7,
  ioPNG = 8,
  ioWMF = 9,
  ioEMF = 10,
  ioTGA = 11,
  ioPXM = 12,
  ioWEBP = 13,
  ioAVIF = 14,
  ioHEIF = 15,
  ioJXL = 16,
};

// The LZW coders are reached only through these references (the record's, else the global
// slots), so that the GIF and TIFF containers do not depend on them.
// GIF decoder: the stream stands at the minimum-code-size byte; fills width × height bytes;
// reports failure by putting the stream back where it was.
using TGifLzwDecompFunc = void (*)(TVLStream& stream, int height, int width, uint8_t* output, bool interlaced);
// GIF encoder: writes the code-size byte, the sub-blocks and the terminator.
using TGifLzwCompFunc = void (*)(TVLStream& stream, int height, int width, int bitsPerPixel,
                                 const uint8_t* indices, bool interlaced);
// TIFF decoder: one row per call over a strip of dataLength bytes; *state is nullptr before
// the first call of a strip; data nullptr releases the state. Returns rowLength bytes or
// nullptr on a decoding error.
using TTiffLzwDecompFunc = uint8_t* (*)(const uint8_t* data, int64_t dataLength, int rowLength, void** state);
// TIFF encoder: *state nullptr starts an image; data nullptr finishes it.
using TTiffLzwCompFunc = void (*)(const uint8_t* data, int length, TVLStream& stream, void** state);

// The four global slots, empty at start. Readers run side by side on worker threads, so the
// slots are process-wide settings made once, not variables: a program installs its coders
// once, before it reads anything (the viewer on its first activation, the tool at start; the
// codecs' set is VLInstallLzwCoders in codecs/formats.h), and from then on they are only read.
// Only the first InstallLzwCoders counts: a later one changes nothing and answers false, so
// no read ever sees a slot change under it. A job that wants other coders sets its own
// record's references, which are copied from the slots by ResetParams.
struct TVLLzwCoders {
  TGifLzwDecompFunc gifDecode = nullptr;
  TGifLzwCompFunc gifEncode = nullptr;
  TTiffLzwDecompFunc tiffDecode = nullptr;
  TTiffLzwCompFunc tiffEncode = nullptr;
};
bool InstallLzwCoders(const TVLLzwCoders& coders);
TGifLzwDecompFunc DefGifLzwDecompFunc();
TGifLzwCompFunc DefGifLzwCompFunc();
TTiffLzwDecompFunc DefTiffLzwDecompFunc();
TTiffLzwCompFunc DefTiffLzwCompFunc();

// The default resolution of images: the screen's logical pixels per inch (96 × 96 where
// there is no screen or before it is set). Set once, like the LZW slots: the widgets
// program sets it from QScreen before its first read; only the first SetDefaultDpi counts,
// a later one changes nothing and answers false. A reader always sees a whole pair.
int DefaultDpiX();
int DefaultDpiY();
bool SetDefaultDpi(int dpiX, int dpiY);

// The fields of the parameter record that are plain values, each with its default. The
// record resets them by assigning a fresh TIOParamsFields and copies them by assigning the
// source's: a field added here is reset and copied without a line more.
struct TIOParamsFields {
  // Common fields
  int32_t BitsPerSample = 8;
  int32_t SamplesPerPixel = 3;
  int32_t Width = 0;   // reset from the owner's bitmap, if it has one
  int32_t Height = 0;
  int32_t DpiX = 0;    // reset from the owner's view, if it has one
  int32_t DpiY = 0;
  int32_t FileType = 0;
  std::string FileName;

  // TIFF
  uint8_t TiffCompression = 0;
  int32_t TiffImageIndex = 0;
  uint8_t TiffPhotometric = 2;
  int32_t TiffPlanarConfig = 1;
  int32_t TiffXPos = 0, TiffYPos = 0;
  std::string TiffDocumentName, TiffImageDescription, TiffPageName;
  int32_t TiffPageNumber = 0, TiffPageCount = 0;
  TTiffLzwDecompFunc TiffLzwDecompressor = nullptr;  // reset from the global slots
  TTiffLzwCompFunc TiffLzwCompressor = nullptr;
  bool TiffApplyOrientation = true;
  int32_t TiffImageCount = 0;
  // A JPEG read turns the picture upright by its EXIF Orientation, as the TIFF reader does
  // with TiffApplyOrientation. Off by default so that files read as they are stored; the
  // viewer, the multi-view and `velora --auto-orient` ask for it.
  bool JpegApplyOrientation = false;

  // GIF
  std::string GifVersion = "GIF89a";
  int32_t GifImageIndex = 0;
  int32_t GifXPos = 0, GifYPos = 0;
  int32_t GifDelayTime = 0;
  // What becomes of the frame read once its delay is over: 0 or 1 it stays, 2 its area is
  // cleared, 3 the canvas returns to what it was before the frame.
  int32_t GifDisposalMethod = 0;
  bool GifTransparent = false;
  TRGB GifTranspColor{};
  bool GifInterlaced = false;
  int32_t GifWinWidth = 0, GifWinHeight = 0;
  TRGB GifBackground{};
  int32_t GifRatio = 0;
  TGifLzwDecompFunc GifLzwDecompressor = nullptr;
  TGifLzwCompFunc GifLzwCompressor = nullptr;
  int32_t GifImageCount = 0;

  // JPEG
  uint8_t JpegColorSpace = 2;  // 0 RGB, 1 grey, 2 YCbCr, 3 CMYK, 4 YCCK
  int32_t JpegQuality = 50;
  uint8_t JpegDCTMethod = 0;   // 0 accurate integer, 1 fast integer, 2 floating point
  bool JpegOptimalHuffman = false;
  int32_t JpegSmoothing = 0;
  bool JpegProgressive = false;
  uint8_t JpegScale = 1;       // 0 automatic, 1 full, 2 half, 3 quarter, 4 eighth
  int32_t JpegScaleUsed = 1;

  // Other formats
  int32_t PcxVersion = 5;
  uint8_t PcxCompression = 1;  // 0 none, 1 run-length
  uint8_t BmpVersion = 1;      // 1 the 40-byte header, 2 core, 3 64-byte, 0 other
  uint8_t BmpCompression = 0;  // 0 none (also bit fields), 1 run-length
  int32_t IcoImageIndex = 0;
  TRGB IcoBackground{255, 255, 255};
  int32_t CurImageIndex = 0;
  int32_t CurHotSpotX = 0, CurHotSpotY = 0;
  TRGB CurBackground{255, 255, 255};
  bool PngInterlaced = false;
  TRGB PngBackground{};
  uint8_t PngFilter = 0;
  int32_t PngCompression = 5;
  int32_t TgaXPos = 0, TgaYPos = 0;
  bool TgaCompressed = true;
  std::string TgaImageId, TgaAuthor;
  double TgaDate = 0;  // days since 30 Dec 1899; reset to today
  std::string TgaJobName;
  TRGB TgaKeyColor{};
  double TgaAspectRatio = 1.0;
  double TgaGamma = 2.2;
  bool TgaGrayscale = false;
  std::vector<std::string> PxmComments;

  // WebP, AVIF, HEIF, JPEG XL. The index picks the frame of an animated WebP, the top-level
  // image of a HEIF (the primary one is 0), the frame of an AVIF sequence; the count is what
  // the file holds. These readers honour JpegApplyOrientation too: a photo is a photo,
  // whatever its container.
  int32_t ImageIndex = 0;
  int32_t ImageCount = 0;
  int32_t WebpQuality = 75;    // 0..100, lossy
  bool WebpLossless = false;
  int32_t AvifQuality = 60;    // 0..100, mapped onto the AV1 quantizer
  int32_t AvifSpeed = 6;       // 0 slowest .. 10 fastest
  bool AvifLossless = false;

  // Colour. The embedded ICC profile as stored (empty: none, the picture is taken as sRGB).
  // A read that asks for it (the viewer, the thumbnails, `velora convert --to-srgb`) has its
  // pixels converted from that profile to sRGB, or to DisplayProfile when one is set, and
  // the profile dropped; a profile Little CMS cannot use leaves the pixels as they are and
  // says so in IccProfileBroken.
  std::vector<uint8_t> IccProfile;
  bool ConvertToSRGB = false;
  bool IccProfileBroken = false;
  std::shared_ptr<const std::vector<uint8_t>> DisplayProfile;

  // Metadata
  std::string ExifImageDescription;
  std::string ExifMake, ExifModel, ExifSoftware, ExifDateTime, ExifCopyright;
  int32_t ExifOrientation = 0;
  double ExifXResolution = 0, ExifYResolution = 0;
  int32_t ExifResolutionUnit = 0;
  double ExifWhitePoint[2] = {};
  double ExifPrimaryChromaticities[6] = {};
  double ExifYCbCrCoefficients[3] = {};
  int32_t ExifYCbCrPositioning = 0;
  double ExifReferenceBlackWhite[6] = {};
  double ExifExposureTime = 0, ExifFNumber = 0;
  int32_t ExifExposureProgram = 0;
  int32_t ExifISOSpeedRatings[2] = {};
  std::string ExifVersion, ExifFlashPixVersion;
  std::string ExifDateTimeOriginal, ExifDateTimeDigitized;
  double ExifCompressedBitsPerPixel = 0, ExifShutterSpeedValue = 0, ExifApertureValue = 0,
         ExifBrightnessValue = 0, ExifExposureBiasValue = 0, ExifMaxApertureValue = 0,
         ExifSubjectDistance = 0, ExifFocalLength = 0;
  int32_t ExifMeteringMode = 0, ExifLightSource = 0, ExifFlash = 0;
  std::string ExifSubsecTime, ExifSubsecTimeOriginal, ExifSubsecTimeDigitized;
  int32_t ExifColorSpace = 0, ExifPixelXDimension = 0, ExifPixelYDimension = 0;
  std::string ExifRelatedSoundFile;
  double ExifFocalPlaneXResolution = 0, ExifFocalPlaneYResolution = 0;
  int32_t ExifFocalPlaneResolutionUnit = 0;
  double ExifExposureIndex = 0;
  int32_t ExifSensingMethod = 0, ExifFileSource = 0, ExifSceneType = 0;

 protected:
  std::vector<TRGB> ColorMap_;
};

class TIOParamsVals : public TIOParamsFields {
 public:
  explicit TIOParamsVals(TVeloraIO* owner = nullptr);
  ~TIOParamsVals();
  TIOParamsVals(const TIOParamsVals&) = delete;
  TIOParamsVals& operator=(const TIOParamsVals&) = delete;

  void ResetParams();
  void AssignParams(const TIOParamsVals& source);

  // Palette of the file as read: ColorMapCount entries, or none.
  void SetColorMap(const TRGB* entries, int count);
  void FreeColorMap();
  TRGB* ColorMap() { return ColorMap_.empty() ? nullptr : ColorMap_.data(); }
  const TRGB* ColorMap() const { return ColorMap_.empty() ? nullptr : ColorMap_.data(); }
  int ColorMapCount() const { return int(ColorMap_.size()); }

  // What the fields cannot hold by value; ResetParams and AssignParams handle each by hand.
  TVeloraIO* IO = nullptr;          // neither reset nor copied
  TVLMarkerList JpegMarkers;
  TVLIPTCInfoList IptcInfo;
  TBitmap ExifThumbnail;            // 1 × 1 after a reset
  int32_t JpegWarningCount = 0;     // neither reset nor copied: set by each JPEG read
  int32_t JpegWarningCode = 0;
};

// The LZW references a codec uses: the record's when set, the global slot otherwise.
inline TGifLzwDecompFunc GifDecompressor(const TIOParamsVals& p) {
  return p.GifLzwDecompressor ? p.GifLzwDecompressor : DefGifLzwDecompFunc();
}
inline TGifLzwCompFunc GifCompressor(const TIOParamsVals& p) {
  return p.GifLzwCompressor ? p.GifLzwCompressor : DefGifLzwCompFunc();
}
inline TTiffLzwDecompFunc TiffDecompressor(const TIOParamsVals& p) {
  return p.TiffLzwDecompressor ? p.TiffLzwDecompressor : DefTiffLzwDecompFunc();
}
inline TTiffLzwCompFunc TiffCompressor(const TIOParamsVals& p) {
  return p.TiffLzwCompressor ? p.TiffLzwCompressor : DefTiffLzwCompFunc();
}

// Today as a date-time value (days since 30 Dec 1899), time part 0.
double VLDateToday();

}  // namespace velora
