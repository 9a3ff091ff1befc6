// GIF reader: walks the blocks of the file, counts the images, and decodes the one chosen by
// GifImageIndex through the LZW decoder referenced by the parameter record (or the global
// slot). Any byte sequence is survivable: sizes are checked before allocating, colour
// indexes beyond the table read black, and a damaged frame keeps what was decoded.
#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "gif_codec.h"
#include "gif_private.h"
#include "io/image_limits.h"

namespace velora {

namespace {

using namespace gif;

// Reads `entries` red, green, blue triples into blue, green, red entries.
std::vector<TRGB> ReadColourTable(TVLStream& stream, int entries) {
  std::vector<uint8_t> raw(size_t(entries) * 3);
  stream.ReadBuffer(raw.data(), int64_t(raw.size()));
  auto table = std::vector<TRGB>(size_t(entries));
  for (int i = 0; i < entries; ++i) table[i] = TRGB{raw[i * 3 + 2], raw[i * 3 + 1], raw[i * 3]};
  return table;
}

// Skips data sub-blocks up to a zero length or the end of the stream.
void SkipSubBlocks(TVLStream& stream) {
  for (;;) {
    uint8_t length = 0;
    if (stream.Read(&length, 1) != 1 || length == 0) return;
    stream.Seek(length, TSeekOrigin::soCurrent);
  }
}

// Bytes of data in the sub-blocks that start at the current position (which is kept).
int64_t MeasureSubBlocks(TVLStream& stream) {
  const int64_t start = stream.Position();
  const int64_t size = stream.Size();
  int64_t total = 0;
  for (;;) {
    uint8_t length = 0;
    if (stream.Read(&length, 1) != 1 || length == 0) break;
    int64_t here = stream.Position();
    total += std::min<int64_t>(length, std::max<int64_t>(size - here, 0));
    stream.Seek(length, TSeekOrigin::soCurrent);
  }
  stream.SetPosition(start);
  return total;
}

// The fewest bytes of LZW data that can describe `pixels` pixels: every code takes at least
// 3 bits and no string is longer than the table.
int64_t BytesForPixels(int64_t pixels) {
  const int64_t codes = std::max<int64_t>((pixels + kLzwTableSize - 1) / kLzwTableSize - 1, 0);
  return (codes * 3 + 7) / 8;
}

TGifScreen ReadScreen(TVLStream& stream) {
  TGifScreen s;
  s.width = stream.ReadU16LE();
  s.height = stream.ReadU16LE();
  s.packed = stream.ReadU8();
  s.background = stream.ReadU8();
  s.aspect = stream.ReadU8();
  return s;
}

TGifImageDescriptor ReadImageDescriptor(TVLStream& stream) {
  TGifImageDescriptor d;
  d.left = stream.ReadU16LE();
  d.top = stream.ReadU16LE();
  d.width = stream.ReadU16LE();
  d.height = stream.ReadU16LE();
  d.packed = stream.ReadU8();
  return d;
}

// The graphic control extension after its label: block size, up to 4 data bytes, then
// whatever sub-blocks remain up to the terminator.
TGifGraphicControl ReadGraphicControl(TVLStream& stream) {
  uint8_t size = stream.ReadU8();
  uint8_t data[4] = {};
  stream.ReadBuffer(data, std::min<int>(size, 4));
  if (size > 4) stream.Seek(size - 4, TSeekOrigin::soCurrent);
  if (size > 0) SkipSubBlocks(stream);
  TGifGraphicControl c;
  c.packed = data[0];
  c.delay = uint16_t(data[1] | (data[2] << 8));
  c.transparentIndex = data[3];
  return c;
}

class TGifReader {
 public:
  TGifReader(TVLStream& stream, TBitmap* bitmap, TVLMask* mask, bool headerOnly, TVLProgressRecord& progress,
             TIOParamsVals& params)
      : stream_(stream), bitmap_(bitmap), mask_(mask), headerOnly_(headerOnly), progress_(progress), params_(params) {}

  void Run();
  int Count() const { return counter_; }
  bool Failed() const { return failed_; }
  bool FrameRead() const { return frameRead_; }
  void Fail(std::string_view reason) {
    failed_ = true;
    progress_.Fail(reason);
  }

 private:
  bool ReadHeader();
  bool OpenFrame(const TGifImageDescriptor& d);
  void SkipFrameData();
  void ReadExtension();
  void ReadImage();
  void DecodeWanted(const TGifImageDescriptor& d, const std::vector<TRGB>& table);
  void FillBitmap(const TGifImageDescriptor& d, const uint8_t* indices, const std::vector<TRGB>& table);

  TVLStream& stream_;
  TBitmap* bitmap_;
  TVLMask* mask_;
  bool headerOnly_;
  TVLProgressRecord& progress_;
  TIOParamsVals& params_;

  TGifScreen screen_;
  std::vector<TRGB> global_;
  TGifGraphicControl control_;
  int wanted_ = 0;
  int counter_ = 0;
  bool failed_ = false;
  bool frameRead_ = false;
  bool stop_ = false;
};

bool TGifReader::ReadHeader() {
  char header[6];
  stream_.ReadBuffer(header, 6);
  screen_ = ReadScreen(stream_);
  if (std::memcmp(header, "GIF", 3) != 0) return false;
  params_.GifVersion.assign(header, 6);
  params_.GifWinWidth = screen_.width;
  params_.GifWinHeight = screen_.height;
  params_.GifRatio = screen_.aspect;
  params_.DpiX = DefaultDpiX();
  params_.DpiY = DefaultDpiY();
  params_.SamplesPerPixel = 1;
  if (screen_.HasGlobalTable()) {
    global_ = ReadColourTable(stream_, TableEntries(screen_.TableSizeField()));
    params_.GifBackground = screen_.background < global_.size() ? global_[screen_.background] : TRGB{};
  }
  return true;
}

void TGifReader::Run() {
  wanted_ = params_.GifImageIndex;
  if (!ReadHeader()) return Fail("GIF: no \"GIF\" signature");
  if (stream_.Position() >= stream_.Size()) return Fail("GIF: nothing follows the header");
  while (!failed_ && !stop_) {
    uint8_t introducer = 0;
    if (stream_.Read(&introducer, 1) != 1) break;  // a missing trailer ends the file as one would
    switch (introducer) {
      case kExtensionIntroducer:
        ReadExtension();
        break;
      case kImageSeparator:
        ReadImage();
        ++counter_;
        break;
      case kTrailer:
        stop_ = true;
        break;
      default:
        break;  // stray bytes between blocks are passed over
    }
  }
}

void TGifReader::ReadExtension() {
  uint8_t label = 0;
  if (stream_.Read(&label, 1) != 1) return;
  if (label == kGraphicControlLabel && counter_ == wanted_)
    control_ = ReadGraphicControl(stream_);
  else
    SkipSubBlocks(stream_);
}

void TGifReader::ReadImage() {
  TGifImageDescriptor d = ReadImageDescriptor(stream_);
  std::vector<TRGB> local;
  if (d.HasLocalTable()) local = ReadColourTable(stream_, TableEntries(d.TableSizeField()));
  if (counter_ != wanted_) return SkipFrameData();
  progress_.Report(30);
  if (progress_.Aborted()) return Fail("GIF: stopped");

  const std::vector<TRGB>& table = d.HasLocalTable() ? local : global_;
  const int sizeField = d.HasLocalTable() ? d.TableSizeField()
                        : screen_.HasGlobalTable() ? screen_.TableSizeField()
                                                   : d.TableSizeField();
  params_.GifTranspColor = control_.transparentIndex < table.size() ? table[control_.transparentIndex] : TRGB{};
  params_.GifXPos = d.left;
  params_.GifYPos = d.top;
  params_.Width = d.width;
  params_.Height = d.height;
  params_.GifDelayTime = control_.delay;
  params_.GifDisposalMethod = control_.Disposal();
  params_.GifTransparent = control_.Transparent();
  params_.GifInterlaced = d.Interlaced();

  if (!OpenFrame(d)) {
    SkipFrameData();
    if (progress_.Aborted()) failed_ = true;  // refused: the reason is given
  } else {
    DecodeWanted(d, table);
    if (failed_) stop_ = true;
  }
  if (!headerOnly_ && !frameRead_) return;

  if (table.empty())
    params_.FreeColorMap();
  else
    params_.SetColorMap(table.data(), int(table.size()));
  params_.BitsPerSample = sizeField + 1;
}

void TGifReader::SkipFrameData() {
  uint8_t codeSize;
  if (stream_.Read(&codeSize, 1) == 1) SkipSubBlocks(stream_);
}

// The shared check for the wanted frame: a frame needing more pixels than its data could
// ever describe is refused before its buffers are allocated, by header-only reads too.
bool TGifReader::OpenFrame(const TGifImageDescriptor& d) {
  if (!headerOnly_ && !GifDecompressor(params_)) {
    Fail("GIF: no LZW decoder installed");
    return false;
  }
  const int64_t start = stream_.Position();
  stream_.Seek(1, TSeekOrigin::soCurrent);
  const int64_t dataBytes = MeasureSubBlocks(stream_);
  stream_.SetPosition(start);
  const auto backing = [&d] { return BytesForPixels(int64_t(d.width) * d.height); };
  return VLCheckOpen({"GIF", d.width, d.height, backing, dataBytes}, headerOnly_, bitmap_, std::nullopt, progress_);
}

void TGifReader::DecodeWanted(const TGifImageDescriptor& d, const std::vector<TRGB>& table) {
  TGifLzwDecompFunc decode = GifDecompressor(params_);
  const int64_t start = stream_.Position();
  const int64_t pixels = int64_t(d.width) * d.height;
  std::vector<uint8_t> indices(size_t(pixels), 0);
  decode(stream_, d.height, d.width, indices.data(), d.Interlaced());
  const bool complete = stream_.Position() != start;
  frameRead_ = true;
  if (complete) progress_.Report(70);
  // What was decoded stays even when the frame is damaged; Aborting says it is incomplete.
  if (bitmap_) FillBitmap(d, indices.data(), table);
  if (!complete || progress_.Aborted()) Fail("GIF: premature end of image data");
}

void TGifReader::FillBitmap(const TGifImageDescriptor& d, const uint8_t* indices, const std::vector<TRGB>& table) {
  const int w = d.width, h = d.height;
  // Indexes beyond a short table read black.
  TRGB lut[256] = {};
  std::copy_n(table.begin(), std::min<size_t>(table.size(), 256), lut);
  const bool mono = table.size() == 2 && table[0] == TRGB{0, 0, 0} && table[1] == TRGB{255, 255, 255};

  bitmap_->Reset(w, h, mono ? TPixelFormat::pf1bit : TPixelFormat::pf24bit);
  for (int y = 0; y < h; ++y) {
    const uint8_t* src = indices + int64_t(y) * w;
    uint8_t* dst = bitmap_->ScanLine(y);
    if (mono) {
      std::memset(dst, 0, size_t(bitmap_->RowLen()));
      for (int x = 0; x < w; ++x)
        if (src[x] == 1) dst[x >> 3] |= uint8_t(0x80 >> (x & 7));
    } else {
      for (int x = 0; x < w; ++x, dst += 3) {
        const TRGB c = lut[src[x]];
        dst[0] = c.b;
        dst[1] = c.g;
        dst[2] = c.r;
      }
    }
  }

  if (mask_) {
    mask_->Allocate(w, h, 8);
    mask_->Fill(255);
    mask_->X1 = 0;
    mask_->Y1 = 0;
    mask_->X2 = w - 1;
    mask_->Y2 = h - 1;
    if (control_.Transparent()) {
      bool any = false;
      for (int y = 0; y < h; ++y) {
        const uint8_t* src = indices + int64_t(y) * w;
        uint8_t* dst = mask_->ScanLine(y);
        for (int x = 0; x < w; ++x)
          if (src[x] == control_.transparentIndex) {
            dst[x] = 0;
            any = true;
          }
      }
      if (any) mask_->SetFull(false);
    }
  }
}

}  // namespace

void GifReadStream(TVLStream& stream, TBitmap* bitmap, int& imageCount, TVLMask* alphaMask, bool headerOnly,
                   TVLProgressRecord& progress, TIOParamsVals& params) {
  imageCount = 0;
  progress.Report(0);
  if (progress.Aborted()) return;
  TGifReader reader(stream, headerOnly ? nullptr : bitmap, headerOnly ? nullptr : alphaMask, headerOnly, progress,
                    params);
  try {
    reader.Run();
  } catch (const EVLStreamError&) {
    reader.Fail("GIF: premature end of data");
  } catch (const std::bad_alloc&) {
    reader.Fail("GIF: out of memory");
  }
  params.GifImageCount = reader.Count();
  imageCount = reader.Count();
  // A full read that found no frame to decode has nothing to show: that is a failure.
  if (!headerOnly && !reader.FrameRead())
    reader.Fail("GIF: no frame " + std::to_string(params.GifImageIndex) + " among " + std::to_string(reader.Count()));
  if (!reader.Failed() && !progress.Aborted()) progress.Report(100);
}

void GifReadFile(const std::string& fileName, TBitmap* bitmap, int& imageCount, TVLMask* alphaMask,
                 TVLProgressRecord& progress, TIOParamsVals& params) {
  TVLFileStream stream(fileName, TVLFileStream::fmOpenRead);
  GifReadStream(stream, bitmap, imageCount, alphaMask, false, progress, params);
}

}  // namespace velora
