#include "velora_mview.h"

#include "view/qt/vl_draw.h"

#include <QFileInfo>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace velora {

struct TVeloraMView::TEntry {
  TVLImageHandle* Image = nullptr;
  int X = 0, Y = 0, Row = 0, Col = 0;
  TColor Background = clBtnFace;
  std::string FileName;
  int ImageID = -1;
  int FrameDelay = 0;
  int Pages = 1;
  std::unique_ptr<TVLMText> TopText, BottomText, InfoText;
  std::string ReadFailure;  // why the last read of FileName failed; empty after a good one
  // Reading on the loader: the entry's own number (indexes move), the number of its latest
  // request (an older one's result is stale), whether one is under way, whether it failed.
  uint64_t Serial = 0;
  uint64_t Ticket = 0;
  bool Queued = false;
  bool Failed = false;
};

namespace {

// The words of the exception being handled, for a read that raised instead of aborting.
std::string HandledExceptionText() {
  try {
    throw;
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return {};
  }
}

}  // namespace

// ---- captions -----------------------------------------------------------------------------

TVLMText::TVLMText(TVeloraMView* owner, TVLMTextPosition position)
    : Font(owner ? owner->font() : QFont()),
      Background(owner ? owner->Background() : clBtnFace),
      Owner_(owner),
      Position_(position) {}

void TVLMText::SetCaption(const std::string& caption) {
  if (Owner_) Owner_->RaiseGap(Position_, Owner_->TextHeight(Font));
  Caption_ = caption;
}

int TVeloraMView::TextHeight(const QFont& font) {
  // Captions nearly always use the view's font: measuring it once serves thousands of them.
  if (!(font == MeasuredFont_) || MeasuredHeight_ < 0) {
    MeasuredFont_ = font;
    MeasuredHeight_ = QFontMetrics(font).height();
  }
  return MeasuredHeight_;
}

void TVeloraMView::RaiseGap(TVLMTextPosition position, int h) {
  int g = h + 2;
  if (position == vlmtTop && UpperGap_ < g) UpperGap_ = g;
  if (position == vlmtBottom && BottomGap_ < g) BottomGap_ = Style_ == vlmsACD ? h + 4 : g;
}

// ---- construction -------------------------------------------------------------------------

TVeloraMView::TVeloraMView(QWidget* parent) : TVLView(parent), Store_(std::make_unique<TVLVirtualDIBList>()) {
  resize(180, 90);
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  HScroll_ = new QScrollBar(Qt::Horizontal, this);
  VScroll_ = new QScrollBar(Qt::Vertical, this);
  HScroll_->hide();
  VScroll_->hide();
  for (QScrollBar* bar : {HScroll_, VScroll_}) {
    bar->setRange(0, 65535);
    bar->setFocusPolicy(Qt::NoFocus);
    connect(bar, &QScrollBar::actionTriggered, this, [this, bar](int action) { ScrollRequest(bar, action); });
    // The thumb's final position, which counts even when tracking while dragging is off.
    connect(bar, &QScrollBar::sliderReleased, this, [this, bar] {
      if (bar == VScroll_)
        SetViewY(int(bar->sliderPosition() * ScaleY_));
      else
        SetViewX(int(bar->sliderPosition() * ScaleX_));
    });
  }
}

TVeloraMView::~TVeloraMView() {
  Destroying_ = true;
  SetLoader(nullptr);
  DropSelection();
  Entries_.clear();
  Store_.reset();
}

// ---- entries ------------------------------------------------------------------------------

TVeloraMView::TEntry* TVeloraMView::Entry(int index) const {
  return index >= 0 && index < ImageCount() ? Entries_[size_t(index)].get() : nullptr;
}

int TVeloraMView::AppendImage() {
  int index = ImageCount();
  InsertImage(index);
  return index;
}

int TVeloraMView::AppendImageQuietly() {
  int index = ImageCount();
  InsertEntry(index, false);
  return index;
}

void TVeloraMView::InsertImage(int index) { InsertEntry(index, true); }

void TVeloraMView::InsertEntry(int index, bool select) {
  auto entry = std::make_unique<TEntry>();
  entry->Serial = NextSerial_++;
  entry->Background = Background();
  entry->TopText = std::make_unique<TVLMText>(this, vlmtTop);
  entry->BottomText = std::make_unique<TVLMText>(this, vlmtBottom);
  entry->InfoText = std::make_unique<TVLMText>(this, vlmtInfo);
  if (index < 0) index = 0;
  if (index >= ImageCount()) index = ImageCount();
  Entries_.insert(Entries_.begin() + index, std::move(entry));
  LaidOut_ = std::min(LaidOut_, index);
  // The selection follows its entry; then the new one is selected without an event.
  if (Selected_ >= index) ++Selected_;
  for (int& m : MultiSelection_)
    if (m >= index) ++m;
  if (select) SelectionStep(index);
  PendingAction_ = vlpaInserted;
  PendingIndex_ = index;
  NotifyChangeListeners();
  // While painting is locked (a batch of entries coming in) the layout waits for the unlock.
  if (LockCount_ == 0) Update();
}

bool TVeloraMView::DeleteImage(int index) {
  if (index < 0 || index >= ImageCount()) return false;
  int wasSelected = Selected_;
  DropSelection();
  TEntry* e = Entries_[size_t(index)].get();
  if (e->Image) Store_->ReleaseImage(e->Image);
  Entries_.erase(Entries_.begin() + index);
  LaidOut_ = std::min(LaidOut_, index);
  std::erase(MultiSelection_, index);
  for (int& m : MultiSelection_)
    if (m > index) --m;
  int count = ImageCount();
  if (wasSelected == index && index >= count)
    Selected_ = count - 1;
  else if (wasSelected > index)
    Selected_ = wasSelected - 1;
  else
    Selected_ = std::min(wasSelected, count - 1);
  if (Selected_ >= 0) AcquireCurrentBitmap();
  PendingAction_ = vlpaDeleted;
  PendingIndex_ = index;
  NotifyChangeListeners();
  return true;
}

void TVeloraMView::Clear() {
  if (Loader_) Loader_->Renew(ThumbChannel_);
  DropSelection();
  // With a selection left in place every deletion would select the next entry and read its
  // file: clearing a folder of thousands of entries would read all of them once.
  Selected_ = -1;
  MultiSelection_.clear();
  Update();
  while (!Entries_.empty()) DeleteImage(0);
  int cache = Store_->ImageCacheSize();
  Store_ = std::make_unique<TVLVirtualDIBList>();
  Store_->SetImageCacheSize(cache);
  Update();
}

void TVeloraMView::SetImageFileName(int index, const std::string& name) {
  if (TEntry* e = Entry(index)) {
    e->FileName = name;
    e->ImageID = -1;
    e->ReadFailure.clear();  // said of the old name
    e->Failed = e->Queued = false;
    ++e->Ticket;
  }
}

std::string TVeloraMView::GetImageFileName(int index) const {
  TEntry* e = Entry(index);
  return e ? e->FileName : std::string();
}

void TVeloraMView::SetImageID(int index, int id) {
  if (TEntry* e = Entry(index)) e->ImageID = id;
}

TVLMText* TVeloraMView::ImageTopText(int index) {
  TEntry* e = Entry(index);
  return e ? e->TopText.get() : nullptr;
}
TVLMText* TVeloraMView::ImageBottomText(int index) {
  TEntry* e = Entry(index);
  return e ? e->BottomText.get() : nullptr;
}
TVLMText* TVeloraMView::ImageInfoText(int index) {
  TEntry* e = Entry(index);
  return e ? e->InfoText.get() : nullptr;
}
TColor TVeloraMView::ImageBackground(int index) const {
  TEntry* e = Entry(index);
  return e ? e->Background : Background();
}
bool TVeloraMView::HasStoredImage(int index) const {
  TEntry* e = Entry(index);
  return e && e->Image;
}
int TVeloraMView::ImageRow(int index) const {
  TEntry* e = Entry(index);
  return e ? e->Row : 0;
}
int TVeloraMView::ImageCol(int index) const {
  TEntry* e = Entry(index);
  return e ? e->Col : 0;
}
int TVeloraMView::ImageX(int index) const {
  TEntry* e = Entry(index);
  return e ? e->X : 0;
}
int TVeloraMView::ImageY(int index) const {
  TEntry* e = Entry(index);
  return e ? e->Y : 0;
}

void TVeloraMView::MakeThumbnail(const TBitmap& bitmap, int thumbWidth, int thumbHeight, TBitmap& thumb) {
  int w = bitmap.Width(), h = bitmap.Height();
  if (w <= 0 || h <= 0) {
    thumb.Reset(0, 0, TPixelFormat::pf24bit);
    return;
  }
  // Images smaller than the box are enlarged to fill it.
  double s = std::min(double(thumbHeight) / h, double(thumbWidth) / w);
  int tw = std::max(1, int(std::trunc(w * s)));
  int th = std::max(1, int(std::trunc(h * s)));
  thumb.Reset(tw, th, TPixelFormat::pf24bit);
  if (bitmap.PixelFormat() == TPixelFormat::pf1bit)
    ReduceBitmap1Bit(bitmap, TRect{0, 0, w, h}, thumb);
  else if (bitmap.PixelFormat() == TPixelFormat::pf24bit)
    ResampleBitmap(bitmap, thumb, rfFastLinear);
}

void TVeloraMView::SetImage(int index, const TBitmap& bitmap) {
  if (!Entry(index)) return;
  if (StoreType_ == vltThumb) {
    TBitmap thumb;
    MakeThumbnail(bitmap, ThumbWidth_, ThumbHeight_, thumb);
    StoreImage(index, thumb);
  } else {
    StoreImage(index, bitmap);
  }
}

void TVeloraMView::StoreImage(int index, const TBitmap& pixels) {
  TEntry* e = Entry(index);
  bool selected = index == Selected_;
  if (selected) ReleaseCurrentBitmap();
  if (e->Image) {
    Store_->ReleaseImage(e->Image);
    e->Image = nullptr;
  }
  if (!pixels.Empty()) e->Image = Store_->AddBitmap(pixels);
  if (selected) AcquireCurrentBitmap();
}

void TVeloraMView::InvalidateImage(int index) {
  TEntry* e = Entry(index);
  if (!e) return;
  bool selected = index == Selected_;
  if (selected) ReleaseCurrentBitmap();
  if (e->Image) {
    Store_->ReleaseImage(e->Image);
    e->Image = nullptr;
  }
  e->ReadFailure.clear();
  e->Failed = false;
  e->Queued = false;
  ++e->Ticket;  // what is under way was read from the old file
  if (selected) AcquireCurrentBitmap();
  UpdateCell(index);
}

// ---- reading on the loader ------------------------------------------------------------------

void TVeloraMView::SetLoader(TVeloraLoader* loader) {
  if (Loader_ && ThumbChannel_) Loader_->Renew(ThumbChannel_);
  for (auto& e : Entries_) e->Queued = false;
  Loader_ = loader;
  ThumbChannel_ = loader ? loader->NewChannel() : nullptr;
  update();
}

namespace {

bool HasTransparency(const TBitmap& b, const TVLMask& alpha) {
  return alpha.BitsPerPixel() == 8 && !alpha.Full() && alpha.Width() == b.Width() && alpha.Height() == b.Height() &&
         b.PixelFormat() == TPixelFormat::pf24bit;
}

// The thumbnail of a picture with transparent parts, over the checkerboard the view shows
// under them. Colour and coverage are reduced apart, the colour weighted by its coverage, so
// that the colour of hidden pixels does not bleed into the edges.
void MakeThumbnailOverChecker(const TBitmap& bitmap, const TVLMask& alpha, int thumbWidth, int thumbHeight,
                              TBitmap& thumb) {
  const int w = bitmap.Width(), h = bitmap.Height();
  TBitmap weighted(w, h, TPixelFormat::pf24bit), cover(w, h, TPixelFormat::pf24bit);
  for (int y = 0; y < h; ++y) {
    const uint8_t* s = bitmap.ScanLine(y);
    const uint8_t* a = alpha.ScanLine(y);
    uint8_t* d = weighted.ScanLine(y);
    uint8_t* c = cover.ScanLine(y);
    for (int x = 0; x < 3 * w; ++x) {
      d[x] = uint8_t((s[x] * a[x / 3] + 127) / 255);
      c[x] = a[x / 3];
    }
  }
  TBitmap coverThumb;
  TVeloraMView::MakeThumbnail(weighted, thumbWidth, thumbHeight, thumb);
  TVeloraMView::MakeThumbnail(cover, thumbWidth, thumbHeight, coverThumb);
  for (int y = 0; y < thumb.Height(); ++y) {
    uint8_t* d = thumb.ScanLine(y);
    const uint8_t* c = coverThumb.ScanLine(y);
    for (int x = 0; x < thumb.Width(); ++x) {
      const TRGB under = CheckerColour(x, y);
      const uint8_t u[3] = {under.b, under.g, under.r};
      for (int ch = 0; ch < 3; ++ch)
        d[3 * x + ch] = uint8_t(std::min(255, d[3 * x + ch] + (u[ch] * (255 - c[3 * x + ch]) + 127) / 255));
    }
  }
}

// The thumbnail of a read picture, in place of its pixels.
void ReduceToThumbnail(TPictureResult& picture, int thumbWidth, int thumbHeight) {
  TBitmap thumb;
  if (HasTransparency(picture.Bitmap, picture.Alpha))
    MakeThumbnailOverChecker(picture.Bitmap, picture.Alpha, thumbWidth, thumbHeight, thumb);
  else
    TVeloraMView::MakeThumbnail(picture.Bitmap, thumbWidth, thumbHeight, thumb);
  picture.Bitmap.SwapPixels(thumb);
  picture.Alpha.Free();
}

}  // namespace

TPicturePtr TVeloraMView::ReadThumbnail(const TPictureRequest& request, int thumbWidth, int thumbHeight,
                                        const std::function<bool()>& stop) {
  TPicturePtr picture = ReadPicture(request, stop);
  if (!picture->Failed && thumbWidth > 0) ReduceToThumbnail(*picture, thumbWidth, thumbHeight);
  return picture;
}

namespace {

// The picture's pixels as a QImage (rows top-down), for the thumbnail cache; transparent
// parts stay transparent there, for the desktop to show them its way.
QImage ToQImage(const TBitmap& b, const TVLMask& alpha) {
  QImage wrapped(b.Bits(), b.Width(), b.Height(), b.RowLen(), QImage::Format_BGR888);
  QImage image = wrapped.mirrored();  // the rows are stored bottom-up; this also copies them
  if (!HasTransparency(b, alpha)) return image;
  image = image.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < image.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    const uint8_t* a = alpha.ScanLine(y);
    for (int x = 0; x < image.width(); ++x) row[x] = (row[x] & 0x00ffffffu) | (QRgb(a[x]) << 24);
  }
  return image;
}

// A cached thumbnail as a 24-bit bitmap, with its alpha when it has some.
void FromQImage(const QImage& image, TBitmap& b, TVLMask& alpha) {
  const QImage rgb = image.convertToFormat(QImage::Format_BGR888);
  b.Reset(rgb.width(), rgb.height(), TPixelFormat::pf24bit);
  for (int y = 0; y < rgb.height(); ++y) std::memcpy(b.ScanLine(y), rgb.constScanLine(y), size_t(rgb.width()) * 3);
  if (!image.hasAlphaChannel()) return;
  // Straight (not premultiplied) colours: the converted rows above are already those.
  const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
  alpha.Allocate(argb.width(), argb.height(), 8);
  for (int y = 0; y < argb.height(); ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
    uint8_t* a = alpha.ScanLine(y);
    for (int x = 0; x < argb.width(); ++x) a[x] = uint8_t(qAlpha(row[x]));
  }
  alpha.UpdateBoxFromPixels();
}

}  // namespace

TPicturePtr TVeloraMView::ReadThumbnailCached(const TVLThumbnailCache& cache, const TPictureRequest& request,
                                              int thumbWidth, int thumbHeight, const std::function<bool()>& stop) {
  if (!cache.Enabled() || thumbWidth <= 0) return ReadThumbnail(request, thumbWidth, thumbHeight, stop);
  const QString path = QFileInfo(QString::fromStdString(request.FileName)).absoluteFilePath();
  const int size = std::max(thumbWidth, thumbHeight);
  auto picture = std::make_shared<TPictureResult>();
  picture->FileName = request.FileName;
  if (cache.HasFailed(path)) {
    picture->Failed = true;
    picture->Reason = "the file could not be read (remembered in the thumbnail cache)";
    return picture;
  }
  const QImage cached = cache.Lookup(path, size);
  if (!cached.isNull()) {
    FromQImage(cached, picture->Bitmap, picture->Alpha);
    picture->Background = TRGBToTColor(request.Background);
    ReduceToThumbnail(*picture, thumbWidth, thumbHeight);
    return picture;
  }
  // Read at the scale the cache's folder needs, keep that, and reduce it for the cell.
  TPictureRequest forCache = request;
  forCache.Width = forCache.Height = TVLThumbnailCache::FolderSize(size);
  picture = ReadPicture(forCache, stop);
  if (picture->Failed) {
    if (!(stop && stop())) cache.RecordFailure(path);
    return picture;
  }
  if (picture->Bitmap.PixelFormat() == TPixelFormat::pf24bit) {
    // The picture's own size is known when it was read whole; a reduced JPEG only says it roughly.
    const bool whole = picture->Params && picture->Params->JpegScaleUsed <= 1;
    cache.Store(path, ToQImage(picture->Bitmap, picture->Alpha), size, whole ? picture->Bitmap.Width() : 0,
                whole ? picture->Bitmap.Height() : 0, QString());
  }
  ReduceToThumbnail(*picture, thumbWidth, thumbHeight);
  return picture;
}

void TVeloraMView::RequestThumbnail(TEntry& e, int priority) {
  e.Queued = true;
  TPictureRequest request;
  request.FileName = e.FileName;
  // Resolved here: system colours are known on the GUI thread only.
  request.Background = ColorToRGB(e.Background);
  request.Upright = true;  // photos stand upright in the column, as their camera meant them
  const bool thumb = StoreType_ == vltThumb;
  // A JPEG is decoded at the smallest scale that still covers the thumbnail.
  request.JpegScale = thumb ? 0 : 1;
  request.Width = ThumbWidth_;
  request.Height = ThumbHeight_;
  const int tw = thumb ? ThumbWidth_ : 0, th = ThumbHeight_;
  TThumbnailSource source = ThumbnailSource ? ThumbnailSource : ReadThumbnail;
  const uint64_t serial = e.Serial, ticket = e.Ticket;
  QPointer<TVeloraMView> self(this);
  Loader_->Submit(ThumbChannel_, priority, int64_t(serial), this,
                  [self, source, request, tw, th, serial, ticket](const TLoadTicket& job) -> TLoadDone {
                    TPicturePtr result = source(request, tw, th, [&job] { return job.Stale(); });
                    return [self, serial, ticket, result] {
                      if (self) self->ThumbnailArrived(serial, ticket, result);
                    };
                  });
}

int TVeloraMView::IndexOfSerial(uint64_t serial) const {
  for (size_t i = 0; i < Entries_.size(); ++i)
    if (Entries_[i]->Serial == serial) return int(i);
  return -1;
}

void TVeloraMView::ThumbnailArrived(uint64_t serial, uint64_t ticket, const TPicturePtr& result) {
  const int index = IndexOfSerial(serial);
  TEntry* e = Entry(index);
  if (!e || e->Ticket != ticket) return;  // deleted, or its file was replaced meanwhile
  e->Queued = false;
  if (result->Failed) {
    // Tried once: a failed cell is not read again at every paint, only when its file changes.
    e->Failed = true;
    e->ReadFailure = !result->Reason.empty() ? result->Reason : "the file could not be read";
    if (RemoveCorrupted) {
      DeleteImage(index);
      Update();
    } else {
      UpdateCell(index);
    }
    return;
  }
  e->ReadFailure.clear();
  e->Background = result->Background;
  StoreImage(index, result->Bitmap);
  UpdateCell(index);
}

QString TVeloraMView::ToolTipAt(int x, int y) const {
  const int index = HitTest(x, y);
  const TEntry* e = Entry(index);
  if (!e) return {};
  const std::string failure = ImageReadFailure(index);
  if (!failure.empty()) return QString::fromStdString(failure);
  // A caption cut short (as it is drawn: the bottom one inside its band's frame) shows whole.
  const auto cut = [this](const TVLMText& text, int shift) {
    return QFontMetrics(text.Font).horizontalAdvance(QString::fromStdString(text.Caption())) > ThumbWidth_ - shift;
  };
  QStringList whole;
  if (cut(*e->BottomText, 2)) whole << QString::fromStdString(e->BottomText->Caption());
  if (cut(*e->InfoText, 0)) whole << QString::fromStdString(e->InfoText->Caption());
  return whole.join("\n");
}

void TVeloraMView::UpdateCell(int index) {
  TEntry* e = Entry(index);
  if (!e) return;
  const int m = std::max(SelectionWidth_, ThumbnailsBorderWidth_) + 1;
  update(QRect(e->X - ViewX_ - m, e->Y - ViewY_ - m, ThumbWidth_ + 2 * m, ThumbHeight_ + 2 * m)
             .translated(ClientOrigin()));
}

void TVeloraMView::PlanThumbnails() {
  if (!Loader_ || LockCount_ > 0) return;
  // What was asked for and not started yet is asked for again in the new order.
  for (int64_t serial : Loader_->TakeQueued(ThumbChannel_))
    if (TEntry* e = Entry(IndexOfSerial(uint64_t(serial)))) e->Queued = false;
  const int cw = ClientWidth(), ch = ClientHeight();
  const QRect visible(ViewX_, ViewY_, cw, ch);
  // The next screenful each way.
  const QRect near = visible.adjusted(-cw, -ch, cw, ch);
  auto wants = [this](const TEntry& e) {
    return !e.Image && !e.Failed && !e.Queued && e.ImageID < 0 && !e.FileName.empty();
  };
  std::vector<TEntry*> later;
  for (auto& p : Entries_) {
    TEntry& e = *p;
    if (!wants(e)) continue;
    const QRect cell(e.X, e.Y, ThumbWidth_, ThumbHeight_);
    if (cell.intersects(visible))
      RequestThumbnail(e, kVisiblePriority);
    else if (cell.intersects(near))
      later.push_back(&e);
  }
  for (TEntry* e : later) RequestThumbnail(*e, kNearPriority);
}

bool TVeloraMView::ObtainImage(int index) {
  TEntry* e = Entry(index);
  if (!e) return false;
  if (e->ImageID >= 0 && OnImageIDRequest) {
    TBitmap* bitmap = nullptr;
    OnImageIDRequest(this, e->ImageID, bitmap);
    if (bitmap) SetImage(index, *bitmap);
    return true;
  }
  if (e->FileName.empty()) return true;
  TBitmap bitmap;
  bitmap.Reset(1, 1, TPixelFormat::pf24bit);
  // The reader composites transparent pixels over this colour: it gets the pixels a system
  // colour stands for, not its name.
  Reader_.SetBackground(TRGBToTColor(ColorToRGB(e->Background)));
  Reader_.AttachBitmap(&bitmap);
  Reader_.OnProgress = OnIOProgress;
  // Photos stand upright in the column, as their camera meant them.
  Reader_.Params().JpegApplyOrientation = true;
  Reader_.Params().ConvertToSRGB = true;  // and in the screen's colours
  if (StoreType_ == vltThumb) {
    // A JPEG is decoded at the smallest scale that still covers the thumbnail.
    Reader_.Params().JpegScale = 0;
    Reader_.Params().Width = ThumbWidth_;
    Reader_.Params().Height = ThumbHeight_;
  } else {
    Reader_.Params().JpegScale = 1;
  }
  try {
    Reader_.LoadFromFile(e->FileName);
  } catch (...) {
    // A file that vanished since the scan is an unreadable entry, not an error of painting.
    Reader_.Aborting = true;
    Reader_.AbortReason = HandledExceptionText();
  }
  Reader_.AttachBitmap(nullptr);
  if (Reader_.Aborting) return RememberReadFailure(*e);
  e->ReadFailure.clear();
  e->Background = Reader_.Background();
  SetImage(index, bitmap);
  return true;
}

bool TVeloraMView::RememberReadFailure(TEntry& entry) {
  // A few readers stop without saying why; the cell still owns up to the failure.
  entry.ReadFailure = !Reader_.AbortReason.empty() ? Reader_.AbortReason : "the file could not be read";
  return false;
}

std::string TVeloraMView::ImageReadFailure(int index) const {
  TEntry* e = Entry(index);
  return e ? e->ReadFailure : std::string();
}

TBitmap* TVeloraMView::GetImageBitmap(int index) {
  TEntry* e = Entry(index);
  if (!e) return nullptr;
  if (!e->Image) ObtainImage(index);
  return e->Image ? Store_->CheckOut(e->Image) : nullptr;
}

TVLPendingAction TVeloraMView::TakePendingAction(int& index) {
  TVLPendingAction action = PendingAction_;
  index = PendingIndex_;
  PendingAction_ = vlpaNone;
  return action;
}

// ---- selection ----------------------------------------------------------------------------

void TVeloraMView::AcquireCurrentBitmap() {
  // With a loader, selecting never reads: the entry's pixels come when its job delivers them.
  TEntry* e = Entry(Selected_);
  if (Loader_ && e && e->FileName.size() && e->ImageID < 0)
    CurrentBitmap_ = e->Image ? Store_->CheckOut(e->Image) : nullptr;
  else
    CurrentBitmap_ = GetImageBitmap(Selected_);
}

void TVeloraMView::ReleaseCurrentBitmap() {
  if (CurrentBitmap_) Store_->CheckIn(CurrentBitmap_, true);
  CurrentBitmap_ = nullptr;
}

void TVeloraMView::DropSelection() {
  if (CurrentBitmap_ && Store_) {
    TEntry* e = Entry(Selected_);
    if (e && e->Image)
      Store_->CheckInByHandle(e->Image, true);
    else
      Store_->CheckIn(CurrentBitmap_, false);
  }
  CurrentBitmap_ = nullptr;
}

void TVeloraMView::SelectionStep(int index) {
  if (!Entry(index)) return;
  ReleaseCurrentBitmap();
  if (EnableMultiSelect_) {
    auto it = std::find(MultiSelection_.begin(), MultiSelection_.end(), index);
    if (Toggle_ && it != MultiSelection_.end()) {
      MultiSelection_.erase(it);
      if (!Keep_) {
        Selected_ = -1;
        return;
      }
    }
    if (!Toggle_) MultiSelection_.clear();
    MultiSelection_.push_back(index);
  }
  Selected_ = index;
  AcquireCurrentBitmap();
}

void TVeloraMView::SetSelectedImage(int index) {
  SelectionStep(index);
  Update();
  if (OnImageSelect) OnImageSelect(this, Selected_);
}

void TVeloraMView::Deselect() {
  ReleaseCurrentBitmap();
  Selected_ = -1;
  MultiSelection_.clear();
  Update();
}

bool TVeloraMView::IsSelected(int index) const {
  if (index == Selected_ && index >= 0) return true;
  return EnableMultiSelect_ && std::find(MultiSelection_.begin(), MultiSelection_.end(), index) != MultiSelection_.end();
}

void TVeloraMView::SetEnableMultiSelect(bool v) {
  if (v == EnableMultiSelect_) return;
  EnableMultiSelect_ = v;
  Update();
}

// ---- properties ---------------------------------------------------------------------------

void TVeloraMView::SetThumbWidth(int w) {
  ThumbWidth_ = w;
  Update();
}
void TVeloraMView::SetThumbHeight(int h) {
  ThumbHeight_ = h;
  Update();
}
void TVeloraMView::SetImageCacheSize(int size) { Store_->SetImageCacheSize(size); }
void TVeloraMView::SetStyle(TVLMStyle s) {
  if (s != Style_) Style_ = s, Update();
}
void TVeloraMView::SetSelectionStyle(TVLSStyle s) {
  if (s != SelectionStyle_) SelectionStyle_ = s, Update();
}
void TVeloraMView::SetThumbnailsBorderWidth(int w) {
  if (w != ThumbnailsBorderWidth_) ThumbnailsBorderWidth_ = w, Update();
}
void TVeloraMView::SetThumbnailsBorderColor(TColor c) {
  if (c != ThumbnailsBorderColor_) ThumbnailsBorderColor_ = c, Update();
}
void TVeloraMView::SetWallPaperStyle(TVLWallPaperStyle s) {
  if (s != WallPaperStyle_) WallPaperStyle_ = s, Update();
}
void TVeloraMView::SetBackground(TColor colour) {
  TVLView::SetBackground(colour);
  update();
}
void TVeloraMView::SetScrollBars(TScrollStyle bars) {
  ScrollBars_ = bars;
  if (bars == ssHorizontal || bars == ssBoth) HScroll_->hide();
  if (bars == ssVertical || bars == ssBoth) VScroll_->hide();
  Update();
}

void TVeloraMView::UnlockUpdate() {
  if (LockCount_ > 0 && --LockCount_ == 0) Update();
}
void TVeloraMView::UnlockUpdateNoRefresh() {
  if (LockCount_ > 0) --LockCount_;
}

// ---- layout -------------------------------------------------------------------------------

int TVeloraMView::ClientWidth() const {
  return ClientRect().width() - (VScroll_->isVisibleTo(this) ? VScroll_->sizeHint().width() : 0);
}
int TVeloraMView::ClientHeight() const {
  return ClientRect().height() - (HScroll_->isVisibleTo(this) ? HScroll_->sizeHint().height() : 0);
}

int TVeloraMView::Columns() const {
  if (GridWidth_ != -1) return GridWidth_;
  int columns = (ClientWidth() - HorizBorder_) / (HorizBorder_ + ThumbWidth_);
  return std::max(columns, 0);
}

void TVeloraMView::Layout() {
  const TLayoutKey key{Columns(), ThumbWidth_, ThumbHeight_, HorizBorder_, VertBorder_, DisplayMode_};
  // Every insertion runs Update, so a folder scan lays out again after each entry: entries
  // before the first one inserted or deleted since the last layout keep their places when
  // nothing else changed, which keeps a scan of thousands of files linear.
  const int count = ImageCount();
  int start = key == LayoutKey_ ? std::min(LaidOut_, count) : 0;
  int row = 0, col = 0;
  if (start > 0) {
    const TEntry& prev = *Entries_[size_t(start - 1)];
    row = prev.Row;
    col = prev.Col + 1;
    if (DisplayMode_ == mdSingle || col == key.Columns) {
      col = 0;
      if (DisplayMode_ != mdSingle) ++row;
    }
  }
  for (int i = start; i < count; ++i) {
    TEntry& e = *Entries_[size_t(i)];
    e.X = col * (ThumbWidth_ + HorizBorder_);
    e.Y = row * (ThumbHeight_ + VertBorder_);
    if (DisplayMode_ == mdGrid) {
      e.X += HorizBorder_;
      e.Y += VertBorder_;
    }
    e.Row = row;
    e.Col = col;
    ++col;
    if (DisplayMode_ == mdSingle || col == key.Columns) {
      col = 0;
      if (DisplayMode_ != mdSingle) ++row;
    }
  }
  LayoutKey_ = key;
  LaidOut_ = count;
  // The largest X and Y of all cells (0 with none): the columns used are 0 .. the last one of
  // the first row and the rows 0 .. the last entry's, and X and Y grow linearly with them, so
  // the largest values are at one of the two ends.
  int maxX = 0, maxY = 0;
  if (count > 0) {
    const int lastCol = DisplayMode_ == mdSingle ? 0 : key.Columns > 0 ? std::min(count, key.Columns) - 1 : count - 1;
    const int lastRow = Entries_.back()->Row;
    const int shiftX = DisplayMode_ == mdGrid ? HorizBorder_ : 0, shiftY = DisplayMode_ == mdGrid ? VertBorder_ : 0;
    maxX = std::max({0, shiftX, lastCol * (ThumbWidth_ + HorizBorder_) + shiftX});
    maxY = std::max({0, shiftY, lastRow * (ThumbHeight_ + VertBorder_) + shiftY});
  }
  ContentWidth_ = maxX + ThumbWidth_ + HorizBorder_;
  ContentHeight_ = maxY + ThumbHeight_ + VertBorder_;
}

QPoint TVeloraMView::GetMaxView() const {
  return QPoint(std::max(ContentWidth_ - ClientWidth(), 0), std::max(ContentHeight_ - ClientHeight(), 0));
}

void TVeloraMView::UpdateScrollBars() {
  QPoint maxView = GetMaxView();
  auto setBar = [](QScrollBar* bar, int extent, int maximum, int origin, double& scale) {
    if (maximum <= 0) {
      bar->hide();
      return;
    }
    // The bar always spans 0..65535; the scale maps view pixels onto it.
    scale = double(extent + maximum - 1) / 65536.0;
    int page = std::max(1, int(extent / scale));
    bar->blockSignals(true);
    bar->setRange(0, std::max(0, 65536 - page));
    bar->setPageStep(page);
    bar->setSingleStep(std::max(1, page / 10));
    bar->setValue(int(origin / scale));
    bar->blockSignals(false);
    bar->setEnabled(true);
    bar->show();
  };
  if (ScrollBars_ == ssHorizontal || ScrollBars_ == ssBoth)
    setBar(HScroll_, ClientWidth(), maxView.x(), ViewX_, ScaleX_);
  if (ScrollBars_ == ssVertical || ScrollBars_ == ssBoth)
    setBar(VScroll_, ClientHeight(), maxView.y(), ViewY_, ScaleY_);
  // Place the bars along the client's right and bottom edges.
  QRect c = ClientRect();
  int vw = VScroll_->isVisibleTo(this) ? VScroll_->sizeHint().width() : 0;
  int hh = HScroll_->isVisibleTo(this) ? HScroll_->sizeHint().height() : 0;
  VScroll_->setGeometry(c.right() + 1 - vw, c.top(), vw, c.height() - hh);
  HScroll_->setGeometry(c.left(), c.bottom() + 1 - hh, c.width() - vw, hh);
}

void TVeloraMView::Update() {
  if (Destroying_) return;
  if (!InUpdate_) {
    InUpdate_ = true;
    // A bar that appears or vanishes changes the client size: lay out again (twice at most
    // settles it, since the second pass sees both bars' final state).
    for (int pass = 0; pass < 3; ++pass) {
      int cw = ClientWidth(), ch = ClientHeight();
      Layout();
      QPoint maxView = GetMaxView();
      int vx = std::clamp(ViewX_, 0, maxView.x()), vy = std::clamp(ViewY_, 0, maxView.y());
      bool pulledBack = vx != ViewX_ || vy != ViewY_;
      ViewX_ = vx;
      ViewY_ = vy;
      if (pulledBack && OnViewChange) OnViewChange(this, 0);
      UpdateScrollBars();
      if (cw == ClientWidth() && ch == ClientHeight()) break;
    }
    InUpdate_ = false;
    NotifyChangeListeners();
  }
  update();
}

TVLImageVisibility TVeloraMView::IsImageVisible(int index) const {
  TEntry* e = Entry(index);
  if (!e) return vlivHidden;
  int x1 = e->X - ViewX_, y1 = e->Y - ViewY_;
  int x2 = x1 + ThumbWidth_ - 1, y2 = y1 + ThumbHeight_ - 1;
  int cw = ClientWidth(), ch = ClientHeight();
  if (x1 >= 0 && y1 >= 0 && x2 <= cw - 1 && y2 <= ch - 1) return vlivWhole;
  if (x2 >= 0 && y2 >= 0 && x1 <= cw - 1 && y1 <= ch - 1) return vlivPartly;
  return vlivHidden;
}

// ---- painting -----------------------------------------------------------------------------

namespace {

QColor Q(TColor c) { return ColorToQColor(c); }

// A frame of one pixel: left and top edge in `first`, bottom and right edge in `second`.
void Frame(QPainter& p, int x1, int y1, int x2, int y2, const QColor& first, const QColor& second) {
  p.setPen(first);
  p.drawLine(x1, y1, x2, y1);
  p.drawLine(x1, y1, x1, y2);
  p.setPen(second);
  p.drawLine(x1, y2, x2, y2);
  p.drawLine(x2, y1, x2, y2);
}

// Nested one-pixel rectangles (x − j, y − j)–(x + w + j, y + h + j), right and bottom ends
// exclusive, for j = 1 .. m.
void NestedRects(QPainter& p, int x, int y, int w, int h, int m, const QColor& colour) {
  p.setPen(colour);
  p.setBrush(Qt::NoBrush);
  for (int j = 1; j <= m; ++j) p.drawRect(QRect(x - j, y - j, w + 2 * j - 1, h + 2 * j - 1));
}

// A caption drawn opaque, centred in a cell `width` wide at `left` (+ `shift`). A caption
// wider than the cell is elided in the middle, so that a long file name keeps its beginning
// and its extension instead of being cut off at both ends.
void CaptionOpaque(QPainter& p, int left, int width, int shift, int y, const TVLMText& text, const QColor& fg,
                   const QColor& bg) {
  QFontMetrics fm(text.Font);
  QString s = QString::fromStdString(text.Caption());
  int tw = fm.horizontalAdvance(s);
  if (tw > width - shift) {
    s = fm.elidedText(s, Qt::ElideMiddle, width - shift);
    tw = fm.horizontalAdvance(s);
  }
  QRect r(left + (width - tw - shift) / 2 + (shift + 1) / 2, y, tw, fm.height());
  p.fillRect(r, bg);
  p.setFont(text.Font);
  p.setPen(fg);
  p.drawText(r, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, s);
}

}  // namespace

void TVeloraMView::DrawStoredImage(QPainter& painter, TEntry& e, const QRect& target) {
  int w = Store_->GetWidth(e.Image), h = Store_->GetHeight(e.Image), bits = Store_->GetBitCount(e.Image);
  uint8_t* pixels = Store_->GetBits(e.Image);
  if (!pixels || w <= 0 || h <= 0) return;
  int dw = target.width(), dh = target.height();
  if (bits == 1 && (dw < w || dh < h)) {
    // 1-bit images are reduced by coverage, so thin lines stay visible as grey.
    auto reduced = ReduceBits1Bit(pixels, w, h, TRect{0, 0, w, h}, dw, dh);
    QImage img(reduced.get(), dw, dh, int(RowSize(dw, 24)), QImage::Format_BGR888);
    painter.drawImage(target.topLeft(), img.mirrored());
    return;
  }
  QImage img;
  if (bits == 24) {
    img = QImage(pixels, w, h, int(RowSize(w, 24)), QImage::Format_BGR888);
  } else if (bits == 1) {
    img = QImage(pixels, w, h, int(RowSize(w, 1)), QImage::Format_Mono);
    img.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
  } else {
    return;
  }
  // The stored rows are bottom-up: draw the block flipped, straight from the store's memory.
  painter.save();
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter.translate(target.left(), target.top() + dh);
  painter.scale(double(dw) / w, -double(dh) / h);
  painter.drawImage(QPointF(0, 0), img);
  painter.restore();
}

void TVeloraMView::SetImagePages(int index, int pages) {
  TEntry* e = Entry(index);
  if (!e || e->Pages == pages) return;
  e->Pages = pages;
  UpdateCell(index);
}

int TVeloraMView::ImagePages(int index) const {
  const TEntry* e = Entry(index);
  return e ? e->Pages : 0;
}

void TVeloraMView::PaintPageMark(QPainter& p, const TEntry& e, int right, int top) {
  // Small and dark over the picture's top right, where no caption is.
  QFont small = font();
  small.setPixelSize(std::max(8, small.pixelSize() > 0 ? small.pixelSize() - 2 : 9));
  const QString text = QString("%1 pages").arg(e.Pages);
  const QFontMetrics fm(small);
  const QRect box(right - fm.horizontalAdvance(text) - 4, top, fm.horizontalAdvance(text) + 4, fm.height());
  p.save();
  p.setFont(small);
  p.fillRect(box, QColor(0, 0, 0, 170));
  p.setPen(Qt::white);
  p.drawText(box, Qt::AlignCenter, text);
  p.restore();
}

bool TVeloraMView::PaintEntry(QPainter& p, int i, QRegion& painted) {
  TEntry& e = *Entries_[size_t(i)];
  int x = e.X - ViewX_, y = e.Y - ViewY_;
  const int TW = ThumbWidth_, TH = ThumbHeight_;
  int ih = e.InfoText->Caption().empty() ? 0 : QFontMetrics(e.InfoText->Font).height();
  int bh = TH - BottomGap_ - UpperGap_ - ih;
  bool selected = IsSelected(i) && VisibleSelection_ && DisplayMode_ == mdGrid;
  bool highlight = selected && SelectionStyle_ == vlssACD;
  QColor fill = highlight ? Q(clHighlight) : DrawImageBackground_ ? Q(e.Background) : Q(ThumbnailsBackground_);

  int w = e.Image ? Store_->GetWidth(e.Image) : 0, h = e.Image ? Store_->GetHeight(e.Image) : 0;
  bool hasImage = e.Image && w > 0 && h > 0 && bh > 0;
  int left = x, top = y + UpperGap_, dw = 0, dh = 0;
  if (hasImage) {
    double s = std::min(double(bh) / h, double(TW) / w);
    dw = std::max(1, int(std::trunc(w * s)));
    dh = std::max(1, int(std::trunc(h * s)));
    top = y + UpperGap_ + std::max(bh - dh, 0) / 2;
    left = x + std::max(TW - dw, 0) / 2;
    DrawStoredImage(p, e, QRect(left, top, dw, dh));
    p.fillRect(QRect(x, y, left - x, TH), fill);
    p.fillRect(QRect(left + dw, y, x + TW - left - dw, TH), fill);
    p.fillRect(QRect(left, y, dw, top - y), fill);
    p.fillRect(QRect(left, top + dh, dw, y + TH - top - dh), fill);
  } else {
    p.fillRect(QRect(x, y, TW, TH), highlight ? Q(clHighlight) : Q(ThumbnailsBackground_));
  }

  auto captionColours = [&](const TVLMText& t, QColor& fg, QColor& bg) {
    fg = highlight ? Q(clHighlightText) : Q(clWindowText);
    bg = highlight ? Q(clHighlight) : Q(t.Background);
  };
  QColor fg, bg;
  int b = 0;
  if (!e.TopText->Caption().empty()) {
    captionColours(*e.TopText, fg, bg);
    CaptionOpaque(p, x, TW, 0, y, *e.TopText, fg, bg);
  }
  if (!e.InfoText->Caption().empty()) {
    captionColours(*e.InfoText, fg, bg);
    CaptionOpaque(p, x, TW, 0, y + TH - BottomGap_ - ih, *e.InfoText, fg, bg);
  }
  if (!e.BottomText->Caption().empty()) {
    captionColours(*e.BottomText, fg, bg);
    QFontMetrics fm(e.BottomText->Font);
    int th = fm.height();
    p.fillRect(QRect(x, y + TH - th - 1, TW, th + 1), bg);
    // The band's text sits one pixel right of centre, inside the band's frame.
    CaptionOpaque(p, x, TW, 2, y + TH - th - 1, *e.BottomText, fg, bg);
    b = th + 3;
  }

  if (Style_ == vlmsACD) {
    const QColor grey(128, 128, 128), white(255, 255, 255), black(0, 0, 0);
    if (hasImage) Frame(p, left, top, left + dw - 1, top + dh - 1, grey, white);
    if (BottomGap_ + UpperGap_ > 0 || !e.InfoText->Caption().empty())
      Frame(p, x, y, x + TW - 1, y + TH - 1 - b, white, black);
    if (!e.BottomText->Caption().empty()) Frame(p, x, y + TH - b + 2, x + TW - 1, y + TH - 1, grey, white);
  }

  if (e.Pages > 1) PaintPageMark(p, e, x + TW - 2, y + UpperGap_ + 2);
  if (OnImageDraw) OnImageDraw(this, i, x, y, p);

  int exclude = 0;
  if (selected && SelectionStyle_ == vlssAround) {
    int m = hasFocus() ? SelectionWidth_ : 1;
    NestedRects(p, x, y, TW, TH, m, Q(SelectionColor_));
    exclude = m;
  }
  if (ThumbnailsBorderWidth_ > 0) NestedRects(p, x, y, TW, TH, ThumbnailsBorderWidth_, Q(ThumbnailsBorderColor_));
  exclude = std::max(exclude, ThumbnailsBorderWidth_);
  painted += QRect(x - exclude, y - exclude, TW + 2 * exclude, TH + 2 * exclude);
  return hasImage;
}

void TVeloraMView::PaintTo(QPainter& p) {
  QRegion painted;
  int cw = ClientWidth(), ch = ClientHeight();
  bool restart = true;
  int n = 0;
  while (restart) {
    restart = false;
    painted = QRegion();
    int count = ImageCount();
    n = DisplayMode_ == mdSingle ? std::min(count, 1) : count;
    int first = DisplayMode_ == mdSingle ? std::clamp(CurrentFrame_, 0, std::max(count - 1, 0)) : 0;
    for (int k = 0; k < n; ++k) {
      int i = (first + k) % count;
      if (OnDrawProgress && n > 1) OnDrawProgress(this, int(double(k) / n * 100), i);
      TEntry& e = *Entries_[size_t(i)];
      int x = e.X - ViewX_, y = e.Y - ViewY_;
      if (x + ThumbWidth_ - 1 < 0 || y + ThumbHeight_ - 1 < 0 || x > cw - 1 || y > ch - 1) continue;
      if (!e.Image && !(Loader_ && e.ImageID < 0) && !ObtainImage(i) && RemoveCorrupted) {
        DeleteImage(i);
        Layout();
        restart = true;
        break;
      }
      PaintEntry(p, i, painted);
    }
  }
  QRegion rest = QRegion(0, 0, cw, ch) - painted;
  p.setClipRegion(rest);
  bool wallpaper = !WallPaper_.isNull();
  if (wallpaper && WallPaperStyle_ == vlwoStretch) {
    p.drawImage(QRect(0, 0, cw, ch), WallPaper_);
  } else if (wallpaper && WallPaperStyle_ == vlwoTile) {
    for (int ty = 0; ty < ch; ty += WallPaper_.height())
      for (int tx = 0; tx < cw; tx += WallPaper_.width()) p.drawImage(tx, ty, WallPaper_);
  } else {
    if (wallpaper) {
      p.drawImage(0, 0, WallPaper_);
      rest -= QRect(0, 0, WallPaper_.width(), WallPaper_.height());
      p.setClipRegion(rest);
    }
    p.fillRect(QRect(0, 0, cw, ch), Q(Background()));
  }
  p.setClipping(false);
  if (OnDrawProgress && n > 1) OnDrawProgress(this, 100, 0);
}

void TVeloraMView::paintEvent(QPaintEvent*) {
  if (Transition_->Running()) {
    QPainter p(this);
    Transition_->PaintFrame(p, ClientRect().topLeft());
    return;
  }
  if (LockCount_ > 0) return;
  QPainter p(this);
  PaintBorder(p);
  QRect c = ClientRect();
  // The square between the two scroll bars.
  if (HScroll_->isVisible() && VScroll_->isVisible())
    p.fillRect(QRect(c.left() + ClientWidth(), c.top() + ClientHeight(), c.width() - ClientWidth(),
                     c.height() - ClientHeight()),
               palette().window());
  p.setClipRect(QRect(c.left(), c.top(), ClientWidth(), ClientHeight()));
  p.translate(c.topLeft());
  PaintTo(p);
  PlanThumbnails();
}

void TVeloraMView::resizeEvent(QResizeEvent* event) {
  TVLView::resizeEvent(event);
  Update();
}

// ---- interaction --------------------------------------------------------------------------

void TVeloraMView::SetViewX(int x) { SetViewXY(x, ViewY_); }
void TVeloraMView::SetViewY(int y) { SetViewXY(ViewX_, y); }

void TVeloraMView::SetViewXY(int x, int y) {
  if (x == ViewX_ && y == ViewY_) return;
  QPoint maxView = GetMaxView();
  ViewX_ = std::clamp(x, 0, maxView.x());
  ViewY_ = std::clamp(y, 0, maxView.y());
  update();
  if (HScroll_->isVisibleTo(this)) {
    HScroll_->blockSignals(true);
    HScroll_->setValue(int(ViewX_ / ScaleX_));
    HScroll_->blockSignals(false);
  }
  if (VScroll_->isVisibleTo(this)) {
    VScroll_->blockSignals(true);
    VScroll_->setValue(int(ViewY_ / ScaleY_));
    VScroll_->blockSignals(false);
  }
}

int TVeloraMView::HitTest(int x, int y) const {
  int row = (y + ViewY_) / (VertBorder_ + ThumbHeight_);
  int col = (x + ViewX_) / (HorizBorder_ + ThumbWidth_);
  int index = col + row * Columns();
  if (index >= ImageCount()) return -1;
  if (index < 0) return index;
  TEntry* e = Entry(index);
  int ex = e->X - ViewX_, ey = e->Y - ViewY_;
  if (x < ex || x > ex + ThumbWidth_ - 1 || y < ey || y > ey + ThumbHeight_ - 1) return -1;
  return index;
}

QPoint TVeloraMView::ToClient(const QPoint& p) const { return p - ClientOrigin(); }

void TVeloraMView::SelectAt(int x, int y, Qt::KeyboardModifiers modifiers) {
  bool oldToggle = Toggle_;
  if (modifiers & (Qt::ControlModifier | Qt::ShiftModifier)) Toggle_ = true;
  int i = HitTest(x, y);
  if (i >= 0 && (i != Selected_ || (Toggle_ && EnableMultiSelect_))) {
    if ((modifiers & Qt::ShiftModifier) && EnableMultiSelect_ && Selected_ >= 0) {
      int old = Selected_;
      auto listed = [this](int k) {
        return std::find(MultiSelection_.begin(), MultiSelection_.end(), k) != MultiSelection_.end();
      };
      if (MultiSelectionOptions & vlmoRegion) {
        int r1 = std::min(ImageRow(old), ImageRow(i)), r2 = std::max(ImageRow(old), ImageRow(i));
        int c1 = std::min(ImageCol(old), ImageCol(i)), c2 = std::max(ImageCol(old), ImageCol(i));
        for (int k = 0; k < ImageCount(); ++k)
          if (k != old && k != i && !listed(k) && ImageRow(k) >= r1 && ImageRow(k) <= r2 && ImageCol(k) >= c1 &&
              ImageCol(k) <= c2)
            SelectionStep(k);
      } else {
        int step = i > old ? 1 : -1;
        for (int k = old + step; k != i; k += step)
          if (!listed(k)) SelectionStep(k);
      }
    }
    SelectionStep(i);
    if (VisibleSelection_) Update();
    if (OnImageSelect) OnImageSelect(this, Selected_);
    NotifyChangeListeners();
  }
  Toggle_ = oldToggle;
}

void TVeloraMView::mousePressEvent(QMouseEvent* event) {
  if (DoubleClicked_) {
    DoubleClicked_ = false;
    return;
  }
  if (focusPolicy() != Qt::NoFocus) setFocus(Qt::MouseFocusReason);
  Anchor_ = ToClient(event->position().toPoint());
  AnchorView_ = QPoint(ViewX_, ViewY_);
  AnchorEntry_ = LastEntry_ = HitTest(Anchor_.x(), Anchor_.y());
  ButtonDown_ = true;
}

void TVeloraMView::mouseMoveEvent(QMouseEvent* event) {
  if (!ButtonDown_ || !(event->buttons() & Qt::LeftButton)) return;
  QPoint pos = ToClient(event->position().toPoint());
  if ((MouseInteract & mmiSelect) && EnableMultiSelect_) {
    int i = HitTest(pos.x(), pos.y());
    if (i >= 0 && i != LastEntry_) {
      LastEntry_ = i;
      ReleaseCurrentBitmap();
      MultiSelection_.clear();
      Selected_ = -1;
      bool keep = Keep_, toggle = Toggle_;
      Keep_ = true;
      Toggle_ = false;
      SelectionStep(AnchorEntry_);
      SelectAt(pos.x(), pos.y(), Qt::ShiftModifier);
      Keep_ = keep;
      Toggle_ = toggle;
    }
  }
  if (MouseInteract & mmiScroll) SetViewXY(AnchorView_.x() + Anchor_.x() - pos.x(), AnchorView_.y() + Anchor_.y() - pos.y());
}

void TVeloraMView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  ButtonDown_ = false;
  QPoint pos = ToClient(event->position().toPoint());
  if (MouseInteract & mmiSelect) SelectAt(pos.x(), pos.y(), event->modifiers());
  if (MouseInteract & mmiScroll) SetViewXY(AnchorView_.x() + Anchor_.x() - pos.x(), AnchorView_.y() + Anchor_.y() - pos.y());
}

void TVeloraMView::mouseDoubleClickEvent(QMouseEvent*) {
  // Qt delivers the second press of a double click as this event: ignoring it is what the
  // double-click flag does, so only the releases select.
}

void TVeloraMView::wheelEvent(QWheelEvent* event) {
  int delta = event->angleDelta().y();
  if (delta == 0) return;
  int d = delta > 0 ? -1 : 1;
  SetViewY(ViewY_ + d * (ThumbHeight_ + VertBorder_));
  event->accept();
}

void TVeloraMView::keyPressEvent(QKeyEvent* event) {
  int key = event->key();
  static const int kKeys[] = {Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down,
                              Qt::Key_Home, Qt::Key_End,   Qt::Key_PageUp, Qt::Key_PageDown};
  if (std::find(std::begin(kKeys), std::end(kKeys), key) == std::end(kKeys)) {
    TVLView::keyPressEvent(event);
    return;
  }
  event->accept();
  int count = ImageCount();
  if (count == 0) return;
  bool multi = EnableMultiSelect_ && (event->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier));
  bool oldToggle = Toggle_, oldKeep = Keep_;
  if (multi) Toggle_ = Keep_ = true;

  int columns = Columns();
  int cw = ClientWidth(), ch = ClientHeight();
  int perPage = columns * ((ch - VertBorder_) / (VertBorder_ + ThumbHeight_));
  int sel = Selected_;
  auto cell = [this](int& X, int& Y) {
    X = ImageX(Selected_);
    Y = ImageY(Selected_);
  };
  auto scrollUp = [&] {
    int X, Y;
    cell(X, Y);
    if (IsImageVisible(Selected_) == vlivWhole) return;
    SetViewY(Y - VertBorder_);
    if (IsImageVisible(Selected_) != vlivWhole) SetViewX(X - HorizBorder_);
  };
  auto scrollDown = [&] {
    int X, Y;
    cell(X, Y);
    if (IsImageVisible(Selected_) == vlivWhole) return;
    SetViewY(Y + ThumbHeight_ + VertBorder_ - ch);
    if (IsImageVisible(Selected_) != vlivWhole) SetViewX(X + ThumbWidth_ + HorizBorder_ - cw);
  };
  switch (key) {
    case Qt::Key_Left:
      if (sel >= 0) {
        SetSelectedImage(sel - 1);
        int X, Y;
        cell(X, Y);
        if (IsImageVisible(Selected_) != vlivWhole) SetViewXY(X - HorizBorder_, Y - VertBorder_);
      }
      break;
    case Qt::Key_Right: {
      SetSelectedImage(sel + 1);
      int X, Y;
      cell(X, Y);
      if (IsImageVisible(Selected_) != vlivWhole) SetViewXY(X + ThumbWidth_ + HorizBorder_ - cw, Y + ThumbHeight_ + VertBorder_ - ch);
      break;
    }
    case Qt::Key_Up:
      if (sel >= 0) {
        SetSelectedImage(GridWidth_ != 0 ? std::max(sel - columns, 0) : sel - 1);
        scrollUp();
      }
      break;
    case Qt::Key_Down:
      SetSelectedImage(GridWidth_ != 0 ? std::min(sel + columns, count - 1) : sel + 1);
      scrollDown();
      break;
    case Qt::Key_Home:
      SetSelectedImage(0);
      if (IsImageVisible(Selected_) != vlivWhole) SetViewXY(0, 0);
      break;
    case Qt::Key_End:
      SetSelectedImage(count - 1);
      scrollDown();
      break;
    case Qt::Key_PageDown:
      SetSelectedImage(sel + perPage);
      scrollDown();
      break;
    case Qt::Key_PageUp:
      if (sel >= 0) {
        SetSelectedImage(sel - perPage);
        scrollUp();
      }
      break;
  }
  Toggle_ = oldToggle;
  Keep_ = oldKeep;
  Update();
}

void TVeloraMView::ScrollRequest(QScrollBar* bar, int action) {
  bool vertical = bar == VScroll_;
  double scale = vertical ? ScaleY_ : ScaleX_;
  int origin = vertical ? ViewY_ : ViewX_;
  const TVLScrollBarParams& params = vertical ? VertScrollBarParams : HorizScrollBarParams;
  int extent = params.StepPerLine != -1 ? params.StepPerLine
               : vertical             ? ThumbHeight_ + VertBorder_
                                      : ThumbWidth_ + HorizBorder_;
  int page = params.StepPerPage != -1 ? params.StepPerPage : vertical ? ClientHeight() : ClientWidth();
  int maximum = vertical ? GetMaxView().y() : GetMaxView().x();
  int target = origin;
  switch (action) {
    case QAbstractSlider::SliderSingleStepSub: target = origin - extent; break;
    case QAbstractSlider::SliderSingleStepAdd: target = origin + extent; break;
    case QAbstractSlider::SliderPageStepSub: target = origin - page; break;
    case QAbstractSlider::SliderPageStepAdd: target = origin + page; break;
    case QAbstractSlider::SliderMove:
      if (!params.TrackWhileDragging) return;
      target = int(bar->sliderPosition() * scale);
      break;
    case QAbstractSlider::SliderToMinimum: target = 0; break;
    case QAbstractSlider::SliderToMaximum: target = maximum; break;
    default: return;
  }
  if (vertical)
    SetViewY(target);
  else
    SetViewX(target);
  bar->setSliderPosition(int((vertical ? ViewY_ : ViewX_) / scale));
}

void TVeloraMView::focusInEvent(QFocusEvent* event) {
  TVLView::focusInEvent(event);
  update();
}
void TVeloraMView::focusOutEvent(QFocusEvent* event) {
  TVLView::focusOutEvent(event);
  update();
}

bool TVeloraMView::event(QEvent* event) {
  // An empty cell says, when asked, why its file could not be read.
  if (event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    const QPoint at = ToClient(help->pos());
    const QString tip = ToolTipAt(at.x(), at.y());
    if (!tip.isEmpty()) {
      QToolTip::showText(help->globalPos(), tip, this);
      return true;
    }
  }
  // The navigation keys belong to the control, not to the window's shortcuts.
  // With Ctrl they are the window's (paging through a file's pages).
  if (event->type() == QEvent::ShortcutOverride) {
    auto* key_event = static_cast<QKeyEvent*>(event);
    const int key = key_event->key();
    if (key >= Qt::Key_Home && key <= Qt::Key_PageDown && !(key_event->modifiers() & Qt::ControlModifier)) {
      event->accept();
      return true;
    }
  }
  return TVLView::event(event);
}

}  // namespace velora
