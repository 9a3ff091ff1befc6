// The window's pages, animation and information panel: a file with pages is paged through
// (each page read on the loader like any picture), an animated GIF plays in the view (its
// frames composed on the loader's workers), and the panel shows what the read brought along.
#include <QAction>

#include "image_viewer_form.h"
#include "info_panel.h"
#include "io/io_params.h"
#include "io/velora_io.h"
#include "mview/velora_mview.h"
#include "proc/flip_turn.h"
#include "view/qt/velora_view.h"

using namespace velora;

void TfrmImageViewer::BuildPagesAndPanel() {
  Player_ = std::make_unique<TGifPlayer>(*Loader_);
  Player_->OnFrame = [this](TGifFrame& frame) { ShowAnimationFrame(frame); };
  // A frame that cannot be read ends the animation on the frame shown; the first frame is
  // already in the view from the ordinary read.
  Player_->OnFailure = [](const std::string&) {};

  // Shown as the settings say (the window's state, restored after, agrees: both are kept
  // when the window closes).
  InfoPanel_ = new TInfoPanel(this);
  addDockWidget(Qt::RightDockWidgetArea, InfoPanel_);
  InfoPanel_->setVisible(Settings_.InfoPanel);
  connect(InfoPanel_, &QDockWidget::visibilityChanged, this, [this](bool shown) {
    if (shown) UpdateInfoPanel();  // also when its own button closed it and the key opens it
  });

  actNextPage = AddAction("actNextPage", "Next page", [this] { NextPage(); });
  actPreviousPage = AddAction("actPreviousPage", "Previous page", [this] { PreviousPage(); });
  actPauseAnimation = AddAction("actPauseAnimation", "Pause animation", [this] { ToggleAnimationPause(); });
  actInfoPanel = AddAction("actInfoPanel", "Information panel", [this] { ToggleInfoPanel(); });
  BindKey(QKeySequence(Qt::CTRL | Qt::Key_PageDown), actNextPage);
  BindKey(QKeySequence(Qt::CTRL | Qt::Key_PageUp), actPreviousPage);
  BindKey(QKeySequence(Qt::Key_P), actPauseAnimation);
  BindKey(QKeySequence(Qt::Key_I), actInfoPanel);
  BindKey(QKeySequence(Qt::CTRL | Qt::Key_K), actInfoPanel);
}

QString TfrmImageViewer::PageText() const {
  return Pages_ > 1 ? QString("page %1/%2").arg(Page_ + 1).arg(Pages_) : QString();
}

void TfrmImageViewer::ShowPage(int page) {
  if (ShownIndex_ < 0 || ShownIndex_ != CurrentIndex_ || page < 0 || page >= Pages_ || page == Page_) return;
  // The zoom and the place stay, as a document viewer keeps them from page to page.
  StartPicture(ShownIndex_, FitMode_, false, page);
}

void TfrmImageViewer::ToggleAnimationPause() {
  if (Player_->Playing()) Player_->SetPaused(!Player_->Paused());
}

void TfrmImageViewer::ToggleInfoPanel() {
  InfoPanel_->setVisible(InfoPanel_->isHidden());
  Settings_.InfoPanel = !InfoPanel_->isHidden();
  if (!InfoPanel_->isHidden()) UpdateInfoPanel();
}

void TfrmImageViewer::PicturePresented(const TPicturePtr& picture) {
  const bool shown = picture && !picture->Failed;
  Page_ = shown ? picture->Page : 0;
  Pages_ = shown ? picture->Pages : 1;
  Status_->SetPageText(PageText());
  InfoPicture_ = shown ? picture : nullptr;
  HistogramStale_ = false;
  if (!shown) Player_->Stop();
  // An animated GIF plays from its first frame, composed on the canvas of the file.
  if (shown && picture->Params && picture->Params->FileType == ioGIF && picture->Params->GifImageCount > 1) {
    Pristine_ = false;  // the view shows composed frames from now on, not the read
    Player_->Start(picture->FileName, kPicturePriority);
  }
  UpdateInfoPanel();
}

void TfrmImageViewer::ShowAnimationFrame(TGifFrame& frame) {
  // A view turned with [ or ] stays turned from frame to frame.
  if (Turns_) {
    VLTurnBitmap(frame.Canvas, Turns_);
    VLTurnMask(frame.Alpha, Turns_);
  }
  TBitmap& b = VeloraView1->Bitmap();
  const bool sized = b.Width() == frame.Canvas.Width() && b.Height() == frame.Canvas.Height();
  b.SwapPixels(frame.Canvas);
  VeloraView1->AlphaMask().SwapPlane(frame.Alpha);
  VeloraView1->Update();
  VeloraView1->NotifyImageChanged();  // a filtered zoom is made again for the new frame
  // The first frame on the canvas may be larger than the frame read: a fitted view fits it.
  if (!sized && FitMode_) Fit();
}

void TfrmImageViewer::PictureEdited() {
  HistogramStale_ = true;
  UpdateInfoPanel();
}

void TfrmImageViewer::UpdateInfoPanel() {
  if (InfoPanel_->isHidden()) return;
  if (!InfoPicture_ || !InfoPicture_->Params) {
    InfoPanel_->Clear();
    return;
  }
  if (HistogramStale_) {
    // After an edit, here on the GUI thread: the edit itself took far longer than one count.
    const TBitmap& b = VeloraView1->Bitmap();
    auto table = std::make_shared<THistogram>();
    ComputeHistogram(b, 0, 0, b.Width(), b.Height(), *table);
    InfoPicture_->Histogram = b.PixelFormat() == TPixelFormat::pf24bit ? std::move(table) : nullptr;
    HistogramStale_ = false;
  }
  TInfoFacts facts;
  facts.FileName = InfoPicture_->FileName;
  facts.Width = VeloraView1->Bitmap().Width();
  facts.Height = VeloraView1->Bitmap().Height();
  facts.Page = InfoPicture_->Page;
  facts.Pages = InfoPicture_->Pages;
  if (InfoPicture_->Params->FileType == ioGIF) facts.Frames = InfoPicture_->Params->GifImageCount;
  facts.FileBytes = InfoPicture_->Stamp.Size;
  InfoPanel_->ShowPicture(*InfoPicture_->Params, facts, InfoPicture_->Histogram);
}
