// The device-context state of a metafile drawn with cairo. cairo builds every path under the
// logical → surface matrix; pens are stroked in surface space, so that a cosmetic pen stays
// one pixel wide and dash patterns keep their pixel lengths whatever the mapping.
#include "metafile_canvas.h"
#include "metafile_player.h"
#include "metafile_text.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numbers>

namespace velora::metafile {

namespace {

void PathDeleter(cairo_path_t* p) { cairo_path_destroy(p); }

std::shared_ptr<cairo_region_t> Region(cairo_region_t* r) { return {r, cairo_region_destroy}; }

double Red(TColorRef c) { return (c & 0xFF) / 255.0; }
double Green(TColorRef c) { return ((c >> 8) & 0xFF) / 255.0; }
double Blue(TColorRef c) { return ((c >> 16) & 0xFF) / 255.0; }

bool Finite(TPointD p) { return std::isfinite(p.x) && std::isfinite(p.y); }

// cairo keeps path coordinates in 24.8 fixed point and wraps, without a word, whatever lies
// beyond 2^23 surface pixels; a wrapped path has crashed its rasteriser and its clipper. No
// target comes near that size, so a shape that reaches half as far is not drawn at all.
constexpr double kReach = 1 << 22;

bool WithinReach(const cairo_matrix_t& m, std::span<const TPointD> points, double reach = kReach) {
  for (const TPointD& p : points) {
    double x = p.x, y = p.y;
    cairo_matrix_transform_point(&m, &x, &y);
    if (!(std::fabs(x) < reach && std::fabs(y) < reach)) return false;
  }
  return true;
}

// The four corners of the rectangle from a to b: under a turning mapping the two given ones
// do not bound it.
std::array<TPointD, 4> Corners(TPointD a, TPointD b) { return {a, b, TPointD{a.x, b.y}, TPointD{b.x, a.y}}; }

// The corners of every rectangle of a list of corner pairs.
std::vector<TPointD> AllCorners(const std::vector<TPointD>& pairs) {
  std::vector<TPointD> all;
  all.reserve(pairs.size() * 2);
  for (size_t i = 0; i + 1 < pairs.size(); i += 2)
    for (const TPointD& p : Corners(pairs[i], pairs[i + 1])) all.push_back(p);
  return all;
}

// The eight-pixel hatch patterns: which pixels of the 8 × 8 cell the lines cover.
bool HatchCovers(uint32_t hatch, int x, int y) {
  switch (hatch) {
    case 0: return y == 4;                      // HS_HORIZONTAL
    case 1: return x == 4;                      // HS_VERTICAL
    case 2: return x == y;                      // HS_FDIAGONAL
    case 3: return x == 7 - y;                  // HS_BDIAGONAL
    case 4: return x == 4 || y == 4;            // HS_CROSS
    default: return x == y || x == 7 - y;       // HS_DIAGCROSS
  }
}

// The box of an A8 image's pixels that are not clear; empty when all are.
cairo_rectangle_int_t CoveredBox(cairo_surface_t* mask) {
  cairo_surface_flush(mask);
  const uint8_t* data = cairo_image_surface_get_data(mask);
  const int w = cairo_image_surface_get_width(mask), h = cairo_image_surface_get_height(mask);
  const int stride = cairo_image_surface_get_stride(mask);
  int left = w, right = -1, top = h, bottom = -1;
  for (int y = 0; y < h; ++y) {
    const uint8_t* row = data + int64_t(y) * stride;
    for (int x = 0; x < w; ++x)
      if (row[x]) left = std::min(left, x), right = std::max(right, x), top = std::min(top, y), bottom = y;
  }
  if (right < 0) return {0, 0, 0, 0};
  return {left, top, right - left + 1, bottom - top + 1};
}

enum : uint32_t {
  kRopSrcCopy = 0xCC0020, kRopSrcAnd = 0x8800C6, kRopSrcPaint = 0xEE0086, kRopSrcInvert = 0x660046,
  kRopPatCopy = 0xF00021, kRopPatInvert = 0x5A0049, kRopDstInvert = 0x550009, kRopBlackness = 0x42,
  kRopWhiteness = 0xFF0062
};

// Binary raster operations on opaque pixels come out as cairo's blend modes: AND of two
// colours is their product on black-and-white masks, OR their maximum, XOR their difference.
// The operation is named by its ternary index (the third byte of its code).
cairo_operator_t OperatorOf(uint32_t rop) {
  switch (rop >> 16 & 0xFF) {
    case kRopSrcAnd >> 16: return CAIRO_OPERATOR_MULTIPLY;
    case kRopSrcPaint >> 16: return CAIRO_OPERATOR_LIGHTEN;
    case kRopSrcInvert >> 16: return CAIRO_OPERATOR_DIFFERENCE;
    default: return CAIRO_OPERATOR_OVER;
  }
}

// A mask of opacities: grey throughout, and not black and white alone (such masks are the
// platform's own transparency trick and work as the raster operations they name).
bool IsGreyMask(cairo_surface_t* image) {
  cairo_surface_flush(image);
  const uint8_t* data = cairo_image_surface_get_data(image);
  const int w = cairo_image_surface_get_width(image), h = cairo_image_surface_get_height(image);
  const int stride = cairo_image_surface_get_stride(image);
  bool between = false;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint8_t* px = data + int64_t(y) * stride + 4 * x;
      if (px[0] != px[1] || px[1] != px[2]) return false;
      between = between || (px[0] != 0 && px[0] != 255);
    }
  return between;
}

// The picture with the mask's grey as its alpha, the two matched at their source rectangles.
std::shared_ptr<cairo_surface_t> Translucent(cairo_surface_t* picture, TPointD src, cairo_surface_t* mask,
                                             TPointD maskSrc) {
  const int64_t dx = int64_t(maskSrc.x - src.x), dy = int64_t(maskSrc.y - src.y);
  const int mw = cairo_image_surface_get_width(mask), mh = cairo_image_surface_get_height(mask);
  const int stride = cairo_image_surface_get_stride(mask);
  cairo_surface_flush(mask);
  const uint8_t* bits = cairo_image_surface_get_data(mask);
  return WithAlpha(
      picture,
      [&](int x, int y, uint32_t) -> uint8_t {
        const int64_t mx = x + dx, my = y + dy;
        return mx >= 0 && my >= 0 && mx < mw && my < mh ? bits[my * stride + mx * 4] : 0;
      },
      true);
}

}  // namespace

TCanvas::TCanvas(cairo_surface_t* surface, const cairo_matrix_t& device, TVLProgressRecord& progress,
                 const char* format)
    : cr_(cairo_create(surface)), device_(device), progress_(progress), format_(format),
      surfaceWidth_(cairo_image_surface_get_width(surface)), surfaceHeight_(cairo_image_surface_get_height(surface)),
      surfaceSide_(std::max(surfaceWidth_, surfaceHeight_)) {
  cairo_matrix_init_identity(&s_.world);
  cairo_set_tolerance(cr_, 0.25);
}

TCanvas::~TCanvas() { cairo_destroy(cr_); }

void TCanvas::Fail(const std::string& what) { progress_.Fail(std::string(format_) + ": " + what); }

// ---- objects -------------------------------------------------------------------------------

void TCanvas::CreateObject(long index, TObject object) {
  if (index < 0) {
    auto free = std::find_if(objects_.begin(), objects_.end(),
                             [](const TObject& o) { return std::holds_alternative<std::monostate>(o); });
    // A full table drops the object, as the original player fails to create it.
    if (free != objects_.end()) *free = std::move(object);
  } else if (size_t(index) < objects_.size()) {
    objects_[size_t(index)] = std::move(object);
  }
}

const TObject* TCanvas::Object(uint32_t index) const {
  return index < objects_.size() ? &objects_[index] : nullptr;
}

void TCanvas::SelectObject(uint32_t index) {
  if (index & 0x80000000u) return SelectStockObject(index & 0x7FFFFFFFu);
  const TObject* o = Object(index);
  if (!o) return;
  if (auto* pen = std::get_if<TPen>(o)) s_.pen = *pen;
  if (auto* brush = std::get_if<TBrush>(o)) s_.brush = *brush;
  if (auto* font = std::get_if<TFont>(o)) s_.font = *font;
}

void TCanvas::SelectStockObject(uint32_t stock) {
  static const uint8_t kGreys[] = {255, 192, 128, 64, 0};
  if (stock <= 4) {
    const uint32_t g = kGreys[stock];
    s_.brush = TBrush{TBrushKind::bkSolid, g | g << 8 | g << 16, 0, nullptr};
  } else if (stock == 5) {
    s_.brush.kind = TBrushKind::bkNull;
  } else if (stock == 6 || stock == 7) {
    s_.pen = TPen{0, 0, stock == 6 ? 0xFFFFFFu : 0u};
  } else if (stock == 8) {
    s_.pen.style = 5;  // PS_NULL
  } else if (stock >= 10 && stock <= 17 && stock != 15) {
    s_.font = TFont{};
  }
}

void TCanvas::DeleteObject(uint32_t index) {
  if (index < objects_.size()) objects_[index] = std::monostate{};
}

// ---- state ---------------------------------------------------------------------------------

void TCanvas::SaveDC() {
  if (saved_.size() >= kMaxSavedStates) return Fail("SaveDC nested deeper than " + std::to_string(kMaxSavedStates));
  saved_.push_back(s_);
  // cairo's own state stack keeps the clipping area, so that restoring it costs nothing.
  cairo_save(cr_);
}

void TCanvas::RestoreDC(int relative) {
  // Negative: that many levels back; positive: the n-th saved state counted from the first.
  size_t keep;
  if (relative < 0) {
    if (size_t(-int64_t(relative)) > saved_.size()) return;
    keep = saved_.size() - size_t(-int64_t(relative));
  } else {
    if (relative == 0 || size_t(relative) > saved_.size()) return;
    keep = size_t(relative) - 1;
  }
  for (size_t i = keep; i < saved_.size(); ++i) cairo_restore(cr_);
  s_ = saved_[keep];
  saved_.resize(keep);
}

void TCanvas::ModifyWorldTransform(const cairo_matrix_t& m, uint32_t mode) {
  // MWT_IDENTITY, MWT_LEFTMULTIPLY (the new one applies first), MWT_RIGHTMULTIPLY, MWT_SET.
  cairo_matrix_t result;
  switch (mode) {
    case 1: cairo_matrix_init_identity(&s_.world); break;
    case 2: cairo_matrix_multiply(&result, &m, &s_.world), s_.world = result; break;
    case 3: cairo_matrix_multiply(&result, &s_.world, &m), s_.world = result; break;
    case 4: s_.world = m; break;
    default: break;
  }
}

cairo_matrix_t TCanvas::LogicalMatrix() const {
  const TMapping& m = s_.map;
  double sx = 1, sy = 1;
  switch (m.mode) {
    case mmLoMetric: sx = 0.1 * pxPerMmX_, sy = -0.1 * pxPerMmY_; break;
    case mmHiMetric: sx = 0.01 * pxPerMmX_, sy = -0.01 * pxPerMmY_; break;
    case mmLoEnglish: sx = 0.254 * pxPerMmX_, sy = -0.254 * pxPerMmY_; break;
    case mmHiEnglish: sx = 0.0254 * pxPerMmX_, sy = -0.0254 * pxPerMmY_; break;
    case mmTwips: sx = 25.4 / 1440 * pxPerMmX_, sy = -25.4 / 1440 * pxPerMmY_; break;
    case mmIsotropic:
    case mmAnisotropic:
      sx = m.windowExt.x != 0 ? m.viewportExt.x / m.windowExt.x : 0;
      sy = m.windowExt.y != 0 ? m.viewportExt.y / m.windowExt.y : 0;
      if (m.mode == mmIsotropic) {
        const double s = std::min(std::fabs(sx), std::fabs(sy));
        sx = std::copysign(s, sx), sy = std::copysign(s, sy);
      }
      break;
    default: break;
  }
  cairo_matrix_t page, worldPage, all;
  cairo_matrix_init(&page, sx, 0, 0, sy, m.viewportOrg.x - m.windowOrg.x * sx, m.viewportOrg.y - m.windowOrg.y * sy);
  cairo_matrix_multiply(&worldPage, &s_.world, &page);
  cairo_matrix_multiply(&all, &worldPage, &device_);
  return all;
}

bool TCanvas::UseLogical(std::span<const TPointD> reach) {
  cairo_matrix_t m = LogicalMatrix();
  cairo_matrix_t inverse = m;
  // cairo stops drawing for good once it is handed a singular matrix: such a mapping draws
  // nothing, and the records after it still may.
  const bool finite = std::isfinite(m.xx) && std::isfinite(m.yy) && std::isfinite(m.xy) && std::isfinite(m.yx) &&
                      std::isfinite(m.x0) && std::isfinite(m.y0);
  if (!finite || cairo_matrix_invert(&inverse) != CAIRO_STATUS_SUCCESS || !WithinReach(m, reach)) return false;
  cairo_set_matrix(cr_, &m);
  return true;
}

void TCanvas::UseSurface() { cairo_identity_matrix(cr_); }

void TCanvas::SetSource(TColorRef c) { cairo_set_source_rgb(cr_, Red(c), Green(c), Blue(c)); }

bool TCanvas::SetBrushSource(const TBrush& brush) {
  switch (brush.kind) {
    case TBrushKind::bkNull: return false;
    case TBrushKind::bkSolid: SetSource(brush.colour); return true;
    case TBrushKind::bkHatched: {
      cairo_surface_t* cell = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 8, 8);
      cairo_surface_flush(cell);
      uint8_t* data = cairo_image_surface_get_data(cell);
      const int stride = cairo_image_surface_get_stride(cell);
      const auto argb = [](TColorRef c) {
        return 0xFF000000u | (c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF);
      };
      for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
          uint32_t px = HatchCovers(brush.hatch, x, y) ? argb(brush.colour) : s_.opaqueBk ? argb(s_.bkColour) : 0u;
          std::memcpy(data + y * stride + x * 4, &px, 4);
        }
      cairo_surface_mark_dirty(cell);
      cairo_pattern_t* p = cairo_pattern_create_for_surface(cell);
      cairo_pattern_set_extend(p, CAIRO_EXTEND_REPEAT);
      cairo_set_source(cr_, p);
      cairo_pattern_destroy(p);
      cairo_surface_destroy(cell);
      return true;
    }
    case TBrushKind::bkPattern: {
      if (!brush.pattern) return false;
      cairo_pattern_t* p = cairo_pattern_create_for_surface(brush.pattern.get());
      cairo_pattern_set_extend(p, CAIRO_EXTEND_REPEAT);
      cairo_pattern_set_filter(p, CAIRO_FILTER_NEAREST);
      cairo_set_source(cr_, p);
      cairo_pattern_destroy(p);
      return true;
    }
  }
  return false;
}

bool TCanvas::SetPenSource() {
  const TPen& pen = s_.pen;
  const uint32_t line = pen.style & 0xF;
  if (line == 5) return false;  // PS_NULL
  // The pen's width through the mapping, measured along both axes.
  const cairo_matrix_t m = LogicalMatrix();
  const double scale = std::sqrt(std::fabs(m.xx * m.yy - m.xy * m.yx));
  double width = pen.width * scale;
  if (!(width >= 1)) width = 1;
  width = std::min(width, 1e6);
  cairo_set_line_width(cr_, width);
  switch (pen.style & 0xF00) {
    case 0x100: cairo_set_line_cap(cr_, CAIRO_LINE_CAP_SQUARE); break;
    case 0x200: cairo_set_line_cap(cr_, CAIRO_LINE_CAP_BUTT); break;
    default: cairo_set_line_cap(cr_, CAIRO_LINE_CAP_ROUND); break;
  }
  switch (pen.style & 0xF000) {
    case 0x1000: cairo_set_line_join(cr_, CAIRO_LINE_JOIN_BEVEL); break;
    case 0x2000: cairo_set_line_join(cr_, CAIRO_LINE_JOIN_MITER); break;
    default: cairo_set_line_join(cr_, CAIRO_LINE_JOIN_ROUND); break;
  }
  // The dash patterns of the cosmetic pens, in pixels, grown with wide pens. A pen of the
  // old kind (not PS_GEOMETRIC) wider than a pixel is drawn solid whatever its style says,
  // as the original platform draws it: files written for it rely on that.
  static const double kDash[] = {18, 6}, kDot[] = {3, 3}, kDashDot[] = {9, 6, 3, 6}, kDashDotDot[] = {9, 3, 3, 3, 3, 3};
  constexpr uint32_t kGeometric = 0x10000;
  const bool styled = (pen.style & kGeometric) || width <= 1;
  const double* dashes = nullptr;
  int n = 0;
  switch (styled ? line : 0) {
    case 1: dashes = kDash, n = 2; break;
    case 2: dashes = kDot, n = 2; break;
    case 3: dashes = kDashDot, n = 4; break;
    case 4: dashes = kDashDotDot, n = 6; break;
    default: break;
  }
  double scaled[6];
  for (int i = 0; i < n; ++i) scaled[i] = dashes[i] * width;
  cairo_set_dash(cr_, scaled, n, 0);
  SetSource(pen.colour);
  return true;
}

void TCanvas::Finish(bool fill, bool stroke) {
  // Whatever drawing comes next starts a figure of its own unless it ends at the pen (the
  // drawings that do say so after this).
  figureEnd_.reset();
  if (inPath_) return;
  UseSurface();
  cairo_set_fill_rule(cr_, s_.winding ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
  const auto draw = [&] {
    if (fill && SetBrushSource(s_.brush)) cairo_fill_preserve(cr_);
    if (stroke && SetPenSource()) cairo_stroke_preserve(cr_);
  };
  if (!s_.clipMask) {
    draw();
  } else {
    // What the fill and the pen can reach, for the mask to be applied there alone.
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0, sx0 = 0, sy0 = 0, sx1 = 0, sy1 = 0;
    if (fill) cairo_fill_extents(cr_, &x0, &y0, &x1, &y1);
    if (stroke && SetPenSource()) {
      cairo_stroke_extents(cr_, &sx0, &sy0, &sx1, &sy1);
      if (!fill || x1 <= x0) x0 = sx0, y0 = sy0, x1 = sx1, y1 = sy1;
      else x0 = std::min(x0, sx0), y0 = std::min(y0, sy0), x1 = std::max(x1, sx1), y1 = std::max(y1, sy1);
    }
    Clipped(draw, CAIRO_OPERATOR_OVER, std::array<TPointD, 2>{TPointD{x0, y0}, TPointD{x1, y1}});
  }
  cairo_new_path(cr_);
}

// ---- drawing -------------------------------------------------------------------------------

cairo_rectangle_int_t TCanvas::Within(std::optional<std::array<TPointD, 2>> reach) const {
  cairo_rectangle_int_t box = s_.clipMaskBox;
  if (!reach) return box;
  // A pixel more on each side for the antialiased edges.
  const TPointD a = (*reach)[0], b = (*reach)[1];
  const double left = std::max(std::floor(std::min(a.x, b.x)) - 1, double(box.x));
  const double top = std::max(std::floor(std::min(a.y, b.y)) - 1, double(box.y));
  const double right = std::min(std::ceil(std::max(a.x, b.x)) + 1, double(box.x) + box.width);
  const double bottom = std::min(std::ceil(std::max(a.y, b.y)) + 1, double(box.y) + box.height);
  if (!(left < right && top < bottom)) return {0, 0, 0, 0};
  return {int(left), int(top), int(right - left), int(bottom - top)};
}

std::optional<std::array<TPointD, 2>> TCanvas::Reach(std::span<const TPointD> logical) const {
  if (!s_.clipMask || logical.empty()) return std::nullopt;
  const cairo_matrix_t m = LogicalMatrix();
  TPointD low{HUGE_VAL, HUGE_VAL}, high{-HUGE_VAL, -HUGE_VAL};
  for (TPointD p : logical) {
    cairo_matrix_transform_point(&m, &p.x, &p.y);
    if (!Finite(p)) return std::nullopt;
    low = {std::min(low.x, p.x), std::min(low.y, p.y)}, high = {std::max(high.x, p.x), std::max(high.y, p.y)};
  }
  return std::array<TPointD, 2>{low, high};
}

template <class Draw>
void TCanvas::Clipped(Draw&& draw, cairo_operator_t op, std::optional<std::array<TPointD, 2>> reach) {
  if (!s_.clipMask) return draw();
  const cairo_rectangle_int_t box = Within(reach);
  if (box.width <= 0 || box.height <= 0) return;
  // The drawing goes into a group first, whose pixels then reach the picture through the mask.
  // The group spans only what the mask covers: cairo sizes it by the clip. The current path
  // waits aside meanwhile, for the drawing to use.
  const bool meetsPicture = op != CAIRO_OPERATOR_OVER || cairo_get_operator(cr_) != CAIRO_OPERATOR_OVER;
  const std::shared_ptr<cairo_path_t> path = DevicePath();
  cairo_save(cr_);
  cairo_new_path(cr_);
  cairo_rectangle(cr_, box.x, box.y, box.width, box.height);
  cairo_clip(cr_);
  cairo_append_path(cr_, path.get());
  cairo_push_group(cr_);
  if (meetsPicture) {
    // An operation that combines with the picture below finds it in the group, and the
    // result replaces the picture where the mask covers it.
    cairo_save(cr_);
    cairo_identity_matrix(cr_);
    cairo_set_operator(cr_, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr_, cairo_get_target(cr_), 0, 0);
    cairo_paint(cr_);
    cairo_restore(cr_);
  }
  draw();
  cairo_pop_group_to_source(cr_);
  cairo_save(cr_);
  cairo_identity_matrix(cr_);
  cairo_set_operator(cr_, meetsPicture ? CAIRO_OPERATOR_SOURCE : CAIRO_OPERATOR_OVER);
  cairo_mask_surface(cr_, s_.clipMask.get(), 0, 0);
  cairo_restore(cr_);
  cairo_restore(cr_);
}

template <class Draw>
void TCanvas::OutsidePath(Draw&& draw, std::span<const TPointD> reach, cairo_operator_t op) {
  if (!inPath_) return Clipped(draw, op, Reach(reach));
  const std::shared_ptr<cairo_path_t> recording = DevicePath();
  cairo_new_path(cr_);
  Clipped(draw, op, Reach(reach));
  UseSurface();
  cairo_new_path(cr_);
  cairo_append_path(cr_, recording.get());
}

void TCanvas::MoveTo(TPointD p) {
  s_.position = p;
  figureEnd_.reset();
}

std::optional<TPointD> TCanvas::OnSurface(TPointD p) const {
  const cairo_matrix_t m = LogicalMatrix();
  cairo_matrix_transform_point(&m, &p.x, &p.y);
  if (!Finite(p)) return std::nullopt;
  return p;
}

void TCanvas::FromPosition() {
  const TPointD p = s_.position;
  // The figure goes on when the pen stands where its last segment ended. Both points are the
  // player's own, in doubles: cairo's current point is rounded to its 24.8 fixed point and
  // would part the figure at nearly every record.
  if (inPath_ && figureEnd_ && cairo_has_current_point(cr_)) {
    const std::optional<TPointD> here = OnSurface(p);
    const double tolerance = 1e-6 * (1 + std::fabs(figureEnd_->x) + std::fabs(figureEnd_->y));
    if (here && std::fabs(here->x - figureEnd_->x) <= tolerance && std::fabs(here->y - figureEnd_->y) <= tolerance)
      return;
  }
  cairo_new_sub_path(cr_);
  cairo_move_to(cr_, p.x, p.y);
}

void TCanvas::EndFigureAtPosition() { figureEnd_ = inPath_ ? OnSurface(s_.position) : std::nullopt; }

void TCanvas::LineTo(TPointD p) {
  if (UseLogical({p, s_.position})) {
    FromPosition();
    cairo_line_to(cr_, p.x, p.y);
    Finish(false, true);
  }
  s_.position = p;
  EndFigureAtPosition();
}

void TCanvas::Polyline(const std::vector<TPointD>& points, bool fromCurrent) {
  if (points.empty()) return;
  if (UseLogical(points) && (!fromCurrent || UseLogical({s_.position}))) {
    if (fromCurrent)
      FromPosition();
    else
      cairo_new_sub_path(cr_);
    for (const TPointD& p : points) cairo_line_to(cr_, p.x, p.y);
    Finish(false, true);
  }
  if (!fromCurrent) return;
  s_.position = points.back();
  EndFigureAtPosition();
}

void TCanvas::PolyBezier(const std::vector<TPointD>& points, bool fromCurrent) {
  // Without the current position the first point starts the curve; then three per segment.
  const size_t first = fromCurrent ? 0 : 1;
  if (points.size() < first) return;
  if (UseLogical(points) && (!fromCurrent || UseLogical({s_.position}))) {
    if (fromCurrent) {
      FromPosition();
    } else {
      cairo_new_sub_path(cr_);
      cairo_move_to(cr_, points[0].x, points[0].y);
    }
    for (size_t i = first; i + 2 < points.size(); i += 3)
      cairo_curve_to(cr_, points[i].x, points[i].y, points[i + 1].x, points[i + 1].y, points[i + 2].x, points[i + 2].y);
    Finish(false, true);
  }
  if (!fromCurrent || points.empty()) return;
  s_.position = points.back();
  EndFigureAtPosition();
}

void TCanvas::Polygons(const std::vector<std::vector<TPointD>>& polygons) {
  for (const auto& polygon : polygons)
    if (!UseLogical(polygon)) return;
  for (const auto& polygon : polygons) {
    if (polygon.empty()) continue;
    cairo_new_sub_path(cr_);
    for (const TPointD& p : polygon) cairo_line_to(cr_, p.x, p.y);
    cairo_close_path(cr_);
  }
  Finish(true, true);
}

void TCanvas::Polylines(const std::vector<std::vector<TPointD>>& lines) {
  for (const auto& line : lines)
    if (!UseLogical(line)) return;
  for (const auto& line : lines) {
    cairo_new_sub_path(cr_);
    for (const TPointD& p : line) cairo_line_to(cr_, p.x, p.y);
  }
  Finish(false, true);
}

void TCanvas::Rectangle(TPointD a, TPointD b) {
  if (!UseLogical(Corners(a, b))) return;
  cairo_new_sub_path(cr_);
  cairo_rectangle(cr_, a.x, a.y, b.x - a.x, b.y - a.y);
  Finish(true, true);
}

void TCanvas::RoundRect(TPointD a, TPointD b, TPointD corner) {
  if (!UseLogical(Corners(a, b))) return;
  const double l = std::min(a.x, b.x), r = std::max(a.x, b.x), t = std::min(a.y, b.y), bt = std::max(a.y, b.y);
  const double rx = std::min(std::fabs(corner.x) / 2, (r - l) / 2), ry = std::min(std::fabs(corner.y) / 2, (bt - t) / 2);
  cairo_new_sub_path(cr_);
  if (rx <= 0 || ry <= 0) {
    cairo_rectangle(cr_, l, t, r - l, bt - t);
  } else {
    const double pi = std::numbers::pi;
    const auto corner_arc = [&](double cx, double cy, double from) {
      cairo_save(cr_);
      cairo_translate(cr_, cx, cy);
      cairo_scale(cr_, rx, ry);
      cairo_arc(cr_, 0, 0, 1, from, from + pi / 2);
      cairo_restore(cr_);
    };
    corner_arc(r - rx, t + ry, -pi / 2);
    corner_arc(r - rx, bt - ry, 0);
    corner_arc(l + rx, bt - ry, pi / 2);
    corner_arc(l + rx, t + ry, pi);
    cairo_close_path(cr_);
  }
  Finish(true, true);
}

void TCanvas::Ellipse(TPointD a, TPointD b) {
  if (!UseLogical(Corners(a, b))) return;
  const double rx = std::fabs(b.x - a.x) / 2, ry = std::fabs(b.y - a.y) / 2;
  if (!(rx > 0 && ry > 0)) return;
  cairo_new_sub_path(cr_);
  cairo_save(cr_);
  cairo_translate(cr_, (a.x + b.x) / 2, (a.y + b.y) / 2);
  cairo_scale(cr_, rx, ry);
  cairo_arc(cr_, 0, 0, 1, 0, 2 * std::numbers::pi);
  cairo_restore(cr_);
  cairo_close_path(cr_);
  Finish(true, true);
}

TPointD TCanvas::AddArcPath(TPointD a, TPointD b, TPointD start, TPointD end, TArcKind kind) {
  const double cx = (a.x + b.x) / 2, cy = (a.y + b.y) / 2;
  const double rx = std::fabs(b.x - a.x) / 2, ry = std::fabs(b.y - a.y) / 2;
  const double from = std::atan2((start.y - cy) / ry, (start.x - cx) / rx);
  double to = std::atan2((end.y - cy) / ry, (end.x - cx) / rx);
  // Counter-clockwise as seen on the page: with a page whose y axis points down that is the
  // direction of falling angles; a mapping that turns the page over turns it round.
  const cairo_matrix_t m = LogicalMatrix();
  const bool flipped = m.xx * m.yy - m.xy * m.yx < 0;
  const bool negative = (s_.arcDirection == 1) != flipped;
  if (kind == TArcKind::akPie) cairo_move_to(cr_, cx, cy);
  cairo_save(cr_);
  cairo_translate(cr_, cx, cy);
  cairo_scale(cr_, rx, ry);
  if (kind == TArcKind::akArcTo) {
    cairo_line_to(cr_, std::cos(from), std::sin(from));
  } else if (kind != TArcKind::akPie) {
    cairo_new_sub_path(cr_);
  }
  if (from == to) to += negative ? -2 * std::numbers::pi : 2 * std::numbers::pi;
  if (negative)
    cairo_arc_negative(cr_, 0, 0, 1, from, to);
  else
    cairo_arc(cr_, 0, 0, 1, from, to);
  cairo_restore(cr_);
  if (kind == TArcKind::akChord || kind == TArcKind::akPie) cairo_close_path(cr_);
  return {cx + rx * std::cos(to), cy + ry * std::sin(to)};
}

void TCanvas::Arc(TPointD a, TPointD b, TPointD start, TPointD end, TArcKind kind) {
  const double rx = std::fabs(b.x - a.x) / 2, ry = std::fabs(b.y - a.y) / 2;
  if (!(rx > 0 && ry > 0) || !Finite(start) || !Finite(end) || !UseLogical(Corners(a, b))) return;
  if (kind == TArcKind::akArcTo && !UseLogical({s_.position})) return;
  if (kind == TArcKind::akArcTo) FromPosition();
  const TPointD arcEnd = AddArcPath(a, b, start, end, kind);
  const bool closed = kind == TArcKind::akChord || kind == TArcKind::akPie;
  Finish(closed, true);
  if (kind != TArcKind::akArcTo) return;
  s_.position = arcEnd;
  EndFigureAtPosition();
}

void TCanvas::FillRect(TPointD a, TPointD b, const TBrush& brush) {
  const auto corners = Corners(a, b);
  OutsidePath(
      [&] {
        if (!UseLogical(corners)) return;
        cairo_rectangle(cr_, a.x, a.y, b.x - a.x, b.y - a.y);
        UseSurface();
        if (SetBrushSource(brush)) cairo_fill(cr_);
        cairo_new_path(cr_);
      },
      corners);
}

void TCanvas::FillRegion(const TRegion& region, const TBrush& brush) {
  const std::vector<TPointD> corners = AllCorners(region.rects);
  OutsidePath([&] {
    // One path for all rectangles, so that no seam shows where they meet.
    if (region.rects.size() < 2 || !UseLogical(corners)) return;
    cairo_new_path(cr_);
    for (size_t i = 0; i + 1 < region.rects.size(); i += 2) {
      const TPointD a = region.rects[i], b = region.rects[i + 1];
      cairo_rectangle(cr_, a.x, a.y, b.x - a.x, b.y - a.y);
    }
    UseSurface();
    cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_WINDING);
    if (SetBrushSource(brush)) cairo_fill(cr_);
    cairo_new_path(cr_);
  }, corners);
}

void TCanvas::SetPixel(TPointD p, TColorRef colour) {
  OutsidePath([&] {
    if (!UseLogical({p})) return;
    double x = p.x, y = p.y;
    cairo_user_to_device(cr_, &x, &y);
    UseSurface();
    cairo_rectangle(cr_, std::floor(x), std::floor(y), 1, 1);
    SetSource(colour);
    cairo_fill(cr_);
  }, {&p, 1});
}

bool TCanvas::Covers(const std::string& utf8) {
  cairo_scaled_font_t* font = cairo_get_scaled_font(cr_);
  cairo_glyph_t* glyphs = nullptr;
  int count = 0;
  if (cairo_scaled_font_text_to_glyphs(font, 0, 0, utf8.data(), int(utf8.size()), &glyphs, &count, nullptr, nullptr,
                                       nullptr) != CAIRO_STATUS_SUCCESS)
    return false;
  bool all = true;
  for (int i = 0; i < count && all; ++i) all = glyphs[i].index != 0;
  cairo_glyph_free(glyphs);
  return all;
}

void TCanvas::TextOut(TPointD p, const std::string& recorded, const std::vector<double>& dx, uint32_t options,
                      const TPointD* rect) {
  // The characters with their advances, Arabic letters in their joined forms.
  std::vector<TPlacedChar> chars;
  for (uint32_t code : Utf8Codes(recorded)) chars.push_back({code, chars.size() < dx.size() ? dx[chars.size()] : 0});
  chars = JoinArabic(chars);
  const std::string utf8 = CodesToUtf8(chars);
  OutsidePath([&] {
    const bool updateCp = s_.textAlign & 1;
    if (updateCp) p = s_.position;
    if (!UseLogical({p}) || (rect && !UseLogical(Corners(rect[0], rect[1])))) return;
    const cairo_matrix_t m = LogicalMatrix();
    const double scaleX = std::hypot(m.xx, m.yx), scaleY = std::hypot(m.xy, m.yy);
    double x = p.x, y = p.y;
    cairo_user_to_device(cr_, &x, &y);
    cairo_save(cr_);
    if (rect && (options & 0x2)) {  // ETO_OPAQUE
      cairo_rectangle(cr_, rect[0].x, rect[0].y, rect[1].x - rect[0].x, rect[1].y - rect[0].y);
      UseSurface();
      SetSource(s_.bkColour);
      cairo_fill(cr_);
      UseLogical();
    }
    if (rect && (options & 0x4)) {  // ETO_CLIPPED
      cairo_rectangle(cr_, rect[0].x, rect[0].y, rect[1].x - rect[0].x, rect[1].y - rect[0].y);
      cairo_clip(cr_);
    }
    UseSurface();
    // A negative height is the characters' height, a positive one the cell's (with its
    // leading); 0 asks for the default size.
    const TFont& f = s_.font;
    double size = f.height < 0 ? -f.height * scaleY : f.height > 0 ? f.height * scaleY * 0.8 : 12 * scaleY;
    // A glyph larger than the surface only costs time to draw.
    size = std::clamp(size, 0.5, std::min(4096.0, 2.0 * surfaceSide_));
    // The face by its name, as fontconfig matches it (a missing one gets its stand-in).
    // cairo draws a character the face lacks as an empty box: such text takes the
    // sans-serif face, whose fonts cover the most scripts, when that one has them all.
    const cairo_font_slant_t slant = f.italic ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL;
    const cairo_font_weight_t weight = f.weight >= 600 ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL;
    cairo_set_font_size(cr_, size);
    if (!f.face.empty()) {
      cairo_select_font_face(cr_, f.face.c_str(), slant, weight);
      if (!Covers(utf8)) {
        cairo_select_font_face(cr_, "sans-serif", slant, weight);
        if (!Covers(utf8)) cairo_select_font_face(cr_, f.face.c_str(), slant, weight);
      }
    } else {
      cairo_select_font_face(cr_, "sans-serif", slant, weight);
    }
    cairo_translate(cr_, x, y);
    cairo_rotate(cr_, -f.escapement / 10 * std::numbers::pi / 180);
    cairo_font_extents_t fe;
    cairo_font_extents(cr_, &fe);
    // The advance of the whole string: the records' own advances when they give them.
    double advance = 0;
    if (!dx.empty()) {
      // Every pen position lies within the sum of the advances' sizes.
      double span = 0;
      for (double d : dx) advance += d * scaleX, span += std::fabs(d * scaleX);
      if (!(span < kReach)) {
        cairo_restore(cr_);
        return;
      }
    } else {
      cairo_text_extents_t te;
      cairo_text_extents(cr_, utf8.c_str(), &te);
      advance = te.x_advance;
    }
    double ox = 0, oy = 0;
    switch (s_.textAlign & 6) {
      case 2: ox = -advance; break;      // TA_RIGHT
      case 6: ox = -advance / 2; break;  // TA_CENTER
      default: break;
    }
    switch (s_.textAlign & 24) {
      case 8: oy = -fe.descent; break;  // TA_BOTTOM
      case 24: oy = 0; break;           // TA_BASELINE
      default: oy = fe.ascent; break;   // TA_TOP
    }
    if (s_.opaqueBk) {
      cairo_rectangle(cr_, ox, oy - fe.ascent, advance, fe.ascent + fe.descent);
      SetSource(s_.bkColour);
      cairo_fill(cr_);
    }
    SetSource(s_.textColour);
    // The characters as they are seen: right-to-left runs turned round, each character with
    // its own advance.
    constexpr uint32_t kEtoRtlReading = 0x80, kTaRtlReading = 0x100;
    const bool rightToLeft = (options & kEtoRtlReading) || (s_.textAlign & kTaRtlReading) || IsRightToLeftCharSet(f.charSet);
    chars = VisualOrder(std::move(chars), rightToLeft);
    if (dx.empty()) {
      cairo_move_to(cr_, ox, oy);
      cairo_show_text(cr_, CodesToUtf8(chars).c_str());
    } else {
      // One character after the other at the advances the records give.
      double pen = ox;
      for (const TPlacedChar& c : chars) {
        cairo_move_to(cr_, pen, oy);
        cairo_show_text(cr_, CodesToUtf8({c}).c_str());
        pen += c.advance * scaleX;
      }
    }
    // Underline and strike-out span the text's advance, a line of about a fourteenth of the
    // size thick: below the baseline by a tenth of the size, and at a third of the ascent.
    if (f.underline || f.strikeOut) {
      const double thickness = std::max(1.0, size / 14);
      if (f.underline) cairo_rectangle(cr_, ox, oy + size * 0.1, advance, thickness);
      if (f.strikeOut) cairo_rectangle(cr_, ox, oy - fe.ascent / 3 - thickness / 2, advance, thickness);
      cairo_fill(cr_);
    }
    cairo_restore(cr_);
    cairo_new_path(cr_);
    if (updateCp) {
      // The current position moves along the text's direction by its advance.
      const double angle = -f.escapement / 10 * std::numbers::pi / 180;
      double ex = x + advance * std::cos(angle), ey = y + advance * std::sin(angle);
      if (UseLogical()) {
        cairo_device_to_user(cr_, &ex, &ey);
        s_.position = {ex, ey};
      }
    }
  });
}

void TCanvas::DrawBitmap(cairo_surface_t* image, TPointD dst, TPointD dstSize, TPointD src, TPointD srcSize,
                         uint32_t rop) {
  if (heldMask_) {
    const THeldMask mask = std::move(*heldMask_);
    heldMask_.reset();
    const auto same = [](TPointD a, TPointD b) { return a.x == b.x && a.y == b.y; };
    if ((rop & 0xFFFFFF) == kRopSrcAnd && image && same(mask.dst, dst) && same(mask.dstSize, dstSize) && same(mask.srcSize, srcSize))
      if (const std::shared_ptr<cairo_surface_t> picture = Translucent(image, src, mask.image.get(), mask.src))
        return BlitRect(picture.get(), dst, dstSize, src, srcSize, kRopSrcCopy);
    BlitRect(mask.image.get(), mask.dst, mask.dstSize, mask.src, mask.srcSize, kRopSrcPaint);
  }
  if ((rop & 0xFFFFFF) == kRopSrcPaint && image && dstSize.x != 0 && dstSize.y != 0 && IsGreyMask(image)) {
    heldMask_ = THeldMask{{cairo_surface_reference(image), cairo_surface_destroy}, dst, dstSize, src, srcSize};
    return;
  }
  BlitRect(image, dst, dstSize, src, srcSize, rop);
}

void TCanvas::BlitRect(cairo_surface_t* image, TPointD dst, TPointD dstSize, TPointD src, TPointD srcSize,
                       uint32_t rop) {
  if (dstSize.x == 0 || dstSize.y == 0) return;
  Blit(TBlit{image, src, srcSize, rop}, dst, {dst.x + dstSize.x, dst.y}, {dst.x, dst.y + dstSize.y});
}

void TCanvas::ReleaseHeldMask() {
  if (!heldMask_) return;
  const THeldMask mask = std::move(*heldMask_);
  heldMask_.reset();
  BlitRect(mask.image.get(), mask.dst, mask.dstSize, mask.src, mask.srcSize, kRopSrcPaint);
}

void TCanvas::Blit(const TBlit& blit, TPointD topLeft, TPointD topRight, TPointD bottomLeft) {
  const TPointD bottomRight{topRight.x + bottomLeft.x - topLeft.x, topRight.y + bottomLeft.y - topLeft.y};
  const TPointD corners[] = {topLeft, topRight, bottomLeft, bottomRight};
  OutsidePath(
      [&] {
        if (!UseLogical()) return;
        BlitThrough(blit, topLeft, topRight, bottomLeft, LogicalMatrix());
      },
      corners, OperatorOf(blit.rop));
}

void TCanvas::BlitUnscaled(const TBlit& blit, TPointD topLeft) {
  OutsidePath([&] {
    if (!UseLogical({topLeft})) return;
    double x = topLeft.x, y = topLeft.y;
    cairo_user_to_device(cr_, &x, &y);
    // The source's pixels are device pixels: only the device's own stretch applies to them.
    double wx = blit.srcSize.x, wy = 0, hx = 0, hy = blit.srcSize.y;
    cairo_matrix_transform_distance(&device_, &wx, &wy);
    cairo_matrix_transform_distance(&device_, &hx, &hy);
    cairo_matrix_t surface;
    cairo_matrix_init_identity(&surface);
    BlitThrough(blit, {x, y}, {x + wx, y + wy}, {x + hx, y + hy}, surface);
  }, {}, OperatorOf(blit.rop));
}

void TCanvas::BlitThrough(const TBlit& blit, TPointD topLeft, TPointD topRight, TPointD bottomLeft,
                          const cairo_matrix_t& space) {
  const TPointD size = blit.srcSize;
  if (!blit.image || size.x == 0 || size.y == 0 || !Finite(topLeft) || !Finite(topRight) || !Finite(bottomLeft))
    return;
  // Image pixels onto the parallelogram: the source's axes along its two sides.
  cairo_matrix_t place, full;
  cairo_matrix_init(&place, (topRight.x - topLeft.x) / size.x, (topRight.y - topLeft.y) / size.x,
                    (bottomLeft.x - topLeft.x) / size.y, (bottomLeft.y - topLeft.y) / size.y, 0, 0);
  place.x0 = topLeft.x - place.xx * blit.src.x - place.xy * blit.src.y;
  place.y0 = topLeft.y - place.yx * blit.src.x - place.yy * blit.src.y;
  cairo_matrix_multiply(&full, &place, &space);
  // A source rectangle beyond the image draws only the image's part of it.
  const double left = std::max(std::min(blit.src.x, blit.src.x + size.x), 0.0);
  const double right = std::min(std::max(blit.src.x, blit.src.x + size.x), double(cairo_image_surface_get_width(blit.image)));
  const double top = std::max(std::min(blit.src.y, blit.src.y + size.y), 0.0);
  const double bottom = std::min(std::max(blit.src.y, blit.src.y + size.y), double(cairo_image_surface_get_height(blit.image)));
  if (!(left < right && top < bottom)) return;
  // The placement is checked before cairo sees it: a singular matrix would stop it for good.
  cairo_matrix_t check = full;
  const bool finite = std::isfinite(full.xx) && std::isfinite(full.yx) && std::isfinite(full.xy) &&
                      std::isfinite(full.yy) && std::isfinite(full.x0) && std::isfinite(full.y0);
  if (!finite || cairo_matrix_invert(&check) != CAIRO_STATUS_SUCCESS) return;
  if (!WithinReach(full, Corners({left, top}, {right, bottom}))) return;
  cairo_save(cr_);
  cairo_set_matrix(cr_, &full);
  cairo_new_path(cr_);
  cairo_rectangle(cr_, left, top, right - left, bottom - top);
  cairo_clip(cr_);
  cairo_set_source_surface(cr_, blit.image, 0, 0);
  // Enlarged, a bitmap keeps its pixels sharp as the original player draws them; shrunk, every
  // source pixel is averaged in (a nearest pick would drop most of them and alias).
  const bool shrunk = std::hypot(full.xx, full.yx) < 1 || std::hypot(full.xy, full.yy) < 1;
  cairo_pattern_set_filter(cairo_get_source(cr_), shrunk ? CAIRO_FILTER_GOOD : CAIRO_FILTER_NEAREST);
  cairo_pattern_set_extend(cairo_get_source(cr_), CAIRO_EXTEND_PAD);
  cairo_set_operator(cr_, OperatorOf(blit.rop));
  cairo_paint_with_alpha(cr_, std::clamp(blit.alpha, 0.0, 1.0));
  cairo_restore(cr_);
  cairo_new_path(cr_);
}

void TCanvas::GradientRect(TPointD a, TPointD b, TColorRef from, TColorRef to, bool vertical) {
  const auto corners = Corners(a, b);
  OutsidePath([&] {
    if (!UseLogical(corners)) return;
    // The shading is set up in logical units, where cairo locks it for the fill.
    cairo_pattern_t* shade = cairo_pattern_create_linear(a.x, a.y, vertical ? a.x : b.x, vertical ? b.y : a.y);
    cairo_pattern_add_color_stop_rgb(shade, 0, Red(from), Green(from), Blue(from));
    cairo_pattern_add_color_stop_rgb(shade, 1, Red(to), Green(to), Blue(to));
    cairo_rectangle(cr_, a.x, a.y, b.x - a.x, b.y - a.y);
    cairo_set_source(cr_, shade);
    cairo_pattern_destroy(shade);
    cairo_fill(cr_);
  }, corners);
}

void TCanvas::GradientTriangle(const TPointD corner[3], const TColorRef colour[3]) {
  OutsidePath([&] {
    if (!UseLogical({corner[0], corner[1], corner[2]})) return;
    // cairo shades a mesh patch by subdividing all of it, off the surface too, so its time grows
    // with the patch's area: a triangle reaching far beyond the picture is left out.
    const double meshReach = 8.0 * std::max(surfaceWidth_, surfaceHeight_) + 256;
    if (!WithinReach(LogicalMatrix(), {corner, 3}, meshReach)) return;
    // A mesh patch whose fourth corner falls on the first, with its colour: cairo's bilinear
    // shading of such a patch is the triangle's linear (Gouraud) shading.
    cairo_pattern_t* mesh = cairo_pattern_create_mesh();
    cairo_mesh_pattern_begin_patch(mesh);
    cairo_mesh_pattern_move_to(mesh, corner[0].x, corner[0].y);
    cairo_mesh_pattern_line_to(mesh, corner[1].x, corner[1].y);
    cairo_mesh_pattern_line_to(mesh, corner[2].x, corner[2].y);
    cairo_mesh_pattern_line_to(mesh, corner[0].x, corner[0].y);
    for (unsigned i = 0; i < 4; ++i) {
      const TColorRef c = colour[i % 3];
      cairo_mesh_pattern_set_corner_color_rgb(mesh, i, Red(c), Green(c), Blue(c));
    }
    cairo_mesh_pattern_end_patch(mesh);
    cairo_move_to(cr_, corner[0].x, corner[0].y);
    cairo_line_to(cr_, corner[1].x, corner[1].y);
    cairo_line_to(cr_, corner[2].x, corner[2].y);
    cairo_close_path(cr_);
    cairo_set_source(cr_, mesh);
    cairo_pattern_destroy(mesh);
    cairo_fill(cr_);
  }, {corner, 3});
}

void TCanvas::PatBlt(TPointD dst, TPointD size, uint32_t rop) {
  TBrush brush;
  cairo_operator_t op = CAIRO_OPERATOR_OVER;
  switch (rop) {
    case kRopPatCopy: brush = s_.brush; break;
    case kRopBlackness: brush.colour = 0; break;
    case kRopWhiteness: brush.colour = 0xFFFFFF; break;
    case kRopDstInvert: brush.colour = 0xFFFFFF, op = CAIRO_OPERATOR_DIFFERENCE; break;
    case kRopPatInvert: brush = s_.brush, op = CAIRO_OPERATOR_DIFFERENCE; break;
    default: return;  // the other operations keep the picture as it is
  }
  cairo_set_operator(cr_, op);
  FillRect(dst, {dst.x + size.x, dst.y + size.y}, brush);
  cairo_set_operator(cr_, CAIRO_OPERATOR_OVER);
}

// ---- paths ---------------------------------------------------------------------------------

void TCanvas::BeginPath() {
  inPath_ = true;
  figureEnd_.reset();
  cairo_new_path(cr_);
  path_.reset();
}

std::shared_ptr<cairo_path_t> TCanvas::DevicePath() {
  UseSurface();
  return std::shared_ptr<cairo_path_t>(cairo_copy_path(cr_), PathDeleter);
}

void TCanvas::EndPath() {
  if (!inPath_) return;
  inPath_ = false;
  path_ = DevicePath();
  cairo_new_path(cr_);
}

void TCanvas::AbortPath() {
  inPath_ = false;
  path_.reset();
  cairo_new_path(cr_);
}

void TCanvas::CloseFigure() {
  if (inPath_) cairo_close_path(cr_);
  figureEnd_.reset();
}

void TCanvas::DrawPath(bool fill, bool stroke) {
  // The original player forgets a path once it has drawn it.
  if (!path_) return;
  UseSurface();
  cairo_append_path(cr_, path_.get());
  Finish(fill, stroke);
  path_.reset();
}

void TCanvas::SelectClipPath(uint32_t mode) {
  if (!path_) return;
  AddClip(path_, mode, s_.winding ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
  path_.reset();
}

// ---- clipping ------------------------------------------------------------------------------

void TCanvas::ResetClip() {
  cairo_reset_clip(cr_);
  s_.clipSteps = 0;
  s_.clipRegion.reset();
  s_.clipShaped = false;
  s_.clipMask.reset();
}

void TCanvas::AddClip(const std::shared_ptr<cairo_path_t>& area, uint32_t mode, cairo_fill_rule_t rule) {
  // RGN_AND 1, RGN_OR 2, RGN_XOR 3, RGN_DIFF 4, RGN_COPY 5. Every step makes every later
  // drawing dearer: a file may take only so many at once.
  if (mode < 1 || mode > 5) return;
  if (mode == 5) ResetClip();
  if (++s_.clipSteps > kMaxClipSteps) return Fail("more than " + std::to_string(kMaxClipSteps) + " clipping paths");
  s_.clipShaped = true;
  // cairo clips only by intersection: joining and flipping areas needs the mask.
  if (s_.clipMask || mode == 2 || mode == 3) return MaskClip(area, mode, rule);
  // The clip goes through cairo's current path: a path being recorded waits aside.
  const std::shared_ptr<cairo_path_t> recording = DevicePath();
  cairo_new_path(cr_);
  if (mode == 4) {
    // Everything but the area: a frame far outside the surface around it.
    cairo_rectangle(cr_, -1e6, -1e6, 2e6, 2e6);
    cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_EVEN_ODD);
  } else {
    cairo_set_fill_rule(cr_, rule);
  }
  cairo_append_path(cr_, area.get());
  cairo_clip(cr_);
  cairo_append_path(cr_, recording.get());
}

std::shared_ptr<cairo_surface_t> TCanvas::NewMask() {
  cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, surfaceWidth_, surfaceHeight_);
  const size_t bytes = size_t(cairo_image_surface_get_stride(mask)) * size_t(surfaceHeight_);
  if (cairo_surface_status(mask) != CAIRO_STATUS_SUCCESS || maskBytes_ + bytes > kMaxClipMaskBytes) {
    cairo_surface_destroy(mask);
    Fail("clipping masks beyond " + std::to_string(kMaxClipMaskBytes >> 20) + " MiB");
    return nullptr;
  }
  maskBytes_ += bytes;
  return {mask, [this, bytes](cairo_surface_t* m) {
            maskBytes_ -= bytes;
            cairo_surface_destroy(m);
          }};
}

void TCanvas::MaskClip(const std::shared_ptr<cairo_path_t>& area, uint32_t mode, cairo_fill_rule_t rule) {
  std::shared_ptr<cairo_surface_t> mask = NewMask();
  if (!mask) return;
  cairo_t* m = cairo_create(mask.get());
  if (s_.clipMask) {
    cairo_set_source_surface(m, s_.clipMask.get(), 0, 0);
  } else {
    // The clipping area so far as coverage: cairo's clip painted; no clip is the whole surface.
    cairo_save(cr_);
    UseSurface();
    cairo_push_group_with_content(cr_, CAIRO_CONTENT_ALPHA);
    cairo_set_source_rgba(cr_, 0, 0, 0, 1);
    cairo_paint(cr_);
    cairo_pattern_t* clip = cairo_pop_group(cr_);
    cairo_restore(cr_);
    cairo_set_source(m, clip);
    cairo_pattern_destroy(clip);
  }
  cairo_set_operator(m, CAIRO_OPERATOR_SOURCE);
  cairo_paint(m);
  // The area meets the mask by the operator of the mode; IN clears all that lies outside it.
  static const cairo_operator_t kCombine[] = {CAIRO_OPERATOR_IN, CAIRO_OPERATOR_OVER, CAIRO_OPERATOR_XOR,
                                              CAIRO_OPERATOR_DEST_OUT, CAIRO_OPERATOR_SOURCE};
  cairo_set_operator(m, kCombine[mode - 1]);
  cairo_set_source_rgba(m, 0, 0, 0, 1);
  cairo_set_fill_rule(m, rule);
  cairo_append_path(m, area.get());
  cairo_fill(m);
  cairo_destroy(m);
  s_.clipMaskBox = CoveredBox(mask.get());
  s_.clipMask = std::move(mask);
  // The mask holds the whole area now.
  cairo_reset_clip(cr_);
}

void TCanvas::ClipWithRects(const std::vector<TPointD>& corners, uint32_t mode, bool inDeviceUnits) {
  cairo_matrix_t m = device_;
  if (!inDeviceUnits) {
    if (!UseLogical()) return;
    m = LogicalMatrix();
  }
  const bool turned = m.xy != 0 || m.yx != 0;
  if (!s_.clipShaped && !turned) {
    // Rectangles stay rectangles: they join the clipping area as whole pixels.
    const std::shared_ptr<cairo_region_t> area = Region(cairo_region_create());
    for (size_t i = 0; i + 1 < corners.size(); i += 2) {
      double x0 = corners[i].x, y0 = corners[i].y, x1 = corners[i + 1].x, y1 = corners[i + 1].y;
      cairo_matrix_transform_point(&m, &x0, &y0);
      cairo_matrix_transform_point(&m, &x1, &y1);
      // Pixels far beyond the surface count as its edge.
      const auto pixel = [](double v, int side) { return int(std::lround(std::clamp(v, -1.0, side + 1.0))); };
      const int l = pixel(std::min(x0, x1), surfaceWidth_), r = pixel(std::max(x0, x1), surfaceWidth_);
      const int t = pixel(std::min(y0, y1), surfaceHeight_), b = pixel(std::max(y0, y1), surfaceHeight_);
      const cairo_rectangle_int_t rect{l, t, r - l, b - t};
      if (rect.width > 0 && rect.height > 0) cairo_region_union_rectangle(area.get(), &rect);
    }
    return CombineClipRegion(area.get(), mode);
  }
  if (!WithinReach(m, AllCorners(corners))) return;
  const std::shared_ptr<cairo_path_t> recording = DevicePath();
  cairo_matrix_t inverse = device_;
  if (inDeviceUnits) {
    if (cairo_matrix_invert(&inverse) != CAIRO_STATUS_SUCCESS) return;
    cairo_set_matrix(cr_, &device_);
  } else if (!UseLogical()) {
    return;
  }
  cairo_new_path(cr_);
  for (size_t i = 0; i + 1 < corners.size(); i += 2)
    cairo_rectangle(cr_, corners[i].x, corners[i].y, corners[i + 1].x - corners[i].x, corners[i + 1].y - corners[i].y);
  const std::shared_ptr<cairo_path_t> area = DevicePath();
  cairo_new_path(cr_);
  cairo_append_path(cr_, recording.get());
  // Overlapping rectangles of a region add up.
  AddClip(area, mode, CAIRO_FILL_RULE_WINDING);
}

void TCanvas::CombineClipRegion(const cairo_region_t* area, uint32_t mode) {
  // RGN_AND 1, RGN_OR 2, RGN_XOR 3, RGN_DIFF 4, RGN_COPY 5; no clipping is the whole surface.
  if (mode < 1 || mode > 5) return;
  const cairo_rectangle_int_t whole{0, 0, surfaceWidth_, surfaceHeight_};
  std::shared_ptr<cairo_region_t> result =
      Region(mode == 5 ? cairo_region_copy(area)
                       : s_.clipRegion ? cairo_region_copy(s_.clipRegion.get()) : cairo_region_create_rectangle(&whole));
  switch (mode) {
    case 1: cairo_region_intersect(result.get(), area); break;
    case 2: cairo_region_union(result.get(), area); break;
    case 3: cairo_region_xor(result.get(), area); break;
    case 4: cairo_region_subtract(result.get(), area); break;
    default: break;
  }
  // cairo clips only by intersection: the area is set afresh from its rectangles.
  const std::shared_ptr<cairo_path_t> recording = DevicePath();
  cairo_reset_clip(cr_);
  cairo_new_path(cr_);
  const int n = cairo_region_num_rectangles(result.get());
  for (int i = 0; i < n; ++i) {
    cairo_rectangle_int_t r;
    cairo_region_get_rectangle(result.get(), i, &r);
    cairo_rectangle(cr_, r.x, r.y, r.width, r.height);
  }
  cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_WINDING);
  cairo_clip(cr_);
  cairo_append_path(cr_, recording.get());
  s_.clipRegion = std::move(result);
}

void TCanvas::IntersectClipRect(TPointD a, TPointD b) { ClipWithRects({a, b}, 1, false); }

void TCanvas::ExcludeClipRect(TPointD a, TPointD b) { ClipWithRects({a, b}, 4, false); }

void TCanvas::SelectClipRects(const std::vector<TPointD>& corners, uint32_t mode, bool inDeviceUnits) {
  // No region: with RGN_COPY the clipping is switched off.
  if (corners.empty()) {
    if (mode == 5) ResetClip();
    return;
  }
  ClipWithRects(corners, mode, inDeviceUnits);
}

}  // namespace velora::metafile
