// The window's commands for culling a folder: delete to the trash (with a confirmation that
// can be turned off) and undo it, rename, copy or move to a folder (the last five targets
// offered again), copy the picture or the path to the clipboard, open another folder, and the
// order of the list. The file work is the library's (files/); these commands ask the user,
// keep the thumbnail cache in step, remember the choices in the settings and tell the window
// what changed. Every failure is reported with its reason and leaves the file in place.
#pragma once
#include <QImage>
#include <QObject>
#include <QStringList>

#include <functional>
#include <string>
#include <vector>

#include "files/sort_order.h"
#include "files/trash.h"

class QAction;
class QActionGroup;
class QMenu;
class QSettings;
class QWidget;

namespace velora {
class TVLThumbnailCache;
}

// What the commands need of the window, and what they tell it.
class TCullingHost {
 public:
  virtual ~TCullingHost() = default;
  // The selected entry's path; empty without one.
  virtual std::string CurrentFile() const = 0;
  virtual QImage CurrentPicture() const = 0;
  // Files were added, removed or renamed: look at the folder again, then select `select`
  // (a path) when it is listed; an empty one keeps the selection's place.
  virtual void FilesChanged(const std::string& select) = 0;
  virtual void ShowMessage(const QString& text) = 0;
  virtual void OpenFolder(const std::string& folder) = 0;
  virtual void SortChanged(velora::TSortOrder order, bool reversed) = 0;
  virtual QWidget* DialogParent() = 0;
};

class TCullingActions : public QObject {
  Q_OBJECT

 public:
  // How many copy and move targets are offered again.
  static constexpr int kRecentTargets = 5;

  TCullingActions(TCullingHost& host, velora::TVLThumbnailCache& cache, QSettings& settings,
                  QObject* parent = nullptr);

  QAction* actDelete = nullptr;       // Delete
  QAction* actUndoDelete = nullptr;   // Ctrl+Z is the window's: it calls UndoDelete first
  QAction* actRename = nullptr;       // F2
  QAction* actCopyPicture = nullptr;  // Ctrl+C
  QAction* actCopyPath = nullptr;     // Ctrl+Shift+C
  QAction* actOpenFolder = nullptr;   // Ctrl+O
  QAction* actConfirmDelete = nullptr;  // checkable: ask before deleting
  QMenu* CopyToMenu = nullptr;        // the recent targets, then "Other folder..."
  QMenu* MoveToMenu = nullptr;
  QMenu* SortMenu = nullptr;          // the orders, then "Reversed"
  // Every action with a shortcut, for the window to add (shortcuts act only on added actions).
  QList<QAction*> Actions() const;

  // The commands themselves; each answers whether it was done.
  bool DeleteCurrent();
  bool CanUndoDelete() const { return !Trashed_.empty(); }
  // Puts the last deleted file back (the deletes are undone newest first).
  bool UndoDelete();
  bool RenameCurrent();
  // Into folder; an empty folder asks for one.
  bool TransferCurrent(bool move, const QString& folder = QString());
  bool CopyPictureToClipboard();
  bool CopyPathToClipboard();
  void OpenFolderDialog();

  velora::TSortOrder SortOrder() const { return Order_; }
  bool SortReversed() const { return Reversed_; }
  // Remembered in the settings; the window is told.
  void SetSort(velora::TSortOrder order, bool reversed);
  QStringList RecentTargets() const;
  bool ConfirmDelete() const;
  void SetConfirmDelete(bool on);

  // The questions asked; the defaults are dialogs, tests answer them directly.
  std::function<bool(const QString& file, bool& dontAskAgain)> AskDelete;
  std::function<bool(QString& name)> AskName;          // in: the name now; false: cancelled
  std::function<QString(const QString& title)> AskFolder;  // empty: cancelled

 private:
  void BuildSortMenu();
  void RebuildTargetMenus();
  void RememberTarget(const QString& folder);
  void Report(const QString& text) { host_.ShowMessage(text); }

  TCullingHost& host_;
  velora::TVLThumbnailCache& cache_;
  QSettings& settings_;
  std::vector<velora::TTrashedFile> Trashed_;
  velora::TSortOrder Order_ = velora::TSortOrder::soName;
  bool Reversed_ = false;
  QActionGroup* SortGroup_ = nullptr;
  QAction* actReversed_ = nullptr;
};
