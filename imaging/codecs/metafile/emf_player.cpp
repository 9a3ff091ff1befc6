// Enhanced metafiles: the header's picture frame and the record loop. Every record is checked
// by libuemf against its own size once its size is known to lie inside the file; the fields
// are then read through libuemf's record structures.
#include <uemf.h>
#include <uemf_safe.h>

#include <bit>
#include <bitset>
#include <cmath>
#include <vector>

#include "io/io_params.h"
#include "metafile_canvas.h"
#include "metafile_player.h"

namespace velora::metafile {

// The records are read in place: the file's byte order is the machine's.
static_assert(std::endian::native == std::endian::little, "EMF records are read in place");

namespace {

constexpr uint32_t kEmfSignature = 0x464D4520;  // " EMF"
constexpr size_t kMinHeaderSize = 88;

struct TEmfHeader {
  U_RECTL bounds, frame;
  uint32_t handles;
  double pxPerMmX, pxPerMmY;  // the reference device
};

bool ReadHeader(std::span<const uint8_t> bytes, TEmfHeader& h, TVLProgressRecord& progress) {
  if (bytes.size() < kMinHeaderSize) return progress.Fail("EMF: file too short for its header"), false;
  const uint8_t* p = bytes.data();
  const uint32_t size = Get<uint32_t>(p + 4);
  if (Get<uint32_t>(p + 40) != kEmfSignature) return progress.Fail("EMF: no \" EMF\" signature"), false;
  if (size < kMinHeaderSize || size > bytes.size() || size % 4)
    return progress.Fail("EMF: header of " + std::to_string(size) + " bytes in a file of " +
                         std::to_string(bytes.size())), false;
  h.bounds = Get<U_RECTL>(p + 8);
  h.frame = Get<U_RECTL>(p + 24);
  h.handles = Get<uint16_t>(p + 56);
  const U_SIZEL device = Get<U_SIZEL>(p + 72), millimetres = Get<U_SIZEL>(p + 80);
  // A header without a reference device is taken as a 96-dpi screen.
  h.pxPerMmX = device.cx > 0 && millimetres.cx > 0 ? double(device.cx) / millimetres.cx : 96 / 25.4;
  h.pxPerMmY = device.cy > 0 && millimetres.cy > 0 ? double(device.cy) / millimetres.cy : 96 / 25.4;
  return true;
}

// The frame in 0.01 mm as reference-device pixels: left, top, width, height. An empty frame
// falls back on the bounds, which are in device pixels already (both ends inclusive).
bool FrameInDevice(const TEmfHeader& h, double f[4]) {
  const double fw = double(h.frame.right) - h.frame.left, fh = double(h.frame.bottom) - h.frame.top;
  if (fw > 0 && fh > 0) {
    f[0] = h.frame.left * h.pxPerMmX / 100, f[1] = h.frame.top * h.pxPerMmY / 100;
    f[2] = fw * h.pxPerMmX / 100, f[3] = fh * h.pxPerMmY / 100;
    return true;
  }
  const double bw = double(h.bounds.right) - h.bounds.left + 1, bh = double(h.bounds.bottom) - h.bounds.top + 1;
  if (bw > 0 && bh > 0) {
    f[0] = h.bounds.left, f[1] = h.bounds.top, f[2] = bw, f[3] = bh;
    return true;
  }
  return false;
}

TPointD P(const U_POINTL& p) { return {double(p.x), double(p.y)}; }
TPointD P(const U_POINT16& p) { return {double(p.x), double(p.y)}; }
TPointD Size(const U_SIZEL& s) { return {double(s.cx), double(s.cy)}; }

cairo_matrix_t Matrix(const U_XFORM& x) {
  cairo_matrix_t m;
  cairo_matrix_init(&m, x.eM11, x.eM12, x.eM21, x.eM22, x.eDx, x.eDy);
  return m;
}

// One record in play: its bytes and the bounds checks of the parts it points at.
struct TRecord {
  const uint8_t* p;
  uint32_t size;
  uint32_t type;
  template <class T>
  const T& As() const { return *reinterpret_cast<const T*>(p); }
  // count items of itemSize at offset lie inside the record.
  bool Holds(uint64_t offset, uint64_t count, uint64_t itemSize) const {
    return offset <= size && count <= (size - offset) / std::max<uint64_t>(itemSize, 1);
  }
};

template <class Point>
std::vector<TPointD> Points(const TRecord& r, uint64_t offset, uint64_t count) {
  std::vector<TPointD> points;
  if (!r.Holds(offset, count, sizeof(Point))) return points;
  points.reserve(count);
  for (uint64_t i = 0; i < count; ++i) points.push_back(P(Get<Point>(r.p + offset + i * sizeof(Point))));
  return points;
}

// Poly-polygons and poly-polylines: the counts, then all points.
template <class Point>
std::vector<std::vector<TPointD>> PolyPoints(const TRecord& r) {
  const uint32_t polys = Get<uint32_t>(r.p + 24), total = Get<uint32_t>(r.p + 28);
  std::vector<std::vector<TPointD>> out;
  if (!r.Holds(32, polys, 4)) return out;
  const uint64_t pointsAt = 32 + uint64_t(polys) * 4;
  const std::vector<TPointD> all = Points<Point>(r, pointsAt, total);
  if (all.size() != total) return out;
  size_t next = 0;
  for (uint32_t i = 0; i < polys; ++i) {
    const uint32_t n = Get<uint32_t>(r.p + 32 + i * 4);
    if (n > all.size() - next) break;
    out.emplace_back(all.begin() + long(next), all.begin() + long(next + n));
    next += n;
  }
  return out;
}

TPen PenOf(const U_LOGPEN& lp) { return TPen{lp.lopnStyle, double(lp.lopnWidth.x), Get<uint32_t>(reinterpret_cast<const uint8_t*>(&lp.lopnColor))}; }

uint32_t Colour(const U_COLORREF& c) { return Get<uint32_t>(reinterpret_cast<const uint8_t*>(&c)); }

TBrush BrushOf(uint32_t style, uint32_t colour, uint32_t hatch) {
  TBrush b;
  b.colour = colour;
  b.hatch = hatch;
  b.kind = style == U_BS_NULL ? TBrushKind::bkNull : style == U_BS_HATCHED ? TBrushKind::bkHatched : TBrushKind::bkSolid;
  return b;
}

// A bitmap a record carries at offsets from its start.
TSurfacePtr RecordDib(const TRecord& r, uint32_t offBmi, uint32_t cbBmi, uint32_t offBits, uint32_t cbBits) {
  if (!cbBmi || !r.Holds(offBmi, cbBmi, 1) || !r.Holds(offBits, cbBits, 1)) return nullptr;
  return DecodeDib(r.p + offBmi, cbBmi, r.p + offBits, cbBits);
}

void Text(TCanvas& c, const TRecord& r, bool wide) {
  constexpr uint64_t kText = 36;  // the EMRTEXT after bounds, graphics mode and scales
  if (!r.Holds(kText, 1, 20)) return;
  const U_EMRTEXT& t = *reinterpret_cast<const U_EMRTEXT*>(r.p + kText);
  // Glyph indexes name glyphs of the recording machine's font, which is not here: such text
  // would come out as other characters, so it is left out.
  if (t.fOptions & U_ETO_GLYPH_INDEX) return;
  const bool hasRect = !(t.fOptions & U_ETO_NO_RECT);
  const uint64_t dxAt = kText + 20 + (hasRect ? 16 : 0);
  if (!r.Holds(dxAt, 1, 4)) return;
  TPointD rect[2];
  if (hasRect) {
    const U_RECTL rc = Get<U_RECTL>(r.p + kText + 20);
    rect[0] = {double(rc.left), double(rc.top)}, rect[1] = {double(rc.right), double(rc.bottom)};
  }
  const uint32_t chars = std::min(t.nChars, kMaxTextChars), offDx = Get<uint32_t>(r.p + dxAt);
  if (!r.Holds(t.offString, chars, wide ? 2 : 1)) return;
  const std::string text = wide ? Utf16ToUtf8(r.p + t.offString, chars) : AnsiToUtf8(r.p + t.offString, chars);
  std::vector<double> dx;
  // ETO_PDY doubles the advances into x, y pairs; only x is used.
  const uint64_t step = t.fOptions & U_ETO_PDY ? 8 : 4;
  if (offDx && r.Holds(offDx, chars, step))
    for (uint32_t i = 0; i < chars; ++i) dx.push_back(Get<int32_t>(r.p + offDx + i * step));
  c.TextOut(P(t.ptlReference), text, dx, t.fOptions, hasRect ? rect : nullptr);
}

void ClipRegion(TCanvas& c, const TRecord& r) {
  const uint32_t cb = Get<uint32_t>(r.p + 8), mode = Get<uint32_t>(r.p + 12);
  std::vector<TPointD> corners;
  if (cb >= 32 && r.Holds(16, 1, 32)) {
    const uint32_t n = Get<uint32_t>(r.p + 16 + 8);
    if (r.Holds(16 + 32, n, 16))
      for (uint32_t i = 0; i < n; ++i) {
        const U_RECTL rc = Get<U_RECTL>(r.p + 48 + i * 16);
        corners.push_back({double(rc.left), double(rc.top)});
        corners.push_back({double(rc.right), double(rc.bottom)});
      }
  }
  c.SelectClipRects(corners, mode, true);
}

void Bitmap(TCanvas& c, const TRecord& r) {
  switch (r.type) {
    case U_EMR_BITBLT:
    case U_EMR_STRETCHBLT: {
      const auto& b = r.As<U_EMRBITBLT>();
      if (b.cbBmiSrc == 0) return c.PatBlt(P(b.Dest), P(b.cDest), b.dwRop);
      const TPointD srcSize = r.type == U_EMR_STRETCHBLT ? P(r.As<U_EMRSTRETCHBLT>().cSrc) : P(b.cDest);
      TSurfacePtr image = RecordDib(r, b.offBmiSrc, b.cbBmiSrc, b.offBitsSrc, b.cbBitsSrc);
      c.DrawBitmap(image.get(), P(b.Dest), P(b.cDest), P(b.Src), srcSize, b.dwRop);
      return;
    }
    case U_EMR_STRETCHDIBITS: {
      const auto& b = r.As<U_EMRSTRETCHDIBITS>();
      TSurfacePtr image = RecordDib(r, b.offBmiSrc, b.cbBmiSrc, b.offBitsSrc, b.cbBitsSrc);
      if (!image) return;
      // The source rectangle of a bottom-up DIB counts its rows from the bottom.
      TPointD src = P(b.Src);
      if (DibHeight(r.p + b.offBmiSrc, b.cbBmiSrc) > 0)
        src.y = cairo_image_surface_get_height(image.get()) - src.y - b.cSrc.y;
      c.DrawBitmap(image.get(), P(b.Dest), P(b.cDest), src, P(b.cSrc), b.dwRop);
      return;
    }
    default: return;
  }
}

void CreateObject(TCanvas& c, const TRecord& r) {
  switch (r.type) {
    case U_EMR_CREATEPEN: {
      const auto& rec = r.As<U_EMRCREATEPEN>();
      return c.CreateObject(long(rec.ihPen), PenOf(rec.lopn));
    }
    case U_EMR_EXTCREATEPEN: {
      const auto& rec = r.As<U_EMREXTCREATEPEN>();
      const TPen pen{rec.elp.elpPenStyle, double(rec.elp.elpWidth), Colour(rec.elp.elpColor)};
      return c.CreateObject(long(rec.ihPen), pen);
    }
    case U_EMR_CREATEBRUSHINDIRECT: {
      const auto& rec = r.As<U_EMRCREATEBRUSHINDIRECT>();
      return c.CreateObject(long(rec.ihBrush), BrushOf(rec.lb.lbStyle, Colour(rec.lb.lbColor), rec.lb.lbHatch));
    }
    case U_EMR_CREATEDIBPATTERNBRUSHPT:
    case U_EMR_CREATEMONOBRUSH: {
      const auto& rec = r.As<U_EMRCREATEDIBPATTERNBRUSHPT>();
      TBrush b;
      b.kind = TBrushKind::bkPattern;
      b.pattern = RecordDib(r, rec.offBmi, rec.cbBmi, rec.offBits, rec.cbBits);
      if (!b.pattern) b.kind = TBrushKind::bkSolid, b.colour = 0x808080;
      return c.CreateObject(long(rec.ihBrush), b);
    }
    case U_EMR_EXTCREATEFONTINDIRECTW: {
      const auto& rec = r.As<U_EMREXTCREATEFONTINDIRECTW>();
      const U_LOGFONT& lf = rec.elfw.elfLogFont;
      TFont f{double(lf.lfHeight), int(lf.lfWeight), lf.lfItalic != 0, lf.lfUnderline != 0, double(lf.lfEscapement), {}};
      return c.CreateObject(long(rec.ihFont), f);
    }
    case U_EMR_CREATEPALETTE: return c.CreateObject(long(Get<uint32_t>(r.p + 8)), TPlaceholder{});
    default: return;
  }
}

void Shape(TCanvas& c, const TRecord& r) {
  const auto box = [&] { return std::pair{TPointD{double(r.As<U_EMRELLIPSE>().rclBox.left), double(r.As<U_EMRELLIPSE>().rclBox.top)},
                                          TPointD{double(r.As<U_EMRELLIPSE>().rclBox.right), double(r.As<U_EMRELLIPSE>().rclBox.bottom)}}; };
  switch (r.type) {
    case U_EMR_RECTANGLE: return c.Rectangle(box().first, box().second);
    case U_EMR_ELLIPSE: return c.Ellipse(box().first, box().second);
    case U_EMR_ROUNDRECT: return c.RoundRect(box().first, box().second, Size(r.As<U_EMRROUNDRECT>().szlCorner));
    case U_EMR_ARC:
    case U_EMR_ARCTO:
    case U_EMR_CHORD:
    case U_EMR_PIE: {
      const auto& a = r.As<U_EMRARC>();
      const TCanvas::TArcKind kind = r.type == U_EMR_ARC     ? TCanvas::TArcKind::akArc
                                     : r.type == U_EMR_ARCTO ? TCanvas::TArcKind::akArcTo
                                     : r.type == U_EMR_CHORD ? TCanvas::TArcKind::akChord
                                                             : TCanvas::TArcKind::akPie;
      return c.Arc(box().first, box().second, P(a.ptlStart), P(a.ptlEnd), kind);
    }
    default: return;
  }
}

void Poly(TCanvas& c, const TRecord& r) {
  // The single-list records: bounds, count, points (32- or 16-bit).
  const uint32_t n = Get<uint32_t>(r.p + 24);
  switch (r.type) {
    case U_EMR_POLYGON: return c.Polygons({Points<U_POINTL>(r, 28, n)});
    case U_EMR_POLYGON16: return c.Polygons({Points<U_POINT16>(r, 28, n)});
    case U_EMR_POLYLINE: return c.Polyline(Points<U_POINTL>(r, 28, n), false);
    case U_EMR_POLYLINE16: return c.Polyline(Points<U_POINT16>(r, 28, n), false);
    case U_EMR_POLYLINETO: return c.Polyline(Points<U_POINTL>(r, 28, n), true);
    case U_EMR_POLYLINETO16: return c.Polyline(Points<U_POINT16>(r, 28, n), true);
    case U_EMR_POLYBEZIER: return c.PolyBezier(Points<U_POINTL>(r, 28, n), false);
    case U_EMR_POLYBEZIER16: return c.PolyBezier(Points<U_POINT16>(r, 28, n), false);
    case U_EMR_POLYBEZIERTO: return c.PolyBezier(Points<U_POINTL>(r, 28, n), true);
    case U_EMR_POLYBEZIERTO16: return c.PolyBezier(Points<U_POINT16>(r, 28, n), true);
    case U_EMR_POLYPOLYGON: return c.Polygons(PolyPoints<U_POINTL>(r));
    case U_EMR_POLYPOLYGON16: return c.Polygons(PolyPoints<U_POINT16>(r));
    case U_EMR_POLYPOLYLINE: return c.Polylines(PolyPoints<U_POINTL>(r));
    case U_EMR_POLYPOLYLINE16: return c.Polylines(PolyPoints<U_POINT16>(r));
    default: return;
  }
}

void Play(TCanvas& c, const TRecord& r) {
  TCanvas::TState& s = c.State();
  const auto u32 = [&](size_t at) { return Get<uint32_t>(r.p + at); };
  const auto point = [&] { return TPointD{double(Get<int32_t>(r.p + 8)), double(Get<int32_t>(r.p + 12))}; };
  const auto rect = [&] { return std::pair{point(), TPointD{double(Get<int32_t>(r.p + 16)), double(Get<int32_t>(r.p + 20))}}; };
  switch (r.type) {
    case U_EMR_SETWINDOWEXTEX: s.map.windowExt = point(); break;
    case U_EMR_SETWINDOWORGEX: s.map.windowOrg = point(); break;
    case U_EMR_SETVIEWPORTEXTEX: s.map.viewportExt = point(); break;
    case U_EMR_SETVIEWPORTORGEX: s.map.viewportOrg = point(); break;
    case U_EMR_SCALEVIEWPORTEXTEX:
    case U_EMR_SCALEWINDOWEXTEX: {
      TPointD& ext = r.type == U_EMR_SCALEWINDOWEXTEX ? s.map.windowExt : s.map.viewportExt;
      const int32_t xn = Get<int32_t>(r.p + 8), xd = Get<int32_t>(r.p + 12), yn = Get<int32_t>(r.p + 16),
                    yd = Get<int32_t>(r.p + 20);
      if (xd && yd) ext = {ext.x * xn / xd, ext.y * yn / yd};
      break;
    }
    case U_EMR_SETMAPMODE: c.SetMapMode(u32(8)); break;
    case U_EMR_SETBKMODE: s.opaqueBk = u32(8) == U_OPAQUE; break;
    case U_EMR_SETPOLYFILLMODE: s.winding = u32(8) == U_WINDING; break;
    case U_EMR_SETTEXTALIGN: s.textAlign = u32(8); break;
    case U_EMR_SETTEXTCOLOR: s.textColour = u32(8); break;
    case U_EMR_SETBKCOLOR: s.bkColour = u32(8); break;
    case U_EMR_SETARCDIRECTION: s.arcDirection = u32(8) == U_AD_CLOCKWISE ? 2 : 1; break;
    case U_EMR_MOVETOEX: c.MoveTo(point()); break;
    case U_EMR_LINETO: c.LineTo(point()); break;
    case U_EMR_SETPIXELV: c.SetPixel(point(), u32(16)); break;
    case U_EMR_EXCLUDECLIPRECT: c.ExcludeClipRect(rect().first, rect().second); break;
    case U_EMR_INTERSECTCLIPRECT: c.IntersectClipRect(rect().first, rect().second); break;
    case U_EMR_EXTSELECTCLIPRGN: ClipRegion(c, r); break;
    case U_EMR_SAVEDC: c.SaveDC(); break;
    case U_EMR_RESTOREDC: c.RestoreDC(Get<int32_t>(r.p + 8)); break;
    case U_EMR_SETWORLDTRANSFORM: c.SetWorldTransform(Matrix(r.As<U_EMRSETWORLDTRANSFORM>().xform)); break;
    case U_EMR_MODIFYWORLDTRANSFORM: {
      const auto& m = r.As<U_EMRMODIFYWORLDTRANSFORM>();
      c.ModifyWorldTransform(Matrix(m.xform), m.iMode);
      break;
    }
    case U_EMR_SELECTOBJECT: c.SelectObject(u32(8)); break;
    case U_EMR_DELETEOBJECT: c.DeleteObject(u32(8)); break;
    case U_EMR_BEGINPATH: c.BeginPath(); break;
    case U_EMR_ENDPATH: c.EndPath(); break;
    case U_EMR_ABORTPATH: c.AbortPath(); break;
    case U_EMR_CLOSEFIGURE: c.CloseFigure(); break;
    case U_EMR_FILLPATH: c.DrawPath(true, false); break;
    case U_EMR_STROKEPATH: c.DrawPath(false, true); break;
    case U_EMR_STROKEANDFILLPATH: c.DrawPath(true, true); break;
    case U_EMR_SELECTCLIPPATH: c.SelectClipPath(u32(8)); break;
    case U_EMR_EXTTEXTOUTW: Text(c, r, true); break;
    case U_EMR_EXTTEXTOUTA: Text(c, r, false); break;
    case U_EMR_BITBLT:
    case U_EMR_STRETCHBLT:
    case U_EMR_STRETCHDIBITS: Bitmap(c, r); break;
    case U_EMR_RECTANGLE:
    case U_EMR_ELLIPSE:
    case U_EMR_ROUNDRECT:
    case U_EMR_ARC:
    case U_EMR_ARCTO:
    case U_EMR_CHORD:
    case U_EMR_PIE: Shape(c, r); break;
    case U_EMR_FILLRGN: {
      const auto& f = r.As<U_EMRFILLRGN>();
      const TObject* o = c.Object(f.ihBrush);
      const TBrush* brush = o ? std::get_if<TBrush>(o) : nullptr;
      if (brush && r.Holds(32, 1, 32)) {
        TRegion region;
        const uint32_t n = Get<uint32_t>(r.p + 32 + 8);
        if (r.Holds(64, n, 16))
          for (uint32_t i = 0; i < n; ++i) {
            const U_RECTL rc = Get<U_RECTL>(r.p + 64 + i * 16);
            region.rects.push_back({double(rc.left), double(rc.top)});
            region.rects.push_back({double(rc.right), double(rc.bottom)});
          }
        c.FillRegion(region, *brush);
      }
      break;
    }
    default:
      if (r.type >= U_EMR_POLYBEZIER && r.type <= U_EMR_POLYPOLYGON) Poly(c, r);
      else if (r.type >= U_EMR_POLYBEZIER16 && r.type <= U_EMR_POLYPOLYGON16) Poly(c, r);
      else CreateObject(c, r);
      // Everything else (comments with their EMF+ records, palettes, colour management)
      // does not change the picture: the EMF records after EMF+ ones draw it again.
      break;
  }
}

// The record types Play reads fields of: only they need libuemf's check (it knows no check
// for some types and refuses them, where unknown records are simply passed over).
bool Interpreted(uint32_t type) {
  static const std::bitset<128> kTypes = [] {
    std::bitset<128> t;
    for (uint32_t i : {2, 3, 4, 5, 6, 7, 8, 85, 86, 87, 88, 89, 90, 91, 9, 10, 11, 12, 15, 17, 18, 19, 22, 24, 25, 27,
                       29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 42, 43, 44, 45, 46, 47, 49, 54, 55, 57, 59, 60, 61,
                       62, 63, 64, 67, 68, 71, 75, 76, 77, 81, 82, 83, 84, 93, 94, 95})
      t.set(i);
    return t;
  }();
  return type < kTypes.size() && kTypes.test(type);
}

}  // namespace

bool EmfProbe(std::span<const uint8_t> bytes, TVLMetafileFacts& facts, TVLProgressRecord& progress) {
  TEmfHeader h;
  if (!ReadHeader(bytes, h, progress)) return false;
  double frame[4];
  if (!FrameInDevice(h, frame)) return progress.Fail("EMF: empty picture frame"), false;
  facts.Enhanced = true;
  // The frame at the screen's resolution.
  facts.Width = int(std::lround(std::min(frame[2] / h.pxPerMmX * DefaultDpiX() / 25.4, 1e9)));
  facts.Height = int(std::lround(std::min(frame[3] / h.pxPerMmY * DefaultDpiY() / 25.4, 1e9)));
  return true;
}

void EmfPlay(std::span<const uint8_t> bytes, cairo_surface_t* surface, int width, int height, TVLProgressRecord& progress) {
  TEmfHeader h;
  double frame[4];
  if (!ReadHeader(bytes, h, progress)) return;
  if (!FrameInDevice(h, frame)) return progress.Fail("EMF: empty picture frame");
  // The records' device pixels onto the picture's place: the frame over width × height.
  cairo_matrix_t device;
  cairo_matrix_init(&device, width / frame[2], 0, 0, height / frame[3], -frame[0] * width / frame[2],
                    -frame[1] * height / frame[3]);
  // Records are read in place as libuemf's structures: keep them 4-byte aligned.
  std::vector<uint32_t> aligned((bytes.size() + 3) / 4);
  std::memcpy(aligned.data(), bytes.data(), bytes.size());
  const uint8_t* base = reinterpret_cast<const uint8_t*>(aligned.data());
  TCanvas canvas(surface, device, progress, "EMF");
  canvas.SetReferenceDevice(h.pxPerMmX, h.pxPerMmY);
  canvas.SetObjectTableSize(h.handles);
  size_t at = 0, count = 0;
  while (at + 8 <= bytes.size() && !canvas.Failed()) {
    TRecord r{base + at, Get<uint32_t>(base + at + 4), Get<uint32_t>(base + at)};
    if (r.size < 8 || r.size % 4 || r.size > bytes.size() - at)
      return canvas.Fail("record " + std::to_string(count) + " at byte " + std::to_string(at) + " has a size of " +
                         std::to_string(r.size));
    if (r.type == U_EMR_EOF) break;
    if (count > 0 && Interpreted(r.type)) {
      if (!U_emf_record_safe(reinterpret_cast<const char*>(r.p)))
        return canvas.Fail("record " + std::to_string(count) + " (type " + std::to_string(r.type) + ") is damaged");
      Play(canvas, r);
    }
    if (++count % 4096 == 0) progress.Report(int(at * 100 / bytes.size()));
    at += r.size;
  }
}

}  // namespace velora::metafile
