// TVeloraMView: many images as a grid of captioned thumbnails. Entries hold a file name (or
// an ID) and three captions; their pixels are read lazily, the first time a cell is painted,
// reduced to the thumbnail size and kept in a TVLVirtualDIBList, whose few mapped views are
// drawn straight onto the window. With a loader attached the reading runs on its workers:
// a cell not read yet is painted empty with its captions and filled when its pixels arrive.
#pragma once
#include <QFont>
#include <QImage>
#include <QScrollBar>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bitmap/vl_virtual_dib_list.h"
#include "io/velora_io.h"
#include "mview/thumbnail_cache.h"
#include "mview/velora_loader.h"
#include "view/qt/velora_view.h"
#include "view/qt/transition_effects.h"
#include "view/qt/vl_view.h"
#include "proc/resample.h"

class QPainter;

namespace velora {

enum TVLStoreType { vltNormal, vltThumb };
enum TVLMDisplayMode { mdGrid, mdSingle };
enum TVLMStyle { vlmsFlat, vlmsACD };
enum TVLSStyle { vlssAround, vlssACD };
enum TVLWallPaperStyle { vlwoNormal, vlwoStretch, vlwoTile };
enum TVLMMouseInteractItem { mmiScroll = 1, mmiSelect = 2 };
enum TVLMKeyInteractItem { mkiMoveSelected = 1 };
enum TVLMultiSelectionOption { vlmoRegion = 1 };
// Where a caption stands in its cell; the number is the caption's position of the design.
enum TVLMTextPosition { vlmtTop = 0, vlmtBottom = 1, vlmtInfo = 2 };
// How much of a cell the client area shows (IsImageVisible).
enum TVLImageVisibility { vlivHidden = 0, vlivPartly = 1, vlivWhole = 2 };
// What changed in the entry list since an attached multi-image I/O component last asked.
enum TVLPendingAction { vlpaNone = 0, vlpaInserted = 1, vlpaDeleted = 2 };

class TVeloraMView;

// One caption of a thumbnail: top, bottom or info.
class TVLMText {
 public:
  TVLMText(TVeloraMView* owner, TVLMTextPosition position);

  const std::string& Caption() const { return Caption_; }
  // Raises the owner's UpperGap or BottomGap to fit the text; gaps never shrink.
  void SetCaption(const std::string& caption);
  QFont Font;
  TColor Background;
  TVLMTextPosition Position() const { return Position_; }

 private:
  std::string Caption_;
  TVeloraMView* Owner_;
  TVLMTextPosition Position_;
};

using TVLImageSelectEvent = std::function<void(TVLObject* sender, int idx)>;
using TVLImageIDRequestEvent = std::function<void(TVLObject* sender, int id, TBitmap*& bitmap)>;
using TVLMProgressEvent = std::function<void(TVLObject* sender, int per, int idx)>;
using TVLImageDrawEvent = std::function<void(TVLObject* sender, int idx, int left, int top, QPainter& canvas)>;

class TVeloraMView : public TVLView {
  Q_OBJECT

 public:
  explicit TVeloraMView(QWidget* parent = nullptr);
  ~TVeloraMView() override;

  // ---- entries
  int ImageCount() const { return int(Entries_.size()); }
  int AppendImage();
  // Appends an entry without selecting it: a list that fills while the user works in it.
  int AppendImageQuietly();
  void InsertImageQuietly(int index) { InsertEntry(index, false); }
  void InsertImage(int index);
  bool DeleteImage(int index);
  void Clear();
  void SetImageFileName(int index, const std::string& name);
  std::string GetImageFileName(int index) const;
  void SetImageID(int index, int id);
  TVLMText* ImageTopText(int index);
  TVLMText* ImageBottomText(int index);
  TVLMText* ImageInfoText(int index);
  TColor ImageBackground(int index) const;
  void SetImage(int index, const TBitmap& bitmap);
  bool ObtainImage(int index);
  // The pages of the entry's file: more than one are counted in a small mark over the
  // picture's corner (the captions stay as they are).
  void SetImagePages(int index, int pages);
  int ImagePages(int index) const;
  // Forgets the entry's pixels and its read failure: the file is read again when the cell
  // shows (a file replaced on disk).
  void InvalidateImage(int index);
  // The thumbnail of `source` that fits thumbWidth × thumbHeight (SetImage in vltThumb mode).
  static void MakeThumbnail(const TBitmap& source, int thumbWidth, int thumbHeight, TBitmap& thumb);

  // Reading on worker threads: with a loader the column never reads on the GUI thread; the
  // visible cells are asked for first, then the next screenful each way. Without one (the
  // default) a cell is read when it is painted.
  void SetLoader(TVeloraLoader* loader);
  TVeloraLoader* Loader() const { return Loader_; }
  // Where a worker gets an entry's thumbnail: a cache of made thumbnails may answer before
  // the file is decoded. Runs on a worker thread; the default reads the file.
  using TThumbnailSource = std::function<TPicturePtr(const TPictureRequest& request, int thumbWidth, int thumbHeight,
                                                      const std::function<bool()>& stop)>;
  TThumbnailSource ThumbnailSource;
  static TPicturePtr ReadThumbnail(const TPictureRequest& request, int thumbWidth, int thumbHeight,
                                   const std::function<bool()>& stop);
  // The same through the desktop's thumbnail cache: a valid cached thumbnail is used as it
  // is (whoever wrote it), else the file is read and its thumbnail kept there for the next
  // start; a file that failed is recorded and not read again until it changes.
  static TPicturePtr ReadThumbnailCached(const TVLThumbnailCache& cache, const TPictureRequest& request,
                                         int thumbWidth, int thumbHeight, const std::function<bool()>& stop);
  // Priorities of the column's jobs on the loader.
  static constexpr int kVisiblePriority = 50, kNearPriority = 30;
  // Why the entry's file could not be read the last time it was tried ("Cannot open file …",
  // "JPEG: premature end of data"); empty once it was read, or before it was tried. The cell
  // shows it as its tool tip.
  std::string ImageReadFailure(int index) const;
  // The tool tip of the cell at client point (x, y): why its file could not be read, else its
  // captions that are cut short, whole; "" for none.
  QString ToolTipAt(int x, int y) const;
  // The entry's pixels, checked out of the store: the caller checks them in (ReleaseBitmap).
  TBitmap* GetImageBitmap(int index);
  void ReleaseBitmap(TBitmap* bitmap, bool writeBack = false) { Store_->CheckIn(bitmap, writeBack); }
  bool HasStoredImage(int index) const;
  int ImageRow(int index) const;
  int ImageCol(int index) const;
  int ImageX(int index) const;
  int ImageY(int index) const;
  TVLVirtualDIBList& Store() { return *Store_; }

  // ---- the view contract
  TBitmap* GetBitmap() override { return CurrentBitmap_; }
  TVLMask* GetAlphaMask() override { return nullptr; }
  bool IsMultiView() const override { return true; }
  void LockUpdate() override { ++LockCount_; }
  void UnlockUpdate() override;
  void UnlockUpdateNoRefresh() override;
  void Update() override;
  void SetBackground(TColor colour) override;
  // What an attached multi-image I/O component reads after a change notice, with the entry
  // index; reading resets the action.
  TVLPendingAction TakePendingAction(int& index);

  // ---- store properties
  TVLStoreType StoreType() const { return StoreType_; }
  void SetStoreType(TVLStoreType type) { StoreType_ = type; }
  int ThumbWidth() const { return ThumbWidth_; }
  int ThumbHeight() const { return ThumbHeight_; }
  void SetThumbWidth(int w);
  void SetThumbHeight(int h);
  int ImageCacheSize() const { return Store_->ImageCacheSize(); }
  void SetImageCacheSize(int size);
  bool RemoveCorrupted = false;
  TVLImageIDRequestEvent OnImageIDRequest;
  TVLProgressEvent OnIOProgress;

  // ---- layout and painting properties
  int HorizBorder() const { return HorizBorder_; }
  int VertBorder() const { return VertBorder_; }
  void SetHorizBorder(int v) { HorizBorder_ = v, Update(); }
  void SetVertBorder(int v) { VertBorder_ = v, Update(); }
  int UpperGap() const { return UpperGap_; }
  int BottomGap() const { return BottomGap_; }
  void SetUpperGap(int v) { UpperGap_ = v, Update(); }
  void SetBottomGap(int v) { BottomGap_ = v, Update(); }
  TVLMDisplayMode DisplayMode() const { return DisplayMode_; }
  void SetDisplayMode(TVLMDisplayMode m) { DisplayMode_ = m, Update(); }
  int GridWidth() const { return GridWidth_; }
  void SetGridWidth(int w) { GridWidth_ = w, Update(); }
  TVLMStyle Style() const { return Style_; }
  void SetStyle(TVLMStyle s);
  TVLSStyle SelectionStyle() const { return SelectionStyle_; }
  void SetSelectionStyle(TVLSStyle s);
  bool VisibleSelection() const { return VisibleSelection_; }
  void SetVisibleSelection(bool v) { VisibleSelection_ = v, Update(); }
  int SelectionWidth() const { return SelectionWidth_; }
  void SetSelectionWidth(int w) { SelectionWidth_ = w, Update(); }
  TColor SelectionColor() const { return SelectionColor_; }
  void SetSelectionColor(TColor c) { SelectionColor_ = c, Update(); }
  TColor ThumbnailsBackground() const { return ThumbnailsBackground_; }
  void SetThumbnailsBackground(TColor c) { ThumbnailsBackground_ = c, Update(); }
  int ThumbnailsBorderWidth() const { return ThumbnailsBorderWidth_; }
  void SetThumbnailsBorderWidth(int w);
  TColor ThumbnailsBorderColor() const { return ThumbnailsBorderColor_; }
  void SetThumbnailsBorderColor(TColor c);
  bool DrawImageBackground() const { return DrawImageBackground_; }
  void SetDrawImageBackground(bool v) { DrawImageBackground_ = v, Update(); }
  const QImage& WallPaper() const { return WallPaper_; }
  void SetWallPaper(const QImage& picture) { WallPaper_ = picture, Update(); }
  TVLWallPaperStyle WallPaperStyle() const { return WallPaperStyle_; }
  void SetWallPaperStyle(TVLWallPaperStyle s);
  TScrollStyle ScrollBars() const { return ScrollBars_; }
  void SetScrollBars(TScrollStyle bars);
  TVLScrollBarParams HorizScrollBarParams;
  TVLScrollBarParams VertScrollBarParams;
  TViewChangeEvent OnViewChange;
  TVLMProgressEvent OnDrawProgress;
  TVLImageDrawEvent OnImageDraw;

  int ViewX() const { return ViewX_; }
  int ViewY() const { return ViewY_; }
  int ContentWidth() const { return ContentWidth_; }
  int ContentHeight() const { return ContentHeight_; }
  QPoint GetMaxView() const;
  TVLImageVisibility IsImageVisible(int index) const;
  int Columns() const;
  // Paints the whole client area onto `painter` (origin at the client's top-left).
  void PaintTo(QPainter& painter);

  // ---- interaction
  int MouseInteract = mmiSelect;
  int KeyInteract = mkiMoveSelected;
  bool EnableMultiSelect() const { return EnableMultiSelect_; }
  void SetEnableMultiSelect(bool v);
  int MultiSelectionOptions = 0;
  TVLImageSelectEvent OnImageSelect;

  void SetSelectedImage(int index);
  int SelectedImage() const { return Selected_; }
  void Deselect();
  bool IsSelected(int index) const;
  const std::vector<int>& MultiSelectedImages() const { return MultiSelection_; }
  void SetViewX(int x);
  void SetViewY(int y);
  void SetViewXY(int x, int y);
  int HitTest(int x, int y) const;

  // ---- transitions: the effect and duration meant for this view, held by its engine
  TVLTransitionType TransitionEffect() const { return Transition_->Effect(); }
  void SetTransitionEffect(TVLTransitionType effect) { Transition_->SetEffect(effect); }
  int TransitionDuration() const { return Transition_->Duration(); }
  void SetTransitionDuration(int ms) { Transition_->SetDuration(ms); }
  TVLTransitionEffects& Transition() { return *Transition_; }
  // Client area (inside the border, without the scroll bars).
  int ClientWidth() const;
  int ClientHeight() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  bool event(QEvent* event) override;

 private:
  struct TEntry;

  TEntry* Entry(int index) const;
  void InsertEntry(int index, bool select);
  // Stores ready pixels (already a thumbnail in vltThumb mode) as the entry's image.
  void StoreImage(int index, const TBitmap& pixels);
  void PlanThumbnails();
  void RequestThumbnail(TEntry& entry, int priority);
  void ThumbnailArrived(uint64_t serial, uint64_t ticket, const TPicturePtr& result);
  int IndexOfSerial(uint64_t serial) const;
  void UpdateCell(int index);
  void SelectionStep(int index);
  bool RememberReadFailure(TEntry& entry);
  void AcquireCurrentBitmap();
  void ReleaseCurrentBitmap();
  void DropSelection();
  void Layout();
  void UpdateScrollBars();
  void SelectAt(int x, int y, Qt::KeyboardModifiers modifiers);
  void ScrollRequest(QScrollBar* bar, int action);
  bool PaintEntry(QPainter& painter, int index, QRegion& painted);
  void PaintPageMark(QPainter& painter, const TEntry& entry, int right, int top);
  void DrawStoredImage(QPainter& painter, TEntry& entry, const QRect& target);
  QPoint ToClient(const QPoint& widgetPoint) const;
  friend class TVLMText;
  void RaiseGap(TVLMTextPosition position, int textHeight);
  int TextHeight(const QFont& font);
  QFont MeasuredFont_;
  int MeasuredHeight_ = -1;

  std::vector<std::unique_ptr<TEntry>> Entries_;
  // What the entries' places were computed with, and how many leading entries still hold them.
  struct TLayoutKey {
    int Columns = 0, ThumbWidth = 0, ThumbHeight = 0, HorizBorder = 0, VertBorder = 0;
    TVLMDisplayMode Mode = mdGrid;
    bool operator==(const TLayoutKey&) const = default;
  };
  TLayoutKey LayoutKey_;
  int LaidOut_ = 0;
  std::unique_ptr<TVLVirtualDIBList> Store_;
  TVeloraIO Reader_;
  TVeloraLoader* Loader_ = nullptr;
  TLoadChannelPtr ThumbChannel_;
  uint64_t NextSerial_ = 1;
  TVLStoreType StoreType_ = vltNormal;
  int ThumbWidth_ = 100;
  int ThumbHeight_ = 100;
  int Selected_ = -1;
  TBitmap* CurrentBitmap_ = nullptr;
  TVLPendingAction PendingAction_ = vlpaNone;
  int PendingIndex_ = 0;
  int LockCount_ = 0;
  bool Destroying_ = false;

  int HorizBorder_ = 4;
  int VertBorder_ = 4;
  int UpperGap_ = 0;
  int BottomGap_ = 0;
  TVLMDisplayMode DisplayMode_ = mdGrid;
  int GridWidth_ = 0;
  TVLMStyle Style_ = vlmsACD;
  TVLSStyle SelectionStyle_ = vlssAround;
  bool VisibleSelection_ = true;
  int SelectionWidth_ = 3;
  TColor SelectionColor_ = 255;
  TColor ThumbnailsBackground_ = clBtnFace;
  int ThumbnailsBorderWidth_ = 0;
  TColor ThumbnailsBorderColor_ = clBtnFace;
  bool DrawImageBackground_ = false;
  QImage WallPaper_;
  TVLWallPaperStyle WallPaperStyle_ = vlwoNormal;
  TScrollStyle ScrollBars_ = ssNone;
  QScrollBar* HScroll_ = nullptr;
  QScrollBar* VScroll_ = nullptr;
  double ScaleX_ = 1.0;
  double ScaleY_ = 1.0;
  int ViewX_ = 0;
  int ViewY_ = 0;
  int ContentWidth_ = 0;
  int ContentHeight_ = 0;
  int CurrentFrame_ = 0;

  bool EnableMultiSelect_ = false;
  std::vector<int> MultiSelection_;
  bool Toggle_ = false;
  bool Keep_ = false;
  QPoint Anchor_;
  QPoint AnchorView_;
  int AnchorEntry_ = -1;
  int LastEntry_ = -1;
  bool DoubleClicked_ = false;
  bool ButtonDown_ = false;
  bool InUpdate_ = false;
  std::unique_ptr<TVLTransitionEffects> Transition_ = std::make_unique<TVLTransitionEffects>(this);
};

}  // namespace velora
