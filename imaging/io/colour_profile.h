// Colour profiles through Little CMS 2: what a profile calls itself, the conversion of a
// read picture from its embedded profile to sRGB (or to the display's profile) for showing,
// and the profile a PNG's gamma and chromaticities describe.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "bitmap/toolkit_bitmap.h"
#include "io_params.h"

namespace velora {

// The profile's description ("Display P3"); empty when it cannot be read.
std::string VLIccDescription(std::span<const uint8_t> icc);

// After a read that asked for it (ConvertToSRGB): the picture's pixels converted from
// params.IccProfile to sRGB, or to params.DisplayProfile when one is set, with perceptual
// intent and no black point compensation (ImageMagick's -profile defaults). The record then
// holds the profile of the pixels it has (none for sRGB). Nothing changes without a profile,
// for a profile that maps sRGB onto itself, or for one of another colour space than the
// picture's (a CMYK file's, whose inks were already turned into RGB); a profile Little CMS
// cannot use leaves the pixels as they are and sets IccProfileBroken, never failing the read.
void VLConvertToOutputProfile(TBitmap& bitmap, TIOParamsVals& params);

// Converts bitmap (24 bits) from one profile to another; false when either cannot be used.
bool VLConvertBetweenProfiles(TBitmap& bitmap, std::span<const uint8_t> from, std::span<const uint8_t> to);

// The RGB profile a PNG's gAMA (the file gamma, 0.45455 for 2.2) and cHRM (white point x, y
// and red, green, blue x, y; nullptr: the sRGB primaries) describe; empty when they describe
// sRGB closely enough that converting would only round.
std::vector<uint8_t> VLProfileFromGamma(double fileGamma, const double* chromaticities);

}  // namespace velora
