// The viewer's status line: what is shown, said plainly. One setter per piece: the file's
// name, its place in the list ("12 / 295"), its size and depth, the file's size on disk, the
// zoom, the page (set by whoever pages the file), and the reason a read failed; and, where
// the folder holds files that are not listed, "5 files not shown", which lists them when
// clicked. Empty pieces take no room.
#pragma once
#include <QLabel>
#include <QString>
#include <QWidget>
#include <cstdint>

class QHBoxLayout;

class TStatusLine : public QWidget {
  Q_OBJECT

 public:
  explicit TStatusLine(QWidget* parent = nullptr);

  void SetFileName(const QString& name);
  // 0-based index among count entries; index < 0 clears it.
  void SetPosition(int index, int count);
  // Width × height and bits per pixel ("6000 x 4000, 24 bits"); width 0 clears it.
  void SetImageSize(int width, int height, int bitsPerPixel);
  // Bytes on disk; negative clears it.
  void SetFileSize(int64_t bytes);
  // Percent; 0 clears it.
  void SetZoom(double percent);
  void SetPageText(const QString& text);
  void SetFailure(const QString& reason);
  void SetNotShown(int count);
  // Clears everything about the picture (not the count of files not shown).
  void ClearPicture();

  // The whole line as it reads, pieces separated by "  |  ".
  QString Text() const;
  QString Failure() const { return Failure_->text(); }
  QLabel* NotShownLabel() const { return NotShown_; }

  // "1.2 MB", "340 KB", "12 bytes".
  static QString FileSizeText(int64_t bytes);

 signals:
  // The user clicked the count of files not shown.
  void NotShownClicked();
  // The line reads differently now.
  void Changed(const QString& text);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QLabel* AddPiece(const char* name);
  void Set(QLabel* piece, const QString& text);

  QHBoxLayout* Row_ = nullptr;
  QLabel* FileName_ = nullptr;
  QLabel* Position_ = nullptr;
  QLabel* Size_ = nullptr;
  QLabel* FileSize_ = nullptr;
  QLabel* Zoom_ = nullptr;
  QLabel* Page_ = nullptr;
  QLabel* Failure_ = nullptr;
  QLabel* NotShown_ = nullptr;
};
