// The drawing state a metafile's records act on, as the Windows graphics device interface
// keeps it (pens, brushes, fonts, colours, modes, the mapping from logical units to the
// device, clipping, the saved-state stack, paths), drawn with cairo. The WMF and EMF players
// only decode records into calls of this class, so that both formats draw alike.
#pragma once
#include <cairo.h>

#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "base/progress.h"

namespace velora::metafile {

struct TPointD {
  double x = 0, y = 0;
};

// Colours as the records carry them: 0x00BBGGRR.
using TColorRef = uint32_t;

struct TPen {
  uint32_t style = 0;  // PS_SOLID, the line style, end cap and join bits, PS_GEOMETRIC
  double width = 0;    // logical units; 0 is one device pixel
  TColorRef colour = 0;
};

enum class TBrushKind { bkSolid, bkNull, bkHatched, bkPattern };

struct TBrush {
  TBrushKind kind = TBrushKind::bkSolid;
  TColorRef colour = 0xFFFFFF;
  uint32_t hatch = 0;
  std::shared_ptr<cairo_surface_t> pattern;  // bkPattern: the brush's bitmap
};

struct TFont {
  double height = 0;      // logical units; negative: character height, positive: cell height
  int weight = 400;
  bool italic = false;
  bool underline = false;
  double escapement = 0;  // tenths of a degree, counter-clockwise
  std::string face;
  bool strikeOut = false;
  uint8_t charSet = 1;  // DEFAULT_CHARSET
};

struct TRegion {
  std::vector<TPointD> rects;  // pairs of corners, logical units
};

// A bitmap record's picture: the image, the part of it drawn (in its pixels, top row first)
// and how it meets the picture below.
struct TBlit {
  cairo_surface_t* image = nullptr;
  TPointD src, srcSize;
  uint32_t rop = 0xCC0020;  // SRCCOPY
  double alpha = 1;         // AlphaBlend's constant alpha
};

// Objects the player keeps only so that they take their slot (palettes, bitmaps).
struct TPlaceholder {};

using TObject = std::variant<std::monostate, TPen, TBrush, TFont, TRegion, TPlaceholder>;



// The mapping modes and the other mode values the records use.
enum : uint32_t {
  mmText = 1, mmLoMetric, mmHiMetric, mmLoEnglish, mmHiEnglish, mmTwips, mmIsotropic, mmAnisotropic
};

class TCanvas {
 public:
  // device: the mapping from the records' device units to the surface (the picture frame
  // stretched over the requested size).
  TCanvas(cairo_surface_t* surface, const cairo_matrix_t& device, TVLProgressRecord& progress, const char* format);
  ~TCanvas();
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;

  bool Failed() const { return progress_.Aborted(); }
  void Fail(const std::string& what);

  // ---- objects
  void SetObjectTableSize(size_t n) { objects_.assign(n, TObject{}); }
  size_t ObjectTableSize() const { return objects_.size(); }
  // Puts an object in the slot (EMF) or the lowest free one (WMF, index < 0).
  void CreateObject(long index, TObject object);
  void SelectObject(uint32_t index);
  void SelectStockObject(uint32_t stock);
  void DeleteObject(uint32_t index);
  const TObject* Object(uint32_t index) const;

  // ---- state
  struct TMapping {
    uint32_t mode = mmText;
    TPointD windowOrg{0, 0}, windowExt{1, 1}, viewportOrg{0, 0}, viewportExt{1, 1};
  };
  struct TState {
    TPen pen{0, 0, 0};
    TBrush brush;
    TFont font;
    TColorRef textColour = 0, bkColour = 0xFFFFFF;
    bool opaqueBk = true;
    bool winding = false;
    uint32_t textAlign = 0;
    TMapping map;
    cairo_matrix_t world;
    int clipSteps = 0;  // the paths that shaped the clipping area
    // The clipping area in surface pixels while rectangles alone have made it (null: the
    // whole surface), so that regions can be joined to it as well as cut from it; once a
    // path or a turned mapping has shaped it, cairo's clip (or the mask below) holds it alone.
    std::shared_ptr<cairo_region_t> clipRegion;
    bool clipShaped = false;
    // Once a shaped area is joined (RGN_OR) or flipped (RGN_XOR), which cairo's clip cannot
    // do, the area is coverage in an A8 image of the surface's size, and every drawing goes
    // through it; cairo's clip then stays open. Each step makes a new one: saved states keep
    // theirs.
    std::shared_ptr<cairo_surface_t> clipMask;
    cairo_rectangle_int_t clipMaskBox{};  // the pixels the mask covers at all
    TPointD position;
    int arcDirection = 1;  // AD_COUNTERCLOCKWISE
  };
  TState& State() { return s_; }
  // The mapping from the records' device units to the surface, when the player learns it
  // only from the records.
  void SetDevice(const cairo_matrix_t& device) { device_ = device; }
  // Millimetres and pixels of the reference device, for the metric mapping modes.
  void SetReferenceDevice(double pxPerMmX, double pxPerMmY) { pxPerMmX_ = pxPerMmX, pxPerMmY_ = pxPerMmY; }
  void SetMapMode(uint32_t mode) { s_.map.mode = mode; }
  void SaveDC();
  void RestoreDC(int relative);
  void SetWorldTransform(const cairo_matrix_t& m) { s_.world = m; }
  void ModifyWorldTransform(const cairo_matrix_t& m, uint32_t mode);

  // ---- drawing, in logical units
  void MoveTo(TPointD p);
  void LineTo(TPointD p);
  void Polyline(const std::vector<TPointD>& points, bool fromCurrent);
  void PolyBezier(const std::vector<TPointD>& points, bool fromCurrent);
  void Polygons(const std::vector<std::vector<TPointD>>& polygons);
  void Polylines(const std::vector<std::vector<TPointD>>& lines);
  void Rectangle(TPointD a, TPointD b);
  void RoundRect(TPointD a, TPointD b, TPointD corner);
  void Ellipse(TPointD a, TPointD b);
  enum class TArcKind { akArc, akArcTo, akChord, akPie };
  void Arc(TPointD a, TPointD b, TPointD start, TPointD end, TArcKind kind);
  void FillRect(TPointD a, TPointD b, const TBrush& brush);
  void FillRegion(const TRegion& region, const TBrush& brush);
  void SetPixel(TPointD p, TColorRef colour);
  // Text at p (or the current position with TA_UPDATECP); dx: advances in logical units,
  // may be empty. clipRect/opaqueRect: ETO_CLIPPED / ETO_OPAQUE with rect.
  void TextOut(TPointD p, const std::string& utf8, const std::vector<double>& dx, uint32_t options,
               const TPointD* rect);
  // A bitmap drawn into the destination rectangle; the source rectangle in bitmap pixels.
  // A grey bitmap ORed in (SRCPAINT) is held back: when the next record ANDs a picture
  // (SRCAND) into the same rectangle, the pair is one translucent picture, the grey its
  // opacity, as office suites write transparency for this format and read it back.
  void DrawBitmap(cairo_surface_t* image, TPointD dst, TPointD dstSize, TPointD src, TPointD srcSize, uint32_t rop);
  // Draws the bitmap held back, as its record says, when no picture follows it: the players
  // call it before every record that is not a bitmap's and at the end of the file.
  void ReleaseHeldMask();
  // The blit's source onto the parallelogram whose corners the source's top left, top right
  // and bottom left reach, in logical units.
  void Blit(const TBlit& blit, TPointD topLeft, TPointD topRight, TPointD bottomLeft);
  // SetDIBitsToDevice: the source's top left at a logical point, one source pixel per
  // device pixel whatever the mapping.
  void BlitUnscaled(const TBlit& blit, TPointD topLeft);
  // GradientFill: a rectangle shading from one corner's colour to the other's across or
  // down, and a triangle shading between its corners' colours.
  void GradientRect(TPointD a, TPointD b, TColorRef from, TColorRef to, bool vertical);
  void GradientTriangle(const TPointD corner[3], const TColorRef colour[3]);
  // The raster operations without a source: pattern fills, black, white, inversion.
  void PatBlt(TPointD dst, TPointD size, uint32_t rop);

  // ---- paths
  void BeginPath();
  void EndPath();
  void AbortPath();
  void CloseFigure();
  // FillPath, StrokePath, StrokeAndFillPath.
  void DrawPath(bool fill, bool stroke);
  void SelectClipPath(uint32_t mode);

  // ---- clipping
  void IntersectClipRect(TPointD a, TPointD b);
  void ExcludeClipRect(TPointD a, TPointD b);
  void SelectClipRects(const std::vector<TPointD>& corners, uint32_t mode, bool inDeviceUnits);
  void ResetClip();

 private:
  // Sets cairo's matrix to logical → surface for a shape spanned by the points given; false
  // when the mapping collapses (nothing can be drawn through a singular matrix) or takes one
  // of the points out of cairo's reach (see WithinReach).
  bool UseLogical(std::span<const TPointD> reach = {});
  bool UseLogical(std::initializer_list<TPointD> reach) { return UseLogical(std::span(reach.begin(), reach.size())); }
  void UseSurface();
  void SetSource(TColorRef colour);
  bool SetBrushSource(const TBrush& brush);
  bool SetPenSource();
  // Fills and strokes the current cairo path with the brush and pen, or keeps it in the
  // path bracket.
  void Finish(bool fill, bool stroke);
  // Starts the drawings that begin at the current position: inside a path bracket they
  // continue the figure that ends there unless a move or a closed figure came between.
  void FromPosition();
  // Notes that the open figure ends at the current position now.
  void EndFigureAtPosition();
  std::optional<TPointD> OnSurface(TPointD logical) const;
  // Draws what is no part of a path bracket (fills of regions, bitmaps, gradients, pixels,
  // text) without losing the path recorded so far.
  // reach: logical points whose box holds all the drawing reaches (none: not known).
  template <class Draw>
  void OutsidePath(Draw&& draw, std::span<const TPointD> reach = {}, cairo_operator_t op = CAIRO_OPERATOR_OVER);
  // Draws through the clipping mask while one is in force; op: the drawing's operator where
  // it sets one of its own; reach: corners of a box of surface pixels that holds the drawing.
  template <class Draw>
  void Clipped(Draw&& draw, cairo_operator_t op = CAIRO_OPERATOR_OVER,
               std::optional<std::array<TPointD, 2>> reach = std::nullopt);
  // The box of surface pixels logical points span, while a mask is in force.
  std::optional<std::array<TPointD, 2>> Reach(std::span<const TPointD> logical) const;
  // The pixels of the mask's box a drawing in reach can touch.
  cairo_rectangle_int_t Within(std::optional<std::array<TPointD, 2>> reach) const;
  // DrawBitmap's drawing, without the pairing.
  void BlitRect(cairo_surface_t* image, TPointD dst, TPointD dstSize, TPointD src, TPointD srcSize, uint32_t rop);
  // The blit onto the parallelogram in the space the matrix maps onto the surface.
  void BlitThrough(const TBlit& blit, TPointD topLeft, TPointD topRight, TPointD bottomLeft, const cairo_matrix_t& space);
  // Whether the selected font has a glyph for every character of the text.
  bool Covers(const std::string& utf8);
  // The arc's path; returns where it ends, in logical units.
  TPointD AddArcPath(TPointD a, TPointD b, TPointD start, TPointD end, TArcKind kind);
  // Combines the clipping area with an area in surface space.
  void AddClip(const std::shared_ptr<cairo_path_t>& area, uint32_t mode, cairo_fill_rule_t rule);
  // ... the same through the clipping mask, made from the clipping area when there is none.
  void MaskClip(const std::shared_ptr<cairo_path_t>& area, uint32_t mode, cairo_fill_rule_t rule);
  // A clear mask of the surface's size, or null (and the file refused) beyond the budget.
  std::shared_ptr<cairo_surface_t> NewMask();
  // ... with rectangles given by pairs of corners, in logical or device units.
  void ClipWithRects(const std::vector<TPointD>& corners, uint32_t mode, bool inDeviceUnits);
  // ... with rectangles of surface pixels, every mode; then cairo clips to the result.
  void CombineClipRegion(const cairo_region_t* area, uint32_t mode);
  std::shared_ptr<cairo_path_t> DevicePath();
  cairo_matrix_t LogicalMatrix() const;

  cairo_t* cr_;
  cairo_matrix_t device_;
  TVLProgressRecord& progress_;
  const char* format_;
  int surfaceWidth_, surfaceHeight_, surfaceSide_;
  size_t maskBytes_ = 0;  // of the clipping masks alive, in this state and the saved ones
  std::vector<TObject> objects_;
  TState s_;
  std::vector<TState> saved_;
  double pxPerMmX_ = 96 / 25.4, pxPerMmY_ = 96 / 25.4;
  bool inPath_ = false;
  // Where the path bracket's open figure ends, in surface pixels, while the pen stands there
  // (after LineTo, PolylineTo, PolyBezierTo, ArcTo); empty after a move, a closed figure or
  // a shape that leaves the pen where it was.
  std::optional<TPointD> figureEnd_;
  std::shared_ptr<cairo_path_t> path_;  // the last closed path bracket, device space
  struct THeldMask {
    std::shared_ptr<cairo_surface_t> image;
    TPointD dst, dstSize, src, srcSize;
  };
  std::optional<THeldMask> heldMask_;
};

// The deepest SaveDC nesting a metafile may use, and the most paths its clipping area may be
// made of at once (rectangles merge into one area); beyond them the file is refused.
constexpr size_t kMaxSavedStates = 1024;
constexpr int kMaxClipSteps = 64;
// The memory the clipping masks alive at once may take (each one byte per surface pixel).
constexpr size_t kMaxClipMaskBytes = size_t(256) << 20;
// The characters of one text record that are drawn (the original platform draws no more
// either); the rest of a longer string is left out.
constexpr uint32_t kMaxTextChars = 8192;

}  // namespace velora::metafile
