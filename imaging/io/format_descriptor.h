// What the I/O front knows of a built-in format, in one entry per format: its identifier and
// names, the extensions it is listed, loaded and saved under, how its content is recognised,
// and its reader and writer with the particulars the front applies around them. The entries
// live with their codecs (codecs/<format>/<format>_descriptor.cpp); the table of them is put
// together above the codecs (codecs/formats.cpp), so that the front reaches every format
// through this type alone. Detection order, the load and save dispatch and the registry are
// all built from the table.
#pragma once
#include <cstdint>
#include <span>
#include <string>

#include "base/progress.h"
#include "base/vl_stream.h"
#include "base/vl_types.h"
#include "bitmap/toolkit_bitmap.h"
#include "bitmap/vl_mask.h"
#include "io_params.h"

namespace velora {

// A metafile as its header describes it: enhanced (EMF) or not (WMF), and its picture
// frame in pixels at the screen's resolution.
struct TVLMetafileFacts {
  bool Enhanced = false;
  int Width = 0, Height = 0;
};
// A metafile larger than this is refused before it is read into memory.
constexpr int64_t kMaxMetafileBytes = int64_t(256) << 20;
// Reads the facts from a whole metafile in memory; false (and failed) when there are none.
using TVLMetafileProbe = bool (*)(std::span<const uint8_t> bytes, TVLMetafileFacts& facts, TVLProgressRecord& progress);
// Draws the picture stretched over width × height from the target's top-left corner onto
// the target's present pixels; what falls outside the target is cut off.
using TVLMetafileDraw = void (*)(std::span<const uint8_t> bytes, TBitmap& target, int width, int height,
                                 TVLProgressRecord& progress);

// The size ImportMetafile draws a picture at when asked for width × height (negative: derived
// from the other side or the picture's own), within the 2800-pixel cap; false for a size of
// 0, which cannot be drawn.
bool VLMetafileImportSize(const TVLMetafileFacts& facts, int width, int height, int& drawWidth, int& drawHeight);
// The target is one pixel smaller each way than the drawing; a drawing of one pixel keeps
// one, since a bitmap without pixels cannot be shown.
inline int VLMetafileTargetSide(int drawn) { return drawn > 1 ? drawn - 1 : 1; }

// One read as the front hands it to a format: the stream at the image's first byte, the
// data length from there (0: up to the end of the stream), and where the pixels, the alpha
// plane and the parameters go. bitmap may be null in header-only reads.
struct TVLReadJob {
  TVLStream& stream;
  int64_t size;
  TBitmap* bitmap;
  TVLMask* alphaMask;
  TIOParamsVals& params;
  bool headerOnly;
  TVLProgressRecord& progress;
};
using TVLFormatReader = void (*)(const TVLReadJob& job);
using TVLFormatWriter = void (*)(TVLStream& stream, TBitmap& bitmap, TIOParamsVals& params, TVLMask* alphaMask,
                                 TVLProgressRecord& progress);
// Adds the bitmap as a page to the file that starts at the stream's position, where
// params asks; returns the pages the file has afterwards, 0 when it failed.
using TVLPageInserter = int (*)(TVLStream& stream, TBitmap& bitmap, TIOParamsVals& params,
                                TVLProgressRecord& progress);

// The writer of a format whose codec takes no alpha plane.
template <void (*Write)(TVLStream&, TBitmap&, TIOParamsVals&, TVLProgressRecord&)>
void VLWriteWithoutAlpha(TVLStream& stream, TBitmap& bitmap, TIOParamsVals& params, TVLMask*,
                         TVLProgressRecord& progress) {
  Write(stream, bitmap, params, progress);
}

// A content test at the stream's position; size is the whole stream's size. The front puts
// the position back after every test, so a test may read freely.
using TVLContentTest = bool (*)(TVLStream& stream, int64_t size);

// The first bytes at a stream's position, for the tests that look at a fixed header; a test
// that needs more bytes than the stream has from there fails like a short read.
struct TVLLeadBytes {
  uint8_t b[16] = {};
  int64_t n = 0;
  explicit TVLLeadBytes(TVLStream& stream);
  bool Have(int count) const { return n >= count; }
  uint16_t Word() const { return uint16_t(b[0] | b[1] << 8); }
  std::string Text(int count) const;  // the first `count` bytes up to the first zero byte
};

// Content tests of all formats run in one order, and one format may be tried more than once
// in it (a PCX stream header early, the bare manufacturer byte later). Each test carries its
// rank in that order.
struct TVLSignature {
  int rank;
  TVLContentTest test;
};

// The 12-byte stream header in front of TIFF, JPEG and PCX data in streams, and how each
// of the three honours it when reading.
enum class TVLStreamHeaderRule {
  shNone,
  shRequired,    // with StreamHeaders the header must carry the format's magic, else nothing is read
  shAlways,      // a header with the magic is used whether or not StreamHeaders is set, else rewound
  shRequiredOld  // as shRequired, also accepting the old 4-byte form ("PCX" and a zero byte)
};

struct TVLFormatDescriptor {
  int32_t FileType = 0;
  const char* Name = nullptr;        // short, for reasons: "PCX: 16000 x 16000 declared, 300 bytes follow"
  const char* FullName = nullptr;    // the registry's description
  const char* Extensions = nullptr;  // the registry's list, ";"-separated, no dots
  // The lists the load and save by file name go by, when they differ from the registry's
  // (the Targa loader takes "WIN" where the registry lists "PIX"); nullptr: the registry's
  // list. SaveExtensions is empty for formats that are never written.
  const char* LoadExtensions = nullptr;
  const char* SaveExtensions = nullptr;
  std::span<const TVLSignature> Signatures;
  // Null while the format's codec is not there: the front still takes the format's file
  // names and stream headers, and the read or write fails with a reason.
  TVLFormatReader Read = nullptr;
  TVLFormatWriter Write = nullptr;
  TVLPageInserter InsertPage = nullptr;  // formats whose files take further pages
  bool HasPages = false;           // the file may hold several images (pages, frames)
  bool MetafileImport = false;     // read by ImportMetafile, from files only
  TVLMetafileProbe ProbeMetafile = nullptr;
  TVLMetafileDraw DrawMetafile = nullptr;
  // The front's steps around the reader.
  bool AlphaReset = false;         // the format has no alpha: an attached mask becomes opaque
  bool ViewDpiAfterFile = false;   // the attached view's SetDpi after a file read
  bool ViewDpiAfterStream = false; // ... after a stream read
  bool NamesFileFirst = false;     // FileName and FileType are set before the reader runs
  const char* StreamMagic = nullptr;  // "TIFF", "JFIF", "PCX2"
  TVLStreamHeaderRule StreamHeaderRule = TVLStreamHeaderRule::shNone;
  // Background exchange: before a file read the component's background goes into the
  // record; after any read the record may name the background the image asks for.
  void (*BeforeFileRead)(TIOParamsVals& params, TRGB background) = nullptr;
  bool (*BackgroundAfterRead)(const TIOParamsVals& params, TRGB& colour) = nullptr;
};

// The built-in formats in identifier order; defined above the codecs.
std::span<const TVLFormatDescriptor* const> VLBuiltinFormats();
// The built-in format with this identifier, or nullptr.
const TVLFormatDescriptor* VLFindBuiltinFormat(int32_t fileType);
// The built-in format a file name's extension (without the dot, any case) loads or saves
// by, or nullptr.
enum class TVLExtensionUse { euLoad, euSave };
const TVLFormatDescriptor* VLFindBuiltinFormatByExtension(const std::string& extension, TVLExtensionUse use);

}  // namespace velora
