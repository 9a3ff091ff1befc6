// TUpDownEdit: an edit box with an up-down whose arrows step within a range while the text may
// hold any number. A filter file can bring weights far outside what the arrows reach, and the
// box must show them as they are, not as a spin box would bend them.
#pragma once
#include <QAbstractSpinBox>

namespace velora {

class TUpDownEdit : public QAbstractSpinBox {
  Q_OBJECT

 public:
  TUpDownEdit(int minimum, int maximum, QWidget* parent = nullptr);

  // The integer the box shows, `fallback` when its text is not one.
  int Value(int fallback) const;
  // Shows `value` as it is, also beyond the arrows' range.
  void SetValue(int value);
  int Minimum() const { return Minimum_; }
  int Maximum() const { return Maximum_; }

  // An arrow, a key or the wheel: from the number shown, limited to the range.
  void stepBy(int steps) override;
  QValidator::State validate(QString& input, int& pos) const override;
  QSize sizeHint() const override;

 signals:
  // The text changed, typed or set.
  void Changed();

 protected:
  StepEnabled stepEnabled() const override;

 private:
  int Minimum_, Maximum_;
};

}  // namespace velora
