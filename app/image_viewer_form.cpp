#include "image_viewer_form.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <set>

#include "codecs/formats.h"
#include "dialogs/previews_form.h"
#include "files/sort_order.h"
#include "info_panel.h"
#include "io/folder_scan.h"
#include "io/format_descriptor.h"
#include "viewer_texts.h"
#include "io/io_params.h"
#include "io/velora_io.h"
#include "mview/velora_mview.h"
#include "proc/flip_turn.h"
#include "view/qt/velora_view.h"

#ifdef TESSEL_HAVE_XCB
#include <QGuiApplication>
#include <xcb/xcb.h>
#endif

using namespace velora;

bool WindowManagerRunning() {
#ifdef TESSEL_HAVE_XCB
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (!x11 || !x11->connection()) return true;
  // A window manager that follows the desktop conventions names its check window on the
  // root window; without one, nothing would act on a request to maximise.
  xcb_connection_t* c = x11->connection();
  static const char kCheck[] = "_NET_SUPPORTING_WM_CHECK";
  xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, sizeof kCheck - 1, kCheck), nullptr);
  if (!atom) return false;
  const bool known = atom->atom != XCB_ATOM_NONE;
  const xcb_atom_t check = atom->atom;
  std::free(atom);
  if (!known) return false;
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
  xcb_get_property_reply_t* prop =
      xcb_get_property_reply(c, xcb_get_property(c, 0, root, check, XCB_ATOM_WINDOW, 0, 1), nullptr);
  if (!prop) return false;
  const bool running = xcb_get_property_value_length(prop) >= 4 &&
                       *static_cast<const xcb_window_t*>(xcb_get_property_value(prop)) != XCB_WINDOW_NONE;
  std::free(prop);
  return running;
#else
  return true;
#endif
}

void ShowViewerWindow(TfrmImageViewer& form) {
  // As it was left last time, when it was.
  if (!form.Settings().Geometry.isEmpty() && form.restoreGeometry(form.Settings().Geometry)) {
    form.show();
    return;
  }
  // Maximised over the designed geometry, so that restoring returns to it (and not to a
  // screen-sized window whose title bar lies above the screen).
  form.showMaximized();
  // Without a window manager nobody maximises and nobody restores: the window takes the
  // screen itself.
  if (!WindowManagerRunning())
    if (QScreen* screen = form.screen()) form.setGeometry(screen->availableGeometry());
}

TfrmImageViewer::TfrmImageViewer(const std::string& folder, const std::string& fileMask, QWidget* parent)
    : QMainWindow(parent), Folder_(folder), FileMask_(fileMask), Loader_(std::make_unique<TVeloraLoader>()) {
  ViewChannel_ = Loader_->NewChannel();
  AheadChannel_ = Loader_->NewChannel();
  ScanChannel_ = Loader_->NewChannel();
  DisposeChannel_ = Loader_->NewChannel();
  setWindowTitle(QString::fromStdString(ViewerCaption(folder, fileMask)));
  {
    QSettings store("Tessel", "TesselImageViewer");
    Settings_ = TViewerSettings::Load(store);
  }
  resize(696, 480);
  move(298, 202);
  QFont f = font();
  f.setPixelSize(11);
  setFont(f);

  tbMain = addToolBar("tbMain");
  tbMain->setObjectName("tbMain");
  tbMain->setMovable(false);
  tbMain->setToolButtonStyle(Qt::ToolButtonTextOnly);
  tbtnExit = tbMain->addAction("Exit");
  tbtnExit->setObjectName("tbtnExit");
  tbtnExit->setToolTip("Exit");
  connect(tbtnExit, &QAction::triggered, this, &QWidget::close);

  // The thumbnail column: one column of 100 × 100 captioned cells, read on the loader as
  // they show.
  VeloraMView1 = new TVeloraMView;
  VeloraMView1->SetLoader(Loader_.get());
  // Thumbnails made once are kept with the desktop's, and the desktop's are used.
  ThumbCache_.SetEnabled(Settings_.ThumbnailCache);
  VeloraMView1->ThumbnailSource = [cache = &ThumbCache_](const TPictureRequest& request, int w, int h,
                                                          const std::function<bool()>& stop) {
    return TVeloraMView::ReadThumbnailCached(*cache, request, w, h, stop);
  };
  VeloraMView1->setObjectName("VeloraMView1");
  VeloraMView1->setFont(f);
  VeloraMView1->SetScrollBars(ssVertical);
  VeloraMView1->SetStoreType(vltThumb);
  VeloraMView1->MouseInteract = mmiScroll | mmiSelect;
  VeloraMView1->SetGridWidth(-1);
  VeloraMView1->SetSelectionWidth(3);
  VeloraMView1->SetSelectionColor(clRed);
  VeloraMView1->SetSelectionStyle(vlssACD);
  VeloraMView1->OnImageSelect = [this](TVLObject*, int idx) { VeloraMView1ImageSelect(idx); };

  tbImageControl = new QToolBar("tbImageControl");
  tbImageControl->setObjectName("tbImageControl");
  tbImageControl->setOrientation(Qt::Vertical);
  tbImageControl->setToolButtonStyle(Qt::ToolButtonTextOnly);
  tbImageControl->setFixedWidth(34);
  tbImageControl->setStyleSheet("QToolBar { border-right: 1px solid palette(mid); }");

  VeloraView1 = new TVeloraView;
  VeloraView1->setObjectName("VeloraView1");
  VeloraView1->SetBorderStyle(bsNone);
  VeloraView1->SetScrollBars(ssBoth);
  VeloraView1->SetCenter(true);
  VeloraView1->SetMouseInteract(MouseInteractSet({miZoom, miScroll}));
  WindowBackground_ = VeloraView1->Background();
  // Transparent parts show what is under them, as in the column's thumbnails.
  VeloraView1->SetEnableAlphaChannel(true);
  // A zoom the user chose ends the fitting; the window's own fits do not.
  VeloraView1->OnViewChange = [this](TVLObject*, int change) {
    if (change == 1 && !Fitting_) FitMode_ = false;
    if (change == 1) Status_->SetZoom(VeloraView1->Bitmap().Empty() ? 0 : VeloraView1->Zoom());
  };
  VeloraView1->installEventFilter(this);
  VeloraMView1->installEventFilter(this);
  // The processing dialogs speak English and open with the preview locked.
  InstallPreviewsDialog();
  TVeloraProc& proc = VeloraView1->GetProc();
  proc.MsgLanguage = msEnglish;
  proc.PreviewsParams = 1u << prppDefaultLockPreview;
  SettleTimer_.setSingleShot(true);
  connect(&SettleTimer_, &QTimer::timeout, this, &TfrmImageViewer::LoadPendingSelection);
  // A picture shown from its quick reduced decode says so in the view's corner.
  PreviewMark_ = new QLabel("Preview", VeloraView1);
  PreviewMark_->setObjectName("PreviewMark");
  PreviewMark_->setStyleSheet("QLabel { background: #ffffe0; color: black; padding: 1px 4px; }");
  PreviewMark_->move(4, 4);
  PreviewMark_->hide();
  // Changes in the folder come in bursts (a copy writes a file in many pieces): the folder
  // is looked at again once they pause.
  WatchTimer_.setSingleShot(true);
  WatchTimer_.setInterval(kWatchDelayMs);
  connect(&WatchTimer_, &QTimer::timeout, this, &TfrmImageViewer::RescanFolder);
  connect(&Watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { WatchTimer_.start(); });

  QWidget* right = new QWidget;
  auto* row = new QHBoxLayout(right);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);
  row->addWidget(tbImageControl);
  row->addWidget(VeloraView1, 1);

  Splitter1 = new QSplitter(Qt::Horizontal);
  Splitter1->setObjectName("Splitter1");
  Splitter1->setHandleWidth(5);
  Splitter1->setStyleSheet("QSplitter::handle { background: #0000ff; }");
  Splitter1->setOpaqueResize(false);  // line-style resizing
  Splitter1->setChildrenCollapsible(false);
  Splitter1->addWidget(VeloraMView1);
  Splitter1->addWidget(right);
  VeloraMView1->setMinimumWidth(100);
  Splitter1->setStretchFactor(0, 0);
  Splitter1->setStretchFactor(1, 1);
  Splitter1->setSizes({130, 561});
  setCentralWidget(Splitter1);

  BuildToolBars();

  Status_ = new TStatusLine;
  Status_->setObjectName("StatusLine");
  connect(Status_, &TStatusLine::NotShownClicked, this, &TfrmImageViewer::ShowNotShown);
  ScanLabel_ = new QLabel;
  ScanProgress_ = new QProgressBar;
  ScanProgress_->setMaximumWidth(200);
  statusBar()->addWidget(Status_, 1);
  statusBar()->addWidget(ScanLabel_);
  statusBar()->addWidget(ScanProgress_);
  connect(statusBar(), &QStatusBar::messageChanged, this, [this] { UpdateStatusBar(); });
  ScanLabel_->hide();
  ScanProgress_->hide();

  SlideshowTimer_.setObjectName("SlideshowTimer");
  connect(&SlideshowTimer_, &QTimer::timeout, this, &TfrmImageViewer::SlideshowStep);
  BuildActions();
  BuildCullingCommands();
  BuildPagesAndPanel();
  ApplySettings();
}

TfrmImageViewer::~TfrmImageViewer() {
  // The column goes after the loader (children outlive members): it lets go of it first.
  VeloraMView1->SetLoader(nullptr);
  for (const TLoadChannelPtr& c : {ViewChannel_, AheadChannel_, ScanChannel_}) Loader_->Renew(c);
  Player_.reset();  // it lets go of the loader's channel
  Loader_.reset();
}

void TfrmImageViewer::BuildToolBars() {
  auto add = [this](const char* name, const char* caption, const char* hint) {
    QAction* a = tbImageControl->addAction(caption);
    a->setObjectName(name);
    a->setToolTip(hint);
    return a;
  };
  tbtnZoomXFit = add("tbtnZoomXFit", "F", "Fit Image To Window");
  tbtnZoomX1 = add("tbtnZoomX1", "1:1", "Zoom 100%");
  tbImageControl->addSeparator();
  tbtnReloadImage = add("tbtnReloadImage", "R", "Reload Image");
  tbImageControl->addSeparator();
  tbtnColorAdjust = add("tbtnColorAdjust", "CA", "Color Adjust");
  tbtnEffect = add("tbtnEffect", "EF", "Effects");
  connect(tbtnColorAdjust, &QAction::triggered, this, &TfrmImageViewer::tbtnColorAdjustClick);
  connect(tbtnEffect, &QAction::triggered, this, &TfrmImageViewer::tbtnEffectClick);
  tbImageControl->addSeparator();
  connect(tbtnZoomXFit, &QAction::triggered, this, &TfrmImageViewer::tbtnZoomXFitClick);
  connect(tbtnZoomX1, &QAction::triggered, this, &TfrmImageViewer::tbtnZoomX1Click);
  connect(tbtnReloadImage, &QAction::triggered, this, &TfrmImageViewer::tbtnReloadImageClick);

  // The six zoom filters: one radio group, "ZF N" down at start like the view's rfNone.
  auto* group = new QActionGroup(this);
  group->setExclusive(true);
  struct TFilterButton {
    QAction** action;
    const char* name;
    const char* caption;
    const char* hint;
    TResampleFilter filter;
  };
  const TFilterButton buttons[] = {
      {&tbtnZoomFilterNone, "tbtnZoomFilterNone", "ZF N", "Zoom Filter = None", rfNone},
      {&tbtnZoomFilterBSpline, "tbtnZoomFilterBSpline", "ZF S", "Zoom Filter = BSpline", rfBSpline},
      {&tbtnZoomFilterLinear, "tbtnZoomFilterLinear", "ZF L", "Zoom Filter = Linear", rfLinear},
      {&tbtnZoomFilterLanczos3, "tbtnZoomFilterLanczos3", "ZF A", "Zoom Filter = Lanczos3", rfLanczos3},
      {&tbtnZoomFilterMitchell, "tbtnZoomFilterMitchell", "ZF M", "Zoom Filter = Mitchell", rfMitchell},
      {&tbtnZoomFilterHermite, "tbtnZoomFilterHermite", "ZF H", "Zoom Filter = Hermite", rfHermite},
  };
  for (const auto& b : buttons) {
    QAction* a = add(b.name, b.caption, b.hint);
    a->setCheckable(true);
    group->addAction(a);
    TResampleFilter filter = b.filter;
    connect(a, &QAction::triggered, this, [this, filter] {
      VeloraView1->SetZoomFilter(filter);
      Settings_.ZoomFilter = int(filter);
    });
    *b.action = a;
  }
  tbtnZoomFilterNone->setChecked(true);
}

QAction* TfrmImageViewer::AddAction(const char* name, const char* text, std::function<void()> run) {
  auto* a = new QAction(QString::fromUtf8(text), this);
  a->setObjectName(name);
  connect(a, &QAction::triggered, this, std::move(run));
  return a;
}

void TfrmImageViewer::BuildActions() {
  actZoomIn = AddAction("actZoomIn", "Zoom in", [this] { ZoomBy(1.25); });
  actZoomOut = AddAction("actZoomOut", "Zoom out", [this] { ZoomBy(0.8); });
  actFullScreen = AddAction("actFullScreen", "Full screen", [this] { SetFullScreen(!FullScreen_); });
  actLeaveFullScreen = AddAction("actLeaveFullScreen", "Leave full screen", [this] {
    if (Slideshow_) StopSlideshow();
    SetFullScreen(false);
  });
  actSlideshow = AddAction("actSlideshow", "Slideshow", [this] {
    if (!Slideshow_) StartSlideshow();
    else PauseSlideshow(SlideshowRunning());
  });
  actTurnLeft = AddAction("actTurnLeft", "Turn left", [this] { Turn(1); });
  actTurnRight = AddAction("actTurnRight", "Turn right", [this] { Turn(-1); });
  actUndo = AddAction("actUndo", "Undo", [this] { Undo(); });
  actNext = AddAction("actNext", "Next picture", [this] { Step(1); });
  actPrevious = AddAction("actPrevious", "Previous picture", [this] { Step(-1); });
  actFirst = AddAction("actFirst", "First picture", [this] { SelectEntry(0); });
  actLast = AddAction("actLast", "Last picture", [this] { SelectEntry(VeloraMView1->ImageCount() - 1); });
  actKeyList = AddAction("actKeyList", "Keys", [this] { ShowKeyList(); });
  const struct {
    QKeySequence key;
    QAction* action;
  } keys[] = {
      {Qt::Key_Plus, actZoomIn},          {Qt::Key_Equal, actZoomIn},         {Qt::Key_Minus, actZoomOut},
      {Qt::Key_0, tbtnZoomX1},            {Qt::Key_1, tbtnZoomX1},            {Qt::Key_Z, tbtnZoomXFit},
      {Qt::Key_F, actFullScreen},         {Qt::Key_F11, actFullScreen},       {Qt::Key_Escape, actLeaveFullScreen},
      {Qt::Key_S, actSlideshow},          {Qt::Key_BracketLeft, actTurnLeft}, {Qt::Key_BracketRight, actTurnRight},
      {QKeySequence::Undo, actUndo},      {Qt::Key_Space, actNext},           {Qt::Key_Backspace, actPrevious},
      {Qt::Key_Home, actFirst},           {Qt::Key_End, actLast},             {Qt::Key_R, tbtnReloadImage},
      {Qt::Key_F1, actKeyList},           {Qt::Key_Question, actKeyList},
  };
  for (const auto& k : keys) BindKey(k.key, k.action);
}

void TfrmImageViewer::ApplySettings() {
  SetStayOnTop(Settings_.StayOnTop);
  if (Settings_.ColumnWidth > 0) {
    const QList<int> sizes = Splitter1->sizes();
    Splitter1->setSizes({Settings_.ColumnWidth, std::max(sizes.value(0) + sizes.value(1) - Settings_.ColumnWidth, 1)});
  }
  const int filter = Settings_.ZoomFilter;
  for (QAction* a : {tbtnZoomFilterNone, tbtnZoomFilterBSpline, tbtnZoomFilterLinear, tbtnZoomFilterLanczos3,
                     tbtnZoomFilterMitchell, tbtnZoomFilterHermite}) {
    // The buttons' own handlers know their filters: the one whose filter is kept is pressed.
    a->trigger();
    if (int(VeloraView1->ZoomFilter()) == filter) break;
  }
  if (int(VeloraView1->ZoomFilter()) != filter) tbtnZoomFilterNone->trigger();
  const QColor colour(Settings_.Transparency);
  if (Settings_.Transparency != "checker" && colour.isValid())
    VeloraView1->SetTransparencyBackdrop(vltbColour, TColor(colour.red() | colour.green() << 8 | colour.blue() << 16));
  else
    VeloraView1->SetTransparencyBackdrop(vltbChecker);
  SlideshowTimer_.setInterval(Settings_.SlideshowMs);
  // The window's geometry is restored by ShowViewerWindow (it knows about maximising).
  if (!Settings_.State.isEmpty()) restoreState(Settings_.State);
}

void TfrmImageViewer::SaveSettings() {
  // The window's own geometry is kept, not full screen's (which keeps the one read at start).
  if (!FullScreen_) {
    Settings_.Geometry = saveGeometry();
    Settings_.State = saveState();
    Settings_.InfoPanel = !InfoPanel_->isHidden();  // also when its own button closed it
  }
  Settings_.ColumnWidth = VeloraMView1->width();
  QSettings store("Tessel", "TesselImageViewer");
  Settings_.Save(store);
}

void TfrmImageViewer::SetStayOnTop(bool on) {
  Settings_.StayOnTop = on;
  if (StayOnTop() == on) return;
  const bool shown = isVisible();
  setWindowFlag(Qt::WindowStaysOnTopHint, on);
  if (shown) show();  // changing the flags hides a shown window
}

bool TfrmImageViewer::StayOnTop() const { return windowFlags().testFlag(Qt::WindowStaysOnTopHint); }

TColor TfrmImageViewer::ViewBackground() const { return FullScreen_ ? clBlack : WindowBackground_; }

void TfrmImageViewer::closeEvent(QCloseEvent* event) {
  StopSlideshow();
  SaveSettings();
  QMainWindow::closeEvent(event);
}

bool TfrmImageViewer::event(QEvent* event) {
  bool result = QMainWindow::event(event);
  // The first activation (or, on platforms that never activate windows, the first show)
  // starts the scan once the window is on screen.
  if ((event->type() == QEvent::WindowActivate || event->type() == QEvent::Show) && !Activated_)
    QTimer::singleShot(0, this, &TfrmImageViewer::FormActivate);
  return result;
}

void TfrmImageViewer::FormActivate() {
  if (Activated_) return;
  Activated_ = true;
  // Set once, before any worker reads.
  VLInstallLzwCoders();
  // The viewer never writes files, so showing photos upright loses nothing.
  VeloraView1->GetIO().Params().JpegApplyOrientation = true;
  SetWatchFolder(true);
  ScanFolder();
}

void TfrmImageViewer::SetWatchFolder(bool on) {
  const QString folder = QString::fromStdString(Folder_);
  if (on)
    Watcher_.addPath(folder);
  else if (!Watcher_.directories().isEmpty())
    Watcher_.removePath(folder);
  if (!on) WatchTimer_.stop();
}

bool TfrmImageViewer::Busy() const {
  return PendingIndex_ >= 0 || Scanning_ || Rescanning_ || WatchTimer_.isActive() || Loader_->Busy() > 0;
}

// ---- the scan ------------------------------------------------------------------------------

// A listed entry with its file's stamp, to notice later changes.
struct TScanEntryStamped {
  TScanEntry Entry;
  TFileStamp Stamp;
  int Pages = 1;
};

// The scan runs on the loader in pieces, so that a picture asked for meanwhile does not wait
// for the whole folder: each piece reads headers for a while and hands its entries over.
struct TScanJob {
  std::string Folder, Mask;
  std::vector<std::string> Given;
  TSortOrder Order = TSortOrder::soName;
  bool Reversed = false;
  std::vector<std::string> Names;
  bool Listed = false;
  size_t Next = 0;
  int Count = 0;  // entries handed over so far
};

namespace {

// The names the list shows, in its order: the files given, as given (those still there), or
// the folder's entries matching the mask in the chosen order.
void ListEntries(const std::string& folder, const std::string& mask, const std::vector<std::string>& given,
                 TSortOrder order, bool reversed, std::vector<std::string>& names) {
  names.clear();
  if (!given.empty()) {
    for (const std::string& name : given)
      if (QFileInfo::exists(QString::fromStdString(folder + "/" + name))) names.push_back(name);
    return;
  }
  ListFolder(folder, mask, names);
  SortFolderNames(folder, names, order, reversed);
}

// How long one piece of the scan reads before handing its entries over.
constexpr int kScanPieceMs = 40;
// ... and at most this many entries, so that taking them in stays a short task for the GUI thread.
constexpr size_t kScanPieceEntries = 100;

// Why a file matching the mask is not listed, in a few words; "" for what is not a file at
// all (a subfolder), which is not counted.
std::string LeftOutReason(const std::string& path, const TVeloraIO& io) {
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (error) return "cannot be opened: " + error.message();
  if (!std::filesystem::is_regular_file(status)) return {};
  const auto size = std::filesystem::file_size(path, error);
  if (!error && size == 0) return "empty file";
  if (!io.AbortReason.empty()) return io.AbortReason;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return "cannot be opened";
  std::fclose(f);
  return "not an image in a format this viewer reads";
}

// Reads headers from job.Next on, for about kScanPieceMs; the first piece stops at the
// first listed entry so that the first picture can be read at once. Files left out go to
// leftOut with the reason.
std::vector<TScanEntryStamped> ScanPiece(TScanJob& job, const TLoadTicket& ticket,
                                         std::map<std::string, std::string>& leftOut) {
  std::vector<TScanEntryStamped> batch;
  if (!job.Listed) {
    ListEntries(job.Folder, job.Mask, job.Given, job.Order, job.Reversed, job.Names);
    job.Listed = true;
  }
  TVeloraIO io;  // free-standing: no view, no bitmap
  io.Params().JpegApplyOrientation = true;  // captions give the upright size
  QElapsedTimer clock;
  clock.start();
  while (job.Next < job.Names.size() && !ticket.Stale()) {
    const std::string& name = job.Names[job.Next++];
    TScanEntryStamped item;
    io.AbortReason.clear();
    if (ScanOne(io, job.Folder, name, item.Entry)) {
      item.Stamp = StampOfFile(item.Entry.FileName);
      item.Pages = PageCount(io.Params());
      batch.push_back(std::move(item));
      if (job.Count == 0) break;
    } else if (std::string why = LeftOutReason(job.Folder + "/" + name, io); !why.empty()) {
      leftOut[name] = why;
    }
    if (clock.elapsed() >= kScanPieceMs || batch.size() >= kScanPieceEntries) break;
  }
  return batch;
}

}  // namespace

void TfrmImageViewer::ScanFolder() {
  Loader_->Renew(ScanChannel_);
  VeloraMView1->Clear();
  Known_.clear();
  NotShown_.clear();
  Status_->SetNotShown(0);
  auto job = std::make_shared<TScanJob>();
  job->Folder = Folder_;
  job->Mask = FileMask_;
  job->Given = Given_;
  job->Order = Order_;
  job->Reversed = Reversed_;
  ScanClock_.start();
  Scanning_ = true;
  ScanNext(job);
}

void TfrmImageViewer::ScanNext(std::shared_ptr<TScanJob> job) {
  Loader_->Submit(ScanChannel_, kScanPriority, 0, this, [this, job](const TLoadTicket& ticket) -> TLoadDone {
    auto leftOut = std::make_shared<std::map<std::string, std::string>>();
    auto batch = std::make_shared<std::vector<TScanEntryStamped>>(ScanPiece(*job, ticket, *leftOut));
    const int done = int(job->Next), total = int(job->Names.size());
    job->Count += int(batch->size());
    return [this, job, batch, leftOut, done, total] {
      ScanArrived(job, std::move(*batch), std::move(*leftOut), done, total, done >= total);
    };
  });
}

void TfrmImageViewer::ScanArrived(const std::shared_ptr<TScanJob>& job, std::vector<TScanEntryStamped> batch,
                                  std::map<std::string, std::string> leftOut, int done, int total, bool finished) {
  NotShown_.merge(leftOut);
  Status_->SetNotShown(int(NotShown_.size()));
  const bool first = VeloraMView1->ImageCount() == 0 && !batch.empty();
  // One layout for the whole batch.
  VeloraMView1->LockUpdate();
  for (TScanEntryStamped& item : batch) {
    const TScanEntry& entry = item.Entry;
    int idx = VeloraMView1->AppendImageQuietly();
    VeloraMView1->SetImageFileName(idx, entry.FileName);
    VeloraMView1->ImageTopText(idx)->SetCaption(std::to_string(idx + 1));
    VeloraMView1->ImageBottomText(idx)->SetCaption(entry.BottomText);
    VeloraMView1->ImageInfoText(idx)->SetCaption(entry.InfoText);
    VeloraMView1->ImageBottomText(idx)->Background = entry.BottomBackground;
    VeloraMView1->SetImagePages(idx, item.Pages);
    Known_[entry.BottomText] = item.Stamp;
  }
  VeloraMView1->UnlockUpdate();
  ShowScanProgress(done, total);
  // The first picture is read as soon as it is listed; the selection handler reads and fits it.
  // A file named on the command line (or kept through a new order) is waited for instead.
  if (!SelectName_.empty()) {
    SelectNamed();
  } else if (first) {
    CurrentIndex_ = 0;
    VeloraMView1->SetSelectedImage(0);
  }
  if (!finished) {
    ScanNext(job);
    return;
  }
  Scanning_ = false;
  ShowScanProgress(0, 0);
  SelectName_.clear();
  // An empty folder: the selection event still comes, with -1. (Likewise when the entry to
  // select was not listed: the first is.)
  if (VeloraMView1->ImageCount() == 0 || VeloraMView1->SelectedImage() < 0) {
    CurrentIndex_ = 0;
    VeloraMView1->SetSelectedImage(0);
  }
}

void TfrmImageViewer::ShowScanProgress(int done, int total) {
  // A scan that ends within half a second shows nothing.
  constexpr int kQuietMs = 500;
  const bool show = Scanning_ && total > 0 && done < total && ScanClock_.elapsed() >= kQuietMs;
  if (show) {
    ScanProgress_->setRange(0, total);
    ScanProgress_->setValue(done);
    ScanLabel_->setText(QString("Reading %1 of %2").arg(done).arg(total));
  }
  ScanLabel_->setVisible(show);
  ScanProgress_->setVisible(show);
  UpdateStatusBar();
}

// ---- the folder watched --------------------------------------------------------------------

// A look at the folder again: the names now listed, with what is new or changed read.
struct TRescan {
  std::string Folder, Mask;
  std::vector<std::string> Given;
  TSortOrder Order = TSortOrder::soName;
  bool Reversed = false;
  std::map<std::string, TFileStamp> Known;     // listed, as last seen
  std::map<std::string, TFileStamp> Unlisted;  // not images, as last seen
  std::map<std::string, TFileStamp> NowUnlisted;
  std::map<std::string, std::string> LeftOut;  // name -> why it is not listed
  std::vector<std::string> Names;           // listed now, in list order
  std::map<std::string, TScanEntryStamped> Read;  // new or changed files that are images
};

void TfrmImageViewer::RescanFolder() {
  if (!Activated_) return;
  if (Scanning_ || Rescanning_) {
    WatchTimer_.start();  // once the running one is done
    return;
  }
  Rescanning_ = true;
  auto rescan = std::make_shared<TRescan>();
  rescan->Folder = Folder_;
  rescan->Mask = FileMask_;
  rescan->Given = Given_;
  rescan->Order = Order_;
  rescan->Reversed = Reversed_;
  rescan->Known = Known_;
  rescan->Unlisted = Unlisted_;
  Loader_->Submit(ScanChannel_, kScanPriority, 0, this, [this, rescan](const TLoadTicket&) -> TLoadDone {
    std::vector<std::string> names;
    ListEntries(rescan->Folder, rescan->Mask, rescan->Given, rescan->Order, rescan->Reversed, names);
    TVeloraIO io;
    io.Params().JpegApplyOrientation = true;
    for (const std::string& name : names) {
      const TFileStamp stamp = StampOfFile(rescan->Folder + "/" + name);
      auto known = rescan->Known.find(name);
      if (known != rescan->Known.end() && known->second == stamp) {
        rescan->Names.push_back(name);
        continue;
      }
      TScanEntryStamped item;
      io.AbortReason.clear();
      if (!ScanOne(io, rescan->Folder, name, item.Entry)) {
        rescan->NowUnlisted[name] = stamp;
        if (std::string why = LeftOutReason(rescan->Folder + "/" + name, io); !why.empty()) rescan->LeftOut[name] = why;
        continue;
      }
      item.Stamp = stamp;
      item.Pages = PageCount(io.Params());
      rescan->Read[name] = std::move(item);
      rescan->Names.push_back(name);
    }
    return [this, rescan] { RescanArrived(rescan); };
  });
}

void TfrmImageViewer::RescanArrived(const std::shared_ptr<TRescan>& rescan) {
  Rescanning_ = false;
  // A file being written is seen as it is created, empty or cut short; its writing ends
  // without another notice of the folder. So the folder is looked at again while such a
  // file still changes between looks.
  bool growing = false;
  for (const auto& [name, stamp] : rescan->NowUnlisted) {
    auto before = rescan->Unlisted.find(name);
    growing |= before == rescan->Unlisted.end() || !(before->second == stamp);
  }
  Unlisted_ = rescan->NowUnlisted;
  NotShown_ = rescan->LeftOut;
  Status_->SetNotShown(int(NotShown_.size()));
  if (growing) WatchTimer_.start();
  TVeloraMView& m = *VeloraMView1;
  const std::string shownName = m.GetImageFileName(ShownIndex_);
  const std::set<std::string> now(rescan->Names.begin(), rescan->Names.end());
  // Gone: deleting keeps the selection on its entry (or on the next one when it was that).
  bool selectedGone = false;
  for (int i = m.ImageCount() - 1; i >= 0; --i) {
    const std::string name = m.ImageBottomText(i)->Caption();
    if (now.count(name)) continue;
    selectedGone |= i == m.SelectedImage();
    m.DeleteImage(i);
    Known_.erase(name);
  }
  // New and replaced: both lists are in list order, so one walk merges them.
  int i = 0;
  for (const std::string& name : rescan->Names) {
    auto read = rescan->Read.find(name);
    const bool listed = i < m.ImageCount() && m.ImageBottomText(i)->Caption() == name;
    if (read == rescan->Read.end()) {
      if (listed) ++i;
      continue;
    }
    const TScanEntryStamped& item = read->second;
    if (!listed) {
      m.InsertImageQuietly(i);
      m.SetImageFileName(i, item.Entry.FileName);
      m.ImageBottomText(i)->SetCaption(item.Entry.BottomText);
      m.ImageBottomText(i)->Background = item.Entry.BottomBackground;
    } else {
      m.InvalidateImage(i);
    }
    m.ImageInfoText(i)->SetCaption(item.Entry.InfoText);
    m.SetImagePages(i, item.Pages);
    Known_[name] = item.Stamp;
    ++i;
  }
  // In an order other than by name a changed file may have moved (its date, its size): the
  // merge keeps places, so a list that no longer agrees is read again, the selection kept.
  bool inOrder = m.ImageCount() == int(rescan->Names.size());
  for (int k = 0; inOrder && k < m.ImageCount(); ++k) inOrder = m.ImageBottomText(k)->Caption() == rescan->Names[size_t(k)];
  if (!inOrder) {
    if (SelectName_.empty() && m.SelectedImage() >= 0) SelectName_ = m.ImageBottomText(m.SelectedImage())->Caption();
    ScanFolder();
    return;
  }
  Renumber();
  m.Update();
  if (!SelectName_.empty() && SelectNamed()) return;
  SelectName_.clear();
  const int selected = m.SelectedImage();
  if (selectedGone || (selected < 0 && m.ImageCount() > 0)) {
    m.SetSelectedImage(std::max(selected, 0));  // the entry now under the highlight is shown
  } else if (selected >= 0) {
    CurrentIndex_ = selected;
    if (!shownName.empty() && m.GetImageFileName(selected) == shownName) {
      ShownIndex_ = selected;
      // Replaced on disk: read again, at the zoom the user has.
      if (rescan->Read.count(m.ImageBottomText(selected)->Caption())) StartPicture(selected, false, false);
    }
  }
}

void TfrmImageViewer::Renumber() {
  for (int i = 0; i < VeloraMView1->ImageCount(); ++i) VeloraMView1->ImageTopText(i)->SetCaption(std::to_string(i + 1));
}

// ---- the picture ---------------------------------------------------------------------------

std::string FailureReason(const TVeloraIO& io) {
  // The reader's own words where it gave some; a few readers stop without a reason.
  if (!io.AbortReason.empty()) return io.AbortReason;
  return "the file is damaged or not an image this viewer reads";
}

void TfrmImageViewer::VeloraMView1ImageSelect(int idx) {
  if (idx >= 0 && CurrentIndex_ >= 0 && idx != CurrentIndex_) Direction_ = idx > CurrentIndex_ ? 1 : -1;
  CurrentIndex_ = idx;
  PendingIndex_ = idx;
  // The picture shown always belongs to the highlighted thumbnail: until the new one comes
  // the view is empty. Replacing the picture also drops its pending filtered repaint.
  if (idx != ShownIndex_) {
    Loader_->Renew(ViewChannel_);
    ShowEmptyPicture();
  }
  // Selections queued behind each other (a held key) only move the target: the latest one
  // is asked for once the queued input is handled.
  SettleTimer_.start(0);
}

void TfrmImageViewer::LoadPendingSelection() {
  SettleTimer_.stop();
  if (PendingIndex_ < 0) return;
  const int idx = PendingIndex_;
  PendingIndex_ = -1;
  StartPicture(idx, true, true);
}

namespace {

// Width and height from an info caption ("6000x4000x24b"), 0 when it says none.
void CaptionSize(const std::string& caption, int& w, int& h) {
  if (std::sscanf(caption.c_str(), "%dx%d", &w, &h) != 2) w = h = 0;
}

bool IsJpegName(const std::string& name) {
  const TVLFormatDescriptor* format =
      VLFindBuiltinFormatByExtension(name.substr(name.find_last_of('.') + 1), TVLExtensionUse::euLoad);
  return name.find('.') != std::string::npos && format && format->FileType == ioJPEG;
}

}  // namespace

void TfrmImageViewer::StartPicture(int idx, bool fit, bool useCache, int page) {
  Loader_->Renew(ViewChannel_);
  ReadPage_ = page;
  AfterWhole_.clear();
  AwaitingAhead_.clear();
  const std::string name = VeloraMView1->GetImageFileName(idx);
  if (name.empty()) {  // an empty list: nothing to read, nothing to say
    ShowEmptyPicture();
    ShownIndex_ = idx;
    ShowStatus({});
    return;
  }
  const TFileStamp stamp = StampOfFile(name);
  // The same file, unchanged, already whole in the view: only the fit.
  if (useCache && page == 0 && idx == ShownIndex_ && ShownWhole_ && Pristine_ && Shown_ && Shown_->FileName == name &&
      stamp.Valid() && Shown_->Stamp == stamp) {
    if (fit) {
      FitMode_ = true;
      Fit();
    }
    ReadAround(idx);
    return;
  }
  if (useCache && page == 0) {
    if (TPicturePtr picture = Ahead_.Take(name, stamp)) {
      Present(idx, picture, fit);
      return;
    }
    // Being read ahead already: that read is the one to wait for, moved to the front.
    for (const auto& [key, file] : AheadInFlight_)
      if (file == name) {
        Loader_->Reprioritize(AheadChannel_, key, kPicturePriority);
        AwaitingAhead_ = name;
        AwaitingFit_ = fit;
        return;
      }
  }
  int w = 0, h = 0;
  CaptionSize(VeloraMView1->ImageInfoText(idx)->Caption(), w, h);
  // A preview pays off for large photos only, and is pointless for a reload, which keeps
  // the old picture until the new one is there.
  const bool preview = useCache && page == 0 && int64_t(w) * h >= 4000000 && IsJpegName(name);
  SubmitRead(idx, name, fit, preview);
}

void TfrmImageViewer::SubmitRead(int idx, const std::string& name, bool fit, bool preview) {
  TPictureRequest request;
  request.FileName = name;
  request.Background = ColorToRGB(ViewBackground());
  request.Upright = VeloraView1->GetIO().Params().JpegApplyOrientation;
  request.Page = ReadPage_;
  request.Histogram = true;  // for the information panel, counted on the worker
  auto source = PictureSource;
  Loader_->Submit(ViewChannel_, kPicturePriority, idx, this, [this, source, request, idx, fit](const TLoadTicket& t) -> TLoadDone {
    TPicturePtr picture = source(request, [&t] { return t.Stale(); });
    return [this, idx, picture, fit] { PictureArrived(idx, picture, fit); };
  });
  if (!preview) return;
  request.JpegScale = 4;  // an eighth: the whole file is still decoded, but with 1/64 of the work per block
  Loader_->Submit(ViewChannel_, kPreviewPriority, idx, this, [this, source, request, idx](const TLoadTicket& t) -> TLoadDone {
    TPicturePtr picture = source(request, [&t] { return t.Stale(); });
    return [this, idx, picture] { PreviewArrived(idx, picture); };
  });
}

void TfrmImageViewer::PreviewArrived(int idx, const TPicturePtr& picture) {
  // Too late (the whole picture is there) or failed (the whole read will say why).
  if (idx != CurrentIndex_ || (idx == ShownIndex_ && ShownWhole_) || picture->Failed) return;
  TBitmap& b = VeloraView1->Bitmap();
  b.SwapPixels(picture->Bitmap);
  VeloraView1->AlphaMask().Allocate(b.Width(), b.Height(), 8);
  VeloraView1->AlphaMask().Fill(255);
  Shown_ = nullptr;
  ShownIndex_ = idx;
  ShownWhole_ = Pristine_ = false;
  Preview_ = true;
  PreviewMark_->show();
  PreviewMark_->raise();
  ShowStatus({});
  VeloraView1->Update();
  VeloraView1->NotifyImageChanged();
  FitMode_ = true;
  Fit();
  UpdatePictureStatus();
  if (TransitionPending_) {
    TransitionPending_ = false;
    VeloraView1->StartTransition(SlideshowTransition(), std::min(Settings_.TransitionMs, Settings_.SlideshowMs / 2));
  }
}

void TfrmImageViewer::PictureArrived(int idx, const TPicturePtr& picture, bool fit) { Present(idx, picture, fit); }

void TfrmImageViewer::Present(int idx, const TPicturePtr& picture, bool fit) {
  TVeloraIO& io = VeloraView1->GetIO();
  io.Aborting = picture->Failed;
  io.AbortReason = picture->Reason;
  const bool wasPreview = Preview_ && ShownIndex_ == idx;
  Player_->Stop();
  Preview_ = false;
  PreviewMark_->hide();
  ShownIndex_ = idx;
  if (picture->Failed) {
    AfterWhole_.clear();
    Shown_ = nullptr;
    ShownWhole_ = Pristine_ = false;
    ShowEmptyPicture();
    // An open failure names the file itself ("Cannot open file …").
    const bool opened = picture->Reason.rfind("Cannot open file", 0) != 0;
    ShowStatus(opened ? "Cannot read " + picture->FileName + ": " + FailureReason(io) : picture->Reason);
    UpdatePictureStatus();
    TransitionPending_ = false;
    PicturePresented(picture);
    return;
  }
  ShowStatus({});
  io.Params().AssignParams(*picture->Params);
  // A file's own background is for its own picture: the next one has the window's again.
  // Full screen stays black.
  const TColor background = picture->BackgroundChanged && !FullScreen_ ? picture->Background : ViewBackground();
  if (VeloraView1->Background() != background) VeloraView1->SetBackground(background);
  VeloraView1->GetProc().ClearUndoStore();  // an undo belongs to the picture it was made on
  Turns_ = TurnsSinceEdit_ = 0;
  if (picture->ViewDpi) VeloraView1->SetDpi(picture->DpiX, picture->DpiY);
  const double zoom = VeloraView1->Zoom();
  const int previewWidth = VeloraView1->Bitmap().Width();
  const int ox = VeloraView1->ViewOriginX(), oy = VeloraView1->ViewOriginY();
  TBitmap& b = VeloraView1->Bitmap();
  b.SwapPixels(picture->Bitmap);
  picture->Bitmap.FreeImage();  // the preview's pixels, or nothing
  // The reader's alpha plane, made on its thread, is handed over whole.
  if (picture->Alpha.Width() == b.Width() && picture->Alpha.Height() == b.Height() && picture->Alpha.BitsPerPixel() == 8) {
    VeloraView1->AlphaMask().SwapPlane(picture->Alpha);
  } else {
    VeloraView1->AlphaMask().Allocate(b.Width(), b.Height(), 8);
    VeloraView1->AlphaMask().Fill(255);
  }
  Shown_ = picture;
  ShownWhole_ = true;
  // Only a first page goes back among the pictures read ahead, which stand for whole files.
  Pristine_ = picture->Page == 0;
  VeloraView1->Update();
  VeloraView1->NotifyImageChanged();
  // Over a preview the fit follows what the user did with it.
  if (wasPreview ? FitMode_ : fit) {
    FitMode_ = true;
    Fit();
  } else if (wasPreview && previewWidth > 0 && b.Width() > 0) {
    // What the user set on the preview stays: the same size on screen, the same place.
    Fitting_ = true;
    VeloraView1->SetZoom(zoom * previewWidth / b.Width());
    Fitting_ = false;
    VeloraView1->SetViewOrigin(ox, oy);
  }
  UpdatePictureStatus();
  if (TransitionPending_) {
    TransitionPending_ = false;
    VeloraView1->StartTransition(SlideshowTransition(), std::min(Settings_.TransitionMs, Settings_.SlideshowMs / 2));
  }
  std::vector<std::function<void()>> waiting;
  waiting.swap(AfterWhole_);
  for (auto& command : waiting) QTimer::singleShot(0, this, command);
  PicturePresented(picture);
  ReadAround(idx);
}

void TfrmImageViewer::ReadAround(int idx) {
  // What was asked for before and not started is asked for again around the new place.
  for (int64_t key : Loader_->TakeQueued(AheadChannel_)) AheadInFlight_.erase(key);
  for (int next : {idx + Direction_, idx - Direction_}) {
    const std::string name = VeloraMView1->GetImageFileName(next);
    if (name.empty() || Ahead_.Contains(name)) continue;
    if (std::any_of(AheadInFlight_.begin(), AheadInFlight_.end(), [&](const auto& f) { return f.second == name; }))
      continue;
    TPictureRequest request;
    request.FileName = name;
    request.Background = ColorToRGB(ViewBackground());
    request.Upright = VeloraView1->GetIO().Params().JpegApplyOrientation;
    request.Histogram = true;
    const int64_t key = NextAheadKey_++;
    AheadInFlight_[key] = name;
    Loader_->Submit(AheadChannel_, kAheadPriority, key, this, [this, source = PictureSource, request, key](const TLoadTicket& t) -> TLoadDone {
      TPicturePtr picture = source(request, [&t] { return t.Stale(); });
      return [this, key, picture] { AheadArrived(key, picture); };
    });
  }
}

void TfrmImageViewer::AheadArrived(int64_t key, const TPicturePtr& picture) {
  AheadInFlight_.erase(key);
  if (!AwaitingAhead_.empty() && AwaitingAhead_ == picture->FileName &&
      VeloraMView1->GetImageFileName(CurrentIndex_) == picture->FileName) {
    AwaitingAhead_.clear();
    Present(CurrentIndex_, picture, AwaitingFit_);
    return;
  }
  DisposeLater(Ahead_.Put(picture));
}

void TfrmImageViewer::DisposeLater(std::vector<TPicturePtr> pictures) {
  if (pictures.empty()) return;
  Loader_->Submit(DisposeChannel_, 0, 0, nullptr, [pictures = std::move(pictures)](const TLoadTicket&) -> TLoadDone {
    return {};  // the pictures go with this job, on the worker
  });
}

void TfrmImageViewer::WhenWhole(std::function<void()> command) {
  if (Preview_)
    AfterWhole_.push_back(std::move(command));
  else
    command();
}

void TfrmImageViewer::ShowEmptyPicture() {
  TBitmap& b = VeloraView1->Bitmap();
  const bool wasEmpty = b.Empty();
  // A whole picture nobody changed goes back among those read ahead: stepping back shows
  // it without reading it again.
  if (Shown_ && ShownWhole_ && Pristine_ && !wasEmpty) {
    Shown_->Bitmap.SwapPixels(b);
    Shown_->Alpha.SwapPlane(VeloraView1->AlphaMask());
    DisposeLater(Ahead_.Put(Shown_));
  }
  Shown_ = nullptr;
  ShownWhole_ = Pristine_ = Preview_ = false;
  PreviewMark_->hide();
  VeloraView1->GetProc().ClearUndoStore();
  Turns_ = TurnsSinceEdit_ = 0;
  Status_->SetZoom(0);
  Status_->SetImageSize(0, 0, 0);
  if (VeloraView1->Background() != ViewBackground()) VeloraView1->SetBackground(ViewBackground());
  PicturePresented(nullptr);
  if (wasEmpty) return;
  // Giving back the pages of a large picture takes a while: a worker does it.
  auto old = std::make_shared<TPictureResult>();
  old->Bitmap.SwapPixels(b);
  old->Alpha.SwapPlane(VeloraView1->AlphaMask());
  DisposeLater({old});
  VeloraView1->Update();
  VeloraView1->NotifyImageChanged();
}

void TfrmImageViewer::ShowStatus(const std::string& text) {
  Status_->SetFailure(QString::fromStdString(text));
  UpdateStatusBar();
}

void TfrmImageViewer::UpdateStatusBar() { statusBar()->setVisible(!FullScreen_); }

QString TfrmImageViewer::FailureText() const { return Status_->Failure(); }

void TfrmImageViewer::UpdatePictureStatus() {
  TVeloraMView& m = *VeloraMView1;
  const int idx = CurrentIndex_;
  const std::string path = m.GetImageFileName(idx);
  Status_->SetFileName(QString::fromStdString(path.empty() ? std::string() : m.ImageBottomText(idx)->Caption()));
  Status_->SetPosition(path.empty() ? -1 : idx, m.ImageCount());
  const TFileStamp stamp = StampOfFile(path);
  Status_->SetFileSize(path.empty() || !stamp.Valid() ? -1 : stamp.Size);
  const TBitmap& b = VeloraView1->Bitmap();
  const bool shown = !b.Empty() && ShownIndex_ == idx && !(b.Width() == 1 && b.Height() == 1);
  if (shown && !Preview_) {
    const TIOParamsVals& params = VeloraView1->GetIO().Params();
    Status_->SetImageSize(b.Width(), b.Height(), params.BitsPerSample * params.SamplesPerPixel);
  } else if (shown) {
    // The preview's pixels are reduced: the caption has the picture's own size.
    int w = 0, h = 0, bits = 0;
    std::sscanf(m.ImageInfoText(idx)->Caption().c_str(), "%dx%dx%db", &w, &h, &bits);
    Status_->SetImageSize(w, h, bits);
  } else {
    Status_->SetImageSize(0, 0, 0);
  }
  Status_->SetZoom(shown ? VeloraView1->Zoom() : 0);
}

void TfrmImageViewer::Fit() {
  Fitting_ = true;
  VeloraView1->Fit();
  Fitting_ = false;
}

namespace {

// The keys the column moves its highlight with.
bool IsColumnKey(int key) {
  switch (key) {
    case Qt::Key_Up: case Qt::Key_Down: case Qt::Key_Left: case Qt::Key_Right:
    case Qt::Key_PageUp: case Qt::Key_PageDown:
      return true;
    default:
      return false;
  }
}

bool IsModifierKey(int key) {
  return key == Qt::Key_Shift || key == Qt::Key_Control || key == Qt::Key_Alt || key == Qt::Key_Meta ||
         key == Qt::Key_AltGr || key == Qt::Key_CapsLock || key == Qt::Key_NumLock;
}

}  // namespace

bool TfrmImageViewer::HandleKey(QKeyEvent& event) {
  if (IsModifierKey(event.key())) return false;
  QAction* action = Keys_.Find(event);
  // A running slideshow pauses on any key but its own and Escape, which ends it.
  if (SlideshowRunning() && action != actLeaveFullScreen && action != actSlideshow) {
    PauseSlideshow(true);
    return true;
  }
  if (!action || !action->isEnabled()) return false;
  action->trigger();
  return true;
}

void TfrmImageViewer::keyPressEvent(QKeyEvent* event) {
  // Keys that reach the window itself (the focus on a tool bar, or nowhere).
  if (HandleKey(*event)) return event->accept();
  if (IsColumnKey(event->key())) {
    QApplication::sendEvent(VeloraMView1, event);
    return;
  }
  QMainWindow::keyPressEvent(event);
}

bool TfrmImageViewer::eventFilter(QObject* watched, QEvent* event) {
  // The window manager sizes the window after the first fit (its frame, maximising): a
  // fitted view fits again whenever its size changes.
  if (watched == VeloraView1 && event->type() == QEvent::Resize && FitMode_) Fit();
  // The keys are the window's wherever the focus is: a click on the picture takes the focus
  // to the view, which has no use for the column's keys and hands them over.
  if ((watched == VeloraView1 || watched == VeloraMView1) && event->type() == QEvent::KeyPress) {
    auto& key = static_cast<QKeyEvent&>(*event);
    if (HandleKey(key)) return true;
    if (watched == VeloraView1 && IsColumnKey(key.key())) {
      QApplication::sendEvent(VeloraMView1, &key);
      return true;
    }
  }
  if (watched == VeloraView1 && event->type() == QEvent::Wheel && Settings_.Wheel == TWheelChoice::Browse)
    return BrowseWheel(static_cast<QWheelEvent&>(*event));
  return QMainWindow::eventFilter(watched, event);
}

bool TfrmImageViewer::BrowseWheel(QWheelEvent& event) {
  // Fine-grained wheels (touch pads) send small steps: one picture per notch's worth.
  WheelSteps_ += event.angleDelta().y();
  const int notches = WheelSteps_ / 120;
  if (notches == 0) return true;
  WheelSteps_ -= notches * 120;
  TVeloraView& v = *VeloraView1;
  if (event.modifiers() & Qt::ControlModifier) {
    // About the pointer: the pixel under it stays there.
    const QPoint at = event.position().toPoint();
    const int bx = v.ClientToBitmapX(at.x()), by = v.ClientToBitmapY(at.y());
    const double zoom = v.Zoom() * std::pow(1.25, notches);
    v.LockUpdate();
    v.SetZoom(zoom);
    v.SetViewOrigin(int(bx * v.Zoom() / 100) - at.x() + v.CenterOffsetX(), int(by * v.Zoom() / 100) - at.y() + v.CenterOffsetY());
    v.UnlockUpdate();
  } else {
    Step(notches > 0 ? -1 : 1);
  }
  return true;
}

void TfrmImageViewer::ZoomBy(double factor) { VeloraView1->SetZoom(VeloraView1->Zoom() * factor); }

void TfrmImageViewer::Turn(int quarters) {
  // The view's picture only: the file is never written.
  WhenWhole([this, quarters] {
    TBitmap& b = VeloraView1->Bitmap();
    if (b.Empty()) return;
    VLTurnBitmap(b, quarters);
    VLTurnMask(VeloraView1->AlphaMask(), quarters);
    Turns_ = (Turns_ + quarters + 4) % 4;
    TurnsSinceEdit_ = (TurnsSinceEdit_ + quarters + 4) % 4;
    Pristine_ = false;  // not the picture as read: it does not go back among those read ahead
    VeloraView1->Update();
    VeloraView1->NotifyImageChanged();
    if (FitMode_) Fit();
    UpdatePictureStatus();
  });
}

void TfrmImageViewer::Undo() {
  // A delete is undone first: it was the last change (a new picture drops the edits' undo).
  if (Culling_->UndoDelete()) return;
  WhenWhole([this] {
    TVeloraProc& proc = VeloraView1->GetProc();
    if (proc.UndoCount() == 0) return;
    proc.RestoreUndo();
    proc.ClearUndoStore();  // one step back, as far as the component keeps
    // The copy was taken before the turns made since: they are made again.
    if (TurnsSinceEdit_) VLTurnBitmap(VeloraView1->Bitmap(), TurnsSinceEdit_);
    TurnsSinceEdit_ = 0;
    VeloraView1->Update();
    VeloraView1->NotifyImageChanged();
    if (FitMode_) Fit();
    UpdatePictureStatus();
    PictureEdited();
  });
}

void TfrmImageViewer::Step(int delta) {
  const int count = VeloraMView1->ImageCount();
  if (count == 0) return;
  SelectEntry(std::clamp(CurrentIndex_ + delta, 0, count - 1));
}

void TfrmImageViewer::SelectEntry(int idx) {
  if (idx < 0 || idx >= VeloraMView1->ImageCount() || idx == VeloraMView1->SelectedImage()) return;
  VeloraMView1->SetSelectedImage(idx);
}

// ---- full screen and slideshow --------------------------------------------------------------

void TfrmImageViewer::SetFullScreen(bool on) {
  if (on == FullScreen_) return;
  FullScreen_ = on;
  if (on) {
    WasMaximized_ = isMaximized();
    FitBeforeFullScreen_ = FitMode_;
    ZoomBeforeFullScreen_ = VeloraView1->Zoom();
    OriginBeforeFullScreenX_ = VeloraView1->ViewOriginX();
    OriginBeforeFullScreenY_ = VeloraView1->ViewOriginY();
  }
  // The picture alone, on black.
  VeloraMView1->setVisible(!on);
  tbMain->setVisible(!on);
  tbImageControl->setVisible(!on);
  // The information panel steps aside too, and comes back as it was.
  InfoPanel_->setVisible(!on && Settings_.InfoPanel);
  Splitter1->setHandleWidth(on ? 0 : 5);
  UpdateStatusBar();
  const TColor background = !on && Shown_ && Shown_->BackgroundChanged ? Shown_->Background : ViewBackground();
  if (VeloraView1->Background() != background) VeloraView1->SetBackground(background);
  if (on)
    showFullScreen();
  else if (WasMaximized_)
    showMaximized();
  else
    showNormal();
  if (on || FitBeforeFullScreen_) {
    FitMode_ = true;
    Fit();
  } else {
    // Back to the zoom the user had (on the same picture, or the one stepped to).
    FitMode_ = false;
    VeloraView1->SetZoom(ZoomBeforeFullScreen_);
    VeloraView1->SetViewOrigin(OriginBeforeFullScreenX_, OriginBeforeFullScreenY_);
  }
  if (on)
    VeloraView1->setFocus();
  else
    VeloraMView1->setFocus();
}

void TfrmImageViewer::StartSlideshow() {
  if (Slideshow_ || VeloraMView1->ImageCount() == 0) return;
  Slideshow_ = true;
  SlideshowFullScreen_ = !FullScreen_;
  SetFullScreen(true);
  Direction_ = 1;
  SlideshowTimer_.start(Settings_.SlideshowMs);
}

void TfrmImageViewer::StopSlideshow() {
  if (!Slideshow_) return;
  Slideshow_ = false;
  SlideshowTimer_.stop();
  TransitionPending_ = false;
  if (SlideshowFullScreen_) SetFullScreen(false);
}

void TfrmImageViewer::PauseSlideshow(bool paused) {
  if (!Slideshow_) return;
  if (paused)
    SlideshowTimer_.stop();
  else
    SlideshowTimer_.start(Settings_.SlideshowMs);
}

void TfrmImageViewer::SlideshowStep() {
  const int count = VeloraMView1->ImageCount();
  if (count == 0) return StopSlideshow();
  // From the end it starts again at the first picture.
  const int next = CurrentIndex_ + 1 < count ? CurrentIndex_ + 1 : 0;
  if (next == CurrentIndex_) return;
  if (VeloraView1->Transition().Running()) VeloraView1->Transition().Stop();
  // What shows now is the transition's start; it runs once the next picture is in the view
  // (at once when it was read ahead).
  VeloraView1->CaptureTransitionSource();
  TransitionPending_ = true;
  Direction_ = 1;
  SelectEntry(next);
}

TVLTransitionType TfrmImageViewer::SlideshowTransition() {
  const QString& choice = Settings_.Transition;
  if (choice == "none") return vlttNone;
  if (choice == "random") {
    static std::mt19937 random{std::random_device{}()};
    return TVLTransitionType(std::uniform_int_distribution<int>(1, kTransitionTypeCount - 1)(random));
  }
  TVLTransitionType effect = vlttCrossDissolve;
  if (!TransitionFromName(choice.toStdString(), effect)) effect = vlttCrossDissolve;
  return effect;
}

// ---- what the window says ------------------------------------------------------------------

namespace {

QMessageBox* OpenBox(QWidget* parent, const QString& text, const QString& details = {}) {
  // Beside the window, not in its way: the keys go on working while it is open.
  auto* box = new QMessageBox(QMessageBox::NoIcon, QString::fromUtf8(kViewerTitle), text, QMessageBox::Close, parent);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowModality(Qt::NonModal);
  box->setTextFormat(Qt::PlainText);
  if (!details.isEmpty()) box->setDetailedText(details);
  box->show();
  return box;
}

}  // namespace

void TfrmImageViewer::ShowKeyList() {
  if (KeyListBox_) KeyListBox_->close();
  KeyListBox_ = OpenBox(this, QString::fromStdString("Keys:\n\n" + ViewerKeyList()));
  KeyListBox_->setObjectName("KeyList");
  // Aligned columns.
  KeyListBox_->setStyleSheet("QLabel { font-family: monospace; }");
}

void TfrmImageViewer::ShowNotShown() {
  if (NotShownBox_) NotShownBox_->close();
  QString list;
  for (const auto& [name, why] : NotShown_) list += QString::fromStdString(name + ": " + why + "\n");
  const int n = int(NotShown_.size());
  const QString head = QString(n == 1 ? "1 file of the folder is not shown:" : "%1 files of the folder are not shown:").arg(n);
  // A short list is the message itself; a long one is folded away.
  NotShownBox_ = n <= 20 ? OpenBox(this, head + "\n\n" + list.trimmed()) : OpenBox(this, head, list.trimmed());
  NotShownBox_->setObjectName("NotShown");
}

void TfrmImageViewer::tbtnZoomXFitClick() {
  FitMode_ = true;
  Fit();
}

void TfrmImageViewer::tbtnZoomX1Click() {
  // 1:1 of a preview would show its reduced pixels: it waits for the whole picture.
  WhenWhole([this] {
    FitMode_ = false;
    VeloraView1->SetZoom(100);
  });
}

// The processing commands work on the whole picture: with a preview shown they wait for it.
void TfrmImageViewer::tbtnColorAdjustClick() {
  WhenWhole([this] {
    Player_->Stop();  // the change applies to the frame shown, which then stays
    Pristine_ = false;
    if (VeloraView1->GetProc().ShowPreviews(PreviewPageSet({ppContrast, ppHSV, ppHSL, ppRGB}))) TurnsSinceEdit_ = 0;
    UpdatePictureStatus();
    PictureEdited();
  });
}

void TfrmImageViewer::tbtnEffectClick() {
  WhenWhole([this] {
    Player_->Stop();
    Pristine_ = false;
    if (VeloraView1->GetProc().ShowPreviews(PreviewPageSet({ppUserFilter, ppBumpMap, ppRotate}))) TurnsSinceEdit_ = 0;
    UpdatePictureStatus();
    PictureEdited();
  });
}

void TfrmImageViewer::tbtnReloadImageClick() {
  // A selection still waiting is read as a selection (and fitted); otherwise the shown
  // entry is read again from its file at the current zoom, the old picture staying until
  // the new one is there.
  if (PendingIndex_ >= 0)
    LoadPendingSelection();
  else
    StartPicture(CurrentIndex_, false, false, ShownIndex_ == CurrentIndex_ ? Page_ : 0);
  VeloraView1->setToolTip(QString::fromStdString(VeloraMView1->GetImageFileName(CurrentIndex_)));
}
