// Windows metafiles: the placeable header's bounding box and the record loop. Records are
// found with libuemf's bounds-checked record walk and decoded with its field getters; the
// variable parts (point lists, strings, bitmaps) are checked against the record here.
#include <uwmf.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <vector>

#include "io/io_params.h"
#include "metafile_canvas.h"
#include "metafile_player.h"
#include "metafile_text.h"

namespace velora::metafile {

namespace {

constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;

struct TWmfHeader {
  U_RECT16 box;
  uint16_t inch;
  uint16_t objects;
  size_t recordsAt;
};

bool ReadHeader(std::span<const uint8_t> bytes, TWmfHeader& h, TVLProgressRecord& progress) {
  if (bytes.size() < 4 || Get<uint32_t>(bytes.data()) != kPlaceableKey)
    return progress.Fail("WMF: no placeable header, the picture has no size"), false;
  U_WMRPLACEABLE placeable{};
  U_WMRHEADER header{};
  const char* start = reinterpret_cast<const char*>(bytes.data());
  const int size = wmfheader_get(start, start + bytes.size(), &placeable, &header);
  if (size <= 0 || size_t(size) > bytes.size()) return progress.Fail("WMF: damaged header"), false;
  h.box = placeable.Dst;
  h.inch = placeable.Inch;
  h.objects = header.nObjects;
  h.recordsAt = size_t(size);
  return true;
}

TPointD P(const U_POINT16& p) { return {double(p.x), double(p.y)}; }

std::pair<TPointD, TPointD> Box(const U_RECT16& r) {
  return {{double(r.left), double(r.top)}, {double(r.right), double(r.bottom)}};
}

uint32_t Colour(const U_COLORREF& c) { return Get<uint32_t>(reinterpret_cast<const uint8_t*>(&c)); }

struct TRecord {
  const uint8_t* p;
  size_t size;
  uint16_t function;
  const char* c() const { return reinterpret_cast<const char*>(p); }
  // A pointer a getter returned, with count bytes from it, lies inside the record.
  bool Holds(const void* at, uint64_t count) const {
    const uint8_t* q = static_cast<const uint8_t*>(at);
    return q && q >= p && q <= p + size && count <= uint64_t(p + size - q);
  }
};

// libuemf's getters of the variable records compute offsets from counts in the record
// without checking them against its size: the counts are checked here first.
constexpr int64_t kMissing = INT64_MIN;
int64_t Param(const TRecord& r, int i) { return 8 + 2 * i <= int64_t(r.size) ? Get<int16_t>(r.p + 6 + 2 * i) : kMissing; }

bool TextFits(const TRecord& r, uint16_t kind) {
  if (kind == U_WMR_TEXTOUT) {
    const int64_t length = Param(r, 0);
    return length >= 0 && 8 + ((length + 1) & ~int64_t(1)) + 4 <= int64_t(r.size);
  }
  const int64_t length = Param(r, 2), options = Param(r, 3);
  const int64_t rect = options >= 0 && (options & (U_ETO_OPAQUE | U_ETO_CLIPPED)) ? 8 : 0;
  return length >= 0 && options >= 0 && 14 + rect + length <= int64_t(r.size);
}

bool PolyPolygonFits(const TRecord& r) {
  const int64_t polys = Param(r, 0);
  return polys != kMissing && 8 + 2 * (polys & 0xFFFF) <= int64_t(r.size);
}

std::vector<TPointD> Points(const TRecord& r, const char* data, uint64_t count) {
  std::vector<TPointD> points;
  if (!r.Holds(data, count * 4)) return points;
  const uint8_t* q = reinterpret_cast<const uint8_t*>(data);
  for (uint64_t i = 0; i < count; ++i) points.push_back({double(Get<int16_t>(q + 4 * i)), double(Get<int16_t>(q + 4 * i + 2))});
  return points;
}

void PolyPolygon(TCanvas& c, const TRecord& r) {
  uint16_t polys = 0;
  const uint16_t* counts = nullptr;
  const char* data = nullptr;
  if (!PolyPolygonFits(r) || !U_WMRPOLYPOLYGON_get(r.c(), &polys, &counts, &data) || !r.Holds(counts, uint64_t(polys) * 2))
    return;
  std::vector<std::vector<TPointD>> polygons;
  const uint8_t* q = reinterpret_cast<const uint8_t*>(counts);
  uint64_t offset = 0;
  for (uint16_t i = 0; i < polys; ++i) {
    const uint16_t n = Get<uint16_t>(q + 2 * i);
    std::vector<TPointD> points = Points(r, data + offset * 4, n);
    if (points.size() != n) break;
    polygons.push_back(std::move(points));
    offset += n;
  }
  c.Polygons(polygons);
}

void Text(TCanvas& c, const TRecord& r, uint16_t kind) {
  U_POINT16 at{};
  int16_t length = 0;
  const char* string = nullptr;
  if (!TextFits(r, kind)) return;
  if (kind == U_WMR_TEXTOUT) {
    if (!U_WMRTEXTOUT_get(r.c(), &at, &length, &string) || length < 0 || !r.Holds(string, uint64_t(length))) return;
    c.TextOut(P(at), CharSetToUtf8(reinterpret_cast<const uint8_t*>(string), size_t(length), c.State().font.charSet), {}, 0,
              nullptr);
    return;
  }
  uint16_t options = 0;
  const int16_t* dx = nullptr;
  U_RECT16 rect{};
  if (!U_WMREXTTEXTOUT_get(r.c(), &at, &length, &options, &string, &dx, &rect) || length < 0 ||
      !r.Holds(string, uint64_t(length)))
    return;
  // Glyph indexes of the recording machine's font would come out as other characters.
  if (options & U_ETO_GLYPH_INDEX) return;
  length = int16_t(std::min<int>(length, kMaxTextChars));
  std::vector<double> advances;
  if (dx && r.Holds(dx, uint64_t(length) * 2))
    for (int16_t i = 0; i < length; ++i) advances.push_back(Get<int16_t>(reinterpret_cast<const uint8_t*>(dx) + 2 * i));
  const auto [a, b] = Box(rect);
  const TPointD corners[2] = {a, b};
  const bool hasRect = options & (U_ETO_OPAQUE | U_ETO_CLIPPED);
  c.TextOut(P(at), CharSetToUtf8(reinterpret_cast<const uint8_t*>(string), size_t(length), c.State().font.charSet),
            advances, options, hasRect ? corners : nullptr);
}

void Bitmap(TCanvas& c, const TRecord& r, uint16_t kind) {
  U_POINT16 dst{}, dstSize{}, src{}, srcSize{};
  uint32_t rop = 0;
  const char* dib = nullptr;
  uint16_t usage = 0;
  bool got = false;
  switch (kind) {
    case U_WMR_DIBBITBLT:
      got = U_WMRDIBBITBLT_get(r.c(), &dst, &dstSize, &src, &rop, &dib);
      srcSize = dstSize;
      break;
    case U_WMR_DIBSTRETCHBLT: got = U_WMRDIBSTRETCHBLT_get(r.c(), &dst, &dstSize, &src, &srcSize, &rop, &dib); break;
    case U_WMR_STRETCHDIB:
      got = U_WMRSTRETCHDIB_get(r.c(), &dst, &dstSize, &src, &srcSize, &usage, &rop, &dib);
      break;
    default: return;
  }
  if (!got) return;
  if (!dib) return c.PatBlt(P(dst), P(dstSize), rop);
  if (!r.Holds(dib, 0)) return;
  const size_t size = size_t(r.p + r.size - reinterpret_cast<const uint8_t*>(dib));
  const uint8_t* bmi = reinterpret_cast<const uint8_t*>(dib);
  TSurfacePtr image = DecodePackedDib(bmi, size);
  if (!image) return;
  TPointD from = P(src);
  // StretchDIB counts a bottom-up DIB's source rows from the bottom.
  if (kind == U_WMR_STRETCHDIB && DibHeight(bmi, size) > 0)
    from.y = cairo_image_surface_get_height(image.get()) - from.y - srcSize.y;
  c.DrawBitmap(image.get(), P(dst), P(dstSize), from, P(srcSize), rop);
}

// SetDIBitsToDevice: the band of the DIB's scan lines the record carries, one source pixel
// per device pixel at the destination's logical point.
void DibToDevice(TCanvas& c, const TRecord& r) {
  U_POINT16 dst{}, size{}, src{};
  uint16_t usage = 0, scans = 0, startScan = 0;
  const char* dib = nullptr;
  if (!U_WMRSETDIBTODEV_get(r.c(), &dst, &size, &src, &usage, &scans, &startScan, &dib) || !r.Holds(dib, 0)) return;
  const uint8_t* bmi = reinterpret_cast<const uint8_t*>(dib);
  const TDibBand band = DecodePackedDibBand(bmi, size_t(r.p + r.size - bmi), startScan, scans, src.y, size.y);
  if (band.image) c.BlitUnscaled(TBlit{band.image.get(), {double(src.x), band.top}, P(size)}, P(dst));
}

// A region's rectangles from its scans (a band from top to bottom, then left and right
// pairs, then the pair count again), from the scan count at countAt and the scans at
// scansAt; false unless every scan closes with its count and the last one ends the region.
bool ReadScans(const uint8_t* region, size_t size, size_t countAt, size_t scansAt, TRegion& out) {
  if (scansAt > size) return false;
  const int16_t scans = Get<int16_t>(region + countAt);
  if (scans < 0) return false;
  std::vector<TPointD> rects;
  size_t at = scansAt;
  for (int16_t i = 0; i < scans; ++i) {
    if (size - at < 6) return false;
    const uint16_t count = Get<uint16_t>(region + at);
    const size_t end = at + 6 + size_t(count) * 2;
    if (count % 2 || end + 2 > size || Get<uint16_t>(region + end) != count) return false;
    const double top = Get<int16_t>(region + at + 2), bottom = Get<int16_t>(region + at + 4);
    for (size_t k = at + 6; k < end; k += 4) {
      rects.push_back({double(Get<int16_t>(region + k)), top});
      rects.push_back({double(Get<int16_t>(region + k + 2)), bottom});
    }
    at = end + 2;
  }
  if (at != size) return false;
  out.rects = std::move(rects);
  return true;
}

// The format's documents give a region a 4-byte object count (the scan count at byte 10,
// the scans from byte 22), libuemf's writer a 2-byte one (8 and 20): the layout whose scans
// fill the record exactly is the one taken. A region read neither way stays empty.
void RegionOf(const uint8_t* region, size_t size, TRegion& out) {
  if (size >= 22 && ReadScans(region, size, 10, 22, out)) return;
  if (size >= 20) ReadScans(region, size, 8, 20, out);
}

void CreateObject(TCanvas& c, const TRecord& r, uint16_t kind) {
  switch (kind) {
    case U_WMR_CREATEPENINDIRECT: {
      U_PEN pen{};
      if (U_WMRCREATEPENINDIRECT_get(r.c(), &pen)) c.CreateObject(-1, TPen{pen.Style, double(int16_t(pen.Widthw[0])), Colour(pen.Color)});
      return;
    }
    case U_WMR_CREATEBRUSHINDIRECT: {
      const char* brush = nullptr;
      if (!U_WMRCREATEBRUSHINDIRECT_get(r.c(), &brush) || !r.Holds(brush, 8)) return;
      const uint8_t* b = reinterpret_cast<const uint8_t*>(brush);
      const uint16_t style = Get<uint16_t>(b);
      TBrush out;
      out.colour = Get<uint32_t>(b + 2);
      out.hatch = Get<uint16_t>(b + 6);
      out.kind = style == U_BS_NULL ? TBrushKind::bkNull : style == U_BS_HATCHED ? TBrushKind::bkHatched : TBrushKind::bkSolid;
      return c.CreateObject(-1, out);
    }
    case U_WMR_CREATEFONTINDIRECT: {
      const char* font = nullptr;
      if (!U_WMRCREATEFONTINDIRECT_get(r.c(), &font) || !r.Holds(font, 12)) return c.CreateObject(-1, TFont{});
      const uint8_t* f = reinterpret_cast<const uint8_t*>(font);
      // The face name after the 18 bytes of fields, up to 32 bytes, in the font's own code page.
      constexpr size_t kFaceAt = 18, kFaceSize = 32;
      const size_t rest = size_t(r.p + r.size - f);
      const uint8_t charSet = rest > 13 ? f[13] : 1;
      const std::string face =
          rest > kFaceAt ? CharSetToUtf8(f + kFaceAt, std::min(rest - kFaceAt, kFaceSize), charSet) : std::string();
      return c.CreateObject(-1, TFont{double(Get<int16_t>(f)), Get<int16_t>(f + 8), f[10] != 0, f[11] != 0,
                                      double(Get<int16_t>(f + 4)), face, rest > 12 && f[12] != 0, charSet});
    }
    case U_WMR_DIBCREATEPATTERNBRUSH: {
      uint16_t style = 0, usage = 0;
      const char* bm16 = nullptr;
      const char* dib = nullptr;
      TBrush b;
      b.kind = TBrushKind::bkSolid, b.colour = 0x808080;
      if (U_WMRDIBCREATEPATTERNBRUSH_get(r.c(), &style, &usage, &bm16, &dib) && dib && r.Holds(dib, 0)) {
        b.pattern = DecodePackedDib(reinterpret_cast<const uint8_t*>(dib), size_t(r.p + r.size - reinterpret_cast<const uint8_t*>(dib)));
        if (b.pattern) b.kind = TBrushKind::bkPattern;
      }
      return c.CreateObject(-1, b);
    }
    case U_WMR_CREATEREGION: {
      const char* region = nullptr;
      TRegion out;
      if (U_WMRCREATEREGION_get(r.c(), &region) && r.Holds(region, 0))
        RegionOf(reinterpret_cast<const uint8_t*>(region), size_t(r.p + r.size - reinterpret_cast<const uint8_t*>(region)), out);
      return c.CreateObject(-1, out);
    }
    case U_WMR_CREATEPALETTE:
    case U_WMR_CREATEPATTERNBRUSH:
    case U_WMR_CREATEBITMAPINDIRECT:
    case U_WMR_CREATEBITMAP: return c.CreateObject(-1, TPlaceholder{});
    default: return;
  }
}

void Play(TCanvas& c, const TRecord& r, uint16_t kind) {
  TCanvas::TState& s = c.State();
  U_POINT16 pt{}, pt2{};
  U_RECT16 rc{};
  U_COLORREF colour{};
  uint16_t mode = 0;
  int16_t w = 0, h = 0;
  const char* data = nullptr;
  switch (kind) {
    case U_WMR_SETWINDOWORG:
      if (U_WMRSETWINDOWORG_get(r.c(), &pt)) s.map.windowOrg = P(pt);
      break;
    case U_WMR_SETWINDOWEXT:
      if (U_WMRSETWINDOWEXT_get(r.c(), &pt)) s.map.windowExt = P(pt);
      break;
    case U_WMR_OFFSETWINDOWORG:
      if (U_WMROFFSETWINDOWORG_get(r.c(), &pt)) s.map.windowOrg = {s.map.windowOrg.x + pt.x, s.map.windowOrg.y + pt.y};
      break;
    case U_WMR_SCALEWINDOWEXT:
      if (U_WMRSCALEWINDOWEXT_get(r.c(), &pt, &pt2) && pt.x && pt.y)
        s.map.windowExt = {s.map.windowExt.x * pt2.x / pt.x, s.map.windowExt.y * pt2.y / pt.y};
      break;
    // The player owns the viewport (the picture's place in the target) and keeps the
    // window-to-viewport mapping; a metafile's own viewport and fixed mapping modes are
    // meant for the device it was recorded on.
    case U_WMR_SETMAPMODE:
      if (U_WMRSETMAPMODE_get(r.c(), &mode)) c.SetMapMode(mode == mmIsotropic ? mmIsotropic : mmAnisotropic);
      break;
    case U_WMR_SETBKCOLOR:
      if (U_WMRSETBKCOLOR_get(r.c(), &colour)) s.bkColour = Colour(colour);
      break;
    case U_WMR_SETTEXTCOLOR:
      if (U_WMRSETTEXTCOLOR_get(r.c(), &colour)) s.textColour = Colour(colour);
      break;
    case U_WMR_SETBKMODE:
      if (U_WMRSETBKMODE_get(r.c(), &mode)) s.opaqueBk = mode == U_OPAQUE;
      break;
    case U_WMR_SETPOLYFILLMODE:
      if (U_WMRSETPOLYFILLMODE_get(r.c(), &mode)) s.winding = mode == U_WINDING;
      break;
    case U_WMR_SETTEXTALIGN:
      if (U_WMRSETTEXTALIGN_get(r.c(), &mode)) s.textAlign = mode;
      break;
    case U_WMR_MOVETO:
      if (U_WMRMOVETO_get(r.c(), &pt)) c.MoveTo(P(pt));
      break;
    case U_WMR_LINETO:
      if (U_WMRLINETO_get(r.c(), &pt)) c.LineTo(P(pt));
      break;
    case U_WMR_SETPIXEL:
      if (U_WMRSETPIXEL_get(r.c(), &colour, &pt)) c.SetPixel(P(pt), Colour(colour));
      break;
    case U_WMR_RECTANGLE:
      if (U_WMRRECTANGLE_get(r.c(), &rc)) c.Rectangle(Box(rc).first, Box(rc).second);
      break;
    case U_WMR_ELLIPSE:
      if (U_WMRELLIPSE_get(r.c(), &rc)) c.Ellipse(Box(rc).first, Box(rc).second);
      break;
    case U_WMR_ROUNDRECT:
      if (U_WMRROUNDRECT_get(r.c(), &w, &h, &rc)) c.RoundRect(Box(rc).first, Box(rc).second, {double(w), double(h)});
      break;
    case U_WMR_ARC:
      if (U_WMRARC_get(r.c(), &pt, &pt2, &rc)) c.Arc(Box(rc).first, Box(rc).second, P(pt), P(pt2), TCanvas::TArcKind::akArc);
      break;
    case U_WMR_PIE:
      if (U_WMRPIE_get(r.c(), &pt, &pt2, &rc)) c.Arc(Box(rc).first, Box(rc).second, P(pt), P(pt2), TCanvas::TArcKind::akPie);
      break;
    case U_WMR_CHORD:
      if (U_WMRCHORD_get(r.c(), &pt, &pt2, &rc)) c.Arc(Box(rc).first, Box(rc).second, P(pt), P(pt2), TCanvas::TArcKind::akChord);
      break;
    case U_WMR_POLYGON:
    case U_WMR_POLYLINE: {
      uint16_t n = 0;
      const bool got = kind == U_WMR_POLYGON ? U_WMRPOLYGON_get(r.c(), &n, &data) : U_WMRPOLYLINE_get(r.c(), &n, &data);
      if (!got) break;
      if (kind == U_WMR_POLYGON)
        c.Polygons({Points(r, data, n)});
      else
        c.Polyline(Points(r, data, n), false);
      break;
    }
    case U_WMR_POLYPOLYGON: PolyPolygon(c, r); break;
    case U_WMR_PATBLT: {
      uint32_t rop = 0;
      if (U_WMRPATBLT_get(r.c(), &pt, &pt2, &rop)) c.PatBlt(P(pt), P(pt2), rop);
      break;
    }
    case U_WMR_EXCLUDECLIPRECT:
      if (U_WMREXCLUDECLIPRECT_get(r.c(), &rc)) c.ExcludeClipRect(Box(rc).first, Box(rc).second);
      break;
    case U_WMR_INTERSECTCLIPRECT:
      if (U_WMRINTERSECTCLIPRECT_get(r.c(), &rc)) c.IntersectClipRect(Box(rc).first, Box(rc).second);
      break;
    case U_WMR_SELECTCLIPREGION: {
      uint16_t index = 0;
      if (!U_WMRSELECTCLIPREGION_get(r.c(), &index)) break;
      const TObject* o = c.Object(index);
      const TRegion* region = o ? std::get_if<TRegion>(o) : nullptr;
      c.SelectClipRects(region ? region->rects : std::vector<TPointD>{}, 5, false);
      break;
    }
    case U_WMR_FILLREGION: {
      uint16_t region = 0, brush = 0;
      if (!U_WMRFILLREGION_get(r.c(), &region, &brush)) break;
      const TObject* ro = c.Object(region);
      const TObject* bo = c.Object(brush);
      if (ro && bo && std::get_if<TRegion>(ro) && std::get_if<TBrush>(bo))
        c.FillRegion(*std::get_if<TRegion>(ro), *std::get_if<TBrush>(bo));
      break;
    }
    case U_WMR_PAINTREGION: {
      uint16_t region = 0;
      const TObject* o = U_WMRPAINTREGION_get(r.c(), &region) ? c.Object(region) : nullptr;
      if (const TRegion* area = o ? std::get_if<TRegion>(o) : nullptr) c.FillRegion(*area, s.brush);
      break;
    }
    case U_WMR_SAVEDC: c.SaveDC(); break;
    case U_WMR_RESTOREDC:
      if (U_WMRRESTOREDC_get(r.c(), &w)) c.RestoreDC(w);
      break;
    case U_WMR_SELECTOBJECT: {
      uint16_t index = 0;
      if (U_WMRSELECTOBJECT_get(r.c(), &index)) c.SelectObject(index);
      break;
    }
    case U_WMR_DELETEOBJECT: {
      uint16_t index = 0;
      if (U_WMRDELETEOBJECT_get(r.c(), &index)) c.DeleteObject(index);
      break;
    }
    case U_WMR_TEXTOUT:
    case U_WMR_EXTTEXTOUT: Text(c, r, kind); break;
    case U_WMR_DIBBITBLT:
    case U_WMR_DIBSTRETCHBLT:
    case U_WMR_STRETCHDIB: Bitmap(c, r, kind); break;
    case U_WMR_SETDIBTODEV: DibToDevice(c, r); break;
    default: CreateObject(c, r, kind); break;
  }
}

// The records' function numbers (the low byte names the record, the high byte repeats
// its parameter count) as libuemf's record indexes.
uint16_t KindOf(uint16_t function) {
  const uint8_t index = function & 0xFF;
  return (U_wmr_values(index) & 0xFFFF) == function ? index : uint16_t(0xFFFF);
}

// The records that set the page up before anything is drawn: the window, the mapping mode,
// objects, colours and modes.
bool SetsUp(uint16_t kind) {
  switch (kind) {
    case U_WMR_SETWINDOWORG: case U_WMR_SETWINDOWEXT: case U_WMR_SETVIEWPORTORG: case U_WMR_SETVIEWPORTEXT:
    case U_WMR_SETMAPMODE: case U_WMR_SETBKCOLOR: case U_WMR_SETTEXTCOLOR: case U_WMR_SETBKMODE:
    case U_WMR_SETPOLYFILLMODE: case U_WMR_SETTEXTALIGN: case U_WMR_SETROP2: case U_WMR_SETSTRETCHBLTMODE:
    case U_WMR_SETRELABS: case U_WMR_SETMAPPERFLAGS: case U_WMR_SETTEXTCHAREXTRA: case U_WMR_SETTEXTJUSTIFICATION:
    case U_WMR_SELECTOBJECT: case U_WMR_DELETEOBJECT: case U_WMR_SELECTPALETTE: case U_WMR_REALIZEPALETTE:
    case U_WMR_ESCAPE: case U_WMR_SAVEDC: case U_WMR_CREATEPENINDIRECT: case U_WMR_CREATEBRUSHINDIRECT:
    case U_WMR_CREATEFONTINDIRECT: case U_WMR_CREATEPALETTE: case U_WMR_DIBCREATEPATTERNBRUSH:
    case U_WMR_CREATEPATTERNBRUSH: case U_WMR_CREATEREGION: case U_WMR_CREATEBITMAPINDIRECT: case U_WMR_CREATEBITMAP:
      return true;
    default: return false;
  }
}

// The placeable header's bounding box is the picture, in the records' logical units: the
// window a file has set up when it starts drawing is taken as that box, whatever extent it
// gives (the original platform shows such a file fitted to its box, where a window that
// does not cover the drawing would shift and cut it). Later window changes act relative to
// it. A window turned the other way round than the box keeps its own mapping: which way is
// up is then the window's.
void FitFirstWindow(TCanvas& canvas, const TWmfHeader& h, int width, int height) {
  const TCanvas::TMapping& m = canvas.State().map;
  const double boxWidth = double(h.box.right) - h.box.left, boxHeight = double(h.box.bottom) - h.box.top;
  if (!(boxWidth > 0 && boxHeight > 0 && m.windowExt.x > 0 && m.windowExt.y > 0)) return;
  cairo_matrix_t device;
  cairo_matrix_init(&device, m.windowExt.x / boxWidth, 0, 0, m.windowExt.y / boxHeight,
                    (m.windowOrg.x - h.box.left) * width / boxWidth, (m.windowOrg.y - h.box.top) * height / boxHeight);
  canvas.SetDevice(device);
}

}  // namespace

bool WmfProbe(std::span<const uint8_t> bytes, TVLMetafileFacts& facts, TVLProgressRecord& progress) {
  TWmfHeader h;
  if (!ReadHeader(bytes, h, progress)) return false;
  const int w = std::abs(int(h.box.right) - h.box.left), hh = std::abs(int(h.box.bottom) - h.box.top);
  if (h.inch == 0 || w == 0 || hh == 0) return progress.Fail("WMF: empty bounding box, the picture has no size"), false;
  facts.Enhanced = false;
  facts.Width = int(std::lround(double(w) * DefaultDpiX() / h.inch));
  facts.Height = int(std::lround(double(hh) * DefaultDpiY() / h.inch));
  return true;
}

void WmfPlay(std::span<const uint8_t> file, cairo_surface_t* surface, int width, int height, TVLProgressRecord& progress) {
  // libuemf's bitmap getters read a DIB's 40-byte information header before they check it
  // against the record: in a record that ends the file with a shorter DIB they read past the
  // file. Behind a copy of it they find zeros instead.
  constexpr size_t kGetterSlack = 64;
  std::vector<uint8_t> padded(file.size() + kGetterSlack, 0);
  std::copy(file.begin(), file.end(), padded.begin());
  const std::span<const uint8_t> bytes(padded.data(), file.size());
  TWmfHeader h;
  if (!ReadHeader(bytes, h, progress)) return;
  cairo_matrix_t device;
  cairo_matrix_init_identity(&device);
  TCanvas canvas(surface, device, progress, "WMF");
  canvas.SetObjectTableSize(h.objects);
  // The bounding box is the window until the records set their own; the viewport is the
  // picture's place.
  TCanvas::TMapping& map = canvas.State().map;
  map.mode = mmAnisotropic;
  map.windowOrg = {double(h.box.left), double(h.box.top)};
  map.windowExt = {double(h.box.right) - h.box.left, double(h.box.bottom) - h.box.top};
  map.viewportExt = {double(width), double(height)};
  const char* start = reinterpret_cast<const char*>(bytes.data());
  const char* end = start + bytes.size();
  size_t at = h.recordsAt, count = 0;
  bool framed = false;  // the first window fitted to the box
  while (at + 6 <= bytes.size() && !canvas.Failed()) {
    const size_t size = U_WMRRECSAFE_get(start + at, end);
    if (size < 6)
      return canvas.Fail("record " + std::to_string(count) + " at byte " + std::to_string(at) + " runs past the end");
    TRecord r{bytes.data() + at, size, Get<uint16_t>(bytes.data() + at + 4)};
    if (r.function == 0) break;  // META_EOF
    const uint16_t kind = KindOf(r.function);
    if (!framed && !SetsUp(kind)) {
      framed = true;
      FitFirstWindow(canvas, h, width, height);
    }
    // A bitmap held back as a mask waits only for the next bitmap record.
    if (kind != U_WMR_DIBBITBLT && kind != U_WMR_DIBSTRETCHBLT && kind != U_WMR_STRETCHDIB) canvas.ReleaseHeldMask();
    Play(canvas, r, kind);
    if (++count % 4096 == 0) progress.Report(int(at * 100 / bytes.size()));
    at += size;
  }
  canvas.ReleaseHeldMask();
}

}  // namespace velora::metafile
