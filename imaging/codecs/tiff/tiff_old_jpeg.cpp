// Compression 6, the JPEG form TIFF had before JPEGTables. Writers put a whole JPEG stream at
// JPEGInterchangeFormat, or only its tables there (or in the table tags) with each strip
// holding a run of entropy-coded data. The second kind is read as libtiff reads it: one stream
// of the tables, a frame and scan header, and the strips joined by restart markers.
#include <algorithm>
#include <string>

#include "tiff_decode.h"

namespace velora::tiff {

namespace {

using TBytes = std::vector<uint8_t>;

constexpr uint8_t kSoi = 0xD8, kEoi = 0xD9, kSos = 0xDA, kDqt = 0xDB, kDht = 0xC4, kDri = 0xDD, kSof0 = 0xC0;
constexpr uint8_t kRst0 = 0xD0;

void PutMarker(TBytes& out, uint8_t marker, const TBytes& body) {
  const size_t length = body.size() + 2;
  out.insert(out.end(), {0xFF, marker, uint8_t(length >> 8), uint8_t(length)});
  out.insert(out.end(), body.begin(), body.end());
}

bool IsFrameMarker(uint8_t m) { return m >= 0xC0 && m <= 0xCF && m != kDht && m != 0xC8 && m != 0xCC; }

// What the stream at JPEGInterchangeFormat holds: the segments before its scan (the header),
// and whether a scan and a frame are among them.
struct THeaderStream {
  TBytes header;
  bool scan = false, frame = false, restart = false;
  TBytes scanHeader;  // a scan's header without its data, which the strips hold
  std::vector<uint8_t> componentIds;  // the frame's
  uint8_t highestDc = 0, highestAc = 0;
};

THeaderStream SplitHeader(const TBytes& data) {
  THeaderStream h;
  size_t i = 0;
  if (data.size() < 2 || data[0] != 0xFF || data[1] != kSoi) return h;
  i = 2;
  while (i + 1 < data.size()) {
    if (data[i] != 0xFF) {
      ++i;  // bytes between segments are passed over
      continue;
    }
    const uint8_t m = data[i + 1];
    if (m == 0xFF || m == kSoi || (m >= kRst0 && m <= kRst0 + 7) || m == 0x01) {
      i += m == 0xFF ? 1 : 2;
      continue;
    }
    if (m == kEoi) break;
    if (m == kSos) {
      // A scan's header with no data behind it (an end-of-image marker at most): the strips
      // hold the data.
      const size_t end = i + 4 <= data.size() ? i + 2 + size_t(data[i + 2] << 8 | data[i + 3]) : data.size() + 1;
      h.scan = end > data.size() || data.size() - end > 2;
      if (!h.scan) h.scanHeader.assign(data.begin() + ptrdiff_t(i), data.begin() + ptrdiff_t(end));
      break;
    }
    if (i + 4 > data.size()) break;
    const size_t end = i + 2 + size_t(data[i + 2] << 8 | data[i + 3]);
    if (end > data.size()) break;
    if (IsFrameMarker(m) && end - i >= 10) {
      h.frame = true;
      h.componentIds.clear();
      for (size_t c = 0; c < data[i + 9] && i + 12 + 3 * c <= end; ++c) h.componentIds.push_back(data[i + 10 + 3 * c]);
    }
    // The highest table each kind of Huffman table has (the first table's only, for a
    // segment of several).
    if (m == kDht && end - i > 4) {
      uint8_t& highest = (data[i + 4] >> 4) ? h.highestAc : h.highestDc;
      highest = std::max<uint8_t>(highest, data[i + 4] & 3);
    }
    h.restart = h.restart || m == kDri;
    i = end;
  }
  h.header.assign(data.begin(), data.begin() + ptrdiff_t(std::min(i, data.size())));
  return h;
}

// The tables of the table tags: 64 quantisation values each; 16 code counts and their values.
bool TagTables(TTiffSource& source, const TTIFFVars& v, TBytes& out) {
  for (size_t i = 0; i < v.oldJpegQTables.size(); ++i) {
    TBytes body(65);
    body[0] = uint8_t(i);
    if (!source.ReadAt(v.oldJpegQTables[i], body.data() + 1, 64)) return false;
    PutMarker(out, kDqt, body);
  }
  const auto huffman = [&](const std::vector<uint64_t>& offsets, uint8_t tableClass) {
    for (size_t i = 0; i < offsets.size(); ++i) {
      TBytes body(17);
      body[0] = uint8_t(tableClass << 4 | i);
      if (!source.ReadAt(offsets[i], body.data() + 1, 16)) return false;
      size_t values = 0;
      for (int k = 1; k <= 16; ++k) values += body[size_t(k)];
      if (values > 256) return false;
      body.resize(17 + values);
      if (!source.ReadAt(offsets[i] + 16, body.data() + 17, values)) return false;
      PutMarker(out, kDht, body);
    }
    return true;
  };
  return huffman(v.oldJpegDcTables, 0) && huffman(v.oldJpegAcTables, 1);
}

int Components(const TTIFFVars& v) { return v.samplesPerPixel >= 3 ? 3 : 1; }
// Luma's sampling factors; chroma has one sample per MCU.
int LumaH(const TTIFFVars& v) { return Components(v) == 3 && v.photometric == pcYCbCr ? v.ycbcrH : 1; }
int LumaV(const TTIFFVars& v) { return Components(v) == 3 && v.photometric == pcYCbCr ? v.ycbcrV : 1; }

void PutFrame(const TTIFFVars& v, TBytes& out) {
  const int n = Components(v);
  TBytes body{8, uint8_t(v.height >> 8), uint8_t(v.height), uint8_t(v.width >> 8), uint8_t(v.width), uint8_t(n)};
  const size_t tables = std::max<size_t>(v.oldJpegQTables.size(), 1);
  for (int c = 0; c < n; ++c)
    body.insert(body.end(), {uint8_t(c + 1), uint8_t(c == 0 ? LumaH(v) << 4 | LumaV(v) : 0x11),
                             uint8_t(std::min<size_t>(size_t(c), tables - 1))});
  PutMarker(out, kSof0, body);
}

// The scan of every component: luma with the first tables, chroma with the second where there
// are two, as the frame names the components.
void PutScanHeader(const TTIFFVars& v, const THeaderStream& given, TBytes& out) {
  const bool fromTags = given.header.empty();
  const std::vector<uint8_t>& ids = given.componentIds;
  const int n = fromTags || ids.empty() ? Components(v) : int(ids.size());
  const size_t dc = fromTags ? std::max<size_t>(v.oldJpegDcTables.size(), 1) - 1 : given.highestDc;
  const size_t ac = fromTags ? std::max<size_t>(v.oldJpegAcTables.size(), 1) - 1 : given.highestAc;
  TBytes body{uint8_t(n)};
  for (int c = 0; c < n; ++c)
    body.insert(body.end(), {uint8_t(fromTags || ids.empty() ? c + 1 : ids[size_t(c)]),
                             uint8_t(std::min<size_t>(size_t(c), dc) << 4 | std::min<size_t>(size_t(c), ac))});
  body.insert(body.end(), {0, 63, 0});
  PutMarker(out, kSos, body);
}

// MCUs in one strip: the restart interval that puts a restart marker between strips.
uint64_t McusPerStrip(const TTIFFVars& v) {
  const int64_t mcuW = 8 * LumaH(v), mcuH = 8 * LumaV(v);
  return uint64_t((v.width + mcuW - 1) / mcuW) * uint64_t((v.rowsPerStrip + mcuH - 1) / mcuH);
}

bool EndsWithRestart(const TBytes& s) {
  return s.size() >= 2 && s[s.size() - 2] == 0xFF && s[s.size() - 1] >= kRst0 && s[s.size() - 1] <= kRst0 + 7;
}

// The stream of tables, frame, scan header and strips; false with a reason when a piece is missing.
bool AssembleStream(TTiffSource& source, const TTIFFVars& v, const THeaderStream& given, TBytes& stream,
                    const TVLProgressRecord& progress) {
  if (v.width <= 0 || v.height <= 0 || v.width > 65535 || v.height > 65535) {
    progress.Fail("TIFF: old-style JPEG strips of a " + std::to_string(v.width) + " x " + std::to_string(v.height) +
                  " page");
    return false;
  }
  stream = given.header;
  if (stream.empty()) {
    stream = {0xFF, kSoi};
    if (!TagTables(source, v, stream)) {
      progress.Fail("TIFF: old-style JPEG tables outside the file");
      return false;
    }
  }
  if (!given.frame) PutFrame(v, stream);
  const size_t strips = v.offsets.size();
  const uint64_t interval = v.oldJpegRestart ? v.oldJpegRestart : McusPerStrip(v);
  if (strips > 1 && !given.restart && interval <= 0xFFFF)
    PutMarker(stream, kDri, {uint8_t(interval >> 8), uint8_t(interval)});
  TBytes strip;
  for (size_t i = 0; i < strips; ++i) {
    const uint64_t offset = v.offsets[i];
    const uint64_t left = offset < uint64_t(source.Size()) ? uint64_t(source.Size()) - offset : 0;
    const uint64_t count = std::min(i < v.byteCounts.size() && v.byteCounts[i] ? v.byteCounts[i] : left, left);
    strip.resize(size_t(count));
    if (count == 0 || !source.ReadAt(offset, strip.data(), count)) break;  // the decoder pads what is missing
    // Some writers begin the first strip with the scan header themselves.
    if (i == 0 && !given.scanHeader.empty())
      stream.insert(stream.end(), given.scanHeader.begin(), given.scanHeader.end());
    else if (i == 0 && !(strip.size() >= 2 && strip[0] == 0xFF && strip[1] == kSos))
      PutScanHeader(v, given, stream);
    if (strip.size() >= 2 && strip[strip.size() - 2] == 0xFF && strip.back() == kEoi) strip.resize(strip.size() - 2);
    if (i > 0 && !EndsWithRestart(stream)) stream.insert(stream.end(), {0xFF, uint8_t(kRst0 + (i - 1) % 8)});
    stream.insert(stream.end(), strip.begin(), strip.end());
  }
  stream.insert(stream.end(), {0xFF, kEoi});
  return true;
}

}  // namespace

void DecodeOldJpeg(TTiffSource& source, const TTIFFVars& vars, TBitmap& bitmap, const TVLProgressRecord& progress) {
  THeaderStream given;
  TBytes data;
  if (vars.oldJpegOffset != 0) {
    // A missing length means the stream runs to the end of the file.
    const uint64_t left =
        vars.oldJpegOffset < uint64_t(source.Size()) ? uint64_t(source.Size()) - vars.oldJpegOffset : 0;
    const uint64_t length = vars.oldJpegLength ? std::min(vars.oldJpegLength, left) : left;
    data.resize(size_t(length));
    if (length == 0 || !source.ReadAt(vars.oldJpegOffset, data.data(), length)) {
      progress.Fail("TIFF: old-style JPEG stream outside the file");
      return;
    }
    given = SplitHeader(data);
  }
  // A YCbCr page is YCbCr whatever the stream's markers say; other pages go by the markers.
  const TJpegComponents components = vars.photometric == pcYCbCr ? TJpegComponents::jcYCbCr : TJpegComponents::jcMarked;
  if (given.scan || vars.offsets.empty()) {
    DecodeJpegStream(data, bitmap, progress, components);
    return;
  }
  TBytes stream;
  if (AssembleStream(source, vars, given, stream, progress)) DecodeJpegStream(stream, bitmap, progress, components);
}

}  // namespace velora::tiff
