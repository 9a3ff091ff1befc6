// TIFF reader: the page walk, the layout of the chosen page, the header check, then the
// strips or tiles (or the one old-style JPEG stream) into the bitmap.
#include <algorithm>
#include <optional>
#include <string>

#include "io/image_limits.h"
#include "proc/flip_turn.h"
#include "tiff_codec.h"
#include "tiff_decode.h"

namespace velora {

using namespace tiff;

namespace {

std::optional<TPixelFormat> TargetFormat(const TTIFFVars& vars) {
  if (vars.conversion == TConversion::cvOldJpeg) return std::nullopt;  // the JPEG reader sizes it
  return vars.conversion == TConversion::cvBilevel ? TPixelFormat::pf1bit : TPixelFormat::pf24bit;
}

}  // namespace

void TiffReadStream(TVLStream& stream, TBitmap* bitmap, int& imageCount, TVLMask* alphaMask, bool headerOnly,
                    TVLProgressRecord& progress, TIOParamsVals& params, int64_t size) {
  imageCount = 0;
  TTiffSource source(stream, size);
  if (!source.ReadHeader(progress)) return;
  const TTiffChain chain = WalkIfdChain(source, params.TiffImageIndex);
  params.TiffImageCount = imageCount = chain.count;
  if (chain.selected == 0) {
    progress.Fail("TIFF: page " + std::to_string(params.TiffImageIndex) + " asked for, " +
                  std::to_string(chain.count) + " in the file");
    return;
  }
  TTiffIfd ifd(source);
  if (!ifd.Load(chain.selected)) {
    progress.Fail("TIFF: directory of page " + std::to_string(params.TiffImageIndex) + " cut off");
    return;
  }
  TTIFFVars vars;
  if (!ReadTiffLayout(ifd, source, vars, params, progress)) return;
  const TVLOpenCheck check{"TIFF", vars.width, vars.height, [&vars] { return VLBackingBytes(DensestCoding(vars)); },
                           source.Size()};
  const bool sizeFromJpeg = vars.conversion == TConversion::cvOldJpeg && (vars.width <= 0 || vars.height <= 0);
  if (sizeFromJpeg ? headerOnly || !bitmap : !VLCheckOpen(check, headerOnly, bitmap, TargetFormat(vars), progress))
    return;
  if (alphaMask && !sizeFromJpeg) {
    alphaMask->Allocate(int(vars.width), int(vars.height), 8);
    alphaMask->Fill(255);
  }
  if (vars.conversion == TConversion::cvOldJpeg)
    DecodeOldJpeg(source, vars, *bitmap, progress);
  else
    DecodeTiffBlocks(source, vars, *bitmap, alphaMask, progress);
  if (alphaMask && vars.alphaSample >= 0) alphaMask->UpdateBoxFromPixels();
  // Turned upright as ImageMagick's -auto-orient turns it; the alpha follows.
  if (params.TiffApplyOrientation && !progress.Aborted() && !VLApplyOrientation(*bitmap, alphaMask, vars.orientation))
    progress.Fail("TIFF: no memory to turn the picture upright");
  if (alphaMask && (alphaMask->Width() != bitmap->Width() || alphaMask->Height() != bitmap->Height())) {
    alphaMask->Allocate(bitmap->Width(), bitmap->Height(), 8);
    alphaMask->Fill(255);
  }
  params.Width = bitmap->Width();
  params.Height = bitmap->Height();
}

}  // namespace velora
