#include "colour_profile.h"

#include <lcms2.h>

#include <cmath>
#include <cstring>
#include <memory>

namespace velora {

namespace {

struct TProfileCloser {
  void operator()(void* p) const { cmsCloseProfile(p); }
};
struct TTransformDeleter {
  void operator()(void* t) const { cmsDeleteTransform(t); }
};
using TProfile = std::unique_ptr<void, TProfileCloser>;
using TTransform = std::unique_ptr<void, TTransformDeleter>;

TProfile Open(std::span<const uint8_t> icc) {
  if (icc.empty()) return TProfile(cmsCreate_sRGBProfile());
  return TProfile(cmsOpenProfileFromMem(icc.data(), cmsUInt32Number(icc.size())));
}

// Our 24-bit pixels, blue first, read as grey (the first byte of three) or as colour.
cmsUInt32Number InputFormatFor(cmsHPROFILE profile) {
  switch (cmsGetColorSpace(profile)) {
    case cmsSigRgbData: return TYPE_BGR_8;
    case cmsSigGrayData: return COLORSPACE_SH(PT_GRAY) | CHANNELS_SH(1) | BYTES_SH(1) | EXTRA_SH(2);
    default: return 0;
  }
}

// A transform that leaves every sample of a coarse grid, and every grey, within one level is
// sRGB to sRGB in all but name (an "sRGB IEC61966-2.1" profile against Little CMS's own):
// running it would only add rounding.
bool IsIdentity(cmsHTRANSFORM transform) {
  std::vector<uint8_t> in, out;
  for (int b = 0; b < 256; b += 15)
    for (int g = 0; g < 256; g += 15)
      for (int r = 0; r < 256; r += 15) in.insert(in.end(), {uint8_t(b), uint8_t(g), uint8_t(r)});
  for (int v = 0; v < 256; ++v) in.insert(in.end(), {uint8_t(v), uint8_t(v), uint8_t(v)});
  out.resize(in.size());
  cmsDoTransform(transform, in.data(), out.data(), cmsUInt32Number(in.size() / 3));
  for (size_t i = 0; i < in.size(); ++i)
    if (std::abs(int(in[i]) - int(out[i])) > 1) return false;
  return true;
}

void Apply(cmsHTRANSFORM transform, TBitmap& bitmap) {
  std::vector<uint8_t> row(size_t(bitmap.Width()) * 3);
  for (int y = 0; y < bitmap.Height(); ++y) {
    uint8_t* line = bitmap.ScanLine(y);
    cmsDoTransform(transform, line, row.data(), cmsUInt32Number(bitmap.Width()));
    std::memcpy(line, row.data(), row.size());
  }
}

enum class TOutcome { converted, unchanged, broken };

TOutcome Convert(TBitmap& bitmap, std::span<const uint8_t> from, std::span<const uint8_t> to) {
  const TProfile source = Open(from);
  const TProfile target = Open(to);
  if (!source || !target) return TOutcome::broken;
  const cmsUInt32Number inFormat = InputFormatFor(source.get());
  if (!inFormat) return TOutcome::unchanged;
  if (cmsGetColorSpace(target.get()) != cmsSigRgbData) return TOutcome::broken;
  const TTransform transform(cmsCreateTransform(source.get(), inFormat, target.get(), TYPE_BGR_8, INTENT_PERCEPTUAL, 0));
  if (!transform) return TOutcome::broken;
  if (inFormat == TYPE_BGR_8 && IsIdentity(transform.get())) return TOutcome::unchanged;
  Apply(transform.get(), bitmap);
  return TOutcome::converted;
}

}  // namespace

std::string VLIccDescription(std::span<const uint8_t> icc) {
  if (icc.empty()) return {};
  const TProfile profile = Open(icc);
  if (!profile) return {};
  char text[256] = {};
  if (!cmsGetProfileInfoASCII(profile.get(), cmsInfoDescription, "en", "US", text, sizeof text)) return {};
  return text;
}

bool VLConvertBetweenProfiles(TBitmap& bitmap, std::span<const uint8_t> from, std::span<const uint8_t> to) {
  if (bitmap.PixelFormat() != TPixelFormat::pf24bit) return true;
  return Convert(bitmap, from, to) != TOutcome::broken;
}

void VLConvertToOutputProfile(TBitmap& bitmap, TIOParamsVals& params) {
  if (params.IccProfile.empty() || bitmap.PixelFormat() != TPixelFormat::pf24bit) return;
  const std::vector<uint8_t> none;
  const std::vector<uint8_t>& to = params.DisplayProfile ? *params.DisplayProfile : none;
  switch (Convert(bitmap, params.IccProfile, to)) {
    case TOutcome::broken: params.IccProfileBroken = true; return;
    case TOutcome::unchanged:
    case TOutcome::converted: params.IccProfile = to; return;
  }
}

std::vector<uint8_t> VLProfileFromGamma(double fileGamma, const double* chromaticities) {
  if (!(fileGamma > 0.01 && fileGamma < 10)) return {};
  static constexpr double kSRGB[8] = {0.3127, 0.3290, 0.64, 0.33, 0.30, 0.60, 0.15, 0.06};
  const double* c = chromaticities ? chromaticities : kSRGB;
  bool srgbPrimaries = true;
  for (int i = 0; i < 8; ++i) srgbPrimaries = srgbPrimaries && std::abs(c[i] - kSRGB[i]) < 0.001;
  // Gamma 2.2 over the sRGB primaries is what such a file means by "sRGB": left alone, as
  // browsers do, since the two curves part by a few levels in the shadows only.
  if (srgbPrimaries && std::abs(fileGamma - 1 / 2.2) < 0.005) return {};
  const cmsCIExyY white{c[0], c[1], 1.0};
  const cmsCIExyYTRIPLE primaries{{c[2], c[3], 1.0}, {c[4], c[5], 1.0}, {c[6], c[7], 1.0}};
  cmsToneCurve* curve = cmsBuildGamma(nullptr, 1 / fileGamma);
  if (!curve) return {};
  cmsToneCurve* curves[3] = {curve, curve, curve};
  const TProfile profile(cmsCreateRGBProfile(&white, &primaries, curves));
  cmsFreeToneCurve(curve);
  cmsUInt32Number size = 0;
  if (!profile || !cmsSaveProfileToMem(profile.get(), nullptr, &size) || !size) return {};
  std::vector<uint8_t> bytes(size);
  if (!cmsSaveProfileToMem(profile.get(), bytes.data(), &size)) return {};
  return bytes;
}

}  // namespace velora
