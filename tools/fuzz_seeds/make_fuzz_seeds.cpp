// Writes the generated part of the fuzz seed corpora: small valid files of every format made by
// our own writers, plus files built here directly with libjpeg and libpng (or byte by byte) for
// the branches our writers never produce: progressive, grey, CMYK and restart-marker JPEG;
// interlaced, 16-bit, grey+alpha, low-depth and transparent PNG; a PNG inside an icon; a
// multi-frame GIF. Every file is a few hundred bytes; names start with "gen_" so that they are
// told apart from the hand-made seeds that sit beside them. The output is the same on every run.
//
//   make_fuzz_seeds FUZZ_CORPUS_DIR       (normally: build/dev/make_fuzz_seeds fuzz/corpus)
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>

#include "bitmap/toolkit_bitmap.h"
#include "codecs/bmp/bmp_codec.h"
#include "codecs/formats.h"
#include "codecs/gif/gif_codec.h"
#include "codecs/jpeg/jpeg_codec.h"
#include "codecs/pcx/pcx_codec.h"
#include "codecs/png/png_codec.h"
#include "codecs/pnm/pnm_codec.h"
#include "codecs/tga/tga_codec.h"
#include "base/vl_stream.h"

#include "codecs/metafile/metafile_scenes.h"

using namespace velora;
namespace fs = std::filesystem;

namespace {

using TBytes = std::vector<uint8_t>;

fs::path gRoot;

void Put(const std::string& format, const std::string& name, const TBytes& bytes) {
  const fs::path dir = gRoot / format;
  fs::create_directories(dir);
  std::ofstream out(dir / ("gen_" + name), std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  if (bytes.size() >= 4096) std::fprintf(stderr, "warning: %s/%s is %zu bytes\n", format.c_str(), name.c_str(), bytes.size());
}

// A small picture with every pixel different, so that predictors and run coders have work.
void Picture(TBitmap& bmp, int w, int h) {
  bmp.Reset(w, h, TPixelFormat::pf24bit);
  for (int y = 0; y < h; ++y) {
    auto* row = reinterpret_cast<TRGB*>(bmp.ScanLine(y));
    for (int x = 0; x < w; ++x) row[x] = MakeRGB(uint8_t(x * 37 + y * 5), uint8_t(y * 51), uint8_t((x ^ y) * 29));
  }
}

// Few colours and long runs: what run-length coders and palettes are made for.
void Flat(TBitmap& bmp, int w, int h) {
  bmp.Reset(w, h, TPixelFormat::pf24bit);
  for (int y = 0; y < h; ++y) {
    auto* row = reinterpret_cast<TRGB*>(bmp.ScanLine(y));
    for (int x = 0; x < w; ++x) row[x] = x < w / 2 ? MakeRGB(200, 10, 10) : MakeRGB(10, 10, uint8_t(y * 40));
  }
}

void Mono(TBitmap& bmp, int w, int h) {
  bmp.Reset(w, h, TPixelFormat::pf1bit);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = bmp.ScanLine(y);
    for (int x = 0; x < (w + 7) / 8; ++x) row[x] = uint8_t(0xA5 ^ (y * 17));
  }
}

using TWriter = std::function<void(TVLStream&, TBitmap&, TIOParamsVals&, TVLProgressRecord&)>;

TBytes Write(const TWriter& writer, TBitmap& bmp, TIOParamsVals& params) {
  TVLMemoryStream stream;
  TVLLocalProgress progress;
  writer(stream, bmp, params, progress.record);
  return stream.Data();
}

TBytes Write(const TWriter& writer, TBitmap& bmp) {
  TIOParamsVals params;
  return Write(writer, bmp, params);
}

// ---- our writers -------------------------------------------------------------------------------

void OurWriters() {
  TBitmap pic, flat, mono;
  Picture(pic, 7, 5);
  Flat(flat, 12, 6);
  Mono(mono, 13, 4);

  Put("bmp", "24.bmp", Write(BmpWriteStream, pic));
  Put("bmp", "1.bmp", Write(BmpWriteStream, mono));
  {
    TIOParamsVals p;
    p.BmpCompression = 1;
    p.BitsPerSample = 8;
    Put("bmp", "rle_flat.bmp", Write(BmpWriteStream, flat, p));
    p.BmpVersion = 2;
    p.BmpCompression = 0;
    Put("bmp", "core_flat.bmp", Write(BmpWriteStream, flat, p));
  }

  Put("gif", "pic.gif", Write(GifWriteStream, pic));
  Put("gif", "mono.gif", Write(GifWriteStream, mono));
  {
    TIOParamsVals p;
    p.GifInterlaced = true;
    p.GifTransparent = true;
    p.GifTranspColor = MakeRGB(200, 10, 10);
    Put("gif", "interlaced_transparent.gif", Write(GifWriteStream, flat, p));
  }

  Put("pcx", "24.pcx", Write(PcxWriteStream, pic));
  Put("pcx", "1.pcx", Write(PcxWriteStream, mono));
  {
    TIOParamsVals p;
    p.PcxCompression = 0;
    Put("pcx", "plain.pcx", Write(PcxWriteStream, flat, p));
  }

  Put("tga", "rle24.tga", Write(TgaWriteStream, flat));
  {
    TIOParamsVals p;
    p.TgaCompressed = false;
    p.TgaImageId = "id";
    p.TgaAuthor = "seed";
    Put("tga", "plain24_footer.tga", Write(TgaWriteStream, pic, p));
    p.TgaGrayscale = true;
    p.TgaCompressed = true;
    Put("tga", "grey_rle.tga", Write(TgaWriteStream, flat, p));
  }
  Put("tga", "mono.tga", Write(TgaWriteStream, mono));

  Put("pnm", "p6.ppm", Write(PnmWriteStream, pic));
  Put("pnm", "p4.pbm", Write(PnmWriteStream, mono));
  {
    TIOParamsVals p;
    p.PxmComments = {"seed"};
    p.SamplesPerPixel = 1;
    Put("pnm", "p5_comment.pgm", Write(PnmWriteStream, flat, p));
  }

  Put("jpeg", "writer_baseline.jpg", Write(JpegWriteStream, pic));
  {
    TIOParamsVals p;
    p.JpegProgressive = true;
    p.JpegOptimalHuffman = true;
    Put("jpeg", "writer_progressive.jpg", Write(JpegWriteStream, flat, p));
    TIOParamsVals g;
    g.JpegColorSpace = 1;
    g.JpegQuality = 20;
    Put("jpeg", "writer_grey.jpg", Write(JpegWriteStream, pic, g));
  }

  auto png = [](TVLStream& s, TBitmap& b, TIOParamsVals& p, TVLProgressRecord& r) { PngWriteStream(s, b, p, nullptr, r); };
  Put("png", "writer_24.png", Write(png, pic));
  Put("png", "writer_1.png", Write(png, mono));
  {
    TIOParamsVals p;
    p.PngInterlaced = true;
    p.PngFilter = 4;
    Put("png", "writer_interlaced.png", Write(png, flat, p));
  }
}

// ---- JPEG through libjpeg directly ------------------------------------------------------------

struct TJpegSpec {
  J_COLOR_SPACE in = JCS_RGB;
  int components = 3;
  J_COLOR_SPACE out = JCS_UNKNOWN;  // JCS_UNKNOWN: libjpeg's default for the input
  bool progressive = false;
  int restart = 0;
  bool subsample = false;  // 2x2 luma sampling (4:2:0)
  bool arithmetic = false;
  bool comment = false;
  int width = 11, height = 9;
};

TBytes MakeJpeg(const TJpegSpec& spec) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = JDIMENSION(spec.width);
  cinfo.image_height = JDIMENSION(spec.height);
  cinfo.input_components = spec.components;
  cinfo.in_color_space = spec.in;
  jpeg_set_defaults(&cinfo);
  if (spec.out != JCS_UNKNOWN) jpeg_set_colorspace(&cinfo, spec.out);
  jpeg_set_quality(&cinfo, 30, TRUE);
  if (spec.progressive) jpeg_simple_progression(&cinfo);
  cinfo.restart_interval = (unsigned)spec.restart;
  if (spec.arithmetic) cinfo.arith_code = TRUE;
  if (!spec.subsample)
    for (int c = 0; c < cinfo.num_components; ++c) cinfo.comp_info[c].h_samp_factor = cinfo.comp_info[c].v_samp_factor = 1;
  jpeg_start_compress(&cinfo, TRUE);
  if (spec.comment) {
    const char text[] = "velora seed";
    jpeg_write_marker(&cinfo, JPEG_COM, reinterpret_cast<const JOCTET*>(text), sizeof text - 1);
    const char iptc[] = "Photoshop 3.0\0008BIM\004\004\0\0\0\0\0\012\034\002\005\0\004seed";
    jpeg_write_marker(&cinfo, JPEG_APP0 + 13, reinterpret_cast<const JOCTET*>(iptc), sizeof iptc - 1);
  }
  std::vector<JSAMPLE> row(size_t(spec.width * spec.components));
  while (cinfo.next_scanline < cinfo.image_height) {
    for (int x = 0; x < spec.width * spec.components; ++x) row[size_t(x)] = JSAMPLE((x * 23 + cinfo.next_scanline * 41) & 255);
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  TBytes bytes(buffer, buffer + size);
  jpeg_destroy_compress(&cinfo);
  std::free(buffer);
  return bytes;
}

void Jpegs() {
  Put("jpeg", "rgb_444.jpg", MakeJpeg({}));
  TJpegSpec s;
  s.subsample = true;
  s.restart = 1;
  s.comment = true;
  Put("jpeg", "420_restart_markers.jpg", MakeJpeg(s));
  s = {};
  s.progressive = true;
  s.subsample = true;
  Put("jpeg", "progressive_420.jpg", MakeJpeg(s));
  s = {};
  s.in = JCS_GRAYSCALE;
  s.components = 1;
  Put("jpeg", "grey.jpg", MakeJpeg(s));
  s.progressive = true;
  Put("jpeg", "grey_progressive.jpg", MakeJpeg(s));
  s = {};
  s.in = JCS_CMYK;
  s.components = 4;
  Put("jpeg", "cmyk.jpg", MakeJpeg(s));
  s.out = JCS_YCCK;
  Put("jpeg", "ycck.jpg", MakeJpeg(s));
  s = {};
  s.out = JCS_RGB;  // no colour transform: an Adobe marker says RGB
  Put("jpeg", "plain_rgb.jpg", MakeJpeg(s));
  s = {};
  s.arithmetic = true;
  Put("jpeg", "arithmetic.jpg", MakeJpeg(s));
  s = {};
  s.width = 1;
  s.height = 1;
  Put("jpeg", "1x1.jpg", MakeJpeg(s));
  // A file that stops in the middle of its scan: the decoder's warning path.
  TBytes cut = MakeJpeg({});
  cut.resize(cut.size() * 2 / 3);
  Put("jpeg", "truncated_scan.jpg", cut);
}

// ---- PNG through libpng directly ---------------------------------------------------------------

struct TPngSpec {
  int width = 7, height = 5, depth = 8, colour = PNG_COLOR_TYPE_RGB;
  bool interlace = false, trns = false, bkgd = false, phys = false;
};

void PngWriteBytes(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<TBytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

TBytes MakePng(const TPngSpec& s) {
  TBytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(png, &out, PngWriteBytes, nullptr);
  png_set_IHDR(png, info, png_uint_32(s.width), png_uint_32(s.height), s.depth, s.colour,
               s.interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (s.colour == PNG_COLOR_TYPE_PALETTE) {
    png_color palette[16];
    for (int i = 0; i < 16; ++i) palette[i] = {png_byte(i * 16), png_byte(255 - i * 16), png_byte(i * 5)};
    png_set_PLTE(png, info, palette, 1 << std::min(s.depth, 4));
  }
  if (s.trns) {
    if (s.colour == PNG_COLOR_TYPE_PALETTE) {
      png_byte alpha[3] = {0, 128, 255};
      png_set_tRNS(png, info, alpha, 3, nullptr);
    } else {
      png_color_16 key{};
      key.red = key.green = key.blue = key.gray = 1;
      png_set_tRNS(png, info, nullptr, 0, &key);
    }
  }
  if (s.bkgd) {
    png_color_16 bg{};
    bg.index = 1;
    bg.red = bg.green = bg.gray = 1;
    png_set_bKGD(png, info, &bg);
  }
  if (s.phys) png_set_pHYs(png, info, 3780, 7559, PNG_RESOLUTION_METER);
  png_write_info(png, info);
  const int channels = s.colour == PNG_COLOR_TYPE_RGB ? 3
                       : s.colour == PNG_COLOR_TYPE_RGB_ALPHA ? 4
                       : s.colour == PNG_COLOR_TYPE_GRAY_ALPHA ? 2 : 1;
  const size_t rowBytes = (size_t(s.width) * channels * s.depth + 7) / 8;
  std::vector<png_byte> image(rowBytes * size_t(s.height));
  for (size_t i = 0; i < image.size(); ++i) image[i] = png_byte(i * 29 + i / 7);
  if (s.colour == PNG_COLOR_TYPE_PALETTE && s.depth == 8)
    for (auto& b : image) b &= 15;
  std::vector<png_bytep> rows(size_t(s.height));
  for (int y = 0; y < s.height; ++y) rows[size_t(y)] = image.data() + rowBytes * size_t(y);
  png_write_image(png, rows.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

void Pngs() {
  TPngSpec s;
  s.interlace = true;
  s.width = 10;
  s.height = 9;
  Put("png", "rgb_adam7.png", MakePng(s));
  s = {};
  s.depth = 16;
  s.phys = true;
  Put("png", "rgb16_phys.png", MakePng(s));
  s = {};
  s.colour = PNG_COLOR_TYPE_RGB_ALPHA;
  s.bkgd = true;
  Put("png", "rgba_bkgd.png", MakePng(s));
  s.depth = 16;
  s.interlace = true;
  Put("png", "rgba16_adam7.png", MakePng(s));
  s = {};
  s.colour = PNG_COLOR_TYPE_GRAY_ALPHA;
  Put("png", "grey_alpha.png", MakePng(s));
  s = {};
  s.colour = PNG_COLOR_TYPE_GRAY;
  s.depth = 2;
  s.trns = true;
  Put("png", "grey2_trns.png", MakePng(s));
  s.depth = 16;
  s.trns = false;
  Put("png", "grey16.png", MakePng(s));
  s.depth = 1;
  Put("png", "grey1.png", MakePng(s));
  s = {};
  s.colour = PNG_COLOR_TYPE_PALETTE;
  s.depth = 4;
  s.trns = true;
  s.bkgd = true;
  Put("png", "palette4_trns.png", MakePng(s));
  s.depth = 8;
  s.trns = false;
  s.interlace = true;
  Put("png", "palette8_adam7.png", MakePng(s));
  s = {};
  s.trns = true;
  Put("png", "rgb_trns.png", MakePng(s));
}

// ---- icons, GIF animation -------------------------------------------------------------------

void Le16(TBytes& b, unsigned v) { b.push_back(uint8_t(v)); b.push_back(uint8_t(v >> 8)); }
void Le32(TBytes& b, uint32_t v) { Le16(b, v & 0xFFFF); Le16(b, v >> 16); }

// An icon directory of one or more entries whose images are the given blobs.
TBytes Icon(unsigned type, const std::vector<std::pair<int, TBytes>>& images) {
  TBytes b;
  Le16(b, 0);
  Le16(b, type);
  Le16(b, unsigned(images.size()));
  uint32_t offset = uint32_t(6 + 16 * images.size());
  for (const auto& [side, data] : images) {
    b.push_back(uint8_t(side));
    b.push_back(uint8_t(side));
    b.push_back(0);
    b.push_back(0);
    Le16(b, type == 2 ? 3 : 1);
    Le16(b, type == 2 ? 2 : 32);
    Le32(b, uint32_t(data.size()));
    Le32(b, offset);
    offset += uint32_t(data.size());
  }
  for (const auto& image : images) b.insert(b.end(), image.second.begin(), image.second.end());
  return b;
}

// The bitmap of a 32-bit icon image: header with doubled height, colour rows, AND mask rows.
TBytes IconDib32(int side) {
  TBytes b;
  Le32(b, 40);
  Le32(b, uint32_t(side));
  Le32(b, uint32_t(side * 2));
  Le16(b, 1);
  Le16(b, 32);
  for (int i = 0; i < 6; ++i) Le32(b, 0);
  for (int i = 0; i < side * side; ++i) {
    b.push_back(uint8_t(i * 9));
    b.push_back(uint8_t(i * 3));
    b.push_back(uint8_t(255 - i));
    b.push_back(uint8_t(i % 3 ? 255 : i * 40));
  }
  const int maskRow = ((side + 31) / 32) * 4;
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < maskRow; ++x) b.push_back(uint8_t(y & 1 ? 0xF0 : 0x0F));
  return b;
}

void Icons() {
  TPngSpec s;
  s.colour = PNG_COLOR_TYPE_RGB_ALPHA;
  s.width = s.height = 6;
  const TBytes png = MakePng(s);
  Put("ico", "png_inside.ico", Icon(1, {{6, png}}));
  Put("ico", "dib_and_png.ico", Icon(1, {{4, IconDib32(4)}, {6, png}}));
  Put("cur", "png_inside.cur", Icon(2, {{6, png}}));
  Put("cur", "dib32.cur", Icon(2, {{5, IconDib32(5)}}));
}

// Three frames with their own tables, positions, delays and a transparent index, written
// byte by byte around our LZW coder (our writer makes one frame only); the third frame is
// interlaced.
TBytes ThreeFrameGif() {
  TBytes b = {'G', 'I', 'F', '8', '9', 'a'};
  Le16(b, 4);
  Le16(b, 4);
  b.insert(b.end(), {0xF1, 0x00, 0x00});  // global table of 4 colours
  b.insert(b.end(), {0, 0, 0, 255, 0, 0, 0, 255, 0, 255, 255, 255});
  // Netscape looping extension.
  b.insert(b.end(), {0x21, 0xFF, 0x0B, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 0x03, 0x01, 0x00, 0x00, 0x00});
  for (int frame = 0; frame < 3; ++frame) {
    b.insert(b.end(), {0x21, 0xF9, 0x04, uint8_t(frame == 1 ? 0x09 : 0x04), 0x0A, 0x00, 0x02, 0x00});
    b.push_back(0x2C);
    Le16(b, unsigned(frame));
    Le16(b, unsigned(frame));
    Le16(b, 2);
    Le16(b, 2);
    if (frame == 2) {
      b.push_back(0xC1);  // local table of 4 colours
      b.insert(b.end(), {9, 9, 9, 80, 80, 80, 160, 160, 160, 250, 250, 250});
    } else {
      b.push_back(0x00);
    }
    const uint8_t indices[4] = {0, 1, 2, uint8_t(frame)};
    TVLMemoryStream lzw;
    GifLzwEncode(lzw, 2, 2, 2, indices, frame == 2);
    b.insert(b.end(), lzw.Data().begin(), lzw.Data().end());
  }
  b.push_back(0x3B);
  return b;
}

}  // namespace

// Metafiles written with libuemf: the two sample scenes and small files for the records
// the scenes do not use (bitmaps, gradients, paths, clip regions, world transforms, glyph
// indexes, WMF regions).
void Metafiles() {
  using namespace mftest;
  Put("emf", "chart.emf", ChartEmf());
  Put("wmf", "clipart.wmf", ClipArtWmf());
  {
    U_BITMAPINFOHEADER header = bitmapinfoheader_set(2, 2, 1, 24, U_BI_RGB, 16, 2835, 2835, 0, 0);
    uint8_t bits[16] = {255, 0, 0, 0, 255, 0, 0, 0, 0, 0, 255, 255, 255, 255, 0, 0};
    PU_BITMAPINFO bmi = bitmapinfo_set(header, nullptr);
    TEmfBuilder emf(40, 40);
    emf.Add(U_EMRSTRETCHDIBITS_set(U_RECTL{0, 0, 39, 39}, U_POINTL{2, 2}, U_POINTL{30, 30}, U_POINTL{0, 0},
                                   U_POINTL{2, 2}, U_DIB_RGB_COLORS, U_SRCCOPY, bmi, 16, reinterpret_cast<char*>(bits)));
    std::free(bmi);
    Put("emf", "stretchdibits.emf", emf.Finish());
  }
  {
    TEmfBuilder emf(40, 40);
    emf.Add(U_EMRSETWORLDTRANSFORM_set(xform_set(0.8f, 0.3f, -0.3f, 0.8f, 5, 2)));
    emf.Pen(Rgb(200, 0, 0), 3).Brush(Rgb(0, 0, 200), U_BS_HATCHED, U_HS_BDIAGONAL);
    emf.Add(U_EMRBEGINPATH_set()).Add(U_EMRMOVETOEX_set(U_POINTL{5, 5})).Add(U_EMRLINETO_set(U_POINTL{35, 8}));
    emf.Add(U_EMRLINETO_set(U_POINTL{20, 35})).Add(U_EMRCLOSEFIGURE_set()).Add(U_EMRENDPATH_set());
    emf.Add(U_EMRSAVEDC_set()).Add(U_EMRSELECTCLIPPATH_set(U_RGN_AND)).Rect(0, 0, 40, 20);
    emf.Add(U_EMRRESTOREDC_set(-1)).Add(U_EMREXCLUDECLIPRECT_set(U_RECTL{10, 10, 20, 20}));
    emf.Add(U_EMRELLIPSE_set(U_RECTL{2, 2, 38, 38}));
    Put("emf", "path_clip_xform.emf", emf.Finish());
  }
  {
    TEmfBuilder emf(60, 30);
    emf.Font(-12, 450).Add(U_EMRSETTEXTALIGN_set(U_TA_BASELINE | U_TA_CENTER)).Text(30, 20, u"Fuzz \u00e9t\u00e9", 6);
    Put("emf", "text.emf", emf.Finish());
  }
  {
    TWmfBuilder wmf(400, 400, 400);
    wmf.Pen(Rgb(0, 0, 0), 4).Brush(Rgb(200, 100, 0)).Add(U_WMRSAVEDC_set());
    wmf.Add(U_WMRINTERSECTCLIPRECT_set(U_RECT16{0, 0, 200, 400})).Add(U_WMRELLIPSE_set(U_RECT16{20, 20, 380, 380}));
    wmf.Add(U_WMRRESTOREDC_set(-1)).Add(U_WMRPIE_set(U_POINT16{400, 200}, U_POINT16{200, 0}, U_RECT16{100, 100, 300, 300}));
    wmf.Font(-40, 900);
    char text[] = "Wmf";
    wmf.Add(U_WMRTEXTOUT_set(U_POINT16{50, 350}, text));
    Put("wmf", "shapes_text.wmf", wmf.Finish());
  }
  {
    const U_XFORM identity = xform_set(1, 0, 0, 1, 0, 0);
    const U_RECTL all{0, 0, 39, 39};
    TDib rgb(2, 2, 24, {255, 0, 0, 0, 255, 0, 0, 0, 0, 0, 255, 255, 255, 255, 0, 0});
    TDib argb(2, 1, 32, {0, 0, 128, 128, 0, 0, 0, 0});
    TDib mask(2, 2, 1, {0x40, 0, 0, 0, 0x80, 0, 0, 0}, {U_BGR(0, 0, 0), U_BGR(255, 255, 255)});
    U_POINTL corners[3] = {{38, 2}, {38, 38}, {2, 2}};
    U_TRIVERTEX vertices[3] = {{0, 0, 0xFF00, 0, 0, 0}, {40, 40, 0, 0, 0xFF00, 0}, {0, 40, 0, 0xFF00, 0, 0}};
    uint32_t rectangle[2] = {0, 1}, triangle[3] = {0, 1, 2};
    TEmfBuilder emf(40, 40);
    emf.Add(U_EMRGRADIENTFILL_set(all, 3, 1, U_GRADIENT_FILL_RECT_H, vertices, rectangle));
    emf.Add(U_EMRGRADIENTFILL_set(all, 3, 1, U_GRADIENT_FILL_TRIANGLE, vertices, triangle));
    emf.Add(U_EMRSETDIBITSTODEVICE_set(all, U_POINTL{4, 4}, U_POINTL{0, 0}, U_POINTL{2, 2}, U_DIB_RGB_COLORS, 0, 2,
                                       rgb.bmi, rgb.Size(), rgb.Px()));
    emf.Add(U_EMRALPHABLEND_set(all, U_POINTL{0, 0}, U_POINTL{20, 20}, U_POINTL{0, 0}, U_POINTL{2, 1}, identity,
                                Rgb(0, 0, 0), U_DIB_RGB_COLORS, U_BLEND{0 /* AC_SRC_OVER */, 0, 200, U_AC_SRC_ALPHA},
                                argb.bmi, argb.Size(), argb.Px()));
    emf.Add(U_EMRTRANSPARENTBLT_set(all, U_POINTL{20, 0}, U_POINTL{20, 20}, U_POINTL{0, 0}, U_POINTL{2, 2}, identity,
                                    Rgb(0, 0, 0), U_DIB_RGB_COLORS, 0x0000FF, rgb.bmi, rgb.Size(), rgb.Px()));
    emf.Add(WithMask<U_EMRMASKBLT>(U_EMRMASKBLT_set(all, U_POINTL{0, 20}, U_POINTL{2, 2}, U_POINTL{0, 0}, identity,
                                                    Rgb(0, 0, 0), U_DIB_RGB_COLORS, U_POINTL{0, 0}, U_DIB_RGB_COLORS,
                                                    0xAA000000u | U_SRCCOPY, rgb.bmi, rgb.Size(), rgb.Px(), nullptr, 0,
                                                    nullptr),
                                   mask));
    emf.Add(WithMask<U_EMRPLGBLT>(U_EMRPLGBLT_set(all, corners, U_POINTL{0, 0}, U_POINTL{2, 2}, identity, Rgb(0, 0, 0),
                                                  U_DIB_RGB_COLORS, U_POINTL{0, 0}, U_DIB_RGB_COLORS, rgb.bmi, rgb.Size(),
                                                  rgb.Px(), nullptr, 0, nullptr),
                                  mask));
    Put("emf", "bitmaps_gradients.emf", emf.Finish());
  }
  {
    TEmfBuilder emf(40, 40);
    U_RECTL left{0, 0, 20, 40}, top{0, 0, 40, 20};
    PU_RGNDATA a = rgndata_set(rgndataheader_set(1, left), &left), b = rgndata_set(rgndataheader_set(1, top), &top);
    emf.Add(U_EMREXTSELECTCLIPRGN_set(U_RGN_COPY, a)).Add(U_EMREXTSELECTCLIPRGN_set(U_RGN_XOR, b));
    emf.Add(U_EMREXTSELECTCLIPRGN_set(U_RGN_OR, a)).Add(U_EMREXTSELECTCLIPRGN_set(U_RGN_DIFF, b));
    std::free(a), std::free(b);
    emf.Brush(Rgb(200, 0, 0)).Rect(0, 0, 40, 40);
    // Glyph indexes of a font that is likely installed, and of one that is not.
    emf.Font(-12, 0, U_FW_NORMAL, u"DejaVu Sans").Text(2, 30, u"\x002B\x0048\x0052", 7, U_ETO_GLYPH_INDEX);
    emf.Font(-12, 0, U_FW_NORMAL, u"No Such Face").Text(2, 10, u"\x002B\x0048", 7, U_ETO_GLYPH_INDEX);
    Put("emf", "clip_regions_glyphs.emf", emf.Finish());
  }
  {
    // Clip paths joined and flipped, which the player keeps as a mask, under a saved state;
    // then fills, an inversion and a bitmap drawn through it.
    TDib rgb(2, 2, 24, {255, 0, 0, 0, 255, 0, 0, 0, 0, 0, 255, 255, 255, 255, 0, 0});
    const U_XFORM identity = xform_set(1, 0, 0, 1, 0, 0);
    const U_RECTL all{0, 0, 39, 39};
    TEmfBuilder emf(40, 40);
    emf.Brush(Rgb(0, 150, 0)).Stock(U_NULL_PEN);
    emf.Add(U_EMRBEGINPATH_set()).Add(U_EMRELLIPSE_set(U_RECTL{0, 0, 30, 30})).Add(U_EMRENDPATH_set());
    emf.Add(U_EMRSELECTCLIPPATH_set(U_RGN_COPY)).Add(U_EMRSAVEDC_set());
    emf.Add(U_EMRBEGINPATH_set()).Rect(15, 15, 40, 40).Add(U_EMRENDPATH_set());
    emf.Add(U_EMRSELECTCLIPPATH_set(U_RGN_XOR)).Add(U_EMRINTERSECTCLIPRECT_set(U_RECTL{0, 5, 40, 35}));
    emf.Rect(0, 0, 40, 40).Add(U_EMRRESTOREDC_set(-1));
    emf.Add(U_EMRBEGINPATH_set()).Rect(20, 0, 40, 20).Add(U_EMRENDPATH_set()).Add(U_EMRSELECTCLIPPATH_set(U_RGN_OR));
    emf.Add(U_EMRBITBLT_set(all, U_POINTL{0, 0}, U_POINTL{40, 40}, U_POINTL{0, 0}, identity, Rgb(0, 0, 0),
                            U_DIB_RGB_COLORS, U_DSTINVERT, nullptr, 0, nullptr));
    emf.Add(U_EMRSTRETCHDIBITS_set(all, U_POINTL{5, 5}, U_POINTL{30, 30}, U_POINTL{0, 0}, U_POINTL{2, 2},
                                   U_DIB_RGB_COLORS, U_SRCAND, rgb.bmi, rgb.Size(), rgb.Px()));
    Put("emf", "clip_paths_masked.emf", emf.Finish());
  }
  {
    // SetDIBitsToDevice with a band of two of a four-row DIB's scan lines.
    TDib band(2, 4, 24, {255, 0, 0, 0, 255, 0, 0, 0, 0, 0, 255, 255, 255, 255, 0, 0});
    TWmfBuilder wmf(40, 40, 96);
    wmf.Add(WmfDibToDevice(4, 4, 0, 1, 2, 3, 1, 2, band));
    Put("wmf", "dib_to_device.wmf", wmf.Finish());
  }
  {
    TWmfBuilder wmf(100, 100, 96);
    wmf.Brush(Rgb(0, 0, 200)).Pen(Rgb(0, 0, 0), 1, U_PS_NULL).Reserve(2);
    wmf.Add(LShapedRegion(true)).Add(LShapedRegion(false));
    wmf.Add(U_WMRFILLREGION_set(2, 0)).Add(U_WMRPAINTREGION_set(3)).Add(U_WMRSELECTCLIPREGION_set(3));
    wmf.Rect(0, 0, 100, 100);
    Put("wmf", "regions.wmf", wmf.Finish());
  }
}

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_fuzz_seeds FUZZ_CORPUS_DIR\n");
    return 2;
  }
  gRoot = argv[1];
  VLInstallLzwCoders();
  OurWriters();
  Jpegs();
  Pngs();
  Icons();
  Put("gif", "three_frames_local_table.gif", ThreeFrameGif());
  Metafiles();
  return 0;
}
