// The table of built-in formats, one line each, in identifier order. It sits above the
// codecs so that the I/O front needs none of them: adding a format is its folder with its
// descriptor, and its line here.
#include "formats.h"

#include "avif/avif_codec.h"
#include "bmp/bmp_codec.h"
#include "gif/gif_codec.h"
#include "heif/heif_codec.h"
#include "ico/ico_codec.h"
#include "jpeg/jpeg_codec.h"
#include "jxl/jxl_codec.h"
#include "metafile/metafile_descriptor.h"
#include "pcx/pcx_codec.h"
#include "png/png_codec.h"
#include "pnm/pnm_codec.h"
#include "tga/tga_codec.h"
#include "tiff/tiff_codec.h"
#include "tiff/tiff_lzw.h"
#include "webp/webp_codec.h"

namespace velora {

std::span<const TVLFormatDescriptor* const> VLBuiltinFormats() {
  static const TVLFormatDescriptor* const formats[] = {
      &kTiffDescriptor,  //  1
      &kGifDescriptor,   //  2
      &kJpegDescriptor,  //  3
      &kPcxDescriptor,   //  4
      &kBmpDescriptor,   //  5
      &kIcoDescriptor,   //  6
      &kCurDescriptor,   //  7
      &kPngDescriptor,   //  8
      &kWmfDescriptor,   //  9
      &kEmfDescriptor,   // 10
      &kTgaDescriptor,   // 11
      &kPnmDescriptor,   // 12
      &kWebpDescriptor,  // 13
      &kAvifDescriptor,  // 14
      &kHeifDescriptor,  // 15
      &kJxlDescriptor,   // 16
  };
  return formats;
}

void VLInstallLzwCoders() {
  InstallLzwCoders({GifLzwDecode, GifLzwEncode, TiffLzwDecode, TiffLzwEncode});
}

}  // namespace velora
