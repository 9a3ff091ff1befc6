// The viewer's window end to end, offscreen: the caption, the scanned column, the first image
// loaded and fitted, keys moving the selection (coalesced while held), the preview of a large
// photo and the whole picture after it, pictures read ahead, the folder watched, the zoom and
// reload commands, the zoom filters, drag-scrolling, the margins after a PNG, fitting that
// follows the window, the restored geometry, unreadable files, the usage message, and the two
// processing commands.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QScrollBar>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "widgets/test_gate.h"
#include "codecs/formats.h"
#include "codecs/gif/gif_codec.h"
#include "codecs/jpeg/oriented_photo.h"
#include "dialogs/previews_form.h"
#include "image_viewer_form.h"
#include "io/folder_scan.h"
#include "viewer_texts.h"
#include "io/velora_io.h"
#include "mview/thumbnail_cache.h"
#include "mview/velora_mview.h"
#include "tessel_application.h"
#include "view/qt/velora_view.h"

using namespace velora;
namespace fs = std::filesystem;

namespace {

void WriteImage(const std::string& path, int w, int h, TRGB colour) {
  TBitmap b;
  b.Reset(w, h, TPixelFormat::pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) reinterpret_cast<TRGB*>(b.ScanLine(y))[x] = colour;
  TVeloraIO io;
  io.AttachBitmap(&b);
  io.Params().JpegQuality = 90;
  io.SaveToFile(path);
  ASSERT_FALSE(io.Aborting) << path;
}

// A folder with two JPEGs, a PNG, a text file and a subfolder.
struct Fixture {
  std::string dir;
  Fixture() {
    // One folder per test: ctest runs the tests of this file side by side.
    dir = ::testing::TempDir() + "tessel_viewer_" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(dir);
    fs::create_directories(dir + "/sub");
    WriteImage(dir + "/a-photo.jpg", 800, 600, TRGB{40, 80, 160});
    WriteImage(dir + "/b-wide.png", 1200, 300, TRGB{0, 200, 0});
    WriteImage(dir + "/c-small.jpg", 64, 48, TRGB{200, 50, 50});
    std::ofstream(dir + "/notes.txt") << "not an image\n";
  }
  ~Fixture() { fs::remove_all(dir); }
};

struct Window {
  TfrmImageViewer form;
  explicit Window(const std::string& dir) : form(dir, "*.*") {
    form.resize(700, 500);
    form.show();
    form.FormActivate();
    Settle();
  }
  TVeloraView& view() { return *form.VeloraView1; }
  TVeloraMView& mview() { return *form.VeloraMView1; }
  // Lets the loop take everything the loader's workers read.
  void Settle() {
    EXPECT_TRUE(QTest::qWaitFor([this] { return !form.Busy(); }, 60000));
  }
  void Key(Qt::Key key) {
    mview().setFocus();
    QTest::keyClick(&mview(), key);
    Settle();
  }
};

// Runs `script` on the modal dialog that the next command opens; a script that leaves it open
// is answered with Cancel.
void OnDialog(std::function<void(TfPreviews&)> script) {
  QTimer::singleShot(0, [script] {
    auto* dialog = qobject_cast<TfPreviews*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    script(*dialog);
    if (dialog->isVisible()) dialog->reject();
  });
}

// A key press as the window system sends it while the key is held down.
void SendKey(QWidget* w, QEvent::Type type, Qt::Key key, bool autoRepeat) {
  QKeyEvent e(type, key, Qt::NoModifier, QString(), autoRepeat);
  QApplication::sendEvent(w, &e);
}

}  // namespace

TEST(Viewer, ScansTheFolderAndShowsTheFirstImageFitted) {
  Fixture fx;
  Window w(fx.dir);
  EXPECT_EQ(w.form.windowTitle().toStdString(), "Tessel Image Viewer [" + fx.dir + "/*.*]");
  ASSERT_EQ(w.mview().ImageCount(), 3);  // the text file and the subfolder are left out
  EXPECT_EQ(w.mview().ImageTopText(0)->Caption(), "1");
  EXPECT_EQ(w.mview().ImageBottomText(0)->Caption(), "a-photo.jpg");
  EXPECT_EQ(w.mview().ImageInfoText(0)->Caption(), "800x600x24b");
  EXPECT_EQ(w.mview().ImageBottomText(0)->Background, TColor(15724496));
  EXPECT_EQ(w.mview().ImageTopText(2)->Caption(), "3");
  EXPECT_EQ(w.mview().SelectedImage(), 0);
  EXPECT_EQ(w.form.CurrentIndex(), 0);
  ASSERT_NE(w.view().GetBitmap(), nullptr);
  EXPECT_EQ(w.view().GetBitmap()->Width(), 800);
  EXPECT_LT(w.view().Zoom(), 100);  // fitted into a window smaller than the picture
  EXPECT_TRUE(w.form.Activated());
  w.form.FormActivate();  // a second activation scans nothing again
  EXPECT_EQ(w.mview().ImageCount(), 3);
}

// A photo taken on its side: the caption, the column and the view all have it upright.
TEST(Viewer, PhotosOnTheirSideAreShownUpright) {
  Fixture fx;
  orienttest::WritePhoto(fx.dir + "/0-side.jpg", 6, 128, 64);
  Window w(fx.dir);
  ASSERT_EQ(w.mview().ImageBottomText(0)->Caption(), "0-side.jpg");
  EXPECT_EQ(w.mview().ImageInfoText(0)->Caption(), "64x128x24b");
  const TBitmap* shown = w.view().GetBitmap();
  ASSERT_NE(shown, nullptr);
  ASSERT_EQ(shown->Width(), 64);
  ASSERT_EQ(shown->Height(), 128);
  EXPECT_GT(shown->ScanLine(8)[3 * 56], 200) << "the stored top-left block stands at the top right";
  TBitmap* thumb = w.mview().GetImageBitmap(0);
  ASSERT_NE(thumb, nullptr);
  EXPECT_LT(thumb->Width(), thumb->Height());
  w.mview().ReleaseBitmap(thumb);
}

TEST(Viewer, ArrowKeysSelectAndLoad) {
  Fixture fx;
  Window w(fx.dir);
  w.Key(Qt::Key_Down);
  EXPECT_EQ(w.form.CurrentIndex(), 1);
  EXPECT_EQ(w.view().GetBitmap()->Width(), 1200);
  w.Key(Qt::Key_Down);
  EXPECT_EQ(w.view().GetBitmap()->Width(), 64);
  double fitted = w.view().Zoom();
  w.view().SetZoom(300);
  w.Key(Qt::Key_Down);  // the last entry stays selected, and fits again
  EXPECT_EQ(w.form.CurrentIndex(), 2);
  EXPECT_DOUBLE_EQ(w.view().Zoom(), fitted);
}

// Counts the pictures read into the view: a new selection empties the view at once, and a
// read fills it again (a PNG's read tells the view twice, for its background and its pixels).
struct LoadCounter {
  int loads = 0;
  bool wasEmpty;
  explicit LoadCounter(TVeloraView& v) : wasEmpty(v.GetBitmap()->Empty()) {
    v.OnImageChange = [this, &v](TVLObject*) {
      const bool empty = v.GetBitmap()->Empty();
      if (wasEmpty && !empty) ++loads;
      wasEmpty = empty;
    };
  }
};

TEST(Viewer, SelectionsMadeBeforeTheLoopRunsLoadOnlyTheLast) {
  Fixture fx;
  Window w(fx.dir);
  LoadCounter count(w.view());
  w.mview().setFocus();
  // Two quick presses queued behind a load: the first selection's picture is never read.
  QTest::keyClick(&w.mview(), Qt::Key_Down);
  EXPECT_TRUE(w.view().GetBitmap()->Empty());  // not the previous picture under the new highlight
  EXPECT_EQ(w.form.ShownIndex(), 0);
  QTest::keyClick(&w.mview(), Qt::Key_Down);
  EXPECT_EQ(count.loads, 0);
  w.Settle();
  EXPECT_EQ(count.loads, 1);
  EXPECT_EQ(w.form.ShownIndex(), 2);
  EXPECT_EQ(w.view().GetBitmap()->Width(), 64);
}

// A held key steps faster than pictures are read: every step answers at once, the view never
// shows a picture under another entry's highlight, and the last one reached is shown.
TEST(Viewer, AHeldKeyNeverShowsAnotherEntrysPicture) {
  Fixture fx;
  for (int i = 0; i < 6; ++i) WriteImage(fx.dir + "/e" + std::to_string(i) + ".jpg", 640, 480, TRGB{uint8_t(i * 40), 9, 9});
  Window w(fx.dir);
  int mismatches = 0;
  w.view().OnImageChange = [&](TVLObject*) {
    if (!w.view().GetBitmap()->Empty() && w.form.ShownIndex() != w.form.CurrentIndex()) ++mismatches;
  };
  QWidget* m = &w.mview();
  m->setFocus();
  for (int i = 0; i < 8; ++i) {
    SendKey(m, QEvent::KeyPress, Qt::Key_Down, i > 0);
    QTest::qWait(5);
  }
  SendKey(m, QEvent::KeyRelease, Qt::Key_Down, false);
  w.Settle();
  EXPECT_EQ(mismatches, 0);
  EXPECT_EQ(w.form.CurrentIndex(), 8);
  EXPECT_EQ(w.form.ShownIndex(), 8);
  EXPECT_EQ(w.view().GetBitmap()->Width(), 640);
}

namespace {


// The viewer's reader, counting what it reads, whole pictures held at the gate when asked.
struct CountingReader {
  std::mutex m;
  std::map<std::string, int> whole;  // file name -> whole reads
  Gate gate;
  bool hold = false;
  void Install(TfrmImageViewer& form) {
    form.PictureSource = [this](const TPictureRequest& r, const std::function<bool()>& stop) {
      if (r.JpegScale == 1) {
        {
          std::lock_guard lock(m);
          ++whole[fs::path(r.FileName).filename().string()];
        }
        if (hold) gate.Wait();
      }
      return ReadPicture(r, stop);
    };
  }
  int Whole(const std::string& name) {
    std::lock_guard lock(m);
    return whole[name];
  }
};

}  // namespace

TEST(Viewer, ALargePhotoShowsAPreviewFirstAndKeepsTheZoomSetOnIt) {
  Fixture fx;
  WriteImage(fx.dir + "/z-large.jpg", 2400, 1800, TRGB{90, 90, 200});
  Window w(fx.dir);
  CountingReader reader;
  reader.hold = true;
  reader.Install(w.form);
  w.mview().setFocus();
  QTest::keyClick(&w.mview(), Qt::Key_End);  // the whole read waits at the gate
  ASSERT_TRUE(QTest::qWaitFor([&] { return w.form.ShowingPreview(); }, 30000));
  EXPECT_EQ(w.view().GetBitmap()->Width(), 300);  // an eighth, fitted into the view
  const double fitted = w.view().Zoom();
  EXPECT_GT(fitted, 100);
  // The user zooms the preview, then asks for 1:1, which waits for the whole picture.
  w.view().SetZoom(fitted * 2);
  w.form.tbtnZoomX1->trigger();
  EXPECT_DOUBLE_EQ(w.view().Zoom(), fitted * 2);
  EXPECT_FALSE(w.form.FitMode());
  reader.gate.Open();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w.form.ShowingPreview(); }, 30000));
  EXPECT_EQ(w.view().GetBitmap()->Width(), 2400);
  // The same size on screen as the zoomed preview, until the waiting 1:1 runs.
  EXPECT_NEAR(w.view().Zoom(), fitted * 2 / 8, 1e-9);
  w.Settle();
  EXPECT_DOUBLE_EQ(w.view().Zoom(), 100);
}

TEST(Viewer, NeighboursAreReadAheadAndReloadReadsAgain) {
  Fixture fx;
  Window w(fx.dir);
  CountingReader reader;
  reader.Install(w.form);
  w.Key(Qt::Key_Down);  // b-wide.png was read ahead before the reader was counted
  EXPECT_EQ(reader.Whole("b-wide.png"), 0);
  EXPECT_EQ(w.view().GetBitmap()->Width(), 1200);
  EXPECT_TRUE(w.form.ReadAhead().Contains(fx.dir + "/a-photo.jpg"));  // the one left behind
  EXPECT_EQ(reader.Whole("c-small.jpg"), 1);  // read ahead once b-wide.png showed
  w.Key(Qt::Key_Down);
  EXPECT_EQ(reader.Whole("c-small.jpg"), 1);
  w.Key(Qt::Key_Up);
  w.Key(Qt::Key_Up);
  EXPECT_EQ(reader.Whole("a-photo.jpg"), 0);
  EXPECT_EQ(w.view().GetBitmap()->Width(), 800);
  // Reload reads the file, cached or not.
  w.form.tbtnReloadImage->trigger();
  w.Settle();
  EXPECT_EQ(reader.Whole("a-photo.jpg"), 1);
  // A neighbour changed on disk since it was read ahead is read again.
  w.form.SetWatchFolder(false);
  ASSERT_TRUE(w.form.ReadAhead().Contains(fx.dir + "/b-wide.png"));
  WriteImage(fx.dir + "/b-wide.png", 1000, 300, TRGB{0, 0, 200});
  w.Key(Qt::Key_Down);
  EXPECT_EQ(reader.Whole("b-wide.png"), 1);
  EXPECT_EQ(w.view().GetBitmap()->Width(), 1000);
}

TEST(Viewer, TheWatchedFolderShowsAddedRemovedAndReplacedFiles) {
  Fixture fx;
  Window w(fx.dir);
  w.Key(Qt::Key_Down);  // b-wide.png selected and shown
  auto names = [&] {
    std::string all;
    for (int i = 0; i < w.mview().ImageCount(); ++i)
      all += w.mview().ImageTopText(i)->Caption() + ":" + w.mview().ImageBottomText(i)->Caption() + " ";
    return all;
  };
  auto waitFor = [&](const std::string& expected) {
    EXPECT_TRUE(QTest::qWaitFor([&] { return names() == expected; }, 30000)) << names();
    w.Settle();
  };
  WriteImage(fx.dir + "/0-first.jpg", 32, 32, TRGB{1, 1, 1});
  waitFor("1:0-first.jpg 2:a-photo.jpg 3:b-wide.png 4:c-small.jpg ");
  EXPECT_EQ(w.mview().SelectedImage(), 2);  // still b-wide.png
  EXPECT_EQ(w.form.ShownIndex(), 2);
  fs::remove(fx.dir + "/a-photo.jpg");
  waitFor("1:0-first.jpg 2:b-wide.png 3:c-small.jpg ");
  EXPECT_EQ(w.mview().SelectedImage(), 1);
  EXPECT_EQ(w.form.CurrentIndex(), 1);
  // Replaced: its caption and the picture shown follow the new file.
  WriteImage(fx.dir + "/sub/new.png", 900, 300, TRGB{5, 5, 5});
  fs::rename(fx.dir + "/sub/new.png", fx.dir + "/b-wide.png");
  EXPECT_TRUE(QTest::qWaitFor([&] { return w.mview().ImageInfoText(1)->Caption() == "900x300x24b"; }, 30000));
  w.Settle();
  EXPECT_EQ(w.view().GetBitmap()->Width(), 900);
  // The selected file removed: the highlight moves to the next one, which is shown.
  fs::remove(fx.dir + "/b-wide.png");
  waitFor("1:0-first.jpg 2:c-small.jpg ");
  EXPECT_EQ(w.form.ShownIndex(), 1);
  EXPECT_EQ(w.view().GetBitmap()->Width(), 64);
}

// The column's thumbnails go through the desktop's cache: one found there is used as it is,
// one made is kept there; with the cache off the file itself is read.
TEST(Viewer, ThumbnailsComeFromTheDesktopsCacheAndGoBackToIt) {
  Fixture fx;
  TVLThumbnailCache cache;
  const QString photo = QString::fromStdString(fx.dir + "/a-photo.jpg");
  QImage other(128, 96, QImage::Format_RGB32);
  other.fill(qRgb(250, 0, 0));  // what another program made of it: red, the file is blue
  ASSERT_TRUE(cache.Store(photo, other, 128, 800, 600, "image/jpeg"));
  auto thumbnailRed = [](TVeloraMView& m, int idx) {
    TBitmap* b = m.GetImageBitmap(idx);
    if (!b) return -1;
    const int red = b->ScanLine(b->Height() / 2)[3 * (b->Width() / 2) + 2];
    m.ReleaseBitmap(b);
    return red;
  };
  {
    Window w(fx.dir);
    EXPECT_TRUE(w.form.ThumbnailCache().Enabled());
    EXPECT_GT(thumbnailRed(w.mview(), 0), 240);  // the file's own red is 160
    // c-small.jpg was read and its thumbnail kept.
    EXPECT_FALSE(cache.Lookup(QString::fromStdString(fx.dir + "/c-small.jpg"), 128).isNull());
  }
  {
    TfrmImageViewer form(fx.dir, "*.*");
    form.SetThumbnailCacheEnabled(false);
    form.resize(700, 500);
    form.show();
    form.FormActivate();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form.Busy(); }, 60000));
    EXPECT_NEAR(thumbnailRed(*form.VeloraMView1, 0), 160, 12);
  }
}

TEST(Viewer, ZoomCommandsReloadAndFilters) {
  Fixture fx;
  Window w(fx.dir);
  double fitted = w.view().Zoom();
  w.form.tbtnZoomX1->trigger();
  EXPECT_DOUBLE_EQ(w.view().Zoom(), 100);
  w.form.tbtnZoomXFit->trigger();
  EXPECT_DOUBLE_EQ(w.view().Zoom(), fitted);

  // Reload shows the changed file at the current zoom, with the file name as hint.
  w.form.tbtnZoomX1->trigger();
  WriteImage(fx.dir + "/a-photo.jpg", 400, 300, TRGB{255, 255, 255});
  w.form.tbtnReloadImage->trigger();
  w.Settle();
  EXPECT_EQ(w.view().GetBitmap()->Width(), 400);
  EXPECT_DOUBLE_EQ(w.view().Zoom(), 100);
  EXPECT_EQ(w.view().toolTip().toStdString(), fx.dir + "/a-photo.jpg");

  // The filters change the drawing only.
  EXPECT_TRUE(w.form.tbtnZoomFilterNone->isChecked());
  std::vector<uint8_t> before(w.view().GetBitmap()->Bits(), w.view().GetBitmap()->Bits() + w.view().GetBitmap()->ImageSize());
  w.form.tbtnZoomFilterLanczos3->trigger();
  EXPECT_EQ(w.view().ZoomFilter(), rfLanczos3);
  EXPECT_FALSE(w.form.tbtnZoomFilterNone->isChecked());
  w.view().grab();
  std::vector<uint8_t> after(w.view().GetBitmap()->Bits(), w.view().GetBitmap()->Bits() + w.view().GetBitmap()->ImageSize());
  EXPECT_EQ(before, after);
  EXPECT_TRUE(w.form.tbtnColorAdjust->isEnabled());
  EXPECT_TRUE(w.form.tbtnEffect->isEnabled());
}

TEST(Viewer, AnUnreadableFileShowsAnEmptyPictureAndWhy) {
  Fixture fx;
  VLInstallLzwCoders();  // the GIF writer's coder, installed by the first activation
  WriteImage(fx.dir + "/d-anim.gif", 40, 30, TRGB{9, 9, 9});
  Window w(fx.dir);
  w.form.SetWatchFolder(false);  // files that change under a running read, not the list's changes
  ASSERT_EQ(w.mview().ImageCount(), 4);
  EXPECT_EQ(w.form.FailureText(), "");
  std::string shown;
  auto saved = TesselApplication::ShowException;
  TesselApplication::ShowException = [&](const std::string& m) { shown = m; };
  // Vanished since the scan: the open failure is the reason; no message box.
  fs::remove(fx.dir + "/b-wide.png");
  w.Key(Qt::Key_Down);
  EXPECT_EQ(shown, "");
  EXPECT_EQ(w.form.FailureText().toStdString(), "Cannot open file " + fx.dir + "/b-wide.png");
  EXPECT_TRUE(w.view().GetBitmap()->Empty());  // not the previous picture
  w.Key(Qt::Key_Up);
  EXPECT_EQ(w.form.FailureText(), "");
  EXPECT_EQ(w.view().GetBitmap()->Width(), 800);
  // Damaged since the scan: the reader's failure, named with the file.
  fs::resize_file(fx.dir + "/c-small.jpg", 200);
  w.Key(Qt::Key_Down);
  w.Key(Qt::Key_Down);
  EXPECT_EQ(w.form.CurrentIndex(), 2);
  EXPECT_EQ(w.form.FailureText().toStdString(), "Cannot read " + fx.dir + "/c-small.jpg: " + FailureReason(w.view().GetIO()));
  EXPECT_EQ(w.view().GetIO().AbortReason.substr(0, 6), "JPEG: ");  // the reader's own words
  EXPECT_TRUE(w.view().GetBitmap()->Empty());
  // A GIF that fails leaves the view's background the window's, not the unread file's.
  fs::resize_file(fx.dir + "/d-anim.gif", 20);
  w.Key(Qt::Key_Down);
  EXPECT_EQ(w.form.FailureText().toStdString(), "Cannot read " + fx.dir + "/d-anim.gif: " + FailureReason(w.view().GetIO()));
  EXPECT_EQ(w.view().GetIO().AbortReason.substr(0, 5), "GIF: ");  // the reader's own words
  EXPECT_TRUE(w.view().GetBitmap()->Empty());
  EXPECT_EQ(w.view().Background(), w.form.ViewBackground());
  // Reload says it again; a readable file clears the line.
  w.form.tbtnReloadImage->trigger();
  w.Settle();
  EXPECT_NE(w.form.FailureText(), "");
  WriteImage(fx.dir + "/d-anim.gif", 64, 48, TRGB{1, 2, 3});
  w.form.tbtnReloadImage->trigger();
  w.Settle();
  EXPECT_EQ(w.form.FailureText(), "");
  EXPECT_EQ(w.view().GetBitmap()->Width(), 64);
  TesselApplication::ShowException = saved;
}

TEST(Viewer, LeftDragScrollsThePicture) {
  Fixture fx;
  Window w(fx.dir);
  EXPECT_EQ(w.view().MouseInteract(), MouseInteractSet({miZoom, miScroll}));
  w.form.tbtnZoomX1->trigger();  // 800 x 600 at 100 % in a smaller view
  w.view().SetViewOrigin(0, 0);
  const QPoint from(200, 200), to(150, 170);
  QTest::mousePress(&w.view(), Qt::LeftButton, Qt::NoModifier, from);
  QTest::mouseMove(&w.view(), to);
  QTest::mouseRelease(&w.view(), Qt::LeftButton, Qt::NoModifier, to);
  EXPECT_EQ(w.view().ViewOriginX(), 50);
  EXPECT_EQ(w.view().ViewOriginY(), 30);
  EXPECT_DOUBLE_EQ(w.view().Zoom(), 100);  // a drag is no click: no zoom
}

TEST(Viewer, MarginsKeepTheButtonColourAfterAPng) {
  Fixture fx;
  Window w(fx.dir);
  w.Key(Qt::Key_Down);  // the PNG
  w.Key(Qt::Key_Down);  // a JPEG after it
  const QColor face = QApplication::palette().color(QPalette::Button);
  const QImage shot = w.view().grab().toImage();
  ASSERT_GT(w.view().CenterOffsetY(), 2);  // the 4:3 picture leaves margins above and below
  EXPECT_EQ(QColor(shot.pixel(2, 2)).name().toStdString(), face.name().toStdString());
  const TRGB bg = ColorToRGB(w.view().Background());
  EXPECT_EQ(QColor(bg.r, bg.g, bg.b).name().toStdString(), face.name().toStdString());
}

TEST(Viewer, AFittedPictureFollowsTheWindowSize) {
  Fixture fx;
  Window w(fx.dir);
  EXPECT_TRUE(w.form.FitMode());
  // What a window manager does after the first fit: its frame takes a strip of the window.
  w.form.resize(700, 420);
  QApplication::processEvents();
  const double fitted = w.view().Zoom();
  EXPECT_LT(fitted * 600 / 100, w.view().height() + 0.5);  // the whole height is in view
  EXPECT_TRUE(w.view().VertScrollBar()->isHidden());
  w.view().Fit();
  EXPECT_DOUBLE_EQ(w.view().Zoom(), fitted);
  // Growing (maximising) fits again too.
  w.form.resize(1000, 700);
  QApplication::processEvents();
  EXPECT_GT(w.view().Zoom(), fitted);
  // A zoom the user chose stays when the window changes.
  w.form.tbtnZoomX1->trigger();
  EXPECT_FALSE(w.form.FitMode());
  w.form.resize(800, 600);
  QApplication::processEvents();
  EXPECT_DOUBLE_EQ(w.view().Zoom(), 100);
  w.form.tbtnZoomXFit->trigger();
  EXPECT_TRUE(w.form.FitMode());
}

TEST(Viewer, RestoringTheMaximisedWindowGivesTheDesignedGeometry) {
  Fixture fx;
  TfrmImageViewer form(fx.dir, "*.*");
  ShowViewerWindow(form);
  QApplication::processEvents();
  EXPECT_TRUE(form.isMaximized());
  EXPECT_EQ(form.normalGeometry().size(), QSize(696, 480));
  form.showNormal();
  QApplication::processEvents();
  EXPECT_EQ(form.size(), QSize(696, 480));
  EXPECT_EQ(form.pos(), QPoint(298, 202));
}

TEST(Viewer, EmptyFolderShowsNothing) {
  std::string dir = ::testing::TempDir() + "tessel_viewer_empty";
  fs::create_directories(dir);
  Window w(dir);
  EXPECT_EQ(w.mview().ImageCount(), 0);
  EXPECT_EQ(w.form.CurrentIndex(), -1);
  fs::remove_all(dir);
}

TEST(Viewer, UsageMessageWithOneArgumentEndsWithZero) {
  std::string viewer = std::string(VELORA_BINARY_DIR) + "/TesselImageViewer";
  if (!fs::exists(viewer)) GTEST_SKIP() << "viewer not built";
  std::string shot = ::testing::TempDir() + "tessel_usage.png";
  std::string cmd = "QT_QPA_PLATFORM=offscreen TESSEL_SCREENSHOT=" + shot + " " + viewer + " /tmp >/dev/null 2>&1";
  EXPECT_EQ(std::system(cmd.c_str()), 0);
  EXPECT_TRUE(fs::exists(shot));  // the message box was shown (and captured)
  fs::remove(shot);
  EXPECT_NE(std::string(kViewerUsageText).find("Incorrect number of parameters !\n\nUsage: TesselImageViewer <Folder> <FileMask>\n"),
            std::string::npos);
}

TEST(Viewer, ColorAdjustOpensThePreviewDialogAndAppliesOnOk) {
  Fixture fx;
  Window w(fx.dir);
  EXPECT_TRUE(w.form.tbtnColorAdjust->isEnabled());
  TBitmap& image = *w.view().GetBitmap();
  auto pixels = [&image] { return std::vector<uint8_t>(image.Bits(), image.Bits() + image.ImageSize()); };
  const auto original = pixels();
  const TRGB before = *reinterpret_cast<const TRGB*>(image.ScanLine(5));
  OnDialog([](TfPreviews& d) {
    EXPECT_EQ(d.windowTitle(), "Preview");
    EXPECT_TRUE(d.SpeedButton1->isChecked());
    d.Edit21->selectAll();
    QTest::keyClicks(d.Edit21, "30");
    QTest::mouseClick(d.Button1, Qt::LeftButton);
  });
  w.form.tbtnColorAdjust->trigger();
  const TRGB after = *reinterpret_cast<const TRGB*>(image.ScanLine(5));
  EXPECT_EQ(after.b, std::min(255, before.b + 30));
  EXPECT_EQ(after.g, std::min(255, before.g + 30));
  TVeloraProc& proc = w.view().GetProc();
  ASSERT_EQ(proc.UndoCount(), 1);
  EXPECT_EQ(proc.UndoCaptions().back(), "Previews");
  const auto applied = pixels();
  EXPECT_NE(applied, original);

  OnDialog([](TfPreviews& d) { QTest::keyClick(&d, Qt::Key_Escape); });
  w.form.tbtnColorAdjust->trigger();
  EXPECT_EQ(pixels(), applied);
  EXPECT_EQ(proc.UndoCount(), 1);

  // A 1-bit picture opens nothing.
  int opened = 0;
  proc.OnPreview = [&](TVLObject*, TVLObject*) { ++opened; };
  image.Reset(40, 30, TPixelFormat::pf1bit);
  w.form.tbtnColorAdjust->trigger();
  EXPECT_EQ(opened, 0);
}

TEST(Viewer, EffectsOpenTheirThreePagesAndOkAppliesWithOneUndoCopy) {
  Fixture fx;
  Window w(fx.dir);
  EXPECT_TRUE(w.form.tbtnEffect->isEnabled());
  TBitmap& image = *w.view().GetBitmap();
  ASSERT_EQ(image.Width(), 800);
  const double zoom = w.view().Zoom();
  OnDialog([](TfPreviews& d) {
    EXPECT_EQ(d.windowTitle(), "Preview");
    EXPECT_EQ(d.PageControl1->tabText(d.PageControl1->currentIndex()), "User filter");
    d.PageControl1->setCurrentIndex(10);  // Rotate
    d.TrackBarRotate->setValue(9000);
    QTest::mouseClick(d.Button1, Qt::LeftButton);
  });
  w.form.tbtnEffect->trigger();
  // A quarter turn: the sides exchanged, the view's zoom as it was.
  EXPECT_EQ(image.Width(), 600);
  EXPECT_EQ(image.Height(), 800);
  EXPECT_DOUBLE_EQ(w.view().Zoom(), zoom);
  TVeloraProc& proc = w.view().GetProc();
  ASSERT_EQ(proc.UndoCount(), 1);
  EXPECT_EQ(proc.UndoCaptions().back(), "Previews");

  const std::vector<uint8_t> applied(image.Bits(), image.Bits() + image.ImageSize());
  OnDialog([](TfPreviews& d) {
    QTest::mouseClick(d.ListBox1->viewport(), Qt::LeftButton, {},
                      d.ListBox1->visualItemRect(d.ListBox1->item(2)).center());  // Edges
    QTest::keyClick(&d, Qt::Key_Escape);
  });
  w.form.tbtnEffect->trigger();
  EXPECT_EQ(std::vector<uint8_t>(image.Bits(), image.Bits() + image.ImageSize()), applied);
  EXPECT_EQ(proc.UndoCount(), 1);

  int opened = 0;
  proc.OnPreview = [&](TVLObject*, TVLObject*) { ++opened; };
  image.Reset(40, 30, TPixelFormat::pf1bit);
  w.form.tbtnEffect->trigger();
  EXPECT_EQ(opened, 0);
}
