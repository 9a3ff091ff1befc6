#include "up_down_edit.h"

#include <QLineEdit>
#include <algorithm>

namespace velora {

TUpDownEdit::TUpDownEdit(int minimum, int maximum, QWidget* parent)
    : QAbstractSpinBox(parent), Minimum_(minimum), Maximum_(maximum) {
  lineEdit()->setText("0");
  connect(lineEdit(), &QLineEdit::textChanged, this, [this] { emit Changed(); });
}

int TUpDownEdit::Value(int fallback) const {
  bool ok = false;
  const int v = text().trimmed().toInt(&ok);
  return ok ? v : fallback;
}

void TUpDownEdit::SetValue(int value) { lineEdit()->setText(QString::number(value)); }

void TUpDownEdit::stepBy(int steps) {
  const int64_t next = int64_t(Value(0)) + steps;
  SetValue(int(std::clamp<int64_t>(next, Minimum_, Maximum_)));
  selectAll();
}

// Whatever is typed stays; what is not an integer counts as the reader's default.
QValidator::State TUpDownEdit::validate(QString&, int&) const { return QValidator::Acceptable; }

QSize TUpDownEdit::sizeHint() const {
  // As wide as a spin box holding the range's longest number.
  const QString longest = QString::number(std::abs(Minimum_) > std::abs(Maximum_) ? Minimum_ : Maximum_);
  QSize hint = QAbstractSpinBox::sizeHint();
  hint.setWidth(std::max(hint.width(), fontMetrics().horizontalAdvance(longest + "0") + 30));
  return hint;
}

QAbstractSpinBox::StepEnabled TUpDownEdit::stepEnabled() const {
  const int v = Value(0);
  StepEnabled enabled = StepNone;
  if (v < Maximum_) enabled |= StepUpEnabled;
  if (v > Minimum_) enabled |= StepDownEnabled;
  return enabled;
}

}  // namespace velora
