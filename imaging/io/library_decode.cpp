#include "library_decode.h"

#include <cstring>
#include <utility>

#include "proc/flip_turn.h"
#include "proc/pixel_formats.h"

namespace velora {

bool VLReadJobBytes(const TVLReadJob& job, const char* format, std::vector<uint8_t>& bytes) {
  const int64_t left = job.stream.Size() - job.stream.Position();
  const int64_t size = job.size > 0 ? std::min(job.size, left) : left;
  if (size <= 0) {
    job.progress.Fail(std::string(format) + ": empty file");
    return false;
  }
  if (size > kMaxLibraryInputBytes) {
    job.progress.Fail(std::string(format) + ": " + std::to_string(size) + " bytes, more than this reader takes");
    return false;
  }
  bytes.resize(size_t(size));
  job.stream.ReadBuffer(bytes.data(), size);
  return true;
}

void VLPrepareAlpha(const TBitmap& bitmap, TVLMask* mask) {
  if (!mask) return;
  mask->Allocate(bitmap.Width(), bitmap.Height(), 8);
  mask->Fill(255);
}

void VLFinishAlpha(TVLMask* mask, bool hadAlpha) {
  if (!mask || !hadAlpha) return;
  mask->SetFull(false);
  mask->UpdateBoxFromPixels();
}

void VLStoreRows8(const uint8_t* pixels, int64_t stride, int channels, int first, int count, TBitmap& bitmap,
                  TVLMask* mask) {
  const int width = bitmap.Width();
  const bool colour = channels >= 3;
  const bool alpha = channels == 2 || channels == 4;
  for (int y = first; y < first + count; ++y, pixels += stride) {
    uint8_t* line = bitmap.ScanLine(y);
    const uint8_t* p = pixels;
    for (int x = 0; x < width; ++x, p += channels, line += 3) {
      line[0] = colour ? p[2] : p[0];
      line[1] = colour ? p[1] : p[0];
      line[2] = p[0];
    }
    if (alpha && mask) {
      uint8_t* a = mask->ScanLine(y);
      p = pixels + channels - 1;
      for (int x = 0; x < width; ++x, p += channels) a[x] = *p;
    }
  }
}

namespace {

// IFD 0 of a TIFF structure, bounded by the block: the Orientation entry (tag 274, SHORT).
int OrientationInTiff(const uint8_t* t, size_t size) {
  if (size < 8) return 0;
  const bool big = t[0] == 'M' && t[1] == 'M';
  if (!big && !(t[0] == 'I' && t[1] == 'I')) return 0;
  auto u16 = [&](size_t at) { return big ? unsigned(t[at] << 8 | t[at + 1]) : unsigned(t[at] | t[at + 1] << 8); };
  auto u32 = [&](size_t at) { return uint32_t(big ? u16(at) << 16 | u16(at + 2) : u16(at) | u16(at + 2) << 16); };
  const uint32_t ifd = u32(4);
  if (ifd < 8 || ifd > size - 2) return 0;
  const unsigned entries = u16(ifd);
  for (unsigned i = 0; i < entries; ++i) {
    const size_t at = size_t(ifd) + 2 + size_t(i) * 12;
    if (at + 12 > size) return 0;
    if (u16(at) != 274) continue;
    const unsigned value = u16(at + 2) == 3 ? u16(at + 8) : 0;
    return value >= 1 && value <= 8 ? int(value) : 0;
  }
  return 0;
}

}  // namespace

int VLExifOrientationOf(std::span<const uint8_t> exif) {
  // Some writers keep the JPEG marker's "Exif\0\0" in front of the TIFF header, some do not.
  size_t skip = 0;
  if (exif.size() >= 6 && std::memcmp(exif.data(), "Exif\0\0", 6) == 0) skip = 6;
  return OrientationInTiff(exif.data() + skip, exif.size() - skip);
}

void VLTurnUprightIfAsked(const TVLReadJob& job, int orientation) {
  TIOParamsVals& params = job.params;
  params.ExifOrientation = orientation;
  if (!params.JpegApplyOrientation || orientation < 2 || orientation > 8 || job.progress.Aborted()) return;
  if (!job.headerOnly) {
    if (!job.bitmap) return;
    TVLMask* mask = job.alphaMask && job.alphaMask->Width() == job.bitmap->Width() ? job.alphaMask : nullptr;
    if (!VLApplyOrientation(*job.bitmap, mask, orientation)) return;
  }
  if (orientation >= 5) {
    std::swap(params.Width, params.Height);
    std::swap(params.DpiX, params.DpiY);
  }
  params.ExifOrientation = 1;
}

void VLSetHeaderFacts(TIOParamsVals& params, int width, int height, int bitsPerSample, bool alpha, bool grey) {
  params.Width = width;
  params.Height = height;
  params.BitsPerSample = bitsPerSample;
  params.SamplesPerPixel = (grey ? 1 : 3) + (alpha ? 1 : 0);
  params.DpiX = DefaultDpiX();
  params.DpiY = DefaultDpiY();
  params.FreeColorMap();
}

}  // namespace velora

namespace velora {

TVLInterleaved VLInterleave(const TBitmap& bitmap, const TVLMask* alphaMask) {
  TVLInterleaved out;
  const TBitmap* source = &bitmap;
  TBitmap expanded;
  if (bitmap.PixelFormat() != TPixelFormat::pf24bit) {
    expanded.Assign(bitmap);
    ConvertTo24Bit(expanded);
    source = &expanded;
  }
  out.width = source->Width();
  out.height = source->Height();
  const bool alpha = alphaMask && !alphaMask->Full() && alphaMask->BitsPerPixel() == 8 &&
                     alphaMask->Width() == out.width && alphaMask->Height() == out.height;
  out.channels = alpha ? 4 : 3;
  out.samples.resize(size_t(out.width) * size_t(out.height) * size_t(out.channels));
  uint8_t* p = out.samples.data();
  for (int y = 0; y < out.height; ++y) {
    const uint8_t* line = source->ScanLine(y);
    const uint8_t* a = alpha ? alphaMask->ScanLine(y) : nullptr;
    for (int x = 0; x < out.width; ++x, line += 3, p += out.channels) {
      p[0] = line[2];
      p[1] = line[1];
      p[2] = line[0];
      if (alpha) p[3] = a[x];
    }
  }
  return out;
}

}  // namespace velora
