// BMP writer: depths 1, 4, 8 and 24; RLE4 and RLE8; the core or the information header.
#include <cmath>
#include <new>
#include <vector>

#include "bmp_codec.h"
#include "bmp_dib.h"
#include "bmp_rle.h"
#include "proc/pixel_formats.h"
#include "quant/quantizer.h"

namespace velora {

namespace bmp {

namespace {
void FlushLiterals(const uint8_t* p, int count, bool rle4, std::vector<uint8_t>& out) {
  while (count > 0) {
    const int n = std::min(count, 255);
    if (n == 1) {
      out.insert(out.end(), {1, uint8_t(rle4 ? p[0] << 4 : p[0])});
    } else if (n == 2 && !rle4) {
      out.insert(out.end(), {1, p[0], 1, p[1]});
    } else if (n == 2) {
      out.insert(out.end(), {2, uint8_t((p[0] << 4) | (p[1] & 15))});
    } else {
      out.insert(out.end(), {0, uint8_t(n)});
      size_t bytes = 0;
      for (int i = 0; i < n; i += rle4 ? 2 : 1, ++bytes)
        out.push_back(rle4 ? uint8_t((p[i] << 4) | (i + 1 < n ? p[i + 1] & 15 : 0)) : p[i]);
      if (bytes & 1) out.push_back(0);
    }
    p += n;
    count -= n;
  }
}
}  // namespace

void EncodeRleRow(const uint8_t* indices, int count, bool rle4, std::vector<uint8_t>& out) {
  int pending = 0;  // start of the literal stretch not yet written
  int x = 0;
  while (x < count) {
    if (x + 1 < count && indices[x] == indices[x + 1]) {
      FlushLiterals(indices + pending, x - pending, rle4, out);
      int n = 1;
      while (x + n < count && n < 255 && indices[x + n] == indices[x]) ++n;
      const uint8_t v = indices[x];
      out.insert(out.end(), {uint8_t(n), uint8_t(rle4 ? (v << 4) | (v & 15) : v)});
      x += n;
      pending = x;
    } else {
      ++x;
      if (x - pending > 255) {
        FlushLiterals(indices + pending, x - pending, rle4, out);
        pending = x;
      }
    }
  }
  FlushLiterals(indices + pending, x - pending, rle4, out);
  out.insert(out.end(), {0, 0});
}

}  // namespace bmp

namespace {

using namespace bmp;

class TBmpWriter {
 public:
  TBmpWriter(TVLStream& stream, TBitmap& bitmap, TIOParamsVals& params, TVLProgressRecord& progress)
      : Stream(stream), Bitmap(bitmap), Params(params), Progress(progress) {}
  void Run();

 private:
  void WriteHeaders();
  void WriteColourTable(const TRGB* entries, int count);
  void WriteIndexed();
  void WriteMono();
  void Write24();
  void PatchHeaders();
  bool BeforeRow(int rowsDone) {
    Progress.ReportRows(rowsDone);
    return !Progress.Aborted();
  }

  TVLStream& Stream;
  TBitmap& Bitmap;
  TIOParamsVals& Params;
  TVLProgressRecord& Progress;
  int64_t Start = 0;
  int64_t PixelStart = 0;
  int Depth = 24;
  bool Core = false;
  bool Rle = false;
  uint8_t Header[64] = {};
  uint32_t HeaderSize = 0;
};

void TBmpWriter::Run() {
  Start = Stream.Position();
  Depth = (Params.BitsPerSample == 1 || Params.BitsPerSample == 4) ? Params.BitsPerSample
          : Params.SamplesPerPixel == 1                           ? 8
                                                                  : 24;
  Core = Params.BmpVersion == bvCore;
  Rle = Params.BmpCompression == 1 && !Core && (Depth == 4 || Depth == 8);
  WriteHeaders();
  Progress.per1 = 100.0 / Bitmap.Height();
  if (Depth == 4 || Depth == 8)
    WriteIndexed();
  else if (Depth == 1)
    WriteMono();
  else
    Write24();
  if (!Progress.Aborted()) PatchHeaders();
}

void TBmpWriter::WriteHeaders() {
  uint8_t fileHeader[kFileHeaderSize] = {};
  TBmpFileHeader{kSignature}.Encode(fileHeader);
  Stream.WriteBuffer(fileHeader, kFileHeaderSize);
  if (Core) {
    HeaderSize = kCoreHeaderSize;
    PutU32LE(Header + core::bcSize, kCoreHeaderSize);
    PutU16LE(Header + core::bcWidth, uint16_t(Bitmap.Width()));
    PutU16LE(Header + core::bcHeight, uint16_t(Bitmap.Height()));
    PutU16LE(Header + core::bcPlanes, 1);
  } else {
    HeaderSize = Params.BmpVersion == bvOs2 ? kOs2HeaderSize : kInfoHeaderSize;
    PutU32LE(Header + info::biSize, HeaderSize);
    PutU32LE(Header + info::biWidth, uint32_t(Bitmap.Width()));
    PutU32LE(Header + info::biHeight, uint32_t(Bitmap.Height()));
    PutU16LE(Header + info::biPlanes, 1);
    PutU32LE(Header + info::biCompression, !Rle ? bcNone : Depth == 4 ? bcRle4 : bcRle8);
    PutU32LE(Header + info::biXPelsPerMeter, uint32_t(int32_t(std::nearbyint(Params.DpiX / 2.54 * 100))));
    PutU32LE(Header + info::biYPelsPerMeter, uint32_t(int32_t(std::nearbyint(Params.DpiY / 2.54 * 100))));
    PutU32LE(Header + info::biClrUsed, Depth <= 8 ? 1u << Depth : 0);
    PutU32LE(Header + info::biClrImportant, 1u << Depth);
  }
  Stream.WriteBuffer(Header, HeaderSize);
}

void TBmpWriter::WriteColourTable(const TRGB* entries, int count) {
  std::vector<uint8_t> table;
  for (int i = 0; i < count; ++i) {
    table.insert(table.end(), {entries[i].b, entries[i].g, entries[i].r});
    if (!Core) table.push_back(0);
  }
  Stream.WriteBuffer(table.data(), int64_t(table.size()));
}

void TBmpWriter::WriteIndexed() {
  const int colours = 1 << Depth;
  std::vector<TRGB> palette(static_cast<size_t>(colours));
  const TVLQuantizerSource source = QuantizerSourceOf(Bitmap);
  TVLQuantizer quantizer(source, colours, palette.data());
  Params.SetColorMap(palette.data(), colours);
  WriteColourTable(palette.data(), colours);
  PixelStart = Stream.Position();

  const int width = Bitmap.Width(), height = Bitmap.Height();
  std::vector<uint8_t> indices(static_cast<size_t>(width));
  std::vector<uint8_t> out;
  for (int done = 0; done < height; ++done) {
    if (!BeforeRow(done)) return;
    const TRGB* row = source.Row(height - 1 - done);
    for (int x = 0; x < width; ++x) indices[size_t(x)] = uint8_t(quantizer.RGBIndex(row[x]));
    out.clear();
    if (Rle) {
      EncodeRleRow(indices.data(), width, Depth == 4, out);
    } else {
      out.assign(size_t(RowSize(width, Depth)), 0);
      for (int x = 0; x < width; ++x) {
        if (Depth == 8)
          out[size_t(x)] = indices[size_t(x)];
        else
          out[size_t(x >> 1)] |= uint8_t((x & 1) ? indices[size_t(x)] & 15 : indices[size_t(x)] << 4);
      }
    }
    Stream.WriteBuffer(out.data(), int64_t(out.size()));
  }
  if (Rle) Stream.WriteBuffer("\0\1", 2);
}

void TBmpWriter::WriteMono() {
  TRGB entries[2] = {TRGB{0, 0, 0}, TRGB{255, 255, 255}};
  std::unique_ptr<TBitmap> reduced;
  const TBitmap* mono = &Bitmap;
  if (Bitmap.PixelFormat() != TPixelFormat::pf1bit) {
    reduced = ReduceToTwoColours(Bitmap, entries[0], entries[1]);
    if (!reduced) {
      entries[0] = TRGB{0, 0, 0}, entries[1] = TRGB{255, 255, 255};
      reduced = std::make_unique<TBitmap>();
      CopyBitmap(Bitmap, *reduced);
      DitherToMono(*reduced);
    }
    mono = reduced.get();
  }
  Params.SetColorMap(entries, 2);
  WriteColourTable(entries, 2);
  PixelStart = Stream.Position();
  for (int done = 0; done < mono->Height(); ++done) {
    if (!BeforeRow(done)) return;
    Stream.WriteBuffer(mono->ScanLine(mono->Height() - 1 - done), mono->RowLen());
  }
}

void TBmpWriter::Write24() {
  PixelStart = Stream.Position();
  const TVLQuantizerSource source = QuantizerSourceOf(Bitmap);
  const int64_t rowLen = RowSize(Bitmap.Width(), 24);
  std::vector<uint8_t> out(static_cast<size_t>(rowLen), 0);
  for (int done = 0; done < Bitmap.Height(); ++done) {
    if (!BeforeRow(done)) return;
    std::memcpy(out.data(), source.Row(Bitmap.Height() - 1 - done), size_t(Bitmap.Width()) * 3);
    Stream.WriteBuffer(out.data(), rowLen);
  }
}

void TBmpWriter::PatchHeaders() {
  const int64_t end = Stream.Position();
  TBmpFileHeader fileHeader{kSignature};
  fileHeader.bfSize = uint32_t(end - Start);
  fileHeader.bfOffBits = uint32_t(PixelStart - Start);
  uint8_t b[kFileHeaderSize];
  fileHeader.Encode(b);
  if (Core) {
    PutU16LE(Header + core::bcBitCount, uint16_t(Depth));
  } else {
    PutU16LE(Header + info::biBitCount, uint16_t(Depth));
    PutU32LE(Header + info::biSizeImage, uint32_t(end - PixelStart));
  }
  Stream.SetPosition(Start);
  Stream.WriteBuffer(b, kFileHeaderSize);
  Stream.WriteBuffer(Header, HeaderSize);
  Stream.SetPosition(end);
}

}  // namespace

void BmpWriteStream(TVLStream& stream, TBitmap& bitmap, TIOParamsVals& params, TVLProgressRecord& progress) {
  // A file of no pixels, or one whose size the core header's 16-bit fields cannot hold,
  // could not be read back: refuse it before writing anything.
  if (bitmap.Empty() || (params.BmpVersion == bvCore && (bitmap.Width() > 0xFFFF || bitmap.Height() > 0xFFFF))) {
    progress.Abort();
    return;
  }
  try {
    TBmpWriter(stream, bitmap, params, progress).Run();
  } catch (const EVLStreamError&) {
    progress.Fail("BMP: the stream refused the data");
  } catch (const std::bad_alloc&) {
    progress.Abort();
  }
}

}  // namespace velora
