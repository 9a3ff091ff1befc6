// velora convert [--page N] [--bits N] [--colors N] [--equalize-dpi] [--compression C]
// [--photometric P] [--background R,G,B] IN OUT: LoadFromFile(IN), then SaveToFile(OUT);
// formats by extension. By default OUT holds every pixel of IN wherever its format can: the
// depth is chosen from the picture, not taken over from IN's format. A metafile is drawn on
// white, or on the --background colour; without one, a format with alpha gets what the
// metafile drew as opaque and the rest as transparent.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "bitmap/vl_mask.h"
#include "commands.h"
#include "image_job.h"
#include "proc_args.h"
#include "io/velora_io.h"
#include "proc/pixel_formats.h"
#include "quant/quantizer.h"

namespace velora::tool {

namespace {

constexpr const char* kConvertUsage =
    "usage: velora convert [--page N] [--bits N] [--colors N] [--equalize-dpi]\n"
    "       [--compression none|packbits|lzw|mh|g3|g3-2d|g4] [--photometric rgb|cmyk|lab]\n"
    "       [--background R,G,B] [--quality Q] [--lossless] [--speed S] [--to-srgb] IN OUT\n"
    "       (--compression and --photometric for TIFF output; --background: what a WMF or EMF\n"
    "       is drawn on, white by default, where PNG, TGA and JPEG get no alpha; --quality 0..100\n"
    "       for JPEG, WebP and AVIF, --lossless for WebP and AVIF, --speed 0..10 for AVIF;\n"
    "       --to-srgb converts from the embedded colour profile and writes sRGB)";

struct TConvertOptions {
  int bits = 0;    // 0: chosen from the picture
  int colours = 0; // 0: as many as the picture has
  bool equalizeDpi = false;
  int page = 0;  // of a file with pages (TIFF) or frames (GIF), counted from 0
  int tiffCompression = -1;  // TiffCompression, -1: as IN's record has it
  int tiffPhotometric = -1;  // TiffPhotometric, -1: as IN's record has it
  std::optional<TColor> background;  // of a metafile; none: white, transparent where alpha is kept
  int quality = -1;  // JPEG, WebP, AVIF; -1: each writer's default
  bool lossless = false;  // WebP, AVIF (JPEG XL is written lossless always)
  int speed = -1;    // AVIF's encoder, 0..10; -1: its default
  bool toSRGB = false;  // pixels converted from the embedded profile, written as sRGB
  std::string in, out;
};

// The TIFF choices by name, as their record codes.
struct TNamedCode {
  const char* name;
  int code;
};
constexpr TNamedCode kTiffCompressions[] = {{"none", 0}, {"mh", 1},  {"g3", 2},      {"g3-2d", 3},
                                            {"g4", 4},   {"lzw", 5}, {"packbits", 8}};
constexpr TNamedCode kTiffPhotometrics[] = {{"rgb", 2}, {"cmyk", 5}, {"lab", 7}};

template <size_t N>
bool ParseNamed(const std::string& text, const TNamedCode (&table)[N], int& code) {
  for (const TNamedCode& entry : table)
    if (text == entry.name) {
      code = entry.code;
      return true;
    }
  return false;
}

// The CCITT codings hold black and white only.
bool IsCcittCode(int tiffCompression) { return tiffCompression >= 1 && tiffCompression <= 4; }

// What a target format can hold, as far as the choice of depth goes.
struct TTargetFormat {
  const char* name = nullptr;
  int paletteBits[3] = {0, 0, 0};  // palette depths the writer offers, smallest first (0: none)
  bool paletteBackgroundEntry = false;  // one palette entry is kept for the background
  bool trueColour = false;
  bool greyMap = false;  // writes a grey picture as grey samples, not through a palette
  bool alpha = false;
  bool tiff = false;  // takes --compression and --photometric
};

TTargetFormat TargetFormatOf(const std::string& path) {
  const size_t dot = path.find_last_of('.');
  std::string ext = dot == std::string::npos ? std::string() : path.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  auto is = [&](std::initializer_list<const char*> names) {
    return std::any_of(names.begin(), names.end(), [&](const char* n) { return ext == n; });
  };
  if (is({"bmp", "dib", "rle"})) return {"BMP", {1, 4, 8}, false, true, false, false};
  if (is({"pcx"})) return {"PCX", {1, 4, 8}, false, true, false, false};
  if (is({"gif"})) return {"GIF", {1, 4, 8}, false, false, false, false};
  if (is({"png"})) return {"PNG", {8, 0, 0}, true, true, true, true};
  if (is({"tga", "targa", "vda", "icb", "vst", "win"})) return {"TGA", {4, 8, 0}, false, true, true, false};
  if (is({"pxm", "pbm", "pgm", "ppm"})) return {"PNM", {0, 0, 0}, false, true, true, false};
  if (is({"jpg", "jpeg", "jpe"})) return {"JPEG", {0, 0, 0}, false, true, true, false};
  // 1-bit pages stay bilevel; everything else is written at 24 bits.
  if (is({"tif", "tiff", "fax"})) return {"TIFF", {0, 0, 0}, false, true, false, false, true};
  if (is({"webp"})) return {"WebP", {0, 0, 0}, false, true, false, true};
  if (is({"avif"})) return {"AVIF", {0, 0, 0}, false, true, false, true};
  if (is({"jxl"})) return {"JPEG XL", {0, 0, 0}, false, true, false, true};
  return {};
}

// Colours a palette of this depth holds for the picture.
int PaletteCapacity(const TTargetFormat& format, int bits) {
  return (1 << bits) - (format.paletteBackgroundEntry ? 1 : 0);
}

bool ParseCount(const std::string& text, int lo, int hi, int& value) {
  if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  value = std::atoi(text.c_str());
  return value >= lo && value <= hi;
}

bool ParseOptions(const std::vector<std::string>& args, TConvertOptions& options) {
  std::vector<std::string> files;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--equalize-dpi") {
      options.equalizeDpi = true;
    } else if (a == "--lossless") {
      options.lossless = true;
    } else if (a == "--to-srgb") {
      options.toSRGB = true;
    } else if (a == "--quality" || a == "--speed") {
      if (i + 1 >= args.size()) return false;
      if (!ParseCount(args[++i], 0, a == "--quality" ? 100 : 10, a == "--quality" ? options.quality : options.speed))
        return false;
    } else if (a == "--compression" || a == "--photometric") {
      if (i + 1 >= args.size()) return false;
      const bool compression = a == "--compression";
      if (!(compression ? ParseNamed(args[++i], kTiffCompressions, options.tiffCompression)
                        : ParseNamed(args[++i], kTiffPhotometrics, options.tiffPhotometric)))
        return false;
    } else if (a == "--bits" || a == "--colors") {
      if (i + 1 >= args.size()) return false;
      const std::string& value = args[++i];
      if (a == "--bits") {
        if (!ParseCount(value, 1, 24, options.bits)) return false;
        if (options.bits != 1 && options.bits != 2 && options.bits != 4 && options.bits != 8 && options.bits != 24)
          return false;
      } else if (!ParseCount(value, 2, 256, options.colours)) {
        return false;
      }
    } else if (a == "--page") {
      if (i + 1 >= args.size() || !ParseCount(args[++i], 0, 9999, options.page)) return false;
    } else if (a == "--background") {
      std::vector<int> v;
      if (i + 1 >= args.size() || !ParseIntList(args[++i], ',', 3, 0, 255, v)) return false;
      options.background = TColor(v[0] | v[1] << 8 | v[2] << 16);
    } else if (a.rfind("--", 0) == 0) {
      return false;
    } else {
      files.push_back(a);
    }
  }
  if (files.size() != 2) return false;
  options.in = files[0];
  options.out = files[1];
  const bool tiffChoice = options.tiffCompression >= 0 || options.tiffPhotometric >= 0;
  return !tiffChoice || TargetFormatOf(options.out).tiff;
}

// Every pixel replaced by its entry of a palette of `colours` colours.
void ReduceColours(TBitmap& bitmap, int colours) {
  if (bitmap.PixelFormat() != TPixelFormat::pf24bit) return;
  std::vector<TRGB> palette(static_cast<size_t>(colours));
  TVLQuantizer quantizer(bitmap, colours, palette.data());
  for (int y = 0; y < bitmap.Height(); ++y) {
    auto* px = reinterpret_cast<TRGB*>(bitmap.ScanLine(y));
    for (int x = 0; x < bitmap.Width(); ++x) px[x] = palette[size_t(quantizer.RGBIndex(px[x]))];
  }
}

bool HasTransparency(const TVLMask& alpha, const TBitmap& bitmap) {
  return !alpha.Full() && alpha.BitsPerPixel() == 8 && alpha.Width() == bitmap.Width() &&
         alpha.Height() == bitmap.Height();
}

void SetTrueColour(TIOParamsVals& params) { params.BitsPerSample = 8, params.SamplesPerPixel = 3; }
void SetOneSample(TIOParamsVals& params, int bits) { params.BitsPerSample = bits, params.SamplesPerPixel = 1; }

// The depth that keeps every pixel in this format, or a reduction said on standard error.
void ChooseDepth(const TTargetFormat& format, const TBitmap& bitmap, bool transparent, const TConvertOptions& options,
                 TIOParamsVals& params) {
  if (bitmap.PixelFormat() == TPixelFormat::pf1bit) {
    SetOneSample(params, 1);
    return;
  }
  const bool grey = IsAllGrey(bitmap);
  params.TgaGrayscale = grey;
  if (format.greyMap && grey && !(transparent && !format.alpha)) {
    SetOneSample(params, 8);
    return;
  }
  const int readBits = params.SamplesPerPixel == 1 ? params.BitsPerSample : 24;
  const int colours = DistinctColours(QuantizerSourceOf(bitmap), 256);
  // A palette of the depth the picture was read with when it holds the picture, else the
  // smallest that does; 1 bit only for two colours, which those writers keep as they are.
  int paletteBits = 0;
  for (int bits : format.paletteBits) {
    if (bits == 0 || colours > PaletteCapacity(format, bits) || (bits == 1 && colours != 2)) continue;
    if (!paletteBits || bits == readBits) paletteBits = bits;
  }
  const bool keepAlpha = transparent && format.alpha;
  if (format.trueColour && (readBits > 8 || !paletteBits || keepAlpha)) {
    SetTrueColour(params);
  } else if (paletteBits) {
    SetOneSample(params, paletteBits);
  } else {
    SetOneSample(params, 8);
    Complain(std::string(format.name) + " holds at most 256 colours; " + options.in +
             " has more: they are quantized to 256");
  }
}

bool IsBlackAndWhite(const TBitmap& bitmap) {
  if (bitmap.PixelFormat() == TPixelFormat::pf1bit) return true;
  TRGB darker, lighter;
  return ReduceToTwoColours(bitmap, darker, lighter) && darker == TRGB{0, 0, 0} && lighter == TRGB{255, 255, 255};
}

// The TIFF writer's choices; a CCITT coding asks for a bilevel page, which the writer
// reduces the picture to.
void ApplyTiffChoices(const TConvertOptions& options, const TBitmap& bitmap, TIOParamsVals& params) {
  if (options.tiffCompression >= 0) params.TiffCompression = uint8_t(options.tiffCompression);
  if (options.tiffPhotometric >= 0) params.TiffPhotometric = uint8_t(options.tiffPhotometric);
  if (!IsCcittCode(options.tiffCompression)) return;
  if (!IsBlackAndWhite(bitmap))
    Complain("the CCITT codings hold black and white only: " + options.in + " is reduced to them");
  SetOneSample(params, 1);
}

// Quality, losslessness and speed for the writers that take them.
void ApplyCodingChoices(const TConvertOptions& options, TIOParamsVals& params) {
  if (options.quality >= 0) params.JpegQuality = params.WebpQuality = params.AvifQuality = options.quality;
  params.WebpLossless = params.AvifLossless = options.lossless;
  if (options.speed >= 0) params.AvifSpeed = options.speed;
}

// WMF and EMF are known by their extension alone, as the load does.
bool NamesMetafile(const std::string& path) {
  const size_t dot = path.find_last_of('.');
  const TFileFormatInfo* format = dot == std::string::npos ? nullptr : FindFileFormatByExtension(path.substr(dot + 1));
  return format && (format->FileType == ioWMF || format->FileType == ioEMF);
}

// What the metafile drew, as alpha: the picture drawn once more on black beside the one on
// white. A pixel drawn opaque is the same on both; one left alone is 0 on black and 255 on
// white; between them the difference is what shows through. The colour is the one drawn,
// unmixed from the white under it.
void MetafileAlpha(const std::string& in, TBitmap& onWhite, TVLMask& alpha) {
  TBitmap onBlack;
  TVeloraIO io;
  io.AttachBitmap(&onBlack);
  io.SetBackground(clBlack);
  io.LoadFromFile(in);
  if (io.Aborting || onBlack.Width() != onWhite.Width() || onBlack.Height() != onWhite.Height() ||
      onWhite.PixelFormat() != TPixelFormat::pf24bit)
    return;
  alpha.Allocate(onWhite.Width(), onWhite.Height(), 8);
  for (int y = 0; y < onWhite.Height(); ++y) {
    uint8_t* white = onWhite.ScanLine(y);
    const uint8_t* black = onBlack.ScanLine(y);
    uint8_t* a = alpha.ScanLine(y);
    for (int x = 0; x < onWhite.Width(); ++x, white += 3, black += 3) {
      // Raster operations may leave the channels apart: the widest gap sets the alpha.
      const int gap = std::max({white[0] - black[0], white[1] - black[1], white[2] - black[2], 0});
      a[x] = uint8_t(255 - gap);
      if (a[x] == 0 || a[x] == 255) continue;
      for (int c = 0; c < 3; ++c) white[c] = uint8_t(std::clamp((white[c] - gap) * 255 / a[x], 0, 255));
    }
  }
  alpha.SetFull(false);
  alpha.UpdateBoxFromPixels();
}

void ApplyExplicitBits(int bits, TIOParamsVals& params) {
  if (bits == 24)
    SetTrueColour(params);
  else
    SetOneSample(params, bits);
}

}  // namespace

int CmdConvert(const std::vector<std::string>& args) {
  TConvertOptions options;
  if (!ParseOptions(args, options)) {
    Complain(kConvertUsage);
    return kExitUsage;
  }
  const std::string& in = options.in;
  const std::string& out = options.out;
  TBitmap bitmap;
  TVLMask alpha;  // so that transparency travels from readers that have it to writers that take it
  TVeloraIO io;
  io.AttachBitmap(&bitmap);
  io.SetAlphaMask(&alpha);
  // The stored width and height unless asked: a converted file is not a view of it.
  io.AutoAdjustDPI = options.equalizeDpi;
  io.Params().TiffImageIndex = io.Params().GifImageIndex = io.Params().ImageIndex = options.page;
  io.Params().ConvertToSRGB = options.toSRGB;
  io.Params().JpegApplyOrientation = AutoOrient();
  const bool metafile = NamesMetafile(in);
  if (metafile) io.SetBackground(options.background.value_or(clWhite));

  try {
    io.LoadFromFile(in);
  } catch (const EVLFileOpenError&) {
    Complain("cannot open " + in + ": " + OpenFailureReason(in));
    return kExitCannotOpen;
  } catch (const std::exception& e) {
    Complain("cannot read " + in + ": " + e.what());
    return kExitImageFailed;
  }
  if (io.Aborting) {
    Complain("cannot read " + in + ": " + ReadFailure(io));
    return kExitImageFailed;
  }

  const TTargetFormat format = TargetFormatOf(out);
  if (metafile && !options.background && format.alpha && !options.bits) MetafileAlpha(in, bitmap, alpha);
  if (format.name) {
    if (bitmap.PixelFormat() != TPixelFormat::pf1bit && bitmap.PixelFormat() != TPixelFormat::pf24bit)
      ConvertTo24Bit(bitmap);
    if (options.colours) ReduceColours(bitmap, options.colours);
    const bool transparent = HasTransparency(alpha, bitmap);
    if (options.bits)
      ApplyExplicitBits(options.bits, io.Params());
    else
      ChooseDepth(format, bitmap, transparent, options, io.Params());
    if (format.tiff) ApplyTiffChoices(options, bitmap, io.Params());
    ApplyCodingChoices(options, io.Params());
    if (transparent && !format.alpha)
      Complain(std::string(format.name) + " as written here has no transparency: the alpha channel of " + in +
               " is dropped");
  }

  try {
    io.SaveToFile(out);
  } catch (const EVLFileCreateError&) {
    const std::string reason = CreateFailureReason(out);
    Complain("cannot create " + out + (reason.empty() ? std::string() : ": " + reason));
    return kExitCannotOpen;
  } catch (const std::exception& e) {
    Complain("cannot write " + out + ": " + e.what());
    return kExitImageFailed;
  }
  if (io.Aborting) {
    Complain("cannot write " + out + ": " + WriteFailure(io));
    return kExitImageFailed;
  }
  return kExitOk;
}

}  // namespace velora::tool
