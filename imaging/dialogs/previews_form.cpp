// The preview dialog's form: its two views, the buttons common to every page, the preview
// cycle, the captions and the launcher.
#include "previews_form.h"

#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QToolButton>
#include <algorithm>
#include <vector>

#include "view/qt/preview_launcher.h"
#include "word_table.h"

#include "../../resources/lock_glyph.xpm"

namespace velora {

namespace {

// The design's client area; a language whose words need more makes it larger.
constexpr int kClientWidth = 521, kClientHeight = 390;
constexpr int kViewWidth = 191, kViewHeight = 135;
constexpr int kPagesTop = 160, kPagesHeight = 222;

QFont ToQFont(const TVLFont& font) {
  QFont f = QApplication::font();
  // The design's default face is the platform's sans-serif here.
  if (font.Name != "MS Sans Serif" && !font.Name.empty()) f.setFamily(QString::fromStdString(font.Name));
  if (font.Height != 0) f.setPixelSize(std::abs(font.Height));
  f.setBold(font.Bold);
  f.setItalic(font.Italic);
  f.setUnderline(font.Underline);
  f.setStrikeOut(font.StrikeOut);
  return f;
}

QString Word(int id, TMsgLanguage language) { return QString::fromStdString(LookupWord(id, language)); }

// The halftone stretch: each pixel of `out` is the mean of the block of source pixels it
// covers (a single pixel where `out` is the larger). One pass over the source, which may be
// tens of megapixels.
void AreaAverage(const TBitmap& source, TBitmap& out) {
  const int sw = source.Width(), sh = source.Height(), tw = out.Width(), th = out.Height();
  auto block = [](int i, int from, int to, int& first, int& last) {
    first = int(int64_t(i) * from / to);
    last = std::max(first + 1, int(int64_t(i + 1) * from / to));
  };
  std::vector<int> x0(static_cast<size_t>(tw)), x1(static_cast<size_t>(tw));
  for (int x = 0; x < tw; ++x) block(x, sw, tw, x0[size_t(x)], x1[size_t(x)]);
  std::vector<uint64_t> sums(size_t(tw) * 3);
  for (int y = 0; y < th; ++y) {
    int y0, y1;
    block(y, sh, th, y0, y1);
    std::fill(sums.begin(), sums.end(), 0);
    for (int sy = y0; sy < y1; ++sy) {
      const uint8_t* in = source.ScanLine(sy);
      for (int x = 0; x < tw; ++x) {
        uint64_t* s = &sums[size_t(x) * 3];
        for (const uint8_t* p = in + 3 * x0[size_t(x)]; p < in + 3 * x1[size_t(x)]; p += 3) {
          s[0] += p[0];
          s[1] += p[1];
          s[2] += p[2];
        }
      }
    }
    uint8_t* o = out.ScanLine(y);
    for (int x = 0; x < tw; ++x, o += 3) {
      const uint64_t n = uint64_t(x1[size_t(x)] - x0[size_t(x)]) * uint64_t(y1 - y0);
      for (size_t c = 0; c < 3; ++c) o[c] = uint8_t((sums[size_t(x) * 3 + c] + n / 2) / n);
    }
  }
}

}  // namespace

const std::array<TPreviewPage, TfPreviews::kPageCount> TfPreviews::kTabOrder = {
    ppContrast, ppHSV, ppHSL, ppRGB, ppUserFilter, ppEqualization, ppBumpMap, ppLens, ppWave, ppMorph, ppRotate, ppFFT};

int TfPreviews::TagOf(TPreviewPage page) {
  switch (page) {
    case ppContrast: return 1;
    case ppHSL: return 2;
    case ppRGB: return 3;
    case ppUserFilter: return 4;
    case ppHSV: return 5;
    case ppEqualization: return 6;
    case ppBumpMap: return 7;
    case ppLens: return 8;
    case ppWave: return 9;
    case ppMorph: return 10;
    case ppRotate: return 11;
    case ppFFT: return 12;
    default: return 0;
  }
}

TfPreviews::TfPreviews(QWidget* parent) : QDialog(parent) {
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  setModal(true);
  BuildForm();
  // FormCreate: the Contrast page first, the Result's undo copy in memory.
  PageControl1->setCurrentIndex(0);
  Velora2->SetUndoLocation(slMemory);
  // Nothing in the dialog restores the Source's own copies; a rotation applied on OK would
  // only pay for one it never uses.
  Velora1->SetAutoUndo(false);
  SetLanguage(msEnglish);
}

TfPreviews::~TfPreviews() {
  // The histogram box must not reach the component once the form's members start to go.
  HistogramBox1->SetAttachedVeloraProc(nullptr);
  Velora1->OnViewChange = nullptr;
}

void TfPreviews::BuildForm() {
  Label1 = new QLabel(this);
  Label1->move(9, 1);
  Label2 = new QLabel(this);
  Label2->move(233, 1);

  Velora1 = new TVelora(this);
  Velora1->setGeometry(9, 17, kViewWidth, kViewHeight);
  Velora1->SetCenter(true);
  Velora1->SetMouseInteract(MouseInteractSet({miZoom, miScroll}));
  Velora1->SetCursor(crHand);
  Velora1->OnViewChange = [this](TVLObject*, int) {
    if (Activated_) RefreshPreview();
  };
  Velora2 = new TVelora(this);
  Velora2->setGeometry(233, 17, kViewWidth, kViewHeight);
  Velora2->SetCenter(true);
  Velora2->SetAutoUndo(false);
  Velora2->SetCursor(crCross);
  Velora2->installEventFilter(this);

  Button6 = new QPushButton("<<", this);
  Button6->setGeometry(206, 72, 21, 25);
  connect(Button6, &QPushButton::clicked, this, [this] { Button6Click(); });
  Button1 = new QPushButton(this);
  Button1->setDefault(true);
  Button1->setAutoDefault(true);
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  Button2 = new QPushButton(this);
  Button2->setAutoDefault(false);
  connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
  Button3 = new QPushButton(this);
  Button3->setAutoDefault(false);
  connect(Button3, &QPushButton::clicked, this, [this] { RerunPreview(); });
  SpeedButton1 = new QToolButton(this);
  SpeedButton1->setCheckable(true);
  QIcon lock;
  lock.addPixmap(QPixmap(kLockShut), QIcon::Normal, QIcon::On);
  lock.addPixmap(QPixmap(kLockOpen), QIcon::Normal, QIcon::Off);
  SpeedButton1->setIcon(lock);
  connect(SpeedButton1, &QToolButton::clicked, this, [this] { SpeedButton1Click(); });

  PageControl1 = new QTabWidget(this);
  PageControl1->setTabPosition(QTabWidget::South);
  PageControl1->tabBar()->setAttribute(Qt::WA_Hover);  // hot tracking
  Pages[0] = BuildSliderPage({{&Label3, {&Edit1, &TrackBar1}}, {&Label22, {&Edit21, &TrackBar12}}}, -100, 100,
                             ContrastPage_);
  ContrastPage_[0].value = &Contrast;
  ContrastPage_[1].value = &Brightness;
  Pages[1] = BuildHsvPage();
  Pages[2] = BuildSliderPage({{&Label4, {&Edit4, &TrackBar2}}, {&Label5, {&Edit2, &TrackBar3}}, {&Label6, {&Edit3, &TrackBar5}}},
                             -100, 100, HslPage_);
  TrackBar2->setRange(-180, 180);
  HslPage_[0].value = &HslHue;
  HslPage_[1].value = &HslSat;
  HslPage_[2].value = &HslLum;
  Pages[3] = BuildSliderPage({{&Label7, {&Edit7, &TrackBar6}}, {&Label8, {&Edit6, &TrackBar7}}, {&Label9, {&Edit5, &TrackBar8}}},
                             -255, 255, RgbPage_);
  RgbPage_[0].value = &Red;
  RgbPage_[1].value = &Green;
  RgbPage_[2].value = &Blue;
  Pages[4] = BuildUserFilterPage();
  Pages[5] = BuildEqualizationPage();
  Pages[6] = BuildBumpMapPage();
  Pages[7] = BuildLensPage();
  Pages[8] = BuildWavePage();
  Pages[9] = BuildMorphPage();
  Pages[10] = BuildRotatePage();
  Pages[11] = BuildFftPage();
  ConnectEffectPages();
  for (QWidget* page : Pages) PageControl1->addTab(page, QString());
  connect(PageControl1, &QTabWidget::currentChanged, this, [this] {
    if (Activated_) PageControl1Change();
  });

  VeloraProc1.SetAttachedVelora(Velora1);
  VeloraProc1.AutoUndo = false;
  VeloraProc1.SetBackground(clBtnFace);
  HistogramBox1->SetAttachedVeloraProc(&VeloraProc1);
  VeloraProc2.SetAttachedVelora(VeloraView1);
  VeloraProc2.SetBackground(clBtnFace);
  VeloraProc2.OnProgress = [this](TVLObject*, int per) { ProgressBar1->setValue(std::clamp(per, 0, 100)); };
}

void TfPreviews::Relayout() {
  // The buttons take what their words need, the dialog grows to hold them and the pages.
  int buttonWidth = 75;
  for (QPushButton* b : {Button1, Button2, Button3}) buttonWidth = std::max(buttonWidth, b->sizeHint().width());
  const int buttonsLeft = 233 + kViewWidth + 12;
  Button1->setGeometry(buttonsLeft, 17, buttonWidth, 25);
  Button2->setGeometry(buttonsLeft, 47, buttonWidth, 25);
  Button3->setGeometry(buttonsLeft, 77, buttonWidth, 25);
  SpeedButton1->setGeometry(buttonsLeft, 107, 25, 25);
  for (QLabel* l : {Label1, Label2}) l->adjustSize();
  const QSize pagesNeed = PageControl1->minimumSizeHint();
  const int width = std::max({kClientWidth, buttonsLeft + buttonWidth + 9, pagesNeed.width() + 18});
  const int pagesHeight = std::max(kPagesHeight, pagesNeed.height());
  PageControl1->setGeometry(9, kPagesTop, width - 18, pagesHeight);
  setFixedSize(width, std::max(kClientHeight, kPagesTop + pagesHeight + 8));
}

void TfPreviews::SetLanguage(TMsgLanguage language) {
  Language_ = language;
  auto w = [language](int id) { return Word(id, language); };
  auto colon = [&w](int id) { return w(id) + ":"; };
  setWindowTitle(w(0));
  Button3->setText(w(0));
  Label1->setText(colon(1));
  Label2->setText(colon(2));
  Button1->setText(w(3));
  Button2->setText(w(4));
  SpeedButton1->setToolTip(w(5));
  Button6->setToolTip(w(6));

  const QString tabs[kPageCount] = {w(7),  "HSV", "HSL", "RGB", w(72), w(23),
                                    w(90), w(35), w(67), w(73), w(79), "FFT"};
  for (int i = 0; i < kPageCount; ++i) PageControl1->setTabText(i, tabs[i]);
  // Contrast
  Label3->setText(w(7));
  Label22->setText(colon(8));
  // HSV
  Label10->setText(w(9) + " (H):");
  Label11->setText(w(10) + " (S):");
  Label12->setText(w(11) + " (V):");
  Label13->setText(colon(12));
  Label14->setText(colon(13));
  // HSL
  Label4->setText(w(9) + " (H):");
  Label5->setText(w(10) + " (S):");
  Label6->setText(w(14) + " (L):");
  // RGB
  Label7->setText(w(15) + " (R):");
  Label8->setText(w(16) + " (G):");
  Label9->setText(w(17) + " (B):");
  // Equalization
  Label19->setText(w(23));
  Label18->setText(w(24));
  SpeedButton3->setText(w(25));
  GroupBox4->setTitle(" " + w(26) + " ");
  for (int i = 0; i < 4; ++i) CheckListBox1->item(i)->setText(w(i < 3 ? 15 + i : 27));
  SetEffectCaptions(language);
  // FFT
  GroupBox8->setTitle(" " + w(84) + " ");
  Clear->setText(w(85));
  Button7->setText(w(86));
  CheckBox1->setText(w(41));
  Relayout();
}

bool TfPreviews::Locked() const { return SpeedButton1->isChecked(); }

int TfPreviews::ActiveTag() const {
  const int i = PageControl1->currentIndex();
  return Activated_ && i >= 0 && i < kPageCount ? TagOf(kTabOrder[size_t(i)]) : 0;
}

void TfPreviews::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Activation comes again after a file dialog or a switch of application; only the first
  // show of the run sets the form up, or every page would be reset.
  if (!Activated_) FormActivate();
}

void TfPreviews::FormActivate() {
  FinalApply_ = false;
  Ready_ = true;
  Relayout();
  SpeedButton1->setChecked(LockDefault);
  Button3->setEnabled(!LockDefault);
  PageControl1->hide();
  int first = -1;
  for (int i = 0; i < kPageCount; ++i) {
    const bool shown = PreviewPageShown(PageSet, kTabOrder[size_t(i)]);
    PageControl1->setTabVisible(i, shown);
    if (shown && first < 0) first = i;
  }
  {
    const QSignalBlocker quiet(PageControl1);
    PageControl1->setCurrentIndex(std::max(first, 0));
  }
  PageControl1->show();
  Activated_ = true;
  InitPages(true);
  // The views' sizes are known here already; processing pending events at this point could
  // close the dialog before its modal loop has started, which would then never end.
  Velora1->Fit();
  PageControl1Change();
}

void TfPreviews::AdjustMouseInteract(TVeloraView* view, int tag) {
  const TVLMouseInteract zoom = MouseInteractSet({miZoom});
  if ((tag >= TagOf(ppContrast) && tag <= TagOf(ppEqualization)) || tag == TagOf(ppMorph)) {
    view->SetMouseInteract(view->MouseInteract() | zoom);
  } else {
    view->SetMouseInteract(view->MouseInteract() & ~zoom);
    view->Fit();
  }
}

void TfPreviews::PageControl1Change() {
  InitPages(false);
  AdjustMouseInteract(Velora1, ActiveTag());
  RefreshPreview();
}

void TfPreviews::InitPages(bool resetAll) {
  if (resetAll) PageInitialised_.fill(false);
  Ready_ = false;
  const int tag = ActiveTag();
  if (!PageInitialised_[size_t(tag)]) {
    InitPage(tag);
    PageInitialised_[size_t(tag)] = true;
  }
  Ready_ = true;
}

void TfPreviews::RefreshPreview() {
  Velora2->LockUpdate();
  if (!Velora1->DrawVisibleTo(Velora2->Bitmap())) Velora2->Bitmap().SetSize(0, 0);
  Velora2->PushUndo();
  if (!FrequencyImage_) {
    FrequencyImage_ = std::make_unique<TVLFtImage>();
    FrequencyImage_->OnProgress = VeloraProc2.OnProgress;
  }
  if (FrequencyVersion_ != SourceVersion_ || FrequencyImage_->Mode != FrequencyMode()) RebuildFrequencyImage();
  ApplyPage(Velora2);
  Velora2->UnlockUpdate();
  if (ActiveTag() == TagOf(ppEqualization) && HistogramVersion_ != SourceVersion_) {
    HistogramBox1->Update();
    HistogramVersion_ = SourceVersion_;
    AlignThresholdRuler();
  }
}

void TfPreviews::RerunPreview() {
  Velora2->LockUpdate();
  Velora2->RestoreUndo();
  ApplyPage(Velora2);
  Velora2->UnlockUpdate();
  Velora2->repaint();
}

void TfPreviews::ApplyPage(TVelora* target) {
  TBitmap& bm = target->Bitmap();
  const int w = bm.Width(), h = bm.Height();
  // Progress reaches the caller only for the real thing, not for previews.
  TVLProgressRecord record;
  if (FinalApply_) {
    record.fOnProgress = ProgressEvent;
    record.Sender = ProgressSender;
  }
  const TVLProgressRecord* progress = FinalApply_ ? &record : nullptr;
  const int tag = ActiveTag();
  switch (tag) {
    case 1:
      AdjustContrast(bm, 0, 0, w, h, Contrast, MeanRed, MeanGreen, MeanBlue, progress);
      ShiftRGB(bm, 0, 0, w, h, Brightness, Brightness, Brightness, progress);
      break;
    case 2: AdjustHSL(bm, 0, 0, w, h, HslHue, HslSat, HslLum, progress); break;
    case 3: ShiftRGB(bm, 0, 0, w, h, Red, Green, Blue, progress); break;
    case 5: AdjustHSV(bm, 0, 0, w, h, HsvHue, HsvSat, HsvVal, progress); break;
    case 6:
      ApplyThreshold(bm, 0, 0, w, h, ThresholdLow, ThresholdHigh, TRGB{0, 0, 0}, TRGB{255, 255, 255}, progress);
      StretchLevels(bm, 0, 0, w, h, EqualizeLow, EqualizeHigh, progress);
      if (SpeedButton3->isChecked()) EqualizeHistogram(bm, 0, 0, w, h, progress);
      break;
    case 12: ApplyFft(target); break;
    default: ApplyEffectPage(target, tag, progress); break;
  }
  target->Update();
  AdjustMouseInteract(Velora2, tag);
}

void TfPreviews::RebuildFrequencyImage() {
  FrequencyVersion_ = SourceVersion_;
  const TBitmap& source = Velora1->Bitmap();
  if (source.Width() < 1 || source.Height() < 1 || source.BitCount() != 24) return;
  // The thumbnail's larger side is 128; the other keeps the proportion but never vanishes.
  const int larger = std::max(source.Width(), source.Height());
  const int other = std::max(1, int(int64_t(std::min(source.Width(), source.Height())) * 128 / larger));
  const int tw = source.Width() >= source.Height() ? 128 : other;
  const int th = source.Width() >= source.Height() ? other : 128;
  TBitmap thumb(tw, th, TPixelFormat::pf24bit);
  AreaAverage(source, thumb);
  FrequencyImage_->BuildFromBitmap(thumb, FrequencyMode());
  ProgressBar1->setValue(0);
}

void TfPreviews::Button1Click() {
  FinalApply_ = true;
  ApplyPage(Velora1);
  Velora1->Update();
  SourceChanged();
  accept();
}

void TfPreviews::Button6Click() {
  ApplyPage(Velora1);
  Velora1->Update();
  Velora1->repaint();
  SourceChanged();
  RefreshPreview();
  InitPages(true);
  RefreshPreview();
}

void TfPreviews::SpeedButton1Click() {
  if (Locked()) RerunPreview();
  Button3->setEnabled(!Locked());
}

bool TfPreviews::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Velora2 && (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease))
    ResultMouse(static_cast<QMouseEvent*>(event));
  return QDialog::eventFilter(watched, event);
}

// ---- the launcher

bool RunPreviewsDialog(TPreviewRequest& request) {
  TfPreviews form(QApplication::activeWindow());
  form.LockDefault = request.LockPreviewDefault;
  form.setFont(ToQFont(request.Font));
  form.SetLanguage(request.Language);
  form.ProgressEvent = request.OnProgress;
  form.ProgressSender = request.Proc;
  form.Serving = request.Proc;
  form.Velora1->SetBackground(request.Background);
  form.Velora2->SetBackground(request.Background);
  form.Velora1->Bitmap().Assign(request.Source);
  form.Velora1->Update();
  form.PageSet = request.Pages;
  if (request.Proc) request.Proc->NotifyPreview(&form);
  if (form.exec() != QDialog::Accepted) return false;
  request.Source.Assign(form.Velora1->Bitmap());
  return true;
}

void InstallPreviewsDialog() { InstallPreviewLauncher(RunPreviewsDialog); }

}  // namespace velora
