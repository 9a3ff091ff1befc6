// TIFF writer: one little-endian page in one strip, as a new file or inserted into the page
// chain of an existing little-endian file. Offsets are counted from the first byte of the
// TIFF (the stream's position when the writer starts), so that a TIFF behind a stream header
// or inside a larger stream points at its own bytes.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <unordered_set>
#include <vector>

#include "fax_coder.h"
#include "packbits_encoder.h"
#include "proc/pixel_formats.h"
#include "tiff_cielab.h"
#include "tiff_codec.h"
#include "tiff_tags.h"

namespace velora {

using namespace tiff;

namespace {

constexpr int64_t kLargestOffset = 0xFFFFFFFF;  // a LONG offset: the file's first 4 GiB
constexpr int kHeaderSize = 8;
constexpr int kEntrySize = 12;
// The insertion walk stops at this many pages: a chain that long is a damaged file.
constexpr int kMostPages = 65535;

enum class TColourForm { cfBilevel, cfRgb, cfCmyk, cfLab };

// How the page is written, from the bitmap and the parameter record.
struct TOutputForm {
  TColourForm colour = TColourForm::cfRgb;
  uint16_t compression = ccNone;
  bool twoDimensional = false;  // Group 3 with T4Options bit 0
  bool predictor = false;       // horizontal differencing before LZW
  int samples = 3;
  bool Bilevel() const { return colour == TColourForm::cfBilevel; }
  bool Ccitt() const { return compression == ccCcittRle || compression == ccCcittT4 || compression == ccCcittT6; }
  uint16_t Photometric() const {
    switch (colour) {
      case TColourForm::cfBilevel: return Ccitt() ? pcWhiteIsZero : pcBlackIsZero;
      case TColourForm::cfCmyk: return pcSeparated;
      case TColourForm::cfLab: return pcCieLab;
      default: return pcRgb;
    }
  }
};

TColourForm ColourFormOf(const TIOParamsVals& params) {
  if (params.BitsPerSample == 1 && params.SamplesPerPixel == 1) return TColourForm::cfBilevel;
  // Grey photometrics for a 24-bit page are written as RGB: only bilevel pages are grey.
  switch (params.TiffPhotometric) {
    case 5: return TColourForm::cfCmyk;
    case 7: return TColourForm::cfLab;
    default: return TColourForm::cfRgb;
  }
}

TOutputForm ChooseOutputForm(TIOParamsVals& params, bool haveLzw) {
  TOutputForm form;
  form.colour = ColourFormOf(params);
  if (form.colour == TColourForm::cfCmyk) params.SamplesPerPixel = 4;
  form.samples = form.Bilevel() ? 1 : form.colour == TColourForm::cfCmyk ? 4 : 3;
  switch (params.TiffCompression) {
    case 1: form.compression = ccCcittRle; break;
    case 2: form.compression = ccCcittT4; break;
    case 3: form.compression = ccCcittT4, form.twoDimensional = true; break;
    case 4: form.compression = ccCcittT6; break;
    case 5:
      form.compression = haveLzw ? ccLzw : ccNone;
      form.predictor = haveLzw && params.BitsPerSample == 8 && (params.SamplesPerPixel == 1 || params.SamplesPerPixel == 3);
      break;
    case 8: form.compression = ccPackBits; break;
    default: form.compression = ccNone;
  }
  if (form.Ccitt() && !form.Bilevel()) form.compression = ccNone, form.twoDimensional = false;
  // Differencing is defined here for three 8-bit samples; a bilevel or CMYK page goes without.
  if (form.Bilevel() || form.colour == TColourForm::cfCmyk) form.predictor = false;
  return form;
}

// The pixels to write: the caller's bitmap where it already has the output's depth, else a
// converted copy. CCITT coders take 1 as black, the inverse of the bitmap's convention.
const TBitmap& PreparePixels(const TBitmap& bitmap, const TOutputForm& form, std::unique_ptr<TBitmap>& holder) {
  const bool mono = bitmap.PixelFormat() == TPixelFormat::pf1bit;
  if (!form.Bilevel()) {
    if (!mono) return bitmap;
    holder = std::make_unique<TBitmap>();
    ExpandMonoTo24(bitmap, *holder);
    return *holder;
  }
  if (!mono) {
    TRGB darker, lighter;
    holder = ReduceToTwoColours(bitmap, darker, lighter);
    if (!holder) {
      holder = CloneBitmap(bitmap);
      DitherToMono(*holder);
    }
  }
  if (form.Ccitt()) {
    if (!holder) holder = CloneBitmap(bitmap);
    InvertMono(*holder);
  }
  return holder ? *holder : bitmap;
}

// ---- the IFD under construction -------------------------------------------------------------

struct TEntry {
  uint16_t tag;
  uint16_t type;
  uint32_t count;
  uint8_t value[4];  // the value itself, or the offset of the value, little-endian
};

void PutU16(uint8_t* p, uint32_t v) { p[0] = uint8_t(v), p[1] = uint8_t(v >> 8); }
void PutU32(uint8_t* p, uint32_t v) { PutU16(p, v), PutU16(p + 2, v >> 16); }

// Collects the entries in the order they are made (ascending tags) and writes each value
// that does not fit in its entry at the stream's position when the entry is made.
class TIfdBuilder {
 public:
  TIfdBuilder(TVLStream& stream, int64_t base, TVLProgressRecord& progress)
      : stream_(stream), base_(base), progress_(progress) {}

  // The current position as an offset of the file; false (and failed) past 4 GiB.
  bool Offset(int64_t extra, uint32_t& offset) {
    const int64_t at = stream_.Position() - base_;
    if (at < 0 || at + extra > kLargestOffset) {
      progress_.Fail("TIFF: the page would lie past the 4 GiB a TIFF file can address");
      return false;
    }
    offset = uint32_t(at);
    return true;
  }

  void Add(uint16_t tag, uint16_t type, uint32_t count, const uint8_t* bytes, size_t size) {
    TEntry e{tag, type, count, {0, 0, 0, 0}};
    if (size <= 4) {
      std::memcpy(e.value, bytes, size);
    } else {
      uint32_t offset = 0;
      if (!Offset(int64_t(size), offset)) return;
      stream_.WriteBuffer(bytes, int64_t(size));
      PutU32(e.value, offset);
    }
    entries_.push_back(e);
  }
  void Short(uint16_t tag, uint32_t v) {
    uint8_t b[2];
    PutU16(b, v);
    Add(tag, ftShort, 1, b, 2);
  }
  void Shorts(uint16_t tag, const std::vector<uint16_t>& values) {
    std::vector<uint8_t> b(values.size() * 2);
    for (size_t i = 0; i < values.size(); ++i) PutU16(&b[2 * i], values[i]);
    Add(tag, ftShort, uint32_t(values.size()), b.data(), b.size());
  }
  void Long(uint16_t tag, uint32_t v) {
    uint8_t b[4];
    PutU32(b, v);
    Add(tag, ftLong, 1, b, 4);
  }
  void Rational(uint16_t tag, uint32_t numerator, uint32_t denominator) {
    uint8_t b[8];
    PutU32(b, numerator);
    PutU32(b + 4, denominator);
    Add(tag, ftRational, 1, b, 8);
  }
  // Strings go with their terminating zero, which the count includes; empty ones not at all.
  void Ascii(uint16_t tag, const std::string& text) {
    if (text.empty()) return;
    const std::string z = text.substr(0, text.find('\0'));
    Add(tag, ftAscii, uint32_t(z.size() + 1), reinterpret_cast<const uint8_t*>(z.c_str()), z.size() + 1);
  }

  // Writes the IFD at the next even offset; false when it could not be placed.
  bool WriteIfd(uint32_t nextIfd, uint32_t& ifdOffset) {
    if (progress_.Aborted()) return false;
    if ((stream_.Position() - base_) & 1) stream_.WriteU8(0);
    const size_t size = 2 + kEntrySize * entries_.size() + 4;
    if (!Offset(int64_t(size), ifdOffset)) return false;
    std::vector<uint8_t> ifd(size);
    PutU16(ifd.data(), uint32_t(entries_.size()));
    uint8_t* p = ifd.data() + 2;
    for (const TEntry& e : entries_) {
      PutU16(p, e.tag);
      PutU16(p + 2, e.type);
      PutU32(p + 4, e.count);
      std::memcpy(p + 8, e.value, 4);
      p += kEntrySize;
    }
    PutU32(p, nextIfd);
    stream_.WriteBuffer(ifd.data(), int64_t(size));
    return true;
  }

 private:
  TVLStream& stream_;
  int64_t base_;
  TVLProgressRecord& progress_;
  std::vector<TEntry> entries_;
};

// ---- the insertion point --------------------------------------------------------------------

// Where the new page joins the chain: the next-IFD field (header or IFD) that will point at
// it, the value that field held (the new page's successor), and the pages there were.
struct TInsertPoint {
  int64_t slot = -1;
  uint32_t successor = 0;
  int pages = 0;
};

uint32_t ReadU32At(TVLStream& stream, int64_t at) {
  stream.SetPosition(at);
  return stream.ReadU32LE();
}

// Walks the chain of a little-endian TIFF at base. Every IFD must lie inside the file and be
// met once: a damaged chain is refused rather than extended.
bool FindInsertPoint(TVLStream& stream, int64_t base, int index, TInsertPoint& at, TVLProgressRecord& progress) {
  const int64_t fileSize = stream.Size() - base;
  uint8_t header[kHeaderSize];
  stream.SetPosition(base);
  if (fileSize < kHeaderSize || stream.Read(header, kHeaderSize) != kHeaderSize) {
    progress.Fail("TIFF: no TIFF header to insert a page behind");
    return false;
  }
  if (header[0] != 'I' || header[1] != 'I') {
    progress.Fail("TIFF: pages are inserted only into little-endian (\"II\") files");
    return false;
  }
  if ((header[2] | header[3] << 8) != kClassicVersion) {
    progress.Fail("TIFF: pages are inserted only into classic TIFF files (version 42)");
    return false;
  }
  std::unordered_set<uint32_t> seen;
  int64_t slot = 4;
  for (int number = 0;; ++number) {
    const uint32_t ifd = ReadU32At(stream, base + slot);
    if (at.slot < 0 && (number == index || ifd == 0)) {
      at.slot = slot;
      at.successor = ifd;
    }
    if (ifd == 0) {
      at.pages = number;
      return true;
    }
    if (number == kMostPages || !seen.insert(ifd).second) {
      progress.Fail("TIFF: the file's chain of pages runs in a loop");
      return false;
    }
    if (int64_t(ifd) + 2 > fileSize) {
      progress.Fail("TIFF: page " + std::to_string(number) + " lies past the end of the file");
      return false;
    }
    stream.SetPosition(base + ifd);
    const int64_t entries = stream.ReadU16LE();
    slot = int64_t(ifd) + 2 + entries * kEntrySize;
    if (slot + 4 > fileSize) {
      progress.Fail("TIFF: page " + std::to_string(number) + " runs past the end of the file");
      return false;
    }
  }
}

// ---- the strip ------------------------------------------------------------------------------

// The bytes of one 24-bit row as the page stores them.
void PackRow(const uint8_t* pixels, int width, const TOutputForm& form, uint8_t* out) {
  const auto* px = reinterpret_cast<const TRGB*>(pixels);
  switch (form.colour) {
    case TColourForm::cfCmyk:
      for (int x = 0; x < width; ++x, out += 4) {
        const int k = std::max({px[x].r, px[x].g, px[x].b, uint8_t(1)});
        out[0] = uint8_t(255 - px[x].r * 255 / k);
        out[1] = uint8_t(255 - px[x].g * 255 / k);
        out[2] = uint8_t(255 - px[x].b * 255 / k);
        out[3] = uint8_t(255 - std::max({px[x].r, px[x].g, px[x].b}));
      }
      return;
    case TColourForm::cfLab:
      for (int x = 0; x < width; ++x, out += 3) SrgbToTiffLab(px[x], out);
      return;
    default:
      for (int x = 0; x < width; ++x, out += 3) out[0] = px[x].r, out[1] = px[x].g, out[2] = px[x].b;
  }
}

// Horizontal differencing of three-sample pixels, from the right so that each pixel is taken
// from its left neighbour's original value.
void DifferenceRow(uint8_t* row, int width) {
  for (int i = width * 3 - 1; i >= 3; --i) row[i] = uint8_t(row[i] - row[i - 3]);
}

// The LZW encoder's state for one strip. An encoder left open by a failed write is finished
// into a scratch stream: that releases it without touching the file again.
class TLzwStrip {
 public:
  explicit TLzwStrip(TTiffLzwCompFunc encode) : encode_(encode) {}
  ~TLzwStrip() {
    if (!state_) return;
    TVLMemoryStream scratch;
    try {
      encode_(nullptr, 0, scratch, &state_);
    } catch (...) {
    }
  }
  void Row(const uint8_t* row, int length, TVLStream& stream) { encode_(row, length, stream, &state_); }
  void Finish(TVLStream& stream) { encode_(nullptr, 0, stream, &state_); }

 private:
  TTiffLzwCompFunc encode_;
  void* state_ = nullptr;
};

class TStripWriter {
 public:
  TStripWriter(TVLStream& stream, const TOutputForm& form, TTiffLzwCompFunc lzw, TVLProgressRecord& progress)
      : stream_(stream), form_(form), lzw_(lzw), progress_(progress) {}

  void Row(const uint8_t* row, int length, int width) {
    if (form_.Ccitt()) {
      FaxRow(row, width);
      return;
    }
    switch (form_.compression) {
      case ccLzw: lzw_.Row(row, length, stream_); break;
      case ccPackBits:
        packed_.clear();
        PackBitsEncodeRow(row, length, packed_);
        stream_.WriteBuffer(packed_.data(), int64_t(packed_.size()));
        break;
      default: stream_.WriteBuffer(row, length);
    }
  }

  // The coders' final calls: pending bits, closing codes.
  void Finish(int width) {
    if (form_.Ccitt())
      FaxRow(nullptr, width);
    else if (form_.compression == ccLzw)
      lzw_.Finish(stream_);
  }

 private:
  // One row of the CCITT coding, or its final call (row nullptr).
  void FaxRow(const uint8_t* row, int width) {
    switch (form_.compression) {
      case ccCcittRle: EncodeMhRow(row, width, stream_, progress_, fax_); break;
      case ccCcittT4:
        (form_.twoDimensional ? EncodeT4Row2D : EncodeT4Row)(row, width, stream_, progress_, fax_);
        break;
      default: EncodeT6Row(row, width, stream_, progress_, fax_);
    }
  }

  TVLStream& stream_;
  const TOutputForm& form_;
  TLzwStrip lzw_;
  TVLProgressRecord& progress_;
  TFaxEncoderState fax_;
  std::vector<uint8_t> packed_;
};

// Writes every row from the top; false when the strip could not be completed.
bool WriteStrip(TVLStream& stream, const TBitmap& pixels, const TOutputForm& form, TTiffLzwCompFunc lzw,
                TVLProgressRecord& progress) {
  const int width = pixels.Width(), height = pixels.Height();
  const int rowBytes = form.Bilevel() ? (width + 7) / 8 : width * form.samples;
  std::vector<uint8_t> row(form.Bilevel() ? 0 : size_t(rowBytes));
  TStripWriter writer(stream, form, lzw, progress);
  progress.per1 = 100.0 / height;
  for (int y = 0; y < height; ++y) {
    progress.Report(int(int64_t(y) * 100 / height));
    if (progress.Aborted()) return false;
    const uint8_t* data = pixels.ScanLine(y);
    if (!form.Bilevel()) {
      PackRow(data, width, form, row.data());
      if (form.predictor) DifferenceRow(row.data(), width);
      data = row.data();
    }
    writer.Row(data, rowBytes, width);
  }
  if (progress.Aborted()) return false;
  writer.Finish(width);
  return !progress.Aborted();
}

// ---- the page -------------------------------------------------------------------------------

uint32_t Clamped32(int64_t v) { return uint32_t(std::clamp<int64_t>(v, 0, kLargestOffset)); }
uint32_t Position10000(int32_t pos) { return Clamped32(std::llround(double(pos) * 10000.0)); }

// The entries up to the strip (and their values, which lie before it).
void AddLeadingEntries(TIfdBuilder& ifd, const TBitmap& pixels, const TOutputForm& form, const TIOParamsVals& params) {
  ifd.Long(tgImageWidth, uint32_t(pixels.Width()));
  ifd.Long(tgImageLength, uint32_t(pixels.Height()));
  if (form.Bilevel())
    ifd.Short(tgBitsPerSample, 1);
  else
    ifd.Shorts(tgBitsPerSample, std::vector<uint16_t>(size_t(form.samples), 8));
  ifd.Short(tgCompression, form.compression);
  ifd.Short(tgPhotometricInterpretation, form.Photometric());
  ifd.Ascii(tgDocumentName, params.TiffDocumentName);
  ifd.Ascii(tgImageDescription, params.TiffImageDescription);
}

void AddTrailingEntries(TIfdBuilder& ifd, const TBitmap& pixels, const TOutputForm& form, const TIOParamsVals& params,
                        uint32_t stripOffset, uint32_t stripBytes) {
  ifd.Long(tgStripOffsets, stripOffset);
  ifd.Short(tgSamplesPerPixel, uint32_t(form.samples));
  ifd.Long(tgRowsPerStrip, uint32_t(pixels.Height()));
  ifd.Long(tgStripByteCounts, stripBytes);
  ifd.Rational(tgXResolution, Clamped32(params.DpiX), 1);
  ifd.Rational(tgYResolution, Clamped32(params.DpiY), 1);
  ifd.Ascii(tgPageName, params.TiffPageName);
  ifd.Rational(tgXPosition, Position10000(params.TiffXPos), 10000);
  ifd.Rational(tgYPosition, Position10000(params.TiffYPos), 10000);
  if (form.compression == ccCcittT4) ifd.Long(tgT4Options, form.twoDimensional ? 1 : 0);
  ifd.Short(tgResolutionUnit, ruInch);
  if (params.TiffPageNumber != 0 || params.TiffPageCount != 0) {
    auto half = [](int32_t v) { return uint16_t(std::clamp(v, 0, 65535)); };
    ifd.Shorts(tgPageNumber, {half(params.TiffPageNumber), half(params.TiffPageCount)});
  }
  if (form.predictor) ifd.Short(tgPredictor, prHorizontal);
  // The profile the picture was read with, on pages whose samples it describes.
  const std::vector<uint8_t>& icc = params.IccProfile;
  if (form.Photometric() == 2 && icc.size() > 20 && std::memcmp(icc.data() + 16, "RGB ", 4) == 0)
    ifd.Add(tgIccProfile, ftUndefined, uint32_t(icc.size()), icc.data(), icc.size());
}

// Points the header (new file) or the noted next-IFD field (insertion) at the page.
void LinkPage(TVLStream& stream, int64_t base, const TInsertPoint* at, uint32_t ifdOffset) {
  if (at) {
    stream.SetPosition(base + at->slot);
    stream.WriteU32LE(ifdOffset);
  } else {
    stream.SetPosition(base);
    stream.WriteU16LE(kIntelOrder);
    stream.WriteU16LE(kClassicVersion);
    stream.WriteU32LE(ifdOffset);
  }
  stream.Seek(0, TSeekOrigin::soEnd);
}

int WritePage(TVLStream& stream, bool insert, TBitmap& bitmap, TIOParamsVals& params, TVLProgressRecord& progress) {
  const TPixelFormat pf = bitmap.PixelFormat();
  if (bitmap.Empty() || (pf != TPixelFormat::pf1bit && pf != TPixelFormat::pf24bit)) {
    progress.Fail("TIFF: only non-empty 1- and 24-bit bitmaps are written");
    return 0;
  }
  const int64_t base = stream.Position();
  TInsertPoint at;
  if (insert) {
    if (params.TiffImageIndex < 0) {
      progress.Fail("TIFF: no page position " + std::to_string(params.TiffImageIndex));
      return 0;
    }
    if (!FindInsertPoint(stream, base, params.TiffImageIndex, at, progress)) return 0;
    stream.Seek(0, TSeekOrigin::soEnd);
  } else {
    const uint8_t placeholder[kHeaderSize] = {};
    stream.WriteBuffer(placeholder, kHeaderSize);
  }

  const TTiffLzwCompFunc lzw = TiffCompressor(params);
  const TOutputForm form = ChooseOutputForm(params, lzw != nullptr);
  std::unique_ptr<TBitmap> holder;
  const TBitmap& pixels = PreparePixels(bitmap, form, holder);

  TIfdBuilder ifd(stream, base, progress);
  AddLeadingEntries(ifd, pixels, form, params);
  uint32_t stripOffset = 0;
  if (!ifd.Offset(0, stripOffset)) return 0;
  const int64_t stripStart = stream.Position();
  if (!WriteStrip(stream, pixels, form, lzw, progress)) return 0;
  AddTrailingEntries(ifd, pixels, form, params, stripOffset, Clamped32(stream.Position() - stripStart));

  uint32_t ifdOffset = 0;
  if (!ifd.WriteIfd(insert ? at.successor : 0, ifdOffset)) return 0;
  LinkPage(stream, base, insert ? &at : nullptr, ifdOffset);
  progress.Report(100);
  return insert ? at.pages + 1 : 1;
}

}  // namespace

int TiffWriteStream(TVLStream& stream, bool insert, TBitmap& bitmap, TVLProgressRecord& progress,
                    TIOParamsVals& params) {
  // A stream that refuses bytes (a full disk, and the LZW coder reports it so) fails the
  // page; nothing is written after the refusal, so no IFD points at a cut strip.
  try {
    const int pages = WritePage(stream, insert, bitmap, params, progress);
    return progress.Aborted() ? 0 : pages;
  } catch (const EVLStreamError& e) {
    progress.Fail(std::string("TIFF: ") + e.what());
  } catch (const std::bad_alloc&) {
    progress.Fail("TIFF: out of memory");
  }
  return 0;
}

}  // namespace velora
