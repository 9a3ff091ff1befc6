#include "culling_actions.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QSettings>
#include <QUrl>

#include "files/transfer.h"
#include "mview/thumbnail_cache.h"

using namespace velora;

namespace {

constexpr const char* kConfirmKey = "Culling/ConfirmDelete";
constexpr const char* kTargetsKey = "Culling/RecentTargets";
constexpr const char* kOrderKey = "View/SortOrder";
constexpr const char* kReversedKey = "View/SortReversed";
// Deletes kept for undo: enough for a run of deletes, bounded for a long session.
constexpr size_t kUndoDepth = 50;

QString Local(const std::string& s) { return QString::fromLocal8Bit(s.data(), qsizetype(s.size())); }
std::string Local(const QString& s) { return s.toLocal8Bit().toStdString(); }
QString NameOf(const std::string& path) { return QFileInfo(Local(path)).fileName(); }

const struct {
  TSortOrder order;
  const char* text;
} kSortTexts[] = {{TSortOrder::soName, "By &name"},
                  {TSortOrder::soDateTaken, "By date &taken"},
                  {TSortOrder::soModified, "By date &modified"},
                  {TSortOrder::soSize, "By &size"},
                  {TSortOrder::soType, "By t&ype"}};

}  // namespace

TCullingActions::TCullingActions(TCullingHost& host, TVLThumbnailCache& cache, QSettings& settings, QObject* parent)
    : QObject(parent), host_(host), cache_(cache), settings_(settings) {
  const auto make = [this](const QString& text, const QKeySequence& key, auto slot) {
    auto* action = new QAction(text, this);
    if (!key.isEmpty()) action->setShortcut(key);
    connect(action, &QAction::triggered, this, slot);
    return action;
  };
  actDelete = make("&Delete to trash", QKeySequence(Qt::Key_Delete), [this] { DeleteCurrent(); });
  actUndoDelete = make("&Undo delete", QKeySequence(), [this] { UndoDelete(); });
  actRename = make("&Rename...", QKeySequence(Qt::Key_F2), [this] { RenameCurrent(); });
  actCopyPicture = make("Copy &picture", QKeySequence(Qt::CTRL | Qt::Key_C), [this] { CopyPictureToClipboard(); });
  actCopyPath = make("Copy pa&th", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C), [this] { CopyPathToClipboard(); });
  actOpenFolder = make("&Open folder...", QKeySequence(Qt::CTRL | Qt::Key_O), [this] { OpenFolderDialog(); });
  actOpenFolder->setToolTip("Open another folder (Ctrl+O)");
  actConfirmDelete = make("As&k before deleting", QKeySequence(), [this](bool on) { SetConfirmDelete(on); });
  actConfirmDelete->setCheckable(true);
  actConfirmDelete->setChecked(ConfirmDelete());
  CopyToMenu = new QMenu("&Copy to");
  MoveToMenu = new QMenu("&Move to");
  SortMenu = new QMenu("&Sort");
  connect(this, &QObject::destroyed, CopyToMenu, &QObject::deleteLater);
  connect(this, &QObject::destroyed, MoveToMenu, &QObject::deleteLater);
  connect(this, &QObject::destroyed, SortMenu, &QObject::deleteLater);
  BuildSortMenu();
  RebuildTargetMenus();

  AskDelete = [this](const QString& file, bool& dontAskAgain) {
    QMessageBox box(QMessageBox::Question, "Delete", "Move " + file + " to the trash?",
                    QMessageBox::Yes | QMessageBox::No, host_.DialogParent());
    auto* again = new QCheckBox("Do not ask again");
    box.setCheckBox(again);
    const bool yes = box.exec() == QMessageBox::Yes;
    dontAskAgain = again->isChecked();
    return yes;
  };
  AskName = [this](QString& name) {
    QInputDialog dialog(host_.DialogParent());
    dialog.setWindowTitle("Rename");
    dialog.setLabelText("New name:");
    dialog.setTextValue(name);
    // The name without its extension is selected, as file managers do.
    if (auto* edit = dialog.findChild<QLineEdit*>()) {
      const int dot = name.lastIndexOf('.');
      QMetaObject::invokeMethod(edit, [edit, dot, name] { edit->setSelection(0, dot > 0 ? dot : name.size()); },
                                Qt::QueuedConnection);
    }
    if (dialog.exec() != QDialog::Accepted) return false;
    name = dialog.textValue();
    return true;
  };
  AskFolder = [this](const QString& title) {
    return QFileDialog::getExistingDirectory(host_.DialogParent(), title);
  };
}

QList<QAction*> TCullingActions::Actions() const {
  return {actDelete, actRename, actCopyPicture, actCopyPath, actOpenFolder};
}

void TCullingActions::BuildSortMenu() {
  TSortOrder order = TSortOrder::soName;
  if (SortOrderFromWord(settings_.value(kOrderKey, "name").toString().toStdString(), order)) Order_ = order;
  Reversed_ = settings_.value(kReversedKey, false).toBool();
  SortGroup_ = new QActionGroup(this);
  for (const auto& s : kSortTexts) {
    QAction* action = SortMenu->addAction(s.text);
    action->setCheckable(true);
    action->setChecked(s.order == Order_);
    action->setData(int(s.order));
    SortGroup_->addAction(action);
    connect(action, &QAction::triggered, this, [this, o = s.order] { SetSort(o, Reversed_); });
  }
  SortMenu->addSeparator();
  actReversed_ = SortMenu->addAction("&Reversed");
  actReversed_->setCheckable(true);
  actReversed_->setChecked(Reversed_);
  connect(actReversed_, &QAction::triggered, this, [this](bool on) { SetSort(Order_, on); });
}

void TCullingActions::SetSort(TSortOrder order, bool reversed) {
  const bool changed = order != Order_ || reversed != Reversed_;
  Order_ = order;
  Reversed_ = reversed;
  settings_.setValue(kOrderKey, SortOrderWord(order));
  settings_.setValue(kReversedKey, reversed);
  for (QAction* action : SortGroup_->actions()) action->setChecked(action->data().toInt() == int(order));
  actReversed_->setChecked(reversed);
  if (changed) host_.SortChanged(order, reversed);
}

bool TCullingActions::ConfirmDelete() const { return settings_.value(kConfirmKey, true).toBool(); }

void TCullingActions::SetConfirmDelete(bool on) {
  settings_.setValue(kConfirmKey, on);
  actConfirmDelete->setChecked(on);
}

QStringList TCullingActions::RecentTargets() const { return settings_.value(kTargetsKey).toStringList(); }

void TCullingActions::RememberTarget(const QString& folder) {
  QStringList targets = RecentTargets();
  targets.removeAll(folder);
  targets.prepend(folder);
  while (targets.size() > kRecentTargets) targets.removeLast();
  settings_.setValue(kTargetsKey, targets);
  RebuildTargetMenus();
}

void TCullingActions::RebuildTargetMenus() {
  for (const bool move : {false, true}) {
    QMenu* menu = move ? MoveToMenu : CopyToMenu;
    menu->clear();
    for (const QString& folder : RecentTargets())
      connect(menu->addAction(folder), &QAction::triggered, this, [this, move, folder] { TransferCurrent(move, folder); });
    if (!RecentTargets().isEmpty()) menu->addSeparator();
    connect(menu->addAction("&Other folder..."), &QAction::triggered, this, [this, move] { TransferCurrent(move); });
  }
}

bool TCullingActions::DeleteCurrent() {
  const std::string path = host_.CurrentFile();
  if (path.empty()) return false;
  if (ConfirmDelete()) {
    bool dontAskAgain = false;
    if (!AskDelete(NameOf(path), dontAskAgain)) return false;
    if (dontAskAgain) SetConfirmDelete(false);
  }
  TTrashedFile trashed;
  const TFileResult result = MoveToTrash(path, trashed);
  if (!result.Ok) {
    Report(Local(result.Reason));
    return false;
  }
  cache_.Forget(Local(trashed.OriginalPath));
  Trashed_.push_back(trashed);
  if (Trashed_.size() > kUndoDepth) Trashed_.erase(Trashed_.begin());
  Report("Moved " + NameOf(path) + " to the trash (Ctrl+Z puts it back)");
  host_.FilesChanged(std::string());
  return true;
}

bool TCullingActions::UndoDelete() {
  if (Trashed_.empty()) return false;
  const TTrashedFile trashed = Trashed_.back();
  const TFileResult result = RestoreFromTrash(trashed);
  if (!result.Ok) {
    Report(Local(result.Reason));
    return true;  // the undo was this command's, though it failed: nothing else to undo
  }
  Trashed_.pop_back();
  Report("Put " + NameOf(trashed.OriginalPath) + " back from the trash");
  host_.FilesChanged(trashed.OriginalPath);
  return true;
}

bool TCullingActions::RenameCurrent() {
  const std::string path = host_.CurrentFile();
  if (path.empty()) return false;
  QString name = NameOf(path);
  if (!AskName(name) || name == NameOf(path)) return false;
  const TFileResult result = RenameFile(path, Local(name));
  if (!result.Ok) {
    Report(Local(result.Reason));
    return false;
  }
  cache_.Follow(QFileInfo(Local(path)).absoluteFilePath(), QFileInfo(Local(result.Path)).absoluteFilePath());
  Report("Renamed " + NameOf(path) + " to " + name);
  host_.FilesChanged(result.Path);
  return true;
}

bool TCullingActions::TransferCurrent(bool move, const QString& chosen) {
  const std::string path = host_.CurrentFile();
  if (path.empty()) return false;
  const QString folder = chosen.isEmpty() ? AskFolder(move ? "Move to folder" : "Copy to folder") : chosen;
  if (folder.isEmpty()) return false;
  const TFileResult result = move ? MoveToFolder(path, Local(folder)) : CopyToFolder(path, Local(folder));
  if (!result.Ok) {
    Report(Local(result.Reason));
    return false;
  }
  RememberTarget(QDir::cleanPath(folder));
  const QString source = QFileInfo(Local(path)).absoluteFilePath(), target = QFileInfo(Local(result.Path)).absoluteFilePath();
  if (move && source != target) cache_.Follow(source, target);
  Report((move ? "Moved " : "Copied ") + NameOf(path) + " to " + Local(result.Path));
  // A copy into the folder shown, or a move out of it, changes the list.
  host_.FilesChanged(move ? std::string() : result.Path);
  return true;
}

bool TCullingActions::CopyPictureToClipboard() {
  const QImage picture = host_.CurrentPicture();
  if (picture.isNull()) return false;
  QApplication::clipboard()->setImage(picture);
  Report("Copied the picture");
  return true;
}

bool TCullingActions::CopyPathToClipboard() {
  const std::string path = host_.CurrentFile();
  if (path.empty()) return false;
  const QString absolute = QFileInfo(Local(path)).absoluteFilePath();
  // As text for editors and terminals, as a URL for file managers.
  auto* data = new QMimeData;
  data->setText(absolute);
  data->setUrls({QUrl::fromLocalFile(absolute)});
  QApplication::clipboard()->setMimeData(data);
  Report("Copied the path " + absolute);
  return true;
}

void TCullingActions::OpenFolderDialog() {
  const QString folder = AskFolder("Open folder");
  if (!folder.isEmpty()) host_.OpenFolder(Local(folder));
}
