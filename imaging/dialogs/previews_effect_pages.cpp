// The effects' pages of the preview dialog — user filter, bump map, lens, wave, morphological
// filters and rotation — with their controls, ranges, designed values and captions. They apply
// nothing yet: their routines come with the filters and effects.
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

#include "previews_form.h"
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

}  // namespace

QWidget* TfPreviews::BuildUserFilterPage() {
  GroupBox1 = new QGroupBox;
  auto* grid = new QGridLayout(GroupBox1);
  for (int i = 0; i < 9; ++i) {
    KernelBoxes[size_t(i)] = SpinBox(-100, 100, i == 4 ? 1 : 0);
    grid->addWidget(KernelBoxes[size_t(i)], i / 3, i % 3);
  }
  Label15 = new QLabel;
  Edit20 = SpinBox(-100, 100, 0);
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
  ListBox1->addItems({"None", "Blur", "Edges", "Emboss", "High Pass 1", "High Pass 2", "High Pass 3", "Low Pass 1",
                      "Low Pass 2"});
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
}

}  // namespace velora
