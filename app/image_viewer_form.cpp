#include "image_viewer_form.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <cstdlib>

#include "codecs/formats.h"
#include "dialogs/previews_form.h"
#include "io/folder_scan.h"
#include "viewer_texts.h"
#include "io/io_params.h"
#include "io/velora_io.h"
#include "mview/velora_mview.h"
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
  // Maximised over the designed geometry, so that restoring returns to it (and not to a
  // screen-sized window whose title bar lies above the screen).
  form.showMaximized();
  // Without a window manager nobody maximises and nobody restores: the window takes the
  // screen itself.
  if (!WindowManagerRunning())
    if (QScreen* screen = form.screen()) form.setGeometry(screen->availableGeometry());
}

TfrmImageViewer::TfrmImageViewer(const std::string& folder, const std::string& fileMask, QWidget* parent)
    : QMainWindow(parent), Folder_(folder), FileMask_(fileMask) {
  setWindowTitle(QString::fromStdString(ViewerCaption(folder, fileMask)));
  setWindowFlag(Qt::WindowStaysOnTopHint);
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

  // The thumbnail column: one column of 100 × 100 captioned cells, read lazily as they show.
  VeloraMView1 = new TVeloraMView;
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
  // A zoom the user chose ends the fitting; the window's own fits do not.
  VeloraView1->OnViewChange = [this](TVLObject*, int change) {
    if (change == 1 && !Fitting_) FitMode_ = false;
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

  StatusLabel_ = new QLabel;
  StatusLabel_->setObjectName("StatusLabel");
  ScanProgress_ = new QProgressBar;
  ScanProgress_->setMaximumWidth(200);
  statusBar()->addWidget(StatusLabel_);
  statusBar()->addWidget(ScanProgress_);
  statusBar()->hide();
}

TfrmImageViewer::~TfrmImageViewer() = default;

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
    connect(a, &QAction::triggered, this, [this, filter] { VeloraView1->SetZoomFilter(filter); });
    *b.action = a;
  }
  tbtnZoomFilterNone->setChecked(true);
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
  VLInstallLzwCoders();
  // The viewer never writes files, so showing photos upright loses nothing.
  VeloraView1->GetIO().Params().JpegApplyOrientation = true;
  ScanFolder();
}

namespace {

// Appends the scanned entries to the multi-view, and keeps the window alive with a progress
// bar when the scan takes longer than half a second.
class TViewerScanSink : public TScanSink {
 public:
  // How long a scan runs before it shows its progress.
  static constexpr int kQuietMs = 500;

  TViewerScanSink(TVeloraMView& mview, QLabel& label, QProgressBar& progress, QStatusBar& status)
      : mview_(mview), label_(label), progress_(progress), status_(status) {
    clock_.start();
  }
  void Add(const TScanEntry& entry) override {
    int idx = mview_.AppendImage();
    mview_.SetImageFileName(idx, entry.FileName);
    mview_.ImageTopText(idx)->SetCaption(entry.TopText);
    mview_.ImageBottomText(idx)->SetCaption(entry.BottomText);
    mview_.ImageInfoText(idx)->SetCaption(entry.InfoText);
    mview_.ImageBottomText(idx)->Background = entry.BottomBackground;
  }
  void Progress(int done, int total) override {
    if (clock_.elapsed() < kQuietMs || total <= 0) return;
    if (!status_.isVisible()) status_.show();
    progress_.show();
    progress_.setRange(0, total);
    progress_.setValue(done);
    label_.setText(QString("Reading %1 of %2").arg(done).arg(total));
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  }

 private:
  TVeloraMView& mview_;
  QLabel& label_;
  QProgressBar& progress_;
  QStatusBar& status_;
  QElapsedTimer clock_;
};

}  // namespace

void TfrmImageViewer::ScanFolder() {
  VeloraMView1->Clear();
  VeloraMView1->LockUpdate();
  TViewerScanSink sink(*VeloraMView1, *StatusLabel_, *ScanProgress_, *statusBar());
  velora::ScanFolder(Folder_, FileMask_, sink, /*uprightPhotos=*/true);
  VeloraMView1->UnlockUpdate();
  ScanProgress_->hide();
  ShowStatus({});
  CurrentIndex_ = 0;
  // The selection handler loads and fits the first image; loading it a second time, as a
  // plain reload, would only decode the same file again.
  VeloraMView1->SetSelectedImage(0);
}

std::string FailureReason(const TVeloraIO& io) {
  // The reader's own words where it gave some; a few readers stop without a reason.
  if (!io.AbortReason.empty()) return io.AbortReason;
  return "the file is damaged or not an image this viewer reads";
}

void TfrmImageViewer::VeloraMView1ImageSelect(int idx) {
  CurrentIndex_ = idx;
  PendingIndex_ = idx;
  // The picture shown always belongs to the highlighted thumbnail: until the new one is
  // read the view is empty. Replacing the picture also drops its pending filtered repaint.
  if (idx != ShownIndex_) ShowEmptyPicture();
  // Selections that come while one is waiting or loading only move the target: the latest
  // one is read once the queued input is handled. A held key steps faster than large
  // pictures decode, so while it repeats nothing is read until it is released or pauses.
  SettleTimer_.start(KeyHeld_ ? kSettleMs : 0);
}

void TfrmImageViewer::LoadPendingSelection() {
  SettleTimer_.stop();
  if (PendingIndex_ < 0) return;
  const int idx = PendingIndex_;
  PendingIndex_ = -1;
  if (ReadIntoView(idx)) {
    FitMode_ = true;
    Fit();
  }
}

bool TfrmImageViewer::ReadIntoView(int idx) {
  const std::string name = VeloraMView1->GetImageFileName(idx);
  ShownIndex_ = idx;
  if (name.empty()) return false;  // an empty list: nothing to read, nothing to say
  TVeloraIO& io = VeloraView1->GetIO();
  const TColor background = VeloraView1->Background();
  std::string failure;
  try {
    io.LoadFromFile(name);
    if (io.Aborting) failure = "Cannot read " + name + ": " + FailureReason(io);
  } catch (const std::exception& e) {
    // Deleted or locked since the scan: the open failure's own words name the file.
    failure = e.what();
  }
  ShowStatus(failure);
  if (!failure.empty()) {
    // A read that failed may still have set the background (a GIF's, never read): the
    // empty view keeps the one it had.
    if (VeloraView1->Background() != background) VeloraView1->SetBackground(background);
    ShowEmptyPicture();
    return false;
  }
  return true;
}

void TfrmImageViewer::ShowEmptyPicture() {
  TBitmap& b = VeloraView1->Bitmap();
  if (b.Empty()) return;
  b.Reset(0, 0, TPixelFormat::pf24bit);
  VeloraView1->Update();
  VeloraView1->NotifyImageChanged();
}

void TfrmImageViewer::ShowStatus(const std::string& text) {
  StatusLabel_->setText(QString::fromStdString(text));
  statusBar()->setVisible(!text.empty());
}

QString TfrmImageViewer::StatusText() const { return statusBar()->isVisible() ? StatusLabel_->text() : QString(); }

void TfrmImageViewer::Fit() {
  Fitting_ = true;
  VeloraView1->Fit();
  Fitting_ = false;
}

bool TfrmImageViewer::eventFilter(QObject* watched, QEvent* event) {
  if (watched == VeloraMView1 && event->type() == QEvent::MouseButtonPress) KeyHeld_ = false;
  if (watched == VeloraMView1 && (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease)) {
    const bool repeated = static_cast<QKeyEvent*>(event)->isAutoRepeat();
    if (event->type() == QEvent::KeyPress) {
      KeyHeld_ = repeated;
    } else if (!repeated) {
      // The key is up: the selection it reached is the one to read, now.
      KeyHeld_ = false;
      if (SettleTimer_.isActive()) SettleTimer_.start(0);
    }
  }
  // The window manager sizes the window after the first fit (its frame, maximising): a
  // fitted view fits again whenever its size changes.
  if (watched == VeloraView1 && event->type() == QEvent::Resize && FitMode_) Fit();
  return QMainWindow::eventFilter(watched, event);
}

void TfrmImageViewer::tbtnZoomXFitClick() {
  FitMode_ = true;
  Fit();
}

void TfrmImageViewer::tbtnZoomX1Click() {
  FitMode_ = false;
  VeloraView1->SetZoom(100);
}

void TfrmImageViewer::tbtnColorAdjustClick() {
  VeloraView1->GetProc().ShowPreviews(PreviewPageSet({ppContrast, ppHSV, ppHSL, ppRGB}));
}

void TfrmImageViewer::tbtnEffectClick() {
  VeloraView1->GetProc().ShowPreviews(PreviewPageSet({ppUserFilter, ppBumpMap, ppRotate}));
}

void TfrmImageViewer::tbtnReloadImageClick() {
  // A selection still waiting is read as a selection (and fitted); otherwise the shown
  // entry is read again at the current zoom.
  if (PendingIndex_ >= 0) {
    LoadPendingSelection();
  } else {
    ReadIntoView(CurrentIndex_);
  }
  VeloraView1->setToolTip(QString::fromStdString(VeloraMView1->GetImageFileName(CurrentIndex_)));
}
