// The viewer's one window: the thumbnail column of the folder's images on the left, the
// selected image in a zoomable view filling the rest, and the two tool bars with the viewing
// commands. Every picture it shows is drawn by the library's views; the window only wires
// them together.
#pragma once
#include <QMainWindow>
#include <QTimer>
#include <string>

class QAction;
class QActionGroup;
class QLabel;
class QProgressBar;
class QSplitter;
class QToolBar;

namespace velora {
class TVeloraIO;
class TVeloraMView;
class TVeloraView;
}  // namespace velora

// Why the last read of `io` failed, in a few words for the status line.
std::string FailureReason(const velora::TVeloraIO& io);

class TfrmImageViewer;
// Shows the window in its designed state: maximised, returning to the designed 696 x 480 at
// (298, 202) when restored.
void ShowViewerWindow(TfrmImageViewer& form);
// True unless an X11 display says no window manager runs on it.
bool WindowManagerRunning();

class TfrmImageViewer : public QMainWindow {
  Q_OBJECT

 public:
  // Folder and FileMask are the two command-line arguments, taken unchanged.
  TfrmImageViewer(const std::string& folder, const std::string& fileMask, QWidget* parent = nullptr);
  ~TfrmImageViewer() override;

  // The first activation: fill the LZW slots, scan the folder, show the first image. Later
  // calls do nothing.
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

  const std::string& Folder() const { return Folder_; }
  const std::string& FileMask() const { return FileMask_; }
  bool Activated() const { return Activated_; }
  int CurrentIndex() const { return CurrentIndex_; }

  // The selected entry is loaded once the selections stop coming (see LoadPendingSelection).
  void VeloraMView1ImageSelect(int idx);
  void tbtnZoomXFitClick();
  void tbtnZoomX1Click();
  void tbtnReloadImageClick();
  void tbtnColorAdjustClick();
  void tbtnEffectClick();

  // Loads and fits the latest selection, if one is waiting; the loop calls it once input
  // has settled, tests may call it to settle at once.
  void LoadPendingSelection();
  bool LoadPending() const { return PendingIndex_ >= 0; }
  // The entry whose picture the view holds (or whose failure it shows), -1 for none.
  int ShownIndex() const { return ShownIndex_; }
  // True while the view is fitted and follows the window's size.
  bool FitMode() const { return FitMode_; }
  // The status line: empty and hidden unless the selected file could not be read.
  QString StatusText() const;

  // How long a held key must pause before the selection it reached is loaded, when its
  // release is not seen (the key lifted over another window).
  static constexpr int kSettleMs = 250;

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildToolBars();
  void ScanFolder();
  // Reads the entry's file into the view; on failure the view shows an empty picture and the
  // status line says why. Returns true when the picture was read.
  bool ReadIntoView(int idx);
  void ShowEmptyPicture();
  void ShowStatus(const std::string& text);
  void Fit();

  std::string Folder_;
  std::string FileMask_;
  bool Activated_ = false;
  int CurrentIndex_ = -1;
  int ShownIndex_ = -1;
  int PendingIndex_ = -1;
  bool KeyHeld_ = false;
  bool FitMode_ = false;
  bool Fitting_ = false;
  QTimer SettleTimer_;
  QLabel* StatusLabel_ = nullptr;
  QProgressBar* ScanProgress_ = nullptr;
};
