// The dialog's painted controls draw into a private 32-bit buffer the size of the control:
// a change of value redraws the buffer, a repaint only copies it to the screen.
#pragma once
#include <QImage>
#include <QPainter>
#include <QWidget>
#include <algorithm>

namespace velora {

class TBufferedBox : public QWidget {
 public:
  using QWidget::QWidget;
  const QImage& Buffer() const { return Buffer_; }

 protected:
  // Called with a fresh buffer of the new size, whose content is undefined.
  virtual void BufferResized() = 0;

  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.drawImage(0, 0, Buffer_);
  }
  void resizeEvent(QResizeEvent*) override {
    Buffer_ = QImage(std::max(1, width()), std::max(1, height()), QImage::Format_RGB32);
    BufferResized();
  }

  QImage Buffer_;
};

}  // namespace velora
