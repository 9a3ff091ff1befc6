// The viewer's one window: the thumbnail column of the folder's images on the left, the
// selected image in a zoomable view filling the rest, and the two tool bars with the viewing
// commands. Every picture it shows is drawn by the library's views; the window only wires
// them together.
#pragma once
#include <QMainWindow>
#include <string>

class QAction;
class QActionGroup;
class QLabel;
class QProgressBar;
class QSplitter;
class QToolBar;

namespace velora {
class TVeloraMView;
class TVeloraView;
}  // namespace velora

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

  void VeloraMView1ImageSelect(int idx);
  void tbtnZoomXFitClick();
  void tbtnZoomX1Click();
  void tbtnReloadImageClick();

 protected:
  bool event(QEvent* event) override;

 private:
  void BuildToolBars();
  void ScanFolder();

  std::string Folder_;
  std::string FileMask_;
  bool Activated_ = false;
  int CurrentIndex_ = -1;
  QLabel* ScanLabel_ = nullptr;
  QProgressBar* ScanProgress_ = nullptr;
};
