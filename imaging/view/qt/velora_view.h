// TVeloraView: the single-image control. It shows one toolkit bitmap at any zoom, scrolled by
// an origin, optionally centred, over a choice of backgrounds, with an optional resampling
// filter applied once the user stops zooming or scrolling; the mouse zooms, scrolls and draws
// selections. Everything is painted through a client-sized 24-bit back buffer.
#pragma once
#include <QCursor>
#include <QImage>
#include <QTimer>
#include <initializer_list>
#include <memory>
#include <vector>

#include "io/velora_io.h"
#include "proc/resample.h"
#include "proc/velora_proc.h"
#include "transition_effects.h"
#include "vl_view.h"

class QScrollBar;

namespace velora {

class TBitmapCanvas;

enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

enum TVLBackgroundStyle {
  vlbsSolid,
  vlbsHorizontal,
  vlbsVertical,
  vlbsFDiagonal,
  vlbsBDiagonal,
  vlbsCross,
  vlbsDiagCross,
  vlbsChessboard,
  vlbsDiagonals,
  vlbsCropped,
  vlbsCropShadow,
};

// What shows through the transparent parts of a picture with alpha: the background (its style
// and colour, as around the picture), the checkerboard image viewers use, or one colour.
enum TVLTransparencyBackdrop { vltbBackground, vltbChecker, vltbColour };

enum TVLSelectionBase { vlsbClientArea, vlsbBitmap };

// Set of selection options (bits).
enum TVLSelectionOption : unsigned {
  vlsoAnimated = 1u << 0,
  vlsoSizeable = 1u << 1,
  vlsoMoveable = 1u << 2,
  vlsoFilled = 1u << 3,
  vlsoCutBorders = 1u << 4,
};
using TVLSelectionOptions = unsigned;

// Set of mouse tools: bit i is the item i.
enum TVLMouseInteractItem {
  miZoom,
  miScroll,
  miSelect,
  miSelectPolygon,
  miSelectCircle,
  miSelectZoom,
  miSelectMagicWand,
  miSelectLasso,
};
using TVLMouseInteract = unsigned;
constexpr TVLMouseInteract MouseInteractSet(std::initializer_list<TVLMouseInteractItem> items) {
  TVLMouseInteract s = 0;
  for (auto i : items) s |= 1u << i;
  return s;
}
// The items are bit numbers, not bits: or-ing two of them would make a wrong set silently.
// Sets are built with MouseInteractSet.
TVLMouseInteract operator|(TVLMouseInteractItem, TVLMouseInteractItem) = delete;

struct TVLScrollBarParams {
  int StepPerLine = -1;
  int StepPerPage = -1;
  bool TrackWhileDragging = true;
};

// What a turn of the wheel does; the numbers are the design's values of WheelAction.
enum TVLWheelAction { vlwaNone = 0, vlwaScroll = 1, vlwaZoom = 2 };

struct TVLMouseWheelParams {
  bool InvertWheel = false;
  int WheelAction = vlwaZoom;
  bool StepIsPercent = true;
  int WheelStep = 8;
};

// What the magic wand selects; the numbers are the design's values of MagicWandMode.
enum TVLMagicWandMode {
  mwOutline = 0,     // the connected region's outline, as a polygon
  mwRegion = 1,      // the connected region, as mask pixels
  mwAllSimilar = 2,  // every similar pixel of the image, connected or not
};

// The view's cursors, registered under these numbers.
enum TVLViewCursor : int {
  crZoomOut = 1778,      // "ZOOMMENO"
  crZoomIn = 1779,       // "ZOOMPIU"
  crCross = 1780,        // "CROCE"
  crEraser = 1781,       // "GOMMA"
  crHand = 1782,         // "MANO"
  crPen = 1783,          // "PENNA"
  crCross1 = 1784,       // "CROCE1"
  crCross3 = 1785,       // "CROCE3", the default
  crMove2 = 1786,        // "MOVE2": grips 0 and 2
  crMoveY = 1787,        // "MOVEY": grips 6 and 7
  crMove1 = 1788,        // "MOVE1": grips 1 and 3
  crMoveX = 1789,        // "MOVEX": grips 4 and 5
  crMove = 1790,         // "MOVE": over a moveable selection
  crCross3Plus = 1791,   // "CROCE3+"
  crCross3Minus = 1792,  // "CROCE3-"
  crCross2 = 1793,       // "CROCE2"
  crCross2Plus = 1794,   // "CROCE2+"
  crCross2Minus = 1795,  // "CROCE2-"
};
// The cursor registered under `number` (built on first use); the arrow for unknown numbers.
QCursor ViewCursor(int number);
// The resource name of a view cursor, "" for unknown numbers.
const char* ViewCursorName(int number);

using TViewChangeEvent = std::function<void(TVLObject* sender, int change)>;
using TVLZoomEvent = std::function<void(TVLObject* sender, double& newZoom)>;
using TVLMouseInResizingGripEvent = std::function<void(TVLObject* sender, int grip)>;

// The selection being shown or drawn: polygons in bitmap coordinates, separated by
// (kPolygonSeparator, kPolygonSeparator), with their bounding box.
struct TVLSelectionRecord {
  std::vector<TPoint> Points;
  TColor Colour1 = clBlack;
  TColor Colour2 = clWhite;
  bool Animated = true;
  int Phase = 0;
  int DrawPhase = 0;
  int X1 = TVLMask::kEmptyBox, Y1 = TVLMask::kEmptyBox, X2 = -TVLMask::kEmptyBox, Y2 = -TVLMask::kEmptyBox;
  bool Shown = false;
  bool Grips = true;

  void Clear();
  void Add(int x, int y);
  void AddSeparator();
};

class TVeloraView : public TVLView {
  Q_OBJECT

 public:
  explicit TVeloraView(QWidget* parent = nullptr);
  ~TVeloraView() override;

  // ---- published properties
  bool DoubleBuffer = true;
  TResampleFilter ZoomFilter() const { return ZoomFilter_; }
  void SetZoomFilter(TResampleFilter filter);
  TScrollStyle ScrollBars() const { return ScrollBars_; }
  void SetScrollBars(TScrollStyle style);
  TViewChangeEvent OnViewChange;
  TNotifyEvent OnImageChange;
  TVLSelectionOptions SelectionOptions() const { return SelectionOptions_; }
  void SetSelectionOptions(TVLSelectionOptions options);
  bool Center() const { return Center_; }
  void SetCenter(bool value);
  TVLMouseInteract MouseInteract() const { return MouseInteract_; }
  void SetMouseInteract(TVLMouseInteract value);
  bool AutoFit = false;
  TVLSelectionBase SelectionBase = vlsbClientArea;
  TVLBackgroundStyle BackgroundStyle() const { return BackgroundStyle_; }
  void SetBackgroundStyle(TVLBackgroundStyle style);
  TNotifyEvent OnSelectionChange, OnSelectionChanging, OnMouseInSel;
  bool DelayZoomFilter = true;
  TNotifyEvent OnPaint;
  bool EnableAlphaChannel() const { return EnableAlphaChannel_; }
  void SetEnableAlphaChannel(bool value);
  TVLTransparencyBackdrop TransparencyBackdrop() const { return Backdrop_; }
  TColor TransparencyColour() const { return BackdropColour_; }
  void SetTransparencyBackdrop(TVLTransparencyBackdrop backdrop, TColor colour = clWhite);
  TVLMouseInResizingGripEvent OnMouseInResizingGrip;
  TVLZoomEvent OnZoomIn, OnZoomOut;
  int Cursor() const { return OwnCursor_; }
  void SetCursor(int cursor);

  TVLScrollBarParams& HorzScrollBarParams() { return HorzParams_; }
  TVLScrollBarParams& VertScrollBarParams() { return VertParams_; }
  TVLMouseWheelParams& MouseWheelParams() { return WheelParams_; }
  int MagicWandTolerance = 15;
  bool MagicWandMaxFilter = false;  // dilation
  int MagicWandMode = mwOutline;    // a TVLMagicWandMode

  // ---- the image and its components
  TBitmap* GetBitmap() override { return &Bitmap_; }
  TVLMask* GetAlphaMask() override { return &AlphaMask_; }
  TBitmap& Bitmap() { return Bitmap_; }
  TVLMask& AlphaMask() { return AlphaMask_; }
  TVeloraIO& GetIO();
  // The view's own processing component, created attached on first use.
  TVeloraProc& GetProc();
  bool GetSelection(TSelection& selection) override;
  void NotifyImageChanged() override;
  void SetBackground(TColor colour) override;
  void Clear();
  void Assign(TVeloraView* source);
  void Assign(const TBitmap* source);

  // ---- geometry
  double Zoom() const { return Zoom_; }
  void SetZoom(double z);
  void Fit();
  void ZoomAt(int x, int y, double z);
  int ViewOriginX() const { return ViewOriginX_; }
  int ViewOriginY() const { return ViewOriginY_; }
  void SetViewOriginX(int x);
  void SetViewOriginY(int y);
  void SetViewOrigin(int x, int y);
  void GetMaxViewOrigin(int& maxX, int& maxY) const;
  int BitmapToClientX(int bx) const;
  int BitmapToClientY(int by) const;
  int ClientToBitmapX(int cx) const;
  int ClientToBitmapY(int cy) const;
  int ExtentX() const;
  int ExtentY() const;
  bool HasParentWindow() const;
  int CenterOffsetX() const { return CenterOffsetX_; }
  int CenterOffsetY() const { return CenterOffsetY_; }
  int VisibleWidth() const { return VisibleWidth_; }
  int VisibleHeight() const { return VisibleHeight_; }
  int ZoomedWidth() const { return ZoomedWidth_; }
  int ZoomedHeight() const { return ZoomedHeight_; }
  TRect SourceRect() const { return TRect{SourceX_, SourceY_, SourceX_ + SourceWidth_, SourceY_ + SourceHeight_}; }
  int DrawWidth() const { return DrawWidth_; }
  int DrawHeight() const { return DrawHeight_; }
  int FilterDelayTicks() const { return FilterDelayTicks_; }
  int ViewChangeTicks() const { return ViewChangeTicks_; }
  double HorzScrollScale() const { return HorzScrollScale_; }
  double VertScrollScale() const { return VertScrollScale_; }
  QScrollBar* HorzScrollBar() const { return HBar_; }
  QScrollBar* VertScrollBar() const { return VBar_; }

  // Fires OnViewChange: 0 the origin changed, 1 the zoom changed.
  void NotifyViewChange(int change);
  // Moves the stored mouse points by (dx, dy) client pixels (the picture scrolled under them).
  void ShiftMouseAnchors(int dx, int dy);

  // ---- painting
  void Update() override;
  void Paint();
  void LockUpdate() override { ++UpdateLockCount_; }
  void UnlockUpdate() override;
  void UnlockUpdateNoRefresh() override;
  // The unfiltered renderer: the image into `target` (client-sized, 24 bits), only the rows
  // and columns inside `dirty`.
  void RenderFast(TBitmap& target, const std::vector<uint8_t*>& rows, const TRect& dirty);
  // The renderer used when a filter is chosen: background, then the filtered (or, during the
  // filter delay, plain) picture of the visible source rectangle.
  void RenderTo(TBitmap& target);
  // The visible part of the image at the current zoom and filter, at the painter's origin.
  void DrawTo(QPainter& painter);
  // The same picture into `out`, made 24-bit at the visible size; false when nothing shows.
  bool DrawVisibleTo(TBitmap& out);
  // Advances the filter delay and the outline animation, as the 210 ms timer does; stops
  // the timer when nothing is left to animate or count down.
  void TimerTick();
  QTimer& Timer() { return Timer_; }

  // ---- transitions: capture what the view shows, load the next picture, start
  TVLTransitionEffects& Transition() { return *Transition_; }
  // Renders what the view shows now (background included) as the source of the next transition.
  void CaptureTransitionSource();
  // Renders the picture shown now as the target and starts the transition from the captured
  // source; false (the view simply shows its picture) when nothing was started.
  bool StartTransition(TVLTransitionType effect, int duration);

  // ---- selections
  bool HasSelection() const { return HasSelection_; }
  void Deselect();
  void AddRectangleSelection(int x1, int y1, int x2, int y2, bool additive);
  void AddPolygonPoint(int x, int y);
  void EndSelection();
  void SelectionRect(int& x1, int& y1, int& x2, int& y2) const;
  const TPoint* SelectionPoints() const { return Sel_.Points.data(); }
  int SelectionPointCount() const { return int(Sel_.Points.size()); }
  TVLMask& SelectionMask() { return SelMask_; }
  // Selects the pixels similar to (x, y) (bitmap coordinates) with the magic-wand settings.
  void MagicWandSelect(int x, int y, bool additive);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  bool event(QEvent* event) override;
  void RecreateFrame() override;

 private:
  // geometry
  void ComputeSourceRect();
  void GetMaxViewOriginAt(double zoomFactor, int& maxX, int& maxY) const;
  void ArmFilterDelay();
  void DelayFilter();
  void WakeTimer();
  bool OutlineAnimated() const;
  void UpdateScrollBars();
  void LayoutScrollBars();
  void ScrollBarAction(bool horizontal, int action);
  void ScrollBarReleased(bool horizontal);
  void EdgeForStyle(int& ex, int& ey) const;
  // rendering
  void PaintBackground(TBitmapCanvas& canvas, int W, int H, const TRect& image);
  void PaintBackgroundAround(TBitmap& target, const TRect& clip, const TRect& image);
  // What lies under a picture with alpha, within clip.
  void PaintBackdrop(TBitmap& target, const TRect& clip, const TRect& image);
  void StretchInto(TBitmap& target, const TRect& dirty, bool blendAlpha);
  bool AlphaInUse() const;
  void DrawFilledSelection(TBitmap& target);
  void DrawOverlay(TBitmap& target);
  void DrawPolygonOutline(TBitmapCanvas& canvas);
  void DrawGrips(TBitmapCanvas& canvas);
  // The client area as the view paints it now, into a 24-bit bitmap of the client size.
  void RenderShown(TBitmap& target);
  // mouse and selection (velora_view_mouse.cpp)
  QPoint ClientPos(const QMouseEvent* event) const;
  QPoint LimitToImage(QPoint p) const;
  int BitmapX(int cx) const;  // converts through SelectionBase
  int BitmapY(int cy) const;
  int ToBitmapX(int cx) const { return ClientToBitmapX(cx); }
  int ToBitmapY(int cy) const { return ClientToBitmapY(cy); }
  bool IsSingleRectangle() const;
  int GripAt(QPoint client) const;
  bool InsideSelection(QPoint client) const;
  void ShowCursorFor(QPoint client);
  void RectangleFromDrag(QPoint down, QPoint current, Qt::KeyboardModifiers mods);
  void CircleFromDrag(QPoint down, QPoint current, Qt::KeyboardModifiers mods);
  void ResizeByGrip(QPoint current, Qt::KeyboardModifiers mods);
  void MoveSelection(QPoint current);
  void AutoScroll(QPoint unlimited);
  void ClickZoom(Qt::MouseButton button, QPoint p);
  void SetRectanglePoints(int x1, int y1, int x2, int y2);
  void ClosePolygon();
  void RefreshSelection();

  // properties
  TResampleFilter ZoomFilter_ = rfNone;
  TScrollStyle ScrollBars_ = ssNone;
  TVLSelectionOptions SelectionOptions_ = vlsoAnimated | vlsoSizeable | vlsoMoveable;
  bool Center_ = false;
  TVLMouseInteract MouseInteract_ = 0;
  TVLBackgroundStyle BackgroundStyle_ = vlbsSolid;
  bool EnableAlphaChannel_ = false;
  TVLTransparencyBackdrop Backdrop_ = vltbBackground;
  TColor BackdropColour_ = clWhite;
  int OwnCursor_ = crCross3;
  bool SavedScreenCursor_ = false;  // the hand cursor is overriding the screen cursor
  TResampleFilter SavedZoomFilter_ = rfNone;
  double HorzScrollScale_ = 1.0, VertScrollScale_ = 1.0;
  TVLScrollBarParams HorzParams_, VertParams_;
  TVLMouseWheelParams WheelParams_;

  // geometry state
  int SourceX_ = 0, SourceY_ = 0, SourceWidth_ = 0, SourceHeight_ = 0;
  int DrawWidth_ = 0, DrawHeight_ = 0;
  int LastBitmapWidth_ = 0, LastBitmapHeight_ = 0;
  int FilterDelayTicks_ = 0, ViewChangeTicks_ = 0;
  bool BackBufferDirty_ = true;
  int ViewOriginX_ = 0, ViewOriginY_ = 0;
  double Zoom_ = 100, ZoomFactor_ = 1, InverseZoomFactor_ = 1;
  int UpdateLockCount_ = 0;
  int CenterOffsetX_ = 0, CenterOffsetY_ = 0;
  int VisibleWidth_ = 0, VisibleHeight_ = 0;
  int ZoomedWidth_ = 0, ZoomedHeight_ = 0;
  int UpdateDepth_ = 0;
  bool Destroying_ = false;

  // storage
  std::unique_ptr<TVeloraIO> IO_;
  std::unique_ptr<TVeloraProc> Proc_;
  TBitmap Bitmap_;
  TVLMask AlphaMask_;
  TBitmap BackBuffer_;
  std::vector<uint8_t*> BackRows_;
  TBitmap Overlay_;  // back buffer plus the selection outline, when one is shown
  QImage Blit_;      // the shown rows in the window's 32-bit format, reused between paints
  QScrollBar* HBar_ = nullptr;
  QScrollBar* VBar_ = nullptr;
  QWidget* Corner_ = nullptr;
  QTimer Timer_;
  std::unique_ptr<TVLTransitionEffects> Transition_ = std::make_unique<TVLTransitionEffects>(this);
  TBitmap TransitionSource_;

  // selection state
  TVLSelectionRecord Sel_;
  TVLMask SelMask_;
  bool HasSelection_ = false;
  bool DrawingPolygon_ = false;
  bool Lasso_ = false;
  bool DrawingRect_ = false, DrawingCircle_ = false;
  int Grip_ = -1;
  int InsideSel_ = -1;
  QPoint DownPt_, CurPt_, LastPt_;
  int DownOriginX_ = 0, DownOriginY_ = 0;
  int DownPointCount_ = 0;
  TRect GripRect_;
  std::vector<TPoint> MovePoints_;  // points at the start of a move
  bool ButtonDown_ = false;
  Qt::MouseButton DownButton_ = Qt::NoButton;
  TVLSelectionBase SavedSelectionBase_ = vlsbClientArea;
  bool HasRubber_ = false;
  QPoint RubberPt_;
  static constexpr int kGripHalf = 5;
  bool MiddleGrips_ = true;
};

}  // namespace velora
