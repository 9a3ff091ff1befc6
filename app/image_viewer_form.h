// The viewer's one window: the thumbnail column of the folder's images on the left, the
// selected image in a zoomable view filling the rest, and the two tool bars with the viewing
// commands. Every picture it shows is drawn by the library's views; the window only wires
// them together.
//
// Nothing is read on the GUI thread: the folder's scan, the thumbnails and the pictures are
// read by the loader's workers and arrive by queued call. A selected photo shows first from
// a quick reduced decode (marked as a preview), then whole; its neighbours are read ahead.
#pragma once
#include <QElapsedTimer>
#include <QFileSystemWatcher>
#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <QSettings>

#include "culling_actions.h"
#include "files/sort_order.h"
#include "mview/gif_animation.h"
#include "key_table.h"
#include "mview/thumbnail_cache.h"
#include "mview/velora_loader.h"
#include "status_line.h"
#include "viewer_settings.h"
#include "view/transition_frames.h"

class QAction;
class QActionGroup;
class QLabel;
class QProgressBar;

class QSplitter;
class QToolBar;
class TInfoPanel;

namespace velora {
class TVeloraIO;
class TVeloraMView;
class TVeloraView;
}  // namespace velora

// Why the last read of `io` failed, in a few words for the status line.
std::string FailureReason(const velora::TVeloraIO& io);

class TfrmImageViewer;
struct TScanJob;
struct TScanEntryStamped;
struct TRescan;
// Shows the window in its designed state: maximised, returning to the designed 696 x 480 at
// (298, 202) when restored.
void ShowViewerWindow(TfrmImageViewer& form);
// True unless an X11 display says no window manager runs on it.
bool WindowManagerRunning();

class TfrmImageViewer : public QMainWindow, public TCullingHost {
  Q_OBJECT

 public:
  // Folder and FileMask are the two command-line arguments, taken unchanged. The settings
  // kept from the last run are read here (TViewerSettings).
  TfrmImageViewer(const std::string& folder, const std::string& fileMask, QWidget* parent = nullptr);
  ~TfrmImageViewer() override;

  // The first activation: fill the LZW slots, start the scan of the folder, which shows the
  // first image as soon as it is listed. Later calls do nothing.
  void FormActivate();

  velora::TVeloraMView* VeloraMView1 = nullptr;
  velora::TVeloraView* VeloraView1 = nullptr;
  QToolBar* tbMain = nullptr;
  QToolBar* tbImageControl = nullptr;
  QSplitter* Splitter1 = nullptr;
  QAction* tbtnExit = nullptr;
  QAction* tbtnZoomXFit = nullptr;
  QAction* tbtnZoomX1 = nullptr;
  QAction* tbtnReloadImage = nullptr;
  QAction* tbtnColorAdjust = nullptr;
  QAction* tbtnEffect = nullptr;
  QAction* tbtnZoomFilterNone = nullptr;
  QAction* tbtnZoomFilterBSpline = nullptr;
  QAction* tbtnZoomFilterLinear = nullptr;
  QAction* tbtnZoomFilterLanczos3 = nullptr;
  QAction* tbtnZoomFilterMitchell = nullptr;
  QAction* tbtnZoomFilterHermite = nullptr;

  // The keyboard's actions (the tool buttons' actions above have keys too). Each is a
  // QAction of the window, bound to its keys in Keys(); the key list (F1) and --help name them.
  QAction* actZoomIn = nullptr;
  QAction* actZoomOut = nullptr;
  QAction* actFullScreen = nullptr;
  QAction* actLeaveFullScreen = nullptr;  // Escape: leaves full screen, ends the slideshow
  QAction* actSlideshow = nullptr;
  QAction* actTurnLeft = nullptr;
  QAction* actTurnRight = nullptr;
  QAction* actUndo = nullptr;
  QAction* actNext = nullptr;
  QAction* actPrevious = nullptr;
  QAction* actFirst = nullptr;
  QAction* actLast = nullptr;
  QAction* actKeyList = nullptr;
  // Key -> action: other parts of the window add theirs here (BindKey).
  TKeyTable& Keys() { return Keys_; }
  void BindKey(const QKeySequence& key, QAction* action) { Keys_.Bind(key, action); }
  // Runs the action bound to the key event, as a key press anywhere in the window does;
  // false when no action is bound to it.
  bool HandleKey(QKeyEvent& event);

  // ---- what the window keeps between runs
  const TViewerSettings& Settings() const { return Settings_; }
  // What other parts of the window keep (the information panel's flag): saved on close.
  TViewerSettings& Settings() { return Settings_; }
  // Stays on top of other windows (the design's style): off unless the setting says so.
  void SetStayOnTop(bool on);
  bool StayOnTop() const;
  void SetWheelChoice(TWheelChoice choice) { Settings_.Wheel = choice; }
  // Writes the settings (the window's geometry and state included) to the store.
  void SaveSettings();
  // The background of the view when no file says otherwise: the window's (black in full screen).
  velora::TColor ViewBackground() const;

  // ---- full screen and slideshow
  void SetFullScreen(bool on);
  bool FullScreen() const { return FullScreen_; }
  void StartSlideshow();
  void StopSlideshow();
  void PauseSlideshow(bool paused);
  bool SlideshowRunning() const { return SlideshowTimer_.isActive(); }
  bool SlideshowPaused() const { return Slideshow_ && !SlideshowTimer_.isActive(); }
  bool InSlideshow() const { return Slideshow_; }
  QTimer& SlideshowTimer() { return SlideshowTimer_; }
  // The slideshow's next step now (what its timer does).
  void SlideshowStep();
  // The transition the next slideshow step uses: none, the chosen one, or one at random.
  velora::TVLTransitionType SlideshowTransition();

  // ---- the status line
  TStatusLine& StatusLine() { return *Status_; }
  // The files of the folder matching the mask that are not listed, with why.
  const std::map<std::string, std::string>& NotShown() const { return NotShown_; }
  // Lists them in a message (what a click on "N files not shown" does).
  void ShowNotShown();
  // The key list (F1); the box stays open beside the window.
  void ShowKeyList();
  QMessageBox* KeyListBox() const { return KeyListBox_; }
  QMessageBox* NotShownBox() const { return NotShownBox_; }

  const std::string& Folder() const { return Folder_; }
  const std::string& FileMask() const { return FileMask_; }
  bool Activated() const { return Activated_; }
  int CurrentIndex() const { return CurrentIndex_; }

  // The selected entry is loaded once the queued selections are handled (LoadPendingSelection).
  void VeloraMView1ImageSelect(int idx);
  void tbtnZoomXFitClick();
  void tbtnZoomX1Click();
  void tbtnReloadImageClick();
  void tbtnColorAdjustClick();
  void tbtnEffectClick();

  // Starts reading the latest selection, if one is waiting; the loop calls it once the
  // queued input is handled.
  void LoadPendingSelection();
  bool LoadPending() const { return PendingIndex_ >= 0; }
  // True while anything is still to come: a selection, a scan, a read on the loader.
  bool Busy() const;
  bool Scanning() const { return Scanning_; }
  // The entry whose picture the view holds (or whose failure it shows), -1 for none.
  int ShownIndex() const { return ShownIndex_; }
  // The view holds the quick reduced picture of ShownIndex, the whole one is still read.
  bool ShowingPreview() const { return Preview_; }
  velora::TVeloraLoader& Loader() { return *Loader_; }
  velora::TPictureCache& ReadAhead() { return Ahead_; }
  // Reads a picture on a worker thread: ReadPicture; tests put a slow one in.
  std::function<velora::TPicturePtr(const velora::TPictureRequest&, const std::function<bool()>& stop)>
      PictureSource = velora::ReadPicture;
  // Whether changes in the folder are followed (on from the first activation).
  void SetWatchFolder(bool on);
  // Whether the column's thumbnails go through the desktop's thumbnail cache: on unless the
  // setting "ThumbnailCache" says false; --no-thumbnail-cache turns it off for one run.
  void SetThumbnailCacheEnabled(bool on) { ThumbCache_.SetEnabled(on); }
  velora::TVLThumbnailCache& ThumbnailCache() { return ThumbCache_; }
  // How long changes in the folder gather before it is looked at again.
  static constexpr int kWatchDelayMs = 300;
  // Looks at the folder again now: added files appear, removed ones vanish, replaced ones
  // are read again; the selection stays on its file.
  void RescanFolder();
  // True while the view is fitted and follows the window's size.
  bool FitMode() const { return FitMode_; }
  // Why the selected file could not be read, as the status line says it ("" when it was read).
  QString FailureText() const;

  // The culling commands (delete, undo, rename, copy and move, clipboard, open, order); their
  // keys and the tool bar's "Open" and "Sort" act through them.
  TCullingActions& Culling() { return *Culling_; }
  QAction* tbtnOpen = nullptr;
  QAction* tbtnSort = nullptr;
  // A file given on the command line: its entry is selected once listed (not the first).
  void SelectWhenListed(const std::string& name) { SelectName_ = name; }
  // Several files given: just these entries of the folder are listed, in this order.
  void ListOnly(const std::vector<std::string>& names) { Given_ = names; }
  velora::TSortOrder SortOrder() const { return Order_; }
  bool SortReversed() const { return Reversed_; }

  // What the culling commands ask of the window and tell it.
  std::string CurrentFile() const override;
  QImage CurrentPicture() const override;
  void FilesChanged(const std::string& select) override;
  void ShowMessage(const QString& text) override;
  void OpenFolder(const std::string& folder) override;
  void SortChanged(velora::TSortOrder order, bool reversed) override;
  QWidget* DialogParent() override { return this; }
  // ---- pages, animation, the information panel (image_viewer_pages.cpp)
  // The page shown (from 0) of the file shown, and its pages (1 for a file without pages).
  int Page() const { return Page_; }
  int Pages() const { return Pages_; }
  // "page 2/3" for a file with pages, empty otherwise.
  QString PageText() const;
  // Reads page `page` of the file shown (through the loader), keeping the zoom; nothing
  // beyond the first or last page.
  void ShowPage(int page);
  void NextPage() { ShowPage(Page_ + 1); }
  void PreviousPage() { ShowPage(Page_ - 1); }
  // An animated GIF plays in the view; the key pauses and resumes it.
  velora::TGifPlayer& Animation() { return *Player_; }
  void ToggleAnimationPause();
  TInfoPanel* InfoPanel() const { return InfoPanel_; }
  void ToggleInfoPanel();
  QAction* actNextPage = nullptr;
  QAction* actPreviousPage = nullptr;
  QAction* actPauseAnimation = nullptr;
  QAction* actInfoPanel = nullptr;

  // Priorities on the loader: the picture asked for first, then the column's thumbnails
  // (visible ones above the scan), the pictures read ahead last.
  static constexpr int kPreviewPriority = 100, kPicturePriority = 90, kScanPriority = 40, kAheadPriority = 20;

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildToolBars();
  void BuildCullingCommands();
  // Selects the entry named SelectName_ when it is listed, and forgets the name.
  bool SelectNamed();
  void BuildPagesAndPanel();
  // After Present: the page, the animation and the panel follow the picture (or its failure).
  void PicturePresented(const velora::TPicturePtr& picture);
  void ShowAnimationFrame(velora::TGifFrame& frame);
  void UpdateInfoPanel();
  // The picture in the view was changed ("CA", "EF"): its histogram is counted again.
  void PictureEdited();
  void BuildActions();
  QAction* AddAction(const char* name, const char* text, std::function<void()> run);
  void ApplySettings();
  // The mouse wheel over the picture when it browses: steps, or zooms about the pointer with Ctrl.
  bool BrowseWheel(QWheelEvent& event);
  void ZoomBy(double factor);
  void Turn(int quarters);
  void Undo();
  void Step(int delta);
  void SelectEntry(int idx);
  void UpdatePictureStatus();
  void ScanFolder();
  void ScanNext(std::shared_ptr<TScanJob> job);
  void ScanArrived(const std::shared_ptr<TScanJob>& job, std::vector<TScanEntryStamped> batch,
                   std::map<std::string, std::string> leftOut, int done, int total, bool finished);
  void ShowScanProgress(int done, int total);
  void RescanArrived(const std::shared_ptr<TRescan>& rescan);
  void Renumber();
  // Shows entry idx: from the pictures read ahead when it is there, else read (with a quick
  // preview first for a large photo). fit: fit once shown; useCache false reads the file again.
  void StartPicture(int idx, bool fit, bool useCache, int page = 0);
  void SubmitRead(int idx, const std::string& name, bool fit, bool preview);
  void PreviewArrived(int idx, const velora::TPicturePtr& picture);
  void PictureArrived(int idx, const velora::TPicturePtr& picture, bool fit);
  // Puts a read picture (or its failure) into the view.
  void Present(int idx, const velora::TPicturePtr& picture, bool fit);
  void ReadAround(int idx);
  void AheadArrived(int64_t key, const velora::TPicturePtr& picture);
  // Frees pictures on a worker: giving back the memory of large ones is slow.
  void DisposeLater(std::vector<velora::TPicturePtr> pictures);
  // Runs command now, or once the whole picture replaced the preview.
  void WhenWhole(std::function<void()> command);
  void ShowEmptyPicture();
  void ShowStatus(const std::string& text);
  void UpdateStatusBar();
  void Fit();

  std::string Folder_;
  std::string FileMask_;
  bool Activated_ = false;
  int CurrentIndex_ = -1;
  int ShownIndex_ = -1;
  int PendingIndex_ = -1;
  bool FitMode_ = false;
  bool Fitting_ = false;
  QTimer SettleTimer_;
  TStatusLine* Status_ = nullptr;
  TKeyTable Keys_;
  TViewerSettings Settings_;
  velora::TColor WindowBackground_ = velora::clBtnFace;
  std::map<std::string, std::string> NotShown_;  // file name -> why it is not listed
  QPointer<QMessageBox> KeyListBox_, NotShownBox_;
  int WheelSteps_ = 0;  // eighths of a degree turned and not yet acted on
  bool FullScreen_ = false;
  bool WasMaximized_ = true;
  bool FitBeforeFullScreen_ = true;
  double ZoomBeforeFullScreen_ = 100;
  int OriginBeforeFullScreenX_ = 0, OriginBeforeFullScreenY_ = 0;
  bool Slideshow_ = false;
  bool SlideshowFullScreen_ = false;  // full screen was started by the slideshow
  QTimer SlideshowTimer_;
  bool TransitionPending_ = false;
  int Turns_ = 0;           // quarter turns of the picture shown, since it was read
  int TurnsSinceEdit_ = 0;  // ... since the last processing command
  QLabel* ScanLabel_ = nullptr;
  QProgressBar* ScanProgress_ = nullptr;
  QLabel* PreviewMark_ = nullptr;

  velora::TVLThumbnailCache ThumbCache_;
  std::unique_ptr<velora::TVeloraLoader> Loader_;
  velora::TLoadChannelPtr ViewChannel_, AheadChannel_, ScanChannel_, DisposeChannel_;
  bool Scanning_ = false;
  QElapsedTimer ScanClock_;
  // The picture in the view: what its read left (its pixels are the view's), whether it is
  // whole and unchanged since (then it may go back among the pictures read ahead).
  velora::TPicturePtr Shown_;
  bool ShownWhole_ = false;
  bool Pristine_ = false;
  bool Preview_ = false;
  std::vector<std::function<void()>> AfterWhole_;
  velora::TPictureCache Ahead_;
  std::map<int64_t, std::string> AheadInFlight_;  // key on the loader -> file
  int64_t NextAheadKey_ = 1;
  std::string AwaitingAhead_;  // the selection's file, read ahead already under way
  bool AwaitingFit_ = false;
  int Direction_ = 1;          // of the last step through the list
  // The folder as last seen: the listed files with their stamps.
  std::map<std::string, velora::TFileStamp> Known_;
  std::map<std::string, velora::TFileStamp> Unlisted_;  // names that are not images, as last seen
  QFileSystemWatcher Watcher_;
  QTimer WatchTimer_;
  bool Rescanning_ = false;

  QSettings CullingSettings_{"Tessel", "TesselImageViewer"};
  TCullingActions* Culling_ = nullptr;
  std::string SelectName_;          // to select once listed
  std::vector<std::string> Given_;  // listed instead of the folder's matching entries
  velora::TSortOrder Order_ = velora::TSortOrder::soName;
  bool Reversed_ = false;
  int Page_ = 0, Pages_ = 1;
  int ReadPage_ = 0;  // the page the view's next read asks for
  std::unique_ptr<velora::TGifPlayer> Player_;
  TInfoPanel* InfoPanel_ = nullptr;
  // What the panel shows of the picture in the view.
  velora::TPicturePtr InfoPicture_;
  bool HistogramStale_ = false;
};
