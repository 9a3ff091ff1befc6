// The pages of the preview dialog: their controls, neutral values, change rules and what
// each applies.
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>

#include "previews_form.h"

namespace velora {

namespace {

// A number the user typed; text that is not an integer counts as 0.
int IntOf(const QLineEdit* edit) {
  bool ok = false;
  const int v = edit->text().trimmed().toInt(&ok);
  return ok ? v : 0;
}

constexpr TRGB kBlack{0, 0, 0}, kWhite{255, 255, 255}, kGripGray{128, 128, 128};
constexpr int kRulerWidth = 289;
constexpr double kRulerDotPerUnit = 1.1333;  // 289 / 255

}  // namespace

// ---- building

QWidget* TfPreviews::BuildSliderPage(
    const std::vector<std::pair<QLabel**, std::pair<QLineEdit**, QSlider**>>>& rows, int minimum, int maximum,
    TSliderPage& page, QWidget* extra) {
  auto* widget = new QWidget;
  auto* grid = new QGridLayout(widget);
  grid->setContentsMargins(8, 8, 8, 8);
  int r = 0;
  for (const auto& [label, controls] : rows) {
    *label = new QLabel;
    QLineEdit* edit = *controls.first = new QLineEdit("0");
    edit->setFixedWidth(50);
    QSlider* slider = *controls.second = new QSlider(Qt::Horizontal);
    slider->setRange(minimum, maximum);
    slider->setTickPosition(QSlider::TicksBelow);
    slider->setTickInterval(10);
    slider->setMinimumWidth(200);
    grid->addWidget(*label, r, 0);
    grid->addWidget(slider, r, 1);
    grid->addWidget(edit, r, 2);
    page.push_back(TSliderParam{edit, slider, nullptr});
    ++r;
  }
  for (TSliderParam& p : page) {
    connect(p.slider, &QSlider::valueChanged, this, [this, &page] {
      if (Ready_) SliderChanged(page);
    });
    connect(p.edit, &QLineEdit::textChanged, this, [this, &page] {
      if (Ready_) EditChanged(page);
    });
  }
  if (extra) grid->addWidget(extra, 0, 3, r, 1);
  grid->setRowStretch(r, 1);
  return widget;
}

QWidget* TfPreviews::BuildHsvPage() {
  auto* boxes = new QWidget;
  auto* layout = new QGridLayout(boxes);
  layout->setContentsMargins(0, 0, 0, 0);
  Label13 = new QLabel;
  Label14 = new QLabel;
  HSVBox3 = new THSVBox;
  HSVBox1 = new THSVBox;
  for (THSVBox* box : {HSVBox3, HSVBox1}) {
    box->setFixedSize(80, 80);
    box->OnChange = [this](TVLObject*) {
      if (Ready_) HsvBoxChanged();
    };
  }
  // Sunken panels around the boxes.
  auto sunken = [](THSVBox* box) {
    auto* frame = new QFrame;
    frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    auto* l = new QVBoxLayout(frame);
    l->setContentsMargins(1, 1, 1, 1);
    l->addWidget(box);
    return frame;
  };
  layout->addWidget(Label13, 0, 0);
  layout->addWidget(Label14, 0, 1);
  layout->addWidget(sunken(HSVBox3), 1, 0);
  layout->addWidget(sunken(HSVBox1), 1, 1);
  QWidget* page = BuildSliderPage({{&Label10, {&Edit19, &TrackBar9}}, {&Label11, {&Edit18, &TrackBar10}},
                                   {&Label12, {&Edit17, &TrackBar11}}},
                                  -100, 100, HsvPage_, boxes);
  TrackBar9->setRange(-180, 180);
  HsvPage_[0].value = &HsvHue;
  HsvPage_[1].value = &HsvSat;
  HsvPage_[2].value = &HsvVal;
  return page;
}

QWidget* TfPreviews::BuildEqualizationPage() {
  auto* page = new QWidget;
  auto* panel = new QFrame(page);
  panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  panel->setGeometry(6, 4, kRulerWidth + 6, 176);
  // Each ruler has its name in the middle and its grips' values at the ends of a row of text.
  auto labelRow = [panel](QLabel*& left, QLabel*& name, QLabel*& right, int y, const char* low, const char* high) {
    left = new QLabel(low, panel);
    name = new QLabel(panel);
    right = new QLabel(high, panel);
    left->setGeometry(3, y, 40, 15);
    name->setGeometry(43, y, kRulerWidth - 80, 15);
    name->setAlignment(Qt::AlignCenter);
    right->setGeometry(kRulerWidth + 3 - 40, y, 40, 15);
    right->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  };
  labelRow(Label20, Label19, Label21, 2, "0", "255");
  RulerBox2 = new TRulerBox(panel);
  RulerBox2->setGeometry(3, 18, kRulerWidth, 13);
  HistogramBox1 = new THistogramBox(panel);
  HistogramBox1->setGeometry(3, 32, kRulerWidth, 90);
  HistogramBox1->SetLabels(0);
  HistogramBox1->SetBackground(clSilver);
  RulerBox1 = new TRulerBox(panel);
  RulerBox1->setGeometry(3, 123, kRulerWidth, 32);
  labelRow(Label16, Label18, Label17, 157, "0", "255");
  for (TRulerBox* ruler : {RulerBox1, RulerBox2}) {
    ruler->SetBackground(clSilver);
    ruler->SetViewMax(255);
    ruler->SetDotPerUnit(kRulerDotPerUnit);
    ruler->SetFrequency(16);
    ruler->SetLabelFreq(32);
    ruler->SetGripsCount(2);
    ruler->OnRulerPosChange = [this, ruler](TVLObject*, int grip) {
      if (Ready_) RulerGripMoved(ruler, grip);
    };
  }
  RulerBox1->SetRulerColor(clSilver);
  RulerBox2->SetGripsDir(gdDown);
  RulerBox2->SetRuler(false);
  RulerBox2->SetRulerColor(clGray);
  RulerBox2->SetFitInView(true);

  auto* side = new QWidget(page);
  auto* column = new QVBoxLayout(side);
  column->setContentsMargins(0, 0, 0, 0);
  SpeedButton3 = new QToolButton;
  SpeedButton3->setCheckable(true);
  SpeedButton3->setToolButtonStyle(Qt::ToolButtonTextOnly);
  connect(SpeedButton3, &QToolButton::clicked, this, [this] {
    if (Ready_ && Locked()) RerunPreview();
  });
  GroupBox4 = new QGroupBox;
  auto* group = new QVBoxLayout(GroupBox4);
  CheckListBox1 = new QListWidget;
  for (int i = 0; i < 4; ++i) {
    auto* item = new QListWidgetItem(CheckListBox1);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
  }
  connect(CheckListBox1, &QListWidget::itemChanged, this, [this] {
    if (Ready_) CheckListChanged();
  });
  group->addWidget(CheckListBox1);
  column->addWidget(SpeedButton3);
  column->addWidget(GroupBox4);
  column->addStretch();
  side->setGeometry(kRulerWidth + 20, 4, 170, 176);
  return page;
}

QWidget* TfPreviews::BuildFftPage() {
  auto* page = new QWidget;
  auto* row = new QHBoxLayout(page);
  GroupBox8 = new QGroupBox;
  auto* group = new QVBoxLayout(GroupBox8);
  VeloraView1 = new TVeloraView;
  VeloraView1->SetScrollBars(ssBoth);
  VeloraView1->SetBorderStyle(bsNone);
  VeloraView1->SetCenter(true);
  VeloraView1->SetMouseInteract(MouseInteractSet({miZoom, miSelect}));
  VeloraView1->SelectionBase = vlsbBitmap;
  VeloraView1->setMinimumSize(200, 120);
  ProgressBar1 = new QProgressBar;
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setMaximumHeight(12);
  ProgressBar1->setTextVisible(false);
  group->addWidget(VeloraView1, 1);
  group->addWidget(ProgressBar1);
  auto* buttons = new QVBoxLayout;
  Clear = new QPushButton;
  Button7 = new QPushButton;
  CheckBox1 = new QCheckBox;
  for (QPushButton* b : {Clear, Button7}) b->setAutoDefault(false);
  connect(Clear, &QPushButton::clicked, this, [this] {
    if (Ready_) RerunPreview();
  });
  connect(Button7, &QPushButton::clicked, this, [this] {
    VeloraView1->Deselect();
    RefreshPreview();
  });
  CheckBox1->setChecked(true);
  connect(CheckBox1, &QCheckBox::clicked, this, [this] { RefreshPreview(); });
  buttons->addWidget(Clear);
  buttons->addWidget(Button7);
  buttons->addWidget(CheckBox1);
  buttons->addStretch();
  row->addWidget(GroupBox8, 1);
  row->addLayout(buttons);
  return page;
}

// ---- neutral values

void TfPreviews::InitPage(int tag) {
  switch (tag) {
    case 1:
      ChannelMeans(Velora1->Bitmap(), 0, 0, Velora1->Bitmap().Width(), Velora1->Bitmap().Height(), MeanRed,
                   MeanGreen, MeanBlue);
      Contrast = Brightness = 0;
      SetSliders(ContrastPage_);
      break;
    case 2:
      HslHue = HslSat = HslLum = 0;
      SetSliders(HslPage_);
      break;
    case 3:
      Red = Green = Blue = 0;
      SetSliders(RgbPage_);
      break;
    case 5:
      HsvHue = HsvSat = HsvVal = 0;
      SetSliders(HsvPage_);
      break;
    case 6:
      ThresholdLow = EqualizeLow = kBlack;
      ThresholdHigh = EqualizeHigh = kWhite;
      for (int i = 0; i < 4; ++i) CheckListBox1->item(i)->setCheckState(i == 3 ? Qt::Checked : Qt::Unchecked);
      HistogramBox1->SetHistogramKind(hkGray);
      for (TRulerBox* ruler : {RulerBox1, RulerBox2}) {
        ruler->SetGripPosition(0, 0);
        ruler->SetGripPosition(1, 255);
        for (int g = 0; g < 2; ++g) {
          ruler->SetGripColor(g, RGBColor(kGripGray.r, kGripGray.g, kGripGray.b));
          ruler->SetGripKind(g, ruler == RulerBox1 ? 4 : 0);
        }
      }
      for (QLabel* l : {Label16, Label20}) l->setText("0");
      for (QLabel* l : {Label17, Label21}) l->setText("255");
      SpeedButton3->setChecked(false);
      break;
    case 12: CheckBox1->setChecked(true); break;
    default: InitEffectPage(tag); break;
  }
}

// ---- the colour pages: sliders and boxes

void TfPreviews::SetSliders(const TSliderPage& page) {
  for (const TSliderParam& p : page) {
    const QSignalBlocker quietSlider(p.slider), quietEdit(p.edit);
    p.slider->setValue(*p.value);
    p.edit->setText(QString::number(*p.value));
  }
}

void TfPreviews::SliderChanged(TSliderPage& page) {
  bool differs = false;
  for (const TSliderParam& p : page) differs |= p.slider->value() != *p.value;
  if (!differs) return;
  for (const TSliderParam& p : page) {
    *p.value = p.slider->value();
    // The box shows the value the slider took; its own handler would only find it equal.
    const QSignalBlocker quiet(p.edit);
    p.edit->setText(QString::number(*p.value));
  }
  if (Locked()) RerunPreview();
}

void TfPreviews::EditChanged(TSliderPage& page) {
  bool differs = false;
  for (const TSliderParam& p : page) differs |= IntOf(p.edit) != *p.value;
  if (!differs) return;
  // The sliders limit what was typed; their handler stores the limited values and shows them.
  for (const TSliderParam& p : page) {
    const QSignalBlocker quiet(p.slider);
    p.slider->setValue(IntOf(p.edit));
  }
  SliderChanged(page);
}

void TfPreviews::HsvBoxChanged() {
  {
    const QSignalBlocker a(TrackBar9), b(TrackBar10), c(TrackBar11);
    TrackBar9->setValue(HSVBox1->Hue() - HSVBox3->Hue());
    TrackBar10->setValue(HSVBox1->Sat() - HSVBox3->Sat());
    TrackBar11->setValue(HSVBox1->Val() - HSVBox3->Val());
  }
  SliderChanged(HsvPage_);
}

void TfPreviews::ResultMouse(QMouseEvent* event) {
  const int tag = ActiveTag();
  if (tag == TagOf(ppBumpMap) || tag == TagOf(ppLens)) {
    PlaceEffectAt(event->position());
    return;
  }
  if (tag != TagOf(ppHSV) || event->button() != Qt::LeftButton) return;
  // The colour the user sees under the mouse, background included.
  const QPoint at = event->position().toPoint();
  if (!Velora2->rect().contains(at)) return;
  const QRgb c = Velora2->grab(QRect(at, QSize(1, 1))).toImage().pixel(0, 0);
  HSVBox3->SetColorRGB(uint8_t(qRed(c)), uint8_t(qGreen(c)), uint8_t(qBlue(c)));
}

// ---- equalization

void TfPreviews::CheckListChanged() {
  static constexpr THistogramKindItem kKinds[4] = {hkRed, hkGreen, hkBlue, hkGray};
  THistogramKind kind = 0;
  for (int i = 0; i < 4; ++i)
    if (CheckListBox1->item(i)->checkState() == Qt::Checked) kind |= kKinds[i];
  HistogramBox1->SetHistogramKind(kind);
  AlignThresholdRuler();
}

void TfPreviews::AlignThresholdRuler() {
  const int left = HistogramBox1->GraphLeft();
  RulerBox1->setGeometry(left, RulerBox1->y(), HistogramBox1->width() - (left - HistogramBox1->x()), RulerBox1->height());
}

void TfPreviews::RulerGripMoved(TRulerBox* ruler, int grip) {
  if (grip < 0 || grip > 1) return;
  // Grips never cross: the other one follows the moved one.
  if (ruler->GetGripPosition(1) < ruler->GetGripPosition(0)) ruler->SetGripPosition(1 - grip, ruler->GetGripPosition(grip));
  const bool threshold = ruler == RulerBox1;
  QLabel* label = threshold ? (grip == 0 ? Label16 : Label17) : (grip == 0 ? Label20 : Label21);
  label->setText(QString::number(int(std::trunc(ruler->GetGripPosition(grip)))));
  TRGB& low = threshold ? ThresholdLow : EqualizeLow;
  TRGB& high = threshold ? ThresholdHigh : EqualizeHigh;
  const uint8_t lo = uint8_t(std::clamp(std::trunc(ruler->GetGripPosition(0)), 0.0, 255.0));
  const uint8_t hi = uint8_t(std::clamp(std::trunc(ruler->GetGripPosition(1)), 0.0, 255.0));
  const bool gray = CheckListBox1->item(3)->checkState() == Qt::Checked;
  auto selected = [&](int i) { return gray || CheckListBox1->item(i)->checkState() == Qt::Checked; };
  if (selected(0)) low.r = lo, high.r = hi;
  if (selected(1)) low.g = lo, high.g = hi;
  if (selected(2)) low.b = lo, high.b = hi;
  if (Locked()) RerunPreview();
}

// ---- FFT

uint8_t TfPreviews::FrequencyMode() const {
  return CheckBox1->isChecked() ? TVLFtImage::kModeGray : TVLFtImage::kModeColour;
}

void TfPreviews::ApplyFft(TVelora* target) {
  if (!FrequencyImage_ || FrequencyImage_->Mode == TVLFtImage::kModeEmpty) return;
  int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  const bool selected = VeloraView1->HasSelection();
  if (selected) VeloraView1->SelectionRect(x1, y1, x2, y2);
  if (target == Velora2) {
    // The stored transform keeps every coefficient; the clearing works on a copy.
    TVLFtImage cleared;
    cleared.AssignFrom(*FrequencyImage_);
    if (selected) cleared.ClearRegion(x1, y1, x2, y2);
    VeloraProc2.WriteFtSpectrum(cleared);
    VeloraView1->Fit();
    target->WriteFtInverse(cleared);
  } else {
    const int n0 = FrequencyImage_->Size;
    FrequencyImage_->BuildFromBitmap(target->Bitmap(), FrequencyMode());
    const int n = FrequencyImage_->Size;
    if (selected && n0 > 0 && n > 0) {
      const double scale = double(n) / n0;
      // Limited before the conversion; ClearRegion cuts what lies past the square.
      auto scaled = [&](int v) { return int(std::clamp(std::trunc(v * scale), 0.0, double(n))); };
      FrequencyImage_->ClearRegion(scaled(x1), scaled(y1), scaled(x2), scaled(y2));
    }
    VeloraView1->Deselect();
    target->WriteFtInverse(*FrequencyImage_);
    SourceChanged();
  }
  ProgressBar1->setValue(0);
}

}  // namespace velora
