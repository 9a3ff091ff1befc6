// Opens the preview dialog with every page on a sample image, as the viewer's commands open it.
// OK applies the active page and opens the dialog again on the result; Cancel ends.
//   previews_demo [--language N] [--screenshots DIR] [FILE]
// With --screenshots the program saves a grab of each of the twelve pages, and of the Contrast
// and Equalization pages in every language, into DIR and exits.
#include <QApplication>
#include <QDir>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <string>

#include "dialogs/previews_form.h"

using namespace velora;

namespace {

const char* const kLanguageNames[] = {"system",  "english", "italian", "german", "spanish", "french",
                                      "portuguese", "greek", "russian", "dutch", "swedish"};

QString FileName(const QString& dir, const QString& stem) { return QDir(dir).filePath(stem + ".png"); }

QString Slug(QString text) {
  text = text.toLower();
  for (QChar& c : text)
    if (!c.isLetterOrNumber()) c = '-';
  return text;
}

// Saves the dialog showing each visible tab in turn, then closes it.
void GrabPages(TfPreviews& form, const QString& dir, const QString& prefix, bool* ok) {
  for (int i = 0; i < form.PageControl1->count(); ++i) {
    if (!form.PageControl1->isTabVisible(i)) continue;
    form.PageControl1->setCurrentIndex(i);
    QApplication::processEvents();
    const QString name =
        FileName(dir, prefix + QString("%1-").arg(i + 1, 2, 10, QChar('0')) + Slug(form.PageControl1->tabText(i)));
    if (!form.grab().save(name)) *ok = false;
    std::printf("%s\n", name.toLocal8Bit().constData());
  }
  form.reject();
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  std::string file = "samples/fractal-seahorse-valley.jpg";
  QString shots;
  TMsgLanguage language = msEnglish;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--screenshots") && i + 1 < argc) {
      shots = argv[++i];
    } else if (!std::strcmp(argv[i], "--language") && i + 1 < argc) {
      language = TMsgLanguage(std::atoi(argv[++i]));
    } else {
      file = argv[i];
    }
  }
  InstallPreviewsDialog();
  TVelora view;
  view.resize(640, 480);
  view.SetCenter(true);
  view.LoadFromFile(file);
  if (view.IO().Aborting || view.Bitmap().BitCount() != 24) {
    std::fprintf(stderr, "previews_demo: %s: no 24-bit picture (%s)\n", file.c_str(), view.IO().AbortReason.c_str());
    return 1;
  }
  view.show();
  view.Fit();
  TVeloraProc& proc = view.Proc();
  proc.PreviewsParams = 1u << prppDefaultLockPreview;
  if (shots.isEmpty()) {
    proc.MsgLanguage = language;
    while (proc.ShowPreviews(1)) view.Fit();
    return 0;
  }
  QDir().mkpath(shots);
  bool ok = true;
  QString prefix = "page-";
  proc.OnPreview = [&](TVLObject*, TVLObject* form) {
    auto* f = dynamic_cast<TfPreviews*>(form);
    QTimer::singleShot(0, f, [f, &shots, &prefix, &ok] { GrabPages(*f, shots, prefix, &ok); });
  };
  proc.MsgLanguage = msEnglish;
  proc.ShowPreviews(1);
  for (int lang = msEnglish; lang <= msSwedish; ++lang) {
    proc.MsgLanguage = TMsgLanguage(lang);
    prefix = QString("lang-%1-").arg(kLanguageNames[lang]);
    proc.ShowPreviews(PreviewPageSet({ppContrast, ppEqualization}));
  }
  return ok ? 0 : 1;
}
