// The information panel, docked at the window's right: what the file shown is (format, size,
// depth, resolution, pages, file size), what its camera recorded (EXIF) and the picture's
// histogram. It shows facts the loader's read brought along; it reads nothing itself.
#pragma once
#include <QDockWidget>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "proc/color_adjust.h"

class QFormLayout;
class QLabel;

namespace velora {
class TIOParamsVals;
class THistogramBox;
}  // namespace velora

// What the panel says of one picture beyond its parameter record.
struct TInfoFacts {
  std::string FileName;
  int Width = 0, Height = 0;  // as shown (upright)
  int Page = 0, Pages = 1;    // of a file with pages
  int Frames = 1;             // of an animation
  int64_t FileBytes = -1;
};

// The panel's rows, label and text, in order; rows without a value are left out.
using TInfoRows = std::vector<std::pair<std::string, std::string>>;
TInfoRows FileInfoRows(const velora::TIOParamsVals& params, const TInfoFacts& facts);
TInfoRows ExifInfoRows(const velora::TIOParamsVals& params);

class TInfoPanel : public QDockWidget {
  Q_OBJECT

 public:
  explicit TInfoPanel(QWidget* parent = nullptr);

  // Shows a picture's facts and its histogram (none when histogram is null: a picture that
  // is not 24 bits, or no picture).
  void ShowPicture(const velora::TIOParamsVals& params, const TInfoFacts& facts,
                   std::shared_ptr<const velora::THistogram> histogram);
  void Clear();
  // The text of a row ("Camera"), empty when the panel has no such row.
  QString Field(const QString& label) const;
  const velora::THistogram* Histogram() const { return Histogram_.get(); }
  velora::THistogramBox* HistogramBox() const { return HistogramBox_; }

 private:
  void SetRows(QFormLayout* form, const TInfoRows& rows);

  QFormLayout* FileForm_ = nullptr;
  QFormLayout* ExifForm_ = nullptr;
  QLabel* NoExif_ = nullptr;
  velora::THistogramBox* HistogramBox_ = nullptr;
  std::shared_ptr<const velora::THistogram> Histogram_;
};
