// The window's side of the culling commands (culling_actions.h): where they sit in the tool
// bar, the keys and the context menus, what the selected file and picture are, and how the
// list follows what they changed.
#include <QAction>
#include <QFileInfo>
#include <QMenu>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>

#include "image_viewer_form.h"
#include "mview/velora_mview.h"
#include "proc/pixel_formats.h"
#include "view/qt/velora_view.h"
#include "viewer_texts.h"

using namespace velora;

void TfrmImageViewer::BuildCullingCommands() {
  Culling_ = new TCullingActions(*this, ThumbCache_, CullingSettings_, this);
  Order_ = Culling_->SortOrder();
  Reversed_ = Culling_->SortReversed();

  // After "Exit": "Open" (another folder) and "Sort" (the list's order).
  tbtnOpen = Culling_->actOpenFolder;
  tbtnOpen->setText("Open");
  tbtnOpen->setObjectName("tbtnOpen");
  tbMain->addAction(tbtnOpen);
  tbtnSort = Culling_->SortMenu->menuAction();
  tbtnSort->setObjectName("tbtnSort");
  tbMain->addAction(tbtnSort);
  if (auto* button = qobject_cast<QToolButton*>(tbMain->widgetForAction(tbtnSort)))
    button->setPopupMode(QToolButton::InstantPopup);

  // The keys go through the window's key table, so that they work wherever the focus is
  // (Ctrl+Z is the table's Undo, which puts back what Delete moved to the trash first).
  for (QAction* action : Culling_->Actions()) {
    const QKeySequence key = action->shortcut();
    action->setShortcut({});
    BindKey(key, action);
  }

  // The commands on the selected file, under the right button of the column and the view.
  for (QWidget* widget : {static_cast<QWidget*>(VeloraMView1), static_cast<QWidget*>(VeloraView1)}) {
    widget->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto separator = [widget] {
      auto* s = new QAction(widget);
      s->setSeparator(true);
      return s;
    };
    widget->addActions({Culling_->actDelete, actUndo, Culling_->actRename, Culling_->CopyToMenu->menuAction(),
                        Culling_->MoveToMenu->menuAction(), separator(), Culling_->actCopyPicture,
                        Culling_->actCopyPath, separator(), Culling_->SortMenu->menuAction(),
                        Culling_->actConfirmDelete});
  }
}

bool TfrmImageViewer::SelectNamed() {
  for (int i = 0; i < VeloraMView1->ImageCount(); ++i) {
    if (VeloraMView1->ImageBottomText(i)->Caption() != SelectName_) continue;
    SelectName_.clear();
    CurrentIndex_ = i;
    VeloraMView1->SetSelectedImage(i);
    return true;
  }
  return false;
}

std::string TfrmImageViewer::CurrentFile() const {
  return CurrentIndex_ >= 0 && CurrentIndex_ < VeloraMView1->ImageCount() ? VeloraMView1->GetImageFileName(CurrentIndex_)
                                                                          : std::string();
}

QImage TfrmImageViewer::CurrentPicture() const {
  // Only the selection's own picture, whole (a preview is a reduced one).
  if (ShownIndex_ != CurrentIndex_ || CurrentIndex_ < 0 || Preview_ || VeloraView1->Bitmap().Empty()) return {};
  TBitmap copy;
  copy.Assign(VeloraView1->Bitmap());
  if (copy.PixelFormat() != TPixelFormat::pf24bit) ConvertTo24Bit(copy);
  // Rows are stored bottom-up, blue first.
  return QImage(copy.Bits(), copy.Width(), copy.Height(), copy.RowLen(), QImage::Format_BGR888).mirrored();
}

void TfrmImageViewer::FilesChanged(const std::string& select) {
  const std::string folder = Folder_.empty() ? std::string() : Folder_ + "/";
  const bool inFolder = !select.empty() && select.compare(0, folder.size(), folder) == 0 &&
                        select.find('/', folder.size()) == std::string::npos;
  if (inFolder) {
    const std::string name = select.substr(folder.size());
    // A renamed entry of a given list keeps its place in the list under its new name.
    const std::string current = CurrentIndex_ >= 0 ? VeloraMView1->ImageBottomText(CurrentIndex_)->Caption() : "";
    for (std::string& given : Given_)
      if (given == current && !QFileInfo::exists(QString::fromStdString(folder + current))) given = name;
    if (!Given_.empty() && std::find(Given_.begin(), Given_.end(), name) == Given_.end()) Given_.push_back(name);
    SelectName_ = name;
  }
  RescanFolder();
}

void TfrmImageViewer::ShowMessage(const QString& text) {
  // For a while, over the status line's own text: the picture shown next must not wipe out
  // what the command did (or why it failed) before it could be read.
  constexpr int kMessageMs = 8000;
  statusBar()->showMessage(text, kMessageMs);
  UpdateStatusBar();
}

void TfrmImageViewer::OpenFolder(const std::string& folder) {
  SetWatchFolder(false);
  Folder_ = folder;
  FileMask_ = "*.*";
  Given_.clear();
  SelectName_.clear();
  setWindowTitle(QString::fromStdString(ViewerCaption(Folder_, FileMask_)));
  if (!Activated_) return;  // the first activation scans
  SetWatchFolder(true);
  ScanFolder();
}

void TfrmImageViewer::SortChanged(TSortOrder order, bool reversed) {
  Order_ = order;
  Reversed_ = reversed;
  if (!Activated_) return;
  if (CurrentIndex_ >= 0 && CurrentIndex_ < VeloraMView1->ImageCount())
    SelectName_ = VeloraMView1->ImageBottomText(CurrentIndex_)->Caption();
  ScanFolder();
}
