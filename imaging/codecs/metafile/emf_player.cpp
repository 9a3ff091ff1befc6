// Enhanced metafiles: the header's picture frame and the record loop. Every record is checked
// by libuemf against its own size once its size is known to lie inside the file; the fields
// are then read through libuemf's record structures.
#include <uemf.h>
#include <uemf_safe.h>

#include <bit>
#include <bitset>
#include <cmath>
#include <vector>

#include "font_glyphs.h"
#include "io/io_params.h"
#include "metafile_canvas.h"
#include "metafile_player.h"
#include "metafile_text.h"

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
bool HoldsDib(const TRecord& r, uint32_t offBmi, uint32_t cbBmi, uint32_t offBits, uint32_t cbBits) {
  return cbBmi && r.Holds(offBmi, cbBmi, 1) && r.Holds(offBits, cbBits, 1);
}

TSurfacePtr RecordDib(const TRecord& r, uint32_t offBmi, uint32_t cbBmi, uint32_t offBits, uint32_t cbBits) {
  if (!HoldsDib(r, offBmi, cbBmi, offBits, cbBits)) return nullptr;
  return DecodeDib(r.p + offBmi, cbBmi, r.p + offBits, cbBits);
}

void Text(TCanvas& c, const TRecord& r, bool wide, TFontGlyphs& glyphs) {
  constexpr uint64_t kText = 36;  // the EMRTEXT after bounds, graphics mode and scales
  if (!r.Holds(kText, 1, 20)) return;
  const U_EMRTEXT& t = *reinterpret_cast<const U_EMRTEXT*>(r.p + kText);
  const bool hasRect = !(t.fOptions & U_ETO_NO_RECT);
  const uint64_t dxAt = kText + 20 + (hasRect ? 16 : 0);
  if (!r.Holds(dxAt, 1, 4)) return;
  TPointD rect[2];
  if (hasRect) {
    const U_RECTL rc = Get<U_RECTL>(r.p + kText + 20);
    rect[0] = {double(rc.left), double(rc.top)}, rect[1] = {double(rc.right), double(rc.bottom)};
  }
  const uint32_t chars = std::min(t.nChars, kMaxTextChars), offDx = Get<uint32_t>(r.p + dxAt);
  // Glyph indexes are 16 bits wide in both kinds of record.
  const bool indexes = t.fOptions & U_ETO_GLYPH_INDEX;
  if (!r.Holds(t.offString, chars, wide || indexes ? 2 : 1)) return;
  std::string text;
  // A record without characters still fills its opaque rectangle: many files paint one so.
  if (indexes && chars > 0) {
    // Without the recording machine's own font the indexes would come out as other
    // characters: such text is left out.
    std::vector<uint16_t> ids(chars);
    std::memcpy(ids.data(), r.p + t.offString, chars * 2);
    if (!glyphs.Characters(c.State().font, ids, text)) return;
  } else {
    text = wide ? Utf16ToUtf8(r.p + t.offString, chars) : CharSetToUtf8(r.p + t.offString, chars, c.State().font.charSet);
  }
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

// The source rows of StretchDIBits, counted from the bottom: a bottom-up DIB's rows turned
// into the image's, top first.
TPointD RowsFromBottom(const TRecord& r, uint32_t offBmi, uint32_t cbBmi, cairo_surface_t* image, TPointD src,
                       double rows) {
  if (DibHeight(r.p + offBmi, cbBmi) > 0) src.y = cairo_image_surface_get_height(image) - src.y - rows;
  return src;
}

constexpr uint32_t kRopSrcCopy = 0xCC0020;
constexpr uint8_t kRopIndexKeep = 0xAA;  // the ternary operation that leaves the picture as it is

// The source where the mask's pixels are set (foreground) or clear (background). The mask
// lies over the source shifted by maskAt - src; outside it the background's operation holds.
TSurfacePtr Masked(cairo_surface_t* image, cairo_surface_t* mask, TPointD src, TPointD maskAt, bool foreground) {
  const int64_t dx = int64_t(maskAt.x - src.x), dy = int64_t(maskAt.y - src.y);
  const int mw = cairo_image_surface_get_width(mask), mh = cairo_image_surface_get_height(mask);
  const int stride = cairo_image_surface_get_stride(mask);
  cairo_surface_flush(mask);
  const uint8_t* bits = cairo_image_surface_get_data(mask);
  return WithAlpha(image, [&](int x, int y, uint32_t) -> uint8_t {
    const int64_t mx = int64_t(x) + dx, my = int64_t(y) + dy;
    const bool set = mx >= 0 && my >= 0 && mx < mw && my < mh &&
                     (Get<uint32_t>(bits + my * stride + mx * 4) & 0xFFFFFF) != 0;
    return set == foreground ? 255 : 0;
  });
}

// MaskBlt and PlgBlt: the foreground operation where the mask is set, the background one
// where it is clear; without a mask the foreground one everywhere.
template <class Record>
void MaskedBlit(TCanvas& c, const TRecord& r, const Record& b, uint32_t rop, TPointD tl, TPointD tr, TPointD bl,
                TPointD srcSize) {
  TSurfacePtr image = RecordDib(r, b.offBmiSrc, b.cbBmiSrc, b.offBitsSrc, b.cbBitsSrc);
  if (!image) return;
  TSurfacePtr mask = RecordDib(r, b.offBmiMask, b.cbBmiMask, b.offBitsMask, b.cbBitsMask);
  const TPointD src = P(b.Src);
  if (!mask) return c.Blit(TBlit{image.get(), src, srcSize, rop & 0xFFFFFF}, tl, tr, bl);
  const uint8_t background = uint8_t(rop >> 24);
  if (TSurfacePtr fore = Masked(image.get(), mask.get(), src, P(b.Mask), true))
    c.Blit(TBlit{fore.get(), src, srcSize, rop & 0xFFFFFF}, tl, tr, bl);
  if (background == kRopIndexKeep) return;
  if (TSurfacePtr back = Masked(image.get(), mask.get(), src, P(b.Mask), false))
    c.Blit(TBlit{back.get(), src, srcSize, uint32_t(background) << 16}, tl, tr, bl);
}

TPointD Plus(TPointD a, double x, double y) { return {a.x + x, a.y + y}; }

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
      const TPointD src = RowsFromBottom(r, b.offBmiSrc, b.cbBmiSrc, image.get(), P(b.Src), b.cSrc.y);
      c.DrawBitmap(image.get(), P(b.Dest), P(b.cDest), src, P(b.cSrc), b.dwRop);
      return;
    }
    case U_EMR_SETDIBITSTODEVICE: {
      const auto& b = r.As<U_EMRSETDIBITSTODEVICE>();
      if (!HoldsDib(r, b.offBmiSrc, b.cbBmiSrc, b.offBitsSrc, b.cbBitsSrc)) return;
      const TDibBand band = DecodeDibBand(r.p + b.offBmiSrc, b.cbBmiSrc, r.p + b.offBitsSrc, b.cbBitsSrc, b.iStartScan,
                                          b.cScans, b.Src.y, b.cSrc.y);
      if (!band.image) return;
      return c.BlitUnscaled(TBlit{band.image.get(), {double(b.Src.x), band.top}, P(b.cSrc)}, P(b.Dest));
    }
    case U_EMR_ALPHABLEND: {
      const auto& b = r.As<U_EMRALPHABLEND>();
      TSurfacePtr image = RecordDib(r, b.offBmiSrc, b.cbBmiSrc, b.offBitsSrc, b.cbBitsSrc);
      if (!image) return;
      // AC_SRC_ALPHA: the source's own alpha, then the constant one over it.
      if (b.Blend.Op & U_AC_SRC_ALPHA)
        if (TSurfacePtr alpha = DibAlpha(image.get(), r.p + b.offBmiSrc, b.cbBmiSrc, r.p + b.offBitsSrc, b.cbBitsSrc))
          image = alpha;
      const TPointD d = P(b.Dest);
      c.Blit(TBlit{image.get(), P(b.Src), P(b.cSrc), kRopSrcCopy, b.Blend.Global / 255.0}, d,
             Plus(d, b.cDest.x, 0), Plus(d, 0, b.cDest.y));
      return;
    }
    case U_EMR_TRANSPARENTBLT: {
      const auto& b = r.As<U_EMRTRANSPARENTBLT>();
      TSurfacePtr image = RecordDib(r, b.offBmiSrc, b.cbBmiSrc, b.offBitsSrc, b.cbBitsSrc);
      if (!image) return;
      // The transparent colour (0x00BBGGRR) as the image's pixels hold it (0x00RRGGBB).
      const uint32_t key = (b.TColor & 0xFF) << 16 | (b.TColor & 0xFF00) | (b.TColor >> 16 & 0xFF);
      TSurfacePtr keyed = WithAlpha(image.get(), [key](int, int, uint32_t px) -> uint8_t { return px == key ? 0 : 255; });
      c.DrawBitmap(keyed.get(), P(b.Dest), P(b.cDest), P(b.Src), P(b.cSrc), kRopSrcCopy);
      return;
    }
    case U_EMR_MASKBLT: {
      const auto& b = r.As<U_EMRMASKBLT>();
      const TPointD d = P(b.Dest);
      return MaskedBlit(c, r, b, b.dwRop, d, Plus(d, b.cDest.x, 0), Plus(d, 0, b.cDest.y), P(b.cDest));
    }
    case U_EMR_PLGBLT: {
      const auto& b = r.As<U_EMRPLGBLT>();
      const uint32_t keepBehindMask = uint32_t(kRopIndexKeep) << 24 | kRopSrcCopy;
      return MaskedBlit(c, r, b, keepBehindMask, P(b.aptlDst[0]), P(b.aptlDst[1]), P(b.aptlDst[2]), P(b.cSrc));
    }
    default: return;
  }
}

TColorRef VertexColour(const U_TRIVERTEX& v) {
  return uint32_t(v.Red >> 8) | uint32_t(v.Green >> 8) << 8 | uint32_t(v.Blue >> 8) << 16;
}

void GradientFill(TCanvas& c, const TRecord& r) {
  const auto& g = r.As<U_EMRGRADIENTFILL>();
  constexpr uint64_t kVertices = sizeof(U_EMRGRADIENTFILL);
  const bool triangles = g.ulMode == U_GRADIENT_FILL_TRIANGLE;
  const uint64_t objectsAt = kVertices + uint64_t(g.nTriVert) * sizeof(U_TRIVERTEX);
  if (!r.Holds(kVertices, g.nTriVert, sizeof(U_TRIVERTEX)) ||
      !r.Holds(objectsAt, g.nGradObj, triangles ? sizeof(U_GRADIENT3) : sizeof(U_GRADIENT4)))
    return;
  const auto vertex = [&](uint32_t i) { return Get<U_TRIVERTEX>(r.p + kVertices + uint64_t(i) * sizeof(U_TRIVERTEX)); };
  const auto point = [](const U_TRIVERTEX& v) { return TPointD{double(v.x), double(v.y)}; };
  for (uint32_t i = 0; i < g.nGradObj; ++i) {
    if (triangles) {
      const U_GRADIENT3 t = Get<U_GRADIENT3>(r.p + objectsAt + uint64_t(i) * sizeof(U_GRADIENT3));
      if (t.Vertex1 >= g.nTriVert || t.Vertex2 >= g.nTriVert || t.Vertex3 >= g.nTriVert) continue;
      const U_TRIVERTEX v[3] = {vertex(t.Vertex1), vertex(t.Vertex2), vertex(t.Vertex3)};
      const TPointD corners[3] = {point(v[0]), point(v[1]), point(v[2])};
      const TColorRef colours[3] = {VertexColour(v[0]), VertexColour(v[1]), VertexColour(v[2])};
      c.GradientTriangle(corners, colours);
    } else {
      const U_GRADIENT4 q = Get<U_GRADIENT4>(r.p + objectsAt + uint64_t(i) * sizeof(U_GRADIENT4));
      if (q.UpperLeft >= g.nTriVert || q.LowerRight >= g.nTriVert) continue;
      const U_TRIVERTEX a = vertex(q.UpperLeft), b = vertex(q.LowerRight);
      c.GradientRect(point(a), point(b), VertexColour(a), VertexColour(b), g.ulMode == U_GRADIENT_FILL_RECT_V);
    }
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
      TFont f{double(lf.lfHeight), int(lf.lfWeight), lf.lfItalic != 0, lf.lfUnderline != 0, double(lf.lfEscapement),
              Utf16ToUtf8(reinterpret_cast<const uint8_t*>(lf.lfFaceName), U_LF_FACESIZE), lf.lfStrikeOut != 0,
              lf.lfCharSet};
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

void Play(TCanvas& c, const TRecord& r, TFontGlyphs& glyphs) {
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
    case U_EMR_EXTTEXTOUTW: Text(c, r, true, glyphs); break;
    case U_EMR_EXTTEXTOUTA: Text(c, r, false, glyphs); break;
    case U_EMR_BITBLT:
    case U_EMR_STRETCHBLT:
    case U_EMR_STRETCHDIBITS:
    case U_EMR_SETDIBITSTODEVICE:
    case U_EMR_ALPHABLEND:
    case U_EMR_TRANSPARENTBLT:
    case U_EMR_MASKBLT:
    case U_EMR_PLGBLT: Bitmap(c, r); break;
    case U_EMR_GRADIENTFILL: GradientFill(c, r); break;
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
                       62, 63, 64, 67, 68, 71, 75, 76, 77, 78, 79, 80, 81, 82, 83, 84, 93, 94, 95, 114, 116, 118})
      t.set(i);
    return t;
  }();
  return type < kTypes.size() && kTypes.test(type);
}

// The records that may follow a bitmap held back as a mask without drawing it: the bitmaps
// themselves (the picture of the pair, or another that draws the held one first) and the
// comments, which hold EMF+ records that draw nothing here.
bool PairsWithMask(uint32_t type) {
  return type == U_EMR_BITBLT || type == U_EMR_STRETCHBLT || type == U_EMR_STRETCHDIBITS || type == U_EMR_COMMENT;
}

}  // namespace

bool EmfHasPlus(std::span<const uint8_t> bytes) {
  constexpr uint32_t kEmfPlusSignature = 0x2B464D45;  // "EMF+"
  TEmfHeader h;
  TVLLocalProgress quiet;
  if (!ReadHeader(bytes, h, quiet.record)) return false;
  // The comments' data: its size at byte 8, its first four bytes at 12.
  for (size_t at = 0; at + 16 <= bytes.size();) {
    const uint32_t type = Get<uint32_t>(bytes.data() + at), size = Get<uint32_t>(bytes.data() + at + 4);
    if (size < 8 || size % 4 || size > bytes.size() - at || type == U_EMR_EOF) return false;
    if (type == U_EMR_COMMENT && size >= 16 && Get<uint32_t>(bytes.data() + at + 12) == kEmfPlusSignature) return true;
    at += size;
  }
  return false;
}

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
  TFontGlyphs glyphs;
  size_t at = 0, count = 0;
  while (at + 8 <= bytes.size() && !canvas.Failed()) {
    TRecord r{base + at, Get<uint32_t>(base + at + 4), Get<uint32_t>(base + at)};
    if (r.size < 8 || r.size % 4 || r.size > bytes.size() - at)
      return canvas.Fail("record " + std::to_string(count) + " at byte " + std::to_string(at) + " has a size of " +
                         std::to_string(r.size));
    if (r.type == U_EMR_EOF) break;
    if (count > 0 && !PairsWithMask(r.type)) canvas.ReleaseHeldMask();
    if (count > 0 && Interpreted(r.type)) {
      if (!U_emf_record_safe(reinterpret_cast<const char*>(r.p)))
        return canvas.Fail("record " + std::to_string(count) + " (type " + std::to_string(r.type) + ") is damaged");
      Play(canvas, r, glyphs);
    }
    if (++count % 4096 == 0) progress.Report(int(at * 100 / bytes.size()));
    at += r.size;
  }
  canvas.ReleaseHeldMask();
}

}  // namespace velora::metafile
