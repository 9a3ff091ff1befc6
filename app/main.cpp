// TesselImageViewer <Folder> <FileMask>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>
#include <cstdlib>

#include "image_viewer_form.h"
#include "viewer_texts.h"
#include "io/io_params.h"
#include "tessel_application.h"

int main(int argc, char** argv) {
  TesselApplication app(argc, argv);
  if (argc < 3) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(velora::kViewerTitle),
                    QString::fromUtf8(velora::kViewerUsageText), QMessageBox::Ok);
    if (const char* shot = std::getenv("TESSEL_SCREENSHOT")) {
      // Without anyone to press OK: capture the message and close it.
      QString path = QString::fromLocal8Bit(shot);
      QTimer::singleShot(500, &box, [&box, path] {
        box.grab().save(path);
        box.accept();
      });
    }
    box.exec();
    return 0;
  }
  if (QScreen* screen = QGuiApplication::primaryScreen())
    velora::SetDefaultDpi(int(screen->logicalDotsPerInchX()), int(screen->logicalDotsPerInchY()));

  TfrmImageViewer form(argv[1], argv[2]);
  ShowViewerWindow(form);

  // TESSEL_SCREENSHOT=FILE: once the folder is scanned and painted, save what the screen
  // shows of the window and quit (./run.sh uses it on a virtual display).
  if (const char* shot = std::getenv("TESSEL_SCREENSHOT")) {
    QString path = QString::fromLocal8Bit(shot);
    QTimer::singleShot(2500, &form, [&form, path] {
      QScreen* screen = form.screen();
      QPixmap pixmap = screen ? screen->grabWindow(0) : form.grab();
      pixmap.save(path);
      QApplication::quit();
    });
  }
  return app.exec();
}
