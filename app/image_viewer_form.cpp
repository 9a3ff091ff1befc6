#include "image_viewer_form.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include "codecs/gif/gif_codec.h"
#include "codecs/tiff/tiff_lzw.h"
#include "io/folder_scan.h"
#include "io/io_params.h"
#include "mview/velora_mview.h"
#include "view/qt/velora_view.h"

using namespace velora;

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
  VeloraView1->SetMouseInteract(TVLMouseInteract(miZoom | miScroll));

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

  ScanLabel_ = new QLabel;
  ScanProgress_ = new QProgressBar;
  ScanProgress_->setMaximumWidth(200);
  statusBar()->addWidget(ScanLabel_);
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
  // The processing dialogs arrive with the processing component.
  tbtnColorAdjust->setEnabled(false);
  tbtnEffect->setEnabled(false);
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
  DefGifLzwDecompFunc = GifLzwDecode;
  DefGifLzwCompFunc = GifLzwEncode;
  DefTiffLzwDecompFunc = TiffLzwDecode;
  DefTiffLzwCompFunc = TiffLzwEncode;
  ScanFolder();
}

namespace {

// Appends the scanned entries to the multi-view, and keeps the window alive with a progress
// bar when the scan takes longer than half a second.
class TViewerScanSink : public TScanSink {
 public:
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
    if (clock_.elapsed() < 500 || total <= 0) return;
    if (!status_.isVisible()) status_.show();
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
  TViewerScanSink sink(*VeloraMView1, *ScanLabel_, *ScanProgress_, *statusBar());
  velora::ScanFolder(Folder_, FileMask_, sink);
  VeloraMView1->UnlockUpdate();
  statusBar()->hide();
  CurrentIndex_ = 0;
  // The selection handler loads and fits the first image; loading it a second time, as a
  // plain reload, would only decode the same file again.
  VeloraMView1->SetSelectedImage(0);
}

void TfrmImageViewer::VeloraMView1ImageSelect(int idx) {
  CurrentIndex_ = idx;
  VeloraView1->GetIO().LoadFromFile(VeloraMView1->GetImageFileName(idx));
  VeloraView1->Fit();
}

void TfrmImageViewer::tbtnZoomXFitClick() { VeloraView1->Fit(); }

void TfrmImageViewer::tbtnZoomX1Click() { VeloraView1->SetZoom(100); }

void TfrmImageViewer::tbtnReloadImageClick() {
  std::string name = VeloraMView1->GetImageFileName(CurrentIndex_);
  VeloraView1->GetIO().LoadFromFile(name);
  VeloraView1->setToolTip(QString::fromStdString(name));
}
