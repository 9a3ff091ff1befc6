// The effects' pages of the preview dialog — user filter, bump map, lens, wave, morphological
// filters and rotation: their controls, neutral values, change rules and what each applies.
#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QToolButton>
#include <QLocale>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "previews_form.h"
#include "proc/filters.h"
#include "word_table.h"

namespace velora {

namespace {

QSpinBox* SpinBox(int minimum, int maximum, int value, int step = 1) {
  auto* box = new QSpinBox;
  box->setRange(minimum, maximum);
  box->setSingleStep(step);
  box->setValue(value);
  box->setMinimumWidth(70);
  return box;
}

// A group box holding labelled boxes, one per row.
QGroupBox* LabelledGroup(const std::vector<std::pair<QLabel**, QWidget*>>& rows) {
  auto* group = new QGroupBox;
  auto* grid = new QGridLayout(group);
  int r = 0;
  for (const auto& [label, field] : rows) {
    *label = new QLabel;
    grid->addWidget(*label, r, 0);
    grid->addWidget(field, r++, 1);
  }
  grid->setRowStretch(r, 1);
  return group;
}

QWidget* Row(std::initializer_list<QWidget*> widgets) {
  auto* page = new QWidget;
  auto* row = new QHBoxLayout(page);
  for (QWidget* w : widgets) row->addWidget(w, 0, Qt::AlignTop);
  row->addStretch();
  return page;
}

QString Word(int id, TMsgLanguage language) { return QString::fromStdString(LookupWord(id, language)); }

// A typed angle: "," or "." as the separator; what is not a finite number counts as 0.
double AngleOf(const QString& text) {
  QString t = text.trimmed();
  t.replace(',', '.');
  bool ok = false;
  const double v = QLocale::c().toDouble(t, &ok);
  return ok && std::isfinite(v) ? v : 0;
}

// The general decimal format: up to 15 significant digits, no trailing zeros.
QString AngleText(double angle) { return QString::number(angle, 'g', 15); }

int Scaled(int v, double zoom) { return int(std::trunc(v * zoom / 100)); }

}  // namespace

QWidget* TfPreviews::BuildUserFilterPage() {
  GroupBox1 = new QGroupBox;
  auto* grid = new QGridLayout(GroupBox1);
  for (int i = 0; i < 9; ++i) {
    KernelBoxes[size_t(i)] = new TUpDownEdit(-100, 100);
    grid->addWidget(KernelBoxes[size_t(i)], i / 3, i % 3);
  }
  Label15 = new QLabel;
  Edit20 = new TUpDownEdit(-100, 100);
  grid->addWidget(Label15, 3, 0, 1, 2, Qt::AlignRight);
  grid->addWidget(Edit20, 3, 2);
  Button4 = new QPushButton;
  Button5 = new QPushButton;
  for (QPushButton* b : {Button4, Button5}) b->setAutoDefault(false);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(Button4);
  buttons->addWidget(Button5);
  grid->addLayout(buttons, 4, 0, 1, 3);
  GroupBox3 = new QGroupBox;
  auto* presets = new QVBoxLayout(GroupBox3);
  ListBox1 = new QListWidget;
  for (const TVLUserFilterPreset& preset : VLUserFilterPresets()) ListBox1->addItem(preset.Caption);
  ListBox1->setCurrentRow(0);
  ListBox1->setMaximumHeight(150);
  presets->addWidget(ListBox1);
  return Row({GroupBox1, GroupBox3});
}

QWidget* TfPreviews::BuildBumpMapPage() {
  Edit22 = SpinBox(0, 32767, 0);
  Edit23 = SpinBox(0, 32767, 0);
  Edit24 = SpinBox(0, 32767, 0);
  Edit25 = SpinBox(0, 32767, 0);
  GroupBox2 = LabelledGroup({{&Label27, Edit22}, {&Label28, Edit23}, {&Label23, Edit24}, {&Label24, Edit25}});
  HSVBox2 = new THSVBox;
  HSVBox2->setFixedSize(80, 80);
  HSVBox2->SetColorRGB(255, 255, 255);
  Label26 = new QLabel;
  auto* grid = static_cast<QGridLayout*>(GroupBox2->layout());
  grid->addWidget(Label26, 0, 2);
  grid->addWidget(HSVBox2, 1, 2, 3, 1);
  auto* share = new QWidget;
  auto* column = new QVBoxLayout(share);
  Label25 = new QLabel;
  Edit26 = SpinBox(0, 100, 0, 10);
  column->addWidget(Label25);
  column->addWidget(Edit26);
  column->addStretch();
  return Row({GroupBox2, share});
}

QWidget* TfPreviews::BuildLensPage() {
  Edit27 = SpinBox(0, 32767, 0);
  Edit28 = SpinBox(0, 32767, 0);
  Edit29 = SpinBox(0, 32767, 0);
  Edit30 = SpinBox(0, 32767, 0);
  Edit31 = SpinBox(0, 32767, 7);  // refraction 1.7, shown as (refraction − 1) × 10
  GroupBox5 = LabelledGroup(
      {{&Label32, Edit27}, {&Label33, Edit28}, {&Label29, Edit29}, {&Label30, Edit30}, {&Label31, Edit31}});
  return Row({GroupBox5});
}

QWidget* TfPreviews::BuildWavePage() {
  Edit32 = SpinBox(0, 32767, 10);
  Edit33 = SpinBox(0, 32767, 10);
  Edit34 = SpinBox(0, 359, 0);
  GroupBox6 = LabelledGroup({{&Label34, Edit32}, {&Label35, Edit33}, {&Label36, Edit34}});
  CheckBox2 = new QCheckBox;
  static_cast<QGridLayout*>(GroupBox6->layout())->addWidget(CheckBox2, 3, 0, 1, 2);
  return Row({GroupBox6});
}

QWidget* TfPreviews::BuildMorphPage() {
  GroupBox7 = new QGroupBox;
  auto* grid = new QGridLayout(GroupBox7);
  Label37 = new QLabel;
  Label38 = new QLabel;
  ListBox2 = new QListWidget;
  for (int i = 0; i < 4; ++i) new QListWidgetItem(ListBox2);
  ListBox2->setCurrentRow(0);
  ListBox2->setMaximumHeight(90);
  Edit35 = SpinBox(1, 64, 1);
  grid->addWidget(Label37, 0, 0, Qt::AlignTop);
  grid->addWidget(ListBox2, 0, 1);
  grid->addWidget(Label38, 1, 0);
  grid->addWidget(Edit35, 1, 1, Qt::AlignLeft);
  return Row({GroupBox7});
}

QWidget* TfPreviews::BuildRotatePage() {
  auto* page = new QWidget;
  auto* grid = new QGridLayout(page);
  LabelRotate = new QLabel;
  TrackBarRotate = new QSlider(Qt::Horizontal);
  TrackBarRotate->setRange(-18000, 18000);
  TrackBarRotate->setTickPosition(QSlider::TicksBelow);
  TrackBarRotate->setTickInterval(500);
  TrackBarRotate->setMinimumWidth(250);
  EditRotate = new QLineEdit("0");
  EditRotate->setFixedWidth(70);
  LabelFlip = new QLabel;
  SpeedButtonFlipHor = new QToolButton;
  SpeedButtonFlipVer = new QToolButton;
  for (QToolButton* b : {SpeedButtonFlipHor, SpeedButtonFlipVer}) b->setCheckable(true);
  grid->addWidget(LabelRotate, 0, 0);
  grid->addWidget(TrackBarRotate, 0, 1, 1, 3);
  grid->addWidget(EditRotate, 0, 4);
  grid->addWidget(LabelFlip, 1, 0);
  grid->addWidget(SpeedButtonFlipHor, 1, 1);
  grid->addWidget(SpeedButtonFlipVer, 1, 2);
  grid->setColumnStretch(3, 1);
  grid->setRowStretch(2, 1);
  return page;
}

void TfPreviews::SetEffectCaptions(TMsgLanguage language) {
  auto w = [language](int id) { return Word(id, language); };
  auto colon = [&w](int id) { return w(id) + ":"; };
  auto spaced = [&w](int id) { return " " + w(id) + " "; };
  GroupBox1->setTitle(spaced(18));
  GroupBox3->setTitle(spaced(19));
  Label15->setText(w(20));
  Button4->setText(w(21));
  Button5->setText(w(22));
  GroupBox2->setTitle(spaced(28));
  Label27->setText(colon(29));
  Label28->setText(colon(30));
  Label23->setText(colon(31));
  Label24->setText(colon(32));
  Label26->setText(colon(33));
  Label25->setText(w(34) + " (%):");
  GroupBox5->setTitle(spaced(35));
  Label32->setText(colon(29));
  Label33->setText(colon(30));
  Label29->setText(colon(31));
  Label30->setText(colon(32));
  Label31->setText(colon(36));
  GroupBox6->setTitle(w(67));
  Label34->setText(w(68));
  Label35->setText(w(69));
  Label36->setText(w(70));
  CheckBox2->setText(w(71));
  GroupBox7->setTitle(spaced(73));
  Label37->setText(colon(66));
  Label38->setText(colon(74));
  for (int i = 0; i < 4; ++i) ListBox2->item(i)->setText(w(75 + i));
  LabelRotate->setText(colon(79));
  LabelFlip->setText(w(80));
  SpeedButtonFlipHor->setText(w(81));
  SpeedButtonFlipVer->setText(w(82));
  if (OpenDialog1) OpenDialog1->setWindowTitle(w(88));
  if (SaveDialog1) SaveDialog1->setWindowTitle(w(89));
}

// ---- change rules

void TfPreviews::ConnectEffectPages() {
  for (int i = 0; i < 9; ++i)
    connect(KernelBoxes[size_t(i)], &TUpDownEdit::Changed, this, [this, i] {
      if (Ready_) KernelBoxChanged(i);
    });
  connect(Edit20, &TUpDownEdit::Changed, this, [this] {
    if (Ready_) KernelBoxChanged(9);
  });
  // A click on the preset already chosen applies it again, as a keyboard move to another does.
  connect(ListBox1, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
    if (Ready_) PresetChosen(ListBox1->row(item));
  });
  connect(ListBox1, &QListWidget::currentRowChanged, this, [this](int row) {
    if (Ready_) PresetChosen(row);
  });
  connect(Button4, &QPushButton::clicked, this, [this] { LoadUserFilter(); });
  connect(Button5, &QPushButton::clicked, this, [this] { SaveUserFilter(); });

  BumpPage_ = {{Edit22, &BumpArea.Left}, {Edit23, &BumpArea.Top}, {Edit24, &BumpArea.Width},
               {Edit25, &BumpArea.Height}, {Edit26, &BumpShare}};
  LensPage_ = {{Edit27, &LensArea.Left}, {Edit28, &LensArea.Top}, {Edit29, &LensArea.Width},
               {Edit30, &LensArea.Height}, {Edit31, &RefractionBox}};
  WavePage_ = {{Edit32, &WaveAmplitude}, {Edit33, &WaveLength}, {Edit34, &WavePhase}};
  for (const TBoxParam& p : BumpPage_)
    connect(p.box, &QSpinBox::valueChanged, this, [this] {
      if (Ready_) BoxPageChanged(BumpPage_);
    });
  for (const TBoxParam& p : LensPage_)
    connect(p.box, &QSpinBox::valueChanged, this, [this] {
      if (Ready_) LensBoxesChanged();
    });
  for (const TBoxParam& p : WavePage_)
    connect(p.box, &QSpinBox::valueChanged, this, [this] {
      if (Ready_) WaveChanged();
    });
  connect(CheckBox2, &QCheckBox::toggled, this, [this] {
    if (Ready_) WaveChanged();
  });
  HSVBox2->OnChange = [this](TVLObject*) {
    if (!Ready_) return;
    BumpColour = TRGB{HSVBox2->Blue(), HSVBox2->Green(), HSVBox2->Red()};
    if (Locked()) RerunPreview();
  };

  connect(ListBox2, &QListWidget::currentRowChanged, this, [this] {
    if (Ready_) MorphChanged();
  });
  connect(Edit35, &QSpinBox::valueChanged, this, [this] {
    if (Ready_) MorphChanged();
  });

  connect(TrackBarRotate, &QSlider::valueChanged, this, [this] {
    if (Ready_) RotateSliderChanged();
  });
  connect(EditRotate, &QLineEdit::textChanged, this, [this] {
    if (Ready_) RotateEditChanged();
  });
  for (QToolButton* b : {SpeedButtonFlipHor, SpeedButtonFlipVer})
    connect(b, &QToolButton::clicked, this, [this] {
      if (Ready_ && Locked()) RerunPreview();
    });
}

bool TfPreviews::TakeBoxes(TBoxPage& page) {
  const bool differs = std::any_of(page.begin(), page.end(), [](const TBoxParam& p) { return p.box->value() != *p.value; });
  if (differs)
    for (TBoxParam& p : page) *p.value = p.box->value();
  return differs;
}

void TfPreviews::ShowBoxes(const TBoxPage& page) {
  for (const TBoxParam& p : page) {
    const QSignalBlocker quiet(p.box);
    p.box->setValue(*p.value);
  }
}

void TfPreviews::BoxPageChanged(TBoxPage& page) {
  if (TakeBoxes(page) && Locked()) RerunPreview();
}

void TfPreviews::LensBoxesChanged() {
  if (!TakeBoxes(LensPage_)) return;
  Refraction = RefractionBox / 10.0 + 1;
  if (Locked()) RerunPreview();
}

void TfPreviews::WaveChanged() {
  bool differs = TakeBoxes(WavePage_);
  if (CheckBox2->isChecked() != WaveReflective) {
    WaveReflective = CheckBox2->isChecked();
    differs = true;
  }
  if (differs && Locked()) RerunPreview();
}

void TfPreviews::MorphChanged() {
  MorphFilterIndex = std::max(ListBox2->currentRow(), 0);
  MorphSize = std::clamp(Edit35->value(), 1, 64);
  if (Locked()) RerunPreview();
}

// ---- user filter

void TfPreviews::FillKernelBoxes() {
  const bool ready = Ready_;
  Ready_ = false;
  for (int i = 0; i < 9; ++i) KernelBoxes[size_t(i)]->SetValue(UserFilter.Kernel[size_t(i)]);
  Edit20->SetValue(UserFilter.Divisor);
  Ready_ = ready;
}

void TfPreviews::KernelBoxChanged(int index) {
  UserFilter.Divisor = Edit20->Value(1);
  if (index < 9) UserFilter.Kernel[size_t(index)] = KernelBoxes[size_t(index)]->Value(0);
  if (Locked()) RerunPreview();
}

void TfPreviews::PresetChosen(int row) {
  if (row < 0 || row >= kUserFilterPresetCount) return;
  const TVLUserFilter& preset = VLUserFilterPresets()[size_t(row)].Filter;
  // A click on a new row reports the row's change too; the second report has nothing to redo.
  const bool changed = UserFilter != preset;
  UserFilter = preset;
  FillKernelBoxes();
  if (changed && Locked()) RerunPreview();
}

QString TfPreviews::ChooseFilterFile(QFileDialog*& dialog, bool save) {
  if (!dialog) {
    dialog = new QFileDialog(this, Word(save ? 89 : 88, Language_), QString(), "Filter (*.flt)");
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    // Opening wants an existing file; saving a folder that exists.
    dialog->setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  }
  if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return QString();
  return dialog->selectedFiles().front();
}

void TfPreviews::LoadUserFilter() {
  const QString path = ChooseFilterFile(OpenDialog1, false);
  if (path.isEmpty()) return;
  // A file that is not a filter file, or too short to be one, leaves the kernel as it was.
  VLReadUserFilterFile(path.toStdString(), UserFilter);
  FillKernelBoxes();
  if (Locked()) RerunPreview();
}

void TfPreviews::SaveUserFilter() {
  const QString path = ChooseFilterFile(SaveDialog1, true);
  if (!path.isEmpty()) VLWriteUserFilterFile(path.toStdString(), UserFilter);
}

// ---- rotation

void TfPreviews::RotateSliderChanged() {
  const double angle = TrackBarRotate->value() / 100.0;
  if (angle == Angle) return;
  Angle = angle;
  {
    const QSignalBlocker quiet(EditRotate);
    EditRotate->setText(AngleText(angle));
  }
  if (Locked()) RerunPreview();
}

void TfPreviews::RotateEditChanged() {
  // Limited to the slider's range before it becomes a position: a huge number has none, and
  // the slider would otherwise show one angle while another is applied.
  const double typed = AngleOf(EditRotate->text());
  const double angle = std::clamp(typed, -180.0, 180.0);
  if (angle != typed) {
    const QSignalBlocker quiet(EditRotate);
    EditRotate->setText(AngleText(angle));
  }
  if (angle == Angle) return;
  Angle = angle;
  TrackBarRotate->setValue(int(std::trunc(angle * 100)));
}

void TfPreviews::ApplyRotate(TVelora* target) {
  // The component reports through its own event; the caller hears of the final application only.
  if (FinalApply_ && ProgressEvent)
    target->SetOnProgress([this](TVLObject*, int per) { ProgressEvent(ProgressSender, per); });
  if (SpeedButtonFlipHor->isChecked()) target->FlipImage(0);
  if (SpeedButtonFlipVer->isChecked()) target->FlipImage(1);
  if (Angle != 0) target->RotateImage(true, Angle);
  target->SetOnProgress(nullptr);
}

// ---- the Result view's mouse and the preview's mapping

void TfPreviews::PlaceEffectAt(QPointF at) {
  TEffectArea& area = ActiveTag() == TagOf(ppBumpMap) ? BumpArea : LensArea;
  const double zoom = Velora1->Zoom();
  auto toImage = [zoom](double client, int offset, int origin) {
    const double v = std::trunc((client - offset + origin) * 100 / zoom);
    // The boxes hold 0..32767: the centre stays where they can show it.
    return int(std::clamp(v, 0.0, 32767.0));
  };
  area.Left = toImage(at.x(), Velora1->CenterOffsetX(), Velora1->ViewOriginX());
  area.Top = toImage(at.y(), Velora1->CenterOffsetY(), Velora1->ViewOriginY());
  ShowBoxes(ActiveTag() == TagOf(ppBumpMap) ? BumpPage_ : LensPage_);
  if (Locked()) RerunPreview();
}

TfPreviews::TEffectArea TfPreviews::PreviewArea(const TEffectArea& area) const {
  const double zoom = Velora1->Zoom();
  return TEffectArea{int(std::trunc(area.Left * zoom / 100 - Velora1->ViewOriginX())),
                     int(std::trunc(area.Top * zoom / 100 - Velora1->ViewOriginY())), Scaled(area.Width, zoom),
                     Scaled(area.Height, zoom)};
}

// ---- neutral values and application

void TfPreviews::InitEffectPage(int tag) {
  const int w = Velora1->Bitmap().Width(), h = Velora1->Bitmap().Height();
  const TEffectArea centred{w / 2, h / 2, std::max(w, h) / 2, std::max(w, h) / 2};
  switch (tag) {
    case 4:
      UserFilter = TVLUserFilter{};
      ListBox1->setCurrentRow(0);
      FillKernelBoxes();
      break;
    case 7:
      BumpArea = centred;
      BumpColour = TRGB{255, 255, 255};
      BumpShare = 0;
      HSVBox2->SetColorRGB(255, 255, 255);
      ShowBoxes(BumpPage_);
      break;
    case 8:
      LensArea = centred;
      Refraction = 1.7;
      RefractionBox = int(std::round((Refraction - 1) * 10));
      ShowBoxes(LensPage_);
      break;
    case 9:
      WaveAmplitude = WaveLength = 10;
      WavePhase = 0;
      WaveReflective = false;
      ShowBoxes(WavePage_);
      CheckBox2->setChecked(false);
      break;
    case 10:
      MorphFilterIndex = 0;
      MorphSize = 1;
      ListBox2->setCurrentRow(0);
      Edit35->setValue(1);
      break;
    case 11:
      Angle = 0;
      TrackBarRotate->setValue(0);
      EditRotate->setText("0");
      SpeedButtonFlipHor->setChecked(false);
      SpeedButtonFlipVer->setChecked(false);
      break;
    default: break;
  }
}

void TfPreviews::ApplyEffectPage(TVelora* target, int tag, const TVLProgressRecord* progress) {
  TBitmap& bm = target->Bitmap();
  const int w = bm.Width(), h = bm.Height();
  // The preview shows the Source at its zoom and scroll; lengths in the image shrink with it.
  const bool preview = target == Velora2;
  const double zoom = preview ? Velora1->Zoom() : 100;
  switch (tag) {
    case 4: ConvolveUserFilter(bm, UserFilter.Kernel, UserFilter.Divisor, 0, 0, w, h, progress); break;
    case 7: {
      const TEffectArea a = preview ? PreviewArea(BumpArea) : BumpArea;
      BumpMap(bm, a.Left, a.Top, a.Width, a.Height, BumpColour, BumpShare, 0, 0, w, h, progress);
      break;
    }
    case 8: {
      const TEffectArea a = preview ? PreviewArea(LensArea) : LensArea;
      Lens(bm, a.Left, a.Top, a.Width, a.Height, Refraction, progress);
      break;
    }
    case 9:
      Wave(bm, Scaled(WaveAmplitude, zoom), Scaled(WaveLength, zoom), WavePhase, WaveReflective, progress);
      break;
    case 10: MorphFilter(bm, MorphSize, MorphFilterIndex, 0, 0, w, h, progress); break;
    case 11: ApplyRotate(target); break;
    default: break;
  }
}

}  // namespace velora
