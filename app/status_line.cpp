#include "status_line.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <cmath>

TStatusLine::TStatusLine(QWidget* parent) : QWidget(parent) {
  Row_ = new QHBoxLayout(this);
  Row_->setContentsMargins(2, 0, 2, 0);
  Row_->setSpacing(12);
  FileName_ = AddPiece("StatusFileName");
  Position_ = AddPiece("StatusPosition");
  Size_ = AddPiece("StatusSize");
  FileSize_ = AddPiece("StatusFileSize");
  Zoom_ = AddPiece("StatusZoom");
  Page_ = AddPiece("StatusPage");
  Failure_ = AddPiece("StatusFailure");
  Row_->addStretch(1);
  NotShown_ = AddPiece("StatusNotShown");
  // Looks like what it is: something to click.
  NotShown_->setCursor(Qt::PointingHandCursor);
  NotShown_->setStyleSheet("QLabel { color: palette(link); text-decoration: underline; }");
  NotShown_->setToolTip("Which files are not shown, and why");
  NotShown_->installEventFilter(this);
}

QLabel* TStatusLine::AddPiece(const char* name) {
  auto* label = new QLabel(this);
  label->setObjectName(name);
  label->hide();
  Row_->addWidget(label);
  return label;
}

void TStatusLine::Set(QLabel* piece, const QString& text) {
  if (piece->text() == text) return;
  piece->setText(text);
  piece->setVisible(!text.isEmpty());
  emit Changed(Text());
}

void TStatusLine::SetFileName(const QString& name) { Set(FileName_, name); }

void TStatusLine::SetPosition(int index, int count) {
  Set(Position_, index >= 0 && count > 0 ? QString("%1 / %2").arg(index + 1).arg(count) : QString());
}

void TStatusLine::SetImageSize(int width, int height, int bitsPerPixel) {
  Set(Size_, width > 0 ? QString("%1 x %2, %3 bits").arg(width).arg(height).arg(bitsPerPixel) : QString());
}

void TStatusLine::SetFileSize(int64_t bytes) { Set(FileSize_, bytes >= 0 ? FileSizeText(bytes) : QString()); }

void TStatusLine::SetZoom(double percent) {
  Set(Zoom_, percent > 0 ? QString("%1 %").arg(std::lround(percent)) : QString());
}

void TStatusLine::SetPageText(const QString& text) { Set(Page_, text); }

void TStatusLine::SetFailure(const QString& reason) { Set(Failure_, reason); }

void TStatusLine::SetNotShown(int count) {
  Set(NotShown_, count <= 0 ? QString() : count == 1 ? QString("1 file not shown") : QString("%1 files not shown").arg(count));
}

void TStatusLine::ClearPicture() {
  for (QLabel* piece : {FileName_, Position_, Size_, FileSize_, Zoom_, Page_, Failure_}) Set(piece, {});
}

QString TStatusLine::Text() const {
  QStringList pieces;
  for (QLabel* piece : {FileName_, Position_, Size_, FileSize_, Zoom_, Page_, Failure_, NotShown_})
    if (!piece->text().isEmpty()) pieces << piece->text();
  return pieces.join("  |  ");
}

QString TStatusLine::FileSizeText(int64_t bytes) {
  if (bytes < 1024) return QString("%1 bytes").arg(bytes);
  if (bytes < 1024 * 1024) return QString("%1 KB").arg(std::lround(bytes / 1024.0));
  return QString("%1 MB").arg(bytes / (1024.0 * 1024.0), 0, 'f', 1);
}

bool TStatusLine::eventFilter(QObject* watched, QEvent* event) {
  if (watched == NotShown_ && event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    emit NotShownClicked();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}
