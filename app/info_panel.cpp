#include "info_panel.h"

#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <cmath>
#include <cstdio>

#include "dialogs/histogram_box.h"
#include "io/format_descriptor.h"
#include "io/io_params.h"

using namespace velora;

namespace {

std::string Format(const char* pattern, double a, double b = 0) {
  char text[64];
  std::snprintf(text, sizeof text, pattern, a, b);
  return text;
}

// 1 234 567 bytes as "1.2 MB".
std::string FileSizeText(int64_t bytes) {
  if (bytes < 0) return {};
  if (bytes < 1024) return std::to_string(bytes) + " bytes";
  if (bytes < 1024 * 1024) return Format("%.1f KB", bytes / 1024.0);
  return Format("%.1f MB", bytes / (1024.0 * 1024.0));
}

// 0.004 s as "1/250 s", as cameras show it; a second and longer as they are.
std::string ExposureText(double seconds) {
  if (seconds <= 0) return {};
  if (seconds < 1) return "1/" + std::to_string(int(std::lround(1 / seconds))) + " s";
  return Format("%g s", seconds);
}

// The EXIF orientations by what they do to the stored picture.
std::string OrientationText(int orientation) {
  static const char* const kNames[] = {"",
                                       "normal",
                                       "mirrored",
                                       "upside down",
                                       "mirrored upside down",
                                       "on its side, mirrored",
                                       "on its side (turned clockwise to show)",
                                       "on its side, mirrored the other way",
                                       "on its side (turned counter-clockwise to show)"};
  if (orientation < 1 || orientation > 8) return {};
  return std::to_string(orientation) + ", " + kNames[orientation];
}

// "2024:05:17 14:30:00", as EXIF writes dates, as "2024-05-17 14:30:00".
std::string DateText(std::string date) {
  if (date.size() >= 10 && date[4] == ':' && date[7] == ':') date[4] = date[7] = '-';
  return date;
}

std::string Joined(const std::string& a, const std::string& b) {
  if (a.empty() || b.rfind(a, 0) == 0) return b;  // models often repeat the maker's name
  return b.empty() ? a : a + " " + b;
}

}  // namespace

TInfoRows FileInfoRows(const TIOParamsVals& p, const TInfoFacts& facts) {
  TInfoRows rows;
  const size_t slash = facts.FileName.find_last_of('/');
  rows.emplace_back("File", slash == std::string::npos ? facts.FileName : facts.FileName.substr(slash + 1));
  const TVLFormatDescriptor* format = VLFindBuiltinFormat(p.FileType);
  rows.emplace_back("Format", format ? format->Name : "");
  if (facts.Width > 0) rows.emplace_back("Size", std::to_string(facts.Width) + " x " + std::to_string(facts.Height) + " pixels");
  std::string depth = std::to_string(int64_t(p.BitsPerSample) * p.SamplesPerPixel) + " bits";
  if (p.ColorMapCount() > 0) depth += " (palette of " + std::to_string(p.ColorMapCount()) + ")";
  rows.emplace_back("Depth", depth);
  if (p.DpiX > 0 && p.DpiY > 0) rows.emplace_back("Resolution", std::to_string(p.DpiX) + " x " + std::to_string(p.DpiY) + " dpi");
  rows.emplace_back("Pages", facts.Pages > 1 ? std::to_string(facts.Page + 1) + " of " + std::to_string(facts.Pages) : "1");
  if (facts.Frames > 1) rows.emplace_back("Frames", std::to_string(facts.Frames));
  rows.emplace_back("File size", FileSizeText(facts.FileBytes));
  std::erase_if(rows, [](const auto& row) { return row.second.empty(); });
  return rows;
}

TInfoRows ExifInfoRows(const TIOParamsVals& p) {
  TInfoRows rows;
  rows.emplace_back("Camera", Joined(p.ExifMake, p.ExifModel));
  rows.emplace_back("Date taken", DateText(!p.ExifDateTimeOriginal.empty() ? p.ExifDateTimeOriginal : p.ExifDateTime));
  std::string exposure = ExposureText(p.ExifExposureTime);
  if (p.ExifFNumber > 0) exposure += (exposure.empty() ? "" : ", ") + Format("f/%.1f", p.ExifFNumber);
  rows.emplace_back("Exposure", exposure);
  rows.emplace_back("ISO", p.ExifISOSpeedRatings[0] > 0 ? std::to_string(p.ExifISOSpeedRatings[0]) : "");
  rows.emplace_back("Focal length", p.ExifFocalLength > 0 ? Format("%g mm", p.ExifFocalLength) : "");
  rows.emplace_back("Orientation", OrientationText(p.ExifOrientation));
  rows.emplace_back("Software", p.ExifSoftware);
  std::erase_if(rows, [](const auto& row) { return row.second.empty(); });
  return rows;
}

TInfoPanel::TInfoPanel(QWidget* parent) : QDockWidget("Information", parent) {
  setObjectName("InfoPanel");
  setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
  auto* body = new QWidget;
  auto* column = new QVBoxLayout(body);
  FileForm_ = new QFormLayout;
  ExifForm_ = new QFormLayout;
  column->addLayout(FileForm_);
  auto* exifTitle = new QLabel("<b>EXIF</b>");
  column->addWidget(exifTitle);
  NoExif_ = new QLabel("none");
  column->addWidget(NoExif_);
  column->addLayout(ExifForm_);
  column->addWidget(new QLabel("<b>Histogram</b>"));
  HistogramBox_ = new THistogramBox;
  HistogramBox_->setObjectName("InfoHistogram");
  // At least a column per level beside the scale's labels: a narrower box draws only some
  // of the levels, and a picture of a few flat colours could lose its grey line.
  HistogramBox_->setFixedSize(320, 130);
  HistogramBox_->SetHistogramKind(hkRed | hkGreen | hkBlue | hkGray);
  HistogramBox_->SetHistogramStyle(hsLines);
  column->addWidget(HistogramBox_);
  column->addStretch(1);
  setWidget(body);
  setMinimumWidth(340);
}

void TInfoPanel::SetRows(QFormLayout* form, const TInfoRows& rows) {
  while (form->rowCount() > 0) form->removeRow(0);
  for (const auto& [label, text] : rows) {
    auto* value = new QLabel(QString::fromStdString(text));
    value->setObjectName(QString::fromStdString(label));
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    value->setWordWrap(true);
    form->addRow(QString::fromStdString(label) + ":", value);
  }
}

void TInfoPanel::ShowPicture(const TIOParamsVals& params, const TInfoFacts& facts,
                             std::shared_ptr<const THistogram> histogram) {
  SetRows(FileForm_, FileInfoRows(params, facts));
  const TInfoRows exif = ExifInfoRows(params);
  SetRows(ExifForm_, exif);
  NoExif_->setVisible(exif.empty());
  Histogram_ = std::move(histogram);
  HistogramBox_->SetHistogram(Histogram_.get());
}

void TInfoPanel::Clear() {
  SetRows(FileForm_, {});
  SetRows(ExifForm_, {});
  NoExif_->setVisible(true);
  Histogram_ = nullptr;
  HistogramBox_->SetHistogram(nullptr);
}

QString TInfoPanel::Field(const QString& label) const {
  for (QFormLayout* form : {FileForm_, ExifForm_})
    for (int r = 0; r < form->rowCount(); ++r) {
      auto* value = qobject_cast<QLabel*>(form->itemAt(r, QFormLayout::FieldRole)->widget());
      if (value && value->objectName() == label) return value->text();
    }
  return {};
}
