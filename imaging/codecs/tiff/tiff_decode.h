// The TIFF reader's decoder state and the steps its files share: the layout read from one IFD,
// the strip and tile walk, the decompressors and the pixel conversions.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "base/progress.h"
#include "base/vl_types.h"
#include "bitmap/toolkit_bitmap.h"
#include "bitmap/vl_mask.h"
#include "codecs/jpeg/jpeg_codec.h"
#include "io/io_params.h"
#include "tiff_ifd.h"

namespace velora::tiff {

// Sample sizes the conversions take: up to 16 bits, one to eight samples a pixel.
constexpr int kMaxBitsPerSample = 16;
constexpr int kMaxSamplesPerPixel = 8;

// How the samples of a pixel become a pixel of the bitmap.
enum class TConversion {
  cvNone,       // no conversion: the read fails
  cvBilevel,    // 1 bit, 1 sample: into a 1-bit bitmap
  cvGrey,       // WhiteIsZero or BlackIsZero
  cvPalette,
  cvRgb,
  cvRgb555,     // one 16-bit sample of 5-5-5
  cvCmyk,
  cvLab,
  cvYCbCr,      // uncompressed, LZW, ... YCbCr (JPEG data is converted by libjpeg)
  cvJpeg,       // compression 7: each strip or tile decoded by the JPEG reader
  cvOldJpeg,    // compression 6: one JPEG stream, whole or put together from its pieces
};

// The decoder state of one page.
struct TTIFFVars {
  int64_t width = 0, height = 0;
  int samplesPerPixel = 1, bitsPerSample = 1;
  int64_t rowsPerStrip = 0;
  int64_t tileWidth = 0, tileLength = 0;
  bool tiled = false;
  int photometric = pcRgb, planar = plContiguous, orientation = 1, compression = ccNone;
  int predictor = prNone, fillOrder = 1, sampleFormat = 1;
  uint32_t t4Options = 0, t6Options = 0;
  std::string software;
  std::vector<uint64_t> offsets, byteCounts;
  std::vector<TRGB> palette;
  int alphaSample = -1;  // the sample that goes into the mask, -1 for none
  bool associatedAlpha = false;  // the colour samples are premultiplied by it
  int ycbcrH = 2, ycbcrV = 2;
  double referenceBlackWhite[6] = {0, 255, 128, 255, 128, 255};
  double lumaRed = 0.299, lumaGreen = 0.587, lumaBlue = 0.114;
  std::vector<uint8_t> jpegTables;
  uint64_t oldJpegOffset = 0, oldJpegLength = 0;
  // Compression 6 without a whole stream: where each table lies, and the restart interval.
  std::vector<uint64_t> oldJpegQTables, oldJpegDcTables, oldJpegAcTables;
  uint64_t oldJpegRestart = 0;
  int jpegProc = 0;
  bool motorola = false;
  TTiffLzwDecompFunc lzwDecoder = nullptr;
  TConversion conversion = TConversion::cvNone;
  bool invertBits = false;  // bilevel: the 1-bit rows go in inverted

  bool Ccitt() const { return compression == ccCcittRle || compression == ccCcittT4 || compression == ccCcittT6; }
  bool Subsampled() const { return conversion == TConversion::cvYCbCr && (ycbcrH != 1 || ycbcrV != 1); }
  int SamplesPerPlane() const { return planar == plSeparate ? 1 : samplesPerPixel; }
  int Planes() const { return planar == plSeparate ? samplesPerPixel : 1; }
};

// The layout of one page from its IFD, and the parameters it fills; false with a reason set
// when the page cannot be read.
bool ReadTiffLayout(const TTiffIfd& ifd, TTiffSource& source, TTIFFVars& vars, TIOParamsVals& params,
                    const TVLProgressRecord& progress);
// The EXIF sub-IFD's camera fields.
void ReadExifFields(TTiffSource& source, uint64_t offset, TIOParamsVals& params);

// The least number of bytes the page's strips or tiles can be coded in.
int64_t DensestCoding(const TTIFFVars& vars);

// Decodes the strips or tiles into the bitmap (already sized) and the mask (sized and opaque,
// or nullptr). Fails with a reason on bad data, keeping the rows decoded before.
void DecodeTiffBlocks(TTiffSource& source, const TTIFFVars& vars, TBitmap& bitmap, TVLMask* mask,
                      TVLProgressRecord& progress);

// One JPEG stream of compression 6 or 7 decoded by the JPEG reader into a 24-bit bitmap, its
// components taken as given.
bool DecodeJpegStream(const std::vector<uint8_t>& data, TBitmap& into, const TVLProgressRecord& progress,
                      TJpegComponents components);

// Compression 6: the one JPEG stream at JPEGInterchangeFormat when it holds the scan, else
// the stream libtiff puts together: the tables there (or in the table tags), the scan's
// header, and the strips' entropy-coded data joined by restart markers.
void DecodeOldJpeg(TTiffSource& source, const TTIFFVars& vars, TBitmap& bitmap, const TVLProgressRecord& progress);

// Decompressing one strip or tile: `lines` lines of lineBytes each into out; returns the
// number of whole lines produced.
int64_t Decompress(const TTIFFVars& vars, const std::vector<uint8_t>& raw, int64_t lineBytes, int64_t lines,
                   int64_t pixelsPerLine, std::vector<uint8_t>& out);

// Conversion of one line of samples (interleaved, unpacked to 16 bits) into 24-bit pixels and
// the mask row; count pixels from column x of row y.
void ConvertSamples(const TTIFFVars& vars, const uint16_t* samples, int64_t count, uint8_t* bgr, uint8_t* alpha);
// Unpacks `count` samples of bps bits (most significant bit first, 16-bit words in the file's
// byte order) into out with the given stride.
void UnpackSamples(const uint8_t* src, int bps, bool motorola, int64_t count, uint16_t* out, int stride);
// Divides associated alpha out of the colour samples of grey and RGB pixels, rounding to the
// nearest so that multiplying back as libtiff does ((c × a + 127) / 255 at 8 bits) gives the
// stored values again.
void DivideAlphaOut(const TTIFFVars& vars, uint16_t* samples, int64_t count);
// Undoes horizontal differencing on interleaved samples.
void UndoPredictor(uint16_t* samples, int64_t pixels, int samplesPerPixel, int bps);
// 8-bit RGB of one plane, the commonest layout of photographs, straight into 24-bit pixels:
// the predictor's running sums kept in registers, no 16-bit samples in between.
void ConvertRgb8(const uint8_t* line, int64_t count, bool predicted, uint8_t* bgr);
// YCbCr with subsampling: one line of units (h × v luma, Cb, Cr) into v rows.
void ConvertYCbCrUnits(const TTIFFVars& vars, const uint8_t* units, int64_t pixels, int rows, uint8_t* const* bgrRows);

}  // namespace velora::tiff
