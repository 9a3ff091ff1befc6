// Recognition of a format by content (every test reads from the current position and puts it
// back) and by file, with the extension check against the registry.
#include <cstring>

#include "codecs/ico/ico_codec.h"
#include "codecs/jpeg/jpeg_codec.h"
#include "codecs/png/png_codec.h"
#include "codecs/pnm/pnm_codec.h"
#include "codecs/tga/tga_codec.h"
#include "io_internal.h"
#include "velora_io.h"

namespace velora {

namespace {

// The first bytes at the stream's position; tests that need more bytes than the stream has
// from there fail like a short read.
struct TLeadBytes {
  uint8_t b[16] = {};
  int64_t n = 0;
  bool Have(int count) const { return n >= count; }
  uint16_t Word() const { return uint16_t(b[0] | b[1] << 8); }
  std::string Text(int count) const { return io_detail::BytesAsText(b, count); }
};

// Runs a codec's recognition test and puts the position back whatever the test did.
template <typename Test>
bool Recognised(TVLStream& stream, int64_t position, Test test) {
  bool yes = test(stream);
  stream.SetPosition(position);
  return yes;
}

}  // namespace

int32_t TVeloraIO::DetectStreamFormat(TVLStream& stream) {
  int64_t position = 0;
  try {
    const int64_t size = stream.Size();
    position = stream.Position();
    for (const auto& entry : FileFormats())
      if (entry.TestProc && Recognised(stream, position, entry.TestProc)) return entry.FileType;

    TLeadBytes lead;
    lead.n = io_detail::PeekBytes(stream, lead.b, sizeof lead.b);
    if (size > 12 && lead.Have(12) && lead.Text(5) == "JFIF") return ioJPEG;
    if (size > 13 && lead.Have(3) && std::memcmp(lead.b, "GIF", 3) == 0) return ioGIF;
    if (size > 12 && lead.Have(5) && lead.Text(5) == "PCX2") return ioPCX;
    if (size > 4 && lead.Have(4) && lead.Text(4) == "PCX") return ioPCX;
    if (size > 14 && lead.Have(2) && lead.Word() == 19778) return ioBMP;
    if (size > 128 && lead.Have(2) && lead.b[0] == 10 && lead.b[1] <= 5) return ioPCX;
    if (size > 12 && lead.Have(5) && lead.Text(5) == "TIFF") return ioTIFF;
    if (size > 8 && lead.Have(2) && (lead.Word() == 18761 || lead.Word() == 19789)) return ioTIFF;
    if (size > 8 && Recognised(stream, position, IsPngStream)) return ioPNG;
    if (Recognised(stream, position, IsIcoStream)) return ioICO;
    if (Recognised(stream, position, IsCurStream)) return ioCUR;
    if (Recognised(stream, position, IsTgaStream)) return ioTGA;
    if (Recognised(stream, position, IsPnmStream)) return ioPXM;
    if (Recognised(stream, position, [](TVLStream& s) { return FindJpegStart(s) >= 0; })) return ioJPEG;
  } catch (...) {
    // A test that fails on the stream ends detection: the format stays unknown.
    try {
      stream.SetPosition(position);
    } catch (...) {
    }
  }
  return ioUnknown;
}

int32_t TVeloraIO::DetectFileFormat(const std::string& name, bool verify) {
  int32_t detected = ioUnknown;
  try {
    TVLFileStream file(name, TVLFileStream::fmOpenRead);
    detected = DetectStreamFormat(file);
  } catch (...) {
    return ioUnknown;
  }
  if (!verify) return detected;

  std::string extension = io_detail::LowerExtension(name);
  if (!extension.empty()) extension.erase(0, 1);
  const TFileFormatInfo* entry = FindFileFormatByExtension(extension);
  if (!entry) return ioUnknown;
  // Icons and cursors share one layout: the extension tells them apart.
  if (detected == ioICO || detected == ioCUR) return entry->FileType;
  if (entry->FileType != detected) return ioUnknown;
  return detected;
}

}  // namespace velora
