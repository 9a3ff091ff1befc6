// Small metafiles written record by record with libuemf's writer functions, for the tests,
// the sample folder, the fuzz seeds and the benchmarks. Each builder collects the records in
// libuemf's tracker and hands back the finished file's bytes.
#pragma once
#include <uemf.h>
#include <uwmf.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace velora::mftest {

using Bytes = std::vector<uint8_t>;

inline U_COLORREF Rgb(uint8_t r, uint8_t g, uint8_t b) { return U_RGB(r, g, b); }

// libuemf writes its files itself: a scratch file, read back and removed.
class TScratchFile {
 public:
  TScratchFile() {
    std::string pattern = (std::filesystem::temp_directory_path() / "velora_mf_XXXXXX").string();
    const int fd = ::mkstemp(pattern.data());
    if (fd >= 0) ::close(fd);
    path_ = pattern;
  }
  ~TScratchFile() { std::remove(path_.c_str()); }
  const std::string& Path() const { return path_; }
  Bytes Read() const {
    std::ifstream in(path_, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }

 private:
  std::string path_;
};

// The reference device of the tests' metafiles: 10 pixels per millimetre; and a 96-dpi screen.
constexpr U_SIZEL kTenPerMmPixels{1000, 1000}, kTenPerMmMillimetres{100, 100};
constexpr U_SIZEL kScreenPixels{9600, 9600}, kScreenMillimetres{2540, 2540};

// An enhanced metafile whose frame is widthPx × heightPx pixels of its reference device (so
// that drawing it at that size maps one logical unit of MM_TEXT onto one target pixel).
class TEmfBuilder {
 public:
  TEmfBuilder(int widthPx, int heightPx, U_SIZEL device = kTenPerMmPixels, U_SIZEL millimetres = kTenPerMmMillimetres) {
    emf_start(file_.Path().c_str(), 1 << 16, 1 << 16, &et_);
    emf_htable_create(256, 256, &eht_);
    const U_RECTL bounds{0, 0, widthPx - 1, heightPx - 1};
    // The frame in 0.01 mm.
    const U_RECTL frame{0, 0, int32_t(std::lround(widthPx * 100.0 * millimetres.cx / device.cx)),
                        int32_t(std::lround(heightPx * 100.0 * millimetres.cy / device.cy))};
    Add(U_EMRHEADER_set(bounds, frame, nullptr, 0, nullptr, device, millimetres, 0));
  }
  ~TEmfBuilder() {
    if (et_) emf_free(&et_);
    if (eht_) emf_htable_free(&eht_);
  }
  TEmfBuilder(const TEmfBuilder&) = delete;
  TEmfBuilder& operator=(const TEmfBuilder&) = delete;

  TEmfBuilder& Add(char* record) {
    if (record) emf_append(reinterpret_cast<U_ENHMETARECORD*>(record), et_, 1);
    return *this;
  }
  EMFHANDLES* Handles() { return eht_; }

  // The object helpers create and select at once.
  TEmfBuilder& Pen(U_COLORREF colour, int width = 1, uint32_t style = U_PS_SOLID) {
    uint32_t h = 0;
    Add(createpen_set(&h, eht_, logpen_set(style, U_POINT{width, width}, colour)));
    return Add(selectobject_set(h, eht_));
  }
  TEmfBuilder& Brush(U_COLORREF colour, uint32_t style = U_BS_SOLID, int32_t hatch = 0) {
    uint32_t h = 0;
    Add(createbrushindirect_set(&h, eht_, logbrush_set(style, colour, hatch)));
    return Add(selectobject_set(h, eht_));
  }
  TEmfBuilder& Stock(uint32_t object) { return Add(selectobject_set(object, eht_)); }
  TEmfBuilder& Font(int32_t height, int32_t escapement = 0, int32_t weight = U_FW_NORMAL,
                    const std::u16string& name = u"Sans") {
    uint16_t face[U_LF_FACESIZE] = {};
    std::copy_n(name.begin(), std::min<size_t>(name.size(), U_LF_FACESIZE - 1), face);
    U_LOGFONT lf = logfont_set(height, 0, escapement, escapement, weight, 0, 0, 0, U_ANSI_CHARSET, U_OUT_DEFAULT_PRECIS,
                               U_CLIP_DEFAULT_PRECIS, U_DEFAULT_QUALITY, U_DEFAULT_PITCH, face);
    uint32_t h = 0;
    Add(extcreatefontindirectw_set(&h, eht_, reinterpret_cast<const char*>(&lf), nullptr));
    return Add(selectobject_set(h, eht_));
  }
  TEmfBuilder& Rect(int l, int t, int r, int b) { return Add(U_EMRRECTANGLE_set(U_RECTL{l, t, r, b})); }
  // Text with the advances the writer must give: advance units per character. With
  // U_ETO_GLYPH_INDEX the text's units are glyph indexes.
  TEmfBuilder& Text(int x, int y, const std::u16string& text, uint32_t advance, uint32_t options = U_ETO_NONE) {
    std::vector<uint32_t> dx(text.size(), advance);
    char* body = emrtext_set(U_POINTL{x, y}, U_NUM_STR(text.size()), 2, const_cast<char16_t*>(text.data()),
                             options, U_RECTL{0, 0, -1, -1}, dx.data());
    Add(U_EMREXTTEXTOUTW_set(U_RECTL{0, 0, -1, -1}, U_GM_COMPATIBLE, 1, 1, reinterpret_cast<PU_EMRTEXT>(body)));
    std::free(body);
    return *this;
  }

  Bytes Finish() {
    Add(U_EMREOF_set(0, nullptr, et_));
    emf_finish(et_, eht_);
    return file_.Read();
  }

 private:
  TScratchFile file_;
  EMFTRACK* et_ = nullptr;
  EMFHANDLES* eht_ = nullptr;
};

// A placeable metafile whose bounding box is widthUnits × heightUnits at unitsPerInch.
class TWmfBuilder {
 public:
  TWmfBuilder(int widthUnits, int heightUnits, int unitsPerInch) {
    wmf_start(file_.Path().c_str(), 1 << 16, 1 << 16, &wt_);
    wmf_htable_create(128, 128, &wht_);
    U_PAIRF size{float(widthUnits) / float(unitsPerInch), float(heightUnits) / float(unitsPerInch)};
    wmf_header_append(reinterpret_cast<U_METARECORD*>(U_WMRHEADER_set(&size, unsigned(unitsPerInch))), wt_, 1);
    Add(U_WMRSETMAPMODE_set(U_MM_ANISOTROPIC));
    Add(U_WMRSETWINDOWORG_set(U_POINT16{0, 0}));
    Add(U_WMRSETWINDOWEXT_set(U_POINT16{int16_t(widthUnits), int16_t(heightUnits)}));
  }
  ~TWmfBuilder() {
    if (wt_) wmf_free(&wt_);
    if (wht_) wmf_htable_free(&wht_);
  }
  TWmfBuilder(const TWmfBuilder&) = delete;
  TWmfBuilder& operator=(const TWmfBuilder&) = delete;

  TWmfBuilder& Add(char* record) {
    if (record) wmf_append(reinterpret_cast<U_METARECORD*>(record), wt_, 1);
    return *this;
  }
  WMFHANDLES* Handles() { return wht_; }
  TWmfBuilder& Pen(U_COLORREF colour, uint16_t width = 1, uint16_t style = U_PS_SOLID) {
    uint32_t h = 0;
    Add(wcreatepenindirect_set(&h, wht_, U_PEN_set(style, width, colour)));
    return Add(wselectobject_set(h, wht_));
  }
  TWmfBuilder& Brush(U_COLORREF colour, uint16_t style = U_BS_SOLID, uint16_t hatch = 0) {
    Add(wcreatebrushindirect_set(&last_, wht_, U_WLOGBRUSH_set(style, colour, hatch)));
    return Add(wselectobject_set(last_, wht_));
  }
  // Deletes the last brush, so that its slot is taken again.
  TWmfBuilder& DeleteLastBrush() { return Add(wdeleteobject_set(&last_, wht_)); }
  // Makes room in the header's object count for n objects written by hand (they take the
  // lowest free slots, after the ones in use).
  TWmfBuilder& Reserve(int n) {
    std::vector<uint32_t> handles(size_t(n), 0);
    for (uint32_t& h : handles) Add(wcreatebrushindirect_set(&h, wht_, U_WLOGBRUSH_set(U_BS_NULL, Rgb(0, 0, 0), 0)));
    for (uint32_t& h : handles) Add(wdeleteobject_set(&h, wht_));
    return *this;
  }
  TWmfBuilder& Rect(int16_t l, int16_t t, int16_t r, int16_t b) { return Add(U_WMRRECTANGLE_set(U_RECT16{l, t, r, b})); }
  TWmfBuilder& Polygon(const std::vector<U_POINT16>& points) {
    return Add(U_WMRPOLYGON_set(uint16_t(points.size()), points.data()));
  }
  TWmfBuilder& Font(int16_t height, int16_t escapement = 0, int16_t weight = U_FW_NORMAL) {
    char face[] = "Sans";
    U_FONT* font = U_FONT_set(height, 0, escapement, escapement, weight, 0, 0, 0, U_ANSI_CHARSET, U_OUT_DEFAULT_PRECIS,
                              U_CLIP_DEFAULT_PRECIS, U_DEFAULT_QUALITY, U_DEFAULT_PITCH, face);
    uint32_t h = 0;
    Add(wcreatefontindirect_set(&h, wht_, font));
    std::free(font);
    return Add(wselectobject_set(h, wht_));
  }
  Bytes Finish() {
    Add(U_WMREOF_set());
    wmf_finish(wt_);
    return file_.Read();
  }

 private:
  TScratchFile file_;
  WMFTRACK* wt_ = nullptr;
  WMFHANDLES* wht_ = nullptr;
  uint32_t last_ = 0;
};

// A DIB for the bitmap records: its information header with the colour table, and its bits.
struct TDib {
  TDib(int w, int h, int bitCount, Bytes pixels, std::vector<U_RGBQUAD> colours = {}) : bits(std::move(pixels)) {
    const U_BITMAPINFOHEADER header = bitmapinfoheader_set(w, h, 1, bitCount, U_BI_RGB, uint32_t(bits.size()), 2835,
                                                           2835, uint32_t(colours.size()), 0);
    bmi = bitmapinfo_set(header, colours.empty() ? nullptr : colours.data());
  }
  ~TDib() { std::free(bmi); }
  TDib(const TDib&) = delete;
  TDib& operator=(const TDib&) = delete;
  char* Px() { return reinterpret_cast<char*>(bits.data()); }
  uint32_t Size() const { return uint32_t(bits.size()); }
  Bytes bits;
  PU_BITMAPINFO bmi = nullptr;
};

// MaskBlt and PlgBlt records with their mask: libuemf's writer puts the mask over the
// source's bits, so the record is written without it and the mask appended here.
template <class Record>
char* WithMask(char* record, const TDib& mask) {
  const auto* r = reinterpret_cast<const Record*>(record);
  const uint32_t at = r->emr.nSize, header = 40 + 4 * mask.bmi->bmiHeader.biClrUsed;
  const uint32_t bits = uint32_t(mask.bits.size()), size = at + header + ((bits + 3) & ~3u);
  char* out = static_cast<char*>(std::calloc(size, 1));
  std::memcpy(out, record, at);
  std::memcpy(out + at, mask.bmi, header);
  std::memcpy(out + at + header, mask.bits.data(), bits);
  std::free(record);
  auto* w = reinterpret_cast<Record*>(out);
  w->emr.nSize = size;
  w->offBmiMask = at, w->cbBmiMask = header, w->offBitsMask = at + header, w->cbBitsMask = bits;
  return out;
}

// META_SETDIBTODEV by hand: libuemf writes no such record.
inline char* WmfDibToDevice(int16_t x, int16_t y, int16_t srcX, int16_t srcY, int16_t w, int16_t h, uint16_t startScan,
                     uint16_t scans, const TDib& dib) {
  const uint32_t header = 40, size = 24 + header + dib.Size();
  const uint32_t words = size / 2;
  const uint16_t fields[] = {0x0D33, U_DIB_RGB_COLORS, scans, startScan, uint16_t(srcY), uint16_t(srcX),
                             uint16_t(h), uint16_t(w), uint16_t(y), uint16_t(x)};
  char* record = static_cast<char*>(std::malloc(size));
  std::memcpy(record, &words, 4);
  std::memcpy(record + 4, fields, sizeof fields);
  std::memcpy(record + 24, dib.bmi, header);
  std::memcpy(record + 24 + header, dib.bits.data(), dib.Size());
  return record;
}

// A WMF region record by hand (libuemf's writer knows only its own layout): an L of two
// bands, 0..50 across 0..100 and 50..100 across 0..50, in the documented layout (a 22-byte
// head with a 4-byte object count) or libuemf's (20 bytes).
inline char* LShapedRegion(bool documentedLayout) {
  const size_t head = documentedLayout ? 22 : 20;
  const uint16_t scans[] = {2, 0, 50, 0, 100, 2, 2, 50, 100, 0, 50, 2};
  std::vector<uint8_t> region(head);
  const int16_t size = int16_t(head + sizeof scans), count = 2;
  std::memcpy(&region[2], "\x06\x00", 2);  // object type: region
  std::memcpy(&region[head - 14], &size, 2);
  std::memcpy(&region[head - 12], &count, 2);
  const int16_t box[4] = {0, 0, 100, 100};
  std::memcpy(&region[head - 8], box, 8);
  region.insert(region.end(), reinterpret_cast<const uint8_t*>(scans), reinterpret_cast<const uint8_t*>(scans + 12));
  const uint32_t words = uint32_t(6 + region.size()) / 2;
  char* record = static_cast<char*>(std::malloc(6 + region.size()));
  std::memcpy(record, &words, 4);
  std::memcpy(record + 4, "\xFF\x06", 2);  // META_CREATEREGION
  std::memcpy(record + 6, region.data(), region.size());
  return record;
}

}  // namespace velora::mftest
