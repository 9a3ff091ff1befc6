#include "tessel_application.h"

#include <QMessageBox>
#include <exception>

#include "viewer_texts.h"

std::function<void(const std::string&)> TesselApplication::ShowException = [](const std::string& message) {
  QMessageBox::critical(QApplication::activeWindow(), QString::fromUtf8(velora::kViewerTitle),
                        QString::fromStdString(message));
};

TesselApplication::TesselApplication(int& argc, char** argv) : QApplication(argc, argv) {
  // No display name: Qt would append it to every window title, and the window system must
  // show the designed captions exactly.
  setApplicationName(QString::fromUtf8(velora::kViewerTitle));
}

bool TesselApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    ShowException(e.what());
  } catch (...) {
    ShowException("Unknown error");
  }
  return false;
}
