// TfPreviews: the modal dialog in which colour adjustments and effects are tried on a copy of
// the image. The Source view holds the image being edited, the Result view a preview of the
// active page applied to what the Source view shows; OK applies the page to the Source, whose
// bitmap the launcher then writes back into the image.
#pragma once
#include <QDialog>
#include <array>
#include <memory>
#include <vector>

#include "histogram_box.h"
#include "hsv_box.h"
#include "proc/ft_image.h"
#include "proc/user_filter.h"
#include "proc/velora_proc.h"
#include "ruler_box.h"
#include "up_down_edit.h"
#include "velora.h"

class QCheckBox;
class QFileDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QSlider;
class QSpinBox;
class QTabWidget;
class QToolButton;

namespace velora {

// Installs the dialog as the launcher every processing component opens.
void InstallPreviewsDialog();
// The launcher itself: runs the dialog on the request, leaving the applied result in its
// Source on OK.
bool RunPreviewsDialog(TPreviewRequest& request);

class TfPreviews : public QDialog, public TVLObject {
  Q_OBJECT

 public:
  // The pages in tab order, and the tags that the page rules go by.
  static constexpr int kPageCount = 12;
  static const std::array<TPreviewPage, kPageCount> kTabOrder;
  static int TagOf(TPreviewPage page);

  explicit TfPreviews(QWidget* parent = nullptr);
  ~TfPreviews() override;

  // ---- what the launcher gives
  TPreviewPageSet PageSet = 0;
  bool LockDefault = false;
  TVLProgressEvent ProgressEvent;
  TVLObject* ProgressSender = nullptr;
  TVeloraProc* Serving = nullptr;

  void SetLanguage(TMsgLanguage language);
  void ApplyPage(TVelora* target);
  void RefreshPreview();
  // Back to the unprocessed preview, the page applied again, the Result painted.
  void RerunPreview();
  void InitPages(bool resetAll);
  // The Source view's bitmap has changed: what was kept from it is stale.
  void SourceChanged() { ++SourceVersion_; }
  // The tag of the active page, 0 before the dialog is shown.
  int ActiveTag() const;
  bool Locked() const;

  // ---- the form
  QLabel *Label1, *Label2;
  TVelora *Velora1, *Velora2;
  QPushButton *Button6, *Button1, *Button2, *Button3;
  QToolButton* SpeedButton1;
  QTabWidget* PageControl1;
  std::array<QWidget*, kPageCount> Pages{};
  TVeloraProc VeloraProc1, VeloraProc2;

  // Contrast
  QLabel *Label3, *Label22;
  QLineEdit *Edit1, *Edit21;
  QSlider *TrackBar1, *TrackBar12;
  // HSV
  QLabel *Label10, *Label11, *Label12, *Label13, *Label14;
  QLineEdit *Edit19, *Edit18, *Edit17;
  QSlider *TrackBar9, *TrackBar10, *TrackBar11;
  THSVBox *HSVBox3, *HSVBox1;
  // HSL
  QLabel *Label4, *Label5, *Label6;
  QLineEdit *Edit4, *Edit2, *Edit3;
  QSlider *TrackBar2, *TrackBar3, *TrackBar5;
  // RGB
  QLabel *Label7, *Label8, *Label9;
  QLineEdit *Edit7, *Edit6, *Edit5;
  QSlider *TrackBar6, *TrackBar7, *TrackBar8;
  // Equalization
  TRulerBox *RulerBox2, *RulerBox1;
  THistogramBox* HistogramBox1;
  QLabel *Label16, *Label17, *Label18, *Label19, *Label20, *Label21;
  QToolButton* SpeedButton3;
  QGroupBox* GroupBox4;
  QListWidget* CheckListBox1;
  // User filter
  QGroupBox *GroupBox1, *GroupBox3;
  std::array<TUpDownEdit*, 9> KernelBoxes{};  // Edit8, Edit11, Edit14, Edit9, … by kernel index
  TUpDownEdit* Edit20;
  QLabel* Label15;
  QPushButton *Button4, *Button5;
  QListWidget* ListBox1;
  // Bump map
  QGroupBox* GroupBox2;
  QSpinBox *Edit22, *Edit23, *Edit24, *Edit25, *Edit26;
  QLabel *Label23, *Label24, *Label25, *Label26, *Label27, *Label28;
  THSVBox* HSVBox2;
  // Lens
  QGroupBox* GroupBox5;
  QSpinBox *Edit27, *Edit28, *Edit29, *Edit30, *Edit31;
  QLabel *Label29, *Label30, *Label31, *Label32, *Label33;
  // Wave
  QGroupBox* GroupBox6;
  QSpinBox *Edit32, *Edit33, *Edit34;
  QLabel *Label34, *Label35, *Label36;
  QCheckBox* CheckBox2;
  // Morph filters
  QGroupBox* GroupBox7;
  QListWidget* ListBox2;
  QSpinBox* Edit35;
  QLabel *Label37, *Label38;
  // Rotate
  QLineEdit* EditRotate;
  QSlider* TrackBarRotate;
  QToolButton *SpeedButtonFlipHor, *SpeedButtonFlipVer;
  QLabel *LabelRotate, *LabelFlip;
  // FFT
  QGroupBox* GroupBox8;
  TVeloraView* VeloraView1;
  QProgressBar* ProgressBar1;
  QPushButton *Clear, *Button7;
  QCheckBox* CheckBox1;
  // Made when Load or Save is first pressed.
  QFileDialog *OpenDialog1 = nullptr, *SaveDialog1 = nullptr;

  // ---- page state
  int Contrast = 0, Brightness = 0;
  int MeanRed = 128, MeanGreen = 128, MeanBlue = 128;
  int HsvHue = 0, HsvSat = 0, HsvVal = 0;
  int HslHue = 0, HslSat = 0, HslLum = 0;
  int Red = 0, Green = 0, Blue = 0;
  TRGB ThresholdLow, ThresholdHigh, EqualizeLow, EqualizeHigh;
  TVLUserFilter UserFilter;
  // Where the light or the lens sits on the Source's bitmap: its centre and its extent.
  struct TEffectArea {
    int Left = 0, Top = 0, Width = 0, Height = 0;
  };
  TEffectArea BumpArea, LensArea;
  TRGB BumpColour{255, 255, 255};
  int BumpShare = 0;
  int RefractionBox = 7;  // the box shows (refraction − 1) × 10
  double Refraction = 1.7;
  int WaveAmplitude = 10, WaveLength = 10, WavePhase = 0;
  bool WaveReflective = false;
  int MorphFilterIndex = 0, MorphSize = 1;
  double Angle = 0;
  TVLFtImage* FrequencyImage() const { return FrequencyImage_.get(); }

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // One numeric parameter of a colour page: its box, its slider and the field it sets.
  struct TSliderParam {
    QLineEdit* edit;
    QSlider* slider;
    int* value;
  };
  using TSliderPage = std::vector<TSliderParam>;
  // The boxes of a page without sliders and the fields they set.
  struct TBoxParam {
    QSpinBox* box;
    int* value;
  };
  using TBoxPage = std::vector<TBoxParam>;

  void BuildForm();
  QWidget* BuildSliderPage(const std::vector<std::pair<QLabel**, std::pair<QLineEdit**, QSlider**>>>& rows,
                           int minimum, int maximum, TSliderPage& page, QWidget* extra = nullptr);
  QWidget* BuildHsvPage();
  QWidget* BuildEqualizationPage();
  QWidget* BuildFftPage();
  QWidget* BuildUserFilterPage();
  QWidget* BuildBumpMapPage();
  QWidget* BuildLensPage();
  QWidget* BuildWavePage();
  QWidget* BuildMorphPage();
  QWidget* BuildRotatePage();
  void SetEffectCaptions(TMsgLanguage language);
  void ConnectEffectPages();
  void InitEffectPage(int tag);
  void ApplyEffectPage(TVelora* target, int tag, const TVLProgressRecord* progress);
  // Stores every box of the page when any differs from its field; true when it did.
  bool TakeBoxes(TBoxPage& page);
  static void ShowBoxes(const TBoxPage& page);
  void BoxPageChanged(TBoxPage& page);
  void FillKernelBoxes();
  void KernelBoxChanged(int index);
  void PresetChosen(int row);
  // The file the open or save dialog was closed with, "" when it was cancelled.
  QString ChooseFilterFile(QFileDialog*& dialog, bool save);
  void LoadUserFilter();
  void SaveUserFilter();
  void LensBoxesChanged();
  void WaveChanged();
  void MorphChanged();
  void RotateSliderChanged();
  void RotateEditChanged();
  void ApplyRotate(TVelora* target);
  // A click on the Result puts the light or the lens there.
  void PlaceEffectAt(QPointF at);
  // The area as the preview shows it: the Source's zoom and scroll applied.
  TEffectArea PreviewArea(const TEffectArea& area) const;
  void Relayout();
  void FormActivate();
  void PageControl1Change();
  void AdjustMouseInteract(TVeloraView* view, int tag);
  void InitPage(int tag);
  void SliderChanged(TSliderPage& page);
  void EditChanged(TSliderPage& page);
  void SetSliders(const TSliderPage& page);
  void HsvBoxChanged();
  void ResultMouse(QMouseEvent* event);
  void CheckListChanged();
  void RulerGripMoved(TRulerBox* ruler, int grip);
  void AlignThresholdRuler();
  void ApplyFft(TVelora* target);
  void RebuildFrequencyImage();
  // Gray or colour, as "Gray scale" says.
  uint8_t FrequencyMode() const;
  void Button1Click();
  void Button6Click();
  void SpeedButton1Click();

  bool Activated_ = false;  // the first show of this run has happened
  TMsgLanguage Language_ = msEnglish;
  bool Ready_ = false;
  bool FinalApply_ = false;
  std::array<bool, kPageCount + 1> PageInitialised_{};  // by tag
  TSliderPage ContrastPage_, HsvPage_, HslPage_, RgbPage_;
  TBoxPage BumpPage_, LensPage_, WavePage_;
  std::unique_ptr<TVLFtImage> FrequencyImage_;
  // What depends only on the Source's bitmap is kept until that bitmap changes.
  int SourceVersion_ = 0;
  int FrequencyVersion_ = -1;
  int HistogramVersion_ = -1;
};

}  // namespace velora
