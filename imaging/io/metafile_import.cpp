// ImportMetafile: a WMF or EMF file drawn into Target at a size the caller asks for, the
// picture's own size, or one derived from either.
#include <algorithm>
#include <new>
#include <vector>

#include "bitmap/view_link.h"
#include "format_descriptor.h"
#include "velora_io.h"

namespace velora {

namespace {

// The longest side a metafile is drawn at.
constexpr int kMaxMetafileSide = 2800;

}  // namespace

bool VLMetafileImportSize(const TVLMetafileFacts& facts, int width, int height, int& drawWidth, int& drawHeight) {
  int64_t w = width, h = height;
  if (width < 0 && height >= 0) {
    w = facts.Height > 0 ? int64_t(height) * facts.Width / facts.Height : 0;
  } else if (height < 0 && width >= 0) {
    h = facts.Width > 0 ? int64_t(width) * facts.Height / facts.Width : 0;
  } else if (width < 0 && height < 0) {
    w = facts.Width, h = facts.Height;
  }
  if (w <= 0 || h <= 0) return false;
  if (w > kMaxMetafileSide || h > kMaxMetafileSide) {
    if (w >= h) {
      h = h * kMaxMetafileSide / w, w = kMaxMetafileSide;
    } else {
      w = w * kMaxMetafileSide / h, h = kMaxMetafileSide;
    }
  }
  drawWidth = int(w), drawHeight = int(h);
  return true;
}

void TVeloraIO::ImportMetafile(const std::string& name, int width, int height) {
  ClearAborting();
  if (width == 0 || height == 0 || !Target_) return;
  Params_.IptcInfo.Clear();
  Params_.JpegMarkers.Clear();
  const TVLFormatDescriptor* player = VLFindBuiltinFormat(ioEMF);
  if (!player || !player->ProbeMetafile || !player->DrawMetafile) return Fail("metafiles are not read");
  std::vector<uint8_t> bytes;
  {
    TVLFileStream file(name, TVLFileStream::fmOpenRead);  // raises "Cannot open file"
    const int64_t size = file.Size();
    if (size > kMaxMetafileBytes)
      return Fail("metafile: " + std::to_string(size) + " bytes, beyond the limit of " +
                  std::to_string(kMaxMetafileBytes));
    bytes.resize(size_t(size));
    bytes.resize(size_t(file.Read(bytes.data(), size)));
  }
  TVLProgressRecord progress = MakeProgress();
  TVLMetafileFacts facts;
  if (!player->ProbeMetafile(bytes, facts, progress)) return;
  int w = 0, h = 0;
  if (!VLMetafileImportSize(facts, width, height, w, h))
    return Fail(std::string(facts.Enhanced ? "EMF" : "WMF") + ": a picture of no size cannot be drawn");
  const int targetWidth = VLMetafileTargetSide(w), targetHeight = VLMetafileTargetSide(h);
  try {
    Target_->Reset(targetWidth, targetHeight, TPixelFormat::pf24bit);
  } catch (const std::bad_alloc&) {
    return Fail("metafile: out of memory");
  }
  Params_.FileName = name;
  Params_.FileType = facts.Enhanced ? ioEMF : ioWMF;
  Params_.BitsPerSample = 8;
  Params_.SamplesPerPixel = 3;
  Params_.Width = targetWidth;
  Params_.Height = targetHeight;
  Params_.DpiX = DefaultDpiX();
  Params_.DpiY = DefaultDpiY();
  Params_.FreeColorMap();
  if (AttachedVelora_) AttachedVelora_->SetDpi(Params_.DpiX, Params_.DpiY);
  const TRGB background = BackgroundPixel();
  for (int y = 0; y < targetHeight; ++y) {
    uint8_t* row = Target_->ScanLine(y);
    for (int x = 0; x < targetWidth; ++x) row[3 * x] = background.b, row[3 * x + 1] = background.g, row[3 * x + 2] = background.r;
  }
  try {
    player->DrawMetafile(bytes, *Target_, w, h, progress);
  } catch (const std::bad_alloc&) {
    progress.Fail("metafile: out of memory");
  }
  ResetAlpha();
  RefreshTarget();
}

}  // namespace velora
