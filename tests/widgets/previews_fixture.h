// What the preview dialog's tests share: a view with a gradient whose processing component
// opens the dialog through the installed launcher, and a way to act on the form inside the
// modal loop.
#pragma once
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dialogs/previews_form.h"
#include "view/qt/preview_launcher.h"

namespace velora::test {

inline TRGB Pixel(const TBitmap& b, int x, int y) { return reinterpret_cast<const TRGB*>(b.ScanLine(y))[x]; }

inline std::vector<uint8_t> Pixels(const TBitmap& b) { return {b.Bits(), b.Bits() + b.ImageSize()}; }

// A gradient, so that every operation has something to change.
inline void FillGradient(TBitmap& b, int w, int h) {
  b.Reset(w, h, TPixelFormat::pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      reinterpret_cast<TRGB*>(b.ScanLine(y))[x] = TRGB{uint8_t(40 + y * 3), uint8_t(x * 2), uint8_t(200 - x)};
}

struct TDialogFixture {
  std::unique_ptr<TVeloraView> view = std::make_unique<TVeloraView>();
  TDialogFixture(int w = 60, int h = 40) {
    InstallPreviewsDialog();
    FillGradient(view->Bitmap(), w, h);
    view->resize(200, 150);
    view->show();
    view->Update();
    QApplication::processEvents();
  }
  ~TDialogFixture() { InstallPreviewLauncher(nullptr); }
  TVeloraProc& proc() { return view->GetProc(); }

  // Opens the dialog on `pages` and runs `script` on it once it is shown; a script that
  // leaves it open is answered with Cancel, so that a failing test cannot hang.
  bool Run(TPreviewPageSet pages, const std::function<void(TfPreviews&)>& script) {
    proc().OnPreview = [script](TVLObject*, TVLObject* form) {
      auto* f = dynamic_cast<TfPreviews*>(form);
      ASSERT_NE(f, nullptr);
      QTimer::singleShot(0, f, [f, script] {
        script(*f);
        if (f->isVisible()) f->reject();
      });
    };
    return proc().ShowPreviews(pages);
  }
};

inline std::vector<std::string> VisibleTabs(const TfPreviews& f) {
  std::vector<std::string> tabs;
  for (int i = 0; i < f.PageControl1->count(); ++i)
    if (f.PageControl1->isTabVisible(i)) tabs.push_back(f.PageControl1->tabText(i).toStdString());
  return tabs;
}

// Replaces the text of a box by typing, as a user does.
template <class TBox>
void Type(TBox* box, const QString& text) {
  box->selectAll();
  QTest::keyClicks(box, text);
}

}  // namespace velora::test
