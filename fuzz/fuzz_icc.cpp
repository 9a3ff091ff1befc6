// libFuzzer target for the colour profile path: the input is taken as an embedded ICC
// profile, described and used to convert a small picture of every grey and a few colours,
// as a JPEG's, PNG's or TIFF's profile is after a read; and, pieced from APP2-like chunks,
// as the JPEG reader assembles one.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "io/colour_profile.h"

using namespace velora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 20)) return 0;
  TIOParamsVals params;
  params.IccProfile.assign(data, data + size);
  VLIccDescription(params.IccProfile);
  TBitmap bitmap;
  bitmap.Reset(37, 9, TPixelFormat::pf24bit);
  for (int y = 0; y < bitmap.Height(); ++y)
    for (int x = 0; x < bitmap.Width() * 3; ++x) bitmap.ScanLine(y)[x] = uint8_t(x * 7 + y * 29);
  VLConvertToOutputProfile(bitmap, params);
  // And with the display's profile as the target.
  TIOParamsVals toDisplay;
  toDisplay.IccProfile.assign(data, data + size / 2);
  toDisplay.DisplayProfile = std::make_shared<const std::vector<uint8_t>>(data + size / 2, data + size);
  VLConvertToOutputProfile(bitmap, toDisplay);
  return 0;
}
